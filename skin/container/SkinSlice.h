#pragma once
// Geometry of skin images: which source rectangle of a frame strip goes to which
// destination rectangle, for nine-slice frames, tiled strips and three-part frames,
// plus a pixel executor over TPixelBuffer. Pure code; the GDI routines in
// SkinDraw_win execute the same plans and the skin loader builds its derived
// images with BuildSlicedPixels.
//
// Hostile values never divide by zero or reach outside an image: frame counts
// below 1 count as 1, frame indexes are clamped to 1..count, margins are clamped
// to 0..frame size here (never in the parsed skin, whose margin fields may hold
// other things).
#include <cstddef>
#include <cstdint>
#include <vector>

#include "classlib/PixelBuffer.h"

namespace skin {

struct TSliceRect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;  // right and bottom exclusive
  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
  bool Empty() const { return Right <= Left || Bottom <= Top; }
  bool operator==(const TSliceRect&) const = default;
};

// An element's cut: LeftWidth, TopHeight, RightWidth, BottomHeight.
struct TSliceMargins {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
};

enum class TPieceMode { Stretch, Tile };

// One copy: Source (inside the image) onto Dest (inside the destination).
struct TSlicePiece {
  TSliceRect Dest;
  TSliceRect Source;
  TPieceMode Mode = TPieceMode::Stretch;
};

// Frame k (from 1) of `count` frames laid side by side, or stacked when
// `vertical`. Count below 1 is taken as 1 and k is clamped to 1..count; an image
// narrower than its count gives an empty rectangle.
TSliceRect FrameRect(int imageWidth, int imageHeight, int count, int k, bool vertical);

// The nine pieces of a frame drawn to a destWidth x destHeight bitmap, in drawing
// order (corners TL, BL, TR, left, top, centre, BR, right, bottom); pieces with an
// empty source or destination are left out. Margins wider than the destination
// (l + r > W, t + b > H) drop both ends of that direction.
std::vector<TSlicePiece> NineSlicePlan(int destWidth, int destHeight, const TSliceRect& frame,
                                       TSliceMargins margins, bool tile);

// A one-row strip: left end, middle copies of the frame's middle, right end, each
// at full frame height stretched to destHeight. With no middle left in the frame
// (left + right >= frame width) no middle is drawn.
std::vector<TSlicePiece> TiledStripPlan(int destWidth, int destHeight, const TSliceRect& frame,
                                        int left, int right);

// Frame in three stretched parts across `dest` when the frame fits its width; the
// whole frame stretched to `dest` when it is wider.
std::vector<TSlicePiece> ThreePartPlan(const TSliceRect& dest, const TSliceRect& frame, int left,
                                       int right);

// A frameWidth x frameHeight rectangle centred in `dest` (offsets rounded toward 0).
TSliceRect CentredRect(const TSliceRect& dest, int frameWidth, int frameHeight);

// Executes pieces from `source` into `dest`, nearest-pixel stretching or tiling.
// Destination and source coordinates are clipped to the two images. With
// `transparent`, magenta source pixels (top byte ignored) leave `dest` unchanged.
void ExecutePlan(const TPixelBuffer& source, const std::vector<TSlicePiece>& plan,
                 TPixelBuffer& dest, bool transparent);

// Frame k of `image` cut in nine slices and drawn to a new destWidth x destHeight
// image (magenta where nothing was drawn). Empty result for a non-positive size.
TPixelBuffer BuildSlicedPixels(int destWidth, int destHeight, const TPixelBuffer& image,
                               TSliceMargins margins, bool vertical, bool tile, int count, int k);

// Runs of pixels that are not the key colour, row by row: a pixel is transparent
// when each channel lies in [key, min(key + tolerance, 255)]. Each run [x0, x1) of
// row y gives (x0 + dx, y + dy, x1 + dx, y + 1 + dy). Key and tolerance are
// 0x00RRGGBB.
std::vector<TSliceRect> OpaqueRuns(const TPixelBuffer& image, int dx, int dy, uint32_t keyPixel,
                                   uint32_t tolerance);

}  // namespace skin
