#pragma once
// The hint window: a borderless top-most popup of class "THintWindow" that shows a
// control's Hint text near the pointer; and the hint manager, which watches the
// pointer and shows and hides one hint window with the application's HintPause
// and HintHidePause (THintTimer's rule).
#include <windows.h>

#include <memory>
#include <string>

#include "classlib/Controls_win.h"
#include "classlib/HintWindow.h"

class THintWindow : public TCustomControl {
  VELMORA_CLASS(THintWindow, TCustomControl)
 public:
  explicit THintWindow(TComponent* owner = nullptr);
  // The screen rectangle `text` needs, its top-left corner at (0, 0), lines
  // broken at `maxWidth` pixels.
  RECT CalcHintRect(int maxWidth, const std::string& text);
  // Shows `text` in `screenRect` without taking the focus.
  void ActivateHint(const RECT& screenRect, const std::string& text);
  // Hides the window (it stays made for the next hint).
  void ReleaseHint();
  bool HintShowing() const { return HandleAllocated() && IsWindowVisible(const_cast<THintWindow*>(this)->Handle()); }

 protected:
  void CreateParams(TCreateParams& params) override;
  void Paint() override;
};

// Watches the pointer on this thread's message loop while it exists; needs no owner.
// A mouse hook on the thread arms a 50 ms thread timer when the pointer moves; the
// timer runs only while the pointer rests on a control with a hint (or a hint
// shows), so an idle program does not wake. Reads Application's HintPause and
// HintHidePause on every tick, so they may change at any time.
class THintManager : public TComponent {
  VELMORA_CLASS(THintManager, TComponent)
 public:
  explicit THintManager(TComponent* owner = nullptr);
  ~THintManager() override;
  THintWindow& Window() { return *window_; }
  // The control under a screen point whose hint would show (ShowHint set, Hint not
  // empty; a windowless child before its parent); null when none.
  static TControl* HintControlAt(POINT screenPoint);
  void Notification(TComponent* component, TOperation operation) override;

 private:
  friend void CALLBACK HintTimerProc(HWND, UINT, UINT_PTR, DWORD);
  friend LRESULT CALLBACK HintMouseHook(int, WPARAM, LPARAM);
  void Poll();
  // Starts the timer unless it runs; stops it when nothing is waiting or showing.
  void ArmTimer();
  void StopTimerWhenIdle();
  void Show(TControl* control);
  std::unique_ptr<THintWindow> window_;
  THintTimer timer_;
  TControl* shown_ = nullptr;
  UINT_PTR timerId_ = 0;
  DWORD thread_ = 0;
};

void RegisterHintWindowClasses();
