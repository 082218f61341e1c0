#pragma once
// The raise routes: the RaiseException hook (entry stub and body), the RtlUnwind
// hook (entry stub and unwind observer), the vectored recorder, and the hand-over
// of a stack overflow to a thread with a fresh stack.
#include <windows.h>

#include <cstdint>
#include <string>

namespace exclog {

// The run-time's codes for its own raise and for a re-raised system exception.
constexpr DWORD NativeExceptionCode = 0x0EEDFADE;
constexpr DWORD NativeReraiseCode = 0x0EEDFAE4;

struct TLoggedException;

// Fills class, message and kind flags of `e` from a class-library object carried by
// a native raise; false (nothing changed) when `object` is no valid object.
bool DescribeNativeObject(TLoggedException& e, const void* object);

// Entry stubs placed in the import slots; `original` is the routine they call on.
void* RaiseHookEntry(void* original);
void* UnwindHookEntry(void* original);

// Records every system exception of the process (record, context, frame word) in
// the raising thread's block; never handles one. Added at start, removed at stop.
void InstallVectoredRecorder();
void RemoveVectoredRecorder();
// System exceptions the recorder took (faults inside the safe copy are not counted).
int RecordedExceptionCount();
// The recorder's work for one exception (record, context, frame word), also for a
// library's exception handed over; nothing while the logger is off.
void RecordSystemException(const EXCEPTION_RECORD& record, const CONTEXT* context);
// The raise hook's recording of a native raise (the 7 arguments of its code), with
// raise handling when `notify`.
void RecordNativeRaise(DWORD code, DWORD flags, DWORD count, const ULONG_PTR* arguments, bool notify);
// 1 when the latest raise recorded was a native raise.
uint8_t LastRaiseNative();

// The latest unwind of a system fault seen by the unwind observer (its record's
// address; 0 when none), and whether the last exception carries the native mark.
uintptr_t LastUnwoundFaultAddress();

// Runs `routine(data)` on a new thread, created outside the hooks, and waits for it:
// a thread whose stack overflowed has about 2 KB left, too little for a report.
// Returns false when no thread could be made.
bool RunOnFreshStack(void (*routine)(void*), void* data);

// Describes a system exception of the calling thread (ExceptionFromRecord with
// `mode`) and hands it to `route`; never throws. A stack overflow is described and
// routed from a fresh stack while the calling thread waits.
void ReportSystemException(const EXCEPTION_RECORD& record, int mode, void (*route)(const TLoggedException& e));

// The thread hooks stand above the raise routes: their unit hands these down when it
// is in the program. Until then a fresh-stack thread is made with the system's
// CreateThread, calls are not counted, and a record is described by its code and
// address alone.
struct TThreadHookServices {
  decltype(&::CreateThread) CreateThread = nullptr;  // the system routine, past the hooks
  void (*CountHookCall)(const std::string& routine) = nullptr;
  TLoggedException (*ExceptionFromRecord)(const EXCEPTION_RECORD& record, int mode) = nullptr;
};
void SetThreadHookServices(const TThreadHookServices& services);

}  // namespace exclog
