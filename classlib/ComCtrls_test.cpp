// Pure rules of the common controls and the status panels.
#include "classlib/ComCtrls.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

// Expected bits are spelled as numbers from the system's style constants:
// TCS_BOTTOM 0x2, TCS_VERTICAL 0x80 (with TCS_BOTTOM: right), TCS_BUTTONS 0x100,
// TCS_FLATBUTTONS 0x8, TCS_MULTILINE 0x200.
TEST(TabControlStyle, PositionAndStyleGiveTheSystemBits) {
  EXPECT_EQ(TabControlStyleBits(TTabPosition::tpTop, TTabStyle::tsTabs, false), 0x0u);
  EXPECT_EQ(TabControlStyleBits(TTabPosition::tpBottom, TTabStyle::tsTabs, false), 0x2u);
  EXPECT_EQ(TabControlStyleBits(TTabPosition::tpTop, TTabStyle::tsButtons, false), 0x100u);
  EXPECT_EQ(TabControlStyleBits(TTabPosition::tpTop, TTabStyle::tsFlatButtons, true), 0x308u);
  // Side tabs only work in rows: multi-line is forced.
  EXPECT_EQ(TabControlStyleBits(TTabPosition::tpLeft, TTabStyle::tsTabs, false), 0x280u);
  EXPECT_EQ(TabControlStyleBits(TTabPosition::tpRight, TTabStyle::tsTabs, false), 0x282u);
}

TEST(StatusParts, EdgesAreRunningSumsAndTheLastReachesTheEnd) {
  EXPECT_EQ(StatusPartEdges({50, 100, 80}), (std::vector<int>{50, 150, -1}));
  EXPECT_EQ(StatusPartEdges({120}), (std::vector<int>{-1}));
  EXPECT_EQ(StatusPartEdges({}), (std::vector<int>{-1}));
  EXPECT_EQ(StatusPartEdges({-20, 30, 5}), (std::vector<int>{0, 30, -1}));
  // Huge widths saturate instead of wrapping round.
  EXPECT_EQ(StatusPartEdges({INT_MAX, INT_MAX, 1}), (std::vector<int>{INT_MAX, INT_MAX, -1}));
  EXPECT_EQ(StatusPartEdges(std::vector<int>(300, 10)).size(), 256u);
}

TEST(Outline, IndentationGivesLevelsAndNoLevelIsSkipped) {
  const std::vector<std::string> lines = {"Root", "  Child", "    Grandchild", "", "  Second child",
                                          "\tTabbed child", "Other root  ", "      Too deep"};
  const std::vector<TOutlineNode> expected = {{0, "Root"},         {1, "Child"},        {2, "Grandchild"},
                                              {1, "Second child"}, {1, "Tabbed child"}, {0, "Other root"},
                                              {1, "Too deep"}};
  EXPECT_EQ(ParseOutline(lines), expected);
  // An indented first line is still a root.
  EXPECT_EQ(ParseOutline({"    first"}), (std::vector<TOutlineNode>{{0, "first"}}));
  EXPECT_TRUE(ParseOutline({"   ", ""}).empty());
}

TEST(UpDown, StepsStopOrWrapAtTheEndsOfEitherRangeOrder) {
  EXPECT_EQ(UpDownStep(5, 1, 0, 10, false), 6);
  EXPECT_EQ(UpDownStep(10, 1, 0, 10, false), 10);
  EXPECT_EQ(UpDownStep(10, 1, 0, 10, true), 0);
  EXPECT_EQ(UpDownStep(0, -1, 0, 10, true), 10);
  EXPECT_EQ(UpDownStep(3, -5, 0, 10, false), 0);
  // A reversed range (min above max) is the same interval.
  EXPECT_EQ(UpDownStep(5, 10, 10, 0, false), 10);
  EXPECT_EQ(UpDownStep(5, 0, 100, 20, false), 20);
  // No overflow at the ends of int.
  EXPECT_EQ(UpDownStep(INT_MAX, INT_MAX, INT_MIN, INT_MAX, false), INT_MAX);
  EXPECT_EQ(UpDownStep(INT_MIN, INT_MIN, INT_MIN, INT_MAX, true), INT_MAX);
}

// Golden serials from Python: (datetime(...) - datetime(1899, 12, 30)) in days.
TEST(DateTimeParts, SplitAndJoinLikeTheSystemRecord) {
  const TDateTime value = 46362.573266782405;  // 2026-12-06 13:45:30.250, a Sunday
  const TDateTimeParts parts = DateTimeToParts(value);
  EXPECT_EQ(parts.Year, 2026);
  EXPECT_EQ(parts.Month, 12);
  EXPECT_EQ(parts.Day, 6);
  EXPECT_EQ(parts.DayOfWeek, 0);
  EXPECT_EQ(parts.Hour, 13);
  EXPECT_EQ(parts.Minute, 45);
  EXPECT_EQ(parts.Second, 30);
  EXPECT_EQ(parts.Milliseconds, 250);
  auto back = PartsToDateTime(parts);
  ASSERT_TRUE(back.has_value());
  EXPECT_NEAR(*back, value, 1e-8);

  TDateTimeParts leap{2000, 2, 2, 29, 0, 0, 0, 0};
  ASSERT_TRUE(PartsToDateTime(leap).has_value());
  EXPECT_DOUBLE_EQ(*PartsToDateTime(leap), 36585.0);
  EXPECT_EQ(DateTimeToParts(36585.0).DayOfWeek, 2);  // a Tuesday

  for (TDateTimeParts bad : {TDateTimeParts{2001, 2, 0, 29, 0, 0, 0, 0}, TDateTimeParts{2001, 13, 0, 1, 0, 0, 0, 0},
                             TDateTimeParts{2001, 1, 0, 1, 24, 0, 0, 0}, TDateTimeParts{2001, 1, 0, 1, 0, 60, 0, 0}})
    EXPECT_FALSE(PartsToDateTime(bad).has_value()) << bad.Month << "/" << bad.Day << " " << bad.Hour;
}

class PanelWatcher {
 public:
  explicit PanelWatcher(TStatusPanels& panels) {
    panels.OnChange = [this] { ++changes; };
  }
  int changes = 0;
};

TEST(StatusPanels, LayoutFormsMakePanelsAndEveryChangeIsReported) {
  TStatusPanels panels;
  PanelWatcher watcher(panels);
  EXPECT_TRUE(SetPropText(&panels, "Texts", "Ready\r\nLine 1\r\nINS\r\n"));
  ASSERT_EQ(panels.Count(), 3);
  EXPECT_EQ(panels.Items(1)->Text(), "Line 1");
  EXPECT_EQ(panels.Items(2)->Index(), 2);
  EXPECT_TRUE(SetPropText(&panels, "Widths", "200\r\n80\r\n"));
  EXPECT_EQ(panels.Count(), 2);  // the line count decides
  EXPECT_EQ(panels.WidthValues(), (std::vector<int>{200, 80}));
  EXPECT_EQ(GetPropText(&panels, "Count"), std::optional<std::string>("2"));
  const int before = watcher.changes;
  // A width that is not a number changes nothing.
  EXPECT_THROW(SetPropText(&panels, "Widths", "10\r\nwide\r\n10\r\n"), EConvertError);
  EXPECT_EQ(panels.Count(), 2);
  EXPECT_EQ(panels.Items(0)->Width(), 200);
  EXPECT_EQ(watcher.changes, before);

  // The painters read a panel's properties by name.
  TStatusPanel* panel = panels.Items(0);
  EXPECT_EQ(GetEnumProp(panel, "Bevel"), std::optional<std::string>("pbLowered"));
  EXPECT_TRUE(SetEnumProp(panel, "Bevel", "pbRaised"));
  EXPECT_TRUE(SetEnumProp(panel, "Alignment", "taCenter"));
  EXPECT_TRUE(SetEnumProp(panel, "Style", "psOwnerDraw"));
  EXPECT_EQ(panel->Bevel(), TStatusPanelBevel::pbRaised);
  EXPECT_EQ(panel->Alignment(), TAlignment::taCenter);
  EXPECT_EQ(panel->Style(), TStatusPanelStyle::psOwnerDraw);
  EXPECT_EQ(GetStrProp(panel, "Text"), std::optional<std::string>("Ready"));
  EXPECT_EQ(watcher.changes, before + 3);

  EXPECT_THROW(panels.Items(2), EListError);
  EXPECT_THROW(panels.Delete(-1), EListError);
  panels.Delete(0);
  EXPECT_EQ(panels.Items(0)->Text(), "Line 1");
  EXPECT_EQ(panels.Add()->Index(), 1);
}

}  // namespace
