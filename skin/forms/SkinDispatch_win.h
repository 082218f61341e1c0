#pragma once
// The form skinner's child dispatch: gathers the facts of each child control or
// plain child window, asks SkinDispatch.h for the decision and carries it out.
// Painters are made through a table from painter kind to a creating function; a kind
// without an entry attaches nothing and the control keeps its own look.
#include <windows.h>

#include "classlib/Controls_win.h"
#include "skin/painters/SkinDispatch.h"
#include "skin/forms/WinSkinForm.h"

namespace skin {

// The class names of `object`'s class and its ancestors, own class first.
std::vector<std::string> AncestryOf(const TObject* object);

class TChildDispatch : public TFormChildrenSeam {
 public:
  void SkinChildren(TWinSkinForm& form) override;
  // 0x3517: a scroll-bar painter of this skinner whose control made a new window is
  // replaced by a fresh one; other windows are left alone.
  void ReplaceScrollBar(TWinSkinForm& form, HWND window) override;
  // One class-library control (Parent: the control whose children are walked).
  void DispatchControl(TWinSkinForm& form, TControl* control);
  // One plain child window.
  void DispatchWindow(TWinSkinForm& form, HWND window);

 private:
  void Apply(TWinSkinForm& form, TControl* control, const TDispatchDecision& d);
  void Attach(TWinSkinForm& form, TControl* control, const TDispatchDecision& d);
  void DispatchChildren(TWinSkinForm& form, TWinControl* parent, const TDispatchDecision& d);
  void DispatchComponents(TWinSkinForm& form, TComponent* owner);
  void WalkWindows(TWinSkinForm& form, HWND parent);
};

// Installs the dispatch as the form skinners' children seam and the painters of
// this unit family in the creating table. Idempotent.
void InstallChildDispatch();

}  // namespace skin
