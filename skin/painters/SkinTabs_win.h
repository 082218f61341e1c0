#pragma once
// Tab, header and status-bar painters, and the small painters of sheets, size boxes
// and advanced page controls: TSkinControl descendants (WinSubClass.h) that draw
// their control entirely themselves. Their rules without a window live in
// SkinTabRules.h.
#include <windows.h>

#include <vector>

#include "skin/painters/SkinTabRules.h"
#include "skin/painters/WinSubClass.h"

namespace skin {

class TSkinUpDown;

// Tab and page controls: the "Tabs" faces in the band, the pane round the pages.
class TSkinTab : public TSkinControl {
  VELMORA_CLASS(TSkinTab, TSkinControl)
 public:
  explicit TSkinTab(TComponent* owner = nullptr) : TSkinControl(owner) {}
  void AttachControl(TWinSkinForm* skinForm, TSkinData* skinData, bool changeColor, TCanvas* canvas) override;
  void AttachWindow(HWND handle, TSkinData* skinData, TWinSkinForm* skinForm, TCanvas* canvas) override;
  bool BeforeProc(TMessage& message) override;
  void AfterProc(TMessage& message) override;
  void Paint(HDC dc, const RECT& rect) override;
  void Reskin() override;
  void Unskin() override;

  std::vector<TSliceRect> TabRects;  // the close squares, one per tab (client coordinates)
  TTabSide Position = TTabSide::Top;
  TPixelBuffer TabImage, PaneImage;  // turned to the position
  TBufferBitmap Buffer;
  TSkinUpDown* UpDown = nullptr;  // the scroller's painter, owned by this one
  bool CloseButtons = false;

 protected:
  void PrepareImages();
  void AttachScroller();
  // Draws tab `index` (its face of `frame`) into `dc` at `r`, caption and image too.
  virtual void DrawTab(HDC dc, const RECT& r, int index, int frame);
  bool ClickClose(TMessage& message);
  TSliceMargins tabMargins_{}, paneMargins_{};
};

// Tab controls in a button style: each tab a "BUTTONS" face.
class TSkinTabBtn : public TSkinTab {
  VELMORA_CLASS(TSkinTabBtn, TSkinTab)
 public:
  using TSkinTab::TSkinTab;
  void Paint(HDC dc, const RECT& rect) override;

 protected:
  void DrawTab(HDC dc, const RECT& r, int index, int frame) override;
};

// Tab sets (tabs under the pages): each tab a face of the "Tabs" picture flipped
// upside down, the selected one in frame 2; the set's scroller gets a horizontal
// up-down painter. The tabs lie as the class library's tab set lays them out, read
// from the control's published properties.
class TSkinTab31 : public TSkinControl {
  VELMORA_CLASS(TSkinTab31, TSkinControl)
 public:
  explicit TSkinTab31(TComponent* owner = nullptr) : TSkinControl(owner) {}
  // Subclasses the control's window (AttachWindow) and keeps the control to read.
  void AttachControl(TWinSkinForm* skinForm, TSkinData* skinData, bool changeColor, TCanvas* canvas) override;
  bool BeforeProc(TMessage& message) override;
  void Paint(HDC dc, const RECT& rect) override;
  void Reskin() override;
  void Unskin() override;

  TPixelBuffer TabImage;              // "Tabs" flipped upside down
  TSkinUpDown* UpDown = nullptr;      // the scroller's painter, owned by this one
  TWinControl* ScrollerControl = nullptr;
  TBufferBitmap Buffer;

 private:
  void PrepareImage();
  TSliceMargins margins_{};
};

// Header controls, list views' headers too: "Headerbar" faces, the hot item in 2.
class TSkinHeader : public TSkinControl {
  VELMORA_CLASS(TSkinHeader, TSkinControl)
 public:
  explicit TSkinHeader(TComponent* owner = nullptr) : TSkinControl(owner) {}
  bool BeforeProc(TMessage& message) override;
  void AfterProc(TMessage& message) override;
  void Paint(HDC dc, const RECT& rect) override;

  std::vector<TSliceRect> ItemRects;
  int HotItem = -1;  // none before the first mouse move and after the mouse left
  TBufferBitmap Buffer;
};

// Status bars: panels framed by bevel from "StatusBarEdges", the size grip.
class TSkinStatusBar : public TSkinControl {
  VELMORA_CLASS(TSkinStatusBar, TSkinControl)
 public:
  explicit TSkinStatusBar(TComponent* owner = nullptr) : TSkinControl(owner) {}
  bool BeforeProc(TMessage& message) override;
  void AfterProc(TMessage& message) override {}
  void Paint(HDC dc, const RECT& rect) override;

  TBufferBitmap Buffer;

 private:
  // Paints the bar; false when the painter was freed meanwhile (a panel handler
  // closed the form).
  bool PaintBar(HDC dc, const RECT& rect);
};

// Size boxes: "ButtonFace".
class TSkinSizer : public TSkinControl {
  VELMORA_CLASS(TSkinSizer, TSkinControl)
 public:
  explicit TSkinSizer(TComponent* owner = nullptr) : TSkinControl(owner) {}
  void Paint(HDC dc, const RECT& rect) override;
};

// Tab sheets: "ButtonFace" and the windowless children on it.
class TSkinTabSheet : public TSkinControl {
  VELMORA_CLASS(TSkinTabSheet, TSkinControl)
 public:
  explicit TSkinTabSheet(TComponent* owner = nullptr) : TSkinControl(owner) {}
  bool BeforeProc(TMessage& message) override;
  void AfterProc(TMessage& message) override {}
  void Paint(HDC dc, const RECT& rect) override;
};

// Page controls of another family that take tab pictures: 100 x 21 pictures of the
// "Tabs" frames 1 and 2, and the scroller's up-down.
class TSkinAdvPage : public TSkinControl {
  VELMORA_CLASS(TSkinAdvPage, TSkinControl)
 public:
  explicit TSkinAdvPage(TComponent* owner = nullptr) : TSkinControl(owner) {}
  void AttachControl(TWinSkinForm* skinForm, TSkinData* skinData, bool changeColor, TCanvas* canvas) override;
  void AfterProc(TMessage& message) override;
  void Unskin() override;
  void Reskin() override;
  void Paint(HDC dc, const RECT& rect) override;

  TSkinUpDown* UpDown = nullptr;
  int32_t Mode = 4;

 private:
  void AssignPictures(bool clear);
};

// Puts this family's painters in the dispatch's creating table.
void RegisterTabPainters();

}  // namespace skin
