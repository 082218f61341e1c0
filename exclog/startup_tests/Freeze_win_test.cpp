// The freeze watchdog on real windows: each case runs in a child (this program
// started again) whose main thread owns a window and then stops answering it.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "classlib/SysUtils.h"
#include "exclog/capture/EEvents_win.h"
#include "exclog/capture/EFreezeWatch_win.h"
#include "exclog/capture/EThreadHooks_win.h"
#include "exclog/core/ExceptionLog.h"
#include "exclog/startup_tests/StartupShared_win.h"

namespace startup_test {

namespace {

void Say(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

// Set while the other thread's report holds the dispatch lock; that report goes
// on once the main thread's freeze is over.
HANDLE otherReportHolds = CreateEventA(nullptr, TRUE, FALSE, nullptr);
HANDLE freezeOver = CreateEventA(nullptr, TRUE, FALSE, nullptr);

// Every report goes to standard output, whatever dialog the program would show.
exclog::TDialogAnswer PrintReport(const exclog::TReportJob& job, const std::string& report) {
  if (job.Exception.Message == "hold the dispatch") {  // another report, held through the freeze
    SetEvent(otherReportHolds);
    if (WaitForSingleObject(freezeOver, 30000) != WAIT_OBJECT_0) Say("the freeze never ended");
  }
  Say(report);
  return exclog::TDialogAnswer::Close;
}

constexpr UINT BusyMessage = WM_APP + 1;
constexpr int BusyFirstLine = __LINE__ + 3;
// Keeps the main thread away from its messages for `ms`.
__attribute__((noinline)) void BusyMainThread(DWORD ms, bool allocating) {
  DWORD start = GetTickCount();
  volatile unsigned sink = 0;
  while (GetTickCount() - start < ms) {
    if (allocating) {
      std::vector<int> block(1000, 1);
      sink = sink + static_cast<unsigned>(block[999]);
    } else {
      sink = sink + 1;
    }
  }
}
constexpr int BusyLastLine = __LINE__ - 1;

HWND MakeWindow() {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = &DefWindowProcA;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "FreezeProbeWindow";
  RegisterClassA(&windowClass);
  HWND window = CreateWindowExA(0, "FreezeProbeWindow", "freeze probe", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 200,
                                100, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  ShowWindow(window, SW_SHOWNORMAL);
  return window;
}

// Pumps the calling thread's messages for `ms`, running a busy spell when asked.
void Pump(DWORD ms, DWORD busyMs = 0, bool allocating = false) {
  DWORD start = GetTickCount();
  while (GetTickCount() - start < ms) {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == BusyMessage) BusyMainThread(busyMs, allocating);
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
  }
}

void WatchWithTwoSeconds() {
  exclog::TQuelbaModuleOptions* options = exclog::CurrentQuelbaLogOptions();
  options->SetFreezeSeconds(2);
  options->SetFreezeWatch(1);
}

void SayOutcome() {
  Say("freeze reports " + std::to_string(exclog::FreezeReportCount()) + " skips " +
      std::to_string(exclog::FreezeSkipCount()));
}

}  // namespace

int FreezeChild(const std::string& kase) {
  StartUnitsLikeHost();
  exclog::ReportHandlerSeams().ShowDialog = &PrintReport;
  Say("main thread " + std::to_string(GetCurrentThreadId()) + " busy lines " + std::to_string(BusyFirstLine) + "-" +
      std::to_string(BusyLastLine));
  if (kase == "busy" || kase == "short" || kase == "allocating") {
    HWND window = MakeWindow();
    WatchWithTwoSeconds();
    Say(std::string("watch ") + (exclog::FreezeWatchRunning() ? "running" : "stopped"));
    Pump(500);
    PostMessageA(window, BusyMessage, 0, 0);
    Pump(2000, kase == "short" ? 1000 : 4000, kase == "allocating");
    Say("went on");
    Pump(1500);  // answering again: nothing more
    // The watchdog let the main thread go without its resume hook's stack copy.
    HANDLE self = OpenThread(THREAD_SUSPEND_RESUME, FALSE, GetCurrentThreadId());
    std::thread([&] {
      DWORD previous = SuspendThread(self);
      ResumeThread(self);
      Say("suspend count " + std::to_string(previous));
    }).join();
    CloseHandle(self);
    auto record = exclog::FindThreadRecord(GetCurrentThreadId());
    Say(std::string("resume recorded ") + (record && record->Resumed ? "yes" : "no"));
    exclog::CurrentQuelbaLogOptions()->SetFreezeWatch(0);
    Say(std::string("watch after switching off ") + (exclog::FreezeWatchRunning() ? "running" : "stopped"));
  } else if (kase == "during-report") {
    // A report on another thread holds the dispatch lock through the freeze.
    HWND window = MakeWindow();
    WatchWithTwoSeconds();
    Pump(500);
    std::thread other([] {
      try {
        throw Exception("hold the dispatch");
      } catch (Exception& e) {
        exclog::TLoggedException logged;
        logged.ClassName = "Exception";
        logged.Message = e.Message();
        logged.Object = &e;
        logged.Address = 0x401000;
        exclog::ExceptionManager(logged);
      }
    });
    if (WaitForSingleObject(otherReportHolds, 30000) != WAIT_OBJECT_0) Say("the other report never held the lock");
    PostMessageA(window, BusyMessage, 0, 0);
    Pump(1000, 3500);
    SetEvent(freezeOver);
    other.join();
    Pump(1500);
    Say("went on");
  } else if (kase == "other-thread" || kase == "none") {
    // Only another thread's window, or no window at all: nothing to probe.
    std::atomic<bool> done{false};
    std::thread owner;
    if (kase == "other-thread")
      owner = std::thread([&] {
        MakeWindow();
        Pump(500);
        BusyMainThread(4000, false);
        while (!done) Pump(50);
      });
    WatchWithTwoSeconds();
    Sleep(800);
    BusyMainThread(4000, false);
    done = true;
    if (owner.joinable()) owner.join();
    Say("went on");
  } else if (kase == "stop") {
    WatchWithTwoSeconds();
    Sleep(300);
    DWORD start = GetTickCount();
    exclog::CurrentQuelbaLogOptions()->SetFreezeWatch(0);
    Say("stopped in " + std::to_string(GetTickCount() - start) + " ms, " +
        (exclog::FreezeWatchRunning() ? "running" : "stopped"));
  } else {
    return 98;
  }
  SayOutcome();
  FinalizeUnits();
  return 0;
}

namespace {

std::string Between(const std::string& text, const std::string& key) {
  size_t at = text.find(key);
  if (at == std::string::npos) return "";
  at += key.size();
  return text.substr(at, text.find_first_of(" \r\n", at) - at);
}

TEST(FreezeWatch, ABusySpellLongerThanTheTimeOutGivesOneReportOfTheMainThread) {
  TChildResult child = RunChild("freeze-busy", 60000);
  ASSERT_EQ(child.ExitCode, 0u) << child.Output;
  EXPECT_EQ(ReportsOf(child.Output, "EFrozenApplication"), 1u) << child.Output;
  EXPECT_NE(child.Output.find("freeze reports 1 "), std::string::npos) << child.Output;
  size_t report = child.Output.find("  2.5 ");
  EXPECT_EQ(ReportField(child.Output, "2.6", report), "The application seems to be frozen.");
  // The main thread's stack, at the busy routine between its first and last lines.
  std::string mainThread = Between(child.Output, "main thread ");
  std::string lines = Between(child.Output, "busy lines ");
  int first = std::atoi(lines.c_str()), last = std::atoi(lines.c_str() + lines.find('-') + 1);
  // Its row's cells after the routine's name: the line first.
  size_t row = child.Output.find("BusyMainThread(", report);
  ASSERT_NE(row, std::string::npos) << child.Output;
  std::string rowText = child.Output.substr(row, child.Output.find('\n', row) - row);
  int line = 0;
  for (size_t bar = rowText.find('|'); bar != std::string::npos && !line; bar = rowText.find('|', bar + 1))
    line = std::atoi(rowText.c_str() + bar + 1);
  EXPECT_GE(line, first) << rowText;
  EXPECT_LE(line, last) << rowText;
  EXPECT_NE(child.Output.find("Exception Thread: ID=" + mainThread + ";", report), std::string::npos) << child.Output;
  EXPECT_NE(child.Output.find("went on"), std::string::npos);
  EXPECT_NE(child.Output.find("suspend count 0"), std::string::npos) << child.Output;
  EXPECT_NE(child.Output.find("resume recorded no"), std::string::npos) << child.Output;
  EXPECT_NE(child.Output.find("watch after switching off stopped"), std::string::npos) << child.Output;
}

TEST(FreezeWatch, ShortSpellsAndWindowsOfOtherThreadsAreNeverFreezes) {
  for (const char* kase : {"freeze-short", "freeze-other-thread", "freeze-none"}) {
    TChildResult child = RunChild(kase, 60000);
    ASSERT_EQ(child.ExitCode, 0u) << kase << child.Output;
    EXPECT_EQ(ReportsOf(child.Output, "EFrozenApplication"), 0u) << kase << child.Output;
    EXPECT_NE(child.Output.find("freeze reports 0 "), std::string::npos) << kase << child.Output;
  }
}

TEST(FreezeWatch, AllocatingAndDuringAnotherReportTheProgramGoesOn) {
  TChildResult allocating = RunChild("freeze-allocating", 60000);
  ASSERT_EQ(allocating.ExitCode, 0u) << allocating.Output;
  EXPECT_EQ(ReportsOf(allocating.Output, "EFrozenApplication"), 1u) << allocating.Output;
  EXPECT_NE(allocating.Output.find("went on"), std::string::npos);

  // The other report holds the dispatch lock past the busy spell: the freeze is
  // skipped and counted afresh, never reported late, and nothing hangs.
  TChildResult during = RunChild("freeze-during-report", 60000);
  ASSERT_EQ(during.ExitCode, 0u) << during.Output;
  EXPECT_EQ(during.Output.find("never"), std::string::npos) << during.Output;
  EXPECT_EQ(ReportsOf(during.Output, "EFrozenApplication"), 0u) << during.Output;
  EXPECT_EQ(ReportsOf(during.Output, "Exception"), 1u) << during.Output;
  EXPECT_EQ(Between(during.Output, "freeze reports "), "0");
  EXPECT_NE(Between(during.Output, " skips "), "0") << during.Output;
}

TEST(FreezeWatch, SwitchingOffWithoutAWindowStopsAtOnce) {
  TChildResult child = RunChild("freeze-stop", 30000);
  ASSERT_EQ(child.ExitCode, 0u) << child.Output;
  EXPECT_NE(child.Output.find(" ms, stopped"), std::string::npos) << child.Output;
  // Within a probe step or two, with room for a loaded machine's scheduling.
  EXPECT_LE(std::atoi(Between(child.Output, "stopped in ").c_str()), 1000) << child.Output;
}

}  // namespace

}  // namespace startup_test
