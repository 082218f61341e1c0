// Fuzz target: arbitrary bytes as a PNG file. Whatever decodes must have the size
// its header gave and pixels for all of it; whatever fails must leave no image.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "classlib/PngCodec.h"

// A hundred bytes may claim 16 M pixels; filling those only slows fuzzing down.
// Larger claims take the limit's path, refused before anything is allocated.
constexpr uint64_t kFuzzMaxPixels = 1u << 20;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TDecodedPng image;
  const TPngStatus status = DecodePng(data, size, image, kFuzzMaxPixels);
  if (status == PngOk) {
    const TPixelBuffer& p = image.Pixels;
    if (p.Empty() || p.Pixels.size() != size_t(p.Width) * size_t(p.Height)) std::abort();
    if (size < 8 + 25 + 12) std::abort();  // signature, IHDR and IEND at the least
  } else if (!image.Pixels.Empty() || PngStatusText(status) == PngStatusText(PngOk)) {
    std::abort();
  }
  return 0;
}
