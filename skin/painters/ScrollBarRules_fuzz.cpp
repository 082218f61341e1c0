// Fuzz target: hostile ranges, pages, positions and bar sizes through the scroll-bar
// geometry. Nothing may divide by zero, and every planned rectangle lies inside the bar.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "skin/painters/ScrollBarRules.h"
#include "tests/support/FuzzInts.h"

namespace {

using TReader = velmora::fuzz::TFuzzInts;

void Check(bool condition) {
  if (!condition) std::abort();
}

void CheckInside(const skin::TSliceRect& r, int w, int h) {
  Check(r.Left >= 0 && r.Top >= 0 && r.Right <= w && r.Bottom <= h);
  Check(r.Right >= r.Left && r.Bottom >= r.Top);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace skin;
  TReader in{data, size};
  const int length = in.Next() & 0xFFFF, arrow = in.Next() & 0xFFF;
  TScrollRange range{in.Next(), in.Next(), in.Next(), in.Next()};
  for (bool eight : {false, true}) {
    const TThumbSpan t = ControlThumbSpan(length, arrow, range, eight);
    Check(t.Start <= t.End && t.Start >= 0 && t.End <= length);
    if (length > 2 * arrow) Check(t.Start >= arrow && t.End <= length - arrow);
  }
  TScrollPaintFacts f;
  f.Vertical = in.Next() & 1;
  f.Width = in.Next() & 0xFFFF;
  f.Height = in.Next() & 0xFFFF;
  f.Arrow = in.Next() & 0xFFF;
  f.Enabled = in.Next() & 1;
  f.HotPart = in.Next() % 7 - 1;
  f.Pressed = in.Next() & 1;
  f.Thumb = {in.Next(), in.Next()};
  f.GripLength = in.Next() & 0xFFF;
  const TScrollPaintPlan plan = PlanScrollPaint(f);
  for (const TSliceRect& r : {plan.Track, plan.FirstArrow, plan.SecondArrow, plan.Thumb, plan.Grip})
    CheckInside(r, f.Width, f.Height);
  Check(plan.FirstArrowFrame >= 1 && plan.SecondArrowFrame <= 23 && plan.GripFrame <= 23);

  const int track = in.Next() & 0xFFFF, thumb = in.Next() & 0xFFFF;
  const int32_t pos = ComboTrackPosition(in.Next(), in.Next(), track, thumb, range);
  if (track > thumb && track > 0) {
    Check(pos >= range.Min || range.Max < range.Min);
    if (range.Max >= range.Min) Check(int64_t{pos} <= int64_t{range.Max} || pos == range.Min);
  }
  const int p = in.Next();
  const int part = ScrollHitTest(p, arrow, {f.Thumb.Start, f.Thumb.End}, length);
  Check(part >= kPartNone && part <= kPartThumb);
  (void)DragThumb(in.Next(), in.Next(), arrow, length, thumb);
  (void)MulDivRound(in.Next(), in.Next(), in.Next());
  return 0;
}
