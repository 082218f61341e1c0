// String helpers, formatting, dates; the POSIX file routines (the Windows build has
// its own in SysUtils_win.cpp, so file writes reach the program's WriteFile import).
#include "classlib/SysUtils.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace {

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 32; }
char UpperChar(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }
char LowerChar(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

}  // namespace

void Abort() { throw EAbort("Operation aborted"); }

void Assert(bool condition, const std::string& message) {
  if (!condition) throw EAssertionFailed(message);
}

TSystemExceptionName SystemExceptionName(uint32_t code) {
  switch (code) {
    case 0xC0000094u: return {EDivByZero::StaticClass(), "Division by zero"};
    case 0xC0000095u: return {EIntOverflow::StaticClass(), "Integer overflow"};
    case 0xC000008Eu: return {EZeroDivide::StaticClass(), "Floating point division by zero"};
    case 0xC0000091u: return {EOverflow::StaticClass(), "Floating point overflow"};
    case 0xC0000093u: return {EUnderflow::StaticClass(), "Floating point underflow"};
    case 0xC000008Du:  // denormal operand
    case 0xC000008Fu:  // inexact result
    case 0xC0000090u:  // invalid operation
    case 0xC0000092u:  // stack check
      return {EInvalidOp::StaticClass(), "Invalid floating point operation"};
    case 0xC0000096u:  // privileged instruction
    case 0xC000001Du:  // illegal instruction
      return {EPrivilege::StaticClass(), "Privileged instruction"};
    case 0xC00000FDu: return {EStackOverflow::StaticClass(), "Stack overflow"};
    case 0xC0000005u: return {EAccessViolation::StaticClass(), "External exception C0000005"};
    default: return {EExternal::StaticClass(), "External exception " + IntToHex(code, 8)};
  }
}

std::unique_ptr<EExternal> NewSystemException(std::string message, const TExceptionRecord32& record) {
  const TClass cls = SystemExceptionName(record.ExceptionCode).Class;
  auto make = [&]<class T>() -> std::unique_ptr<EExternal> { return std::make_unique<T>(std::move(message), record); };
  if (cls == EDivByZero::StaticClass()) return make.template operator()<EDivByZero>();
  if (cls == EIntOverflow::StaticClass()) return make.template operator()<EIntOverflow>();
  if (cls == EZeroDivide::StaticClass()) return make.template operator()<EZeroDivide>();
  if (cls == EOverflow::StaticClass()) return make.template operator()<EOverflow>();
  if (cls == EUnderflow::StaticClass()) return make.template operator()<EUnderflow>();
  if (cls == EInvalidOp::StaticClass()) return make.template operator()<EInvalidOp>();
  if (cls == EPrivilege::StaticClass()) return make.template operator()<EPrivilege>();
  if (cls == EStackOverflow::StaticClass()) return make.template operator()<EStackOverflow>();
  if (cls == EAccessViolation::StaticClass()) return make.template operator()<EAccessViolation>();
  return make.template operator()<EExternal>();
}

// ---------------------------------------------------------------------------
// Strings

std::string Trim(std::string_view s) { return TrimLeft(TrimRight(s)); }

std::string TrimLeft(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && IsBlank(s[i])) ++i;
  return std::string(s.substr(i));
}

std::string TrimRight(std::string_view s) {
  size_t n = s.size();
  while (n > 0 && IsBlank(s[n - 1])) --n;
  return std::string(s.substr(0, n));
}

std::string UpperCase(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = UpperChar(c);
  return r;
}

std::string LowerCase(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = LowerChar(c);
  return r;
}

int CompareText(std::string_view a, std::string_view b) {
  size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    auto ca = static_cast<unsigned char>(UpperChar(a[i]));
    auto cb = static_cast<unsigned char>(UpperChar(b[i]));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool SameText(std::string_view a, std::string_view b) { return a.size() == b.size() && CompareText(a, b) == 0; }

std::string Copy(std::string_view s, int index, int count) {
  if (index < 1) index = 1;
  if (count <= 0 || static_cast<size_t>(index) > s.size()) return {};
  return std::string(s.substr(static_cast<size_t>(index) - 1, static_cast<size_t>(count)));
}

int Pos(std::string_view sub, std::string_view s, int from) {
  if (sub.empty() || from < 1 || static_cast<size_t>(from) > s.size()) return 0;
  size_t at = s.find(sub, static_cast<size_t>(from) - 1);
  return at == std::string_view::npos ? 0 : static_cast<int>(at) + 1;
}

std::string StringReplace(std::string_view s, std::string_view from, std::string_view to, bool all,
                          bool ignoreCase) {
  if (from.empty()) return std::string(s);
  std::string hay = ignoreCase ? UpperCase(s) : std::string(s);
  std::string needle = ignoreCase ? UpperCase(from) : std::string(from);
  std::string out;
  size_t start = 0;
  while (start <= s.size()) {
    size_t at = hay.find(needle, start);
    if (at == std::string::npos) break;
    out.append(s.substr(start, at - start));
    out.append(to);
    start = at + from.size();
    if (!all) break;
  }
  out.append(s.substr(start < s.size() ? start : s.size()));
  return out;
}

std::string IntToStr(int64_t value) { return std::to_string(value); }

std::string IntToHex(int64_t value, int digits) {
  uint64_t v = value >= INT32_MIN && value < 0 ? static_cast<uint32_t>(value) : static_cast<uint64_t>(value);
  static const char hex[] = "0123456789ABCDEF";
  std::string r;
  do {
    r.insert(r.begin(), hex[v & 15]);
    v >>= 4;
  } while (v);
  if (digits > 64) digits = 64;
  if (static_cast<int>(r.size()) < digits) r.insert(0, static_cast<size_t>(digits) - r.size(), '0');
  return r;
}

namespace {

// Parses an optionally signed decimal or "$"/"0x" hexadecimal integer within
// [minValue, maxValue]; blanks around are allowed.
bool ParseInt(std::string_view text, int64_t minValue, int64_t maxValue, int64_t& out) {
  std::string s = Trim(text);
  size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) negative = s[i++] == '-';
  int base = 10;
  if (i < s.size() && s[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= s.size()) return false;
  // Accumulate as unsigned with a limit one past the largest magnitude allowed.
  uint64_t limit = negative ? static_cast<uint64_t>(-(minValue + 1)) + 1 : static_cast<uint64_t>(maxValue);
  if (base == 16 && !negative && maxValue == INT32_MAX) limit = UINT32_MAX;  // "$FFFFFFFF" is -1
  if (base == 16 && !negative && maxValue == INT64_MAX) limit = UINT64_MAX;
  uint64_t v = 0;
  for (; i < s.size(); ++i) {
    char c = s[i];
    int d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else return false;
    if (v > (limit - static_cast<uint64_t>(d)) / static_cast<uint64_t>(base)) return false;
    v = v * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
  }
  if (negative) {
    out = v == 0 ? 0 : static_cast<int64_t>(~(v - 1));
  } else if (maxValue == INT32_MAX) {
    out = static_cast<int32_t>(static_cast<uint32_t>(v));
  } else {
    out = static_cast<int64_t>(v);
  }
  return true;
}

[[noreturn]] void RaiseNotInteger(std::string_view s) {
  throw EConvertError("'" + std::string(s) + "' is not a valid integer value");
}

}  // namespace

int32_t StrToInt(std::string_view s) {
  int64_t v;
  if (!ParseInt(s, INT32_MIN, INT32_MAX, v)) RaiseNotInteger(s);
  return static_cast<int32_t>(v);
}

int64_t StrToInt64(std::string_view s) {
  int64_t v;
  if (!ParseInt(s, INT64_MIN, INT64_MAX, v)) RaiseNotInteger(s);
  return v;
}

bool TryStrToInt(std::string_view s, int32_t& out) {
  int64_t v;
  if (!ParseInt(s, INT32_MIN, INT32_MAX, v)) return false;
  out = static_cast<int32_t>(v);
  return true;
}

int32_t StrToIntDef(std::string_view s, int32_t fallback) {
  int32_t v;
  return TryStrToInt(s, v) ? v : fallback;
}

// ---------------------------------------------------------------------------
// Format

TFormatArg& TFormatArg::operator=(const TFormatArg& other) {
  kind_ = other.kind_;
  int_ = other.int_;
  wide_ = other.wide_;
  float_ = other.float_;
  charText_ = other.charText_;
  isChar_ = other.isChar_;
  text_ = isChar_ ? std::string_view(&charText_, 1) : other.text_;
  return *this;
}

namespace {

[[noreturn]] void RaiseBadFormat(std::string_view fmt) {
  throw EConvertError("Format '" + std::string(fmt) + "' invalid or incompatible with argument");
}

std::string Digits(uint64_t v, unsigned base, bool upper) {
  const char* set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  std::string r;
  do {
    r.insert(r.begin(), set[v % base]);
    v /= base;
  } while (v);
  return r;
}

std::string FormatFloat(char type, int precision, double v) {
  if (type == 'n') {
    // Fixed with thousands separators.
    std::string fixed = FormatFloat('f', precision, std::fabs(v));
    size_t dot = fixed.find('.');
    size_t intEnd = dot == std::string::npos ? fixed.size() : dot;
    std::string grouped;
    for (size_t i = 0; i < intEnd; ++i) {
      if (i && (intEnd - i) % 3 == 0) grouped += ',';
      grouped += fixed[i];
    }
    return (v < 0 ? "-" : "") + grouped + fixed.substr(intEnd);
  }
  char pattern[16];
  std::snprintf(pattern, sizeof pattern, "%%.%d%c", precision, type == 'e' ? 'E' : type == 'g' ? 'G' : 'f');
  char buf[512];
  int n = std::snprintf(buf, sizeof buf, pattern, v);
  if (n < 0) return {};
  if (static_cast<size_t>(n) < sizeof buf) return std::string(buf, static_cast<size_t>(n));
  std::string big(static_cast<size_t>(n) + 1, '\0');
  std::snprintf(big.data(), big.size(), pattern, v);
  big.resize(static_cast<size_t>(n));
  return big;
}

}  // namespace

std::string FormatArgs(std::string_view fmt, std::initializer_list<TFormatArg> args) {
  std::string out;
  auto next = args.begin();
  auto takeArg = [&]() -> const TFormatArg& {
    if (next == args.end()) RaiseBadFormat(fmt);
    return *next++;
  };
  auto takeCount = [&]() {
    const TFormatArg& a = takeArg();
    if (a.Kind() != TFormatArg::TKind::Int) RaiseBadFormat(fmt);
    int64_t v = a.Int();
    return static_cast<int>(v < 0 ? 0 : v > 4096 ? 4096 : v);
  };
  size_t i = 0;
  while (i < fmt.size()) {
    char c = fmt[i++];
    if (c != '%') {
      out += c;
      continue;
    }
    if (i >= fmt.size()) RaiseBadFormat(fmt);
    if (fmt[i] == '%') {
      out += '%';
      ++i;
      continue;
    }
    bool left = false, zero = false;
    if (fmt[i] == '-') {
      left = true;
      ++i;
    }
    if (i < fmt.size() && fmt[i] == '0') zero = true;
    int width = 0, precision = -1;
    auto readNumber = [&](int& target) {
      if (i < fmt.size() && fmt[i] == '*') {
        target = takeCount();
        ++i;
        return;
      }
      int v = 0;
      while (i < fmt.size() && fmt[i] >= '0' && fmt[i] <= '9') {
        if (v < 4096) v = v * 10 + (fmt[i] - '0');
        ++i;
      }
      target = v > 4096 ? 4096 : v;
    };
    readNumber(width);
    if (i < fmt.size() && fmt[i] == '.') {
      ++i;
      readNumber(precision);
    }
    if (i >= fmt.size()) RaiseBadFormat(fmt);
    char type = fmt[i++];
    char lowerType = LowerChar(type);
    const TFormatArg& arg = takeArg();
    std::string text;
    bool numeric = false;
    switch (lowerType) {
      case 'd':
      case 'u':
      case 'x': {
        if (arg.Kind() != TFormatArg::TKind::Int && arg.Kind() != TFormatArg::TKind::Pointer) RaiseBadFormat(fmt);
        int64_t v = arg.Int();
        bool negative = false;
        uint64_t magnitude;
        if (lowerType == 'd' && v < 0) {
          negative = true;
          magnitude = static_cast<uint64_t>(-(v + 1)) + 1;
        } else if (!arg.Wide() && v < 0) {
          magnitude = static_cast<uint32_t>(v);  // 32-bit values show as unsigned 32
        } else {
          magnitude = static_cast<uint64_t>(v);
        }
        text = Digits(magnitude, lowerType == 'x' ? 16 : 10, type == 'X');
        if (precision > static_cast<int>(text.size())) text.insert(0, static_cast<size_t>(precision) - text.size(), '0');
        if (negative) text.insert(0, 1, '-');
        numeric = true;
        break;
      }
      case 'p': {
        if (arg.Kind() != TFormatArg::TKind::Pointer && arg.Kind() != TFormatArg::TKind::Int) RaiseBadFormat(fmt);
        text = Digits(static_cast<uint64_t>(arg.Int()) & (sizeof(void*) == 4 ? 0xFFFFFFFFull : ~0ull), 16, true);
        size_t want = sizeof(void*) * 2;
        if (text.size() < want) text.insert(0, want - text.size(), '0');
        break;
      }
      case 's':
        if (arg.Kind() != TFormatArg::TKind::Text) RaiseBadFormat(fmt);
        text = std::string(arg.Text());
        if (precision >= 0 && static_cast<size_t>(precision) < text.size()) text.resize(static_cast<size_t>(precision));
        break;
      case 'c':
        if (arg.Kind() == TFormatArg::TKind::Text && arg.Text().size() == 1)
          text = std::string(arg.Text());
        else if (arg.Kind() == TFormatArg::TKind::Int)
          text = std::string(1, static_cast<char>(arg.Int()));
        else
          RaiseBadFormat(fmt);
        break;
      case 'f':
      case 'e':
      case 'g':
      case 'n': {
        double v;
        if (arg.Kind() == TFormatArg::TKind::Float) v = arg.Float();
        else if (arg.Kind() == TFormatArg::TKind::Int) v = static_cast<double>(arg.Int());
        else RaiseBadFormat(fmt);
        int p = precision >= 0 ? (precision > 100 ? 100 : precision) : (lowerType == 'g' ? 15 : 2);
        text = FormatFloat(lowerType, p, v);
        numeric = true;
        break;
      }
      default:
        RaiseBadFormat(fmt);
    }
    if (static_cast<int>(text.size()) < width) {
      size_t pad = static_cast<size_t>(width) - text.size();
      if (left)
        text.append(pad, ' ');
      else if (zero && numeric) {
        size_t signEnd = (!text.empty() && text[0] == '-') ? 1 : 0;
        text.insert(signEnd, pad, '0');
      } else
        text.insert(0, pad, ' ');
    }
    out += text;
  }
  return out;
}

// ---------------------------------------------------------------------------
// Dates

namespace {

constexpr int64_t DateDelta = 693594;  // days from 0001-01-01 to 1899-12-30
constexpr double MSecsPerDay = 86400000.0;
const char* const MonthNames[] = {"January", "February", "March",     "April",   "May",      "June",
                                  "July",    "August",   "September", "October", "November", "December"};
const char* const DayNames[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

// Splits a date value into its day number and the milliseconds of the time of day.
// A negative value counts its fraction forwards from its (negative) day, as the date
// format defines (-1.25 is 1899-12-29 06:00); a time that rounds to 24:00 moves on to
// the next day.
void SplitDateTime(TDateTime dt, int64_t& days, int64_t& msOfDay) {
  if (!std::isfinite(dt) || std::fabs(dt) > 1e7) {
    days = 0;
    msOfDay = 0;
    return;
  }
  double whole = std::trunc(dt);
  days = static_cast<int64_t>(whole);
  msOfDay = static_cast<int64_t>(std::llround(std::fabs(dt - whole) * MSecsPerDay));
  if (msOfDay >= 86400000) {
    msOfDay -= 86400000;
    days += dt < 0 ? -1 : 1;
  }
}

}  // namespace

bool IsLeapYear(int year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

int DaysInMonth(int year, int month) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return days[month - 1] + (month == 2 && IsLeapYear(year) ? 1 : 0);
}

bool TryEncodeDate(int year, int month, int day, TDateTime& out) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
    return false;
  int64_t days = day;
  for (int m = 1; m < month; ++m) days += DaysInMonth(year, m);
  int64_t y = year - 1;
  days += y * 365 + y / 4 - y / 100 + y / 400;
  out = static_cast<double>(days - DateDelta);
  return true;
}

bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime& out) {
  if (hour < 0 || hour >= 24 || min < 0 || min >= 60 || sec < 0 || sec >= 60 || msec < 0 || msec >= 1000)
    return false;
  out = (((hour * 60.0 + min) * 60.0 + sec) * 1000.0 + msec) / MSecsPerDay;
  return true;
}

TDateTime EncodeDate(int year, int month, int day) {
  TDateTime r;
  if (!TryEncodeDate(year, month, day, r)) throw EConvertError("Invalid argument to date encode");
  return r;
}

TDateTime EncodeTime(int hour, int min, int sec, int msec) {
  TDateTime r;
  if (!TryEncodeTime(hour, min, sec, msec, r)) throw EConvertError("Invalid argument to time encode");
  return r;
}

void DecodeDate(TDateTime dt, int& year, int& month, int& day) {
  int64_t days, ms;
  SplitDateTime(dt, days, ms);
  int64_t n = days + DateDelta - 1;  // days since 0001-01-01
  if (n < 0 || n > 3652058) {  // outside 0001-01-01 .. 9999-12-31
    year = month = day = 0;
    return;
  }
  int64_t y400 = n / 146097, r = n % 146097;
  int64_t y100 = r / 36524;
  if (y100 == 4) y100 = 3;
  r -= y100 * 36524;
  int64_t y4 = r / 1461;
  r %= 1461;
  int64_t y1 = r / 365;
  if (y1 == 4) y1 = 3;
  r -= y1 * 365;
  year = static_cast<int>(y400 * 400 + y100 * 100 + y4 * 4 + y1 + 1);
  month = 1;
  while (r >= DaysInMonth(year, month)) r -= DaysInMonth(year, month++);
  day = static_cast<int>(r) + 1;
}

void DecodeTime(TDateTime dt, int& hour, int& min, int& sec, int& msec) {
  int64_t days, ms;
  SplitDateTime(dt, days, ms);
  hour = static_cast<int>(ms / 3600000);
  min = static_cast<int>(ms / 60000 % 60);
  sec = static_cast<int>(ms / 1000 % 60);
  msec = static_cast<int>(ms % 1000);
}

int DayOfWeek(TDateTime dt) {
  // 1899-12-30 was a Saturday (7).
  int64_t days, ms;
  SplitDateTime(dt, days, ms);
  int64_t w = ((days % 7) + 7 + 6) % 7;  // 0 = Sunday
  return static_cast<int>(w) + 1;
}

TDateTime Now() {
  using namespace std::chrono;
  auto now = system_clock::now();
  std::time_t t = system_clock::to_time_t(now);
  int msec = static_cast<int>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &t);
#else
  localtime_r(&t, &local);
#endif
  TDateTime d = EncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
  return d + EncodeTime(local.tm_hour, local.tm_min, local.tm_sec < 60 ? local.tm_sec : 59, msec);
}

TDateTime Date() { return std::trunc(Now()); }

std::string FormatDateTime(std::string_view format, TDateTime dt) {
  int year, month, day, hour, min, sec, msec;
  DecodeDate(dt, year, month, day);
  DecodeTime(dt, hour, min, sec, msec);
  std::string out;
  bool lastWasHour = false;
  size_t i = 0;
  auto run = [&](char c) {
    size_t n = 0;
    while (i + n < format.size() && LowerChar(format[i + n]) == c) ++n;
    return n;
  };
  auto two = [](int v) { return Format("%.2d", v); };
  while (i < format.size()) {
    char c = format[i];
    char lc = LowerChar(c);
    if (c == '\'' || c == '"') {
      size_t end = format.find(c, i + 1);
      if (end == std::string_view::npos) end = format.size();
      out.append(format.substr(i + 1, end - i - 1));
      i = end < format.size() ? end + 1 : end;
      continue;
    }
    if (lc == 'a' && format.substr(i).size() >= 5 && SameText(format.substr(i, 5), "am/pm")) {
      out += hour < 12 ? "am" : "pm";
      i += 5;
      continue;
    }
    size_t n;
    switch (lc) {
      case 'y':
        n = run('y');
        out += n <= 2 ? two(year % 100) : Format("%.4d", year);
        i += n;
        lastWasHour = false;
        continue;
      case 'm':
        n = run('m');
        if (lastWasHour && n <= 2)
          out += n == 1 ? std::to_string(min) : two(min);
        else if (n >= 4)
          out += month >= 1 ? MonthNames[month - 1] : "";
        else if (n == 3)
          out += month >= 1 ? std::string(MonthNames[month - 1]).substr(0, 3) : "";
        else
          out += n == 1 ? std::to_string(month) : two(month);
        i += n;
        lastWasHour = false;
        continue;
      case 'd': {
        n = run('d');
        int w = DayOfWeek(dt) - 1;
        if (n >= 4) out += DayNames[w];
        else if (n == 3) out += std::string(DayNames[w]).substr(0, 3);
        else out += n == 1 ? std::to_string(day) : two(day);
        i += n;
        lastWasHour = false;
        continue;
      }
      case 'h':
        n = run('h');
        out += n == 1 ? std::to_string(hour) : two(hour);
        i += n;
        lastWasHour = true;
        continue;
      case 'n':
        n = run('n');
        out += n == 1 ? std::to_string(min) : two(min);
        i += n;
        lastWasHour = false;
        continue;
      case 's':
        n = run('s');
        out += n == 1 ? std::to_string(sec) : two(sec);
        i += n;
        lastWasHour = false;
        continue;
      case 'z':
        n = run('z');
        out += n >= 3 ? Format("%.3d", msec) : std::to_string(msec);
        i += n;
        lastWasHour = false;
        continue;
      default:
        out += c;
        ++i;
    }
  }
  return out;
}

namespace {
constexpr double FileTimeEpochDays = 109205.0;  // 1601-01-01 is day -109205
constexpr double FileTimeUnitsPerDay = 864000000000.0;
}  // namespace

TDateTime FileTimeToDateTime(uint64_t fileTime) {
  return static_cast<double>(fileTime) / FileTimeUnitsPerDay - FileTimeEpochDays;
}

uint64_t DateTimeToFileTime(TDateTime dt) {
  double units = (dt + FileTimeEpochDays) * FileTimeUnitsPerDay;
  if (!(units > 0)) return 0;
  if (units >= 18446744073709551615.0) return UINT64_MAX;
  return static_cast<uint64_t>(std::llround(units / 10000.0)) * 10000ull;  // whole milliseconds
}

// ---------------------------------------------------------------------------
// POSIX files

#ifndef _WIN32
namespace {
thread_local int lastFileError = 0;
int Failed(int result) {
  if (result < 0) lastFileError = errno;
  return result;
}
}  // namespace

TFileHandle FileOpen(const std::string& fileName, uint32_t mode) {
  int access = (mode & 3) == fmOpenWrite ? O_WRONLY : (mode & 3) == fmOpenReadWrite ? O_RDWR : O_RDONLY;
  return Failed(::open(fileName.c_str(), access | O_CLOEXEC));
}

TFileHandle FileCreate(const std::string& fileName, uint32_t) {
  return Failed(::open(fileName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
}

int32_t FileRead(TFileHandle handle, void* buffer, int32_t count) {
  if (count < 0) return -1;
  return static_cast<int32_t>(Failed(static_cast<int>(::read(static_cast<int>(handle), buffer, static_cast<size_t>(count)))));
}

int32_t FileWrite(TFileHandle handle, const void* buffer, int32_t count) {
  if (count < 0) return -1;
  return static_cast<int32_t>(Failed(static_cast<int>(::write(static_cast<int>(handle), buffer, static_cast<size_t>(count)))));
}

int64_t FileSeek(TFileHandle handle, int64_t offset, int origin) {
  int whence = origin == 1 ? SEEK_CUR : origin == 2 ? SEEK_END : SEEK_SET;
  off_t r = ::lseek(static_cast<int>(handle), static_cast<off_t>(offset), whence);
  if (r < 0) lastFileError = errno;
  return r;
}

bool FileTruncate(TFileHandle handle) {
  off_t at = ::lseek(static_cast<int>(handle), 0, SEEK_CUR);
  return at >= 0 && Failed(::ftruncate(static_cast<int>(handle), at)) == 0;
}

void FileClose(TFileHandle handle) {
  if (handle != InvalidFileHandle) ::close(static_cast<int>(handle));
}

bool FileExists(const std::string& fileName) {
  struct stat st;
  return ::stat(fileName.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool FileDelete(const std::string& fileName) { return Failed(::unlink(fileName.c_str())) == 0; }

int LastFileError() { return lastFileError; }
#endif
