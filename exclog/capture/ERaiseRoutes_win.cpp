#include "exclog/capture/ERaiseRoutes_win.h"

#include <atomic>
#include <cstring>

#include "classlib/SysUtils.h"
#include "classlib/System.h"
#include "exclog/core/ECore_win.h"
#include "exclog/capture/EDispatch_win.h"
#include "exclog/capture/ECaptureState_win.h"
#include "exclog/capture/EFaultShield_win.h"

using TRaiseRoutine = VOID(WINAPI*)(DWORD, DWORD, DWORD, const ULONG_PTR*);

namespace exclog {
namespace {

TThreadHookServices& ThreadHooks() {
  static TThreadHookServices services;
  return services;
}

void CountRouteCall(const std::string& routine) {
  if (ThreadHooks().CountHookCall) ThreadHooks().CountHookCall(routine);
}

TLoggedException DescribeRecord(const EXCEPTION_RECORD& record, int mode) {
  if (ThreadHooks().ExceptionFromRecord) return ThreadHooks().ExceptionFromRecord(record, mode);
  TLoggedException e;
  e.Code = record.ExceptionCode;
  e.Address = reinterpret_cast<uintptr_t>(record.ExceptionAddress);
  e.ThreadId = GetCurrentThreadId();
  e.Mode = mode;
  return e;
}

}  // namespace

void SetThreadHookServices(const TThreadHookServices& services) { ThreadHooks() = services; }

}  // namespace exclog

extern "C" {
// Read by the entry stubs.
void* velmora_original_raise = nullptr;
void* velmora_original_unwind = nullptr;
void velmora_raise_hook_entry() asm("velmora_raise_hook_entry");
void velmora_unwind_hook_entry() asm("velmora_unwind_hook_entry");
void velmora_record_raise_entry(uint32_t stackPosition, uint32_t ecx) asm("velmora_record_raise_entry");
void velmora_unwind_observer(const uint32_t* arguments) asm("velmora_unwind_observer");
VOID WINAPI velmora_raise_hook_body(DWORD code, DWORD flags, DWORD count, const ULONG_PTR* arguments) asm(
    "velmora_raise_hook_body");
}

// Raise entry: keeps EAX, EDX, ECX; hands the stack position before the caller's
// pushes (entry stack pointer + 48) and ECX to the recorder, then goes on in the body
// with the caller's return address and arguments untouched.
// Unwind entry: keeps every register, hands the observer the address of the four
// arguments, then jumps to the original routine.
asm(R"(
  .text
  .globl velmora_raise_hook_entry
velmora_raise_hook_entry:
  pushl %eax
  pushl %edx
  pushl %ecx
  leal 60(%esp), %eax
  pushl %ecx
  pushl %eax
  call velmora_record_raise_entry
  addl $8, %esp
  popl %ecx
  popl %edx
  popl %eax
  jmp velmora_raise_hook_body

  .globl velmora_unwind_hook_entry
velmora_unwind_hook_entry:
  pushal
  pushfl
  leal 40(%esp), %eax
  pushl %eax
  call velmora_unwind_observer
  addl $4, %esp
  popfl
  popal
  jmp *_velmora_original_unwind
)");

namespace exclog {

namespace {

PVOID vectoredHandle = nullptr;
std::atomic<int> recordedCount{0};
std::atomic<uintptr_t> lastUnwoundFault{0};
std::atomic<uint8_t> lastRaiseNative{0};  // the kind of the latest raise recorded

bool DebuggerAttached() { return IsDebuggerPresent() != FALSE; }

// The context without its extended registers: the first 204 bytes.
constexpr size_t ShortContextSize = 204;
constexpr DWORD FilledContextFlags = 0x10003;

LONG CALLBACK VectoredRecorder(EXCEPTION_POINTERS* pointers) {
  if (!pointers || !pointers->ExceptionRecord) return EXCEPTION_CONTINUE_SEARCH;
  const EXCEPTION_RECORD* record = pointers->ExceptionRecord;
  if (record->ExceptionCode == ThreadNamingException) return EXCEPTION_CONTINUE_SEARCH;
  if (IsInsideSafeCopy(reinterpret_cast<uintptr_t>(record->ExceptionAddress))) return EXCEPTION_CONTINUE_SEARCH;
  // A shield takes it; the thread's record may be the one a report is reading.
  if (InsideShield()) return EXCEPTION_CONTINUE_SEARCH;
  RecordSystemException(*record, pointers->ContextRecord);
  return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

void RecordSystemException(const EXCEPTION_RECORD& record, const CONTEXT* context) {
  if (!LoggerActive()) return;
  TLoggerThreadBlock& block = ThreadBlock();
  std::memcpy(block.Record, &record, sizeof block.Record);
  if (context) {
    std::memcpy(block.Context, context, ShortContextSize);
    DWORD flags = FilledContextFlags;
    std::memcpy(block.Context, &flags, sizeof flags);
    block.SavedFrame[0] = context->Ebp;
  } else {
    std::memset(block.Context, 0, sizeof block.Context);
    block.SavedFrame[0] = 0;
  }
  if (record.ExceptionCode != NativeExceptionCode) lastRaiseNative = 0;
  ++recordedCount;
}

bool DescribeNativeObject(TLoggedException& e, const void* object) {
  if (!IsValidObject(object)) return false;
  e.Object = object;
  e.ClassName = SafeClassName(object);
  e.Abort = SafeInheritsFromName(object, "EAbort");
  e.StackOverflow = SafeInheritsFromName(object, "EStackOverflow");
  e.MemoryLeak = SafeInheritsFromName(object, "EMemoryLeak");
  if (SafeInheritsFromName(object, "Exception")) e.Message = static_cast<const Exception*>(static_cast<const TObject*>(object))->Message();
  return true;
}

void* RaiseHookEntry(void* original) {
  velmora_original_raise = original;
  return reinterpret_cast<void*>(&velmora_raise_hook_entry);
}

void* UnwindHookEntry(void* original) {
  velmora_original_unwind = original;
  return reinterpret_cast<void*>(&velmora_unwind_hook_entry);
}

void InstallVectoredRecorder() {
  if (!vectoredHandle) vectoredHandle = AddVectoredExceptionHandler(1, &VectoredRecorder);
}

void RemoveVectoredRecorder() {
  if (vectoredHandle) RemoveVectoredExceptionHandler(vectoredHandle);
  vectoredHandle = nullptr;
}

int RecordedExceptionCount() { return recordedCount; }
uintptr_t LastUnwoundFaultAddress() { return lastUnwoundFault; }

namespace {

struct TFreshStackCall {
  void (*Routine)(void*);
  void* Data;
};

DWORD WINAPI FreshStackStart(LPVOID parameter) {
  auto* call = static_cast<TFreshStackCall*>(parameter);
  try {
    call->Routine(call->Data);
  } catch (...) {
  }
  return 0;
}

}  // namespace

bool RunOnFreshStack(void (*routine)(void*), void* data) {
  TFreshStackCall call{routine, data};
  auto create = ThreadHooks().CreateThread ? ThreadHooks().CreateThread : &::CreateThread;
  HANDLE thread = create(nullptr, 0, &FreshStackStart, &call, 0, nullptr);
  if (!thread) return false;
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  return true;
}

namespace {

struct TSystemExceptionCall {
  const EXCEPTION_RECORD* Record;
  DWORD ThreadId;
  int Mode;
  void (*Route)(const TLoggedException& e);
  const TLoggerThreadBlock* Block;  // the raising thread's
};

void DescribeAndRoute(void* data) {
  auto* call = static_cast<TSystemExceptionCall*>(data);
  // On the fresh thread the report reads the raising thread's context, record and
  // frame words as its own.
  if (GetCurrentThreadId() != call->ThreadId) ThreadBlock() = *call->Block;
  try {
    TLoggedException e = DescribeRecord(*call->Record, call->Mode);
    e.ThreadId = call->ThreadId;
    call->Route(e);
  } catch (...) {
  }
}

}  // namespace

void ReportSystemException(const EXCEPTION_RECORD& record, int mode, void (*route)(const TLoggedException& e)) {
  TSystemExceptionCall call{&record, GetCurrentThreadId(), mode, route, &ThreadBlock()};
  // A stack overflow leaves too little stack for a report: a fresh thread takes it.
  if (record.ExceptionCode != EXCEPTION_STACK_OVERFLOW || !RunOnFreshStack(&DescribeAndRoute, &call))
    DescribeAndRoute(&call);
}

void RecordNativeRaise(DWORD code, DWORD flags, DWORD count, const ULONG_PTR* arguments, bool notify) {
  if (!(LoggerActive() && code == NativeExceptionCode && flags == 1 && count == 7 && arguments)) return;
  {
    TLoggerThreadBlock& block = ThreadBlock();
    CONTEXT context{};
    context.ContextFlags = 0x10003;
    context.Eax = arguments[1];
    context.Ebx = arguments[2];
    context.Ecx = block.SavedFrame[2];
    context.Edx = arguments[0];
    context.Esi = arguments[3];
    context.Edi = arguments[4];
    context.Ebp = arguments[5];
    context.Esp = block.SavedFrame[1];
    context.Eip = arguments[0] - 5;
    std::memcpy(block.Context, &context, sizeof block.Context);
    EXCEPTION_RECORD record{};
    record.ExceptionCode = code;
    record.ExceptionFlags = 1;
    record.ExceptionAddress = reinterpret_cast<PVOID>(arguments[0]);
    record.NumberParameters = 7;
    for (int i = 0; i < 7; ++i) record.ExceptionInformation[i] = arguments[i];
    std::memcpy(block.Record, &record, sizeof block.Record);
    const void* object = reinterpret_cast<const void*>(arguments[1]);
    TLoggedException e;
    e.Object = object;
    e.Address = arguments[0];
    e.Code = code;
    e.ThreadId = GetCurrentThreadId();
    e.Module = GetModuleHandleA(nullptr);
    lastRaiseNative = 1;
    if (DescribeNativeObject(e, object) && notify) RaiseHandling(e, 1);
  }
}

uint8_t LastRaiseNative() { return lastRaiseNative.load(); }

}  // namespace exclog

using namespace exclog;

extern "C" void velmora_record_raise_entry(uint32_t stackPosition, uint32_t ecx) {
  TLoggerThreadBlock& block = ThreadBlock();
  block.SavedFrame[1] = stackPosition;
  block.SavedFrame[2] = ecx;
}

extern "C" VOID WINAPI velmora_raise_hook_body(DWORD code, DWORD flags, DWORD count, const ULONG_PTR* arguments) {
  CountRouteCall("RaiseException");
  auto original = reinterpret_cast<TRaiseRoutine>(velmora_original_raise);
  if (code == ThreadNamingException && count == 4) return original(code, flags, count, arguments);
  if (code == NativeReraiseCode && flags == 0 && count == 2 && arguments) {
    uint32_t contextFlags = 0;
    if (SafeCopy(&contextFlags, reinterpret_cast<const void*>(arguments[0]), sizeof contextFlags) &&
        ProcessMemory().IsReadable(arguments[0], 80) && contextFlags == 0x0001003F && !DebuggerAttached())
      return;
  }
  RecordNativeRaise(code, flags, count, arguments, true);
  original(code, flags, count, arguments);
}

extern "C" void velmora_unwind_observer(const uint32_t* arguments) {
  CountRouteCall("RtlUnwind");
  TLoggerThreadBlock& block = ThreadBlock();
  block.SavedFrame[1] = reinterpret_cast<uintptr_t>(arguments);
  const auto* record = reinterpret_cast<const EXCEPTION_RECORD*>(arguments[2]);
  if (!LoggerActive() || !record) return;
  EXCEPTION_RECORD copy;
  if (!SafeCopy(&copy, record, sizeof copy)) return;
  if (copy.ExceptionCode >= 0xC0000005u && copy.ExceptionCode < 0xC000013Bu && copy.ExceptionFlags == 2) {
    uintptr_t address = reinterpret_cast<uintptr_t>(copy.ExceptionAddress);
    SetLastException(LastExceptionObject(), address);
    lastUnwoundFault = address;
  }
}
