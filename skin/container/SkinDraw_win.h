#pragma once
// Skin drawing routines: frame strips cut in nine slices, tiled strips, stretched,
// centred and three-part frames, tiling, magenta-keyed transparent copies, bitmaps
// to window regions, and the parent's background under a control. The geometry
// comes from SkinSlice.h; these routines execute it with GDI.
//
// Images are TPixelBuffer strips (0x00RRGGBB); frames are numbered from 1, and a
// frame count below 1 or an index past the count is clamped, never divided by.
#include <windows.h>

#include <cstdint>

#include "classlib/PixelBuffer.h"
#include "skin/container/SkinSlice.h"

namespace skin {

// An owned 32-bit top-down DIB section. Pixels() points at its bits (0x00RRGGBB).
class TSkinDib {
 public:
  TSkinDib() = default;
  TSkinDib(int width, int height);
  explicit TSkinDib(const TPixelBuffer& pixels);
  ~TSkinDib();
  TSkinDib(TSkinDib&& other) noexcept;
  TSkinDib& operator=(TSkinDib&& other) noexcept;
  TSkinDib(const TSkinDib&) = delete;
  TSkinDib& operator=(const TSkinDib&) = delete;

  HBITMAP Handle() const { return bitmap_; }
  // Gives up ownership; the caller deletes the bitmap.
  HBITMAP Release();
  int Width() const { return width_; }
  int Height() const { return height_; }
  uint32_t* Pixels() const { return bits_; }
  TPixelBuffer ToPixelBuffer() const;

 private:
  void Reset();
  HBITMAP bitmap_ = nullptr;
  uint32_t* bits_ = nullptr;
  int width_ = 0, height_ = 0;
};

// Deletes a GDI object at scope exit.
class TOwnedGdiObject {
 public:
  explicit TOwnedGdiObject(HGDIOBJ object) : object_(object) {}
  ~TOwnedGdiObject() {
    if (object_) DeleteObject(object_);
  }
  TOwnedGdiObject(const TOwnedGdiObject&) = delete;
  TOwnedGdiObject& operator=(const TOwnedGdiObject&) = delete;
  HGDIOBJ Handle() const { return object_; }

 private:
  HGDIOBJ object_;
};

// `object` selected into `dc` for a scope; the one it replaced goes back at its
// end, also when an exception leaves the scope (declare it after the object's
// owner, so the object is out of the DC before it is deleted).
class TScopedSelection {
 public:
  TScopedSelection(HDC dc, HGDIOBJ object) : dc_(dc), old_(dc && object ? SelectObject(dc, object) : nullptr) {}
  ~TScopedSelection() {
    if (old_) SelectObject(dc_, old_);
  }
  TScopedSelection(const TScopedSelection&) = delete;
  TScopedSelection& operator=(const TScopedSelection&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

// A memory DC with one bitmap selected; both selection and DC undone on scope exit.
class TSelectedDC {
 public:
  explicit TSelectedDC(HBITMAP bitmap, HDC compatibleWith = nullptr);
  ~TSelectedDC();
  TSelectedDC(const TSelectedDC&) = delete;
  TSelectedDC& operator=(const TSelectedDC&) = delete;
  HDC Handle() const { return dc_; }

 private:
  HDC dc_ = nullptr;
  HGDIOBJ old_ = nullptr;
};

// Which transparent copy to use: MaskBlt (NT family) or three raster blits (older).
enum class TTransparentPath { Auto, MaskBlt, ThreeBlits };
// The path for a GetVersion value: the older one when its top bit marks the
// Windows 9x family. SystemTransparentPath asks GetVersion.
TTransparentPath TransparentPathForVersion(DWORD version);
TTransparentPath SystemTransparentPath();

// Nine-slice frame k of `image` at the size of `dest`; the caller owns the result.
TSkinDib BuildSlicedFrame(const RECT& dest, const TPixelBuffer& image, TSliceMargins margins,
                          bool vertical, bool tile, int count, int k);
// BuildSlicedFrame copied to `dest` opaque or through DrawTransparent (magenta).
// Nothing for a rectangle of negative width or height.
void DrawSlicedFrame(HDC dc, const RECT& dest, const TPixelBuffer& image, bool vertical, bool tile,
                     bool transparent, int count, int k, TSliceMargins margins,
                     TTransparentPath path = TTransparentPath::Auto);
// Left end, tiled middle, right end (margins' Left and Right), full frame height.
void DrawTiledStrip(HDC dc, const RECT& dest, const TPixelBuffer& image, bool vertical,
                    bool transparent, int count, int k, TSliceMargins margins);
void DrawStretchedFrame(HDC dc, const RECT& dest, const TPixelBuffer& image, bool transparent,
                        int count, int k);
void DrawCentredFrame(HDC dc, const RECT& dest, const TPixelBuffer& image, bool transparent,
                      int count, int k);
void DrawThreePartFrame(HDC dc, const RECT& dest, const TPixelBuffer& image, bool vertical,
                        int count, int k, TSliceMargins margins);
// Repeats `source` (a rectangle of the bitmap selected in `sourceDC`) over `dest`.
void TileBitmap(HDC dc, const RECT& dest, HDC sourceDC, const RECT& source);
// Copies `bitmap` to `dest` (natural size from its top-left) leaving the destination
// under pixels of `key` (a COLORREF) untouched.
void DrawTransparent(HDC dc, const RECT& dest, HBITMAP bitmap, COLORREF key,
                     TTransparentPath path = TTransparentPath::Auto);
// The region of every pixel that is not the key colour (within the tolerance), offset
// by (dx, dy). Reads a 32-bit copy: `bitmap` is left as it was. The caller owns the
// region; an empty region when every pixel is transparent; null only when GDI fails.
HRGN BitmapToRegion(HBITMAP bitmap, int dx, int dy, uint8_t tolRed, uint8_t tolGreen,
                    uint8_t tolBlue, COLORREF key);
inline constexpr int kRegionBatch = 2000;
// Paints the parent's background that lies under `control` into `dc`.
void PaintParentBackground(HWND control, HDC dc);

// The shared off-screen bitmap (stretch mode COLORONCOLOR on its DCs): created by the
// first Acquire, freed by the last Release. Null while nobody holds it.
void AcquireSkinWorkBitmap();
void ReleaseSkinWorkBitmap();
HBITMAP SkinWorkBitmap();
// The work bitmap made at least width x height (compatible with `dc`) first; null
// while nobody holds it.
HBITMAP SkinWorkBitmapSized(HDC dc, int width, int height);

}  // namespace skin
