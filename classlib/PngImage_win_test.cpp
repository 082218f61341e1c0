// The PNG image object on memory DCs: alpha blended over what lies under it, the
// disabled look, refusals that keep the image, and the glyph buttons' property.
#include "classlib/PngImage_win.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "classlib/Buttons_win.h"
#include "classlib/Layout.h"
#include "classlib/System.h"
#include "tests/support/PngSamples.h"

namespace {

using velmora::test::kGlyph;
using velmora::test::kGreen;

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
