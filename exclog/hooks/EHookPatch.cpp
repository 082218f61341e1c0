#include "exclog/hooks/EHookPatch.h"

#include <cstring>

#include "exclog/hooks/EHookLength.h"

namespace exclog {

namespace {

enum class TBranch { None, Short, Near };

TBranch BranchKind(const TInstructionLength& ins) {
  const uint8_t op = ins.Opcode;
  if (ins.TwoByteOpcode) return op >= 0x80 && op <= 0x8F ? TBranch::Near : TBranch::None;
  if ((op >= 0x70 && op <= 0x7F) || (op >= 0xE0 && op <= 0xE3) || op == 0xEB) return TBranch::Short;
  if (op == 0xE8 || op == 0xE9) return TBranch::Near;
  return TBranch::None;
}

// An instruction after which the routine's own code does not continue within the five
// bytes (`offset` is where the instruction starts).
bool EndsRoutine(const uint8_t* at, uint32_t offset, const TInstructionLength& ins) {
  if (ins.TwoByteOpcode) return false;
  const int64_t end = int64_t(offset) + ins.Length;
  switch (ins.Opcode) {
    case 0xC2: case 0xC3: case 0xCA: case 0xCB: case 0xEA:
      return true;
    case 0xEB: {  // a jump onward inside the patched bytes keeps them in use
      const int64_t target = end + static_cast<int8_t>(at[ins.Length - 1]);
      return target < end || target >= kJumpSize;
    }
    case 0xE9: {
      int32_t disp;
      std::memcpy(&disp, at + ins.Length - 4, 4);
      return end + disp < end || end + disp >= kJumpSize;
    }
    case 0xFF: {
      const uint8_t reg = (at[ins.PrefixCount + 1] >> 3) & 7;
      return reg == 4 || reg == 5;  // indirect jmp
    }
    default:
      return false;
  }
}

// Alignment filler the assembler puts between routines: nop forms and int3.
bool IsPadding(const uint8_t* at, const TInstructionLength& ins) {
  for (uint32_t i = 0; i < ins.PrefixCount; ++i)
    if (at[i] != 0x66 && at[i] != 0x2E && at[i] != 0x3E) return false;
  const uint8_t* p = at + ins.PrefixCount + (ins.TwoByteOpcode ? 2 : 1);  // ModR/M
  if (ins.TwoByteOpcode) return ins.Opcode == 0x1F;
  switch (ins.Opcode) {
    case 0x90:
      return true;
    case 0xCC:
      return ins.PrefixCount == 0;
    case 0x89: case 0x8B:  // mov reg, same reg
      return (p[0] >> 6) == 3 && ((p[0] >> 3) & 7) == (p[0] & 7);
    case 0x8D: {  // lea reg, [same reg + 0]
      const uint8_t mod = p[0] >> 6, reg = (p[0] >> 3) & 7, rm = p[0] & 7;
      if (mod == 3 || ins.AddressSize16) return false;
      const uint8_t* disp = p + 1;
      if (rm == 4) {
        if (((p[1] >> 3) & 7) != 4 || (p[1] & 7) != reg) return false;
        ++disp;
      } else if (rm != reg || (mod == 0 && rm == 5)) {
        return false;
      }
      for (const uint8_t* d = disp; d < at + ins.Length; ++d)
        if (*d != 0) return false;
      return true;
    }
    default:
      return false;
  }
}

int32_t ReadInt32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return static_cast<int32_t>(v);
}

void WriteUInt32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }

}  // namespace

void EncodeJump(uint8_t out[kJumpSize], uint32_t at, uint32_t target) {
  out[0] = 0xE9;
  WriteUInt32(out + 1, target - at - kJumpSize);
}

TPatchPlan PlanPatch(const uint8_t* code, size_t readable) {
  TPatchPlan plan;
  uint32_t pos = 0;
  bool ended = false;
  while (pos < kJumpSize) {
    const TInstructionLength ins = InstructionLength(code + pos, readable > pos ? readable - pos : 0);
    if (!ins.Ok) {
      plan.Refusal = TPatchRefusal::Undecodable;
      return plan;
    }
    if (ended && !IsPadding(code + pos, ins)) {
      plan.Refusal = TPatchRefusal::RoutineTooShort;
      return plan;
    }
    if (BranchKind(ins) != TBranch::None && ins.OperandSize16) {
      plan.Refusal = TPatchRefusal::Data16Branch;
      return plan;
    }
    ended = ended || EndsRoutine(code + pos, pos, ins);
    pos += ins.Length;
  }
  plan.DisplacedCount = pos;
  plan.TrampolineSize = pos + kJumpSize;
  for (uint32_t at = 0; at < pos;) {
    const TInstructionLength ins = InstructionLength(code + at, pos - at);
    if (BranchKind(ins) == TBranch::Short) {
      const int64_t target = int64_t(at) + ins.Length + static_cast<int8_t>(code[at + ins.Length - 1]);
      if (target < 0 || target >= pos) plan.TrampolineSize += kJumpSize;
    }
    at += ins.Length;
  }
  return plan;
}

std::vector<uint8_t> BuildTrampoline(const uint8_t* code, const TPatchPlan& plan,
                                     uint32_t routineAddress, uint32_t trampolineAddress) {
  const uint32_t n = plan.DisplacedCount;
  std::vector<uint8_t> out(plan.TrampolineSize, 0xCC);
  std::memcpy(out.data(), code, n);
  EncodeJump(out.data() + n, trampolineAddress + n, routineAddress + n);
  uint32_t extra = n + kJumpSize;  // next free place for a re-aimed short jump
  for (uint32_t at = 0; at < n;) {
    const TInstructionLength ins = InstructionLength(code + at, n - at);
    const uint32_t end = at + ins.Length;
    switch (BranchKind(ins)) {
      case TBranch::Short: {
        const int64_t target = int64_t(end) + static_cast<int8_t>(code[end - 1]);
        if (target < 0 || target >= n) {
          EncodeJump(out.data() + extra, trampolineAddress + extra,
                     routineAddress + static_cast<uint32_t>(target));
          out[end - 1] = static_cast<uint8_t>(extra - end);
          extra += kJumpSize;
        }
        break;
      }
      case TBranch::Near: {
        const int64_t target = int64_t(end) + ReadInt32(code + end - 4);
        if (target < 0 || target >= n) {
          const uint32_t absolute = routineAddress + static_cast<uint32_t>(target);
          WriteUInt32(out.data() + end - 4, absolute - (trampolineAddress + end));
        }
        break;
      }
      case TBranch::None:
        break;
    }
    at = end;
  }
  return out;
}

}  // namespace exclog
