#pragma once
// Scroll-bar painters. A native scroll bar keeps working underneath; each visible
// one is covered by an overlay window of our own (TWScrollbar) that paints the bar
// from the skin and forwards presses to the real bar, so the control's own tracking
// runs unchanged. TSkinScrollbar serves class-library controls with scroll bars,
// TSkinScrollbarH plain windows, TComboxScrollBar paints a drop-down list's bar in
// its non-client area and tracks the thumb itself. Geometry: ScrollBarRules.h.
//
// Ownership: a painter owns its overlays; an overlay is a child of the covered
// window's parent and dies with the painter (or with that parent window).
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>

#include "classlib/ExtCtrls_win.h"
#include "skin/painters/ScrollBarRules.h"
#include "skin/painters/WinSubClass.h"

namespace skin {

// Overlay kinds.
constexpr uint8_t kBarHorizontal = 0, kBarVertical = 1, kBarControl = 2;

// The bar as the system reports it: state bits of SCROLLBARINFO (1 unavailable,
// 0x8000 invisible), its rectangle on screen and the thumb along it.
struct TBarInfo {
  DWORD State = 0;
  RECT Bar{};
  TThumbSpan Thumb;
};

class TWScrollbar : public TCustomPanel {
  VELMORA_CLASS(TWScrollbar, TCustomPanel)
 public:
  explicit TWScrollbar(TComponent* owner = nullptr);
  ~TWScrollbar() override;

  // Covers a bar of `control` (kind 0, 1; 2: the control is a scroll bar, whose
  // "Kind" property decides the direction) / of a plain window.
  void InitControl(TSkinControl* painter, TWinControl* control, uint8_t kind);
  void InitWindow(TSkinControl* painter, HWND handle, uint8_t kind);
  // Reads the bar and shows the overlay over it, or hides it when there is none.
  void Reposition();
  void HideBar();
  // False when the covered window has no such bar (or no GetScrollBarInfo).
  bool ReadBarInfo(TBarInfo& info) const;
  // Repaints now (nothing while hidden).
  void Redraw();
  // Draws the bar into `dc` at (0, 0) of the overlay.
  void PaintBar(HDC dc);
  void WndProc(TMessage& message) override;
  bool Vertical() const { return Kind == kBarVertical; }

  // Fields.
  int TrackLength = 0;
  int ThumbStart = 0, ThumbEnd = 0;
  POINT DownOffset{};
  POINT DownCursor{};
  int DownThumbPos = 0;
  uint8_t Pressed = 0;
  uint8_t Kind = kBarVertical;
  int HotPart = kPartNone;
  int ArrowSize = 16;
  HWND Target = nullptr;
  TWinControl* TargetControl = nullptr;
  TSkinControl* Painter = nullptr;
  uint8_t OrigKind = kBarVertical;
  RECT BarRect{};
  uint8_t Shown = 0;

 protected:
  void CreateParams(TCreateParams& params) override;
  void Paint() override;

 private:
  void Init(TSkinControl* painter, HWND target, uint8_t kind);
  void MouseDown(TMessage& message);
  void MouseUp(TMessage& message);
  void MouseMoved(TMessage& message);
  TBufferBitmap buffer_;
  // Cleared by the destructor: a press forwarded to the target may free the overlay.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// How often an overlay was moved over its bar since the program started (the
// benchmark asserts that scrolling moves none).
uint64_t ScrollOverlayRepositions();

// Draws one bar by plan into `dc` within `rect` (the painters' shared part).
void DrawScrollBar(HDC dc, const RECT& rect, const TSkinData* skinData, const TScrollPaintPlan& plan,
                   bool vertical);

class TSkinScrollbar : public TSkinControl {
  VELMORA_CLASS(TSkinScrollbar, TSkinControl)
 public:
  explicit TSkinScrollbar(TComponent* owner = nullptr);
  ~TSkinScrollbar() override;

  void Unskin() override;
  bool BeforeProc(TMessage& message) override;
  void AfterProc(TMessage& message) override;
  void Paint(HDC dc, const RECT& rect) override;
  void Reskin() override;
  // Takes over a class-library control with scroll bars.
  virtual void AttachScroll(TWinControl* control, TSkinData* skinData, TWinSkinForm* skinForm, TCanvas* canvas);

  std::unique_ptr<TWScrollbar> HorzBar, VertBar;
  uint8_t Resized = 0;
  int64_t SavedFixedColor = 0;
  uint8_t FixedColorChanged = 0;
  uint8_t DrawBorder = 0;
  uint8_t NewThemes = 0;
  // Set by the dispatch before the attach: one bar only, never a border.
  bool SingleBar = false;

 protected:
  void RepositionBars();
  void HideBars();
  void RedrawShownBars();
  void PaintBorder(HDC dc);
  // Fills the box between the two shown bars.
  void PaintCorner(HDC windowDc);
};

// The list view's painter: its header gets a header painter through the seam below.
class TSkinListView : public TSkinScrollbar {
  VELMORA_CLASS(TSkinListView, TSkinScrollbar)
 public:
  using TSkinScrollbar::TSkinScrollbar;
  void AttachScroll(TWinControl* control, TSkinData* skinData, TWinSkinForm* skinForm, TCanvas* canvas) override;
};

// Attaches a painter to a list view's header window (LVM_GETHEADER). Empty by
// default: the header painters fill it at start-up.
using TListViewHeaderAttach = void (*)(TSkinListView& painter, HWND header);
void SetListViewHeaderAttach(TListViewHeaderAttach attach);

// Plain windows with scroll bars, attached by handle.
class TSkinScrollbarH : public TSkinControl {
  VELMORA_CLASS(TSkinScrollbarH, TSkinControl)
 public:
  explicit TSkinScrollbarH(TComponent* owner = nullptr);
  ~TSkinScrollbarH() override;
  void AttachWindow(HWND handle, TSkinData* skinData, TWinSkinForm* skinForm, TCanvas* canvas) override;
  void Unskin() override;
  void AfterProc(TMessage& message) override;
  void Paint(HDC dc, const RECT& rect) override;

  std::unique_ptr<TWScrollbar> HorzBar, VertBar;
};

// A drop-down list's vertical bar, painted into the list's non-client area.
class TComboxScrollBar : public TSkinControl {
  VELMORA_CLASS(TComboxScrollBar, TSkinControl)
 public:
  explicit TComboxScrollBar(TComponent* owner = nullptr);
  ~TComboxScrollBar() override;
  void AttachWindow(HWND handle, TSkinData* skinData, TWinSkinForm* skinForm, TCanvas* canvas) override;
  bool BeforeProc(TMessage& message) override;
  void AfterProc(TMessage& message) override;
  void Paint(HDC dc, const RECT& rect) override;
  void PaintWindow(HDC dc) override;

  int HotPart = kPartNone;
  uint8_t Pressed = 0;
  bool Tracking = false;
  TThumbSpan TrackThumb;  // the dragged thumb, along the bar
  int ArrowSize = 16;

 private:
  // The thumb drag; false when the press was not on the thumb.
  bool TrackThumbLoop(POINT screenPoint);
  int PartAt(POINT screenPoint);
  bool cancelled_ = false;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// Puts the scroll-bar painters into the painter table (Scrollbar, ListView).
void RegisterScrollBarPainters();

}  // namespace skin
