#include "classlib/Menus_win.h"

#include <algorithm>
#include <map>
#include <set>

#include "classlib/ControlClasses.h"

namespace {

// GUI thread only, like the items themselves.
std::map<UINT, TMenuItem*>& ItemsByCommand() {
  static std::map<UINT, TMenuItem*> items;
  return items;
}
std::set<const TMenuItem*>& LiveItems() {
  static std::set<const TMenuItem*> items;
  return items;
}
UINT NextCommand() {
  // Low ids belong to dialogs and controls; commands are 16-bit in WM_COMMAND.
  static UINT next = 0x1000;
  for (;;) {
    UINT command = next++;
    if (next > 0xF000) next = 0x1000;
    if (!ItemsByCommand().count(command)) return command;
  }
}
HWND menuOwnerWindow = nullptr;

class TCanvasOnDc {
 public:
  explicit TCanvasOnDc(HDC dc) { canvas_.SetHandle(dc); }
  ~TCanvasOnDc() { canvas_.SetHandle(nullptr); }
  TCanvas& Canvas() { return canvas_; }

 private:
  TCanvas canvas_;
};

}  // namespace

VELMORA_PUBLISH(TMenuItem) {
  p.String("Caption", &TMenuItem::Caption, &TMenuItem::SetCaption)
      .Boolean("Visible", &TMenuItem::Visible, &TMenuItem::SetVisible)
      .Default(1)
      .Boolean("Enabled", &TMenuItem::Enabled, &TMenuItem::SetEnabled)
      .Default(1)
      .Boolean("Checked", &TMenuItem::Checked, &TMenuItem::SetChecked)
      .Default(0)
      .Boolean("Default", &TMenuItem::Default, &TMenuItem::SetDefault)
      .Default(0)
      .String("ShortCut", &TMenuItem::ShortCutText, &TMenuItem::SetShortCutText)
      .Integer("ImageIndex", &TMenuItem::ImageIndex)
      .Default(-1)
      .Integer("Command", &TMenuItem::Command)
      .Event("OnClick", &TMenuItem::OnClick)
      .Event("OnDrawItem", &TMenuItem::OnDrawItem)
      .Event("OnMeasureItem", &TMenuItem::OnMeasureItem);
}

TMenuItem::TMenuItem(TComponent* owner) : TComponent(owner), command_(NextCommand()) {
  ItemsByCommand()[command_] = this;
  LiveItems().insert(this);
}

TMenuItem::~TMenuItem() {
  ItemsByCommand().erase(command_);
  LiveItems().erase(this);
  for (TMenuItem* item : items_) item->parentItem_ = nullptr;
  items_.clear();
  if (parentItem_) parentItem_->Remove(this);
  DestroyHandle();
}

TMenuItem* TMenuItem::FindByCommand(UINT command) {
  auto it = ItemsByCommand().find(command);
  return it != ItemsByCommand().end() ? it->second : nullptr;
}

TMenuItem* TMenuItem::FindLive(ULONG_PTR pointerValue) {
  auto* item = reinterpret_cast<const TMenuItem*>(pointerValue);
  return LiveItems().count(item) ? const_cast<TMenuItem*>(item) : nullptr;
}

void TMenuItem::Insert(int index, TMenuItem* item) {
  if (!item || item == this) throw EInvalidOperation("Invalid menu item");
  for (TMenuItem* p = this; p; p = p->parentItem_)
    if (p == item) throw EInvalidOperation("A menu item cannot hold itself");
  if (item->parentItem_) item->parentItem_->Remove(item);
  index = std::clamp(index, 0, Count());
  items_.insert(items_.begin() + index, item);
  item->parentItem_ = this;
  Changed();
}

void TMenuItem::Remove(TMenuItem* item) {
  auto it = std::find(items_.begin(), items_.end(), item);
  if (it == items_.end()) return;
  items_.erase(it);
  item->parentItem_ = nullptr;
  Changed();
}

TMenu* TMenuItem::Menu() const {
  const TMenuItem* top = this;
  while (top->parentItem_) top = top->parentItem_;
  return top->menu_;
}

TComponent* TMenuItem::GetParentComponent() const {
  if (parentItem_ && parentItem_->menu_) return parentItem_->menu_;
  return parentItem_;
}

void TMenuItem::SetParentComponent(TComponent* parent) {
  if (!parent) return;
  if (parent->Is<TMenu>())
    static_cast<TMenu*>(parent)->Items()->Add(this);
  else if (parent->Is<TMenuItem>())
    static_cast<TMenuItem*>(parent)->Add(this);
  else
    throw EInvalidOperation("A menu item cannot be placed in a " + parent->ClassName());
}

void TMenuItem::Changed() {
  if (TMenu* menu = Menu()) menu->Changed();
}

void TMenuItem::DestroyHandle() {
  if (handle_) DestroyMenu(handle_);
  handle_ = nullptr;
}

HMENU TMenuItem::Handle() {
  if (items_.empty()) return nullptr;
  if (!handle_) {
    handle_ = CreatePopupMenu();
    TMenu* menu = Menu();
    for (TMenuItem* item : items_) item->AppendTo(handle_, menu && menu->OwnerDraw());
  }
  return handle_;
}

void TMenuItem::AppendTo(HMENU menu, bool ownerDraw) {
  if (!visible_) return;
  MENUITEMINFOA info{};
  info.cbSize = sizeof info;
  info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_DATA | MIIM_STRING | MIIM_SUBMENU;
  std::string text = caption_;
  if (!shortCutText_.empty()) text += "\t" + shortCutText_;
  info.fType = IsLine() ? MFT_SEPARATOR : (ownerDraw ? MFT_OWNERDRAW : MFT_STRING);
  info.fState = (enabled_ ? MFS_ENABLED : MFS_GRAYED) | (checked_ ? MFS_CHECKED : 0) | (default_ ? MFS_DEFAULT : 0);
  info.wID = command_;
  info.dwItemData = reinterpret_cast<ULONG_PTR>(this);
  info.dwTypeData = text.data();
  info.cch = static_cast<UINT>(text.size());
  DestroyHandle();  // the old sub-menu went with the old parent menu
  info.hSubMenu = Handle();
  InsertMenuItemA(menu, GetMenuItemCount(menu), TRUE, &info);
}

void TMenuItem::Click() { OnClick(this); }

void TMenuItem::DrawItem(HDC dc, RECT rect, bool selected) {
  TCanvasOnDc bound(dc);
  TCanvas& canvas = bound.Canvas();
  if (OnDrawItem) {
    OnDrawItem(this, &canvas, rect, selected);
    return;
  }
  canvas.Brush().SetColor(selected ? clHighlight : clMenu);
  canvas.FillRect(rect);
  canvas.Font().SetColor(!enabled_ ? clGrayText : selected ? clHighlightText : clMenuText);
  canvas.Brush().SetStyle(TBrushStyle::bsClear);
  RECT textRect{rect.left + 18, rect.top, rect.right - 4, rect.bottom};
  canvas.DrawText(textRect, caption_, DT_SINGLELINE | DT_VCENTER);
}

void TMenuItem::MeasureItem(HDC dc, int& width, int& height) {
  TCanvasOnDc bound(dc);
  SIZE extent = bound.Canvas().TextExtent(caption_ + "    " + shortCutText_);
  width = extent.cx + 24;
  height = IsLine() ? 8 : std::max<int>(extent.cy + 6, GetSystemMetrics(SM_CYMENU));
  if (OnMeasureItem) OnMeasureItem(this, &bound.Canvas(), width, height);
}

// ---------------------------------------------------------------------------


VELMORA_PUBLISH(TMenu) {
  p.Boolean("OwnerDraw", &TMenu::OwnerDraw, &TMenu::SetOwnerDraw).Default(0);
}

TMenu::TMenu(TComponent* owner) : TComponent(owner), items_(std::make_unique<TMenuItem>()) {
  items_->menu_ = this;
}

TMenu::~TMenu() {
  SetState(TComponentStateItem::csDestroying, true);
  items_->menu_ = nullptr;
  DestroyHandle();
}

void TMenu::DestroyHandle() {
  if (handle_) DestroyMenu(handle_);  // also destroys every sub-menu in it
  handle_ = nullptr;
  std::vector<TMenuItem*> stack(items_->items_.begin(), items_->items_.end());
  while (!stack.empty()) {
    TMenuItem* item = stack.back();
    stack.pop_back();
    item->handle_ = nullptr;
    stack.insert(stack.end(), item->items_.begin(), item->items_.end());
  }
}

HMENU TMenu::Handle() {
  if (!handle_) {
    handle_ = MakeMenu();
    for (TMenuItem* item : items_->items_) item->AppendTo(handle_, ownerDraw_);
  }
  return handle_;
}

void TMenu::SetOwnerDraw(bool on) {
  if (on == ownerDraw_) return;
  ownerDraw_ = on;
  Changed();
}

void TMenu::Changed() {
  if (!handle_ || Destroying()) return;
  DestroyHandle();
  Handle();
}

void TMainMenu::Changed() {
  const bool hadHandle = handle_ != nullptr;
  TMenu::Changed();
  if (hadHandle && WindowHandle && IsWindow(WindowHandle)) {
    SetMenu(WindowHandle, Handle());
    DrawMenuBar(WindowHandle);
    if (TWinControl* control = TWinControl::FindControl(WindowHandle)) control->Perform(CM_MENUCHANGED);
  }
}

VELMORA_PUBLISH(TPopupMenu) { p.Event("OnPopup", &TPopupMenu::OnPopup); }

void TPopupMenu::Popup(int x, int y, HWND owner) {
  OnPopup(this);
  if (!owner) owner = menuOwnerWindow;
  if (!owner) throw EInvalidOperation("A popup menu needs a window to report to");
  // The owner must be in front, else the menu does not close when clicked away.
  SetForegroundWindow(owner);
  TrackPopupMenuEx(Handle(), TPM_LEFTALIGN | TPM_RIGHTBUTTON, x, y, owner, nullptr);
  PostMessageA(owner, WM_NULL, 0, 0);
}

void SetMenuOwnerWindow(HWND window) { menuOwnerWindow = window; }

bool DispatchMenuMessage(TMessage& message) {
  switch (message.Msg) {
    case WM_COMMAND:
      if (message.LParam == 0 && HIWORD(message.WParam) == 0) {
        if (TMenuItem* item = TMenuItem::FindByCommand(LOWORD(message.WParam))) {
          item->Click();
          message.Result = 0;
          return true;
        }
      }
      return false;
    case WM_DRAWITEM: {
      const auto* draw = reinterpret_cast<const DRAWITEMSTRUCT*>(message.LParam);
      if (!draw || draw->CtlType != ODT_MENU) return false;
      TMenuItem* item = TMenuItem::FindLive(draw->itemData);
      if (!item) return false;
      item->DrawItem(draw->hDC, draw->rcItem, (draw->itemState & ODS_SELECTED) != 0);
      message.Result = TRUE;
      return true;
    }
    case WM_MEASUREITEM: {
      auto* measure = reinterpret_cast<MEASUREITEMSTRUCT*>(message.LParam);
      if (!measure || measure->CtlType != ODT_MENU) return false;
      TMenuItem* item = TMenuItem::FindLive(measure->itemData);
      if (!item) return false;
      HDC dc = GetDC(nullptr);
      int width = 0, height = 0;
      try {
        item->MeasureItem(dc, width, height);
      } catch (...) {
        ReleaseDC(nullptr, dc);
        throw;
      }
      ReleaseDC(nullptr, dc);
      measure->itemWidth = static_cast<UINT>(std::max(width, 0));
      measure->itemHeight = static_cast<UINT>(std::max(height, 0));
      message.Result = TRUE;
      return true;
    }
    default:
      return false;
  }
}

void RegisterMenusClasses() {
  RegisterControlClass(TMenuItem::StaticClass());
  RegisterControlClass(TMainMenu::StaticClass());
  RegisterControlClass(TPopupMenu::StaticClass());
}
