#include "exclog/capture/EThreadHooks_win.h"

#include <winternl.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>

#include "classlib/Threads.h"
#include "exclog/core/ECore_win.h"
#include "exclog/capture/ERaiseRoutes_win.h"
#include "exclog/hooks/EHook.h"
#include "exclog/capture/EThrow_win.h"
#include "exclog/core/ExceptionLog.h"
#include "exclog/debuginfo/EImageHeaders.h"
#include "exclog/debuginfo/EStackWalk_win.h"

namespace exclog {

namespace {

std::atomic<TQuelbaThreadsList*> threadRecords{nullptr};
// Hook calls holding the list now: the list is freed only once none does.
std::atomic<int> listUsers{0};
constexpr DWORD ListReleaseWaitMs = 5000;

// Holds the threads list for one call (null when the logger is down).
class TListUse {
 public:
  TListUse() {
    ++listUsers;  // before the load: a stop that detaches after it waits for us
    list_ = threadRecords.load();
  }
  ~TListUse() { --listUsers; }
  TListUse(const TListUse&) = delete;
  TListUse& operator=(const TListUse&) = delete;
  TQuelbaThreadsList* Get() const { return list_; }

 private:
  TQuelbaThreadsList* list_;
};

std::atomic<int> createCalls{0}, resumeCalls{0}, exitCalls{0}, writeCalls{0}, raiseCalls{0}, unwindCalls{0};

std::mutex executeLock;
std::map<const void*, uintptr_t> originalExecutes;  // virtual table -> original Execute

std::mutex cgiLock;
std::string cgiPage;

// The resume guard of the freeze watchdog: its own resumes take no stack copy. The
// thread inside the guarded resume, not a thread-local flag: a thread-local's first
// use allocates, and the watchdog resumes a main thread it suspended, which may hold
// the heap's lock.
std::atomic<DWORD> guardedResumer{0};

bool InGuardedResume() { return guardedResumer.load() == GetCurrentThreadId(); }

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
std::atomic<int> startBlocksHeld{0};

TStartBlock* NewStartBlock() {
  auto* block = new (std::nothrow) TStartBlock{};
  if (block) ++startBlocksHeld;
  return block;
}

void FreeStartBlock(TStartBlock* block) {
  if (!block) return;
  --startBlocksHeld;
  delete block;
}

HANDLE DuplicateThreadHandle(HANDLE thread) {
  HANDLE copy = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), thread, GetCurrentProcess(), &copy, 0, FALSE,
                       DUPLICATE_SAME_ACCESS))
    return nullptr;
  return copy;
}

// Record words hold 32-bit addresses: this is a 32-bit program.
uint32_t Word(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }
void* Pointer(uint32_t word) { return reinterpret_cast<void*>(static_cast<uintptr_t>(word)); }

void FreeStackCopy(void* block) { delete[] static_cast<uint8_t*>(block); }

void CloseHandles(const std::vector<uint32_t>& handles) {
  for (uint32_t h : handles)
    if (h) CloseHandle(reinterpret_cast<HANDLE>(static_cast<uintptr_t>(h)));
}

// Holds the list's write lock for one scope (the lock nests, reads included).
class TListWrite {
 public:
  explicit TListWrite(TQuelbaThreadsList& list) : list_(list) { list_.LockWrite(); }
  ~TListWrite() { list_.UnlockWrite(); }
  TListWrite(const TListWrite&) = delete;
  TListWrite& operator=(const TListWrite&) = delete;

 private:
  TQuelbaThreadsList& list_;
};

class TListRead {
 public:
  explicit TListRead(TQuelbaThreadsList& list) : list_(list) { list_.LockRead(); }
  ~TListRead() { list_.UnlockRead(); }
  TListRead(const TListRead&) = delete;
  TListRead& operator=(const TListRead&) = delete;

 private:
  TQuelbaThreadsList& list_;
};

// The record of `threadId`, null when unknown; the caller holds a lock while it uses it.
// The handle the list closes with a record: none for a library's borrowed one.
uint32_t OwnedHandle(const TQuelbaThreadInfo& record) { return record.Borrowed ? 0 : record.ThreadHandle; }

TQuelbaThreadInfo* RecordOf(TQuelbaThreadsList& list, uint32_t threadId) {
  int index = list.IndexOfThreadId(threadId);
  return index < 0 ? nullptr : list.Get(index);
}

// Takes out every record for which `ended(record)` holds; each record's own handle
// is closed once the lock is released. Records are taken out and their handles
// closed in one step, so no handle is ever closed twice.
template <class Pred>
void RemoveRecords(TQuelbaThreadsList& list, Pred ended) {
  std::vector<uint32_t> handles;
  {
    TListWrite hold(list);
    for (int i = list.Count() - 1; i >= 0; --i) {
      TQuelbaThreadInfo* record = list.Get(i);
      if (!ended(*record)) continue;
      handles.push_back(OwnedHandle(*record));
      list.Delete(i);
    }
  }
  CloseHandles(handles);
}

void RemoveFinishedThreads(TQuelbaThreadsList& list) {
  RemoveRecords(list, [](const TQuelbaThreadInfo& r) {
    return r.ThreadHandle &&
           WaitForSingleObject(reinterpret_cast<HANDLE>(static_cast<uintptr_t>(r.ThreadHandle)), 0) == WAIT_OBJECT_0;
  });
}

// Lists a new thread's record (owned by the list from here on). A record left by an
// earlier thread with the same id (ended without ExitThread) goes.
void AppendRecord(TQuelbaThreadsList& list, TQuelbaThreadInfo* record) {
  uint32_t staleHandle = 0;
  {
    TListWrite hold(list);
    int stale = list.IndexOfThreadId(record->ThreadId);
    if (stale >= 0 && record->ThreadId != 0) {
      staleHandle = OwnedHandle(*list.Get(stale));
      list.Delete(stale);
    }
    list.Add(record);
  }
  CloseHandles({staleHandle});
}

void ForgetThread(uint32_t threadId) {
  TListUse use;
  TQuelbaThreadsList* list = use.Get();
  if (!list) return;
  try {
    RemoveRecords(*list, [threadId](const TQuelbaThreadInfo& r) { return r.ThreadId == threadId; });
  } catch (...) {
    // Out of memory for the handle list: the record stays until the next clean-up.
  }
}

// Sets the stack top of the record found at `index` (-1: unknown thread).
void SetStackTop(TQuelbaThreadsList& list, int index) {
  if (index >= 0) list.Get(index)->Value5 = static_cast<uint32_t>(ThreadStackTop());
}

void MarkStart() {
  TListUse use;
  TQuelbaThreadsList* list = use.Get();
  if (!list) return;
  TListWrite hold(*list);
  SetStackTop(*list, list->IndexOfThreadId(GetCurrentThreadId()));
}

void MarkStartByObject(const void* object) {
  TListUse use;
  TQuelbaThreadsList* list = use.Get();
  if (!list || !object) return;
  TListWrite hold(*list);
  SetStackTop(*list, list->IndexOfValue4(Word(object)));
}

// Stores a resume of `threadId`: resumer, stack copy size and the copy (`copy`
// owned by the record from here on, replacing the earlier one). False when unknown.
bool StoreResume(TQuelbaThreadsList& list, uint32_t threadId, uint32_t size, uint8_t* copy) {
  uint8_t* earlier = copy;  // freed below: the old copy, or the new one when unknown
  bool found = false;
  {
    TListWrite hold(list);
    if (TQuelbaThreadInfo* record = RecordOf(list, threadId)) {
      earlier = static_cast<uint8_t*>(record->Borrowed ? nullptr : record->Attached);
      record->Value2 = GetCurrentThreadId();
      record->Value10 = size;
      record->Attached = copy;
      record->FreeAttached = &FreeStackCopy;
      record->Borrowed = 0;
      found = true;
    }
  }
  delete[] earlier;
  return found;
}

// --- The hand-built SEH frame --------------------------------------------------

struct TSehFrame {
  TSehFrame* Next;
  void* Handler;
};

}  // namespace

TLoggedException ExceptionFromRecord(const EXCEPTION_RECORD& record, int mode) {
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
  e.StackOverflow = e.Code == EXCEPTION_STACK_OVERFLOW;
  // The run-time's own raise carries its object and the raise address.
  if (e.Code == NativeExceptionCode && record.NumberParameters >= 7 &&
      DescribeNativeObject(e, reinterpret_cast<const void*>(record.ExceptionInformation[1])))
    e.Address = record.ExceptionInformation[0];
  return e;
}

namespace {

void GuardRoute(const TLoggedException& e) {
  // A native raise was reported by the raise hook already.
  if (e.Code != NativeExceptionCode || !IsLastReported(e.Object, e.Address)) ExceptionManager(e);
}

extern "C" EXCEPTION_DISPOSITION __cdecl ThreadFrameHandler(EXCEPTION_RECORD* record, void*, CONTEXT*, void*) {
  if (record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) return ExceptionContinueSearch;
  if (record->ExceptionCode == ThreadNamingException) return ExceptionContinueExecution;
  ReportSystemException(*record, 0, &GuardRoute);
  // The exception ends here: the faulting frames cannot be resumed, so the thread ends.
  HookExitThread(static_cast<DWORD>(-1));
}

int RawStartAdapter(void* parameter) {
  auto* block = static_cast<TStartBlock*>(parameter);
  return static_cast<int>(block->RawStart(block->Parameter));
}

DWORD WINAPI RawStartWrapper(LPVOID parameter) {
  // Freed before the start runs: a thread that ends in a fault never comes back here.
  TStartBlock block = *static_cast<TStartBlock*>(parameter);
  FreeStartBlock(static_cast<TStartBlock*>(parameter));
  MarkStart();
  int result = RunThreadGuarded(&RawStartAdapter, &block);
  // A raw start that returns ends outside the import table: forget it here.
  ForgetThread(GetCurrentThreadId());
  return static_cast<DWORD>(result);
}

int FunctionStartWrapper(void* parameter) {
  auto* block = static_cast<TStartBlock*>(parameter);
  TThreadFunc function = block->Function;
  void* argument = block->Parameter;
  FreeStartBlock(block);
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
  MarkStartByObject(self);
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

}  // namespace

// The subsystem is read once from the program's headers.
bool ConsoleProgram() {
  static const bool console = [] {
    auto headers = ReadImageHeaders(ProcessMemory(), reinterpret_cast<uintptr_t>(GetModuleHandleA(nullptr)));
    return headers && headers->Subsystem == IMAGE_SUBSYSTEM_WINDOWS_CUI;
  }();
  return console;
}

namespace {

// A thread object is complete once its creator resumes it: its class's Execute slot
// can be patched then, before the thread runs.
void PatchExecuteOnFirstResume(TQuelbaThreadsList& list, uint32_t threadId) {
  void* object = nullptr;
  {
    TListRead hold(list);
    TQuelbaThreadInfo* record = RecordOf(list, threadId);
    if (!record || !record->Value4 || record->Value6) return;
    object = Pointer(record->Value4);
  }
  if (IsLoggerThreadClass(SafeClassName(object))) return;
  uintptr_t original = PatchExecute(object);
  if (!original) return;
  TListWrite hold(list);
  if (TQuelbaThreadInfo* record = RecordOf(list, threadId)) record->Value6 = static_cast<uint32_t>(original);
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

TQuelbaThreadsList* ThreadRecords() { return threadRecords.load(); }

void StartThreadRecords() {
  if (threadRecords.load()) return;
  auto list = std::make_unique<TQuelbaThreadsList>();
  TQuelbaThreadInfo* main = list->AddNew(true);
  main->ThreadId = GetCurrentThreadId();
  main->ThreadHandle = Word(DuplicateThreadHandle(GetCurrentThread()));
  main->Value5 = static_cast<uint32_t>(ThreadStackTop());
  threadRecords.store(list.release());
}

void StopThreadRecords() {
  // Detach first: a hook running on another thread now sees no list.
  TQuelbaThreadsList* list = threadRecords.exchange(nullptr);
  if (!list) return;
  // Hook calls that took the list before it was detached finish with it first.
  // Bounded: should one never finish, the list is left allocated, not freed under it.
  DWORD started = GetTickCount();
  while (listUsers.load() > 0) {
    if (GetTickCount() - started >= ListReleaseWaitMs) return;
    Sleep(1);
  }
  std::vector<uint32_t> handles;
  {
    TListRead hold(*list);
    for (int i = 0; i < list->Count(); ++i) handles.push_back(OwnedHandle(*list->Get(i)));
  }
  delete list;  // frees the records and their stack copies
  CloseHandles(handles);
}

void ForgetLibraryThread(uint32_t threadId) { ForgetThread(threadId); }

void AddLibraryThreadRecord(const TQuelbaThreadInfo& record) {
  TListUse use;
  TQuelbaThreadsList* list = use.Get();
  if (!LoggerActive() || !list) return;
  try {
    RemoveFinishedThreads(*list);
    auto copy = std::make_unique<TQuelbaThreadInfo>(record);
    copy->Borrowed = 1;
    TListWrite hold(*list);
    list->Add(copy.get());
    copy.release();
  } catch (...) {
    // Out of memory: the library's thread goes unlisted.
  }
}

void UpdateLibraryThreadRecord(uint32_t handle, const TQuelbaThreadInfo& record) {
  TListUse use;
  TQuelbaThreadsList* list = use.Get();
  if (!LoggerActive() || InGuardedResume() || !list) return;
  TQuelbaThreadInfo old;
  {
    TListWrite hold(*list);
    int index = list->IndexOfHandle(handle);
    if (index < 0) return;
    TQuelbaThreadInfo* target = list->Get(index);
    old = *target;
    *target = record;
    target->Borrowed = 1;
  }
  // A record of our own that a library's overwrote: what it owned goes now.
  if (!old.Borrowed) {
    if (old.Attached && old.FreeAttached) old.FreeAttached(old.Attached);
    CloseHandles({old.ThreadHandle});
  }
}

std::optional<TThreadRecordView> FindThreadRecord(uint32_t threadId) {
  TListUse use;
  TQuelbaThreadsList* list = use.Get();
  if (!list) return std::nullopt;
  TListRead hold(*list);
  const TQuelbaThreadInfo* r = RecordOf(*list, threadId);
  if (!r) return std::nullopt;
  TThreadRecordView view;
  view.ThreadId = r->ThreadId;
  view.Handle = r->ThreadHandle;
  view.ResumerId = r->Value2;
  view.CreationFlags = r->Value3;
  view.ThreadObject = Pointer(r->Value4);
  view.StackTop = r->Value5;
  view.OriginalExecute = r->Value6;
  view.OriginalFunction = Pointer(r->Value7);
  view.OriginalStart = Pointer(r->Value8);
  view.Parameter = Pointer(r->Value9);
  view.StackCopySize = r->Value10;
  if (r->Attached) {
    auto* bytes = static_cast<const uint8_t*>(r->Attached);
    view.StackCopy.assign(bytes, bytes + r->Value10);
  }
  view.Resumed = r->Value2 != 0;
  return view;
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

int ThreadStartBlocksHeld() { return startBlocksHeld; }

uintptr_t ThreadGuardHandlerAddress() { return reinterpret_cast<uintptr_t>(&ThreadFrameHandler); }

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
  TListUse use;
  TQuelbaThreadsList* list = use.Get();
  if (!LoggerActive() || !list) return original(security, stackSize, start, parameter, flags, threadId);

  std::unique_ptr<TQuelbaThreadInfo> record;
  try {
    RemoveFinishedThreads(*list);
    record.reset(list->AddNew(false));
  } catch (...) {
    // Out of memory: the thread still starts, unrecorded.
  }
  TStartBlock* block = NewStartBlock();
  if (!record || !block) {
    FreeStartBlock(block);
    return original(security, stackSize, start, parameter, flags, threadId);
  }
  DWORD localId = 0;
  LPDWORD idOut = threadId ? threadId : &localId;
  record->Value9 = Word(parameter);
  record->Value3 = flags;
  bool ownThread = false;
  LPTHREAD_START_ROUTINE actualStart = start;
  LPVOID actualParameter = parameter;
  TThreadStartRecord* startRecord = nullptr;
  TThreadStartRecord savedStart{};

  if (reinterpret_cast<const void*>(start) == BeginThreadStartAddress() && parameter) {
    startRecord = static_cast<TThreadStartRecord*>(parameter);
    savedStart = *startRecord;
    record->Value7 = Word(reinterpret_cast<const void*>(startRecord->Function));
    if (startRecord->Function == TThread::StartRoutine() && startRecord->Parameter) {
      void* object = startRecord->Parameter;
      record->Value4 = Word(object);
      record->Value9 = Word(object);
      // Still inside the base constructor here: the object's virtual table is
      // TThread's, not its class's. Execute is patched at the first resume instead.
      ownThread = IsLoggerThreadClass(SafeClassName(object));
      FreeStartBlock(block);
      block = nullptr;
    } else {
      record->Value9 = Word(startRecord->Parameter);
      block->Function = startRecord->Function;
      block->Parameter = startRecord->Parameter;
      startRecord->Function = &FunctionStartWrapper;
      startRecord->Parameter = block;
    }
  } else {
    record->Value8 = Word(reinterpret_cast<const void*>(start));
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
    FreeStartBlock(block);
    SetLastError(error);
    return nullptr;
  }
  if (!ownThread) {
    record->ThreadId = *idOut;
    record->ThreadHandle = Word(DuplicateThreadHandle(handle));
    uint32_t ownHandle = record->ThreadHandle;
    try {
      AppendRecord(*list, record.get());
      record.release();  // the list's now
    } catch (...) {
      CloseHandles({ownHandle});  // unrecorded: the thread runs without the record's values
    }
  }
  if (!(flags & CREATE_SUSPENDED)) HookResumeThread(handle);
  return handle;
}

DWORD ResumeThreadGuarded(HANDLE thread) {
  guardedResumer = GetCurrentThreadId();
  DWORD result = HookResumeThread(thread);
  guardedResumer = 0;
  return result;
}

DWORD WINAPI HookResumeThread(HANDLE thread) {
  ++resumeCalls;
  TListUse use;
  TQuelbaThreadsList* list = use.Get();
  if (LoggerActive() && list && !InGuardedResume()) {
    // From this hook's return-address slot up to the top of the calling thread's stack.
    auto* from = static_cast<uint8_t*>(__builtin_frame_address(0)) + sizeof(void*);
    uintptr_t top = ThreadStackTop();
    uint32_t size = top > reinterpret_cast<uintptr_t>(from) ? static_cast<uint32_t>(top - reinterpret_cast<uintptr_t>(from)) : 0;
    uint8_t* copy = nullptr;
    if (size && IsReadable(from, size)) {
      copy = new (std::nothrow) uint8_t[size];
      if (copy) std::memcpy(copy, from, size);
    }
    // Found by the id behind the handle: the caller's handle never equals our duplicate.
    DWORD id = GetThreadId(thread);
    try {
      if (id && StoreResume(*list, id, size, copy)) PatchExecuteOnFirstResume(*list, id);
      else if (!id) delete[] copy;
    } catch (...) {
      // A failed look-up leaves the record as it was; the resume itself goes ahead.
    }
  }
  return KernelOriginals().ResumeThread(thread);
}

VOID WINAPI HookExitThread(DWORD exitCode) {
  ++exitCalls;
  ForgetThread(GetCurrentThreadId());
  KernelOriginals().ExitThread(exitCode);
  __builtin_unreachable();
}

namespace {

// The write hook runs on every write of the process, so what it needs is resolved once,
// when the program loads (the hook goes into a slot only after main has begun).
const decltype(&WriteFile) systemWriteFile = KernelOriginals().WriteFile;
const bool consoleProgram = ConsoleProgram();

// The standard output handle, read where GetStdHandle reads it (the process
// parameters in the PEB), without the call.
HANDLE StandardOutput() {
  auto* parameters = NtCurrentTeb()->ProcessEnvironmentBlock->ProcessParameters;
  return static_cast<HANDLE>(parameters->Reserved2[3]);
}

}  // namespace

// The system's routine is entered by a jump, not a call: after a write's trip into
// the system every code page touched is looked up again, and returning through this
// hook's page cost as much as the rest of the hook.
__attribute__((optimize("optimize-sibling-calls"))) BOOL WINAPI HookWriteFile(HANDLE file, LPCVOID buffer,
                                                                              DWORD count, LPDWORD written,
                                                                              LPOVERLAPPED overlapped) {
  // Not a locked increment: the count serves tests and benchmarks on one thread, and
  // a lock prefix on every write of the process would cost more than the rest.
  writeCalls.store(writeCalls.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
  if (consoleProgram && file == StandardOutput() && buffer && LoggerActive()) {
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
  auto original = systemWriteFile ? systemWriteFile : KernelOriginals().WriteFile;
  return original(file, buffer, count, written, overlapped);
}

namespace {

// The raise routes, the throw route and the stack walker stand below the thread
// hooks: what they use of them is handed down as the program starts.
[[maybe_unused]] const bool servicesHandedDown = [] {
  SetThreadHookServices({KernelOriginals().CreateThread, &CountHookCall, &ExceptionFromRecord});
  SetThreadGuardHandler(ThreadGuardHandlerAddress());
  SetThreadExitRoute(&HookExitThread);
  return true;
}();

}  // namespace

}  // namespace exclog
