#pragma once
// When a hint shows and hides: the pointer rests on a control with a hint for
// HintPause ms, the hint shows; it hides after HintHidePause ms, or as soon as the
// pointer leaves; moving straight to another control with a hint while one shows
// shows that one at once. A hint that timed out stays hidden until the pointer
// leaves its control. Times are milliseconds of a wrapping 32-bit clock
// (GetTickCount), passed in so the rule is tested without a clock.
//
// Pure code: no Win32 header.
#include <cstdint>

enum class THintAction { None, Show, Hide };

class THintTimer {
 public:
  // The pointer is over `target` (null: over nothing that has a hint) at `now`.
  // Returns Show when the hint of `target` is to show now, Hide when the shown
  // hint is to go.
  THintAction PointerOver(const void* target, uint32_t now, uint32_t hintPause);
  // Time passed without a pointer change.
  THintAction Tick(uint32_t now, uint32_t hintPause, uint32_t hintHidePause);
  bool Showing() const { return showing_; }
  // The control whose hint is waiting or showing; null when none.
  const void* Target() const { return target_; }

 private:
  const void* target_ = nullptr;
  uint32_t since_ = 0;  // when the pointer came (waiting) or the hint showed (showing)
  bool showing_ = false;
  bool done_ = false;  // shown and timed out: nothing more until the pointer leaves
};
