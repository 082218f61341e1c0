#pragma once
// The media player's painter: a panel laid over the player draws its button bar from
// the skin's "BUTTONS" face and the program's media bitmaps, and hands presses on to
// the player underneath.
#include <windows.h>

#include <array>
#include <memory>

#include "classlib/ExtCtrls_win.h"
#include "skin/painters/SkinButtonRules.h"
#include "skin/painters/WinSubClass.h"

namespace skin {

class TSkinMP;

// The panel over the player (same parent, same bounds). It answers 0x3523 with 1 so
// the dispatch never paints it.
class TWMediaPlayer : public TCustomPanel {
  VELMORA_CLASS(TWMediaPlayer, TCustomPanel)
 public:
  TWMediaPlayer(TWinControl* player, TSkinMP* painter, TSkinData* skinData);
  ~TWMediaPlayer() override;
  void WndProc(TMessage& message) override;

  // Bits: button i visible, enabled, coloured (read from the player at each paint).
  uint32_t VisibleButtons = 0, EnabledButtons = 0, ColoredButtons = 0;
  int VisibleCount = 0;
  int ButtonWidth = 0;
  bool Pressed = false;
  int PressedIndex = -1;  // button index (0..8) pressed, -1 none
  int HotIndex = -1;      // button index under the mouse, -1 none

 protected:
  void Paint() override;

 private:
  void ReadButtons();
  // The button (0..8) under panel x, -1 none.
  int ButtonAt(int x);
  void Forward(TMessage& message);
  TWinControl* player_;
  TSkinMP* painter_;
  TSkinData* skinData_;
  // [button][state]: states EN, DI, CL; null when the program lacks the bitmap.
  std::array<std::array<HBITMAP, 3>, kMediaButtons> bitmaps_{};
};

class TSkinMP : public TSkinControl {
  VELMORA_CLASS(TSkinMP, TSkinControl)
 public:
  explicit TSkinMP(TComponent* owner = nullptr) : TSkinControl(owner) {}
  ~TSkinMP() override;
  // The base attach, then the panel over the player.
  void AttachControl(TWinSkinForm* skinForm, TSkinData* skinData, bool changeColor, TCanvas* canvas) override;
  void AfterProc(TMessage& message) override;
  // Frees the panel (unless the player's window is already gone).
  void Unskin() override;
  TWMediaPlayer* Panel() const { return panel_.get(); }

 private:
  void CopyBounds();
  std::unique_ptr<TWMediaPlayer> panel_;
};

}  // namespace skin
