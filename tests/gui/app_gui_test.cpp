// The host program runs as a single instance with its main window.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>

#include "app/HostStart_win.h"
#include "skin/SkinMessage.h"
#include "skin/WinSkinData.h"
#include "tests/support/ChildProcess_win.h"
#include "tests/support/GuiProbe_win.h"
#include "tests/support/TestPaths.h"

namespace {

// The first visible top-level window of a process whose caption or class is `name`.
struct WindowSearch {
  DWORD processId;
  const char* name;
  bool byClass;
  HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<WindowSearch*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  char text[64] = {};
  if (search->byClass)
    GetClassNameA(window, text, sizeof text);
  else
    GetWindowTextA(window, text, sizeof text);
  if (owner == search->processId && IsWindowVisible(window) && lstrcmpA(text, search->name) == 0) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

HWND FindWindowOf(DWORD processId, const char* name, bool byClass) {
  WindowSearch search = {processId, name, byClass, nullptr};
  EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}
HWND FindMainWindowOf(DWORD processId) { return FindWindowOf(processId, "Velmora", false); }
HWND FindOpenMenuOf(DWORD processId) { return FindWindowOf(processId, "#32768", true); }

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

bool AnswersSkinned(HWND window) {
  DWORD_PTR answer = 0;
  return SendMessageTimeoutA(window, 0x3523, 0, 0, SMTO_ABORTIFHUNG, 2000, &answer) && answer == 1;
}

// One pixel of a bitmap of the default skin as the generator drew it, read by PIL.
COLORREF DefaultSkinPixel(const std::string& file, int x, int y) {
  const std::string command =
      "/usr/bin/python3 -c 'import sys; from PIL import Image; "
      "print(*Image.open(sys.argv[1]).convert(sys.argv[2]).getpixel((int(sys.argv[3]), int(sys.argv[4]))))' '" +
      std::string(VELMORA_DEFAULT_SKIN_DIR) + "/" + file + "' RGB " + std::to_string(x) + " " + std::to_string(y);
  int r = -1, g = -1, b = -1;
  std::sscanf(velmora::test::RunHostCommand(command).value_or("").c_str(), "%d %d %d", &r, &g, &b);
  return r < 0 || g < 0 || b < 0 ? CLR_INVALID : RGB(r, g, b);
}

bool NearColour(std::optional<COLORREF> c, COLORREF expected) {
  if (!c) return false;
  for (int s : {0, 8, 16})
    if (std::abs(static_cast<int>((*c >> s) & 0xFF) - static_cast<int>((expected >> s) & 0xFF)) > 2) return false;
  return true;
}

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
  // The menu's frame on the X screen is the default skin's menu background.
  const COLORREF menuBg = DefaultSkinPixel("menubg.bmp", 0, 0);
  ASSERT_NE(menuBg, CLR_INVALID);
  RECT r{};
  GetWindowRect(menu, &r);
  std::optional<COLORREF> top, left;
  EXPECT_TRUE(velmora::test::PumpUntil([&] {
    top = velmora::test::XScreenPixel((r.left + r.right) / 2, r.top);
    left = velmora::test::XScreenPixel(r.left, (r.top + r.bottom) / 2);
    return NearColour(top, menuBg) && NearColour(left, menuBg);
  })) << std::hex << menuBg << " " << top.value_or(CLR_INVALID) << " " << left.value_or(CLR_INVALID);
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
