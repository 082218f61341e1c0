#include "classlib/Threads.h"

#include <windows.h>

#include <cstring>
#include <new>

namespace {

// Taken during static initialisation, which runs on the main thread.
const uint32_t mainThreadId = GetCurrentThreadId();

// The one start routine BeginThread hands CreateThread.
DWORD WINAPI ThreadWrapper(void* parameter) {
  auto* record = static_cast<TThreadStartRecord*>(parameter);
  // Read the fields only now: a hook may have rewritten Function while we were suspended.
  TThreadFunc function = record->Function;
  void* argument = record->Parameter;
  delete record;
  int result = -1;
  try {
    result = function(argument);
  } catch (...) {
    // No exception may leave a thread start; the function should have caught it.
  }
  EndThread(result);
}

}  // namespace

uint32_t MainThreadID() { return mainThreadId; }
uint32_t CurrentThreadID() { return GetCurrentThreadId(); }

uintptr_t BeginThread(void* securityAttributes, uint32_t stackSize, TThreadFunc function,
                      void* parameter, uint32_t creationFlags, uint32_t& threadId) {
  auto* record = new (std::nothrow) TThreadStartRecord{function, parameter};
  if (!record) return 0;
  DWORD id = 0;
  HANDLE handle = CreateThread(static_cast<LPSECURITY_ATTRIBUTES>(securityAttributes), stackSize,
                               &ThreadWrapper, record, creationFlags, &id);
  if (!handle) {
    delete record;
    threadId = 0;
    return 0;
  }
  threadId = id;
  return reinterpret_cast<uintptr_t>(handle);
}

void EndThread(int exitCode) { ExitThread(static_cast<DWORD>(exitCode)); }

const void* BeginThreadStartAddress() { return reinterpret_cast<const void*>(&ThreadWrapper); }

void CloseThreadHandle(uintptr_t handle) {
  if (handle) CloseHandle(reinterpret_cast<HANDLE>(handle));
}

// ---------------------------------------------------------------------------

TThread::TThread(bool createSuspended) : createSuspended_(createSuspended) {
  handle_ = BeginThread(nullptr, 0, &ThreadProc, this, CREATE_SUSPENDED, threadId_);
  if (!handle_)
    throw EThread(Format("Thread creation error: %d", static_cast<int>(GetLastError())));
}

TThread::~TThread() {
  if (handle_ && threadId_ != GetCurrentThreadId() && !finished_) {
    try {
      TerminateAndWait();
    } catch (...) {
      // A destructor must not throw; the handle is closed below either way.
    }
  }
  CloseThreadHandle(handle_);
}

int TThread::ThreadProc(void* parameter) {
  auto* thread = static_cast<TThread*>(parameter);
  if (!thread->skipExecute_) {
    try {
      thread->Execute();
    } catch (const std::exception& error) {
      thread->fatalException_ = std::current_exception();
      thread->fatalMessage_ = error.what();
    } catch (...) {
      thread->fatalException_ = std::current_exception();
    }
  }
  const bool freeIt = thread->freeOnTerminate_;
  const int result = thread->returnValue_;
  try {
    thread->DoTerminate();
  } catch (...) {
    // Nothing may leave the thread start; DoTerminate's failure has nowhere to go.
  }
  thread->finished_ = true;
  if (freeIt) delete thread;
  return result;
}

void TThread::Start() {
  if (finished_) return;
  started_ = true;
  DWORD previous = ResumeThread(reinterpret_cast<HANDLE>(handle_));
  if (previous == static_cast<DWORD>(-1))
    throw EThread(Format("Cannot resume thread: %d", static_cast<int>(GetLastError())));
  // A count of 1 meant this call let the thread run; above 1 it is still held.
  suspended_ = previous > 1;
}

void TThread::Suspend() {
  DWORD previous = SuspendThread(reinterpret_cast<HANDLE>(handle_));
  if (previous == static_cast<DWORD>(-1))
    throw EThread(Format("Cannot suspend thread: %d", static_cast<int>(GetLastError())));
  suspended_ = true;
}

int TThread::WaitFor() {
  if (freeOnTerminate_) throw EThread("Cannot call WaitFor on a FreeOnTerminate thread");
  if (threadId_ == GetCurrentThreadId()) throw EThread("A thread cannot wait for itself");
  HANDLE handle = reinterpret_cast<HANDLE>(handle_);
  if (WaitForSingleObject(handle, INFINITE) == WAIT_FAILED)
    throw EThread(Format("Wait for thread failed: %d", static_cast<int>(GetLastError())));
  DWORD code = 0;
  if (!GetExitCodeThread(handle, &code))
    throw EThread(Format("Cannot read thread exit code: %d", static_cast<int>(GetLastError())));
  return static_cast<int>(code);
}

void TThread::TerminateAndWait() {
  Terminate();
  // On its own thread (a FreeOnTerminate delete) or once ended there is nothing to wait for.
  if (finished_ || threadId_ == GetCurrentThreadId()) return;
  if (!started_) skipExecute_ = true;
  // Let it go whatever its suspend count, so the wait below cannot hang on it.
  HANDLE handle = reinterpret_cast<HANDLE>(handle_);
  for (;;) {
    DWORD previous = ResumeThread(handle);
    if (previous == static_cast<DWORD>(-1) || previous <= 1) break;
  }
  started_ = true;
  suspended_ = false;
  WaitForSingleObject(handle, INFINITE);
}

static const int priorityValues[] = {THREAD_PRIORITY_IDLE,    THREAD_PRIORITY_LOWEST,
                                     THREAD_PRIORITY_BELOW_NORMAL, THREAD_PRIORITY_NORMAL,
                                     THREAD_PRIORITY_ABOVE_NORMAL, THREAD_PRIORITY_HIGHEST,
                                     THREAD_PRIORITY_TIME_CRITICAL};

TThreadPriority TThread::Priority() const {
  int value = GetThreadPriority(reinterpret_cast<HANDLE>(handle_));
  for (int i = 0; i < 7; ++i)
    if (priorityValues[i] == value) return static_cast<TThreadPriority>(i);
  return TThreadPriority::tpNormal;
}

void TThread::SetPriority(TThreadPriority value) {
  if (!SetThreadPriority(reinterpret_cast<HANDLE>(handle_), priorityValues[static_cast<int>(value)]))
    throw EThread(Format("Cannot set thread priority: %d", static_cast<int>(GetLastError())));
}

TThreadFunc TThread::StartRoutine() { return &ThreadProc; }

int TThread::ExecuteSlotIndex() {
  // Under the Itanium C++ ABI a pointer to a virtual member holds 1 + the byte offset
  // of its slot in the virtual table.
  void (TThread::*execute)() = &TThread::Execute;
  struct {
    uintptr_t ptr;
    ptrdiff_t adjust;
  } raw;
  static_assert(sizeof(raw) == sizeof(execute));
  std::memcpy(&raw, &execute, sizeof(raw));
  return static_cast<int>((raw.ptr - 1) / sizeof(void*));
}
