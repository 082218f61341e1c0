#include "skin/container/BitmapOps_win.h"

#include <algorithm>

namespace skin {

namespace {

// Replaces `bitmap` by `pixels` at 24 bits per pixel.
void Store24(TBitmap& bitmap, const TPixelBuffer& pixels) {
  bitmap.SetPixelFormat(TPixelFormat::pf24bit);
  bitmap.SetSize(pixels.Width, pixels.Height);
  if (!pixels.Empty()) bitmap.FromPixelBuffer(pixels);
}

void Transform(TBitmap& bitmap, TPixelBuffer (*op)(const TPixelBuffer&)) {
  if (bitmap.Empty()) return;
  Store24(bitmap, op(bitmap.ToPixelBuffer()));
}

// A solid brush that is deleted with its scope.
class TSolidBrush {
 public:
  explicit TSolidBrush(COLORREF color) : brush_(CreateSolidBrush(color)) {}
  ~TSolidBrush() {
    if (brush_) DeleteObject(brush_);
  }
  TSolidBrush(const TSolidBrush&) = delete;
  TSolidBrush& operator=(const TSolidBrush&) = delete;
  HBRUSH Get() const { return brush_; }

 private:
  HBRUSH brush_;
};

}  // namespace

uint32_t WinSysColor(int index) { return GetSysColor(index); }

void ReplaceMagenta(TBitmap& bitmap, TSkinColor color) {
  if (bitmap.Empty()) return;
  TPixelBuffer pixels = bitmap.ToPixelBuffer();
  ReplaceMagenta(pixels, color, WinSysColor);
  Store24(bitmap, pixels);
}

void MirrorBitmap(TBitmap& bitmap) { Transform(bitmap, MirrorPixels); }
void FlipBitmap(TBitmap& bitmap) { Transform(bitmap, FlipPixels); }
void TransposeBitmap(TBitmap& bitmap) { Transform(bitmap, TransposePixels); }
void RotateBitmap(TBitmap& bitmap) { Transform(bitmap, RotatePixels); }

TGradientCache& SkinGradientCache() {
  static TGradientCache cache;
  return cache;
}

void GradientFill(HDC dc, const RECT& rect, TSkinColor from, bool vertical, TSkinColor to) {
  if (!dc || !RectVisible(dc, &rect)) return;
  int count = vertical ? rect.bottom - rect.top : rect.right - rect.left;
  if (count < 1) return;
  RECT clip;
  if (GetClipBox(dc, &clip) == ERROR) return;
  const std::vector<uint32_t>& ramp = SkinGradientCache().Ramp(
      count, ResolveColor(from, WinSysColor), ResolveColor(to, WinSysColor));
  int first = vertical ? std::max(rect.top, clip.top) : std::max(rect.left, clip.left);
  int last = vertical ? std::min(rect.bottom, clip.bottom) : std::min(rect.right, clip.right);
  for (int line = first; line < last; ++line) {
    size_t k = static_cast<size_t>(line - (vertical ? rect.top : rect.left));
    RECT r = vertical ? RECT{rect.left, line, rect.right, line + 1}
                      : RECT{line, rect.top, line + 1, rect.bottom};
    TSolidBrush brush(ramp[k]);
    if (brush.Get()) FillRect(dc, &r, brush.Get());
  }
}

}  // namespace skin
