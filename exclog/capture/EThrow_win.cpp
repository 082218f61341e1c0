#include "exclog/capture/EThrow_win.h"

#include <windows.h>
#include <winternl.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cxxabi.h>
#include <exception>
#include <memory>

#include "classlib/SysUtils.h"
#include "classlib/System.h"
#include "classlib/Threads.h"
#include "exclog/capture/ECaptureState_win.h"
#include "exclog/capture/EDispatch_win.h"
#include "exclog/capture/EFaultShield_win.h"
#include "exclog/core/EOptions.h"
#include "exclog/dialogs/EReportContext_win.h"

extern "C" {
[[noreturn]] void __real___cxa_throw(void* object, std::type_info* type, void (*destructor)(void*));
void __real___cxa_end_catch();
}

namespace exclog {

namespace {

// Null until the thread hooks hand theirs down (constant-initialised, so that no
// start-up order can undo the hand-over).
decltype(&::ExitThread) threadExit = nullptr;

std::atomic<bool> recording{false};
std::atomic<int> throwCount{0};
std::terminate_handler previousTerminate = nullptr;
std::atomic<bool> terminateInstalled{false};

thread_local TThrowRecord threadThrow;
// Whether this thread ever recorded a throw. Plain, so reading it costs no per-thread
// set-up: the first touch of the record above registers its clean-up with an
// allocation that, on the main thread, outlives the leak check.
thread_local bool threadThrew = false;
// Catches that end inside the logger's own work on this thread: neither reported
// nor the end of the recorded throw.
thread_local int quietCatches = 0;
thread_local bool reportingHandled = false;
std::atomic<const TQuelbaModuleOptions*> handledOptions{nullptr};

constexpr uint16_t CatchHandledReports = 0x100;

uintptr_t StackBase() { return reinterpret_cast<uintptr_t>(reinterpret_cast<NT_TIB*>(NtCurrentTeb())->StackBase); }

std::string Demangle(const char* mangled) {
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> text(abi::__cxa_demangle(mangled, nullptr, nullptr, &status), std::free);
  return status == 0 && text ? std::string(text.get()) : std::string(mangled);
}

void Record(void* object, std::type_info* type, uintptr_t site, uintptr_t frame) {
  threadThrew = true;
  TThrowRecord& r = threadThrow;
  r.ClassName = ThrownClassName(object, type);
  r.Object = object;
  r.Message.clear();
  void* adjusted = object;
  if (typeid(std::exception).__do_catch(type, &adjusted, 1)) {
    // The object's own code: a fault in it must not end the throw it belongs to.
    std::string message;
    auto read = [&] {
      if (const char* text = static_cast<std::exception*>(adjusted)->what()) message = text;
    };
    if (RunShielded(read)) r.Message = message;
  }
  r.Site = site;
  r.FramePointer = frame;
  uintptr_t sp = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
  r.StackPointer = sp;
  uintptr_t base = StackBase();
  size_t size = base > sp ? base - sp : 0;
  if (size > StackCopyLimit) size = StackCopyLimit;
  CopyStackBytes(sp, size, r.Stack);
  r.Pending = true;
  ++throwCount;
}

// The recorded throw's registers and stack copy for `request`: from the throw's
// site, its thrower's frame and the copy taken at the throw.
void UseThrowStack(const TThrowRecord& r, TDispatchRequest& request, CONTEXT& context) {
  context = CONTEXT{};
  context.ContextFlags = CONTEXT_CONTROL | CONTEXT_INTEGER;
  context.Eip = static_cast<DWORD>(r.Site - 1);
  context.Esp = static_cast<DWORD>(r.StackPointer);
  context.Ebp = static_cast<DWORD>(r.FramePointer);
  request.Context = &context;
  request.StackCopy = r.Stack.data();
  request.StackCopySize = static_cast<uint32_t>(r.Stack.size());
  request.StackTop = StackBase();
}

// The end of a catch that ran to its close (no exception left it): with the
// options asking for it, the exception it handled is reported as a handled one,
// unless it is the one this thread reported last. Cheap tests first: this runs at
// the end of every catch in the program.
void ReportHandledException() {
  const TThrowRecord& r = threadThrow;
  if (!r.Pending || reportingHandled || !recording || IsLoggerThread()) return;
  const TQuelbaModuleOptions* options = handledOptions.load();
  if (!options || !(options->CatchFlags() & CatchHandledReports)) return;
  if (!LoggerActive() || !LoggerEnabled() || CurrentThreadExcluded()) return;
  TLoggerThreadBlock& block = ThreadBlock();
  if (block.DispatchBusy) return;
  if (IsReportedClassName(r.ClassName) && r.Site == block.ExceptionAddress) return;
  reportingHandled = true;
  try {
    TDispatchRequest request;
    request.Exception.ClassName = r.ClassName;
    request.Exception.Message = r.Message;
    request.Exception.Object = r.Object;
    request.Exception.Address = r.Site;
    request.Exception.ThreadId = GetCurrentThreadId();
    request.Exception.Module = GetModuleHandleA(nullptr);
    request.HandledReport = true;
    // The stack as the throw left it: the recorder's copy, walked from the throw.
    CONTEXT context;
    if (!r.Stack.empty()) UseThrowStack(r, request, context);
    Dispatch(request);
  } catch (...) {
  }
  reportingHandled = false;
}

[[noreturn]] void TerminateRoute() {
  // Once a thread: a second terminate (from inside the report) ends at once.
  static thread_local bool entered = false;
  bool mainThread = GetCurrentThreadId() == MainThreadID();
  if (!entered) {
    entered = true;
    try {
      // Nothing unwound: the thrower's frames still stand above its frame pointer.
      // (Read first: describing the exception rethrows and catches it, which ends
      // the record's pending state.)
      uintptr_t frame = threadThrow.Pending ? threadThrow.FramePointer : 0;
      TLoggedException e = CurrentCppException(2);
      if (!IsLastReported(e.Object, e.Address)) RaiseHandling(e, e.Object != nullptr, frame);
    } catch (...) {
    }
  }
  std::fflush(nullptr);
  if (!mainThread) (threadExit ? threadExit : &::ExitThread)(1);
  TerminateProcess(GetCurrentProcess(), 1);
  std::abort();
}

}  // namespace

void SetThreadExitRoute(decltype(&::ExitThread) exitThread) { threadExit = exitThread; }

void SetHandledReportOptions(const TQuelbaModuleOptions* options) { handledOptions = options; }

std::string ThrownClassName(void* object, const std::type_info* type) {
  if (!type) return "";
  void* adjusted = object;
  if (object && typeid(TObject).__do_catch(type, &adjusted, 1)) {
    TClass cls = ClassOfObject(adjusted);
    if (cls) return cls->Name;
  }
  return Demangle(type->name());
}

TThrowRecord LastThrowRecord() { return threadThrow; }

bool RecordedThrowStack(TDispatchRequest& request) {
  // The context lives on while the dispatch on this thread reads it.
  static thread_local CONTEXT context;
  if (!threadThrew) return false;
  const TThrowRecord& r = threadThrow;
  const TLoggedException& e = request.Exception;
  if (!r.Pending || r.Stack.empty() || e.Code != 0 || !e.Address || e.Address != r.Site || e.Object != r.Object)
    return false;
  UseThrowStack(r, request, context);
  return true;
}
int ThrowRecordCount() { return throwCount; }
void SetThrowRecording(bool on) { recording = on; }
bool ThrowRecording() { return recording; }

TLoggedException CurrentCppException(int mode) {
  TLoggedException e;
  e.Mode = mode;
  e.ThreadId = GetCurrentThreadId();
  const TThrowRecord& r = threadThrow;
  if (std::type_info* type = abi::__cxa_current_exception_type()) {
    e.ClassName = r.Pending && !r.ClassName.empty() ? r.ClassName : Demangle(type->name());
    e.Message = r.Pending ? r.Message : "";
    e.Address = r.Pending ? r.Site : 0;
    e.Object = r.Pending ? r.Object : nullptr;
    // Looking at the exception rethrows and catches it: that catch is ours.
    ++quietCatches;
    try {
      throw;
    } catch (const EAbort&) {
      e.Abort = true;
    } catch (const EStackOverflow&) {
      e.StackOverflow = true;
    } catch (...) {
    }
    --quietCatches;
  } else {
    e.ClassName = "terminate";
    e.Message = "terminate called without an active exception";
  }
  e.Module = GetModuleHandleA(nullptr);
  return e;
}

void InstallTerminateRoute() {
  if (terminateInstalled.exchange(true)) return;
  previousTerminate = std::set_terminate(&TerminateRoute);
}

void RemoveTerminateRoute() {
  if (!terminateInstalled.exchange(false)) return;
  std::set_terminate(previousTerminate);
  previousTerminate = nullptr;
}

}  // namespace exclog

extern "C" {

// Records, then throws on: the recorder never reports and never throws itself.
[[noreturn]] void __wrap___cxa_throw(void* object, std::type_info* type, void (*destructor)(void*)) {
  if (exclog::recording) {
    try {
      exclog::Record(object, type, reinterpret_cast<uintptr_t>(__builtin_return_address(0)),
                     // The thrower's frame pointer, saved at the base of ours.
                     *static_cast<uintptr_t*>(__builtin_frame_address(0)));
    } catch (...) {
    }
  }
  __real___cxa_throw(object, type, destructor);
}

// The end of a catch. Left by `throw;` or by a new throw, an exception is still on
// its way (the recorded throw stays pending); run to its close, the catch handled
// it: reported when the options ask for handled reports, and no longer pending.
void __wrap___cxa_end_catch() {
  if (exclog::quietCatches == 0 && std::uncaught_exceptions() == 0) {
    exclog::ReportHandledException();
    exclog::threadThrow.Pending = false;
  }
  __real___cxa_end_catch();
}
}
