// The tab set's row of tabs, values worked out by hand (tab width = text + 16).
#include "classlib/TabsLogic.h"

#include <gtest/gtest.h>

namespace {

TTabSetMetrics Metrics(int width) {
  TTabSetMetrics m;
  m.ClientWidth = width;
  m.ClientHeight = 30;
  m.TabHeight = 20;
  m.StartMargin = 5;
  m.EndMargin = 15;
  m.ScrollerWidth = 32;
  return m;
}

TEST(TabsLogic, TabsThatFitNeedNoScroller) {
  // 5 + 26 + 36 + 46 = 113 <= 200 - 15
  const TTabSetLayout l = LayOutTabSet({10, 20, 30}, 2, Metrics(200));
  EXPECT_FALSE(l.ScrollerShown);
  EXPECT_EQ(l.FirstIndex, 0);  // nothing to scroll: asked 2, shows from 0
  ASSERT_EQ(l.Tabs.size(), 3u);
  EXPECT_EQ(l.Tabs[0], (TTabBox{5, 0, 31, 20}));
  EXPECT_EQ(l.Tabs[2], (TTabBox{67, 0, 113, 20}));
  EXPECT_EQ(TabSetTabAt(l, 31, 10), 1);
  EXPECT_EQ(TabSetTabAt(l, 30, 19), 0);
  EXPECT_EQ(TabSetTabAt(l, 30, 20), -1);  // below the tabs
  EXPECT_EQ(TabSetTabAt(l, 150, 5), -1);
  // Exactly up to the end margin still fits.
  EXPECT_FALSE(LayOutTabSet({10, 20, 30}, 0, Metrics(128)).ScrollerShown);
  EXPECT_TRUE(LayOutTabSet({10, 20, 30}, 0, Metrics(127)).ScrollerShown);
}

TEST(TabsLogic, OverflowingTabsScrollAndStopBeforeTheScroller) {
  // Six tabs of 40; width 150: scroller 118..150, room up to 118 (135 - 15 is more).
  const std::vector<int> texts(6, 24);
  const TTabSetLayout first = LayOutTabSet(texts, 0, Metrics(150));
  ASSERT_TRUE(first.ScrollerShown);
  EXPECT_EQ(first.Scroller, (TTabBox{118, 0, 150, 20}));
  ASSERT_EQ(first.Tabs.size(), 2u);  // 5..45, 45..85; 85..125 passes 118
  EXPECT_EQ(first.MaxFirstIndex, 4);  // the last two fit: 5 + 80 <= 118
  const TTabSetLayout scrolled = LayOutTabSet(texts, 3, Metrics(150));
  EXPECT_EQ(scrolled.FirstIndex, 3);
  EXPECT_EQ(TabSetTabAt(scrolled, 50, 5), 4);
  EXPECT_EQ(LayOutTabSet(texts, 99, Metrics(150)).FirstIndex, 4);
  EXPECT_EQ(LayOutTabSet(texts, -3, Metrics(150)).FirstIndex, 0);
  // Without scrolling by itself the row is cut and never scrolls.
  TTabSetMetrics fixed = Metrics(150);
  fixed.AutoScroll = false;
  const TTabSetLayout cut = LayOutTabSet(texts, 3, fixed);
  EXPECT_FALSE(cut.ScrollerShown);
  EXPECT_EQ(cut.FirstIndex, 0);
  EXPECT_EQ(cut.Tabs.size(), 3u);  // up to 135
}

TEST(TabsLogic, HostileSizesStayInside) {
  EXPECT_TRUE(LayOutTabSet({}, 0, Metrics(100)).Tabs.empty());
  // One tab wider than the room is still shown; the scroller never leaves the set.
  const TTabSetLayout wide = LayOutTabSet({500, -40}, 0, Metrics(20));
  ASSERT_FALSE(wide.Tabs.empty());
  EXPECT_EQ(wide.Tabs[0].Left, 5);
  EXPECT_GE(wide.Scroller.Left, 0);
  EXPECT_LE(wide.Scroller.Right, 20);
  EXPECT_EQ(wide.MaxFirstIndex, 1);
  TTabSetMetrics flat = Metrics(-5);
  flat.ClientHeight = 4;
  const TTabSetLayout l = LayOutTabSet({10}, 0, flat);
  ASSERT_EQ(l.Tabs.size(), 1u);
  EXPECT_EQ(l.Tabs[0].Bottom, 4);  // no taller than the set
  EXPECT_EQ(l.Scroller.Right, 0);
}

}  // namespace
