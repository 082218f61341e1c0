#include "classlib/BmpCodec.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/BmpSamples.h"
#include "classlib/Memory.h"
#include "tests/support/TestPaths.h"

namespace {

using Bytes = std::vector<uint8_t>;

void Put16(Bytes& b, uint32_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(Bytes& b, uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}

// A BITMAPINFOHEADER by hand.
Bytes InfoHeader(int32_t width, int32_t height, int bits, uint32_t compression = 0, uint32_t used = 0) {
  Bytes b;
  Put32(b, 40);
  Put32(b, static_cast<uint32_t>(width));
  Put32(b, static_cast<uint32_t>(height));
  Put16(b, 1);
  Put16(b, bits);
  Put32(b, compression);
  Put32(b, 0);
  Put32(b, 0);
  Put32(b, 0);
  Put32(b, used);
  Put32(b, 0);
  return b;
}

// "BM" file header + header + rest, with the pixel offset after `beforePixels`.
Bytes File(const Bytes& header, const Bytes& beforePixels, const Bytes& pixels) {
  Bytes b{'B', 'M'};
  uint32_t offset = static_cast<uint32_t>(14 + header.size() + beforePixels.size());
  Put32(b, offset + static_cast<uint32_t>(pixels.size()));
  Put32(b, 0);
  Put32(b, offset);
  b.insert(b.end(), header.begin(), header.end());
  b.insert(b.end(), beforePixels.begin(), beforePixels.end());
  b.insert(b.end(), pixels.begin(), pixels.end());
  return b;
}

TBmpStatus Decode(const Bytes& file, TBmpImage& image) {
  return DecodeBmpFile(file.data(), file.size(), image);
}

// The data in tests/data/bmp/ was written by tests/peers/bmp_samples.py: ImageMagick
// and hand-packed files, each with PIL's decoding beside it.
TEST(BmpCodec, MatchesPilOnEverySample) {
  std::vector<velmora::test::TBmpSample> samples = velmora::test::BmpSamples();
  ASSERT_GE(samples.size(), 30u);
  int headerKinds[5] = {0, 0, 0, 0, 0};  // 12, 40, 108, 124, other
  for (const velmora::test::TBmpSample& s : samples) {
    SCOPED_TRACE(s.Stem);
    std::string base = "tests/data/bmp/" + s.Stem;
    std::string bmp = velmora::test::ReadFileBytes(velmora::test::SourcePath(base + ".bmp"));
    std::string expect = velmora::test::ReadFileBytes(velmora::test::SourcePath(base + "." + s.Kind));
    TBmpImage image;
    ASSERT_EQ(DecodeBmpFile(reinterpret_cast<const uint8_t*>(bmp.data()), bmp.size(), image), BmpOk);
    ASSERT_EQ(image.Pixels.Width, s.Width);
    ASSERT_EQ(image.Pixels.Height, s.Height);
    EXPECT_EQ(image.BitCount, s.Bits);
    const bool alpha = s.Kind == "rgba";
    const size_t channels = alpha ? 4 : 3;
    ASSERT_EQ(expect.size(), static_cast<size_t>(s.Width) * s.Height * channels);
    EXPECT_EQ(image.HasAlpha, alpha);
    int mismatches = 0;
    for (int y = 0; y < s.Height; ++y) {
      for (int x = 0; x < s.Width; ++x) {
        const uint8_t* p = reinterpret_cast<const uint8_t*>(expect.data()) + (static_cast<size_t>(y) * s.Width + x) * channels;
        uint32_t want = PixelFromRGB(p[0], p[1], p[2]) | (alpha ? uint32_t{p[3]} << 24 : 0);
        uint32_t got = image.Pixels.At(x, y) & (alpha ? 0xFFFFFFFFu : 0xFFFFFFu);
        if (got != want && ++mismatches <= 3)
          ADD_FAILURE() << "pixel (" << x << ", " << y << "): got " << std::hex << got << " want " << want;
      }
    }
    EXPECT_EQ(mismatches, 0);
    switch (s.HeaderSize) {
      case 12: ++headerKinds[0]; break;
      case 40: ++headerKinds[1]; break;
      case 108: ++headerKinds[2]; break;
      case 124: ++headerKinds[3]; break;
      default: ++headerKinds[4]; break;
    }
  }
  // Every header version is covered by the data.
  for (int i = 0; i < 4; ++i) EXPECT_GT(headerKinds[i], 0) << i;
}

TEST(BmpCodec, RowOrderPaddingAndChannelOrder) {
  // 3 x 2, 24 bits: rows of 9 bytes padded to 12; bottom row first in the file.
  Bytes pixels = {
      0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0xEE, 0xEE, 0xEE,  // bottom
      0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70, 0x80, 0x90, 0xEE, 0xEE, 0xEE,  // top
  };
  TBmpImage image;
  ASSERT_EQ(Decode(File(InfoHeader(3, 2, 24), {}, pixels), image), BmpOk);
  EXPECT_EQ(image.Pixels.At(0, 0), 0x302010u);  // B, G, R in the file
  EXPECT_EQ(image.Pixels.At(2, 0), 0x908070u);
  EXPECT_EQ(image.Pixels.At(0, 1), 0x030201u);
  EXPECT_EQ(image.Pixels.At(2, 1), 0x090807u);
  EXPECT_FALSE(image.TopDown);

  // The same rows with a negative height are read top row first.
  ASSERT_EQ(Decode(File(InfoHeader(3, -2, 24), {}, pixels), image), BmpOk);
  EXPECT_EQ(image.Pixels.At(0, 0), 0x030201u);
  EXPECT_EQ(image.Pixels.At(2, 1), 0x908070u);
  EXPECT_TRUE(image.TopDown);
}

TEST(BmpCodec, PaletteImagesKeepIndicesAndPalette) {
  // 1-bit, 10 x 1: bits 1011 0000 01 -> indices.
  Bytes palette = {0x00, 0x00, 0xFF, 0, 0xFF, 0x00, 0x00, 0};  // red, blue
  Bytes pixels = {0xB0, 0x40, 0x00, 0x00};
  TBmpImage image;
  ASSERT_EQ(Decode(File(InfoHeader(10, 1, 1), palette, pixels), image), BmpOk);
  EXPECT_EQ(image.BitCount, 1);
  EXPECT_EQ(image.Palette, (std::vector<uint32_t>{0xFF0000, 0x0000FF}));
  EXPECT_EQ(image.Indices, (std::vector<uint8_t>{1, 0, 1, 1, 0, 0, 0, 0, 0, 1}));
  EXPECT_EQ(image.Pixels.At(0, 0), 0x0000FFu);
  EXPECT_EQ(image.Pixels.At(1, 0), 0xFF0000u);

  // An index beyond a short palette (biClrUsed 2 for 4 bits) reads as black.
  Bytes nibbles = {0x1F, 0x00, 0x00, 0x00};
  ASSERT_EQ(Decode(File(InfoHeader(2, 1, 4, 0, 2), palette, nibbles), image), BmpOk);
  EXPECT_EQ(image.Pixels.At(0, 0), 0x0000FFu);
  EXPECT_EQ(image.Pixels.At(1, 0), 0u);
}

TEST(BmpCodec, BitFieldsWithAlphaAndPackedDib) {
  // BI_ALPHABITFIELDS (6): four masks after the header; 0x80 alpha in the top byte.
  Bytes masks;
  for (uint32_t m : {0x00FF0000u, 0x0000FF00u, 0x000000FFu, 0xFF000000u}) Put32(masks, m);
  Bytes pixels = {0x11, 0x22, 0x33, 0x80};
  Bytes dib = InfoHeader(1, 1, 32, 6);
  dib.insert(dib.end(), masks.begin(), masks.end());
  dib.insert(dib.end(), pixels.begin(), pixels.end());
  TBmpImage image;
  ASSERT_EQ(DecodePackedDib(dib.data(), dib.size(), image), BmpOk);
  EXPECT_TRUE(image.HasAlpha);
  EXPECT_EQ(image.Pixels.At(0, 0), 0x80332211u);

  // 16-bit 5-6-5: 0xFFFF is white, 0x07E0 pure green; 0x0821 has 1 in each field
  // (255/31 = 8 for red and blue, 255/63 = 4 for green, truncated).
  Bytes p16;
  Put16(p16, 0xFFFF);
  Put16(p16, 0x07E0);
  Put16(p16, 0x0821);
  Put16(p16, 0);
  Bytes m565;
  for (uint32_t m : {0xF800u, 0x07E0u, 0x001Fu}) Put32(m565, m);
  ASSERT_EQ(Decode(File(InfoHeader(3, 1, 16, 3), m565, p16), image), BmpOk);
  EXPECT_EQ(image.Pixels.At(0, 0), 0xFFFFFFu);
  EXPECT_EQ(image.Pixels.At(1, 0), 0x00FF00u);
  EXPECT_EQ(image.Pixels.At(2, 0), 0x080408u);
  EXPECT_FALSE(image.HasAlpha);
  EXPECT_EQ(image.Masks[1], 0x07E0u);
}

TEST(BmpCodec, RareHeaderSizes) {
  // 56 bytes (V3): four masks inside the header, here in R, G, B, A byte order.
  Bytes v3 = InfoHeader(1, 1, 32, 3);
  v3[0] = 56;
  for (uint32_t m : {0x000000FFu, 0x0000FF00u, 0x00FF0000u, 0xFF000000u}) Put32(v3, m);
  TBmpImage image;
  ASSERT_EQ(Decode(File(v3, {}, {0x11, 0x22, 0x33, 0x44}), image), BmpOk);
  EXPECT_EQ(image.Pixels.At(0, 0), 0x44112233u);
  EXPECT_TRUE(image.HasAlpha);

  // 52 bytes (V2): three masks inside, no alpha.
  Bytes v2 = InfoHeader(1, 1, 16, 3);
  v2[0] = 52;
  for (uint32_t m : {0xF800u, 0x07E0u, 0x001Fu}) Put32(v2, m);
  ASSERT_EQ(Decode(File(v2, {}, {0x00, 0xF8, 0, 0}), image), BmpOk);
  EXPECT_EQ(image.Pixels.At(0, 0), 0xFF0000u);
  EXPECT_FALSE(image.HasAlpha);

  // 16 bytes (short OS/2 2.x): size, 32-bit width and height, planes, bit count.
  Bytes os2;
  Put32(os2, 16);
  Put32(os2, 1);
  Put32(os2, 1);
  Put16(os2, 1);
  Put16(os2, 24);
  ASSERT_EQ(Decode(File(os2, {}, {0x01, 0x02, 0x03, 0x00}), image), BmpOk);
  EXPECT_EQ(image.Pixels.At(0, 0), 0x030201u);

  // OS/2 compression 3 is Huffman, not bit fields.
  Bytes os2Huffman = InfoHeader(1, 1, 1, 3);
  os2Huffman[0] = 64;
  os2Huffman.resize(64, 0);
  EXPECT_EQ(Decode(File(os2Huffman, Bytes(8, 0), {0, 0, 0, 0}), image), BmpUnsupported);
}

TEST(BmpCodec, RleClipsRunsAndHonoursDeltaAndEnd) {
  Bytes palette;
  for (uint32_t c : {0x000000u, 0x0000FFu, 0x00FF00u, 0xFF0000u}) Put32(palette, c);
  // 4 x 2 RLE8: a run of 6 is clipped to the row; the next row starts after EOL;
  // delta (1, 0) skips a pixel, which keeps index 0; then end of bitmap.
  Bytes rle = {6, 1, 0, 0, 1, 2, 0, 2, 1, 0, 2, 3, 0, 1};
  TBmpImage image;
  ASSERT_EQ(Decode(File(InfoHeader(4, 2, 8, 1, 4), palette, rle), image), BmpOk);
  // Bottom row (stored first) is y = 1.
  EXPECT_EQ(image.Indices, (std::vector<uint8_t>{2, 0, 3, 3, 1, 1, 1, 1}));
  EXPECT_EQ(image.Pixels.At(0, 0), 0xFF00u);  // palette entry 2 is B=0 G=FF R=0

  // An absolute run that claims more bytes than are left is an error.
  Bytes bad = {0, 5, 1, 2};
  EXPECT_EQ(Decode(File(InfoHeader(8, 1, 8, 1, 4), palette, bad), image), BmpBadRle);
  EXPECT_TRUE(image.Pixels.Empty());

  // RLE4 absolute run of 3 pixels: 2 bytes, padded to a 16-bit boundary already.
  Bytes rle4 = {0, 3, 0x12, 0x30, 2, 0x21, 0, 1};
  ASSERT_EQ(Decode(File(InfoHeader(5, 1, 4, 2, 4), palette, rle4), image), BmpOk);
  EXPECT_EQ(image.Indices, (std::vector<uint8_t>{1, 2, 3, 2, 1}));
}

// A few bytes of RLE8 that claim a large image: one run, then end of bitmap.
Bytes HugeClaimRle(int32_t width, int32_t height) {
  Bytes palette;
  Put32(palette, 0x0000FF);
  return File(InfoHeader(width, height, 8, 1, 1), palette, {2, 0, 0, 1});
}

TEST(BmpCodec, CallersPixelLimitRefusesBeforeAllocating) {
  TBmpImage image;
  const Bytes file = HugeClaimRle(2000, 1000);  // 2 M pixels from a 62-byte file
  EXPECT_EQ(DecodeBmpFile(file.data(), file.size(), image, 2000u * 1000u - 1), BmpOverLimit);
  EXPECT_TRUE(image.Pixels.Empty());
  ASSERT_EQ(DecodeBmpFile(file.data(), file.size(), image, 2000u * 1000u), BmpOk);
  EXPECT_EQ(image.Pixels.Width, 2000);
  // Above the format's own cap it stays a bad size, whatever the caller allows.
  const Bytes beyond = HugeClaimRle(8193, 8192);
  EXPECT_EQ(DecodeBmpFile(beyond.data(), beyond.size(), image, UINT64_MAX), BmpBadSize);
  EXPECT_EQ(DecodePackedDib(file.data() + 14, file.size() - 14, image, 1000), BmpOverLimit);
}

// Memory that runs out for large blocks, as a 32-bit process's address space does.
TMemoryManager previousManager;
void* SmallBlocksOnly(size_t size) { return size > (1u << 20) ? nullptr : previousManager.GetMem(size); }

TEST(BmpCodec, AFailedAllocationIsADecodeError) {
  const Bytes file = HugeClaimRle(2000, 2000);
  TBmpImage image;
  GetMemoryManager(previousManager);
  TMemoryManager failing = previousManager;
  failing.GetMem = SmallBlocksOnly;
  ASSERT_TRUE(SetMemoryManager(failing));
  const TBmpStatus status = DecodeBmpFile(file.data(), file.size(), image);
  const TBmpStatus dibStatus = DecodePackedDib(file.data() + 14, file.size() - 14, image);
  SetMemoryManager(previousManager);
  EXPECT_EQ(status, BmpOutOfMemory);
  EXPECT_EQ(dibStatus, BmpOutOfMemory);
  EXPECT_TRUE(image.Pixels.Empty());
  EXPECT_STREQ(BmpStatusText(BmpOutOfMemory), "BMP image does not fit in memory");
}

TEST(BmpCodec, LyingOrBrokenFilesGiveErrors) {
  Bytes px(4 * 2, 0x7F);
  TBmpImage image;
  Bytes good = File(InfoHeader(2, 2, 8), Bytes(1024, 0), Bytes(8, 1));
  ASSERT_EQ(Decode(good, image), BmpOk);

  Bytes notBmp = good;
  notBmp[0] = 'X';
  EXPECT_EQ(Decode(notBmp, image), BmpBadSignature);
  EXPECT_TRUE(image.Pixels.Empty());

  Bytes cut(good.begin(), good.end() - 1);  // last row keeps its bytes only without padding
  EXPECT_EQ(Decode(cut, image), BmpOk);
  Bytes cutMore(good.begin(), good.end() - 3);
  EXPECT_EQ(Decode(cutMore, image), BmpTruncated);

  EXPECT_EQ(Decode(File(InfoHeader(0, 2, 24), {}, px), image), BmpBadSize);
  EXPECT_EQ(Decode(File(InfoHeader(-2, 2, 24), {}, px), image), BmpBadSize);
  EXPECT_EQ(Decode(File(InfoHeader(2, 0, 24), {}, px), image), BmpBadSize);
  // 2^31 - 1 wide: no attempt to allocate it.
  EXPECT_EQ(Decode(File(InfoHeader(0x7FFFFFFF, 0x7FFFFFFF, 24), {}, px), image), BmpBadSize);
  EXPECT_EQ(Decode(File(InfoHeader(8193, 8192, 24), {}, px), image), BmpBadSize);
  // Within the cap but far more pixels than bytes.
  EXPECT_EQ(Decode(File(InfoHeader(4000, 4000, 24), {}, px), image), BmpTruncated);

  EXPECT_EQ(Decode(File(InfoHeader(2, 2, 7), {}, px), image), BmpUnsupported);
  EXPECT_EQ(Decode(File(InfoHeader(2, 2, 24, 4), {}, px), image), BmpUnsupported);  // JPEG
  EXPECT_EQ(Decode(File(InfoHeader(2, 2, 24, 1), {}, px), image), BmpUnsupported);  // RLE8 at 24 bits

  Bytes planes = InfoHeader(2, 2, 24);
  planes[12] = 2;
  EXPECT_EQ(Decode(File(planes, {}, px), image), BmpBadHeader);
  Bytes hugeHeader = InfoHeader(2, 2, 24);
  hugeHeader[0] = 0xFF;
  hugeHeader[3] = 0x7F;
  EXPECT_EQ(Decode(File(hugeHeader, {}, px), image), BmpBadHeader);

  // A palette that runs past the end of the data.
  Bytes shortPal = File(InfoHeader(2, 2, 8), {}, {});
  Put32(shortPal, 0);
  shortPal[10] = 0;  // no offset: the palette would start right after the header
  shortPal[11] = 0;
  EXPECT_EQ(Decode(shortPal, image), BmpBadPalette);

  // A pixel offset beyond the file.
  Bytes farOffset = good;
  farOffset[12] = 0x10;
  EXPECT_EQ(Decode(farOffset, image), BmpBadOffset);

  // A header that stops halfway.
  Bytes half(good.begin(), good.begin() + 30);
  EXPECT_EQ(Decode(half, image), BmpTooShort);
  EXPECT_EQ(DecodeBmpFile(nullptr, 0, image), BmpTooShort);
  EXPECT_STRNE(BmpStatusText(BmpTruncated), BmpStatusText(BmpOk));
}

#ifndef _WIN32
// PIL reads what the encoder writes, pixel for pixel (24/32 bits) and by palette.
std::string PilDecode(const Bytes& file) {
  char path[] = "/tmp/bmpcodec_XXXXXX";
  int fd = mkstemp(path);
  if (fd < 0) return {};
  FILE* f = fdopen(fd, "wb");
  fwrite(file.data(), 1, file.size(), f);
  fclose(f);
  std::string cmd = std::string("/usr/bin/python3 -c \"import sys; from PIL import Image; "
                                "sys.stdout.buffer.write(Image.open(sys.argv[1]).convert('RGB').tobytes())\" ") +
                    path;
  std::string out;
  if (FILE* p = popen(cmd.c_str(), "r")) {
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
  }
  std::remove(path);
  return out;
}

TEST(BmpCodec, EncoderOutputReadsBackInPil) {
  TPixelBuffer src(5, 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) src.At(x, y) = PixelFromRGB(x * 50, y * 100, 255 - x * 10);
  auto expectRgb = [&](const TPixelBuffer& want, const std::string& got) {
    ASSERT_EQ(got.size(), static_cast<size_t>(want.Width) * want.Height * 3);
    for (int i = 0; i < want.Width * want.Height; ++i) {
      uint32_t p = want.Pixels[i];
      EXPECT_EQ(PixelFromRGB(got[3 * i], got[3 * i + 1], got[3 * i + 2]), p & 0xFFFFFF) << i;
    }
  };
  expectRgb(src, PilDecode(EncodeBmpFile(src, 24)));
  expectRgb(src, PilDecode(EncodeBmpFile(src, 32)));

  // Palette images: every pixel already in the palette is written with its index.
  std::vector<uint32_t> palette = {0x102030, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
  TPixelBuffer pal(7, 3);
  for (int i = 0; i < 21; ++i) pal.Pixels[i] = palette[(i * 3) % 5];
  expectRgb(pal, PilDecode(EncodeBmpFile(pal, 8, palette)));
  expectRgb(pal, PilDecode(EncodeBmpFile(pal, 4, palette)));
  TPixelBuffer mono(9, 2);
  for (int i = 0; i < 18; ++i) mono.Pixels[i] = (i % 3) ? 0xFFFFFF : 0;
  expectRgb(mono, PilDecode(EncodeBmpFile(mono, 1)));
}
#endif

TEST(BmpCodec, EncoderMapsToNearestAndRoundTrips) {
  std::vector<uint32_t> palette = {0x000000, 0xFF0000, 0x0000FF};
  EXPECT_EQ(NearestPaletteIndex(palette, 0xF01010), 1);
  EXPECT_EQ(NearestPaletteIndex(palette, 0x1010F0), 2);
  EXPECT_EQ(NearestPaletteIndex(palette, 0x101010), 0);

  TPixelBuffer src(3, 2);
  src.Pixels = {0xF01010, 0x000000, 0x1010F0, 0x0000FF, 0xFF0000, 0x202020};
  Bytes file = EncodeBmpFile(src, 4, palette);
  // 14 + 40 + 3 entries * 4 = 66; two rows of 4 bytes.
  ASSERT_EQ(file.size(), 66u + 8u);
  EXPECT_EQ(file[10], 66);
  EXPECT_EQ(file[46], 3);  // biClrUsed
  TBmpImage back;
  ASSERT_EQ(DecodeBmpFile(file.data(), file.size(), back), BmpOk);
  EXPECT_EQ(back.BitCount, 4);
  EXPECT_EQ(back.Indices, (std::vector<uint8_t>{1, 0, 2, 2, 1, 0}));

  TPixelBuffer alpha(1, 1, 0x7F123456);
  Bytes f32 = EncodeBmpFile(alpha, 32);
  ASSERT_EQ(f32.size(), 54u + 4u);
  EXPECT_EQ(f32[54], 0x56);
  EXPECT_EQ(f32[57], 0x7F);  // the free byte is kept

  EXPECT_TRUE(EncodeBmpFile(TPixelBuffer(), 24).empty());
  EXPECT_TRUE(EncodeIndexedBmpFile(2, 2, 8, palette, {0, 1, 2}).empty());
}

}  // namespace
