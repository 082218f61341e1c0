#include "exclog/leaks/ELeaks.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <future>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "exclog/leaks/ELeakStacks.h"

namespace exclog {
namespace {

// A previous manager with an arena of its own that reuses freed blocks first, so
// a wrongly passed-on pointer or a second free shows as a bad call.
struct FakeManager {
  alignas(16) static inline char arena[4 << 20];
  static inline size_t top = 0;
  static inline std::map<char*, size_t> live;
  static inline std::multimap<size_t, char*> spare;
  static inline int badFrees = 0, frees = 0, reallocs = 0, failNext = 0;

  static void Reset() {
    top = 0;
    live.clear();
    spare.clear();
    badFrees = frees = reallocs = failNext = 0;
  }
  static void* Get(size_t size) {
    if (failNext > 0 && --failNext == 0) return nullptr;
    size = (size + 15) & ~size_t{15};
    auto reuse = spare.find(size);
    char* p;
    if (reuse != spare.end()) {
      p = reuse->second;
      spare.erase(reuse);
    } else {
      if (size > sizeof arena - top) return nullptr;
      p = arena + top;
      top += size;
    }
    live[p] = size;
    return p;
  }
  static void Free(void* block) {
    if (!block) return;
    ++frees;
    auto it = live.find(static_cast<char*>(block));
    if (it == live.end()) {
      ++badFrees;
      return;
    }
    spare.emplace(it->second, it->first);
    live.erase(it);
  }
  static void* Realloc(void* block, size_t size) {
    ++reallocs;
    void* fresh = Get(size);
    if (!fresh) return nullptr;
    auto it = live.find(static_cast<char*>(block));
    if (it == live.end()) {
      ++badFrees;
      return fresh;
    }
    std::memcpy(fresh, block, it->second < size ? it->second : size);
    Free(block);
    return fresh;
  }
  static TMemoryManager Table() { return {Get, Free, Realloc, Get}; }
};

struct Reported {
  TLeakError error;
  void* block;
};
std::vector<Reported> reports;
void Record(TLeakError error, void* block, void*) { reports.push_back({error, block}); }
void Throws(TLeakError, void*, void*) { throw 1; }

class Wrapper : public ::testing::Test {
 protected:
  void Start(uint8_t options, TLeakErrorHook hook = Record, size_t quarantine = 4) {
    TLeakSettings s;
    s.Previous = FakeManager::Table();
    s.Options = options;
    s.OnError = hook;
    s.QuarantineBlocks = quarantine;
    table = LeakStart(s);
  }
  void SetUp() override {
    FakeManager::Reset();
    reports.clear();
  }
  void TearDown() override {
    LeakReset();
    EXPECT_EQ(FakeManager::badFrees, 0);
  }
  static int Listed() {
    int n = 0;
    for (TLeakHeader* h = LeakListHead(); h; h = h->Next) ++n;
    return n;
  }
  TMemoryManager table{};
};

TEST_F(Wrapper, BlocksCarryHeaderAndFooterAndKind) {
  Start(kLeakCatching);
  auto* data = static_cast<char*>(table.GetMem(16));
  auto* object = static_cast<char*>(table.GetObjectMem(24));
  ASSERT_TRUE(data && object);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(data) % 8, 0u);
  EXPECT_EQ(FakeManager::live.count(data - BlockOverHead), 1u);
  TLeakHeader* h = HeaderOf(data);
  EXPECT_EQ(h->Guard, kLeakGuard);
  EXPECT_EQ(h->Size, 16u);
  EXPECT_EQ(h->Kind, kBlockData);
  EXPECT_EQ(HeaderOf(object)->Kind, kBlockObject);
  uint32_t footer;
  std::memcpy(&footer, data + 16, 4);
  EXPECT_EQ(footer, kLeakGuard);
  EXPECT_EQ(Listed(), 2);
  EXPECT_EQ(LeakListHead(), h);
  table.FreeMem(data);
  table.FreeMem(object);
  EXPECT_EQ(Listed(), 0);
  EXPECT_TRUE(reports.empty());
}

// A block the logger allocates for itself comes straight from the previous manager:
// never listed, freed and reallocated there as a foreign one.
TEST_F(Wrapper, UntrackedAllocationsBypassTheList) {
  static bool own = false;
  TLeakSettings s;
  s.Previous = FakeManager::Table();
  s.Options = kLeakCatching;
  s.Untracked = [] { return own; };
  table = LeakStart(s);
  own = true;
  auto* mine = static_cast<char*>(table.GetMem(16));
  void* object = table.GetObjectMem(24);
  own = false;
  void* program = table.GetMem(16);
  EXPECT_EQ(FakeManager::live.count(mine), 1u);  // no header before it
  EXPECT_EQ(Listed(), 1);
  EXPECT_FALSE(LeakOwns(mine));
  mine = static_cast<char*>(table.ReallocMem(mine, 64));
  EXPECT_EQ(FakeManager::live.count(mine), 1u);
  table.FreeMem(mine);
  table.FreeMem(object);
  table.FreeMem(program);
  EXPECT_EQ(Listed(), 0);
  EXPECT_EQ(FakeManager::live.count(mine), 0u);  // passed straight on
  EXPECT_EQ(FakeManager::live.count(static_cast<char*>(object)), 0u);
  EXPECT_EQ(LeakQuarantined(), 1u);  // only the program's block waits
}

TEST_F(Wrapper, DoubleFreeReportedOnceUnderBitFourAndNeverPassedOn) {
  for (uint8_t options : {uint8_t(kLeakCatching | kLeakReportErrors), uint8_t(kLeakCatching)}) {
    FakeManager::Reset();
    reports.clear();
    Start(options);
    void* p = table.GetMem(32);
    table.FreeMem(p);
    int freesBefore = FakeManager::frees;
    table.FreeMem(p);
    EXPECT_EQ(FakeManager::frees, freesBefore);
    // A new block may not take the quarantined one's place.
    void* q = table.GetMem(32);
    EXPECT_NE(q, p);
    table.FreeMem(q);
    ASSERT_EQ(reports.size(), options & kLeakReportErrors ? 1u : 0u);
    if (!reports.empty()) {
      EXPECT_EQ(reports[0].error, TLeakError::MultiFree);
      EXPECT_EQ(reports[0].block, p);
    }
    LeakReset();
  }
}

TEST_F(Wrapper, OverrunAndUnderrunReportedAndStillFreedFromTheHeader) {
  Start(kLeakCatching | kLeakReportErrors, Record, 1);
  auto* over = static_cast<char*>(table.GetMem(10));
  auto* under = static_cast<char*>(table.GetMem(10));
  over[10] = 'x';
  under[-1] = 'x';
  table.FreeMem(over);
  table.FreeMem(under);
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0].error, TLeakError::Overrun);
  EXPECT_EQ(reports[0].block, over);
  EXPECT_EQ(reports[1].error, TLeakError::Overrun);
  EXPECT_EQ(reports[1].block, under);
  // The quarantine of one pushed the first block out: freed at its header.
  EXPECT_EQ(FakeManager::live.count(over - BlockOverHead), 0u);
  EXPECT_EQ(Listed(), 0);
}

// Past the quarantine a freed block is kept for an allocation of its kind and size
// class: it is not listed, a free of it is refused, and it comes back with a
// header of its own. Stopping gives the kept ones back.
TEST_F(Wrapper, BlocksPastTheQuarantineServeTheirClassAndStayRefusedMeanwhile) {
  TLeakSettings s;
  s.Previous = FakeManager::Table();
  s.Options = kLeakCatching | kLeakReportErrors;
  s.OnError = Record;
  s.QuarantineBlocks = 1;
  s.ReuseBlocks = 2;
  table = LeakStart(s);
  void* blocks[4];
  for (void*& b : blocks) b = table.GetMem(100);
  for (void* b : blocks) table.FreeMem(b);
  // The last waits in the quarantine, the first two are kept, the third went back.
  EXPECT_EQ(FakeManager::frees, 1);
  EXPECT_EQ(Listed(), 0);
  table.FreeMem(blocks[0]);
  EXPECT_EQ(FakeManager::frees, 1);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].error, TLeakError::MultiFree);
  void* object = table.GetObjectMem(100);
  EXPECT_TRUE(object != blocks[0] && object != blocks[1]);
  auto* e = static_cast<char*>(table.GetMem(90));
  auto* f = static_cast<char*>(table.GetMem(96));
  EXPECT_TRUE((e == blocks[0] && f == blocks[1]) || (e == blocks[1] && f == blocks[0]));
  TLeakHeader* h = HeaderOf(e);
  EXPECT_EQ(h->State, kBlockLive);
  EXPECT_EQ(h->Size, 90u);
  uint32_t footer;
  std::memcpy(&footer, e + 90, 4);
  EXPECT_EQ(footer, kLeakGuard);
  EXPECT_EQ(Listed(), 3);
  table.FreeMem(e);
  table.FreeMem(f);
  table.FreeMem(object);
  EXPECT_EQ(reports.size(), 1u);
  table = LeakStopCatching();
  // Of our blocks only the quarantined object's is still the previous manager's.
  for (void* gone : {blocks[3], static_cast<void*>(e), static_cast<void*>(f)})
    EXPECT_EQ(FakeManager::live.count(static_cast<char*>(gone) - BlockOverHead), 0u);
  EXPECT_EQ(FakeManager::live.count(static_cast<char*>(object) - BlockOverHead), 1u);
}

TEST_F(Wrapper, ThrowingHookDoesNotEscapeTheFree) {
  Start(kLeakCatching | kLeakReportErrors, Throws);
  void* p = table.GetMem(8);
  table.FreeMem(p);
  EXPECT_NO_THROW(table.FreeMem(p));
}

TEST_F(Wrapper, ForeignBlocksPassThroughUnchanged) {
  void* foreign = FakeManager::Get(64);
  std::memset(foreign, 0x5A, 64);
  Start(kLeakCatching);
  // Bytes before it that look like a guard do not make it ours.
  uint32_t guard = kLeakGuard;
  char* mimic = static_cast<char*>(FakeManager::Get(BlockOverHead));
  std::memcpy(mimic + BlockOverHead - 4, &guard, 4);
  void* after = FakeManager::Get(16);
  ASSERT_EQ(static_cast<char*>(after), mimic + BlockOverHead);
  table.FreeMem(after);
  EXPECT_EQ(FakeManager::live.count(static_cast<char*>(after)), 0u);
  void* moved = table.ReallocMem(foreign, 128);
  EXPECT_EQ(FakeManager::reallocs, 1);
  ASSERT_NE(moved, nullptr);
  EXPECT_EQ(static_cast<unsigned char*>(moved)[63], 0x5A);
  table.FreeMem(moved);
  table.FreeMem(mimic);
}

TEST_F(Wrapper, ReallocationKeepsDataOnSuccessAndTheBlockOnFailure) {
  Start(kLeakCatching | kLeakReportErrors);
  auto* p = static_cast<char*>(table.GetMem(20));
  for (int i = 0; i < 20; ++i) p[i] = char(i);
  auto* q = static_cast<char*>(table.ReallocMem(p, 4000));
  ASSERT_NE(q, nullptr);
  for (int i = 0; i < 20; ++i) ASSERT_EQ(q[i], char(i));
  EXPECT_EQ(HeaderOf(q)->Size, 4000u);
  EXPECT_EQ(Listed(), 1);
  FakeManager::failNext = 1;
  EXPECT_EQ(table.ReallocMem(q, 8000), nullptr);
  EXPECT_EQ(Listed(), 1);
  EXPECT_EQ(q[19], char(19));
  auto* r = static_cast<char*>(table.ReallocMem(q, 5));
  EXPECT_EQ(r[4], char(4));
  // The old pointer is freed: reallocating or freeing it again is refused.
  EXPECT_EQ(table.ReallocMem(q, 50), nullptr);
  table.FreeMem(r);
  EXPECT_EQ(Listed(), 0);
  EXPECT_EQ(reports.size(), 1u);
  void* empty = table.ReallocMem(nullptr, 0);
  EXPECT_NE(empty, nullptr);
  EXPECT_EQ(Listed(), 1);
  table.FreeMem(empty);
}

TEST_F(Wrapper, OverflowingSizesGiveNullUnrecorded) {
  Start(kLeakCatching);
  EXPECT_EQ(table.GetMem(SIZE_MAX), nullptr);
  EXPECT_EQ(table.GetMem(SIZE_MAX - BlockOverHead), nullptr);
  EXPECT_EQ(table.GetObjectMem(SIZE_MAX - 4), nullptr);
  void* p = table.GetMem(8);
  EXPECT_EQ(table.ReallocMem(p, SIZE_MAX - 2), nullptr);
  EXPECT_EQ(Listed(), 1);
  FakeManager::failNext = 1;
  EXPECT_EQ(table.GetMem(8), nullptr);
  EXPECT_EQ(Listed(), 1);
  table.FreeMem(p);
}

TEST_F(Wrapper, AfterStoppingFreeAndReallocationStayHeaderAware) {
  Start(kLeakCatching | kLeakReportErrors);
  auto* a = static_cast<char*>(table.GetMem(16));
  auto* b = static_cast<char*>(table.GetMem(16));
  auto* c = static_cast<char*>(table.GetMem(16));
  std::strcpy(b, "kept");
  LeakLock();
  LeakRelease(HeaderOf(c));
  LeakUnlock();
  table = LeakStopCatching();
  EXPECT_FALSE(LeakCatchingActive());
  auto* plain = static_cast<char*>(table.GetMem(16));
  EXPECT_EQ(FakeManager::live.count(plain), 1u);
  table.FreeMem(a);
  EXPECT_EQ(Listed(), 1);
  auto* moved = static_cast<char*>(table.ReallocMem(b, 64));
  EXPECT_EQ(FakeManager::live.count(moved), 1u);
  EXPECT_STREQ(moved, "kept");
  EXPECT_EQ(Listed(), 0);
  // Released at shut-down: a later free of it is dropped, not passed on.
  table.FreeMem(c);
  table.FreeMem(moved);
  table.FreeMem(plain);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].block, c);
}

TEST_F(Wrapper, ThreadsLeaveExactlyTheLiveBlocksListed) {
  static std::mutex fake;  // the fake is not thread-safe; the wrapper's own lock is under test
  static std::mutex* fakeLock;
  fakeLock = &fake;
  // Every list change counts itself in and gives up the processor before it goes
  // on: without the lock, another thread's change would come in meanwhile.
  static std::atomic<int> inside{0}, overlaps{0};
  inside = 0;
  overlaps = 0;
  TLeakSettings s;
  s.Options = kLeakCatching;
  s.Previous = {[](size_t n) { std::lock_guard<std::mutex> g(*fakeLock); return FakeManager::Get(n); },
                [](void* p) { std::lock_guard<std::mutex> g(*fakeLock); FakeManager::Free(p); },
                [](void* p, size_t n) { std::lock_guard<std::mutex> g(*fakeLock); return FakeManager::Realloc(p, n); },
                [](size_t n) { std::lock_guard<std::mutex> g(*fakeLock); return FakeManager::Get(n); }};
  s.Yield = [] { std::this_thread::yield(); };
  s.InsideListLock = [] {
    if (inside.fetch_add(1) != 0) overlaps.fetch_add(1);
    std::this_thread::yield();
    inside.fetch_sub(1);
  };
  table = LeakStart(s);
  std::vector<std::vector<void*>> kept(8);
  std::vector<std::thread> threads;
  std::vector<std::promise<void>> done(8);
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 2000; ++i) {
        void* p = table.GetMem(8 + (i % 7) * 8);
        if (i % 10 == t % 10) kept[t].push_back(p); else table.FreeMem(p);
      }
      done[t].set_value();
    });
  // A list broken by a missing lock can send a walk round in circles: a hang here
  // must end the program with its reason, not wait for the runner's time-out.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  for (auto& d : done)
    if (d.get_future().wait_until(deadline) != std::future_status::ready) {
      std::fprintf(stderr, "FAILED: threads still inside the leak collector after 120 s: the list is broken\n");
      std::fflush(stderr);
      std::_Exit(1);
    }
  for (auto& th : threads) th.join();
  // A list changed by two threads at once may be circular: nothing walks it then.
  ASSERT_EQ(overlaps.load(), 0) << "two threads changed the block list at once";
  size_t expected = 0;
  for (auto& k : kept) expected += k.size();
  size_t listed = 0;
  for (TLeakHeader* h = LeakListHead(); h && listed <= expected; h = h->Next) ++listed;
  ASSERT_EQ(listed, expected);
  for (auto& k : kept)
    for (void* p : k) {
      EXPECT_TRUE(LeakOwns(p));
      EXPECT_EQ(HeaderOf(p)->State, kBlockLive);
      table.FreeMem(p);
    }
  EXPECT_EQ(Listed(), 0);
}

TEST(LeakStacks, SnapshotStopsAtTheStackTopAndTheWalkFollowsRisingFrames) {
  uintptr_t stack[64] = {};
  for (int i = 0; i < 64; ++i) stack[i] = 1000 + i;
  // Frames at 4, 10 and 20; the one at 20 points back down and ends the walk.
  stack[4] = reinterpret_cast<uintptr_t>(&stack[10]);
  stack[5] = 0x401000;
  stack[10] = reinterpret_cast<uintptr_t>(&stack[20]);
  stack[11] = 0x402000;
  stack[20] = reinterpret_cast<uintptr_t>(&stack[2]);
  stack[21] = 0x403000;
  TLeakHeader h;
  std::memset(&h, 0xFF, sizeof h);  // a reused block: every entry not filled is cleared
  RecordStacks(h, &stack[2], &stack[64], &stack[4]);
  EXPECT_EQ(h.Snapshot[0], stack[2]);
  EXPECT_EQ(h.Snapshot[34], stack[36]);
  EXPECT_EQ(h.Stack[0], 0x401000u);
  EXPECT_EQ(h.Stack[1], 0x402000u);
  EXPECT_EQ(h.Stack[2], 0x403000u);
  EXPECT_EQ(h.Stack[3], 0u);
  TLeakHeader near;
  std::memset(&near, 0xFF, sizeof near);
  RecordStacks(near, &stack[60], &stack[64], &stack[63]);
  EXPECT_EQ(near.Snapshot[3], stack[63]);
  EXPECT_EQ(near.Snapshot[4], 0u);
  EXPECT_EQ(near.Stack[0], 0u);  // a frame whose return address lies past the top
}

}  // namespace
}  // namespace exclog
