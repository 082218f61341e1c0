// The walker tests' library: a call chain of known depth that calls back into
// the program. Linked without logger data; the routines are exported under plain
// names so the export list and the line tools name them alike.
#include <windows.h>

#include <cstdint>

extern "C" {

typedef int (*TWalkCallback)(void* argument);

__declspec(dllexport) __attribute__((noinline)) int WalkDllLevel(int depth, TWalkCallback callback,
                                                                 void* argument) {
  volatile int keep = depth;
  // Through a register, a call form the walker knows.
  volatile uintptr_t zero = 0;
  auto call = reinterpret_cast<TWalkCallback>(reinterpret_cast<uintptr_t>(callback) ^ zero);
  int result = depth > 0 ? WalkDllLevel(depth - 1, callback, argument) : call(argument);
  return result + keep;
}

__declspec(dllexport) __attribute__((noinline)) int WalkDllChain(int depth, TWalkCallback callback,
                                                                 void* argument) {
  volatile int keep = 1;
  return WalkDllLevel(depth, callback, argument) + keep;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
}
