#pragma once
// The logger's hooks of kernel32's CreateThread, ResumeThread, ExitThread and
// WriteFile (installed in the program's import table by the ExceptionLog unit), the
// thread start wrappers and the TThread Execute wrapper. Every hook takes and returns
// exactly what the system routine does and calls the original through a kept pointer.
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "exclog/debuginfo/ELists.h"
#include "exclog/core/ExceptionLog.h"

namespace exclog {

HANDLE WINAPI HookCreateThread(LPSECURITY_ATTRIBUTES security, SIZE_T stackSize,
                               LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD flags,
                               LPDWORD threadId);
DWORD WINAPI HookResumeThread(HANDLE thread);
// Resumes through the hook with the calling thread's resume guard set: the hook
// keeps no stack copy (for a thread the caller stopped itself only to look at it).
DWORD ResumeThreadGuarded(HANDLE thread);
[[noreturn]] VOID WINAPI HookExitThread(DWORD exitCode);
BOOL WINAPI HookWriteFile(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD written,
                          LPOVERLAPPED overlapped);

// The system routines themselves, looked up in kernel32 once.
struct TKernelOriginals {
  decltype(&CreateThread) CreateThread;
  decltype(&ResumeThread) ResumeThread;
  decltype(&ExitThread) ExitThread;
  decltype(&WriteFile) WriteFile;
};
const TKernelOriginals& KernelOriginals();

// Calls of each hook since the process started ("CreateThread", "ResumeThread",
// "ExitThread", "WriteFile", and "RaiseException"/"RtlUnwind" for the pass-through
// hooks of the raise path); 0 for other names. The "WriteFile" count is exact for
// writes of one thread only: it is kept without a lock, as it costs every write.
int HookCallCount(const std::string& routine);
void CountHookCall(const std::string& routine);

// The logger's threads list, live between StartThreadRecords and StopThreadRecords;
// null otherwise. StartThreadRecords registers the calling (main) thread.
//
// Where the hooks keep their values in a list record (TQuelbaThreadInfo):
//   ThreadHandle  the record's own duplicate of the thread handle (closed with it)
//   Value2 resumer id       Value3 caller's creation flags (0x80000000: main thread)
//   Value4 thread object    Value5 stack top          Value6 original Execute
//   Value7 BeginThread function   Value8 raw start address   Value9 start parameter
//   Value10 stack copy size       Attached the stack copy (owned; null when unreadable)
TQuelbaThreadsList* ThreadRecords();
void StartThreadRecords();
// Detaches the list (late hook calls then find none), waits (at most 5 s) for hook
// calls still holding it, then frees its records and closes their handles; when
// one never lets go, the list is left allocated rather than freed under it.
void StopThreadRecords();

// A record's values under their names, with its own copy of the stack copy: a
// snapshot that stays valid after the list's lock is released.
struct TThreadRecordView {
  uint32_t ThreadId = 0;
  uintptr_t Handle = 0;
  uint32_t ResumerId = 0;
  uint32_t CreationFlags = 0;
  void* ThreadObject = nullptr;
  uintptr_t StackTop = 0;
  uintptr_t OriginalExecute = 0;
  void* OriginalFunction = nullptr;
  void* OriginalStart = nullptr;
  void* Parameter = nullptr;
  uint32_t StackCopySize = 0;
  std::vector<uint8_t> StackCopy;
  bool Resumed = false;  // a resume was recorded (the resumer id is set)
};
// A library's thread record handed over through the exports, while the logger is
// active and the list live. The list's copy borrows the record's attached block and
// handle: the library frees and closes them, never the list. Adding first drops the
// records of ended threads; updating overwrites the record of `handle` (skipped
// inside the freeze watch's own resumes).
void AddLibraryThreadRecord(const TQuelbaThreadInfo& record);
void UpdateLibraryThreadRecord(uint32_t handle, const TQuelbaThreadInfo& record);
// Removes the record of `threadId` and closes its handle unless borrowed; an unknown
// id changes nothing.
void ForgetLibraryThread(uint32_t threadId);

// Snapshot of the record of `threadId` in the live list; nothing when the list is
// down or the thread unknown.
std::optional<TThreadRecordView> FindThreadRecord(uint32_t threadId);

// Classes whose threads are never recorded nor patched: the logger's own.
bool IsLoggerThreadClass(const std::string& className);

// Number of distinct thread classes whose Execute slot was patched.
int PatchedExecuteClasses();

// The CGI page capture: the bytes of the last write to standard output of a CGI
// program (a console program with REQUEST_METHOD set).
std::string LastCgiPage();

// A system exception as the logger describes it (class, text, code, address).
TLoggedException ExceptionFromRecord(const EXCEPTION_RECORD& record, int mode);

// Whether the program is a console program.
bool ConsoleProgram();

// Runs `function(parameter)` inside a hand-built SEH frame (g++ has no __try and
// catch (...) never sees hardware faults) and, with `catchCpp`, a C++ catch-all. A
// hardware or foreign exception escaping it goes to ExceptionManager (mode 0) and
// the thread ends with -1; a caught C++ exception goes there too and -1 is returned.
// The thread-naming exception continues where it was raised. Returns the result.
int RunThreadGuarded(int (*function)(void*), void* parameter, bool catchCpp = true);
// What the hook keeps of threads it started and that have not yet begun to run:
// each thread frees its own as it starts, whatever way it ends later.
int ThreadStartBlocksHeld();
// The handler routine of RunThreadGuarded's frame (the exception-frame test counts
// such frames as catching every exception).
uintptr_t ThreadGuardHandlerAddress();

}  // namespace exclog
