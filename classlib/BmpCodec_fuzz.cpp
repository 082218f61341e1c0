// Fuzz target: arbitrary bytes as a BMP file and as a packed DIB; whatever
// decodes is written back and must decode again to the same size.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "classlib/BmpCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TBmpImage image;
  // Re-encoding huge (mostly skipped RLE) images only slows fuzzing down.
  if (DecodeBmpFile(data, size, image) == BmpOk && image.Pixels.Pixels.size() <= (1u << 20)) {
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
  DecodePackedDib(data, size, dib);
  return 0;
}
