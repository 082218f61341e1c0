#include "exclog/debuginfo/EStackWalk.h"

#include <gtest/gtest.h>

#include <map>

namespace exclog {
namespace {

constexpr uint32_t Code = 0x00401000, CodeSize = 0x1000;
constexpr uint32_t Stack = 0x00220000;

// Synthetic process: one code block (filled with 0xCC) and a stack block.
struct TProcess {
  TRegionMemory memory;
  TProcess(uint32_t stackSize = 0x1000) {
    memory.Add(Code, std::vector<uint8_t>(CodeSize, 0xCC));
    memory.Add(Stack, std::vector<uint8_t>(stackSize, 0));
  }
  // Places `bytes` so that they end at `returnAddress`.
  void PutBefore(uint32_t returnAddress, std::vector<uint8_t> bytes) {
    ASSERT_TRUE(memory.Write(returnAddress - static_cast<uint32_t>(bytes.size()), bytes.data(), bytes.size()));
  }
  // A direct call at `at` to `target`; returns the return address.
  uint32_t DirectCall(uint32_t at, uint32_t target) {
    uint32_t d = at + 5;
    uint32_t displacement = target - d;
    uint8_t b[5] = {0xE8, uint8_t(displacement), uint8_t(displacement >> 8), uint8_t(displacement >> 16),
                    uint8_t(displacement >> 24)};
    memory.Write(at, b, 5);
    return d;
  }
};

std::vector<uint8_t> U32(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; }

TEST(StackWalk, EachCallFormGivesItsEntryAndNearMissesNone) {
  TProcess p;
  std::vector<uint8_t> readablePointer = U32(Code + 0x800);
  struct TForm {
    const char* name;
    std::vector<uint8_t> bytes;
    int length;  // 0: no call
  };
  std::vector<TForm> forms = {
      {"call rel32", {0xE8, 0x00, 0x01, 0x00, 0x00}, 5},
      {"call rel32 to unmapped", {0xE8, 0x00, 0x00, 0x00, 0x70}, 0},
      {"call eax", {0xFF, 0xD0}, 2},
      {"call edi", {0xFF, 0xD7}, 2},
      {"call [ebx]", {0xFF, 0x13}, 2},
      {"call [esi]", {0xFF, 0x16}, 2},
      {"call [sib] is not this form", {0xFF, 0x14}, 0},
      {"mov eax,[ecx]; call [eax+8]", {0x8B, 0x01, 0xFF, 0x50, 0x08}, 3},
      {"mov eax,[ebp+8]; call [ebp-16]", {0x8B, 0x45, 0x08, 0xFF, 0x55, 0xF0}, 3},
      {"mov eax,[ebp+8]; call [eax+8]", {0x8B, 0x45, 0x08, 0xFF, 0x50, 0x08}, 3},
      {"call [eax+8] without a load", {0x90, 0x90, 0xFF, 0x50, 0x08}, 0},
      {"call [eax+0x100]", {0xFF, 0x90, 0x00, 0x01, 0x00, 0x00}, 6},
      {"call [esp+disp32] is the SIB form", {0xFF, 0x94, 0x00, 0x01, 0x00, 0x00}, 0},
      {"call [esp]", {0xFF, 0x14, 0x24}, 3},
      {"call [esp+8]", {0xFF, 0x54, 0x24, 0x08}, 4},
      {"call [esp+0x100]", {0xFF, 0x94, 0x24, 0x00, 0x01, 0x00, 0x00}, 7},
      {"call [abs]", {0xFF, 0x15, readablePointer[0], readablePointer[1], readablePointer[2], readablePointer[3]}, 6},
      {"call [unmapped abs]", {0xFF, 0x15, 0x00, 0x00, 0x00, 0x70}, 0},
      {"plain bytes", {0x90, 0x90, 0x90}, 0},
  };
  uint32_t d = Code + 0x40;
  for (const TForm& form : forms) {
    d += 0x20;
    p.PutBefore(d, form.bytes);
    TCallSite site = CallBefore(p.memory, d);
    EXPECT_EQ(site.Found, form.length != 0) << form.name;
    if (form.length) {
      EXPECT_EQ(site.Entry, d - form.length) << form.name;
    }
  }
  uint32_t direct = p.DirectCall(Code + 0x600, Code + 0x900);
  EXPECT_EQ(CallBefore(p.memory, direct).Target, Code + 0x900u);
  // Code + 3: fewer than 7 bytes before it are readable.
  for (uint32_t at : {Code + 3, 5u, 0x70000000u}) EXPECT_FALSE(CallBefore(p.memory, at).Found) << std::hex << at;
}

TEST(StackWalk, FrameChainKeepsOnlyCallSitesOfRisingFrames) {
  TProcess p;
  uint32_t kept = p.DirectCall(Code + 0x100, Code + 0x900), refused = p.DirectCall(Code + 0x200, Code + 0x900);
  uint32_t outer = p.DirectCall(Code + 0x300, Code + 0x900), stale = p.DirectCall(Code + 0x400, Code + 0x900);
  // Frames {next, return}: the second returns to no call, the third to one `known`
  // refuses, the last links downward; a return address between frames is stale.
  uint32_t frames[][3] = {{0x100, 0x140, kept}, {0x140, 0x200, Code + 0x10}, {0x200, 0x300, refused},
                          {0x300, 0x80, outer}, {0x400, 0x400, kept}};
  for (auto& f : frames) p.memory.WriteU32(Stack + f[0], Stack + f[1]), p.memory.WriteU32(Stack + f[0] + 4, f[2]);
  p.memory.WriteU32(Stack + 0x180, stale);
  auto known = [&](uint32_t at) { return at != refused - 5; };
  auto walk = [&](uint32_t frame, uint32_t low, uint32_t top, int limit = FrameChainLimit) {
    return FrameChainCallSites(p.memory, Stack + frame, Stack + low, Stack + top, known, limit);
  };
  using TSites = std::vector<uint32_t>;
  EXPECT_EQ(walk(0x100, 0, 0x1000), (TSites{kept - 5, outer - 5}));
  // The top cuts the chain, the frame count is capped, a frame below the stack
  // pointer or unaligned starts none, a frame linked to itself ends it.
  EXPECT_EQ(walk(0x100, 0, 0x300), (TSites{kept - 5}));
  EXPECT_EQ(walk(0x100, 0, 0x1000, 1), (TSites{kept - 5}));
  EXPECT_TRUE(walk(0x100, 0x104, 0x1000).empty());
  EXPECT_TRUE(walk(0x102, 0, 0x1000).empty());
  EXPECT_EQ(walk(0x400, 0, 0x1000), (TSites{kept - 5}));
}

// Every located entry gets kind 4 and names its address; addresses in `kinds`
// get the given kind instead.
struct TFakeLocator {
  std::map<uint32_t, int> kinds;
  int calls = 0;
  TLocator Get() {
    return [this](uint32_t address, TQuelbaLocation& location, bool) {
      ++calls;
      location.Address = address;
      auto it = kinds.find(address);
      location.Kind = static_cast<uint8_t>(it == kinds.end() ? 4 : it->second);
      location.RoutineName = "R" + std::to_string(address);
      location.LineOffset = 1;
    };
  }
};

std::vector<uint32_t> Addresses(TQuelbaStackList& list) {
  std::vector<uint32_t> out;
  for (int i = 0; i < list.Count(); ++i)
    if (list.Get(i)->Kind) out.push_back(list.Get(i)->Address);
  return out;
}

TEST(StackWalk, ScanSkipsKeepsFiltersAndFollowsTargets) {
  TProcess p;
  uint32_t r1 = p.DirectCall(Code + 0x100, Code + 0x800);
  uint32_t r2 = p.DirectCall(Code + 0x200, Code + 0x880);
  uint32_t r3 = p.DirectCall(Code + 0x300, Code + 0xE00);  // target starts with a call: no target entry
  p.DirectCall(Code + 0xE00, Code + 0x10);
  uint32_t slots[] = {7, r1, Stack + 8, r2, 0x70000000, r3, Code + 0x801};
  for (uint32_t i = 0; i < 7; ++i) p.memory.WriteU32(Stack + 0x10 + 4 * i, slots[i]);
  TFakeLocator locator;
  TWalkOptions all;
  all.ThreadId = 77;
  all.ThreadName = "worker";
  TQuelbaStackList list;
  auto walk = [&](const TWalkOptions& options, uint32_t first) {
    list.Clear();
    BuildStackList(list, first, Stack, Stack + 0x1000, options, p.memory, locator.Get());
    return Addresses(list);
  };
  EXPECT_EQ(walk(all, Code + 0x42), (std::vector<uint32_t>{Code + 0x42, Code + 0x100, Code + 0x200, Code + 0x300}));
  EXPECT_EQ(list.Get(0)->IsFirst, 1);
  EXPECT_EQ(list.Get(1)->IsFirst, 0);
  EXPECT_EQ(list.Get(2)->FrameValue, 77u);
  EXPECT_EQ(list.Get(3)->Extra, "worker");
  TWalkOptions other = all;
  other.MarkFirst = false;
  EXPECT_EQ(walk(other, Code + 0x42).at(0), Code + 0x42);
  EXPECT_EQ(list.Get(0)->IsFirst, 0) << "another thread's first entry is not the raise";

  TWalkOptions some = all;
  some.SkipCount = 1;
  some.MaxKept = 1;
  EXPECT_EQ(walk(some, 0), (std::vector<uint32_t>{Code + 0x200}));

  TWalkOptions filtered = all;
  filtered.Accepted = AcceptedKinds(0);
  locator.kinds[Code + 0x200] = 2;
  EXPECT_EQ(walk(filtered, 0), (std::vector<uint32_t>{Code + 0x100, Code + 0x300}));
  filtered.Accepted = AcceptedKinds(1);
  walk(filtered, 0);
  EXPECT_EQ(list.Count(), 3);
  EXPECT_EQ(AcceptedKinds(3), KindBit(2) | KindBit(3) | KindBit(4));

  TWalkOptions targets = all;
  targets.IncludeTargets = true;
  locator.kinds.clear();
  EXPECT_EQ(walk(targets, 0),
            (std::vector<uint32_t>{Code + 0x800, Code + 0x100, Code + 0x880, Code + 0x200, Code + 0x300}));
}

// Framed routines at Code+0x100..0x400, a frameless one at Code+0x600. The chain:
// the first address's frame F0 returns into a framed routine (what lies between is
// its locals), F1 into the frameless one (its stretch is left to the scan), F2 and
// F3 both into the same framed call (a recursion).
TEST(StackWalk, FrameChainDecidesWhichScannedSlotsAreCalls) {
  TProcess p;
  uint32_t target = Code + 0x900;
  uint32_t rB = p.DirectCall(Code + 0x200, target), rX = p.DirectCall(Code + 0x600, target);
  uint32_t rA = p.DirectCall(Code + 0x300, target), rTop = p.DirectCall(Code + 0x380, target);
  uint32_t stale1 = p.DirectCall(Code + 0x280, target), stale2 = p.DirectCall(Code + 0x2C0, target);
  const uint32_t f0 = Stack + 0x40, f1 = Stack + 0x100, f2 = Stack + 0x200, f3 = Stack + 0x240;
  uint32_t frames[][3] = {{f0, f1, rB}, {f1, f2, rX}, {f2, f3, rTop}, {f3, 0, rTop}};
  for (auto& f : frames) p.memory.WriteU32(f[0], f[1]), p.memory.WriteU32(f[0] + 4, f[2]);
  p.memory.WriteU32(Stack + 0x10, stale1);
  p.memory.WriteU32(Stack + 0x80, stale2);
  p.memory.WriteU32(Stack + 0x180, rA);  // the frameless routine's caller: real
  TWalkOptions options;
  options.InFramedRoutine = [](uint32_t at) { return at >= Code + 0x100 && at < Code + 0x400; };
  TFakeLocator locator;
  TQuelbaStackList list;
  auto walk = [&](uint32_t framePointer, uint32_t first) {
    options.FramePointer = framePointer;
    list.Clear();
    BuildStackList(list, first, Stack, Stack + 0x1000, options, p.memory, locator.Get());
    return Addresses(list);
  };
  using TSites = std::vector<uint32_t>;
  EXPECT_EQ(walk(f0, Code + 0x150), (TSites{Code + 0x150, Code + 0x200, Code + 0x600, Code + 0x300, Code + 0x380,
                                            Code + 0x380}));
  // A first address in frameless code says nothing about the slots below F0.
  EXPECT_EQ(walk(f0, Code + 0x650), (TSites{Code + 0x650, Code + 0x280, Code + 0x200, Code + 0x600, Code + 0x300,
                                            Code + 0x380, Code + 0x380}));
  // Without a frame pointer the scan alone: stale slots stand, the recursion's
  // lower return address is taken for a stale copy of the upper.
  EXPECT_EQ(walk(0, Code + 0x150), (TSites{Code + 0x150, Code + 0x280, Code + 0x200, Code + 0x2C0, Code + 0x600,
                                           Code + 0x300, Code + 0x380}));
  // A copy of a running call's return address above it (a realigning routine's) goes.
  p.memory.WriteU32(Stack + 0x300, rTop);
  EXPECT_EQ(walk(f0, Code + 0x150), (TSites{Code + 0x150, Code + 0x200, Code + 0x600, Code + 0x300, Code + 0x380,
                                            Code + 0x380}));
  p.memory.WriteU32(Stack + 0x300, 0);
  // A chain that leaves the stack or links downward says nothing beyond.
  p.memory.WriteU32(f1, Stack + 0x20);
  EXPECT_EQ(walk(f0, Code + 0x150), (TSites{Code + 0x150, Code + 0x200, Code + 0x600, Code + 0x300, Code + 0x380}));
}

TEST(StackWalk, ScanIsBoundedInBytesAndEntries) {
  TProcess deep(StackScanLimit + 0x1000);
  uint32_t r = deep.DirectCall(Code + 0x100, Code + 0x800);
  deep.memory.WriteU32(Stack + StackScanLimit - 4, r);
  deep.memory.WriteU32(Stack + StackScanLimit, r);
  deep.memory.WriteU32(Stack + StackScanLimit + 0x800, r);
  TFakeLocator locator;
  TQuelbaStackList list;
  auto walk = [&](TProcess& p, uint32_t first, uint32_t size) {
    list.Clear();
    BuildStackList(list, first, Stack, Stack + size, TWalkOptions{}, p.memory, locator.Get());
    return Addresses(list);
  };
  walk(deep, 0, StackScanLimit + 0x1000);
  EXPECT_EQ(list.Count(), 1) << "only the slot inside the first 102400 bytes";

  // An unreadable gap in the stack is stepped over.
  TProcess gap(0x100);
  gap.memory.Add(Stack + 0x200, std::vector<uint8_t>(0x100, 0));
  gap.memory.WriteU32(Stack + 0x210, gap.DirectCall(Code + 0x100, Code + 0x800));
  EXPECT_EQ(walk(gap, 0, 0x300), (std::vector<uint32_t>{Code + 0x100}));
  // Every slot a return address: the list stops at its limit.
  TProcess crowded(0x2000);
  uint32_t ret = crowded.DirectCall(Code + 0x100, Code + 0x800);
  for (uint32_t at = Stack; at < Stack + 0x2000; at += 4) crowded.memory.WriteU32(at, ret);
  walk(crowded, Code + 0x10, 0x2000);
  EXPECT_EQ(list.Count(), StackListLimit);
}

TQuelbaLocation* Entry(int kind, uint32_t address, const char* routine, uint32_t lineOffset,
                       TQuelbaModuleInfo* module = nullptr, uint32_t frame = 1) {
  auto* e = new TQuelbaLocation;
  e->Kind = static_cast<uint8_t>(kind);
  e->Address = address;
  e->RoutineName = routine;
  e->LineOffset = lineOffset;
  e->Module = TModuleRef(module);
  e->FrameValue = frame;
  return e;
}

std::vector<int> Kinds(TQuelbaStackList& list) {
  std::vector<int> out;
  for (int i = 0; i < list.Count(); ++i) out.push_back(list.Get(i)->Kind);
  return out;
}

TEST(StackWalk, CleaningSteps) {
  TQuelbaModuleInfo a, b;
  // A repeated address within the next two entries of the same module is a stale copy.
  TQuelbaStackList repeats;
  for (uint32_t address : {0x10, 0x20, 0x30, 0x10, 0x50, 0x50, 0x60, 0x70, 0x60, 0x90, 0xA0, 0x90})
    repeats.Add(Entry(4, address, ("R" + std::to_string(address)).c_str(), 2, address == 0x20 ? &b : &a));
  CleanStackList(repeats, false, true);
  EXPECT_EQ(Kinds(repeats), (std::vector<int>{0, 4, 4, 4, 0, 4, 0, 4, 4, 0, 4, 4}));

  // An entry at its routine's first line: the entries between it and the call
  // inside that routine further down are blanked.
  TQuelbaStackList starts;
  starts.Add(Entry(4, 0x10, "Raise", 3));
  starts.Add(Entry(4, 0x20, "F", 4));
  starts.Add(Entry(4, 0x30, "Junk", 1));
  starts.Add(Entry(4, 0x40, "Junk2", 1));
  starts.Add(Entry(4, 0x50, "F", 0));
  starts.Add(Entry(4, 0x60, "Other", 0, nullptr, 2));
  starts.Add(Entry(4, 0x70, "X", 5, nullptr, 2));
  CleanStackList(starts, false, true);
  EXPECT_EQ(Kinds(starts), (std::vector<int>{4, 4, 0, 0, 4, 4, 4}))
      << "the other thread's entry stops the walk next to it: nothing between";

  TQuelbaStackList ide;
  ide.Add(Entry(4, 0x10, "TApplication.HandleException", 1));
  ide.Add(Entry(1, 0x20, "", 0));
  ide.Add(Entry(3, 0x30, "Run", 1));
  CleanStackList(ide, true, false);
  EXPECT_EQ(ide.Count(), 3) << "only with debug data";
  CleanStackList(ide, true, true);
  ASSERT_EQ(ide.Count(), 1);
  EXPECT_EQ(ide.Get(0)->RoutineName, "Run");
}

// A synthetic frame chain on the stack: records at rising addresses.
struct TChain {
  TProcess p;
  TFrameTestSetup setup;
  int classified = 0;
  std::map<uint32_t, int> kinds;  // handler -> kind
  TChain() {
    setup.Memory = &p.memory;
    setup.StackLow = Stack;
    setup.StackHigh = Stack + 0x1000;
    setup.ChainHead = 0xFFFFFFFFu;
    setup.Classify = [this](uint32_t handler) {
      ++classified;
      auto it = kinds.find(handler);
      return it == kinds.end() ? 0 : it->second;
    };
  }
  // Links records at the given stack offsets with the given handlers.
  void Link(std::vector<std::pair<uint32_t, uint32_t>> records) {
    setup.ChainHead = Stack + records[0].first;
    for (size_t i = 0; i < records.size(); ++i) {
      uint32_t next = i + 1 < records.size() ? Stack + records[i + 1].first : 0xFFFFFFFFu;
      p.memory.WriteU32(Stack + records[i].first, next);
      p.memory.WriteU32(Stack + records[i].first + 4, records[i].second);
    }
  }
};

TEST(StackWalk, FrameTestAnswersCachesAndBounds) {
  constexpr uint32_t Guard = Code + 0x400, Cleanup = Code + 0x500, Other = Code + 0x600;
  TFrameTestCache cache;
  TChain empty;
  EXPECT_FALSE(TestExceptionFrames({1, 2}, empty.setup, cache).Caught);

  TChain chain;
  chain.kinds = {{Guard, 1}, {Cleanup, 3}};
  chain.Link({{0x100, Other}, {0x200, Guard}});
  TFrameTestOutcome outcome = TestExceptionFrames({1, 2}, chain.setup, cache);
  EXPECT_TRUE(outcome.Caught);
  EXPECT_FALSE(outcome.Cached);
  int walked = chain.classified;
  outcome = TestExceptionFrames({1, 2}, chain.setup, cache);
  EXPECT_TRUE(outcome.Caught);
  EXPECT_TRUE(outcome.Cached);
  EXPECT_EQ(chain.classified, walked) << "the cached answer was used";
  TFrameTestRequest framework{1, 2};
  framework.FrameworkHandlerActive = true;
  EXPECT_FALSE(TestExceptionFrames(framework, chain.setup, cache).Cached);
  EXPECT_GT(chain.classified, walked);
  TFrameTestRequest overflow{1, 2};
  overflow.StackOverflow = true;
  overflow.Force = true;
  EXPECT_FALSE(TestExceptionFrames(overflow, chain.setup, cache).Caught);

  TChain cleanup;
  cleanup.kinds = {{Cleanup, 3}};
  cleanup.Link({{0x100, Cleanup}});
  TFrameTestRequest strict{3, 4};
  strict.CleanupNotCaught = true;
  outcome = TestExceptionFrames(strict, cleanup.setup, cache);
  EXPECT_FALSE(outcome.Caught);
  EXPECT_EQ(outcome.Result, 1);
  EXPECT_TRUE(TestExceptionFrames({3, 4}, cleanup.setup, cache).Caught);
  TFrameTestRequest forced{5, 6};
  forced.Force = true;
  EXPECT_TRUE(TestExceptionFrames(forced, empty.setup, cache).Caught);
  TFrameTestRequest marked{5, 6};
  marked.MarkedHandled = true;
  EXPECT_TRUE(TestExceptionFrames(marked, empty.setup, cache).Caught);

  // Raised inside the first handler's body: not caught, result 2.
  chain.setup.RaiseAddress = Guard + 5 + 20;
  TFrameTestAnswer answer = WalkFrameChain(chain.setup);
  EXPECT_EQ(answer.Result, 2);
  EXPECT_FALSE(answer.Caught);

  // Typed handlers: the table behind the handler picks by class.
  TChain typed;
  constexpr uint32_t Typed = Code + 0x700, ClassA = Code + 0x900, ClassB = Code + 0x940;
  typed.kinds = {{Typed, 2}};
  std::vector<uint8_t> table = U32(1);
  for (uint32_t v : {ClassB, Code + 0x780}) for (uint8_t b : U32(v)) table.push_back(b);
  typed.p.memory.Write(Typed + 5, table.data(), table.size());
  typed.Link({{0x100, Typed}});
  typed.setup.ClassMatches = [](uint32_t cls) { return cls == ClassA; };
  EXPECT_FALSE(WalkFrameChain(typed.setup).Caught);
  typed.setup.ClassMatches = [](uint32_t cls) { return cls == ClassB; };
  answer = WalkFrameChain(typed.setup);
  EXPECT_TRUE(answer.Caught);
  EXPECT_EQ(answer.FirstKind, 2);
  EXPECT_EQ(answer.FirstTarget, Code + 0x780);
  typed.setup.CoreExceptionCode = {{Code + 0x780, Code + 0x790}};
  TFrameTestRequest inCore{9, 9};
  inCore.FrameworkHandlerActive = true;
  outcome = TestExceptionFrames(inCore, typed.setup, cache);
  EXPECT_FALSE(outcome.Caught);
  EXPECT_TRUE(outcome.FromCoreExceptionCode);

  // A cyclic chain, a falling one and one leaving the stack all end.
  TChain cyclic;
  cyclic.kinds = {{Guard, 1}};
  cyclic.Link({{0x100, Other}, {0x200, Other}});
  cyclic.p.memory.WriteU32(Stack + 0x200, Stack + 0x100);
  EXPECT_FALSE(WalkFrameChain(cyclic.setup).Caught);
  EXPECT_LE(cyclic.classified, 2);
  // Past the stack lies readable memory with a guard record: the walk stops before it.
  constexpr uint32_t Outside = Stack + 0x10000;
  cyclic.p.memory.Add(Outside, std::vector<uint8_t>(0x10, 0));
  cyclic.p.memory.WriteU32(Outside, 0xFFFFFFFFu);
  cyclic.p.memory.WriteU32(Outside + 4, Guard);
  cyclic.p.memory.WriteU32(Stack + 0x200, Outside);
  EXPECT_FALSE(WalkFrameChain(cyclic.setup).Caught);

  // Ten answers are kept; the eleventh drops the oldest.
  TFrameTestCache ten;
  for (uint32_t i = 0; i < 11; ++i) ten.Store(i, 0, 0, TFrameTestAnswer{});
  TFrameTestAnswer dummy;
  EXPECT_EQ(ten.Count(), 10);
  EXPECT_FALSE(ten.Find(0, 0, 0, dummy));
  EXPECT_TRUE(ten.Find(1, 0, 0, dummy));
  EXPECT_TRUE(ten.Find(10, 0, 0, dummy));
}

TEST(StackWalk, RegionMemoryReadsOnlyItsBlocks) {
  TRegionMemory memory;
  memory.Add(0x1000, {1, 2, 3, 4});
  memory.Add(0x1004, {5, 6});
  uint32_t value = 0;
  EXPECT_TRUE(memory.ReadU32(0x1002, value));
  EXPECT_EQ(value, 0x06050403u) << "touching blocks read as one";
  EXPECT_GE(memory.ReadableBytes(0x1001, 2), 2u);
  EXPECT_EQ(memory.ReadableBytes(0x1001, 5), 5u);
  EXPECT_FALSE(memory.ReadU32(0x1003, value));
  EXPECT_FALSE(memory.ReadU32(0xFFF, value));
  EXPECT_EQ(memory.ReadableBytes(UINTPTR_MAX, 4), 0u);
}

}  // namespace
}  // namespace exclog
