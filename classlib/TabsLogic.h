#pragma once
// Where a tab set's tabs lie. A tab set shows its tabs in one row hanging from its
// top edge (the pages lie above it), from the start margin onward beginning with
// its first shown tab; when they do not all fit and it scrolls by itself, a
// scroller takes the right end and the row stops before it.
//
// Pure code: no Win32 header.
#include <vector>

struct TTabBox {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
  bool Contains(int x, int y) const { return x >= Left && x < Right && y >= Top && y < Bottom; }
  bool operator==(const TTabBox&) const = default;
};

struct TTabSetMetrics {
  int ClientWidth = 0, ClientHeight = 0;
  int TabHeight = 20;
  int StartMargin = 5, EndMargin = 15;
  int ScrollerWidth = 0;  // the scroller's width; it is as high as the tabs
  bool AutoScroll = true;
};

struct TTabSetLayout {
  int FirstIndex = 0;           // the first tab shown (clamped to [0, MaxFirstIndex])
  std::vector<TTabBox> Tabs;    // the shown tabs, FirstIndex onward
  bool ScrollerShown = false;
  TTabBox Scroller;             // where the scroller goes when shown
  int MaxFirstIndex = 0;        // the first tab from which the rest all fit
};

// A tab's width: its caption's width plus room on both sides.
int TabSetTabWidth(int textWidth);

// The row of tabs whose captions measure `textWidths`, asked to start at `firstIndex`.
// The first shown tab is always placed, even when it is wider than the room.
TTabSetLayout LayOutTabSet(const std::vector<int>& textWidths, int firstIndex, const TTabSetMetrics& metrics);

// The tab (index among all tabs) under (x, y); -1 when none.
int TabSetTabAt(const TTabSetLayout& layout, int x, int y);
