// The host program left alone sleeps: once the pointer is parked outside its window,
// none of its timers (the hint manager's, the skinned frame's hover timer) runs.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>

#include "classlib/Controls_win.h"
#include "tests/gui/AppWindows_win.h"
#include "tests/support/ChildProcess_win.h"
#include "tests/support/GuiProbe_win.h"
#include "tests/support/TestPaths.h"

namespace {

using velmora::test::FindMainWindowOf;
using velmora::test::FindWindowOf;
using velmora::test::PumpUntil;
using velmora::test::RunHostCommand;

void MovePointer(int x, int y) {
  RunHostCommand("/usr/bin/xdotool mousemove " + std::to_string(x) + " " + std::to_string(y));
}

struct TClassSearch {
  DWORD ProcessId;
  const char* ClassName;
  HWND Parent;
  HWND Found;
};

BOOL CALLBACK MatchClass(HWND window, LPARAM param) {
  auto* s = reinterpret_cast<TClassSearch*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  char name[64] = {};
  GetClassNameA(window, name, sizeof name);
  if (owner != s->ProcessId || lstrcmpA(name, s->ClassName) != 0) return TRUE;
  s->Found = window;
  return FALSE;
}

// A window of the process by class, hidden ones too; a child of `parent` when given.
HWND FindByClass(DWORD processId, const char* className, HWND parent = nullptr) {
  TClassSearch search{processId, className, parent, nullptr};
  if (parent)
    EnumChildWindows(parent, MatchClass, reinterpret_cast<LPARAM>(&search));
  else
    EnumWindows(MatchClass, reinterpret_cast<LPARAM>(&search));
  return search.Found;
}

// How many timer callbacks the program ran so far, as its application window tells.
bool TimerCallbacks(HWND application, DWORD_PTR& count) {
  return SendMessageTimeoutA(application, RegisterWindowMessageA(kMsgTimerCallbacks), 0, 0, SMTO_ABORTIFHUNG,
                             5000, &count) != 0;
}

std::string HintShown(DWORD processId) {
  HWND hint = FindWindowOf(processId, "THintWindow", true);
  if (!hint) return "";
  char text[128] = {};
  GetWindowTextA(hint, text, sizeof text);
  return text;
}

TEST(HostIdle, NoTimerRunsWhileThePointerRestsOutsideAfterHoveringCaptionAndHints) {
  velmora::test::TChildProcess program("\"" + velmora::test::HostPath(VELMORA_EXE) + "\"");
  ASSERT_TRUE(program.Started());
  HWND window = nullptr;
  ASSERT_TRUE(PumpUntil([&] { return (window = FindMainWindowOf(program.Id())) != nullptr; }, 20000));
  ASSERT_TRUE(PumpUntil([&] { return velmora::test::AnswersSkinned(window); }, 20000));
  ASSERT_TRUE(velmora::test::FocusByCaption(window));
  HWND application = FindByClass(program.Id(), "TApplication");
  ASSERT_NE(application, nullptr);

  // The close button's hint (the hover timer times it), then the tool button's (the
  // hint manager's timer).
  RECT r{};
  GetWindowRect(window, &r);
  MovePointer(r.right - 26 + 8, r.top + 5 + 8);
  EXPECT_TRUE(PumpUntil([&] { return !HintShown(program.Id()).empty(); }));
  HWND toolBar = FindByClass(program.Id(), "TToolBar", window);
  ASSERT_NE(toolBar, nullptr);
  const DWORD_PTR buttonSize = SendMessageA(toolBar, TB_GETBUTTONSIZE, 0, 0);
  POINT raise{static_cast<LONG>(LOWORD(buttonSize) * 7 / 2), static_cast<LONG>(HIWORD(buttonSize) / 2)};
  ClientToScreen(toolBar, &raise);  // the fourth button, "Raise"
  MovePointer(raise.x, raise.y);
  EXPECT_TRUE(PumpUntil([&] { return HintShown(program.Id()) == "Raises an exception"; }));

  // Parked in the screen's corner: the hint goes, and with it the last tick.
  MovePointer(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
  ASSERT_TRUE(PumpUntil([&] { return HintShown(program.Id()).empty(); }));
  DWORD_PTR before = 0, after = 0;
  ASSERT_TRUE(TimerCallbacks(application, before));
  EXPECT_GT(before, 0u);  // the timers did run while hovered
  // The idle window itself is what is checked: five seconds without a callback.
  PumpUntil([] { return false; }, 5000);
  ASSERT_TRUE(TimerCallbacks(application, after));
  EXPECT_EQ(after, before);

  PostMessageA(window, WM_CLOSE, 0, 0);
  EXPECT_TRUE(program.Ended(10000));
}

}  // namespace
