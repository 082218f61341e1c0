#pragma once
// The fuzz targets' input read as little-endian 32-bit numbers; 0 once it runs out.
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace velmora::fuzz {

struct TFuzzInts {
  const uint8_t* Data;
  size_t Size;
  size_t At = 0;
  int32_t Next() {
    int32_t v = 0;
    if (At <= Size && Size - At >= 4) std::memcpy(&v, Data + At, 4);
    At += 4;
    return v;
  }
  bool Left() const { return At < Size; }
  // A size that a window or image could have, negatives included.
  int32_t Small() { return Next() % 5000; }
};

}  // namespace velmora::fuzz
