#pragma once
// The tab set: a row of tabs under a set of pages, drawn by the control itself
// (no system class), and its scroller, a pair of arrow buttons that shows the tabs
// past the right end. The row's geometry is TabsLogic.h's.
#include <string>
#include <vector>

#include "classlib/Controls_win.h"
#include "classlib/TabsLogic.h"

// Two arrow buttons side by side: a press on the left half steps Position back, on
// the right half forward, within [Min, Max]; OnClick follows each step.
class TScroller : public TCustomControl {
  VELMORA_CLASS(TScroller, TCustomControl)
  VELMORA_PUBLISHED(TScroller)
 public:
  explicit TScroller(TComponent* owner = nullptr);
  int Min() const { return min_; }
  int Max() const { return max_; }
  int Position() const { return position_; }
  // Position is clamped into the range; a change repaints.
  void SetRange(int min, int max);
  void SetPosition(int position);
  TNotifyEvent OnClick;
  void WndProc(TMessage& message) override;

 protected:
  void Paint() override;

 private:
  int min_ = 0, max_ = 0, position_ = 0;
};

// Tabs hanging from the top edge: the selected one joined to the pages above, the
// others set back. A click on a tab selects it (OnChange); when the tabs do not all
// fit and AutoScroll is on, the scroller (the set's first owned component) shows
// the rest.
class TTabSet : public TCustomControl {
  VELMORA_CLASS(TTabSet, TCustomControl)
  VELMORA_PUBLISHED(TTabSet)
 public:
  explicit TTabSet(TComponent* owner = nullptr);
  const std::vector<std::string>& Tabs() const { return tabs_; }
  void SetTabs(const std::vector<std::string>& tabs);
  int TabIndex() const { return tabIndex_; }
  // -1 or an index past the tabs selects none.
  void SetTabIndex(int index);
  int FirstIndex() const { return firstIndex_; }
  void SetFirstIndex(int index);
  int StartMargin() const { return startMargin_; }
  void SetStartMargin(int margin);
  int EndMargin() const { return endMargin_; }
  void SetEndMargin(int margin);
  int TabHeight() const { return tabHeight_; }
  void SetTabHeight(int height);
  bool AutoScroll() const { return autoScroll_; }
  void SetAutoScroll(bool on);
  TScroller* Scroller() const { return scroller_; }
  TNotifyEvent OnChange;

  // The row as it lies now (the window's font and size).
  TTabSetLayout Layout();
  // A tab's rectangle in client coordinates; empty when the tab is not shown.
  RECT ItemRect(int index);

  void WndProc(TMessage& message) override;

 protected:
  void Paint() override;
  void BoundsChanged() override;
  void CreateHandleDone() override;

 private:
  void Arrange();
  void ScrollerClicked(TObject* sender);
  std::vector<std::string> tabs_;
  int tabIndex_ = -1, firstIndex_ = 0;
  int startMargin_ = 5, endMargin_ = 15, tabHeight_ = 20;
  bool autoScroll_ = true;
  TScroller* scroller_;  // owned as a component
};

// The measured caption widths of `tabs` in `font` (the screen's DC).
std::vector<int> MeasureTabCaptions(const std::vector<std::string>& tabs, HFONT font);

void RegisterTabsClasses();
