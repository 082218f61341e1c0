#pragma once
// TWinSkinPopMenu: the skinner of one popup-menu window ("#32768"). It subclasses the
// window and paints its frame and background from the skin's MenuBackground element;
// the menu items are drawn by the menu painter, which tells it which menu it shows.
//
// Ownership: made and freed by the skin manager (listed there); owns its frame image
// and its subclass, which it undoes on detach.
#include <windows.h>

#include <memory>

#include "classlib/System.h"
#include "skin/container/SkinDraw_win.h"
#include "skin/painters/SkinSubclass_win.h"
#include "skin/data/WinSkinData.h"

namespace skin {

class TWinSkinPopMenu : public TObject {
 public:
  TWinSkinPopMenu();
  ~TWinSkinPopMenu() override;

  void Attach(HWND window, TSkinData* skinData, HMENU menu);
  // Window procedure back, region and frame image gone. Safe to call twice.
  void Detach();
  void WndProc(TMessage& message);

  bool Subclassed() const { return subclass_.Installed(); }
  HWND Window() const { return window_; }
  TSkinData* SkinData() const { return skinData_; }
  // The frame image of the last paint (null before one).
  HBITMAP FrameImage() const { return frame_.Handle(); }

  int Index = -1;
  HMENU Menu = nullptr;  // set by the menu painter
  bool RegionSet = false;
  HRGN Region = nullptr;
  bool Flag = false;  // set by the menu painter

  // The GetVersion value the DC and erase rules read (the system's by default; 0:
  // back to the system's).
  static void SetVersionForTests(DWORD version);

 private:
  static void Handler(void* context, TMessage& message);
  bool HasFrameImage() const;
  // Builds the frame image at the window's size; false when the window has none.
  bool BuildFrame(RECT& bounds);
  void NCPaint(TMessage& message);
  // The frame's edges over the window, after the menu painted its client area.
  void PaintFrameEdges();
  void Print(TMessage& message);
  void BecomeCurrentWithoutMenu();

  TWindowSubclass subclass_;
  HWND window_ = nullptr;
  TSkinData* skinData_ = nullptr;
  TSkinDib frame_;
};

// What a popup skinner asks of the skin manager, which stands above it and fills
// this when the engine starts. With none, a popup skinner passes every message on.
class TPopupManagerSeam {
 public:
  virtual ~TPopupManagerSeam() = default;
  // A manager exists and skinning is on.
  virtual bool Enabled() const = 0;
  // The popup painted before the menu painter told it which menu it shows.
  virtual void PaintedWithoutMenu(TWinSkinPopMenu* popup) = 0;
  // GetVersion's value as the manager stored it.
  virtual DWORD VersionWord() const = 0;
};
void SetPopupManagerSeam(TPopupManagerSeam* seam);

}  // namespace skin
