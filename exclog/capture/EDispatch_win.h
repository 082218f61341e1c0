#pragma once
// Exception dispatch: the serialised dispatcher that hands a report to a report
// thread (TExceptionThread) while the raising thread waits and, on the main thread
// with a logger dialog showing, keeps pumping messages; the main handler; the
// ExceptionManager entry; raise handling for the raise routes.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "classlib/Threads.h"
#include "exclog/core/EOptions.h"
#include "exclog/core/ExceptionLog.h"

namespace exclog {

struct TDispatchRequest {
  TLoggedException Exception;
  int RaiseKind = 0;               // 1 from the raise hook, 0 from the other routes
  bool HandledReport = false;
  bool SeparateThread = false;     // the report goes to a report thread whatever the flags say
  uint32_t RaisingThreadId = 0;    // 0: the calling thread
  int CheckResult = 0;             // the exception-frame test's result (IsHandledByApplication)
  // Where the raising thread's stack is read: its top (0: that thread's own) and the
  // frame word (0: the raise stack word of the thread's block, else its frame word).
  uintptr_t StackTop = 0;
  uintptr_t FrameWord = 0;
  // The raising thread's registers (204 bytes) and a copy of its stack from their
  // stack pointer up, for a thread stopped and let go before the report (null: the
  // thread block's record decides).
  const void* Context = nullptr;
  const uint8_t* StackCopy = nullptr;
  uint32_t StackCopySize = 0;
};

// Fills `request` with the stack of its exception as it was raised (registers and a
// copy), when the calling thread kept one for it: true then. The throw recorder
// hands it down for throws the program caught and handed to the logger.
using TRaiseStackSource = bool (*)(TDispatchRequest& request);
void SetRaiseStackSource(TRaiseStackSource source);

// Dispatch: 1 when nothing was reported (logger off, EAbort), 0 for an exception
// inside a report on the same thread, else the main handler's result.
uint8_t Dispatch(const TDispatchRequest& request);

// Whether `className` is the whole class name of the exception this thread reported
// last (the thread block keeps only 64 characters of it).
bool IsReportedClassName(const std::string& className);

// Dispatches taken since the start (the lock entered), and reports that reached the
// main handler.
int DispatchCount();

// Waits until no report holds the dispatch lock: true then; false, at once, when the
// thread inside a dispatch has ended without leaving it (nothing will ever leave it).
bool WaitForDispatchLock();
int MainHandlerCount();

// The report thread: highest priority, created suspended, freed by the dispatcher.
class TExceptionThread : public TThread {
  VELMORA_CLASS(TExceptionThread, TThread)

 public:
  explicit TExceptionThread(const TReportJob& job);
  ~TExceptionThread() override;

  std::atomic<bool> Running{true};  // 1 until the main handler returns
  uint8_t Result = 0;
  TReportJob Job;

 protected:
  void Execute() override;
};

// The report thread of the running dispatch, or null.
TExceptionThread* CurrentExceptionThread();

// The main handler: runs the report steps and returns the report's result.
uint8_t RunMainHandler(TReportJob& job);
// Reports counted by the main handler (its step 9).
int ReportCount();
// The report's working copy of the options of the module it is for.
TQuelbaModuleOptions& ReportOptions();

// Pumps at most PumpBatchLimit messages of the calling thread's queue. Returns false
// once WM_QUIT was taken (the message is kept and posted again when the dispatch
// ends) or a message's handling raised.
bool PumpReportMessages();

// Messages the pump dispatched and dropped since the start.
int PumpedMessageCount();
int PumpDroppedCount();

// ExceptionManager's body (filled in by the start-up): dispatches `e` when the logger
// is enabled and the thread not excluded; the dispatch's result, true when none ran.
bool ManagerDispatch(const TLoggedException& e);
// The unhandled-exception filter's dispatch.
void FilterDispatch(const TLoggedException& e);

// Raise handling of the raise routes: once per thread at a time, GetLastError kept,
// the exception recorded as the last one and dispatched unless a frame of the
// application will catch it (WillBeCaught). `frameWord` is where the raising code's
// stack is read from (0: the thread block's words).
void RaiseHandling(const TLoggedException& e, int raiseKind, uintptr_t frameWord = 0);

// Whether an exception-frame of the application on the current stack will catch
// `e`; `result` gets the test's result code (2: raised inside a handler). Default:
// none will (this program's C++ handlers are not exception frames).
using TWillBeCaughtProc = bool (*)(const TLoggedException& e, int& result);
TWillBeCaughtProc SetWillBeCaughtTest(TWillBeCaughtProc proc);

// Fills the event-call seams so a report thread's event handler call runs on the
// waiting raising thread.
void InstallEventCallRouting();

}  // namespace exclog
