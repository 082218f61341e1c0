// Push-button and container painters.
#include "skin/painters/SkinButtons_win.h"

#include <string>

#include "classlib/ControlMessages.h"
#include "classlib/ImgList_win.h"
#include "classlib/PngImage_win.h"
#include "classlib/StdCtrls_win.h"
#include "skin/painters/SkinMediaPlayer_win.h"
#include "skin/container/BitmapOps_win.h"
#include "skin/container/SkinDraw_win.h"
#include "skin/data/WinSkinData_win.h"
#include "skin/painters/SkinButtonRules.h"

namespace skin {
namespace {

constexpr int kTransparentTag = 5555;
constexpr UINT kMsgControlGoing = 0xB021;  // the class library's notice that a control goes

template <class T>
TSkinControl* Make(TComponent* owner) {
  return new T(owner);
}

bool SkinOwnColour(TSkinColor c) { return c != -1; }

}  // namespace

void TSkinButton::AttachControl(TWinSkinForm* skinForm, TSkinData* skinData, bool changeColor, TCanvas* canvas) {
  TSkinControl::AttachControl(skinForm, skinData, changeColor, canvas);
  if (!Control) return;
  Transparent = Control->Tag() == kTransparentTag ||
                (skinData && skinData->Options.Contains(TSkinOption::xoTransparent));
  std::string name = Control->ClassName();
  for (char& c : name) c = char(tolower(static_cast<unsigned char>(c)));
  PainterFlag = name.rfind("trz", 0) == 0 || name.rfind("tel", 0) == 0 ? 1 : 0;
}

int TSkinButton::FaceFrame() {
  const bool isDefault = Control && ReadEnumProp(Control, "Default") == "true";
  return ButtonFaceFrame(Enabled, Focused, isDefault, State & kPainterPressed, State & kPainterHot);
}

COLORREF TSkinButton::TextColour(int frame) {
  const TDataSkinButton* b = SkinData->Buttons();
  if (frame == 3) return GetSysColor(COLOR_BTNSHADOW);
  TSkinColor c = -1;
  if (frame == 4 && SkinOwnColour(b->MouseOverColour)) c = b->MouseOverColour;
  else if (frame == 2 && SkinOwnColour(b->PressedColour)) c = b->PressedColour;
  else if (SkinOwnColour(b->NormalColour)) c = b->NormalColour;
  return c != -1 ? ResolveColor(c, WinSysColor) : FontColour();
}

TObject* TSkinButton::Painted() const {
  return Control ? static_cast<TObject*>(Control) : static_cast<TObject*>(GraphicControl);
}

COLORREF TSkinButton::FontColour() {
  if (TObject* painted = Painted())
    if (auto* font = dynamic_cast<TFont*>(ReadObjectProp(painted, "Font", TFont::StaticClass())))
      return ResolveColor(static_cast<TSkinColor>(font->Color()), WinSysColor);
  return SkinColour(SkinData, kSlotButtonText);
}

namespace {

// Image `source` of `glyph` drawn at `at`, its bottom-left pixel transparent; with
// `greyed`, the embossed disabled look instead (raster operation 0xE20746: where the
// mask is black, the brush).
void DrawGlyph(HDC dc, TBitmap& glyph, const TSliceRect& source, POINT at, bool greyed) {
  const int w = source.Width(), h = source.Height();
  if (w <= 0 || h <= 0) return;
  HDC glyphDc = glyph.Canvas().Handle();
  if (!greyed) {
    HDC image = CreateCompatibleDC(dc);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, w, h);
    HGDIOBJ old = SelectObject(image, bitmap);
    BitBlt(image, 0, 0, w, h, glyphDc, source.Left, source.Top, SRCCOPY);
    const COLORREF key = GetPixel(image, 0, h - 1);
    SelectObject(image, old);
    DeleteDC(image);
    DrawTransparent(dc, {at.x, at.y, at.x + w, at.y + h}, bitmap, key);
    DeleteObject(bitmap);
    return;
  }
  HDC mono = CreateCompatibleDC(dc);
  HBITMAP monoBitmap = CreateBitmap(w, h, 1, 1, nullptr);
  HGDIOBJ oldMono = SelectObject(mono, monoBitmap);
  SetBkColor(glyphDc, GetPixel(glyphDc, source.Left, source.Bottom - 1));
  BitBlt(mono, 0, 0, w, h, glyphDc, source.Left, source.Top, SRCCOPY);  // background white
  SetTextColor(dc, RGB(0, 0, 0));
  SetBkColor(dc, RGB(255, 255, 255));
  for (int pass = 0; pass < 2; pass++) {
    HBRUSH brush = CreateSolidBrush(GetSysColor(pass == 0 ? COLOR_BTNHIGHLIGHT : COLOR_BTNSHADOW));
    HGDIOBJ oldBrush = SelectObject(dc, brush);
    BitBlt(dc, at.x + 1 - pass, at.y + 1 - pass, w, h, mono, 0, 0, 0xE20746);
    SelectObject(dc, oldBrush);
    DeleteObject(brush);
  }
  SelectObject(mono, oldMono);
  DeleteObject(monoBitmap);
  DeleteDC(mono);
}

}  // namespace

void TSkinBitButton::Paint(HDC dc, const RECT& rect) {
  if (!SkinData || !Control || SkinData->Buttons()->Bitmap.Width == 0) return;
  if (ReadEnumProp(Control, "Visible") == "false") return;
  TDoubleBuffer buffer(dc, rect, Buffer);
  const RECT r = buffer.Rect();
  const int frame = PaintFace(buffer.Dc(), r);
  DrawGlyphAndCaption(buffer.Dc(), r, frame, GlyphImageIndex(frame));
  buffer.Flush();
}

namespace {

// The image of the image-list path: "ImageIndex", or "DisabledIndex" when disabled
// (-1 there: the enabled image in its disabled look).
struct TListImage {
  TCustomImageList* List = nullptr;
  int Index = -1;
  bool Greyed = false;
};
TListImage ListImageOf(const TObject* painted, bool enabled) {
  TListImage image;
  image.List = dynamic_cast<TCustomImageList*>(ReadObjectProp(painted, "Images", TCustomImageList::StaticClass()));
  if (!image.List) return image;
  image.Index = static_cast<int>(ReadIntProp(painted, "ImageIndex"));
  if (!enabled) {
    const int disabled = static_cast<int>(ReadIntProp(painted, "DisabledIndex"));
    if (disabled >= 0) image.Index = disabled;
    else image.Greyed = true;
  }
  if (image.Index < 0 || image.Index >= image.List->Count()) image.List = nullptr;
  return image;
}

}  // namespace

void TSkinBitButton::DrawGlyphAndCaption(HDC out, const RECT& r, int frame, int index) {
  const TObject* painted = Painted();
  auto* glyph = dynamic_cast<TBitmap*>(ReadObjectProp(painted, "Glyph", TBitmap::StaticClass()));
  if (glyph && glyph->Width() <= 0) glyph = nullptr;
  TPngImage* png = PngGlyph(painted);
  const int count = GlyphCount(static_cast<int>(ReadIntProp(painted, "NumGlyphs")));
  TSliceRect source;
  TListImage listed;
  if (png) {
    source = {0, 0, png->Width(), png->Height()};
  } else if (glyph) {
    source = GlyphImageRect(glyph->Width(), glyph->Height(), count, index);
  } else if ((listed = ListImageOf(painted, frame != 3)).List) {
    source = {0, 0, listed.List->Width(), listed.List->Height()};
  }
  const TGlyphLayout layout = GlyphLayoutFromName(ReadEnumProp(painted, "Layout"));
  const bool across = layout == TGlyphLayout::Left || layout == TGlyphLayout::Right;

  const std::wstring text = AnsiToWide(SplitCaption(ReadStrProp(painted, "Caption")));
  HFONT font = nullptr;
  if (auto* f = dynamic_cast<TFont*>(ReadObjectProp(painted, "Font", TFont::StaticClass()))) font = f->Handle();
  HGDIOBJ oldFont = font ? SelectObject(out, font) : nullptr;
  const TSliceRect work{r.left + 2, r.top + 2, r.right - 2, r.bottom - 2};
  RECT measure{work.Left, work.Top, work.Right - (across ? source.Width() + 2 : 0),
               work.Bottom - (across ? 0 : source.Height() + 2)};
  int tw = 0, th = 0;
  if (!text.empty()) {
    SkinDrawText(out, text, measure, DT_CALCRECT | DT_WORDBREAK);
    tw = measure.right - measure.left;
    th = measure.bottom - measure.top;
  }
  const TBitButtonLayout placed =
      LayoutBitButton(work, source.Width(), source.Height(), tw, th, layout,
                      static_cast<int>(ReadIntProp(painted, "Margin")),
                      static_cast<int>(ReadIntProp(painted, "Spacing")),
                      ReadEnumProp(painted, "Alignment") == "tacenter");
  if (png) {
    png->Draw(out, placed.Glyph.Left, placed.Glyph.Top, index != 2);  // 2: the disabled image
  } else if (glyph && !source.Empty()) {
    DrawGlyph(out, *glyph, source, {placed.Glyph.Left, placed.Glyph.Top}, index == 2 && count == 1);
  } else if (listed.List) {
    TCanvas canvas;
    canvas.SetHandle(out);
    listed.List->Draw(canvas, placed.Glyph.Left, placed.Glyph.Top, listed.Index, !listed.Greyed);
    canvas.SetHandle(nullptr);
  }
  DrawPlacedCaption(out, text, {placed.Text.Left, placed.Text.Top, placed.Text.Right, placed.Text.Bottom},
                    placed.TextFlags, frame);
  if (oldFont) SelectObject(out, oldFont);
}

TPngImage* TSkinBitButton::PngGlyph(const TObject* painted) const {
  if (GlyphProperty.empty()) return nullptr;
  auto* png = dynamic_cast<TPngImage*>(ReadObjectProp(painted, GlyphProperty, TPngImage::StaticClass()));
  return png && !png->Empty() ? png : nullptr;
}

// ---------------------------------------------------------------------------

void TSkinSpeedButton::AttachGraphic(TWinSkinForm* skinForm, TSkinData* skinData, TCanvas* canvas) {
  if (Initialized) return;
  auto* control = dynamic_cast<TGraphicControl*>(Owner());
  if (!control) return;
  SkinData = skinData;
  SkinForm = skinForm;
  Canvas = canvas;
  GraphicControl = control;
  HookWindowProc(control);
  JoinForm(SkinForm, this);
  Transparent = control->Tag() == kTransparentTag ||
                (skinData && skinData->Options.Contains(TSkinOption::xoTransparent));
  control->Invalidate();
  Initialized = true;
  Status = kPainterAttached;
}

void TSkinSpeedButton::Paint(HDC dc, const RECT& rect) {
  if (!SkinData || !GraphicControl || SkinData->Buttons()->Bitmap.Width == 0) return;
  Enabled = ReadEnumProp(GraphicControl, "Enabled") == "true";
  Focused = false;
  const bool down = ReadEnumProp(GraphicControl, "Down") == "true";
  const int frame = SpeedButtonFrame(Enabled, State & kPainterPressed, State & kPainterHot, down);
  TDoubleBuffer buffer(dc, rect, Buffer);
  HDC out = buffer.Dc();
  const RECT r = buffer.Rect();
  // The parent has painted its background into `dc` already: that is what shows
  // through a transparent button.
  if (Transparent)
    BitBlt(out, 0, 0, r.right, r.bottom, dc, rect.left, rect.top, SRCCOPY);
  else
    FillBackground(out, r, SkinData);
  if (ReadEnumProp(GraphicControl, "Flat") != "true" || FlatShowsFace(frame)) {
    const TDataSkinButton* b = SkinData->Buttons();
    DrawSkinElement(out, r, *b, b->Frame, frame);
  }
  DrawGlyphAndCaption(out, r, frame, GlyphImageIndex(frame, down));
  buffer.Flush();
}

bool TSkinSpeedButton::BeforeProc(TMessage& message) {
  switch (message.Msg) {
    case WM_PAINT: {
      HDC dc = reinterpret_cast<HDC>(message.WParam);
      if (dc && !Painting && GraphicControl) {
        Painting = true;
        TCanvas& canvas = GraphicControl->Canvas();
        canvas.Lock();
        canvas.SetHandle(dc);
        Paint(dc, {0, 0, GraphicControl->Width(), GraphicControl->Height()});
        canvas.SetHandle(nullptr);
        canvas.Unlock();
        Painting = false;
      }
      message.Result = 1;
      return false;
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      CallOldProc(message);
      State |= kPainterPressed;
      Refresh();
      return false;
    case WM_LBUTTONUP:
      // The release may click, and the click may free the button with its painter:
      // the state is settled first and nothing is touched after.
      State &= uint8_t(~kPainterPressed);
      Refresh();
      CallOldProc(message);
      return false;
    default:
      return TSkinControl::BeforeProc(message);
  }
}

void TSkinSpeedButton::AfterProc(TMessage& message) {
  switch (message.Msg) {
    case CM_MOUSEENTER:
      State |= kPainterHot;
      Refresh();
      break;
    case CM_MOUSELEAVE:
      State &= uint8_t(~(kPainterHot | kPainterPressed));
      if (GraphicControl && GraphicControl->Visible()) Refresh();
      break;
    case WM_KEYDOWN:
    case WM_KEYUP:
      TrackSpaceKey(message);
      break;
    case kMsgControlGoing:
      // Nothing of this painter is touched after the hook is gone.
      ReleaseHooks();
      break;
    default:  // WM_ENABLE, the enabled and text notices: nothing
      break;
  }
}

int TSkinMenuButton::FaceFrame() {
  return MenuButtonFaceFrame(Enabled, Focused, State & kPainterPressed, State & kPainterHot);
}

void TSkinMenuButton::Paint(HDC dc, const RECT& rect) {
  auto* glyph = Control ? dynamic_cast<TBitmap*>(ReadObjectProp(Control, "Glyph", TBitmap::StaticClass())) : nullptr;
  if (!glyph || glyph->Width() <= 0 || glyph->Height() <= 0 || !SkinData || SkinData->Buttons()->Bitmap.Width == 0) {
    TSkinButton::Paint(dc, rect);
    return;
  }
  TDoubleBuffer buffer(dc, rect, Buffer);
  HDC out = buffer.Dc();
  const RECT r = buffer.Rect();
  const int frame = PaintFace(out, r);
  const std::wstring text = SplitCaption(CurrentCaption());
  HFONT font = nullptr;
  if (auto* f = dynamic_cast<TFont*>(ReadObjectProp(Control, "Font", TFont::StaticClass()))) font = f->Handle();
  HGDIOBJ oldFont = font ? SelectObject(out, font) : nullptr;
  const TSliceRect work{r.left + 2, r.top + 2, r.right - 2, r.bottom - 2};
  RECT measure{work.Left, work.Top, work.Right - glyph->Width() - 2, work.Bottom};
  if (!text.empty()) SkinDrawText(out, text, measure, DT_CALCRECT | DT_WORDBREAK);
  const int tw = text.empty() ? 0 : measure.right - measure.left, th = text.empty() ? 0 : measure.bottom - measure.top;
  const TBitButtonLayout placed =
      LayoutBitButton(work, glyph->Width(), glyph->Height(), tw, th, TGlyphLayout::Left, -1, -1, false);
  DrawGlyph(out, *glyph, {0, 0, glyph->Width(), glyph->Height()}, {placed.Glyph.Left, placed.Glyph.Top}, false);
  DrawPlacedCaption(out, text, {placed.Text.Left, placed.Text.Top, placed.Text.Right, placed.Text.Bottom},
                    placed.TextFlags, frame);
  if (oldFont) SelectObject(out, oldFont);
  buffer.Flush();
}

COLORREF TSkinMenuButton::TextColour(int frame) {
  const TDataSkinButton* b = SkinData->Buttons();
  if (frame == 3) return GetSysColor(COLOR_BTNSHADOW);
  const TSkinColor c = frame == 4 ? b->MouseOverColour : frame == 2 ? b->PressedColour
                       : frame == 1 ? b->NormalColour : -1;
  return SkinOwnColour(c) ? ResolveColor(c, WinSysColor) : FontColour();
}

int TSkinButton::PaintFace(HDC dc, const RECT& rect) {
  Enabled = (GetWindowLongW(Handle, GWL_STYLE) & WS_DISABLED) == 0;
  Focused = GetFocus() == Handle;
  const int frame = FaceFrame();
  if (Transparent)
    PaintParentBackground(Handle, dc);
  else
    FillBackground(dc, rect, SkinData);
  const TDataSkinButton* b = SkinData->Buttons();
  DrawSkinElement(dc, rect, *b, b->Frame, frame);
  return frame;
}

bool TSkinButton::TrackSpaceKey(const TMessage& message) {
  if (message.WParam != VK_SPACE) return false;
  if (message.Msg == WM_KEYDOWN)
    State |= kPainterPressed;
  else
    State &= uint8_t(~kPainterPressed);
  return true;
}

void TSkinButton::DrawFocusAround(HDC dc, const RECT& text, bool hasText) {
  if (!Focused || !hasText || SkinData->Options.Contains(TSkinOption::xoNoFocusRect)) return;
  const RECT focus{text.left - 2, text.top - 2, text.right + 2, text.bottom + 2};
  DrawFocusRect(dc, &focus);
}

void TSkinButton::DrawCaption(HDC dc, const RECT& rect, int frame) {
  // Wide all the way: a caption outside the code page must not turn into "?".
  const std::wstring text = SplitCaption(CurrentCaption());
  HFONT font = nullptr;
  if (Control) {
    if (auto* f = dynamic_cast<TFont*>(ReadObjectProp(Control, "Font", TFont::StaticClass()))) font = f->Handle();
  } else {
    font = reinterpret_cast<HFONT>(SendMessageW(Handle, WM_GETFONT, 0, 0));
  }
  HGDIOBJ oldFont = font ? SelectObject(dc, font) : nullptr;
  const UINT flags = DT_CENTER | DT_WORDBREAK | DT_EXPANDTABS;
  RECT avail{rect.left + 2, rect.top + 2, rect.right - 2, rect.bottom - 2};
  RECT measured = avail;
  SkinDrawText(dc, text, measured, CaptionFlagsFor(flags | DT_CALCRECT | DT_NOCLIP, RightToLeft()));
  const TSliceRect placed = ButtonCaptionRect({avail.left, avail.top, avail.right, avail.bottom},
                                              measured.right - measured.left, measured.bottom - measured.top, true);
  DrawPlacedCaption(dc, text, {placed.Left, placed.Top, placed.Right, placed.Bottom}, flags, frame);
  if (oldFont) SelectObject(dc, oldFont);
}

void TSkinButton::DrawPlacedCaption(HDC dc, const std::wstring& text, RECT place, UINT flags, int frame) {
  SetTextColor(dc, TextColour(frame));
  SetBkMode(dc, TRANSPARENT);
  SkinDrawText(dc, text, place, CaptionFlagsFor(flags, RightToLeft()));
  DrawFocusAround(dc, place, !text.empty());
}

void TSkinButton::Paint(HDC dc, const RECT& rect) {
  if (!SkinData) return;
  if (SkinData->Buttons()->Bitmap.Width == 0) return;
  TDoubleBuffer buffer(dc, rect, Buffer);
  const RECT r = buffer.Rect();
  const int frame = PaintFace(buffer.Dc(), r);
  DrawCaption(buffer.Dc(), r, frame);
  buffer.Flush();
}

bool TSkinButton::BeforeProc(TMessage& message) {
  switch (message.Msg) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      if (GetFocus() != Handle) SetFocus(Handle);
      State |= kPainterPressed;
      PaintWindow(nullptr);
      if (!PainterFlag && Control && Control->OnMouseDown) {
        POINT p{static_cast<short>(LOWORD(message.LParam)), static_cast<short>(HIWORD(message.LParam))};
        if (Control->Width() > 32768 || Control->Height() > 32768) {
          GetCursorPos(&p);
          ScreenToClient(Handle, &p);
        }
        Control->OnMouseDown(Control, TMouseButton::mbLeft, TShiftState{}, p.x, p.y);
      }
      message.Result = 0;
      return false;
    }
    case WM_PAINT:
      PaintMessage(message);
      return false;
    case WM_ERASEBKGND:
      message.Result = 1;
      return false;
    case WM_TIMER:
      KillTimer(Handle, 1);
      SetWindowLongW(Handle, GWL_STYLE, GetWindowLongW(Handle, GWL_STYLE));
      return false;
    default:
      return TSkinControl::BeforeProc(message);
  }
}

void TSkinButton::AfterProc(TMessage& message) {
  switch (message.Msg) {
    case WM_MOUSEMOVE:
      if (!(GetWindowLongW(Handle, GWL_STYLE) & WS_DISABLED) && !(State & kPainterHot)) {
        State |= kPainterHot;
        Refresh();
      }
      SkinTrackMouseLeave(Handle);
      break;
    case WM_MOUSELEAVE:
      State &= uint8_t(~(kPainterHot | kPainterPressed));
      Refresh();
      break;
    case WM_LBUTTONUP: {
      if (!(State & kPainterPressed)) break;
      State &= uint8_t(~kPainterPressed);
      Refresh();
      // The click may free the button, its painter or the form: nothing of this
      // painter is touched afterwards.
      if (Control) {
        TWinControl* control = Control;
        control->Click();
      } else {
        char name[16] = {};
        GetClassNameA(Handle, name, sizeof name);
        const WPARAM id = lstrcmpiA(name, "tbutton") == 0 ? 0 : static_cast<WPARAM>(GetDlgCtrlID(Handle));
        PostMessageW(GetParent(Handle), WM_COMMAND, id, reinterpret_cast<LPARAM>(Handle));
      }
      return;
    }
    case WM_KEYDOWN:
    case WM_KEYUP:
      if (TrackSpaceKey(message)) Refresh();
      break;
    case WM_SETTEXT:
      PaintWindow(nullptr);
      break;
    case 0xB005:  // class-library notifications that change the look
    case 0xB007:
      Refresh();
      break;
    default:
      TSkinControl::AfterProc(message);
  }
}

void TSkinBox::Unskin() {
  TSkinControl::Unskin();
  Status = 2;
}

bool TSkinBoxH::BeforeProc(TMessage& message) {
  if (message.Msg == WM_ERASEBKGND) {
    RECT r{};
    GetClientRect(Handle, &r);
    FillBackground(reinterpret_cast<HDC>(message.WParam), r, SkinData);
    message.Result = 0;
    return false;
  }
  if (message.Msg == WM_CTLCOLORSTATIC) {
    CallOldProc(message);
    if (auto* win = SkinData ? dynamic_cast<TSkinDataWin*>(SkinData->System()) : nullptr)
      message.Result = reinterpret_cast<LRESULT>(win->BackgroundBrush());
    return false;
  }
  return TSkinControl::BeforeProc(message);
}

void RegisterButtonPainters() {
  SetPainterFactory(TPainterKind::Button, &Make<TSkinButton>);
  SetPainterFactory(TPainterKind::BitButton, &Make<TSkinBitButton>);
  SetPainterFactory(TPainterKind::SpeedButton, &Make<TSkinSpeedButton>);
  SetPainterFactory(TPainterKind::MenuButton, &Make<TSkinMenuButton>);
  SetPainterFactory(TPainterKind::MediaPlayer, &Make<TSkinMP>);
  SetPainterFactory(TPainterKind::CheckBox, &Make<TSkinCheckBox>);
  SetPainterFactory(TPainterKind::RadioButton, &Make<TSkinRadioButton>);
  SetPainterFactory(TPainterKind::GroupBox, &Make<TSkinGroupBox>);
  SetPainterFactory(TPainterKind::Box, &Make<TSkinBox>);
  SetPainterFactory(TPainterKind::BoxH, &Make<TSkinBoxH>);
  SetPainterFactory(TPainterKind::ObjImage, &Make<TSkinObjImage>);
}

}  // namespace skin
