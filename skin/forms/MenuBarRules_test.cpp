#include "skin/forms/MenuBarRules.h"

#include <gtest/gtest.h>

namespace skin {
namespace {

TEST(MenuBarRules, LayoutRunsFromTheStartEdgeInBothDirections) {
  EXPECT_EQ(MenuBarFirstOffset(true, false, 4, 6, 300), 8);
  EXPECT_EQ(MenuBarFirstOffset(true, true, 4, 6, 300), 14);
  EXPECT_EQ(MenuBarFirstOffset(true, false, 400, 6, 300), 12);  // wider than the bar
  EXPECT_EQ(MenuBarFirstOffset(false, true, 4, 6, 300), 6);

  // File (20 wide), a hidden item, an empty caption, Help (30 wide).
  const std::vector<int> widths{20, -1, 0, 30};
  auto ltr = LayoutMenuBar(widths, 8, 300, 20, false, 1 << 20);
  EXPECT_EQ(ltr[0], (TSliceRect{8, 0, 38, 19}));
  EXPECT_TRUE(ltr[1].Empty());
  EXPECT_EQ(ltr[2].Width(), 0);
  EXPECT_EQ(ltr[3], (TSliceRect{38, 0, 78, 19}));

  auto rtl = LayoutMenuBar(widths, 14, 300, 20, true, 1 << 20);
  EXPECT_EQ(rtl[0], (TSliceRect{256, 0, 286, 19}));
  EXPECT_EQ(rtl[3], (TSliceRect{216, 0, 256, 19}));
  // The maximized MDI child's buttons push the first button left.
  rtl = LayoutMenuBar(widths, 14, 300, 20, true, 250);
  EXPECT_EQ(rtl[0], (TSliceRect{220, 0, 250, 19}));
}

TEST(MenuBarRules, AcceleratorsTakeTheCharacterAfterASingleAmpersand) {
  EXPECT_EQ(AcceleratorOf(L"&File"), L'f');
  EXPECT_EQ(AcceleratorOf(L"E&xit"), L'x');
  EXPECT_EQ(AcceleratorOf(L"Save && &Quit"), L'q');
  EXPECT_EQ(AcceleratorOf(L"Fish && Chips"), 0);
  EXPECT_EQ(AcceleratorOf(L"Trailing&"), 0);
  EXPECT_TRUE(HasAccelerator(L"&Help", L'H'));
  EXPECT_TRUE(HasAccelerator(L"&Help", L'h'));
  EXPECT_FALSE(HasAccelerator(L"He&lp", L'h'));
  EXPECT_FALSE(HasAccelerator(L"Plain", 0));
}

TEST(MenuBarRules, ArrowKeysSwitchPopupsWithWrapAroundAndSwapRightToLeft) {
  EXPECT_EQ(MenuArrowKey(kKeyLeft, true), kKeyRight);
  EXPECT_EQ(MenuArrowKey(kKeyRight, true), kKeyLeft);
  EXPECT_EQ(MenuArrowKey(kKeyLeft, false), kKeyLeft);
  EXPECT_EQ(MenuArrowKey(kKeyReturn, true), kKeyReturn);

  EXPECT_EQ(ArrowSwitch(kKeyRight, true, false, true), 1);   // a plain item
  EXPECT_EQ(ArrowSwitch(kKeyRight, true, true, true), 0);    // opens its submenu instead
  EXPECT_EQ(ArrowSwitch(kKeyLeft, false, false, false), -1);
  EXPECT_EQ(ArrowSwitch(kKeyLeft, true, false, true), -1);
  EXPECT_EQ(ArrowSwitch(kKeyLeft, true, false, false), 0);   // closes the submenu instead
  EXPECT_EQ(ArrowSwitch(kKeyReturn, true, false, true), 0);

  const std::vector<bool> two{true, true};
  EXPECT_EQ(NextMenuButton(0, 1, two), 1);
  EXPECT_EQ(NextMenuButton(1, 1, two), 0);
  EXPECT_EQ(NextMenuButton(0, -1, two), 1);
  const std::vector<bool> gap{true, false, true};
  EXPECT_EQ(NextMenuButton(0, 1, gap), 2);
  EXPECT_EQ(NextMenuButton(2, 1, gap), 0);
  EXPECT_EQ(NextMenuButton(-1, 1, gap), 0);
  EXPECT_EQ(NextMenuButton(0, 1, {false, false}), -1);
  EXPECT_EQ(NextMenuButton(0, 1, {}), -1);
}

TEST(MenuBarRules, PopupPlacesMeasuresAndDrawers) {
  const TSliceRect file{8, 30, 38, 49};
  const TPopupPlace ltr = MenuPopupPlace(100, 200, file, false);
  EXPECT_EQ(ltr.X, 108);
  EXPECT_EQ(ltr.Y, 249);
  EXPECT_EQ(ltr.Flags, 0x82u);
  const TPopupPlace rtl = MenuPopupPlace(100, 200, file, true);
  EXPECT_EQ(rtl.X, 138);
  EXPECT_EQ(rtl.Flags, 0x8Au);

  EXPECT_EQ(MeasuredItemWidth(50, true, 3, true, false), 63);
  EXPECT_EQ(MeasuredItemWidth(50, true, 3, true, true), 65);
  EXPECT_EQ(MeasuredItemWidth(50, false, 3, false, true), 85);
  const TItemSize text = MeasureTextItem(40, 13, false, true, 3, true);
  EXPECT_EQ(text.Width, 69);
  EXPECT_EQ(text.Height, 17);
  EXPECT_EQ(MeasureTextItem(0, 13, true, false, 3, true).Height, 8);
  EXPECT_EQ(MeasureTextItem(0, 13, true, false, 3, false).Height, 12);

  EXPECT_EQ(MenuItemDrawer(true, 5, false), TItemDrawer::ClassLibrary);
  EXPECT_EQ(MenuItemDrawer(false, 0xF060, false), TItemDrawer::Temporary);
  EXPECT_EQ(MenuItemDrawer(false, 0, false), TItemDrawer::Temporary);
  EXPECT_EQ(MenuItemDrawer(false, 100, false), TItemDrawer::OldProcedure);
  EXPECT_EQ(MenuItemDrawer(false, 100, true), TItemDrawer::Temporary);

  EXPECT_EQ(ToolButtonFrame(true, true, true, true), 2);
  EXPECT_EQ(ToolButtonFrame(false, true, true, false), 4);
  EXPECT_EQ(ToolButtonFrame(false, false, true, true), 0);
  EXPECT_EQ(ToolButtonFrame(false, false, false, true), 1);
  EXPECT_EQ(ToolButtonFrame(false, false, false, false), 0);
}

}  // namespace
}  // namespace skin
