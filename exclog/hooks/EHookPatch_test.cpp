// Trampoline bytes for hand-assembled routines; expected displacements are worked out
// by hand from the addresses (routine at 0x1000, trampoline at 0x5000).
#include "exclog/hooks/EHookPatch.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace exclog;
using Bytes = std::vector<uint8_t>;

constexpr uint32_t kRoutine = 0x1000, kTrampoline = 0x5000;

Bytes Le32(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; }

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

struct TBuilt {
  TPatchPlan Plan;
  Bytes Trampoline;
};

TBuilt Build(Bytes code) {
  code.resize(code.size() + 16, 0xCC);  // what follows the routine in memory
  TBuilt b;
  b.Plan = PlanPatch(code.data(), code.size());
  if (b.Plan.Refusal == TPatchRefusal::None)
    b.Trampoline = BuildTrampoline(code.data(), b.Plan, kRoutine, kTrampoline);
  return b;
}

TEST(EHookPatch, PrologueIsCopiedAndJumpsBack) {
  const auto b = Build({0x55, 0x89, 0xE5, 0x83, 0xEC, 0x18, 0x8B, 0x45, 0x08});
  ASSERT_EQ(b.Plan.Refusal, TPatchRefusal::None);
  EXPECT_EQ(b.Plan.DisplacedCount, 6u);
  EXPECT_EQ(b.Plan.TrampolineSize, 11u);
  // jmp at 0x5006 to 0x1006: 0x1006 - 0x500B
  EXPECT_EQ(b.Trampoline, Cat({{0x55, 0x89, 0xE5, 0x83, 0xEC, 0x18, 0xE9}, Le32(0xFFFFBFFBu)}));
}

TEST(EHookPatch, ShortJumpLeavingTheDisplacedBytesGoesThroughAnAppendedJump) {
  // test eax,eax; je +0x10; xor eax,eax
  const auto b = Build({0x85, 0xC0, 0x74, 0x10, 0x31, 0xC0, 0xC3});
  ASSERT_EQ(b.Plan.Refusal, TPatchRefusal::None);
  EXPECT_EQ(b.Plan.DisplacedCount, 6u);
  EXPECT_EQ(b.Plan.TrampolineSize, 16u);
  // je now reaches offset 11 (11 - 4 = 7); the jump there goes to 0x1014:
  // 0x1014 - 0x5010. The jump back at 0x5006 goes to 0x1006.
  EXPECT_EQ(b.Trampoline, Cat({{0x85, 0xC0, 0x74, 0x07, 0x31, 0xC0, 0xE9}, Le32(0xFFFFBFFBu), {0xE9},
                               Le32(0xFFFFC004u)}));
}

TEST(EHookPatch, BranchesInsideTheDisplacedBytesStay) {
  const auto inside = Build({0xEB, 0x00, 0x55, 0x89, 0xE5, 0x90});  // jmp to the next instruction
  ASSERT_EQ(inside.Plan.Refusal, TPatchRefusal::None);
  EXPECT_EQ(inside.Plan.TrampolineSize, 10u);
  EXPECT_EQ(Bytes(inside.Trampoline.begin(), inside.Trampoline.begin() + 5), Bytes({0xEB, 0x00, 0x55, 0x89, 0xE5}));
  // A backward jump out of the routine's start is relocated too: 90 90 90 jmp -16.
  const auto back = Build({0x90, 0x90, 0x90, 0xEB, 0xF0});
  ASSERT_EQ(back.Plan.Refusal, TPatchRefusal::None);
  EXPECT_EQ(back.Plan.TrampolineSize, 15u);
  EXPECT_EQ(back.Trampoline[4], 0x05);  // 10 - 5
  // target 0x1000 + 5 - 16 = 0xFF5; jump at 0x500A: 0xFF5 - 0x500F
  EXPECT_EQ(Bytes(back.Trampoline.begin() + 10, back.Trampoline.end()), Cat({{0xE9}, Le32(0xFFFFBFE6u)}));
}

TEST(EHookPatch, NearBranchesKeepTheirAbsoluteTarget) {
  // call +0x10: target 0x1015, from the trampoline 0x1015 - 0x5005
  const auto call = Build({0xE8, 0x10, 0x00, 0x00, 0x00});
  ASSERT_EQ(call.Plan.Refusal, TPatchRefusal::None);
  EXPECT_EQ(Bytes(call.Trampoline.begin(), call.Trampoline.begin() + 5), Cat({{0xE8}, Le32(0xFFFFC010u)}));
  // je rel32 +0x100 after a lock-free prefix: 0x1107 - 0x5007
  const auto jcc = Build({0x2E, 0x0F, 0x84, 0x00, 0x01, 0x00, 0x00});
  ASSERT_EQ(jcc.Plan.Refusal, TPatchRefusal::None);
  EXPECT_EQ(jcc.Plan.DisplacedCount, 7u);
  EXPECT_EQ(Bytes(jcc.Trampoline.begin(), jcc.Trampoline.begin() + 7), Cat({{0x2E, 0x0F, 0x84}, Le32(0xFFFFC100u)}));
  // A prefixed short jump: cs je +5 stepped over the prefix, re-aimed at offset 10.
  const auto hinted = Build({0x2E, 0x74, 0x05, 0x31, 0xC0, 0x31, 0xC9});
  ASSERT_EQ(hinted.Plan.Refusal, TPatchRefusal::None);
  EXPECT_EQ(hinted.Plan.DisplacedCount, 5u);
  EXPECT_EQ(hinted.Plan.TrampolineSize, 15u);
  EXPECT_EQ(hinted.Trampoline[2], 0x07);  // 10 - 3
  // target offset 8: 0x1008 - 0x500F
  EXPECT_EQ(Bytes(hinted.Trampoline.begin() + 10, hinted.Trampoline.end()), Cat({{0xE9}, Le32(0xFFFFBFF9u)}));
}

TEST(EHookPatch, RefusesWhatCannotBeMovedSafely) {
  EXPECT_EQ(Build({0x55, 0xD6, 0x89, 0xE5, 0x90}).Plan.Refusal, TPatchRefusal::Undecodable);
  EXPECT_EQ(Build({0x66, 0xE8, 0x10, 0x00, 0x90}).Plan.Refusal, TPatchRefusal::Data16Branch);
  EXPECT_EQ(Build({0x66, 0xE9, 0x10, 0x00, 0x90}).Plan.Refusal, TPatchRefusal::Data16Branch);
  EXPECT_EQ(Build({0x90, 0x66, 0x0F, 0x85, 0x10, 0x00}).Plan.Refusal, TPatchRefusal::Data16Branch);
  // A routine that returns before 5 bytes: fine when padding follows, refused when code does.
  EXPECT_EQ(Build({0x31, 0xC0, 0xC3, 0x8B, 0x45, 0x08}).Plan.Refusal, TPatchRefusal::RoutineTooShort);
  EXPECT_EQ(Build({0xC3, 0x55, 0x89, 0xE5}).Plan.Refusal, TPatchRefusal::RoutineTooShort);
  const auto padded = Build({0x31, 0xC0, 0xC3, 0x90, 0x8D, 0x76, 0x00});
  EXPECT_EQ(padded.Plan.Refusal, TPatchRefusal::None);
  EXPECT_EQ(padded.Plan.DisplacedCount, 7u);
  EXPECT_EQ(Build({0xC3, 0x8D, 0xB4, 0x26, 0, 0, 0, 0}).Plan.Refusal, TPatchRefusal::None);
  EXPECT_EQ(Build({0xC3, 0x8D, 0xB4, 0x26, 0, 0, 1, 0}).Plan.Refusal, TPatchRefusal::RoutineTooShort);
  EXPECT_EQ(Build({0xC3}).Plan.Refusal, TPatchRefusal::None);  // int3 padding follows
  // Too few readable bytes to decode whole instructions.
  const Bytes cut = {0x55, 0x89, 0xE5, 0x83};
  EXPECT_EQ(PlanPatch(cut.data(), cut.size()).Refusal, TPatchRefusal::Undecodable);
}

}  // namespace
