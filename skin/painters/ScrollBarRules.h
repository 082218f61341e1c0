#pragma once
// The geometry of skinned scroll bars: where the thumb of a scroll-bar control lies,
// which part a point hits, how far a dragged thumb may go, what the painter draws
// for each part and state, and the position a dragged combo-list thumb stands for.
// The overlays and painters of SkinScrollBars_win.h carry these out.
//
// Pure code: no Win32 header. Hostile ranges, pages and sizes never divide by zero,
// and every rectangle of a plan lies inside the bar.
#include <cstdint>

#include "skin/container/SkinSlice.h"

namespace skin {

// Part codes: the scroll request codes of WM_HSCROLL / WM_VSCROLL.
constexpr int kPartNone = -1, kPartFirstArrow = 0, kPartSecondArrow = 1, kPartPageBefore = 2,
              kPartPageAfter = 3, kPartThumb = 5;

struct TScrollRange {
  int32_t Min = 0, Max = 0, Page = 0, Pos = 0;
};

// A thumb along the bar's axis: [Start, End).
struct TThumbSpan {
  int Start = 0, End = 0;
  bool operator==(const TThumbSpan&) const = default;
};

// a * b / c rounded half away from zero, as the system's MulDiv; 0 when c is 0 or
// the result does not fit 32 bits.
int32_t MulDivRound(int64_t a, int64_t b, int64_t c);

// The thumb of a scroll-bar control of bar length `length` with arrows `arrow` long.
// With `minimumEight` a thumb shorter than 8 is raised to 8 (the paint's rule; the
// press reads the same without it). Kept between the arrows.
TThumbSpan ControlThumbSpan(int length, int arrow, const TScrollRange& range, bool minimumEight);

// The part under p (along the axis, overlay coordinates).
int ScrollHitTest(int p, int arrow, const TThumbSpan& thumb, int trackLength);

// The thumb dragged by `movement` pixels from where it stood at the press.
TThumbSpan DragThumb(int downThumbStart, int movement, int arrow, int trackLength, int thumbLength);

struct TScrollPaintFacts {
  bool Vertical = true;
  int Width = 0, Height = 0;  // the bar
  int Arrow = 16;
  bool Enabled = true;
  int HotPart = kPartNone;
  bool Pressed = false;
  TThumbSpan Thumb;
  int GripLength = 16;  // the grip glyph's size along the axis
};

// Frames are of the "Scrollbar" glyph strip (1..23), the track element (1..4) and
// the thumb element (1..3); 0 means not drawn.
struct TScrollPaintPlan {
  TSliceRect Track;
  int TrackFrame = 1;
  TSliceRect FirstArrow, SecondArrow;
  int FirstArrowFrame = 0, SecondArrowFrame = 0;
  TSliceRect Thumb;
  int ThumbFrame = 0;
  TSliceRect Grip;
  int GripFrame = 0;
};

TScrollPaintPlan PlanScrollPaint(const TScrollPaintFacts& facts);

// Where a combo list's thumb drag puts the position: the thumb stood `offset0`
// pixels into a track of `track` pixels at the press and moved `movement` since;
// `thumb` is its length. Stays in [Min, Max - Page + 1] (with a page) or
// [Min, Max]; a track with no room to move keeps range.Pos.
int32_t ComboTrackPosition(int offset0, int movement, int track, int thumb, const TScrollRange& range);

// The skin bar's thickness: the "Scrollbar" glyph strip's height, or the system's
// arrow size when the two differ by more than 2 pixels. A scroll-bar control draws
// the skin bar this thick at its place, whatever the control's own thickness.
int SkinBarThickness(int stripHeight, int arrowSize);

}  // namespace skin
