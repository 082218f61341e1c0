// Fuzz target: arbitrary bytes as a BMP file and as a packed DIB; whatever
// decodes is written back and must decode again to the same size.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "classlib/BmpCodec.h"

// A few dozen bytes of RLE may claim 64 M pixels; filling those only slows fuzzing
// down. Larger claims take the limit's path, refused before anything is allocated,
// as the skin loader's budget refuses them.
constexpr uint64_t kFuzzMaxPixels = 1u << 20;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TBmpImage image;
  if (DecodeBmpFile(data, size, image, kFuzzMaxPixels) == BmpOk) {
    std::vector<uint8_t> again = image.BitCount <= 8
        ? EncodeIndexedBmpFile(image.Pixels.Width, image.Pixels.Height, image.BitCount,
                               image.Palette, image.Indices)
        : EncodeBmpFile(image.Pixels, 32);
    TBmpImage back;
    if (DecodeBmpFile(again.data(), again.size(), back) != BmpOk ||
        back.Pixels.Width != image.Pixels.Width || back.Pixels.Height != image.Pixels.Height)
      std::abort();
  }
  TBmpImage dib;
  DecodePackedDib(data, size, dib, kFuzzMaxPixels);
  return 0;
}
