#pragma once
// The geometry and small rules of the tab, header and status-bar painters that need
// no window: where the tab band lies for each tab position, where a tab lands in it,
// the close squares and which sheet a tab shows, the header's hit test and frames,
// status-bar panel rectangles, bevel frames and the size grip.
//
// Pure code: no Win32 header.
#include <cstdint>
#include <vector>

#include "skin/container/BitmapOps.h"
#include "skin/container/SkinSlice.h"

namespace skin {

// Tab positions.
enum class TTabSide { Top = 0, Bottom = 1, Left = 2, Right = 3 };

// From a tab control's window style: vertical tabs (0x80) are left or right, the
// bottom bit (2) gives bottom or right.
TTabSide TabSideOfStyle(uint32_t style);

// The band that holds the tabs in a client area of width x height beside the
// display rectangle (already grown by 4 on every side): above, below, left or right
// of it. Empty when the display rectangle leaves no room on that side.
TSliceRect TabBand(int width, int height, const TSliceRect& display, TTabSide side);

// A tab's rectangle (client coordinates) in the band's own coordinates: top tabs one
// pixel lower, bottom tabs one higher (their attached edge faces the pages).
TSliceRect TabInBand(const TSliceRect& tab, const TSliceRect& band, TTabSide side);

// Left and right bands are drawn as top tabs and then turned: a left band a quarter
// turn anticlockwise (a top tab's attached bottom edge comes to the right, facing
// the pages), a right band a quarter turn clockwise. The rectangle of the unturned
// band (bandHeight wide, bandWidth high) that lands on `r` (band coordinates); top
// and bottom bands are not turned.
TSliceRect UnturnedTabRect(const TSliceRect& r, int bandWidth, int bandHeight, TTabSide side);

// The close square of a tab (client coordinates): (right - 8, top + 2) to
// (right - 2, top + 8).
TSliceRect CloseSquare(const TSliceRect& tab);
// The index of the square holding (x, y); -1 when none does.
int HitRect(const std::vector<TSliceRect>& rects, int x, int y);

// The sheet (index among all sheets) that shows tab `tabIndex`: sheets whose tab is
// hidden have no tab number, so the numbers shift past them. -1 when no sheet has
// that tab.
int SheetOfTab(const std::vector<bool>& tabVisible, int tabIndex);

// The pane margins: the "Tab.Pane" element's when the "Tabs" element's Style is not
// 0, else 4, 5, 4, 4.
TSliceMargins PaneMargins(int tabsStyle, TSliceMargins paneElement);

// A text colour the skin may leave out (-1): the given one, else `fallback`.
TSkinColor GivenOr(TSkinColor colour, TSkinColor fallback);

// The header face of an item: 2 when it is the hot one, else 1 (-1: no hot item).
int HeaderFaceFrame(int index, int hotItem);

// Status-bar bevels as the class library numbers them: 0 none, 1 lowered, 2 raised.
// Their "StatusBarEdges" frames: lowered 1, raised 2, none 3.
int StatusBevelFrame(int bevel);
// A panel's painted rectangle from the bar's own (SB_GETRECT): two pixels wider;
// the last one reaches the bar's right edge.
TSliceRect StatusPanelRect(const TSliceRect& part, bool last, int barWidth);
// Text alignment of a panel (0 left, 1 right, 2 centre), left and right swapped for
// right-to-left panels.
int StatusTextAlignment(int alignment, bool rightToLeft);
// The size grip: frame 5's size of an "ExtraImages" strip of `count` frames, at the
// bottom-right corner one pixel in. Empty for an empty strip.
TSliceRect SizeGripRect(int barWidth, int barHeight, int stripWidth, int stripHeight, int count);

}  // namespace skin
