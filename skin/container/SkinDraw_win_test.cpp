// Drawing routines executed by GDI into memory DCs, sampled with frame-coded
// colours; the region builder checked against a mask computed by PIL.
#include "skin/container/SkinDraw_win.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <string>

#include "classlib/BmpCodec.h"
#include "tests/support/GuiProbe_win.h"
#include "tests/support/TestPaths.h"

namespace skin {
namespace {

constexpr uint32_t kMagenta = 0xFF00FF;
constexpr uint32_t kGrey = 0x404040;

// Frame f (0-based) of a 12 x 12 cell, margins 3: red 10 (f + 1), green slice * 20
// (plus the column's parity in the centre), blue 0x11; each frame's top-left pixel is
// magenta.
TPixelBuffer CodedImage(int frames) {
  TPixelBuffer img(12 * frames, 12);
  for (int f = 0; f < frames; ++f)
    for (int y = 0; y < 12; ++y)
      for (int x = 0; x < 12; ++x) {
        int col = x < 3 ? 0 : (x < 9 ? 1 : 2), row = y < 3 ? 0 : (y < 9 ? 1 : 2);
        int slice = row * 3 + col;
        int green = slice * 20 + (slice == 4 ? x % 2 : 0);
        img.At(f * 12 + x, y) = PixelFromRGB(10 * (f + 1), green, 0x11);
      }
  for (int f = 0; f < frames; ++f) img.At(f * 12, 0) = kMagenta;
  return img;
}

struct TCanvasDib {
  TSkinDib dib;
  TSelectedDC dc;
  explicit TCanvasDib(int w, int h, uint32_t fill = kGrey) : dib(w, h), dc(dib.Handle()) {
    std::fill(dib.Pixels(), dib.Pixels() + w * h, fill);
  }
  uint32_t At(int x, int y) {
    GdiFlush();
    return dib.Pixels()[y * dib.Width() + x] & 0xFFFFFF;
  }
};

uint32_t Coded(int frame, int green) { return PixelFromRGB(10 * frame, green, 0x11); }

TEST(SkinDrawTest, SlicedFrameTakesFrameKAndItsSlices) {
  TPixelBuffer img = CodedImage(3);
  for (bool tile : {false, true}) {
    TCanvasDib c(60, 50);
    DrawSlicedFrame(c.dc.Handle(), RECT{5, 5, 45, 35}, img, false, tile, false, 3, 2, {3, 3, 3, 3});
    SCOPED_TRACE(tile ? "tiled" : "stretched");
    EXPECT_EQ(c.At(5, 5), kMagenta);  // opaque copy keeps the key colour
    EXPECT_EQ(c.At(6, 6), Coded(2, 0));
    EXPECT_EQ(c.At(25, 5), Coded(2, 20));
    EXPECT_EQ(c.At(44, 20), Coded(2, 100));
    EXPECT_EQ(c.At(25, 34), Coded(2, 140));
    EXPECT_EQ(c.At(44, 34), Coded(2, 160));
    EXPECT_EQ(c.At(4, 4), kGrey);
    EXPECT_EQ(c.At(45, 35), kGrey);
    // Centre offset 6: tiles restart at source column 3 (odd), stretching is at column 4.
    EXPECT_EQ(c.At(5 + 3 + 6, 20), Coded(2, tile ? 81 : 80));
  }
  // Margins wider than the rectangle: the frame stretched whole, no end pieces.
  TCanvasDib n(20, 20);
  DrawSlicedFrame(n.dc.Handle(), RECT{0, 0, 4, 20}, img, false, false, false, 3, 1, {3, 3, 3, 3});
  EXPECT_EQ(n.At(2, 10), Coded(1, 80 + 0));
  // Hostile counts and indexes neither crash nor draw outside the rectangle, and what
  // they draw inside comes from the image (or is the empty key colour).
  std::set<uint32_t> known = {kGrey, kMagenta, 5};
  for (uint32_t p : img.Pixels) known.insert(p & 0xFFFFFF);
  auto drawsInsideOnly = [&](const RECT& r, const TPixelBuffer& image, bool vertical, bool tile, int count, int k,
                             TSliceMargins margins) {
    TCanvasDib c(20, 20);
    DrawSlicedFrame(c.dc.Handle(), r, image, vertical, tile, false, count, k, margins);
    for (int y = 0; y < 20; ++y)
      for (int x = 0; x < 20; ++x) {
        const bool inside = x >= r.left && x < r.right && y >= r.top && y < r.bottom;
        if (!inside) ASSERT_EQ(c.At(x, y), kGrey) << x << "," << y;
        ASSERT_TRUE(known.count(c.At(x, y))) << x << "," << y;
      }
  };
  drawsInsideOnly(RECT{2, 2, 12, 12}, img, false, false, 0, 9, {-4, 99, 7, -1});
  drawsInsideOnly(RECT{2, 2, 12, 12}, TPixelBuffer(1, 1, 5), true, true, 3, 2, {});
  drawsInsideOnly(RECT{10, 10, 5, 5}, img, false, false, 3, 1, {});
}

TEST(SkinDrawTest, TransparentPathsLeaveKeyPixelsUntouched) {
  TPixelBuffer img = CodedImage(1);
  TSkinDib bmp(img);
  for (TTransparentPath path : {TTransparentPath::MaskBlt, TTransparentPath::ThreeBlits}) {
    for (uint32_t under : {0x00FF00u, kMagenta}) {
      TCanvasDib c(20, 20, under);
      DrawTransparent(c.dc.Handle(), RECT{2, 2, 14, 14}, bmp.Handle(), RGB(255, 0, 255), path);
      SCOPED_TRACE(path == TTransparentPath::MaskBlt ? "MaskBlt" : "three blits");
      EXPECT_EQ(c.At(2, 2), under);  // the key pixel
      EXPECT_EQ(c.At(3, 2), Coded(1, 0));
      EXPECT_EQ(c.At(8, 8), Coded(1, 80 + 0));  // image column 6
      EXPECT_EQ(c.At(13, 13), Coded(1, 160));
      EXPECT_EQ(c.At(14, 14), under);
    }
  }
  // The sliced routine through both paths.
  for (TTransparentPath path : {TTransparentPath::MaskBlt, TTransparentPath::ThreeBlits}) {
    TCanvasDib c(30, 30);
    DrawSlicedFrame(c.dc.Handle(), RECT{0, 0, 30, 30}, img, false, false, true, 1, 1, {3, 3, 3, 3}, path);
    EXPECT_EQ(c.At(0, 0), kGrey);
    EXPECT_EQ(c.At(1, 1), Coded(1, 0));
  }
}

TEST(SkinDrawTest, StripStretchedCentredAndThreePart) {
  TPixelBuffer img = CodedImage(3);
  TCanvasDib c(80, 40);
  // Strip: left end 3, middle copies of 6 from column 3, right end 3.
  DrawTiledStrip(c.dc.Handle(), RECT{0, 0, 40, 12}, img, false, false, 3, 3, {3, 0, 3, 0});
  EXPECT_EQ(c.At(1, 5), Coded(3, 60));
  EXPECT_EQ(c.At(3 + 6, 5), Coded(3, 81));  // second middle copy starts at column 3
  EXPECT_EQ(c.At(38, 5), Coded(3, 100));
  // Ends covering the whole frame: no middle, and it returns.
  DrawTiledStrip(c.dc.Handle(), RECT{0, 20, 40, 32}, img, false, false, 3, 1, {6, 0, 6, 0});
  TCanvasDib s(40, 40);
  DrawStretchedFrame(s.dc.Handle(), RECT{0, 0, 24, 24}, img, false, 3, 2);
  EXPECT_EQ(s.At(12, 12), Coded(2, 80 + 0));
  EXPECT_EQ(s.At(23, 23), Coded(2, 160));
  EXPECT_EQ(s.At(24, 24), kGrey);
  TCanvasDib m(40, 40);
  DrawCentredFrame(m.dc.Handle(), RECT{0, 0, 31, 30}, img, true, 3, 1);
  EXPECT_EQ(m.At(9, 9), kGrey);         // (31 - 12) / 2 = 9: the key corner, transparent
  EXPECT_EQ(m.At(10, 9), Coded(1, 0));
  EXPECT_EQ(m.At(20, 20), Coded(1, 160));
  EXPECT_EQ(m.At(21, 21), kGrey);
  TCanvasDib t(60, 20);
  DrawThreePartFrame(t.dc.Handle(), RECT{5, 2, 45, 14}, img, false, 3, 2, {3, 0, 3, 0});
  EXPECT_EQ(t.At(6, 5), Coded(2, 60));
  EXPECT_EQ(t.At(43, 5), Coded(2, 100));
  EXPECT_EQ(t.At(4, 5), kGrey);
}

// A bottom-up 24-bit DIB section holding `pixels`.
HBITMAP BottomUp24(const TPixelBuffer& pixels) {
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = pixels.Width;
  bi.bmiHeader.biHeight = pixels.Height;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 24;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP b = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  int stride = (pixels.Width * 3 + 3) & ~3;
  for (int y = 0; y < pixels.Height; ++y) {
    auto* row = static_cast<uint8_t*>(bits) + (pixels.Height - 1 - y) * stride;
    for (int x = 0; x < pixels.Width; ++x) {
      uint32_t p = pixels.At(x, y);
      row[3 * x] = PixelBlue(p);
      row[3 * x + 1] = PixelGreen(p);
      row[3 * x + 2] = PixelRed(p);
    }
  }
  return b;
}

std::string BitsOf(HBITMAP b) {
  DIBSECTION ds{};
  GetObject(b, sizeof ds, &ds);
  GdiFlush();
  return std::string(static_cast<const char*>(ds.dsBm.bmBits), ds.dsBm.bmWidthBytes * ds.dsBm.bmHeight);
}

TEST(SkinDrawTest, BitmapToRegionMatchesAnIndependentMask) {
  // Many short runs (more than two batches), and near-magenta pixels either side of
  // the tolerance.
  const int w = 300, h = 60;
  TPixelBuffer img(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      int v = (x * 7 + y * 13) % 11;
      img.At(x, y) = v < 3 ? kMagenta : v == 3 ? 0xFF01FE : v == 4 ? 0xFE00FF : v == 5 ? 0xFF01FF
                                                                     : PixelFromRGB(x, y, 40);
    }
  char name[64];
  std::snprintf(name, sizeof name, "/tmp/velmora-skindraw-%lu.bmp", GetCurrentProcessId());
  {
    std::vector<uint8_t> file = EncodeBmpFile(img, 24, {});
    std::ofstream out(velmora::test::HostPath(name), std::ios::binary);
    out.write(reinterpret_cast<const char*>(file.data()), file.size());
  }
  // PIL: transparent when each channel lies in [key, min(key + 1, 255)].
  std::string script =
      "from PIL import Image\n"
      "im = Image.open('" + std::string(name) + "').convert('RGB')\n"
      "w, h = im.size; px = im.load(); key = (255, 0, 255)\n"
      "t = lambda p: all(k <= c <= min(k + 1, 255) for c, k in zip(p, key))\n"
      "bits = ''.join('0' if t(px[x, y]) else '1' for y in range(h) for x in range(w))\n"
      "runs = sum(1 for y in range(h) for x in range(w) if bits[y*w+x] == '1' and (x == 0 or bits[y*w+x-1] == '0'))\n"
      "print(runs); print(bits)\n";
  std::string pyName = std::string(name) + ".py";
  {
    std::ofstream py(velmora::test::HostPath(pyName));
    py << script;
  }
  auto answer = velmora::test::RunHostCommand("/usr/bin/python3 " + pyName + "; rm -f " + name + " " + pyName);
  ASSERT_TRUE(answer.has_value());
  int runs = 0;
  char mask[w * h + 1] = {};
  ASSERT_EQ(std::sscanf(answer->c_str(), "%d %18000s", &runs, mask), 2);
  EXPECT_GT(runs, 4000);

  HBITMAP bmp = BottomUp24(img);
  std::string before = BitsOf(bmp);
  HRGN rgn = BitmapToRegion(bmp, 7, -3, 1, 1, 1, RGB(255, 0, 255));
  ASSERT_NE(rgn, nullptr);
  EXPECT_EQ(BitsOf(bmp), before);
  int wrong = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if ((PtInRegion(rgn, x + 7, y - 3) != 0) != (mask[y * w + x] == '1')) ++wrong;
  EXPECT_EQ(wrong, 0);
  DeleteObject(rgn);
  DeleteObject(bmp);
}

TEST(SkinDrawTest, RegionEdgeCases) {
  TPixelBuffer row(7, 1, 0x123456);
  row.At(3, 0) = kMagenta;
  HBITMAP one = BottomUp24(row);  // one pixel high
  HRGN r = BitmapToRegion(one, 0, 0, 1, 1, 1, RGB(255, 0, 255));
  ASSERT_NE(r, nullptr);
  EXPECT_TRUE(PtInRegion(r, 2, 0));
  EXPECT_FALSE(PtInRegion(r, 3, 0));
  EXPECT_TRUE(PtInRegion(r, 6, 0));
  EXPECT_FALSE(PtInRegion(r, 0, 1));
  DeleteObject(r);
  DeleteObject(one);
  HBITMAP all = BottomUp24(TPixelBuffer(9, 9, kMagenta));
  r = BitmapToRegion(all, 0, 0, 1, 1, 1, RGB(255, 0, 255));
  RECT box;
  EXPECT_EQ(GetRgnBox(r, &box), NULLREGION);
  DeleteObject(r);
  DeleteObject(all);
  HBITMAP none = BottomUp24(TPixelBuffer(9, 4, 0));
  r = BitmapToRegion(none, 1, 1, 1, 1, 1, RGB(255, 0, 255));
  EXPECT_EQ(GetRgnBox(r, &box), SIMPLEREGION);  // one rectangle per row, merged
  EXPECT_EQ(box.left, 1);
  EXPECT_EQ(box.bottom, 5);
  DeleteObject(r);
  DeleteObject(none);
}

TEST(SkinDrawTest, VersionRecordChoosesTheTransparentPath) {
  EXPECT_EQ(TransparentPathForVersion(0xC0000A04), TTransparentPath::ThreeBlits);  // Windows 98
  EXPECT_EQ(TransparentPathForVersion(0x1DB10106), TTransparentPath::MaskBlt);     // 6.1
  EXPECT_EQ(SystemTransparentPath(), TTransparentPath::MaskBlt);  // Wine reports 6.1 here
}

TEST(SkinDrawTest, WorkBitmapIsReferenceCounted) {
  EXPECT_EQ(SkinWorkBitmap(), nullptr);
  AcquireSkinWorkBitmap();
  AcquireSkinWorkBitmap();
  HBITMAP b = SkinWorkBitmap();
  EXPECT_NE(b, nullptr);
  ReleaseSkinWorkBitmap();
  EXPECT_EQ(SkinWorkBitmap(), b);
  ReleaseSkinWorkBitmap();
  EXPECT_EQ(SkinWorkBitmap(), nullptr);
  ReleaseSkinWorkBitmap();  // one too many does nothing
}

}  // namespace
}  // namespace skin

