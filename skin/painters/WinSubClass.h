#pragma once
// Control painters. TSkinControl is the base every painter shares: it takes over a
// control's messages (a class-library control through its WindowProc, a plain window
// by subclassing), lets the control's own procedure run and then draws the control
// again from the skin. The painter family lives in files of its own behind this
// header; here are the base and the drawing routines all painters use.
//
// Ownership: a painter is owned by the control it paints (for a plain window by the
// form skinner) and listed by its form skinner. Destroying it unhooks it first.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "classlib/Controls_win.h"
#include "classlib/Graphics_win.h"
#include "skin/painters/ControlProps.h"
#include "skin/painters/PainterRules.h"
#include "skin/painters/SkinDispatch.h"
#include "skin/painters/SkinSubclass_win.h"
#include "skin/data/WinSkinData.h"

namespace skin {

class TWinSkinForm;
class TSkinControl;

// The creating function of each painter kind: the painter families fill it, the
// form skinner's child dispatch makes painters through it.
using TPainterFactory = TSkinControl* (*)(TComponent* owner);
// The creating function of a painter kind (null: none yet); setting null removes it.
void SetPainterFactory(TPainterKind kind, TPainterFactory factory);
TPainterFactory PainterFactory(TPainterKind kind);

// The form skinner stands above its painters: its unit hands down how a painter
// joins and leaves a form's list when the program has form skinners (until then
// the links are empty and a painter joins no list).
struct TPainterFormLinks {
  void (*Add)(TWinSkinForm& form, TSkinControl* painter) = nullptr;
  void (*Remove)(TWinSkinForm& form, TSkinControl* painter) = nullptr;
  HWND (*Window)(TWinSkinForm& form) = nullptr;  // the skinned window
};
void SetPainterFormLinks(const TPainterFormLinks& links);
// A painter joins or leaves its form's list through those links (no form: nothing).
void JoinForm(TWinSkinForm* form, TSkinControl* painter);
void LeaveForm(TWinSkinForm* form, TSkinControl* painter);
// The window of the painter's form skinner (null without one).
HWND FormWindow(TWinSkinForm* form);

// Messages every painted window understands.
constexpr UINT kMsgSkinSwitch = 0x3506;   // wParam > 0: painter on, else off
constexpr UINT kMsgIsSkinned = 0x3523;    // answered 1 by every skinned window

// State bits.
constexpr uint8_t kPainterHot = 1, kPainterPressed = 2;
// Status values.
constexpr int kPainterAttached = 1, kPainterWindowGone = 6;

class TSkinControl : public TComponent {
  VELMORA_CLASS(TSkinControl, TComponent)
 public:
  // Create: painting on, nothing attached.
  explicit TSkinControl(TComponent* owner = nullptr);
  // Unhooks (only where ours is still the current entry) and leaves the skinner's list.
  ~TSkinControl() override;

  // Hooks the owner, a class-library windowed control. A second call does nothing.
  virtual void AttachControl(TWinSkinForm* skinForm, TSkinData* skinData, bool changeColor, TCanvas* canvas);
  // Subclasses a plain window.
  virtual void AttachWindow(HWND handle, TSkinData* skinData, TWinSkinForm* skinForm, TCanvas* canvas);
  // Painting off; the control's colour back unless its window is gone.
  virtual void Unskin();
  // Before the old procedure: false means handled here (the result is in `message`).
  virtual bool BeforeProc(TMessage& message);
  // After the old procedure.
  virtual void AfterProc(TMessage& message);
  // Paints the whole window into `dc` (0: the window DC).
  virtual void PaintWindow(HDC dc);
  virtual void Paint(HDC dc, const RECT& rect) {}
  // After a skin change: the skin's colour again, then a repaint.
  virtual void Reskin();
  virtual bool CanSkin() { return true; }

  // The per-message path.
  void NewWndProc(TMessage& message);
  void CallOldProc(TMessage& message);
  void Refresh();
  // WM_PAINT of a painter that draws everything itself.
  void PaintMessage(TMessage& message);
  // WM_ERASEBKGND answered by the painter: the parent's background under a control,
  // the control colour on a plain window; result 1.
  void EraseBackground(TMessage& message);

  // Fields.
  uint8_t State = 0;
  TCanvas* Canvas = nullptr;
  bool Enabled = false;
  bool Focused = false;
  std::wstring Caption;
  bool SkinActive = true;
  bool IsUnicode = false;
  TSkinData* SkinData = nullptr;
  HWND Handle = nullptr;
  TWinControl* Control = nullptr;
  RECT WindowRect{};
  TGraphicControl* GraphicControl = nullptr;
  bool ChangeColor = false;
  TColor SavedColor = 0;
  bool Initialized = false;
  int Status = 0;
  TWinSkinForm* SkinForm = nullptr;
  int32_t PainterFlag = 0;

  // The subclass entry of a plain window (null otherwise) and what it replaced.
  WNDPROC ObjectInstance() const { return subclass_.Instance(); }
  WNDPROC OldWndProc() const { return subclass_.OldProc(); }
  // Whether the control's WindowProc is hooked.
  bool HooksWindowProc() const { return procHook_.Installed(); }

  // Drawing helpers of every painter.
  // The caption in `rect` with `flags` (right-to-left reading added for such
  // controls); with `focus`, and unless the skin says no, the focus rectangle.
  void DrawTextFocus(HDC dc, const std::wstring& text, const RECT& rect, UINT flags, bool focus);
  // FillControlColor: the control's "Color" when it has one, else "ButtonFace".
  void FillControlColor(HDC dc, const RECT& rect);
  bool RightToLeft() const;
  // The caption as it stands now: the "Caption" property, else the window text (read
  // at each paint, so a WM_SETTEXT shows at once). Also kept in `Caption`.
  const std::wstring& CurrentCaption();

 protected:
  // The skin's "ButtonFace" as a COLORREF (the system's when no skin).
  COLORREF ButtonFace() const;
  // Puts NewWndProc in front of `control`'s WindowProc (windowless controls).
  void HookWindowProc(TControl* control);
  // Gives the control or window its procedure back.
  void ReleaseHooks();

 private:
  static void SubclassHandler(void* context, TMessage& message);
  TWindowSubclass subclass_;
  TControlProcHook procHook_;
};

// ---------------------------------------------------------------------------
// Drawing routines of the painters.

// Frame k of n of `element`, cut in nine by its margins, into `rect`; magenta keeps
// the background when the element is transparent. Nothing for a negative size.
void DrawSkinElement(HDC dc, const RECT& rect, const TDataSkinObject& element, int count, int k);
// Frees the frames cut for the routine above (the skin unit's stop).
void ReleaseFrameCache();
// Frame k of n of a glyph strip stretched into `rect`, magenta transparent.
void DrawGlyphFrame(HDC dc, const RECT& rect, const TPixelBuffer& strip, int count, int k);
// Frame k of n of `image` cut in nine by `margins` into `rect`, magenta transparent
// when `transparent`: DrawSkinElement for pictures that are no element's own.
void DrawSkinFrame(HDC dc, const RECT& rect, const TPixelBuffer& image, TSliceMargins margins, bool tile,
                   bool transparent, int count, int k);
void FillSolid(HDC dc, const RECT& rect, COLORREF colour);
// "ButtonFace" of the skin (system colours resolved).
void FillBackground(HDC dc, const RECT& rect, const TSkinData* skinData);
COLORREF SkinColour(const TSkinData* skinData, int slot);
// A caption aligned 0 left, 1 right, 2 centre, centred in `rect`, transparent;
// a disabled one in the system's button-shadow colour.
void DrawAlignedCaption(HDC dc, const RECT& rect, const std::wstring& text, int alignment, bool enabled);
// Whether `window` counts as top-level (its parent is the desktop, or a popup).
bool IsTopLevel(HWND window);

// An off-screen bitmap a painter keeps between paints (made again only when the size
// changes): a paint then costs no bitmap creation.
class TBufferBitmap {
 public:
  TBufferBitmap() = default;
  ~TBufferBitmap();
  TBufferBitmap(const TBufferBitmap&) = delete;
  TBufferBitmap& operator=(const TBufferBitmap&) = delete;
  // A memory DC holding a bitmap of at least width x height compatible with
  // `target`; null on failure.
  HDC Prepare(HDC target, int width, int height);

 private:
  void Release();
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ old_ = nullptr;
  int width_ = 0, height_ = 0;
};

// An off-screen bitmap of `rect`'s size: painters draw into Dc() at (0, 0) and the
// whole is copied to the target in one BitBlt by Flush (also at destruction).
class TDoubleBuffer {
 public:
  TDoubleBuffer(HDC target, const RECT& rect);
  // Draws into `kept` instead of a bitmap of its own.
  TDoubleBuffer(HDC target, const RECT& rect, TBufferBitmap& kept);
  ~TDoubleBuffer();
  TDoubleBuffer(const TDoubleBuffer&) = delete;
  TDoubleBuffer& operator=(const TDoubleBuffer&) = delete;
  HDC Dc() const { return dc_; }
  RECT Rect() const { return {0, 0, width_, height_}; }
  void Flush();

 private:
  HDC target_;
  RECT rect_;
  int width_, height_;
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ old_ = nullptr;
  bool flushed_ = false;
  bool kept_ = false;
};

}  // namespace skin
