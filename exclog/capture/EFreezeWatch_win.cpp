#include "exclog/capture/EFreezeWatch_win.h"
#include "exclog/capture/EFreezeWatch.h"

#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>

#include "exclog/capture/ECaptureState_win.h"
#include "exclog/capture/EDispatch_win.h"
#include "exclog/capture/EEvents_win.h"
#include "exclog/capture/EThreadHooks_win.h"
#include "exclog/core/EConsts.h"
#include "exclog/core/ECore_win.h"
#include "exclog/core/EProcess_win.h"
#include "exclog/debuginfo/EStackWalk_win.h"

namespace exclog {

namespace {

// At most this much of the main thread's stack is copied while it is stopped.
constexpr uint32_t FrozenStackCopyLimit = 102400;

HANDLE mainThread = nullptr;
DWORD mainThreadId = 0;
std::mutex watchLock;  // Start and Stop
TFreezeThread* watchdog = nullptr;
// A watchdog stopped from its own thread (a handler of its freeze report switched the
// watch off): it cannot wait for itself nor free the object it runs in, so it ends
// on its own and the next start or stop on another thread waits for it and frees it.
TFreezeThread* retired = nullptr;
std::atomic<bool> starting{false};
std::atomic<int> reports{0}, skips{0};

struct TFreezeSettings {
  int32_t Seconds = 60;
  std::string Message;
};

TFreezeSettings ProgramFreezeSettings() {
  TFreezeSettings settings;
  try {
    if (TQuelbaModuleOptions* options = CurrentQuelbaLogOptions()) {
      settings.Seconds = options->FreezeSeconds();
      settings.Message = options->Text(MsgAntiFreeze);
    }
  } catch (...) {
    // No options of the program: the defaults.
  }
  return settings;
}

bool WatchSwitchedOn() {
  try {
    TQuelbaModuleOptions* options = CurrentQuelbaLogOptions();
    return options && options->FreezeWatch() != 0;
  } catch (...) {
    return false;
  }
}

// The main thread's first application window: the logger's own dialogs run on
// other threads and must not stand in for it.
struct TWindowSearch {
  DWORD ProcessId;
  DWORD ThreadId;
  HWND Found;
};

BOOL CALLBACK TakeMainThreadWindow(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<TWindowSearch*>(data);
  DWORD process = 0;
  DWORD thread = GetWindowThreadProcessId(window, &process);
  if (thread != search->ThreadId || process != search->ProcessId || !IsApplicationWindow(window)) return TRUE;
  search->Found = window;
  return FALSE;
}

HWND MainThreadWindow() {
  TWindowSearch search{GetCurrentProcessId(), mainThreadId, nullptr};
  EnumWindows(&TakeMainThreadWindow, reinterpret_cast<LPARAM>(&search));
  return search.Found;
}

TFreezeProbe ProbeMainWindow() {
  HWND window = MainThreadWindow();
  if (!window) return TFreezeProbe::NoWindow;
  DWORD_PTR answer = 0;
  return SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_BLOCK, FreezeProbeMs, &answer) ? TFreezeProbe::Answered
                                                                                        : TFreezeProbe::Silent;
}

// Stops the main thread just long enough to copy its registers and the top of its
// stack into memory allocated beforehand: while it is stopped it may hold the heap's
// or any list's lock, so nothing here allocates or locks. Then reports from the copy.
void ReportFrozenMainThread(const TFreezeSettings& settings) {
  if (!mainThread) return;
  uintptr_t stackTop = StackTopOfThread(mainThreadId);
  auto context = std::make_unique<CONTEXT>();
  std::unique_ptr<uint8_t[]> stack(new uint8_t[FrozenStackCopyLimit]);
  // A report in progress (perhaps of the main thread itself) goes first; the freeze
  // is counted afresh after it.
  std::unique_lock<std::recursive_mutex> dispatch(DispatchLock(), std::try_to_lock);
  if (!dispatch.owns_lock()) {
    ++skips;
    return;
  }
  if (SuspendThread(mainThread) == static_cast<DWORD>(-1)) {
    ++skips;
    return;
  }
  std::memset(context.get(), 0, sizeof(CONTEXT));
  context->ContextFlags = CONTEXT_CONTROL | CONTEXT_INTEGER;
  bool haveContext = GetThreadContext(mainThread, context.get()) && context->Eip && context->Esp;
  uint32_t copied = 0;
  if (haveContext && stackTop > context->Esp) {
    uint32_t wanted = static_cast<uint32_t>(stackTop - context->Esp);
    if (wanted > FrozenStackCopyLimit) wanted = FrozenStackCopyLimit;
    size_t readable = ProcessMemory().ReadableBytes(context->Esp, wanted);
    if (readable > wanted) readable = wanted;
    if (readable && ProcessMemory().ReadApproved(context->Esp, stack.get(), readable))
      copied = static_cast<uint32_t>(readable);
  }
  ResumeThreadGuarded(mainThread);
  if (!haveContext || !copied) {
    ++skips;
    return;
  }
  EFrozenApplication frozen(settings.Message);
  TDispatchRequest request;
  request.Exception.ClassName = frozen.ClassName();
  request.Exception.Message = frozen.Message();
  request.Exception.Address = context->Eip;
  request.Exception.ThreadId = mainThreadId;
  request.Exception.Module = GetModuleHandleA(nullptr);
  request.Exception.Object = &frozen;
  request.RaisingThreadId = mainThreadId;
  request.StackTop = stackTop;
  request.Context = context.get();
  request.StackCopy = stack.get();
  request.StackCopySize = copied;
  ++reports;
  Dispatch(request);
}

}  // namespace

TFreezeThread::TFreezeThread() : TThread(true) {
  SetFreeOnTerminate(false);
  SetPriority(TThreadPriority::tpNormal);
}

TFreezeThread::~TFreezeThread() { TerminateAndWait(); }

void TFreezeThread::Execute() {
  MarkLoggerThread();
  TFreezeWatchIo io;
  io.Probe = &ProbeMainWindow;
  io.NowMs = [] { return static_cast<uint64_t>(GetTickCount64()); };
  io.Sleep = [](uint32_t ms) { ::Sleep(ms); };
  io.Terminated = [this] { return Terminated(); };
  while (!Terminated()) {
    try {
      TFreezeSettings settings = ProgramFreezeSettings();
      if (WaitForFreeze(io, settings.Seconds)) ReportFrozenMainThread(settings);
    } catch (...) {
      // Out of memory or a failed report: watch on.
    }
  }
}

void SetFreezeMainThread(HANDLE thread, DWORD threadId) {
  mainThread = thread;
  mainThreadId = threadId;
}

bool OnThreadOf(const TFreezeThread* thread) { return thread && thread->ThreadID() == GetCurrentThreadId(); }

// Takes the retired watchdog for freeing unless it is the calling thread. Under watchLock.
TFreezeThread* TakeRetired() {
  if (OnThreadOf(retired)) return nullptr;
  TFreezeThread* thread = retired;
  retired = nullptr;
  return thread;
}

void StartFreezeWatch() {
  TFreezeThread* ended = nullptr;
  {
    std::lock_guard<std::mutex> hold(watchLock);
    ended = TakeRetired();
    if (!watchdog && !starting && WatchSwitchedOn() && !IsDesignTimeHost(GetCurrentProcessId())) {
      starting = true;
      try {
        watchdog = new TFreezeThread();
        watchdog->Start();
      } catch (...) {
        delete watchdog;
        watchdog = nullptr;
      }
      starting = false;
    }
  }
  delete ended;  // waits for it
}

void StopFreezeWatch() {
  TFreezeThread* thread;
  TFreezeThread* ended;
  {
    std::lock_guard<std::mutex> hold(watchLock);
    thread = watchdog;
    watchdog = nullptr;
    ended = TakeRetired();
    if (OnThreadOf(thread)) {
      // TakeRetired left none: this thread cannot be retired and running at once.
      thread->Terminate();
      retired = thread;
      thread = nullptr;
    }
  }
  if (thread) thread->Terminate();
  delete ended;  // each waits for its thread
  delete thread;
}

bool FreezeWatchRunning() {
  std::lock_guard<std::mutex> hold(watchLock);
  return watchdog != nullptr;
}

int FreezeReportCount() { return reports; }
int FreezeSkipCount() { return skips; }

}  // namespace exclog
