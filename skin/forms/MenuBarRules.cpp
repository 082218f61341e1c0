#include "skin/forms/MenuBarRules.h"

#include <algorithm>

namespace skin {

int MenuBarFirstOffset(bool hasElement, bool rightToLeft, int leftWidth, int rightWidth, int barWidth) {
  if (!hasElement) return 6;
  const int64_t x0 = rightToLeft ? int64_t{rightWidth} + 8 : int64_t{leftWidth} + 4;
  return x0 > barWidth ? 12 : static_cast<int>(x0);
}

std::vector<TSliceRect> LayoutMenuBar(const std::vector<int>& textWidths, int x0, int barWidth, int barHeight,
                                      bool rightToLeft, int rightLimit) {
  std::vector<TSliceRect> rects(textWidths.size());
  const int bottom = std::max(barHeight - 1, 0);
  int64_t x = rightToLeft ? std::min<int64_t>(int64_t{barWidth} - x0, rightLimit) : x0;
  for (size_t i = 0; i < textWidths.size(); ++i) {
    const int text = textWidths[i];
    if (text < 0) continue;  // hidden: an empty rectangle
    const int64_t width = text > 0 ? int64_t{text} + 10 : 0;
    const int64_t from = rightToLeft ? x - width : x, to = rightToLeft ? x : x + width;
    auto fit = [](int64_t v) { return static_cast<int>(std::clamp<int64_t>(v, INT32_MIN / 2, INT32_MAX / 2)); };
    rects[i] = {fit(from), 0, fit(to), bottom};
    x = rightToLeft ? from : to;
  }
  return rects;
}

wchar_t AcceleratorOf(std::wstring_view caption) {
  for (size_t i = 0; i + 1 < caption.size(); ++i) {
    if (caption[i] != L'&') continue;
    if (caption[i + 1] == L'&') {
      ++i;  // a literal ampersand
      continue;
    }
    wchar_t c = caption[i + 1];
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    return c;
  }
  return 0;
}

bool HasAccelerator(std::wstring_view caption, wchar_t ch) {
  if (ch >= L'A' && ch <= L'Z') ch = static_cast<wchar_t>(ch - L'A' + L'a');
  const wchar_t own = AcceleratorOf(caption);
  return own != 0 && own == ch;
}

uint32_t MenuArrowKey(uint32_t key, bool rightToLeft) {
  if (!rightToLeft) return key;
  if (key == kKeyLeft) return kKeyRight;
  if (key == kKeyRight) return kKeyLeft;
  return key;
}

int ArrowSwitch(uint32_t key, bool itemSelected, bool selectedHasSubmenu, bool selectedInTopPopup) {
  if (key == kKeyRight) return itemSelected && selectedHasSubmenu ? 0 : 1;
  if (key == kKeyLeft) return !itemSelected || selectedInTopPopup ? -1 : 0;
  return 0;
}

int NextMenuButton(int open, int direction, const std::vector<bool>& canOpen) {
  const int n = static_cast<int>(canOpen.size());
  if (n == 0 || direction == 0) return -1;
  const int step = direction > 0 ? 1 : -1;
  int i = open < 0 || open >= n ? (step > 0 ? -1 : n) : open;
  for (int tries = 0; tries < n; ++tries) {
    i = ((i + step) % n + n) % n;
    if (canOpen[static_cast<size_t>(i)]) return i;
  }
  return -1;
}

TPopupPlace MenuPopupPlace(int windowLeft, int windowTop, const TSliceRect& button, bool rightToLeft) {
  if (rightToLeft) return {windowLeft + button.Right, windowTop + button.Bottom, 0x8A};
  return {windowLeft + button.Left, windowTop + button.Bottom, 0x82};
}

int MeasuredItemWidth(int width, bool hasElement, int leftWidth, bool hasImages, bool popupOrSystem) {
  int64_t w = width;
  if (hasElement) w += std::max(leftWidth, 0);
  w += hasImages ? (popupOrSystem ? 12 : 10) : 35;
  return static_cast<int>(std::min<int64_t>(w, INT32_MAX / 2));
}

TItemSize MeasureTextItem(int textWidth, int textHeight, bool separator, bool hasElement, int leftWidth,
                          bool ntFamily) {
  TItemSize s;
  s.Width = textWidth + 26 + (hasElement ? std::max(leftWidth, 0) : 0);
  s.Height = separator ? 8 : textHeight + 4;
  if (!ntFamily) s.Height += 4;
  return s;
}

TItemDrawer MenuItemDrawer(bool knownItem, uint32_t id, bool markedBySkinner) {
  if (knownItem) return TItemDrawer::ClassLibrary;
  if (markedBySkinner || id == 0 || id >= 4096) return TItemDrawer::Temporary;
  return TItemDrawer::OldProcedure;
}

int ToolButtonFrame(bool selected, bool focusedOrHot, bool grayedOrDisabled, bool isDefault) {
  if (selected) return 2;
  if (focusedOrHot) return 4;
  if (grayedOrDisabled) return 0;
  return isDefault ? 1 : 0;
}

}  // namespace skin
