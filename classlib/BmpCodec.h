#pragma once
// BMP files and packed DIBs to and from plain memory images.
//
// Pure code: no Win32 header. The Windows bitmap class builds DIB sections from
// what this decodes and hands its pixels back here to save them.
//
// Decoding reads every header version (core 12, OS/2 2.x 16..64, info 40, 52, 56,
// V4 108, V5 124), 1/4/8/16/24/32 bits per pixel, BI_RGB, BI_RLE8, BI_RLE4,
// BI_BITFIELDS and BI_ALPHABITFIELDS, rows bottom-up or top-down. Every read is
// bounds-checked against the input; a file that lies about its sizes gives an
// error, never a read past the input or an allocation beyond the pixel cap.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "classlib/PixelBuffer.h"

// Largest image the decoder will allocate (width * height).
constexpr uint64_t BmpMaxPixels = 64u * 1024u * 1024u;

// A decoded image plus what the source said about its format.
struct TBmpImage {
  TPixelBuffer Pixels;             // top-down, 0x00RRGGBB; alpha in the top byte when HasAlpha
  int BitCount = 0;                // the source's bits per pixel: 1, 4, 8, 16, 24 or 32
  std::vector<uint32_t> Palette;   // 0x00RRGGBB entries, for BitCount <= 8 (may be shorter than 2^BitCount)
  std::vector<uint8_t> Indices;    // palette index per pixel (top-down) for BitCount <= 8, else empty
  bool HasAlpha = false;           // the source had an alpha mask (32 bits, V4/V5 or BI_ALPHABITFIELDS)
  bool TopDown = false;            // the source stored rows top-down
  uint32_t Masks[4] = {0, 0, 0, 0};  // red, green, blue, alpha of a bit-field source (16-bit
                                     // BI_RGB: the 5-5-5 masks); zero otherwise
  int XPelsPerMeter = 0;
  int YPelsPerMeter = 0;
};

// Why a decode failed; BmpOk on success.
enum TBmpStatus {
  BmpOk = 0,
  BmpTooShort,            // fewer bytes than the headers need
  BmpBadSignature,        // no "BM" at the start of a file
  BmpBadHeader,           // unknown header size, planes != 1 or an impossible field
  BmpBadSize,             // width or height zero, negative width, or beyond the pixel cap
  BmpUnsupported,         // a compression or bit depth this decoder does not read
  BmpBadPalette,          // the palette does not fit in the input
  BmpBadOffset,           // the pixel data offset points outside the input
  BmpTruncated,           // fewer pixel bytes than the size needs
  BmpBadRle,              // RLE data that runs past its end or is not allowed
  BmpOutOfMemory,         // the image's memory could not be had
  BmpOverLimit,           // within BmpMaxPixels, but above the caller's pixel limit
};

// A short English text for a status ("BMP data is truncated").
const char* BmpStatusText(TBmpStatus status);

// Decodes a whole BMP file (starting with "BM"). On failure `image` is left empty
// and the status tells why. An image of more than `maxPixels` (width * height) is
// BmpOverLimit (BmpBadSize above BmpMaxPixels), refused before anything is
// allocated, and an allocation that fails is BmpOutOfMemory: a file of a few dozen
// bytes (RLE with an early end) may claim a huge image.
TBmpStatus DecodeBmpFile(const uint8_t* data, size_t size, TBmpImage& image,
                         uint64_t maxPixels = BmpMaxPixels);

// Decodes a packed DIB: an info header, its masks and palette, then the pixels
// right after them (the layout of RT_BITMAP resources and CF_DIB).
TBmpStatus DecodePackedDib(const uint8_t* data, size_t size, TBmpImage& image,
                           uint64_t maxPixels = BmpMaxPixels);

// Writes `image` as a BMP file: BITMAPINFOHEADER, BI_RGB, bottom-up rows.
// `bitCount` is 1, 4, 8, 24 or 32; for 1/4/8 the palette is `palette` (at most
// 2^bitCount entries, 0x00RRGGBB; empty means a grey ramp for 8 bits, black/white
// for 1 bit, the 16 VGA colours for 4 bits) and each pixel is written as the
// index of the palette entry nearest to it (exact matches first). 32 bits keeps
// the pixels' top byte. Any other bitCount is treated as 24.
std::vector<uint8_t> EncodeBmpFile(const TPixelBuffer& pixels, int bitCount,
                                   const std::vector<uint32_t>& palette = {});

// Writes a palette image from its indices (one byte per pixel, top-down,
// Width * Height of them) without remapping. bitCount is 1, 4 or 8; indices are
// masked to the bit depth.
std::vector<uint8_t> EncodeIndexedBmpFile(int width, int height, int bitCount,
                                          const std::vector<uint32_t>& palette,
                                          const std::vector<uint8_t>& indices);

// The default palette EncodeBmpFile uses for a bit depth of 1, 4 or 8.
std::vector<uint32_t> DefaultBmpPalette(int bitCount);

// Index of the palette entry nearest to `pixel` (squared RGB distance; the
// first of equals wins). The palette must not be empty.
int NearestPaletteIndex(const std::vector<uint32_t>& palette, uint32_t pixel);
