// Scroll-bar overlays and painters (see SkinScrollBars_win.h).
#include "skin/painters/SkinScrollBars_win.h"

#include <windowsx.h>

#include <algorithm>
#include <string>

#include "classlib/ControlMessages.h"
#include "skin/container/SkinDraw_win.h"
#include "skin/data/WinSkinData_win.h"

namespace skin {
namespace {

constexpr int kSlotShadow = 7;  // "ButtonShadow"
constexpr DWORD kStateUnavailable = 0x1, kStateInvisible = 0x8000;
constexpr UINT kMsgListScrolled = 0x1AE;  // a list box's own scroll notice
constexpr UINT kMsgReplaceScrollPainter = 0x3517;
constexpr UINT kMsgPaintBorderInto = 0xBC4B;
constexpr LPARAM kBorderMarker = 0x41A2;

uint64_t repositions = 0;
TListViewHeaderAttach headerAttach = nullptr;

template <class T>
TSkinControl* Make(TComponent* owner) {
  return new T(owner);
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return s;
}

RECT ToRect(const RECT& base, const TSliceRect& r) {
  return {base.left + r.Left, base.top + r.Top, base.left + r.Right, base.top + r.Bottom};
}

// The grip glyph's length along the bar: the strip's frames are square cells.
int GripLength(const TSkinData* data, bool vertical) {
  const auto& strip = data->Skin().Scrollbar;
  if (!strip || strip->Bitmap.Empty()) return 0;
  return vertical ? strip->Bitmap.Height : strip->Bitmap.Width / 23;
}

bool HasScrollImages(const TSkinData* data) {
  return data && data->Skin().Scrollbar && !data->Skin().Scrollbar->Bitmap.Empty();
}

// The class-library form that holds `control`: the top of its parent chain.
HWND FormWindowOf(TWinControl* control) {
  TWinControl* top = control;
  while (top && top->Parent()) top = top->Parent();
  return top && top->HandleAllocated() ? top->Handle() : nullptr;
}

void FrameOneColour(HDC dc, RECT r, COLORREF colour) {
  HBRUSH brush = CreateSolidBrush(colour);
  FrameRect(dc, &r, brush);
  DeleteObject(brush);
}

// Both bars' overlays are redrawn and the box between them filled (the painters'
// Paint).
void PaintBarsAndCorner(HWND window, TWScrollbar* horz, TWScrollbar* vert, const TSkinData* data, HDC windowDc) {
  const DWORD style = static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE));
  for (TWScrollbar* bar : {horz, vert}) {
    if (!bar) continue;
    if (bar->Shown)
      bar->Redraw();
    else if (style & (bar == horz ? WS_HSCROLL : WS_VSCROLL))
      bar->Reposition();
  }
  if (!horz || !vert || !horz->Shown || !vert->Shown || !windowDc) return;
  // The corner in the window's own frame: the bars are in its parent's client.
  RECT frame{};
  GetWindowRect(window, &frame);
  POINT origin{frame.left, frame.top};
  ScreenToClient(GetParent(window), &origin);
  RECT corner{vert->BarRect.left, horz->BarRect.top, vert->BarRect.right + 2, horz->BarRect.bottom + 2};
  OffsetRect(&corner, -origin.x, -origin.y);
  FillSolid(windowDc, corner, SkinColour(data, kSlotButtonFace));
}

}  // namespace

uint64_t ScrollOverlayRepositions() { return repositions; }

void SetListViewHeaderAttach(TListViewHeaderAttach attach) { headerAttach = attach; }

void DrawScrollBar(HDC dc, const RECT& rect, const TSkinData* data, const TScrollPaintPlan& plan, bool vertical) {
  if (!data) return;
  const TSkinModel& s = data->Skin();
  const auto& track = vertical ? s.VertScroll : s.HorzScroll;
  if (track && !track->Bitmap.Empty() && !plan.Track.Empty())
    DrawSlicedFrame(dc, ToRect(rect, plan.Track), track->Bitmap, false, track->Tile == 1, track->Trans != 0, 4,
                    plan.TrackFrame, track->Margins());
  if (s.Scrollbar && !s.Scrollbar->Bitmap.Empty()) {
    DrawGlyphFrame(dc, ToRect(rect, plan.FirstArrow), s.Scrollbar->Bitmap, 23, plan.FirstArrowFrame);
    DrawGlyphFrame(dc, ToRect(rect, plan.SecondArrow), s.Scrollbar->Bitmap, 23, plan.SecondArrowFrame);
  }
  if (plan.ThumbFrame > 0) {
    const auto& thumb = vertical ? s.VertScrollThumb : s.HorzScrollThumb;
    if (thumb && !thumb->Bitmap.Empty())
      DrawSlicedFrame(dc, ToRect(rect, plan.Thumb), thumb->Bitmap, false, false, thumb->Trans != 0,
                      std::max(thumb->Frame, 1), plan.ThumbFrame, thumb->Margins());
    if (plan.GripFrame > 0 && s.Scrollbar && !s.Scrollbar->Bitmap.Empty())
      DrawGlyphFrame(dc, ToRect(rect, plan.Grip), s.Scrollbar->Bitmap, 23, plan.GripFrame);
  }
}

// --- TWScrollbar ----------------------------------------------------------------------

TWScrollbar::TWScrollbar(TComponent* owner) : TCustomPanel(owner) {
  TabStop = false;
  BevelOuter = TPanelBevel::bvNone;
  SetVisible(false);
  ArrowSize = GetSystemMetrics(SM_CXVSCROLL);
}

TWScrollbar::~TWScrollbar() { *alive_ = false; }

void TWScrollbar::CreateParams(TCreateParams& params) {
  TCustomPanel::CreateParams(params);
  params.ExStyle |= WS_EX_TOOLWINDOW;
  params.Style &= ~static_cast<DWORD>(WS_TABSTOP);
  params.Style |= WS_CLIPSIBLINGS;
}

void TWScrollbar::Init(TSkinControl* painter, HWND target, uint8_t kind) {
  Painter = painter;
  Target = target;
  OrigKind = Kind = kind;
  if (painter) SetColor(static_cast<TColor>(SkinColour(painter->SkinData, kSlotButtonFace)));
  SetParentWindow(GetParent(target));
  HandleNeeded();
  Reposition();
}

void TWScrollbar::InitControl(TSkinControl* painter, TWinControl* control, uint8_t kind) {
  TargetControl = control;
  if (kind == kBarControl) {
    Init(painter, control->Handle(), kind);
    Kind = Lower(ReadEnumProp(control, "Kind")) == "sbhorizontal" ? kBarHorizontal : kBarVertical;
    Reposition();
    return;
  }
  Init(painter, control->Handle(), kind);
}

void TWScrollbar::InitWindow(TSkinControl* painter, HWND handle, uint8_t kind) {
  TargetControl = nullptr;
  Init(painter, handle, kind);
}

bool TWScrollbar::ReadBarInfo(TBarInfo& info) const {
  if (!Target || !IsWindow(Target)) return false;
  if (OrigKind != kBarControl) {
    SCROLLBARINFO sbi{};
    if (!SkinGetScrollBarInfo(Target, Kind == kBarVertical ? OBJID_VSCROLL : OBJID_HSCROLL, sbi)) return false;
    // A disabled window's bar takes no input either, whatever the bar's own flags say.
    info.State = sbi.rgstate[0] | (IsWindowEnabled(Target) ? 0 : kStateUnavailable);
    info.Bar = sbi.rcScrollBar;
    info.Thumb = {sbi.xyThumbTop, sbi.xyThumbBottom};
    return true;
  }
  // A scroll-bar control: the whole window is the bar.
  GetWindowRect(Target, &info.Bar);
  info.State = (IsWindowVisible(Target) ? 0 : kStateInvisible) | (IsWindowEnabled(Target) ? 0 : kStateUnavailable);
  SCROLLINFO si{};
  si.cbSize = sizeof si;
  si.fMask = SIF_ALL;
  if (!GetScrollInfo(Target, SB_CTL, &si)) return false;
  const int length = Kind == kBarVertical ? info.Bar.bottom - info.Bar.top : info.Bar.right - info.Bar.left;
  info.Thumb = ControlThumbSpan(length, ArrowSize, {si.nMin, si.nMax, static_cast<int32_t>(si.nPage), si.nPos}, true);
  return true;
}

void TWScrollbar::Reposition() {
  TBarInfo info;
  const bool visible = Target && (GetWindowLongW(Target, GWL_STYLE) & WS_VISIBLE);
  if (!ReadBarInfo(info) || !visible || (info.State & kStateInvisible) || IsRectEmpty(&info.Bar)) {
    HideBar();
    return;
  }
  RECT r = info.Bar;
  MapWindowPoints(nullptr, GetParent(Target), reinterpret_cast<POINT*>(&r), 2);
  BarRect = r;
  ++repositions;
  HWND self = Handle();
  HWND above = GetWindow(Target, GW_HWNDPREV);
  // Just above the target, so that the target's siblings keep their order.
  if (above != self)
    SetWindowPos(self, above ? above : HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  SetBounds(r.left, r.top, r.right - r.left, r.bottom - r.top);
  if (!Visible()) SetVisible(true);
  Shown = 1;
}

void TWScrollbar::HideBar() {
  if (Visible()) SetVisible(false);
  Shown = 0;
}

void TWScrollbar::Redraw() {
  if (!Shown || !HandleAllocated()) return;
  HWND h = Handle();
  if (HDC dc = GetDC(h)) {
    PaintBar(dc);
    ReleaseDC(h, dc);
  }
}

void TWScrollbar::Paint() { PaintBar(Canvas().Handle()); }

void TWScrollbar::PaintBar(HDC dc) {
  const TSkinData* data = Painter ? Painter->SkinData : nullptr;
  if (!dc || !HasScrollImages(data)) return;
  TBarInfo info;
  if (!ReadBarInfo(info) || (info.State & kStateInvisible)) return;
  RECT client{};
  GetClientRect(Handle(), &client);
  const bool vertical = Vertical();
  TrackLength = vertical ? client.bottom : client.right;
  if (Pressed && HotPart == kPartThumb && OrigKind != kBarControl) {
    POINT cursor{};
    GetCursorPos(&cursor);
    const int moved = vertical ? cursor.y - DownCursor.y : cursor.x - DownCursor.x;
    const TThumbSpan t = DragThumb(DownThumbPos, moved, ArrowSize, TrackLength, ThumbEnd - ThumbStart);
    ThumbStart = t.Start;
    ThumbEnd = t.End;
  } else {
    ThumbStart = info.Thumb.Start;
    ThumbEnd = info.Thumb.End;
  }
  // A scroll-bar control thicker than the skin's bar shows the bar at its own
  // thickness, not stretched across the control.
  RECT bar = client;
  if (OrigKind == kBarControl) {
    const int thick = SkinBarThickness(data->Skin().Scrollbar->Bitmap.Height, ArrowSize);
    if (vertical) bar.right = std::min<LONG>(bar.right, thick);
    else bar.bottom = std::min<LONG>(bar.bottom, thick);
  }
  TScrollPaintFacts f;
  f.Vertical = vertical;
  f.Width = bar.right;
  f.Height = bar.bottom;
  f.Arrow = ArrowSize;
  f.Enabled = !(info.State & kStateUnavailable);
  f.HotPart = HotPart;
  f.Pressed = Pressed != 0;
  f.Thumb = {ThumbStart, ThumbEnd};
  f.GripLength = GripLength(data, vertical);
  TDoubleBuffer buffer(dc, client, buffer_);
  if (!buffer.Dc()) return;
  FillBackground(buffer.Dc(), buffer.Rect(), data);
  const RECT& all = buffer.Rect();
  DrawScrollBar(buffer.Dc(), {all.left, all.top, all.left + bar.right, all.top + bar.bottom}, data, PlanScrollPaint(f),
                vertical);
  buffer.Flush();
}

void TWScrollbar::WndProc(TMessage& message) {
  switch (message.Msg) {
    case kMsgIsSkinned: message.Result = 1; return;
    case WM_ERASEBKGND: message.Result = 1; return;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: MouseDown(message); return;
    case WM_LBUTTONUP: MouseUp(message); return;
    case WM_MOUSEMOVE: MouseMoved(message); return;
    case WM_MOUSELEAVE:
      if (!Pressed) {
        HotPart = kPartNone;
        Redraw();
      }
      message.Result = 0;
      return;
    default: TCustomPanel::WndProc(message);
  }
}

void TWScrollbar::MouseDown(TMessage& message) {
  message.Result = 0;
  const POINT local{GET_X_LPARAM(message.LParam), GET_Y_LPARAM(message.LParam)};
  GetCursorPos(&DownCursor);
  TBarInfo info;
  if (ReadBarInfo(info)) {
    ThumbStart = info.Thumb.Start;
    ThumbEnd = info.Thumb.End;
  }
  if (OrigKind == kBarControl && TargetControl) {
    // The press reads the control's own values, without the painted thumb's minimum.
    const TScrollRange r{static_cast<int32_t>(ReadIntProp(TargetControl, "Min")),
                         static_cast<int32_t>(ReadIntProp(TargetControl, "Max")),
                         static_cast<int32_t>(ReadIntProp(TargetControl, "PageSize")),
                         static_cast<int32_t>(ReadIntProp(TargetControl, "Position"))};
    const TThumbSpan t = ControlThumbSpan(TrackLength, ArrowSize, r, false);
    ThumbStart = t.Start;
    ThumbEnd = t.End;
  }
  DownThumbPos = ThumbStart;
  DownOffset = {BarRect.left, BarRect.top};
  Pressed = 1;
  HotPart = ScrollHitTest(Vertical() ? local.y : local.x, ArrowSize, {ThumbStart, ThumbEnd}, TrackLength);
  Redraw();
  ReleaseCapture();
  // The target's own tracking runs inside this call, until the button is released.
  const std::shared_ptr<bool> alive = alive_;
  POINT screen = local;
  ::ClientToScreen(Handle(), &screen);
  if (OrigKind != kBarControl) {
    SendMessageW(Target, WM_NCLBUTTONDOWN, Kind == kBarVertical ? HTVSCROLL : HTHSCROLL, MAKELPARAM(screen.x, screen.y));
  } else {
    POINT client = screen;
    ScreenToClient(Target, &client);
    SendMessageW(Target, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(client.x, client.y));
  }
  if (!*alive) return;
  Pressed = 0;
  Redraw();
}

void TWScrollbar::MouseUp(TMessage& message) {
  message.Result = 0;
  POINT screen{GET_X_LPARAM(message.LParam), GET_Y_LPARAM(message.LParam)};
  ::ClientToScreen(Handle(), &screen);
  Pressed = 0;
  ReleaseCapture();
  if (OrigKind != kBarControl) {
    PostMessageW(Target, WM_NCLBUTTONUP, Kind == kBarVertical ? HTVSCROLL : HTHSCROLL, MAKELPARAM(screen.x, screen.y));
  } else {
    ScreenToClient(Target, &screen);
    PostMessageW(Target, WM_LBUTTONUP, 0, MAKELPARAM(screen.x, screen.y));
    Redraw();
  }
}

void TWScrollbar::MouseMoved(TMessage& message) {
  message.Result = 0;
  const POINT local{GET_X_LPARAM(message.LParam), GET_Y_LPARAM(message.LParam)};
  if (Pressed && HotPart == kPartThumb && OrigKind != kBarControl) {
    Redraw();
  } else {
    const int part = ScrollHitTest(Vertical() ? local.y : local.x, ArrowSize, {ThumbStart, ThumbEnd}, TrackLength);
    if (part != HotPart) {
      HotPart = part;
      Redraw();
    }
  }
  SkinTrackMouseLeave(Handle());
}

// --- TSkinScrollbar --------------------------------------------------------------------

TSkinScrollbar::TSkinScrollbar(TComponent* owner) : TSkinControl(owner) {
  const DWORD version = GetVersion();
  NewThemes = !(version & 0x80000000u) && (LOBYTE(LOWORD(version)) >= 5) && (HIBYTE(LOWORD(version)) >= 1);
}

TSkinScrollbar::~TSkinScrollbar() = default;

void TSkinScrollbar::AttachScroll(TWinControl* control, TSkinData* skinData, TWinSkinForm* skinForm, TCanvas* canvas) {
  if (Initialized || !control) return;
  Control = control;
  SkinData = skinData;
  SkinForm = skinForm;
  Canvas = canvas;
  Handle = control->Handle();
  IsUnicode = IsWindowUnicode(Handle) != FALSE;
  Enabled = control->Enabled();
  JoinForm(SkinForm, this);
  DrawBorder = Lower(ReadEnumProp(control, "BorderStyle")) != "bsnone" && !control->IsNamed("TImageScrollBox") &&
               !SingleBar;
  if (const TPropInfo* fixed = GetPropInfo(control, "FixedColor"); fixed && fixed->Kind == TTypeKind::tkInteger) {
    SavedFixedColor = ReadIntProp(control, "FixedColor");
    FixedColorChanged = 1;
    WritePropText(control, "FixedColor", std::to_string(static_cast<int64_t>(ButtonFace())));
  }
  // The native bar then never draws over its overlay, whatever redraws it.
  SetWindowLongW(Handle, GWL_STYLE, GetWindowLongW(Handle, GWL_STYLE) | WS_CLIPSIBLINGS);
  HorzBar = std::make_unique<TWScrollbar>();
  HorzBar->InitControl(this, control, kBarHorizontal);
  VertBar = std::make_unique<TWScrollbar>();
  VertBar->InitControl(this, control, kBarVertical);
  if (!control->Visible()) HideBars();
  HookWindowProc(control);
  Initialized = true;
  Status = kPainterAttached;
}

void TSkinScrollbar::RepositionBars() {
  if (HorzBar) HorzBar->Reposition();
  if (VertBar) VertBar->Reposition();
}

void TSkinScrollbar::HideBars() {
  if (HorzBar) HorzBar->HideBar();
  if (VertBar) VertBar->HideBar();
}

void TSkinScrollbar::RedrawShownBars() {
  if (HorzBar) HorzBar->Redraw();
  if (VertBar) VertBar->Redraw();
}

void TSkinScrollbar::PaintBorder(HDC dc) {
  RECT r{};
  if (!dc || !GetWindowRect(Handle, &r)) return;
  OffsetRect(&r, -r.left, -r.top);
  FrameOneColour(dc, r, SkinColour(SkinData, kSlotShadow));
  InflateRect(&r, -1, -1);
  FrameOneColour(dc, r, ButtonFace());
}

bool TSkinScrollbar::BeforeProc(TMessage& message) {
  if (message.Msg == WM_NCPAINT && DrawBorder) {
    CallOldProc(message);
    if (HDC dc = GetWindowDC(Handle)) {
      PaintBorder(dc);
      ReleaseDC(Handle, dc);
    }
    return false;
  }
  return TSkinControl::BeforeProc(message);
}

void TSkinScrollbar::AfterProc(TMessage& message) {
  switch (message.Msg) {
    case WM_MOUSEWHEEL: RedrawShownBars(); return;
    case WM_SIZE:
    case WM_WINDOWPOSCHANGED:
      Resized = 1;
      RepositionBars();
      return;
    case WM_HSCROLL:
    case WM_VSCROLL: {
      TWScrollbar* bar = message.Msg == WM_HSCROLL ? HorzBar.get() : VertBar.get();
      if (!bar) return;
      bar->HotPart = LOWORD(message.WParam);
      bar->Redraw();
      return;
    }
    case CM_VISIBLECHANGED:
      if (message.WParam) RepositionBars();
      else HideBars();
      return;
    case CM_ENABLEDCHANGED:
      for (TWScrollbar* bar : {HorzBar.get(), VertBar.get()})
        if (bar && Control) bar->SetEnabled(Control->Enabled());
      TSkinControl::AfterProc(message);
      return;
    case CM_RECREATEWND:
      if (HWND form = FormWindowOf(Control)) PostMessageW(form, kMsgReplaceScrollPainter, reinterpret_cast<WPARAM>(Handle), 0);
      return;
    case kMsgPaintBorderInto:
      if (message.LParam != kBorderMarker) break;
      PaintBorder(reinterpret_cast<HDC>(message.WParam));
      message.Result = kBorderMarker;
      return;
    default: break;
  }
  TSkinControl::AfterProc(message);
}

void TSkinScrollbar::Paint(HDC dc, const RECT&) {
  PaintBarsAndCorner(Handle, HorzBar.get(), VertBar.get(), SkinData, dc);
}

void TSkinScrollbar::Unskin() {
  if (FixedColorChanged && Control && Status != kPainterWindowGone)
    WritePropText(Control, "FixedColor", std::to_string(SavedFixedColor));
  FixedColorChanged = 0;
  TSkinControl::Unskin();
  if (Status != kPainterWindowGone) {
    HorzBar.reset();
    VertBar.reset();
  }
}

void TSkinScrollbar::Reskin() {
  if (FixedColorChanged && Control) WritePropText(Control, "FixedColor", std::to_string(static_cast<int64_t>(ButtonFace())));
  TSkinControl::Reskin();
}

void TSkinListView::AttachScroll(TWinControl* control, TSkinData* skinData, TWinSkinForm* skinForm, TCanvas* canvas) {
  TSkinScrollbar::AttachScroll(control, skinData, skinForm, canvas);
  if (!Initialized || !headerAttach) return;
  constexpr UINT kGetHeader = 0x101F;  // LVM_GETHEADER
  if (HWND header = reinterpret_cast<HWND>(SendMessageW(Handle, kGetHeader, 0, 0))) headerAttach(*this, header);
}

// --- TSkinScrollbarH --------------------------------------------------------------------

TSkinScrollbarH::TSkinScrollbarH(TComponent* owner) : TSkinControl(owner) {}
TSkinScrollbarH::~TSkinScrollbarH() = default;

void TSkinScrollbarH::AttachWindow(HWND handle, TSkinData* skinData, TWinSkinForm* skinForm, TCanvas* canvas) {
  TSkinControl::AttachWindow(handle, skinData, skinForm, canvas);
  SetWindowLongW(handle, GWL_STYLE, GetWindowLongW(handle, GWL_STYLE) | WS_CLIPSIBLINGS);
  HorzBar = std::make_unique<TWScrollbar>();
  HorzBar->InitWindow(this, handle, kBarHorizontal);
  VertBar = std::make_unique<TWScrollbar>();
  VertBar->InitWindow(this, handle, kBarVertical);
  Status = kPainterAttached;
}

void TSkinScrollbarH::AfterProc(TMessage& message) {
  if (!IsWindowVisible(Handle)) {
    if (HorzBar) HorzBar->HideBar();
    if (VertBar) VertBar->HideBar();
  }
  switch (message.Msg) {
    case WM_SIZE:
    case WM_NCPAINT:
      for (TWScrollbar* bar : {HorzBar.get(), VertBar.get()})
        if (bar) {
          bar->Reposition();
          bar->Redraw();
        }
      break;
    case WM_HSCROLL:
      if (HorzBar) HorzBar->Redraw();
      break;
    case WM_VSCROLL:
      if (VertBar) VertBar->Redraw();
      break;
    default: break;
  }
  TSkinControl::AfterProc(message);
}

void TSkinScrollbarH::Paint(HDC dc, const RECT&) {
  PaintBarsAndCorner(Handle, HorzBar.get(), VertBar.get(), SkinData, dc);
}

void TSkinScrollbarH::Unskin() {
  TSkinControl::Unskin();
  if (Status != kPainterWindowGone) {
    HorzBar.reset();
    VertBar.reset();
  }
}

// --- TComboxScrollBar --------------------------------------------------------------------

TComboxScrollBar::TComboxScrollBar(TComponent* owner) : TSkinControl(owner) {
  ArrowSize = GetSystemMetrics(SM_CXVSCROLL);
}

TComboxScrollBar::~TComboxScrollBar() { *alive_ = false; }

void TComboxScrollBar::AttachWindow(HWND handle, TSkinData* skinData, TWinSkinForm* skinForm, TCanvas* canvas) {
  TSkinControl::AttachWindow(handle, skinData, skinForm, canvas);
}

int TComboxScrollBar::PartAt(POINT screen) {
  SCROLLBARINFO sbi{};
  if (!SkinGetScrollBarInfo(Handle, OBJID_VSCROLL, sbi) || (sbi.rgstate[0] & kStateInvisible) ||
      !PtInRect(&sbi.rcScrollBar, screen))
    return kPartNone;
  return ScrollHitTest(screen.y - sbi.rcScrollBar.top, ArrowSize, {sbi.xyThumbTop, sbi.xyThumbBottom},
                       sbi.rcScrollBar.bottom - sbi.rcScrollBar.top);
}

bool TComboxScrollBar::BeforeProc(TMessage& message) {
  switch (message.Msg) {
    case WM_NCMOUSEMOVE:
      if (message.WParam == HTHSCROLL || message.WParam == HTVSCROLL) {
        const int part = PartAt({GET_X_LPARAM(message.LParam), GET_Y_LPARAM(message.LParam)});
        if (part != HotPart) {
          HotPart = part;
          PaintWindow(nullptr);
        }
        message.Result = 0;
        return false;
      }
      break;
    case WM_NCLBUTTONDOWN:
      if (message.WParam == HTVSCROLL && TrackThumbLoop({GET_X_LPARAM(message.LParam), GET_Y_LPARAM(message.LParam)})) {
        message.Result = 0;
        return false;
      }
      break;
    case WM_CAPTURECHANGED:
    case WM_CANCELMODE:
      if (Tracking) cancelled_ = true;
      break;
    default: break;
  }
  return TSkinControl::BeforeProc(message);
}

void TComboxScrollBar::AfterProc(TMessage& message) {
  switch (message.Msg) {
    case WM_NCPAINT:
    case WM_HSCROLL:
    case WM_VSCROLL:
    case kMsgListScrolled: PaintWindow(nullptr); break;
    default: break;
  }
  TSkinControl::AfterProc(message);
}

void TComboxScrollBar::PaintWindow(HDC dc) {
  if (!Handle || Status == kPainterWindowGone) return;
  HDC target = dc ? dc : GetWindowDC(Handle);
  if (!target) return;
  Paint(target, {});
  if (!dc) ReleaseDC(Handle, target);
}

void TComboxScrollBar::Paint(HDC dc, const RECT&) {
  if (!HasScrollImages(SkinData)) return;
  SCROLLBARINFO sbi{};
  if (!SkinGetScrollBarInfo(Handle, OBJID_VSCROLL, sbi) || (sbi.rgstate[0] & kStateInvisible)) return;
  RECT window{};
  GetWindowRect(Handle, &window);
  RECT bar = sbi.rcScrollBar;
  OffsetRect(&bar, -window.left, -window.top);
  TScrollPaintFacts f;
  f.Vertical = true;
  f.Width = bar.right - bar.left;
  f.Height = bar.bottom - bar.top;
  f.Arrow = ArrowSize;
  f.Enabled = !(sbi.rgstate[0] & kStateUnavailable);
  f.HotPart = HotPart;
  f.Pressed = Pressed != 0;
  f.Thumb = Tracking ? TrackThumb : TThumbSpan{sbi.xyThumbTop, sbi.xyThumbBottom};
  f.GripLength = GripLength(SkinData, true);
  TDoubleBuffer buffer(dc, bar);
  if (!buffer.Dc()) return;
  FillBackground(buffer.Dc(), buffer.Rect(), SkinData);
  DrawScrollBar(buffer.Dc(), buffer.Rect(), SkinData, PlanScrollPaint(f), true);
  buffer.Flush();
}

bool TComboxScrollBar::TrackThumbLoop(POINT down) {
  SCROLLBARINFO sbi{};
  if (Tracking || !SkinGetScrollBarInfo(Handle, OBJID_VSCROLL, sbi)) return false;
  const int barTop = sbi.rcScrollBar.top;
  if (down.y < barTop + sbi.xyThumbTop || down.y >= barTop + sbi.xyThumbBottom) return false;
  SCROLLINFO si{};
  si.cbSize = sizeof si;
  si.fMask = SIF_ALL;
  if (!GetScrollInfo(Handle, SB_VERT, &si)) return false;
  const TScrollRange range{si.nMin, si.nMax, static_cast<int32_t>(si.nPage), si.nPos};
  const int barLength = sbi.rcScrollBar.bottom - sbi.rcScrollBar.top;
  const int thumb = sbi.xyThumbBottom - sbi.xyThumbTop;
  const int offset0 = sbi.xyThumbTop - ArrowSize;
  const int track = barLength - 2 * ArrowSize;
  const HWND list = Handle;
  const std::shared_ptr<bool> alive = alive_;
  SetCapture(list);
  Tracking = true;
  cancelled_ = false;
  Pressed = 1;
  HotPart = kPartThumb;
  TrackThumb = {sbi.xyThumbTop, sbi.xyThumbBottom};
  int32_t position = si.nPos;
  bool quit = false;
  WPARAM quitCode = 0;
  // Waits for input rather than spinning; ends on the button's release, on a lost
  // capture or cancelled mode, on the list's end and on WM_QUIT (posted again).
  for (;;) {
    if (!*alive || !IsWindow(list) || cancelled_ || GetCapture() != list) break;
    MSG msg;
    if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      WaitMessage();
      continue;
    }
    if (msg.message == WM_QUIT) {
      quit = true;
      quitCode = msg.wParam;
      break;
    }
    if (msg.message == WM_LBUTTONUP || msg.message == WM_NCLBUTTONUP) {
      SendMessageW(list, WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, position), 0);
      PostMessageW(list, WM_VSCROLL, SB_ENDSCROLL, 0);
      break;
    }
    if (msg.message == WM_MOUSEMOVE || msg.message == WM_NCMOUSEMOVE) {
      DispatchMessageW(&msg);
      if (!*alive || !IsWindow(list)) break;
      POINT cursor{};
      GetCursorPos(&cursor);
      const int moved = cursor.y - down.y;
      TrackThumb = DragThumb(sbi.xyThumbTop, moved, ArrowSize, barLength, thumb);
      const int32_t next = ComboTrackPosition(offset0, moved, track, thumb, range);
      if (next != position) {
        position = next;
        SendMessageW(list, WM_VSCROLL, MAKEWPARAM(SB_THUMBTRACK, position), 0);
      }
      if (*alive) PaintWindow(nullptr);
      continue;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  if (*alive) {
    Tracking = false;
    Pressed = 0;
    cancelled_ = false;
    if (IsWindow(list)) PaintWindow(nullptr);
  }
  if (GetCapture() == list) ReleaseCapture();
  if (quit) PostQuitMessage(static_cast<int>(quitCode));
  return true;
}

void RegisterScrollBarPainters() {
  SetPainterFactory(TPainterKind::Scrollbar, &Make<TSkinScrollbar>);
  SetPainterFactory(TPainterKind::ListView, &Make<TSkinListView>);
}

}  // namespace skin
