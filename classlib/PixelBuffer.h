#pragma once
// A plain 32-bit image in memory: the model that pure pixel code (BMP decoding,
// skin slicing, recolouring) works on, and that the Windows glue copies to and
// from DIB sections.
//
// Rows run top-down. A pixel is 0x00RRGGBB, the byte order of a 32-bit DIB
// (blue first in memory); the top byte is free for callers (alpha or a mask bit).
#include <cstddef>
#include <cstdint>
#include <vector>

struct TPixelBuffer {
  int Width = 0;
  int Height = 0;
  std::vector<uint32_t> Pixels;  // Width * Height, row-major, top row first

  TPixelBuffer() = default;
  TPixelBuffer(int width, int height, uint32_t fill = 0)
      : Width(width > 0 && height > 0 ? width : 0),
        Height(width > 0 && height > 0 ? height : 0),
        Pixels(static_cast<size_t>(Width) * static_cast<size_t>(Height), fill) {}

  bool Empty() const { return Width <= 0 || Height <= 0; }
  bool Contains(int x, int y) const { return x >= 0 && y >= 0 && x < Width && y < Height; }

  // Unchecked access: callers keep (x, y) inside, see Contains.
  uint32_t& At(int x, int y) { return Pixels[static_cast<size_t>(y) * Width + x]; }
  uint32_t At(int x, int y) const { return Pixels[static_cast<size_t>(y) * Width + x]; }

  uint32_t* Row(int y) { return Pixels.data() + static_cast<size_t>(y) * Width; }
  const uint32_t* Row(int y) const { return Pixels.data() + static_cast<size_t>(y) * Width; }
};

// Conversions between a pixel (0x00RRGGBB) and a Windows colour value (0x00BBGGRR).
constexpr uint32_t PixelFromRGB(uint8_t r, uint8_t g, uint8_t b) {
  return (uint32_t{r} << 16) | (uint32_t{g} << 8) | b;
}
constexpr uint8_t PixelRed(uint32_t p) { return static_cast<uint8_t>(p >> 16); }
constexpr uint8_t PixelGreen(uint32_t p) { return static_cast<uint8_t>(p >> 8); }
constexpr uint8_t PixelBlue(uint32_t p) { return static_cast<uint8_t>(p); }
constexpr uint32_t PixelFromColorRef(uint32_t colorRef) {
  return PixelFromRGB(static_cast<uint8_t>(colorRef), static_cast<uint8_t>(colorRef >> 8),
                      static_cast<uint8_t>(colorRef >> 16));
}
constexpr uint32_t ColorRefFromPixel(uint32_t p) {
  return uint32_t{PixelRed(p)} | (uint32_t{PixelGreen(p)} << 8) | (uint32_t{PixelBlue(p)} << 16);
}
