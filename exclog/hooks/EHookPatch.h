#pragma once
// Planning an inline patch: which whole instructions a five-byte jump at a routine's
// start displaces, and the trampoline that runs them elsewhere before jumping back.
// Pure byte work on copies; the Win32 side reads and writes the real code.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace exclog {

constexpr uint32_t kJumpSize = 5;  // E9 rel32

enum class TPatchRefusal {
  None,
  Undecodable,    // a byte among those to displace is not a known instruction
  Data16Branch,   // a relative branch with a 66 prefix (16-bit target) would be moved
  RoutineTooShort,  // the routine ends before 5 bytes and what follows is not padding
};

struct TPatchPlan {
  TPatchRefusal Refusal = TPatchRefusal::None;
  uint32_t DisplacedCount = 0;  // N: bytes of whole instructions covering the jump
  uint32_t TrampolineSize = 0;  // N + 5 + 5 per short jump leaving the displaced bytes
};

// Plans the patch of the routine whose first bytes are `code` (at least `readable`
// bytes may be read; the jump needs 5, an instruction at most 15 more).
TPatchPlan PlanPatch(const uint8_t* code, size_t readable);

// Builds the trampoline for a plan: the N displaced bytes with their relative branches
// re-aimed from `trampolineAddress`, a jump back to routine + N, then one rel32 jump per
// short jump leaving the displaced bytes. Addresses are 32-bit and wrap.
std::vector<uint8_t> BuildTrampoline(const uint8_t* code, const TPatchPlan& plan,
                                     uint32_t routineAddress, uint32_t trampolineAddress);

// The five bytes E9 rel32 of a jump placed at `at` that reaches `target`.
void EncodeJump(uint8_t out[kJumpSize], uint32_t at, uint32_t target);

}  // namespace exclog
