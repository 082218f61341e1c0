#include "skin/painters/SkinButtonRules.h"

#include <gtest/gtest.h>

#include "skin/container/BitmapOps.h"

namespace skin {
namespace {

TEST(SkinButtonRules, FaceFramesAndGlyphIndexes) {
  // enabled, focused, default, pressed, hot
  EXPECT_EQ(ButtonFaceFrame(true, false, false, false, false), 1);
  EXPECT_EQ(ButtonFaceFrame(true, true, true, false, false), 5);
  EXPECT_EQ(ButtonFaceFrame(true, false, true, false, false), 5);
  EXPECT_EQ(ButtonFaceFrame(true, true, false, true, true), 2);  // pressed over focus and hot
  EXPECT_EQ(ButtonFaceFrame(true, true, false, false, true), 4);
  EXPECT_EQ(ButtonFaceFrame(false, true, true, true, true), 3);  // disabled over all
  EXPECT_EQ(MenuButtonFaceFrame(true, true, false, false), 4);
  EXPECT_EQ(MenuButtonFaceFrame(true, false, false, false), 1);
  EXPECT_EQ(SpeedButtonFrame(true, false, true, false), 4);
  EXPECT_EQ(SpeedButtonFrame(false, true, false, false), 3);
  EXPECT_EQ(SpeedButtonFrame(false, false, false, true), 2);  // down wins
  EXPECT_EQ(GlyphImageIndex(1), 1);
  EXPECT_EQ(GlyphImageIndex(5), 1);
  EXPECT_EQ(GlyphImageIndex(2), 3);
  EXPECT_EQ(GlyphImageIndex(3), 2);
  EXPECT_EQ(GlyphImageIndex(1, true), 4);
  EXPECT_TRUE(FlatShowsFace(4));
  EXPECT_FALSE(FlatShowsFace(1));
}

TEST(SkinButtonRules, GlyphImagesStayInsideTheBitmap) {
  EXPECT_EQ(GlyphImageRect(32, 16, 2, 2), (TSliceRect{16, 0, 32, 16}));
  EXPECT_EQ(GlyphImageRect(32, 16, 0, 1), (TSliceRect{0, 0, 32, 16}));   // 0 counts as 1
  EXPECT_EQ(GlyphImageRect(32, 16, -3, 1), (TSliceRect{0, 0, 32, 16}));
  EXPECT_EQ(GlyphImageRect(32, 16, 2, 3), (TSliceRect{0, 0, 16, 16}));   // past the count: 1
  EXPECT_TRUE(GlyphImageRect(3, 16, 4, 2).Empty());                      // narrower than count
}

TEST(SkinButtonRules, CaptionSplitAndPlacement) {
  EXPECT_EQ(SplitCaption("One||Two||Three"), "One\r\nTwo||Three");
  EXPECT_EQ(SplitCaption("Plain"), "Plain");
  // 20 high text in 40: down by 9; centred in 100 wide: right by 30.
  EXPECT_EQ(ButtonCaptionRect({0, 0, 100, 40}, 40, 20, true), (TSliceRect{30, 9, 70, 29}));
  EXPECT_EQ(ButtonCaptionRect({2, 2, 102, 42}, 40, 20, false), (TSliceRect{2, 11, 102, 31}));
}

TEST(SkinButtonRules, BitButtonLayouts) {
  const TSliceRect work{2, 2, 92, 32};  // 90 x 30
  // Automatic margin and spacing: three equal gaps of (90 - 16 - 41) / 3 = 11.
  TBitButtonLayout l = LayoutBitButton(work, 16, 16, 41, 13, TGlyphLayout::Left, -1, -1, true);
  EXPECT_EQ(l.Glyph, (TSliceRect{13, 9, 29, 25}));
  EXPECT_EQ(l.Text.Left - l.Glyph.Right, 11);
  EXPECT_EQ(work.Right - l.Text.Right, 11);
  EXPECT_EQ(l.TextFlags, 0x10u);
  // Fixed margin, automatic spacing (not centred).
  l = LayoutBitButton(work, 16, 16, 40, 13, TGlyphLayout::Right, 4, -1, false);
  EXPECT_EQ(l.Glyph.Right, work.Right - 4);
  EXPECT_EQ(l.Glyph.Left - l.Text.Right, (90 - 4 - 16 - 40) / 2);
  EXPECT_EQ(l.TextFlags, 0x12u);
  // Fixed spacing centres the pair; top layout stacks them, text flags centred.
  l = LayoutBitButton({0, 0, 60, 60}, 16, 16, 30, 10, TGlyphLayout::Top, -1, 4, false);
  EXPECT_EQ(l.Glyph, (TSliceRect{22, 15, 38, 31}));
  EXPECT_EQ(l.Text, (TSliceRect{15, 35, 45, 45}));
  EXPECT_EQ(l.TextFlags, 0x11u);
  // No caption: spacing 0, the glyph centred.
  l = LayoutBitButton({0, 0, 60, 30}, 16, 16, 0, 0, TGlyphLayout::Left, -1, 6, false);
  EXPECT_EQ(l.Glyph.Left, 22);
  EXPECT_EQ(GlyphLayoutFromName("blGlyphBottom"), TGlyphLayout::Bottom);
  EXPECT_EQ(GlyphLayoutFromName("odd"), TGlyphLayout::Left);
}

TEST(SkinButtonRules, CheckFrames) {
  TCheckFacts f;
  f.ClassControl = true;
  f.HasChecked = true;
  f.CheckedText = "False";
  EXPECT_EQ(CheckFrame(f), 1);
  f.Disabled = true;
  EXPECT_EQ(CheckFrame(f), 3);
  f.CheckedText = "True";
  EXPECT_EQ(CheckFrame(f), 4);
  // "State" wins over "Checked"; grayed is mixed, disabled too stays in the strip.
  f.HasState = true;
  f.StateName = "cbGrayed";
  EXPECT_EQ(CheckFrame(f), 4);
  f.Frames = 12;
  EXPECT_EQ(CheckFrame(f), 12);
  f.Disabled = false;
  EXPECT_EQ(CheckFrame(f), 9);
  f.StateName = "cbUnchecked";
  EXPECT_EQ(CheckFrame(f), 1);
  f.StateName = "cbChecked";
  EXPECT_EQ(CheckFrame(f), 5);
  f.Disabled = true;
  EXPECT_EQ(CheckFrame(f), 8);
  f.StateName = "cbUnchecked";
  EXPECT_EQ(CheckFrame(f), 4);
  // Data-aware: the last BM_SETCHECK decides; "DataBinding" resets; indeterminate wins.
  TCheckFacts d;
  d.ClassControl = true;
  d.HasDataField = true;
  d.LastCheck = LastCheckFrom(1);
  EXPECT_EQ(CheckFrame(d), 2);
  d.LastCheck = LastCheckFrom(0xFFFFFFFF);
  EXPECT_EQ(d.LastCheck, 3);
  EXPECT_EQ(CheckFrame(d), 4);
  d.HasDataBinding = true;
  EXPECT_EQ(CheckFrame(d), 1);
  d.Indeterminate = true;
  EXPECT_EQ(CheckFrame(d), 4);
  // A plain window: BM_GETSTATE; a strip too short for the frame clamps.
  TCheckFacts w;
  w.Frames = 2;
  w.Checked = true;
  w.Disabled = true;
  EXPECT_EQ(CheckFrame(w), 2);
  w.Frames = 0;
  EXPECT_EQ(CheckFrame(w), 1);
}

TEST(SkinButtonRules, RadioFrames) {
  EXPECT_EQ(RadioFrame(4, true, false), 2);
  EXPECT_EQ(RadioFrame(4, false, true), 3);
  EXPECT_EQ(RadioFrame(8, true, false), 5);
  EXPECT_EQ(RadioFrame(8, true, true), 8);
  EXPECT_EQ(RadioFrame(8, false, true), 4);
  EXPECT_EQ(RadioFrame(2, true, true), 2);
}

TEST(SkinButtonRules, MarkAndGroupBoxGeometry) {
  TMarkLayout m = LayoutMark({0, 0, 100, 20}, 13, 13, false, false);
  EXPECT_EQ(m.Mark, (TSliceRect{0, 3, 13, 16}));
  EXPECT_EQ(m.Caption.Left, 15);
  EXPECT_EQ(m.Flags, 0x50u);
  m = LayoutMark({0, 0, 100, 20}, 13, 13, true, true);
  EXPECT_EQ(m.Mark, (TSliceRect{87, 3, 100, 16}));
  EXPECT_EQ(m.Caption.Right, 85);
  EXPECT_EQ(m.Flags, 0x50u | 0x20002u);

  TGroupBoxGeometry g = GroupBoxGeometryFor(200, 100, 50, 14, false, false);
  EXPECT_EQ(g.Frame, (TSliceRect{1, 6, 199, 99}));
  EXPECT_EQ(g.Caption, (TSliceRect{8, 0, 58, 14}));
  EXPECT_EQ(g.Flags, 0x40u);
  g = GroupBoxGeometryFor(200, 100, 50, 14, true, true);
  EXPECT_EQ(g.Caption, (TSliceRect{142, 0, 192, 14}));
  EXPECT_EQ(g.Flags, 0x20042u);
}

TEST(SkinButtonRules, GlyphSlotsAndMediaHits) {
  EXPECT_EQ(CheckGlyphSlots(5), (std::array<int, 9>{1, 2, 5, 1, 2, 5, 3, 4, 5}));
  EXPECT_EQ(CheckGlyphSlots(4), (std::array<int, 9>{1, 2, 0, 1, 2, 0, 3, 4, 0}));
  EXPECT_EQ(CheckGlyphSlots(2), (std::array<int, 9>{1, 2, 0, 1, 2, 0, 0, 0, 0}));
  EXPECT_EQ(RadioGlyphSlots(4), (std::array<int, 6>{1, 2, 1, 2, 3, 4}));
  EXPECT_EQ(RadioGlyphSlots(3), (std::array<int, 6>{1, 2, 1, 2, 3, 0}));

  // A 4-frame strip of 2 x 1 frames, pixel = frame number.
  TPixelBuffer strip(8, 1);
  for (int x = 0; x < 8; x++) strip.At(x, 0) = uint32_t(x / 2 + 1);
  const std::array<int, 9> slots = CheckGlyphSlots(4);
  TPixelBuffer built = BuildSlotStrip(strip, 4, slots.data(), 9);
  ASSERT_EQ(built.Width, 18);
  EXPECT_EQ(built.At(1, 0), 1u);
  EXPECT_EQ(built.At(2, 0), 2u);
  EXPECT_EQ(built.At(4, 0), kMagentaPixel);  // slot 2: no fifth frame
  EXPECT_EQ(built.At(13, 0), 3u);
  EXPECT_EQ(built.At(15, 0), 4u);
  EXPECT_EQ(BuildSlotStrip(strip, 9, slots.data(), 9).Width, 0);  // narrower than its count
  EXPECT_EQ(MediaButtonWidth(100, 9), 11);
  EXPECT_EQ(MediaButtonAt(0, 100, 9), 0);
  EXPECT_EQ(MediaButtonAt(98, 100, 9), 8);  // the leftover pixels belong to the last
  EXPECT_EQ(MediaButtonAt(100, 100, 9), -1);
  EXPECT_EQ(MediaButtonAt(3, 5, 9), -1);  // narrower than its buttons
  EXPECT_EQ(MediaButtonAt(3, 100, 0), -1);
  EXPECT_EQ(MediaButtonAt(-1, 100, 9), -1);
  // Set texts: whole elements, any case and spacing; "btPlayer" is no "btPlay".
  EXPECT_EQ(MediaButtonSet("[btPlay, BTSTOP,bteject]"), 1u | 4u | 256u);
  EXPECT_EQ(MediaButtonSet("[btPlayer,btNex]"), 0u);
  EXPECT_EQ(MediaButtonSet("[]"), 0u);
  EXPECT_EQ(MediaButtonSet("btBack"), 64u);
}

}  // namespace
}  // namespace skin
