// Decoding arbitrary bytes never reads past the limit (the replay hands in an
// exact-size heap copy, so the address sanitizer sees any overrun), and a patch plan
// of arbitrary bytes builds a trampoline of the planned size.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "exclog/hooks/EHookLength.h"
#include "exclog/hooks/EHookPatch.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  for (size_t at = 0; at < size; ++at) {
    const auto ins = exclog::InstructionLength(data + at, size - at);
    if (ins.Ok && (ins.Length == 0 || ins.Length > size - at || ins.Length > 15)) std::abort();
  }
  const uint32_t limit = static_cast<uint32_t>(size);
  if (exclog::RoutineSize(data, limit) > limit) std::abort();
  const auto plan = exclog::PlanPatch(data, size);
  if (plan.Refusal == exclog::TPatchRefusal::None) {
    if (plan.DisplacedCount < 5 || plan.DisplacedCount > size) std::abort();
    const auto tramp = exclog::BuildTrampoline(data, plan, 0x00401000u, 0x7FFF0000u);
    if (tramp.size() != plan.TrampolineSize) std::abort();
  }
  return 0;
}
