// The dialog kit on real windows under Wine: faces by the locale's code page,
// wrapped heights against DrawTextA, the auto-close and keep-in-front timers driven
// by xdotool, the own look's caption pixels, work areas without the monitor
// functions, and WM_QUIT through PumpOneMessage.
#include "exclog/dialogs/EDialogKit_win.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "exclog/core/ExceptionLog.h"
#include "exclog/dialogs/EDialogSeams.h"
#include "exclog/dialogs/EReportContext_win.h"
#include "tests/support/Addr2Line_win.h"
#include "tests/support/ChildProcess_win.h"
#include "tests/support/GuiProbe_win.h"

namespace exclog {
namespace {

using velmora::test::PumpUntil;
using velmora::test::RunHostCommand;

// An in-memory dialog template without controls.
std::vector<WORD> DialogTemplate(DWORD style, short cx, short cy) {
  std::vector<WORD> words(sizeof(DLGTEMPLATE) / 2 + 8, 0);
  auto* t = reinterpret_cast<DLGTEMPLATE*>(words.data());
  t->style = style;
  t->x = 40;
  t->y = 40;
  t->cx = cx;
  t->cy = cy;
  WORD* p = reinterpret_cast<WORD*>(t + 1);
  p[0] = 0;    // no menu
  p[1] = 0;    // the dialog class
  p[2] = 'T';  // the caption
  p[3] = 0;
  return words;
}

struct TTestDialog {
  bool Closed = false;
  bool Paint = false;  // paint the own look's caption
};

INT_PTR CALLBACK TestDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* state = reinterpret_cast<TTestDialog*>(GetWindowLongPtrA(window, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      SetWindowLongPtrA(window, DWLP_USER, lParam);
      return TRUE;
    case WM_MOUSEMOVE:
      ResetAutoClose();
      return TRUE;
    case WM_NCPAINT:
    case WM_NCACTIVATE:
      if (state && state->Paint && PaintCustomCaption(message, wParam, "Own look", window)) {
        SetWindowLongPtrA(window, DWLP_MSGRESULT, 1);
        return TRUE;
      }
      return FALSE;
    case WM_CLOSE:
      if (state) state->Closed = true;
      DestroyWindow(window);
      return TRUE;
  }
  return FALSE;
}

HWND ShowTestDialog(TTestDialog& state, DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE) {
  std::vector<WORD> t = DialogTemplate(style, 160, 80);
  HWND dialog = CreateDialogIndirectParamA(GetModuleHandleA(nullptr), reinterpret_cast<DLGTEMPLATE*>(t.data()),
                                           nullptr, &TestDialogProc, reinterpret_cast<LPARAM>(&state));
  if (dialog) {
    SetForegroundWindow(dialog);
    PumpUntil([&] { return GetForegroundWindow() == dialog; }, 3000);
  }
  return dialog;
}

POINT CentreOf(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

std::string Move(POINT p) { return "xdotool mousemove " + std::to_string(p.x) + " " + std::to_string(p.y); }

std::string FaceOf(HFONT font) {
  LOGFONTA f{};
  GetObjectA(font, sizeof f, &f);
  return f.lfFaceName;
}

// Wine takes its code page from the Unix locale: this program runs again under the
// American and the Polish one, doing only this test.
TEST(DialogKitFaces, FollowTheCodePage) {
  if (const char* points = std::getenv("VELMORA_EXPECTED_POINTS")) {
    CreateDialogFonts(nullptr);
    TDialogKitState& kit = DialogKit();
    bool western = std::string(points) == "8";
    EXPECT_EQ(kit.Faces.Points, western ? 8 : 10);
    EXPECT_EQ(FaceOf(kit.CaptionFont), western ? "Verdana" : "MS Sans Serif");
    EXPECT_EQ(FaceOf(kit.FixedFont), western ? "Lucida Console" : "Courier New");
    EXPECT_EQ(FaceOf(kit.ListFont), western ? "Tahoma" : "Courier New");
    HDC screen = GetDC(nullptr);
    LOGFONTA fixed{};
    GetObjectA(kit.FixedFont, sizeof fixed, &fixed);
    EXPECT_EQ(fixed.lfHeight, -MulDiv(western ? 8 : 10, GetDeviceCaps(screen, LOGPIXELSY), 72));
    ReleaseDC(nullptr, screen);
    DeleteDialogFonts();
    EXPECT_EQ(kit.FixedFont, nullptr);
    return;
  }
  char program[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, program, MAX_PATH);
  for (const char* run : {"8 LC_ALL=en_US.UTF-8", "10 LC_ALL=pl_PL.UTF-8"}) {
    std::optional<std::string> out = RunHostCommand(
        std::string("VELMORA_EXPECTED_POINTS=") + run + " wine '" + velmora::test::UnixPath(program) +
            "' --gtest_filter=DialogKitFaces.FollowTheCodePage 2>&1; echo exit=$?",
        180000);
    ASSERT_TRUE(out) << run;
    EXPECT_NE(out->find("[  PASSED  ] 1 test"), std::string::npos) << run << "\n" << *out;
    EXPECT_NE(out->find("exit=0"), std::string::npos) << *out;
  }
}

TEST(DialogKitMeasure, WrappedHeightsNeverBelowWhatStaticsDraw) {
  CreateDialogFonts(nullptr);
  HFONT font = DialogKit().DialogFont;
  ASSERT_NE(font, nullptr);
  const char* texts[] = {
      "Access violation at address 00401234 in module 'Velmora.exe'. Read of address 00000010.",
      "An error has occurred during program execution.\r\nPlease read the following information for further details.",
      "one two three four five six seven eight nine ten eleven twelve thirteen fourteen",
      "Averyveryverylongwordwithoutanyblankinsideitatall and then short ones",
      "x\r\n\r\ny z\r\n",
      "a b c d e f g h i j k l m n o p q r s t u v w x y z",
      "   leading and  double  blanks   ",
      "",
  };
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, font);
  int checked = 0;
  for (const char* text : texts) {
    for (int width = 30; width <= 420; width += 13) {
      RECT r{0, 0, width, 0};
      int drawn = DrawTextA(dc, text, -1, &r, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
      int measured = MeasureWrappedText(nullptr, font, text, width);
      EXPECT_GE(measured, drawn) << "\"" << text << "\" at " << width;
      ++checked;
    }
  }
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  DeleteDialogFonts();
  EXPECT_GT(checked, 200);
}

TEST(DialogKitTimers, AutoCloseWaitsForQuietAndNeverWithZero) {
  TQuelbaModuleOptions& options = DialogOptions();
  options.SetAutoCloseSeconds(1);
  TTestDialog state;
  HWND dialog = ShowTestDialog(state);
  ASSERT_NE(dialog, nullptr);
  StartAutoClose(dialog);
  EXPECT_TRUE(PumpUntil([&] { return state.Closed; }, 5000));

  // Kept open while the mouse keeps moving over it (3 s of moves, 1 s to close).
  TTestDialog moved;
  dialog = ShowTestDialog(moved);
  ASSERT_NE(dialog, nullptr);
  StartAutoClose(dialog);
  POINT c = CentreOf(dialog);
  std::string moves;
  for (int i = 0; i < 15; ++i)
    moves += Move({c.x + (i % 2) * 6, c.y}) + "; sleep 0.2; ";
  ASSERT_TRUE(RunHostCommand(moves, 30000));
  EXPECT_FALSE(moved.Closed);
  EXPECT_TRUE(PumpUntil([&] { return moved.Closed; }, 5000));

  options.SetAutoCloseSeconds(0);
  TTestDialog never;
  dialog = ShowTestDialog(never);
  StartAutoClose(dialog);
  EXPECT_FALSE(PumpUntil([&] { return never.Closed; }, 2500));
  StopAutoClose(dialog);
  DestroyWindow(dialog);
}

// A top-level window of this program that takes the foreground when clicked.
HWND MainWindow() {
  WNDCLASSA c{};
  c.lpfnWndProc = DefWindowProcA;
  c.hInstance = GetModuleHandleA(nullptr);
  c.lpszClassName = "KitTestMain";
  c.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  RegisterClassA(&c);
  return CreateWindowA("KitTestMain", "Main", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 420, 300, 300, 200, nullptr,
                       nullptr, c.hInstance, nullptr);
}

TEST(DialogKitTimers, KeepInFrontAgainstOwnWindowsOnly) {
  if (std::getenv("VELMORA_KIT_OTHER_WINDOW")) {
    // The other process: a window of its own, shown until the parent is done.
    HWND other = MainWindow();
    SetWindowTextA(other, "Other");
    PumpUntil([] { return false; }, 15000);
    DestroyWindow(other);
    return;
  }
  HWND main = MainWindow();
  ASSERT_NE(main, nullptr);
  TTestDialog state;
  HWND dialog = ShowTestDialog(state);
  ASSERT_NE(dialog, nullptr);
  // The main window clicked: it takes the foreground while nothing keeps the dialog.
  POINT m = CentreOf(main);
  ASSERT_TRUE(RunHostCommand(Move(m) + " click 1"));
  ASSERT_TRUE(PumpUntil([&] { return GetForegroundWindow() == main; }, 5000));
  // Kept in front: the dialog returns, and again after another click.
  StartKeepForeground(dialog);
  EXPECT_TRUE(PumpUntil([&] { return GetForegroundWindow() == dialog; }, 5000));
  ASSERT_TRUE(RunHostCommand(Move(m) + " click 1"));
  EXPECT_TRUE(PumpUntil([&] { return GetForegroundWindow() == dialog; }, 5000));

  // Another process's window keeps the foreground it took.
  char program[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, program, MAX_PATH);
  SetEnvironmentVariableA("VELMORA_KIT_OTHER_WINDOW", "1");
  velmora::test::TChildProcess child(std::string("\"") + program +
                                     "\" --gtest_filter=DialogKitTimers.KeepInFrontAgainstOwnWindowsOnly");
  SetEnvironmentVariableA("VELMORA_KIT_OTHER_WINDOW", nullptr);
  ASSERT_TRUE(child.Started());
  HWND other = nullptr;
  ASSERT_TRUE(PumpUntil([&] { return (other = FindWindowA("KitTestMain", "Other")) != nullptr; }, 20000));
  PumpUntil([&] { return IsWindowVisible(other) != FALSE; }, 5000);
  ASSERT_TRUE(RunHostCommand(Move(CentreOf(other)) + " click 1"));
  EXPECT_TRUE(PumpUntil([&] { return GetForegroundWindow() == other; }, 5000));
  EXPECT_FALSE(PumpUntil([&] { return GetForegroundWindow() == dialog; }, 1000));
  StopKeepForeground(dialog);
  PostMessageA(other, WM_CLOSE, 0, 0);
  DestroyWindow(dialog);
  DestroyWindow(main);
}

TEST(DialogKitCaption, OwnLookGradientActiveAndInactive) {
  TQuelbaModuleOptions& options = DialogOptions();
  uint16_t flags = options.DialogFlags();
  options.SetDialogFlags(static_cast<uint16_t>(flags | DialogOwnLook));
  CreateDialogFonts(nullptr);
  TTestDialog state;
  state.Paint = true;
  HWND dialog = ShowTestDialog(state);
  ASSERT_NE(dialog, nullptr);
  PrepareDialogWindow(dialog, false);
  RECT r{};
  GetWindowRect(dialog, &r);
  TCaptionGeometry g = CaptionGeometryOf(r.right - r.left, r.bottom - r.top, GetSystemMetrics(SM_CXFRAME),
                                         GetSystemMetrics(SM_CYFRAME), DialogKit().CaptionMetric);
  int y = r.top + g.Band.Bottom - 2;  // below the caption text
  int edge = r.left + g.Band.Left + 1, centre = r.left + (g.Band.Left + g.Band.Right) / 2;
  auto pixel = [](int x, int y) { return velmora::test::ScreenPixel(x, y); };
  SendMessageA(dialog, WM_NCACTIVATE, TRUE, 0);
  // Active: the first step's colour at the edge, darker toward the centre.
  EXPECT_TRUE(PumpUntil([&] { return pixel(edge, y) == 0xBA957Du; }, 5000)) << std::hex << pixel(edge, y);
  COLORREF e = pixel(edge, y), c = pixel(centre, y);
  EXPECT_GT(GetRValue(e), GetRValue(c));
  EXPECT_GT(GetBValue(e), GetBValue(c));
  // Inactive: grey steps.
  SendMessageA(dialog, WM_NCACTIVATE, FALSE, 0);
  EXPECT_TRUE(PumpUntil([&] { return pixel(edge, y) == 0x919191u; }, 5000)) << std::hex << pixel(edge, y);
  COLORREF ie = pixel(edge, y), ic = pixel(centre, y);
  EXPECT_GT(GetGValue(ie), GetGValue(ic));
  EXPECT_EQ(GetRValue(ic), GetBValue(ic));
  DestroyWindow(dialog);
  DeleteDialogFonts();
  options.SetDialogFlags(flags);
}

// Made active inside its thread while a window of another thread holds the
// foreground, it paints grey; the foreground reaching it later brings no
// activation message, yet its caption turns active.
TEST(DialogKitCaption, ActiveWindowTurnsActiveWhenTheForegroundReachesIt) {
  TQuelbaModuleOptions& options = DialogOptions();
  uint16_t flags = options.DialogFlags();
  options.SetDialogFlags(static_cast<uint16_t>(flags | DialogOwnLook));
  CreateDialogFonts(nullptr);
  std::atomic<HWND> other{nullptr};
  std::atomic<DWORD> otherThread{0};
  std::thread holder([&] {
    otherThread = GetCurrentThreadId();
    HWND w = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 20, 20, nullptr, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
    SetForegroundWindow(w);
    other = w;
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
    DestroyWindow(w);
  });
  ASSERT_TRUE(PumpUntil([&] { return other && GetForegroundWindow() == other; }));
  TTestDialog state;
  state.Paint = true;
  std::vector<WORD> t = DialogTemplate(WS_POPUP | WS_CAPTION | WS_SYSMENU, 160, 80);
  HWND dialog = CreateDialogIndirectParamA(GetModuleHandleA(nullptr), reinterpret_cast<DLGTEMPLATE*>(t.data()),
                                           nullptr, &TestDialogProc, reinterpret_cast<LPARAM>(&state));
  ASSERT_NE(dialog, nullptr);
  PrepareDialogWindow(dialog, false);
  ShowWindow(dialog, SW_SHOWNOACTIVATE);
  SetActiveWindow(dialog);
  RECT r{};
  GetWindowRect(dialog, &r);
  TCaptionGeometry g = CaptionGeometryOf(r.right - r.left, r.bottom - r.top, GetSystemMetrics(SM_CXFRAME),
                                         GetSystemMetrics(SM_CYFRAME), DialogKit().CaptionMetric);
  const int x = r.left + g.Band.Left + 1, y = r.top + g.Band.Bottom - 2;
  EXPECT_TRUE(PumpUntil([&] { return velmora::test::ScreenPixel(x, y) == 0x919191u; }, 5000));
  EXPECT_EQ(GetActiveWindow(), dialog);
  EXPECT_EQ(GetForegroundWindow(), other.load());
  SetForegroundWindow(dialog);
  EXPECT_TRUE(PumpUntil([&] { return velmora::test::ScreenPixel(x, y) == 0xBA957Du; }, 5000))
      << std::hex << velmora::test::ScreenPixel(x, y);
  PostThreadMessageA(otherThread, WM_QUIT, 0, 0);
  holder.join();
  DestroyWindow(dialog);
  DeleteDialogFonts();
  options.SetDialogFlags(flags);
}

TEST(DialogKitAreas, PrimaryWorkAreaWithoutMonitorFunctions) {
  RECT primary{};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &primary, 0);
  TMonitorFunctions kept = MonitorFunctions();
  ASSERT_NE(kept.FromWindow, nullptr);
  MonitorFunctions() = TMonitorFunctions{};
  RECT area{};
  GetWorkArea(GetDesktopWindow(), area);
  EXPECT_TRUE(EqualRect(&area, &primary));
  RECT span{10, 10, 20, 20};
  EXPECT_FALSE(GetMonitorsRect(span));
  EXPECT_EQ(span.right, 20);
  MonitorFunctions() = kept;
  GetForegroundWorkArea(area);
  EXPECT_TRUE(EqualRect(&area, &DialogKit().WorkArea));
  EXPECT_GT(area.right - area.left, 0);
  span = {10, 10, 20, 20};
  ASSERT_TRUE(GetMonitorsRect(span));
  EXPECT_EQ(span.left, 0);
  EXPECT_EQ(span.right, GetSystemMetrics(SM_CXSCREEN));
}

TEST(DialogKitPump, QuitSurvivesOneMessage) {
  MSG drain;
  while (PeekMessageA(&drain, nullptr, 0, 0, PM_REMOVE)) {
  }
  PostQuitMessage(7);
  EXPECT_TRUE(PumpOneMessage());
  MSG quit{};
  ASSERT_TRUE(PeekMessageA(&quit, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(quit.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(quit.wParam, 7u);
}

}  // namespace
}  // namespace exclog
