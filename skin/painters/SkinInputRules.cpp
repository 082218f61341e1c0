#include "skin/painters/SkinInputRules.h"

#include <algorithm>

namespace skin {
namespace {

TSliceRect Transposed(const TSliceRect& r) { return {r.Top, r.Left, r.Bottom, r.Right}; }

}  // namespace

TUpDownHalves UpDownHalves(int width, int height, bool horizontal) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (horizontal) {
    const int half = width / 2;
    return {{0, 0, half, height}, {half, 0, width, height}};
  }
  const int half = height / 2;
  return {{0, 0, width, half}, {0, half, width, height}};
}

int UpDownHalfState(bool enabled, bool cursorInHalf, bool pressed) {
  if (!enabled) return 3;
  if (cursorInHalf) return pressed ? 2 : 4;
  return 1;
}

int UpDownFrame(int half, int state) {
  half = std::clamp(half, 0, 1);
  state = std::clamp(state, 1, 4);
  return 4 * half + state;
}

std::vector<TLineSegment> LineArrow(int direction, int x, int y) {
  switch (direction) {
    case 0:
      return {{x, y, x, y - 1},         {x + 1, y + 1, x + 4, y + 4}, {x, y + 1, x + 3, y + 4},
              {x, y + 2, x + 2, y + 4}, {x - 1, y + 1, x - 4, y + 4}, {x, y + 2, x - 3, y + 4},
              {x, y + 1, x - 2, y + 4}};
    case 1:
      return {{x, y + 3, x, y + 4},     {x + 1, y + 2, x + 4, y - 1}, {x, y + 2, x + 3, y - 1},
              {x, y + 1, x + 2, y},     {x - 1, y + 2, x - 4, y - 1}, {x, y + 2, x - 3, y - 1},
              {x, y + 1, x - 2, y}};
    case 2:  // a closed outline: (x, y), (x+1, y+2), (x+1, y-2), (x-1, y), (x+1, y+2)
      return {{x, y, x + 1, y + 2}, {x + 1, y + 2, x + 1, y - 2}, {x + 1, y - 2, x - 1, y},
              {x - 1, y, x + 1, y + 2}};
    case 3:
      return {{x, y, x - 1, y + 2}, {x - 1, y + 2, x - 1, y - 2}, {x - 1, y - 2, x + 1, y},
              {x + 1, y, x - 1, y + 2}};
    default:
      return {};
  }
}

int UpDownArrowDirection(int half, bool horizontal) {
  const int second = half != 0 ? 1 : 0;
  return horizontal ? 2 + second : second;
}

int ProgressFill(int length, int32_t position, int32_t min, int32_t max) {
  if (length <= 0 || max <= min) return 0;
  position = std::clamp(position, min, max);
  // A 32-bit range (below 2^32) times a length (below 2^31) fits in 64 bits.
  const int64_t filled = (int64_t{position} - min) * length / (int64_t{max} - min);
  return static_cast<int>(std::clamp<int64_t>(filled, 0, length));
}

std::vector<int> ChunkOffsets(int filled, int chunkWidth, size_t cap) {
  std::vector<int> offsets;
  if (filled < 1 || chunkWidth < 1) return offsets;
  for (int64_t x = 0; x < filled && offsets.size() < cap; x += chunkWidth) offsets.push_back(static_cast<int>(x));
  return offsets;
}

std::vector<TSlicePiece> TrackChannelPlan(const TSliceRect& channel, int imageWidth, int imageHeight,
                                          int count, TSliceMargins margins, bool vertical) {
  const TSliceRect frame = FrameRect(imageWidth, imageHeight, count, 1, false);
  if (frame.Empty() || channel.Empty()) return {};
  if (!vertical) {
    const int h = frame.Height();
    const int top = channel.Top + (channel.Height() - h) / 2;
    return ThreePartPlan({channel.Left, top, channel.Right, top + h}, frame, margins.Left, margins.Right);
  }
  // The vertical plan is the horizontal one of the transposed picture.
  const int w = frame.Width();
  const int left = channel.Left + (channel.Width() - w) / 2;
  const TSliceRect dest{left, channel.Top, left + w, channel.Bottom};
  std::vector<TSlicePiece> plan =
      ThreePartPlan(Transposed(dest), Transposed(frame), margins.Top, margins.Bottom);
  for (TSlicePiece& p : plan) {
    p.Dest = Transposed(p.Dest);
    p.Source = Transposed(p.Source);
  }
  return plan;
}

int ComboState(bool enabled, bool focused, bool pressed, bool hot) {
  if (!enabled) return 3;
  if (pressed) return 2;
  if (hot || focused) return 4;
  return 1;
}

TSliceRect ComboButtonRect(int width, int height, int style, int buttonWidth, int glyphHeight, bool left) {
  if (width <= 0 || height <= 0 || buttonWidth <= 0) return {};
  TSliceRect r;
  switch (style) {
    case 1: {
      const int h = std::clamp(glyphHeight, 0, std::max(height - 4, 0));
      r = {0, 2, buttonWidth, 2 + h};
      break;
    }
    case 2:
      r = {0, 0, buttonWidth + 2, height};
      break;
    default:
      r = {0, 2, buttonWidth, height - 2};
      break;
  }
  const int inset = style == 2 ? 0 : 2;
  const int w = r.Width();
  if (w + inset > width || r.Empty()) return {};
  if (left) {
    r.Left = inset;
  } else {
    r.Left = width - inset - w;
  }
  r.Right = r.Left + w;
  return r;
}

TSliceRect ComboInnerRect(int width, int height, int buttonWidth, bool left) {
  TSliceRect r{2, 2, width - 2, height - 2};
  if (left)
    r.Left = buttonWidth + 4;
  else
    r.Right = width - buttonWidth - 4;
  return r.Empty() ? TSliceRect{} : r;
}

int CheckListFrame(int checkState, int stripFrames) {
  int frame = checkState == 1 ? 2 : checkState == 2 ? 4 : 1;
  if (stripFrames == 12) {
    if (frame == 2) frame = 5;
    else if (frame == 3) frame = 4;
    else if (frame == 4) frame = 8;
  }
  return frame;
}

}  // namespace skin
