#include "classlib/Buttons_win.h"

#include "classlib/ControlClasses.h"
#include "classlib/PngImage_win.h"

const TEnumType ButtonLayoutType("TButtonLayout", {"blGlyphLeft", "blGlyphRight", "blGlyphTop", "blGlyphBottom"});
const TEnumType ButtonStateType("TButtonState", {"bsUp", "bsDisabled", "bsDown", "bsExclusive"});
const TEnumType BitBtnKindType("TBitBtnKind", {"bkCustom", "bkOK", "bkCancel", "bkHelp", "bkYes", "bkNo", "bkClose",
                                               "bkAbort", "bkRetry", "bkIgnore", "bkAll"});

VELMORA_PUBLISH(TBitBtn) {
  p.Object("Glyph", &TBitBtn::Glyph, &TBitBtn::SetGlyph)
      .Integer("NumGlyphs", &TBitBtn::NumGlyphs)
      .Default(1)
      .Enum("Layout", ButtonLayoutType, &TBitBtn::Layout)
      .Default(0)
      .Integer("Margin", &TBitBtn::Margin)
      .Default(-1)
      .Integer("Spacing", &TBitBtn::Spacing)
      .Default(4)
      .Enum("Kind", BitBtnKindType, &TBitBtn::Kind)
      .Default(0);
}

TBitBtn::TBitBtn(TComponent* owner) : TButton(owner), glyph_(std::make_unique<TBitmap>()) {}

void TBitBtn::SetGlyph(TBitmap* glyph) {
  if (glyph) glyph_->Assign(glyph);
  Invalidate();
}

VELMORA_PUBLISH(TSpeedButton) {
  p.Object("Glyph", &TSpeedButton::Glyph, &TSpeedButton::SetGlyph)
      .Integer("NumGlyphs", &TSpeedButton::NumGlyphs)
      .Default(1)
      .Enum("Layout", ButtonLayoutType, &TSpeedButton::Layout)
      .Default(0)
      .Integer("Margin", &TSpeedButton::Margin)
      .Default(-1)
      .Integer("Spacing", &TSpeedButton::Spacing)
      .Default(4)
      .Boolean("Flat", &TSpeedButton::Flat, &TSpeedButton::SetFlat)
      .Default(0)
      .Boolean("Down", &TSpeedButton::Down, &TSpeedButton::SetDown)
      .Default(0)
      .Integer("GroupIndex", &TSpeedButton::GroupIndex)
      .Default(0)
      .Boolean("AllowAllUp", &TSpeedButton::AllowAllUp)
      .Default(0);
}

TSpeedButton::TSpeedButton(TComponent* owner) : TGraphicControl(owner), glyph_(std::make_unique<TBitmap>()) {
  clickOnMouseUp_ = true;
  SetBounds(0, 0, 23, 22);
}

void TSpeedButton::SetGlyph(TBitmap* glyph) {
  if (glyph) glyph_->Assign(glyph);
  Invalidate();
}

void TSpeedButton::SetFlat(bool on) {
  flat_ = on;
  Invalidate();
}

void TSpeedButton::SetDown(bool on) {
  if (GroupIndex == 0) on = false;  // only grouped buttons stay down
  if (on == down_) return;
  if (!on && !AllowAllUp && GroupIndex != 0) {
    // The last down button of a group cannot go up by itself.
    bool otherDown = false;
    if (Parent())
      for (int i = 0; i < Parent()->ControlCount(); ++i) {
        TControl* c = Parent()->Controls(i);
        if (c != this && c->Is<TSpeedButton>() && static_cast<TSpeedButton*>(c)->down_ &&
            static_cast<TSpeedButton*>(c)->GroupIndex == GroupIndex)
          otherDown = true;
      }
    if (!otherDown && !Loading()) return;
  }
  down_ = on;
  state_ = on ? TButtonState::bsExclusive : TButtonState::bsUp;
  if (on && Parent())
    for (int i = 0; i < Parent()->ControlCount(); ++i) {
      TControl* c = Parent()->Controls(i);
      if (c != this && c->Is<TSpeedButton>() && static_cast<TSpeedButton*>(c)->GroupIndex == GroupIndex) {
        auto* other = static_cast<TSpeedButton*>(c);
        other->down_ = false;
        other->state_ = TButtonState::bsUp;
        other->Invalidate();
      }
    }
  Invalidate();
}

void TSpeedButton::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (button == TMouseButton::mbLeft && Enabled() && !down_) {
    state_ = TButtonState::bsDown;
    Repaint();
  }
  TGraphicControl::MouseDown(button, shift, x, y);
}

void TSpeedButton::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  if (button == TMouseButton::mbLeft && state_ == TButtonState::bsDown) {
    state_ = down_ ? TButtonState::bsExclusive : TButtonState::bsUp;
    Invalidate();
  }
  TGraphicControl::MouseUp(button, shift, x, y);
}

void TSpeedButton::Click() {
  if (GroupIndex != 0) SetDown(!down_ || !AllowAllUp ? true : false);
  TGraphicControl::Click();
}

void TSpeedButton::Paint() {
  TCanvas& canvas = Canvas();
  HDC dc = canvas.Handle();
  RECT r{0, 0, Width(), Height()};
  canvas.Brush().SetColor(Color());
  canvas.FillRect(r);
  const bool pressed = state_ == TButtonState::bsDown || state_ == TButtonState::bsExclusive;
  if (!flat_ || MouseInControl() || pressed) DrawEdge(dc, &r, pressed ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
  RECT content{r.left + 2, r.top + 2, r.right - 2, r.bottom - 2};
  if (const int used = PaintGlyph(canvas, content, pressed)) content.left += used + Spacing;
  canvas.Brush().SetStyle(TBrushStyle::bsClear);
  canvas.Font().Assign(*Font());
  if (!Enabled()) canvas.Font().SetColor(clGrayText);
  std::string caption = Caption();
  canvas.DrawText(content, caption, DT_SINGLELINE | DT_CENTER | DT_VCENTER);
}

int TSpeedButton::PaintGlyph(TCanvas& canvas, const RECT& content, bool pressed) {
  if (glyph_->Empty()) return 0;
  const int frames = NumGlyphs > 0 ? NumGlyphs : 1;
  const int w = glyph_->Width() / frames;
  const int frame = !Enabled() && frames > 1 ? 1 : 0;
  TBitmap piece(w, glyph_->Height());
  RECT source{frame * w, 0, frame * w + w, glyph_->Height()};
  RECT whole{0, 0, w, glyph_->Height()};
  piece.Canvas().CopyRect(whole, glyph_->Canvas(), source);
  canvas.Draw(content.left + (pressed ? 1 : 0), content.top + (content.bottom - content.top - glyph_->Height()) / 2,
              piece);
  return w;
}

// ---------------------------------------------------------------------------

namespace {
// The image's file bytes, as a layout carries them.
template <class TPngButton>
void ReadPngData(TPngButton& button, const std::vector<uint8_t>& bytes) {
  button.PngImage()->LoadFromBytes(bytes);
}
template <class TPngButton>
std::vector<uint8_t> WritePngData(const TPngButton& button) {
  return button.PngImage()->Data();
}
// A button's image: every change repaints the button.
std::unique_ptr<TPngImage> PngImageOf(TControl* button) {
  auto png = std::make_unique<TPngImage>();
  png->OnChange = [button] { button->Invalidate(); };
  return png;
}
// `image` copied into `png`; null clears it.
void CopyPngImage(TPngImage& png, TPngImage* image) {
  if (image)
    png.Assign(image);
  else
    png.Clear();
}
}  // namespace

VELMORA_PUBLISH(TPngBitBtn) {
  p.Object("PngImage", &TPngBitBtn::PngImage, &TPngBitBtn::SetPngImage)
      .Binary("PngImage.Data", &ReadPngData<TPngBitBtn>, &WritePngData<TPngBitBtn>);
}

TPngBitBtn::TPngBitBtn(TComponent* owner) : TBitBtn(owner), png_(PngImageOf(this)) {}

TPngBitBtn::~TPngBitBtn() { png_->OnChange = nullptr; }

void TPngBitBtn::SetPngImage(TPngImage* image) { CopyPngImage(*png_, image); }

VELMORA_PUBLISH(TPngSpeedButton) {
  p.Object("PngImage", &TPngSpeedButton::PngImage, &TPngSpeedButton::SetPngImage)
      .Binary("PngImage.Data", &ReadPngData<TPngSpeedButton>, &WritePngData<TPngSpeedButton>);
}

TPngSpeedButton::TPngSpeedButton(TComponent* owner) : TSpeedButton(owner), png_(PngImageOf(this)) {}

TPngSpeedButton::~TPngSpeedButton() { png_->OnChange = nullptr; }

void TPngSpeedButton::SetPngImage(TPngImage* image) { CopyPngImage(*png_, image); }

int TPngSpeedButton::PaintGlyph(TCanvas& canvas, const RECT& content, bool pressed) {
  if (png_->Empty()) return 0;
  png_->Draw(canvas, content.left + (pressed ? 1 : 0),
             content.top + (content.bottom - content.top - png_->Height()) / 2, Enabled());
  return png_->Width();
}

void RegisterButtonsClasses() {
  RegisterControlClass(TBitBtn::StaticClass());
  RegisterControlClass(TSpeedButton::StaticClass());
  RegisterControlClass(TPngBitBtn::StaticClass());
  RegisterControlClass(TPngSpeedButton::StaticClass());
}
