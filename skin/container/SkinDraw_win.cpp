#include "skin/container/SkinDraw_win.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace skin {

namespace {

constexpr COLORREF kMagentaRef = RGB(255, 0, 255);
constexpr uint32_t kMagentaPixel = 0xFF00FF;

BITMAPINFO TopDown32(int width, int height) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  return info;
}

bool NegativeSize(const RECT& r) { return r.right < r.left || r.bottom < r.top; }

// Executes pieces with GDI: stretched pieces through StretchBlt, tiled ones through
// TileBitmap, the destination offset by (ox, oy).
void ExecutePlanGdi(HDC dc, HDC sourceDC, const std::vector<TSlicePiece>& plan, int ox, int oy) {
  int oldMode = SetStretchBltMode(dc, COLORONCOLOR);
  for (const TSlicePiece& p : plan) {
    if (p.Mode == TPieceMode::Tile) {
      RECT d{p.Dest.Left + ox, p.Dest.Top + oy, p.Dest.Right + ox, p.Dest.Bottom + oy};
      RECT s{p.Source.Left, p.Source.Top, p.Source.Right, p.Source.Bottom};
      TileBitmap(dc, d, sourceDC, s);
    } else {
      StretchBlt(dc, p.Dest.Left + ox, p.Dest.Top + oy, p.Dest.Width(), p.Dest.Height(), sourceDC,
                 p.Source.Left, p.Source.Top, p.Source.Width(), p.Source.Height(), SRCCOPY);
    }
  }
  SetStretchBltMode(dc, oldMode);
}

// A bitmap of the destination's size holding `plan` drawn from `image`.
TSkinDib RenderPlan(int width, int height, const TPixelBuffer& image,
                    const std::vector<TSlicePiece>& plan) {
  TSkinDib out(width, height);
  if (!out.Handle()) return out;
  std::fill(out.Pixels(), out.Pixels() + size_t(width) * height, kMagentaPixel);
  if (image.Empty() || plan.empty()) return out;
  TSkinDib source(image);
  TSelectedDC src(source.Handle());
  TSelectedDC dst(out.Handle());
  ExecutePlanGdi(dst.Handle(), src.Handle(), plan, 0, 0);
  GdiFlush();
  return out;
}

void CopyOut(HDC dc, const RECT& dest, const TSkinDib& bitmap, bool transparent,
             TTransparentPath path) {
  if (!bitmap.Handle()) return;
  if (transparent) {
    DrawTransparent(dc, dest, bitmap.Handle(), kMagentaRef, path);
    return;
  }
  TSelectedDC src(bitmap.Handle(), dc);
  BitBlt(dc, dest.left, dest.top, bitmap.Width(), bitmap.Height(), src.Handle(), 0, 0, SRCCOPY);
}

// A monochrome mask of `bitmap`: key pixels white (1), the rest black (0); inverted
// when `opaqueIsOne`. `bitmap` must not be selected into another DC.
HBITMAP MakeMask(HBITMAP bitmap, int width, int height, COLORREF key, bool opaqueIsOne) {
  HBITMAP mask = CreateBitmap(width, height, 1, 1, nullptr);
  if (!mask) return nullptr;
  TSelectedDC src(bitmap);
  TSelectedDC dst(mask);
  // Colour to monochrome: pixels of the background colour become 1.
  COLORREF oldBk = SetBkColor(src.Handle(), key);
  BitBlt(dst.Handle(), 0, 0, width, height, src.Handle(), 0, 0, opaqueIsOne ? NOTSRCCOPY : SRCCOPY);
  SetBkColor(src.Handle(), oldBk);
  return mask;
}

struct TWorkBitmap {
  int refs = 0;
  HBITMAP bitmap = nullptr;
  int width = 1, height = 1;
} work;

}  // namespace

// ---- TSkinDib ----

TSkinDib::TSkinDib(int width, int height) {
  if (width <= 0 || height <= 0) return;
  BITMAPINFO info = TopDown32(width, height);
  void* bits = nullptr;
  bitmap_ = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bitmap_) return;
  bits_ = static_cast<uint32_t*>(bits);
  width_ = width;
  height_ = height;
}

TSkinDib::TSkinDib(const TPixelBuffer& pixels) : TSkinDib(pixels.Width, pixels.Height) {
  if (bits_) std::memcpy(bits_, pixels.Pixels.data(), pixels.Pixels.size() * sizeof(uint32_t));
}

TSkinDib::~TSkinDib() { Reset(); }

TSkinDib::TSkinDib(TSkinDib&& o) noexcept
    : bitmap_(o.bitmap_), bits_(o.bits_), width_(o.width_), height_(o.height_) {
  o.bitmap_ = nullptr;
  o.bits_ = nullptr;
}

TSkinDib& TSkinDib::operator=(TSkinDib&& o) noexcept {
  if (this != &o) {
    Reset();
    std::swap(bitmap_, o.bitmap_);
    std::swap(bits_, o.bits_);
    width_ = o.width_;
    height_ = o.height_;
  }
  return *this;
}

HBITMAP TSkinDib::Release() {
  HBITMAP b = bitmap_;
  bitmap_ = nullptr;
  bits_ = nullptr;
  return b;
}

void TSkinDib::Reset() {
  if (bitmap_) DeleteObject(bitmap_);
  bitmap_ = nullptr;
  bits_ = nullptr;
}

TPixelBuffer TSkinDib::ToPixelBuffer() const {
  TPixelBuffer out(width_, height_);
  if (bits_) {
    GdiFlush();
    std::memcpy(out.Pixels.data(), bits_, out.Pixels.size() * sizeof(uint32_t));
  }
  return out;
}

// ---- TSelectedDC ----

TSelectedDC::TSelectedDC(HBITMAP bitmap, HDC compatibleWith) {
  dc_ = CreateCompatibleDC(compatibleWith);
  if (dc_ && bitmap) old_ = SelectObject(dc_, bitmap);
}

TSelectedDC::~TSelectedDC() {
  if (!dc_) return;
  if (old_) SelectObject(dc_, old_);
  DeleteDC(dc_);
}

// ---- routines ----

TTransparentPath TransparentPathForVersion(DWORD version) {
  // The Windows 9x family has no MaskBlt.
  return (version & 0x80000000u) ? TTransparentPath::ThreeBlits : TTransparentPath::MaskBlt;
}

TTransparentPath SystemTransparentPath() { return TransparentPathForVersion(GetVersion()); }

TSkinDib BuildSlicedFrame(const RECT& dest, const TPixelBuffer& image, TSliceMargins margins,
                          bool vertical, bool tile, int count, int k) {
  int w = dest.right - dest.left, h = dest.bottom - dest.top;
  if (w <= 0 || h <= 0) return {};
  TSliceRect frame = FrameRect(image.Width, image.Height, count, k, vertical);
  return RenderPlan(w, h, image, NineSlicePlan(w, h, frame, margins, tile));
}

void DrawSlicedFrame(HDC dc, const RECT& dest, const TPixelBuffer& image, bool vertical, bool tile,
                     bool transparent, int count, int k, TSliceMargins margins,
                     TTransparentPath path) {
  if (NegativeSize(dest)) return;
  CopyOut(dc, dest, BuildSlicedFrame(dest, image, margins, vertical, tile, count, k), transparent, path);
}

void DrawTiledStrip(HDC dc, const RECT& dest, const TPixelBuffer& image, bool vertical,
                    bool transparent, int count, int k, TSliceMargins margins) {
  int w = dest.right - dest.left, h = dest.bottom - dest.top;
  if (w <= 0 || h <= 0) return;
  TSliceRect frame = FrameRect(image.Width, image.Height, count, k, vertical);
  CopyOut(dc, dest, RenderPlan(w, h, image, TiledStripPlan(w, h, frame, margins.Left, margins.Right)),
          transparent, TTransparentPath::Auto);
}

void DrawStretchedFrame(HDC dc, const RECT& dest, const TPixelBuffer& image, bool transparent,
                        int count, int k) {
  int w = dest.right - dest.left, h = dest.bottom - dest.top;
  if (w <= 0 || h <= 0) return;
  TSliceRect frame = FrameRect(image.Width, image.Height, count, k, false);
  std::vector<TSlicePiece> plan;
  if (!frame.Empty()) plan.push_back({TSliceRect{0, 0, w, h}, frame, TPieceMode::Stretch});
  CopyOut(dc, dest, RenderPlan(w, h, image, plan), transparent, TTransparentPath::Auto);
}

void DrawCentredFrame(HDC dc, const RECT& dest, const TPixelBuffer& image, bool transparent,
                      int count, int k) {
  TSliceRect frame = FrameRect(image.Width, image.Height, count, k, false);
  if (frame.Empty() || NegativeSize(dest)) return;
  TSliceRect at = CentredRect({dest.left, dest.top, dest.right, dest.bottom}, frame.Width(), frame.Height());
  std::vector<TSlicePiece> plan = {{TSliceRect{0, 0, frame.Width(), frame.Height()}, frame}};
  RECT r{at.Left, at.Top, at.Right, at.Bottom};
  CopyOut(dc, r, RenderPlan(frame.Width(), frame.Height(), image, plan), transparent,
          TTransparentPath::Auto);
}

void DrawThreePartFrame(HDC dc, const RECT& dest, const TPixelBuffer& image, bool vertical,
                        int count, int k, TSliceMargins margins) {
  if (NegativeSize(dest) || image.Empty()) return;
  TSliceRect frame = FrameRect(image.Width, image.Height, count, k, vertical);
  auto plan = ThreePartPlan({dest.left, dest.top, dest.right, dest.bottom}, frame, margins.Left,
                            margins.Right);
  if (plan.empty()) return;
  TSkinDib source(image);
  TSelectedDC src(source.Handle(), dc);
  ExecutePlanGdi(dc, src.Handle(), plan, 0, 0);
}

void TileBitmap(HDC dc, const RECT& dest, HDC sourceDC, const RECT& source) {
  int w = source.right - source.left, h = source.bottom - source.top;
  if (w <= 0 || h <= 0) return;
  // One copy of the piece, then blits at natural size; the last ones are clipped to
  // the destination.
  TSkinDib piece(w, h);
  if (!piece.Handle()) return;
  TSelectedDC p(piece.Handle());
  BitBlt(p.Handle(), 0, 0, w, h, sourceDC, source.left, source.top, SRCCOPY);
  HRGN clip = CreateRectRgn(0, 0, 0, 0);
  int had = GetClipRgn(dc, clip);
  IntersectClipRect(dc, dest.left, dest.top, dest.right, dest.bottom);
  for (int x = dest.left; x < dest.right; x += w)
    for (int y = dest.top; y < dest.bottom; y += h) BitBlt(dc, x, y, w, h, p.Handle(), 0, 0, SRCCOPY);
  SelectClipRgn(dc, had == 1 ? clip : nullptr);
  DeleteObject(clip);
}

void DrawTransparent(HDC dc, const RECT& dest, HBITMAP bitmap, COLORREF key, TTransparentPath path) {
  if (NegativeSize(dest) || !bitmap) return;
  BITMAP info{};
  if (!GetObject(bitmap, sizeof info, &info)) return;
  const int w = info.bmWidth, h = std::abs(info.bmHeight);
  if (path == TTransparentPath::Auto) path = SystemTransparentPath();
  // The mask first: a bitmap can be selected into one DC at a time. Declared before
  // the DCs so it is deleted after they let go of it.
  TOwnedGdiObject mask(MakeMask(bitmap, w, h, key, path == TTransparentPath::MaskBlt));
  if (!mask.Handle()) return;
  TSelectedDC src(bitmap, dc);
  if (path == TTransparentPath::MaskBlt) {
    // MaskBlt takes the foreground operation where the mask is 1: opaque pixels 1.
    MaskBlt(dc, dest.left, dest.top, w, h, src.Handle(), 0, 0, static_cast<HBITMAP>(mask.Handle()),
            0, 0, MAKEROP4(SRCCOPY, 0x00AA0029));
    return;
  }
  // dest ^ src, & mask, ^ src: where the mask is white (key pixels) the destination
  // comes back unchanged, where black the source remains.
  TSelectedDC m(static_cast<HBITMAP>(mask.Handle()), dc);
  COLORREF oldBk = SetBkColor(dc, RGB(255, 255, 255));
  COLORREF oldText = SetTextColor(dc, RGB(0, 0, 0));
  BitBlt(dc, dest.left, dest.top, w, h, src.Handle(), 0, 0, SRCINVERT);
  BitBlt(dc, dest.left, dest.top, w, h, m.Handle(), 0, 0, SRCAND);
  BitBlt(dc, dest.left, dest.top, w, h, src.Handle(), 0, 0, SRCINVERT);
  SetBkColor(dc, oldBk);
  SetTextColor(dc, oldText);
}

HRGN BitmapToRegion(HBITMAP bitmap, int dx, int dy, uint8_t tolRed, uint8_t tolGreen,
                    uint8_t tolBlue, COLORREF key) {
  BITMAP info{};
  if (!bitmap || !GetObject(bitmap, sizeof info, &info)) return nullptr;
  const int w = info.bmWidth, h = std::abs(info.bmHeight);
  HRGN result = CreateRectRgn(0, 0, 0, 0);
  if (!result || w <= 0 || h <= 0) return result;
  // A 32-bit top-down copy through GetDIBits: the caller's bitmap is only read.
  TPixelBuffer pixels(w, h);
  BITMAPINFO bi = TopDown32(w, h);
  HDC screen = GetDC(nullptr);
  int lines = GetDIBits(screen, bitmap, 0, h, pixels.Pixels.data(), &bi, DIB_RGB_COLORS);
  ReleaseDC(nullptr, screen);
  if (lines != h) {
    DeleteObject(result);
    return nullptr;
  }
  for (uint32_t& p : pixels.Pixels) p &= 0xFFFFFF;
  std::vector<TSliceRect> runs =
      OpaqueRuns(pixels, dx, dy, PixelFromColorRef(key), PixelFromRGB(tolRed, tolGreen, tolBlue));
  // Bounded ExtCreateRegion calls: batches OR-ed into the result.
  std::vector<uint8_t> buffer(sizeof(RGNDATAHEADER) + sizeof(RECT) * kRegionBatch);
  for (size_t start = 0; start < runs.size(); start += kRegionBatch) {
    size_t n = std::min<size_t>(kRegionBatch, runs.size() - start);
    auto* data = reinterpret_cast<RGNDATA*>(buffer.data());
    auto* rects = reinterpret_cast<RECT*>(data->Buffer);
    RECT bounds{INT_MAX, INT_MAX, INT_MIN, INT_MIN};
    for (size_t i = 0; i < n; ++i) {
      const TSliceRect& r = runs[start + i];
      rects[i] = {r.Left, r.Top, r.Right, r.Bottom};
      bounds.left = std::min<LONG>(bounds.left, r.Left);
      bounds.top = std::min<LONG>(bounds.top, r.Top);
      bounds.right = std::max<LONG>(bounds.right, r.Right);
      bounds.bottom = std::max<LONG>(bounds.bottom, r.Bottom);
    }
    data->rdh.dwSize = sizeof(RGNDATAHEADER);
    data->rdh.iType = RDH_RECTANGLES;
    data->rdh.nCount = static_cast<DWORD>(n);
    data->rdh.nRgnSize = static_cast<DWORD>(n * sizeof(RECT));
    data->rdh.rcBound = bounds;
    HRGN part = ExtCreateRegion(nullptr, static_cast<DWORD>(sizeof(RGNDATAHEADER) + n * sizeof(RECT)), data);
    if (!part) {
      DeleteObject(result);
      return nullptr;
    }
    CombineRgn(result, result, part, RGN_OR);
    DeleteObject(part);
  }
  return result;
}

void PaintParentBackground(HWND control, HDC dc) {
  HWND parent = GetParent(control);
  if (!parent) return;
  RECT r;
  GetWindowRect(control, &r);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
  int saved = SaveDC(dc);
  POINT old;
  OffsetViewportOrgEx(dc, -r.left, -r.top, &old);
  IntersectClipRect(dc, r.left, r.top, r.right, r.bottom);
  SendMessage(parent, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  SendMessage(parent, WM_PAINT, reinterpret_cast<WPARAM>(dc), 0);
  RestoreDC(dc, saved);
}

void AcquireSkinWorkBitmap() {
  if (work.refs++ == 0) {
    HDC screen = GetDC(nullptr);
    work.bitmap = CreateCompatibleBitmap(screen, 1, 1);
    ReleaseDC(nullptr, screen);
  }
}

void ReleaseSkinWorkBitmap() {
  if (work.refs <= 0) return;
  if (--work.refs == 0 && work.bitmap) {
    DeleteObject(work.bitmap);
    work.bitmap = nullptr;
    work.width = work.height = 1;
  }
}

HBITMAP SkinWorkBitmap() { return work.bitmap; }

HBITMAP SkinWorkBitmapSized(HDC dc, int width, int height) {
  if (!work.bitmap) return nullptr;
  if (width > work.width || height > work.height) {
    const int w = std::max(width, work.width), h = std::max(height, work.height);
    if (HBITMAP bigger = CreateCompatibleBitmap(dc, w, h)) {
      DeleteObject(work.bitmap);
      work.bitmap = bigger;
      work.width = w;
      work.height = h;
    }
  }
  return work.bitmap;
}

}  // namespace skin
