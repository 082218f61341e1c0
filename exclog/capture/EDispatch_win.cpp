#include "exclog/capture/EDispatch_win.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "exclog/debuginfo/EStackWalk_win.h"
#include "exclog/capture/EDispatch.h"
#include "exclog/capture/EEventCall.h"
#include "exclog/capture/EEvents.h"
#include "exclog/capture/EFaultShield_win.h"
#include "exclog/capture/ECaptureState_win.h"
#include "exclog/leaks/ELeakUnit_win.h"
#include "exclog/dialogs/EReportContext_win.h"

namespace exclog {

namespace {

std::atomic<int> dispatchCount{0};
std::atomic<TExceptionThread*> currentThread{nullptr};
std::atomic<DWORD> waitingThreadId{0};
// The thread inside a dispatch (holding its lock), while it is there.
std::atomic<HANDLE> dispatchHolder{nullptr};
// The waiting thread itself: an event call never waits on a thread that is gone.
std::atomic<HANDLE> waitingThread{nullptr};
std::atomic<TWillBeCaughtProc> willBeCaught{nullptr};

// The pump's state for the running dispatch (main thread only).
std::atomic<int> pumpedCount{0};
std::atomic<int> droppedCount{0};
thread_local bool quitTaken = false;
// The whole name of the class this thread reported last, as its length and hash:
// a thread-local string would be allocated per thread behind the program's back.
thread_local uint32_t reportedClassLength = 0;
thread_local uint64_t reportedClassHash = 0;

uint64_t NameHash(const std::string& name) {
  uint64_t hash = 14695981039346656037ull;
  for (unsigned char c : name) hash = (hash ^ c) * 1099511628211ull;
  return hash;
}
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

struct TMainHandlerCall {
  TReportJob* Job;
  uint8_t Result;
};

uint8_t RunMainHandlerGuarded(TReportJob& job) {
  // What the report keeps (caches, texts, lists) is the logger's, not a leak.
  TLeakOwnAllocations own;
  TMainHandlerCall call{&job, 0};
  TShieldFault fault;
  auto run = [](void* data) {
    auto* c = static_cast<TMainHandlerCall*>(data);
    c->Result = RunMainHandler(*c->Job);
  };
  if (RunShielded(run, &call, &fault)) return call.Result;
  ReportInternalError("Report handler (step " + std::to_string(ReportStep()) + "): " + fault.Text);
  // The report's frames were left, not unwound: nothing may point into them.
  EventState().Current = TQuelbaExceptionRecord{};
  SetDialogShowing(false);
  return 0;
}

bool ShieldEventCall(void (*routine)(void*), void* data, std::string& faultText) {
  TShieldFault fault;
  if (RunShielded(routine, data, &fault)) return true;
  faultText = fault.Text;
  return false;
}

// False when no report thread could be made: the report then runs here.
bool RunOnReportThread(TReportJob& job, bool pumping, uint8_t& result) {
  TExceptionThread* thread = nullptr;
  bool onMain = GetCurrentThreadId() == MainThreadID();
  job.PumpingThreadId = onMain && pumping ? GetCurrentThreadId() : 0;
  try {
    thread = new TExceptionThread(job);
    thread->SetPriority(TThreadPriority::tpHighest);
    HANDLE self = nullptr;
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &self, SYNCHRONIZE, FALSE, 0);
    waitingThread = self;
    currentThread = thread;
    waitingThreadId = GetCurrentThreadId();
    thread->Start();
  } catch (...) {
    currentThread = nullptr;
    waitingThreadId = 0;
    if (HANDLE self = waitingThread.exchange(nullptr)) CloseHandle(self);
    delete thread;
    return false;
  }
  HANDLE handle = reinterpret_cast<HANDLE>(thread->Handle());
  while (thread->Running.load()) {
    if (onMain && pumping && DialogShowing() && !PumpReportMessages()) pumping = false;
    // Past a quit request only sent messages are served: a dialog this thread's
    // window owns still enables that window when it ends.
    MSG sent;
    if (!pumping && job.PumpingThreadId && DialogShowing())
      PeekMessageA(&sent, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    ServeEventRequest();
    if (WaitForSingleObject(handle, 0) != WAIT_TIMEOUT) break;
    // Up to 10 ms; over at once when a handler call is handed over or the report ends.
    WaitForEventRequest(std::chrono::milliseconds(10));
  }
  WaitForSingleObject(handle, INFINITE);
  result = thread->Result;
  currentThread = nullptr;
  waitingThreadId = 0;
  if (HANDLE self = waitingThread.exchange(nullptr)) CloseHandle(self);
  delete thread;
  return true;
}

bool AskWaitingThreadExists() {
  if (currentThread.load() == nullptr || waitingThreadId.load() == 0) return false;
  HANDLE waiting = waitingThread.load();
  return !waiting || WaitForSingleObject(waiting, 0) == WAIT_TIMEOUT;
}
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
  WakeEventWaiter();
}

TExceptionThread* CurrentExceptionThread() { return currentThread; }

int DispatchCount() { return dispatchCount; }

bool IsReportedClassName(const std::string& className) {
  return className.size() == reportedClassLength && NameHash(className) == reportedClassHash;
}

bool WaitForDispatchLock() {
  while (true) {
    {
      std::unique_lock<std::recursive_mutex> lock(DispatchLock(), std::try_to_lock);
      if (lock.owns_lock()) return true;
    }
    HANDLE holder = dispatchHolder.load();
    if (holder && WaitForSingleObject(holder, 0) != WAIT_TIMEOUT) {
      // Its report thread may still be at work: it ends first, as any report does.
      if (TExceptionThread* report = currentThread.load())
        WaitForSingleObject(reinterpret_cast<HANDLE>(report->Handle()), INFINITE);
      return false;
    }
    Sleep(10);
  }
}

uint8_t Dispatch(const TDispatchRequest& request) {
  const TLoggedException& e = request.Exception;
  if (!LoggerActive() || e.Abort) return 1;
  bool pumping = PumpingAllowed(e.StackOverflow, DisplayFlags());
  std::unique_lock<std::recursive_mutex> lock = TakeDispatchLock();
  ++dispatchCount;
  ReleaseAddressSpaceReserve();
  uint8_t result = 0;
  TLoggerThreadBlock& block = ThreadBlock();
  if (!block.DispatchBusy) {
    block.DispatchBusy = true;
    HANDLE holder = nullptr;
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &holder, SYNCHRONIZE, FALSE, 0);
    if (HANDLE earlier = dispatchHolder.exchange(holder)) CloseHandle(earlier);
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
      reportedClassLength = static_cast<uint32_t>(e.ClassName.size());
      reportedClassHash = NameHash(e.ClassName);
      block.ExceptionAddress = e.Address;
    }
    RecordExceptionPlace(e.Address, job.FrameWord, request.HandledReport ? 1 : 0);
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
    if (HANDLE own = dispatchHolder.exchange(nullptr)) CloseHandle(own);
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
  std::unique_lock<std::recursive_mutex> lock = TakeDispatchLock();
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
  seams.Shield = &ShieldEventCall;
}

}  // namespace exclog
