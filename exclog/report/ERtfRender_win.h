#pragma once
// Puts the rendered report parts into a rich-edit control.
#include <windows.h>

#include <cstdint>
#include <string>

namespace exclog {

// Width in pixels of "---------------------" in `font` (0: the system font) on the
// screen; 0 when it cannot be measured.
int DashPixelWidth(HFONT font);

// Replaces the content of the rich edit `edit` by the RTF document `rtf`, streamed in
// with EM_STREAMIN (SF_RTF). Returns the number of characters the control took.
long StreamRtfIntoRichEdit(HWND edit, const std::string& rtf);

// Background of the rich edit: a COLORREF, or a negative value naming a system colour
// by its low byte.
void SetRichEditBackground(HWND edit, int32_t colour);

}  // namespace exclog
