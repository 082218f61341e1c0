#pragma once
// Subclassing for the whole skin engine: one RAII type for a window procedure put in
// front of a window's own (TWindowSubclass), and one for a handler put in front of a
// class-library control's WindowProc (TControlProcHook).
//
// Both undo themselves only while they are still the current entry. When something
// was put in front of them later, that later entry holds their address: they then
// stay behind as a plain pass-through to what they replaced (freed with the window or
// the control), so nobody ever calls freed code.
#include <windows.h>

#include "classlib/Controls_win.h"

namespace skin {

class TControlProcEntry;

// What a subclass calls with each message; `context` is the installer's.
using TSubclassHandler = void (*)(void* context, TMessage& message);

class TWindowSubclass {
 public:
  TWindowSubclass() = default;
  ~TWindowSubclass() { Remove(); }
  TWindowSubclass(const TWindowSubclass&) = delete;
  TWindowSubclass& operator=(const TWindowSubclass&) = delete;

  // Puts `handler` in front of `window`'s procedure, in the A or W form the window
  // has. False (nothing changed) when already installed or the system refused.
  bool Install(HWND window, TSubclassHandler handler, void* context);
  // Gives the window its previous procedure back when ours is current; otherwise
  // leaves a pass-through in place. Safe to call twice and from inside the handler.
  void Remove();
  // The previous procedure with this message (A or W form as installed).
  LRESULT CallOld(UINT message, WPARAM wParam, LPARAM lParam) const;
  void CallOld(TMessage& message) const { message.Result = CallOld(message.Msg, message.WParam, message.LParam); }

  bool Installed() const { return record_ != nullptr; }
  HWND Window() const;
  bool Unicode() const;
  WNDPROC OldProc() const;
  // Our entry (what GetWindowLong(GWL_WNDPROC) gives while we are current).
  WNDPROC Instance() const;
  // Whether our entry is the window's current procedure.
  bool Current() const;

  struct TRecord;

 private:
  static bool Current_(const TRecord* record);
  TRecord* record_ = nullptr;
};

// The A or W form of GetWindowLongPtr / SetWindowLongPtr for GWL_WNDPROC.
WNDPROC GetWindowProc(HWND window);
WNDPROC SetWindowProc(HWND window, WNDPROC proc);

// A handler in front of `control`'s WindowProc. The saved entry is called with
// CallOld. Remove restores the saved entry while ours is current; otherwise it stays
// as a pass-through owned by the control.
class TControlProcHook {
 public:
  TControlProcHook() = default;
  ~TControlProcHook() { Remove(); }
  TControlProcHook(const TControlProcHook&) = delete;
  TControlProcHook& operator=(const TControlProcHook&) = delete;

  bool Install(TControl* control, TSubclassHandler handler, void* context);
  void Remove();
  void CallOld(TMessage& message) const;
  bool Installed() const { return entry_ != nullptr; }
  bool Current() const;
  TControl* Control() const;

 private:
  class TControlProcEntry* entry_ = nullptr;
};

}  // namespace skin
