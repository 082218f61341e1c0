#pragma once
// Check-list items drawn from the skin: the list's own owner-draw request (reflected
// to the list as CN_DRAWITEM) answered by the check-list painter with this.
#include <windows.h>

#include "skin/painters/WinSubClass.h"

namespace skin {

// Draws the item of `draw` for the list `painter` paints: the selection in the
// system's highlight colours, the "CheckButton" mark of the item's check state
// (unchecked 0, checked 1, grayed 2) magenta-keyed at the left (the right for a
// right-to-left list), the item's text centred vertically beside it, and the focus
// rectangle. An item index below 0 only fills its rectangle.
void DrawCheckListItem(TSkinControl& painter, const DRAWITEMSTRUCT& draw);

// Check-list boxes: the items drawn from the skin.
class TSkinCheckList : public TSkinControl {
  VELMORA_CLASS(TSkinCheckList, TSkinControl)
 public:
  explicit TSkinCheckList(TComponent* owner = nullptr) : TSkinControl(owner) {}
  bool BeforeProc(TMessage& message) override;
};

}  // namespace skin
