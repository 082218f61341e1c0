#pragma once
// Glyph buttons: TBitBtn (a push button with a glyph) and TSpeedButton (a
// windowless button painted into its parent's DC, with a down state and groups).
#include <memory>

#include "classlib/StdCtrls_win.h"

enum class TButtonLayout { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };
enum class TButtonState { bsUp, bsDisabled, bsDown, bsExclusive };
enum class TBitBtnKind { bkCustom, bkOK, bkCancel, bkHelp, bkYes, bkNo, bkClose, bkAbort, bkRetry, bkIgnore, bkAll };

extern const TEnumType ButtonLayoutType;
extern const TEnumType ButtonStateType;
extern const TEnumType BitBtnKindType;

class TBitBtn : public TButton {
  VELMORA_CLASS(TBitBtn, TButton)
  VELMORA_PUBLISHED(TBitBtn)
 public:
  explicit TBitBtn(TComponent* owner = nullptr);
  TBitmap* Glyph() const { return glyph_.get(); }
  void SetGlyph(TBitmap* glyph);
  int NumGlyphs = 1;
  TButtonLayout Layout = TButtonLayout::blGlyphLeft;
  int Margin = -1;
  int Spacing = 4;
  TBitBtnKind Kind = TBitBtnKind::bkCustom;

 private:
  std::unique_ptr<TBitmap> glyph_;
};

class TSpeedButton : public TGraphicControl {
  VELMORA_CLASS(TSpeedButton, TGraphicControl)
  VELMORA_PUBLISHED(TSpeedButton)
 public:
  explicit TSpeedButton(TComponent* owner = nullptr);
  TBitmap* Glyph() const { return glyph_.get(); }
  void SetGlyph(TBitmap* glyph);
  int NumGlyphs = 1;
  TButtonLayout Layout = TButtonLayout::blGlyphLeft;
  int Margin = -1;
  int Spacing = 4;
  bool Flat() const { return flat_; }
  void SetFlat(bool on);
  // Down stays pressed; within a GroupIndex other than 0 one button is down at most.
  bool Down() const { return down_; }
  void SetDown(bool on);
  int GroupIndex = 0;
  bool AllowAllUp = false;
  TButtonState State() const { return state_; }
  void Click() override;

 protected:
  void Paint() override;
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
  // Draws the glyph at the left of `content` (nudged when pressed); returns the
  // width it took, 0 without a glyph.
  virtual int PaintGlyph(TCanvas& canvas, const RECT& content, bool pressed);

 private:
  std::unique_ptr<TBitmap> glyph_;
  bool flat_ = false;
  bool down_ = false;
  TButtonState state_ = TButtonState::bsUp;
};

class TPngImage;

// Glyph buttons whose glyph is a PNG image (alpha included) under "PngImage"; a
// layout sets it with the file's bytes as "PngImage.Data".
class TPngBitBtn : public TBitBtn {
  VELMORA_CLASS(TPngBitBtn, TBitBtn)
  VELMORA_PUBLISHED(TPngBitBtn)
 public:
  explicit TPngBitBtn(TComponent* owner = nullptr);
  ~TPngBitBtn() override;
  TPngImage* PngImage() const { return png_.get(); }
  void SetPngImage(TPngImage* image);  // copies it

 private:
  std::unique_ptr<TPngImage> png_;
};

class TPngSpeedButton : public TSpeedButton {
  VELMORA_CLASS(TPngSpeedButton, TSpeedButton)
  VELMORA_PUBLISHED(TPngSpeedButton)
 public:
  explicit TPngSpeedButton(TComponent* owner = nullptr);
  ~TPngSpeedButton() override;
  TPngImage* PngImage() const { return png_.get(); }
  void SetPngImage(TPngImage* image);  // copies it

 protected:
  int PaintGlyph(TCanvas& canvas, const RECT& content, bool pressed) override;

 private:
  std::unique_ptr<TPngImage> png_;
};

void RegisterButtonsClasses();
