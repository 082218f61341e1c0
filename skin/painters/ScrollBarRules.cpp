#include "skin/painters/ScrollBarRules.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace skin {
namespace {

int Clamp64(int64_t v, int64_t lo, int64_t hi) {
  if (hi < lo) hi = lo;
  return static_cast<int>(std::clamp(v, lo, hi));
}

}  // namespace

int32_t MulDivRound(int64_t a, int64_t b, int64_t c) {
  if (c == 0) return 0;
  // Products of two 32-bit values fit; wider inputs are the caller's mistake.
  if (a > INT32_MAX || a < INT32_MIN || b > INT32_MAX || b < INT32_MIN) return 0;
  const int64_t p = a * b;
  const bool negative = (p < 0) != (c < 0);
  const uint64_t up = static_cast<uint64_t>(p < 0 ? -p : p);
  const uint64_t uc = static_cast<uint64_t>(c < 0 ? -c : c);
  const uint64_t q = (up + uc / 2) / uc;
  if (q > static_cast<uint64_t>(INT32_MAX)) return 0;
  return negative ? -static_cast<int32_t>(q) : static_cast<int32_t>(q);
}

TThumbSpan ControlThumbSpan(int length, int arrow, const TScrollRange& r, bool minimumEight) {
  arrow = std::max(arrow, 0);
  const int64_t room = int64_t{length} - 2 * int64_t{arrow};
  if (length <= 0 || room <= 0) {
    const int at = std::clamp(arrow, 0, std::max(length, 0));
    return {at, at};
  }
  int64_t range = int64_t{r.Max} - r.Min;
  if (range == 0) range = 9999999;
  const int64_t moved = int64_t{r.Pos} - r.Min;
  int64_t thumb, start;
  if (r.Page > 0) {
    thumb = MulDivRound(room, int64_t{r.Page} - 1, range);
    bool raised = false;
    if (minimumEight && thumb < 8) {
      thumb = 8;
      raised = true;
    }
    start = r.Pos == r.Min ? arrow : arrow + int64_t{MulDivRound(raised ? room - 8 : room, moved, range)};
  } else {
    thumb = arrow;
    start = arrow + int64_t{MulDivRound(int64_t{length} - 3 * int64_t{arrow}, moved, range)};
  }
  thumb = std::clamp<int64_t>(thumb, 0, room);
  start = Clamp64(start, arrow, arrow + room - thumb);
  return {static_cast<int>(start), static_cast<int>(start + thumb)};
}

int ScrollHitTest(int p, int arrow, const TThumbSpan& thumb, int trackLength) {
  if (p < arrow) return kPartFirstArrow;
  if (p < thumb.Start) return kPartPageBefore;
  if (p < thumb.End) return kPartThumb;
  if (int64_t{p} < int64_t{trackLength} - arrow) return kPartPageAfter;
  return kPartSecondArrow;
}

TThumbSpan DragThumb(int downThumbStart, int movement, int arrow, int trackLength, int thumbLength) {
  int64_t start = int64_t{downThumbStart} + movement;
  start = std::max<int64_t>(start, arrow);
  start = std::min<int64_t>(start, int64_t{trackLength} - arrow - thumbLength);
  start = std::clamp<int64_t>(start, INT32_MIN / 2, INT32_MAX / 2);
  const int64_t end = std::clamp<int64_t>(start + thumbLength, INT32_MIN / 2, INT32_MAX / 2);
  return {static_cast<int>(start), static_cast<int>(end)};
}

TScrollPaintPlan PlanScrollPaint(const TScrollPaintFacts& f) {
  TScrollPaintPlan plan;
  const int width = std::max(f.Width, 0), height = std::max(f.Height, 0);
  const int length = f.Vertical ? height : width;
  auto along = [&](int from, int to) {
    from = std::clamp(from, 0, length);
    to = std::clamp(to, from, length);
    return f.Vertical ? TSliceRect{0, from, width, to} : TSliceRect{from, 0, to, height};
  };
  // A bar shorter than two arrows gets two arrows of half its length.
  const int arrow = std::max(f.Arrow, 0);
  const int arrowLength = int64_t{length} < 2 * int64_t{arrow} ? length / 2 : arrow;
  plan.FirstArrow = along(0, arrowLength);
  plan.SecondArrow = along(length - arrowLength, length);
  plan.Track = along(arrowLength, length - arrowLength);
  plan.TrackFrame = f.Enabled ? 1 : 3;
  auto state = [&](int part) { return f.HotPart == part ? (f.Pressed ? 1 : 3) : 0; };
  plan.FirstArrowFrame = (f.Vertical ? 9 : 1) + state(kPartFirstArrow);
  plan.SecondArrowFrame = (f.Vertical ? 13 : 5) + state(kPartSecondArrow);
  const TThumbSpan t = f.Thumb;
  if (f.Enabled && t.Start >= 0 && t.End <= length && t.End > t.Start) {
    plan.Thumb = along(t.Start, t.End);
    const bool onThumb = f.HotPart == kPartThumb;
    plan.ThumbFrame = onThumb ? (f.Pressed ? 2 : 3) : 1;
    const int thumbLength = t.End - t.Start;
    if (f.GripLength > 0 && f.GripLength <= thumbLength - 2) {
      const int from = t.Start + (thumbLength - f.GripLength) / 2;
      plan.Grip = along(from, from + f.GripLength);
      plan.GripFrame = (f.Vertical ? 20 : 17) + (onThumb ? (f.Pressed ? 1 : 2) : 0);
    }
  }
  return plan;
}

int32_t ComboTrackPosition(int offset0, int movement, int track, int thumb, const TScrollRange& r) {
  const int64_t room = int64_t{track} - thumb;
  if (track <= 0 || room <= 0) return r.Pos;
  int64_t offset = std::max<int64_t>(0, int64_t{offset0} + movement);
  int64_t position, highest;
  if (r.Page > 0) {
    offset = std::min(offset, room + 1);
    position = int64_t{r.Min} + MulDivRound(offset, int64_t{r.Max} - r.Min - r.Page, room);
    highest = int64_t{r.Max} - r.Page + 1;
  } else {
    // Over the thumb's room, not the whole track: the thumb at the end is the maximum.
    offset = std::min(offset, room);
    position = int64_t{r.Min} + MulDivRound(offset, int64_t{r.Max} - r.Min, room);
    highest = r.Max;
  }
  return Clamp64(position, r.Min, std::max<int64_t>(highest, r.Min));
}

int SkinBarThickness(int stripHeight, int arrowSize) {
  return std::abs(stripHeight - arrowSize) > 2 ? arrowSize : stripHeight;
}

}  // namespace skin
