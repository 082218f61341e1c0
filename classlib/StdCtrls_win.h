#pragma once
// The standard controls over the system's classes: buttons, check boxes, radio
// buttons, group boxes, edits and memos, combo and list boxes, scroll bars. Each is
// a thin superclass ("TButton" over "BUTTON"); clicks and changes come back from the
// parent as reflected messages (CN_COMMAND, CN_HSCROLL ...).
#include <string>
#include <vector>

#include "classlib/Controls_win.h"

enum class TCheckBoxState { cbUnchecked, cbChecked, cbGrayed };
enum class TComboBoxStyle { csDropDown, csSimple, csDropDownList, csOwnerDrawFixed, csOwnerDrawVariable };
enum class TListBoxStyle { lbStandard, lbOwnerDrawFixed, lbOwnerDrawVariable };
enum class TScrollBarKind { sbHorizontal, sbVertical };
enum class TEditBorderStyle { bsNone, bsSingle };

extern const TEnumType CheckBoxStateType;
extern const TEnumType ComboBoxStyleType;
extern const TEnumType ListBoxStyleType;
extern const TEnumType ScrollBarKindType;
extern const TEnumType EditBorderStyleType;

class TButtonControl : public TWinControl {
  VELMORA_CLASS(TButtonControl, TWinControl)
 public:
  explicit TButtonControl(TComponent* owner = nullptr) : TWinControl(owner) { TabStop = true; }
};

class TButton : public TButtonControl {
  VELMORA_CLASS(TButton, TButtonControl)
  VELMORA_PUBLISHED(TButton)
 public:
  explicit TButton(TComponent* owner = nullptr);
  bool Default() const { return default_; }
  void SetDefault(bool on);
  bool Cancel = false;
  int ModalResult = 0;
  // A click also sets the form's ModalResult when this button has one.
  void Click() override;
  void WndProc(TMessage& message) override;

 protected:
  void CreateParams(TCreateParams& params) override;

 private:
  bool default_ = false;
};

class TCustomCheckBox : public TButtonControl {
  VELMORA_CLASS(TCustomCheckBox, TButtonControl)
  VELMORA_PUBLISHED(TCustomCheckBox)
 public:
  explicit TCustomCheckBox(TComponent* owner = nullptr);
  TCheckBoxState State() const { return state_; }
  void SetState(TCheckBoxState state);
  bool Checked() const { return state_ == TCheckBoxState::cbChecked; }
  void SetChecked(bool on) { SetState(on ? TCheckBoxState::cbChecked : TCheckBoxState::cbUnchecked); }
  bool AllowGrayed = false;
  // Unchecked -> checked -> grayed (when allowed) -> unchecked.
  virtual void Toggle();
  void WndProc(TMessage& message) override;

 protected:
  void CreateParams(TCreateParams& params) override;
  void CreateHandleDone() override;

 private:
  TCheckBoxState state_ = TCheckBoxState::cbUnchecked;
};

class TCheckBox : public TCustomCheckBox {
  VELMORA_CLASS(TCheckBox, TCustomCheckBox)
 public:
  explicit TCheckBox(TComponent* owner = nullptr) : TCustomCheckBox(owner) {}
};

class TRadioButton : public TButtonControl {
  VELMORA_CLASS(TRadioButton, TButtonControl)
  VELMORA_PUBLISHED(TRadioButton)
 public:
  explicit TRadioButton(TComponent* owner = nullptr);
  bool Checked() const { return checked_; }
  // Checking one unchecks the other radio buttons of the same parent.
  void SetChecked(bool on);
  void WndProc(TMessage& message) override;

 protected:
  void CreateParams(TCreateParams& params) override;
  void CreateHandleDone() override;

 private:
  bool checked_ = false;
};

class TCustomGroupBox : public TWinControl {
  VELMORA_CLASS(TCustomGroupBox, TWinControl)
 public:
  explicit TCustomGroupBox(TComponent* owner = nullptr);

 protected:
  void CreateParams(TCreateParams& params) override;
  // The system group box paints only its frame and caption, and the parent clips
  // its children: the box fills its own background.
  void WMEraseBkgnd(TMessage& message) override;
};

class TGroupBox : public TCustomGroupBox {
  VELMORA_CLASS(TGroupBox, TCustomGroupBox)
 public:
  explicit TGroupBox(TComponent* owner = nullptr) : TCustomGroupBox(owner) {}
};

class TCustomEdit : public TWinControl {
  VELMORA_CLASS(TCustomEdit, TWinControl)
  VELMORA_PUBLISHED(TCustomEdit)
 public:
  explicit TCustomEdit(TComponent* owner = nullptr);
  TEditBorderStyle BorderStyle = TEditBorderStyle::bsSingle;
  bool ReadOnly = false;
  int MaxLength = 0;
  TNotifyEvent OnChange;
  void WndProc(TMessage& message) override;

 protected:
  void CreateParams(TCreateParams& params) override;
};

class TEdit : public TCustomEdit {
  VELMORA_CLASS(TEdit, TCustomEdit)
 public:
  explicit TEdit(TComponent* owner = nullptr) : TCustomEdit(owner) {}
};

class TCustomMemo : public TCustomEdit {
  VELMORA_CLASS(TCustomMemo, TCustomEdit)
  VELMORA_PUBLISHED(TCustomMemo)
 public:
  explicit TCustomMemo(TComponent* owner = nullptr);
  // The text as lines (split at CR LF, LF or CR).
  std::vector<std::string> Lines() const;
  void SetLines(const std::vector<std::string>& lines);

 protected:
  void CreateParams(TCreateParams& params) override;
};

class TMemo : public TCustomMemo {
  VELMORA_CLASS(TMemo, TCustomMemo)
 public:
  explicit TMemo(TComponent* owner = nullptr) : TCustomMemo(owner) {}
};

// A list of strings kept here and mirrored into the window (list and combo boxes).
class TCustomComboBox : public TWinControl {
  VELMORA_CLASS(TCustomComboBox, TWinControl)
  VELMORA_PUBLISHED(TCustomComboBox)
 public:
  explicit TCustomComboBox(TComponent* owner = nullptr);
  TComboBoxStyle Style() const { return style_; }
  void SetStyle(TComboBoxStyle style);
  const std::vector<std::string>& Items() const { return items_; }
  void SetItems(const std::vector<std::string>& items);
  int ItemIndex() const;
  void SetItemIndex(int index);
  TNotifyEvent OnChange;
  void WndProc(TMessage& message) override;

 protected:
  void CreateParams(TCreateParams& params) override;
  void CreateHandleDone() override;

 private:
  TComboBoxStyle style_ = TComboBoxStyle::csDropDown;
  std::vector<std::string> items_;
  int itemIndex_ = -1;
};

class TComboBox : public TCustomComboBox {
  VELMORA_CLASS(TComboBox, TCustomComboBox)
 public:
  explicit TComboBox(TComponent* owner = nullptr) : TCustomComboBox(owner) {}
};

class TCustomListBox : public TWinControl {
  VELMORA_CLASS(TCustomListBox, TWinControl)
  VELMORA_PUBLISHED(TCustomListBox)
 public:
  explicit TCustomListBox(TComponent* owner = nullptr);
  TListBoxStyle Style = TListBoxStyle::lbStandard;
  const std::vector<std::string>& Items() const { return items_; }
  void SetItems(const std::vector<std::string>& items);
  int ItemIndex() const;
  void SetItemIndex(int index);
  TNotifyEvent OnChange;
  void WndProc(TMessage& message) override;

 protected:
  void CreateParams(TCreateParams& params) override;
  void CreateHandleDone() override;

 private:
  std::vector<std::string> items_;
  int itemIndex_ = -1;
};

class TListBox : public TCustomListBox {
  VELMORA_CLASS(TListBox, TCustomListBox)
 public:
  explicit TListBox(TComponent* owner = nullptr) : TCustomListBox(owner) {}
};

class TScrollBar : public TWinControl {
  VELMORA_CLASS(TScrollBar, TWinControl)
  VELMORA_PUBLISHED(TScrollBar)
 public:
  explicit TScrollBar(TComponent* owner = nullptr);
  TScrollBarKind Kind() const { return kind_; }
  void SetKind(TScrollBarKind kind);
  int Min() const { return min_; }
  void SetMin(int v) { SetParams(position_, v, max_); }
  int Max() const { return max_; }
  void SetMax(int v) { SetParams(position_, min_, v); }
  int Position() const { return position_; }
  void SetPosition(int v) { SetParams(v, min_, max_); }
  int PageSize() const { return pageSize_; }
  void SetPageSize(int v);
  int SmallChange = 1;
  int LargeChange = 1;
  // Raises EInvalidOperation when min > max; the position is clamped into range.
  void SetParams(int position, int min, int max);
  TNotifyEvent OnChange;
  void WndProc(TMessage& message) override;

 protected:
  void CreateParams(TCreateParams& params) override;
  void CreateHandleDone() override;

 private:
  void ApplyScrollInfo();
  TScrollBarKind kind_ = TScrollBarKind::sbHorizontal;
  int min_ = 0, max_ = 100, position_ = 0, pageSize_ = 0;
};

void RegisterStdCtrlsClasses();
