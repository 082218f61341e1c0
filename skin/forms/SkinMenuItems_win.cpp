// Owner-drawn menu items and the tool bar's custom drawing (see WinSkinMenu_win.h).
#include <algorithm>
#include <map>
#include <iterator>
#include <utility>

#include "classlib/ImgList_win.h"
#include "skin/container/BitmapOps_win.h"
#include "skin/container/SkinDraw_win.h"
#include "skin/data/WinSkinData_win.h"
#include "skin/forms/MenuBarRules.h"
#include "skin/forms/SkinManage.h"
#include "skin/forms/WinSkinMenu_win.h"

namespace skin {
namespace {

constexpr int kSlotHilightEdge = 5, kSlotShadow = 7, kSlotHilightText = 11, kSlotHilight = 12,
              kSlotMenuText = 15, kSlotMenu = 16;

// Items the skinner made owner-drawn, by menu, with their texts (an owner-drawn
// item's text is not given back by every system). Menus that were destroyed are
// forgotten, so a new menu that gets a freed one's handle keeps its own drawing.
std::map<HMENU, std::map<UINT, std::wstring>> markedItems;

void ForgetDestroyedMenus() {
  for (auto it = markedItems.begin(); it != markedItems.end();)
    it = IsMenu(it->first) ? std::next(it) : markedItems.erase(it);
}

bool IsMarked(HMENU menu) { return markedItems.count(menu) != 0; }

template <class Event, class Object>
bool IsOurs(const Event& e, const Object* handler) {
  return e && e.Data() == handler;
}

const TDataSkinObject* MenuItemElement(const TSkinData* data) {
  if (!data) return nullptr;
  const auto& e = data->Skin().MenuItem;
  return e && !e->Bitmap.Empty() ? e.get() : nullptr;
}

TMenuItemLook LookOf(TMenuItem& item) {
  TMenuItemLook look;
  look.Caption = AnsiToWide(item.Caption());
  look.ShortCut = AnsiToWide(item.ShortCutText());
  look.Enabled = item.Enabled();
  look.Checked = item.Checked();
  look.Default = item.Default();
  look.ImageIndex = item.ImageIndex;
  TMenu* menu = item.Menu();
  look.Images = menu ? dynamic_cast<TCustomImageList*>(menu->Images) : nullptr;
  // The menu the item sits in: its parent item's popup, or the menu's own handle.
  if (TMenuItem* parent = item.ParentItem())
    look.ParentMenu = parent->ParentItem() || !menu ? parent->Handle() : menu->Handle();
  return look;
}

// An item known only by its menu: text and state from the menu handle.
TMenuItemLook LookOfHandle(HMENU menu, UINT id) {
  TMenuItemLook look;
  look.ParentMenu = menu;
  wchar_t text[81] = {};
  GetMenuStringW(menu, id, text, 80, MF_BYCOMMAND);
  look.Caption = text;
  if (look.Caption.empty())
    if (auto m = markedItems.find(menu); m != markedItems.end())
      if (auto it = m->second.find(id); it != m->second.end()) look.Caption = it->second;
  MENUITEMINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = MIIM_STATE | MIIM_FTYPE;
  if (GetMenuItemInfoW(menu, id, FALSE, &info)) {
    look.Enabled = (info.fState & 3) == 0;
    look.Checked = (info.fState & MFS_CHECKED) != 0;
    look.Default = (info.fState & MFS_DEFAULT) != 0;
    if (info.fType & MFT_SEPARATOR) look.Caption.clear();
  }
  const size_t tab = look.Caption.find(L'\t');
  if (tab != std::wstring::npos) {
    look.ShortCut = look.Caption.substr(tab + 1);
    look.Caption.resize(tab);
  }
  if (look.Caption.empty()) look.Caption = L"-";
  return look;
}

HBRUSH DitherBrush(COLORREF a, COLORREF b, HDC dc) {
  static const WORD bits[8] = {0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA};
  HBITMAP pattern = CreateBitmap(8, 8, 1, 1, bits);
  HBRUSH brush = CreatePatternBrush(pattern);
  DeleteObject(pattern);
  SetTextColor(dc, a);
  SetBkColor(dc, b);
  return brush;
}

void DrawSeparator(HDC dc, const RECT& rect, int left) {
  RECT line{rect.left + left, rect.top + 4, rect.right - 2, rect.top + 6};
  DrawEdge(dc, &line, EDGE_ETCHED, BF_TOP);
}

void DrawContents(TWinSkinForm& form, HDC dc, const RECT& rect, bool selected, const TMenuItemLook& look) {
  const TDataSkinObject* element = MenuItemElement(form.SkinData);
  const int left = rect.left + 2 + (element ? std::max(element->LeftWidth, 0) : 0);
  const int column = std::max(look.Images ? look.Images->Width() : 0, 16);
  if (look.Caption == L"-") {
    DrawSeparator(dc, rect, left - rect.left);
    return;
  }
  const RECT glyph{left, rect.top, left + column, rect.bottom};
  const bool hasImage = look.Images && look.ImageIndex >= 0 && look.ImageIndex < look.Images->Count();
  if (look.Checked && hasImage) {
    RECT box = glyph;
    InflateRect(&box, 0, -1);
    const COLORREF text = GetTextColor(dc), back = GetBkColor(dc);
    HBRUSH dither = DitherBrush(GetSysColor(COLOR_BTNFACE), GetSysColor(COLOR_BTNHIGHLIGHT), dc);
    FillRect(dc, &box, dither);
    DeleteObject(dither);
    SetTextColor(dc, text);
    SetBkColor(dc, back);
    DrawEdge(dc, &box, BDR_SUNKENOUTER, BF_RECT);
  } else if (look.Checked) {
    // The system's check mark, black on white: ANDed in, so only the mark shows.
    const int size = GetSystemMetrics(SM_CXMENUCHECK);
    HDC mono = CreateCompatibleDC(dc);
    HBITMAP mark = CreateBitmap(size, size, 1, 1, nullptr);
    HGDIOBJ old = SelectObject(mono, mark);
    RECT all{0, 0, size, size};
    DrawFrameControl(mono, &all, DFC_MENU, DFCS_MENUCHECK);
    SetTextColor(dc, RGB(0, 0, 0));
    SetBkColor(dc, RGB(255, 255, 255));
    BitBlt(dc, glyph.left + (column - size) / 2, rect.top + (rect.bottom - rect.top - size) / 2, size, size, mono, 0, 0,
           SRCAND);
    SelectObject(mono, old);
    DeleteObject(mark);
    DeleteDC(mono);
  }
  if (hasImage) {
    TCanvas canvas;
    canvas.SetHandle(dc);
    look.Images->Draw(canvas, glyph.left + (column - look.Images->Width()) / 2,
                      rect.top + (rect.bottom - rect.top - look.Images->Height()) / 2, look.ImageIndex, look.Enabled);
    canvas.SetHandle(nullptr);
  }
  COLORREF colour = SkinColour(form.SkinData, selected ? kSlotHilightText : kSlotMenuText);
  if (!look.Enabled) {
    colour = SkinColour(form.SkinData, kSlotShadow);
    if (colour == SkinColour(form.SkinData, kSlotMenuText)) colour = GetSysColor(COLOR_BTNSHADOW);
  }
  SetTextColor(dc, colour);
  SetBkMode(dc, TRANSPARENT);
  HGDIOBJ oldFont = SelectObject(dc, MenuFont(look.Default));
  RECT text{glyph.right + 6, rect.top, rect.right - 8, rect.bottom};
  SkinDrawText(dc, look.Caption, text, DT_SINGLELINE | DT_VCENTER | DT_EXPANDTABS | DT_LEFT);
  if (!look.ShortCut.empty()) SkinDrawText(dc, look.ShortCut, text, DT_SINGLELINE | DT_VCENTER | DT_RIGHT);
  SelectObject(dc, oldFont);
}

// The popup window behind a menu DC: its frame image is in window coordinates.
POINT ClientOffsetOf(HDC dc) {
  HWND popup = WindowFromDC(dc);
  RECT window{};
  POINT origin{0, 0};
  if (!popup || !GetWindowRect(popup, &window) || !ClientToScreen(popup, &origin)) return {0, 0};
  return {origin.x - window.left, origin.y - window.top};
}

void SetItemHandlers(TMenuItem* item, TSkinMenuItems& painter, bool on, bool popup, int level) {
  if (!item) return;
  if (level >= 1) {
    if (on) {
      if (popup) {
        item->OnDrawItem = TMenuDrawItemEvent::Of<&TSkinMenuItems::DrawMenuItem>(&painter);
        if (!item->OnMeasureItem)
          item->OnMeasureItem = TMenuMeasureItemEvent::Of<&TSkinMenuItems::MeasurePopupItem>(&painter);
      } else if (level >= 2 && !item->OnDrawItem) {
        item->OnDrawItem = TMenuDrawItemEvent::Of<&TSkinMenuItems::DrawMenuItem>(&painter);
        item->OnMeasureItem = TMenuMeasureItemEvent::Of<&TSkinMenuItems::MeasureMenuItem>(&painter);
      }
    } else {
      if (IsOurs(item->OnDrawItem, &painter)) item->OnDrawItem.Clear();
      if (IsOurs(item->OnMeasureItem, &painter)) item->OnMeasureItem.Clear();
    }
  }
  for (int i = 0; i < item->Count(); ++i) SetItemHandlers(item->Items(i), painter, on, popup, level + 1);
}

void WalkMenus(TWinSkinForm& form, TComponent* owner, bool on, int depth, bool popupsOnly = false) {
  if (!owner || depth > 8 || !form.SkinData) return;
  TSkinData& data = *form.SkinData;
  TSkinMenuItems& painter = MenuItemsOf(form);
  for (int i = 0; i < owner->ComponentCount(); ++i) {
    TComponent* c = owner->Components(i);
    if (auto* popup = dynamic_cast<TPopupMenu*>(c)) {
      if (!data.SkinControls.Contains(TSkinControlType::xcPopupMenu) || popup->Tag() == data.DisableTag) continue;
      popup->SetOwnerDraw(on);
      SetItemHandlers(popup->Items(), painter, on, true, 0);
    } else if (auto* main = dynamic_cast<TMainMenu*>(c)) {
      if (popupsOnly || !data.SkinControls.Contains(TSkinControlType::xcMenuItem)) continue;
      main->SetOwnerDraw(on);
      SetItemHandlers(main->Items(), painter, on, false, 0);
    } else if (auto* inner = dynamic_cast<TCustomForm*>(c)) {
      WalkMenus(form, inner, on, depth + 1, popupsOnly);
    } else if (c && c->IsNamed("TFrame")) {
      WalkMenus(form, c, on, depth + 1, popupsOnly);
    }
  }
}

}  // namespace

HFONT MenuFont(bool bold) {
  static HFONT normal = nullptr, heavy = nullptr;
  if (!normal) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    LOGFONTW font{};
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) font = metrics.lfMenuFont;
    else GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof font, &font);
    normal = CreateFontIndirectW(&font);
    font.lfWeight = FW_BOLD;
    heavy = CreateFontIndirectW(&font);
  }
  return bold ? heavy : normal;
}

namespace {
void MarkOwnerDrawn(HMENU menu, int depth) {
  if (!menu || !IsMenu(menu) || depth > 16) return;
  auto& marked = markedItems[menu];
  const int count = GetMenuItemCount(menu);
  for (int i = 0; i < count; ++i) {
    wchar_t text[81] = {};
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
    info.dwTypeData = text;
    info.cch = 80;
    if (!GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info)) continue;
    if (info.hSubMenu) MarkOwnerDrawn(info.hSubMenu, depth + 1);
    if (info.fType & MFT_OWNERDRAW) continue;  // drawn by the program or already ours
    marked[info.wID] = text;
    MENUITEMINFOW set{};
    set.cbSize = sizeof set;
    set.fMask = MIIM_FTYPE;
    set.fType = info.fType | MFT_OWNERDRAW;
    SetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &set);
  }
}

void UnmarkOwnerDrawn(HMENU menu, int depth) {
  if (!menu || !IsMenu(menu) || depth > 16) return;
  const auto marked = markedItems.find(menu);
  const int count = GetMenuItemCount(menu);
  for (int i = 0; i < count; ++i) {
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_SUBMENU;
    if (!GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info)) continue;
    if (info.hSubMenu) UnmarkOwnerDrawn(info.hSubMenu, depth + 1);
    if (marked == markedItems.end() || !(info.fType & MFT_OWNERDRAW)) continue;
    const auto item = marked->second.find(info.wID);
    if (item == marked->second.end()) continue;
    std::wstring text = item->second;
    MENUITEMINFOW set{};
    set.cbSize = sizeof set;
    set.fMask = MIIM_FTYPE | (info.fType & MFT_SEPARATOR ? 0 : MIIM_STRING);
    set.fType = info.fType & ~static_cast<UINT>(MFT_OWNERDRAW);
    set.dwTypeData = text.data();
    set.cch = static_cast<UINT>(text.size());
    SetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &set);
  }
  if (marked != markedItems.end()) markedItems.erase(marked);
}
}  // namespace

void MakePopupOwnerDrawn(HMENU menu) {
  ForgetDestroyedMenus();
  MarkOwnerDrawn(menu, 0);
}

void UndoPopupOwnerDrawn(HMENU menu) {
  UnmarkOwnerDrawn(menu, 0);
  ForgetDestroyedMenus();
}

bool IsPopupMarked(HMENU menu) { return IsMarked(menu); }

TSkinMenuItems& MenuItemsOf(TWinSkinForm& form) {
  for (int i = 0; i < form.ComponentCount(); ++i)
    if (auto* p = dynamic_cast<TSkinMenuItems*>(form.Components(i))) return *p;
  auto* p = new TSkinMenuItems(&form);
  p->SkinForm = &form;
  return *p;
}

void DrawMenuItemLook(TWinSkinForm& form, HDC dc, const RECT& rect, bool selected, const TMenuItemLook& look) {
  TSkinManage* manager = SkinManager();
  if (manager) {
    manager->FlagAllPopups();
    if (look.ParentMenu) manager->AssignMenuToNewestPopup(look.ParentMenu);
  }
  const int w = rect.right - rect.left, h = rect.bottom - rect.top;
  if (w <= 0 || h <= 0) return;
  const TDataSkinObject* element = MenuItemElement(form.SkinData);
  if (!element) {
    FillSolid(dc, rect, SkinColour(form.SkinData, selected ? kSlotHilight : kSlotMenu));
    DrawContents(form, dc, rect, selected, look);
    return;
  }
  TSkinDib bitmap(w, h);
  if (!bitmap.Handle()) return;
  TSelectedDC memory(bitmap.Handle(), dc);
  HDC m = memory.Handle();
  const RECT local{0, 0, w, h};
  HBITMAP frame = manager && look.ParentMenu ? manager->PopupFrameImage(look.ParentMenu) : nullptr;
  if (frame) {
    const POINT offset = ClientOffsetOf(dc);
    TSelectedDC source(frame, dc);
    BitBlt(m, 0, 0, w, h, source.Handle(), rect.left + offset.x, rect.top + offset.y, SRCCOPY);
  } else {
    FillSolid(m, local, SkinColour(form.SkinData, kSlotMenu));
  }
  if (look.Caption != L"-")
    DrawSlicedFrame(m, local, element->Bitmap, false, element->Tile == 1, element->Trans != 0, 5, selected ? 4 : 1,
                    element->Margins());
  DrawContents(form, m, local, selected, look);
  BitBlt(dc, rect.left, rect.top, w, h, m, 0, 0, SRCCOPY);
}

void TSkinMenuItems::DrawMenuItem(TObject* sender, TCanvas* canvas, RECT rect, bool selected) {
  auto* item = dynamic_cast<TMenuItem*>(sender);
  if (!item || !canvas || !SkinForm) return;
  DrawMenuItemLook(*SkinForm, canvas->Handle(), rect, selected, LookOf(*item));
}

void TSkinMenuItems::MeasureMenuItem(TObject* sender, TCanvas* canvas, int& width, int& height) {
  auto* item = dynamic_cast<TMenuItem*>(sender);
  if (!item || !canvas || !SkinForm) return;
  // The item's own measure, without these handlers.
  const TMenuMeasureItemEvent measure = item->OnMeasureItem;
  item->OnMeasureItem.Clear();
  item->MeasureItem(canvas->Handle(), width, height);
  item->OnMeasureItem = measure;
  const TDataSkinObject* element = MenuItemElement(SkinForm->SkinData);
  TMenu* menu = item->Menu();
  width = MeasuredItemWidth(width, element != nullptr, element ? element->LeftWidth : 0, menu && menu->Images, false);
}

void TSkinMenuItems::MeasurePopupItem(TObject* sender, TCanvas* canvas, int& width, int& height) {
  auto* item = dynamic_cast<TMenuItem*>(sender);
  if (!item || !SkinForm) return;
  const TDataSkinObject* element = MenuItemElement(SkinForm->SkinData);
  TMenu* menu = item->Menu();
  width = MeasuredItemWidth(width, element != nullptr, element ? element->LeftWidth : 0, menu && menu->Images, true);
}

// --- The skinner's WM_DRAWITEM and WM_MEASUREITEM -------------------------------------------

void TSkinMenuSeam::DrawItem(TWinSkinForm& form, TMessage& message) {
  auto* d = reinterpret_cast<DRAWITEMSTRUCT*>(message.LParam);
  if (!d || d->CtlType != ODT_MENU) {
    form.CallOld(message);
    return;
  }
  const bool selected = (d->itemState & ODS_SELECTED) != 0;
  HMENU menu = reinterpret_cast<HMENU>(d->hwndItem);
  TMenuItem* live = TMenuItem::FindLive(d->itemData);
  // Items with a painter of their own (the program's, or ours on the system menu).
  if (live && live->OnDrawItem) {
    live->DrawItem(d->hDC, d->rcItem, selected);
    message.Result = TRUE;
    return;
  }
  const TSystemVersion v = TWinSkinForm::Version();
  if (!form.InitialMenu || (form.FormKind == kFormMdiFrame && v.Nt && v.Major == 4)) {
    form.CallOld(message);
    return;
  }
  TMenuItem* item = live;
  if (!item && form.Form && form.Form->Menu())
    if (TMenuItem* byCommand = TMenuItem::FindByCommand(d->itemID); byCommand && byCommand->Menu() == form.Form->Menu())
      item = byCommand;
  switch (MenuItemDrawer(item != nullptr, d->itemID, IsMarked(menu))) {
    case TItemDrawer::ClassLibrary: {
      TMenuItemLook look = LookOf(*item);
      if (!look.ParentMenu) look.ParentMenu = menu;
      DrawMenuItemLook(form, d->hDC, d->rcItem, selected, look);
      break;
    }
    case TItemDrawer::Temporary: DrawMenuItemLook(form, d->hDC, d->rcItem, selected, LookOfHandle(menu, d->itemID)); break;
    case TItemDrawer::OldProcedure: form.CallOld(message); return;
  }
  message.Result = TRUE;
}

void TSkinMenuSeam::MeasureItem(TWinSkinForm& form, TMessage& message) {
  auto* m = reinterpret_cast<MEASUREITEMSTRUCT*>(message.LParam);
  if (!m || m->CtlType != ODT_MENU) {
    form.CallOld(message);
    return;
  }
  TMenuItem* live = TMenuItem::FindLive(m->itemData);
  HDC dc = GetDC(nullptr);
  HGDIOBJ oldFont = SelectObject(dc, MenuFont(false));
  int width = 0, height = 0;
  bool measured = false;
  if (live) {
    live->MeasureItem(dc, width, height);  // with its own handlers (the program's or ours)
    if (!live->OnMeasureItem && !live->OnDrawItem) {
      // A bar popup's item: made owner-drawn by the bar, measured as the bar's items are.
      const TDataSkinObject* element = MenuItemElement(form.SkinData);
      TMenu* menu = live->Menu();
      width = MeasuredItemWidth(width, element != nullptr, element ? element->LeftWidth : 0, menu && menu->Images, false);
    }
    measured = true;
  } else if (form.InitialMenu) {
    const bool marked = form.OpenPopupMenu && IsMarked(form.OpenPopupMenu);
    if (!form.Form || marked || m->itemID >= 4096 || m->itemID == 0) {
      const TMenuItemLook look = LookOfHandle(form.OpenPopupMenu, m->itemID);
      SIZE text{};
      GetTextExtentPoint32W(dc, look.Caption.c_str(), static_cast<int>(look.Caption.size()), &text);
      const TDataSkinObject* element = MenuItemElement(form.SkinData);
      const TItemSize size = MeasureTextItem(text.cx, text.cy, look.Caption == L"-", element != nullptr,
                                             element ? element->LeftWidth : 0, IsNtFamily());
      width = size.Width;
      height = size.Height;
      measured = true;
    }
  }
  SelectObject(dc, oldFont);
  ReleaseDC(nullptr, dc);
  if (!measured) {
    form.CallOld(message);
    return;
  }
  m->itemWidth = static_cast<UINT>(std::max(width, 0));
  m->itemHeight = static_cast<UINT>(std::max(height, 0));
  message.Result = TRUE;
}

void TSkinMenuSeam::OwnerDrawMenus(TWinSkinForm& form, bool on) {
  if (!form.Form || form.Form->IsNamed("TwwRichEditForm")) return;
  WalkMenus(form, form.Form, on, 0);
}

void OwnerDrawPopupMenus(TWinSkinForm& form) {
  if (!form.Form || form.Form->IsNamed("TwwRichEditForm")) return;
  WalkMenus(form, form.Form, true, 0, true);
}

void TSkinMenuSeam::PrepareSystemMenu(TWinSkinForm& form, TComponent& popup) {
  auto* menu = dynamic_cast<TPopupMenu*>(&popup);
  if (!menu || !form.SkinData || !form.SkinData->SkinControls.Contains(TSkinControlType::xcSystemMenu)) return;
  menu->SetOwnerDraw(true);
  SetItemHandlers(menu->Items(), MenuItemsOf(form), true, true, 0);
}

// --- Tool bars -----------------------------------------------------------------------------

TSkinToolBarDraw& ToolBarDrawOf(TWinSkinForm& form) {
  for (int i = 0; i < form.ComponentCount(); ++i)
    if (auto* p = dynamic_cast<TSkinToolBarDraw*>(form.Components(i))) return *p;
  auto* p = new TSkinToolBarDraw(&form);
  p->SkinForm = &form;
  return *p;
}

// A hot or pressed tool button's image and caption over its skinned frame.
static void DrawToolButtonContents(TToolBar* bar, TToolButton* button, RECT r, COLORREF text, bool pressed) {
  HDC dc = bar->Canvas().Handle();
  if (pressed) OffsetRect(&r, 1, 1);
  TCustomImageList* images = bar->Images();
  const bool image = images && button->ImageIndex() >= 0 && button->ImageIndex() < images->Count();
  const std::wstring caption = bar->ShowCaptions() ? AnsiToWide(button->Caption()) : std::wstring();
  HGDIOBJ oldFont = SelectObject(dc, bar->Font()->Handle());
  RECT measured{0, 0, 0, 0};
  if (!caption.empty()) SkinDrawText(dc, caption, measured, DT_CALCRECT | DT_SINGLELINE);
  // Captions beside the image (the bar's list style), or the image alone, centred.
  const int imageWidth = image ? images->Width() : 0, gap = image && !caption.empty() ? 4 : 0;
  const int width = imageWidth + gap + (measured.right - measured.left);
  int x = (r.left + r.right - width) / 2;
  if (image) {
    images->Draw(bar->Canvas(), x, (r.top + r.bottom - images->Height()) / 2, button->ImageIndex(), button->Enabled());
    x += imageWidth + gap;
  }
  if (!caption.empty()) {
    RECT t{x, r.top, r.right, r.bottom};
    SetTextColor(dc, text);
    SetBkMode(dc, TRANSPARENT);
    SkinDrawText(dc, caption, t, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOCLIP);
  }
  SelectObject(dc, oldFont);
}

void TSkinToolBarDraw::DrawBackground(TToolBar* bar, const RECT& rect, bool& defaultDraw) {
  if (!bar || !SkinForm || !SkinForm->SkinData) return;
  TSkinData& data = *SkinForm->SkinData;
  const auto& image = data.Skin().Toolbar;
  if (data.Options.Contains(TSkinOption::xoToolbarBK) || !image || image->Bitmap.Empty()) return;
  HDC dc = bar->Canvas().Handle();
  RECT all{};
  GetClientRect(bar->Handle(), &all);
  TSkinDib source(image->Bitmap);
  TSelectedDC from(source.Handle(), dc);
  const int old = SetStretchBltMode(dc, COLORONCOLOR);
  StretchBlt(dc, 0, 0, all.right, all.bottom, from.Handle(), 0, 0, source.Width(), source.Height(), SRCCOPY);
  SetStretchBltMode(dc, old);
  (void)rect;
  (void)defaultDraw;
}

void TSkinToolBarDraw::DrawButton(TToolBar* bar, TToolButton* button, TCustomDrawState state, bool& defaultDraw) {
  if (!bar || !button || !SkinForm || !SkinForm->SkinData || SkinForm->State != kFormActive) return;
  TSkinData& data = *SkinForm->SkinData;
  if (data.Options.Contains(TSkinOption::xoToolbarButton)) return;
  using S = TCustomDrawStateItem;
  const int frame = ToolButtonFrame(state.Contains(S::cdsSelected), state.Contains(S::cdsFocused) || state.Contains(S::cdsHot),
                                    state.Contains(S::cdsGrayed) || state.Contains(S::cdsDisabled),
                                    state.Contains(S::cdsDefault));
  TDataSkinButton& element = *data.Buttons();
  if (frame == 0 || element.Bitmap.Empty()) return;
  HDC dc = bar->Canvas().Handle();
  const TSkinColor colour = frame == 1 ? element.NormalColour2 : frame == 4 ? element.MouseOverColour2 : element.PressedColour2;
  const bool given = frame == 1 ? element.HasNormalColour2 : frame == 4 ? element.HasMouseOverColour2 : element.HasPressedColour2;
  const COLORREF text = given ? ResolveColor(colour, WinSysColor) : ColorToRGB(bar->Font()->Color());
  RECT r = button->BoundsRect();
  InflateRect(&r, -1, -1);
  DrawSlicedFrame(dc, r, element.Bitmap, false, false, element.Trans != 0, 5, frame, element.Margins());
  // The window's own face of a hot or pressed button (a themed one fills it) would
  // cover the frame: the image and caption are drawn here instead.
  DrawToolButtonContents(bar, button, button->BoundsRect(), text, frame == 2);
  defaultDraw = false;
}


void AttachToolBarHandlers(TWinSkinForm& form, TToolBar* bar) {
  if (!bar) return;
  TSkinToolBarDraw& draw = ToolBarDrawOf(form);
  if (!bar->OnCustomDrawButton)
    bar->OnCustomDrawButton = TToolBarCustomDrawButtonEvent::Of<&TSkinToolBarDraw::DrawButton>(&draw);
  if (!bar->OnCustomDraw) bar->OnCustomDraw = TToolBarCustomDrawEvent::Of<&TSkinToolBarDraw::DrawBackground>(&draw);
  if (auto* menu = dynamic_cast<TMenu*>(bar->Menu)) SetItemHandlers(menu->Items(), MenuItemsOf(form), true, true, 0);
  else if (auto* item = dynamic_cast<TMenuItem*>(bar->Menu)) SetItemHandlers(item, MenuItemsOf(form), true, true, 1);
  if (bar->HandleAllocated()) bar->Invalidate();
}

void AttachToolButtonMenu(TWinSkinForm& form, TToolButton* button) {
  if (auto* item = button ? dynamic_cast<TMenuItem*>(button->MenuItem) : nullptr)
    SetItemHandlers(item, MenuItemsOf(form), true, true, 1);
}

}  // namespace skin
