// A restarted host program: the logger's restart starts the new instance while
// the old one still holds the single-instance lock. The new one, marked as a
// restart of the old, waits for it to end and then runs; a plain second start
// still ends at once.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "exclog/core/EProcess_win.h"
#include "tests/gui/AppWindows_win.h"
#include "tests/support/ChildProcess_win.h"
#include "tests/support/GuiProbe_win.h"
#include "tests/support/TestPaths.h"

namespace {

using velmora::test::FindMainWindowOf;
using velmora::test::PumpUntil;

TEST(HostProgramRestart, RestartedInstanceWaitsForTheOldOneThenRunsAlone) {
  const std::string exe = "\"" + velmora::test::HostPath(VELMORA_EXE) + "\"";
  velmora::test::TChildProcess old(exe);
  ASSERT_TRUE(old.Started());
  HWND oldWindow = nullptr;
  ASSERT_TRUE(PumpUntil([&] { return (oldWindow = FindMainWindowOf(old.Id())); }, 20000));

  velmora::test::TChildProcess restarted(exe + " --restarted-from=" + std::to_string(old.Id()));
  ASSERT_TRUE(restarted.Started());
  // While the old instance runs the new one waits: seen in its wait, with no
  // window and not ended. One that went on without waiting ends, or never waits.
  const std::string waitEvent = exclog::RestartWaitEventName(restarted.Id());
  ASSERT_TRUE(PumpUntil([&] {
    if (HANDLE e = OpenEventA(SYNCHRONIZE, FALSE, waitEvent.c_str())) {
      CloseHandle(e);
      return true;
    }
    return restarted.Ended(0);
  }, 30000)) << "the restarted instance never began to wait";
  EXPECT_FALSE(restarted.Ended(0));
  EXPECT_EQ(FindMainWindowOf(restarted.Id()), nullptr);
  PostMessageA(oldWindow, WM_CLOSE, 0, 0);
  ASSERT_TRUE(old.Ended(10000));
  HWND newWindow = nullptr;
  EXPECT_TRUE(PumpUntil([&] { return (newWindow = FindMainWindowOf(restarted.Id())); }, 20000));
  EXPECT_FALSE(restarted.Ended(0));

  // Once it runs, it is the single instance: a plain start ends at once.
  velmora::test::TChildProcess second(exe);
  ASSERT_TRUE(second.Started());
  EXPECT_TRUE(second.Ended(10000));
  EXPECT_EQ(FindMainWindowOf(second.Id()), nullptr);
  if (newWindow) PostMessageA(newWindow, WM_CLOSE, 0, 0);
  EXPECT_TRUE(restarted.Ended(10000));
  EXPECT_EQ(restarted.ExitCode(), 0u);
}

}  // namespace
