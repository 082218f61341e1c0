#pragma once
// Small things the edit, range, tab and status-bar painters share: colour slots,
// private message numbers, a one-pixel frame in a colour, the skin's element
// lookups and a guard for calls that may free the painter.
#include <windows.h>

#include "skin/painters/WinSubClass.h"

namespace skin {

// Colour slots of the skin's table beyond those SkinModel.h names.
constexpr int kSlotButtonHilight = 5, kSlotButtonShadow = 7, kSlotButtonDkShadow = 8;

// 0xBC4A: the class library's reflected paint request; with lParam kFrameMarker the
// window's own paint into the DC in wParam.
constexpr UINT kMsgPaintThrough = 0xBC4A;
constexpr LPARAM kFrameMarker = 0x41A2;
// 0x3507 to the form skinner's window: a tab's close box was clicked (wParam the tab
// control, lParam the tab index); an answer of 0 lets the painter free the page.
constexpr UINT kMsgTabClose = 0x3507;

// A one-pixel frame on `rect` in `colour`.
void FrameSolid(HDC dc, const RECT& rect, COLORREF colour);

// Whether `element` exists with a picture.
inline bool HasPicture(const TDataSkinObject* element) { return element && !element->Bitmap.Empty(); }
// An element's frame count, at least 1.
inline int FramesOf(const TDataSkinObject& element) { return element.Frame < 1 ? 1 : element.Frame; }

template <class T>
TSkinControl* MakePainter(TComponent* owner) {
  return new T(owner);
}

// A guard a painter holds across a call that may free it (a program handler, a
// message to the form): Gone() tells afterwards whether it was freed meanwhile.
class TPainterLife {
 public:
  explicit TPainterLife(TComponent* painter);
  ~TPainterLife();
  TPainterLife(const TPainterLife&) = delete;
  TPainterLife& operator=(const TPainterLife&) = delete;
  bool Gone() const { return gone_; }

 private:
  class TWatcher;
  TWatcher* watcher_;
  bool gone_ = false;
};

}  // namespace skin
