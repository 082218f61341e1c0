#include "exclog/leaks/ELeakProcess.h"

#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace exclog {
namespace {

constexpr uint32_t Code = 0x401000, Alloc = 0x480000, AllocObject = 0x480010;

class TLeakyThing : public TObject {
  VELMORA_CLASS(TLeakyThing, TObject)
 public:
  int Value = 0;
};

// Call sites in a code region: site i is a call of the allocator at Code + 8 i.
struct Image {
  TRegionMemory memory;
  uint32_t points[1] = {Alloc}, objectPoints[1] = {AllocObject};
  Image() {
    memory.Add(Code, std::vector<uint8_t>(0x4000 * 8, 0x90));
    memory.Add(Alloc, std::vector<uint8_t>(32, 0xC3));
  }
  uintptr_t Site(uint32_t i, uint32_t allocator = Alloc) {
    uint32_t at = Code + 8 * i, rel = allocator - (at + 5);
    uint8_t call[5] = {0xE8, uint8_t(rel), uint8_t(rel >> 8), uint8_t(rel >> 16), uint8_t(rel >> 24)};
    memory.Write(at, call, 5);
    return at + 5;  // the return address the stack holds
  }
  // A plain call (not of the allocator) at site i, standing for an outer caller.
  uintptr_t Outer(uint32_t i) {
    uint32_t at = Code + 8 * i;
    uint8_t call[2] = {0xFF, 0xD0};
    memory.Write(at, call, 2);
    return at + 2;
  }
};

std::vector<uintptr_t> nextStack;
void Capture(TLeakHeader& h, const uintptr_t*, const uintptr_t*) {
  std::memset(h.Snapshot, 0, sizeof h.Snapshot);
  std::memset(h.Stack, 0, sizeof h.Stack);
  for (size_t i = 0; i < nextStack.size() && i < kLeakStackDepth; ++i) h.Snapshot[i] = nextStack[i];
}

std::vector<TLeakEntry> leaks;
int begins = 0, ends = 0;
std::vector<std::string> messages;
void* freeDuringReport = nullptr;
TMemoryManager table;

class Leaks : public ::testing::Test {
 protected:
  void SetUp() override {
    leaks.clear();
    messages.clear();
    begins = ends = 0;
    freeDuringReport = nullptr;
    TLeakSettings s;
    s.Previous = SystemMemoryManager();
    s.Options = kLeakCatching | kLeakReportErrors;
    s.Capture = Capture;
    table = LeakStart(s);
  }
  void TearDown() override {
    LeakStopCatching();
    LeakLock();
    while (TLeakHeader* h = LeakListHead()) LeakRelease(h);
    LeakUnlock();
    LeakReset();
  }
  void* Data(size_t size, std::vector<uintptr_t> stack) {
    nextStack = std::move(stack);
    return table.GetMem(size);
  }
  TLeakyThing* Thing(std::vector<uintptr_t> stack) {
    nextStack = std::move(stack);
    return new (table.GetObjectMem(sizeof(TLeakyThing))) TLeakyThing;
  }
  TLeakOutcome Process(uint8_t options) {
    table = LeakStopCatching();
    TLeakProcessing p;
    p.Options = options;
    p.Memory = &image.memory;
    p.Trim = TLeakTrimPoints{image.objectPoints, 1, image.points, 1};
    p.Begin = [] { ++begins; };
    p.End = [] { ++ends; };
    p.Leak = [](const TLeakEntry& e) {
      leaks.push_back(e);
      if (freeDuringReport) table.FreeMem(std::exchange(freeDuringReport, nullptr));
    };
    p.Message = [](const char* text) { messages.push_back(text); };
    return ProcessLeaks(p);
  }
  Image image;
};

TEST_F(Leaks, BlocksOfOnePlaceCountAsOneLeakAndPurgingHidesTheKnownOnes) {
  uintptr_t line = image.Site(1), outer = image.Outer(2);
  for (int i = 0; i < 3; ++i) Data(16, {0x1234, line, outer});
  Data(16, {image.Site(3)});
  TLeakyThing* thing = Thing({image.Site(4, AllocObject), outer});
  TLeakOutcome out = Process(0);
  EXPECT_EQ(out.Reported, 3);
  ASSERT_EQ(leaks.size(), 3u);
  EXPECT_STREQ(leaks[0].TypeName, "Data");
  EXPECT_EQ(leaks[0].Size, 48u);
  EXPECT_EQ(leaks[0].Count, 3u);
  EXPECT_EQ(leaks[0].Stack[0], line - 5);
  EXPECT_EQ(leaks[0].Stack[1], outer - 2);
  EXPECT_EQ(leaks[1].Count, 1u);
  EXPECT_STREQ(leaks[2].TypeName, "TLeakyThing");
  EXPECT_EQ(leaks[2].Size, sizeof(TLeakyThing));
  EXPECT_EQ(begins, 1);
  EXPECT_EQ(ends, 1);
  // Purging hides the first three 16-byte blocks; the fourth remains.
  leaks.clear();
  for (TLeakHeader* h = LeakListHead(); h; h = h->Next) h->State = kBlockLive;
  Process(kLeakPurgeInvalid);
  ASSERT_EQ(leaks.size(), 2u);
  EXPECT_EQ(leaks[0].Stack[0], image.Site(3) - 5);
  thing->~TLeakyThing();
}

TEST_F(Leaks, ObjectWithABrokenClassRecordIsData) {
  // Its first word leads to a table without a type: no class record.
  static const void* table_[4] = {};
  void* fake = table.GetObjectMem(32);
  std::memset(fake, 0, 32);
  const void* vtable = &table_[2];
  std::memcpy(fake, &vtable, sizeof vtable);
  nextStack.clear();
  HeaderOf(fake)->Snapshot[0] = image.Site(5, AllocObject);
  Process(0);
  ASSERT_EQ(leaks.size(), 1u);
  EXPECT_STREQ(leaks[0].TypeName, "Data");
}

// Allocation writes the frame walk's end as one zero and leaves a reused block's
// old words after it: the report's stack ends at the zero.
TEST_F(Leaks, TheFrameWalkEndsAtItsFirstZero) {
  void* block = Data(16, {0x1234});  // no allocator call in the raw words: the walk stands
  TLeakHeader* h = HeaderOf(block);
  const uintptr_t line = image.Site(5), outer = image.Outer(6), stale = image.Site(8);
  const uintptr_t walk[] = {line, outer, 0, stale, stale};
  std::memcpy(h->Stack, walk, sizeof walk);
  Process(0);
  ASSERT_EQ(leaks.size(), 1u);
  EXPECT_EQ(leaks[0].Stack[0], line - 5);
  EXPECT_EQ(leaks[0].Stack[1], outer - 2);
  for (int i = 2; i < kLeakStackDepth; ++i) EXPECT_EQ(leaks[0].Stack[i], 0u) << i;
}

TEST_F(Leaks, SonsJoinTheObjectAllocatedWhereTheyCameFrom) {
  uintptr_t line = image.Site(1, AllocObject), outer = image.Outer(2);
  TLeakyThing* owner = Thing({line, outer});
  // Allocated inside the owner's construction: its stack holds the owner's line.
  Data(100, {image.Site(7), line, outer});
  Data(8, {image.Site(9), image.Outer(10)});
  Process(kLeakRemoveSons);
  ASSERT_EQ(leaks.size(), 2u);
  EXPECT_EQ(leaks[0].Size, sizeof(TLeakyThing) + 100);
  leaks.clear();
  for (TLeakHeader* h = LeakListHead(); h; h = h->Next) h->State = kBlockLive;
  Process(0);
  EXPECT_EQ(leaks.size(), 3u);
  owner->~TLeakyThing();
}

TEST_F(Leaks, OnlyTheFirst1024BlocksAreReported) {
  for (uint32_t i = 1; i <= 1100; ++i) Data(8, {image.Site(i)});
  Process(0);
  ASSERT_EQ(leaks.size(), 1024u);
  EXPECT_EQ(leaks.back().Stack[0], image.Site(1024) - 5);
}

TEST_F(Leaks, HooksRunWithTheListUnlockedAndFreeAllReleases) {
  void* first = Data(24, {image.Site(1)});
  Data(24, {image.Site(2)});
  freeDuringReport = first;
  Process(kLeakFreeAll);
  EXPECT_EQ(leaks.size(), 2u);
  EXPECT_EQ(LeakListHead(), nullptr);
  EXPECT_TRUE(messages.empty());
}

TEST_F(Leaks, AFailingStepIsNamedAndLeavesTheListUnlocked) {
  Data(24, {image.Site(1)});
  table = LeakStopCatching();
  TLeakProcessing p;
  p.Memory = &image.memory;
  p.Trim = TLeakTrimPoints{image.objectPoints, 1, image.points, 1};
  p.Leak = [](const TLeakEntry&) { throw 1; };
  p.Message = [](const char* text) { messages.push_back(text); };
  TLeakOutcome out = ProcessLeaks(p);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], "Error in ELeaks \"HandleAnyLeak\" section.");
  EXPECT_STREQ(out.FailedStep, "HandleAnyLeak");
  table.FreeMem(table.GetMem(8));  // would spin for ever under a held lock
}

// The readability cache lives while the list is read, is gone before the report
// hooks run (they may give memory back), and one that cannot be made stops the pass.
TEST_F(Leaks, PagesCacheServesTheListReadingOnly) {
  static int live = 0, made = 0, checksWithCache = 0, checksWithout = 0, leaksWithCache = 0;
  static bool refuse = false;
  live = made = checksWithCache = checksWithout = leaksWithCache = 0;
  Data(24, {image.Site(1)});
  table = LeakStopCatching();
  TLeakProcessing p;
  p.Memory = &image.memory;
  p.Trim = TLeakTrimPoints{image.objectPoints, 1, image.points, 1};
  p.PagesCache = [](bool create) {
    if (create && refuse) return false;
    made += create;
    live = create;
    return true;
  };
  p.Check = [](const void*, size_t) {
    ++(live ? checksWithCache : checksWithout);
    return true;
  };
  p.Leak = [](const TLeakEntry&) { leaksWithCache += live; };
  p.Message = [](const char* text) { messages.push_back(text); };
  EXPECT_EQ(ProcessLeaks(p).Reported, 1);
  EXPECT_EQ(made, 1);
  EXPECT_EQ(live, 0);
  EXPECT_GT(checksWithCache, 0);
  EXPECT_EQ(checksWithout, 0);
  EXPECT_EQ(leaksWithCache, 0);
  EXPECT_TRUE(messages.empty());
  refuse = true;
  TLeakOutcome out = ProcessLeaks(p);
  refuse = false;
  EXPECT_EQ(out.Reported, 0);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], "Error in ELeaks \"Initialize the Memory Pages Cache\" section.");
  table.FreeMem(table.GetMem(8));  // the list was never locked
}

}  // namespace
}  // namespace exclog
