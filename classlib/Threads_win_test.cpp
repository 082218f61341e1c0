#include "classlib/Threads.h"

#include "classlib/SyncObjs.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <vector>

#include "tests/support/ImportSlots_win.h"

namespace {

// Replaces the executable's import slot of kernel32!`name` (as the logger's hooks
// do) and returns the old target; null when the program does not import it.
void* PatchKernel32Import(const char* name, void* replacement) {
  auto slots = velmora::test::ImportSlots("kernel32.dll", name);
  return slots.empty() ? nullptr : velmora::test::WriteImportSlot(slots.front(), replacement);
}

// --- hooks in the style of the logger's, recording what they saw -------------------

using CreateThreadFn = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE, LPVOID,
                                        DWORD, LPDWORD);
using ExitThreadFn = void(WINAPI*)(DWORD);

CreateThreadFn originalCreateThread = nullptr;
ExitThreadFn originalExitThread = nullptr;
std::atomic<int> wrappedStarts{0};
std::atomic<int> exitThreadCalls{0};
std::atomic<DWORD> lastExitCode{0};
TThreadFunc recordedFunction = nullptr;
void* recordedParameter = nullptr;
bool rewriteFunction = false;

int LoggerStartWrapper(void* parameter) {
  ++wrappedStarts;
  return recordedFunction(parameter) + 1000;  // marks that the wrapper ran
}

HANDLE WINAPI HookedCreateThread(LPSECURITY_ATTRIBUTES sa, SIZE_T stack, LPTHREAD_START_ROUTINE start,
                                 LPVOID parameter, DWORD flags, LPDWORD id) {
  const bool ours = reinterpret_cast<const void*>(start) == BeginThreadStartAddress();
  HANDLE handle = originalCreateThread(sa, stack, start, parameter, flags | CREATE_SUSPENDED, id);
  if (handle && ours) {
    auto* record = static_cast<TThreadStartRecord*>(parameter);
    recordedFunction = record->Function;
    recordedParameter = record->Parameter;
    if (rewriteFunction) record->Function = &LoggerStartWrapper;
  }
  if (handle && !(flags & CREATE_SUSPENDED)) ResumeThread(handle);
  return handle;
}

void WINAPI HookedExitThread(DWORD code) {
  ++exitThreadCalls;
  lastExitCode = code;
  originalExitThread(code);
}

class ImportHooks : public ::testing::Test {
 protected:
  void SetUp() override {
    wrappedStarts = 0;
    exitThreadCalls = 0;
    recordedFunction = nullptr;
    recordedParameter = nullptr;
    rewriteFunction = false;
    originalCreateThread = reinterpret_cast<CreateThreadFn>(
        PatchKernel32Import("CreateThread", reinterpret_cast<void*>(&HookedCreateThread)));
    originalExitThread = reinterpret_cast<ExitThreadFn>(
        PatchKernel32Import("ExitThread", reinterpret_cast<void*>(&HookedExitThread)));
    ASSERT_NE(originalCreateThread, nullptr) << "CreateThread is not imported";
    ASSERT_NE(originalExitThread, nullptr) << "ExitThread is not imported";
  }
  void TearDown() override {
    if (originalCreateThread) PatchKernel32Import("CreateThread", reinterpret_cast<void*>(originalCreateThread));
    if (originalExitThread) PatchKernel32Import("ExitThread", reinterpret_cast<void*>(originalExitThread));
  }
};

int PlainFunction(void* parameter) { return *static_cast<int*>(parameter) * 2; }

TEST_F(ImportHooks, RewrittenStartFunctionTakesEffectAndThreadEndsThroughExitThread) {
  rewriteFunction = true;
  int input = 21;
  uint32_t id = 0;
  uintptr_t handle = BeginThread(nullptr, 0, &PlainFunction, &input, 0, id);
  ASSERT_NE(handle, 0u);
  EXPECT_NE(id, 0u);
  ASSERT_EQ(WaitForSingleObject(reinterpret_cast<HANDLE>(handle), 10000), WAIT_OBJECT_0);
  DWORD code = 0;
  GetExitCodeThread(reinterpret_cast<HANDLE>(handle), &code);
  CloseThreadHandle(handle);
  EXPECT_EQ(recordedFunction, &PlainFunction);
  EXPECT_EQ(recordedParameter, &input);
  EXPECT_EQ(wrappedStarts.load(), 1);
  EXPECT_EQ(code, 1042u) << "the rewritten function's result is the exit code";
  EXPECT_EQ(exitThreadCalls.load(), 1);
  EXPECT_EQ(lastExitCode.load(), 1042u);
}

TEST(BeginThreadFlags, SuspendedCreationWaitsForTheCaller) {
  int input = 4;
  uint32_t id = 0;
  uintptr_t handle = BeginThread(nullptr, 0, &PlainFunction, &input, CREATE_SUSPENDED, id);
  ASSERT_NE(handle, 0u);
  HANDLE h = reinterpret_cast<HANDLE>(handle);
  EXPECT_EQ(WaitForSingleObject(h, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(ResumeThread(h), 1u) << "it was held once";
  ASSERT_EQ(WaitForSingleObject(h, 10000), WAIT_OBJECT_0);
  DWORD code = 0;
  GetExitCodeThread(h, &code);
  EXPECT_EQ(code, 8u);
  CloseThreadHandle(handle);
}

// The multiple-reader lock on threads of our own start (not the C++ library's): each
// re-enters its read lock, upgrades, and writes, while the others do the same.
struct TLockWork {
  TMREWSync lock;
  long first = 0, second = 0;
  std::atomic<int> torn{0};
};

int LockWorker(void* parameter) {
  auto* work = static_cast<TLockWork*>(parameter);
  for (int i = 0; i < 300; ++i) {
    work->lock.BeginRead();
    work->lock.BeginRead();
    if (work->first != work->second) ++work->torn;
    work->lock.BeginWrite();
    ++work->first;
    ++work->second;
    work->lock.EndWrite();
    work->lock.EndRead();
    work->lock.EndRead();
  }
  return 0;
}

TEST(BeginThreadFlags, MultiReadLockServesThreadsOfOurOwnStart) {
  TLockWork work;
  std::vector<HANDLE> threads;
  for (int t = 0; t < 4; ++t) {
    uint32_t id;
    uintptr_t handle = BeginThread(nullptr, 0, &LockWorker, &work, 0, id);
    ASSERT_NE(handle, 0u);
    threads.push_back(reinterpret_cast<HANDLE>(handle));
  }
  // A deadlock shows as a time-out here.
  EXPECT_EQ(WaitForMultipleObjects(static_cast<DWORD>(threads.size()), threads.data(), TRUE, 20000), WAIT_OBJECT_0);
  for (HANDLE h : threads) CloseHandle(h);
  EXPECT_EQ(work.torn.load(), 0);
  EXPECT_EQ(work.first, 1200);
}

class RecordingThread : public TThread {
  VELMORA_CLASS(RecordingThread, TThread)
 public:
  explicit RecordingThread(bool suspended, int result = 0) : TThread(suspended), result_(result) {}
  ~RecordingThread() override {
    TerminateAndWait();
    if (destroyedEvent) SetEvent(destroyedEvent);
  }
  std::atomic<bool> ran{false};
  std::atomic<bool>* ranOutside = nullptr;  // outlives the object, for checks after delete
  std::atomic<uint32_t> ranOnThread{0};
  HANDLE destroyedEvent = nullptr;
  const char* throwText = nullptr;
  HANDLE releaseEvent = nullptr;  // when set, Execute waits for it

 protected:
  void Execute() override {
    ranOnThread = CurrentThreadID();
    ran = true;
    if (ranOutside) *ranOutside = true;
    if (releaseEvent) WaitForSingleObject(releaseEvent, 10000);
    if (throwText) throw EConvertError(throwText);
    SetReturnValue(result_);
  }

 private:
  int result_;
};

TEST_F(ImportHooks, TThreadStartsInTheKnownRoutineWithTheObject) {
  auto* thread = TThread::Create<RecordingThread>(false, 7);
  EXPECT_EQ(thread->WaitFor(), 7);
  EXPECT_EQ(recordedFunction, TThread::StartRoutine());
  EXPECT_EQ(recordedParameter, static_cast<void*>(static_cast<TThread*>(thread)));
  EXPECT_EQ(exitThreadCalls.load(), 1);
  EXPECT_EQ(lastExitCode.load(), 7u);
  delete thread;
}

TEST(Thread, SuspendedUntilStartedThenRunsOnItsOwnThread) {
  auto* thread = TThread::Create<RecordingThread>(true, 3);
  EXPECT_TRUE(thread->Suspended());
  // The system's suspend count says it is held, without any timing guess.
  DWORD count = SuspendThread(reinterpret_cast<HANDLE>(thread->Handle()));
  EXPECT_EQ(count, 1u);
  ResumeThread(reinterpret_cast<HANDLE>(thread->Handle()));
  EXPECT_FALSE(thread->ran);
  thread->Start();
  EXPECT_FALSE(thread->Suspended());
  EXPECT_EQ(thread->WaitFor(), 3);
  EXPECT_TRUE(thread->ran);
  EXPECT_TRUE(thread->Finished());
  EXPECT_EQ(thread->ranOnThread.load(), thread->ThreadID());
  EXPECT_NE(thread->ThreadID(), MainThreadID());
  EXPECT_EQ(MainThreadID(), GetCurrentThreadId());
  delete thread;
}

TEST(Thread, DeletingANeverStartedThreadSkipsExecute) {
  auto* thread = TThread::Create<RecordingThread>(true);
  HANDLE copy;
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), reinterpret_cast<HANDLE>(thread->Handle()),
                              GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS));
  std::atomic<bool> ran{false};
  thread->ranOutside = &ran;
  delete thread;  // lets the system thread run to its end: it must neither hang nor call Execute
  EXPECT_EQ(WaitForSingleObject(copy, 0), WAIT_OBJECT_0) << "the system thread has ended";
  EXPECT_FALSE(ran);
  CloseHandle(copy);
}

TEST(Thread, FreeOnTerminateDeletesTheObjectOnItsThread) {
  HANDLE destroyed = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  auto* thread = TThread::Create<RecordingThread>(true);
  thread->destroyedEvent = destroyed;
  thread->SetFreeOnTerminate(true);
  EXPECT_THROW(thread->WaitFor(), EThread);
  thread->Start();
  EXPECT_EQ(WaitForSingleObject(destroyed, 10000), WAIT_OBJECT_0);
  CloseHandle(destroyed);
}

TEST(Thread, EscapedExceptionIsKeptWithTheThread) {
  auto* thread = TThread::Create<RecordingThread>(true);
  thread->throwText = "not a number";
  thread->Start();
  thread->WaitFor();
  ASSERT_TRUE(thread->FatalException());
  EXPECT_EQ(thread->FatalExceptionMessage(), "not a number");
  try {
    std::rethrow_exception(thread->FatalException());
  } catch (const EConvertError& error) {
    EXPECT_EQ(error.Message(), "not a number");
  } catch (...) {
    ADD_FAILURE() << "the kept exception lost its class";
  }
  delete thread;
}

TEST(Thread, PriorityAndTerminateFlag) {
  HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  auto* thread = TThread::Create<RecordingThread>(true);
  thread->releaseEvent = release;
  thread->SetPriority(TThreadPriority::tpLower);
  EXPECT_EQ(thread->Priority(), TThreadPriority::tpLower);
  EXPECT_EQ(GetThreadPriority(reinterpret_cast<HANDLE>(thread->Handle())), THREAD_PRIORITY_BELOW_NORMAL);
  thread->Start();
  EXPECT_FALSE(thread->Terminated());
  thread->Terminate();
  EXPECT_TRUE(thread->Terminated());
  SetEvent(release);
  thread->WaitFor();
  delete thread;
  CloseHandle(release);
}

// Execute is reached through its virtual-table slot: patching that slot (as the
// logger does) must divert the call.
std::atomic<int> patchedCalls{0};
void(__attribute__((thiscall)) * originalExecute)(TThread*) = nullptr;
void __attribute__((thiscall)) ExecuteWrapper(TThread* self) {
  ++patchedCalls;
  originalExecute(self);
}

TEST(Thread, ExecuteSlotIndexFindsTheSlotThatIsCalled) {
  auto* thread = TThread::Create<RecordingThread>(true, 5);
  void** table = *reinterpret_cast<void***>(static_cast<TThread*>(thread));
  const int slot = TThread::ExecuteSlotIndex();
  ASSERT_GE(slot, 0);
  DWORD oldProtect;
  ASSERT_TRUE(VirtualProtect(&table[slot], sizeof(void*), PAGE_READWRITE, &oldProtect));
  void* saved = table[slot];
  originalExecute = reinterpret_cast<decltype(originalExecute)>(saved);
  table[slot] = reinterpret_cast<void*>(&ExecuteWrapper);
  thread->Start();
  int result = thread->WaitFor();
  table[slot] = saved;
  DWORD ignored;
  VirtualProtect(&table[slot], sizeof(void*), oldProtect, &ignored);
  EXPECT_EQ(patchedCalls.load(), 1);
  EXPECT_TRUE(thread->ran) << "the wrapper passed the call on";
  EXPECT_EQ(result, 5);
  delete thread;
}

}  // namespace
