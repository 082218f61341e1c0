#pragma once
// PNG files to plain memory images.
//
// Pure code: no Win32 header. The Windows image class (PngImage_win.h) draws what
// this decodes.
//
// Reads every colour type and bit depth a PNG file may have (grey 1/2/4/8/16,
// truecolour 8/16, palette 1/2/4/8, grey with alpha 8/16, truecolour with alpha
// 8/16), plain or Adam7-interlaced, with tRNS transparency. Every chunk's CRC is
// checked and every read is bounded by the input; the image's size is refused
// above a pixel limit before anything is allocated, and the decompressed data may
// never exceed what the header's size needs, so a small hostile file can neither
// read past its end nor make the decoder allocate or inflate without bound.
#include <cstddef>
#include <cstdint>

#include "classlib/PixelBuffer.h"

// Largest image the decoder will make (width * height): 4096 x 4096.
constexpr uint64_t PngMaxPixels = 16u * 1024u * 1024u;

// A decoded image plus what the file said about its format.
struct TDecodedPng {
  // Top-down, 0xAARRGGBB with straight (not premultiplied) alpha; 16-bit samples
  // keep their high byte, smaller grey samples are scaled to 0..255.
  TPixelBuffer Pixels;
  int BitDepth = 0;         // bits per sample (per index for palette images)
  int ColorType = 0;        // 0 grey, 2 truecolour, 3 palette, 4 grey + alpha, 6 truecolour + alpha
  bool Interlaced = false;  // Adam7
  bool HasAlpha = false;    // an alpha channel or a tRNS chunk: some pixels may not be opaque
};

// Why a decode failed; PngOk on success.
enum TPngStatus {
  PngOk = 0,
  PngBadSignature,   // not a PNG file
  PngTruncated,      // the data ends inside a chunk or before IEND
  PngBadCrc,         // a chunk's CRC does not match its type and data
  PngBadChunk,       // a chunk length or type that cannot be, or chunks in an order that cannot be
  PngBadHeader,      // IHDR missing, of the wrong length, or with a combination the format lacks
  PngBadSize,        // width or height zero or beyond the pixel cap
  PngOverLimit,      // within the cap, but above the caller's pixel limit
  PngBadPalette,     // PLTE missing, misplaced, of a wrong length, or an index beyond it
  PngBadTransparency,// a tRNS chunk of the wrong length or place
  PngUnsupported,    // an unknown critical chunk
  PngBadData,        // the compressed data does not inflate
  PngMissingData,    // less image data than the size needs
  PngTooMuchData,    // more image data than the size needs
  PngBadFilter,      // a row filter type other than 0..4
  PngOutOfMemory,    // the image's memory could not be had
};

// A short English text for a status ("PNG chunk CRC mismatch").
const char* PngStatusText(TPngStatus status);

// True when `data` starts with the PNG signature.
bool IsPngSignature(const uint8_t* data, size_t size);

// Decodes a whole PNG file. On failure `image` is left empty and the status tells
// why. An image of more than `maxPixels` (width * height) is PngOverLimit
// (PngBadSize above PngMaxPixels), refused before anything is allocated.
TPngStatus DecodePng(const uint8_t* data, size_t size, TDecodedPng& image, uint64_t maxPixels = PngMaxPixels);
