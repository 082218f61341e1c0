/* A mail program for the mailto tests: it shows a window (so the caller's wait for
   input idle ends), writes its process id and command line to the file named by
   MAIL_RECORDER_OUT, and stays open until closed or 60 s have passed. */
#include <windows.h>
#include <stdio.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR args, int show) {
  char path[MAX_PATH];
  DWORD n = GetEnvironmentVariableA("MAIL_RECORDER_OUT", path, sizeof path);
  HWND window = CreateWindowA("STATIC", "mail recorder", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, NULL, NULL, instance, NULL);
  MSG msg;
  ShowWindow(window, show);
  if (n && n < sizeof path) {
    FILE* f = fopen(path, "wb");
    if (f) {
      fprintf(f, "%lu\n%s", GetCurrentProcessId(), GetCommandLineA());
      fclose(f);
    }
  }
  SetTimer(NULL, 0, 60000, NULL);
  while (GetMessageA(&msg, NULL, 0, 0) > 0) {
    if (msg.message == WM_TIMER) break;
    DispatchMessageA(&msg);
  }
  return 0;
}
