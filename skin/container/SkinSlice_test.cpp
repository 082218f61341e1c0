// Geometry of frame strips and slices, with rectangles worked out by hand.
#include "skin/container/SkinSlice.h"

#include <gtest/gtest.h>

namespace skin {
namespace {

using R = TSliceRect;

TEST(SkinSliceTest, FrameRectangles) {
  EXPECT_EQ(FrameRect(30, 10, 3, 2, false), (R{10, 0, 20, 10}));  // exactly the middle third
  EXPECT_EQ(FrameRect(10, 30, 3, 3, true), (R{0, 20, 10, 30}));
  EXPECT_EQ(FrameRect(31, 10, 3, 3, false), (R{20, 0, 30, 10}));  // remainder column unused
  // Hostile counts and indexes stay inside the image.
  EXPECT_EQ(FrameRect(30, 10, 0, 1, false), (R{0, 0, 30, 10}));
  EXPECT_EQ(FrameRect(30, 10, -4, 9, false), (R{0, 0, 30, 10}));
  EXPECT_EQ(FrameRect(30, 10, 3, 7, false), (R{20, 0, 30, 10}));
  EXPECT_EQ(FrameRect(30, 10, 3, -1, false), (R{0, 0, 10, 10}));
  EXPECT_TRUE(FrameRect(2, 5, 3, 1, false).Empty());
  EXPECT_TRUE(FrameRect(0, 0, 1, 1, false).Empty());
}

TEST(SkinSliceTest, NineSlicePiecesInDrawingOrder) {
  auto plan = NineSlicePlan(20, 10, R{10, 0, 20, 10}, {2, 3, 4, 1}, false);
  const R dest[] = {{0, 0, 2, 3},  {0, 9, 2, 10},  {16, 0, 20, 3}, {0, 3, 2, 9},  {2, 0, 16, 3},
                    {2, 3, 16, 9}, {16, 9, 20, 10}, {16, 3, 20, 9}, {2, 9, 16, 10}};
  const R src[] = {{10, 0, 12, 3},  {10, 9, 12, 10}, {16, 0, 20, 3}, {10, 3, 12, 9}, {12, 0, 16, 3},
                   {12, 3, 16, 9},  {16, 9, 20, 10}, {16, 3, 20, 9}, {12, 9, 16, 10}};
  ASSERT_EQ(plan.size(), 9u);
  for (int i = 0; i < 9; ++i) {
    EXPECT_EQ(plan[i].Dest, dest[i]) << i;
    EXPECT_EQ(plan[i].Source, src[i]) << i;
    EXPECT_EQ(plan[i].Mode, TPieceMode::Stretch);
  }
  EXPECT_EQ(NineSlicePlan(20, 10, R{10, 0, 20, 10}, {2, 3, 4, 1}, true)[5].Mode, TPieceMode::Tile);
}

TEST(SkinSliceTest, NineSliceHostileMargins) {
  // l + r wider than the destination: no end pieces across, the frame stretched.
  auto plan = NineSlicePlan(5, 10, R{0, 0, 10, 10}, {3, 0, 3, 0}, false);
  ASSERT_EQ(plan.size(), 1u);
  EXPECT_EQ(plan[0].Dest, (R{0, 0, 5, 10}));
  EXPECT_EQ(plan[0].Source, (R{0, 0, 10, 10}));
  // Negative margins count as 0; margins past the frame are cut to the frame.
  plan = NineSlicePlan(40, 40, R{0, 0, 10, 10}, {-5, -5, 30, 30}, false);
  for (const auto& p : plan) {
    EXPECT_GE(p.Source.Left, 0);
    EXPECT_LE(p.Source.Right, 10);
    EXPECT_GE(p.Dest.Left, 0);
    EXPECT_LE(p.Dest.Right, 40);
    EXPECT_FALSE(p.Source.Empty());
  }
  EXPECT_TRUE(NineSlicePlan(0, 10, R{0, 0, 10, 10}, {}, false).empty());
  EXPECT_TRUE(NineSlicePlan(10, 10, R{}, {}, false).empty());
}

TEST(SkinSliceTest, TiledStripAndThreePartAndCentred) {
  auto strip = TiledStripPlan(25, 4, R{0, 0, 10, 2}, 2, 3);
  const R dest[] = {{0, 0, 2, 4}, {2, 0, 7, 4}, {7, 0, 12, 4}, {12, 0, 17, 4}, {17, 0, 22, 4},
                    {22, 0, 25, 4}};
  ASSERT_EQ(strip.size(), 6u);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(strip[i].Dest, dest[i]) << i;
  EXPECT_EQ(strip[1].Source, (R{2, 0, 7, 2}));
  EXPECT_EQ(strip[5].Source, (R{7, 0, 10, 2}));
  // Ends taking the whole frame: no middle, and no endless loop.
  strip = TiledStripPlan(1000, 4, R{0, 0, 10, 2}, 5, 5);
  EXPECT_EQ(strip.size(), 2u);
  strip = TiledStripPlan(1000, 4, R{0, 0, 10, 2}, 20, -3);
  EXPECT_LE(strip.size(), 2u);

  auto three = ThreePartPlan(R{5, 5, 45, 15}, R{0, 0, 20, 8}, 4, 6);
  ASSERT_EQ(three.size(), 3u);
  EXPECT_EQ(three[0].Dest, (R{5, 5, 9, 15}));
  EXPECT_EQ(three[0].Source, (R{0, 0, 4, 8}));
  EXPECT_EQ(three[1].Dest, (R{9, 5, 39, 15}));
  EXPECT_EQ(three[1].Source, (R{4, 0, 14, 8}));
  EXPECT_EQ(three[2].Dest, (R{39, 5, 45, 15}));
  EXPECT_EQ(three[2].Source, (R{14, 0, 20, 8}));
  three = ThreePartPlan(R{0, 0, 10, 8}, R{20, 0, 40, 8}, 4, 6);  // frame wider than the rectangle
  ASSERT_EQ(three.size(), 1u);
  EXPECT_EQ(three[0].Source, (R{20, 0, 40, 8}));

  EXPECT_EQ(CentredRect(R{0, 0, 11, 10}, 4, 3), (R{3, 3, 7, 6}));
  EXPECT_EQ(CentredRect(R{10, 0, 12, 2}, 5, 5), (R{9, -1, 14, 4}));  // toward zero
}

// Pixel value of frame f at (x, y): f * 100 + y * 10 + x.
TPixelBuffer CodedStrip(int frames, int w, int h) {
  TPixelBuffer image(frames * w, h);
  for (int f = 0; f < frames; ++f)
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) image.At(f * w + x, y) = (f + 1) * 100 + y * 10 + x;
  return image;
}

TEST(SkinSliceTest, BuildSlicedPixelsStretchesAndTiles) {
  TPixelBuffer image = CodedStrip(3, 4, 4);
  TPixelBuffer s = BuildSlicedPixels(8, 8, image, {1, 1, 1, 1}, false, false, 3, 2);
  ASSERT_EQ(s.Width, 8);
  EXPECT_EQ(s.At(0, 0), 200u);
  EXPECT_EQ(s.At(7, 7), 233u);
  EXPECT_EQ(s.At(7, 0), 203u);
  EXPECT_EQ(s.At(3, 3), 211u);  // centre 6 px from 2: offsets 0..2 take column 1
  EXPECT_EQ(s.At(5, 3), 212u);
  TPixelBuffer t = BuildSlicedPixels(8, 8, image, {1, 1, 1, 1}, false, true, 3, 2);
  EXPECT_EQ(t.At(3, 3), 211u);
  EXPECT_EQ(t.At(4, 3), 221u - 10u + 1u);  // 212: tiles repeat columns 1, 2, 1, 2...
  EXPECT_EQ(t.At(5, 3), 211u);
  EXPECT_EQ(t.At(6, 6), 222u);
  // Stacked frames: frame 3 of a 4 x 12 strip at natural size.
  TPixelBuffer stacked(4, 12);
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 4; ++x) stacked.At(x, y) = (y / 4 + 1) * 100 + (y % 4) * 10 + x;
  TPixelBuffer v = BuildSlicedPixels(4, 4, stacked, {}, true, false, 3, 3);
  EXPECT_EQ(v.At(0, 0), 300u);
  EXPECT_EQ(v.At(3, 3), 333u);
  // An image narrower than its frame count draws nothing: all magenta.
  TPixelBuffer none = BuildSlicedPixels(5, 5, TPixelBuffer(2, 1, 7), {}, false, false, 3, 1);
  for (uint32_t p : none.Pixels) EXPECT_EQ(p, 0xFF00FFu);
}

TEST(SkinSliceTest, TransparentExecutionKeepsMagentaDestination) {
  TPixelBuffer src(2, 1);
  src.At(0, 0) = 0xFF00FF;
  src.At(1, 0) = 0x123456;
  TPixelBuffer dest(2, 1, 0xABCDEF);
  std::vector<TSlicePiece> plan = {{R{0, 0, 2, 1}, R{0, 0, 2, 1}, TPieceMode::Stretch}};
  ExecutePlan(src, plan, dest, true);
  EXPECT_EQ(dest.At(0, 0), 0xABCDEFu);
  EXPECT_EQ(dest.At(1, 0), 0x123456u);
  ExecutePlan(src, plan, dest, false);
  EXPECT_EQ(dest.At(0, 0), 0xFF00FFu);
  // Pieces reaching past either image are clipped, not read or written outside: both
  // buffers carry guard pixels past their last row, which must be neither copied nor
  // overwritten.
  constexpr uint32_t kGuard = 0x0BAD00;
  src.Pixels.resize(src.Pixels.size() + 8, kGuard);
  dest.Pixels.resize(dest.Pixels.size() + 8, kGuard);
  plan = {{R{-3, -3, 9, 9}, R{-1, 0, 5, 5}, TPieceMode::Tile}};
  ExecutePlan(src, plan, dest, false);
  EXPECT_EQ(dest.At(0, 0), 0x123456u);  // destination column 0 is piece column 3: source column 1
  EXPECT_EQ(dest.At(1, 0), 0xFF00FFu);
  for (size_t i = 2; i < dest.Pixels.size(); ++i) EXPECT_EQ(dest.Pixels[i], kGuard) << i;
}

TEST(SkinSliceTest, OpaqueRunsWithTolerance) {
  // Row: key, key + 1 green (inside the tolerance), opaque, opaque, key, opaque.
  TPixelBuffer image(6, 2, 0xFF00FF);
  image.At(1, 0) = 0xFF01FF;
  image.At(2, 0) = 0xFE00FF;  // red below the key: opaque
  image.At(3, 0) = 0x000000;
  image.At(5, 0) = 0x00FF00;
  auto runs = OpaqueRuns(image, 10, 20, 0xFF00FF, 0x010101);
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[0], (R{12, 20, 14, 21}));
  EXPECT_EQ(runs[1], (R{15, 20, 16, 21}));
  // No tolerance: the near-magenta pixel is opaque.
  EXPECT_EQ(OpaqueRuns(image, 0, 0, 0xFF00FF, 0).size(), 2u);
  EXPECT_EQ(OpaqueRuns(image, 0, 0, 0xFF00FF, 0)[0], (R{1, 0, 4, 1}));
  // All key: nothing. No key: one run per row.
  EXPECT_TRUE(OpaqueRuns(TPixelBuffer(5, 5, 0xFF00FF), 0, 0, 0xFF00FF, 0x010101).empty());
  EXPECT_EQ(OpaqueRuns(TPixelBuffer(5, 3, 1), 0, 0, 0xFF00FF, 0x010101).size(), 3u);
  EXPECT_EQ(OpaqueRuns(TPixelBuffer(7, 1, 1), 0, 0, 0xFF00FF, 0x010101).size(), 1u);
}

}  // namespace
}  // namespace skin
