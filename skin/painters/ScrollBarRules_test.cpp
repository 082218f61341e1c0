#include "skin/painters/ScrollBarRules.h"

#include <gtest/gtest.h>

namespace skin {
namespace {

TEST(ScrollBarRules, ControlThumbFollowsRangePageAndPosition) {
  // 200 long, 16-pixel arrows, 0..99 with a page of 10.
  EXPECT_EQ(ControlThumbSpan(200, 16, {0, 99, 10, 0}, true), (TThumbSpan{16, 31}));
  EXPECT_EQ(ControlThumbSpan(200, 16, {0, 99, 10, 90}, true), (TThumbSpan{169, 184}));
  // A tiny page: raised to 8 and placed on the track less those 8 pixels.
  EXPECT_EQ(ControlThumbSpan(200, 16, {0, 999, 2, 998}, true), (TThumbSpan{176, 184}));
  EXPECT_EQ(ControlThumbSpan(200, 16, {0, 999, 2, 0}, false), (TThumbSpan{16, 16}));
  // Without a page the thumb is an arrow long.
  EXPECT_EQ(ControlThumbSpan(200, 16, {0, 100, 0, 100}, true), (TThumbSpan{168, 184}));
  // An empty range counts as 9999999; a position past the range stays on the track.
  EXPECT_EQ(ControlThumbSpan(200, 16, {5, 5, 0, 5}, true), (TThumbSpan{16, 32}));
  EXPECT_EQ(ControlThumbSpan(200, 16, {0, 10, 5, 1000000}, true).End, 184);
  // No room between the arrows: an empty thumb.
  const TThumbSpan none = ControlThumbSpan(20, 16, {0, 10, 2, 3}, true);
  EXPECT_EQ(none.Start, none.End);
  EXPECT_EQ(MulDivRound(7, 3, 2), 11);  // 10.5 rounds away from zero
  EXPECT_EQ(MulDivRound(-7, 3, 2), -11);
  EXPECT_EQ(MulDivRound(5, 5, 0), 0);
}

TEST(ScrollBarRules, HitTestAndDragStopAtTheArrows) {
  const TThumbSpan thumb{40, 60};
  EXPECT_EQ(ScrollHitTest(15, 16, thumb, 200), kPartFirstArrow);
  EXPECT_EQ(ScrollHitTest(16, 16, thumb, 200), kPartPageBefore);
  EXPECT_EQ(ScrollHitTest(40, 16, thumb, 200), kPartThumb);
  EXPECT_EQ(ScrollHitTest(60, 16, thumb, 200), kPartPageAfter);
  EXPECT_EQ(ScrollHitTest(184, 16, thumb, 200), kPartSecondArrow);
  EXPECT_EQ(DragThumb(40, 30, 16, 200, 20), (TThumbSpan{70, 90}));
  EXPECT_EQ(DragThumb(40, -100, 16, 200, 20), (TThumbSpan{16, 36}));
  EXPECT_EQ(DragThumb(40, 1000, 16, 200, 20), (TThumbSpan{164, 184}));
}

TEST(ScrollBarRules, PaintPlanPicksFramesByPartAndState) {
  TScrollPaintFacts f;
  f.Vertical = true;
  f.Width = 16;
  f.Height = 200;
  f.Thumb = {40, 80};
  TScrollPaintPlan p = PlanScrollPaint(f);
  EXPECT_EQ(p.FirstArrow, (TSliceRect{0, 0, 16, 16}));
  EXPECT_EQ(p.SecondArrow, (TSliceRect{0, 184, 16, 200}));
  EXPECT_EQ(p.Track, (TSliceRect{0, 16, 16, 184}));
  EXPECT_EQ(p.FirstArrowFrame, 9);
  EXPECT_EQ(p.SecondArrowFrame, 13);
  EXPECT_EQ(p.TrackFrame, 1);
  EXPECT_EQ(p.Thumb, (TSliceRect{0, 40, 16, 80}));
  EXPECT_EQ(p.ThumbFrame, 1);
  EXPECT_EQ(p.Grip, (TSliceRect{0, 52, 16, 68}));
  EXPECT_EQ(p.GripFrame, 20);

  f.HotPart = kPartFirstArrow;
  f.Pressed = true;
  EXPECT_EQ(PlanScrollPaint(f).FirstArrowFrame, 10);
  f.HotPart = kPartSecondArrow;
  f.Pressed = false;
  EXPECT_EQ(PlanScrollPaint(f).SecondArrowFrame, 16);
  f.HotPart = kPartThumb;
  p = PlanScrollPaint(f);
  EXPECT_EQ(p.ThumbFrame, 3);
  EXPECT_EQ(p.GripFrame, 22);
  f.Pressed = true;
  p = PlanScrollPaint(f);
  EXPECT_EQ(p.ThumbFrame, 2);
  EXPECT_EQ(p.GripFrame, 21);

  // Disabled: the track's third frame and no thumb.
  f.Enabled = false;
  p = PlanScrollPaint(f);
  EXPECT_EQ(p.TrackFrame, 3);
  EXPECT_TRUE(p.Thumb.Empty());
  EXPECT_EQ(p.ThumbFrame, 0);

  // Horizontal, shorter than two arrows: half-length arrows, no track; a thumb too
  // short for its grip shows none.
  TScrollPaintFacts h;
  h.Vertical = false;
  h.Width = 20;
  h.Height = 16;
  h.Thumb = {2, 12};
  p = PlanScrollPaint(h);
  EXPECT_EQ(p.FirstArrow, (TSliceRect{0, 0, 10, 16}));
  EXPECT_EQ(p.SecondArrow, (TSliceRect{10, 0, 20, 16}));
  EXPECT_TRUE(p.Track.Empty());
  EXPECT_EQ(p.FirstArrowFrame, 1);
  EXPECT_EQ(p.SecondArrowFrame, 5);
  EXPECT_EQ(p.GripFrame, 0);
  // A thumb reaching outside the bar is not drawn.
  h.Thumb = {10, 30};
  EXPECT_EQ(PlanScrollPaint(h).ThumbFrame, 0);
}

TEST(ScrollBarRules, ComboTrackPositionStaysInRange) {
  const TScrollRange r{0, 99, 10, 0};
  // 168-pixel track, 17-pixel thumb that stood 10 pixels in.
  EXPECT_EQ(ComboTrackPosition(10, 0, 168, 17, r), 6);   // 10 * 89 / 151
  EXPECT_EQ(ComboTrackPosition(10, 50, 168, 17, r), 35);
  EXPECT_EQ(ComboTrackPosition(10, -100, 168, 17, r), 0);
  EXPECT_EQ(ComboTrackPosition(10, 1000, 168, 17, r), 90);  // max - page + 1
  // Without a page: the thumb at the end of its room is the maximum.
  EXPECT_EQ(ComboTrackPosition(0, 76, 168, 16, {0, 100, 0, 3}), 50);
  EXPECT_EQ(ComboTrackPosition(0, 1000, 168, 16, {0, 100, 0, 3}), 100);
  // No room to move: the position stays.
  EXPECT_EQ(ComboTrackPosition(0, 50, 0, 0, {0, 100, 0, 42}), 42);
  EXPECT_EQ(ComboTrackPosition(0, 50, 20, 20, r), 0);
  EXPECT_EQ(ComboTrackPosition(0, 50, 20, 30, {0, 99, 10, 7}), 7);
  // A page larger than the range keeps the minimum.
  EXPECT_EQ(ComboTrackPosition(0, 50, 168, 17, {5, 10, 50, 5}), 5);
}

}  // namespace
}  // namespace skin
