#include "exclog/EThreadHooks_win.h"

#include <winternl.h>

#include <atomic>
#include <cstdlib>
#include <map>
#include <mutex>
#include <new>

#include "classlib/Threads.h"
#include "exclog/ECore_win.h"
#include "exclog/EHook.h"
#include "exclog/EThrow_win.h"
#include "exclog/ExceptionLog.h"

namespace exclog {

namespace {

std::atomic<TThreadRecordList*> threadRecords{nullptr};

std::atomic<int> createCalls{0}, resumeCalls{0}, exitCalls{0}, writeCalls{0}, raiseCalls{0}, unwindCalls{0};

std::mutex executeLock;
std::map<const void*, uintptr_t> originalExecutes;  // virtual table -> original Execute

std::mutex cgiLock;
std::string cgiPage;

// The resume guard of the freeze watchdog: its own resumes take no stack copy.
thread_local bool resumeGuard = false;

uintptr_t ThreadStackTop() {
  return reinterpret_cast<uintptr_t>(reinterpret_cast<NT_TIB*>(NtCurrentTeb())->StackBase);
}

// What a wrapped start needs, independent of the list: the list may have lost the
// record (logger stopped) by the time the thread runs.
struct TStartBlock {
  LPTHREAD_START_ROUTINE RawStart;
  TThreadFunc Function;
  void* Parameter;
};

HANDLE DuplicateThreadHandle(HANDLE thread) {
  HANDLE copy = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), thread, GetCurrentProcess(), &copy, 0, FALSE,
                       DUPLICATE_SAME_ACCESS))
    return nullptr;
  return copy;
}

void CloseRecords(std::vector<std::unique_ptr<TThreadRecord>>& records) {
  for (auto& r : records)
    if (r->Handle) CloseHandle(reinterpret_cast<HANDLE>(r->Handle));
  records.clear();
}

void RemoveFinishedThreads(TThreadRecordList& list) {
  auto finished = list.RemoveIf([](const TThreadRecord& r) {
    return r.Handle && WaitForSingleObject(reinterpret_cast<HANDLE>(r.Handle), 0) == WAIT_OBJECT_0;
  });
  CloseRecords(finished);
}

void ForgetThread(uint32_t threadId) {
  if (TThreadRecordList* list = threadRecords.load()) {
    if (auto record = list->Remove(threadId))
      if (record->Handle) CloseHandle(reinterpret_cast<HANDLE>(record->Handle));
  }
}

void MarkStart() {
  if (TThreadRecordList* list = threadRecords.load()) list->TakeStart(GetCurrentThreadId(), ThreadStackTop());
}

// --- The hand-built SEH frame --------------------------------------------------

struct TSehFrame {
  TSehFrame* Next;
  void* Handler;
};

TLoggedException FromRecord(const EXCEPTION_RECORD& record, int mode) {
  TLoggedException e;
  e.Code = record.ExceptionCode;
  e.Address = reinterpret_cast<uintptr_t>(record.ExceptionAddress);
  e.ClassName = ExternalExceptionClass(e.Code);
  bool access = record.ExceptionCode == EXCEPTION_ACCESS_VIOLATION && record.NumberParameters >= 2;
  e.Message = ExternalExceptionText(e.Code, e.Address, access,
                                    access ? static_cast<uint32_t>(record.ExceptionInformation[0]) : 0,
                                    access ? record.ExceptionInformation[1] : 0);
  e.ThreadId = GetCurrentThreadId();
  e.Mode = mode;
  e.Module = GetModuleHandleA(nullptr);
  return e;
}

extern "C" EXCEPTION_DISPOSITION __cdecl ThreadFrameHandler(EXCEPTION_RECORD* record, void*, CONTEXT*, void*) {
  if (record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) return ExceptionContinueSearch;
  if (record->ExceptionCode == ThreadNamingException) return ExceptionContinueExecution;
  try {
    ExceptionManager(FromRecord(*record, 0));
  } catch (...) {
  }
  // The exception ends here: the faulting frames cannot be resumed, so the thread ends.
  HookExitThread(static_cast<DWORD>(-1));
}

int RawStartAdapter(void* parameter) {
  auto* block = static_cast<TStartBlock*>(parameter);
  return static_cast<int>(block->RawStart(block->Parameter));
}

DWORD WINAPI RawStartWrapper(LPVOID parameter) {
  auto* block = static_cast<TStartBlock*>(parameter);
  MarkStart();
  int result = RunThreadGuarded(&RawStartAdapter, block);
  delete block;
  // A raw start that returns ends outside the import table: forget it here.
  ForgetThread(GetCurrentThreadId());
  return static_cast<DWORD>(result);
}

int FunctionStartWrapper(void* parameter) {
  auto* block = static_cast<TStartBlock*>(parameter);
  TThreadFunc function = block->Function;
  void* argument = block->Parameter;
  delete block;
  MarkStart();
  return RunThreadGuarded(function, argument);
}

using TExecute = void(__attribute__((thiscall)) *)(void* self);

int ExecuteAdapter(void* self) {
  const void* table = *static_cast<void* const*>(self);
  uintptr_t original = 0;
  {
    std::lock_guard<std::mutex> lock(executeLock);
    auto it = originalExecutes.find(table);
    if (it != originalExecutes.end()) original = it->second;
  }
  if (original) reinterpret_cast<TExecute>(original)(self);
  return 0;
}

void __attribute__((thiscall)) ExecuteWrapper(void* self) {
  if (TThreadRecordList* list = threadRecords.load()) list->TakeStartByObject(self, ThreadStackTop());
  // C++ exceptions of Execute are the thread class's own business (it keeps them);
  // hardware faults, which it cannot see, end the thread through the frame.
  RunThreadGuarded(&ExecuteAdapter, self, false);
}

// Patches the Execute slot of the object's class once; returns the original.
uintptr_t PatchExecute(void* object) {
  void* table = *static_cast<void**>(object);
  std::lock_guard<std::mutex> lock(executeLock);
  auto it = originalExecutes.find(table);
  if (it != originalExecutes.end()) return it->second;
  try {
    uintptr_t original = HookMethodSlot(table, TThread::ExecuteSlotIndex(),
                                        reinterpret_cast<uintptr_t>(&ExecuteWrapper));
    if (original) originalExecutes[table] = original;
    return original;
  } catch (...) {
    return 0;  // left unpatched: the thread runs as it would without the logger
  }
}

// A CGI program is a console program; the subsystem is read once from its headers.
bool ConsoleProgram() {
  static const bool console = [] {
    auto* base = reinterpret_cast<const uint8_t*>(GetModuleHandleA(nullptr));
    auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
    return nt->OptionalHeader.Subsystem == IMAGE_SUBSYSTEM_WINDOWS_CUI;
  }();
  return console;
}

// A thread object is complete once its creator resumes it: its class's Execute slot
// can be patched then, before the thread runs.
void PatchExecuteOnFirstResume(TThreadRecordList& list, uint32_t threadId) {
  std::optional<TThreadRecord> record = list.Find(threadId);
  if (!record || !record->ThreadObject || record->OriginalExecute) return;
  if (IsLoggerThreadClass(SafeClassName(record->ThreadObject))) return;
  if (uintptr_t original = PatchExecute(record->ThreadObject)) list.SetOriginalExecute(threadId, original);
}

}  // namespace

const TKernelOriginals& KernelOriginals() {
  static const TKernelOriginals originals = [] {
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    auto proc = [kernel](const char* name) { return reinterpret_cast<void*>(GetProcAddress(kernel, name)); };
    TKernelOriginals o;
    o.CreateThread = reinterpret_cast<decltype(&CreateThread)>(proc("CreateThread"));
    o.ResumeThread = reinterpret_cast<decltype(&ResumeThread)>(proc("ResumeThread"));
    o.ExitThread = reinterpret_cast<decltype(&ExitThread)>(proc("ExitThread"));
    o.WriteFile = reinterpret_cast<decltype(&WriteFile)>(proc("WriteFile"));
    return o;
  }();
  return originals;
}

int HookCallCount(const std::string& routine) {
  if (routine == "CreateThread") return createCalls;
  if (routine == "ResumeThread") return resumeCalls;
  if (routine == "ExitThread") return exitCalls;
  if (routine == "WriteFile") return writeCalls;
  if (routine == "RaiseException") return raiseCalls;
  if (routine == "RtlUnwind") return unwindCalls;
  return 0;
}

void CountHookCall(const std::string& routine) {
  if (routine == "RaiseException") ++raiseCalls;
  if (routine == "RtlUnwind") ++unwindCalls;
}

TThreadRecordList* ThreadRecords() { return threadRecords.load(); }

void StartThreadRecords() {
  if (threadRecords.load()) return;
  auto* list = new TThreadRecordList;
  auto main = std::make_unique<TThreadRecord>();
  main->ThreadId = GetCurrentThreadId();
  main->Handle = reinterpret_cast<uintptr_t>(DuplicateThreadHandle(GetCurrentThread()));
  main->StackTop = ThreadStackTop();
  list->Add(std::move(main));
  threadRecords.store(list);
}

void StopThreadRecords() {
  // Detach first: a hook running on another thread now sees no list.
  TThreadRecordList* list = threadRecords.exchange(nullptr);
  if (!list) return;
  auto records = list->DetachAll();
  CloseRecords(records);
  delete list;
}

bool IsLoggerThreadClass(const std::string& className) {
  return className == "TExceptionThread" || className == "TFreezeThread" ||
         className == "TSendDialogThread" || className == "TSendThread";
}

int PatchedExecuteClasses() {
  std::lock_guard<std::mutex> lock(executeLock);
  return static_cast<int>(originalExecutes.size());
}

std::string LastCgiPage() {
  std::lock_guard<std::mutex> lock(cgiLock);
  return cgiPage;
}

int RunThreadGuarded(int (*function)(void*), void* parameter, bool catchCpp) {
  volatile TSehFrame frame;
  TSehFrame* previous;
  asm volatile("movl %%fs:0, %0" : "=r"(previous));
  frame.Next = previous;
  frame.Handler = reinterpret_cast<void*>(&ThreadFrameHandler);
  asm volatile("movl %0, %%fs:0" : : "r"(&frame) : "memory");
  int result = -1;
  if (!catchCpp) {
    result = function(parameter);
  } else try {
    result = function(parameter);
  } catch (...) {
    try {
      ExceptionManager(CurrentCppException(0));
    } catch (...) {
    }
    result = -1;
  }
  asm volatile("movl %0, %%fs:0" : : "r"(previous) : "memory");
  return result;
}

// --- The hooks ------------------------------------------------------------------

HANDLE WINAPI HookCreateThread(LPSECURITY_ATTRIBUTES security, SIZE_T stackSize,
                               LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD flags,
                               LPDWORD threadId) {
  ++createCalls;
  auto original = KernelOriginals().CreateThread;
  TThreadRecordList* list = threadRecords.load();
  if (!LoggerActive() || !list) return original(security, stackSize, start, parameter, flags, threadId);

  RemoveFinishedThreads(*list);
  auto record = std::unique_ptr<TThreadRecord>(new (std::nothrow) TThreadRecord);
  auto* block = new (std::nothrow) TStartBlock{};
  if (!record || !block) {
    delete block;
    return original(security, stackSize, start, parameter, flags, threadId);
  }
  DWORD localId = 0;
  LPDWORD idOut = threadId ? threadId : &localId;
  record->Parameter = parameter;
  record->CreationFlags = flags;
  bool ownThread = false;
  LPTHREAD_START_ROUTINE actualStart = start;
  LPVOID actualParameter = parameter;
  TThreadStartRecord* startRecord = nullptr;
  TThreadStartRecord savedStart{};

  if (reinterpret_cast<const void*>(start) == BeginThreadStartAddress() && parameter) {
    startRecord = static_cast<TThreadStartRecord*>(parameter);
    savedStart = *startRecord;
    record->OriginalFunction = reinterpret_cast<void*>(startRecord->Function);
    if (startRecord->Function == TThread::StartRoutine() && startRecord->Parameter) {
      void* object = startRecord->Parameter;
      record->ThreadObject = object;
      record->Parameter = object;
      // Still inside the base constructor here: the object's virtual table is
      // TThread's, not its class's. Execute is patched at the first resume instead.
      ownThread = IsLoggerThreadClass(SafeClassName(object));
      delete block;
      block = nullptr;
    } else {
      record->Parameter = startRecord->Parameter;
      block->Function = startRecord->Function;
      block->Parameter = startRecord->Parameter;
      startRecord->Function = &FunctionStartWrapper;
      startRecord->Parameter = block;
    }
  } else {
    record->OriginalStart = reinterpret_cast<void*>(start);
    block->RawStart = start;
    block->Parameter = parameter;
    actualStart = &RawStartWrapper;
    actualParameter = block;
  }

  // Always suspended, so the record is listed before the thread can look for it.
  HANDLE handle = original(security, stackSize, actualStart, actualParameter, flags | CREATE_SUSPENDED, idOut);
  if (!handle) {
    DWORD error = GetLastError();
    if (startRecord) *startRecord = savedStart;
    delete block;
    SetLastError(error);
    return nullptr;
  }
  if (!ownThread) {
    record->ThreadId = *idOut;
    record->Handle = reinterpret_cast<uintptr_t>(DuplicateThreadHandle(handle));
    list->Add(std::move(record));
  }
  if (!(flags & CREATE_SUSPENDED)) HookResumeThread(handle);
  return handle;
}

DWORD WINAPI HookResumeThread(HANDLE thread) {
  ++resumeCalls;
  TThreadRecordList* list = threadRecords.load();
  if (LoggerActive() && list && !resumeGuard) {
    // From this hook's return-address slot up to the top of the calling thread's stack.
    auto* from = static_cast<uint8_t*>(__builtin_frame_address(0)) + sizeof(void*);
    uintptr_t top = ThreadStackTop();
    uint32_t size = top > reinterpret_cast<uintptr_t>(from) ? static_cast<uint32_t>(top - reinterpret_cast<uintptr_t>(from)) : 0;
    std::vector<uint8_t> copy;
    if (size && IsReadable(from, size)) {
      try {
        copy.assign(from, from + size);
      } catch (...) {
        copy.clear();
      }
    }
    // Found by the id behind the handle: the caller's handle never equals our duplicate.
    DWORD id = GetThreadId(thread);
    if (id && list->StoreResume(id, GetCurrentThreadId(), size, std::move(copy))) PatchExecuteOnFirstResume(*list, id);
  }
  return KernelOriginals().ResumeThread(thread);
}

VOID WINAPI HookExitThread(DWORD exitCode) {
  ++exitCalls;
  ForgetThread(GetCurrentThreadId());
  KernelOriginals().ExitThread(exitCode);
  __builtin_unreachable();
}

BOOL WINAPI HookWriteFile(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD written,
                          LPOVERLAPPED overlapped) {
  ++writeCalls;
  if (LoggerActive() && buffer && ConsoleProgram() && file == GetStdHandle(STD_OUTPUT_HANDLE)) {
    DWORD savedError = GetLastError();
    char method[8];
    DWORD length = GetEnvironmentVariableA("REQUEST_METHOD", method, sizeof method);
    if (length > 0) {
      try {
        std::lock_guard<std::mutex> lock(cgiLock);
        cgiPage.assign(static_cast<const char*>(buffer), count);
      } catch (...) {
      }
    }
    SetLastError(savedError);
  }
  return KernelOriginals().WriteFile(file, buffer, count, written, overlapped);
}

}  // namespace exclog
