#pragma once
// The call-stack walker on the running process: stacks of this or another thread,
// the address lookup, export lists, the exception-frame test of the raising
// thread and the call-stack identifier.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "exclog/debuginfo/EStackWalk.h"
#include "exclog/core/ExceptionLog.h"

namespace exclog {

// Fills `record` for `address`: its module, then the module's debug data, outside
// reader or export list. `exact` marks a first entry known to be exact.
void GetLocation(uint32_t address, uint32_t frameValue, TQuelbaLocation& record, bool isFirst,
                 uint8_t threadKind, bool exact = false);

// Whether `address` lies in a routine of a module with logger data (our own
// builds) that set up its frame there: past its "push ebp; mov ebp, esp" (after
// the stack's realignment in routines that align it). Walks
// hand it to the scan (TWalkOptions::InFramedRoutine) with the frame pointer.
bool InFramedOwnRoutine(uint32_t address);

// A new list filled by the raw scan of [stackStart, stackEnd) of this process.
std::unique_ptr<TQuelbaStackList> BuildStackList(uint32_t first, uint32_t stackStart, uint32_t stackEnd,
                                                 const TWalkOptions& options);
// The same over `stack`, which shows the stack (a copy of a stopped thread's, laid
// over the process's memory); code is read from the process.
std::unique_ptr<TQuelbaStackList> BuildStackList(uint32_t first, uint32_t stackStart, uint32_t stackEnd,
                                                 const TWalkOptions& options, const TMemoryView& stack);

// Where a thread stands.
struct TThreadPosition {
  uint32_t Eip = 0, Esp = 0, Ebp = 0;
  uint32_t StackTop = 0;  // highest address of its stack
};
// Suspends another thread (`thread` needs suspend and context rights), reads its
// registers and stack top, and resumes it. False when any step fails.
bool ReadThreadPosition(HANDLE thread, TThreadPosition& position);
// The highest address of a thread's stack (the calling thread's from its own
// information block); 0 when the thread cannot be opened.
uint32_t StackTopOfThread(uint32_t threadId);
// Walks another thread: suspended for the scan only, starting at its instruction
// pointer (an unmarked first entry), stack pointer and frame pointer. Its priority
// is read through the same handle when it carries query rights. `stackTop`: the
// top of its stack when the caller knows it (0: read from the thread).
std::unique_ptr<TQuelbaStackList> WalkThread(HANDLE thread, const TWalkOptions& options, uint32_t stackTop = 0);

// The module's exported routines, sorted by address (forwarded exports resolved;
// push-jump stubs followed on the older Windows family).
void BuildExportList(uintptr_t module, TQuelbaFunctionsList& list);
// The exports whose code lies in the module itself, sorted by address: what names
// an address inside it. Forwarded exports are left out (their code is another
// module's), so building it loads no library.
void BuildOwnExportList(uintptr_t module, TQuelbaFunctionsList& list);

// The address of an exported routine of a loaded module; 0 when either is missing.
uintptr_t RoutineByName(const std::string& moduleName, const std::string& routineName);
// Routines by symbol number come from symbol blocks of the module data; this
// program's data has none: 0.
uintptr_t RoutineBySymbolId(int symbolId);

// Services of units not built yet, with plain defaults.
struct TFrameTestSeams {
  // One of the logger's framework-handler flags is set (default: false).
  bool (*FrameworkHandlerActive)() = nullptr;
  // The raise path marked the current exception handled (default: false).
  bool (*MarkedHandled)() = nullptr;
  // Where the raise hook recorded the current raise (default: 0).
  uintptr_t (*RaiseAddress)() = nullptr;
  // The current options' CatchFlags (default: the options' default, 88).
  uint16_t (*CatchFlags)() = nullptr;
};
TFrameTestSeams& FrameTestSeams();

// Whether a protected block of the calling thread will catch `exception` (object
// identity, class name) raised at `address`. `result` gets 0, 1 (clean-up only,
// not caught) or 2 (raised inside a handler).
bool IsHandledByApplication(const void* exception, const std::string& className, uintptr_t address,
                            bool force, int& result);
// The answers kept between calls (tests clear and count it).
TFrameTestCache& FrameTestCache();

// CRC-32 over the module file name and module-relative address of the exception
// address and of each call site along the frame chain from `stack` (from the
// calling frame when `stack` holds no stack pointer); the raw scan's call sites
// when the chain has none. The same path gives the same value in every run.
uint32_t WalkCallStackId(const TLoggedException& e, const TStackValues& stack);

// The outside debug reader of a module (map file, binary debug data), as the
// module record keeps it; null when it has none. Freed by FreeOutsideDebugSource.
void* CreateOutsideDebugSource(uintptr_t module);
void FreeOutsideDebugSource(void* source);

// Fills the module seams (export list, outside reader) and the call-stack
// identifier source. The logger's start-up calls it.
void InstallStackWalkSeams();

// The handler of the thread hooks' guard frame (RunThreadGuarded), which catches
// every exception; the hooks stand above the walker and tell it when they are in
// the program (0, no such frame, until then).
void SetThreadGuardHandler(uintptr_t address);

}  // namespace exclog
