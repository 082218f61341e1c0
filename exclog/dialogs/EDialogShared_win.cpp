#include "exclog/dialogs/EDialogShared_win.h"

#include <atomic>
#include <vector>

#include "classlib/SysUtils.h"
#include "exclog/core/ExceptionLog.h"
#include "exclog/dialogs/EDialogKit_win.h"
#include "exclog/dialogs/EDialogSeams.h"
#include "exclog/dialogs/ETreeList_win.h"

namespace exclog {

TDialogReportFacts& DialogReportFacts() {
  static TDialogReportFacts facts;
  return facts;
}

TDialogEventSeams& DialogEventSeams() {
  static TDialogEventSeams seams;
  return seams;
}

std::string DialogText(int index) { return DialogOptions().Text(index); }

void MarkDialogVisible() {
  DialogOutcome().BecameVisible = 1;
  SetDialogShowing(true);
}

namespace {
HWND disabledOwner = nullptr;
std::atomic<HWND> openReportDialog{nullptr};
std::atomic<bool> refreshWaiting{false};
}  // namespace

void SetOpenReportDialog(HWND dialog) {
  openReportDialog = dialog;
  refreshWaiting = false;  // a request to the dialog before died with it
}

HWND OpenReportDialog() { return openReportDialog; }

bool RequestReportDialogRefresh() {
  HWND dialog = openReportDialog;
  if (!dialog) return false;
  // Handlers changing options one by one would otherwise flood the dialog.
  if (refreshWaiting.exchange(true)) return true;
  if (PostMessageA(dialog, ReportDialogRefreshMessage, 0, 0)) return true;
  refreshWaiting = false;
  return false;
}

void ReportDialogRefreshTaken() { refreshWaiting = false; }

void ApplyTopMostOption(HWND window) {
  bool topMost = (DialogOptions().DialogFlags() & DialogTopMost) != 0;
  if (topMost == DialogKit().TopMost) return;
  DialogKit().TopMost = topMost;
  SetWindowPos(window, topMost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void TakeReportOwner(HWND dialog, bool disableOwner) {
  HWND owner = DialogReportFacts().Owner;
  DWORD process = 0;
  if (!owner || owner == dialog || !IsWindow(owner)) return;
  GetWindowThreadProcessId(owner, &process);
  if (process != GetCurrentProcessId()) return;
  // The owner's thread answers what the link and the disabling send it from now
  // on, before the dialog is first painted.
  SetDialogShowing(true);
  SetWindowLongPtrA(dialog, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(owner));
  // Disabled, a click on the owner does not activate it over the dialog.
  if (disableOwner && IsWindowEnabled(owner)) {
    EnableWindow(owner, FALSE);
    disabledOwner = owner;
  }
}

void ReleaseReportOwner() {
  HWND owner = disabledOwner;
  disabledOwner = nullptr;
  if (owner && IsWindow(owner)) EnableWindow(owner, TRUE);
}

void ClearDialogVisible() {
  DialogOutcome().BecameVisible = 0;
  SetDialogShowing(false);
}

bool IsUserInputMessage(UINT message) {
  return (message >= WM_KEYFIRST && message <= WM_KEYLAST) || (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) ||
         (message >= WM_NCMOUSEMOVE && message <= WM_NCXBUTTONDBLCLK);
}

INT_PTR RunLoggerDialog(const char* templateName, DLGPROC procedure) {
  return DialogBoxParamA(LoggerResourceModule(), templateName, nullptr, procedure, 0);
}

std::string TrimmedItemText(HWND dialog, int id) {
  HWND item = GetDlgItem(dialog, id);
  if (!item) return "";
  int length = static_cast<int>(SendMessageA(item, WM_GETTEXTLENGTH, 0, 0));
  if (length <= 0) return "";
  std::vector<char> buffer(static_cast<size_t>(length) + 1, '\0');
  SendMessageA(item, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()));
  return Trim(buffer.data());
}

void SetControlFont(HWND dialog, int id, HFONT font) {
  if (font) SendDlgItemMessageA(dialog, id, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

void TDialogLink::MouseMoved(HWND window, LPARAM point) {
  POINT p{static_cast<short>(LOWORD(point)), static_cast<short>(HIWORD(point))};
  RECT r{Rect.X, Rect.Y, Rect.Right(), Rect.Bottom()};
  Hover = Shown && PtInRect(&r, p);
  if (Hover) InvalidateRect(window, &r, TRUE);
}

bool TDialogLink::SetCursorOver(HWND window, LPARAM hit) {
  if (!Hover || LOWORD(hit) != HTCLIENT) return false;
  SetCursor(LoadCursorA(nullptr, IDC_HAND));
  SetWindowLongPtrA(window, DWLP_MSGRESULT, TRUE);
  return true;
}

void TDialogLink::Paint(HDC dc, HFONT font, COLORREF colour, const std::string& text) const {
  if (!Shown) return;
  HGDIOBJ old = SelectObject(dc, font ? font : GetStockObject(DEFAULT_GUI_FONT));
  SetTextColor(dc, colour);
  SetBkMode(dc, TRANSPARENT);
  TextOutA(dc, Rect.X, Rect.Y, text.c_str(), static_cast<int>(text.size()));
  SelectObject(dc, old);
}



}  // namespace exclog
