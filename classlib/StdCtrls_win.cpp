#include "classlib/StdCtrls_win.h"

#include <algorithm>

#include "classlib/ControlClasses.h"
#include "classlib/Forms_win.h"
#include "classlib/StdCtrlsLogic.h"

const TEnumType CheckBoxStateType("TCheckBoxState", {"cbUnchecked", "cbChecked", "cbGrayed"});
const TEnumType ComboBoxStyleType("TComboBoxStyle",
                                  {"csDropDown", "csSimple", "csDropDownList", "csOwnerDrawFixed", "csOwnerDrawVariable"});
const TEnumType ListBoxStyleType("TListBoxStyle", {"lbStandard", "lbOwnerDrawFixed", "lbOwnerDrawVariable"});
const TEnumType ScrollBarKindType("TScrollBarKind", {"sbHorizontal", "sbVertical"});
const TEnumType EditBorderStyleType("TBorderStyle", {"bsNone", "bsSingle"});

namespace {
TCustomForm* ParentFormOf(TControl* control) {
  for (TControl* c = control; c; c = c->Parent())
    if (c->Is<TCustomForm>()) return static_cast<TCustomForm*>(c);
  return nullptr;
}
}  // namespace

// ---------------------------------------------------------------------------

VELMORA_PUBLISH(TButton) {
  p.Boolean("Default", &TButton::Default, &TButton::SetDefault)
      .Default(0)
      .Boolean("Cancel", &TButton::Cancel)
      .Default(0)
      .Integer("ModalResult", &TButton::ModalResult)
      .Default(0);
}

TButton::TButton(TComponent* owner) : TButtonControl(owner) { SetBounds(0, 0, 75, 25); }

void TButton::CreateParams(TCreateParams& params) {
  TButtonControl::CreateParams(params);
  CreateSubClass(params, "BUTTON");
  params.Style |= default_ ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
}

void TButton::SetDefault(bool on) {
  if (on == default_) return;
  default_ = on;
  if (HandleAllocated()) SendMessageA(Handle(), BM_SETSTYLE, on ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
}

void TButton::Click() {
  if (ModalResult != 0)
    if (TCustomForm* form = ParentFormOf(this)) form->ModalResult = ModalResult;
  TButtonControl::Click();
}

void TButton::WndProc(TMessage& message) {
  // The system button reports mouse and keyboard clicks alike as BN_CLICKED.
  if (message.Msg == CN_COMMAND && HIWORD(message.WParam) == BN_CLICKED) {
    Click();
    return;
  }
  TButtonControl::WndProc(message);
}

// ---------------------------------------------------------------------------

VELMORA_PUBLISH(TCustomCheckBox) {
  p.Enum("State", CheckBoxStateType, &TCustomCheckBox::State, &TCustomCheckBox::SetState)
      .Default(0)
      .Boolean("Checked", &TCustomCheckBox::Checked, &TCustomCheckBox::SetChecked)
      .Default(0)
      .Boolean("AllowGrayed", &TCustomCheckBox::AllowGrayed)
      .Default(0);
}

TCustomCheckBox::TCustomCheckBox(TComponent* owner) : TButtonControl(owner) { SetBounds(0, 0, 97, 17); }

void TCustomCheckBox::CreateParams(TCreateParams& params) {
  TButtonControl::CreateParams(params);
  CreateSubClass(params, "BUTTON");
  params.Style |= BS_3STATE;  // the state is kept here; the click toggles it
}

void TCustomCheckBox::CreateHandleDone() { SendMessageA(Handle(), BM_SETCHECK, static_cast<WPARAM>(state_), 0); }

void TCustomCheckBox::SetState(TCheckBoxState state) {
  if (state == state_) return;
  state_ = state;
  if (HandleAllocated()) SendMessageA(Handle(), BM_SETCHECK, static_cast<WPARAM>(state_), 0);
  Click();
}

void TCustomCheckBox::Toggle() {
  SetState(static_cast<TCheckBoxState>(NextCheckState(static_cast<int>(state_), AllowGrayed)));
}

void TCustomCheckBox::WndProc(TMessage& message) {
  if (message.Msg == CN_COMMAND && HIWORD(message.WParam) == BN_CLICKED) {
    Toggle();
    return;
  }
  TButtonControl::WndProc(message);
}

// ---------------------------------------------------------------------------

VELMORA_PUBLISH(TRadioButton) {
  p.Boolean("Checked", &TRadioButton::Checked, &TRadioButton::SetChecked).Default(0);
}

TRadioButton::TRadioButton(TComponent* owner) : TButtonControl(owner) { SetBounds(0, 0, 113, 17); }

void TRadioButton::CreateParams(TCreateParams& params) {
  TButtonControl::CreateParams(params);
  CreateSubClass(params, "BUTTON");
  params.Style |= BS_RADIOBUTTON;
}

void TRadioButton::CreateHandleDone() { SendMessageA(Handle(), BM_SETCHECK, checked_ ? BST_CHECKED : 0, 0); }

void TRadioButton::SetChecked(bool on) {
  if (on == checked_) return;
  checked_ = on;
  if (HandleAllocated()) SendMessageA(Handle(), BM_SETCHECK, on ? BST_CHECKED : 0, 0);
  if (!on) return;
  if (TWinControl* parent = Parent())
    for (int i = 0; i < parent->ControlCount(); ++i) {
      TControl* sibling = parent->Controls(i);
      if (sibling != this && sibling->Is<TRadioButton>()) static_cast<TRadioButton*>(sibling)->SetChecked(false);
    }
  Click();
}

void TRadioButton::WndProc(TMessage& message) {
  if (message.Msg == CN_COMMAND && HIWORD(message.WParam) == BN_CLICKED) {
    SetChecked(true);
    return;
  }
  TButtonControl::WndProc(message);
}

// ---------------------------------------------------------------------------

TCustomGroupBox::TCustomGroupBox(TComponent* owner) : TWinControl(owner) {
  acceptsControls_ = true;
  SetBounds(0, 0, 185, 105);
}

void TCustomGroupBox::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  CreateSubClass(params, "BUTTON");
  params.Style |= BS_GROUPBOX;
}

void TCustomGroupBox::WMEraseBkgnd(TMessage& message) {
  RECT r{};
  GetClientRect(Handle(), &r);
  FillRect(reinterpret_cast<HDC>(message.WParam), &r, static_cast<HBRUSH>(brush_.GdiHandle()));
  message.Result = 1;
}

// ---------------------------------------------------------------------------

VELMORA_PUBLISH(TCustomEdit) {
  p.String("Text", &TCustomEdit::Text, &TCustomEdit::SetText)
      .Enum("BorderStyle", EditBorderStyleType, &TCustomEdit::BorderStyle)
      .Default(1)
      .Boolean("ReadOnly", &TCustomEdit::ReadOnly)
      .Default(0)
      .Integer("MaxLength", &TCustomEdit::MaxLength)
      .Default(0)
      .Event("OnChange", &TCustomEdit::OnChange);
}

TCustomEdit::TCustomEdit(TComponent* owner) : TWinControl(owner) {
  TabStop = true;
  SetColor(clWindow);
  SetBounds(0, 0, 121, 21);
}

void TCustomEdit::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  CreateSubClass(params, "EDIT");
  params.Style |= ES_AUTOHSCROLL | ES_LEFT;
  if (ReadOnly) params.Style |= ES_READONLY;
  if (BorderStyle == TEditBorderStyle::bsSingle) params.ExStyle |= WS_EX_CLIENTEDGE;
}

void TCustomEdit::WndProc(TMessage& message) {
  if (message.Msg == CN_COMMAND && HIWORD(message.WParam) == EN_CHANGE) {
    OnChange(this);
    return;
  }
  if (message.Msg == WM_CREATE && MaxLength > 0) {
    TWinControl::WndProc(message);
    SendMessageA(Handle(), EM_LIMITTEXT, static_cast<WPARAM>(MaxLength), 0);
    return;
  }
  TWinControl::WndProc(message);
}

VELMORA_PUBLISH(TCustomMemo) { p.Strings("Lines", &TCustomMemo::Lines, &TCustomMemo::SetLines); }

TCustomMemo::TCustomMemo(TComponent* owner) : TCustomEdit(owner) { SetBounds(0, 0, 185, 89); }

void TCustomMemo::CreateParams(TCreateParams& params) {
  TCustomEdit::CreateParams(params);
  params.Style = (params.Style & ~ES_AUTOHSCROLL) | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | WS_VSCROLL;
}

std::vector<std::string> TCustomMemo::Lines() const { return SplitLines(Text()); }
void TCustomMemo::SetLines(const std::vector<std::string>& lines) { SetText(JoinLines(lines)); }

// ---------------------------------------------------------------------------

VELMORA_PUBLISH(TCustomComboBox) {
  p.Enum("Style", ComboBoxStyleType, &TCustomComboBox::Style, &TCustomComboBox::SetStyle)
      .Default(0)
      .Strings("Items", &TCustomComboBox::Items, &TCustomComboBox::SetItems)
      .String("Text", &TCustomComboBox::Text, &TCustomComboBox::SetText)
      .Integer("ItemIndex", &TCustomComboBox::ItemIndex, &TCustomComboBox::SetItemIndex)
      .Event("OnChange", &TCustomComboBox::OnChange);
}

TCustomComboBox::TCustomComboBox(TComponent* owner) : TWinControl(owner) {
  TabStop = true;
  SetColor(clWindow);
  SetBounds(0, 0, 145, 21);
}

void TCustomComboBox::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  CreateSubClass(params, "COMBOBOX");
  static const DWORD styles[] = {CBS_DROPDOWN, CBS_SIMPLE, CBS_DROPDOWNLIST,
                                 CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED | CBS_HASSTRINGS,
                                 CBS_DROPDOWNLIST | CBS_OWNERDRAWVARIABLE | CBS_HASSTRINGS};
  params.Style |= styles[static_cast<int>(style_)] | CBS_AUTOHSCROLL | WS_VSCROLL;
  params.Height = std::max(height_, 200);  // the drop-down list's room
}

void TCustomComboBox::CreateHandleDone() {
  for (const std::string& item : items_) SendMessageA(Handle(), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
  if (itemIndex_ >= 0) SendMessageA(Handle(), CB_SETCURSEL, static_cast<WPARAM>(itemIndex_), 0);
}

void TCustomComboBox::SetStyle(TComboBoxStyle style) {
  if (style == style_) return;
  style_ = style;
  RecreateWnd();
}

void TCustomComboBox::SetItems(const std::vector<std::string>& items) {
  items_ = items;
  if (itemIndex_ >= static_cast<int>(items_.size())) itemIndex_ = -1;
  if (!HandleAllocated()) return;
  SendMessageA(Handle(), CB_RESETCONTENT, 0, 0);
  CreateHandleDone();
}

int TCustomComboBox::ItemIndex() const {
  if (!HandleAllocated()) return itemIndex_;
  return static_cast<int>(SendMessageA(const_cast<TCustomComboBox*>(this)->Handle(), CB_GETCURSEL, 0, 0));
}

void TCustomComboBox::SetItemIndex(int index) {
  itemIndex_ = index >= 0 && index < static_cast<int>(items_.size()) ? index : -1;
  if (HandleAllocated()) SendMessageA(Handle(), CB_SETCURSEL, static_cast<WPARAM>(itemIndex_), 0);
}

void TCustomComboBox::WndProc(TMessage& message) {
  if (message.Msg == CN_COMMAND &&
      (HIWORD(message.WParam) == CBN_SELCHANGE || HIWORD(message.WParam) == CBN_EDITCHANGE)) {
    itemIndex_ = static_cast<int>(SendMessageA(Handle(), CB_GETCURSEL, 0, 0));
    OnChange(this);
    return;
  }
  TWinControl::WndProc(message);
}

// ---------------------------------------------------------------------------

VELMORA_PUBLISH(TCustomListBox) {
  p.Enum("Style", ListBoxStyleType, &TCustomListBox::Style)
      .Default(0)
      .Strings("Items", &TCustomListBox::Items, &TCustomListBox::SetItems)
      .Integer("ItemIndex", &TCustomListBox::ItemIndex, &TCustomListBox::SetItemIndex)
      .Event("OnChange", &TCustomListBox::OnChange);
}

TCustomListBox::TCustomListBox(TComponent* owner) : TWinControl(owner) {
  TabStop = true;
  SetColor(clWindow);
  SetBounds(0, 0, 121, 97);
}

void TCustomListBox::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  CreateSubClass(params, "LISTBOX");
  params.Style |= LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL;
  if (Style == TListBoxStyle::lbOwnerDrawFixed) params.Style |= LBS_OWNERDRAWFIXED | LBS_HASSTRINGS;
  if (Style == TListBoxStyle::lbOwnerDrawVariable) params.Style |= LBS_OWNERDRAWVARIABLE | LBS_HASSTRINGS;
  params.ExStyle |= WS_EX_CLIENTEDGE;
}

void TCustomListBox::CreateHandleDone() {
  for (const std::string& item : items_) SendMessageA(Handle(), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
  if (itemIndex_ >= 0) SendMessageA(Handle(), LB_SETCURSEL, static_cast<WPARAM>(itemIndex_), 0);
}

void TCustomListBox::SetItems(const std::vector<std::string>& items) {
  items_ = items;
  if (itemIndex_ >= static_cast<int>(items_.size())) itemIndex_ = -1;
  if (!HandleAllocated()) return;
  SendMessageA(Handle(), LB_RESETCONTENT, 0, 0);
  CreateHandleDone();
}

int TCustomListBox::ItemIndex() const {
  if (!HandleAllocated()) return itemIndex_;
  return static_cast<int>(SendMessageA(const_cast<TCustomListBox*>(this)->Handle(), LB_GETCURSEL, 0, 0));
}

void TCustomListBox::SetItemIndex(int index) {
  itemIndex_ = index >= 0 && index < static_cast<int>(items_.size()) ? index : -1;
  if (HandleAllocated()) SendMessageA(Handle(), LB_SETCURSEL, static_cast<WPARAM>(itemIndex_), 0);
}

void TCustomListBox::WndProc(TMessage& message) {
  if (message.Msg == CN_COMMAND && HIWORD(message.WParam) == LBN_SELCHANGE) {
    itemIndex_ = static_cast<int>(SendMessageA(Handle(), LB_GETCURSEL, 0, 0));
    OnChange(this);
    return;
  }
  TWinControl::WndProc(message);
}

// ---------------------------------------------------------------------------

VELMORA_PUBLISH(TScrollBar) {
  p.Enum("Kind", ScrollBarKindType, &TScrollBar::Kind, &TScrollBar::SetKind)
      .Default(0)
      .Integer("Min", &TScrollBar::Min, &TScrollBar::SetMin)
      .Integer("Max", &TScrollBar::Max, &TScrollBar::SetMax)
      .Integer("Position", &TScrollBar::Position, &TScrollBar::SetPosition)
      .Integer("PageSize", &TScrollBar::PageSize, &TScrollBar::SetPageSize)
      .Integer("SmallChange", &TScrollBar::SmallChange)
      .Integer("LargeChange", &TScrollBar::LargeChange)
      .Event("OnChange", &TScrollBar::OnChange);
}

TScrollBar::TScrollBar(TComponent* owner) : TWinControl(owner) {
  TabStop = true;
  SetBounds(0, 0, 121, GetSystemMetrics(SM_CYHSCROLL));
}

void TScrollBar::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  CreateSubClass(params, "SCROLLBAR");
  params.Style |= kind_ == TScrollBarKind::sbVertical ? SBS_VERT : SBS_HORZ;
}

void TScrollBar::CreateHandleDone() { ApplyScrollInfo(); }

void TScrollBar::ApplyScrollInfo() {
  if (!HandleAllocated()) return;
  SCROLLINFO info{sizeof info, SIF_ALL, min_, max_, static_cast<UINT>(pageSize_), position_, 0};
  SetScrollInfo(Handle(), SB_CTL, &info, TRUE);
}

void TScrollBar::SetKind(TScrollBarKind kind) {
  if (kind == kind_) return;
  kind_ = kind;
  if (!Loading()) SetBounds(left_, top_, height_, width_);
  RecreateWnd();
}

void TScrollBar::SetPageSize(int v) {
  pageSize_ = std::clamp(v, 0, std::max(max_ - min_ + 1, 0));
  ApplyScrollInfo();
}

void TScrollBar::SetParams(int position, int min, int max) {
  if (min > max) throw EInvalidOperation("Scroll bar property out of range");
  const bool moved = position != position_;
  min_ = min;
  max_ = max;
  position_ = ScrollPositionAfter(TScrollCode::ThumbPosition, position, position, min, max, 0, 0, 0);
  ApplyScrollInfo();
  if (moved) OnChange(this);
}

void TScrollBar::WndProc(TMessage& message) {
  if (message.Msg == CN_HSCROLL || message.Msg == CN_VSCROLL) {
    const int code = LOWORD(message.WParam);
    if (code > SB_ENDSCROLL) return;
    SCROLLINFO info{sizeof info, SIF_TRACKPOS, 0, 0, 0, 0, 0};
    GetScrollInfo(Handle(), SB_CTL, &info);
    static const TScrollCode codes[] = {TScrollCode::LineUp,        TScrollCode::LineDown, TScrollCode::PageUp,
                                        TScrollCode::PageDown,      TScrollCode::ThumbPosition,
                                        TScrollCode::ThumbTrack,    TScrollCode::Top,      TScrollCode::Bottom,
                                        TScrollCode::EndScroll};
    SetPosition(ScrollPositionAfter(codes[code], info.nTrackPos, position_, min_, max_, SmallChange, LargeChange,
                                    pageSize_));
    return;
  }
  TWinControl::WndProc(message);
}

void RegisterStdCtrlsClasses() {
  for (TClass cls : {TButton::StaticClass(), TCustomCheckBox::StaticClass(), TCheckBox::StaticClass(),
                     TRadioButton::StaticClass(), TCustomGroupBox::StaticClass(), TGroupBox::StaticClass(),
                     TCustomEdit::StaticClass(), TEdit::StaticClass(), TCustomMemo::StaticClass(),
                     TMemo::StaticClass(), TCustomComboBox::StaticClass(), TComboBox::StaticClass(),
                     TCustomListBox::StaticClass(), TListBox::StaticClass(), TScrollBar::StaticClass()})
    RegisterControlClass(cls);
}
