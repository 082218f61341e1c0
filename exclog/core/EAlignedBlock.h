#pragma once
// A heap block whose first usable address is a multiple of an alignment.
#include <cstddef>
#include <cstdint>
#include <memory>

namespace exclog {

struct TAlignedBlock {
  std::unique_ptr<uint8_t[]> Block;  // what to free (owned)
  uint8_t* Aligned = nullptr;        // first address that is a multiple of the alignment
};

// For an alignment below 2 a plain block of `size` bytes; otherwise size + alignment
// - 1 bytes. Size 0 gives no block.
TAlignedBlock AllocateAligned(size_t size, size_t alignment);

}  // namespace exclog
