// Screenshot PNG: our octree quantiser and palette PNG writer (as a process: read a
// PPM, write an 8-bit PNG) against ImageMagick's convert -colors 256 PNG8: on the
// same pixels, a 1920 x 1080 desktop-like image (about 400 x 300 quick).
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "classlib/PixelBuffer.h"
#include "exclog/core/EPngWriter.h"
#include "tests/bench/Bench.h"
#include "tests/peers/PeerTools.h"

namespace {

uint32_t NextRandom(uint32_t& seed) {
  seed = seed * 1103515245u + 12345u;
  return seed >> 8;
}

void FillRect(TPixelBuffer& image, int left, int top, int width, int height, uint32_t colour) {
  for (int y = std::max(0, top); y < std::min(image.Height, top + height); ++y)
    for (int x = std::max(0, left); x < std::min(image.Width, left + width); ++x) image.At(x, y) = colour;
}

// A desktop: a gradient wallpaper, a task bar, overlapping windows with gradient
// captions, lines of text-like strokes with smoothed edges, and icons.
TPixelBuffer DesktopLike(int width, int height) {
  TPixelBuffer image(width, height);
  uint32_t seed = 20261207;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      image.At(x, y) = PixelFromRGB(uint8_t(20 + x * 60 / width), uint8_t(60 + y * 90 / height),
                                    uint8_t(120 + (x + y) * 100 / (width + height)));
  FillRect(image, 0, height - 30, width, 30, PixelFromRGB(192, 192, 192));
  for (int w = 0; w < 6; ++w) {
    int left = static_cast<int>(NextRandom(seed) % (width * 2 / 3));
    int top = static_cast<int>(NextRandom(seed) % (height / 2));
    int ww = width / 4 + static_cast<int>(NextRandom(seed) % (width / 4));
    int wh = height / 4 + static_cast<int>(NextRandom(seed) % (height / 3));
    FillRect(image, left, top, ww, wh, PixelFromRGB(212, 208, 200));
    for (int x = 0; x < ww; ++x)
      FillRect(image, left + x, top + 3, 1, 18, PixelFromRGB(uint8_t(10 + x * 150 / ww), 36, uint8_t(106 + x * 120 / ww)));
    FillRect(image, left + 4, top + 26, ww - 8, wh - 30, PixelFromRGB(255, 255, 255));
    for (int line = top + 32; line + 12 < top + wh - 4; line += 16)
      for (int x = left + 8; x < left + ww - 12; x += 6 + static_cast<int>(NextRandom(seed) % 4)) {
        uint8_t ink = uint8_t(NextRandom(seed) % 3 == 0 ? 128 : 0);
        FillRect(image, x, line, 2, 9, PixelFromRGB(ink, ink, ink));
        FillRect(image, x + 2, line + 2, 1, 7, PixelFromRGB(160, 160, 160));  // smoothing
      }
  }
  for (int i = 0; i < 24; ++i) {
    int left = 10 + (i % 2) * 70, top = 10 + (i / 2) * 70;
    for (int y = 0; y < 32; ++y)
      for (int x = 0; x < 32; ++x)
        if (image.Contains(left + x, top + y))
          image.At(left + x, top + y) = PixelFromRGB(uint8_t(i * 10 + x * 4), uint8_t(200 - y * 5), uint8_t(i * 9));
  }
  return image;
}

void WritePpm(const std::string& path, const TPixelBuffer& image) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << "P6\n" << image.Width << " " << image.Height << "\n255\n";
  std::string row;
  for (int y = 0; y < image.Height; ++y) {
    row.clear();
    for (int x = 0; x < image.Width; ++x) {
      uint32_t p = image.At(x, y);
      row += static_cast<char>(PixelRed(p));
      row += static_cast<char>(PixelGreen(p));
      row += static_cast<char>(PixelBlue(p));
    }
    out.write(row.data(), static_cast<std::streamsize>(row.size()));
  }
  if (!out) throw std::runtime_error("cannot write " + path);
}

TPixelBuffer ReadPpm(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string magic;
  int width = 0, height = 0, maxValue = 0;
  in >> magic >> width >> height >> maxValue;
  in.get();
  if (!in || magic != "P6" || maxValue != 255 || width <= 0 || height <= 0 || width > 16384 || height > 16384)
    throw std::runtime_error("not a PPM this reads: " + path);
  TPixelBuffer image(width, height);
  std::vector<unsigned char> row(static_cast<size_t>(width) * 3);
  for (int y = 0; y < height; ++y) {
    if (!in.read(reinterpret_cast<char*>(row.data()), static_cast<std::streamsize>(row.size())))
      throw std::runtime_error("PPM cut short: " + path);
    for (int x = 0; x < width; ++x) image.At(x, y) = PixelFromRGB(row[x * 3], row[x * 3 + 1], row[x * 3 + 2]);
  }
  return image;
}

}  // namespace

VELMORA_BENCHMARK_CHILD(screenshot_png) {
  if (args.size() != 2) return 2;
  return exclog::SavePalettePng(ReadPpm(args[0]), args[1]) ? 0 : 1;
}

VELMORA_BENCHMARK(screenshot_png) {
  peers::TScratchDir scratch;
  const int width = run.Quick ? 400 : 1920, height = run.Quick ? 300 : 1080;
  const std::string ppm = scratch / "desktop.ppm";
  WritePpm(ppm, DesktopLike(width, height));
  const std::string ours = scratch / "ours.png", theirs = scratch / "theirs.png";
  auto oursSide = [&] { return bench::RunChild(run, {ppm, ours}); };
  auto peerSide = [&] {
    return bench::RunProcess({"/usr/bin/convert", ppm, "-colors", "256", "PNG8:" + theirs}, "", "/dev/null");
  };
  bench::TComparison c = bench::Compare(run, oursSide, peerSide);
  // Both must have written a palette PNG of the whole image.
  for (const std::string& png : {ours, theirs}) {
    auto check = peers::Run("pngcheck " + peers::Quote(png));
    if (check.ExitCode != 0) throw std::runtime_error("pngcheck: " + check.Output);
  }
  char compared[160];
  std::snprintf(compared, sizeof compared,
                "quantise + PNG write vs convert -colors 256 PNG8:, %dx%d desktop-like PPM, ours %.0f KB, theirs %.0f KB",
                width, height, peers::ReadBytes(ours).size() / 1024.0, peers::ReadBytes(theirs).size() / 1024.0);
  bench::Emit(run, bench::RowOf("Screenshot PNG", compared, bench::TUnit::Milliseconds, c,
                                bench::TTarget::RatioAtMost(1.0)));
}
