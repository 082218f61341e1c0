#include "skin/painters/SkinTabRules.h"

#include <algorithm>

namespace skin {

TTabSide TabSideOfStyle(uint32_t style) {
  const bool bottom = (style & 0x2) != 0;
  if (style & 0x80) return bottom ? TTabSide::Right : TTabSide::Left;
  return bottom ? TTabSide::Bottom : TTabSide::Top;
}

TSliceRect TabBand(int width, int height, const TSliceRect& display, TTabSide side) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  TSliceRect band;
  switch (side) {
    case TTabSide::Top:
      band = {0, 0, width, std::min(display.Top, height)};
      break;
    case TTabSide::Bottom:
      band = {0, std::max(display.Bottom, 0), width, height};
      break;
    case TTabSide::Left:
      band = {0, 0, std::min(display.Left, width), height};
      break;
    case TTabSide::Right:
      band = {std::max(display.Right, 0), 0, width, height};
      break;
  }
  return band.Empty() ? TSliceRect{} : band;
}

TSliceRect TabInBand(const TSliceRect& tab, const TSliceRect& band, TTabSide side) {
  const int dy = side == TTabSide::Top ? 1 : side == TTabSide::Bottom ? -1 : 0;
  return {tab.Left - band.Left, tab.Top - band.Top + dy, tab.Right - band.Left, tab.Bottom - band.Top + dy};
}

TSliceRect UnturnedTabRect(const TSliceRect& r, int bandWidth, int bandHeight, TTabSide side) {
  switch (side) {
    case TTabSide::Left:
      return {bandHeight - r.Bottom, r.Left, bandHeight - r.Top, r.Right};
    case TTabSide::Right:
      return {r.Top, bandWidth - r.Right, r.Bottom, bandWidth - r.Left};
    default:
      return r;
  }
}

TSliceRect CloseSquare(const TSliceRect& tab) { return {tab.Right - 8, tab.Top + 2, tab.Right - 2, tab.Top + 8}; }

int HitRect(const std::vector<TSliceRect>& rects, int x, int y) {
  for (size_t i = 0; i < rects.size(); i++) {
    const TSliceRect& r = rects[i];
    if (!r.Empty() && x >= r.Left && x < r.Right && y >= r.Top && y < r.Bottom) return static_cast<int>(i);
  }
  return -1;
}

int SheetOfTab(const std::vector<bool>& tabVisible, int tabIndex) {
  if (tabIndex < 0) return -1;
  int tab = 0;
  for (size_t i = 0; i < tabVisible.size(); i++) {
    if (!tabVisible[i]) continue;
    if (tab == tabIndex) return static_cast<int>(i);
    ++tab;
  }
  return -1;
}

TSliceMargins PaneMargins(int tabsStyle, TSliceMargins paneElement) {
  return tabsStyle != 0 ? paneElement : TSliceMargins{4, 5, 4, 4};
}

TSkinColor GivenOr(TSkinColor colour, TSkinColor fallback) { return colour == -1 ? fallback : colour; }

int HeaderFaceFrame(int index, int hotItem) { return hotItem >= 0 && index == hotItem ? 2 : 1; }

int StatusBevelFrame(int bevel) {
  switch (bevel) {
    case 1:
      return 1;
    case 2:
      return 2;
    default:
      return 3;
  }
}

TSliceRect StatusPanelRect(const TSliceRect& part, bool last, int barWidth) {
  TSliceRect r{part.Left, part.Top, part.Right + 2, part.Bottom};
  if (last) r.Right = barWidth;
  return r;
}

int StatusTextAlignment(int alignment, bool rightToLeft) {
  if (alignment < 0 || alignment > 2) alignment = 0;
  if (rightToLeft && alignment != 2) alignment = 1 - alignment;
  return alignment;
}

TSliceRect SizeGripRect(int barWidth, int barHeight, int stripWidth, int stripHeight, int count) {
  const TSliceRect frame = FrameRect(stripWidth, stripHeight, count, 5, false);
  if (frame.Empty()) return {};
  return {barWidth - 1 - frame.Width(), barHeight - 1 - frame.Height(), barWidth - 1, barHeight - 1};
}

}  // namespace skin
