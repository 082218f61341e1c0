#pragma once
// Push-button, check-box, radio-button, group-box and container painters, all
// TSkinControl descendants (WinSubClass.h). Their rules without a window live in
// SkinButtonRules.h.
#include <windows.h>

#include "skin/painters/WinSubClass.h"

class TPngImage;

namespace skin {

// Push buttons: the "BUTTONS" face by state and the caption on top, double-buffered.
class TSkinButton : public TSkinControl {
  VELMORA_CLASS(TSkinButton, TSkinControl)
 public:
  explicit TSkinButton(TComponent* owner = nullptr) : TSkinControl(owner) {}
  void AttachControl(TWinSkinForm* skinForm, TSkinData* skinData, bool changeColor, TCanvas* canvas) override;
  bool BeforeProc(TMessage& message) override;
  void AfterProc(TMessage& message) override;
  void Paint(HDC dc, const RECT& rect) override;

  bool Transparent = false;
  TBufferBitmap Buffer;  // the off-screen image, kept between paints

 protected:
  virtual int FaceFrame();
  // The text colour of a face frame.
  virtual COLORREF TextColour(int frame);
  // The control's font colour, else the skin's button text.
  COLORREF FontColour();
  // The painted control: the windowed one, else the windowless one.
  TObject* Painted() const;
  void DrawCaption(HDC dc, const RECT& rect, int frame);
  // `text` in `place` (flags without the reading order), in the colour of face
  // `frame`, with the focus rectangle round it.
  void DrawPlacedCaption(HDC dc, const std::wstring& text, RECT place, UINT flags, int frame);
  // Reads Enabled and Focused, draws the background and the face of the state's
  // frame into `dc`; returns the frame.
  int PaintFace(HDC dc, const RECT& rect);
  // WM_KEYDOWN / WM_KEYUP: space sets / clears pressed; true when it was space.
  bool TrackSpaceKey(const TMessage& message);
  // The focus rectangle 2 pixels round a caption, when focused and allowed.
  void DrawFocusAround(HDC dc, const RECT& text, bool hasText);
};

// Bitmap buttons: the face, then the "Glyph" image of the state and the caption
// placed by "Layout", "Margin", "Spacing" and "Alignment".
class TSkinBitButton : public TSkinButton {
  VELMORA_CLASS(TSkinBitButton, TSkinButton)
 public:
  using TSkinButton::TSkinButton;
  void Paint(HDC dc, const RECT& rect) override;

  std::string GlyphProperty;  // a PNG glyph's property name; empty: "Glyph"

 protected:
  // Glyph image `index` ("Glyph" with "NumGlyphs", else "Images" with "ImageIndex" /
  // "DisabledIndex") and the caption, laid out in `rect` of the face drawn in `frame`.
  void DrawGlyphAndCaption(HDC dc, const RECT& rect, int frame, int index);
  // The non-empty PNG image under GlyphProperty, drawn by itself; null when there is
  // none (the "Glyph" and "Images" paths then apply).
  TPngImage* PngGlyph(const TObject* painted) const;
};

// Speed buttons: windowless, painted on the control's canvas when its parent paints
// it. "Flat" shows the face only when hot or pressed; "Down" holds the pressed look.
class TSkinSpeedButton : public TSkinBitButton {
  VELMORA_CLASS(TSkinSpeedButton, TSkinBitButton)
 public:
  using TSkinBitButton::TSkinBitButton;
  // Hooks the owner, a windowless control, and joins the skinner's list.
  void AttachGraphic(TWinSkinForm* skinForm, TSkinData* skinData, TCanvas* canvas);
  bool BeforeProc(TMessage& message) override;
  void AfterProc(TMessage& message) override;
  void Paint(HDC dc, const RECT& rect) override;

  bool Painting = false;  // a paint is under way: a nested one is dropped
};

// Drop-down menu buttons: focus shows the hot frame, no default frame, and the
// skin's normal text colour only at rest.
class TSkinMenuButton : public TSkinButton {
  VELMORA_CLASS(TSkinMenuButton, TSkinButton)
 public:
  using TSkinButton::TSkinButton;
  // The face, then the "Glyph" (one image, at its own size) left of the caption.
  void Paint(HDC dc, const RECT& rect) override;

 protected:
  int FaceFrame() override;
  COLORREF TextColour(int frame) override;
};

// Check boxes: the "CheckButton" strip's mark and the caption.
class TSkinCheckBox : public TSkinControl {
  VELMORA_CLASS(TSkinCheckBox, TSkinControl)
 public:
  explicit TSkinCheckBox(TComponent* owner = nullptr) : TSkinControl(owner) {}
  void AttachControl(TWinSkinForm* skinForm, TSkinData* skinData, bool changeColor, TCanvas* canvas) override;
  void AttachWindow(HWND handle, TSkinData* skinData, TWinSkinForm* skinForm, TCanvas* canvas) override;
  bool BeforeProc(TMessage& message) override;
  void AfterProc(TMessage& message) override;
  void Paint(HDC dc, const RECT& rect) override;

  int32_t LastCheck = 0;  // last BM_SETCHECK state + 1; 0 none seen
  bool Transparent = false;

 protected:
  virtual const TPixelBuffer* Strip();
  virtual int StripFrames();
  virtual int MarkFrame();
};

// Radio buttons: the "RadioButton" strip.
class TSkinRadioButton : public TSkinCheckBox {
  VELMORA_CLASS(TSkinRadioButton, TSkinCheckBox)
 public:
  using TSkinCheckBox::TSkinCheckBox;

 protected:
  const TPixelBuffer* Strip() override;
  int StripFrames() override;
  int MarkFrame() override;
};

// Group boxes (radio groups too): a rounded frame line cut by the caption.
class TSkinGroupBox : public TSkinControl {
  VELMORA_CLASS(TSkinGroupBox, TSkinControl)
 public:
  explicit TSkinGroupBox(TComponent* owner = nullptr) : TSkinControl(owner) {}
  void AttachControl(TWinSkinForm* skinForm, TSkinData* skinData, bool changeColor, TCanvas* canvas) override;
  bool BeforeProc(TMessage& message) override;
  void Paint(HDC dc, const RECT& rect) override;
};

// Panels, tool bars, embedded forms: only the skin's colour, nothing painted.
class TSkinBox : public TSkinControl {
  VELMORA_CLASS(TSkinBox, TSkinControl)
 public:
  explicit TSkinBox(TComponent* owner = nullptr) : TSkinControl(owner) {}
  void AfterProc(TMessage& message) override {}
  void Unskin() override;
};

// Plain container windows: background and static-control colour.
class TSkinBoxH : public TSkinControl {
  VELMORA_CLASS(TSkinBoxH, TSkinControl)
 public:
  explicit TSkinBoxH(TComponent* owner = nullptr) : TSkinControl(owner) {}
  bool BeforeProc(TMessage& message) override;
  void AfterProc(TMessage& message) override {}
};

// Hands the skin's check or radio glyphs to a control of another family that draws
// its own glyphs; paints nothing.
class TSkinObjImage : public TSkinControl {
  VELMORA_CLASS(TSkinObjImage, TSkinControl)
 public:
  explicit TSkinObjImage(TComponent* owner = nullptr) : TSkinControl(owner) {}
  void AttachControl(TWinSkinForm* skinForm, TSkinData* skinData, bool changeColor, TCanvas* canvas) override;
  void AfterProc(TMessage& message) override {}
  void Unskin() override;
  void Reskin() override { AssignGlyphs(); }

  int32_t ImageKind = 0;  // 1 check glyphs, 2 radio glyphs, 3 the "Properties" glyph

 private:
  void AssignGlyphs();
};

// Puts this family's painters in the dispatch's creating table.
void RegisterButtonPainters();

}  // namespace skin
