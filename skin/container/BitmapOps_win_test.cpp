#include "skin/container/BitmapOps_win.h"

#include <gtest/gtest.h>

namespace skin {
namespace {

// A 24-bit bitmap whose pixel (x, y) is 0x00RRGGBB with R = x * 20, G = y * 30, B = 7.
void FillNumbered(TBitmap& bitmap) {
  TPixelBuffer p(bitmap.Width(), bitmap.Height());
  for (int y = 0; y < p.Height; ++y)
    for (int x = 0; x < p.Width; ++x) p.At(x, y) = PixelFromRGB(static_cast<uint8_t>(x * 20), static_cast<uint8_t>(y * 30), 7);
  bitmap.FromPixelBuffer(p);
}

TEST(BitmapOpsWin, TurnsGiveTheSamePixelsAsThePureOperations) {
  // Widths 1, 3 and 5 at 24 bits leave row padding in the DIB.
  for (int w : {1, 3, 5}) {
    TBitmap source(w, 2, TPixelFormat::pf32bit);
    FillNumbered(source);
    TPixelBuffer original = source.ToPixelBuffer();
    struct {
      void (*onBitmap)(TBitmap&);
      TPixelBuffer (*onPixels)(const TPixelBuffer&);
    } ops[] = {{MirrorBitmap, MirrorPixels}, {FlipBitmap, FlipPixels},
               {TransposeBitmap, TransposePixels}, {RotateBitmap, RotatePixels}};
    for (auto& op : ops) {
      TBitmap b(w, 2, TPixelFormat::pf32bit);
      FillNumbered(b);
      op.onBitmap(b);
      EXPECT_EQ(b.PixelFormat(), TPixelFormat::pf24bit);
      TPixelBuffer want = op.onPixels(original);
      TPixelBuffer got = b.ToPixelBuffer();
      ASSERT_EQ(got.Width, want.Width);
      ASSERT_EQ(got.Height, want.Height);
      for (size_t i = 0; i < want.Pixels.size(); ++i) EXPECT_EQ(got.Pixels[i] & 0xFFFFFF, want.Pixels[i] & 0xFFFFFF);
    }
  }
}

TEST(BitmapOpsWin, ReplaceMagentaResolvesSystemColours) {
  TBitmap b(2, 1, TPixelFormat::pf32bit);
  TPixelBuffer p(2, 1);
  p.Pixels = {0xFF00FF, 0x123456};
  b.FromPixelBuffer(p);
  ReplaceMagenta(b, static_cast<TSkinColor>(0x80000000u + COLOR_BTNFACE));
  TPixelBuffer got = b.ToPixelBuffer();
  EXPECT_EQ(got.At(0, 0) & 0xFFFFFF, PixelFromColorRef(GetSysColor(COLOR_BTNFACE)));
  EXPECT_EQ(got.At(1, 0) & 0xFFFFFF, 0x123456u);
}

TEST(BitmapOpsWin, GradientFillPaintsLinesInsideTheClip) {
  TBitmap b(8, 6, TPixelFormat::pf24bit);
  HDC dc = b.Canvas().Handle();
  RECT all{0, 0, 8, 6};
  HBRUSH white = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  FillRect(dc, &all, white);
  HRGN clip = CreateRectRgn(0, 0, 8, 4);  // rows 4 and 5 clipped away
  SelectClipRgn(dc, clip);
  DeleteObject(clip);
  // 200 to 100 over 5 rows (1..5): 200, 175, 150, 125, 100 by hand.
  GradientFill(dc, RECT{2, 1, 6, 6}, RGB(200, 0, 0), true, RGB(100, 0, 0));
  SelectClipRgn(dc, nullptr);
  GdiFlush();
  TPixelBuffer got = b.ToPixelBuffer();
  EXPECT_EQ(got.At(2, 1) & 0xFFFFFF, PixelFromRGB(200, 0, 0));
  EXPECT_EQ(got.At(5, 2) & 0xFFFFFF, PixelFromRGB(175, 0, 0));
  EXPECT_EQ(got.At(3, 3) & 0xFFFFFF, PixelFromRGB(150, 0, 0));
  EXPECT_EQ(got.At(3, 4) & 0xFFFFFF, 0xFFFFFFu);  // clipped
  EXPECT_EQ(got.At(1, 2) & 0xFFFFFF, 0xFFFFFFu);  // left of the rectangle
  EXPECT_EQ(got.At(6, 2) & 0xFFFFFF, 0xFFFFFFu);  // right of it
  // Horizontal, and an empty rectangle does nothing.
  GradientFill(dc, RECT{0, 0, 3, 1}, RGB(0, 0, 0), false, RGB(0, 0, 30));
  GradientFill(dc, RECT{4, 4, 4, 6}, RGB(9, 9, 9), false, RGB(9, 9, 9));
  GdiFlush();
  got = b.ToPixelBuffer();
  EXPECT_EQ(got.At(0, 0) & 0xFFFFFF, PixelFromRGB(0, 0, 0));
  EXPECT_EQ(got.At(1, 0) & 0xFFFFFF, PixelFromRGB(0, 0, 15));
  EXPECT_EQ(got.At(2, 0) & 0xFFFFFF, PixelFromRGB(0, 0, 30));
  EXPECT_EQ(got.At(4, 5) & 0xFFFFFF, 0xFFFFFFu);
}

}  // namespace
}  // namespace skin
