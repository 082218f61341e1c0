#include "exclog/dialogs/ERequestDialog_win.h"

#include <string>

#include "exclog/core/ExceptionLog.h"
#include "exclog/dialogs/EDialogKit_win.h"
#include "exclog/dialogs/EDialogSeams.h"
#include "exclog/dialogs/EDialogShared_win.h"
#include "exclog/dialogs/EExceptionDialogLayout.h"
#include "exclog/dialogs/ERequestLayout.h"
#include "resources/exclog/QuelbaDialogs.h"

namespace exclog {

namespace {

void InitDialog(HWND window) {
  // 1. and 2.
  PrepareDialogWindow(window, false);
  TakeReportOwner(window, false);
  CreateDialogFonts(window);
  TDialogKitState& kit = DialogKit();
  SetWindowTextA(window, DialogText(123).c_str());
  SetDlgItemTextA(window, QL_REQ_LABEL, DialogText(124).c_str());
  SetDlgItemTextA(window, QL_REQ_OK, DialogText(125).c_str());
  SetControlFont(window, QL_REQ_LABEL, kit.DialogFont);
  SetControlFont(window, QL_REQ_OK, kit.DialogFont);
  SetControlFont(window, QL_REQ_EDIT, kit.FixedFont);
  SetDlgItemTextA(window, QL_REQ_EDIT, DialogOptions().ReproduceText().c_str());
  // 3. In window coordinates, as the template made the window.
  RECT r;
  GetWindowRect(window, &r);
  TRequestLayoutInput in;
  in.WindowWidth = r.right - r.left;
  in.WindowHeight = r.bottom - r.top;
  in.LabelHeight = MeasureWrappedText(window, kit.DialogFont, DialogText(124), in.WindowWidth - 27);
  HDC dc = GetDC(window);
  HGDIOBJ old = SelectObject(dc, kit.FixedFont ? kit.FixedFont : GetStockObject(ANSI_FIXED_FONT));
  TEXTMETRICA tm{};
  GetTextMetricsA(dc, &tm);
  SelectObject(dc, old);
  ReleaseDC(window, dc);
  in.LineHeight = tm.tmHeight;
  RECT work{};
  GetWorkArea(window, work);
  in.WorkAreaHeight = work.bottom - work.top;
  TRequestLayout l = LayOutRequest(in);
  auto move = [window](int id, const TDialogRect& rect) {
    MoveWindow(GetDlgItem(window, id), rect.X, rect.Y, rect.Width, rect.Height, FALSE);
  };
  move(QL_REQ_LABEL, l.Label);
  move(QL_REQ_EDIT, l.Edit);
  move(QL_REQ_OK, l.Button);
  // 4.
  StartAutoClose(window);
  CenterOnWorkArea(window, in.WindowWidth, l.WindowHeight);
  StartKeepForeground(window);
}

}  // namespace

bool RequestWanted() {
  TQuelbaModuleOptions& options = DialogOptions();
  const TDialogReportFacts& facts = DialogReportFacts();
  return (options.LogFlags() & LogAskReproduceSteps) && facts.CanShowWindows && !facts.Duplicate &&
         (SendChosen() || options.SaveLogFile() != 0) && !DialogOutcome().DialogFailed;
}

void ShowRequestDialog() {
  if (!RequestWanted()) return;
  ClearDialogVisible();
  RunLoggerDialog("QL_REQUEST", &RequestDialogProc);
  ClearDialogVisible();
}

INT_PTR CALLBACK RequestDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  try {
    if (IsUserInputMessage(message) || message == WM_SETCURSOR) ResetAutoClose();
    switch (message) {
      case WM_INITDIALOG:
        InitDialog(window);
        return TRUE;
      case WM_COMMAND:
        ResetAutoClose();
        // OK, Escape and the close box all arrive as id 2 and keep the text.
        if (LOWORD(wParam) == QL_REQ_OK) {
          DialogOptions().SetReproduceText(TrimmedItemText(window, QL_REQ_EDIT));
          EndDialog(window, IDOK);
        }
        return TRUE;
      case WM_NCPAINT:
      case WM_NCACTIVATE:
        if (PaintCustomCaption(message, wParam, DialogText(123), window)) {
          SetWindowLongPtrA(window, DWLP_MSGRESULT, TRUE);
          return TRUE;
        }
        return FALSE;
      case WM_ACTIVATE:
        MarkDialogVisible();
        return FALSE;
      case WM_PAINT:
        MarkDialogVisible();
        return FALSE;
      case WM_DESTROY:
        ReleaseReportOwner();
        StopAutoClose(window);
        StopKeepForeground(window);
        DeleteDialogFonts();
        return FALSE;
      default:
        (void)lParam;
        return FALSE;
    }
  } catch (...) {
    ReportInternalError("RequestDialogProc");
    return FALSE;
  }
}

}  // namespace exclog
