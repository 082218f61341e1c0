#include "exclog/core/ECore.h"

#include "classlib/SysUtils.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>

namespace exclog {

bool IsVariableNameChar(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

namespace {

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

std::string Call(const std::function<std::string()>& f) { return f ? f() : std::string(); }

std::string VariableValue(const std::string& name, const TVariableSource& source) {
  std::string value = source.Environment ? source.Environment(name) : std::string();
  if (!value.empty()) return value;
  std::string lower = Lower(name);
  if (lower == "date") return Call(source.Date);
  if (lower == "time") return Call(source.Time);
  if (lower == "cd") return Call(source.CurrentDirectory);
  return {};
}

bool IsSeparator(char c) { return c == '\\' || c == '/' || c == ':'; }

// Index just after the last path separator (0 when none).
size_t NameStart(std::string_view path) {
  for (size_t i = path.size(); i > 0; --i) {
    if (IsSeparator(path[i - 1])) return i;
  }
  return 0;
}

// Index of the extension's dot within the file-name part, npos when none.
size_t ExtStart(std::string_view path) {
  size_t nameStart = NameStart(path);
  size_t dot = path.rfind('.');
  if (dot == std::string_view::npos || dot < nameStart) return std::string_view::npos;
  return dot;
}

}  // namespace

std::string ExpandVariables(std::string_view text, const TVariableSource& source) {
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] == '%') {
      size_t j = i + 1;
      while (j < text.size() && IsVariableNameChar(text[j])) ++j;
      if (j > i + 1 && j < text.size() && text[j] == '%') {
        out += VariableValue(std::string(text.substr(i + 1, j - i - 1)), source);
        i = j + 1;
        continue;
      }
    }
    out += text[i];
    ++i;
  }
  return out;
}

std::string ComputerNameForFile(std::string_view computerName) {
  std::string out(computerName.substr(0, 15));
  for (char& c : out) {
    switch (c) {
      case '"': case '*': case '/': case ':': case '<': case '>': case '?': case '\\': case '|':
        c = '_';
        break;
      default:
        break;
    }
  }
  return out;
}

std::string CutDevicePrefix(std::string_view name) {
  const size_t question = name.find('?');
  if (question == std::string_view::npos) return std::string(name);
  const size_t colon = name.find(':', question);
  if (colon == std::string_view::npos || colon == 0) return std::string(name);
  return std::string(name.substr(colon - 1));
}

std::string ExtractFileName(std::string_view path) { return std::string(path.substr(NameStart(path))); }

std::string ExtractFileDir(std::string_view path) {
  size_t start = NameStart(path);
  if (start == 0) return {};
  // Keep the separator of a drive root ("C:\") so the result still names the root.
  if (start == 3 && path[1] == ':') return std::string(path.substr(0, 3));
  return std::string(path.substr(0, start - 1));
}

std::string ExtractFileExt(std::string_view path) {
  size_t dot = ExtStart(path);
  return dot == std::string_view::npos ? std::string() : std::string(path.substr(dot));
}

std::string ChangeFileExt(std::string_view path, std::string_view ext) {
  size_t dot = ExtStart(path);
  std::string out(dot == std::string_view::npos ? path : path.substr(0, dot));
  out += ext;
  return out;
}

std::string IncludeBackslash(std::string_view path) {
  std::string out(path);
  if (out.empty() || out.back() != '\\') out += '\\';
  return out;
}

std::string ExcludeBackslash(std::string_view path) {
  std::string out(path);
  while (!out.empty() && out.back() == '\\') out.pop_back();
  return out;
}

std::string BuildLogFileName(std::string_view name, std::string_view moduleFileName,
                             std::string_view logFolder,
                             const std::optional<std::string>& computerName) {
  std::string base = name.empty() ? StringReplace(moduleFileName, ".vshost", "") : std::string(name);
  base = ChangeFileExt(base, ".qlf");
  std::string result;
  if (Lower(ExtractFileExt(logFolder)) == ".qlf") {
    result = std::string(logFolder);
  } else {
    std::string folder = logFolder.empty() ? ExtractFileDir(base) : std::string(logFolder);
    result = folder.empty() ? ExtractFileName(base) : IncludeBackslash(folder) + ExtractFileName(base);
  }
  if (computerName) {
    std::string ext = ExtractFileExt(result);
    result = ChangeFileExt(result, "") + "_" + ComputerNameForFile(*computerName) + ext;
  }
  return result;
}

std::vector<std::string> SplitText(std::string_view text, std::string_view separators,
                                   bool trim, bool keepEmpty) {
  std::vector<std::string> pieces;
  size_t start = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i < text.size() && separators.find(text[i]) == std::string_view::npos) continue;
    std::string_view piece = text.substr(start, i - start);
    if (trim) {
      while (!piece.empty() && static_cast<unsigned char>(piece.front()) <= ' ') piece.remove_prefix(1);
      while (!piece.empty() && static_cast<unsigned char>(piece.back()) <= ' ') piece.remove_suffix(1);
    }
    if (keepEmpty || !piece.empty()) pieces.emplace_back(piece);
    start = i + 1;
  }
  return pieces;
}

std::string FloatToDotText(double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.15g", value);
  std::string out(buffer);
  // The C library may follow a locale whose separator is ','.
  for (char& c : out) {
    if (c == ',') c = '.';
  }
  return out;
}

double DotTextToFloat(std::string_view text) {
  // Parsed by hand so the locale's separator never matters.
  size_t i = 0;
  auto at = [&](size_t k) { return k < text.size() ? text[k] : '\0'; };
  while (at(i) == ' ') ++i;
  bool negative = false;
  if (at(i) == '+' || at(i) == '-') negative = text[i++] == '-';
  double value = 0;
  bool digits = false;
  while (at(i) >= '0' && at(i) <= '9') { value = value * 10 + (text[i++] - '0'); digits = true; }
  if (at(i) == '.') {
    ++i;
    double scale = 0.1;
    while (at(i) >= '0' && at(i) <= '9') { value += (text[i++] - '0') * scale; scale /= 10; digits = true; }
  }
  if (digits && (at(i) == 'e' || at(i) == 'E')) {
    ++i;
    bool negExp = false;
    if (at(i) == '+' || at(i) == '-') negExp = text[i++] == '-';
    int exp = 0;
    bool expDigits = false;
    while (at(i) >= '0' && at(i) <= '9') { exp = std::min(exp * 10 + (text[i++] - '0'), 9999); expDigits = true; }
    if (!expDigits) throw std::invalid_argument("not a number text");
    value *= std::pow(10.0, negExp ? -exp : exp);
  }
  while (at(i) == ' ') ++i;
  if (!digits || i != text.size()) throw std::invalid_argument("not a number text");
  return negative ? -value : value;
}

std::string NormalizeVersion(std::string_view version) {
  std::vector<std::string> parts = SplitText(version, ".", false, true);
  while (parts.size() < 4) parts.emplace_back();
  std::string out;
  for (size_t k = 0; k < parts.size(); ++k) {
    const std::string& part = parts[k];
    size_t space = part.find(' ');
    std::string head = part.substr(0, space);
    std::string tail = space == std::string::npos ? std::string() : part.substr(space);
    if (head.size() < 5) head.insert(0, 5 - head.size(), '0');
    if (k > 0) out += '.';
    out += head + tail;
  }
  return out;
}

bool IsNewerVersion(std::string_view oldVersion, std::string_view newVersion) {
  if (oldVersion.empty() || newVersion.empty()) return false;
  // std::string compares as unsigned bytes: plain byte order.
  return NormalizeVersion(newVersion) > NormalizeVersion(oldVersion);
}

int UtcOffsetHours(double localNow, double utcNow) {
  return static_cast<int>(std::lround((localNow - utcNow) * 24.0));
}

namespace {

// Code point at text[i] and the number of units it takes; lone surrogates give U+FFFD.
std::pair<char32_t, size_t> NextCodePoint(std::u16string_view text, size_t i) {
  char16_t c = text[i];
  if (c >= 0xD800 && c <= 0xDBFF) {
    if (i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      char32_t cp = 0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(text[i + 1]) - 0xDC00);
      return {cp, 2};
    }
    return {0xFFFD, 1};
  }
  if (c >= 0xDC00 && c <= 0xDFFF) return {0xFFFD, 1};
  return {c, 1};
}

size_t EncodeUtf8(char32_t cp, char* out) {
  if (cp < 0x80) { out[0] = static_cast<char>(cp); return 1; }
  if (cp < 0x800) {
    out[0] = static_cast<char>(0xC0 | (cp >> 6));
    out[1] = static_cast<char>(0x80 | (cp & 0x3F));
    return 2;
  }
  if (cp < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (cp >> 12));
    out[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (cp & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | (cp >> 18));
  out[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (cp & 0x3F));
  return 4;
}

}  // namespace

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size() * 3);
  char bytes[4];
  for (size_t i = 0; i < text.size();) {
    auto [cp, used] = NextCodePoint(text, i);
    out.append(bytes, EncodeUtf8(cp, bytes));
    i += used;
  }
  return out;
}

size_t Utf16ToUtf8(std::u16string_view text, char* buffer, size_t size) {
  if (size == 0 || buffer == nullptr) return 0;
  size_t written = 0;
  char bytes[4];
  for (size_t i = 0; i < text.size();) {
    auto [cp, used] = NextCodePoint(text, i);
    size_t n = EncodeUtf8(cp, bytes);
    if (written + n + 1 > size) break;  // room for the whole character and the zero
    for (size_t k = 0; k < n; ++k) buffer[written++] = bytes[k];
    i += used;
  }
  buffer[written] = '\0';
  return written;
}

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  size_t i = 0;
  auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  while (i < text.size()) {
    unsigned char b = byte(i);
    char32_t cp = 0xFFFD;
    size_t len = 1;
    size_t need = b < 0x80 ? 0 : (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : 99;
    if (need == 0) {
      cp = b;
    } else if (need != 99) {
      bool ok = true;
      char32_t v = b & (0x3F >> need);
      for (size_t k = 1; ok && k <= need; ++k) {
        if (i + k >= text.size() || (byte(i + k) & 0xC0) != 0x80) ok = false;
        else v = (v << 6) | (byte(i + k) & 0x3F);
      }
      // Overlong forms, surrogates and values past U+10FFFF are not characters.
      static const char32_t minimum[] = {0, 0x80, 0x800, 0x10000};
      if (ok && v >= minimum[need] && v <= 0x10FFFF && !(v >= 0xD800 && v <= 0xDFFF)) {
        cp = v;
        len = need + 1;
      }
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
    i += len;
  }
  return out;
}

TByteOrderMark DetectByteOrderMark(std::string_view bytes) {
  auto starts = [&](std::string_view mark) { return bytes.substr(0, mark.size()) == mark; };
  if (starts("\xFF\xFE")) return TByteOrderMark::Utf16LE;
  if (starts("\xFE\xFF")) return TByteOrderMark::Utf16BE;
  if (starts("\xEF\xBB\xBF")) return TByteOrderMark::Utf8;
  return TByteOrderMark::None;
}

std::optional<std::u16string> DecodeMarkedText(std::string_view bytes) {
  TByteOrderMark mark = DetectByteOrderMark(bytes);
  if (mark == TByteOrderMark::None) return std::nullopt;
  if (mark == TByteOrderMark::Utf8) return Utf8ToUtf16(bytes.substr(3));
  std::string_view body = bytes.substr(2);
  std::u16string out;
  out.reserve(body.size() / 2);
  for (size_t i = 0; i + 1 < body.size(); i += 2) {
    auto lo = static_cast<unsigned char>(body[mark == TByteOrderMark::Utf16LE ? i : i + 1]);
    auto hi = static_cast<unsigned char>(body[mark == TByteOrderMark::Utf16LE ? i + 1 : i]);
    out += static_cast<char16_t>(lo | (hi << 8));
  }
  return out;
}

}  // namespace exclog
