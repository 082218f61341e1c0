// Combo-box and date-time painters, and the picker's arrow button.
#include <windowsx.h>

#include <algorithm>

#include "classlib/ControlMessages.h"
#include "skin/container/SkinDraw_win.h"
#include "skin/data/WinSkinData_win.h"
#include "skin/painters/SkinEdits_win.h"
#include "skin/painters/SkinFamily_win.h"
#include "skin/painters/SkinInputRules.h"
#include "skin/painters/SkinScrollBars_win.h"

namespace skin {

// ---------------------------------------------------------------------------
// Combo box

TSkinComBox::~TSkinComBox() { ReleaseChild(); }

void TSkinComBox::AttachControl(TWinSkinForm* skinForm, TSkinData* skinData, bool changeColor, TCanvas* canvas) {
  if (Initialized) return;
  TSkinControl::AttachControl(skinForm, skinData, changeColor, canvas);
  if (Initialized) AfterAttach();
}

void TSkinComBox::AttachWindow(HWND handle, TSkinData* skinData, TWinSkinForm* skinForm, TCanvas* canvas) {
  TSkinControl::AttachWindow(handle, skinData, skinForm, canvas);
  AfterAttach();
}

void TSkinComBox::AfterAttach() {
  Style = static_cast<DWORD>(GetWindowLongW(Handle, GWL_STYLE));
  if (IsComboBoxEx) {
    ChildHandle = GetWindow(Handle, GW_CHILD);
    if (!ChildHandle) return;
    AttachListPainter(ChildHandle);
    // Subclassed whatever its character form: only there does the skin show.
    child_.Install(ChildHandle, &TSkinComBox::ChildHandler, this);
    InvalidateRect(ChildHandle, nullptr, TRUE);
    return;
  }
  AttachListPainter(Handle);
  if (!IsUnicode) {
    ChildHandle = HasInfo ? Info.hwndItem : nullptr;
    if (ChildHandle == Handle) ChildHandle = nullptr;
    if (ChildHandle) child_.Install(ChildHandle, &TSkinComBox::ChildHandler, this);
  }
}

void TSkinComBox::AttachListPainter(HWND combo) {
  const DWORD style = static_cast<DWORD>(GetWindowLongW(combo, GWL_STYLE));
  Info = COMBOBOXINFO{};
  Info.cbSize = sizeof Info;
  HasInfo = SkinGetComboBoxInfo(combo, Info);
  if (!HasInfo || !Info.hwndList || SendMessageW(Info.hwndList, kMsgIsSkinned, 0, 0) == 1) return;
  // A simple combo's list is a child with scroll bars under overlays; a drop-down's
  // is a pop-up whose bar is painted in its frame. The list's painter is this
  // one's alone: no owner, off the skinner's list.
  const bool simple = (style & 3) == CBS_SIMPLE;
  if (simple && !IsTopLevel(Info.hwndList))
    ListPainter = std::make_unique<TSkinScrollbarH>();
  else if (!simple && (style & 2))
    ListPainter = std::make_unique<TComboxScrollBar>();
  if (ListPainter) ListPainter->AttachWindow(Info.hwndList, SkinData, nullptr, Canvas);
}

void TSkinComBox::ChildHandler(void* context, TMessage& message) {
  auto* self = static_cast<TSkinComBox*>(context);
  self->child_.CallOld(message);
  switch (message.Msg) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      self->State |= kPainterPressed;
      self->ShowState();
      break;
    case WM_LBUTTONUP:
      self->State &= static_cast<uint8_t>(~kPainterPressed);
      self->ShowState();
      break;
    case WM_PAINT:
      if (self->IsComboBoxEx && self->SkinActive) self->PaintInner();
      break;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      if (self->IsComboBoxEx) self->ShowState();
      break;
    case WM_MOUSEMOVE:
      if (self->IsComboBoxEx) {
        // The inner combo takes the mouse: its button is where hot starts and ends.
        const POINT p{GET_X_LPARAM(message.LParam), GET_Y_LPARAM(message.LParam)};
        const bool over = IsWindowEnabled(self->Handle) && PtInRect(&self->ButtonRect, p);
        if (over != ((self->State & kPainterHot) != 0)) {
          self->State = over ? self->State | kPainterHot : self->State & static_cast<uint8_t>(~kPainterHot);
          if (over) SkinTrackMouseLeave(self->ChildHandle);
          self->ShowState();
        }
      }
      break;
    case WM_MOUSELEAVE:
      if (self->IsComboBoxEx && (self->State & kPainterHot)) {
        self->State &= static_cast<uint8_t>(~kPainterHot);
        self->ShowState();
      }
      break;
    default:
      break;
  }
}

void TSkinComBox::ShowState() {
  if (IsComboBoxEx && ChildHandle)
    InvalidateRect(ChildHandle, nullptr, FALSE);
  else
    Refresh();
}

void TSkinComBox::PaintInner() {
  if (!SkinData || !ChildHandle || !IsWindowVisible(ChildHandle)) return;
  const TSkinModel& skin = SkinData->Skin();
  if (!HasPicture(skin.ComboButton.get())) return;
  RECT window{};
  if (!GetWindowRect(ChildHandle, &window)) return;
  const int w = window.right - window.left, h = window.bottom - window.top;
  Enabled = IsWindowEnabled(Handle) != FALSE;
  const HWND focus = GetFocus();
  Focused = focus && (focus == Handle || IsChild(Handle, focus));
  const int state = ComboState(Enabled, Focused, State & kPainterPressed, State & kPainterHot);
  const bool left = (GetWindowLongW(Handle, GWL_EXSTYLE) & WS_EX_LEFTSCROLLBAR) != 0;
  const TSliceRect b = ComboButtonRect(w, h, 0, GetSystemMetrics(SM_CXVSCROLL), 0, left);
  ButtonRect = {b.Left, b.Top, b.Right, b.Bottom};
  HDC dc = GetWindowDC(ChildHandle);
  if (!dc) return;
  FrameSolid(dc, {0, 0, w, h}, SkinColour(SkinData, kSlotButtonShadow));
  FrameSolid(dc, {1, 1, w - 1, h - 1}, RGB(255, 255, 255));
  if (!b.Empty()) {
    FillSolid(dc, ButtonRect, SkinColour(SkinData, kSlotButtonFace));
    if (HasPicture(skin.ComboxArrow.get()))
      DrawGlyphFrame(dc, ButtonRect, skin.ComboxArrow->Bitmap, FramesOf(*skin.ComboxArrow), state);
  }
  ReleaseDC(ChildHandle, dc);
}

void TSkinComBox::ReleaseChild() {
  child_.Remove();
  ChildHandle = nullptr;
  ListPainter.reset();
}

void TSkinComBox::Unskin() {
  TSkinControl::Unskin();
  if (Status != kPainterWindowGone) ReleaseChild();
}

void TSkinComBox::AfterProc(TMessage& message) {
  switch (message.Msg) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      State |= kPainterPressed;
      Refresh();
      break;
    case WM_LBUTTONUP:
      State &= static_cast<uint8_t>(~kPainterPressed);
      Refresh();
      break;
    case WM_MOUSEMOVE: {
      const POINT p{GET_X_LPARAM(message.LParam), GET_Y_LPARAM(message.LParam)};
      const bool over = IsWindowEnabled(Handle) && PtInRect(&ButtonRect, p);
      if (over != ((State & kPainterHot) != 0)) {
        State = over ? State | kPainterHot : State & static_cast<uint8_t>(~kPainterHot);
        if (over && !Control) SkinTrackMouseLeave(Handle);
        Refresh();
      }
      break;
    }
    case CM_MOUSELEAVE:
    case WM_MOUSELEAVE:
      if (State & kPainterHot) {
        State &= static_cast<uint8_t>(~kPainterHot);
        Refresh();
      }
      break;
    case WM_DRAWITEM:
    case WM_NCPAINT:
      // The skin is drawn again with the paint that follows; painting at once here
      // would paint the control twice on every redraw of its frame. An extended
      // combo's items are its inner combo's, drawn inside that combo's own paint,
      // after which the skin follows: invalidating this window there would paint
      // the inner combo again (it is not clipped out) and so on without end.
      if (!IsComboBoxEx) InvalidateRect(Handle, nullptr, FALSE);
      break;
    default:
      TSkinControl::AfterProc(message);
      break;
  }
}

void TSkinComBox::Paint(HDC dc, const RECT& rect) {
  if (!SkinData) return;
  const TSkinModel& skin = SkinData->Skin();
  const TDataSkinBorder* button = skin.ComboButton.get();
  if (!HasPicture(button)) return;
  if (IsComboBoxEx) {
    PaintInner();  // the inner combo covers this window
    return;
  }
  if (HasInfo && SkinGetComboBoxInfo(Handle, Info) && (Info.stateButton & STATE_SYSTEM_INVISIBLE)) return;
  Style = static_cast<DWORD>(GetWindowLongW(Handle, GWL_STYLE));
  ExStyle = static_cast<DWORD>(GetWindowLongW(Handle, GWL_EXSTYLE));
  Enabled = IsWindowEnabled(Handle) != FALSE;
  const HWND focus = GetFocus();
  Focused = focus && (focus == Handle || IsChild(Handle, focus));
  const int state = ComboState(Enabled, Focused, State & kPainterPressed, State & kPainterHot);
  const int w = rect.right - rect.left, h = rect.bottom - rect.top;
  const int bw = GetSystemMetrics(SM_CXVSCROLL);
  const bool left = (ExStyle & WS_EX_LEFTSCROLLBAR) != 0;
  auto toRect = [&](const TSliceRect& r) { return RECT{rect.left + r.Left, rect.top + r.Top, rect.left + r.Right, rect.top + r.Bottom}; };

  switch (button->Style) {
    case 1: {
      const int frames = FramesOf(*button);
      const int glyphW = button->Bitmap.Width / frames;
      const RECT inner{rect.left + 1, rect.top + 1, rect.right - 1, rect.bottom - 1};
      HBRUSH brush = static_cast<HBRUSH>(GetCurrentObject(dc, OBJ_BRUSH));
      FrameRect(dc, &inner, brush);
      ButtonRect = toRect(ComboButtonRect(w, h, 1, glyphW, button->Bitmap.Height, left));
      FillRect(dc, &ButtonRect, brush);
      FrameSolid(dc, rect, SkinColour(SkinData, kSlotButtonShadow));
      const int frame = (State & kPainterPressed) ? 2 : (State & kPainterHot) ? 4 : 1;
      DrawGlyphFrame(dc, ButtonRect, button->Bitmap, frames, frame);
      break;
    }
    case 2: {
      // The combined strip: border and button in one picture, its inner area magenta.
      ButtonRect = toRect(ComboButtonRect(w, h, 2, bw, 0, left));
      const TDataSkinObject* strip = left && HasPicture(skin.SunkEdge.get()) ? skin.SunkEdge.get() : button;
      DrawSkinFrame(dc, rect, strip->Bitmap, strip->Margins(), strip->Tile == 1, true, FramesOf(*strip), state);
      break;
    }
    default: {
      ButtonRect = toRect(ComboButtonRect(w, h, 0, bw, 0, left));
      const TSliceRect inner = ComboInnerRect(w, h, bw, left);
      const int saved = SaveDC(dc);
      if (!inner.Empty())
        ExcludeClipRect(dc, rect.left + inner.Left, rect.top + inner.Top, rect.left + inner.Right,
                        rect.top + inner.Bottom);
      if (HasPicture(skin.SunkEdge.get())) DrawSkinElement(dc, rect, *skin.SunkEdge, FramesOf(*skin.SunkEdge), state);
      DrawGlyphFrame(dc, ButtonRect, button->Bitmap, FramesOf(*button), state);
      RestoreDC(dc, saved);
      break;
    }
  }
}

// ---------------------------------------------------------------------------
// Date-time picker

TSkinDateTime::~TSkinDateTime() {
  delete ArrowButton;
  ArrowButton = nullptr;
}

void TSkinDateTime::AttachControl(TWinSkinForm* skinForm, TSkinData* skinData, bool changeColor, TCanvas* canvas) {
  if (Initialized) return;
  TSkinControl::AttachControl(skinForm, skinData, changeColor, canvas);
  if (!Initialized || ArrowButton) return;
  ArrowButton = new TArrowButton(nullptr);
  ArrowButton->Painter = this;
  ArrowButton->Picker = Control;
  ArrowButton->PickerWindow = Handle;
  ArrowButton->ButtonWidth = GetSystemMetrics(SM_CXVSCROLL);
  ArrowButton->SetParentWindow(Handle);
  ArrowButton->HandleNeeded();
  PlaceArrow();
}

void TSkinDateTime::Unskin() {
  TSkinControl::Unskin();
  if (Status != kPainterWindowGone && ArrowButton) ArrowButton->Hide();
}

void TSkinDateTime::PlaceArrow() {
  if (!ArrowButton || Status == kPainterWindowGone) return;
  RECT window{};
  if (!GetWindowRect(Handle, &window)) return;
  const int w = window.right - window.left, h = window.bottom - window.top;
  const bool left = (GetWindowLongW(Handle, GWL_EXSTYLE) & WS_EX_LEFTSCROLLBAR) != 0;
  const int bw = ArrowButton->ButtonWidth;
  const int x = left ? 2 : w - bw - 4;
  if (ArrowButton->Left() != x || ArrowButton->Top() != 0 || ArrowButton->Width() != bw ||
      ArrowButton->Height() != h - 4)
    ArrowButton->SetBounds(x, 0, bw, std::max(h - 4, 0));
  if (SkinActive && !ArrowButton->Visible()) ArrowButton->Show();
}

void TSkinDateTime::AfterProc(TMessage& message) {
  if (message.Msg == WM_SIZE) {
    PlaceArrow();
    if (ArrowButton) ArrowButton->Invalidate();
    return;
  }
  if (message.Msg == kMsgSkinSwitch && ArrowButton) ArrowButton->SetVisible(SkinActive);
  TSkinControl::AfterProc(message);
}

void TSkinDateTime::Paint(HDC dc, const RECT& rect) {
  if (!SkinData) return;
  RECT client{};
  GetClientRect(Handle, &client);
  if (client.right != rect.right - rect.left || client.bottom != rect.bottom - rect.top) {
    FrameSolid(dc, rect, SkinColour(SkinData, kSlotButtonShadow));
    FrameSolid(dc, {rect.left + 1, rect.top + 1, rect.right - 1, rect.bottom - 1}, RGB(255, 255, 255));
  }
  PlaceArrow();
}

TArrowButton::TArrowButton(TComponent* owner) : TCustomControl(owner) {}

void TArrowButton::Paint() {
  HDC dc = Canvas().Handle();
  if (!dc) return;
  const RECT r{0, 0, Width(), Height()};
  const TSkinData* data = Painter ? Painter->SkinData : nullptr;
  FillSolid(dc, r, SkinColour(data, kSlotButtonFace));
  const TDataSkinObject* arrow = data ? data->Skin().ComboxArrow.get() : nullptr;
  if (HasPicture(arrow)) DrawGlyphFrame(dc, r, arrow->Bitmap, FramesOf(*arrow), Hot ? 4 : 1);
}

void TArrowButton::WndProc(TMessage& message) {
  switch (message.Msg) {
    case kMsgIsSkinned:
      // Painted by itself: the dispatch leaves it alone.
      message.Result = 1;
      return;
    case CM_MOUSEENTER:
    case CM_MOUSELEAVE:
      Hot = message.Msg == CM_MOUSEENTER;
      Invalidate();
      break;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      if (PickerWindow) {
        // The picker opens its calendar for a press on its own button there.
        const int x = GET_X_LPARAM(message.LParam) + Left(), y = GET_Y_LPARAM(message.LParam) + Top();
        PostMessageW(PickerWindow, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
        PostMessageW(PickerWindow, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
      }
      message.Result = 0;
      return;
    case WM_LBUTTONUP:
      if (PickerWindow) ::SetFocus(PickerWindow);
      message.Result = 0;
      return;
    default:
      break;
  }
  TCustomControl::WndProc(message);
}

}  // namespace skin
