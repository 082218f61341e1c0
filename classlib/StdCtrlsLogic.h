#pragma once
// Pure rules of the standard controls: text lines, check-box cycling, scroll-bar
// positions. No Win32 header.
#include <string>
#include <string_view>
#include <vector>

// Splits at CR LF, LF or CR; a final line end adds no empty line; "" gives no lines.
std::vector<std::string> SplitLines(std::string_view text);
// Joins with CR LF between lines (no line end after the last).
std::string JoinLines(const std::vector<std::string>& lines);

// The check-box state after a click: 0 unchecked, 1 checked, 2 grayed. Unchecked goes
// to checked, checked to grayed when allowed (else unchecked), grayed to unchecked.
int NextCheckState(int state, bool allowGrayed);

// Scroll requests of a scroll-bar control (the SB_ codes of the system).
enum class TScrollCode { LineUp, LineDown, PageUp, PageDown, ThumbPosition, ThumbTrack, Top, Bottom, EndScroll };

// The position after a scroll request, clamped to [min, max - max(page - 1, 0)]
// (with a page, the last page starts there). `thumb` is used by the thumb codes.
int ScrollPositionAfter(TScrollCode code, int thumb, int position, int min, int max, int smallChange,
                        int largeChange, int page);
