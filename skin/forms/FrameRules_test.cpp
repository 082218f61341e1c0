#include "skin/forms/FrameRules.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>

namespace skin {
namespace {

// Left, caption, right, bottom.
std::array<int, 4> Sides(const TFrameMetrics& m) { return {m.BorderLeft, m.CaptionHeight, m.BorderRight, m.BorderBottom}; }

TEST(FrameRules, MetricsFromBorderImagesWithHostileFrameCounts) {
  // Left 12 wide with 2 frames is 6; Top 2 frames stacked of 48 is 24.
  EXPECT_EQ(Sides(ComputeFrameMetrics(kBorderSizeable, {12, 100, 2}, {8, 100, 2}, {50, 48, 2}, {50, 8, 2})),
            (std::array<int, 4>{6, 24, 4, 4}));
  // Counts of 0 or below are one frame; no division by zero.
  EXPECT_EQ(Sides(ComputeFrameMetrics(kBorderDialog, {12, 1, 0}, {8, 1, -3}, {1, 30, 0}, {1, 5, INT_MIN})),
            (std::array<int, 4>{12, 30, 8, 5}));
  EXPECT_EQ(Sides(ComputeFrameMetrics(kBorderNone, {12, 1, 1}, {8, 1, 1}, {1, 30, 1}, {1, 5, 1})),
            (std::array<int, 4>{0, 0, 0, 0}));

  EXPECT_EQ(BorderFrameIndex(true, 2), 1);
  EXPECT_EQ(BorderFrameIndex(false, 2), 2);
  EXPECT_EQ(BorderFrameIndex(false, 1), 1);
  EXPECT_EQ(BorderFrameIndex(false, 0), 1);  // a clamped count: frame 2 does not exist
}

TEST(FrameRules, ClientRectInsideFrameNeverInverted) {
  const TFrameMetrics m{6, 24, 4, 5};
  EXPECT_EQ(SkinnedClientRect({100, 50, 400, 300}, m, 0), (TSliceRect{106, 74, 396, 295}));
  EXPECT_EQ(SkinnedClientRect({100, 50, 400, 300}, m, 19), (TSliceRect{106, 93, 396, 295}));
  // Smaller than its frame: empty, not inverted, within the window.
  TSliceRect r = SkinnedClientRect({100, 50, 105, 60}, m, 19);
  EXPECT_TRUE(r.Empty());
  EXPECT_GE(r.Right, r.Left);
  EXPECT_GE(r.Bottom, r.Top);
  EXPECT_LE(r.Right, 105);
  EXPECT_LE(r.Bottom, 60);
}

TEST(FrameRules, CaptionTextPlacement) {
  TCaptionTextFacts f;
  f.Caption = {6, 0, 306, 24};
  f.TextWidth = 100;
  f.TextHeight = 14;
  f.TextShift = 20;
  f.TextShiftVert = 3;  // halved toward zero: 1
  f.TextRightClip = 40;
  // Left aligned: shifted by TextShift, centred vertically.
  EXPECT_EQ(PlaceCaptionText(f), (TSliceRect{26, 6, 126, 20}));
  f.TextAlignment = 1;  // centred, with the back image's ends counted
  f.BackLeft = 4;
  f.BackRight = 6;
  EXPECT_EQ(PlaceCaptionText(f), (TSliceRect{101, 6, 211, 20}));
  f.TextAlignment = 2;  // right: before the clip
  EXPECT_EQ(PlaceCaptionText(f).Right, 306 - 40);
  // A long caption is clipped TextRightClip before the right end.
  f.TextAlignment = 0;
  f.BackLeft = f.BackRight = 0;
  f.TextWidth = 1000;
  EXPECT_EQ(PlaceCaptionText(f).Right, 266);
  // On a popup window the right-anchored buttons clip it 5 pixels before them.
  f.Popup = true;
  f.ButtonAreaWidth = 70;
  EXPECT_EQ(PlaceCaptionText(f).Right, 306 - 70 - 5);
  f.ButtonAreaWidth = 5;  // too small to count
  EXPECT_EQ(PlaceCaptionText(f).Right, 26 + 1000);
  // Right to left: after the buttons' room, moved 10 right; a negative offset starts
  // at TextShift.
  f.Popup = false;
  f.RightToLeft = true;
  f.TextWidth = 100;
  f.ButtonAreaWidth = 70;
  EXPECT_EQ(PlaceCaptionText(f).Left, 6 + 300 - 70 - 100 + 10);
  f.TextWidth = 400;
  EXPECT_EQ(PlaceCaptionText(f).Left, 20 + 10);
  // A dialog frame with left alignment starts 16 pixels further left.
  f.RightToLeft = false;
  f.DialogFrame = true;
  EXPECT_EQ(PlaceCaptionText(f).Left, 26 - 16);
}

TEST(FrameRules, ButtonVisibilityAndEnabling) {
  TCaptionFacts f;
  f.ButtonFlags = kButtonSysMenu | kButtonMinimize;  // no maximize box
  TAskButtonVisible never;
  // Maximize of Visibility 0 stays visible, disabled.
  TButtonShow s = CaptionButtonShow(1, 0, 0, f, true, never);
  EXPECT_TRUE(s.Visible);
  EXPECT_FALSE(s.Enabled);
  // Close needs the system menu.
  EXPECT_TRUE(CaptionButtonShow(0, 0, 0, f, true, never).Visible);
  f.ButtonFlags = kButtonMinimize;
  EXPECT_FALSE(CaptionButtonShow(0, 0, 0, f, true, never).Visible);
  // The icon never on a dialog frame.
  f.ButtonFlags = kButtonSysMenu;
  f.BorderKind = kBorderDialog;
  EXPECT_FALSE(CaptionButtonShow(3, 0, 0, f, true, never).Visible);
  EXPECT_TRUE(CaptionButtonShow(50, 200, 0, f, true, never).Visible);  // 200: dialog frame, no dialog class
  f.DialogClass = true;
  EXPECT_FALSE(CaptionButtonShow(50, 200, 0, f, true, never).Visible);
  // Codes read as Visibility and Visibility1, combined with AND.
  f = {};
  f.Maximized = true;
  EXPECT_FALSE(CaptionButtonShow(50, 3000, 0, f, true, never).Visible);
  f.ButtonFlags = kButtonHelp;
  EXPECT_TRUE(CaptionButtonShow(4, 10, 10, f, true, never).Visible);
  f.ButtonFlags = kButtonHelp | kButtonMinimize;
  EXPECT_FALSE(CaptionButtonShow(4, 10, 10, f, true, never).Visible);
  EXPECT_TRUE(CaptionButtonShow(4, 0, 10, f, true, never).Visible);
  // 1000..2000 asks the window with the code and action; Visibility1 passes.
  int asked = 0;
  TAskButtonVisible ask = [&](int code, int action) { asked = code * 100 + action; return code == 1500; };
  EXPECT_TRUE(CaptionButtonShow(50, 1500, 1999, f, true, ask).Visible);
  EXPECT_EQ(asked, 150050);
  EXPECT_FALSE(CaptionButtonShow(50, 1501, 0, f, true, ask).Visible);
  // 100 as Visibility1 repeats Visibility.
  f.MdiChildMaximizedWithMenuBar = true;
  EXPECT_TRUE(CaptionButtonShow(50, 100, 100, f, true, never).Visible);
  f.MdiChildMaximizedWithMenuBar = false;
  EXPECT_FALSE(CaptionButtonShow(50, 100, 0, f, true, never).Visible);
  EXPECT_TRUE(CaptionButtonShow(50, 0, 100, f, true, never).Visible);
}

TEST(FrameRules, ButtonPlacesAndFrames) {
  TButtonPlaceFacts f;
  f.WindowWidth = 400;
  f.CaptionTextRect = {30, 4, 130, 20};
  f.BorderRight = 4;
  f.CaptionHeight = 24;
  f.MenuBarHeight = 20;
  f.MenuBarLeftWidth = 3;
  // An image of 4 frames, 84 wide: 21 per frame.
  EXPECT_EQ(CaptionButtonRect(1, 26, 5, 84, 21, 4, f), (TSliceRect{374, 5, 395, 26}));
  EXPECT_EQ(CaptionButtonRect(2, 2, 3, 84, 21, 4, f), (TSliceRect{7, 3, 28, 24}));
  EXPECT_EQ(CaptionButtonRect(9, 2, 3, 84, 21, 4, f), (TSliceRect{132, 3, 153, 24}));
  EXPECT_EQ(CaptionButtonRect(100, 30, 0, 84, 16, 4, f), (TSliceRect{363, 26, 384, 42}));
  // Frame 0 draws the whole image; nothing overflows.
  EXPECT_EQ(CaptionButtonRect(0, 0, 0, 84, 21, 0, f).Width(), 84);
  TSliceRect r = CaptionButtonRect(1, INT_MIN, INT_MAX, INT_MAX, INT_MAX, 1, f);
  EXPECT_GE(r.Right, r.Left);

  EXPECT_EQ(CaptionButtonPaintFrame(false, true, 4), 4);
  EXPECT_EQ(CaptionButtonPaintFrame(true, false, 4), 4);
  EXPECT_EQ(CaptionButtonPaintFrame(false, false, 3), 1);
  EXPECT_EQ(CaptionButtonStateFrame(3, true, 4, true), 4);
  EXPECT_EQ(CaptionButtonStateFrame(2, false, 4, false), 4);
  EXPECT_EQ(CaptionButtonStateFrame(2, false, 2, false), 1);
  // A state past the image's frames is clamped to its last frame.
  EXPECT_EQ(CaptionButtonStateFrame(3, true, 2, false), 2);
  EXPECT_EQ(CaptionButtonStateFrame(2, true, -1, false), 1);
}

TEST(FrameRules, HitCodes) {
  // HTNOWHERE / HTCAPTION below y 3 become HTCAPTION, over the menu bar HTMENU.
  EXPECT_EQ(RewriteHitCode(0, 10, 24, 0), 2);
  EXPECT_EQ(RewriteHitCode(2, 2, 24, 0), 2);
  EXPECT_EQ(RewriteHitCode(0, 2, 24, 0), 0);
  EXPECT_EQ(RewriteHitCode(2, 30, 24, 19), 5);
  EXPECT_EQ(RewriteHitCode(2, 30, 24, 0), 2);
  // The system's own caption buttons never answer: the skin draws the buttons.
  for (int code : {3, 8, 9, 20, 21}) EXPECT_EQ(RewriteHitCode(code, 10, 24, 0), 2) << code;
  // Sizing borders and the client stay.
  for (int code : {1, 10, 11, 12, 13, 14, 15, 16, 17}) EXPECT_EQ(RewriteHitCode(code, 10, 24, 0), code);
}

TEST(FrameRules, RegionPiecesAndSkips) {
  TRegionFacts f;
  f.Width = 300;
  f.Height = 200;
  EXPECT_FALSE(RegionBuildSkipped(f));
  f.RegionWidth = 300;
  f.RegionHeight = 200;
  EXPECT_TRUE(RegionBuildSkipped(f));  // unchanged size
  f.State = kFormRefreshing;
  EXPECT_FALSE(RegionBuildSkipped(f));
  f.State = kFormActive;
  f.MdiChild = true;
  EXPECT_FALSE(RegionBuildSkipped(f));
  f.WindowState = kStateMaximized;
  EXPECT_TRUE(RegionBuildSkipped(f));
  f = {};
  f.State = kFormDestroyed;
  f.Width = f.Height = 10;
  EXPECT_TRUE(RegionBuildSkipped(f));

  const TFrameMetrics m{6, 24, 4, 5};
  const bool onlyBottom[4] = {false, false, false, true};
  std::vector<TRegionPiece> p = RegionPieces(300, 200, m, onlyBottom, kBorderSizeable);
  ASSERT_EQ(p.size(), 4u);
  EXPECT_EQ(p[0].Rect, (TSliceRect{0, 0, 6, 200}));
  EXPECT_EQ(p[1].Rect, (TSliceRect{296, 0, 300, 200}));
  EXPECT_EQ(p[2].Rect, (TSliceRect{6, 0, 296, 24}));
  EXPECT_EQ(p[3].Rect, (TSliceRect{6, 195, 296, 200}));
  EXPECT_FALSE(p[0].FromImage || p[1].FromImage || p[2].FromImage);
  EXPECT_TRUE(p[3].FromImage);
  // Too thin or without area: plain (possibly empty) rectangles.
  const bool all[4] = {true, true, true, true};
  p = RegionPieces(8, 1, {6, 1, 4, 1}, all, kBorderSizeable);
  ASSERT_EQ(p.size(), 4u);
  for (const TRegionPiece& piece : p) {
    EXPECT_FALSE(piece.FromImage);
    EXPECT_GE(piece.Rect.Right, piece.Rect.Left);
  }
  EXPECT_TRUE(RegionPieces(300, 200, m, all, kBorderNone).empty());
  EXPECT_EQ(RegionBase(300, 200, m), (TSliceRect{6, 24, 296, 195}));
}

TEST(FrameRules, SizesHintsMenusAndDoubleClicks) {
  const TFrameMetrics m{6, 24, 4, 5};
  EXPECT_EQ(SkinnedWindowSize(INT_MAX, INT_MAX, m, INT_MAX).Width, INT_MAX);
  // A dialog narrower than its caption: widened, children moved half the difference.
  TDialogWiden d = WidenDialogForCaption(100, 20, 150, 40);
  EXPECT_EQ(d.Width, 210);
  EXPECT_EQ(d.ChildShift, 55);

  EXPECT_EQ(CaptionHintPhase(999, 500, 2500), THintPhase::Wait);
  EXPECT_EQ(CaptionHintPhase(1000, 500, 2500), THintPhase::Show);
  EXPECT_EQ(CaptionHintPhase(3500, 500, 2500), THintPhase::Hide);

  // System menu: states from the window, grayed items disabled, checks kept.
  const uint8_t both = kButtonMaximize | kButtonMinimize | kButtonSysMenu;
  EXPECT_FALSE(SysMenuItemState(0xF120, 0, kStateNormal, both).Enabled);
  EXPECT_TRUE(SysMenuItemState(0xF120, 0, kStateMaximized, both).Enabled);
  EXPECT_FALSE(SysMenuItemState(0xF030, 0, kStateNormal, kButtonSysMenu).Enabled);
  EXPECT_FALSE(SysMenuItemState(0xF010, 0, kStateMaximized, both).Enabled);
  EXPECT_FALSE(SysMenuItemState(0xF060, 1, kStateNormal, both).Enabled);  // MF_GRAYED
  EXPECT_FALSE(SysMenuItemState(0xF060, 2, kStateNormal, both).Enabled);  // MF_DISABLED
  EXPECT_TRUE(SysMenuItemState(0x1234, 8, kStateNormal, both).Checked);

  // Closing: never with a grayed close item, old systems without one.
  const TSystemVersion win7{true, 6, 1}, nt4{true, 4, 0}, win98{false, 4, 10};
  EXPECT_TRUE(ClosingAllowed(win7, true, false));
  EXPECT_FALSE(ClosingAllowed(win7, true, true));
  EXPECT_FALSE(ClosingAllowed(win7, false, false));
  EXPECT_TRUE(ClosingAllowed(nt4, false, false));
  EXPECT_TRUE(ClosingAllowed(win98, false, false));
  EXPECT_FALSE(ClosingAllowed(nt4, true, true));

  EXPECT_EQ(NcDoubleClick(3, kStateNormal, both), TDoubleClick::Close);
  EXPECT_EQ(NcDoubleClick(0, kStateNormal, both), TDoubleClick::Nothing);
  EXPECT_EQ(NcDoubleClick(-1, kStateMaximized, both), TDoubleClick::Restore);
  EXPECT_EQ(NcDoubleClick(-1, kStateNormal, both), TDoubleClick::Maximize);
  EXPECT_EQ(NcDoubleClick(-1, kStateNormal, kButtonSysMenu), TDoubleClick::Old);
}

}  // namespace
}  // namespace skin
