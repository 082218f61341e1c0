// The tab and page controls, and the registration of every common control; the
// other families live in ComCtrlsBars_win.cpp, ComCtrlsValues_win.cpp and
// ComCtrlsViews_win.cpp.
#include "classlib/ComCtrls_win.h"

#include <algorithm>

#include "classlib/ComCtrlsParts_win.h"
#include "classlib/ControlClasses.h"

using namespace comctrls;

// ---------------------------------------------------------------------------
// Tab controls

VELMORA_PUBLISH(TCustomTabControl) {
  p.Enum("TabPosition", TabPositionType, &TCustomTabControl::TabPosition, &TCustomTabControl::SetTabPosition)
      .Default(0)
      .Enum("Style", TabStyleType, &TCustomTabControl::Style, &TCustomTabControl::SetStyle)
      .Default(0)
      .Boolean("MultiLine", &TCustomTabControl::MultiLine, &TCustomTabControl::SetMultiLine)
      .Default(0)
      .Object("Images", &TCustomTabControl::Images, &TCustomTabControl::SetImages)
      .Event("OnChange", &TCustomTabControl::OnChange);
}

TCustomTabControl::TCustomTabControl(TComponent* owner) : TWinControl(owner) {
  TabStop = true;
  acceptsControls_ = true;
  SetBounds(0, 0, 289, 193);
}

void TCustomTabControl::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  CreateSubClass(params, WC_TABCONTROLA);
  params.Style |= TabControlStyleBits(tabPosition_, style_, multiLine_);
}

void TCustomTabControl::CreateHandleDone() {
  if (images_) SendMessageA(Handle(), TCM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(images_->Handle()));
  UpdateTabs();
}

void TCustomTabControl::UpdateTabs() {
  if (!HandleAllocated()) return;
  HWND window = Handle();
  SendMessageA(window, TCM_DELETEALLITEMS, 0, 0);
  const std::vector<std::string> texts = TabTexts();
  for (size_t i = 0; i < texts.size(); ++i) {
    TCITEMA item{};
    item.mask = TCIF_TEXT;
    item.pszText = const_cast<char*>(texts[i].c_str());
    SendMessageA(window, TCM_INSERTITEMA, i, reinterpret_cast<LPARAM>(&item));
  }
  if (tabIndex_ >= static_cast<int>(texts.size())) tabIndex_ = texts.empty() ? -1 : 0;
  SendMessageA(window, TCM_SETCURSEL, static_cast<WPARAM>(tabIndex_), 0);
}

void TCustomTabControl::SetTabPosition(TTabPosition position) {
  tabPosition_ = position;
  RecreateWnd();
}
void TCustomTabControl::SetStyle(TTabStyle style) {
  style_ = style;
  RecreateWnd();
}
void TCustomTabControl::SetMultiLine(bool on) {
  multiLine_ = on;
  RecreateWnd();
}

void TCustomTabControl::SetImages(TCustomImageList* images) {
  if (images_) images_->RemoveFreeNotification(this);
  images_ = images;
  if (images_) images_->FreeNotification(this);
  if (HandleAllocated())
    SendMessageA(Handle(), TCM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(images_ ? images_->Handle() : nullptr));
}

void TCustomTabControl::Notification(TComponent* component, TOperation operation) {
  TWinControl::Notification(component, operation);
  if (operation == TOperation::opRemove && component == images_) SetImages(nullptr);
}

RECT TCustomTabControl::DisplayRect() {
  RECT r = ClientRect();
  if (HandleAllocated()) SendMessageA(Handle(), TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&r));
  return r;
}

int TCustomTabControl::TabIndex() const {
  if (!HandleAllocated()) return tabIndex_;
  return static_cast<int>(SendMessageA(const_cast<TCustomTabControl*>(this)->Handle(), TCM_GETCURSEL, 0, 0));
}

void TCustomTabControl::SetTabIndex(int index) {
  const int count = static_cast<int>(TabTexts().size());
  tabIndex_ = index >= 0 && index < count ? index : -1;
  if (HandleAllocated()) SendMessageA(Handle(), TCM_SETCURSEL, static_cast<WPARAM>(tabIndex_), 0);
}

void TCustomTabControl::Change() { OnChange(this); }

void TCustomTabControl::WndProc(TMessage& message) {
  if (message.Msg == CN_NOTIFY && HeaderOf(message).code == static_cast<UINT>(TCN_SELCHANGE)) {
    tabIndex_ = static_cast<int>(SendMessageA(Handle(), TCM_GETCURSEL, 0, 0));
    Change();
    return;
  }
  TWinControl::WndProc(message);
}

// ---------------------------------------------------------------------------

VELMORA_PUBLISH(TTabControl) {
  p.Strings("Tabs", &TTabControl::Tabs, &TTabControl::SetTabs)
      .Integer("TabIndex", &TTabControl::TabIndex, &TTabControl::SetTabIndex);
}

void TTabControl::SetTabs(const std::vector<std::string>& tabs) {
  tabs_ = tabs;
  if (tabIndex_ < 0 && !tabs_.empty()) tabIndex_ = 0;
  UpdateTabs();
}

// ---------------------------------------------------------------------------

VELMORA_PUBLISH(TTabSheet) {
  p.Object("PageControl", &TTabSheet::PageControl, &TTabSheet::SetPageControl)
      .Boolean("TabVisible", &TTabSheet::TabVisible, &TTabSheet::SetTabVisible)
      .Default(1)
      .Integer("ImageIndex", &TTabSheet::ImageIndex)
      .Default(-1)
      .Integer("PageIndex", &TTabSheet::PageIndex);
}

TTabSheet::TTabSheet(TComponent* owner) : TWinControl(owner) {
  acceptsControls_ = true;
  visible_ = false;  // the page control shows the active sheet
}

TTabSheet::~TTabSheet() {
  if (pageControl_) pageControl_->RemovePage(this);
}

void TTabSheet::SetParent(TWinControl* parent) {
  if (parent && parent->Is<TPageControl>()) {
    SetPageControl(static_cast<TPageControl*>(parent));
    return;
  }
  if (pageControl_) {
    TPageControl* old = pageControl_;
    pageControl_ = nullptr;
    old->RemovePage(this);
  }
  TWinControl::SetParent(parent);
}

void TTabSheet::SetPageControl(TPageControl* pageControl) {
  if (pageControl == pageControl_) return;
  if (pageControl_) {
    TPageControl* old = pageControl_;
    pageControl_ = nullptr;
    old->RemovePage(this);
  }
  TWinControl::SetParent(pageControl);
  pageControl_ = pageControl;
  if (pageControl_) pageControl_->InsertPage(this);
}

void TTabSheet::SetTabVisible(bool on) {
  if (on == tabVisible_) return;
  tabVisible_ = on;
  if (!pageControl_) return;
  if (!on && pageControl_->ActivePage() == this) pageControl_->activePage_ = nullptr;
  pageControl_->PagesChanged();
}

int TTabSheet::PageIndex() const {
  if (!pageControl_) return -1;
  auto& pages = pageControl_->pages_;
  auto it = std::find(pages.begin(), pages.end(), this);
  return it == pages.end() ? -1 : static_cast<int>(it - pages.begin());
}

int TTabSheet::TabIndex() const {
  if (!pageControl_ || !tabVisible_) return -1;
  int index = 0;
  for (TTabSheet* page : pageControl_->pages_) {
    if (page == this) return index;
    if (page->tabVisible_) ++index;
  }
  return -1;
}

void TTabSheet::TextChanged() {
  TWinControl::TextChanged();
  if (pageControl_) pageControl_->UpdateTabs();
}

// ---------------------------------------------------------------------------

VELMORA_PUBLISH(TPageControl) {
  p.Object("ActivePage", &TPageControl::ActivePage, &TPageControl::SetActivePage)
      .Integer("ActivePageIndex", &TPageControl::ActivePageIndex, &TPageControl::SetActivePageIndex)
      .Integer("PageCount", &TPageControl::PageCount);
}

TPageControl::TPageControl(TComponent* owner) : TCustomTabControl(owner) {}

TPageControl::~TPageControl() {
  for (TTabSheet* page : pages_) page->pageControl_ = nullptr;
  pages_.clear();
  activePage_ = nullptr;
}

std::vector<std::string> TPageControl::TabTexts() const {
  std::vector<std::string> texts;
  for (TTabSheet* page : pages_)
    if (page->TabVisible()) texts.push_back(page->Caption());
  return texts;
}

void TPageControl::InsertPage(TTabSheet* page) {
  pages_.push_back(page);
  PagesChanged();
}

void TPageControl::RemovePage(TTabSheet* page) {
  pages_.erase(std::remove(pages_.begin(), pages_.end(), page), pages_.end());
  if (activePage_ == page) activePage_ = nullptr;
  if (!Destroying()) PagesChanged();
}

void TPageControl::PagesChanged() {
  if (!activePage_ || !activePage_->TabVisible()) {
    activePage_ = nullptr;
    for (TTabSheet* page : pages_)
      if (page->TabVisible()) {
        activePage_ = page;
        break;
      }
  }
  tabIndex_ = activePage_ ? activePage_->TabIndex() : -1;
  UpdateTabs();
  for (TTabSheet* page : pages_) page->SetVisible(page == activePage_);
  ArrangePages();
}

void TPageControl::SetActivePage(TTabSheet* page) {
  if (page && page->PageControl() != this)
    throw EInvalidOperation("Tab sheet '" + page->Name() + "' is not a page of '" + Name() + "'");
  if (page && !page->TabVisible()) return;  // a sheet without a tab cannot be shown
  activePage_ = page;
  PagesChanged();
}

int TPageControl::ActivePageIndex() const { return activePage_ ? activePage_->PageIndex() : -1; }

void TPageControl::SetActivePageIndex(int index) {
  SetActivePage(index >= 0 && index < PageCount() ? pages_[static_cast<size_t>(index)] : nullptr);
}

void TPageControl::Loaded() {
  TCustomTabControl::Loaded();
  PagesChanged();
}

void TPageControl::CreateHandleDone() {
  TCustomTabControl::CreateHandleDone();
  ArrangePages();
}

void TPageControl::BoundsChanged() {
  TCustomTabControl::BoundsChanged();
  ArrangePages();
}

void TPageControl::ArrangePages() {
  if (!HandleAllocated()) return;  // the display area is known once the window is
  RECT r = DisplayRect();
  for (TTabSheet* page : pages_) page->SetBounds(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

void TPageControl::Change() {
  const int index = static_cast<int>(SendMessageA(Handle(), TCM_GETCURSEL, 0, 0));
  for (TTabSheet* page : pages_)
    if (page->TabIndex() == index) {
      SetActivePage(page);
      break;
    }
  TCustomTabControl::Change();
}

void RegisterComCtrlsClasses() {
  for (TClass cls : {TCustomTabControl::StaticClass(), TTabControl::StaticClass(), TTabSheet::StaticClass(),
                     TPageControl::StaticClass(), THeaderControl::StaticClass(), TCustomStatusBar::StaticClass(),
                     TStatusBar::StaticClass(), TToolButton::StaticClass(), TToolBar::StaticClass(),
                     TProgressBar::StaticClass(), TTrackBar::StaticClass(), TUpDown::StaticClass(),
                     TDateTimePicker::StaticClass(), TCustomListView::StaticClass(), TListView::StaticClass(),
                     TCustomTreeView::StaticClass(), TTreeView::StaticClass(), TCustomRichEdit::StaticClass(),
                     TRichEdit::StaticClass()})
    RegisterControlClass(cls);
}
