#include "exclog/core/EPngWriter.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <set>
#include <string>

#ifndef _WIN32
#include "tests/peers/PeerTools.h"
#endif

namespace exclog {
namespace {

// Up to `colours` colours spread over the whole cube, one after another.
TPixelBuffer ManyColours(int width, int height, int colours) {
  TPixelBuffer image(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      uint32_t c = static_cast<uint32_t>((y * width + x) % colours);
      image.At(x, y) = PixelFromRGB(uint8_t(c * 37), uint8_t(c * 101 + 5), uint8_t(c ^ 0xA5));
    }
  return image;
}

TEST(EOctree, KeepsUpTo256ColoursAndFoldsMore) {
  TPixelBuffer few = ManyColours(101, 13, 256);
  TPaletteImage q = QuantiseOctree(few);
  ASSERT_EQ(q.Palette.size(), 256u);
  for (size_t i = 0; i < few.Pixels.size(); ++i) ASSERT_EQ(q.Palette[q.Indices[i]], few.Pixels[i]) << i;
  // A smooth ramp of 4096 colours: at most 256 left, each pixel near its own.
  TPixelBuffer ramp(64, 64);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) ramp.At(x, y) = PixelFromRGB(uint8_t(x * 4), uint8_t(y * 4), uint8_t((x + y) * 2));
  q = QuantiseOctree(ramp);
  EXPECT_LE(q.Palette.size(), 256u);
  EXPECT_GE(q.Palette.size(), 64u);
  int worst = 0;
  for (size_t i = 0; i < ramp.Pixels.size(); ++i) {
    uint32_t a = ramp.Pixels[i], b = q.Palette[q.Indices[i]];
    worst = std::max({worst, std::abs(PixelRed(a) - PixelRed(b)), std::abs(PixelGreen(a) - PixelGreen(b)),
                      std::abs(PixelBlue(a) - PixelBlue(b))});
  }
  EXPECT_LT(worst, 32);
  EXPECT_TRUE(QuantiseOctree(TPixelBuffer()).Indices.empty());
  EXPECT_EQ(EncodePalettePng(QuantiseOctree(TPixelBuffer())), "");
}

// A run of one colour weighs as many pixels as it holds, in a leaf that later folds
// with others and in one that folds at the run's first pixel: its mean stays the
// run's colour. Each tree first holds 256 leaves, so every new colour folds.
TEST(EOctree, RunsWeighTheirLengthThroughFolds) {
  auto nearOwn = [](uint32_t palette, uint32_t own) {
    return std::abs(PixelRed(palette) - PixelRed(own)) <= 1 && std::abs(PixelGreen(palette) - PixelGreen(own)) <= 1 &&
           std::abs(PixelBlue(palette) - PixelBlue(own)) <= 1;
  };
  // A ramp in the lower half of red, then a run of a ramp colour (its leaf holds
  // many colours), a run of a colour of the empty upper half (its new leaf folds
  // at once), then colours around it that fold into the same leaves.
  const int runLength = 20000;
  TPixelBuffer image(64, 64 + 2 * runLength / 64 + 8);
  size_t at = 0;
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) image.Pixels[at++] = PixelFromRGB(uint8_t(x * 2), uint8_t(y * 4), uint8_t((x + y) * 2));
  const uint32_t inRamp = PixelFromRGB(40, 100, 90), fresh = PixelFromRGB(200, 60, 30);
  for (int i = 0; i < runLength; ++i) image.Pixels[at++] = inRamp;
  for (int i = 0; i < runLength; ++i) image.Pixels[at++] = fresh;
  for (int i = 0; at < image.Pixels.size(); ++i)
    image.Pixels[at++] = PixelFromRGB(uint8_t(160 + (i * 7) % 96), uint8_t((i * 13) % 128), uint8_t((i * 29) % 64));
  TPaletteImage q = QuantiseOctree(image);
  ASSERT_LE(q.Palette.size(), 256u);
  const size_t inRampAt = 64 * 64, freshAt = inRampAt + runLength;
  EXPECT_TRUE(nearOwn(q.Palette[q.Indices[inRampAt]], inRamp)) << std::hex << q.Palette[q.Indices[inRampAt]];
  EXPECT_TRUE(nearOwn(q.Palette[q.Indices[freshAt]], fresh)) << std::hex << q.Palette[q.Indices[freshAt]];
}

#ifndef _WIN32
std::string PngCheck(const std::string& path) {
  auto r = peers::Run("pngcheck -v " + peers::Quote(path));
  return r.ExitCode == 0 ? "" : r.Output;
}

TEST(EPngWriter, PngcheckAndPilReadBackTheColours) {
  peers::TScratchDir dir;
  for (auto [w, h] : {std::pair{1, 1}, {3, 5}, {17, 1}, {1, 9}, {255, 31}}) {
    TPixelBuffer image = ManyColours(w, h, 256);
    std::string path = dir / ("shot" + std::to_string(w) + "x" + std::to_string(h) + ".png");
    ASSERT_TRUE(SavePalettePng(image, path));
    EXPECT_EQ(PngCheck(path), "") << w << "x" << h;
    auto pil = peers::Run("/usr/bin/python3 -c \"import sys; from PIL import Image; im=Image.open(sys.argv[1]); "
                          "print(im.mode, im.size[0], im.size[1]); sys.stdout.write(im.convert('RGB').tobytes().hex())\" " +
                          peers::Quote(path));
    ASSERT_EQ(pil.ExitCode, 0) << pil.Output;
    std::string expected = "P " + std::to_string(w) + " " + std::to_string(h) + "\n";
    char hex[7];
    for (uint32_t p : image.Pixels) {
      std::snprintf(hex, sizeof hex, "%06x", p & 0xFFFFFF);
      expected += hex;
    }
    EXPECT_EQ(pil.Output, expected) << w << "x" << h;
  }
}

TEST(EPngWriter, NoiseSpansSeveralIdatChunks) {
  peers::TScratchDir dir;
  TPixelBuffer noise(801, 700);
  std::mt19937 rng(28);
  for (uint32_t& p : noise.Pixels) p = rng() & 0xFFFFFF;
  std::string path = dir / "noise.png";
  ASSERT_TRUE(SavePalettePng(noise, path));
  auto r = peers::Run("pngcheck -v " + peers::Quote(path));
  EXPECT_EQ(r.ExitCode, 0) << r.Output;
  size_t idat = 0, full = 0, pos = 0;
  while ((pos = r.Output.find("chunk IDAT", pos)) != std::string::npos) {
    size_t eol = r.Output.find('\n', pos);
    ++idat;
    full += r.Output.substr(pos, eol - pos).find("length 262143") != std::string::npos;
    pos = eol;
  }
  EXPECT_GE(idat, 2u) << r.Output;
  EXPECT_EQ(full, idat - 1) << r.Output;
  EXPECT_FALSE(SavePalettePng(noise, dir / "no/such/folder.png"));
  EXPECT_FALSE(SavePalettePng(TPixelBuffer(), dir / "empty.png"));
  EXPECT_FALSE(std::filesystem::exists(dir / "empty.png"));
}
#endif

}  // namespace
}  // namespace exclog
