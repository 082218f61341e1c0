#pragma once
// The painters of 7.125 that stand on the scroll-bar painters: check-list boxes
// (their items drawn from the skin on the list's own owner-draw request, reflected
// to the list as CN_DRAWITEM) and class-library scroll bars (a kind-2 overlay over
// the bar).
#include <windows.h>

#include <memory>

#include "skin/painters/SkinScrollBars_win.h"
#include "skin/painters/WinSubClass.h"

namespace skin {

// Draws the item of `draw` for the list `painter` paints: the selection in the
// system's highlight colours, the "CheckButton" mark of the item's check state
// (unchecked 0, checked 1, grayed 2) magenta-keyed at the left (the right for a
// right-to-left list), the item's text centred vertically beside it, and the focus
// rectangle. An item index below 0 only fills its rectangle.
void DrawCheckListItem(TSkinControl& painter, const DRAWITEMSTRUCT& draw);

// Check-list boxes: the items drawn from the skin, the scroll bars under overlays.
class TSkinCheckList : public TSkinScrollbar {
  VELMORA_CLASS(TSkinCheckList, TSkinScrollbar)
 public:
  using TSkinScrollbar::TSkinScrollbar;
  bool BeforeProc(TMessage& message) override;
};

// Class-library scroll bars: a skinned overlay panel (kind 2) lies over the bar and
// hands presses to it; the painter keeps the panel in place and in step.
class TSkinScControl : public TSkinControl {
  VELMORA_CLASS(TSkinScControl, TSkinControl)
 public:
  explicit TSkinScControl(TComponent* owner = nullptr) : TSkinControl(owner) {}
  ~TSkinScControl() override;
  // Its own attach: the panel first, then the control's WindowProc.
  void AttachControl(TWinSkinForm* skinForm, TSkinData* skinData, bool changeColor, TCanvas* canvas) override;
  void Unskin() override;
  void AfterProc(TMessage& message) override;
  void Paint(HDC dc, const RECT& rect) override;

  std::unique_ptr<TWScrollbar> ScrollPanel;
};

}  // namespace skin
