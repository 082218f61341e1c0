// Line splitting, check cycling and scroll positions, values worked out by hand.
#include "classlib/StdCtrlsLogic.h"

#include <gtest/gtest.h>

namespace {

using Lines = std::vector<std::string>;

TEST(StdCtrlsLogic, SplitsAtEveryKindOfLineEnd) {
  EXPECT_EQ(SplitLines("a\r\nb\nc\rd"), (Lines{"a", "b", "c", "d"}));
  EXPECT_EQ(SplitLines("a\r\n"), (Lines{"a"}));
  EXPECT_EQ(SplitLines("a\r\n\r\nb"), (Lines{"a", "", "b"}));
  EXPECT_EQ(SplitLines("\n\r"), (Lines{"", ""}));  // LF then a lone CR: two empty lines
  EXPECT_TRUE(SplitLines("").empty());
  EXPECT_EQ(JoinLines({"a", "", "b"}), "a\r\n\r\nb");
  EXPECT_EQ(JoinLines({}), "");
}

TEST(StdCtrlsLogic, CheckStatesCycleThroughGrayedOnlyWhenAllowed) {
  EXPECT_EQ(NextCheckState(0, false), 1);
  EXPECT_EQ(NextCheckState(1, false), 0);
  EXPECT_EQ(NextCheckState(1, true), 2);
  EXPECT_EQ(NextCheckState(2, true), 0);
  EXPECT_EQ(NextCheckState(2, false), 0);  // a grayed box set by code still leaves it
}

TEST(StdCtrlsLogic, ScrollPositionsStayInRangeAndRespectThePage) {
  // range 0..100, page 10: the last page starts at 91
  EXPECT_EQ(ScrollPositionAfter(TScrollCode::LineDown, 0, 50, 0, 100, 1, 10, 10), 51);
  EXPECT_EQ(ScrollPositionAfter(TScrollCode::PageUp, 0, 5, 0, 100, 1, 10, 10), 0);
  EXPECT_EQ(ScrollPositionAfter(TScrollCode::PageDown, 0, 88, 0, 100, 1, 10, 10), 91);
  EXPECT_EQ(ScrollPositionAfter(TScrollCode::Bottom, 0, 0, 0, 100, 1, 10, 10), 91);
  EXPECT_EQ(ScrollPositionAfter(TScrollCode::Bottom, 0, 0, 0, 100, 1, 10, 0), 100);
  EXPECT_EQ(ScrollPositionAfter(TScrollCode::Top, 0, 40, -5, 100, 1, 10, 0), -5);
  EXPECT_EQ(ScrollPositionAfter(TScrollCode::ThumbTrack, 37, 0, 0, 100, 1, 10, 0), 37);
  EXPECT_EQ(ScrollPositionAfter(TScrollCode::ThumbPosition, 500, 0, 0, 100, 1, 10, 0), 100);
  EXPECT_EQ(ScrollPositionAfter(TScrollCode::EndScroll, 0, 42, 0, 100, 1, 10, 0), 42);
  // A page wider than the range pins the position to min.
  EXPECT_EQ(ScrollPositionAfter(TScrollCode::PageDown, 0, 0, 0, 10, 1, 5, 50), 0);
  // Extreme values do not overflow.
  EXPECT_EQ(ScrollPositionAfter(TScrollCode::PageDown, 0, 2147483600, 0, 2147483647, 1, 1000, 0), 2147483647);
}

}  // namespace
