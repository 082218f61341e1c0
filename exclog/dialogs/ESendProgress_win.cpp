#include "exclog/dialogs/ESendProgress_win.h"

#include <commctrl.h>

#include <atomic>
#include <mutex>
#include <vector>

#include "exclog/core/EProcess_win.h"
#include "exclog/core/ExceptionLog.h"
#include "exclog/dialogs/ESendProgress.h"
#include "resources/exclog/QuelbaSendIds.h"

namespace exclog {

namespace {

constexpr UINT_PTR KeepInFrontTimer = 3;

std::mutex lookLock;
TSendProgressLook look;
std::string templateName = "QL_Server";
std::atomic<HWND> progressWindow{nullptr};
std::atomic<bool> ready{false};

// The window's own state, from WM_INITDIALOG to WM_DESTROY (one window at a time).
struct TProgressWindowState {
  bool Centred = false;
  bool Modeless = false;
  HFONT Font = nullptr;
  HBITMAP Picture = nullptr;
  std::vector<HWND> WindowsBefore;  // the process's windows when kept in front began
};
TProgressWindowState windowState;

HINSTANCE ResourceModule() {
  HMODULE module = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(&ResourceModule), &module);
  return module;
}

TAreaRect ForegroundWorkArea() {
  RECT r{};
  MONITORINFO info{};
  info.cbSize = sizeof info;
  HWND foreground = GetForegroundWindow();
  if (!GetMonitorInfoA(MonitorFromWindow(foreground ? foreground : GetDesktopWindow(), MONITOR_DEFAULTTONEAREST),
                       &info))
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &info.rcWork, 0);
  r = info.rcWork;
  return {r.left, r.top, r.right, r.bottom};
}

// The picture with its pixel (0, 0) as the transparent colour.
void DrawKeyedBitmap(HDC dc, HBITMAP bitmap, int x, int y, int width, int height) {
  HDC image = CreateCompatibleDC(dc);
  HDC mask = CreateCompatibleDC(dc);
  HBITMAP maskBitmap = CreateBitmap(width, height, 1, 1, nullptr);
  HGDIOBJ oldImage = SelectObject(image, bitmap);
  HGDIOBJ oldMask = SelectObject(mask, maskBitmap);
  SetBkColor(image, GetPixel(image, 0, 0));
  BitBlt(mask, 0, 0, width, height, image, 0, 0, SRCCOPY);  // key colour white, the rest black
  COLORREF oldBack = SetBkColor(dc, RGB(255, 255, 255));
  COLORREF oldText = SetTextColor(dc, RGB(0, 0, 0));
  BitBlt(dc, x, y, width, height, image, 0, 0, SRCINVERT);
  BitBlt(dc, x, y, width, height, mask, 0, 0, SRCAND);
  BitBlt(dc, x, y, width, height, image, 0, 0, SRCINVERT);
  SetBkColor(dc, oldBack);
  SetTextColor(dc, oldText);
  SelectObject(mask, oldMask);
  SelectObject(image, oldImage);
  DeleteObject(maskBitmap);
  DeleteDC(mask);
  DeleteDC(image);
}

// One of the windows that were there before took the foreground: take it back.
void KeepInFront(HWND window) {
  HWND foreground = GetForegroundWindow();
  if (foreground == window || (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST)) return;
  if (!foreground || WindowOfOtherProcess(foreground)) return;
  for (HWND before : windowState.WindowsBefore)
    if (before == foreground) {
      SetForegroundWindow(window);
      return;
    }
}

void InitWindow(HWND window, bool centred) {
  TSendProgressLook current;
  {
    std::lock_guard<std::mutex> lock(lookLock);
    current = look;
  }
  windowState = TProgressWindowState();
  windowState.Centred = centred;
  windowState.Modeless = SameThreadReport();
  progressWindow = window;
  if (current.TopMost) SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  SetWindowTextA(window, current.Caption.c_str());
  NONCLIENTMETRICSA metrics{};
  metrics.cbSize = sizeof metrics;
  if (SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
    windowState.Font = CreateFontIndirectA(&metrics.lfMessageFont);
  if (windowState.Font)
    SendDlgItemMessageA(window, QL_SEND_STATUS, WM_SETFONT, reinterpret_cast<WPARAM>(windowState.Font), FALSE);
  windowState.Picture = static_cast<HBITMAP>(LoadImageA(ResourceModule(), "QL_Send", IMAGE_BITMAP, 0, 0, 0));
  RECT r{};
  GetWindowRect(window, &r);
  int width = r.right - r.left, height = r.bottom - r.top;
  TAreaRect area = ForegroundWorkArea();
  TWindowPlace place = centred ? CentredPlace(area, width, height) : CornerPlace(area, width, height);
  SetWindowPos(window, nullptr, place.Left, place.Top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  if (centred) {
    windowState.WindowsBefore = ProcessWindows();
    SetTimer(window, KeepInFrontTimer, 10, nullptr);
  }
}

void Paint(HWND window) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window, &ps);
  if (windowState.Picture) DrawKeyedBitmap(dc, windowState.Picture, 8, 8, 32, 32);
  EndPaint(window, &ps);
}

void Destroyed(HWND window) {
  if (windowState.Centred) KillTimer(window, KeepInFrontTimer);
  if (windowState.Font) DeleteObject(windowState.Font);
  if (windowState.Picture) DeleteObject(windowState.Picture);
  windowState = TProgressWindowState();
  progressWindow = nullptr;
}

}  // namespace

void SetSendProgressLook(const TSendProgressLook& value) {
  std::lock_guard<std::mutex> lock(lookLock);
  look = value;
}

void SetSendProgressTemplate(const std::string& name) {
  std::lock_guard<std::mutex> lock(lookLock);
  templateName = name;
}

HWND SendProgressWindow() { return progressWindow; }
bool SendProgressReady() { return ready; }
void ClearSendProgressReady() { ready = false; }

bool ShowSendProgress(bool centred) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  std::string name;
  {
    std::lock_guard<std::mutex> lock(lookLock);
    name = templateName;
  }
  if (SameThreadReport())
    return CreateDialogParamA(ResourceModule(), name.c_str(), nullptr, &SendProgressDialogProc, centred) != nullptr;
  return DialogBoxParamA(ResourceModule(), name.c_str(), nullptr, &SendProgressDialogProc, centred) != -1;
}

INT_PTR CALLBACK SendProgressDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  // Nothing may leave a dialog procedure.
  try {
    switch (message) {
      case WM_INITDIALOG:
        InitWindow(window, lParam != 0);
        return TRUE;
      case WM_PAINT:
        Paint(window);
        return TRUE;
      case WM_SETFOCUS:
        ready = true;
        return FALSE;
      case WM_TIMER:
        if (wParam == KeepInFrontTimer) KeepInFront(window);
        return TRUE;
      case SendProgressCloseMessage:
        // A modeless window ends by being destroyed: EndDialog would leave it,
        // its font and its picture alive.
        if (windowState.Modeless)
          DestroyWindow(window);
        else
          EndDialog(window, 0);
        return TRUE;
      case WM_DESTROY:
        Destroyed(window);
        return FALSE;
    }
  } catch (...) {
  }
  return FALSE;
}

}  // namespace exclog
