// Fuzz target: arbitrary bytes as a PNG file, as they come and with every chunk's
// CRC made right (else almost every mutation stops at the first CRC and the chunk
// rules, the inflating and the rows behind it are never reached). Whatever decodes
// must have pixels for all of its size; whatever fails must leave no image.
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "classlib/PngCodec.h"

// A hundred bytes may claim 16 M pixels; filling those only slows fuzzing down.
// Larger claims take the limit's path, refused before anything is allocated.
constexpr uint64_t kFuzzMaxPixels = 1u << 20;

namespace {

void Check(const uint8_t* data, size_t size) {
  TDecodedPng image;
  const TPngStatus status = DecodePng(data, size, image, kFuzzMaxPixels);
  if (status == PngOk) {
    const TPixelBuffer& p = image.Pixels;
    if (p.Empty() || p.Pixels.size() != size_t(p.Width) * size_t(p.Height)) std::abort();
    if (size < 8 + 25 + 12) std::abort();  // signature, IHDR and IEND at the least
  } else if (!image.Pixels.Empty() || PngStatusText(status) == PngStatusText(PngOk)) {
    std::abort();
  }
}

uint32_t Be32(const uint8_t* p) { return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3]; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Check(data, size);
  std::vector<uint8_t> fixed(data, data + size);
  for (size_t at = 8; at + 12 <= fixed.size();) {
    const uint32_t length = Be32(&fixed[at]);
    if (length > fixed.size() - at - 12) break;
    const uint32_t crc = static_cast<uint32_t>(crc32(0, &fixed[at + 4], length + 4));
    for (int i = 0; i < 4; i++) fixed[at + 8 + length + i] = uint8_t(crc >> (24 - 8 * i));
    at += 12 + size_t{length};
  }
  Check(fixed.data(), fixed.size());
  return 0;
}
