#pragma once
// Text helpers shared by the report, the logs, the dialogs and the sending: durations,
// date texts with their zone, padding, one-line and printable text, HTML and RTF
// escaping. Pure: times and zones come in as arguments.
#include <string>
#include <string_view>

#include "classlib/SysUtils.h"

namespace exclog {

// "D days, H hours, M minutes, S seconds" for a span given in days. The span is
// rounded to whole seconds first (splitting floating fractions would lose a second
// on about half of the whole-second inputs). Days, hours and minutes are written only
// when at least 1; seconds always. Units take "s" from 2 on ("0 second", "1 day").
// Negative spans count as 0.
std::string DurationText(double days);

// The zone of a local time `offsetMinutes` ahead of universal time, as +hhmm/-hhmm
// (60 gives "+0100", -300 "-0500", 330 "+0530").
std::string ZoneText(int offsetMinutes);

// "Sun, 6 Dec 2026 09:05:03 +0100": weekday, day, month, year, time of the local
// time `local`, then ZoneText(offsetMinutes). The time is rounded to whole seconds.
std::string DateText(TDateTime local, int offsetMinutes);

// `text` with blanks appended up to `width` characters (unchanged when longer).
std::string PadRight(std::string_view text, size_t width);

// Every run of characters below 32 becomes one blank.
std::string OneLine(std::string_view text);

// Every character below 32 other than CR and LF becomes a blank.
std::string PrintableText(std::string_view text);

inline const std::string& ChooseText(bool flag, const std::string& a, const std::string& b) {
  return flag ? a : b;
}

// &, ", ', <, >, two blanks and CR LF replaced, in that order, by "&amp;", "&quot;",
// "&#039;", "&lt;", "&gt;", "&nbsp;&nbsp;" and "<br>" CR LF.
std::string HtmlEscape(std::string_view text);

// Backslash, "{", "}" and CR LF replaced by "\\\\", "\\{", "\\}" and "\\par" CR LF.
std::string RtfEscape(std::string_view text);

}  // namespace exclog
