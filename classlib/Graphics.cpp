#include "classlib/Graphics.h"

#include <cstdlib>

int PixelFormatBits(TPixelFormat format) {
  switch (format) {
    case TPixelFormat::pf1bit: return 1;
    case TPixelFormat::pf4bit: return 4;
    case TPixelFormat::pf8bit: return 8;
    case TPixelFormat::pf15bit:
    case TPixelFormat::pf16bit: return 16;
    case TPixelFormat::pf24bit: return 24;
    case TPixelFormat::pfDevice:
    case TPixelFormat::pf32bit: return 32;
  }
  return 24;
}

TPixelFormat PixelFormatFromBits(int bitCount) {
  switch (bitCount) {
    case 1: return TPixelFormat::pf1bit;
    case 4: return TPixelFormat::pf4bit;
    case 8: return TPixelFormat::pf8bit;
    case 16: return TPixelFormat::pf15bit;
    case 32: return TPixelFormat::pf32bit;
    default: return TPixelFormat::pf24bit;
  }
}

TColor AutoTransparentColor(const TPixelBuffer& image) {
  if (image.Empty()) return clNone;
  return ColorFromPixel(image.At(0, image.Height - 1));
}

namespace {
// a * b / c rounded half away from zero, in 64 bits (as MulDiv does).
int MulDivRound(int a, int b, int c) {
  if (c == 0) return 0;
  int64_t product = static_cast<int64_t>(a) * b;
  int64_t half = std::llabs(static_cast<int64_t>(c)) / 2;
  int64_t q = (product >= 0) == (c > 0) ? (std::llabs(product) + half) / std::llabs(static_cast<int64_t>(c))
                                        : -((std::llabs(product) + half) / std::llabs(static_cast<int64_t>(c)));
  return static_cast<int>(q);
}
}  // namespace

int FontHeightFromSize(int size, int pixelsPerInch) { return -MulDivRound(size, pixelsPerInch, 72); }

int FontSizeFromHeight(int height, int pixelsPerInch) {
  return MulDivRound(height < 0 ? -height : height, 72, pixelsPerInch);
}

void ComposeDisabledImage(const TPixelBuffer& image, const std::vector<uint8_t>& opaque,
                          uint32_t face, TPixelBuffer& dest) {
  if (image.Width != dest.Width || image.Height != dest.Height ||
      opaque.size() != image.Pixels.size() || dest.Pixels.size() != image.Pixels.size())
    return;
  for (size_t i = 0; i < image.Pixels.size(); ++i) {
    if (!opaque[i]) continue;
    uint32_t p = image.Pixels[i];
    uint32_t luma = (30u * PixelRed(p) + 59u * PixelGreen(p) + 11u * PixelBlue(p) + 50u) / 100u;
    auto lift = [&](uint8_t faceChannel) { return static_cast<uint8_t>((luma + faceChannel + 1) / 2); };
    dest.Pixels[i] = PixelFromRGB(lift(PixelRed(face)), lift(PixelGreen(face)), lift(PixelBlue(face)));
  }
}
