// Edit and up-down painters.
#include "skin/painters/SkinEdits_win.h"

#include <algorithm>
#include <cctype>
#include <string>

#include <commctrl.h>

#include "skin/data/WinSkinData_win.h"
#include "skin/painters/SkinFamily_win.h"
#include "skin/painters/SkinInputRules.h"

namespace skin {

// ---------------------------------------------------------------------------
// Edit

void TSkinEdit::AfterProc(TMessage& message) {
  switch (message.Msg) {
    case WM_PAINT:
      PaintWindow(reinterpret_cast<HDC>(message.WParam));
      break;
    case WM_PRINT:
      PrintBorder(reinterpret_cast<HDC>(message.WParam));
      break;
    case kMsgPaintThrough:
      if (message.LParam == kFrameMarker) {
        if (message.WParam) {
          TMessage paint{WM_PAINT, message.WParam, 0, 0};
          CallOldProc(paint);
        }
        message.Result = kFrameMarker;
      }
      break;
    default:
      TSkinControl::AfterProc(message);
      break;
  }
}

void TSkinEdit::PrintBorder(HDC given) {
  RECT window{}, client{};
  if (!GetWindowRect(Handle, &window) || !GetClientRect(Handle, &client)) return;
  const int w = window.right - window.left, h = window.bottom - window.top;
  if (w < client.right + 2 || h < client.bottom + 2) return;
  HDC dc = given ? given : GetWindowDC(Handle);
  if (!dc) return;
  const RECT inner{1, 1, w - 1, h - 1};
  FrameRect(dc, &inner, static_cast<HBRUSH>(GetCurrentObject(dc, OBJ_BRUSH)));
  FrameSolid(dc, {0, 0, w, h}, SkinColour(SkinData, kSlotButtonShadow));
  if (!given) ReleaseDC(Handle, dc);
}

HWND FindUpDownChild(HWND parent, bool spinNames, bool visibleOnly) {
  for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    char name[101] = {};
    GetClassNameA(child, name, sizeof name);
    std::string lower = name;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const bool match = lower == "msctls_updown32" || (spinNames && (lower.find("spin") != std::string::npos ||
                                                                     lower.find("updown") != std::string::npos));
    if (match && (!visibleOnly || IsWindowVisible(child))) return child;
  }
  return nullptr;
}

TSkinUpDown* AttachChildUpDown(TSkinControl* owner, HWND child) {
  // The dispatch may have reached the child already.
  if (!child || SendMessageW(child, kMsgIsSkinned, 0, 0) == 1) return nullptr;
  auto* upDown = new TSkinUpDown(owner);
  upDown->AttachWindow(child, owner->SkinData, nullptr, owner->Canvas);
  return upDown;
}

void TSkinEdit::Unskin() {
  TSkinControl::Unskin();
  if (UpDown) UpDown->Unskin();
}

void TSkinEdit::Paint(HDC dc, const RECT& rect) {
  if (!SkinData) return;
  if (!UpDown && SkinData->SkinControls.Contains(TSkinControlType::xcSpin)) {
    UpDown = AttachChildUpDown(this, FindUpDownChild(Handle, true, false));
    if (UpDown) UpDown->Buddy = true;
  }
  RECT client{};
  GetClientRect(Handle, &client);
  const int w = rect.right - rect.left, h = rect.bottom - rect.top;
  if (client.right >= w || client.bottom >= h) return;
  FrameSolid(dc, rect, SkinColour(SkinData, kSlotButtonShadow));
  // White inside it, over the rest of the border only (never over the text).
  const int border = std::min((w - client.right) / 2, (h - client.bottom) / 2);
  for (int i = 1; i <= 2 && i < border; i++)
    FrameSolid(dc, {rect.left + i, rect.top + i, rect.right - i, rect.bottom - i}, RGB(255, 255, 255));
}

// ---------------------------------------------------------------------------
// Up-down

bool TSkinUpDown::BeforeProc(TMessage& message) {
  switch (message.Msg) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      // The control runs its own press (and its repeat loop) first.
      CallOldProc(message);
      if (Status == kPainterWindowGone) return false;
      State |= kPainterPressed;
      Refresh();
      return false;
    case WM_LBUTTONUP:
      State &= static_cast<uint8_t>(~kPainterPressed);
      CallOldProc(message);
      if (Status != kPainterWindowGone) Refresh();
      return false;
    case WM_PAINT:
      PaintMessage(message);
      return false;
    case WM_ERASEBKGND:
      if (!Control || Buddy) {
        RECT client{};
        GetClientRect(Handle, &client);
        FillSolid(reinterpret_cast<HDC>(message.WParam), client, RGB(255, 255, 255));
        message.Result = 1;
        return false;
      }
      return true;
    default:
      return TSkinControl::BeforeProc(message);
  }
}

void TSkinUpDown::AfterProc(TMessage& message) {
  switch (message.Msg) {
    case WM_MOUSEMOVE:
      // The hot half follows the cursor.
      if (!(State & kPainterHot)) {
        State |= kPainterHot;
        SkinTrackMouseLeave(Handle);
      }
      Refresh();
      break;
    case WM_MOUSELEAVE:
      State = 0;
      Refresh();
      break;
    case WM_CAPTURECHANGED:
      if (State & kPainterPressed) {
        State &= static_cast<uint8_t>(~kPainterPressed);
        Refresh();
      }
      break;
    default:
      TSkinControl::AfterProc(message);
      break;
  }
}

void TSkinUpDown::Paint(HDC dc, const RECT& rect) {
  if (!SkinData) return;
  Enabled = IsWindowEnabled(Handle) != FALSE;
  const bool horizontal = Horizontal || (GetWindowLongW(Handle, GWL_STYLE) & UDS_HORZ) != 0;
  const TSkinModel& skin = SkinData->Skin();
  const TDataSkinBorder* element = horizontal ? skin.UpDownHorz.get() : skin.UpDownVert.get();
  // An up-down has no border: its client area is the whole window.
  RECT client{};
  GetClientRect(Handle, &client);
  TDoubleBuffer buffer(dc, {rect.left, rect.top, rect.left + client.right, rect.top + client.bottom}, Buffer);
  if (!buffer.Dc()) return;
  FillSolid(buffer.Dc(), buffer.Rect(), Buddy ? RGB(255, 255, 255) : SkinColour(SkinData, kSlotButtonFace));
  POINT cursor{};
  GetCursorPos(&cursor);
  ScreenToClient(Handle, &cursor);
  const TUpDownHalves halves = UpDownHalves(client.right, client.bottom, horizontal);
  const TSliceRect parts[2] = {halves.First, halves.Second};
  const bool inside = GetCapture() == Handle || (State & kPainterHot);
  for (int half = 0; half < 2; half++) {
    const TSliceRect& p = parts[half];
    const bool over = inside && cursor.x >= p.Left && cursor.x < p.Right && cursor.y >= p.Top && cursor.y < p.Bottom;
    const int state = UpDownHalfState(Enabled, over, (State & kPainterPressed) != 0);
    const RECT r{p.Left, p.Top, p.Right, p.Bottom};
    if (element && !element->Bitmap.Empty()) {
      const int frame = UpDownFrame(half, state);
      DrawSkinElement(buffer.Dc(), r, *element, std::max(element->Frame, 1), frame);
      if (!element->Border.Empty()) {
        const TSliceRect g = FrameRect(element->Border.Width, element->Border.Height, 8, frame, false);
        const TSliceRect at = CentredRect({r.left, r.top, r.right, r.bottom}, g.Width(), g.Height());
        DrawGlyphFrame(buffer.Dc(), {at.Left, at.Top, at.Right, at.Bottom}, element->Border, 8, frame);
      }
      continue;
    }
    // No element: a plain button with a line arrow.
    HPEN pen = CreatePen(PS_SOLID, 1, SkinColour(SkinData, kSlotButtonDkShadow));
    HBRUSH brush = CreateSolidBrush(SkinColour(SkinData, state == 1 || state == 3 ? kSlotButtonFace : kSlotButtonShadow));
    HGDIOBJ oldPen = SelectObject(buffer.Dc(), pen);
    HGDIOBJ oldBrush = SelectObject(buffer.Dc(), brush);
    Rectangle(buffer.Dc(), r.left, r.top, r.right, r.bottom);
    SelectObject(buffer.Dc(), oldBrush);
    DeleteObject(brush);
    const int cx = (r.left + r.right) / 2, cy = (r.top + r.bottom) / 2 - 2;
    for (const TLineSegment& s : LineArrow(UpDownArrowDirection(half, horizontal), cx, cy)) {
      MoveToEx(buffer.Dc(), s.X0, s.Y0, nullptr);
      LineTo(buffer.Dc(), s.X1, s.Y1);
    }
    SelectObject(buffer.Dc(), oldPen);
    DeleteObject(pen);
  }
  buffer.Flush();
}

// ---------------------------------------------------------------------------

void RegisterInputPainters() {
  SetPainterFactory(TPainterKind::Edit, &MakePainter<TSkinEdit>);
  SetPainterFactory(TPainterKind::UpDown, &MakePainter<TSkinUpDown>);
  SetPainterFactory(TPainterKind::ComBox, &MakePainter<TSkinComBox>);
  SetPainterFactory(TPainterKind::DateTime, &MakePainter<TSkinDateTime>);
  SetPainterFactory(TPainterKind::TrackBar, &MakePainter<TSkinTrackBar>);
  SetPainterFactory(TPainterKind::Progress, &MakePainter<TSkinProgress>);
}

}  // namespace skin
