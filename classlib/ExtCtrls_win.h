#pragma once
// Panels, radio groups (a group box whose items are child radio buttons), check
// list boxes and the timer component.
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "classlib/StdCtrls_win.h"

enum class TPanelBevel { bvNone, bvLowered, bvRaised };
extern const TEnumType PanelBevelType;

class TCustomPanel : public TCustomControl {
  VELMORA_CLASS(TCustomPanel, TCustomControl)
  VELMORA_PUBLISHED(TCustomPanel)
 public:
  explicit TCustomPanel(TComponent* owner = nullptr);
  TPanelBevel BevelOuter = TPanelBevel::bvRaised;
  bool Transparent = false;

 protected:
  void Paint() override;
};

class TPanel : public TCustomPanel {
  VELMORA_CLASS(TPanel, TCustomPanel)
 public:
  explicit TPanel(TComponent* owner = nullptr) : TCustomPanel(owner) {}
};

class TCustomRadioGroup : public TCustomGroupBox {
  VELMORA_CLASS(TCustomRadioGroup, TCustomGroupBox)
  VELMORA_PUBLISHED(TCustomRadioGroup)
 public:
  explicit TCustomRadioGroup(TComponent* owner = nullptr);
  ~TCustomRadioGroup() override;
  const std::vector<std::string>& Items() const { return items_; }
  // One child TRadioButton per item, laid out in Columns columns.
  void SetItems(const std::vector<std::string>& items);
  int ItemIndex() const { return itemIndex_; }
  void SetItemIndex(int index);
  int Columns() const { return columns_; }
  void SetColumns(int columns);
  TRadioButton* Buttons(int index) const { return buttons_.at(static_cast<size_t>(index)); }
  TNotifyEvent OnChange;

 protected:
  void BoundsChanged() override;

 private:
  void ButtonClicked(TObject* sender);
  void ArrangeButtons();
  std::vector<std::string> items_;
  std::vector<TRadioButton*> buttons_;  // owned here
  int itemIndex_ = -1;
  int columns_ = 1;
  bool updating_ = false;
};

class TRadioGroup : public TCustomRadioGroup {
  VELMORA_CLASS(TRadioGroup, TCustomRadioGroup)
 public:
  explicit TRadioGroup(TComponent* owner = nullptr) : TCustomRadioGroup(owner) {}
};

// A list whose items carry a check box each: owner-drawn (fixed height, with
// strings), so it draws its boxes and texts itself unless a painter draws them. A
// click in an item's box or the space key on the current item moves its state on:
// unchecked, checked, then grayed when AllowGrayed, then unchecked again.
class TCheckListBox : public TCustomListBox {
  VELMORA_CLASS(TCheckListBox, TCustomListBox)
  VELMORA_PUBLISHED(TCheckListBox)
 public:
  explicit TCheckListBox(TComponent* owner = nullptr);
  // Raise EListError for an index outside the items.
  bool Checked(int index) const { return State(index) == TCheckBoxState::cbChecked; }
  void SetChecked(int index, bool on);
  TCheckBoxState State(int index) const;
  void SetState(int index, TCheckBoxState state);
  bool AllowGrayed = false;
  // A box changed by the user.
  TNotifyEvent OnClickCheck;
  void WndProc(TMessage& message) override;

  // The check box of an item drawn in `item`: a square as high as the item less 2,
  // one pixel in from its left edge.
  static RECT CheckBoxRect(const RECT& item);

 private:
  void CheckIndex(int index) const;
  void Toggle(int index);
  void DrawItem(const DRAWITEMSTRUCT& draw);
  std::map<int, TCheckBoxState> states_;
};

// Calls OnTimer every Interval milliseconds while Enabled; needs no owner and no
// window (a thread timer served by any message loop of the creating thread).
class TTimer : public TComponent {
  VELMORA_CLASS(TTimer, TComponent)
  VELMORA_PUBLISHED(TTimer)
 public:
  explicit TTimer(TComponent* owner = nullptr);
  ~TTimer() override;
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool on);
  unsigned Interval() const { return interval_; }
  void SetInterval(unsigned ms);
  TNotifyEvent OnTimer;
  void Loaded() override;

 private:
  friend void CALLBACK TimerProc(HWND, UINT, UINT_PTR, DWORD);
  void Update();
  bool enabled_ = true;
  unsigned interval_ = 1000;
  UINT_PTR id_ = 0;
};

void RegisterExtCtrlsClasses();
