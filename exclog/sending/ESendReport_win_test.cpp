// The send thread under the dispatch lock, and pumping on the sending thread. The
// files, the archive and the fallbacks are checked end to end (tests/send).
#include "exclog/sending/ESendReport_win.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>

#include "exclog/core/ExceptionLog.h"
#include "exclog/sending/ESendMethods.h"
#include "exclog/sending/ESendPipeline.h"
#include "exclog/sending/ESendState.h"

namespace exclog {
namespace {

HANDLE sentEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
std::recursive_mutex* dispatchLock = nullptr;
std::atomic<bool> testHoldsTheLock{false};
// What the lock looked like when the report went out: taken by the sender (seen
// from a third thread, as the sender itself may take a recursive lock again), and
// not held by the test any more.
std::atomic<bool> sentUnderTheLock{false}, sentWhileTheTestHeldIt{false};

bool SignallingSmtp(const TMailMessage&, const TSmtpSettings&) {
  sentWhileTheTestHeldIt = testHoldsTheLock.load();
  std::thread probe([] {
    const bool free = dispatchLock->try_lock();
    if (free) dispatchLock->unlock();
    sentUnderTheLock = !free;
  });
  probe.join();
  SetEvent(sentEvent);
  return true;
}

TEST(SendThread, WaitsForTheDispatchLockAndLeavesIt) {
  static std::recursive_mutex lock;
  dispatchLock = &lock;
  SendingSeams() = TSendingSeams();
  SendingSeams().DispatchLock = &lock;
  SendMethodSeams().SmtpSend = &SignallingSmtp;
  SetSameThreadReport(false);
  TQuelbaModuleOptions options;
  options.SetMailMode(2);
  options.SetProcessFlags(SendOnOwnThread);
  int finished = SendThreadsFinished();
  ResetEvent(sentEvent);
  std::unique_lock<std::recursive_mutex> held(lock);
  testHoldsTheLock = true;
  EXPECT_TRUE(SendReport(TReportJob(), "report text", true, options));
  // Nothing goes out while the report before holds the lock: the sending holds it.
  testHoldsTheLock = false;
  held.unlock();
  EXPECT_EQ(WaitForSingleObject(sentEvent, 20000), WAIT_OBJECT_0);
  EXPECT_FALSE(sentWhileTheTestHeldIt.load()) << "the report went out while the report before held the lock";
  EXPECT_TRUE(sentUnderTheLock.load()) << "the report went out without the dispatch lock";
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (SendThreadsFinished() == finished && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(SendThreadsFinished(), finished + 1);
  EXPECT_TRUE(lock.try_lock());  // left on the way out
  lock.unlock();
  SendMethodSeams() = TSendMethodSeams();
  SendingSeams() = TSendingSeams();
}

int pumped = 0;
LRESULT CALLBACK CountingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_APP) ++pumped;
  return DefWindowProcA(window, message, wParam, lParam);
}

// Pumping on the sending thread takes the queue's messages; a quit request among
// them is put back for the program's own loop.
TEST(SendOutputs, PumpingPutsAQuitRequestBack) {
  InstallSendOutputs();
  SendState().Progress.Window = reinterpret_cast<uintptr_t>(GetDesktopWindow());
  SendState().Progress.SameThread = true;
  // A message posted after the quit request is taken before it (a quit request
  // waits for an empty queue): it shows the pump took the queue, quit included.
  pumped = 0;
  HWND sink = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  ASSERT_NE(sink, nullptr);
  SetWindowLongPtrA(sink, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CountingProc));
  PostQuitMessage(7);
  PostMessageA(sink, WM_APP, 0, 0);
  SendOutputSeams().StatusText = nullptr;  // only the pumping is under test
  SetStatus("x");
  SendState().Progress = TSendProgress();
  SendOutputSeams() = TSendOutputSeams();
  EXPECT_EQ(pumped, 1) << "the message after the quit request was not pumped";
  MSG message;
  ASSERT_TRUE(PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(message.wParam, 7u);
  DestroyWindow(sink);
}

}  // namespace
}  // namespace exclog
