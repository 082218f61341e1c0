// Fuzz target: arbitrary bytes as a zlib stream. Inflating either succeeds within
// the cap, and then the output deflates and inflates back to itself, or raises
// EZLibError; never anything else.
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "exclog/core/EZip.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  constexpr size_t Cap = 1 << 20;
  std::string out;
  try {
    out = exclog::InflateToBuffer(data, size, Cap);
  } catch (const exclog::EZLibError& e) {
    if (e.Message().empty()) std::abort();
    return 0;
  }
  if (out.size() > Cap) std::abort();
  uLongf packedSize = compressBound(out.size());
  std::string packed(packedSize, '\0');
  if (compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize,
                reinterpret_cast<const Bytef*>(out.data()), out.size(), 6) != Z_OK)
    std::abort();
  if (exclog::InflateToBuffer(reinterpret_cast<const uint8_t*>(packed.data()), packedSize, Cap) != out)
    std::abort();
  return 0;
}
