// The host program: one instance, one main window, one event loop.
#include <windows.h>

namespace {

const char kMainClass[] = "TForm1";

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

HWND CreateMainWindow(HINSTANCE instance) {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = MainWindowProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kMainClass;
  if (!RegisterClassA(&wc)) return nullptr;
  return CreateWindowExA(0, kMainClass, "Velmora", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                         CW_USEDEFAULT, 1024, 600, nullptr, nullptr, instance, nullptr);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
  // Only one instance runs: a second one ends at once, without a message.
  HANDLE mutex = CreateMutexA(nullptr, TRUE, "velmora");
  if (mutex == nullptr) return 0;
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(mutex);
    return 0;
  }

  int exitCode = 1;
  if (HWND mainWindow = CreateMainWindow(instance)) {
    ShowWindow(mainWindow, showCommand);
    UpdateWindow(mainWindow);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    exitCode = static_cast<int>(msg.wParam);
  }
  CloseHandle(mutex);
  return exitCode;
}
