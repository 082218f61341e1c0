// The skinned frame: metrics, client rectangle, frame and caption painting, window
// region, client size, caption buttons, non-client mouse and the system menu.
#include "skin/forms/SkinFrame_win.h"

#include <windowsx.h>

#include <algorithm>

#include "classlib/ControlMessages.h"
#include "classlib/Menus_win.h"
#include "skin/forms/FrameRules.h"
#include "skin/container/SkinDraw_win.h"
#include "skin/data/WinSkinData_win.h"

namespace skin {

namespace {

// Older systems lack DrawMenuBarTemp: it is looked up once, and without it the
// strip keeps the skin's background.
using TDrawMenuBarTemp = DWORD(WINAPI*)(HWND, HDC, LPRECT, HMENU, HFONT);
TDrawMenuBarTemp DrawMenuBarTempProc() {
  static const TDrawMenuBarTemp proc = [] {
    HMODULE user = GetModuleHandleA("user32.dll");
    return user ? reinterpret_cast<TDrawMenuBarTemp>(reinterpret_cast<void*>(GetProcAddress(user, "DrawMenuBarTemp")))
                : nullptr;
  }();
  return proc;
}

constexpr UINT kSwpFrameOnly = SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED;
constexpr COLORREF kMagenta = RGB(255, 0, 255);
constexpr int kSlotTitleActive = 1, kSlotTitleInactive = 2;
constexpr int kSysPopupTag = 33333;

// The caption-button hint's time on the hot button; one hot button exists at a time.
int hintTimeMs = 0;

RECT ToRect(const TSliceRect& r) { return {r.Left, r.Top, r.Right, r.Bottom}; }
TSliceRect ToSlice(const RECT& r) { return {r.left, r.top, r.right, r.bottom}; }

TFrameMetrics MetricsOf(const TWinSkinForm& form) {
  return {form.BorderLeft, form.CaptionHeight, form.BorderRight, form.BorderBottom};
}

bool SkinReady(const TWinSkinForm& form) { return form.SkinData && !form.SkinData->NotLoaded(); }

bool MaximizedMdiChild(const TWinSkinForm& form) {
  return form.FormKind == kFormMdiChild && form.WindowState == kStateMaximized;
}

TSkinManagerSeam* Manager() { return SkinManagerSeam(); }

const TDataSkinObject& BorderElement(const TSkinModel& skin, int kind) {
  switch (kind) {
    case 1: return skin.Left;
    case 2: return skin.Right;
    case 3: return skin.Top;
    default: return skin.Bottom;
  }
}

std::wstring WindowTextW(HWND window) {
  const int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<size_t>(std::max(length, 0)) + 1, L'\0');
  const int got = GetWindowTextW(window, text.data(), length + 1);
  text.resize(static_cast<size_t>(std::max(got, 0)));
  return text;
}

HICON WindowIcon(HWND window) {
  auto icon = reinterpret_cast<HICON>(SendMessageA(window, WM_GETICON, ICON_SMALL, 0));
  if (!icon) icon = reinterpret_cast<HICON>(SendMessageA(window, WM_GETICON, ICON_BIG, 0));
  if (!icon) icon = reinterpret_cast<HICON>(GetClassLongPtrA(window, GCLP_HICONSM));
  if (!icon) icon = reinterpret_cast<HICON>(GetClassLongPtrA(window, GCLP_HICON));
  return icon;
}

void DrawButtonIcon(TWinSkinForm& form, HDC dc, const RECT& rect) {
  HICON icon = form.IconHandle ? form.IconHandle : WindowIcon(form.Hwnd);
  const int size = form.IconSize > 0 ? form.IconSize : GetSystemMetrics(SM_CXSMICON);
  if (icon) DrawIconEx(dc, rect.left, rect.top, icon, size, size, 0, nullptr, DI_NORMAL);
}

TWinSysButton* AsButton(TObject* object) { return dynamic_cast<TWinSysButton*>(object); }

// A system-menu button shows the window icon: without an image of its own it takes
// the icon's size, always as one frame.
bool ShowsImage(const TDataSkinSysButton& d) { return !d.Bitmap.Empty() || IsSystemMenuAction(d.Action); }
SIZE ImageSize(const TWinSkinForm& form, const TDataSkinSysButton& d) {
  if (IsSystemMenuAction(d.Action) && d.Bitmap.Empty()) {
    const int icon = form.IconSize > 0 ? form.IconSize : GetSystemMetrics(SM_CXSMICON);
    return {icon, icon};
  }
  return {d.Bitmap.Width, d.Bitmap.Height};
}

// The window's own menu while no skinned bar holds it: the system keeps it, and the
// skinned frame gives it a strip under the caption.
bool KeepsSystemMenuBar(const TWinSkinForm& form) {
  return !form.SkinMenu && form.FormKind != kFormMdiChild && form.BorderKind != kBorderNone && !form.IsChild &&
         GetMenu(form.Hwnd) != nullptr;
}
void KeepMenuRoom(TWinSkinForm& form) {
  if (form.SkinMenu || form.FormKind == kFormMdiChild || form.BorderKind == kBorderNone) return;
  form.MenuBarHeight = KeepsSystemMenuBar(form) ? GetSystemMetrics(SM_CYMENU) : 0;
}

void PostSysCommand(TWinSkinForm& form, WPARAM command) {
  PostMessageA(form.Hwnd, WM_SYSCOMMAND, command, 0);
}

void StopHover(TWinSkinForm& form) {
  if (form.HoverTimer) form.HoverTimer->SetEnabled(false);
}

// The hover timer runs only while something of an active form is hot (the pointer on
// a caption or menu-bar button): it sees the pointer leave and times the caption
// buttons' hints. A form nobody points at never wakes.
void SyncHover(TWinSkinForm& form) {
  if (!form.HoverTimer) return;
  const bool wanted = form.Active && (form.HotObject || (!form.Form && form.HotPainter));
  if (form.HoverTimer->Enabled() != wanted) form.HoverTimer->SetEnabled(wanted);
}

void HideHint(TWinSkinForm& form) {
  if (!form.SkinData) return;
  if (TSkinDataWin* win = SkinDataWin(*form.SkinData)) win->HideCaptionHint();
}

}  // namespace

// --- Non-client objects --------------------------------------------------------

void TNCObject::MouseDown() {
  if (!Owner) return;
  if (Owner->HotObject && Owner->HotObject != this)
    if (auto* other = dynamic_cast<TNCObject*>(Owner->HotObject)) other->MouseLeave();
  if (!Visible) return;
  Owner->HotObject = this;
  SyncHover(*Owner);
  State = 2;
  Paint();
}

void TNCObject::MouseUp() {
  if (!Visible) return;
  State = 3;
  Paint();
}

void TNCObject::MouseMove() {
  if (!Owner || Owner->HotObject == this) return;
  if (auto* other = dynamic_cast<TNCObject*>(Owner->HotObject)) other->MouseLeave();
  if (!Visible) return;
  Owner->HotObject = this;
  SyncHover(*Owner);
  State = 3;
  Paint();
}

void TNCObject::MouseLeave() {
  if (!Visible || !Owner) return;
  Owner->HotObject = nullptr;
  State = 1;
  Paint();
  TSkinFrame::ResetHint(*Owner);
}

void TWinSysButton::Paint() {
  if (!Owner || !Data || !Visible || !ShowsImage(*Data)) return;
  HDC dc = GetWindowDC(Owner->Hwnd);
  if (!dc) return;
  if (Data->Visibility != 100) {
    // A face is drawn transparently: the caption under it is composed again, or the
    // magenta parts of a normal face would keep showing the hot one.
    TSkinFrame::PaintCaption(*Owner, dc);
  } else if (IsSystemMenuAction(Data->Action)) {
    DrawButtonIcon(*Owner, dc, Rect);
  } else {
    const int k = CaptionButtonStateFrame(State, Enabled != 0, Data->Frame, true);
    DrawStretchedFrame(dc, Rect, Data->Bitmap, true, ClampedFrameCount(Data->Frame), k);
  }
  ReleaseDC(Owner->Hwnd, dc);
}

// --- Metrics, client rectangle, activation --------------------------------------

TSkinFrame& SkinFrame() {
  static TSkinFrame frame;
  return frame;
}

void TSkinFrame::ComputeMetrics(TWinSkinForm& form) {
  if (!SkinReady(form)) return;
  const TSkinModel& skin = form.SkinData->Skin();
  auto image = [](const TDataSkinObject& e) { return TBorderImage{e.Bitmap.Width, e.Bitmap.Height, e.Frame}; };
  const TFrameMetrics m = ComputeFrameMetrics(form.BorderKind, image(skin.Left), image(skin.Right),
                                              image(skin.Top), image(skin.Bottom));
  form.BorderLeft = m.BorderLeft;
  form.CaptionHeight = m.CaptionHeight;
  form.BorderRight = m.BorderRight;
  form.BorderBottom = m.BorderBottom;
  if (form.BorderKind == kBorderNone) form.MenuBarHeight = 0;
  CreateSysButtons(form);
}

void TSkinFrame::NCCalcSize(TWinSkinForm& form, TMessage& message) {
  KeepMenuRoom(form);
  const bool systemFrame = (form.FormKind == kFormMdiChild && form.WindowState != kStateNormal) ||
                           form.BorderKind == kBorderNone;
  // The system would lay its menu bar's items out under its own caption; they are
  // laid out in the skinned strip when it is painted (and hit there).
  if (!message.WParam || systemFrame || !KeepsSystemMenuBar(form)) form.CallOld(message);
  if (!message.WParam) {
    message.Result = 0;
    return;
  }
  auto* params = reinterpret_cast<NCCALCSIZE_PARAMS*>(message.LParam);
  if (!params) return;
  if (!systemFrame && params->lppos) {
    const WINDOWPOS& pos = *params->lppos;
    const TSliceRect window{pos.x, pos.y, pos.x + pos.cx, pos.y + pos.cy};
    params->rgrc[0] = ToRect(SkinnedClientRect(window, MetricsOf(form), form.MenuBarHeight));
  }
  params->rgrc[1] = params->rgrc[0];
  message.Result = WVR_VALIDRECTS;
}

void TSkinFrame::NCPaint(TWinSkinForm& form, TMessage& message) {
  SetSysMenuStyle(form, true);
  if (form.SkinData && !form.SkinData->FramePainting) {
    message.Result = 0;
    return;
  }
  if (MaximizedMdiChild(form) || form.BorderKind == kBorderNone) {
    form.CallOld(message);
    return;
  }
  PaintFrame(form, nullptr);
  message.Result = 0;
}

void TSkinFrame::NCActivate(TWinSkinForm& form, TMessage& message) {
  form.Active = message.WParam ? 1 : 0;
  if (!form.Active && form.HotPainter) {
    if (form.HotPainter->Handle) SendMessageA(form.HotPainter->Handle, CM_MOUSELEAVE, 0, 0);
    form.HotPainter = nullptr;
  }
  SyncHover(form);
  if (form.FormKind == kFormMdiFrame && form.MDIClient)
    SendMessageA(form.MDIClient, WM_NCACTIVATE, message.WParam, 0);
  else if (form.FormKind == kFormMdiChild)
    form.CallOld(message);
  if (!MaximizedMdiChild(form)) PaintFrame(form, nullptr);
  message.Result = 1;
}

void TSkinFrame::SetSysMenuStyle(TWinSkinForm& form, bool hide) {
  if (form.ButtonFlags & kButtonKeepSysMenuStyle) return;
  const LONG style = GetWindowLongA(form.Hwnd, GWL_STYLE);
  LONG wanted = style;
  if (hide)
    wanted &= ~WS_SYSMENU;
  else if (form.ButtonFlags & kButtonSysMenu)
    wanted |= WS_SYSMENU;
  // Writing an unchanged style would only cost a round of style messages.
  if (wanted != style) SetWindowLongA(form.Hwnd, GWL_STYLE, wanted);
  form.Style = static_cast<uint32_t>(wanted);
}

void TSkinFrame::RebuildIcon(TWinSkinForm& form) {
  form.IconHandle = WindowIcon(form.Hwnd);
  form.IconSize = GetSystemMetrics(SM_CXSMICON);
}

// --- Painting --------------------------------------------------------------------

void TSkinFrame::PaintFrame(TWinSkinForm& form, HDC dc) {
  if (!SkinWorkBitmap() || !SkinReady(form)) return;
  if (form.State != kFormActive && form.State != kFormRefreshing) return;
  if (form.BorderKind == kBorderNone || MaximizedMdiChild(form)) return;
  HDC target = dc ? dc : GetWindowDC(form.Hwnd);
  if (!target) return;
  // What was hot is drawn normal; a button held down stays pressed until its
  // release (the activation by that press repaints the frame in between).
  if (auto* hot = dynamic_cast<TNCObject*>(form.HotObject); hot && hot->State != 2) {
    hot->State = 1;
    form.HotObject = nullptr;
    ResetHint(form);
  }
  GetWindowRect(form.Hwnd, &form.WindowRect);
  const int w = form.WindowRect.right - form.WindowRect.left, h = form.WindowRect.bottom - form.WindowRect.top;
  OffsetRect(&form.WindowRect, -form.WindowRect.left, -form.WindowRect.top);
  form.WindowSize = {w, h};
  if (form.WindowState != kStateMinimized) {
    DrawBorderPiece(form, 1, {0, 0, form.BorderLeft, h}, target);
    DrawBorderPiece(form, 2, {w - form.BorderRight, 0, w, h}, target);
    DrawBorderPiece(form, 4, {form.BorderLeft, h - form.BorderBottom, w - form.BorderRight, h}, target);
    PaintCaption(form, target);
    if (form.MenuBarHeight > 0 && form.SkinMenu) {
      FormMenuSeam().PaintBar(form, target, {form.BorderLeft, form.CaptionHeight, w - form.BorderRight,
                                             form.CaptionHeight + form.MenuBarHeight});
    } else if (form.MenuBarHeight > 0) {
      RECT strip{form.BorderLeft, form.CaptionHeight, w - form.BorderRight, form.CaptionHeight + form.MenuBarHeight};
      if (TDrawMenuBarTemp drawMenuBar = DrawMenuBarTempProc(); drawMenuBar && KeepsSystemMenuBar(form)) {
        // The system draws the window's menu into the strip (and places its items there).
        const int saved = SaveDC(target);
        IntersectClipRect(target, strip.left, strip.top, strip.right, strip.bottom);
        drawMenuBar(form.Hwnd, target, &strip, GetMenu(form.Hwnd), nullptr);
        RestoreDC(target, saved);
      } else {
        FillBackground(target, strip, form.SkinData);
      }
    }
  } else {
    PaintCaption(form, target);
  }
  if (!dc) ReleaseDC(form.Hwnd, target);
}

void TSkinFrame::DrawBorderPiece(TWinSkinForm& form, int kind, const RECT& rect, HDC dc) {
  if (rect.right < rect.left || rect.bottom < rect.top || !form.SkinData) return;
  const TDataSkinObject& e = BorderElement(form.SkinData->Skin(), kind);
  if (e.Bitmap.Empty()) return;
  const int k = BorderFrameIndex(form.Active != 0, e.Frame);
  // A border's Tile holds the skin's "Stretch": 1 stretches, 0 tiles.
  DrawSlicedFrame(dc, rect, e.Bitmap, kind >= 3, e.Tile != 1, false, ClampedFrameCount(e.Frame), k, e.Margins());
}

void TSkinFrame::PaintCaption(TWinSkinForm& form, HDC dc) {
  const int w = form.WindowSize.cx, h = form.WindowSize.cy;
  const bool minimized = form.WindowState == kStateMinimized;
  const int height = minimized ? h : form.CaptionHeight;
  if (w <= 0 || height <= 0) return;
  TSkinDib caption(w, height);
  if (!caption.Handle()) return;
  TSelectedDC memory(caption.Handle(), dc);
  RECT r1;
  if (minimized) {
    FillBackground(memory.Handle(), {0, 0, w, h}, form.SkinData);
    r1 = {0, 0, w, form.CaptionHeight};
  } else {
    // The corners the side borders drew stay.
    BitBlt(memory.Handle(), 0, 0, w, height, dc, 0, 0, SRCCOPY);
    r1 = {form.BorderLeft, 0, w - form.BorderRight, form.CaptionHeight};
  }
  DrawBorderPiece(form, 3, r1, memory.Handle());
  DrawCaptionText(form, memory.Handle(), r1);
  LayoutButtons(form);
  PaintButtons(form, memory.Handle());
  BitBlt(dc, 0, 0, w, height, memory.Handle(), 0, 0, SRCCOPY);
  SetBkMode(dc, OPAQUE);
}

void TSkinFrame::DrawCaptionText(TWinSkinForm& form, HDC dc, const RECT& r) {
  const TDataSkinTitle& title = form.SkinData->Skin().Title;
  UINT format = DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS;
  if (form.RightToLeft) format |= DT_RIGHT | DT_RTLREADING;
  std::wstring text = form.CaptionPrefix + WindowTextW(form.Hwnd) + form.CaptionSuffix;
  form.ButtonAreaWidth = 0;
  for (const auto& object : form.SysButtons) {
    auto* button = AsButton(object.get());
    if (button && button->Data && button->Data->Align == 1 && button->Visible && !button->Data->Bitmap.Empty())
      form.ButtonAreaWidth = std::max(form.ButtonAreaWidth, button->Data->Xcoord);
  }
  HGDIOBJ oldFont = form.CaptionFont() ? SelectObject(dc, form.CaptionFont()) : nullptr;
  const int oldMode = SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, SkinColour(form.SkinData, form.Active ? kSlotTitleActive : kSlotTitleInactive));
  RECT measured = r;
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &measured, DT_CALCRECT | DT_NOPREFIX | DT_NOCLIP);

  TCaptionTextFacts facts;
  facts.Caption = ToSlice(r);
  facts.TextWidth = measured.right - measured.left;
  facts.TextHeight = measured.bottom - measured.top;
  facts.TextShift = title.LeftWidth;
  facts.TextShiftVert = title.TopHeight;
  facts.TextRightClip = title.RightWidth;
  facts.TextAlignment = title.TextAlignment;
  facts.BackLeft = title.TXTBackleft;
  facts.BackRight = title.TXTBackRight;
  facts.ButtonAreaWidth = form.ButtonAreaWidth;
  facts.RightToLeft = form.RightToLeft != 0;
  facts.Popup = (GetWindowLongA(form.Hwnd, GWL_STYLE) & WS_POPUP) != 0;
  facts.DialogFrame = form.BorderKind == kBorderDialog;
  RECT m = ToRect(PlaceCaptionText(facts));
  form.CaptionTextRect = m;
  if (!title.Bitmap.Empty()) {
    const RECT back{m.left, r.top, m.right, r.bottom};
    DrawTiledStrip(dc, back, title.Bitmap, true, true, 2, form.Active ? 1 : 2,
                   {title.TXTBackleft, 0, title.TXTBackRight, 0});
  }
  m.left += title.TXTBackleft;
  m.right -= title.TXTBackRight;
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &m, format);
  SetBkMode(dc, oldMode);
  if (oldFont) SelectObject(dc, oldFont);
}

// --- Window region and size --------------------------------------------------------

void TSkinFrame::BuildRegion(TWinSkinForm& form, bool redraw) {
  RECT window{};
  GetWindowRect(form.Hwnd, &window);
  TRegionFacts facts;
  facts.State = form.State;
  facts.FrameSkinned = form.FrameSkinned != 0;
  facts.Width = window.right - window.left;
  facts.Height = window.bottom - window.top;
  facts.MdiChild = form.FormKind == kFormMdiChild;
  facts.WindowState = form.WindowState;
  facts.RegionWidth = form.RegionSize.cx;
  facts.RegionHeight = form.RegionSize.cy;
  if (!SkinReady(form) || RegionBuildSkipped(facts)) return;
  const int w = facts.Width, h = facts.Height;
  // A region the system accepted is the system's: only a refused one is still ours.
  if (form.Region) DeleteObject(form.Region);
  form.Region = nullptr;
  form.RegionSet = 0;

  const TSkinModel& skin = form.SkinData->Skin();
  const bool trans[4] = {skin.Left.Trans == 1, skin.Right.Trans == 1, skin.Top.Trans == 1, skin.Bottom.Trans == 1};
  HRGN region = nullptr;
  if (!trans[0] && !trans[1] && !trans[2] && !trans[3]) {
    region = CreateRectRgn(0, 0, w, h);
  } else {
    form.RegionSize = {w, h};
    const TSliceRect base = RegionBase(w, h, MetricsOf(form));
    region = CreateRectRgn(base.Left, base.Top, base.Right, base.Bottom);
    const std::vector<TRegionPiece> pieces = RegionPieces(w, h, MetricsOf(form), trans, form.BorderKind);
    for (size_t i = 0; i < pieces.size(); ++i) {
      const TSliceRect& r = pieces[i].Rect;
      HRGN part = nullptr;
      if (pieces[i].FromImage) {
        TSkinDib scratch(r.Width(), r.Height());
        if (scratch.Handle()) {
          {
            TSelectedDC memory(scratch.Handle());
            DrawBorderPiece(form, static_cast<int>(i) + 1, {0, 0, r.Width(), r.Height()}, memory.Handle());
          }
          part = BitmapToRegion(scratch.Handle(), r.Left, r.Top, 1, 1, 1, kMagenta);
        }
      }
      if (!part) part = CreateRectRgn(r.Left, r.Top, r.Right, r.Bottom);
      if (part) {
        CombineRgn(region, region, part, RGN_OR);
        DeleteObject(part);
      }
    }
  }
  if (!region) return;
  if (SetWindowRgn(form.Hwnd, region, redraw ? TRUE : FALSE)) {
    form.RegionSet = 1;
    // The new shape loses what the frame showed: the frame alone is drawn again,
    // where a redraw by the region would repaint the whole window and its controls.
    if (!redraw) PaintFrame(form, nullptr);
  } else {
    DeleteObject(region);
  }
}

void TSkinFrame::RemoveRegion(TWinSkinForm& form) {
  if (form.RegionSet) SetWindowRgn(form.Hwnd, nullptr, form.FormKind == kFormMdiChild);
  form.RegionSet = 0;
  form.RegionSize = {0, 0};
  if (form.Region) DeleteObject(form.Region);
  form.Region = nullptr;
}

void TSkinFrame::KeepClientSize(TWinSkinForm& form, bool useClientRect) {
  KeepMenuRoom(form);
  // The system placed the menu's items under its own caption: have them laid out
  // again, in the skinned strip, at the next paint.
  if (KeepsSystemMenuBar(form)) DrawMenuBar(form.Hwnd);
  if (form.WindowState == kStateMaximized) {
    SetWindowPos(form.Hwnd, nullptr, 0, 0, 0, 0, kSwpFrameOnly);
    return;
  }
  if (form.IsDialog || form.State == kFormRefreshing) GetClientRect(form.Hwnd, &form.ClientRect);
  const TFrameMetrics m = MetricsOf(form);
  int clientWidth = form.ClientRect.right - form.ClientRect.left;
  int clientHeight = form.ClientRect.bottom - form.ClientRect.top;
  if (useClientRect) {
    GetClientRect(form.Hwnd, &form.ClientRect);
    clientHeight = form.ClientRect.bottom - form.ClientRect.top;
  } else if (form.Form && form.SkinMenu) {
    // The skinned bar took the menu off the window: its client grew by the bar.
    clientHeight -= form.MenuBarHeight;
    if (form.FormKind == kFormMdiChild) clientHeight += form.MenuBarHeight;
  }
  const TWindowSize size = SkinnedWindowSize(clientWidth, clientHeight, m, form.MenuBarHeight);
  int width = size.Width;
  if (form.IsDialog && !useClientRect && SkinReady(form)) {
    const TDataSkinTitle& title = form.SkinData->Skin().Title;
    HDC dc = GetDC(form.Hwnd);
    HGDIOBJ oldFont = form.CaptionFont() ? SelectObject(dc, form.CaptionFont()) : nullptr;
    const std::wstring text = WindowTextW(form.Hwnd);
    RECT measured{0, 0, 0, 0};
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &measured, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    if (oldFont) SelectObject(dc, oldFont);
    ReleaseDC(form.Hwnd, dc);
    form.CaptionTextWidth = measured.right - measured.left;
    const TDialogWiden widen = WidenDialogForCaption(width, title.LeftWidth, form.CaptionTextWidth, title.RightWidth);
    if (widen.ChildShift > 0) {
      for (HWND child = GetWindow(form.Hwnd, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        RECT r{};
        GetWindowRect(child, &r);
        MapWindowPoints(nullptr, form.Hwnd, reinterpret_cast<POINT*>(&r), 2);
        SetWindowPos(child, nullptr, r.left + widen.ChildShift, r.top, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER | SWP_NOSENDCHANGING);
      }
    }
    width = widen.Width;
  }
  SetWindowPos(form.Hwnd, nullptr, 0, 0, width, size.Height,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

// --- Caption buttons -----------------------------------------------------------------

void TSkinFrame::DropCaptionButtons(TWinSkinForm& form) {
  form.SysButtons.clear();
  form.SysButtonCount = 0;
  form.HotObject = nullptr;
  ResetHint(form);
}

void TSkinFrame::CreateSysButtons(TWinSkinForm& form) {
  SkinFrame().DropCaptionButtons(form);
  if (!form.SkinData) return;
  for (const auto& data : form.SkinData->Skin().CaptionButtons)
    if (data) form.SysButtons.push_back(std::make_unique<TWinSysButton>(&form, data.get()));
  form.SysButtonCount = static_cast<int>(form.SysButtons.size());
}

bool TSkinFrame::ButtonVisible(TWinSkinForm& form, TWinSysButton& button) {
  const TDataSkinSysButton& d = *button.Data;
  TCaptionFacts facts;
  facts.ButtonFlags = form.ButtonFlags;
  facts.BorderKind = form.BorderKind;
  facts.Maximized = form.WindowState == kStateMaximized;
  facts.Active = form.Active != 0;
  facts.DialogClass = form.IsDialog != 0;
  if (form.FormKind == kFormMdiFrame && form.MDIClient && form.SkinMenu) {
    BOOL maximized = FALSE;
    SendMessageA(form.MDIClient, WM_MDIGETACTIVE, 0, reinterpret_cast<LPARAM>(&maximized));
    facts.MdiChildMaximizedWithMenuBar = maximized != FALSE;
  }
  HWND window = form.Hwnd;
  const TButtonShow show = CaptionButtonShow(
      d.Action, d.Visibility, d.Visibility1, facts, button.Enabled != 0,
      [window](int code, int action) { return static_cast<int>(SendMessageA(window, kMsgCaptionVisible, code, action)); });
  button.Enabled = show.Enabled;
  button.Visible = show.Visible;
  return show.Visible;
}

void TSkinFrame::LayoutButtons(TWinSkinForm& form) {
  TButtonPlaceFacts facts;
  facts.WindowWidth = form.WindowSize.cx;
  facts.CaptionTextRect = ToSlice(form.CaptionTextRect);
  facts.BorderRight = form.BorderRight;
  facts.CaptionHeight = form.CaptionHeight;
  facts.MenuBarHeight = form.MenuBarHeight;
  if (form.SkinData && form.SkinData->Skin().MenuBar) facts.MenuBarLeftWidth = form.SkinData->Skin().MenuBar->LeftWidth;
  for (const auto& object : form.SysButtons) {
    auto* button = AsButton(object.get());
    if (!button || !button->Data || !ButtonVisible(form, *button) || !ShowsImage(*button->Data)) continue;
    const TDataSkinSysButton& d = *button->Data;
    const SIZE image = ImageSize(form, d);
    const int frames = IsSystemMenuAction(d.Action) ? 1 : d.Frame;
    button->Rect = ToRect(CaptionButtonRect(d.Align, d.Xcoord, d.Ycoord, image.cx, image.cy, frames, facts));
  }
}

void TSkinFrame::PaintButtons(TWinSkinForm& form, HDC dc) {
  for (const auto& object : form.SysButtons) {
    auto* button = AsButton(object.get());
    if (!button || !button->Data || !button->Visible || !ShowsImage(*button->Data)) continue;
    const TDataSkinSysButton& d = *button->Data;
    if (d.Visibility == 100) continue;
    if (IsSystemMenuAction(d.Action)) {
      DrawButtonIcon(form, dc, button->Rect);
    } else {
      // Only the hot object shows its state; the others their resting face.
      const int k = button == form.HotObject
                        ? CaptionButtonStateFrame(button->State, button->Enabled != 0, d.Frame, false)
                        : CaptionButtonPaintFrame(form.Active != 0, button->Enabled != 0, d.Frame);
      DrawStretchedFrame(dc, button->Rect, d.Bitmap, true, ClampedFrameCount(d.Frame), k);
    }
  }
}

TWinSysButton* TSkinFrame::ButtonAt(TWinSkinForm& form, POINT point) {
  for (const auto& object : form.SysButtons) {
    auto* button = AsButton(object.get());
    if (button && button->Data && button->Visible && button->Data->Action >= 0 && PtInRect(&button->Rect, point))
      return button;
  }
  return nullptr;
}

POINT TSkinFrame::ToFrame(TWinSkinForm& form, POINT point) {
  // Frame coordinates start at the window's top-left corner.
  RECT window{};
  GetWindowRect(form.Hwnd, &window);
  return {point.x - window.left, point.y - window.top};
}

// --- Non-client mouse -------------------------------------------------------------------

void TSkinFrame::NCHitTest(TWinSkinForm& form, TMessage& message) {
  form.CallOld(message);
  const POINT screen{GET_X_LPARAM(message.LParam), GET_Y_LPARAM(message.LParam)};
  const POINT frame = ToFrame(form, screen);
  message.Result = RewriteHitCode(static_cast<int>(message.Result), frame.y, form.CaptionHeight, form.MenuBarHeight);
}

void TSkinFrame::NCMouse(TWinSkinForm& form, TMessage& message) {
  const POINT screen{GET_X_LPARAM(message.LParam), GET_Y_LPARAM(message.LParam)};
  TWinSysButton* button = ButtonAt(form, ToFrame(form, screen));
  // A menu-bar button under the mouse, when no caption button is.
  auto* barButton = button || !form.SkinMenu ? nullptr
                                             : dynamic_cast<TNCObject*>(FormMenuSeam().BarButtonAt(form, ToFrame(form, screen)));
  if (barButton) {
    switch (message.Msg) {
      case WM_NCMOUSEMOVE:
        if (!form.Active) break;
        barButton->MouseMove();
        message.Result = 0;
        return;
      case WM_NCLBUTTONDOWN:
        HideHint(form);
        if (!form.Active) SetForegroundWindow(form.Hwnd);
        barButton->MouseDown();
        FormMenuSeam().OpenBarButton(form, barButton);
        message.Result = 0;
        return;
      case WM_NCLBUTTONUP:
        HideHint(form);
        message.Result = 0;
        return;
      default: break;
    }
  }
  switch (message.Msg) {
    case WM_NCMOUSEMOVE:
      if (!form.Active) break;
      if (!button) {
        if (auto* hot = dynamic_cast<TNCObject*>(form.HotObject)) hot->MouseLeave();
        form.HotObject = nullptr;
        break;
      }
      button->MouseMove();
      message.Result = 0;
      return;
    case WM_NCLBUTTONDOWN:
      HideHint(form);
      if (button) {
        if (!form.Active) SetForegroundWindow(form.Hwnd);
        button->MouseDown();
        message.Result = 0;
        return;
      }
      // A maximized window is not dragged by its caption.
      if (form.WindowState == kStateMaximized && form.Active && message.WParam == HTCAPTION) message.WParam = HTMENU;
      break;
    case WM_NCLBUTTONUP:
      HideHint(form);
      if (button) {
        if (form.HotObject == button) {
          button->MouseUp();
          RunAction(form, *button, screen);
        }
        message.Result = 0;
        return;
      }
      break;
    case WM_NCLBUTTONDBLCLK:
      switch (NcDoubleClick(button ? button->Data->Action : -1, form.WindowState, form.ButtonFlags)) {
        case TDoubleClick::Close:
          if (ClosingAllowed(form)) {
            StopHover(form);
            PostSysCommand(form, SC_CLOSE);
          }
          message.Result = 0;
          return;
        case TDoubleClick::Nothing: message.Result = 0; return;
        case TDoubleClick::Restore: Restore(form); message.Result = 0; return;
        case TDoubleClick::Maximize: Maximize(form); message.Result = 0; return;
        case TDoubleClick::Old: break;
      }
      break;
    case WM_NCRBUTTONDOWN:
      HideHint(form);
      if (message.WParam == HTCAPTION && form.FormKind != kFormMdiChild) {
        ShowSystemMenu(form, screen);
        message.Result = 0;
        return;
      }
      break;
    default: break;
  }
  form.CallOld(message);
}

bool TSkinFrame::ClosingAllowed(TWinSkinForm& form) {
  HMENU menu = form.SystemMenu ? form.SystemMenu : GetSystemMenu(form.Hwnd, FALSE);
  const UINT state = menu ? GetMenuState(menu, SC_CLOSE, MF_BYCOMMAND) : static_cast<UINT>(-1);
  const bool has = state != static_cast<UINT>(-1);
  return skin::ClosingAllowed(TWinSkinForm::Version(), has, has && (state & (MF_GRAYED | MF_DISABLED)));
}

void TSkinFrame::RunAction(TWinSkinForm& form, TWinSysButton& button, POINT screen) {
  const int action = button.Data->Action;
  switch (ButtonActionOf(action)) {
    case TButtonAction::Close:
      if (ClosingAllowed(form)) {
        StopHover(form);
        PostSysCommand(form, SC_CLOSE);
      }
      break;
    case TButtonAction::Maximize: if (button.Enabled) Maximize(form); break;
    case TButtonAction::Minimize: if (button.Enabled) Minimize(form); break;
    case TButtonAction::SystemMenu: ShowSystemMenu(form, {screen.x + 1, screen.y + 1}); break;
    case TButtonAction::ContextHelp: PostSysCommand(form, SC_CONTEXTHELP); break;
    case TButtonAction::MdiMinimize: MDIChildCommand(form, SC_MINIMIZE); break;
    case TButtonAction::MdiRestore: MDIChildCommand(form, SC_RESTORE); break;
    case TButtonAction::MdiClose: MDIChildCommand(form, SC_CLOSE); break;
    case TButtonAction::Program: PostMessageA(form.Hwnd, kMsgCaptionAction, static_cast<WPARAM>(action), 0); break;
  }
}

void TSkinFrame::Maximize(TWinSkinForm& form) {
  if (form.WindowState == kStateMaximized) {
    Restore(form);
    return;
  }
  if (form.FormKind == kFormMdiChild)
    if (TSkinManagerSeam* manager = Manager()) manager->SetChildMaximized(true);
  form.WindowState = kStateMaximized;
  PostSysCommand(form, SC_MAXIMIZE);
  form.HotObject = nullptr;
}

void TSkinFrame::Restore(TWinSkinForm& form) {
  form.WindowState = kStateNormal;
  PostSysCommand(form, SC_RESTORE);
}

void TSkinFrame::Minimize(TWinSkinForm& form) {
  if (form.WindowState == kStateMinimized) {
    Restore(form);
    return;
  }
  form.WindowState = kStateMinimized;
  SkinFrame().SetSysMenuStyle(form, false);
  PostSysCommand(form, SC_MINIMIZE);
}

void TSkinFrame::MDIChildCommand(TWinSkinForm& form, WPARAM command) {
  if (form.FormKind != kFormMdiFrame || !form.MDIClient) return;
  if (HWND child = reinterpret_cast<HWND>(SendMessageA(form.MDIClient, WM_MDIGETACTIVE, 0, 0)))
    SendMessageA(child, WM_SYSCOMMAND, command, 0);
}

// --- System menu and commands --------------------------------------------------------------

void TSkinFrame::ShowSystemMenu(TWinSkinForm& form, POINT point) {
  if (form.ModuleId != 0) return;
  const DWORD now = GetTickCount();
  if (now - form.LastSysMenuTick > form.DoubleClickTime) {
    if (TSkinManagerSeam* manager = Manager()) manager->SetMenuKind(2);
    form.LastSysMenuTick = now;
    auto menu = std::make_unique<TPopupMenu>();
    menu->SetTag(kSysPopupTag);
    if (form.SkinData)
      if (TSkinDataWin* win = SkinDataWin(*form.SkinData)) menu->Images = &win->MenuGlyphs();
    auto add = [&menu](const std::string& caption, int tag, int image, bool enabled, bool checked) {
      auto* item = new TMenuItem(menu.get());
      item->SetCaption(caption);
      item->SetTag(tag);
      item->ImageIndex = image;
      item->SetEnabled(enabled);
      item->SetChecked(checked);
      menu->Items()->Add(item);
      return item;
    };
    if (UsesFixedSysMenu(TWinSkinForm::Version())) {
      for (int tag : FixedSysMenuTags(form.ButtonFlags)) {
        switch (tag) {
          case 0: add(" Restore ", 0, 0, true, false); break;
          case 1: add(" Maximize ", 1, 1, true, false); break;
          case 2: add(" Minimize ", 2, 2, true, false); break;
          case 100: add("-", 100, -1, true, false); break;
          default: add(" Close ", 3, 3, true, false)->SetShortCutText("ALT+F4"); break;
        }
      }
    } else if (HMENU system = form.SystemMenu ? form.SystemMenu : GetSystemMenu(form.Hwnd, FALSE)) {
      const int count = GetMenuItemCount(system);
      for (int i = 0; i < count; ++i) {
        char text[81] = {};
        MENUITEMINFOA info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_STATE | MIIM_ID | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = 80;
        if (!GetMenuItemInfoA(system, static_cast<UINT>(i), TRUE, &info)) continue;
        const TSysMenuItemState s = SysMenuItemState(info.wID, info.fState, form.WindowState, form.ButtonFlags);
        add(text[0] ? text : "-", static_cast<int>(info.wID), s.ImageIndex, s.Enabled, s.Checked);
      }
    }
    FormMenuSeam().PrepareSystemMenu(form, *menu);
    // The popup's choice comes back here, so that a plain window needs no menu dispatch.
    HMENU handle = menu->Handle();
    form.SysPopupMenu = std::move(menu);
    SetForegroundWindow(form.Hwnd);
    const UINT chosen = static_cast<UINT>(TrackPopupMenuEx(handle, TPM_LEFTALIGN | TPM_RIGHTBUTTON | TPM_RETURNCMD,
                                                           point.x, point.y, form.Hwnd, nullptr));
    PostMessageA(form.Hwnd, WM_NULL, 0, 0);
    TMenuItem* item = chosen ? TMenuItem::FindByCommand(chosen) : nullptr;
    const int tag = item ? item->Tag() : -1;
    const bool fixed = UsesFixedSysMenu(TWinSkinForm::Version());
    if (tag < 0) return;
    if (!fixed) {
      PostSysCommand(form, static_cast<WPARAM>(tag));
    } else if (tag == 0) {
      Restore(form);
    } else if (tag == 1) {
      Maximize(form);
    } else if (tag == 2) {
      Minimize(form);
    } else if (tag == 3) {
      StopHover(form);
      PostMessageA(form.Hwnd, WM_CLOSE, 0, 0);
    }
    return;
  }
  // A double click on the system-menu button closes the window, as far as closing
  // is allowed.
  auto* hot = AsButton(form.HotObject);
  if (hot && hot->Data && IsSystemMenuAction(hot->Data->Action) && ClosingAllowed(form)) {
    StopHover(form);
    PostMessageA(form.Hwnd, WM_CLOSE, 0, 0);
  }
}

void TSkinFrame::SysCommand(TWinSkinForm& form, TMessage& message) {
  if (form.InMenuLoop) {
    form.CallOld(message);
    return;
  }
  const UINT command = static_cast<UINT>(message.WParam & 0xFFF0);
  if (command == SC_KEYMENU && message.LParam != ' ' && message.LParam != '-' && !GetCapture() &&
      FormMenuSeam().KeyMenu(form, static_cast<WPARAM>(message.LParam))) {
    message.Result = 1;
    return;
  }
  if (command == SC_KEYMENU && message.LParam == ' ') {
    POINT corner{0, 0};
    ClientToScreen(form.Hwnd, &corner);
    ShowSystemMenu(form, corner);
    message.Result = 0;
    return;
  }
  if (command == SC_MINIMIZE) {
    form.WindowState = kStateMinimized;
  } else if (command == SC_MAXIMIZE) {
    form.WindowState = kStateMaximized;
  } else if (command == SC_RESTORE) {
    form.WindowState = kStateNormal;
    if (form.FormKind == kFormMdiChild)
      if (TSkinManagerSeam* manager = Manager(); manager && manager->ChildMaximized()) manager->SetChildMaximized(false);
  }
  form.CallOld(message);
}

void TSkinFrame::Command(TWinSkinForm& form, TMessage& message) {
  const UINT id = LOWORD(message.WParam);
  switch (id) {
    case SC_SIZE: case SC_MOVE: case SC_MINIMIZE: case SC_MAXIMIZE: case SC_NEXTWINDOW:
    case SC_PREVWINDOW: case SC_CLOSE: case SC_RESTORE:
      PostSysCommand(form, id);
      message.Result = 0;
      return;
    default: form.CallOld(message); return;
  }
}

// --- Hover and hints ---------------------------------------------------------------------------

void TSkinFrame::ResetHint(TWinSkinForm& form) {
  hintTimeMs = 0;
  HideHint(form);
}

void TSkinFrame::HoverTick(TWinSkinForm& form) {
  if (form.InMenuLoop) return;
  POINT cursor{};
  GetCursorPos(&cursor);
  if (auto* hot = dynamic_cast<TNCObject*>(form.HotObject)) {
    const POINT frame = ToFrame(form, cursor);
    if (PtInRect(&hot->Rect, frame)) {
      auto* button = AsButton(hot);
      if (!button || !button->Data || !form.SkinData) return;
      hintTimeMs += form.HoverTimer ? static_cast<int>(form.HoverTimer->Interval()) : 250;
      TSkinDataWin* win = SkinDataWin(*form.SkinData);
      if (!win || !form.SkinData->Options.Contains(TSkinOption::xoCaptionButtonHint)) return;
      const int pause = Application ? Application->HintPause : 500;
      const int hidePause = Application ? Application->HintHidePause : 2500;
      const std::string_view text = CaptionHintText(button->Data->Action);
      switch (CaptionHintPhase(hintTimeMs, pause, hidePause)) {
        case THintPhase::Wait: break;
        case THintPhase::Show: {
          if (text.empty()) break;
          RECT window{};
          GetWindowRect(form.Hwnd, &window);
          win->ShowCaptionHint(std::string(text), {window.left + hot->Rect.left, cursor.y + 24});
          break;
        }
        case THintPhase::Hide: win->HideCaptionHint(); break;
      }
    } else {
      hot->MouseLeave();
      form.HotObject = nullptr;
      ResetHint(form);
      SyncHover(form);
    }
    return;
  }
  if (!form.Form && form.HotPainter && form.HotPainter->Handle) {
    RECT r{};
    GetWindowRect(form.HotPainter->Handle, &r);
    if (!PtInRect(&r, cursor)) {
      SendMessageA(form.HotPainter->Handle, CM_MOUSELEAVE, 0, 0);
      form.HotPainter = nullptr;
    }
  }
  SyncHover(form);
}

}  // namespace skin
