#include "skin/painters/SkinInputRules.h"

#include <gtest/gtest.h>

#include "skin/painters/SkinTabRules.h"

namespace skin {
namespace {

TEST(SkinInputRules, UpDownHalvesStatesAndFrames) {
  const TUpDownHalves v = UpDownHalves(16, 23, false);
  EXPECT_EQ(v.First, (TSliceRect{0, 0, 16, 11}));
  EXPECT_EQ(v.Second, (TSliceRect{0, 11, 16, 23}));
  const TUpDownHalves h = UpDownHalves(30, 12, true);
  EXPECT_EQ(h.First, (TSliceRect{0, 0, 15, 12}));
  EXPECT_EQ(h.Second, (TSliceRect{15, 0, 30, 12}));
  EXPECT_TRUE(UpDownHalves(-5, -5, false).First.Empty());
  // The held lower half: frame 6; the hot upper one 4; disabled 3 and 7.
  EXPECT_EQ(UpDownFrame(1, UpDownHalfState(true, true, true)), 6);
  EXPECT_EQ(UpDownFrame(0, UpDownHalfState(true, true, false)), 4);
  EXPECT_EQ(UpDownFrame(0, UpDownHalfState(true, false, true)), 1);  // pressed elsewhere
  EXPECT_EQ(UpDownFrame(0, UpDownHalfState(false, true, true)), 3);
  EXPECT_EQ(UpDownFrame(1, UpDownHalfState(false, false, false)), 7);
  EXPECT_EQ(UpDownFrame(7, 99), 8);  // kept inside the strip
  EXPECT_EQ(UpDownArrowDirection(0, false), 0);
  EXPECT_EQ(UpDownArrowDirection(1, true), 3);
}

TEST(SkinInputRules, LineArrowsStayAroundTheirCentre) {
  const std::vector<TLineSegment> up = LineArrow(0, 10, 10);
  ASSERT_EQ(up.size(), 7u);
  EXPECT_EQ(up[0], (TLineSegment{10, 10, 10, 9}));
  EXPECT_EQ(up[4], (TLineSegment{9, 11, 6, 14}));
  const std::vector<TLineSegment> down = LineArrow(1, 10, 10);
  EXPECT_EQ(down[0], (TLineSegment{10, 13, 10, 14}));
  const std::vector<TLineSegment> left = LineArrow(2, 10, 10);
  ASSERT_EQ(left.size(), 4u);
  EXPECT_EQ(left[1], (TLineSegment{11, 12, 11, 8}));
  for (int d = 0; d < 4; d++)
    for (const TLineSegment& s : LineArrow(d, 10, 10))
      for (int v : {s.X0, s.Y0, s.X1, s.Y1}) EXPECT_TRUE(v >= 6 && v <= 14) << d;
  EXPECT_TRUE(LineArrow(4, 0, 0).empty());
}

TEST(SkinInputRules, ProgressFillAndChunks) {
  EXPECT_EQ(ProgressFill(240, 60, 0, 100), 144);
  EXPECT_EQ(ProgressFill(240, 0, 0, 100), 0);  // position 0: background only
  EXPECT_EQ(ProgressFill(200, 30, 20, 70), 40);  // a minimum above 0 counts
  EXPECT_EQ(ProgressFill(200, 10, 20, 70), 0);   // below the range
  EXPECT_EQ(ProgressFill(200, 99, 20, 70), 200);  // above it
  EXPECT_EQ(ProgressFill(200, 5, 5, 5), 0);       // empty range
  EXPECT_EQ(ProgressFill(200, 5, 9, 1), 0);       // inverted range
  EXPECT_EQ(ProgressFill(0x7FFFFFFF, 0x7FFFFFFF, INT32_MIN, 0x7FFFFFFF), 0x7FFFFFFF);
  EXPECT_EQ(ProgressFill(-3, 1, 0, 2), 0);
  EXPECT_EQ(ChunkOffsets(20, 8), (std::vector<int>{0, 8, 16}));
  EXPECT_TRUE(ChunkOffsets(20, 0).empty());  // a chunk of width 0 draws none
  EXPECT_TRUE(ChunkOffsets(0, 8).empty());
  EXPECT_EQ(ChunkOffsets(0x7FFFFFFF, 1, 100).size(), 100u);
}

TEST(SkinInputRules, TrackChannelInThreePieces) {
  // A 16 x 4 groove with caps of 3 across a channel 100 wide, 8 high.
  std::vector<TSlicePiece> plan = TrackChannelPlan({10, 20, 110, 28}, 16, 4, 1, {3, 1, 3, 1}, false);
  ASSERT_EQ(plan.size(), 3u);
  EXPECT_EQ(plan[0].Dest, (TSliceRect{10, 22, 13, 26}));
  EXPECT_EQ(plan[1].Dest, (TSliceRect{13, 22, 107, 26}));
  EXPECT_EQ(plan[1].Source, (TSliceRect{3, 0, 13, 4}));
  EXPECT_EQ(plan[2].Dest, (TSliceRect{107, 22, 110, 26}));
  // Vertical: caps from the top and bottom margins, centred across.
  plan = TrackChannelPlan({20, 10, 28, 110}, 4, 16, 1, {1, 3, 1, 3}, true);
  ASSERT_EQ(plan.size(), 3u);
  EXPECT_EQ(plan[0].Dest, (TSliceRect{22, 10, 26, 13}));
  EXPECT_EQ(plan[1].Source, (TSliceRect{0, 3, 4, 13}));
  EXPECT_EQ(plan[2].Dest, (TSliceRect{22, 107, 26, 110}));
  // Counts below 1 and margins past the frame stay inside the image.
  for (const TSlicePiece& p : TrackChannelPlan({0, 0, 50, 8}, 16, 4, -3, {40, 0, 40, 0}, false)) {
    EXPECT_GE(p.Source.Left, 0);
    EXPECT_LE(p.Source.Right, 16);
  }
  EXPECT_TRUE(TrackChannelPlan({0, 0, 0, 8}, 16, 4, 1, {}, false).empty());
}

TEST(SkinInputRules, ComboStatesAndButtonPlaces) {
  EXPECT_EQ(ComboState(true, false, false, false), 1);
  EXPECT_EQ(ComboState(true, true, false, false), 4);
  EXPECT_EQ(ComboState(true, false, false, true), 4);
  EXPECT_EQ(ComboState(true, true, true, true), 2);
  EXPECT_EQ(ComboState(false, true, true, true), 3);
  EXPECT_EQ(ComboButtonRect(120, 21, 0, 16, 0, false), (TSliceRect{102, 2, 118, 19}));
  EXPECT_EQ(ComboButtonRect(120, 21, 0, 16, 0, true), (TSliceRect{2, 2, 18, 19}));
  EXPECT_EQ(ComboButtonRect(120, 21, 1, 17, 30, false), (TSliceRect{101, 2, 118, 19}));
  EXPECT_EQ(ComboButtonRect(120, 40, 1, 17, 21, true), (TSliceRect{2, 2, 19, 23}));
  EXPECT_EQ(ComboButtonRect(120, 21, 2, 16, 0, false), (TSliceRect{102, 0, 120, 21}));
  EXPECT_EQ(ComboButtonRect(120, 21, 2, 16, 0, true), (TSliceRect{0, 0, 18, 21}));
  EXPECT_TRUE(ComboButtonRect(10, 21, 0, 16, 0, false).Empty());
  EXPECT_TRUE(ComboButtonRect(120, 0, 0, 16, 0, false).Empty());
  EXPECT_EQ(ComboInnerRect(120, 21, 16, false), (TSliceRect{2, 2, 100, 19}));
  EXPECT_EQ(ComboInnerRect(120, 21, 16, true), (TSliceRect{20, 2, 118, 19}));
  EXPECT_TRUE(ComboInnerRect(15, 21, 16, false).Empty());
}

TEST(SkinInputRules, CheckListFrames) {
  EXPECT_EQ(CheckListFrame(0, 4), 1);
  EXPECT_EQ(CheckListFrame(1, 4), 2);
  EXPECT_EQ(CheckListFrame(2, 4), 4);
  EXPECT_EQ(CheckListFrame(0, 12), 1);
  EXPECT_EQ(CheckListFrame(1, 12), 5);
  EXPECT_EQ(CheckListFrame(2, 12), 8);  // grayed on 12 frames
  EXPECT_EQ(CheckListFrame(7, 12), 1);
}

TEST(SkinTabRules, BandsSidesAndCloseBoxes) {
  EXPECT_EQ(TabSideOfStyle(0), TTabSide::Top);
  EXPECT_EQ(TabSideOfStyle(0x2), TTabSide::Bottom);
  EXPECT_EQ(TabSideOfStyle(0x80), TTabSide::Left);
  EXPECT_EQ(TabSideOfStyle(0x82), TTabSide::Right);
  const TSliceRect display{0, 20, 200, 150};
  EXPECT_EQ(TabBand(200, 150, display, TTabSide::Top), (TSliceRect{0, 0, 200, 20}));
  EXPECT_EQ(TabBand(200, 170, {0, 0, 200, 150}, TTabSide::Bottom), (TSliceRect{0, 150, 200, 170}));
  EXPECT_EQ(TabBand(200, 150, {40, 0, 200, 150}, TTabSide::Left), (TSliceRect{0, 0, 40, 150}));
  EXPECT_EQ(TabBand(240, 150, {0, 0, 200, 150}, TTabSide::Right), (TSliceRect{200, 0, 240, 150}));
  EXPECT_TRUE(TabBand(200, 150, {0, -4, 200, 150}, TTabSide::Top).Empty());
  EXPECT_EQ(TabInBand({2, 2, 60, 20}, {0, 0, 200, 20}, TTabSide::Top), (TSliceRect{2, 3, 60, 21}));
  EXPECT_EQ(TabInBand({2, 152, 60, 170}, {0, 150, 200, 170}, TTabSide::Bottom), (TSliceRect{2, 1, 60, 19}));
  // Side bands are laid as top tabs and turned: a tab near the top of a left band
  // comes from the right end of the unturned one, of a right band from its left.
  EXPECT_EQ(UnturnedTabRect({2, 10, 38, 60}, 40, 150, TTabSide::Left), (TSliceRect{90, 2, 140, 38}));
  EXPECT_EQ(UnturnedTabRect({2, 10, 38, 60}, 40, 150, TTabSide::Right), (TSliceRect{10, 2, 60, 38}));
  EXPECT_EQ(UnturnedTabRect({2, 10, 38, 60}, 40, 150, TTabSide::Bottom), (TSliceRect{2, 10, 38, 60}));
  const std::vector<TSliceRect> squares{CloseSquare({0, 0, 60, 20}), CloseSquare({60, 0, 120, 20})};
  EXPECT_EQ(squares[0], (TSliceRect{52, 2, 58, 8}));
  EXPECT_EQ(HitRect(squares, 113, 5), 1);
  EXPECT_EQ(HitRect(squares, 58, 5), -1);
  EXPECT_EQ(HitRect(squares, 30, 5), -1);
  // A hidden tab before the clicked one shifts the numbers.
  EXPECT_EQ(SheetOfTab({true, false, true, true}, 1), 2);
  EXPECT_EQ(SheetOfTab({true, false, true, true}, 0), 0);
  EXPECT_EQ(SheetOfTab({true, false, true}, 2), -1);  // stale index: none
  EXPECT_EQ(SheetOfTab({true}, -1), -1);
}

TEST(SkinTabRules, ColoursHeaderAndStatusBar) {
  EXPECT_EQ(PaneMargins(0, {6, 6, 6, 6}).Top, 5);
  EXPECT_EQ(PaneMargins(1, {6, 6, 6, 6}).Top, 6);
  EXPECT_EQ(GivenOr(-1, 0x123456), 0x123456);
  EXPECT_EQ(GivenOr(0, 0x123456), 0);
  EXPECT_EQ(HeaderFaceFrame(1, 1), 2);
  EXPECT_EQ(HeaderFaceFrame(0, 1), 1);
  EXPECT_EQ(HeaderFaceFrame(-1, -1), 1);  // no hot item: every face 1
  EXPECT_EQ(StatusBevelFrame(1), 1);
  EXPECT_EQ(StatusBevelFrame(2), 2);
  EXPECT_EQ(StatusBevelFrame(0), 3);
  EXPECT_EQ(StatusPanelRect({0, 2, 200, 22}, false, 1000), (TSliceRect{0, 2, 202, 22}));
  EXPECT_EQ(StatusPanelRect({400, 2, 500, 22}, true, 1000), (TSliceRect{400, 2, 1000, 22}));
  EXPECT_EQ(StatusTextAlignment(0, true), 1);
  EXPECT_EQ(StatusTextAlignment(1, true), 0);
  EXPECT_EQ(StatusTextAlignment(2, true), 2);
  EXPECT_EQ(StatusTextAlignment(9, false), 0);
  EXPECT_EQ(SizeGripRect(1000, 22, 85, 21, 5), (TSliceRect{982, 0, 999, 21}));
  EXPECT_TRUE(SizeGripRect(1000, 22, 0, 21, 5).Empty());
  EXPECT_TRUE(SizeGripRect(1000, 22, 3, 21, 5).Empty());  // narrower than its count
}

}  // namespace
}  // namespace skin
