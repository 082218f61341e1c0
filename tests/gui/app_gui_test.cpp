// The host program runs as a single instance with its main window.
#include <windows.h>

#include <gtest/gtest.h>

#include "tests/support/ChildProcess_win.h"
#include "tests/support/GuiProbe_win.h"
#include "tests/support/TestPaths.h"

namespace {

struct WindowSearch {
  DWORD processId;
  HWND found;
};

BOOL CALLBACK MatchMainWindow(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<WindowSearch*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  char caption[64] = {};
  GetWindowTextA(window, caption, sizeof caption);
  if (owner == search->processId && IsWindowVisible(window) && lstrcmpA(caption, "Velmora") == 0) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

HWND FindMainWindowOf(DWORD processId) {
  WindowSearch search = {processId, nullptr};
  EnumWindows(MatchMainWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

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

}  // namespace
