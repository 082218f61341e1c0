#include "skin/container/BitmapOps.h"

#include <gtest/gtest.h>

#include <string>

#include "classlib/BmpCodec.h"

#ifndef _WIN32
#include "tests/peers/PeerTools.h"
#endif

namespace skin {
namespace {

constexpr uint32_t Rgb(int r, int g, int b) {
  return static_cast<uint32_t>(r) | (static_cast<uint32_t>(g) << 8) | (static_cast<uint32_t>(b) << 16);
}
constexpr TSkinColor SysRef(int index) { return static_cast<TSkinColor>(0x80000000u + index); }

uint32_t FakeSysColor(int index) { return Rgb(index, 2 * index, 3 * index); }

TEST(MixColors, WeightsArePercentOrPerMilleAndClamped) {
  // Values worked by hand from (a*p + b*(scale-p) + scale/2) / scale.
  EXPECT_EQ(MixColors(Rgb(0, 0, 0), Rgb(255, 255, 255), 50), Rgb(128, 128, 128));
  EXPECT_EQ(MixColors(Rgb(0, 0, 0), Rgb(255, 255, 255), 150), Rgb(217, 217, 217));
  EXPECT_EQ(MixColors(Rgb(200, 100, 0), Rgb(0, 50, 255), 25), Rgb(50, 63, 191));
  EXPECT_EQ(MixColors(Rgb(10, 20, 30), Rgb(90, 80, 70), 0), Rgb(90, 80, 70));
  EXPECT_EQ(MixColors(Rgb(10, 20, 30), Rgb(90, 80, 70), 1000), Rgb(10, 20, 30));
  // Out of range weights clamp instead of overflowing a channel.
  EXPECT_EQ(MixColors(Rgb(10, 20, 30), Rgb(90, 80, 70), -40), Rgb(90, 80, 70));
  EXPECT_EQ(MixColors(Rgb(10, 20, 30), Rgb(90, 80, 70), 5000), Rgb(10, 20, 30));
  // System colours are resolved first.
  EXPECT_EQ(MixColors(SysRef(10), Rgb(0, 0, 0), 1000, FakeSysColor), Rgb(10, 20, 30));
}

TEST(ColorSaturation, DarkColoursAndRounding) {
  EXPECT_EQ(ColorSaturation(Rgb(100, 50, 50)), 200);   // every channel below 160
  EXPECT_EQ(ColorSaturation(Rgb(200, 100, 100)), 128);  // 0.5 * 255 = 127.5
  EXPECT_EQ(ColorSaturation(Rgb(255, 255, 255)), 0);
  EXPECT_EQ(ColorSaturation(Rgb(0, 0, 255)), 255);
  EXPECT_EQ(ColorSaturation(Rgb(160, 159, 159)), 2);    // 255/160 = 1.59
  EXPECT_EQ(ColorSaturation(Rgb(170, 169, 169)), 2);    // exactly 1.5: half to even
  EXPECT_EQ(ColorSaturation(Rgb(170, 167, 167)), 4);    // exactly 4.5: half to even
}

TEST(GradientRamp, EndsOnTheTargetBothWays) {
  TGradientCache cache;
  // 200 to 100 over 5: steps of 25 by hand, last exactly 100.
  const auto& down = cache.Ramp(5, Rgb(200, 200, 200), Rgb(100, 100, 100));
  ASSERT_EQ(down.size(), 5u);
  EXPECT_EQ(down, (std::vector<uint32_t>{Rgb(200, 200, 200), Rgb(175, 175, 175), Rgb(150, 150, 150),
                                         Rgb(125, 125, 125), Rgb(100, 100, 100)}));
  // 0 to 10 over 4: 10/3 per step: 0, 3.33, 6.67, 10 rounded.
  const auto& up = cache.Ramp(4, Rgb(0, 10, 0), Rgb(10, 0, 255));
  EXPECT_EQ(up, (std::vector<uint32_t>{Rgb(0, 10, 0), Rgb(3, 7, 85), Rgb(7, 3, 170), Rgb(10, 0, 255)}));
  for (int n = 2; n < 40; ++n) {
    const auto& r = cache.Ramp(n, Rgb(255, 3, 97), Rgb(0, 254, 96));
    EXPECT_EQ(r.front(), Rgb(255, 3, 97));
    EXPECT_EQ(r.back(), Rgb(0, 254, 96)) << n;
  }
  // One entry: the midpoint, rounded toward zero.
  EXPECT_EQ(cache.Ramp(1, Rgb(200, 0, 1), Rgb(101, 10, 0)), (std::vector<uint32_t>{Rgb(151, 5, 1)}));
  EXPECT_TRUE(cache.Ramp(0, 1, 2).empty());
}

TEST(GradientRamp, CacheIsKeyedOnTheRequestAndEvictsTheOldest) {
  TGradientCache cache;
  cache.Ramp(5, Rgb(200, 200, 200), Rgb(100, 100, 100));
  EXPECT_EQ(cache.Misses(), 1);
  cache.Ramp(5, Rgb(200, 200, 200), Rgb(100, 100, 100));
  EXPECT_EQ(cache.Hits(), 1);
  // Same ends, other length; same length, other end: both new.
  cache.Ramp(6, Rgb(200, 200, 200), Rgb(100, 100, 100));
  cache.Ramp(5, Rgb(200, 200, 200), Rgb(100, 100, 101));
  EXPECT_EQ(cache.Misses(), 3);
  // 14 more distinct requests fill the 16 slots, the next one takes the first slot.
  for (int i = 0; i < 13; ++i) cache.Ramp(10 + i, 0, 0xFFFFFF);
  EXPECT_EQ(cache.Misses(), 16);
  cache.Ramp(5, Rgb(200, 200, 200), Rgb(100, 100, 100));
  EXPECT_EQ(cache.Hits(), 2);  // still there: 16 distinct so far
  cache.Ramp(99, 0, 0xFFFFFF);  // the seventeenth distinct request
  cache.Ramp(6, Rgb(200, 200, 200), Rgb(100, 100, 100));  // second slot: still cached
  EXPECT_EQ(cache.Hits(), 3);
  cache.Ramp(5, Rgb(200, 200, 200), Rgb(100, 100, 100));  // first slot: evicted
  EXPECT_EQ(cache.Hits(), 3);
  EXPECT_EQ(cache.Misses(), 18);
}

TEST(GradientFill, FillsLinesInsideTheClipOnly) {
  TGradientCache cache;
  TPixelBuffer image(6, 5, 0x123456);
  // Vertical ramp over rows 1..4 of columns 1..3, clipped to rows 2..3.
  GradientFillPixels(image, {1, 1, 4, 5}, Rgb(0, 0, 30), true, Rgb(0, 0, 0), {0, 2, 6, 4}, cache);
  for (int y = 0; y < 5; ++y) {
    for (int x = 0; x < 6; ++x) {
      uint32_t want = 0x123456;
      if (x >= 1 && x < 4 && y >= 2 && y < 4) want = PixelFromRGB(0, 0, static_cast<uint8_t>(30 - 10 * (y - 1)));
      EXPECT_EQ(image.At(x, y), want) << x << "," << y;
    }
  }
  // Horizontal, partly outside the image: no write outside it.
  GradientFillPixels(image, {-3, 0, 9, 1}, Rgb(0, 0, 0), false, Rgb(0, 0, 0), {-100, -100, 100, 100}, cache);
  for (int x = 0; x < 6; ++x) EXPECT_EQ(image.At(x, 0), 0u);
  TPixelBuffer untouched = image;
  GradientFillPixels(image, {3, 3, 3, 9}, Rgb(1, 1, 1), false, Rgb(1, 1, 1), {0, 0, 9, 9}, cache);
  EXPECT_EQ(image.Pixels, untouched.Pixels);
  // System colours are resolved before they reach the pixels.
  TPixelBuffer small(1, 1);
  GradientFillPixels(small, {0, 0, 1, 1}, SysRef(5), true, SysRef(5), {0, 0, 1, 1}, cache, FakeSysColor);
  EXPECT_EQ(small.At(0, 0), PixelFromRGB(5, 10, 15));
}

TEST(ReplaceMagenta, OnlyExactMagentaAndResolvedColours) {
  TPixelBuffer image(3, 1);
  image.Pixels = {0xFF00FF, 0xFF00FE, 0xAAFF00FF};  // magenta, near miss, magenta with a top byte
  ReplaceMagenta(image, SysRef(15), FakeSysColor);   // system colour 15 = (15, 30, 45)
  EXPECT_EQ(image.Pixels, (std::vector<uint32_t>{PixelFromRGB(15, 30, 45), 0xFF00FE,
                                                 PixelFromRGB(15, 30, 45)}));
  ReplaceMagenta(image, Rgb(1, 2, 3));
  EXPECT_EQ(image.Pixels[1], 0xFF00FEu);
}

TPixelBuffer Numbered(int w, int h) {
  TPixelBuffer b(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b.At(x, y) = static_cast<uint32_t>(y * 16 + x);
  return b;
}

TEST(PixelTurns, QuarterTurnOfThreeByTwo) {
  // Source rows: 0 1 2 / 16 17 18. A clockwise quarter turn gives 2 x 3 whose top
  // row is the left column read from bottom to top.
  TPixelBuffer r = RotatePixels(Numbered(3, 2));
  ASSERT_EQ(r.Width, 2);
  ASSERT_EQ(r.Height, 3);
  EXPECT_EQ(r.Pixels, (std::vector<uint32_t>{16, 0, 17, 1, 18, 2}));
  TPixelBuffer t = TransposePixels(Numbered(3, 2));
  EXPECT_EQ(t.Pixels, (std::vector<uint32_t>{0, 16, 1, 17, 2, 18}));
  EXPECT_EQ(MirrorPixels(Numbered(3, 2)).Pixels, (std::vector<uint32_t>{2, 1, 0, 18, 17, 16}));
  EXPECT_EQ(FlipPixels(Numbered(3, 2)).Pixels, (std::vector<uint32_t>{16, 17, 18, 0, 1, 2}));
  EXPECT_TRUE(RotatePixels(TPixelBuffer()).Empty());
}

#ifndef _WIN32

// Writes `image` as binary PPM, our own bytes, so ImageMagick reads an input we
// did not encode with the code under test.
std::vector<uint8_t> ToPpm(const TPixelBuffer& image) {
  std::string head = "P6\n" + std::to_string(image.Width) + " " + std::to_string(image.Height) + "\n255\n";
  std::vector<uint8_t> out(head.begin(), head.end());
  for (uint32_t p : image.Pixels) {
    out.push_back(PixelRed(p));
    out.push_back(PixelGreen(p));
    out.push_back(PixelBlue(p));
  }
  return out;
}

TEST(PixelTurnsPeer, MatchImageMagickOnOddWidths) {
  struct Op {
    const char* option;
    TPixelBuffer (*ours)(const TPixelBuffer&);
  } ops[] = {{"-flop", MirrorPixels}, {"-flip", FlipPixels}, {"-transpose", TransposePixels},
             {"-rotate 90", RotatePixels}};
  peers::TScratchDir dir;
  uint32_t seed = 1;
  for (auto [w, h] : {std::pair{1, 1}, {2, 3}, {3, 2}, {5, 4}, {7, 3}, {13, 6}}) {
    TPixelBuffer source(w, h);
    for (uint32_t& p : source.Pixels) p = (seed = seed * 1664525u + 1013904223u) >> 8;
    peers::WriteBytes(dir / "in.ppm", ToPpm(source));
    for (const Op& op : ops) {
      SCOPED_TRACE(std::string(op.option) + " " + std::to_string(w) + "x" + std::to_string(h));
      // 24-bit BMP out: rows padded to 4 bytes, read back by the BMP decoder.
      peers::TRunResult r = peers::Run("/usr/bin/convert " + peers::Quote(dir / "in.ppm") + " " + op.option +
                                       " -type TrueColor BMP3:" + peers::Quote(dir / "out.bmp"));
      ASSERT_EQ(r.ExitCode, 0) << r.Output;
      std::vector<uint8_t> bmp = peers::ReadBytes(dir / "out.bmp");
      TBmpImage decoded;
      ASSERT_EQ(DecodeBmpFile(bmp.data(), bmp.size(), decoded), BmpOk);
      TPixelBuffer ours = op.ours(source);
      ASSERT_EQ(decoded.Pixels.Width, ours.Width);
      ASSERT_EQ(decoded.Pixels.Height, ours.Height);
      for (size_t i = 0; i < ours.Pixels.size(); ++i)
        ASSERT_EQ(decoded.Pixels.Pixels[i] & 0xFFFFFF, ours.Pixels[i] & 0xFFFFFF) << i;
    }
  }
}

#endif  // _WIN32

}  // namespace
}  // namespace skin
