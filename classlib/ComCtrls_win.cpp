#include "classlib/ComCtrls_win.h"

#include <richedit.h>

#include <algorithm>

#include "classlib/ControlClasses.h"

const TEnumType ProgressBarOrientationType("TProgressBarOrientation", {"pbHorizontal", "pbVertical"});
const TEnumType TrackBarOrientationType("TTrackBarOrientation", {"trHorizontal", "trVertical"});
const TEnumType UDOrientationType("TUDOrientation", {"udHorizontal", "udVertical"});
const TEnumType DateTimeKindType("TDateTimeKind", {"dtkDate", "dtkTime"});
const TEnumType DTDateModeType("TDTDateMode", {"dmComboBox", "dmUpDown"});
const TEnumType DTDateFormatType("TDTDateFormat", {"dfShort", "dfLong"});
const TEnumType ViewStyleType("TViewStyle", {"vsIcon", "vsSmallIcon", "vsList", "vsReport"});

namespace {

// The skin engine sends the reflected-notify number with a small marker in lParam
// (0x41A2); no header lives in the first 64 KiB, so such a value reads as none.
const NMHDR& HeaderOf(const TMessage& message) {
  static const NMHDR none{};
  if (static_cast<uintptr_t>(message.LParam) < 0x10000) return none;
  return *reinterpret_cast<const NMHDR*>(message.LParam);
}

// Points a canvas at a DC for the length of an event call.
class TCanvasOnDc {
 public:
  TCanvasOnDc(TCanvas& canvas, HDC dc) : canvas_(canvas) { canvas_.SetHandle(dc); }
  ~TCanvasOnDc() { canvas_.SetHandle(nullptr); }
  TCanvasOnDc(const TCanvasOnDc&) = delete;
  TCanvasOnDc& operator=(const TCanvasOnDc&) = delete;

 private:
  TCanvas& canvas_;
};

// The whole-control custom draw of list and tree views: asks the event before the
// system paints; a cleared flag skips the system's drawing.
LRESULT WholeControlCustomDraw(TWinControl* sender, TCanvas& canvas, const TCustomDrawEvent& event,
                               const NMCUSTOMDRAW& draw) {
  if (draw.dwDrawStage != CDDS_PREPAINT || !event) return CDRF_DODEFAULT;
  bool defaultDraw = true;
  {
    TCanvasOnDc on(canvas, draw.hdc);
    event(sender, draw.rc, defaultDraw);
  }
  return defaultDraw ? CDRF_DODEFAULT : CDRF_SKIPDEFAULT;
}

std::vector<std::string> SplitAtTabs(const std::string& line) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t tab = line.find('\t', start);
    parts.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
    if (tab == std::string::npos) return parts;
    start = tab + 1;
  }
}

}  // namespace

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

// ---------------------------------------------------------------------------
// Header

VELMORA_PUBLISH(THeaderControl) {
  p.Strings("Sections", &THeaderControl::Sections, &THeaderControl::SetSections)
      .Integer("SectionWidth", &THeaderControl::SectionWidth)
      .Default(100)
      .Object("Images", &THeaderControl::Images)
      .Event("OnSectionClick", &THeaderControl::OnSectionClick);
}

THeaderControl::THeaderControl(TComponent* owner) : TWinControl(owner) { SetBounds(0, 0, 200, 17); }

void THeaderControl::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  CreateSubClass(params, WC_HEADERA);
  params.Style |= HDS_BUTTONS | HDS_HORZ | CCS_NOPARENTALIGN | CCS_NORESIZE;
}

void THeaderControl::CreateHandleDone() {
  HWND window = Handle();
  while (SendMessageA(window, HDM_GETITEMCOUNT, 0, 0) > 0) SendMessageA(window, HDM_DELETEITEM, 0, 0);
  if (Images) SendMessageA(window, HDM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(Images->Handle()));
  for (size_t i = 0; i < sections_.size(); ++i) {
    HDITEMA item{};
    item.mask = HDI_TEXT | HDI_WIDTH | HDI_FORMAT;
    item.cxy = SectionWidth;
    item.fmt = HDF_LEFT | HDF_STRING;
    item.pszText = const_cast<char*>(sections_[i].c_str());
    SendMessageA(window, HDM_INSERTITEMA, i, reinterpret_cast<LPARAM>(&item));
  }
}

void THeaderControl::SetSections(const std::vector<std::string>& sections) {
  sections_ = sections;
  if (HandleAllocated()) CreateHandleDone();
}

void THeaderControl::WndProc(TMessage& message) {
  if (message.Msg == CN_NOTIFY) {
    const UINT code = HeaderOf(message).code;
    if (code == static_cast<UINT>(HDN_ITEMCLICKA) || code == static_cast<UINT>(HDN_ITEMCLICKW)) {
      OnSectionClick(this, reinterpret_cast<const NMHEADERA*>(message.LParam)->iItem);
      return;
    }
  }
  TWinControl::WndProc(message);
}

// ---------------------------------------------------------------------------
// Status bar

VELMORA_PUBLISH(TCustomStatusBar) {
  p.Object("Panels", &TCustomStatusBar::Panels)
      .Boolean("SimplePanel", &TCustomStatusBar::SimplePanel, &TCustomStatusBar::SetSimplePanel)
      .Default(0)
      .String("SimpleText", &TCustomStatusBar::SimpleText, &TCustomStatusBar::SetSimpleText)
      .Boolean("SizeGrip", &TCustomStatusBar::SizeGrip, &TCustomStatusBar::SetSizeGrip)
      .Default(1)
      .Event("OnDrawPanel", &TCustomStatusBar::OnDrawPanel);
}

TCustomStatusBar::TCustomStatusBar(TComponent* owner)
    : TWinControl(owner), panels_(std::make_unique<TStatusPanels>()), canvas_(std::make_unique<TCanvas>()) {
  panels_->OnChange = [this] { UpdatePanels(); };
  SetBounds(0, 0, 200, 19);
}

TCustomStatusBar::~TCustomStatusBar() { panels_->OnChange = nullptr; }

void TCustomStatusBar::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  CreateSubClass(params, STATUSCLASSNAMEA);
  // The bar keeps the bounds it is given, like every other control.
  params.Style |= CCS_NOPARENTALIGN | CCS_NORESIZE;
  if (sizeGrip_) params.Style |= SBARS_SIZEGRIP;
}

void TCustomStatusBar::CreateHandleDone() { UpdatePanels(); }

void TCustomStatusBar::UpdatePanels() {
  if (!HandleAllocated()) return;
  HWND window = Handle();
  if (simplePanel_ || panels_->Count() == 0) {
    SendMessageA(window, SB_SIMPLE, TRUE, 0);
    SendMessageA(window, SB_SETTEXTA, SB_SIMPLEID, reinterpret_cast<LPARAM>(simpleText_.c_str()));
    InvalidateRect(window, nullptr, TRUE);
    return;
  }
  SendMessageA(window, SB_SIMPLE, FALSE, 0);
  std::vector<int> edges = StatusPartEdges(panels_->WidthValues());
  SendMessageA(window, SB_SETPARTS, edges.size(), reinterpret_cast<LPARAM>(edges.data()));
  for (int i = 0; i < static_cast<int>(edges.size()); ++i) {
    TStatusPanel* panel = panels_->Items(i);
    WPARAM flags = static_cast<WPARAM>(i);
    if (panel->Bevel() == TStatusPanelBevel::pbNone) flags |= SBT_NOBORDERS;
    if (panel->Bevel() == TStatusPanelBevel::pbRaised) flags |= SBT_POPOUT;
    if (panel->Style() == TStatusPanelStyle::psOwnerDraw) {
      SendMessageA(window, SB_SETTEXTA, flags | SBT_OWNERDRAW, static_cast<LPARAM>(i));
      continue;
    }
    // The status window centres text after one tab and right-aligns it after two.
    std::string text = panel->Text();
    if (panel->Alignment() == TAlignment::taCenter) text = "\t" + text;
    if (panel->Alignment() == TAlignment::taRightJustify) text = "\t\t" + text;
    SendMessageA(window, SB_SETTEXTA, flags, reinterpret_cast<LPARAM>(text.c_str()));
  }
}

void TCustomStatusBar::SetSimplePanel(bool on) {
  simplePanel_ = on;
  UpdatePanels();
}

void TCustomStatusBar::SetSimpleText(const std::string& text) {
  simpleText_ = text;
  UpdatePanels();
}

void TCustomStatusBar::SetSizeGrip(bool on) {
  sizeGrip_ = on;
  RecreateWnd();
}

void TCustomStatusBar::WndProc(TMessage& message) {
  if (message.Msg == CN_DRAWITEM) {
    const auto& draw = *reinterpret_cast<const DRAWITEMSTRUCT*>(message.LParam);
    const int index = static_cast<int>(draw.itemID);
    if (OnDrawPanel && index >= 0 && index < panels_->Count()) {
      TCanvasOnDc on(*canvas_, draw.hDC);
      OnDrawPanel(this, panels_->Items(index), draw.rcItem);
    }
    message.Result = TRUE;
    return;
  }
  TWinControl::WndProc(message);
}

// ---------------------------------------------------------------------------
// Tool bar

VELMORA_PUBLISH(TToolButton) {
  p.Integer("ImageIndex", &TToolButton::ImageIndex, &TToolButton::SetImageIndex)
      .Default(-1)
      .Boolean("Down", &TToolButton::Down, &TToolButton::SetDown)
      .Default(0)
      .Object("MenuItem", &TToolButton::MenuItem);
}

TToolButton::TToolButton(TComponent* owner) : TGraphicControl(owner) {
  clickOnMouseUp_ = true;
  SetBounds(0, 0, 23, 22);
}

TToolButton::~TToolButton() {
  if (toolBar_) toolBar_->RemoveButton(this);
}

void TToolButton::SetParent(TWinControl* parent) {
  if (toolBar_) {
    TToolBar* old = toolBar_;
    toolBar_ = nullptr;
    old->RemoveButton(this);
  }
  TGraphicControl::SetParent(parent);
  if (parent && parent->Is<TToolBar>()) {
    toolBar_ = static_cast<TToolBar*>(parent);
    toolBar_->InsertButton(this);
  }
}

void TToolButton::SetImageIndex(int index) {
  imageIndex_ = index;
  if (toolBar_) toolBar_->UpdateButtons();
}

void TToolButton::SetDown(bool on) {
  down_ = on;
  if (toolBar_ && toolBar_->HandleAllocated())
    SendMessageA(toolBar_->Handle(), TB_PRESSBUTTON, static_cast<WPARAM>(commandId_), MAKELONG(on, 0));
}

void TToolButton::TextChanged() {
  TGraphicControl::TextChanged();
  if (toolBar_) toolBar_->UpdateButtons();
}

VELMORA_PUBLISH(TToolBar) {
  p.Boolean("Flat", &TToolBar::Flat, &TToolBar::SetFlat)
      .Default(0)
      .Boolean("Transparent", &TToolBar::Transparent, &TToolBar::SetTransparent)
      .Default(0)
      .Boolean("ShowCaptions", &TToolBar::ShowCaptions, &TToolBar::SetShowCaptions)
      .Default(0)
      .Object("Images", &TToolBar::Images, &TToolBar::SetImages)
      .Object("Menu", &TToolBar::Menu)
      .Event("OnCustomDraw", &TToolBar::OnCustomDraw)
      .Event("OnCustomDrawButton", &TToolBar::OnCustomDrawButton);
}

TToolBar::TToolBar(TComponent* owner) : TWinControl(owner), canvas_(std::make_unique<TCanvas>()) {
  acceptsControls_ = true;
  SetBounds(0, 0, 150, 29);
}

TToolBar::~TToolBar() {
  for (TToolButton* button : buttons_) button->toolBar_ = nullptr;
  buttons_.clear();
}

void TToolBar::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  CreateSubClass(params, TOOLBARCLASSNAMEA);
  params.Style |= CCS_NOPARENTALIGN | CCS_NORESIZE | CCS_NODIVIDER;
  if (flat_) params.Style |= TBSTYLE_FLAT;
  if (transparent_) params.Style |= TBSTYLE_TRANSPARENT;
  if (showCaptions_) params.Style |= TBSTYLE_LIST;
}

void TToolBar::CreateHandleDone() {
  SendMessageA(Handle(), TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
  if (images_) SendMessageA(Handle(), TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(images_->Handle()));
  UpdateButtons();
}

void TToolBar::BoundsChanged() {
  TWinControl::BoundsChanged();
  ArrangeButtons();
}

void TToolBar::InsertButton(TToolButton* button) {
  button->commandId_ = nextCommand_++;
  buttons_.push_back(button);
  UpdateButtons();
}

void TToolBar::RemoveButton(TToolButton* button) {
  buttons_.erase(std::remove(buttons_.begin(), buttons_.end(), button), buttons_.end());
  button->commandId_ = 0;
  if (!Destroying()) UpdateButtons();
}

TToolButton* TToolBar::ButtonOfCommand(int id) const {
  for (TToolButton* button : buttons_)
    if (button->commandId_ == id) return button;
  return nullptr;
}

void TToolBar::UpdateButtons() {
  if (!HandleAllocated()) return;
  HWND window = Handle();
  while (SendMessageA(window, TB_BUTTONCOUNT, 0, 0) > 0) SendMessageA(window, TB_DELETEBUTTON, 0, 0);
  std::vector<std::string> texts;
  texts.reserve(buttons_.size());
  for (TToolButton* button : buttons_) texts.push_back(button->Caption());
  std::vector<TBBUTTON> items(buttons_.size());
  for (size_t i = 0; i < buttons_.size(); ++i) {
    items[i].iBitmap = images_ && buttons_[i]->ImageIndex() >= 0 ? buttons_[i]->ImageIndex() : I_IMAGENONE;
    items[i].idCommand = buttons_[i]->commandId_;
    items[i].fsState = static_cast<BYTE>(TBSTATE_ENABLED | (buttons_[i]->Down() ? TBSTATE_PRESSED : 0));
    items[i].fsStyle = BTNS_BUTTON | BTNS_AUTOSIZE;
    items[i].iString = reinterpret_cast<INT_PTR>(texts[i].c_str());
  }
  if (!items.empty()) SendMessageA(window, TB_ADDBUTTONSA, items.size(), reinterpret_cast<LPARAM>(items.data()));
  SendMessageA(window, TB_AUTOSIZE, 0, 0);
  ArrangeButtons();
}

// Each tool button covers its item of the window, so clicks and hints find it.
void TToolBar::ArrangeButtons() {
  if (!HandleAllocated()) return;
  for (size_t i = 0; i < buttons_.size(); ++i) {
    RECT r{};
    if (SendMessageA(Handle(), TB_GETITEMRECT, i, reinterpret_cast<LPARAM>(&r)))
      buttons_[i]->SetBounds(r.left, r.top, r.right - r.left, r.bottom - r.top);
  }
}

void TToolBar::SetFlat(bool on) {
  flat_ = on;
  RecreateWnd();
}
void TToolBar::SetTransparent(bool on) {
  transparent_ = on;
  RecreateWnd();
}
void TToolBar::SetShowCaptions(bool on) {
  showCaptions_ = on;
  RecreateWnd();
}

void TToolBar::SetImages(TCustomImageList* images) {
  if (images_) images_->RemoveFreeNotification(this);
  images_ = images;
  if (images_) images_->FreeNotification(this);
  if (!HandleAllocated()) return;
  SendMessageA(Handle(), TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(images_ ? images_->Handle() : nullptr));
  UpdateButtons();
}

void TToolBar::Notification(TComponent* component, TOperation operation) {
  TWinControl::Notification(component, operation);
  if (operation != TOperation::opRemove) return;
  if (component == images_) SetImages(nullptr);
  if (component == Menu) Menu = nullptr;
}

LRESULT TToolBar::CustomDraw(NMTBCUSTOMDRAW& draw) {
  const NMCUSTOMDRAW& cd = draw.nmcd;
  if (cd.dwDrawStage == CDDS_PREPAINT) {
    LRESULT result = CDRF_DODEFAULT;
    if (OnCustomDraw) {
      bool defaultDraw = true;
      TCanvasOnDc on(*canvas_, cd.hdc);
      OnCustomDraw(this, cd.rc, defaultDraw);
      if (!defaultDraw) result = CDRF_SKIPDEFAULT;
    }
    if (OnCustomDrawButton) result |= CDRF_NOTIFYITEMDRAW;
    return result;
  }
  if (cd.dwDrawStage == CDDS_ITEMPREPAINT && OnCustomDrawButton) {
    if (TToolButton* button = ButtonOfCommand(static_cast<int>(cd.dwItemSpec))) {
      bool defaultDraw = true;
      TCanvasOnDc on(*canvas_, cd.hdc);
      OnCustomDrawButton(this, button, TCustomDrawState::FromBits(cd.uItemState & 0x1FF), defaultDraw);
      if (!defaultDraw) return CDRF_SKIPDEFAULT;
    }
  }
  return CDRF_DODEFAULT;
}

void TToolBar::WndProc(TMessage& message) {
  if (message.Msg == CN_NOTIFY && HeaderOf(message).code == static_cast<UINT>(NM_CUSTOMDRAW)) {
    message.Result = CustomDraw(*reinterpret_cast<NMTBCUSTOMDRAW*>(message.LParam));
    return;
  }
  if (message.Msg == CN_COMMAND) {
    // Keyboard presses of a button arrive as commands; mouse clicks reach the button.
    if (TToolButton* button = ButtonOfCommand(LOWORD(message.WParam))) button->Click();
    return;
  }
  TWinControl::WndProc(message);
}

// ---------------------------------------------------------------------------
// Progress bar

VELMORA_PUBLISH(TProgressBar) {
  p.Integer("Min", &TProgressBar::Min, &TProgressBar::SetMin)
      .Integer("Max", &TProgressBar::Max, &TProgressBar::SetMax)
      .Integer("Position", &TProgressBar::Position, &TProgressBar::SetPosition)
      .Integer("Step", &TProgressBar::Step)
      .Default(10)
      .Enum("Orientation", ProgressBarOrientationType, &TProgressBar::Orientation, &TProgressBar::SetOrientation)
      .Default(0)
      .Boolean("Smooth", &TProgressBar::Smooth, &TProgressBar::SetSmooth)
      .Default(0);
}

TProgressBar::TProgressBar(TComponent* owner) : TWinControl(owner) { SetBounds(0, 0, 150, 16); }

void TProgressBar::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  CreateSubClass(params, PROGRESS_CLASSA);
  if (orientation_ == TProgressBarOrientation::pbVertical) params.Style |= PBS_VERTICAL;
  if (smooth_) params.Style |= PBS_SMOOTH;
}

void TProgressBar::CreateHandleDone() {
  SendMessageA(Handle(), PBM_SETRANGE32, static_cast<WPARAM>(min_), max_);
  SendMessageA(Handle(), PBM_SETPOS, static_cast<WPARAM>(position_), 0);
}

int TProgressBar::Position() const {
  if (!HandleAllocated()) return position_;
  return static_cast<int>(SendMessageA(const_cast<TProgressBar*>(this)->Handle(), PBM_GETPOS, 0, 0));
}

void TProgressBar::SetPosition(int v) {
  position_ = Loading() ? v : std::clamp(v, min_, max_);
  if (HandleAllocated()) SendMessageA(Handle(), PBM_SETPOS, static_cast<WPARAM>(position_), 0);
}

void TProgressBar::SetRange(int min, int max) {
  if (!Loading() && min > max) throw EInvalidOperation("Progress bar range " + std::to_string(min) + ".." +
                                                       std::to_string(max) + " is empty");
  min_ = min;
  max_ = max;
  if (Loading()) return;
  position_ = std::clamp(position_, min_, max_);
  if (HandleAllocated()) CreateHandleDone();
}

void TProgressBar::Loaded() {
  TWinControl::Loaded();
  SetRange(min_, max_);
}

void TProgressBar::SetOrientation(TProgressBarOrientation orientation) {
  orientation_ = orientation;
  RecreateWnd();
}

void TProgressBar::SetSmooth(bool on) {
  smooth_ = on;
  RecreateWnd();
}

// ---------------------------------------------------------------------------
// Track bar

VELMORA_PUBLISH(TTrackBar) {
  p.Integer("Min", &TTrackBar::Min, &TTrackBar::SetMin)
      .Integer("Max", &TTrackBar::Max, &TTrackBar::SetMax)
      .Integer("Position", &TTrackBar::Position, &TTrackBar::SetPosition)
      .Integer("PageSize", &TTrackBar::PageSize, &TTrackBar::SetPageSize)
      .Default(2)
      .Integer("Frequency", &TTrackBar::Frequency, &TTrackBar::SetFrequency)
      .Default(1)
      .Enum("Orientation", TrackBarOrientationType, &TTrackBar::Orientation, &TTrackBar::SetOrientation)
      .Default(0)
      .Boolean("Transparent", &TTrackBar::Transparent)
      .Default(0)
      .Event("OnChange", &TTrackBar::OnChange);
}

TTrackBar::TTrackBar(TComponent* owner) : TWinControl(owner) {
  TabStop = true;
  SetBounds(0, 0, 150, 45);
}

void TTrackBar::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  CreateSubClass(params, TRACKBAR_CLASSA);
  params.Style |= TBS_AUTOTICKS | (orientation_ == TTrackBarOrientation::trVertical ? TBS_VERT : TBS_HORZ);
}

void TTrackBar::CreateHandleDone() {
  HWND window = Handle();
  SendMessageA(window, TBM_SETRANGEMIN, FALSE, min_);
  SendMessageA(window, TBM_SETRANGEMAX, FALSE, max_);
  SendMessageA(window, TBM_SETPAGESIZE, 0, pageSize_);
  SendMessageA(window, TBM_SETTICFREQ, static_cast<WPARAM>(frequency_), 0);
  SendMessageA(window, TBM_SETPOS, TRUE, position_);
}

int TTrackBar::Position() const {
  if (!HandleAllocated()) return position_;
  return static_cast<int>(SendMessageA(const_cast<TTrackBar*>(this)->Handle(), TBM_GETPOS, 0, 0));
}

void TTrackBar::SetPosition(int v) {
  const int next = Loading() ? v : std::clamp(v, min_, max_);
  const bool moved = next != position_;
  position_ = next;
  if (HandleAllocated()) SendMessageA(Handle(), TBM_SETPOS, TRUE, position_);
  if (moved && !Loading()) OnChange(this);
}

void TTrackBar::SetRange(int min, int max) {
  if (!Loading() && min > max)
    throw EInvalidOperation("Track bar range " + std::to_string(min) + ".." + std::to_string(max) + " is empty");
  min_ = min;
  max_ = max;
  if (Loading()) return;
  position_ = std::clamp(position_, min_, max_);
  if (HandleAllocated()) CreateHandleDone();
}

void TTrackBar::SetPageSize(int v) {
  pageSize_ = std::max(v, 0);
  if (HandleAllocated()) SendMessageA(Handle(), TBM_SETPAGESIZE, 0, pageSize_);
}

void TTrackBar::SetFrequency(int v) {
  frequency_ = std::max(v, 1);
  if (HandleAllocated()) SendMessageA(Handle(), TBM_SETTICFREQ, static_cast<WPARAM>(frequency_), 0);
}

void TTrackBar::SetOrientation(TTrackBarOrientation orientation) {
  if (orientation == orientation_) return;
  orientation_ = orientation;
  if (!Loading()) SetBounds(left_, top_, height_, width_);
  RecreateWnd();
}

void TTrackBar::Loaded() {
  TWinControl::Loaded();
  SetRange(min_, max_);
}

void TTrackBar::WndProc(TMessage& message) {
  if (message.Msg == CN_HSCROLL || message.Msg == CN_VSCROLL) {
    const int now = static_cast<int>(SendMessageA(Handle(), TBM_GETPOS, 0, 0));
    if (now != position_) {
      position_ = now;
      OnChange(this);
    }
    return;
  }
  TWinControl::WndProc(message);
}

// ---------------------------------------------------------------------------
// Up-down

VELMORA_PUBLISH(TUpDown) {
  p.Integer("Min", &TUpDown::Min, &TUpDown::SetMin)
      .Integer("Max", &TUpDown::Max, &TUpDown::SetMax)
      .Integer("Position", &TUpDown::Position, &TUpDown::SetPosition)
      .Integer("Increment", &TUpDown::Increment)
      .Default(1)
      .Boolean("Wrap", &TUpDown::Wrap)
      .Default(0)
      .Enum("Orientation", UDOrientationType, &TUpDown::Orientation, &TUpDown::SetOrientation)
      .Default(1)
      .Object("Associate", &TUpDown::Associate, &TUpDown::SetAssociate)
      .Event("OnClick", &TUpDown::OnClick);
}

TUpDown::TUpDown(TComponent* owner) : TWinControl(owner) { SetBounds(0, 0, 17, 25); }

void TUpDown::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  CreateSubClass(params, UPDOWN_CLASSA);
  params.Style |= UDS_ARROWKEYS;
  if (orientation_ == TUDOrientation::udHorizontal) params.Style |= UDS_HORZ;
}

void TUpDown::CreateHandleDone() {
  SendMessageA(Handle(), UDM_SETRANGE32, static_cast<WPARAM>(min_), max_);
  SendMessageA(Handle(), UDM_SETPOS32, 0, position_);
}

void TUpDown::SetMin(int v) {
  min_ = v;
  SetPosition(position_);
  if (HandleAllocated()) CreateHandleDone();
}

void TUpDown::SetMax(int v) {
  max_ = v;
  SetPosition(position_);
  if (HandleAllocated()) CreateHandleDone();
}

void TUpDown::SetPosition(int v) {
  position_ = Loading() ? v : UpDownStep(v, 0, min_, max_, false);
  if (HandleAllocated()) SendMessageA(Handle(), UDM_SETPOS32, 0, position_);
  ShowPosition();
}

void TUpDown::SetOrientation(TUDOrientation orientation) {
  orientation_ = orientation;
  RecreateWnd();
}

void TUpDown::SetAssociate(TWinControl* control) {
  if (associate_) associate_->RemoveFreeNotification(this);
  associate_ = control == this ? nullptr : control;
  if (associate_) associate_->FreeNotification(this);
  ShowPosition();
}

void TUpDown::Notification(TComponent* component, TOperation operation) {
  TWinControl::Notification(component, operation);
  if (operation == TOperation::opRemove && component == associate_) associate_ = nullptr;
}

void TUpDown::Loaded() {
  TWinControl::Loaded();
  SetPosition(position_);  // clamps and shows it in the associate, now resolved
}

void TUpDown::ShowPosition() {
  if (associate_ && !Loading()) associate_->SetText(std::to_string(position_));
}

void TUpDown::WndProc(TMessage& message) {
  if (message.Msg == CN_NOTIFY && HeaderOf(message).code == static_cast<UINT>(UDN_DELTAPOS)) {
    // The position is kept here (Increment, Wrap, either range order); the window
    // is told not to move and gets the result.
    const auto& change = *reinterpret_cast<const NMUPDOWN*>(message.LParam);
    const int64_t step = static_cast<int64_t>(change.iDelta) * Increment;
    const int delta = static_cast<int>(std::clamp<int64_t>(step, INT32_MIN, INT32_MAX));
    SetPosition(UpDownStep(position_, delta, min_, max_, Wrap));
    message.Result = 1;
    OnClick(this, change.iDelta > 0 ? TUDBtnType::btNext : TUDBtnType::btPrev);
    return;
  }
  if (message.Msg == CN_HSCROLL || message.Msg == CN_VSCROLL) return;
  TWinControl::WndProc(message);
}

// ---------------------------------------------------------------------------
// Date-time picker

VELMORA_PUBLISH(TDateTimePicker) {
  p.Enum("Kind", DateTimeKindType, &TDateTimePicker::Kind, &TDateTimePicker::SetKind)
      .Default(0)
      .Enum("DateMode", DTDateModeType, &TDateTimePicker::DateMode, &TDateTimePicker::SetDateMode)
      .Default(0)
      .Enum("DateFormat", DTDateFormatType, &TDateTimePicker::DateFormat, &TDateTimePicker::SetDateFormat)
      .Default(0)
      .Event("OnChange", &TDateTimePicker::OnChange);
}

TDateTimePicker::TDateTimePicker(TComponent* owner) : TWinControl(owner), value_(Now()) {
  TabStop = true;
  SetColor(clWindow);
  SetBounds(0, 0, 186, 21);
}

void TDateTimePicker::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  CreateSubClass(params, DATETIMEPICK_CLASSA);
  if (kind_ == TDateTimeKind::dtkTime) {
    params.Style |= DTS_TIMEFORMAT;
  } else {
    if (dateMode_ == TDTDateMode::dmUpDown) params.Style |= DTS_UPDOWN;
    params.Style |= dateFormat_ == TDTDateFormat::dfLong ? DTS_LONGDATEFORMAT : DTS_SHORTDATEFORMAT;
  }
}

namespace {
SYSTEMTIME ToSystemTime(const TDateTimeParts& parts) {
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(parts.Year);
  st.wMonth = static_cast<WORD>(parts.Month);
  st.wDayOfWeek = static_cast<WORD>(parts.DayOfWeek);
  st.wDay = static_cast<WORD>(parts.Day);
  st.wHour = static_cast<WORD>(parts.Hour);
  st.wMinute = static_cast<WORD>(parts.Minute);
  st.wSecond = static_cast<WORD>(parts.Second);
  st.wMilliseconds = static_cast<WORD>(parts.Milliseconds);
  return st;
}
std::optional<TDateTime> FromSystemTime(const SYSTEMTIME& st) {
  TDateTimeParts parts{st.wYear, st.wMonth, st.wDayOfWeek, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
  return PartsToDateTime(parts);
}
}  // namespace

void TDateTimePicker::CreateHandleDone() {
  SYSTEMTIME st = ToSystemTime(DateTimeToParts(value_));
  SendMessageA(Handle(), DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&st));
}

TDateTime TDateTimePicker::DateTime() const {
  if (!HandleAllocated()) return value_;
  SYSTEMTIME st{};
  if (SendMessageA(const_cast<TDateTimePicker*>(this)->Handle(), DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&st)) !=
      GDT_VALID)
    return value_;
  return FromSystemTime(st).value_or(value_);
}

void TDateTimePicker::SetDateTime(TDateTime value) {
  // The system record holds the years 1601 to 30827; our dates end at 9999.
  if (DateTimeToParts(value).Year < 1601) throw EConvertError("Invalid date for a date-time picker");
  value_ = value;
  if (HandleAllocated()) CreateHandleDone();
}

void TDateTimePicker::SetKind(TDateTimeKind kind) {
  kind_ = kind;
  RecreateWnd();
}
void TDateTimePicker::SetDateMode(TDTDateMode mode) {
  dateMode_ = mode;
  RecreateWnd();
}
void TDateTimePicker::SetDateFormat(TDTDateFormat format) {
  dateFormat_ = format;
  RecreateWnd();
}

void TDateTimePicker::WndProc(TMessage& message) {
  if (message.Msg == CN_NOTIFY && HeaderOf(message).code == static_cast<UINT>(DTN_DATETIMECHANGE)) {
    const auto& change = *reinterpret_cast<const NMDATETIMECHANGE*>(message.LParam);
    if (change.dwFlags == GDT_VALID)
      if (auto value = FromSystemTime(change.st)) value_ = *value;
    OnChange(this);
    return;
  }
  TWinControl::WndProc(message);
}

// ---------------------------------------------------------------------------
// List view

VELMORA_PUBLISH(TCustomListView) {
  p.Enum("ViewStyle", ViewStyleType, &TCustomListView::ViewStyle, &TCustomListView::SetViewStyle)
      .Default(0)
      .Strings("Columns", &TCustomListView::Columns, &TCustomListView::SetColumns)
      .Integer("ColumnWidth", &TCustomListView::ColumnWidth)
      .Default(100)
      .Strings("Items", &TCustomListView::Items, &TCustomListView::SetItems)
      .Integer("ItemIndex", &TCustomListView::ItemIndex, &TCustomListView::SetItemIndex)
      .Object("LargeImages", &TCustomListView::LargeImages)
      .Object("SmallImages", &TCustomListView::SmallImages)
      .Event("OnChange", &TCustomListView::OnChange)
      .Event("OnCustomDraw", &TCustomListView::OnCustomDraw);
}

TCustomListView::TCustomListView(TComponent* owner) : TWinControl(owner), canvas_(std::make_unique<TCanvas>()) {
  TabStop = true;
  SetColor(clWindow);
  SetBounds(0, 0, 250, 150);
}

void TCustomListView::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  CreateSubClass(params, WC_LISTVIEWA);
  static const DWORD styles[] = {LVS_ICON, LVS_SMALLICON, LVS_LIST, LVS_REPORT};
  params.Style |= styles[static_cast<int>(viewStyle_)] | LVS_SHOWSELALWAYS | LVS_SINGLESEL;
  params.ExStyle |= WS_EX_CLIENTEDGE;
}

void TCustomListView::CreateHandleDone() {
  if (LargeImages) SendMessageA(Handle(), LVM_SETIMAGELIST, LVSIL_NORMAL, reinterpret_cast<LPARAM>(LargeImages->Handle()));
  if (SmallImages) SendMessageA(Handle(), LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(SmallImages->Handle()));
  FillWindow();
}

void TCustomListView::FillWindow() {
  if (!HandleAllocated()) return;
  HWND window = Handle();
  SendMessageA(window, LVM_DELETEALLITEMS, 0, 0);
  while (SendMessageA(window, LVM_DELETECOLUMN, 0, 0)) {
  }
  for (size_t i = 0; i < columns_.size(); ++i) {
    LVCOLUMNA column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.cx = ColumnWidth;
    column.pszText = const_cast<char*>(columns_[i].c_str());
    column.iSubItem = static_cast<int>(i);
    SendMessageA(window, LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&column));
  }
  for (size_t i = 0; i < items_.size(); ++i) {
    const std::vector<std::string> parts = SplitAtTabs(items_[i]);
    LVITEMA item{};
    item.mask = LVIF_TEXT;
    item.iItem = static_cast<int>(i);
    item.pszText = const_cast<char*>(parts[0].c_str());
    const auto row = SendMessageA(window, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
    for (size_t sub = 1; sub < parts.size(); ++sub) {
      LVITEMA subItem{};
      subItem.iSubItem = static_cast<int>(sub);
      subItem.pszText = const_cast<char*>(parts[sub].c_str());
      SendMessageA(window, LVM_SETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&subItem));
    }
  }
  SetItemIndex(itemIndex_);
}

void TCustomListView::SetViewStyle(TViewStyle style) {
  viewStyle_ = style;
  RecreateWnd();
}

void TCustomListView::SetColumns(const std::vector<std::string>& columns) {
  columns_ = columns;
  FillWindow();
}

void TCustomListView::SetItems(const std::vector<std::string>& items) {
  items_ = items;
  if (itemIndex_ >= static_cast<int>(items_.size())) itemIndex_ = -1;
  FillWindow();
}

int TCustomListView::ItemIndex() const {
  if (!HandleAllocated()) return itemIndex_;
  return static_cast<int>(SendMessageA(const_cast<TCustomListView*>(this)->Handle(), LVM_GETNEXTITEM,
                                       static_cast<WPARAM>(-1), LVNI_SELECTED));
}

void TCustomListView::SetItemIndex(int index) {
  itemIndex_ = index >= 0 && index < static_cast<int>(items_.size()) ? index : -1;
  if (!HandleAllocated()) return;
  LVITEMA state{};
  state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  state.state = 0;
  SendMessageA(Handle(), LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&state));
  if (itemIndex_ < 0) return;
  state.state = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageA(Handle(), LVM_SETITEMSTATE, static_cast<WPARAM>(itemIndex_), reinterpret_cast<LPARAM>(&state));
}

void TCustomListView::WndProc(TMessage& message) {
  if (message.Msg == CN_NOTIFY) {
    const NMHDR& header = HeaderOf(message);
    if (header.code == static_cast<UINT>(NM_CUSTOMDRAW)) {
      message.Result = WholeControlCustomDraw(this, *canvas_, OnCustomDraw,
                                              *reinterpret_cast<const NMCUSTOMDRAW*>(message.LParam));
      return;
    }
    if (header.code == static_cast<UINT>(LVN_ITEMCHANGED)) {
      const auto& change = *reinterpret_cast<const NMLISTVIEW*>(message.LParam);
      if ((change.uChanged & LVIF_STATE) && ((change.uNewState ^ change.uOldState) & LVIS_SELECTED) &&
          (change.uNewState & LVIS_SELECTED)) {
        itemIndex_ = change.iItem;
        OnChange(this);
      }
      return;
    }
  }
  TWinControl::WndProc(message);
}

// ---------------------------------------------------------------------------
// Tree view

VELMORA_PUBLISH(TCustomTreeView) {
  p.Strings("Items", &TCustomTreeView::Items, &TCustomTreeView::SetItems)
      .Boolean("ShowLines", &TCustomTreeView::ShowLines)
      .Default(1)
      .Boolean("ShowRoot", &TCustomTreeView::ShowRoot)
      .Default(1)
      .Boolean("ShowButtons", &TCustomTreeView::ShowButtons)
      .Default(1)
      .Object("Images", &TCustomTreeView::Images)
      .Event("OnChange", &TCustomTreeView::OnChange)
      .Event("OnCustomDraw", &TCustomTreeView::OnCustomDraw);
}

TCustomTreeView::TCustomTreeView(TComponent* owner) : TWinControl(owner), canvas_(std::make_unique<TCanvas>()) {
  TabStop = true;
  SetColor(clWindow);
  SetBounds(0, 0, 121, 97);
}

void TCustomTreeView::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  CreateSubClass(params, WC_TREEVIEWA);
  params.Style |= TVS_SHOWSELALWAYS;
  if (ShowLines) params.Style |= TVS_HASLINES;
  if (ShowRoot) params.Style |= TVS_LINESATROOT;
  if (ShowButtons) params.Style |= TVS_HASBUTTONS;
  params.ExStyle |= WS_EX_CLIENTEDGE;
}

void TCustomTreeView::CreateHandleDone() {
  if (Images) SendMessageA(Handle(), TVM_SETIMAGELIST, TVSIL_NORMAL, reinterpret_cast<LPARAM>(Images->Handle()));
  FillWindow();
}

void TCustomTreeView::SetItems(const std::vector<std::string>& items) {
  items_ = items;
  nodes_ = ParseOutline(items_);
  FillWindow();
}

void TCustomTreeView::FillWindow() {
  handles_.clear();
  if (!HandleAllocated()) return;
  HWND window = Handle();
  SendMessageA(window, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
  std::vector<HTREEITEM> parents;  // the last node of each level
  for (const TOutlineNode& node : nodes_) {
    parents.resize(static_cast<size_t>(node.Level));
    TVINSERTSTRUCTA insert{};
    insert.hParent = parents.empty() ? TVI_ROOT : parents.back();
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT;
    insert.item.pszText = const_cast<char*>(node.Text.c_str());
    auto item = reinterpret_cast<HTREEITEM>(SendMessageA(window, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)));
    handles_.push_back(item);
    parents.push_back(item);
  }
  for (HTREEITEM item : handles_) SendMessageA(window, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item));
}

std::string TCustomTreeView::SelectedText() const {
  if (!HandleAllocated()) return "";
  auto selected = reinterpret_cast<HTREEITEM>(
      SendMessageA(const_cast<TCustomTreeView*>(this)->Handle(), TVM_GETNEXTITEM, TVGN_CARET, 0));
  auto it = std::find(handles_.begin(), handles_.end(), selected);
  return selected && it != handles_.end() ? nodes_[static_cast<size_t>(it - handles_.begin())].Text : "";
}

void TCustomTreeView::SelectNode(int index) {
  HWND window = Handle();
  HTREEITEM item = index >= 0 && index < static_cast<int>(handles_.size()) ? handles_[static_cast<size_t>(index)] : nullptr;
  SendMessageA(window, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
}

void TCustomTreeView::WndProc(TMessage& message) {
  if (message.Msg == CN_NOTIFY) {
    const UINT code = HeaderOf(message).code;
    if (code == static_cast<UINT>(NM_CUSTOMDRAW)) {
      message.Result = WholeControlCustomDraw(this, *canvas_, OnCustomDraw,
                                              *reinterpret_cast<const NMCUSTOMDRAW*>(message.LParam));
      return;
    }
    if (code == static_cast<UINT>(TVN_SELCHANGEDA) || code == static_cast<UINT>(TVN_SELCHANGEDW)) {
      OnChange(this);
      return;
    }
  }
  TWinControl::WndProc(message);
}

// ---------------------------------------------------------------------------
// Rich edit

VELMORA_PUBLISH(TCustomRichEdit) { p.Boolean("PlainText", &TCustomRichEdit::PlainText).Default(0); }

TCustomRichEdit::TCustomRichEdit(TComponent* owner) : TCustomMemo(owner) {}

void TCustomRichEdit::CreateParams(TCreateParams& params) {
  TCustomMemo::CreateParams(params);
  CreateSubClass(params, "RichEdit20A");
}

void TCustomRichEdit::CreateHandleDone() {
  TCustomMemo::CreateHandleDone();
  HWND window = Handle();
  if (PlainText) {
    // The text mode changes only while the control is empty.
    const std::string text = Text();
    SetWindowTextA(window, "");
    SendMessageA(window, EM_SETTEXTMODE, TM_PLAINTEXT, 0);
    SetWindowTextA(window, text.c_str());
  }
  // A rich edit reports changes (EN_CHANGE, so OnChange) only when asked to.
  SendMessageA(window, EM_SETEVENTMASK, 0, ENM_CHANGE);
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
