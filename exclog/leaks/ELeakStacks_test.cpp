#include "exclog/leaks/ELeakStacks.h"

#include <gtest/gtest.h>

#include <vector>

namespace exclog {
namespace {

constexpr uint32_t Code = 0x401000;

// A code region of nops and a data page, both readable.
struct Image {
  TRegionMemory memory;
  Image() {
    memory.Add(Code, std::vector<uint8_t>(0x1000, 0x90));
    memory.Add(0x402000, std::vector<uint8_t>(0x100, 0));
  }
  // Puts `bytes` so that they end at `end`; returns `end` (the return address).
  uint32_t Before(uint32_t end, std::vector<uint8_t> bytes) {
    memory.Write(end - bytes.size(), bytes.data(), bytes.size());
    return end;
  }
  uint32_t CallTo(uint32_t at, uint32_t target) {
    uint32_t rel = target - (at + 5);
    return Before(at + 5, {0xE8, uint8_t(rel), uint8_t(rel >> 8), uint8_t(rel >> 16), uint8_t(rel >> 24)});
  }
};

// Bytes as i686-w64-mingw32-as makes them (checked with objdump -d).
TEST(LeakStacks, EachCallFormIsKeptAtItsStartAndOtherEntriesCloseUp) {
  Image image;
  image.memory.WriteU32(0x402000, Code + 0x800);
  struct TForm {
    std::vector<uint8_t> bytes;
    int length;  // 0: not a call
  };
  std::vector<TForm> forms = {
      {{0xE8, 0x00, 0x02, 0x00, 0x00}, 5},        // call rel32 (readable target)
      {{0xE8, 0x00, 0x00, 0x00, 0x70}, 0},        // call rel32 into nothing
      {{0xFF, 0xD7}, 2},                          // call edi
      {{0xFF, 0x17}, 2},                          // call [edi]
      {{0xFF, 0x14}, 0},                          // a SIB byte follows: not this form
      {{0x90, 0x90, 0xFF, 0x50, 0x08}, 3},        // call [eax+8], no load before
      {{0xFF, 0x55, 0xF0}, 3},                    // call [ebp-16]
      {{0xFF, 0x97, 0x00, 0x01, 0x00, 0x00}, 6},  // call [edi+0x100]
      {{0xFF, 0x14, 0x24}, 3},                    // call [esp]
      {{0xFF, 0x54, 0x24, 0x08}, 4},              // call [esp+8]
      {{0xFF, 0x94, 0x24, 0x00, 0x01, 0x00, 0x00}, 7},
      {{0xFF, 0x15, 0x00, 0x20, 0x40, 0x00}, 6},  // call [0x402000]
      {{0xFF, 0x15, 0x00, 0x00, 0x00, 0x70}, 0},  // call [unreadable]
      {{0x8B, 0x45, 0x08}, 0},                    // mov eax,[ebp+8]
  };
  uintptr_t stack[kLeakStackDepth] = {};
  std::vector<uintptr_t> expected;
  uint32_t at = Code + 0x100;
  for (size_t i = 0; i < forms.size(); ++i, at += 0x20) {
    stack[i] = image.Before(at, forms[i].bytes);
    if (forms[i].length) expected.push_back(at - forms[i].length);
  }
  stack[forms.size()] = 0x70000000;  // unreadable
  int kept = KeepCallSites(stack, image.memory);
  ASSERT_EQ(size_t(kept), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(stack[i], expected[i]) << i;
  for (int i = kept; i < kLeakStackDepth; ++i) EXPECT_EQ(stack[i], 0u);
}

// outer -> line -> operator new -> (stub) -> GetMem -> table entry.
struct AllocationChain : ::testing::Test {
  Image image;
  uint32_t newEntry = Code + 0x600, getMemEntry = Code + 0x700, stub = Code + 0x680;
  uint32_t fromTable, fromGetMem, fromNew, fromOuter;
  uint32_t points[2] = {Code + 0x600, Code + 0x700};
  TLeakTrimPoints trim{nullptr, 0, points, 2};
  void SetUp() override {
    image.memory.WriteU32(0x402010, getMemEntry);
    image.Before(stub + 6, {0xFF, 0x25, 0x10, 0x20, 0x40, 0x00});  // jmp [0x402010]
    fromTable = image.Before(getMemEntry + 0x10, {0xFF, 0xD0});
    fromGetMem = image.CallTo(newEntry + 0x10, stub);
    fromNew = image.CallTo(Code + 0x200, newEntry);
    fromOuter = image.CallTo(Code + 0x300, Code + 0x180);
  }
};

TEST_F(AllocationChain, StackStartsAtTheLineThatAllocated) {
  TLeakHeader h{};
  h.Kind = kBlockData;
  // A stale return address of an earlier call lies between the allocator's frames.
  uintptr_t stale = image.CallTo(Code + 0x400, Code + 0x180);
  uintptr_t raw[] = {0x12345, fromTable, Code + 0x10, fromGetMem, 7, stale, fromNew, fromOuter};
  for (size_t i = 0; i < std::size(raw); ++i) h.Snapshot[i] = raw[i];
  CleanBlockStacks(h, trim, image.memory);
  EXPECT_EQ(h.Stack[0], Code + 0x200u);
  EXPECT_EQ(h.Stack[1], Code + 0x300u);
  EXPECT_EQ(h.Stack[2], 0u);
}

TEST_F(AllocationChain, FrameWalkStandsInAndNothingFoundClears) {
  TLeakHeader h{};
  h.Kind = kBlockData;
  h.Snapshot[0] = fromOuter;  // the raw copy missed the allocator
  h.Stack[0] = fromGetMem;
  h.Stack[1] = fromNew;
  CleanBlockStacks(h, trim, image.memory);
  EXPECT_EQ(h.Stack[0], Code + 0x200u);
  EXPECT_EQ(h.Stack[1], 0u);
  // An object is trimmed after the object allocator only, which it never called.
  TLeakHeader object{};
  object.Kind = kBlockObject;
  object.Snapshot[0] = fromNew;
  object.Stack[0] = fromOuter;
  CleanBlockStacks(object, trim, image.memory);
  EXPECT_EQ(object.Stack[0], 0u);
}

}  // namespace
}  // namespace exclog
