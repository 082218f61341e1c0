// The send thread under the dispatch lock, and pumping on the sending thread. The
// files, the archive and the fallbacks are checked end to end (tests/send).
#include "exclog/sending/ESendReport_win.h"

#include <gtest/gtest.h>

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

bool SignallingSmtp(const TMailMessage&, const TSmtpSettings&) {
  SetEvent(sentEvent);
  return true;
}

TEST(SendThread, WaitsForTheDispatchLockAndLeavesIt) {
  static std::recursive_mutex lock;
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
  EXPECT_TRUE(SendReport(TReportJob(), "report text", true, options));
  // Nothing goes out while the report before holds the lock.
  EXPECT_EQ(WaitForSingleObject(sentEvent, 300), static_cast<DWORD>(WAIT_TIMEOUT));
  held.unlock();
  EXPECT_EQ(WaitForSingleObject(sentEvent, 20000), WAIT_OBJECT_0);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (SendThreadsFinished() == finished && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(SendThreadsFinished(), finished + 1);
  EXPECT_TRUE(lock.try_lock());  // left on the way out
  lock.unlock();
  SendMethodSeams() = TSendMethodSeams();
  SendingSeams() = TSendingSeams();
}

// Pumping on the sending thread takes the queue's messages; a quit request among
// them is put back for the program's own loop.
TEST(SendOutputs, PumpingPutsAQuitRequestBack) {
  InstallSendOutputs();
  SendState().Progress.Window = reinterpret_cast<uintptr_t>(GetDesktopWindow());
  SendState().Progress.SameThread = true;
  PostQuitMessage(7);
  SendOutputSeams().StatusText = nullptr;  // only the pumping is under test
  SetStatus("x");
  SendState().Progress = TSendProgress();
  SendOutputSeams() = TSendOutputSeams();
  MSG message;
  ASSERT_TRUE(PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(message.wParam, 7u);
}

}  // namespace
}  // namespace exclog
