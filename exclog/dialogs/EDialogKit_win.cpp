#include "exclog/dialogs/EDialogKit_win.h"

#include <algorithm>

#include "exclog/core/ExceptionLog.h"
#include "exclog/core/EProcess_win.h"
#include "exclog/dialogs/EDialogSeams.h"
#include "exclog/report/ESysInfo_win.h"

namespace exclog {

namespace {

// The pre-Vista size of NONCLIENTMETRICSA, which every system accepts.
constexpr UINT NonClientMetricsSize = 340;

void DeleteFont(HFONT& font) {
  if (font) DeleteObject(font);
  font = nullptr;
}

HFONT FontFrom(LOGFONTA base, LONG weight, bool underline) {
  base.lfWeight = weight;
  base.lfUnderline = underline ? 1 : 0;
  return CreateFontIndirectA(&base);
}

uint16_t DialogFlagsOption() { return DialogOptions().DialogFlags(); }

// One DC of a window (or the screen) for the life of a call.
class TWindowDC {
 public:
  explicit TWindowDC(HWND window) : window_(window), dc_(GetDC(window)) {}
  ~TWindowDC() {
    if (dc_) ReleaseDC(window_, dc_);
  }
  TWindowDC(const TWindowDC&) = delete;
  TWindowDC& operator=(const TWindowDC&) = delete;
  HDC Get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

void FillColour(HDC dc, const RECT& rect, uint32_t colour) {
  HBRUSH brush = CreateSolidBrush(colour);
  FillRect(dc, &rect, brush);
  DeleteObject(brush);
}

void FrameColour(HDC dc, const RECT& rect, uint32_t colour) {
  HBRUSH brush = CreateSolidBrush(colour);
  FrameRect(dc, &rect, brush);
  DeleteObject(brush);
}

RECT ToRect(const TKitRect& r) { return {r.Left, r.Top, r.Right, r.Bottom}; }

void CALLBACK AutoCloseTick(HWND window, UINT, UINT_PTR, DWORD) {
  try {
    TDialogKitState& kit = DialogKit();
    if (kit.AutoClose.Tick()) SendMessageA(window, WM_CLOSE, 0, 0);
  } catch (...) {
  }
}

// A window activated while another program still held the foreground is told
// so (WM_NCACTIVATE FALSE), and no message follows when the foreground reaches
// it later: until then, or until it stops being its thread's active window, its
// caption is looked after here.
void CALLBACK ForegroundWatchTick(HWND window, UINT, UINT_PTR, DWORD) {
  try {
    if (GetActiveWindow() != window) {
      KillTimer(window, ForegroundWatchTimer);
    } else if (GetForegroundWindow() == window) {
      KillTimer(window, ForegroundWatchTimer);
      RedrawWindow(window, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
    }
  } catch (...) {
  }
}

void WatchForForeground(HWND window) { SetTimer(window, ForegroundWatchTimer, 50, &ForegroundWatchTick); }

void CALLBACK KeepForegroundTick(HWND, UINT, UINT_PTR, DWORD) {
  try {
    TDialogKitState& kit = DialogKit();
    if (!kit.KeptInFront) return;
    HWND foreground = GetForegroundWindow();
    TForegroundFacts facts;
    facts.DialogTopMost = (GetWindowLongA(kit.KeptInFront, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    facts.ForegroundIsDialog = foreground == kit.KeptInFront;
    facts.ForegroundOfOtherProcess = foreground && WindowOfOtherProcess(foreground);
    facts.ForegroundRecorded =
        foreground && std::find(kit.RecordedWindows.begin(), kit.RecordedWindows.end(), foreground) !=
                          kit.RecordedWindows.end();
    if (ShouldRetakeForeground(facts)) SetForegroundWindow(kit.KeptInFront);
  } catch (...) {
  }
}

}  // namespace

TDialogKitState& DialogKit() {
  static TDialogKitState kit;
  return kit;
}

void CreateDialogFonts(HWND window) {
  DeleteDialogFonts();
  TDialogKitState& kit = DialogKit();
  kit.Faces = FacesForCharset(GetLocaleCharset());
  kit.Metrics = NONCLIENTMETRICSA{};
  kit.Metrics.cbSize = NonClientMetricsSize;
  SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, NonClientMetricsSize, &kit.Metrics, 0);
  kit.CaptionFont = CreateFontA(kit.Metrics.lfCaptionFont.lfHeight, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET,
                                OUT_TT_PRECIS, CLIP_DEFAULT_PRECIS, DRAFT_QUALITY, VARIABLE_PITCH | FF_SWISS,
                                kit.Faces.Header.c_str());
  const LOGFONTA& message = kit.Metrics.lfMessageFont;
  kit.DialogFont = CreateFontIndirectA(&message);
  kit.BoldUnderlinedFont = FontFrom(message, FW_BOLD, true);
  kit.UnderlinedFont = FontFrom(message, message.lfWeight, true);
  kit.BoldFont = FontFrom(message, FW_BOLD, false);
  int pixelsY = 96;
  {
    TWindowDC dc(window);
    if (dc.Get()) pixelsY = GetDeviceCaps(dc.Get(), LOGPIXELSY);
  }
  int height = -MulDiv(kit.Faces.Points, pixelsY, 72);
  auto fixed = [&](const std::string& face) {
    return CreateFontA(height, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, OUT_TT_PRECIS, CLIP_DEFAULT_PRECIS,
                       DRAFT_QUALITY, FIXED_PITCH | FF_MODERN, face.c_str());
  };
  kit.FixedFont = fixed(kit.Faces.Fixed);
  kit.ListFont = fixed(kit.Faces.List);
}

void DeleteDialogFonts() {
  TDialogKitState& kit = DialogKit();
  for (HFONT* font : {&kit.CaptionFont, &kit.DialogFont, &kit.BoldUnderlinedFont, &kit.UnderlinedFont,
                      &kit.BoldFont, &kit.FixedFont, &kit.ListFont})
    DeleteFont(*font);
}

void PrepareDialogWindow(HWND window, bool keepToolCaption) {
  TDialogKitState& kit = DialogKit();
  uint16_t flags = DialogFlagsOption();
  bool classic = DialogOutcome().PresentationKind == 2;
  if ((!(flags & DialogOwnLook) || classic) && !keepToolCaption) {
    SetWindowLongA(window, GWL_EXSTYLE, GetWindowLongA(window, GWL_EXSTYLE) & ~WS_EX_TOOLWINDOW);
    kit.CaptionMetric = GetSystemMetrics(SM_CYCAPTION);
  } else {
    kit.CaptionMetric = GetSystemMetrics(SM_CYSMCAPTION);
  }
  kit.TopMost = (flags & DialogTopMost) != 0;
  if (kit.TopMost) SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  RECT r;
  if (!GetWindowRect(window, &r)) return;
  // The templates assume an 18-pixel caption.
  MoveWindow(window, r.left, r.top, r.right - r.left, r.bottom - r.top - 18 + kit.CaptionMetric, TRUE);
}

bool PaintCustomCaption(UINT message, WPARAM wParam, const std::string& caption, HWND window) {
  if (!(DialogFlagsOption() & DialogOwnLook)) return false;
  if (message != WM_NCPAINT && message != WM_NCACTIVATE) return false;
  TDialogKitState& kit = DialogKit();
  // WM_NCACTIVATE names the state being entered; any other paint shows the
  // window's own state now.
  const bool active = message == WM_NCACTIVATE ? wParam != 0 : GetForegroundWindow() == window;
  if (message == WM_NCACTIVATE && !active && GetForegroundWindow() != window) WatchForForeground(window);
  RECT wr;
  if (!GetWindowRect(window, &wr)) return false;
  TCaptionGeometry g = CaptionGeometryOf(wr.right - wr.left, wr.bottom - wr.top, GetSystemMetrics(SM_CXFRAME),
                                         GetSystemMetrics(SM_CYFRAME), kit.CaptionMetric);
  TCaptionColours colours = CaptionColours(active);
  HDC dc = GetWindowDC(window);
  if (!dc) return false;
  for (const TGradientStep& step : GradientSteps(g.Band, colours.GradientStart))
    FillColour(dc, ToRect(step.Rect), step.Colour);
  FrameColour(dc, ToRect(g.Window), colours.DarkFrame);
  bool details = DialogOutcome().DetailsMode != 0;
  RECT inner = ToRect(g.Inner);
  if (!details) inner.bottom -= 1;
  FrameColour(dc, inner, colours.DarkFrame);
  if (details) FrameColour(dc, ToRect(g.Client), colours.DarkFrame);
  // The strips between the outer frame and the inner rectangle.
  RECT strips[4] = {{1, 1, g.Window.Right - 1, g.Inner.Top},
                    {1, inner.bottom, g.Window.Right - 1, g.Window.Bottom - 1},
                    {1, g.Inner.Top, g.Inner.Left, inner.bottom},
                    {g.Inner.Right, g.Inner.Top, g.Window.Right - 1, inner.bottom}};
  for (const RECT& strip : strips)
    if (strip.right > strip.left && strip.bottom > strip.top) FillColour(dc, strip, colours.LightFrame);
  HGDIOBJ oldFont = SelectObject(dc, kit.CaptionFont ? kit.CaptionFont : GetStockObject(DEFAULT_GUI_FONT));
  int oldMode = SetBkMode(dc, TRANSPARENT);
  RECT band = ToRect(g.Band);
  UINT format = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_LEFT;
  if (active) {
    RECT shadow = band;
    shadow.left += 5;
    SetTextColor(dc, CaptionShadowColour);
    DrawTextA(dc, caption.c_str(), -1, &shadow, format);
  }
  RECT text = band;
  text.left += 4;
  SetTextColor(dc, colours.Text);
  DrawTextA(dc, caption.c_str(), -1, &text, format);
  SetBkMode(dc, oldMode);
  SelectObject(dc, oldFont);
  ReleaseDC(window, dc);
  return true;
}

void StartAutoClose(HWND window) {
  int seconds = DialogOptions().AutoCloseSeconds();
  if (seconds <= 0) return;
  TDialogKitState& kit = DialogKit();
  kit.AutoClose.Start(seconds);
  kit.AutoCloseWindow = window;
  SetTimer(window, AutoCloseTimer, 1000, &AutoCloseTick);
}

void StopAutoClose(HWND window) {
  TDialogKitState& kit = DialogKit();
  if (kit.AutoClose.Seconds() > 0) KillTimer(window, AutoCloseTimer);
  kit.AutoClose.Start(0);
  kit.AutoCloseWindow = nullptr;
}

void ResetAutoClose() { DialogKit().AutoClose.Reset(); }

void StartKeepForeground(HWND window) {
  TDialogKitState& kit = DialogKit();
  kit.RecordedWindows = ProcessWindows();
  // The dialog itself may be listed already: it never counts as a taker.
  kit.RecordedWindows.erase(std::remove(kit.RecordedWindows.begin(), kit.RecordedWindows.end(), window),
                            kit.RecordedWindows.end());
  kit.KeptInFront = window;
  SetTimer(window, KeepForegroundTimer, 10, &KeepForegroundTick);
}

void StopKeepForeground(HWND window) {
  KillTimer(window, KeepForegroundTimer);
  TDialogKitState& kit = DialogKit();
  kit.KeptInFront = nullptr;
  kit.RecordedWindows.clear();
}

TMonitorFunctions& MonitorFunctions() {
  static TMonitorFunctions functions = [] {
    TMonitorFunctions f;
    if (HMODULE user = GetModuleHandleA("user32.dll")) {
      f.FromWindow = reinterpret_cast<decltype(f.FromWindow)>(reinterpret_cast<void*>(GetProcAddress(user, "MonitorFromWindow")));
      f.FromPoint = reinterpret_cast<decltype(f.FromPoint)>(reinterpret_cast<void*>(GetProcAddress(user, "MonitorFromPoint")));
      f.Info = reinterpret_cast<decltype(f.Info)>(reinterpret_cast<void*>(GetProcAddress(user, "GetMonitorInfoA")));
    }
    return f;
  }();
  return functions;
}

void GetWorkArea(HWND window, RECT& area) {
  const TMonitorFunctions& f = MonitorFunctions();
  if (f.FromWindow && f.Info) {
    MONITORINFO info{};
    info.cbSize = sizeof info;  // 40
    HMONITOR monitor = f.FromWindow(window, MONITOR_DEFAULTTONEAREST);
    if (monitor && f.Info(monitor, &info)) {
      area = info.rcWork;
      return;
    }
  }
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
}

void GetForegroundWorkArea(RECT& area) {
  HWND foreground = GetForegroundWindow();
  GetWorkArea(foreground ? foreground : GetDesktopWindow(), area);
  DialogKit().WorkArea = area;
}

bool GetMonitorsRect(RECT& rect) {
  const TMonitorFunctions& f = MonitorFunctions();
  if (!f.FromPoint || !f.Info) return false;
  MONITORINFO first{}, last{};
  first.cbSize = last.cbSize = sizeof(MONITORINFO);
  HMONITOR a = f.FromPoint(POINT{rect.left, rect.top}, MONITOR_DEFAULTTONEAREST);
  HMONITOR b = f.FromPoint(POINT{rect.right, rect.bottom}, MONITOR_DEFAULTTONEAREST);
  if (!a || !b || !f.Info(a, &first) || !f.Info(b, &last)) return false;
  rect = {first.rcMonitor.left, first.rcMonitor.top, last.rcMonitor.right, last.rcMonitor.bottom};
  return true;
}

void CenterInRect(HWND window, const RECT& rect) {
  RECT r;
  if (!GetWindowRect(window, &r)) return;
  TKitPoint p = CenteredIn({rect.left, rect.top, rect.right, rect.bottom}, r.right - r.left, r.bottom - r.top);
  SetWindowPos(window, nullptr, p.X, p.Y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CenterOnWorkArea(HWND window, int width, int height) {
  const RECT& a = DialogKit().WorkArea;
  RECT area = a;
  if (area.right <= area.left || area.bottom <= area.top) GetWorkArea(window, area);
  TKitPoint p = CenteredIn({area.left, area.top, area.right, area.bottom}, width, height);
  MoveWindow(window, p.X, p.Y, width, height, TRUE);
}

void GrowWindowHeight(HWND window, int pixels) {
  RECT r;
  if (!GetWindowRect(window, &r)) return;
  SetWindowPos(window, nullptr, 0, 0, r.right - r.left, r.bottom - r.top + pixels,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

int MeasureTextWidth(HWND window, HFONT font, const std::string& text) {
  TWindowDC dc(window);
  if (!dc.Get()) return 0;
  HGDIOBJ old = SelectObject(dc.Get(), font ? static_cast<HGDIOBJ>(font) : GetStockObject(SYSTEM_FONT));
  SIZE size{};
  GetTextExtentPoint32A(dc.Get(), text.data(), static_cast<int>(text.size()), &size);
  SelectObject(dc.Get(), old);
  return size.cx;
}

int MeasureWrappedText(HWND window, HFONT font, const std::string& text, int width) {
  TWindowDC dc(window);
  if (!dc.Get()) return 0;
  HGDIOBJ old = SelectObject(dc.Get(), font ? static_cast<HGDIOBJ>(font) : GetStockObject(SYSTEM_FONT));
  TEXTMETRICA metrics{};
  GetTextMetricsA(dc.Get(), &metrics);
  int height = MeasureWrappedHeight(text, width, metrics.tmHeight, [&](std::string_view piece) {
    SIZE size{};
    GetTextExtentPoint32A(dc.Get(), piece.data(), static_cast<int>(piece.size()), &size);
    return static_cast<int>(size.cx);
  });
  SelectObject(dc.Get(), old);
  return height;
}

std::string GetDialogItemText(HWND window, int id) {
  HWND item = GetDlgItem(window, id);
  int length = item ? GetWindowTextLengthA(item) : 0;
  if (length <= 0) return {};
  std::string text(static_cast<size_t>(length) + 1, '\0');
  int got = GetWindowTextA(item, text.data(), length + 1);
  text.resize(static_cast<size_t>(std::max(got, 0)));
  return text;
}

int ButtonWidth(const std::string& text) {
  return ButtonWidthFor(MeasureTextWidth(nullptr, DialogKit().DialogFont, WithoutAmpersands(text)),
                        GetSystemMetrics(SM_CYBORDER));
}

void PlaceButton(HWND dialog, int id, int x, int y, const std::string& text, int height) {
  HWND button = GetDlgItem(dialog, id);
  if (!button) return;
  MoveWindow(button, x, y, ButtonWidth(text), height, TRUE);
  SetWindowTextA(button, text.c_str());
}

void PlaceWrappedText(HWND dialog, int x, int& y, HFONT font, bool advance, const std::string& text, int id,
                      int width) {
  HWND item = GetDlgItem(dialog, id);
  int height = MeasureWrappedText(item ? item : dialog, font, text, width);
  if (item) {
    SetWindowTextA(item, text.c_str());
    MoveWindow(item, x, y, width, height + 1, TRUE);
  }
  if (advance) y += height;
}

bool IsEscapeDown() {
  BYTE keys[256] = {};
  return GetKeyboardState(keys) && (keys[VK_ESCAPE] & 0x80) != 0;
}

}  // namespace exclog
