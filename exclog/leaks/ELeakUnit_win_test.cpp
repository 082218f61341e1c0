#include "exclog/leaks/ELeakUnit_win.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "exclog/core/ECore_win.h"

namespace exclog {
namespace {

// The allocating line: a direct call of the wrapper, its result used after it.
__attribute__((noinline)) void* AllocateHere(size_t size) {
  void* p = LeakGetMem(size);
  if (p) std::memset(p, 0x5A, size);
  return p;
}

// The wrapper over the system's table with the real stack capture.
TLeakSettings CapturingSettings() {
  TLeakSettings settings;
  settings.Previous = SystemMemoryManager();
  settings.Options = kLeakCatching;
  settings.Capture = &CaptureThreadStacks;
  settings.Yield = &YieldThread;
  return settings;
}

std::vector<TLeakEntry> found;
bool Readable(const void* address, size_t size) { return IsReadable(address, size); }

// Real code, the real stack capture and the process's memory: the wrapper is
// called directly (not installed), so the rest of the test program is untouched.
TEST(LeakCapture, StackStartsAtTheAllocatingCallAndBlocksOfOnePlaceAreOneLeak) {
  LeakStart(CapturingSettings());
  void* blocks[3];
  for (void*& b : blocks) b = AllocateHere(16);
  LeakStopCatching();
  static const uint32_t points[] = {uint32_t(reinterpret_cast<uintptr_t>(&LeakGetMem))};
  TLeakProcessing processing;
  processing.Memory = &ProcessMemory();
  processing.Check = &Readable;
  processing.Trim = TLeakTrimPoints{points, 1, points, 1};
  processing.Leak = [](const TLeakEntry& e) { found.push_back(e); };
  ProcessLeaks(processing);
  for (void* b : blocks) LeakFreeMem(b);
  LeakReset();
  ASSERT_EQ(found.size(), 1u);
  EXPECT_STREQ(found[0].TypeName, "Data");
  EXPECT_EQ(found[0].Size, 48u);
  EXPECT_EQ(found[0].Count, 3u);
  auto start = reinterpret_cast<uintptr_t>(&AllocateHere);
  EXPECT_GT(found[0].Stack[0], start);
  EXPECT_LT(found[0].Stack[0], start + 64);
  // The next row is the loop's call of the allocating routine, in this test.
  EXPECT_NE(found[0].Stack[1], 0u);
}

// A fault or a throw inside a step ends that step only; the thread's chain of
// exception frames is as before, and the next step runs.
TEST(LeakCapture, GuardedStepEndsAtAFaultOrAThrowAndTheCallerGoesOn) {
  auto chain = [] { return reinterpret_cast<NT_TIB*>(NtCurrentTeb())->ExceptionList; };
  auto* before = chain();
  int ran = 0;
  auto count = [](void* c) { ++*static_cast<int*>(c); };
  EXPECT_TRUE(GuardedLeakStep(count, &ran));
  EXPECT_FALSE(GuardedLeakStep([](void*) { *reinterpret_cast<volatile int*>(static_cast<uintptr_t>(0x10)) = 1; }, nullptr));
  EXPECT_EQ(chain(), before);
  EXPECT_FALSE(GuardedLeakStep([](void*) { throw 1; }, nullptr));
  EXPECT_TRUE(GuardedLeakStep(count, &ran));
  EXPECT_EQ(ran, 2);
  EXPECT_EQ(chain(), before);
}

// One thread's share: allocate and free mixed sizes, keeping every third block.
struct TAllocatingThread {
  uint32_t Seed = 1;
  std::vector<void*> Kept;
  static DWORD WINAPI Run(LPVOID parameter) {
    auto* self = static_cast<TAllocatingThread*>(parameter);
    uint32_t seed = self->Seed;
    for (int round = 0; round < 3000; ++round) {
      seed = seed * 1103515245u + 12345u;
      void* block = LeakGetMem(8 + (seed >> 16) % 512);
      if (!block) continue;
      if (round % 3 == 0)
        self->Kept.push_back(block);
      else
        LeakFreeMem(block);
    }
    return 0;
  }
};

// Eight threads at once through the one-byte lock: the list then holds exactly the
// blocks they kept, each once, and nothing they freed.
TEST(LeakCapture, EightThreadsLeaveExactlyTheirLiveBlocksListed) {
  LeakStart(CapturingSettings());
  TAllocatingThread work[8];
  HANDLE threads[8];
  for (int i = 0; i < 8; ++i) {
    work[i].Seed = static_cast<uint32_t>(i + 1);
    threads[i] = CreateThread(nullptr, 0, &TAllocatingThread::Run, &work[i], 0, nullptr);
    ASSERT_NE(threads[i], nullptr);
  }
  ASSERT_EQ(WaitForMultipleObjects(8, threads, TRUE, 120000), WAIT_OBJECT_0);
  for (HANDLE t : threads) CloseHandle(t);
  LeakStopCatching();
  std::vector<void*> expected, listed;
  for (const TAllocatingThread& w : work) expected.insert(expected.end(), w.Kept.begin(), w.Kept.end());
  LeakLock();
  for (TLeakHeader* h = LeakListHead(); h && listed.size() <= expected.size(); h = h->Next) listed.push_back(UserData(h));
  LeakUnlock();
  std::sort(expected.begin(), expected.end());
  std::sort(listed.begin(), listed.end());
  EXPECT_EQ(expected.size(), 8u * 1000u);
  EXPECT_TRUE(listed == expected) << listed.size() << " listed, " << expected.size() << " kept";
  for (void* b : expected) LeakFreeMem(b);
  LeakReset();
}

}  // namespace
}  // namespace exclog
