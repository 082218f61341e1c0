#include "exclog/dialogs/ESendProgress_win.h"

#include <commctrl.h>

#include <atomic>
#include <mutex>

#include "exclog/core/ExceptionLog.h"
#include "exclog/dialogs/EDialogKit_win.h"
#include "exclog/dialogs/EDialogShared_win.h"
#include "exclog/dialogs/ESendProgress.h"
#include "resources/exclog/QuelbaSendIds.h"

namespace exclog {

namespace {

std::mutex lookLock;
TSendProgressLook look;
std::string templateName = "QL_Server";
std::atomic<HWND> progressWindow{nullptr};
std::atomic<bool> ready{false};

// The window's own state, from WM_INITDIALOG to WM_DESTROY (one window at a time).
struct TProgressWindowState {
  bool Centred = false;
  bool Modeless = false;
  HBITMAP Picture = nullptr;
  std::string Caption;
};
TProgressWindowState windowState;

HINSTANCE ResourceModule() {
  HMODULE module = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(&ResourceModule), &module);
  return module;
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

void InitWindow(HWND window, bool centred) {
  TSendProgressLook current;
  {
    std::lock_guard<std::mutex> lock(lookLock);
    current = look;
  }
  windowState = TProgressWindowState();
  windowState.Centred = centred;
  windowState.Modeless = SameThreadReport();
  windowState.Caption = current.Caption;
  progressWindow = window;
  // In the corner the small tool-window caption stays.
  PrepareDialogWindow(window, !centred);
  CreateDialogFonts(window);
  SetWindowTextA(window, current.Caption.c_str());
  if (HFONT font = DialogKit().DialogFont)
    SendDlgItemMessageA(window, QL_SEND_STATUS, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  windowState.Picture = static_cast<HBITMAP>(LoadImageA(ResourceModule(), "QL_Send", IMAGE_BITMAP, 0, 0, 0));
  RECT r{}, work{};
  GetWindowRect(window, &r);
  GetForegroundWorkArea(work);
  int width = r.right - r.left, height = r.bottom - r.top;
  TAreaRect area{work.left, work.top, work.right, work.bottom};
  TWindowPlace place = centred ? CentredPlace(area, width, height) : CornerPlace(area, width, height);
  SetWindowPos(window, nullptr, place.Left, place.Top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  if (centred) StartKeepForeground(window);
}

void Paint(HWND window) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window, &ps);
  if (windowState.Picture) DrawKeyedBitmap(dc, windowState.Picture, 8, 8, 32, 32);
  EndPaint(window, &ps);
  // The raising main thread then keeps the program's windows answering and
  // painted while the report goes out.
  MarkDialogVisible();
}

void Destroyed(HWND window) {
  if (windowState.Centred) StopKeepForeground(window);
  DeleteDialogFonts();
  if (windowState.Picture) DeleteObject(windowState.Picture);
  windowState = TProgressWindowState();
  progressWindow = nullptr;
  SetDialogShowing(false);
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
  DialogOutcome().BecameVisible = 0;
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
        // No default focus: the dialog manager would hand it to the status line
        // while the window is still hidden, which makes the window active inside
        // its own thread without ever taking the foreground; shown, it is then
        // not activated and never gets the focus itself.
        return FALSE;
      case WM_PAINT:
        Paint(window);
        // On screen: the sender need not wait for the focus, which a window of
        // another thread may be refused.
        ready = true;
        return TRUE;
      case WM_NCPAINT:
      case WM_NCACTIVATE:
        if (PaintCustomCaption(message, wParam, windowState.Caption, window)) {
          SetWindowLongPtrA(window, DWLP_MSGRESULT, 1);
          return TRUE;
        }
        return FALSE;
      case WM_ACTIVATE:
        MarkDialogVisible();
        return FALSE;
      case WM_SETFOCUS:
        ready = true;
        return FALSE;
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
