#include "classlib/TabsLogic.h"

#include <algorithm>

namespace {
constexpr int kTabPadding = 8;
}

int TabSetTabWidth(int textWidth) { return std::max(textWidth, 0) + 2 * kTabPadding; }

TTabSetLayout LayOutTabSet(const std::vector<int>& textWidths, int firstIndex, const TTabSetMetrics& m) {
  TTabSetLayout layout;
  const int count = static_cast<int>(textWidths.size());
  if (count == 0) return layout;
  const int width = std::max(m.ClientWidth, 0);
  const int bottom = std::clamp(m.TabHeight, 0, std::max(m.ClientHeight, 0));
  std::vector<int> widths;
  long long total = 0;
  for (int w : textWidths) {
    widths.push_back(TabSetTabWidth(std::min(w, 1 << 20)));
    total += widths.back();
  }
  int limit = width - m.EndMargin;
  layout.ScrollerShown = m.AutoScroll && m.StartMargin + total > limit;
  if (layout.ScrollerShown) {
    const int scrollerWidth = std::clamp(m.ScrollerWidth, 0, width);
    layout.Scroller = {width - scrollerWidth, 0, width, bottom};
    limit = std::min(limit, layout.Scroller.Left);
    // The first tab from which all the rest fit before the scroller.
    long long rest = 0;
    layout.MaxFirstIndex = count - 1;
    for (int i = count - 1; i >= 0; i--) {
      rest += widths[static_cast<size_t>(i)];
      if (m.StartMargin + rest > limit) break;
      layout.MaxFirstIndex = i;
    }
  }
  layout.FirstIndex = std::clamp(firstIndex, 0, layout.MaxFirstIndex);
  long long x = m.StartMargin;
  for (int i = layout.FirstIndex; i < count; i++) {
    const long long right = x + widths[static_cast<size_t>(i)];
    if (right > limit && i > layout.FirstIndex) break;
    layout.Tabs.push_back({static_cast<int>(x), 0, static_cast<int>(std::min<long long>(right, 1 << 30)), bottom});
    x = right;
  }
  return layout;
}

int TabSetTabAt(const TTabSetLayout& layout, int x, int y) {
  for (size_t i = 0; i < layout.Tabs.size(); i++)
    if (layout.Tabs[i].Contains(x, y)) return layout.FirstIndex + static_cast<int>(i);
  return -1;
}
