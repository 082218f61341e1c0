#include "exclog/dialogs/EExceptionDialog_win.h"

#include <commctrl.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "classlib/SysUtils.h"
#include "exclog/core/ECore_win.h"
#include "exclog/core/ExceptionLog.h"
#include "exclog/dialogs/EClassicDialog_win.h"
#include "exclog/dialogs/EDialogKit_win.h"
#include "exclog/dialogs/EDialogOutcome.h"
#include "exclog/dialogs/EDialogPages_win.h"
#include "exclog/dialogs/EDialogSeams.h"
#include "exclog/dialogs/EDialogShared_win.h"
#include "exclog/dialogs/EExceptionDialogLayout.h"
#include "exclog/dialogs/EReportContext.h"
#include "exclog/dialogs/ETreeList_win.h"
#include "exclog/report/EInternalError.h"
#include "exclog/report/EInternalError_win.h"
#include "resources/exclog/QuelbaDialogs.h"

namespace exclog {

namespace {

constexpr UINT_PTR FirstShowTimer = 1;

constexpr const char* SettingsFile = "QuelbaLog.ini";
constexpr const char* CoordinatesSection = "Coordinates";

// The open dialog's own state, from WM_INITDIALOG to WM_DESTROY.
struct TExceptionDialogState {
  HWND Window = nullptr;
  bool Initialised = false;  // WM_SIZE lays out only after WM_INITDIALOG
  bool OwnLook = false;
  int CheckArea = 0;
  TCheckVisibility Visible;
  HBITMAP ErrorBitmap = nullptr;
  SIZE BitmapSize{};
  HBRUSH Background = nullptr;
  bool OwnBackground = false;  // the brush is ours to delete
  TDialogLink Link;
  TPlacement Last;
  bool SizeRecorded = false;
  bool PagesBuilt = false;  // the tabs and their page: made when details first show
  unsigned Layouts = 0;     // LayOut calls so far
  // Measured when the texts are set: at the start and when a handler changes them.
  int ButtonWidth = 0;
  SIZE LinkSize{};
  uint16_t ReadFlags = 0;  // the dialog flags as the boxes last took them
};
TExceptionDialogState state;

HWND Item(int id) { return GetDlgItem(state.Window, id); }
bool Checked(int id) { return IsDlgButtonChecked(state.Window, id) == BST_CHECKED; }

SIZE TextSize(HFONT font, const std::string& text) {
  SIZE size{};
  HDC dc = GetDC(state.Window);
  HGDIOBJ old = SelectObject(dc, font ? font : GetStockObject(DEFAULT_GUI_FONT));
  GetTextExtentPoint32A(dc, text.empty() ? " " : text.c_str(), text.empty() ? 1 : static_cast<int>(text.size()), &size);
  if (text.empty()) size.cx = 0;
  SelectObject(dc, old);
  ReleaseDC(state.Window, dc);
  return size;
}

std::vector<std::string> MessageLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (;;) {
    size_t end = text.find('\n', start);
    std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return lines;
}

void Move(int id, const TDialogRect& r) { MoveWindow(Item(id), r.X, r.Y, r.Width, r.Height, TRUE); }
void Show(int id, bool shown) { ShowWindow(Item(id), shown ? SW_SHOWNA : SW_HIDE); }

void LayOut() {
  ++state.Layouts;
  RECT client;
  GetClientRect(state.Window, &client);
  TDialogLayoutInput in;
  in.Width = client.right;
  in.Height = client.bottom;
  in.CheckArea = state.CheckArea;
  in.DetailsMode = DialogOutcome().DetailsMode != 0;
  in.DetailsShownBefore = DialogOutcome().DetailsShownBefore != 0;
  TQuelbaModuleOptions& options = DialogOptions();
  in.DialogFlags = options.DialogFlags();
  in.ButtonWidth = state.ButtonWidth;
  in.TerminateAction = options.TerminateAction();
  in.ErrorCount = DialogReportFacts().ErrorCount;
  in.TerminateButtonAfter = options.TerminateButtonAfter();
  in.Visible = state.Visible;
  in.LinkWidth = state.LinkSize.cx;
  in.LinkHeight = state.LinkSize.cy;
  TDialogLayout l = LayOutDialog(in);
  Move(QL_DLG_TABS, l.Tab);
  if (l.PlaceHeader) Move(QL_DLG_HEADER, l.Header);
  Move(QL_DLG_TERMINATE, l.Terminate);
  Show(QL_DLG_TERMINATE, l.TerminateShown);
  Move(QL_DLG_HELP, l.Help);
  Show(QL_DLG_HELP, l.HelpShown);
  Move(QL_DLG_OK, l.Ok);
  Move(QL_DLG_DETAILS, l.Details);
  Show(QL_DLG_DETAILS, l.DetailsShown);
  Show(QL_DLG_SEPARATOR, false);
  Move(QL_DLG_SEND, l.Send);
  Move(QL_DLG_COPY, l.Copy);
  Move(QL_DLG_SCREENSHOT, l.Screenshot);
  state.Link.Rect = l.Link;
  state.Link.Shown = state.Visible.Link;
  state.Link.Hover = false;
}

void SetNormalPlacement(int left, int top, int width, int height, UINT showCmd) {
  WINDOWPLACEMENT wp{};
  wp.length = sizeof wp;
  GetWindowPlacement(state.Window, &wp);
  wp.rcNormalPosition = {left, top, left + width, top + height};
  wp.showCmd = showCmd;
  wp.flags = 0;
  SetWindowPlacement(state.Window, &wp);
}

void ShowCompact() {
  std::string message = ExceptionMessageText();
  SetDlgItemTextA(state.Window, QL_DLG_HEADER, message.c_str());
  TCompactInput in;
  HFONT font = DialogKit().DialogFont;
  std::vector<std::string> lines = MessageLines(message);
  lines.push_back(DialogText(22) + "    " + DialogText(24));
  for (const std::string& line : lines) in.LineWidths.push_back(TextSize(font, line).cx);
  in.LineHeight = TextSize(font, "Ag").cy;
  in.CxFrame = GetSystemMetrics(SM_CXFRAME);
  in.CyFrame = GetSystemMetrics(SM_CYFRAME);
  in.CaptionMetric = DialogKit().CaptionMetric;
  in.CheckArea = state.CheckArea;
  TCompactSize size = CompactSize(in);
  Move(QL_DLG_HEADER, size.Header);
  CenterOnWorkArea(state.Window, size.WindowWidth, size.WindowHeight);
  ShowWindow(Item(QL_DLG_TABS), SW_HIDE);
  RECT r;
  GetWindowRect(state.Window, &r);
  SetNormalPlacement(r.left, r.top, r.right - r.left, r.bottom - r.top, SW_SHOWNORMAL);
}

// Each tab's text, inserted (TCM_INSERTITEMA) or set again (TCM_SETITEMA).
void PutTabTexts(UINT message) {
  HWND tabs = Item(QL_DLG_TABS);
  int index = 0;
  for (int page : TabPages(DialogOptions().LogFlags())) {
    std::string text = DialogText(5 + 2 * page);
    TCITEMA item{};
    item.mask = TCIF_TEXT;
    item.pszText = text.data();
    SendMessageA(tabs, message, index++, reinterpret_cast<LPARAM>(&item));
  }
}

void InsertTabs() {
  PutTabTexts(TCM_INSERTITEMA);
  SetControlFont(state.Window, QL_DLG_TABS, DialogKit().DialogFont);
}

// The tabs and the initial tab's page: the compact dialog never shows them, so a
// dialog that opens compact makes them when the details first show.
void BuildPages() {
  if (state.PagesBuilt) return;
  state.PagesBuilt = true;
  InsertTabs();
  TQuelbaModuleOptions& options = DialogOptions();
  int tab = InitialTab(options.InitialPage(), options.LogFlags());
  SendMessageA(Item(QL_DLG_TABS), TCM_SETCURSEL, tab, 0);
  SelectDialogPage(Item(QL_DLG_TABS), tab);
}

void ShowDetailed() {
  BuildPages();
  SetDlgItemTextA(state.Window, QL_DLG_HEADER, DialogText(4).c_str());
  LoadDetailsPlacement();
  ShowWindow(Item(QL_DLG_TABS), SW_SHOWNA);
  const TPlacement& p = state.Last;
  SetNormalPlacement(p.Left, p.Top, p.Width, p.Height + state.CheckArea,
                     p.State == PlacementMaximised ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL);
}

void CloseWith(int result) {
  DialogOutcome().PresentationKind = PresentNothing;
  EndDialog(state.Window, result);
}

void Cancel() {
  SetSendChosen(false);
  DialogOutcome().Cancelled = 1;
  DialogOutcome().CopyChosen = 0;
  CloseWith(IDCANCEL);
}

TCheckVisibility OptionVisibility(const TQuelbaModuleOptions& options) {
  TCheckAreaInput check;
  check.MailMode = options.MailMode();
  check.WebSendMode = options.WebSendMode();
  check.Duplicate = DialogReportFacts().Duplicate;
  check.DialogFlags = options.DialogFlags();
  check.ProcessFlags = options.ProcessFlags();
  check.SupportUrl = options.SupportUrl();
  return CheckVisibility(check);
}

// The buttons' and boxes' texts, and the sizes the layout takes from them.
void SetButtonTexts(const TQuelbaModuleOptions& options) {
  SetDlgItemTextA(state.Window, QL_DLG_SEND, DialogText(22).c_str());
  SetDlgItemTextA(state.Window, QL_DLG_COPY, DialogText(24).c_str());
  SetDlgItemTextA(state.Window, QL_DLG_SCREENSHOT, DialogText(23).c_str());
  SetDlgItemTextA(state.Window, QL_DLG_OK, DialogText(17).c_str());
  SetDlgItemTextA(state.Window, QL_DLG_TERMINATE, DialogText(options.TerminateAction() == 1 ? 18 : 19).c_str());
  SetDlgItemTextA(state.Window, QL_DLG_HELP, DialogText(21).c_str());
  std::vector<int> widths;
  for (int text = 17; text <= 21; ++text)
    widths.push_back(TextSize(DialogKit().DialogFont, WithoutAmpersands(DialogText(text)) + "O").cx);
  state.ButtonWidth = CommonButtonWidth(widths);
  state.LinkSize = TextSize(DialogKit().BoldUnderlinedFont, DialogText(25));
}

void InitDialog(HWND window) {
  state = {};
  state.Window = window;
  TDialogOutcome& outcome = DialogOutcome();
  TQuelbaModuleOptions& options = DialogOptions();
  const uint16_t flags = options.DialogFlags();
  // 1. At 0, 0 without size until the mode places it.
  SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOREDRAW | SWP_NOACTIVATE | SWP_NOSENDCHANGING);
  state.OwnLook = (flags & DialogOwnLook) != 0;
  PrepareDialogWindow(window, state.OwnLook);
  TakeReportOwner(window, true);
  // 2. and 3.
  state.Visible = OptionVisibility(options);
  state.CheckArea = CheckAreaHeight(state.Visible);
  outcome.CopyChosen = 1;
  SetSendChosen(true);
  // 4. The foreground is taken once the window shows (the first-show timer): a
  // window made foreground while still hidden is active without the keyboard
  // focus of the screen, and keys pressed in the dialog go nowhere.
  outcome.DetailsMode = outcome.DetailsShownBefore || (flags & DialogOpenDetailed);
  // 5.
  state.ErrorBitmap = static_cast<HBITMAP>(LoadImageA(LoggerResourceModule(), "QL_ERROR", IMAGE_BITMAP, 0, 0, 0));
  BITMAP info{};
  if (state.ErrorBitmap && GetObjectA(state.ErrorBitmap, sizeof info, &info))
    state.BitmapSize = {info.bmWidth, info.bmHeight};
  state.OwnBackground = state.OwnLook;
  state.Background = state.OwnLook ? CreateSolidBrush(0xC8D0D4) : GetSysColorBrush(COLOR_BTNFACE);
  // The pages paint their background with the dialog's brush.
  DialogKit().BackgroundBrush = state.Background;
  CreateDialogFonts(window);
  // 6.
  for (int id : {QL_DLG_HEADER, QL_DLG_OK, QL_DLG_TERMINATE, QL_DLG_DETAILS, QL_DLG_HELP, QL_DLG_SEND, QL_DLG_COPY,
                 QL_DLG_SCREENSHOT})
    SetControlFont(window, id, DialogKit().DialogFont);
  SetButtonTexts(options);
  if (!(flags & DialogShowHelp)) ShowWindow(Item(QL_DLG_HELP), SW_HIDE);
  // 7.
  bool send = SendChosen() && (flags & DialogSendChecked);
  CheckDlgButton(window, QL_DLG_SEND, send ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(window, QL_DLG_SCREENSHOT,
                 outcome.ScreenshotChosen && (flags & DialogScreenshotChecked) ? BST_CHECKED : BST_UNCHECKED);
  EnableWindow(Item(QL_DLG_SCREENSHOT), send);
  if (!state.Visible.Send) ShowWindow(Item(QL_DLG_SEND), SW_HIDE);
  if (!state.Visible.Screenshot) ShowWindow(Item(QL_DLG_SCREENSHOT), SW_HIDE);
  CheckDlgButton(window, QL_DLG_COPY, BST_UNCHECKED);
  if (!state.Visible.Copy) ShowWindow(Item(QL_DLG_COPY), SW_HIDE);
  state.ReadFlags = flags;
  // 8. and 9.
  SetWindowTextA(window, DialogText(3).c_str());
  // 10. (the tabs and the page come with the details)
  SetFocus(Item(QL_DLG_OK));
  state.Initialised = true;
  SetDetailsMode(outcome.DetailsMode != 0);
  // 11.
  SetTimer(window, FirstShowTimer, 1, nullptr);
  StartAutoClose(window);
  StartKeepForeground(window);
}

void DestroyDialog() {
  TDialogOutcome& outcome = DialogOutcome();
  KillTimer(state.Window, FirstShowTimer);
  StopAutoClose(state.Window);
  StopKeepForeground(state.Window);
  TDialogChoiceBoxes boxes;
  boxes.SendChosen = SendChosen();
  boxes.SendChecked = Checked(QL_DLG_SEND);
  boxes.ScreenshotChecked = Checked(QL_DLG_SCREENSHOT);
  boxes.CopyChosen = outcome.CopyChosen != 0;
  boxes.CopyChecked = Checked(QL_DLG_COPY);
  TDialogEndChoices end = CombineOnDestroy(boxes, DialogOptions().DialogFlags());
  SetSendChosen(end.SendChosen);
  outcome.ScreenshotChosen = end.ScreenshotChosen;
  outcome.CopyChosen = end.CopyChosen;
  DialogOptions().SetDialogFlags(end.DialogFlags);
  DeleteDialogFonts();
  DialogKit().BackgroundBrush = nullptr;
  if (state.OwnBackground && state.Background) DeleteObject(state.Background);
  if (state.ErrorBitmap) DeleteObject(state.ErrorBitmap);
  DestroyDialogPage();
  if (outcome.DetailsMode) SaveDetailsPlacement();
  state.Initialised = false;
  state.Window = nullptr;
}

// An event's handlers changed the report's options while the dialog shows: the
// dialog takes in its texts, which boxes show, the boxes whose option changed
// (the others keep the user's clicks), the top-most flag and the sizes that
// follow. The pages, their tabs' order and the own look stay as the dialog began.
void Refresh() {
  ReportDialogRefreshTaken();
  TQuelbaModuleOptions& options = DialogOptions();
  const uint16_t flags = options.DialogFlags();
  const uint16_t changed = flags ^ state.ReadFlags;
  state.ReadFlags = flags;
  const int oldArea = state.CheckArea;
  state.Visible = OptionVisibility(options);
  state.CheckArea = CheckAreaHeight(state.Visible);
  ApplyTopMostOption(state.Window);
  SetWindowTextA(state.Window, DialogText(3).c_str());
  SetButtonTexts(options);
  PutTabTexts(TCM_SETITEMA);
  if (changed & DialogSendChecked)
    CheckDlgButton(state.Window, QL_DLG_SEND, SendChosen() && (flags & DialogSendChecked) ? BST_CHECKED : BST_UNCHECKED);
  if (changed & DialogScreenshotChecked)
    CheckDlgButton(state.Window, QL_DLG_SCREENSHOT,
                   DialogOutcome().ScreenshotChosen && (flags & DialogScreenshotChecked) ? BST_CHECKED : BST_UNCHECKED);
  EnableWindow(Item(QL_DLG_SCREENSHOT), Checked(QL_DLG_SEND));
  Show(QL_DLG_SEND, state.Visible.Send);
  Show(QL_DLG_SCREENSHOT, state.Visible.Screenshot);
  Show(QL_DLG_COPY, state.Visible.Copy);
  if (DialogOutcome().DetailsMode) {
    SetDlgItemTextA(state.Window, QL_DLG_HEADER, DialogText(4).c_str());
    SetDlgItemTextA(state.Window, QL_DLG_DETAILS, ("<< " + DialogText(20)).c_str());
    RECT r;
    if (state.CheckArea != oldArea && !IsZoomed(state.Window) && GetWindowRect(state.Window, &r))
      SetWindowPos(state.Window, nullptr, 0, 0, r.right - r.left, r.bottom - r.top + state.CheckArea - oldArea,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  } else {
    SetDlgItemTextA(state.Window, QL_DLG_DETAILS, (DialogText(20) + " >>").c_str());
    ShowCompact();  // the header's lines and the check area decide the size
  }
  LayOut();
  RedrawWindow(state.Window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

void Paint() {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(state.Window, &ps);
  if (state.ErrorBitmap) DrawTransparentBitmap(dc, state.ErrorBitmap, 8, 8, state.BitmapSize.cx, state.BitmapSize.cy);
  state.Link.Paint(dc, DialogKit().BoldUnderlinedFont, RGB(0, 0, 128), DialogText(25));
  EndPaint(state.Window, &ps);
}

void Sized(WPARAM kind) {
  TDialogOutcome& outcome = DialogOutcome();
  LayOut();
  if (kind == SIZE_MAXIMIZED) {
    state.Last.State = PlacementMaximised;
  } else if (kind == SIZE_MINIMIZED) {
    state.Last.State = PlacementMinimised;
  } else if (outcome.DetailsMode) {
    state.Last.State = PlacementNormal;
    RECT r;
    GetWindowRect(state.Window, &r);
    state.Last.Width = r.right - r.left;
    state.Last.Height = r.bottom - r.top - state.CheckArea;
    state.SizeRecorded = true;
  }
  PlaceDialogPage(Item(QL_DLG_TABS));
  // Moved children leave stale pieces behind while the frame is dragged.
  RedrawWindow(state.Window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void Command(WORD id, WORD code) {
  ResetAutoClose();
  TDialogOutcome& outcome = DialogOutcome();
  switch (id) {
    case QL_DLG_DETAILS:
      if (outcome.DetailsMode) SaveDetailsPlacement();
      outcome.DetailsMode = !outcome.DetailsMode;
      InvalidateRect(state.Window, nullptr, TRUE);
      SetDetailsMode(outcome.DetailsMode != 0);
      break;
    case IDCANCEL:
      Cancel();
      break;
    case QL_DLG_OK:
      CloseWith(IDOK);
      break;
    case QL_DLG_TERMINATE:
      outcome.RestartChosen = 1;
      CloseWith(IDOK);
      break;
    case QL_DLG_HELP: {
      outcome.HelpAsksToClose = 0;
      bool close = false;
      if (DialogEventSeams().RunHelp) DialogEventSeams().RunHelp(close);
      if (close) outcome.HelpAsksToClose = 1;
      if (outcome.HelpAsksToClose) CloseWith(IDOK);
      break;
    }
    case QL_DLG_SEND:
      if (code == BN_CLICKED) EnableWindow(Item(QL_DLG_SCREENSHOT), Checked(QL_DLG_SEND));
      break;
    default:
      break;
  }
}

INT_PTR Answer(HWND window, LRESULT result) {
  SetWindowLongPtrA(window, DWLP_MSGRESULT, result);
  return TRUE;
}

}  // namespace

HWND ExceptionDialogWindow() { return state.Window; }

void SetDetailsMode(bool detailed) {
  if (!state.Window) return;
  HWND window = state.Window;
  if (!detailed) {
    ShowWindow(Item(QL_DLG_TABS), SW_HIDE);  // before the window shows: the tabs never flash
    // Out of a maximised details window; a dialog not yet shown is shown once,
    // already placed, by its placement below.
    if (IsWindowVisible(window)) ShowWindow(window, SW_SHOWNORMAL);
  }
  if (!state.OwnLook)
    for (int id : {QL_DLG_OK, QL_DLG_TERMINATE, QL_DLG_DETAILS, QL_DLG_HELP, QL_DLG_SEND, QL_DLG_SCREENSHOT, QL_DLG_COPY}) {
      HWND item = Item(id);
      SetWindowLongA(item, GWL_STYLE, GetWindowLongA(item, GWL_STYLE) & ~BS_FLAT);
    }
  LONG frame = WS_THICKFRAME | WS_MAXIMIZEBOX | (state.OwnLook ? 0 : WS_SYSMENU);
  LONG style = GetWindowLongA(window, GWL_STYLE);
  SetWindowLongA(window, GWL_STYLE, detailed ? style | frame : style & ~frame);
  SetWindowPos(window, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  std::string details = detailed ? "<< " + DialogText(20) : DialogText(20) + " >>";
  SetDlgItemTextA(window, QL_DLG_DETAILS, details.c_str());
  const unsigned layouts = state.Layouts;
  if (detailed)
    ShowDetailed();
  else
    ShowCompact();
  // The placement's size change laid the dialog out already, unless the size stayed.
  if (state.Layouts == layouts) LayOut();
}

void LoadDetailsPlacement() {
  TPlacementValues values;
  values.Width = ReadSetting(SettingsFile, CoordinatesSection, "Width", "");
  values.Height = ReadSetting(SettingsFile, CoordinatesSection, "Height", "");
  values.Left = ReadSetting(SettingsFile, CoordinatesSection, "Left", "");
  values.Top = ReadSetting(SettingsFile, CoordinatesSection, "Top", "");
  values.State = ReadSetting(SettingsFile, CoordinatesSection, "WindowsState", "");
  RECT work{};
  GetWorkArea(state.Window, work);
  state.Last = ResolvePlacement(values, {work.left, work.top, work.right - work.left, work.bottom - work.top},
                                state.CheckArea);
  state.SizeRecorded = false;
}

void SaveDetailsPlacement() {
  for (const auto& [key, value] : PlacementToSave(state.Last, state.SizeRecorded))
    WriteSetting(SettingsFile, CoordinatesSection, key, value);
}

namespace {

// Makes the shown dialog the foreground window with the screen's keyboard focus.
// Under Wine a window already foreground can lack the screen's focus: its taking
// carried an older time stamp than another window's and the display ignored it. A
// focus change made now carries this message's time and is taken.
void TakeScreenFocus(HWND window) {
  if (GetForegroundWindow() != window) {
    SetForegroundWindow(window);
    return;
  }
  HWND focus = GetFocus();
  SetFocus(window);  // the dialog hands the focus back to its control
  if (focus && IsChild(window, focus) && GetFocus() != focus) SetFocus(focus);
}

}  // namespace

INT_PTR CALLBACK ExceptionDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  // No exception may leave a dialog procedure.
  try {
    if (IsUserInputMessage(message)) ResetAutoClose();
    switch (message) {
      case WM_INITDIALOG:
        InitDialog(window);
        SetOpenReportDialog(window);
        return FALSE;  // the focus is on OK
      case WM_TIMER:
        if (wParam != FirstShowTimer) return FALSE;
        KillTimer(window, FirstShowTimer);
        if (!DialogOutcome().BecameVisible)
          CloseWith(IDCANCEL);
        else
          TakeScreenFocus(window);
        return TRUE;
      case WM_ACTIVATE:
        MarkDialogVisible();
        return FALSE;
      case WM_COMMAND:
        Command(LOWORD(wParam), HIWORD(wParam));
        return TRUE;
      case WM_SYSCOMMAND:
        // The close box answers like Escape; WM_CLOSE itself (auto-close) like OK.
        if ((wParam & 0xFFF0) != SC_CLOSE) return FALSE;
        ResetAutoClose();
        Cancel();
        return TRUE;
      case WM_NOTIFY: {
        ResetAutoClose();
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        if (header && header->idFrom == QL_DLG_TABS && header->code == TCN_SELCHANGE)
          SelectDialogPage(Item(QL_DLG_TABS), static_cast<int>(SendMessageA(Item(QL_DLG_TABS), TCM_GETCURSEL, 0, 0)));
        return FALSE;
      }
      case WM_MOUSEMOVE:
        state.Link.MouseMoved(window, lParam);
        return FALSE;
      case WM_SETCURSOR:
        return state.Link.SetCursorOver(window, lParam);
      case WM_LBUTTONUP:
        if (state.Link.Hover) {
          SetWindowPos(window, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
          ShellExecuteA(nullptr, "open", DialogOptions().SupportUrl().c_str(), nullptr, nullptr, SW_SHOWMAXIMIZED);
        }
        return FALSE;
      case WM_PAINT:
        MarkDialogVisible();
        Paint();
        return TRUE;
      case WM_NCPAINT:
      case WM_NCACTIVATE:
        MarkDialogVisible();
        // Painted: WM_NCACTIVATE must still answer TRUE, or the window can never
        // be deactivated.
        if (state.OwnLook && PaintCustomCaption(message, wParam, DialogText(3), window)) return Answer(window, TRUE);
        return FALSE;
      case WM_CTLCOLORDLG:
        return state.OwnLook ? reinterpret_cast<INT_PTR>(state.Background) : FALSE;
      case WM_CTLCOLORSTATIC:
        if (!state.OwnLook) return FALSE;
        SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
        SetTextColor(reinterpret_cast<HDC>(wParam), RGB(0, 0, 0));
        return reinterpret_cast<INT_PTR>(state.Background);
      case WM_MOVE:
        if (state.Initialised && DialogOutcome().DetailsMode && !IsZoomed(window) && !IsIconic(window)) {
          RECT r;
          GetWindowRect(window, &r);
          state.Last.Left = r.left;
          state.Last.Top = r.top;
        }
        return FALSE;
      case WM_SIZE:
        if (state.Initialised) Sized(wParam);
        return FALSE;
      case WM_CLOSE:
        CloseWith(IDOK);
        return TRUE;
      case ReportDialogRefreshMessage:
        if (state.Initialised) Refresh();
        return TRUE;
      case WM_DESTROY:
        SetOpenReportDialog(nullptr);
        ReleaseReportOwner();
        DestroyDialog();
        return FALSE;
      default:
        return FALSE;
    }
  } catch (...) {
    ReportInternalError("ExceptionDialogProc");
    return FALSE;
  }
}

void ShowExceptionDialog(bool beep) {
  LoadDialogClasses();
  HWND foreground = GetForegroundWindow();
  TDialogOutcome& outcome = DialogOutcome();
  if (beep && outcome.PresentationKind != PresentMessageBox) MessageBeep(MB_ICONHAND);
  TPresentationOps ops;
  ops.ShowDetailed = [] { RunLoggerDialog("QL_DIALOG", &ExceptionDialogProc); };
  ops.ShowClassic = [] { RunLoggerDialog("QL_MS_DIALOG", &ClassicDialogProc); };
  ops.ShowMessageBox = [] {
    MarkDialogVisible();
    return LoggerMessageBox(nullptr, ExceptionMessageText(), DialogText(3),
                            MB_ICONHAND | MB_TASKMODAL | MB_TOPMOST | MB_SERVICE_NOTIFICATION);
  };
  ops.WindowsNT = (GetVersion() & 0x80000000u) == 0;
  ops.NotifyAction = [](bool& chosen) {
    if (DialogEventSeams().NotifyAction) DialogEventSeams().NotifyAction(ActionTerminateChosen, chosen);
  };
  ops.ClearLastWarning = &ClearLastInternalWarning;
  ops.WarnDialogFailed = [] { InternalWarning(1, DialogFailedWarning); };
  RunPresentationLoop(outcome, ops);
  ClearDialogVisible();
  if (foreground && IsWindow(foreground)) SetForegroundWindow(foreground);
}

}  // namespace exclog
