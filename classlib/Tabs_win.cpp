#include "classlib/Tabs_win.h"

#include <algorithm>

#include "classlib/ControlClasses.h"

VELMORA_PUBLISH(TScroller) {
  p.Integer("Min", &TScroller::Min)
      .Integer("Max", &TScroller::Max)
      .Integer("Position", &TScroller::Position, &TScroller::SetPosition)
      .Event("OnClick", &TScroller::OnClick);
}

TScroller::TScroller(TComponent* owner) : TCustomControl(owner) {
  SetBounds(0, 0, 2 * GetSystemMetrics(SM_CXHSCROLL), 20);
}

void TScroller::SetRange(int min, int max) {
  min_ = min;
  max_ = std::max(min, max);
  SetPosition(position_);
}

void TScroller::SetPosition(int position) {
  position = std::clamp(position, min_, max_);
  if (position == position_) return;
  position_ = position;
  Invalidate();
}

void TScroller::WndProc(TMessage& message) {
  if (message.Msg == WM_LBUTTONDOWN || message.Msg == WM_LBUTTONDBLCLK) {
    const int x = static_cast<short>(LOWORD(message.LParam));
    const int before = position_;
    SetPosition(position_ + (x < Width() / 2 ? -1 : 1));
    if (position_ != before) OnClick(this);
  }
  TCustomControl::WndProc(message);
}

void TScroller::Paint() {
  HDC dc = Canvas().Handle();
  const int half = Width() / 2;
  RECT left{0, 0, half, Height()}, right{half, 0, Width(), Height()};
  DrawFrameControl(dc, &left, DFC_SCROLL, DFCS_SCROLLLEFT | (position_ <= min_ ? DFCS_INACTIVE : 0));
  DrawFrameControl(dc, &right, DFC_SCROLL, DFCS_SCROLLRIGHT | (position_ >= max_ ? DFCS_INACTIVE : 0));
}

// ---------------------------------------------------------------------------

VELMORA_PUBLISH(TTabSet) {
  p.Strings("Tabs", &TTabSet::Tabs, &TTabSet::SetTabs)
      .Integer("TabIndex", &TTabSet::TabIndex, &TTabSet::SetTabIndex)
      .Default(-1)
      .Integer("FirstIndex", &TTabSet::FirstIndex, &TTabSet::SetFirstIndex)
      .Default(0)
      .Integer("StartMargin", &TTabSet::StartMargin, &TTabSet::SetStartMargin)
      .Default(5)
      .Integer("EndMargin", &TTabSet::EndMargin, &TTabSet::SetEndMargin)
      .Default(15)
      .Integer("TabHeight", &TTabSet::TabHeight, &TTabSet::SetTabHeight)
      .Default(20)
      .Boolean("AutoScroll", &TTabSet::AutoScroll, &TTabSet::SetAutoScroll)
      .Default(1)
      .Event("OnChange", &TTabSet::OnChange);
}

std::vector<int> MeasureTabCaptions(const std::vector<std::string>& tabs, HFONT font) {
  std::vector<int> widths;
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = font ? SelectObject(dc, font) : nullptr;
  for (const std::string& tab : tabs) {
    SIZE size{};
    GetTextExtentPoint32A(dc, tab.c_str(), static_cast<int>(tab.size()), &size);
    widths.push_back(size.cx);
  }
  if (old) SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  return widths;
}

TTabSet::TTabSet(TComponent* owner) : TCustomControl(owner), scroller_(new TScroller(this)) {
  SetBounds(0, 0, 185, 21);
  scroller_->SetVisible(false);
  scroller_->SetParent(this);
  scroller_->OnClick = TNotifyEvent::Of<&TTabSet::ScrollerClicked>(this);
}

void TTabSet::SetTabs(const std::vector<std::string>& tabs) {
  tabs_ = tabs;
  if (tabIndex_ >= static_cast<int>(tabs_.size())) tabIndex_ = -1;
  Arrange();
}

void TTabSet::SetTabIndex(int index) {
  if (index < -1 || index >= static_cast<int>(tabs_.size())) index = -1;
  if (index == tabIndex_) return;
  tabIndex_ = index;
  Invalidate();
}

void TTabSet::SetFirstIndex(int index) {
  firstIndex_ = std::max(index, 0);
  Arrange();
}

void TTabSet::SetStartMargin(int margin) {
  startMargin_ = std::max(margin, 0);
  Arrange();
}

void TTabSet::SetEndMargin(int margin) {
  endMargin_ = std::max(margin, 0);
  Arrange();
}

void TTabSet::SetTabHeight(int height) {
  tabHeight_ = std::max(height, 1);
  Arrange();
}

void TTabSet::SetAutoScroll(bool on) {
  autoScroll_ = on;
  Arrange();
}

TTabSetLayout TTabSet::Layout() {
  const RECT client = ClientRect();
  TTabSetMetrics m;
  m.ClientWidth = client.right;
  m.ClientHeight = client.bottom;
  m.TabHeight = tabHeight_;
  m.StartMargin = startMargin_;
  m.EndMargin = endMargin_;
  m.ScrollerWidth = scroller_->Width();
  m.AutoScroll = autoScroll_;
  return LayOutTabSet(MeasureTabCaptions(tabs_, Font()->Handle()), firstIndex_, m);
}

RECT TTabSet::ItemRect(int index) {
  const TTabSetLayout layout = Layout();
  const int shown = index - layout.FirstIndex;
  if (shown < 0 || shown >= static_cast<int>(layout.Tabs.size())) return {};
  const TTabBox& b = layout.Tabs[static_cast<size_t>(shown)];
  return {b.Left, b.Top, b.Right, b.Bottom};
}

void TTabSet::Arrange() {
  if (Destroying()) return;
  const TTabSetLayout layout = Layout();
  firstIndex_ = layout.FirstIndex;
  if (layout.ScrollerShown) {
    const TTabBox& s = layout.Scroller;
    scroller_->SetBounds(s.Left, s.Top, s.Right - s.Left, s.Bottom - s.Top);
    scroller_->SetRange(0, layout.MaxFirstIndex);
    scroller_->SetPosition(firstIndex_);
  }
  scroller_->SetVisible(layout.ScrollerShown);
  Invalidate();
}

void TTabSet::ScrollerClicked(TObject*) { SetFirstIndex(scroller_->Position()); }

void TTabSet::BoundsChanged() {
  TCustomControl::BoundsChanged();
  Arrange();
}

void TTabSet::CreateHandleDone() {
  TCustomControl::CreateHandleDone();
  Arrange();
}

void TTabSet::WndProc(TMessage& message) {
  if (message.Msg == WM_LBUTTONDOWN) {
    const int tab = TabSetTabAt(Layout(), static_cast<short>(LOWORD(message.LParam)),
                                static_cast<short>(HIWORD(message.LParam)));
    if (tab >= 0 && tab != tabIndex_) {
      SetTabIndex(tab);
      OnChange(this);
    }
  }
  TCustomControl::WndProc(message);
}

void TTabSet::Paint() {
  HDC dc = Canvas().Handle();
  const TTabSetLayout layout = Layout();
  HGDIOBJ oldFont = SelectObject(dc, Font()->Handle());
  const int oldMode = SetBkMode(dc, TRANSPARENT);
  HGDIOBJ oldPen = SelectObject(dc, GetStockObject(BLACK_PEN));
  // The edge along the pages, broken under the selected tab.
  MoveToEx(dc, 0, 0, nullptr);
  LineTo(dc, Width(), 0);
  for (size_t i = 0; i < layout.Tabs.size(); i++) {
    const int index = layout.FirstIndex + static_cast<int>(i);
    const TTabBox& b = layout.Tabs[i];
    const bool selected = index == tabIndex_;
    RECT r{b.Left, b.Top, b.Right, b.Bottom};
    if (!selected) r.top += 2;  // set back from the pages
    FillRect(dc, &r, GetSysColorBrush(selected ? COLOR_WINDOW : COLOR_BTNFACE));
    MoveToEx(dc, r.left, r.top, nullptr);
    LineTo(dc, r.left, r.bottom - 1);
    LineTo(dc, r.right - 1, r.bottom - 1);
    LineTo(dc, r.right - 1, r.top - 1);
    const std::string& text = tabs_[static_cast<size_t>(index)];
    DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &r, DT_SINGLELINE | DT_CENTER | DT_VCENTER | DT_NOPREFIX);
  }
  SelectObject(dc, oldPen);
  SetBkMode(dc, oldMode);
  SelectObject(dc, oldFont);
}

void RegisterTabsClasses() {
  for (TClass cls : {TScroller::StaticClass(), TTabSet::StaticClass()}) RegisterControlClass(cls);
}
