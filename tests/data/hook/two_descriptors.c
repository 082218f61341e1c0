/* A module that imports WriteFile from kernel32.dll through two import descriptors
   (two import libraries of the same DLL), built without the C run-time so the import
   table holds nothing else of kernel32 but these. */
#include <windows.h>

BOOL WINAPI SecondWriteFile(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);

__declspec(dllexport) BOOL WINAPI TwoWrite(HANDLE file, const char* text, DWORD size, int second) {
  DWORD written = 0;
  return second ? SecondWriteFile(file, text, size, &written, 0) : WriteFile(file, text, size, &written, 0);
}
