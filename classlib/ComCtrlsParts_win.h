#pragma once
// What the common-control families (ComCtrls*_win.cpp) share: the reflected
// notification's header, a canvas lent a DC for an event, and the whole-control
// custom draw of list and tree views.
#include "classlib/ComCtrls_win.h"

namespace comctrls {

// The skin engine sends the reflected-notify number with a small marker in lParam
// (0x41A2); no header lives in the first 64 KiB, so such a value reads as none.
inline const NMHDR& HeaderOf(const TMessage& message) {
  static const NMHDR none{};
  if (static_cast<uintptr_t>(message.LParam) < 0x10000) return none;
  return *reinterpret_cast<const NMHDR*>(message.LParam);
}

// Points a canvas at a DC for the length of an event call.
class TCanvasOnDc {
 public:
  TCanvasOnDc(TCanvas& canvas, HDC dc) : canvas_(canvas) { canvas_.SetHandle(dc); }
  ~TCanvasOnDc() { canvas_.SetHandle(nullptr); }
  TCanvasOnDc(const TCanvasOnDc&) = delete;
  TCanvasOnDc& operator=(const TCanvasOnDc&) = delete;

 private:
  TCanvas& canvas_;
};

// The whole-control custom draw of list and tree views: asks the event before the
// system paints; a cleared flag skips the system's drawing.
inline LRESULT WholeControlCustomDraw(TWinControl* sender, TCanvas& canvas, const TCustomDrawEvent& event,
                               const NMCUSTOMDRAW& draw) {
  if (draw.dwDrawStage != CDDS_PREPAINT || !event) return CDRF_DODEFAULT;
  bool defaultDraw = true;
  {
    TCanvasOnDc on(canvas, draw.hdc);
    event(sender, draw.rc, defaultDraw);
  }
  return defaultDraw ? CDRF_DODEFAULT : CDRF_SKIPDEFAULT;
}

}  // namespace comctrls
