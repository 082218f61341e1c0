#pragma once
// The skinned non-client area of a form skinner: frame metrics from the skin's
// borders, the client rectangle, the frame and caption painted off screen, the
// window region cut from the borders' magenta pixels, the window resized so that
// its client keeps its size, and the caption buttons with the non-client mouse, the
// skinned system menu and the hover hints. Decisions live in FrameRules.h.
//
// Region ownership: a region accepted by SetWindowRgn belongs to the system, which
// deletes it when it is replaced; the skinner keeps no handle to it.
#include <windows.h>

#include "skin/forms/WinSkinForm.h"

namespace skin {

// A clickable object of the non-client area (caption buttons; menu-bar buttons
// derive from it too). Rect is in window-frame coordinates.
class TNCObject : public TObject {
  VELMORA_CLASS(TNCObject, TObject)
 public:
  explicit TNCObject(TWinSkinForm* owner = nullptr) : Owner(owner) {}
  TWinSkinForm* Owner = nullptr;
  RECT Rect{};
  uint8_t Visible = 0;
  int State = 1;  // 1 normal, 2 pressed, 3 hot
  uint8_t Enabled = 1;

  virtual void MouseDown();
  virtual void MouseUp();
  virtual void MouseMove();
  virtual void MouseLeave();
  virtual void Paint() {}
};

// A caption button from the skin's caption-button list.
class TWinSysButton : public TNCObject {
  VELMORA_CLASS(TWinSysButton, TNCObject)
 public:
  TWinSysButton(TWinSkinForm* owner = nullptr, const TDataSkinSysButton* data = nullptr)
      : TNCObject(owner), Data(data) {}
  const TDataSkinSysButton* Data = nullptr;
  void Paint() override;
};

class TSkinFrame : public TFormFrameSeam {
 public:
  void ComputeMetrics(TWinSkinForm& form) override;
  void NCCalcSize(TWinSkinForm& form, TMessage& message) override;
  void NCPaint(TWinSkinForm& form, TMessage& message) override;
  void NCActivate(TWinSkinForm& form, TMessage& message) override;
  void NCHitTest(TWinSkinForm& form, TMessage& message) override;
  void NCMouse(TWinSkinForm& form, TMessage& message) override;
  void SysCommand(TWinSkinForm& form, TMessage& message) override;
  void Command(TWinSkinForm& form, TMessage& message) override;
  void PaintFrame(TWinSkinForm& form, HDC dc) override;
  void KeepClientSize(TWinSkinForm& form, bool useClientRect) override;
  void BuildRegion(TWinSkinForm& form, bool redraw = true) override;
  void RemoveRegion(TWinSkinForm& form) override;
  void SetSysMenuStyle(TWinSkinForm& form, bool hide) override;
  void RebuildIcon(TWinSkinForm& form) override;
  void HoverTick(TWinSkinForm& form) override;
  void DropCaptionButtons(TWinSkinForm& form) override;

  // Pieces 1 Left, 2 Right, 3 Top, 4 Bottom into `rect` of `dc`.
  static void DrawBorderPiece(TWinSkinForm& form, int kind, const RECT& rect, HDC dc);
  static void PaintCaption(TWinSkinForm& form, HDC dc);
  static void DrawCaptionText(TWinSkinForm& form, HDC dc, const RECT& rect);
  static void CreateSysButtons(TWinSkinForm& form);
  static bool ButtonVisible(TWinSkinForm& form, TWinSysButton& button);
  static void LayoutButtons(TWinSkinForm& form);
  static void PaintButtons(TWinSkinForm& form, HDC dc);
  static TWinSysButton* ButtonAt(TWinSkinForm& form, POINT framePoint);
  static POINT ToFrame(TWinSkinForm& form, POINT screenPoint);
  static void Maximize(TWinSkinForm& form);
  static void Minimize(TWinSkinForm& form);
  static void Restore(TWinSkinForm& form);
  static void MDIChildCommand(TWinSkinForm& form, WPARAM command);
  static void ShowSystemMenu(TWinSkinForm& form, POINT screenPoint);
  static void RunAction(TWinSkinForm& form, TWinSysButton& button, POINT screenPoint);
  static bool ClosingAllowed(TWinSkinForm& form);
  static void ResetHint(TWinSkinForm& form);
};

// The skinned frame every form skinner uses unless another seam is installed.
TSkinFrame& SkinFrame();

}  // namespace skin
