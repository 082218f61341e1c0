#include "skin/container/BitmapOps.h"

#include <algorithm>

namespace skin {

namespace {

constexpr uint32_t Rgb(uint32_t r, uint32_t g, uint32_t b) { return r | (g << 8) | (b << 16); }
constexpr int Red(uint32_t c) { return static_cast<int>(c & 0xFF); }
constexpr int Green(uint32_t c) { return static_cast<int>((c >> 8) & 0xFF); }
constexpr int Blue(uint32_t c) { return static_cast<int>((c >> 16) & 0xFF); }

// Truncating division with the half added away from zero: rounds to nearest, and
// (d * n + h) / n gives d back exactly whatever the sign of d.
int DivRoundAway(int64_t numerator, int64_t denominator) {
  int64_t half = denominator / 2;
  return static_cast<int>((numerator >= 0 ? numerator + half : numerator - half) / denominator);
}

}  // namespace

uint32_t ClassicSysColor(int index) {
  static constexpr uint32_t kClassic[31] = {
      Rgb(212, 208, 200), Rgb(58, 110, 165),  Rgb(10, 36, 106),   Rgb(128, 128, 128),
      Rgb(212, 208, 200), Rgb(255, 255, 255), Rgb(0, 0, 0),       Rgb(0, 0, 0),
      Rgb(0, 0, 0),       Rgb(255, 255, 255), Rgb(212, 208, 200), Rgb(212, 208, 200),
      Rgb(128, 128, 128), Rgb(10, 36, 106),   Rgb(255, 255, 255), Rgb(212, 208, 200),
      Rgb(128, 128, 128), Rgb(128, 128, 128), Rgb(0, 0, 0),       Rgb(212, 208, 200),
      Rgb(255, 255, 255), Rgb(64, 64, 64),    Rgb(212, 208, 200), Rgb(0, 0, 0),
      Rgb(255, 255, 225), Rgb(181, 181, 181), Rgb(0, 0, 128),     Rgb(166, 202, 240),
      Rgb(192, 192, 192), Rgb(49, 106, 197),  Rgb(236, 233, 216)};
  return index >= 0 && index < 31 ? kClassic[index] : 0;
}

uint32_t ResolveColor(TSkinColor color, TSysColorProc sysColor) {
  if (color >= 0) return static_cast<uint32_t>(color) & 0xFFFFFF;
  int index = static_cast<int>(static_cast<uint32_t>(color) & 0xFF);
  uint32_t c = sysColor ? sysColor(index) : ClassicSysColor(index);
  return c & 0xFFFFFF;
}

void ReplaceMagenta(TPixelBuffer& image, TSkinColor color, TSysColorProc sysColor) {
  uint32_t pixel = PixelFromColorRef(ResolveColor(color, sysColor));
  for (uint32_t& p : image.Pixels)
    if ((p & 0xFFFFFF) == kMagentaPixel) p = pixel;
}

TPixelBuffer MirrorPixels(const TPixelBuffer& source) {
  TPixelBuffer out(source.Width, source.Height);
  for (int y = 0; y < out.Height; ++y)
    std::reverse_copy(source.Row(y), source.Row(y) + source.Width, out.Row(y));
  return out;
}

TPixelBuffer FlipPixels(const TPixelBuffer& source) {
  TPixelBuffer out(source.Width, source.Height);
  for (int y = 0; y < out.Height; ++y)
    std::copy(source.Row(y), source.Row(y) + source.Width, out.Row(out.Height - 1 - y));
  return out;
}

TPixelBuffer TransposePixels(const TPixelBuffer& source) {
  TPixelBuffer out(source.Height, source.Width);
  for (int y = 0; y < out.Height; ++y)
    for (int x = 0; x < out.Width; ++x) out.At(x, y) = source.At(y, x);
  return out;
}

TPixelBuffer RotatePixels(const TPixelBuffer& source) {
  TPixelBuffer out(source.Height, source.Width);
  for (int y = 0; y < out.Height; ++y)
    for (int x = 0; x < out.Width; ++x) out.At(x, y) = source.At(y, source.Height - 1 - x);
  return out;
}

uint32_t MixColors(TSkinColor a, TSkinColor b, int weight, TSysColorProc sysColor) {
  uint32_t ca = ResolveColor(a, sysColor), cb = ResolveColor(b, sysColor);
  int p = std::clamp(weight, 0, 1000);
  int scale = p < 100 ? 100 : 1000;
  auto mix = [&](int x, int y) { return (x * p + y * (scale - p) + scale / 2) / scale; };
  return Rgb(mix(Red(ca), Red(cb)), mix(Green(ca), Green(cb)), mix(Blue(ca), Blue(cb)));
}

int ColorSaturation(TSkinColor color, TSysColorProc sysColor) {
  uint32_t c = ResolveColor(color, sysColor);
  int r = Red(c), g = Green(c), b = Blue(c);
  if (r < 160 && g < 160 && b < 160) return 200;
  int mx = std::max({r, g, b}), mn = std::min({r, g, b});
  if (mx == 0) return 0;
  int numerator = (mx - mn) * 255;
  int q = numerator / mx, rem = numerator % mx;
  if (2 * rem > mx || (2 * rem == mx && (q & 1))) ++q;
  return q;
}

const std::vector<uint32_t>& TGradientCache::Ramp(int count, uint32_t from, uint32_t to) {
  if (count < 1) return empty_;
  from &= 0xFFFFFF;
  to &= 0xFFFFFF;
  for (int i = kSlots - 1; i >= 0; --i) {
    const TSlot& s = slots_[i];
    if (s.used && s.count == count && s.from == from && s.to == to) {
      ++hits_;
      return s.ramp;
    }
  }
  ++misses_;
  TSlot& slot = slots_[next_];
  next_ = (next_ + 1) % kSlots;
  slot.used = true;
  slot.count = count;
  slot.from = from;
  slot.to = to;
  slot.ramp.assign(static_cast<size_t>(count), 0);
  int steps = count - 1;
  auto channel = [&](int f, int t, int k) {
    if (steps < 1) return f + (t - f) / 2;
    return f + DivRoundAway(int64_t{t - f} * k, steps);
  };
  for (int k = 0; k < count; ++k)
    slot.ramp[k] = Rgb(channel(Red(from), Red(to), k), channel(Green(from), Green(to), k),
                       channel(Blue(from), Blue(to), k));
  return slot.ramp;
}

void GradientFillPixels(TPixelBuffer& image, const TPixelRect& rect, TSkinColor from,
                        bool vertical, TSkinColor to, const TPixelRect& clip,
                        TGradientCache& cache, TSysColorProc sysColor) {
  int count = vertical ? rect.Bottom - rect.Top : rect.Right - rect.Left;
  int across = vertical ? rect.Right - rect.Left : rect.Bottom - rect.Top;
  if (count < 1 || across < 1) return;
  const std::vector<uint32_t>& ramp =
      cache.Ramp(count, ResolveColor(from, sysColor), ResolveColor(to, sysColor));
  // Visible part: rectangle, clip and image intersected.
  int left = std::max({rect.Left, clip.Left, 0});
  int top = std::max({rect.Top, clip.Top, 0});
  int right = std::min({rect.Right, clip.Right, image.Width});
  int bottom = std::min({rect.Bottom, clip.Bottom, image.Height});
  for (int y = top; y < bottom; ++y)
    for (int x = left; x < right; ++x)
      image.At(x, y) = PixelFromColorRef(ramp[vertical ? y - rect.Top : x - rect.Left]);
}

}  // namespace skin
