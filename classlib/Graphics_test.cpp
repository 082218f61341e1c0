#include "classlib/Graphics.h"

#include <gtest/gtest.h>

namespace {

TEST(Graphics, FontSizeAndHeightFollowTheTypographicPoint) {
  // 1 point = 1/72 inch: 8 pt at 96 dpi is 10.67 pixels, rounded to 11.
  EXPECT_EQ(FontHeightFromSize(8, 96), -11);
  EXPECT_EQ(FontHeightFromSize(9, 96), -12);
  EXPECT_EQ(FontHeightFromSize(10, 96), -13);
  EXPECT_EQ(FontHeightFromSize(8, 120), -13);
  EXPECT_EQ(FontHeightFromSize(-8, 96), 11);  // a negative size asks for a cell height
  EXPECT_EQ(FontSizeFromHeight(-11, 96), 8);
  EXPECT_EQ(FontSizeFromHeight(-16, 96), 12);
  EXPECT_EQ(FontSizeFromHeight(13, 120), 8);
  EXPECT_EQ(FontSizeFromHeight(10, 0), 0);  // no division by zero
}

TEST(Graphics, ColoursAndFormats) {
  EXPECT_TRUE(IsSystemColor(clBtnFace));
  EXPECT_EQ(SystemColorIndex(clBtnFace), 15);  // COLOR_BTNFACE
  EXPECT_FALSE(IsSystemColor(clFuchsia));
  EXPECT_EQ(PixelFromColor(clRed), 0xFF0000u);  // TColor keeps red in the low byte
  EXPECT_EQ(ColorFromPixel(0x0000FF), clBlue);
  EXPECT_EQ(PixelFormatBits(TPixelFormat::pf15bit), 16);
  EXPECT_EQ(PixelFormatBits(TPixelFormat::pfDevice), 32);
  EXPECT_EQ(PixelFormatFromBits(4), TPixelFormat::pf4bit);
  EXPECT_EQ(PixelFormatFromBits(16), TPixelFormat::pf15bit);
  EXPECT_EQ(PixelFormatFromBits(2), TPixelFormat::pf24bit);
}

TEST(Graphics, AutoTransparentColourIsBottomLeft) {
  TPixelBuffer image(3, 2, 0x111111);
  image.At(0, 1) = 0xFF00FF;
  image.At(0, 0) = 0x00FF00;
  EXPECT_EQ(AutoTransparentColor(image), clFuchsia);
  EXPECT_EQ(AutoTransparentColor(TPixelBuffer()), clNone);
}

TEST(Graphics, DisabledImageGreysOpaquePixelsOnly) {
  TPixelBuffer image(2, 1);
  image.Pixels = {PixelFromRGB(100, 150, 200), PixelFromRGB(255, 0, 0)};
  TPixelBuffer dest(2, 1, 0x123456);
  // Luminance 0.30*100 + 0.59*150 + 0.11*200 = 141; halfway to 192: (141 + 192 + 1) / 2 = 167.
  ComposeDisabledImage(image, {1, 0}, PixelFromRGB(192, 192, 192), dest);
  EXPECT_EQ(dest.Pixels[0], PixelFromRGB(167, 167, 167));
  EXPECT_EQ(dest.Pixels[1], 0x123456u);  // transparent: destination kept

  TPixelBuffer other(3, 1, 7);
  ComposeDisabledImage(image, {1, 1}, 0, other);  // size mismatch: untouched
  EXPECT_EQ(other.Pixels, std::vector<uint32_t>(3, 7));
}

}  // namespace
