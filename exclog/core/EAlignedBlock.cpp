#include "exclog/core/EAlignedBlock.h"

namespace exclog {

TAlignedBlock AllocateAligned(size_t size, size_t alignment) {
  TAlignedBlock result;
  if (size == 0) return result;
  if (alignment < 2) {
    result.Block.reset(new uint8_t[size]);
    result.Aligned = result.Block.get();
    return result;
  }
  result.Block.reset(new uint8_t[size + alignment - 1]);
  const uintptr_t start = reinterpret_cast<uintptr_t>(result.Block.get());
  result.Aligned = result.Block.get() + (alignment - start % alignment) % alignment;
  return result;
}

}  // namespace exclog
