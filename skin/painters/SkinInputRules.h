#pragma once
// The geometry and state rules of the input and range painters (edit, up-down,
// combo box, track bar, progress bar, check list) that need no window, so that
// hostile counts, ranges and sizes can be tested and fuzzed natively.
//
// Pure code: no Win32 header.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "skin/container/SkinSlice.h"

namespace skin {

// ---------------------------------------------------------------------------
// Up-down

// The two halves of an up-down of width x height: up/down (first on top) or, when
// `horizontal`, left/right. An odd length gives the extra pixel to the second half.
struct TUpDownHalves {
  TSliceRect First, Second;
};
TUpDownHalves UpDownHalves(int width, int height, bool horizontal);

// A half's state: 3 disabled; with the cursor in it 2 while pressed, else 4 (hot);
// otherwise 1.
int UpDownHalfState(bool enabled, bool cursorInHalf, bool pressed);
// The element frame of a half (0 first, 1 second) in a state: 4 x half + state,
// kept in 1..8.
int UpDownFrame(int half, int state);

// One line of a drawn arrow, from (X0, Y0) to (X1, Y1).
struct TLineSegment {
  int X0 = 0, Y0 = 0, X1 = 0, Y1 = 0;
  bool operator==(const TLineSegment&) const = default;
};
// The line arrow of a direction (0 up, 1 down, 2 left, 3 right) centred at (x, y);
// any other direction draws nothing.
std::vector<TLineSegment> LineArrow(int direction, int x, int y);
// The arrow direction of a half: up/down for vertical, left/right for horizontal.
int UpDownArrowDirection(int half, bool horizontal);

// ---------------------------------------------------------------------------
// Progress bar

// The filled length of a bar `length` long: (position - min) / (max - min) of it,
// clamped to [0, length]. An empty or inverted range fills nothing.
int ProgressFill(int length, int32_t position, int32_t min, int32_t max);

// The left edges of the chunks tiled across `filled` pixels, a chunk every
// `chunkWidth`; none when either is below 1. At most `cap` of them.
std::vector<int> ChunkOffsets(int filled, int chunkWidth, size_t cap = 4096);

// ---------------------------------------------------------------------------
// Track bar

// The channel drawn from a groove image in three pieces: for a horizontal bar left
// cap, stretched middle, right cap, the image's height centred vertically in
// `channel`; for a vertical one top cap, middle, bottom cap, centred horizontally.
// The caps' lengths come from the margins (left/right or top/bottom), clamped to
// the frame; `count` frames lie side by side and frame 1 is used.
std::vector<TSlicePiece> TrackChannelPlan(const TSliceRect& channel, int imageWidth, int imageHeight,
                                          int count, TSliceMargins margins, bool vertical);

// ---------------------------------------------------------------------------
// Combo box

// The state frame of a combo's button: 1; 4 when focused; 2 when pressed, else 4
// when hot; 3 when disabled.
int ComboState(bool enabled, bool focused, bool pressed, bool hot);

// Where a combo's button lies in a control of width x height. Style 0: `buttonWidth`
// wide inside a 2-pixel border; Style 1: the strip's frame width, at most
// `glyphHeight` high, inside the border; Style 2: the whole button part of the
// combined image (`buttonWidth` + 2 from the edge, full height). On the left when
// `left` (the window reads its scroll bar on the left), else on the right. Empty
// when the control is too small.
TSliceRect ComboButtonRect(int width, int height, int style, int buttonWidth, int glyphHeight, bool left);

// The inner area a Style 0 combo leaves to the control: 2 pixels in from the
// border and buttonWidth + 4 from the button side.
TSliceRect ComboInnerRect(int width, int height, int buttonWidth, bool left);

// ---------------------------------------------------------------------------
// Check list

// The mark frame of a check-list item: unchecked 1, checked 2, grayed 4 (any other
// state: 1); a 12-frame strip holds them at 5 (checked) and 8 (grayed).
int CheckListFrame(int checkState, int stripFrames);

}  // namespace skin
