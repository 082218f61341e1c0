// Skin container decode: skindump --extract (our reader as a process) against lhasa
// decoding the same LZHUF stream wrapped as a one-file LHA archive, both writing to
// /dev/null, on a container of text-like and bitmap-like entries packed by skinpack.
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/bench/Bench.h"
#include "tests/peers/PeerTools.h"
#include "tools/skinpack/SkinWriter.h"

namespace {

uint32_t NextRandom(uint32_t& seed) {
  seed = seed * 1103515245u + 12345u;
  return seed >> 8;
}

// A skin description as skins have them: sections of image names, frame counts,
// margins and colours, with numbers that vary.
std::string SkinLikeIni(size_t bytes, uint32_t seed) {
  static const char* const sections[] = {"Button", "CheckBox", "Radio", "Caption", "Border",
                                         "ScrollBar", "Tab", "Header", "Progress", "Menu"};
  static const char* const keys[] = {"Image", "FrameCount", "LeftMargin", "TopMargin",
                                     "RightMargin", "BottomMargin", "Tile", "Trans",
                                     "FontColor", "HotColor"};
  std::string text;
  int index = 0;
  while (text.size() < bytes) {
    const char* section = sections[NextRandom(seed) % 10];
    text += "[" + std::string(section) + std::to_string(index++) + "]\r\n";
    for (const char* key : keys) {
      text += key;
      text += '=';
      if (key[0] == 'I') text += std::string(section) + std::to_string(NextRandom(seed) % 40) + ".bmp";
      else text += std::to_string(NextRandom(seed) % (key[1] == 'o' ? 0xFFFFFF : 12));
      text += "\r\n";
    }
    text += "\r\n";
  }
  return text;
}

// A 24-bit BMP as skin images are: framed gradients, flat faces, magenta corners and
// a little noise where edges are smoothed.
std::vector<uint8_t> SkinLikeBitmap(int width, int height, uint32_t seed) {
  const int stride = (width * 3 + 3) & ~3;
  const uint32_t pixels = static_cast<uint32_t>(stride * height);
  std::vector<uint8_t> bmp;
  auto put16 = [&bmp](uint32_t v) {
    for (int i = 0; i < 2; ++i) bmp.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  auto put32 = [&bmp](uint32_t v) {
    for (int i = 0; i < 4; ++i) bmp.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  bmp.push_back('B');
  bmp.push_back('M');
  put32(54 + pixels);
  put32(0);
  put32(54);
  put32(40);
  put32(static_cast<uint32_t>(width));
  put32(static_cast<uint32_t>(height));
  put16(1);
  put16(24);
  for (int i = 0; i < 6; ++i) put32(0);
  const int frames = 1 + static_cast<int>(NextRandom(seed) % 6);
  const int frameWidth = width / frames;
  const uint8_t base = static_cast<uint8_t>(NextRandom(seed));
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      int frame = frameWidth ? x / frameWidth : 0;
      int fx = frameWidth ? x % frameWidth : x;
      uint8_t b, g, r;
      if ((fx < 2 || y < 2) && (fx + y) < 4) {
        b = 255, g = 0, r = 255;  // transparent corner
      } else if (fx < 3 || y < 3 || fx >= frameWidth - 3 || y >= height - 3) {
        b = g = r = static_cast<uint8_t>(60 + frame * 20);  // frame border
      } else {
        uint8_t shade = static_cast<uint8_t>(base + y * 128 / height + frame * 16);
        b = shade, g = static_cast<uint8_t>(shade + 20), r = static_cast<uint8_t>(shade / 2);
        if (NextRandom(seed) % 16 == 0) g = static_cast<uint8_t>(g + NextRandom(seed) % 7);
      }
      bmp.push_back(b);
      bmp.push_back(g);
      bmp.push_back(r);
    }
    for (int pad = width * 3; pad < stride; ++pad) bmp.push_back(0);
  }
  return bmp;
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace

VELMORA_BENCHMARK(skin_container) {
  peers::TScratchDir scratch;
  const std::string folder = scratch / "skin";
  std::filesystem::create_directories(folder);
  // About a quarter text, three quarters bitmaps; 4.6 MB in all (about 100 KB quick).
  uint32_t seed = 20261207;
  WriteText(folder + "/skin.ini", SkinLikeIni(run.Quick ? 24 * 1024 : 1200 * 1024, seed));
  const int bitmapCount = run.Quick ? 3 : 14;
  const int side = run.Quick ? 96 : 256;
  for (int i = 0; i < bitmapCount; ++i)
    peers::WriteBytes(folder + "/image" + std::to_string(i) + ".bmp",
                      SkinLikeBitmap(side + i * 8, side + (i % 3) * 64, seed + i));

  const std::string container = scratch / "skin.skn";
  bench::RunProcess({VELMORA_BENCH_SKINPACK, folder, container}, "", "/dev/null");

  // The peer's archive: the container's stream after its 32-bit size, with the
  // unpacked image's size and CRC in the header.
  std::vector<uint8_t> packed = peers::ReadBytes(container);
  std::vector<uint8_t> image =
      skinpack::BuildSkinImage(skinpack::CollectSkinFolder(folder), skinpack::TSkinPackOptions{});
  uint32_t declared = packed.size() >= 4 ? packed[0] | packed[1] << 8 | packed[2] << 16 |
                                               static_cast<uint32_t>(packed[3]) << 24
                                         : 0;
  if (declared != image.size()) throw std::runtime_error("container size differs from its image");
  peers::WriteBytes(scratch / "stream.lh1", std::vector<uint8_t>(packed.begin() + 4, packed.end()));
  peers::WriteBytes(scratch / "skin.img", image);
  const std::string archive = scratch / "skin.lzh";
  bench::RunProcess({"/usr/bin/python3", peers::PeerScript("wrap_lha.py"), scratch / "stream.lh1",
                     scratch / "skin.img", "skin.img", archive},
                    "", "/dev/null");
  // The peer must decode the stream whole, its CRC included, or the figure means nothing.
  bench::RunProcess({"lhasa", "t", archive}, "", "/dev/null");

  auto ours = [&] {
    return bench::RunProcess({VELMORA_BENCH_SKINDUMP, container, "--extract", "skin.ini", "/dev/null"});
  };
  auto peer = [&] { return bench::RunProcess({"lhasa", "p", archive}, "", "/dev/null"); };
  bench::TComparison c = bench::Compare(run, ours, peer);
  char compared[160];
  std::snprintf(compared, sizeof compared,
                "skindump --extract vs lhasa p (same stream as one-file LHA), %.1f MB unpacked, %.1f MB packed",
                image.size() / 1e6, packed.size() / 1e6);
  bench::Emit(run, bench::RowOf("Skin container decode", compared, bench::TUnit::Milliseconds, c,
                                bench::TTarget::RatioAtMost(1.0)));
}
