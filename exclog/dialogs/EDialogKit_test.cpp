// The dialog kit's pure rules: wrapped-text heights, the caption gradient, faces by
// character set, centring and the two timers' decisions.
#include "exclog/dialogs/EDialogKit.h"

#include <gtest/gtest.h>

namespace exclog {
namespace {

// Every character 10 pixels wide, a blank too.
int TenEach(std::string_view piece) { return static_cast<int>(piece.size()) * 10; }

TEST(DialogKitWrappedHeight, LinesWordsBlanksAndNarrowWidths) {
  // Room 100 (106 - 6): "aaaa bbbb" is 90 with its blank, one line; a third word
  // wraps. Without the blanks "aaaa bbbb c" (90) would be measured as one line.
  EXPECT_EQ(MeasureWrappedHeight("aaaa bbbb", 106, 13, TenEach), 13);
  EXPECT_EQ(MeasureWrappedHeight("aaaa bbbb c", 106, 13, TenEach), 26);
  EXPECT_EQ(MeasureWrappedHeight("aaaa bbbb cc", 106, 13, TenEach), 26);
  // Line ends of every kind; an empty line counts.
  EXPECT_EQ(MeasureWrappedHeight("a\r\nb\nc\rd", 106, 13, TenEach), 52);
  EXPECT_EQ(MeasureWrappedHeight("a\r\n\r\nb", 106, 13, TenEach), 39);
  EXPECT_EQ(MeasureWrappedHeight("", 106, 13, TenEach), 13);
  // A word wider than two rooms adds a height per whole room.
  EXPECT_EQ(MeasureWrappedHeight(std::string(25, 'x'), 106, 13, TenEach), 13 + 2 * 13);
  // Widths of 6 pixels and less never divide by zero and give a line per pixel.
  for (int width : {6, 5, 0, -20}) EXPECT_EQ(MeasureWrappedHeight("ab", width, 10, TenEach), 10 + 20 * 10) << width;
}

TEST(DialogKitCaption, GradientDarkensInwardAndGeometry) {
  TKitRect band{4, 4, 104, 22};
  std::vector<TGradientStep> steps = GradientSteps(band, 0xC29B82);
  ASSERT_EQ(steps.size(), 20u);  // 100 / 5
  // First step: each component x 0.96, rounded: 0x82 130 -> 125, 0x9B 155 -> 149, 0xC2 194 -> 186.
  EXPECT_EQ(steps[0].Colour, (186u << 16) | (149u << 8) | 125u);
  EXPECT_EQ(steps[0].Rect, band);
  EXPECT_EQ(steps[19].Rect, (TKitRect{42, 4, 66, 22}));
  for (size_t i = 1; i < steps.size(); ++i) {
    EXPECT_LT(steps[i].Colour & 0xFF, steps[i - 1].Colour & 0xFF);
    EXPECT_EQ(steps[i].Rect.Left, steps[i - 1].Rect.Left + 2);
  }
  EXPECT_TRUE(GradientSteps({0, 0, 4, 10}, 0xFFFFFF).empty());
  // A white start stays within a byte (capped) and darkens.
  EXPECT_EQ(GradientSteps({0, 0, 5, 1}, 0xFFFFFF)[0].Colour, 0xF5F5F5u);

  TCaptionGeometry g = CaptionGeometryOf(300, 200, 4, 4, 18);
  EXPECT_EQ(g.Inner, (TKitRect{3, 3, 297, 197}));
  EXPECT_EQ(g.Band, (TKitRect{4, 4, 296, 21}));
  EXPECT_EQ(g.Client, (TKitRect{3, 21, 297, 197}));
  EXPECT_NE(CaptionColours(true).GradientStart, CaptionColours(false).GradientStart);
}

TEST(DialogKitFaces, ByCharacterSet) {
  TDialogFaces western = FacesForCharset(0);
  EXPECT_EQ(western.Header, "Verdana");
  EXPECT_EQ(western.Fixed, "Lucida Console");
  EXPECT_EQ(western.List, "Tahoma");
  EXPECT_EQ(western.Points, 8);
  TDialogFaces eastern = FacesForCharset(238);  // EASTEUROPE_CHARSET of code page 1250
  EXPECT_EQ(eastern.Header, "MS Sans Serif");
  EXPECT_EQ(eastern.Fixed, "Courier New");
  EXPECT_EQ(eastern.List, "Courier New");
  EXPECT_EQ(eastern.Points, 10);
}

TEST(DialogKitPlacing, CentringAndButtons) {
  EXPECT_EQ(CenteredIn({0, 0, 800, 600}, 300, 201), (TKitPoint{250, 199}));
  // Larger than the area: the halves round toward zero.
  EXPECT_EQ(CenteredIn({10, 10, 110, 110}, 201, 101), (TKitPoint{-40, 10}));
  EXPECT_EQ(WithoutAmpersands("&Send && go"), "Send  go");
  EXPECT_EQ(ButtonWidthFor(10, 1), 75);
  EXPECT_EQ(ButtonWidthFor(80, 1), 100);
}

TEST(DialogKitTimers, AutoCloseCountAndKeepInFront) {
  TAutoCloseCount count;
  count.Start(0);
  for (int i = 0; i < 100; ++i) EXPECT_FALSE(count.Tick());
  count.Start(3);
  EXPECT_FALSE(count.Tick());
  EXPECT_FALSE(count.Tick());
  count.Reset();  // input: three whole quiet seconds from the next tick on
  EXPECT_FALSE(count.Tick());
  EXPECT_FALSE(count.Tick());
  EXPECT_FALSE(count.Tick());
  EXPECT_TRUE(count.Tick());
  count.Start(1);
  count.Reset();  // input just before a tick keeps a 1-second dialog open
  EXPECT_FALSE(count.Tick());
  EXPECT_TRUE(count.Tick());

  TForegroundFacts recorded;
  recorded.ForegroundRecorded = true;
  EXPECT_TRUE(ShouldRetakeForeground(recorded));
  TForegroundFacts f = recorded;
  f.DialogTopMost = true;
  EXPECT_FALSE(ShouldRetakeForeground(f));
  f = recorded;
  f.ForegroundIsDialog = true;
  EXPECT_FALSE(ShouldRetakeForeground(f));
  f = recorded;
  f.ForegroundOfOtherProcess = true;
  EXPECT_FALSE(ShouldRetakeForeground(f));
  EXPECT_FALSE(ShouldRetakeForeground(TForegroundFacts{}));  // a newer window of ours, or none
}

}  // namespace
}  // namespace exclog
