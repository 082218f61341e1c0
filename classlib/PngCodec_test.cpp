#include "classlib/PngCodec.h"

#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "classlib/Memory.h"
#include "tests/support/TestPaths.h"

namespace {

using Bytes = std::vector<uint8_t>;

void Put32(Bytes& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(uint8_t(v >> shift));
}

void Chunk(Bytes& out, const char* type, const Bytes& data) {
  Put32(out, static_cast<uint32_t>(data.size()));
  Bytes body(type, type + 4);
  body.insert(body.end(), data.begin(), data.end());
  out.insert(out.end(), body.begin(), body.end());
  Put32(out, static_cast<uint32_t>(crc32(0, body.data(), static_cast<uInt>(body.size()))));
}

Bytes Compress(const Bytes& raw) {
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  Bytes out(size);
  compress(out.data(), &size, raw.data(), static_cast<uLong>(raw.size()));
  out.resize(size);
  return out;
}

Bytes Header(uint32_t w, uint32_t h, uint8_t depth, uint8_t colorType) {
  Bytes d;
  Put32(d, w);
  Put32(d, h);
  d.insert(d.end(), {depth, colorType, 0, 0, 0});
  return d;
}

// A file of the given chunks and IEND.
Bytes File(const std::vector<std::pair<const char*, Bytes>>& chunks) {
  Bytes out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  for (const auto& [type, data] : chunks) Chunk(out, type, data);
  Chunk(out, "IEND", {});
  return out;
}

TPngStatus Decode(const Bytes& file, TDecodedPng& image, uint64_t maxPixels = PngMaxPixels) {
  return DecodePng(file.data(), file.size(), image, maxPixels);
}

// 2 x 2 grey, 8 bits: rows "0 10 20", "2 30 40" (Up filter on the second row).
const Bytes kGreyRows = {0, 10, 20, 2, 20, 20};

TEST(PngCodec, RefusesCorruptFilesCleanly) {
  TDecodedPng image;
  const Bytes good = File({{"IHDR", Header(2, 2, 8, 0)}, {"IDAT", Compress(kGreyRows)}});
  ASSERT_EQ(Decode(good, image), PngOk);
  EXPECT_EQ(image.Pixels.At(1, 1), 0xFF282828u);

  Bytes badCrc = good;
  badCrc[8 + 8 + 5] ^= 1;  // a bit of IHDR's data
  EXPECT_EQ(Decode(badCrc, image), PngBadCrc);
  EXPECT_TRUE(image.Pixels.Empty());
  for (size_t cut : {size_t{5}, size_t{20}, good.size() - 13, good.size() - 1})
    EXPECT_EQ(Decode(Bytes(good.begin(), good.begin() + cut), image), cut < 8 ? PngBadSignature : PngTruncated)
        << cut;

  EXPECT_EQ(Decode(File({{"IHDR", Header(2, 2, 4, 2)}, {"IDAT", Compress(kGreyRows)}}), image), PngBadHeader);
  EXPECT_EQ(Decode(File({{"IDAT", Compress(kGreyRows)}, {"IHDR", Header(2, 2, 8, 0)}}), image), PngBadHeader);
  EXPECT_EQ(Decode(File({{"IHDR", Header(2, 2, 8, 0)}, {"IDAT", Compress({0, 1, 2, 5, 3, 4})}}), image),
            PngBadFilter);
  EXPECT_EQ(Decode(File({{"IHDR", Header(2, 2, 8, 0)}, {"IDAT", {1, 2, 3, 4}}}), image), PngBadData);
  EXPECT_EQ(Decode(File({{"IHDR", Header(2, 2, 8, 0)}, {"IDAT", Compress({0, 1, 2})}}), image), PngMissingData);
  EXPECT_EQ(Decode(File({{"IHDR", Header(2, 2, 8, 0)}}), image), PngMissingData);
  // Image data interrupted by another chunk.
  const Bytes z = Compress(kGreyRows);
  EXPECT_EQ(Decode(File({{"IHDR", Header(2, 2, 8, 0)},
                         {"IDAT", Bytes(z.begin(), z.begin() + 4)},
                         {"tEXt", {'a', 0, 'b'}},
                         {"IDAT", Bytes(z.begin() + 4, z.end())}}),
                   image),
            PngBadChunk);
  // An unknown critical chunk is refused, an unknown ancillary one passed over.
  EXPECT_EQ(Decode(File({{"IHDR", Header(2, 2, 8, 0)}, {"ZZZZ", {}}, {"IDAT", z}}), image), PngUnsupported);
  EXPECT_EQ(Decode(File({{"IHDR", Header(2, 2, 8, 0)}, {"zzZZ", {}}, {"IDAT", z}}), image), PngOk);

  // Palettes: missing, too long for the depth, an index beyond them, a tRNS longer.
  EXPECT_EQ(Decode(File({{"IHDR", Header(2, 2, 8, 3)}, {"IDAT", z}}), image), PngBadPalette);
  EXPECT_EQ(Decode(File({{"IHDR", Header(1, 1, 1, 3)}, {"PLTE", Bytes(9, 0)}, {"IDAT", Compress({0, 0})}}), image),
            PngBadPalette);
  EXPECT_EQ(Decode(File({{"IHDR", Header(1, 1, 8, 3)}, {"PLTE", Bytes(6, 0)}, {"IDAT", Compress({0, 2})}}), image),
            PngBadPalette);
  EXPECT_EQ(Decode(File({{"IHDR", Header(1, 1, 8, 3)}, {"PLTE", Bytes(6, 0)}, {"tRNS", Bytes(3, 0)},
                         {"IDAT", Compress({0, 1})}}),
                   image),
            PngBadTransparency);
  EXPECT_EQ(Decode(File({{"IHDR", Header(1, 1, 8, 2)}, {"tRNS", Bytes(2, 0)}, {"IDAT", Compress({0, 1, 2, 3})}}),
                   image),
            PngBadTransparency);
}

TEST(PngCodec, BoundsSizeAndInflatedData) {
  TDecodedPng image;
  // Sizes are refused from the header alone: no image data is needed to say so.
  EXPECT_EQ(Decode(File({{"IHDR", Header(0, 5, 8, 0)}}), image), PngBadSize);
  EXPECT_EQ(Decode(File({{"IHDR", Header(0x80000000u, 1, 8, 0)}}), image), PngBadSize);
  EXPECT_EQ(Decode(File({{"IHDR", Header(65536, 65536, 8, 6)}}), image), PngBadSize);
  EXPECT_EQ(Decode(File({{"IHDR", Header(2000, 1000, 8, 6)}}), image, 1000000), PngOverLimit);

  // A 1 x 1 grey image needs two bytes; a few hundred compressed bytes that inflate
  // to a megabyte are stopped at the first byte too many.
  EXPECT_EQ(Decode(File({{"IHDR", Header(1, 1, 8, 0)}, {"IDAT", Compress(Bytes(1 << 20, 0))}}), image),
            PngTooMuchData);
  EXPECT_EQ(Decode(File({{"IHDR", Header(1, 1, 8, 0)}, {"IDAT", Compress({0, 7, 9})}}), image), PngTooMuchData);
  // So is a second zlib stream, or bytes after the first one.
  Bytes twice = Compress({0, 7});
  const Bytes again = twice;
  twice.insert(twice.end(), again.begin(), again.end());
  EXPECT_EQ(Decode(File({{"IHDR", Header(1, 1, 8, 0)}, {"IDAT", twice}}), image), PngTooMuchData);
  EXPECT_EQ(Decode(File({{"IHDR", Header(1, 1, 8, 0)}, {"IDAT", Compress({0, 7})}, {"IDAT", Compress({0, 7})}}),
                   image),
            PngTooMuchData);
  ASSERT_EQ(Decode(File({{"IHDR", Header(1, 1, 8, 0)}, {"IDAT", Compress({0, 7})}, {"IDAT", {}}}), image), PngOk);
  EXPECT_EQ(image.Pixels.At(0, 0), 0xFF070707u);
}

// Allocation `failAt` (counting those of a kilobyte or more) fails.
int failAt = 0;
void* (*realGetMem)(size_t) = nullptr;
void* FailingGetMem(size_t size) {
  if (size >= 1024 && --failAt == 0) return nullptr;
  return realGetMem(size);
}

TEST(PngCodec, ReportsEachAllocationFailureAsAStatus) {
  // 1000 x 1 at 16-bit RGBA: the inflated rows, the pixels and a row of zeros.
  const Bytes file = File({{"IHDR", Header(1000, 1, 16, 6)}, {"IDAT", Compress(Bytes(8001, 0))}});
  TMemoryManager saved;
  GetMemoryManager(saved);
  realGetMem = saved.GetMem;
  TMemoryManager failing = saved;
  failing.GetMem = failing.GetObjectMem = &FailingGetMem;
  for (int k = 1;; k++) {
    TDecodedPng image;
    TPngStatus status = PngBadData;
    bool threw = false;
    failAt = k;
    ASSERT_TRUE(SetMemoryManager(failing));
    try {
      status = Decode(file, image);
    } catch (...) {
      threw = true;
    }
    SetMemoryManager(saved);
    EXPECT_FALSE(threw) << "allocation " << k;
    if (status == PngOk) break;
    EXPECT_EQ(status, PngOutOfMemory) << "allocation " << k;
    EXPECT_TRUE(image.Pixels.Empty());
    ASSERT_LT(k, 50);
  }
}

#ifndef _WIN32
// Every colour type, bit depth and interlace, written by the set's script and read
// by PIL: the decoder gives PIL's pixels exactly (alpha included).
TEST(PngCodec, DecodesLikePil) {
  const std::string dir = velmora::test::TempPath("pngset");
  const std::string command = "/usr/bin/python3 " + velmora::test::SourcePath("tests/data/png/make_png_set.py") +
                              " " + dir;
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  std::ifstream manifest(dir + "/manifest.txt");
  std::set<std::tuple<int, int, bool>> kinds;
  std::set<int> keyedTypes;
  int images = 0;
  for (std::string name; manifest >> name;) {
    int w = 0, h = 0;
    manifest >> w >> h;
    const std::string file = velmora::test::ReadFileBytes(dir + "/" + name + ".png");
    const std::string want = velmora::test::ReadFileBytes(dir + "/" + name + ".rgba");
    TDecodedPng image;
    ASSERT_EQ(DecodePng(reinterpret_cast<const uint8_t*>(file.data()), file.size(), image), PngOk) << name;
    ASSERT_EQ(image.Pixels.Width, w) << name;
    ASSERT_EQ(image.Pixels.Height, h) << name;
    ASSERT_EQ(want.size(), size_t(w) * h * 4) << name;
    for (int i = 0; i < w * h; i++) {
      const auto* p = reinterpret_cast<const uint8_t*>(want.data()) + 4 * i;
      const uint32_t expected = (uint32_t{p[3]} << 24) | (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
      ASSERT_EQ(image.Pixels.Pixels[i], expected) << name << " pixel " << i % w << "," << i / w;
    }
    kinds.insert({image.ColorType, image.BitDepth, image.Interlaced});
    if (name.find("_trns") != std::string::npos) {
      EXPECT_TRUE(image.HasAlpha) << name;
      keyedTypes.insert(image.ColorType);
    }
    images++;
  }
  std::system(("rm -rf " + dir).c_str());
  // 15 colour type and depth pairs, each plain and interlaced; keys on 0, 2 and 3.
  EXPECT_EQ(kinds.size(), 30u);
  EXPECT_EQ(keyedTypes, (std::set<int>{0, 2, 3}));
  EXPECT_GE(images, 52);
}
#endif

}  // namespace
