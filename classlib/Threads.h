#pragma once
// Threads of the class library. Every thread the library starts goes through
// BeginThread, which hands the imported CreateThread one start routine and a heap
// record {Function, Parameter}; the logger's CreateThread hook recognises that start
// routine, reads the record and may rewrite its Function before the thread runs.
// TThread objects all start in one known routine (TThread::StartRoutine) with the
// object as parameter, and call Execute through the virtual table
// (TThread::ExecuteSlotIndex), where the logger may patch it. Threads end through the
// imported ExitThread.
//
// The declarations carry no Windows header; the code is in the Windows tree only.
#include <atomic>
#include <cstdint>
#include <exception>
#include <string>

#include "classlib/SysUtils.h"
#include "classlib/System.h"

// The id of the program's main thread (the thread that ran static initialisation).
uint32_t MainThreadID();
// The id of the calling thread.
uint32_t CurrentThreadID();

// A thread function: takes the parameter given to BeginThread, returns the exit code.
using TThreadFunc = int (*)(void* parameter);

// What BeginThread hands CreateThread as the parameter. Allocated by BeginThread,
// freed by the start routine once it read both fields; Function is read only when the
// thread begins to run, so a rewrite made while the thread is still suspended counts.
struct TThreadStartRecord {
  TThreadFunc Function;
  void* Parameter;
};

// Starts `function(parameter)` on a new thread through CreateThread (security
// attributes and stack size passed through; creationFlags may hold CREATE_SUSPENDED,
// 4). Returns the thread handle (owned by the caller; close it with CloseThreadHandle)
// and stores the id in `threadId`; returns 0 when the system refused, freeing the record.
uintptr_t BeginThread(void* securityAttributes, uint32_t stackSize, TThreadFunc function,
                      void* parameter, uint32_t creationFlags, uint32_t& threadId);
// Ends the calling thread through the imported ExitThread. Never returns.
[[noreturn]] void EndThread(int exitCode);
// The start address BeginThread hands CreateThread (what the logger compares with).
const void* BeginThreadStartAddress();
void CloseThreadHandle(uintptr_t handle);

VELMORA_EXCEPTION(EThread, Exception)

enum class TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

// A thread object. The system thread is always created suspended by the constructor,
// so it can never run Execute before the derived object is complete; it runs after
// Start (or Resume). TThread::Create<T>(args...) constructs a T and starts it unless
// it was asked to be created suspended.
//
// Execute runs on the new thread; an exception escaping it is caught there and kept
// (FatalException). With FreeOnTerminate the object deletes itself on its thread when
// Execute ended: the caller must not touch it after starting it.
//
// Deleting a TThread whose thread still runs sets Terminated and waits for it; one
// that never started is ended without running Execute. A derived class whose
// Execute uses its own members should call TerminateAndWait in its destructor, since
// those members are gone by the time ~TThread runs.
class TThread : public TObject {
  VELMORA_CLASS(TThread, TObject)

 public:
  explicit TThread(bool createSuspended);
  ~TThread() override;
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;

  template <class T, class... Args>
  static T* Create(Args&&... args) {
    T* thread = new T(static_cast<Args&&>(args)...);
    if (!thread->createSuspended_) thread->Start();
    return thread;
  }

  // Lets the thread run (once more, when it was suspended). Raises EThread when the
  // system refuses.
  void Start();
  void Resume() { Start(); }
  // Suspends the thread (SuspendThread); raises EThread when the system refuses.
  void Suspend();
  bool Suspended() const { return suspended_; }

  // Asks Execute to end; Execute polls Terminated().
  void Terminate() { terminated_ = true; }
  bool Terminated() const { return terminated_; }
  // Waits until the thread ended and returns its exit code. Raises EThread for a
  // FreeOnTerminate thread (it may be gone) or when called on the thread itself.
  int WaitFor();
  // Terminate, then let a never-started thread end without Execute, then wait.
  void TerminateAndWait();
  bool Finished() const { return finished_; }

  bool FreeOnTerminate() const { return freeOnTerminate_; }
  void SetFreeOnTerminate(bool value) { freeOnTerminate_ = value; }
  TThreadPriority Priority() const;
  void SetPriority(TThreadPriority value);

  uintptr_t Handle() const { return handle_; }
  uint32_t ThreadID() const { return threadId_; }
  // The exit code: what Execute stored with SetReturnValue (0 by default).
  int ReturnValue() const { return returnValue_; }
  // The exception that escaped Execute, or null.
  std::exception_ptr FatalException() const { return fatalException_; }
  // Its message: what() of a std::exception, "" when there is none.
  const std::string& FatalExceptionMessage() const { return fatalMessage_; }

  // The routine every TThread starts in (via BeginThread), its parameter the object.
  static TThreadFunc StartRoutine();
  // Index of Execute in the virtual table of every TThread class (slot 0 is the
  // first entry the object's virtual-table pointer points at).
  static int ExecuteSlotIndex();

 protected:
  virtual void Execute() = 0;
  // Runs on the thread after Execute, before a FreeOnTerminate delete.
  virtual void DoTerminate() {}
  void SetReturnValue(int value) { returnValue_ = value; }

 private:
  static int ThreadProc(void* parameter);

  uintptr_t handle_ = 0;
  uint32_t threadId_ = 0;
  bool createSuspended_;
  std::atomic<bool> suspended_{true};
  std::atomic<bool> started_{false};
  std::atomic<bool> terminated_{false};
  std::atomic<bool> finished_{false};
  std::atomic<bool> skipExecute_{false};
  bool freeOnTerminate_ = false;
  int returnValue_ = 0;
  std::exception_ptr fatalException_;
  std::string fatalMessage_;
};
