// Lengths here are counted by hand from the processor's encoding rules; the broad
// comparison with objdump lives in EHookLength_objdump_test.cpp.
#include "exclog/hooks/EHookLength.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using exclog::InstructionLength;
using exclog::RoutineSize;
using Bytes = std::vector<uint8_t>;

uint32_t LengthOf(const Bytes& b) {
  const auto r = InstructionLength(b.data(), b.size());
  return r.Ok ? r.Length : 0;
}

TEST(EHookLength, AddressingForms) {
  EXPECT_EQ(LengthOf({0x8B, 0x45, 0x08}), 3u);                          // mov eax,[ebp+8]
  EXPECT_EQ(LengthOf({0x8B, 0x04, 0x24}), 3u);                          // mov eax,[esp]
  EXPECT_EQ(LengthOf({0x8B, 0x04, 0x25, 1, 2, 3, 4}), 7u);              // SIB base 5, mod 0
  EXPECT_EQ(LengthOf({0x8B, 0x84, 0x24, 1, 2, 3, 4}), 7u);              // SIB + disp32
  EXPECT_EQ(LengthOf({0x8B, 0x05, 1, 2, 3, 4}), 6u);                    // [disp32]
  // Under 67: 16-bit forms, no SIB; r/m 6 with mod 0 is a 16-bit displacement.
  EXPECT_EQ(LengthOf({0x67, 0x8B, 0x06, 1, 2}), 5u);
  EXPECT_EQ(LengthOf({0x67, 0x8B, 0x44, 1}), 4u);
  EXPECT_EQ(LengthOf({0x67, 0x8B, 0x84, 1, 2}), 5u);
  EXPECT_EQ(LengthOf({0x67, 0xA1, 1, 2}), 4u);                          // moffs16
  EXPECT_EQ(LengthOf({0xA1, 1, 2, 3, 4}), 5u);
}

TEST(EHookLength, ImmediatesFollowOperandSizeAndGroup) {
  EXPECT_EQ(LengthOf({0x81, 0xC0, 1, 2, 3, 4}), 6u);
  EXPECT_EQ(LengthOf({0x66, 0x81, 0xC0, 1, 2}), 5u);
  EXPECT_EQ(LengthOf({0x83, 0xEC, 0x18}), 3u);
  EXPECT_EQ(LengthOf({0xF7, 0xC0, 1, 2, 3, 4}), 6u);  // test eax, imm32
  EXPECT_EQ(LengthOf({0xF7, 0xD8}), 2u);              // neg eax: no immediate
  EXPECT_EQ(LengthOf({0xC8, 0x10, 0x00, 0x00}), 4u);  // enter
  EXPECT_EQ(LengthOf({0xC2, 0x08, 0x00}), 3u);
  EXPECT_EQ(LengthOf({0x9A, 1, 2, 3, 4, 5, 6}), 7u);  // far call ptr16:32
  EXPECT_EQ(LengthOf({0x66, 0x9A, 1, 2, 3, 4}), 6u);
  EXPECT_EQ(LengthOf({0x0F, 0xBA, 0xE0, 0x03}), 4u);  // bt eax, 3
  EXPECT_EQ(LengthOf({0x0F, 0x84, 1, 2, 3, 4}), 6u);
  EXPECT_EQ(LengthOf({0x66, 0xE8, 1, 2}), 4u);
}

TEST(EHookLength, RefusesWhatItCannotDecodeOrWouldReadPastTheLimit) {
  EXPECT_FALSE(InstructionLength(Bytes{0x0F, 0x0B}.data(), 1).Ok);     // 0F at the limit
  EXPECT_FALSE(InstructionLength(Bytes{0x8B, 0x45, 0x08}.data(), 2).Ok);
  EXPECT_FALSE(InstructionLength(Bytes{0x8B, 0x04, 0x25, 1, 2, 3, 4}.data(), 6).Ok);
  EXPECT_FALSE(InstructionLength(nullptr, 0).Ok);
  EXPECT_EQ(LengthOf({0xD6}), 0u);
  EXPECT_EQ(LengthOf({0x0F, 0x38, 0x00, 0xC0}), 0u);
  // Fourteen prefixes and a one-byte opcode are 15 bytes; one more prefix is too many.
  Bytes fifteen(14, 0x66), sixteen(15, 0x66);
  fifteen.push_back(0x90);
  sixteen.push_back(0x90);
  EXPECT_EQ(LengthOf(fifteen), 15u);
  EXPECT_EQ(LengthOf(sixteen), 0u);
  const auto r = InstructionLength(Bytes{0xF0, 0x2E, 0x0F, 0x84, 0, 0, 0, 0}.data(), 8);
  EXPECT_TRUE(r.Ok && r.PrefixCount == 2 && r.TwoByteOpcode && r.Opcode == 0x84 && r.Length == 8);
}

TEST(EHookLength, RoutineSizeStopsAtReturnsOnly) {
  // push ebp; mov ebp,esp; mov byte [ebp-1],0xC3; leave; ret 8; int3 int3
  const Bytes routine = {0x55, 0x89, 0xE5, 0xC6, 0x45, 0xFF, 0xC3, 0xC9, 0xC2, 0x08, 0x00, 0xCC, 0xCC};
  EXPECT_EQ(RoutineSize(routine.data(), routine.size()), 11u);
  // enter, mov eax,imm (B8 C3 ...), leave, retf
  const Bytes far = {0xC8, 0x04, 0x00, 0x00, 0xB8, 0xC3, 0xCB, 0xCA, 0xC2, 0xC9, 0xCB, 0x90};
  EXPECT_EQ(RoutineSize(far.data(), far.size()), 11u);
  EXPECT_EQ(RoutineSize(routine.data(), 0), 0u);
  EXPECT_EQ(RoutineSize(routine.data(), 7), 7u);  // no return within the limit
  // An undecodable byte counts as one: D6 then ret.
  const Bytes odd = {0xD6, 0xC3};
  EXPECT_EQ(RoutineSize(odd.data(), odd.size()), 2u);
}

}  // namespace
