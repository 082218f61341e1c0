#pragma once
// Edit, up-down, combo-box, date-time, track-bar and progress painters, all
// TSkinControl descendants (WinSubClass.h). Their rules without a window live in
// SkinInputRules.h.
#include <windows.h>

#include <memory>

#include "skin/painters/WinSubClass.h"

namespace skin {

class TSkinUpDown;

// Edits: a skinned border, and the first spin child gets an up-down painter.
class TSkinEdit : public TSkinControl {
  VELMORA_CLASS(TSkinEdit, TSkinControl)
 public:
  explicit TSkinEdit(TComponent* owner = nullptr) : TSkinControl(owner) {}
  void AfterProc(TMessage& message) override;
  void Paint(HDC dc, const RECT& rect) override;
  void Unskin() override;

  TSkinUpDown* UpDown = nullptr;  // owned by this painter

 private:
  void PrintBorder(HDC dc);
};

// Up-down buttons: two halves from "UpDown.Vert" / "UpDown.Horz" (8 frames) with the
// element's glyph strip centred, else drawn with lines.
class TSkinUpDown : public TSkinControl {
  VELMORA_CLASS(TSkinUpDown, TSkinControl)
 public:
  explicit TSkinUpDown(TComponent* owner = nullptr) : TSkinControl(owner) {}
  bool BeforeProc(TMessage& message) override;
  void AfterProc(TMessage& message) override;
  void Paint(HDC dc, const RECT& rect) override;

  bool Buddy = false;       // inside an edit, attached by the edit's painter
  bool Horizontal = false;  // set for a tab set's scroller
  TBufferBitmap Buffer;
};

// Combo boxes: the skinned border and button from "SunkEdge" and "ComboButton".
class TSkinComBox : public TSkinControl {
  VELMORA_CLASS(TSkinComBox, TSkinControl)
 public:
  explicit TSkinComBox(TComponent* owner = nullptr) : TSkinControl(owner) {}
  ~TSkinComBox() override;
  void AttachControl(TWinSkinForm* skinForm, TSkinData* skinData, bool changeColor, TCanvas* canvas) override;
  void AttachWindow(HWND handle, TSkinData* skinData, TWinSkinForm* skinForm, TCanvas* canvas) override;
  void Unskin() override;
  void AfterProc(TMessage& message) override;
  void Paint(HDC dc, const RECT& rect) override;

  // The edit of the combo; of an extended combo its inner combo, which covers it:
  // the skin is painted there, after the inner combo's own paint.
  HWND ChildHandle = nullptr;
  COMBOBOXINFO Info{};
  bool HasInfo = false;
  DWORD Style = 0, ExStyle = 0;
  RECT ButtonRect{};
  bool IsComboBoxEx = false;
  TBufferBitmap Buffer;
  // The scroll-bar painter of the list (a simple combo's list, a drop-down's list).
  std::unique_ptr<TSkinControl> ListPainter;

 private:
  void AfterAttach();
  void AttachListPainter(HWND combo);
  void ReleaseChild();
  // An extended combo's border and button, drawn on its inner combo.
  void PaintInner();
  // Shows a state change: an extended combo's face is its inner combo's.
  void ShowState();
  static void ChildHandler(void* context, TMessage& message);
  TWindowSubclass child_;
};

class TArrowButton;

// Date-time pickers: a skinned border and an arrow button of its own over the
// picker's drop-down button.
class TSkinDateTime : public TSkinControl {
  VELMORA_CLASS(TSkinDateTime, TSkinControl)
 public:
  explicit TSkinDateTime(TComponent* owner = nullptr) : TSkinControl(owner) {}
  ~TSkinDateTime() override;
  void AttachControl(TWinSkinForm* skinForm, TSkinData* skinData, bool changeColor, TCanvas* canvas) override;
  void Unskin() override;
  void AfterProc(TMessage& message) override;
  void Paint(HDC dc, const RECT& rect) override;

  TArrowButton* ArrowButton = nullptr;  // a child control of the picker window

 private:
  void PlaceArrow();
};

// The picker's arrow: a control of its own (not a painter) that shows the
// "ComboxArrow" strip and hands presses on to the picker.
class TArrowButton : public TCustomControl {
  VELMORA_CLASS(TArrowButton, TCustomControl)
 public:
  explicit TArrowButton(TComponent* owner = nullptr);
  void WndProc(TMessage& message) override;

  TSkinDateTime* Painter = nullptr;
  TWinControl* Picker = nullptr;
  HWND PickerWindow = nullptr;
  bool Hot = false;
  int ButtonWidth = 16;  // SM_CXVSCROLL

 protected:
  void Paint() override;
};

// Track bars: channel and thumb drawn inside the control's own custom draw; the
// system still draws the ticks.
class TSkinTrackBar : public TSkinControl {
  VELMORA_CLASS(TSkinTrackBar, TSkinControl)
 public:
  explicit TSkinTrackBar(TComponent* owner = nullptr) : TSkinControl(owner) {}
  bool BeforeProc(TMessage& message) override;
  void AfterProc(TMessage& message) override {}
  void Reskin() override;

 private:
  void DrawChannelAndThumb(HDC dc);
  // A vertical bar in a skin without "TRACKVERT": frame 1 of "Track" turned upright
  // (its margins with it), made again when the skin's element changes.
  const TDataSkinObject* TurnedTrack(const TDataSkinObject& track);
  std::unique_ptr<TDataSkinObject> turnedTrack_;
  const TDataSkinObject* turnedFrom_ = nullptr;
};

// Progress bars: background and fill from "Progress", chunks from "Progress.Chunk".
class TSkinProgress : public TSkinControl {
  VELMORA_CLASS(TSkinProgress, TSkinControl)
 public:
  explicit TSkinProgress(TComponent* owner = nullptr) : TSkinControl(owner) {}
  bool BeforeProc(TMessage& message) override;
  void AfterProc(TMessage& message) override {}
  void Paint(HDC dc, const RECT& rect) override;

  TBufferBitmap Buffer;

 private:
  TPixelBuffer turned_;  // the "Progress" picture turned for a vertical bar
  const void* turnedFrom_ = nullptr;
};

// The first child of `parent` of class "msctls_updown32" (any letter case), with
// `spinNames` also one whose class contains "spin" or "updown"; only a visible one
// with `visibleOnly`. Null when none.
HWND FindUpDownChild(HWND parent, bool spinNames, bool visibleOnly);
// An up-down painter on `child`, the spin of a control `owner` paints: owned by
// `owner` and kept off the form skinner's list, so only its owner frees it. Null
// when the child is painted already.
TSkinUpDown* AttachChildUpDown(TSkinControl* owner, HWND child);

// Puts this family's painters in the dispatch's creating table.
void RegisterInputPainters();

}  // namespace skin
