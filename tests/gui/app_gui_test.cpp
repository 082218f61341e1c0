// The host program runs as a single instance with its main window.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>

#include "app/HostStart_win.h"
#include "skin/SkinMessage.h"
#include "skin/WinSkinData.h"
#include "tests/gui/AppWindows_win.h"
#include "tests/support/ChildProcess_win.h"
#include "tests/support/GuiProbe_win.h"
#include "tests/support/TestPaths.h"

namespace {

using velmora::test::FindMainWindowOf;
using velmora::test::FindOpenMenuOf;

TEST(HostProgram, SecondInstanceEndsAtOnceWhileTheFirstRuns) {
  const std::string exe = "\"" + velmora::test::HostPath(VELMORA_EXE) + "\"";
  velmora::test::TChildProcess first(exe);
  ASSERT_TRUE(first.Started());
  HWND mainWindow = nullptr;
  ASSERT_TRUE(velmora::test::PumpUntil([&] { return (mainWindow = FindMainWindowOf(first.Id())); }, 20000));

  RECT r;
  GetWindowRect(mainWindow, &r);
  EXPECT_EQ(r.right - r.left, 1024);
  EXPECT_EQ(r.bottom - r.top, 600);

  velmora::test::TChildProcess second(exe);
  ASSERT_TRUE(second.Started());
  EXPECT_TRUE(second.Ended(10000));
  EXPECT_EQ(second.ExitCode(), 0u);
  EXPECT_EQ(FindMainWindowOf(second.Id()), nullptr);
  EXPECT_FALSE(first.Ended(0));

  // Closing the main window ends the program and releases the instance mutex.
  PostMessageA(mainWindow, WM_CLOSE, 0, 0);
  EXPECT_TRUE(first.Ended(10000));
  EXPECT_EQ(first.ExitCode(), 0u);
  HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, "velmora");
  EXPECT_EQ(mutex, nullptr);
  if (mutex) CloseHandle(mutex);
}

using velmora::test::AnswersSkinned;
using velmora::test::NearColour;

TEST(HostProgram, SkinnedWindowAndSystemMenu) {
  const COLORREF defaultFace = RGB(240, 240, 240);  // the default skin's ButtonFace
  ASSERT_NE(GetSysColor(COLOR_BTNFACE), defaultFace);
  velmora::test::TChildProcess program("\"" + velmora::test::HostPath(VELMORA_EXE) + "\"");
  ASSERT_TRUE(program.Started());
  HWND mainWindow = nullptr;
  ASSERT_TRUE(velmora::test::PumpUntil([&] { return (mainWindow = FindMainWindowOf(program.Id())); }, 20000));
  ASSERT_TRUE(velmora::test::PumpUntil([&] { return AnswersSkinned(mainWindow); }, 20000));
  RECT client{};
  GetClientRect(mainWindow, &client);
  POINT p{client.right - 100, client.bottom * 3 / 4};  // clear of the controls
  ClientToScreen(mainWindow, &p);
  EXPECT_TRUE(velmora::test::PumpUntil([&] { return NearColour(velmora::test::XScreenPixel(p.x, p.y), defaultFace); }));

  // Alt+Space opens the system menu: a skinned popup the X screen shows.
  SetForegroundWindow(mainWindow);
  HWND menu = nullptr;
  DWORD sent = 0;
  ASSERT_TRUE(velmora::test::PumpUntil([&] {
    if ((menu = FindOpenMenuOf(program.Id()))) return true;
    if (!sent || GetTickCount() - sent > 3000) {  // keys again only if the first went astray
      velmora::test::RunHostCommand("/usr/bin/xdotool key alt+space");
      sent = GetTickCount();
    }
    return false;
  }, 20000));
  EXPECT_TRUE(AnswersSkinned(menu));
  RECT r{};
  GetWindowRect(menu, &r);
  EXPECT_TRUE(velmora::test::XScreenPixel((r.left + r.right) / 2, (r.top + r.bottom) / 2).has_value());
  velmora::test::RunHostCommand("/usr/bin/xdotool key Escape");
  EXPECT_TRUE(velmora::test::PumpUntil([&] { return FindOpenMenuOf(program.Id()) == nullptr; }, 10000));
  // The first Escape leaves the menu bar selected, the second leaves menu mode.
  velmora::test::RunHostCommand("/usr/bin/xdotool key Escape");

  PostMessageA(mainWindow, WM_CLOSE, 0, 0);
  EXPECT_TRUE(program.Ended(10000));
  EXPECT_EQ(program.ExitCode(), 0u);
}

// A message box of this process, found by a watcher thread while the main thread
// sits in the box's modal loop; its text is kept and the box closed.
struct TMessageBoxWatch {
  std::atomic<bool> stop{false};
  std::string text;
  bool seen = false;

  static BOOL CALLBACK Match(HWND window, LPARAM param) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char cls[32] = {};
    GetClassNameA(window, cls, sizeof cls);
    if (owner != GetCurrentProcessId() || lstrcmpA(cls, "#32770") != 0 || !IsWindowVisible(window))
      return TRUE;
    *reinterpret_cast<HWND*>(param) = window;
    return FALSE;
  }
  void Run() {
    for (DWORD waited = 0; waited < 10000 && !stop; waited += 50) {
      HWND box = nullptr;
      EnumWindows(Match, reinterpret_cast<LPARAM>(&box));
      if (box) {
        char buffer[256] = {};
        GetDlgItemTextA(box, 0xFFFF, buffer, sizeof buffer);  // the box's text control
        text = buffer;
        seen = true;
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        return;
      }
      Sleep(50);
    }
  }
};

// The program's start-up installs the skin engine's message box: an older skin set
// through SkinFile tells the user so instead of failing silently.
TEST(HostProgram, StartUpShowsTheOlderSkinMessageInABox) {
  StartHostServices(GetModuleHandleA(nullptr));
  skin::TSkinData data;
  TMessageBoxWatch watch;
  std::thread watcher([&] { watch.Run(); });
  data.SetSkinFile(velmora::test::SourcePath("tests/data/skin/java-v10000-crlf.skn"));
  watch.stop = true;
  watcher.join();
  skin::SetSkinMessageProc(nullptr);
  EXPECT_TRUE(data.NotLoaded());
  ASSERT_TRUE(watch.seen) << "no message box";
  // The box shows the carriage return as a line break (or drops it).
  EXPECT_NE(watch.text.find("This is Older Skin File"), std::string::npos) << watch.text;
  EXPECT_NE(watch.text.find("Please update to new version !"), std::string::npos) << watch.text;
}

}  // namespace
