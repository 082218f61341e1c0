#pragma once
// An 8-bit palette PNG of a quantised image, written without outside image code.
#include <string>

#include "classlib/PixelBuffer.h"
#include "exclog/core/EOctree.h"

namespace exclog {

// Compressed image data goes into IDAT chunks of this many bytes (the last one shorter).
constexpr size_t PngIdatChunkSize = 0x3FFFF;

// The whole PNG file: signature, IHDR, PLTE (256 entries), IDAT chunks of the rows
// (filter 0, deflated at level 9), IEND. Raises EZLibError when deflating fails;
// an empty image gives an empty text.
std::string EncodePalettePng(const TPaletteImage& image);

// Quantises `image` and writes it as a PNG file at `path`. False, with no file
// left behind, on any failure.
bool SavePalettePng(const TPixelBuffer& image, const std::string& path);

}  // namespace exclog
