#include "classlib/HintWindow.h"

THintAction THintTimer::PointerOver(const void* target, uint32_t now, uint32_t hintPause) {
  if (target == target_) return THintAction::None;
  const bool wasShowing = showing_;
  target_ = target;
  since_ = now;
  done_ = false;
  showing_ = false;
  if (!target) return wasShowing ? THintAction::Hide : THintAction::None;
  if (wasShowing || hintPause == 0) {
    // The user is reading hints: the next one needs no pause.
    showing_ = true;
    return THintAction::Show;
  }
  return THintAction::None;
}

THintAction THintTimer::Tick(uint32_t now, uint32_t hintPause, uint32_t hintHidePause) {
  if (!target_ || done_) return THintAction::None;
  const uint32_t elapsed = now - since_;  // unsigned: right across the clock's wrap
  if (!showing_) {
    if (elapsed < hintPause) return THintAction::None;
    showing_ = true;
    since_ = now;
    return THintAction::Show;
  }
  if (elapsed < hintHidePause) return THintAction::None;
  showing_ = false;
  done_ = true;
  return THintAction::Hide;
}
