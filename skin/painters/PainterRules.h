#pragma once
// The geometry and small rules of the control painters that need no window: where
// the focus rectangle goes around a measured caption, where an aligned caption
// goes, the DrawText flags they use, and which windows count as top-level.
//
// Pure code: no Win32 header.
#include <cstdint>

#include "skin/container/SkinSlice.h"

namespace skin {

namespace textflags {
constexpr uint32_t DT_LEFT_ = 0x0, DT_CENTER_ = 0x1, DT_RIGHT_ = 0x2, DT_SINGLELINE_ = 0x20,
                   DT_EXPANDTABS_ = 0x40, DT_CALCRECT_ = 0x400, DT_NOCLIP_ = 0x100,
                   DT_RTLREADING_ = 0x20000;
}  // namespace textflags

// The focus rectangle around a caption: `measured` is what DrawText with DT_CALCRECT
// gave inside `caption` (its width and height count). Centred (one pixel up) with
// DT_CENTER, at the right edge with DT_RIGHT, else where measured; grown by 2 across
// and 1 down, clipped to `caption` (an empty rectangle when nothing is left).
TSliceRect FocusRectFor(const TSliceRect& caption, const TSliceRect& measured, uint32_t flags);

// Where a caption of textWidth x textHeight goes inside `rect`: centred both ways
// (offsets rounded toward zero).
TSliceRect AlignedCaptionRect(const TSliceRect& rect, int textWidth, int textHeight);
// DrawText flags of an alignment: 0 left, 1 right, 2 centre (others: left), with
// single line and tab expansion.
uint32_t AlignedCaptionFlags(int alignment);
// The painter's caption flags with right-to-left reading when the control reads so.
uint32_t CaptionFlagsFor(uint32_t flags, bool rightToLeft);

// A window counts as top-level when its parent is the desktop window (whose handle
// the caller asks the system for: it is not fixed) or it is a popup.
bool IsTopLevelWindow(uintptr_t parent, uintptr_t desktop, uint32_t style);

}  // namespace skin
