#pragma once
// Pixel and colour operations on skin images: magenta replacement, mirror, flip,
// transpose, quarter turn, colour blending, gradient ramps with a small cache, and a
// saturation measure. Pure code on TPixelBuffer (pixels 0x00RRGGBB); the bitmap and
// device-context glue converts to and from it.
//
// Colours (TSkinColor) are Windows colour values: 0x00BBGGRR, red in the low byte;
// a negative value is a system-colour reference, 0x80000000 + the system colour index,
// resolved through a TSysColorProc before use.
#include <array>
#include <cstddef>  // PixelBuffer.h uses size_t unqualified
#include <cstdint>
#include <vector>

#include "classlib/PixelBuffer.h"

namespace skin {

using TSkinColor = int32_t;
// Returns the 0x00BBGGRR value of system colour `index` (0..30).
using TSysColorProc = uint32_t (*)(int index);

inline constexpr uint32_t kMagentaPixel = 0xFF00FF;  // transparent in skin images
inline constexpr TSkinColor kSysColorBase = static_cast<TSkinColor>(0x80000000u);

// The classic Windows scheme: the resolver of pure code and native tests.
uint32_t ClassicSysColor(int index);
// `color` as 0x00BBGGRR; system references through `sysColor` (an index outside
// 0..30 gives black).
uint32_t ResolveColor(TSkinColor color, TSysColorProc sysColor = ClassicSysColor);

// Sets every pixel that is exactly magenta (ignoring the top byte) to `color`,
// resolved first, so a system-colour reference never lands in the pixels.
void ReplaceMagenta(TPixelBuffer& image, TSkinColor color,
                    TSysColorProc sysColor = ClassicSysColor);
// Each row reversed left to right.
TPixelBuffer MirrorPixels(const TPixelBuffer& source);
// Rows in reverse order.
TPixelBuffer FlipPixels(const TPixelBuffer& source);
// Height x width; pixel (x, y) = source (y, x).
TPixelBuffer TransposePixels(const TPixelBuffer& source);
// Height x width; pixel (x, y) = source (y, height - 1 - x): a quarter turn clockwise.
TPixelBuffer RotatePixels(const TPixelBuffer& source);

// Blends a over b: `weight` below 100 is a percentage of a, 100 and above a per-mille
// share; it is clamped to 0..1000. Each channel rounds half up. Returns 0x00BBGGRR.
uint32_t MixColors(TSkinColor a, TSkinColor b, int weight,
                   TSysColorProc sysColor = ClassicSysColor);

// 0..255: 200 when every channel is below 160, else (max - min) / max * 255,
// rounded half to even (0 for black).
int ColorSaturation(TSkinColor color, TSysColorProc sysColor = ClassicSysColor);

// Colour ramps, cached in 16 slots reused in turn; a slot is found again by the
// request that made it (length, from, to).
class TGradientCache {
 public:
  static constexpr int kSlots = 16;
  // The ramp of `count` 0x00BBGGRR entries from `from` to `to` (both 0x00BBGGRR). For
  // count >= 2 the first entry is `from` and the last exactly `to`, each channel
  // rounded half away from zero in between; count 1 gives the midpoint; count < 1 an
  // empty ramp (not cached). The reference stays valid until 16 newer requests.
  const std::vector<uint32_t>& Ramp(int count, uint32_t from, uint32_t to);
  int Hits() const { return hits_; }
  int Misses() const { return misses_; }

 private:
  struct TSlot {
    bool used = false;
    int count = 0;
    uint32_t from = 0, to = 0;
    std::vector<uint32_t> ramp;
  };
  std::array<TSlot, kSlots> slots_;
  int next_ = 0;
  int hits_ = 0, misses_ = 0;
  std::vector<uint32_t> empty_;
};

struct TPixelRect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;  // right and bottom exclusive
};

// Fills `rect` of `image` with lines of a ramp from `from` to `to` (resolved first):
// one ramp entry per row when `vertical` (top to bottom), else per column. Lines
// outside `clip` and the image are skipped. Nothing when the rectangle is empty.
void GradientFillPixels(TPixelBuffer& image, const TPixelRect& rect, TSkinColor from,
                        bool vertical, TSkinColor to, const TPixelRect& clip,
                        TGradientCache& cache, TSysColorProc sysColor = ClassicSysColor);

}  // namespace skin
