#include "exclog/dialogs/EClassicDialog_win.h"

#include <string>

#include "exclog/core/ECore_win.h"
#include "exclog/core/ExceptionLog.h"
#include "exclog/dialogs/EClassicDialogRules.h"
#include "exclog/dialogs/EDialogKit_win.h"
#include "exclog/dialogs/EDialogOutcome.h"
#include "exclog/dialogs/EDialogSeams.h"
#include "exclog/dialogs/EDialogShared_win.h"
#include "exclog/dialogs/EReportContext.h"
#include "exclog/dialogs/ETreeList_win.h"
#include "exclog/report/EInternalError_win.h"
#include "exclog/report/EReportText.h"
#include "exclog/report/ESysInfo.h"
#include "resources/exclog/QuelbaDialogs.h"

namespace exclog {

namespace {

constexpr UINT_PTR FirstShowTimer = 1;
constexpr int WindowWidth = 419;

struct TClassicState {
  HWND Window = nullptr;
  HBITMAP ErrorBitmap = nullptr;
  bool SendOffered = false;
  bool Closing = false;  // CloseClassicDialog ran to its end
  bool EmailBoxUp = false;  // the "invalid address" box shows: closing waits for it
  bool Arranged = false;    // laid out once: later arrangements follow an options change
  std::string ReadReproduceText;  // the description as the field last took it
  TDialogLink Link;
};
TClassicState state;

HFONT FontOf(TClassicFont font) {
  switch (font) {
    case TClassicFont::Bold: return DialogKit().BoldFont;
    case TClassicFont::Fixed: return DialogKit().FixedFont;
    default: return DialogKit().DialogFont;
  }
}

int LineHeightOf(HWND window, HFONT font) {
  HDC dc = GetDC(window);
  HGDIOBJ old = SelectObject(dc, font ? font : GetStockObject(DEFAULT_GUI_FONT));
  TEXTMETRICA tm{};
  GetTextMetricsA(dc, &tm);
  SelectObject(dc, old);
  ReleaseDC(window, dc);
  return tm.tmHeight;
}

void Arrange(HWND window);

void InitDialog(HWND window) {
  state = {};
  state.Window = window;
  TQuelbaModuleOptions& options = DialogOptions();
  // 1. and 2.
  PrepareDialogWindow(window, false);
  TakeReportOwner(window, true);
  CreateDialogFonts(window);
  state.ErrorBitmap = static_cast<HBITMAP>(LoadImageA(LoggerResourceModule(), "QL_ERROR", IMAGE_BITMAP, 0, 0, 0));
  TDialogKitState& kit = DialogKit();
  for (int id : {QL_MS_HEADER, QL_MS_TELL}) SetControlFont(window, id, kit.BoldFont);
  for (int id : {QL_MS_MESSAGE, QL_MS_RESTART, QL_MS_EXPLAIN, QL_MS_SEEDATA, QL_MS_QUESTION, QL_MS_EMAIL_LABEL,
                 QL_MS_EMAIL, QL_MS_SEND, QL_MS_DONT_SEND, QL_MS_HELP})
    SetControlFont(window, id, kit.DialogFont);
  SetControlFont(window, QL_MS_DESCRIPTION, kit.FixedFont);
  state.ReadReproduceText = options.ReproduceText();
  SetDlgItemTextA(window, QL_MS_DESCRIPTION, state.ReadReproduceText.c_str());
  SetDlgItemTextA(window, QL_MS_EMAIL, ReadSetting("QuelbaLog.ini", "User", "Email", "").c_str());
  Arrange(window);
  SetTimer(window, FirstShowTimer, 1, nullptr);
  StartAutoClose(window);
  StartKeepForeground(window);
}

// Texts, which controls show, their places and the window's size, from the
// options: when the dialog begins and again when an event's handlers changed the
// options while it shows. The user's typed texts stay; the description follows
// the options only when they changed it.
void Arrange(HWND window) {
  TQuelbaModuleOptions& options = DialogOptions();
  const uint16_t flags = options.DialogFlags();
  TDialogKitState& kit = DialogKit();
  const bool first = !state.Arranged;
  state.Arranged = true;
  if (!first && options.ReproduceText() != state.ReadReproduceText) {
    state.ReadReproduceText = options.ReproduceText();
    SetDlgItemTextA(window, QL_MS_DESCRIPTION, state.ReadReproduceText.c_str());
  }
  // 3. and 4.
  SetWindowTextA(window, DialogText(3).c_str());
  const bool wasOffered = state.SendOffered;
  state.SendOffered =
      SendOffered(options.MailMode(), options.WebSendMode(), DialogReportFacts().Duplicate, flags);
  if (!state.SendOffered && (first || wasOffered)) {
    ShowWindow(GetDlgItem(window, QL_MS_SEND), SW_HIDE);
    EnableWindow(GetDlgItem(window, QL_MS_SEND), FALSE);
    SendDlgItemMessageA(window, QL_MS_SEND, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
    SendDlgItemMessageA(window, QL_MS_DONT_SEND, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
    SendMessageA(window, DM_SETDEFID, QL_MS_DONT_SEND, 0);
    SetFocus(GetDlgItem(window, QL_MS_DONT_SEND));
  } else if (state.SendOffered && !first && !wasOffered) {
    EnableWindow(GetDlgItem(window, QL_MS_SEND), TRUE);
    SendDlgItemMessageA(window, QL_MS_DONT_SEND, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
    SendDlgItemMessageA(window, QL_MS_SEND, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
    SendMessageA(window, DM_SETDEFID, QL_MS_SEND, 0);
  }
  // 5. and 6.
  TClassicLayoutInput in;
  in.Measure = [window](TClassicFont font, const std::string& text, int width) {
    return MeasureWrappedText(window, FontOf(font), text, width);
  };
  in.TextWidth = [window](const std::string& text) { return MeasureTextWidth(window, DialogKit().DialogFont, text); };
  in.ButtonWidth = [](const std::string& text) { return ButtonWidth(text); };
  in.LineHeight = LineHeightOf(window, kit.DialogFont);
  in.FixedLineHeight = LineHeightOf(window, kit.FixedFont);
  in.CyBorder = GetSystemMetrics(SM_CYBORDER);
  in.Header = DialogText(26);
  in.Message = ExceptionMessageText();
  in.RestartShown = TerminateButtonShown(options.TerminateAction(), DialogReportFacts().ErrorCount,
                                         options.TerminateButtonAfter());
  in.RestartText = DialogText(options.TerminateAction() == 1 ? 28 : 27);
  in.SendOffered = state.SendOffered;
  in.Tell = DialogText(29);
  in.Explain = DialogText(30);
  in.DetailsAvailable = (flags & DialogDetailsAvailable) != 0;
  in.SeeData = DialogText(31);
  in.LinkText = DialogText(32);
  in.AskDescription = (options.LogFlags() & LogAskReproduceSteps) != 0;
  in.Question = DialogText(33);
  in.EmailShown = ClassicEmailFieldShown(state.SendOffered, options.MailMode(), options.WebSendMode());
  in.EmailLabel = DialogText(34);
  in.HelpShown = (flags & DialogShowHelp) != 0;
  in.HelpText = DialogText(21);
  in.SendText = DialogText(35);
  in.RightText = DialogText(ClassicRightButtonText(SendChosen(), state.SendOffered));
  TClassicLayout layout = LayOutClassicDialog(in);
  const std::pair<int, std::string> texts[] = {
      {QL_MS_HEADER, in.Header},   {QL_MS_MESSAGE, in.Message},   {QL_MS_RESTART, in.RestartText},
      {QL_MS_TELL, in.Tell},       {QL_MS_EXPLAIN, in.Explain},   {QL_MS_SEEDATA, in.SeeData},
      {QL_MS_QUESTION, in.Question}, {QL_MS_EMAIL_LABEL, in.EmailLabel}, {QL_MS_HELP, in.HelpText},
      {QL_MS_SEND, in.SendText},   {QL_MS_DONT_SEND, in.RightText}};
  for (const auto& [id, text] : texts) SetDlgItemTextA(window, id, text.c_str());
  for (const auto& [id, control] : layout.Controls) {
    HWND item = GetDlgItem(window, id);
    const TDialogRect& r = control.Rect;
    if (control.Shown) MoveWindow(item, r.X, r.Y, r.Width, r.Height, !first);
    // Send stays hidden (and disabled) when sending is not offered.
    if (!control.Shown)
      ShowWindow(item, SW_HIDE);
    else if (!first)
      ShowWindow(item, SW_SHOWNA);
  }
  state.Link.Rect = layout.Link;
  state.Link.Shown = in.DetailsAvailable;
  // 7.
  RECT client{0, 0, ClassicClientWidth, layout.ContentHeight};
  RECT outer;
  GetWindowRect(window, &outer);
  RECT inner;
  GetClientRect(window, &inner);
  int frameHeight = (outer.bottom - outer.top) - inner.bottom;
  state.Link.Hover = false;
  if (first) {
    CenterOnWorkArea(window, WindowWidth, client.bottom + frameHeight);
    return;
  }
  // Where the user may have moved it: only the height follows the contents.
  SetWindowPos(window, nullptr, 0, 0, WindowWidth, client.bottom + frameHeight,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  ApplyTopMostOption(window);
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

void Paint() {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(state.Window, &ps);
  RECT client;
  GetClientRect(state.Window, &client);
  RECT band{0, 0, client.right, ClassicBandHeight};
  FillRect(dc, &band, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  FrameRect(dc, &band, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  if (state.ErrorBitmap)
    DrawTransparentBitmap(dc, state.ErrorBitmap, client.right - 8 - 32, (ClassicBandHeight - 32) / 2, 32, 32);
  state.Link.Paint(dc, DialogKit().UnderlinedFont, RGB(0, 0, 255), DialogText(32));
  EndPaint(state.Window, &ps);
}

// Escape (from a field or as the dialog's cancel) is one cancel: nothing is
// sent and the decisions see Cancelled; any other close clears a cancel that an
// invalid address kept open.
void Close(bool cancel) {
  TDialogOutcome& outcome = DialogOutcome();
  if (cancel) {
    SetSendChosen(false);
    outcome.Cancelled = 1;
  } else {
    outcome.Cancelled = 0;
  }
  if (outcome.PresentationKind != PresentDetailed) outcome.PresentationKind = PresentNothing;
  CloseClassicDialog();
}

void Command(WORD id) {
  ResetAutoClose();
  TDialogOutcome& outcome = DialogOutcome();
  switch (id) {
    case QL_MS_SEND:
      SetSendChosen(true);
      outcome.PresentationKind = PresentNothing;
      Close(false);
      break;
    case QL_MS_DONT_SEND:
      SetSendChosen(ClassicSendAfterRightButton(SendChosen(), state.SendOffered));
      outcome.PresentationKind = PresentNothing;
      Close(false);
      break;
    case QL_MS_HELP: {
      outcome.HelpAsksToClose = 0;
      bool close = false;
      if (DialogEventSeams().RunHelp) DialogEventSeams().RunHelp(close);
      if (close || outcome.HelpAsksToClose) {
        outcome.HelpAsksToClose = 1;
        outcome.PresentationKind = PresentNothing;
        Close(false);
      }
      break;
    }
    case IDCANCEL:
      outcome.PresentationKind = PresentNothing;
      Close(true);
      break;
    default:
      break;
  }
}

}  // namespace

void CloseClassicDialog() {
  HWND window = state.Window;
  if (!window) return;
  TQuelbaModuleOptions& options = DialogOptions();
  // 1. and 2.
  std::string email = TrimmedItemText(window, QL_MS_EMAIL);
  SetDialogEmail(email);
  if (IsPlausibleEmail(email)) {
    options.SetSenderEmail(email);
    UpdateReportPieces(
        [](TReportPieces& pieces, const void* argument) {
          const std::string& address = *static_cast<const std::string*>(argument);
          pieces.General = ReplaceReportEmail(pieces.General, address);
          pieces.LastReport = ReplaceReportEmail(pieces.LastReport, address);
          pieces.SendingText = ReplaceReportEmail(pieces.SendingText, address);
          pieces.ReportCopy = pieces.LastReport;
        },
        &email);
    WriteSetting("QuelbaLog.ini", "User", "Email", email);
  } else if (!email.empty()) {
    // One box at a time: the auto-close ticks on inside it and must not stack more.
    if (state.EmailBoxUp) return;
    state.EmailBoxUp = true;
    LoggerMessageBox(nullptr, DialogText(157), DialogText(2),
                     MB_ICONHAND | MB_TASKMODAL | MB_TOPMOST | MB_SERVICE_NOTIFICATION);
    state.EmailBoxUp = false;
    // The quiet time counts from the box's end.
    ResetAutoClose();
    // Still open: the link's request for the detailed dialog waits for the next end.
    if (DialogOutcome().PresentationKind == PresentDetailed) DialogOutcome().PresentationKind = PresentClassic;
    return;
  }
  // 3. and 4.
  options.SetReproduceText(TrimmedItemText(window, QL_MS_DESCRIPTION));
  TDialogOutcome& outcome = DialogOutcome();
  outcome.RestartChosen = ClassicRestartDecision(outcome.RestartChosen != 0,
                                                 IsDlgButtonChecked(window, QL_MS_RESTART) == BST_CHECKED,
                                                 outcome.Cancelled != 0, options.TerminateOnCancel());
  // 5.
  state.Closing = true;
  EndDialog(window, IDOK);
}

INT_PTR CALLBACK ClassicDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  try {
    if (IsUserInputMessage(message)) ResetAutoClose();
    switch (message) {
      case WM_INITDIALOG:
        InitDialog(window);
        SetOpenReportDialog(window);
        return state.SendOffered;  // else the focus is on Don't Send already
      case WM_TIMER:
        if (wParam != FirstShowTimer) return FALSE;
        KillTimer(window, FirstShowTimer);
        if (!DialogOutcome().BecameVisible) {
          DialogOutcome().PresentationKind = PresentNothing;
          CloseClassicDialog();
        }
        return TRUE;
      case WM_ACTIVATE:
      case WM_NCPAINT:
      case WM_NCACTIVATE:
        MarkDialogVisible();
        return FALSE;
      case WM_PAINT:
        MarkDialogVisible();
        Paint();
        return TRUE;
      case WM_CTLCOLORSTATIC:
        if (GetDlgCtrlID(reinterpret_cast<HWND>(lParam)) != QL_MS_HEADER) return FALSE;
        SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
        return reinterpret_cast<INT_PTR>(GetStockObject(WHITE_BRUSH));
      case WM_MOUSEMOVE:
        state.Link.MouseMoved(window, lParam);
        return FALSE;
      case WM_SETCURSOR:
        return state.Link.SetCursorOver(window, lParam);
      case WM_LBUTTONUP:
        if (state.Link.Hover) {
          DialogOutcome().PresentationKind = PresentDetailed;
          Close(false);
        }
        return FALSE;
      case WM_COMMAND:
        Command(LOWORD(wParam));
        return TRUE;
      case WM_CLOSE:
        if (state.EmailBoxUp) return TRUE;  // the auto-close waits for the box
        // Escape in a multi-line field arrives here, the key still down.
        DialogOutcome().PresentationKind = PresentNothing;
        Close(IsEscapeDown());
        return TRUE;
      case ReportDialogRefreshMessage:
        ReportDialogRefreshTaken();
        if (state.Arranged) Arrange(window);
        return TRUE;
      case WM_DESTROY:
        SetOpenReportDialog(nullptr);
        ReleaseReportOwner();
        KillTimer(window, FirstShowTimer);
        StopAutoClose(window);
        StopKeepForeground(window);
        DeleteDialogFonts();
        if (state.ErrorBitmap) DeleteObject(state.ErrorBitmap);
        state = {};
        return FALSE;
      default:
        return FALSE;
    }
  } catch (...) {
    ReportInternalError("ClassicDialogProc");
    return FALSE;
  }
}

}  // namespace exclog
