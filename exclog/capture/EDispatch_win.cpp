#include "exclog/capture/EDispatch_win.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "exclog/debuginfo/EStackWalk_win.h"
#include "exclog/capture/EDispatch.h"
#include "exclog/capture/EEventCall.h"
#include "exclog/capture/ECaptureState_win.h"
#include "exclog/leaks/ELeakUnit_win.h"
#include "exclog/dialogs/EReportContext_win.h"

namespace exclog {

namespace {

std::atomic<int> dispatchCount{0};
std::atomic<TExceptionThread*> currentThread{nullptr};
std::atomic<DWORD> waitingThreadId{0};
std::atomic<TWillBeCaughtProc> willBeCaught{nullptr};

// The pump's state for the running dispatch (main thread only).
std::atomic<int> pumpedCount{0};
std::atomic<int> droppedCount{0};
thread_local bool quitTaken = false;
thread_local WPARAM quitCode = 0;

// Reads the focused window of the raising thread without sending it messages: that
// thread may be the one waiting for this report.
void CollectFocus(TReportJob& job) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(job.RaisingThreadId, &info) || !info.hwndFocus) return;
  char name[257] = {};
  GetClassNameA(info.hwndFocus, name, 256);
  job.FocusedClass = name;
  if (IsWindowUnicode(info.hwndFocus)) return;
  wchar_t wide[257] = {};
  int length = InternalGetWindowText(info.hwndFocus, wide, 256);
  char text[520] = {};
  if (length > 0) WideCharToMultiByte(CP_ACP, 0, wide, length, text, sizeof text - 1, nullptr, nullptr);
  job.FocusedText = FocusedControlText(job.FocusedClass, static_cast<uint32_t>(GetWindowLongA(info.hwndFocus, GWL_STYLE)), text);
}

uint8_t RunMainHandlerGuarded(TReportJob& job) {
  // What the report keeps (caches, texts, lists) is the logger's, not a leak.
  TLeakOwnAllocations own;
  try {
    return RunMainHandler(job);
  } catch (const std::exception& x) {
    ReportInternalError("Report handler (step " + std::to_string(ReportStep()) + "): " + x.what());
  } catch (...) {
    ReportInternalError("Report handler (step " + std::to_string(ReportStep()) + "): General internal error.");
  }
  return 0;
}

// False when no report thread could be made: the report then runs here.
bool RunOnReportThread(TReportJob& job, bool pumping, uint8_t& result) {
  TExceptionThread* thread = nullptr;
  try {
    thread = new TExceptionThread(job);
    thread->SetPriority(TThreadPriority::tpHighest);
    currentThread = thread;
    waitingThreadId = GetCurrentThreadId();
    thread->Start();
  } catch (...) {
    currentThread = nullptr;
    waitingThreadId = 0;
    delete thread;
    return false;
  }
  bool onMain = GetCurrentThreadId() == MainThreadID();
  HANDLE handle = reinterpret_cast<HANDLE>(thread->Handle());
  while (thread->Running.load()) {
    if (onMain && pumping && DialogShowing() && !PumpReportMessages()) pumping = false;
    ServeEventRequest();
    // Sleeps 10 ms, and ends the wait at once when the thread is gone.
    if (WaitForSingleObject(handle, 10) != WAIT_TIMEOUT) break;
  }
  WaitForSingleObject(handle, INFINITE);
  result = thread->Result;
  currentThread = nullptr;
  waitingThreadId = 0;
  delete thread;
  return true;
}

bool AskWaitingThreadExists() { return currentThread.load() != nullptr && waitingThreadId.load() != 0; }
bool AskOnWaitingThread() { return GetCurrentThreadId() == waitingThreadId.load(); }

}  // namespace

namespace {
std::atomic<TRaiseStackSource> raiseStackSource{nullptr};
}  // namespace

TExceptionThread::TExceptionThread(const TReportJob& job) : TThread(true), Job(job) {}

TExceptionThread::~TExceptionThread() { TerminateAndWait(); }

void TExceptionThread::Execute() {
  MarkLoggerThread();
  Job.OnReportThread = true;
  try {
    CollectFocus(Job);
  } catch (...) {
  }
  Result = RunMainHandlerGuarded(Job);
  Running = false;
}

TExceptionThread* CurrentExceptionThread() { return currentThread; }

int DispatchCount() { return dispatchCount; }

uint8_t Dispatch(const TDispatchRequest& request) {
  const TLoggedException& e = request.Exception;
  if (!LoggerActive() || e.Abort) return 1;
  bool pumping = PumpingAllowed(e.StackOverflow, DisplayFlags());
  std::lock_guard<std::recursive_mutex> lock(DispatchLock());
  ++dispatchCount;
  ReleaseAddressSpaceReserve();
  uint8_t result = 0;
  TLoggerThreadBlock& block = ThreadBlock();
  if (!block.DispatchBusy) {
    block.DispatchBusy = true;
    TReportJob job;
    job.Exception = e;
    job.RaisingThreadId = request.RaisingThreadId ? request.RaisingThreadId
                          : e.ThreadId                ? e.ThreadId
                                                      : GetCurrentThreadId();
    job.HandledReport = request.HandledReport;
    job.CheckResult = request.CheckResult;
    uint32_t contextFlags = 0, recordCode = 0;
    std::memcpy(&contextFlags, block.Context, sizeof contextFlags);
    std::memcpy(&recordCode, block.Record, sizeof recordCode);
    // The block's context is this exception's only when its record is: a C++ throw
    // records none, and a fault that system code caught leaves its own behind.
    if (e.Code && recordCode == e.Code) {
      job.Record = block.Record;
      if (contextFlags) job.Context = block.Context;
    }
    if (request.Context) {
      job.Context = request.Context;
      job.StackCopy = request.StackCopy;
      job.StackCopySize = request.StackCopySize;
    }
    job.StackTop = request.StackTop ? request.StackTop : StackTopOfThread(job.RaisingThreadId);
    job.FrameWord = request.FrameWord     ? request.FrameWord
                    : block.SavedFrame[1] ? block.SavedFrame[1]
                                          : block.SavedFrame[0];
    job.HandOverFrame = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
    if (!request.HandledReport) {
      std::snprintf(block.ExceptionClass, sizeof block.ExceptionClass, "%s", e.ClassName.c_str());
      block.ExceptionAddress = e.Address;
    }
    RecordExceptionPlace(e.Address, job.FrameWord, request.HandledReport ? 1 : 0);
    // An overflowed stack has no room for the copy's calls.
    if (!e.StackOverflow) {
      TLeakOwnAllocations own;  // the snapshot stays for the dialogs: the logger's, not a leak
      TakeStackSnapshot(job.FrameWord, false);
    }
    bool sameThread = !request.SeparateThread && ReportOnSameThread(SameThreadReport(), e.StackOverflow, e.MemoryLeak);
    quitTaken = false;
    if (sameThread || !RunOnReportThread(job, pumping, result)) {
      CollectFocus(job);
      result = RunMainHandlerGuarded(job);
    }
    if (quitTaken) PostQuitMessage(static_cast<int>(quitCode));
    quitTaken = false;
    std::memset(block.Context, 0, sizeof block.Context);
    std::memset(block.Record, 0, sizeof block.Record);
    std::memset(block.SavedFrame, 0, sizeof block.SavedFrame);
    block.DispatchBusy = false;
  }
  RestoreAddressSpaceReserve();
  return result;
}

bool PumpReportMessages() {
  for (int i = 0; i < PumpBatchLimit; ++i) {
    MSG message;
    if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) return true;
    if (message.message == WM_QUIT) {
      quitTaken = true;
      quitCode = message.wParam;
      return false;
    }
    if (PumpDropsMessage(message.message)) {
      ++droppedCount;
      MessageBeep(0);
      continue;
    }
    ++pumpedCount;
    try {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    } catch (...) {
      return false;
    }
  }
  return true;
}

int PumpedMessageCount() { return pumpedCount; }
int PumpDroppedCount() { return droppedCount; }

bool ManagerDispatch(const TLoggedException& e) {
  std::lock_guard<std::recursive_mutex> lock(DispatchLock());
  if (!LoggerEnabled() || CurrentThreadExcluded()) return true;
  TDispatchRequest request;
  request.Exception = e;
  if (!e.Object && !e.Address) {
    request.Exception.Object = LastExceptionObject();
    request.Exception.Address = LastExceptionAddress();
  }
  TRaiseStackSource source = raiseStackSource.load();
  // A caught throw's own frames are gone: its stack as the throw left it, when kept.
  // Otherwise, without a recorded frame, the stack is read from the logger's entry
  // the program called, so none of the logger's frames stand in the report.
  if (!(source && source(request)) && !ThreadBlock().SavedFrame[0])
    request.FrameWord = ProgramEntryFrame() ? ProgramEntryFrame() : reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
  return Dispatch(request) != 0;
}

void SetRaiseStackSource(TRaiseStackSource source) { raiseStackSource = source; }

void FilterDispatch(const TLoggedException& e) {
  TDispatchRequest request;
  request.Exception = e;
  request.RaisingThreadId = e.ThreadId;
  Dispatch(request);
}

TWillBeCaughtProc SetWillBeCaughtTest(TWillBeCaughtProc proc) { return willBeCaught.exchange(proc); }

void RaiseHandling(const TLoggedException& e, int raiseKind, uintptr_t frameWord) {
  TLoggerThreadBlock& block = ThreadBlock();
  if (__atomic_exchange_n(&block.RaiseReentry, true, __ATOMIC_SEQ_CST)) return;
  DWORD lastError = GetLastError();
  SetLastException(e.Object, e.Address);
  if (LoggerEnabled() && !CurrentThreadExcluded()) {
    block.ExceptionAddress = e.Address;
    TWillBeCaughtProc test = willBeCaught.load();
    bool caught = false;
    int checkResult = 0;
    try {
      caught = test && test(e, checkResult);
    } catch (...) {
    }
    if (!caught) {
      if (!block.SavedFrame[0]) block.SavedFrame[0] = block.SavedFrame[1];
      TDispatchRequest request;
      request.Exception = e;
      request.RaiseKind = raiseKind;
      request.CheckResult = checkResult;
      request.FrameWord = frameWord;
      try {
        Dispatch(request);
      } catch (...) {
      }
    }
  }
  SetLastError(lastError);
  __atomic_store_n(&block.RaiseReentry, false, __ATOMIC_SEQ_CST);
}

void InstallEventCallRouting() {
  TEventCallSeams& seams = EventCallSeams();
  seams.ExceptionThreadExists = &AskWaitingThreadExists;
  seams.OnExceptionThread = &AskOnWaitingThread;
}

}  // namespace exclog
