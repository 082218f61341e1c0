// The bar controls: header, status bar with panels, tool bar with tool buttons.
#include "classlib/ComCtrls_win.h"

#include <algorithm>

#include "classlib/ComCtrlsParts_win.h"
#include "classlib/ControlClasses.h"

using namespace comctrls;

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

// Each tool button covers its item of the window, so hints find it.
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
    // Clicks and keyboard presses of a button arrive as the window's commands.
    if (TToolButton* button = ButtonOfCommand(LOWORD(message.WParam))) button->Click();
    return;
  }
  TWinControl::WndProc(message);
}
