#include "skin/painters/PainterRules.h"

#include <algorithm>

namespace skin {

using namespace textflags;

TSliceRect FocusRectFor(const TSliceRect& caption, const TSliceRect& measured, uint32_t flags) {
  TSliceRect r = measured;
  const int w = measured.Width(), h = measured.Height();
  if (flags & DT_CENTER_) {
    r.Left = caption.Left + (caption.Width() - w) / 2;
    r.Top = caption.Top + (caption.Height() - h) / 2 - 1;
  } else if (flags & DT_RIGHT_) {
    r.Left = caption.Right - w;
  }
  r.Right = r.Left + w;
  r.Bottom = r.Top + h;
  r = {r.Left - 2, r.Top - 1, r.Right + 2, r.Bottom + 1};
  TSliceRect clipped{std::max(r.Left, caption.Left), std::max(r.Top, caption.Top),
                     std::min(r.Right, caption.Right), std::min(r.Bottom, caption.Bottom)};
  if (clipped.Empty()) return {};
  return clipped;
}

TSliceRect AlignedCaptionRect(const TSliceRect& rect, int textWidth, int textHeight) {
  const int left = rect.Left + (rect.Width() - textWidth) / 2;
  const int top = rect.Top + (rect.Height() - textHeight) / 2;
  return {left, top, left + textWidth, top + textHeight};
}

uint32_t AlignedCaptionFlags(int alignment) {
  const uint32_t align = alignment == 1 ? DT_RIGHT_ : alignment == 2 ? DT_CENTER_ : DT_LEFT_;
  return align | DT_SINGLELINE_ | DT_EXPANDTABS_;
}

uint32_t CaptionFlagsFor(uint32_t flags, bool rightToLeft) {
  return rightToLeft ? flags | DT_RTLREADING_ : flags;
}

bool IsTopLevelWindow(uintptr_t parent, uintptr_t desktop, uint32_t style) {
  constexpr uint32_t kPopup = 0x80000000u;
  return parent == desktop || (style & kPopup) != 0;
}

}  // namespace skin
