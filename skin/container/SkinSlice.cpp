#include "skin/container/SkinSlice.h"

#include <algorithm>
#include <utility>

namespace skin {

namespace {

constexpr uint32_t kMagenta = 0xFF00FF;

void AddPiece(std::vector<TSlicePiece>& plan, TSliceRect dest, TSliceRect source,
              TPieceMode mode = TPieceMode::Stretch) {
  if (dest.Empty() || source.Empty()) return;
  plan.push_back({dest, source, mode});
}

// Margins made to fit the frame: never negative, the two ends of one direction
// together never wider than the frame.
void FitPair(int& first, int& second, int size) {
  first = std::clamp(first, 0, std::max(size, 0));
  second = std::clamp(second, 0, std::max(size - first, 0));
}

}  // namespace

TSliceRect FrameRect(int imageWidth, int imageHeight, int count, int k, bool vertical) {
  if (imageWidth <= 0 || imageHeight <= 0) return {};
  if (count < 1) count = 1;
  k = std::clamp(k, 1, count);
  if (vertical) {
    int fh = imageHeight / count;
    return {0, (k - 1) * fh, imageWidth, k * fh};
  }
  int fw = imageWidth / count;
  return {(k - 1) * fw, 0, k * fw, imageHeight};
}

std::vector<TSlicePiece> NineSlicePlan(int W, int H, const TSliceRect& frame,
                                       TSliceMargins m, bool tile) {
  std::vector<TSlicePiece> plan;
  if (W <= 0 || H <= 0 || frame.Empty()) return plan;
  int fw = frame.Width(), fh = frame.Height();
  FitPair(m.Left, m.Right, fw);
  FitPair(m.Top, m.Bottom, fh);
  int l = m.Left, t = m.Top, r = m.Right, b = m.Bottom;
  if (l + r > W) l = r = 0;
  if (t + b > H) t = b = 0;
  int sx = frame.Left, sy = frame.Top;
  AddPiece(plan, {0, 0, l, t}, {sx, sy, sx + l, sy + t});
  AddPiece(plan, {0, H - b, l, H}, {sx, sy + fh - b, sx + l, sy + fh});
  AddPiece(plan, {W - r, 0, W, t}, {sx + fw - r, sy, sx + fw, sy + t});
  AddPiece(plan, {0, t, l, H - b}, {sx, sy + t, sx + l, sy + fh - b});
  AddPiece(plan, {l, 0, W - r, t}, {sx + l, sy, sx + fw - r, sy + t});
  AddPiece(plan, {l, t, W - r, H - b}, {sx + l, sy + t, sx + fw - r, sy + fh - b},
           tile ? TPieceMode::Tile : TPieceMode::Stretch);
  // Right and bottom parts after the centre cover tiles that ran past it.
  AddPiece(plan, {W - r, H - b, W, H}, {sx + fw - r, sy + fh - b, sx + fw, sy + fh});
  AddPiece(plan, {W - r, t, W, H - b}, {sx + fw - r, sy + t, sx + fw, sy + fh - b});
  AddPiece(plan, {l, H - b, W - r, H}, {sx + l, sy + fh - b, sx + fw - r, sy + fh});
  return plan;
}

std::vector<TSlicePiece> TiledStripPlan(int W, int H, const TSliceRect& frame, int l, int r) {
  std::vector<TSlicePiece> plan;
  if (W <= 0 || H <= 0 || frame.Empty()) return plan;
  int fw = frame.Width();
  FitPair(l, r, fw);
  int sx = frame.Left, sy = frame.Top, sb = frame.Bottom;
  AddPiece(plan, {0, 0, l, H}, {sx, sy, sx + l, sb});
  int m = fw - l - r;
  if (m > 0) {
    for (int x = l; x < W - r; x += m) AddPiece(plan, {x, 0, x + m, H}, {sx + l, sy, sx + l + m, sb});
  }
  AddPiece(plan, {W - r, 0, W, H}, {sx + fw - r, sy, sx + fw, sb});
  return plan;
}

std::vector<TSlicePiece> ThreePartPlan(const TSliceRect& dest, const TSliceRect& frame, int l,
                                       int r) {
  std::vector<TSlicePiece> plan;
  if (dest.Empty() || frame.Empty()) return plan;
  int fw = frame.Width();
  if (fw > dest.Width()) {
    AddPiece(plan, dest, frame);
    return plan;
  }
  FitPair(l, r, fw);
  int sx = frame.Left, sy = frame.Top, sb = frame.Bottom;
  AddPiece(plan, {dest.Left, dest.Top, dest.Left + l, dest.Bottom}, {sx, sy, sx + l, sb});
  AddPiece(plan, {dest.Left + l, dest.Top, dest.Right - r, dest.Bottom},
           {sx + l, sy, sx + fw - r, sb});
  AddPiece(plan, {dest.Right - r, dest.Top, dest.Right, dest.Bottom}, {sx + fw - r, sy, sx + fw, sb});
  return plan;
}

TSliceRect CentredRect(const TSliceRect& dest, int frameWidth, int frameHeight) {
  int x = dest.Left + (dest.Width() - frameWidth) / 2;
  int y = dest.Top + (dest.Height() - frameHeight) / 2;
  return {x, y, x + frameWidth, y + frameHeight};
}

void ExecutePlan(const TPixelBuffer& source, const std::vector<TSlicePiece>& plan,
                 TPixelBuffer& dest, bool transparent) {
  if (source.Empty() || dest.Empty()) return;
  for (const TSlicePiece& p : plan) {
    TSliceRect s = p.Source;
    s.Left = std::max(s.Left, 0);
    s.Top = std::max(s.Top, 0);
    s.Right = std::min(s.Right, source.Width);
    s.Bottom = std::min(s.Bottom, source.Height);
    if (s.Empty() || p.Dest.Empty()) continue;
    const int sw = s.Width(), sh = s.Height();
    const int dw = p.Dest.Width(), dh = p.Dest.Height();
    int y0 = std::max(p.Dest.Top, 0), y1 = std::min(p.Dest.Bottom, dest.Height);
    int x0 = std::max(p.Dest.Left, 0), x1 = std::min(p.Dest.Right, dest.Width);
    for (int y = y0; y < y1; ++y) {
      int oy = y - p.Dest.Top;
      int srcY = s.Top + (p.Mode == TPieceMode::Tile ? oy % sh
                                                     : static_cast<int>(int64_t{oy} * sh / dh));
      const uint32_t* srcRow = source.Row(srcY);
      uint32_t* dstRow = dest.Row(y);
      for (int x = x0; x < x1; ++x) {
        int ox = x - p.Dest.Left;
        int srcX = s.Left + (p.Mode == TPieceMode::Tile ? ox % sw
                                                        : static_cast<int>(int64_t{ox} * sw / dw));
        uint32_t px = srcRow[srcX];
        if (transparent && (px & 0xFFFFFF) == kMagenta) continue;
        dstRow[x] = px;
      }
    }
  }
}

TPixelBuffer BuildSlicedPixels(int destWidth, int destHeight, const TPixelBuffer& image,
                               TSliceMargins margins, bool vertical, bool tile, int count, int k) {
  if (destWidth <= 0 || destHeight <= 0) return {};
  TPixelBuffer out(destWidth, destHeight, kMagenta);
  TSliceRect frame = FrameRect(image.Width, image.Height, count, k, vertical);
  ExecutePlan(image, NineSlicePlan(destWidth, destHeight, frame, margins, tile), out, false);
  return out;
}

std::vector<TSliceRect> OpaqueRuns(const TPixelBuffer& image, int dx, int dy, uint32_t key,
                                   uint32_t tolerance) {
  auto band = [&](int shift) {
    int lo = (key >> shift) & 0xFF;
    int hi = std::min(lo + static_cast<int>((tolerance >> shift) & 0xFF), 255);
    return std::pair<int, int>(lo, hi);
  };
  // Plain pairs, not structured bindings: clang 14 (the fuzzing build) cannot
  // capture those in a lambda.
  const std::pair<int, int> red = band(16), green = band(8), blue = band(0);
  auto isKey = [&](uint32_t p) {
    int r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
    return r >= red.first && r <= red.second && g >= green.first && g <= green.second &&
           b >= blue.first && b <= blue.second;
  };
  std::vector<TSliceRect> runs;
  for (int y = 0; y < image.Height; ++y) {
    const uint32_t* row = image.Row(y);
    int x = 0;
    while (x < image.Width) {
      while (x < image.Width && isKey(row[x])) ++x;
      if (x >= image.Width) break;
      int x0 = x;
      while (x < image.Width && !isKey(row[x])) ++x;
      runs.push_back({x0 + dx, y + dy, x + dx, y + 1 + dy});
    }
  }
  return runs;
}

}  // namespace skin
