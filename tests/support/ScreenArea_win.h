#pragma once
// Test helper: a rectangle of the screen captured at once, and where a colour shows
// in it.
#include <windows.h>

#include <algorithm>
#include <vector>

namespace velmora::test {

struct TScreenArea {
  int Width = 0, Height = 0;
  std::vector<COLORREF> Pixels;  // row by row, top first

  explicit TScreenArea(const RECT& screenRect)
      : Width(screenRect.right - screenRect.left), Height(screenRect.bottom - screenRect.top) {
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, Width, Height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, Width, Height, screen, screenRect.left, screenRect.top, SRCCOPY);
    for (int y = 0; y < Height; y++)
      for (int x = 0; x < Width; x++) Pixels.push_back(GetPixel(memory, x, y) & 0xFFFFFF);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
  }
  COLORREF At(int x, int y) const { return Pixels[size_t(y) * Width + x]; }
  int Count(COLORREF colour) const { return int(std::count(Pixels.begin(), Pixels.end(), colour)); }
  // The bounding box of the pixels of `colour`; all zero when there are none.
  RECT Box(COLORREF colour) const {
    RECT box{Width, Height, 0, 0};
    for (int y = 0; y < Height; y++)
      for (int x = 0; x < Width; x++)
        if (At(x, y) == colour)
          box = {std::min<LONG>(box.left, x), std::min<LONG>(box.top, y), std::max<LONG>(box.right, x + 1),
                 std::max<LONG>(box.bottom, y + 1)};
    return box.right > box.left ? box : RECT{};
  }
};

}  // namespace velmora::test
