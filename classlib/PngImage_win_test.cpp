// The PNG image object on memory DCs: alpha blended over what lies under it, the
// disabled look, refusals that keep the image, and the glyph buttons' property.
#include "classlib/PngImage_win.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "classlib/Buttons_win.h"
#include "classlib/Layout.h"
#include "classlib/System.h"

namespace {

// 16 x 16, RGBA: an outer ring of 2 pixels red but fully transparent, a ring of 2
// half-transparent blue (alpha 128), an opaque green 8 x 8 centre.
const std::vector<uint8_t> kGlyph = {
    0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48, 0x44, 0x52, 0x00, 0x00,
    0x00, 0x10, 0x00, 0x00, 0x00, 0x10, 0x08, 0x06, 0x00, 0x00, 0x00, 0x1F, 0xF3, 0xFF, 0x61, 0x00, 0x00, 0x00,
    0x3F, 0x49, 0x44, 0x41, 0x54, 0x78, 0xDA, 0x63, 0xFC, 0xCF, 0x40, 0x19, 0x60, 0xA2, 0x50, 0x3F, 0x03, 0x0B,
    0x8C, 0xC1, 0xC8, 0xF0, 0xBF, 0x81, 0x14, 0x8D, 0xFF, 0x19, 0x18, 0x1B, 0xA8, 0xEB, 0x02, 0x18, 0x10, 0xDA,
    0x12, 0x5D, 0x8F, 0x4F, 0xC3, 0x3B, 0x9F, 0xA5, 0x8D, 0x54, 0x0D, 0x83, 0x51, 0x03, 0x06, 0x83, 0x01, 0x8C,
    0xFF, 0x07, 0x3A, 0x25, 0x32, 0x0E, 0x78, 0x6E, 0x04, 0x00, 0x5F, 0xED, 0x0D, 0x1F, 0xD0, 0x1A, 0x3A, 0x29,
    0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};
constexpr COLORREF kGreen = RGB(0x12, 0xB4, 0x5A);

// A 32-bit bitmap filled with `fill`, the glyph drawn at (4, 4).
COLORREF DrawnAt(TPngImage& png, COLORREF fill, int x, int y, bool enabled = true) {
  TBitmap surface(24, 24, TPixelFormat::pf32bit);
  HDC dc = surface.Canvas().Handle();
  HBRUSH brush = CreateSolidBrush(fill);
  RECT all{0, 0, 24, 24};
  FillRect(dc, &all, brush);
  DeleteObject(brush);
  png.Draw(surface.Canvas(), 4, 4, enabled);
  return GetPixel(surface.Canvas().Handle(), x, y);
}

bool Near(COLORREF got, COLORREF want) {
  return std::abs(GetRValue(got) - GetRValue(want)) <= 2 && std::abs(GetGValue(got) - GetGValue(want)) <= 2 &&
         std::abs(GetBValue(got) - GetBValue(want)) <= 2;
}

TEST(PngImageWin, DrawsBlendedByAlpha) {
  TPngImage png;
  png.LoadFromBytes(kGlyph);
  ASSERT_EQ(png.Width(), 16);
  const COLORREF under = RGB(200, 100, 40);
  EXPECT_EQ(DrawnAt(png, under, 12, 12), kGreen);         // opaque centre
  EXPECT_EQ(DrawnAt(png, under, 4, 4), under);            // transparent: no red
  EXPECT_EQ(DrawnAt(png, under, 19, 19), under);          // outside the image
  // Half blue over the colour under it.
  EXPECT_PRED2(Near, DrawnAt(png, under, 6, 12), RGB(200 * 127 / 255, 100 * 127 / 255, 40 * 127 / 255 + 128));
  // Disabled: grey at half opacity, so the centre is neither green nor opaque.
  const COLORREF grey = DrawnAt(png, RGB(0, 0, 0), 12, 12, false);
  EXPECT_EQ(GetRValue(grey), GetGValue(grey));
  EXPECT_PRED2(Near, grey, RGB(60, 60, 60));  // the green's luminance 121 at alpha 127
}

TEST(PngImageWin, RefusalKeepsTheImageAndButtonsCarryIt) {
  TPngImage png;
  png.LoadFromBytes(kGlyph);
  std::vector<uint8_t> corrupt = kGlyph;
  corrupt[40] ^= 0xFF;  // inside IDAT: the CRC no longer holds
  EXPECT_THROW(png.LoadFromBytes(corrupt), EInvalidGraphic);
  EXPECT_EQ(png.Width(), 16);
  EXPECT_EQ(png.Data(), kGlyph);

  // A layout gives a PNG bit button its image as the file's bytes; the property
  // reaches the same object, and copying keeps the bytes.
  std::string hex;
  for (uint8_t b : kGlyph) {
    static const char digits[] = "0123456789ABCDEF";
    hex += digits[b >> 4];
    hex += digits[b & 15];
  }
  InitUnits();
  RegisterButtonsClasses();
  std::unique_ptr<TComponent> button(CreateFromLayout(
      "object PngBitBtn1: TPngBitBtn\n  PngImage.Data = {\n    " + hex + "\n  }\nend\n", nullptr));
  auto* bit = dynamic_cast<TPngBitBtn*>(button.get());
  ASSERT_TRUE(bit);
  EXPECT_EQ(bit->PngImage()->Height(), 16);
  auto* viaProperty = dynamic_cast<TPngImage*>(GetObjectProp(bit, "PngImage").value_or(nullptr));
  EXPECT_EQ(viaProperty, bit->PngImage());
  TPngSpeedButton speed;
  speed.SetPngImage(bit->PngImage());
  EXPECT_EQ(speed.PngImage()->Data(), kGlyph);
  speed.SetPngImage(nullptr);
  EXPECT_TRUE(speed.PngImage()->Empty());
}

}  // namespace
