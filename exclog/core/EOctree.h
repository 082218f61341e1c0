#pragma once
// Colour reduction for the screenshot: an octree over the colours of an image,
// folded until at most 256 leaves are left. An image of at most 256 colours keeps
// every one of them exactly.
#include <cstdint>
#include <vector>

#include "classlib/PixelBuffer.h"

namespace exclog {

// An image of palette indices, rows top first.
struct TPaletteImage {
  int Width = 0;
  int Height = 0;
  std::vector<uint32_t> Palette;  // 0x00RRGGBB, at most 256
  std::vector<uint8_t> Indices;   // Width * Height
};

// Each pixel becomes the index of its leaf; the palette lists the leaves in tree
// order, each the mean colour of its pixels. An empty image gives an empty result.
TPaletteImage QuantiseOctree(const TPixelBuffer& image);

}  // namespace exclog
