// Check-box, radio-button and group-box painters.
#include <array>
#include <string>

#include "skin/painters/SkinButtonRules.h"
#include "skin/painters/SkinButtons_win.h"
#include "skin/container/BitmapOps_win.h"
#include "skin/container/SkinDraw_win.h"
#include "skin/data/WinSkinData_win.h"

namespace skin {
namespace {

constexpr int kTransparentTag = 5555;
constexpr int kSlotButtonShadow = 7;

TFont* FontOf(TSkinControl& p) {
  return p.Control ? dynamic_cast<TFont*>(ReadObjectProp(p.Control, "Font", TFont::StaticClass())) : nullptr;
}

}  // namespace

void TSkinCheckBox::AttachControl(TWinSkinForm* skinForm, TSkinData* skinData, bool changeColor, TCanvas* canvas) {
  TSkinControl::AttachControl(skinForm, skinData, changeColor, canvas);
  if (!Control) return;
  Transparent = Control->Tag() == kTransparentTag ||
                (skinData && skinData->Options.Contains(TSkinOption::xoTransparent));
  const TPixelBuffer* strip = Strip();
  PainterFlag = strip && strip->Width > 0 ? 1 : 0;
  Refresh();
}

void TSkinCheckBox::AttachWindow(HWND handle, TSkinData* skinData, TWinSkinForm* skinForm, TCanvas* canvas) {
  TSkinControl::AttachWindow(handle, skinData, skinForm, canvas);
  // A plain window keeps its own caption drawing: only the mark is drawn over it.
  PainterFlag = 0;
}

const TPixelBuffer* TSkinCheckBox::Strip() { return SkinData ? &SkinData->Buttons()->CheckButton : nullptr; }
int TSkinCheckBox::StripFrames() { return SkinData ? SkinData->Buttons()->CheckButtonFrame : 1; }
const TPixelBuffer* TSkinRadioButton::Strip() { return SkinData ? &SkinData->Buttons()->RadioButton : nullptr; }
int TSkinRadioButton::StripFrames() { return SkinData ? SkinData->Buttons()->RadioButtonFrame : 1; }

int TSkinCheckBox::MarkFrame() {
  TCheckFacts f;
  f.Frames = StripFrames();
  const LRESULT state = SendMessageW(Handle, BM_GETSTATE, 0, 0);
  f.Checked = (state & BST_CHECKED) != 0;
  f.Indeterminate = (state & BST_INDETERMINATE) != 0;
  f.Disabled = (GetWindowLongW(Handle, GWL_STYLE) & WS_DISABLED) != 0;
  if (Control) {
    f.ClassControl = true;
    f.HasState = GetPropInfo(Control, "State") != nullptr;
    f.StateName = ReadEnumProp(Control, "State");
    f.HasChecked = GetPropInfo(Control, "Checked") != nullptr;
    f.CheckedText = ReadEnumProp(Control, "Checked");
    f.HasDataField = GetPropInfo(Control, "DataField") != nullptr;
    f.HasDataBinding = GetPropInfo(Control, "DataBinding") != nullptr;
  }
  f.LastCheck = LastCheck;
  return CheckFrame(f);
}

int TSkinRadioButton::MarkFrame() {
  bool checked = (SendMessageW(Handle, BM_GETCHECK, 0, 0) & BST_CHECKED) != 0;
  if (Control && GetPropInfo(Control, "Checked")) checked = ReadEnumProp(Control, "Checked") == "true";
  const bool disabled = (GetWindowLongW(Handle, GWL_STYLE) & WS_DISABLED) != 0;
  return RadioFrame(StripFrames(), checked, disabled);
}

void TSkinCheckBox::Paint(HDC dc, const RECT& rect) {
  const TPixelBuffer* strip = Strip();
  if (!strip || strip->Width == 0) {
    PainterFlag = 0;
    return;
  }
  const int frames = StripFrames() < 1 ? 1 : StripFrames();
  const int style = GetWindowLongW(Handle, GWL_STYLE);
  const TMarkLayout layout = LayoutMark({rect.left, rect.top, rect.right, rect.bottom}, strip->Width / frames,
                                        strip->Height, (style & BS_LEFTTEXT) != 0, RightToLeft());
  const int saved = SaveDC(dc);
  if (PainterFlag == 1 && !Transparent) FillBackground(dc, rect, SkinData);
  const RECT mark{layout.Mark.Left, layout.Mark.Top, layout.Mark.Right, layout.Mark.Bottom};
  DrawGlyphFrame(dc, mark, *strip, frames, MarkFrame());
  if (PainterFlag == 1) {
    const std::wstring text = CurrentCaption();
    TFont* font = FontOf(*this);
    HFONT hfont = font ? font->Handle() : reinterpret_cast<HFONT>(SendMessageW(Handle, WM_GETFONT, 0, 0));
    if (hfont) SelectObject(dc, hfont);
    const bool enabled = (style & WS_DISABLED) == 0;
    SetTextColor(dc, !enabled ? GetSysColor(COLOR_BTNSHADOW)
                 : font      ? ResolveColor(static_cast<TSkinColor>(font->Color()), WinSysColor)
                             : SkinColour(SkinData, kSlotButtonText));
    SetBkColor(dc, ButtonFace());
    SetBkMode(dc, TRANSPARENT);
    RECT caption{layout.Caption.Left, layout.Caption.Top, layout.Caption.Right, layout.Caption.Bottom};
    RECT measured = caption;
    SkinDrawText(dc, text, measured, layout.Flags | DT_CALCRECT | DT_NOCLIP);
    const int h = measured.bottom - measured.top;
    caption.top = rect.top + (rect.bottom - rect.top - h) / 2;
    caption.bottom = caption.top + h;
    // DrawTextFocus draws the caption and, when focused, the rectangle round it.
    DrawTextFocus(dc, text, caption, layout.Flags & ~DT_RTLREADING, GetFocus() == Handle && !text.empty());
  }
  RestoreDC(dc, saved);
}

bool TSkinCheckBox::BeforeProc(TMessage& message) {
  switch (message.Msg) {
    case WM_PAINT:
    case WM_PRINT:
      if (PainterFlag != 1) return true;
      PaintMessage(message);
      return false;
    case WM_ERASEBKGND:
      if (!Transparent) return true;
      EraseBackground(message);
      return false;
    default:
      return TSkinControl::BeforeProc(message);
  }
}

void TSkinCheckBox::AfterProc(TMessage& message) {
  switch (message.Msg) {
    case BM_SETCHECK:
      if (!IsNamed("TSkinRadioButton")) LastCheck = LastCheckFrom(static_cast<uint32_t>(message.WParam));
      Refresh();
      break;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK:
    case 0xB01B:  // class-library notifications that change the mark
    case 0xB0D0:
      Refresh();
      break;
    default:
      TSkinControl::AfterProc(message);
  }
}

void TSkinGroupBox::AttachControl(TWinSkinForm* skinForm, TSkinData* skinData, bool changeColor, TCanvas* canvas) {
  TSkinControl::AttachControl(skinForm, skinData, changeColor, canvas);
  if (Control) PainterFlag = 1;
}

bool TSkinGroupBox::BeforeProc(TMessage& message) {
  if (message.Msg == WM_PAINT && PainterFlag) {
    PaintMessage(message);
    return false;
  }
  return TSkinControl::BeforeProc(message);
}

void TSkinGroupBox::Paint(HDC dc, const RECT& rect) {
  std::wstring text = CurrentCaption();
  const int saved = SaveDC(dc);
  if (Control) FillBackground(dc, rect, SkinData);
  TFont* font = FontOf(*this);
  HFONT hfont = font ? font->Handle() : reinterpret_cast<HFONT>(SendMessageW(Handle, WM_GETFONT, 0, 0));
  if (hfont) SelectObject(dc, hfont);
  SIZE extent{};
  GetTextExtentPoint32W(dc, text.empty() ? L"W" : text.c_str(), text.empty() ? 1 : int(text.size()), &extent);
  const int width = rect.right - rect.left, height = rect.bottom - rect.top;
  if (!PainterFlag) {
    HBRUSH face = CreateSolidBrush(ButtonFace());
    RECT ring = rect;
    FrameRect(dc, &ring, face);
    InflateRect(&ring, -1, -1);
    FrameRect(dc, &ring, face);
    DeleteObject(face);
  }
  const bool right = (GetWindowLongW(Handle, GWL_EXSTYLE) & WS_EX_RIGHT) != 0;
  const TGroupBoxGeometry g = GroupBoxGeometryFor(width, height, text.empty() ? 0 : extent.cx, extent.cy,
                                                  right, RightToLeft());
  HPEN pen = CreatePen(PS_SOLID, 1, SkinColour(SkinData, kSlotButtonShadow));
  HGDIOBJ oldPen = SelectObject(dc, pen);
  SelectObject(dc, GetStockObject(NULL_BRUSH));
  RoundRect(dc, g.Frame.Left, g.Frame.Top, g.Frame.Right, g.Frame.Bottom, 5, 5);
  SelectObject(dc, oldPen);
  DeleteObject(pen);
  if (!text.empty()) {
    SetBkColor(dc, ButtonFace());
    SetBkMode(dc, OPAQUE);
    SetTextColor(dc, font ? ResolveColor(static_cast<TSkinColor>(font->Color()), WinSysColor)
                          : SkinColour(SkinData, kSlotButtonText));
    RECT caption{g.Caption.Left, g.Caption.Top, g.Caption.Right, g.Caption.Bottom};
    SkinDrawText(dc, text, caption, g.Flags | DT_NOCLIP);
  }
  RestoreDC(dc, saved);
  if (Control) Control->PaintControls(dc);
}

namespace {

// `pixels` into `bitmap`, resized to them.
void CopyPixels(const TPixelBuffer& pixels, TBitmap& bitmap) {
  bitmap.SetSize(pixels.Width, pixels.Height);
  if (pixels.Width == 0) return;
  TSkinDib dib(pixels);
  TSelectedDC source(dib.Handle());
  BitBlt(bitmap.Canvas().Handle(), 0, 0, pixels.Width, pixels.Height, source.Handle(), 0, 0, SRCCOPY);
}

}  // namespace

void TSkinObjImage::AttachControl(TWinSkinForm* skinForm, TSkinData* skinData, bool changeColor, TCanvas* canvas) {
  const bool first = !Initialized;
  TSkinControl::AttachControl(skinForm, skinData, changeColor, canvas);
  if (first && Control) AssignGlyphs();
}

void TSkinObjImage::AssignGlyphs() {
  if (!Control || !SkinData) return;
  const TDataSkinButton* b = SkinData->Buttons();
  if (ImageKind == 3) {
    TObject* properties = ReadObjectProp(Control, "Properties", TPersistent::StaticClass());
    if (auto* glyph = dynamic_cast<TBitmap*>(ReadObjectProp(properties, "Glyph", TBitmap::StaticClass())))
      CopyPixels(b->CheckButton, *glyph);
    return;
  }
  auto* glyphs = dynamic_cast<TBitmap*>(ReadObjectProp(Control, "CustomGlyphs", TBitmap::StaticClass()));
  if (!glyphs || (ImageKind != 1 && ImageKind != 2)) return;
  if (ImageKind == 1) {
    const std::array<int, 9> slots = CheckGlyphSlots(b->CheckButtonFrame);
    CopyPixels(BuildSlotStrip(b->CheckButton, b->CheckButtonFrame, slots.data(), 9), *glyphs);
  } else {
    const std::array<int, 6> slots = RadioGlyphSlots(b->RadioButtonFrame);
    CopyPixels(BuildSlotStrip(b->RadioButton, b->RadioButtonFrame, slots.data(), 6), *glyphs);
  }
  WritePropText(Control, "TransparentColor", std::to_string(0xFF00FF));
  // Off and on again: the control reloads its glyphs.
  WritePropText(Control, "UseCustomGlyphs", "False");
  WritePropText(Control, "UseCustomGlyphs", "True");
}

void TSkinObjImage::Unskin() {
  TSkinControl::Unskin();
  if (!Control || Status == kPainterWindowGone) return;
  if (ImageKind == 3) {
    TObject* properties = ReadObjectProp(Control, "Properties", TPersistent::StaticClass());
    if (auto* glyph = dynamic_cast<TBitmap*>(ReadObjectProp(properties, "Glyph", TBitmap::StaticClass())))
      glyph->SetSize(0, 0);
  } else {
    WritePropText(Control, "UseCustomGlyphs", "False");
  }
}

}  // namespace skin
