#include "classlib/ExtCtrls_win.h"

#include <algorithm>

#include "classlib/ControlClasses.h"

const TEnumType PanelBevelType("TPanelBevel", {"bvNone", "bvLowered", "bvRaised"});

VELMORA_PUBLISH(TCustomPanel) {
  p.Enum("BevelOuter", PanelBevelType, &TCustomPanel::BevelOuter)
      .Default(2)
      .Boolean("Transparent", &TCustomPanel::Transparent)
      .Default(0);
}

TCustomPanel::TCustomPanel(TComponent* owner) : TCustomControl(owner) { SetBounds(0, 0, 185, 41); }

void TCustomPanel::Paint() {
  RECT r{0, 0, Width(), Height()};
  HDC dc = Canvas().Handle();
  if (BevelOuter != TPanelBevel::bvNone)
    DrawEdge(dc, &r, BevelOuter == TPanelBevel::bvRaised ? BDR_RAISEDOUTER : BDR_SUNKENOUTER, BF_RECT);
  Canvas().Brush().SetStyle(TBrushStyle::bsClear);
  Canvas().Font().Assign(*Font());
  std::string caption = Caption();
  Canvas().DrawText(r, caption, DT_SINGLELINE | DT_CENTER | DT_VCENTER);
}

// ---------------------------------------------------------------------------

VELMORA_PUBLISH(TCustomRadioGroup) {
  p.Strings("Items", &TCustomRadioGroup::Items, &TCustomRadioGroup::SetItems)
      .Integer("ItemIndex", &TCustomRadioGroup::ItemIndex, &TCustomRadioGroup::SetItemIndex)
      .Default(-1)
      .Integer("Columns", &TCustomRadioGroup::Columns, &TCustomRadioGroup::SetColumns)
      .Default(1)
      .Event("OnChange", &TCustomRadioGroup::OnChange);
}

TCustomRadioGroup::TCustomRadioGroup(TComponent* owner) : TCustomGroupBox(owner) {}

TCustomRadioGroup::~TCustomRadioGroup() {
  for (TRadioButton* button : buttons_) delete button;
}

void TCustomRadioGroup::SetItems(const std::vector<std::string>& items) {
  items_ = items;
  while (buttons_.size() > items_.size()) {
    delete buttons_.back();
    buttons_.pop_back();
  }
  while (buttons_.size() < items_.size()) {
    auto* button = new TRadioButton();  // owned by this group, not by the form
    button->SetParent(this);
    button->OnClick = TNotifyEvent::Of<&TCustomRadioGroup::ButtonClicked>(this);
    buttons_.push_back(button);
  }
  for (size_t i = 0; i < items_.size(); ++i) buttons_[i]->SetCaption(items_[i]);
  if (itemIndex_ >= static_cast<int>(items_.size())) itemIndex_ = -1;
  ArrangeButtons();
}

void TCustomRadioGroup::SetItemIndex(int index) {
  itemIndex_ = index >= 0 && index < static_cast<int>(buttons_.size()) ? index : -1;
  updating_ = true;
  for (size_t i = 0; i < buttons_.size(); ++i) buttons_[i]->SetChecked(static_cast<int>(i) == itemIndex_);
  updating_ = false;
}

void TCustomRadioGroup::SetColumns(int columns) {
  columns_ = std::clamp(columns, 1, 16);
  ArrangeButtons();
}

void TCustomRadioGroup::BoundsChanged() {
  TCustomGroupBox::BoundsChanged();
  ArrangeButtons();
}

void TCustomRadioGroup::ArrangeButtons() {
  if (buttons_.empty()) return;
  const int rows = static_cast<int>((buttons_.size() + static_cast<size_t>(columns_) - 1) / static_cast<size_t>(columns_));
  const int columnWidth = std::max((Width() - 16) / columns_, 1);
  const int rowHeight = std::max((Height() - 24) / std::max(rows, 1), 1);
  for (size_t i = 0; i < buttons_.size(); ++i) {
    const int column = static_cast<int>(i) / rows, row = static_cast<int>(i) % rows;
    buttons_[i]->SetBounds(8 + column * columnWidth, 16 + row * rowHeight, columnWidth, std::min(rowHeight, 20));
  }
}

void TCustomRadioGroup::ButtonClicked(TObject* sender) {
  if (updating_) return;
  auto it = std::find(buttons_.begin(), buttons_.end(), sender);
  if (it == buttons_.end() || !(*it)->Checked()) return;
  itemIndex_ = static_cast<int>(it - buttons_.begin());
  OnChange(this);
}

// ---------------------------------------------------------------------------

VELMORA_PUBLISH(TCheckListBox) {
  p.Boolean("AllowGrayed", &TCheckListBox::AllowGrayed).Event("OnClickCheck", &TCheckListBox::OnClickCheck);
}

TCheckListBox::TCheckListBox(TComponent* owner) : TCustomListBox(owner) { Style = TListBoxStyle::lbOwnerDrawFixed; }

void TCheckListBox::CheckIndex(int index) const {
  if (index < 0 || index >= static_cast<int>(Items().size())) throw EListError("List index out of bounds");
}

TCheckBoxState TCheckListBox::State(int index) const {
  CheckIndex(index);
  auto it = states_.find(index);
  return it == states_.end() ? TCheckBoxState::cbUnchecked : it->second;
}

void TCheckListBox::SetState(int index, TCheckBoxState state) {
  CheckIndex(index);
  states_[index] = state;
  Invalidate();
}

void TCheckListBox::SetChecked(int index, bool on) {
  SetState(index, on ? TCheckBoxState::cbChecked : TCheckBoxState::cbUnchecked);
}

RECT TCheckListBox::CheckBoxRect(const RECT& item) {
  const int size = std::max<int>(item.bottom - item.top - 2, 0);
  return {item.left + 1, item.top + 1, item.left + 1 + size, item.top + 1 + size};
}

void TCheckListBox::Toggle(int index) {
  if (index < 0 || index >= static_cast<int>(Items().size())) return;
  TCheckBoxState next = TCheckBoxState::cbUnchecked;
  switch (State(index)) {
    case TCheckBoxState::cbUnchecked:
      next = TCheckBoxState::cbChecked;
      break;
    case TCheckBoxState::cbChecked:
      next = AllowGrayed ? TCheckBoxState::cbGrayed : TCheckBoxState::cbUnchecked;
      break;
    case TCheckBoxState::cbGrayed:
      break;
  }
  SetState(index, next);
  OnClickCheck(this);
}

void TCheckListBox::DrawItem(const DRAWITEMSTRUCT& draw) {
  HDC dc = draw.hDC;
  const bool selected = (draw.itemState & ODS_SELECTED) != 0;
  FillRect(dc, &draw.rcItem, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
  const int index = static_cast<int>(draw.itemID);
  if (index < 0 || index >= static_cast<int>(Items().size())) return;
  RECT box = CheckBoxRect(draw.rcItem);
  UINT state = DFCS_BUTTONCHECK;
  const TCheckBoxState s = State(index);
  if (s == TCheckBoxState::cbChecked) state |= DFCS_CHECKED;
  if (s == TCheckBoxState::cbGrayed) state = DFCS_BUTTON3STATE | DFCS_CHECKED;
  if (!Enabled()) state |= DFCS_INACTIVE;
  DrawFrameControl(dc, &box, DFC_BUTTON, state);
  RECT text{box.right + 3, draw.rcItem.top, draw.rcItem.right, draw.rcItem.bottom};
  const int oldMode = SetBkMode(dc, TRANSPARENT);
  const COLORREF oldColour =
      SetTextColor(dc, GetSysColor(!Enabled() ? COLOR_GRAYTEXT : selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
  const std::string& item = Items()[static_cast<size_t>(index)];
  DrawTextA(dc, item.c_str(), static_cast<int>(item.size()), &text, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
  SetTextColor(dc, oldColour);
  SetBkMode(dc, oldMode);
  if (draw.itemState & ODS_FOCUS) DrawFocusRect(dc, &draw.rcItem);
}

void TCheckListBox::WndProc(TMessage& message) {
  switch (message.Msg) {
    case CN_DRAWITEM:
      DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(message.LParam));
      message.Result = TRUE;
      return;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      TCustomListBox::WndProc(message);
      const POINT p{static_cast<short>(LOWORD(message.LParam)), static_cast<short>(HIWORD(message.LParam))};
      const LRESULT hit = SendMessageA(Handle(), LB_ITEMFROMPOINT, 0, message.LParam);
      if (HIWORD(hit)) return;  // below the last item
      const int index = LOWORD(hit);
      RECT item{};
      if (SendMessageA(Handle(), LB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item)) == LB_ERR)
        return;
      const RECT box = CheckBoxRect(item);
      if (PtInRect(&box, p)) Toggle(index);
      return;
    }
    case WM_KEYDOWN:
      if (message.WParam == VK_SPACE) {
        Toggle(ItemIndex());
        message.Result = 0;
        return;
      }
      break;
    case WM_CHAR:
      if (message.WParam == ' ') {
        message.Result = 0;
        return;  // the space toggled already; no search for a blank
      }
      break;
    default:
      break;
  }
  TCustomListBox::WndProc(message);
}

// ---------------------------------------------------------------------------

namespace {
std::map<UINT_PTR, TTimer*>& Timers() {
  static std::map<UINT_PTR, TTimer*> timers;
  return timers;
}
}  // namespace

void CALLBACK TimerProc(HWND, UINT, UINT_PTR id, DWORD) {
  auto it = Timers().find(id);
  if (it == Timers().end()) return;
  TTimer* timer = it->second;
  CountTimerCallback();
  try {
    timer->OnTimer(timer);
  } catch (...) {
    HandleControlException(timer);
  }
}

VELMORA_PUBLISH(TTimer) {
  p.Boolean("Enabled", &TTimer::Enabled, &TTimer::SetEnabled)
      .Default(1)
      .Integer("Interval", &TTimer::Interval, &TTimer::SetInterval)
      .Default(1000)
      .Event("OnTimer", &TTimer::OnTimer);
}

TTimer::TTimer(TComponent* owner) : TComponent(owner) {}

TTimer::~TTimer() {
  enabled_ = false;
  Update();
}

void TTimer::SetEnabled(bool on) {
  enabled_ = on;
  Update();
}

void TTimer::SetInterval(unsigned ms) {
  interval_ = ms;
  Update();
}

void TTimer::Loaded() {
  TComponent::Loaded();
  Update();
}

void TTimer::Update() {
  if (id_) {
    KillTimer(nullptr, id_);
    Timers().erase(id_);
    id_ = 0;
  }
  if (!enabled_ || interval_ == 0 || Loading() || Destroying()) return;
  id_ = SetTimer(nullptr, 0, interval_, TimerProc);
  if (id_) Timers()[id_] = this;
}

void RegisterExtCtrlsClasses() {
  for (TClass cls : {TCustomPanel::StaticClass(), TPanel::StaticClass(), TCustomRadioGroup::StaticClass(),
                     TRadioGroup::StaticClass(), TCheckListBox::StaticClass(), TTimer::StaticClass()})
    RegisterControlClass(cls);
}
