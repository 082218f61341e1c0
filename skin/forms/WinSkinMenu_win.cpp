// The skinned menu bar and its menu loop (see WinSkinMenu_win.h).
#include "skin/forms/WinSkinMenu_win.h"

#include <windowsx.h>

#include <algorithm>
#include <climits>

#include "classlib/ControlMessages.h"
#include "skin/container/SkinDraw_win.h"
#include "skin/data/WinSkinData_win.h"
#include "skin/forms/MenuBarRules.h"
#include "skin/forms/SkinManage.h"

namespace skin {

namespace {

constexpr int kSlotHilightEdge = 5, kSlotShadow = 7, kSlotMenubar = 13, kSlotMenuBarText = 14;

// The menu loop: one popup of one bar at a time, on the GUI thread.
struct TMenuLoop {
  HHOOK Hook = nullptr;
  TWinSkinForm* Skinner = nullptr;
  TWinSkinMenu* Bar = nullptr;
  int OpenIndex = -1;
  POINT LastMouse{INT_MIN, INT_MIN};
  bool Switching = false;
  bool FirstKeySent = false;
  HMENU SelectedMenu = nullptr;  // the menu of the selected item
  bool SelectedOpensSubmenu = false;
  bool ItemSelected = false;
  int PendingIndex = -1;  // the button to open once this popup closed
} loop;

TSliceRect ToSlice(const RECT& r) { return {r.left, r.top, r.right, r.bottom}; }

int TextWidth(HDC dc, const std::wstring& text) {
  if (text.empty()) return 0;
  RECT r{0, 0, 0, 0};
  SkinDrawText(dc, text, r, DT_CALCRECT | DT_NOCLIP | DT_SINGLELINE);
  return r.right - r.left;
}

void DrawCaption(HDC dc, const std::wstring& text, RECT r, COLORREF colour) {
  SetTextColor(dc, colour);
  SetBkMode(dc, TRANSPARENT);
  SkinDrawText(dc, text, r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

COLORREF CaptionColour(const TSkinData* data, bool enabled) {
  return SkinColour(data, enabled ? kSlotMenuBarText : kSlotShadow);
}

bool MdiChildMaximized(TWinSkinForm& form) {
  if (form.FormKind != kFormMdiFrame || !form.MDIClient) return false;
  BOOL maximized = FALSE;
  HWND active = reinterpret_cast<HWND>(SendMessageA(form.MDIClient, WM_MDIGETACTIVE, 0, reinterpret_cast<LPARAM>(&maximized)));
  return active && maximized;
}

LRESULT CALLBACK MenuFilterHook(int code, WPARAM wParam, LPARAM lParam);

// Opens `index` of the bar from outside the loop: the window gets 0x3518 at the button.
void PostOpen(TWinSkinMenu& bar, int index) {
  if (index < 0 || index >= static_cast<int>(bar.Buttons.size()) || !bar.SkinForm) return;
  const RECT& r = bar.Buttons[static_cast<size_t>(index)]->Rect;
  RECT window{};
  GetWindowRect(bar.SkinForm->Hwnd, &window);
  PostMessageW(bar.SkinForm->Hwnd, kMsgMenuBarPopup, 0, MAKELPARAM(window.left + r.left + 1, window.top + r.top + 1));
}

std::vector<bool> Openable(const TWinSkinMenu& bar) {
  std::vector<bool> can;
  for (const auto& b : bar.Buttons) can.push_back(b->Visible && !b->Caption.empty());
  return can;
}

// Steps 3 and 6 found another button: this popup closes, the loop opens that one.
bool SwitchTo(int index) {
  if (index < 0 || index == loop.OpenIndex) return false;
  loop.Switching = true;
  loop.PendingIndex = index;
  EndMenu();
  return true;
}

bool FilterMessage(MSG& msg) {
  TWinSkinMenu* bar = loop.Bar;
  if (!bar || !loop.Skinner) return false;
  if (!loop.FirstKeySent) {
    // The first item is selected, as a keyboard-opened menu does.
    loop.FirstKeySent = true;
    PostMessageW(msg.hwnd, WM_KEYDOWN, VK_DOWN, 0);
  }
  switch (msg.message) {
    case WM_KEYDOWN: {
      const uint32_t key = MenuArrowKey(static_cast<uint32_t>(msg.wParam), bar->RightToLeft());
      if (key == kKeyReturn || key == kKeyEscape) loop.Switching = false;
      const int step = ArrowSwitch(key, loop.ItemSelected, loop.SelectedOpensSubmenu,
                                   loop.SelectedMenu == loop.Skinner->OpenPopupMenu);
      if (step != 0) return SwitchTo(NextMenuButton(loop.OpenIndex, step, Openable(*bar)));
      msg.wParam = key;
      return false;
    }
    case WM_SYSKEYDOWN:
      if (msg.wParam == VK_MENU) loop.Skinner->InMenuLoop = 0;
      return false;
    case WM_MOUSEMOVE: {
      if (msg.pt.x == loop.LastMouse.x && msg.pt.y == loop.LastMouse.y) return false;
      loop.LastMouse = msg.pt;
      const POINT frame = TSkinFrame::ToFrame(*loop.Skinner, msg.pt);
      if (TMenuBtn* b = bar->ButtonAt(frame)) return SwitchTo(b->Index);
      return false;
    }
    default: return false;
  }
}

LRESULT CALLBACK MenuFilterHook(int code, WPARAM wParam, LPARAM lParam) {
  bool swallow = false;
  if (code == MSGF_MENU && lParam) {
    try {
      swallow = FilterMessage(*reinterpret_cast<MSG*>(lParam));
    } catch (...) {
      HandleControlException(nullptr);
    }
  }
  const LRESULT next = CallNextHookEx(loop.Hook, code, wParam, lParam);
  return swallow ? 1 : next;
}

}  // namespace

// --- TMenuBtn -------------------------------------------------------------------------------

void TMenuBtn::Paint() {
  if (!Owner || !Bar || !Bar->Background || Bar->Painting || !Visible) return;
  HDC dc = GetWindowDC(Owner->Hwnd);
  if (!dc) return;
  {
    TSelectedDC background(Bar->Background, dc);
    BitBlt(dc, Rect.left, Rect.top, Rect.right - Rect.left, Rect.bottom - Rect.top, background.Handle(),
           Rect.left - Bar->MenuRect.left, Rect.top - Bar->MenuRect.top, SRCCOPY);
  }
  if (State == 2 || State == 3) {
    HBRUSH edge = CreateSolidBrush(SkinColour(SkinData, kSlotHilightEdge));
    FrameRect(dc, &Rect, edge);
    DeleteObject(edge);
  }
  HGDIOBJ oldFont = SelectObject(dc, MenuFont(false));
  DrawCaption(dc, Caption, Rect, CaptionColour(SkinData, ItemEnabled));
  SelectObject(dc, oldFont);
  ReleaseDC(Owner->Hwnd, dc);
}

// --- TWinSkinMenu ---------------------------------------------------------------------------

TWinSkinMenu::TWinSkinMenu(TComponent* owner) : TComponent(owner) {}

TWinSkinMenu::~TWinSkinMenu() {
  *alive_ = false;
  if (loop.Bar == this) {
    loop.Bar = nullptr;
    loop.Skinner = nullptr;
  }
  if (Background) DeleteObject(Background);
}

bool TWinSkinMenu::RightToLeft() const {
  if (!SkinForm) return false;
  if (SkinForm->Form && SkinForm->Form->BiDiMode == TBiDiMode::bdRightToLeft) return true;
  return (GetWindowLongW(SkinForm->Hwnd, GWL_EXSTYLE) & WS_EX_LAYOUTRTL) != 0 || SkinForm->RightToLeft;
}

void TWinSkinMenu::BuildButtons() {
  if (!SkinForm) return;
  HWND window = SkinForm->Hwnd;
  if (HMENU current = GetMenu(window)) MenuHandle = current;
  if (!MenuHandle) return;
  if (SkinForm->Form) {
    Menu = SkinForm->Form->Menu();
    if (!Menu) return;
  }
  Buttons.clear();
  SkinForm->HotObject = nullptr;
  const TSystemVersion v = TWinSkinForm::Version();
  auto add = [&](int) {
    auto b = std::make_unique<TMenuBtn>(SkinForm);
    b->Bar = this;
    b->SkinData = SkinData;
    b->Index = static_cast<int>(Buttons.size());  // also its place in Buttons
    Buttons.push_back(std::move(b));
    return Buttons.back().get();
  };
  if (Menu && ((v.Nt && v.Major < 5) || (v.Major == 4 && v.Minor == 0))) {
    TMenuItem* root = Menu->Items();
    for (int i = 0; i < root->Count(); ++i) {
      TMenuItem* item = root->Items(i);
      TMenuBtn* b = add(i);
      b->Visible = item->Visible();
      b->ItemEnabled = item->Enabled();
      b->Command = item->Command();
      b->Caption = AnsiToWide(item->Caption());
      b->Item = item;
      b->SubMenu = item->Count() ? item->Handle() : nullptr;
    }
  } else {
    const int count = GetMenuItemCount(MenuHandle);
    for (int i = 0; i < count; ++i) {
      wchar_t text[81] = {};
      MENUITEMINFOW info{};
      info.cbSize = sizeof info;
      info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
      info.dwTypeData = text;
      info.cch = 80;
      if (!GetMenuItemInfoW(MenuHandle, static_cast<UINT>(i), TRUE, &info)) continue;
      TMenuBtn* b = add(i);
      b->SubMenu = info.hSubMenu;
      b->ItemEnabled = (info.fState & 3) == 0;
      b->Visible = 1;
      b->Command = info.wID;
      b->Caption = text;
      TMenuItem* item = Menu ? TMenuItem::FindByCommand(info.wID) : nullptr;
      if (item && item->Menu() == Menu) {
        b->Caption = AnsiToWide(item->Caption());
        b->ItemEnabled = item->Enabled();
        b->Item = item;
        b->SubMenu = item->Count() ? item->Handle() : nullptr;
      }
    }
  }
  ButtonCount = static_cast<int>(Buttons.size());
  SetMenu(window, nullptr);
}

void TWinSkinMenu::Rebuild() {
  BuildButtons();
  if (MenuRect.right > MenuRect.left) Layout(MenuRect);
}

int TWinSkinMenu::RightLimit(int barWidth) {
  int limit = INT_MAX / 2;
  if (!SkinForm || !MdiChildMaximized(*SkinForm)) return limit;
  for (const auto& object : SkinForm->SysButtons)
    if (auto* b = dynamic_cast<TWinSysButton*>(object.get()); b && b->Data && b->Visible && b->Data->Visibility == 100)
      limit = std::min(limit, static_cast<int>(b->Rect.left - SkinForm->BorderLeft) - 5);
  return std::min(limit, barWidth);
}

void TWinSkinMenu::LayoutButtons(HDC dc, int barWidth, int barHeight, bool draw) {
  const TSkinModel* skin = SkinData ? &SkinData->Skin() : nullptr;
  const TDataSkinObject* element = skin && skin->MenuBar && !skin->MenuBar->Bitmap.Empty() ? skin->MenuBar.get() : nullptr;
  const bool rtl = RightToLeft();
  const int x0 = MenuBarFirstOffset(element != nullptr, rtl, element ? element->LeftWidth : 0,
                                    element ? element->RightWidth : 0, barWidth);
  HGDIOBJ oldFont = SelectObject(dc, MenuFont(false));
  std::vector<int> widths;
  for (const auto& b : Buttons) widths.push_back(b->Visible ? TextWidth(dc, b->Caption) : -1);
  const std::vector<TSliceRect> rects = LayoutMenuBar(widths, x0, barWidth, barHeight, rtl, RightLimit(barWidth));
  for (size_t i = 0; i < Buttons.size(); ++i) {
    TMenuBtn& b = *Buttons[i];
    const TSliceRect& r = rects[i];
    RECT local{r.Left, r.Top, r.Right, r.Bottom};
    if (draw && b.Visible && !b.Caption.empty()) DrawCaption(dc, b.Caption, local, CaptionColour(SkinData, b.ItemEnabled));
    b.Rect = {local.left + MenuRect.left, local.top + MenuRect.top, local.right + MenuRect.left, local.bottom + MenuRect.top};
  }
  SelectObject(dc, oldFont);
}

void TWinSkinMenu::Layout(const RECT& rect) {
  MenuRect = rect;
  HDC screen = GetDC(nullptr);
  if (!screen) return;
  LayoutButtons(screen, rect.right - rect.left, rect.bottom - rect.top, false);
  ReleaseDC(nullptr, screen);
}

void TWinSkinMenu::Paint(HDC dc, const RECT& rect) {
  const int w = rect.right - rect.left, h = rect.bottom - rect.top;
  if (w <= 0 || h <= 0 || !SkinData || !SkinForm) return;
  HBITMAP work = SkinWorkBitmapSized(dc, w, h);
  if (!work) return;
  TSelectedDC memory(work, dc);
  HDC m = memory.Handle();
  const RECT bar{0, 0, w, h};
  const auto& element = SkinData->Skin().MenuBar;
  if (element && !element->Bitmap.Empty()) {
    const int k = SkinForm->Active ? 1 : 2;
    if (element->Tile == 1)
      DrawSlicedFrame(m, bar, element->Bitmap, true, false, false, 2, k, element->Margins());
    else
      DrawTiledStrip(m, bar, element->Bitmap, true, false, 2, k, element->Margins());
  } else {
    FillSolid(m, bar, SkinColour(SkinData, kSlotMenubar));
  }
  MenuRect = rect;
  // The background under the buttons, for their hot frames to be drawn over later.
  if (!Background || backgroundSize_.cx != w || backgroundSize_.cy != h) {
    if (Background) DeleteObject(Background);
    Background = CreateCompatibleBitmap(dc, w, h);
    backgroundSize_ = {w, h};
  }
  if (Background) {
    TSelectedDC copy(Background, dc);
    BitBlt(copy.Handle(), 0, 0, w, h, m, 0, 0, SRCCOPY);
  }
  Painting = 1;
  LayoutButtons(m, w, h, true);
  Painting = 0;
  if (MdiChildMaximized(*SkinForm)) {
    for (const auto& object : SkinForm->SysButtons) {
      auto* b = dynamic_cast<TWinSysButton*>(object.get());
      if (!b || !b->Data || !b->Visible || b->Data->Visibility != 100 || b->Data->Bitmap.Empty()) continue;
      RECT r = b->Rect;
      OffsetRect(&r, -SkinForm->BorderLeft, -SkinForm->CaptionHeight);
      DrawStretchedFrame(m, r, b->Data->Bitmap, true, std::max(b->Data->Frame, 1), 1);
    }
    if (TSkinManagerSeam* manager = SkinManagerSeam(); manager && !manager->ChildMaximized())
      manager->SetChildMaximized(true);
  }
  BitBlt(dc, rect.left, rect.top, w, h, m, 0, 0, SRCCOPY);
  // A button that was hot keeps its frame.
  if (auto* hot = dynamic_cast<TMenuBtn*>(SkinForm->HotObject); hot && hot->Bar == this) hot->Paint();
}

TMenuBtn* TWinSkinMenu::ButtonAt(POINT point) {
  for (const auto& b : Buttons)
    if (!b->Caption.empty() && b->Visible && PtInRect(&b->Rect, point)) return b.get();
  return nullptr;
}

TMenuBtn* TWinSkinMenu::FindAccelerator(wchar_t ch) {
  for (const auto& b : Buttons)
    if (b->ItemEnabled && b->Visible && HasAccelerator(b->Caption, ch)) return b.get();
  return nullptr;
}

void TWinSkinMenu::OpenAt(POINT screen) {
  if (!SkinForm) return;
  if (TMenuBtn* b = ButtonAt(TSkinFrame::ToFrame(*SkinForm, screen))) {
    b->MouseDown();
    OpenButton(b);
  }
}

void TWinSkinMenu::OpenButton(TMenuBtn* button) {
  // Each pass opens one popup; a switch to another button (keys, mouse) ends the
  // popup and names the next, so no popup is opened inside another's loop. The
  // popup's loop runs the program's handlers, and a menu change there rebuilds the
  // bar and frees its buttons: only copies and the index cross TrackPopupMenu.
  int index = button ? button->Index : -1;
  while (SkinForm && index >= 0 && index < static_cast<int>(Buttons.size())) {
    TWinSkinForm* form = SkinForm;
    const HWND window = form->Hwnd;
    const std::shared_ptr<bool> alive = alive_;
    const TMenuBtn& opened = *Buttons[static_cast<size_t>(index)];
    const HMENU subMenu = opened.SubMenu;
    const bool enabled = opened.ItemEnabled != 0;
    const RECT rect = opened.Rect;
    loop.Switching = false;
    // A plain window's popup item has its submenu handle as identifier: no command.
    if (opened.Item || !subMenu) PostMessageW(window, WM_COMMAND, opened.Command, 0);
    if (!subMenu) return;
    loop = TMenuLoop{};
    loop.OpenIndex = index;
    loop.Skinner = form;
    loop.Bar = this;
    const TSystemVersion v = TWinSkinForm::Version();
    if (!(v.Nt && v.Major == 4)) MakePopupOwnerDrawn(subMenu);
    form->InMenuLoop = 1;
    if (TSkinManagerSeam* manager = SkinManagerSeam()) {
      manager->SetMenuKind(1);
      manager->SetMenuFrameFlag(1, true);
    }
    form->OpenPopupMenu = subMenu;
    loop.Hook = SetWindowsHookExW(WH_MSGFILTER, &MenuFilterHook, nullptr, GetCurrentThreadId());
    if (enabled) {
      RECT frame{};
      GetWindowRect(window, &frame);
      const TPopupPlace place = MenuPopupPlace(frame.left, frame.top, ToSlice(rect), RightToLeft());
      TrackPopupMenu(subMenu, place.Flags, place.X, place.Y, 0, window, nullptr);
    }
    // Whatever happened inside (the window may be gone): the hook goes, the loop ends.
    if (loop.Hook) UnhookWindowsHookEx(loop.Hook);
    const int pending = loop.PendingIndex;
    loop = TMenuLoop{};
    if (!*alive) return;
    form->InMenuLoop = 0;
    if (index < static_cast<int>(Buttons.size())) {
      TMenuBtn& closed = *Buttons[static_cast<size_t>(index)];
      closed.State = 1;
      if (form->HotObject == &closed) form->HotObject = nullptr;
      closed.Paint();
    }
    if (pending < 0 || pending >= static_cast<int>(Buttons.size())) return;
    index = pending;
    Buttons[static_cast<size_t>(index)]->MouseDown();
  }
}

// --- The seam ----------------------------------------------------------------------------------

TWinSkinMenu* SkinMenuOf(TWinSkinForm& form) { return dynamic_cast<TWinSkinMenu*>(form.SkinMenu.get()); }

void TSkinMenuSeam::CreateMenuBar(TWinSkinForm& form, HMENU menu) {
  auto bar = std::make_unique<TWinSkinMenu>();
  bar->SkinData = form.SkinData;
  bar->SkinForm = &form;
  bar->MenuHandle = menu;
  form.MenuBarHeight = GetSystemMetrics(SM_CYMENU);
  bar->Menu = form.Form ? form.Form->Menu() : nullptr;
  TWinSkinMenu* raw = bar.get();
  form.SkinMenu = std::move(bar);
  raw->BuildButtons();
}

void TSkinMenuSeam::MenuChanged(TWinSkinForm& form, HMENU menu) {
  TWinSkinMenu* bar = SkinMenuOf(form);
  if (!bar) return;
  bar->MenuHandle = menu;
  bar->Rebuild();
  FormFrameSeam().PaintFrame(form, nullptr);
}

void TSkinMenuSeam::RebuildButtons(TWinSkinForm& form) {
  if (TWinSkinMenu* bar = SkinMenuOf(form)) {
    bar->Rebuild();
    FormFrameSeam().PaintFrame(form, nullptr);
  }
}

HMENU TSkinMenuSeam::BarMenu(TWinSkinForm& form) {
  TWinSkinMenu* bar = SkinMenuOf(form);
  return bar ? bar->MenuHandle : nullptr;
}

void TSkinMenuSeam::FreeMenuBar(TWinSkinForm& form) {
  form.MenuBarHeight = 0;
  // The bar's popups were made owner-drawn in place: without the skin they show
  // their texts again.
  if (TWinSkinMenu* bar = SkinMenuOf(form)) UndoPopupOwnerDrawn(bar->MenuHandle);
  if (form.InitialMenu) UndoPopupOwnerDrawn(form.InitialMenu);
}

void TSkinMenuSeam::MenuBarPopup(TWinSkinForm& form, TMessage& message) {
  message.Result = 0;
  if (TWinSkinMenu* bar = SkinMenuOf(form); bar && !form.InMenuLoop)
    bar->OpenAt({GET_X_LPARAM(message.LParam), GET_Y_LPARAM(message.LParam)});
}

bool TSkinMenuSeam::DialogChar(TWinSkinForm& form, TMessage& message) {
  if (message.Result != 0) return true;
  TWinSkinMenu* bar = SkinMenuOf(form);
  const bool alt = GetKeyState(VK_MENU) < 0, shift = GetKeyState(VK_SHIFT) < 0, ctrl = GetKeyState(VK_CONTROL) < 0;
  if (bar && alt && !shift && !ctrl)
    if (TMenuBtn* b = bar->FindAccelerator(static_cast<wchar_t>(message.WParam))) {
      PostOpen(*bar, b->Index);
      message.Result = 1;
      return true;
    }
  // Forms without a bar of their own pass the key to the bar that serves them.
  if (!form.Form) return false;
  HWND to = nullptr;
  if (form.FormKind == kFormMdiChild) {
    to = GetParent(GetParent(form.Hwnd));
  } else if (Application && Application->MainForm() != form.Form &&
             !form.Form->FormState().Contains(TFormStateItem::fsModal) && Application->MainForm()) {
    to = Application->MainForm()->Handle();
  }
  TWinControl* target = to ? TWinControl::FindControl(to) : nullptr;
  if (!target || target == form.Form) return false;
  message.Result = target->Perform(CM_DIALOGCHAR, message.WParam, message.LParam);
  return message.Result != 0;
}

void TSkinMenuSeam::PaintBar(TWinSkinForm& form, HDC dc, const RECT& rect) {
  if (TWinSkinMenu* bar = SkinMenuOf(form))
    bar->Paint(dc, rect);
  else
    TFormMenuSeam::PaintBar(form, dc, rect);
}

TObject* TSkinMenuSeam::BarButtonAt(TWinSkinForm& form, POINT framePoint) {
  TWinSkinMenu* bar = SkinMenuOf(form);
  return bar ? bar->ButtonAt(framePoint) : nullptr;
}

void TSkinMenuSeam::OpenBarButton(TWinSkinForm& form, TObject* button) {
  auto* b = dynamic_cast<TMenuBtn*>(button);
  if (b && b->Bar && !form.InMenuLoop) b->Bar->OpenButton(b);
}

bool TSkinMenuSeam::KeyMenu(TWinSkinForm& form, WPARAM key) {
  TWinSkinMenu* bar = SkinMenuOf(form);
  if (!bar) return false;
  TMenuBtn* b = nullptr;
  if (key == 0) {
    const std::vector<bool> can = Openable(*bar);
    const int first = NextMenuButton(-1, 1, can);
    b = first >= 0 ? bar->Buttons[static_cast<size_t>(first)].get() : nullptr;
  } else {
    b = bar->FindAccelerator(static_cast<wchar_t>(key));
  }
  if (!b) return false;
  PostOpen(*bar, b->Index);
  return true;
}

void TSkinMenuSeam::MenuSelect(TWinSkinForm& form, TMessage& message) {
  form.CallOld(message);
  const UINT flags = HIWORD(message.WParam);
  HMENU menu = reinterpret_cast<HMENU>(message.LParam);
  if (flags == 0xFFFF && !menu) {
    if (!loop.Switching) form.InMenuLoop = 0;
    return;
  }
  loop.ItemSelected = true;
  loop.SelectedMenu = menu;
  loop.SelectedOpensSubmenu = (flags & MF_POPUP) != 0;
}

void InstallMenuBar() {
  static TSkinMenuSeam seam;
  SetFormMenuSeam(&seam);
}

}  // namespace skin
