#include "exclog/core/ETextFormat.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace exclog {

namespace {

void AppendCount(std::string& out, int64_t count, const char* unit) {
  out += std::to_string(count);
  out += ' ';
  out += unit;
  if (count >= 2) out += 's';
}

}  // namespace

std::string DurationText(double days) {
  int64_t total = 0;
  // NaN and spans of thousands of years read as 0 rather than overflowing.
  if (days > 0 && days < 1e9) total = std::llround(days * 86400.0);
  const int64_t d = total / 86400;
  const int64_t h = total / 3600 % 24;
  const int64_t m = total / 60 % 60;
  const int64_t s = total % 60;
  std::string out;
  if (d >= 1) { AppendCount(out, d, "day"); out += ", "; }
  if (h >= 1) { AppendCount(out, h, "hour"); out += ", "; }
  if (m >= 1) { AppendCount(out, m, "minute"); out += ", "; }
  AppendCount(out, s, "second");
  return out;
}

std::string ZoneText(int offsetMinutes) {
  const int magnitude = std::abs(offsetMinutes);
  char buf[16];
  std::snprintf(buf, sizeof buf, "%c%02d%02d", offsetMinutes < 0 ? '-' : '+',
                magnitude / 60 % 100, magnitude % 60);
  return buf;
}

std::string DateText(TDateTime local, int offsetMinutes) {
  static const char* const weekDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  // Whole seconds first, so 23:59:59.6 becomes the next day rather than "24:00:00".
  const double seconds = std::round(local * 86400.0);
  const TDateTime whole = seconds / 86400.0;
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, ms = 0;
  DecodeDate(whole, year, month, day);
  DecodeTime(whole, hour, minute, second, ms);
  const int weekDay = DayOfWeek(whole);  // 1 = Sunday
  return Format("%s, %d %s %d %0.2d:%0.2d:%0.2d %s", weekDays[(weekDay + 6) % 7], day,
                months[(month + 11) % 12], year, hour, minute, second, ZoneText(offsetMinutes));
}

std::string PadRight(std::string_view text, size_t width) {
  std::string out(text);
  if (out.size() < width) out.append(width - out.size(), ' ');
  return out;
}

std::string OneLine(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  bool inRun = false;
  for (char c : text) {
    if (static_cast<unsigned char>(c) < 32) {
      if (!inRun) out += ' ';
      inRun = true;
    } else {
      out += c;
      inRun = false;
    }
  }
  return out;
}

std::string PrintableText(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 32 && c != '\r' && c != '\n') c = ' ';
  return out;
}

std::string HtmlEscape(std::string_view text) {
  std::string out = StringReplace(text, "&", "&amp;");
  out = StringReplace(out, "\"", "&quot;");
  out = StringReplace(out, "'", "&#039;");
  out = StringReplace(out, "<", "&lt;");
  out = StringReplace(out, ">", "&gt;");
  out = StringReplace(out, "  ", "&nbsp;&nbsp;");
  return StringReplace(out, "\r\n", "<br>\r\n");
}

std::string RtfEscape(std::string_view text) {
  std::string out = StringReplace(text, "\\", "\\\\");
  out = StringReplace(out, "{", "\\{");
  out = StringReplace(out, "}", "\\}");
  return StringReplace(out, "\r\n", "\\par\r\n");
}

}  // namespace exclog
