#pragma once
// Bitmap and device-context forms of the skin's pixel operations (BitmapOps.h):
// the class library's bitmaps are converted to pixel buffers, worked on and put
// back as 24-bit bitmaps; system colours resolve through GetSysColor.
#include <windows.h>

#include "classlib/Graphics_win.h"
#include "skin/container/BitmapOps.h"

namespace skin {

// GetSysColor as a TSysColorProc.
uint32_t WinSysColor(int index);

// Converts `bitmap` to 24 bits and sets its exactly-magenta pixels to `color`.
void ReplaceMagenta(TBitmap& bitmap, TSkinColor color);
// Each replaces `bitmap` by a 24-bit bitmap: rows reversed left to right / rows in
// reverse order / height x width with (x, y) = source (y, x) / height x width
// turned a quarter clockwise. An empty bitmap stays empty.
void MirrorBitmap(TBitmap& bitmap);
void FlipBitmap(TBitmap& bitmap);
void TransposeBitmap(TBitmap& bitmap);
void RotateBitmap(TBitmap& bitmap);

// The process's ramp cache (GUI thread only, like all skin drawing).
TGradientCache& SkinGradientCache();

// Fills `rect` of `dc` with a ramp from `from` to `to` (system colours resolved),
// one solid line per row when `vertical`, else per column. Nothing when the
// rectangle is empty or not visible in the DC; lines outside the clip box are
// skipped. GDI failures leave lines unpainted; nothing is raised.
void GradientFill(HDC dc, const RECT& rect, TSkinColor from, bool vertical, TSkinColor to);

}  // namespace skin
