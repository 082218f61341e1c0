#include "skin/container/QuickIni.h"

#include <charconv>

#include "classlib/SysUtils.h"

namespace skin {

void TQuickIni::LoadFromText(std::string_view text) {
  lines_.clear();
  sections_.clear();
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = text.size();
    // Trimming keeps bytes 0x80 and above: they are text, not blanks.
    std::string line = Trim(text.substr(pos, end - pos));
    pos = end;
    if (pos < text.size()) {
      pos += (text[pos] == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n') ? 2 : 1;
    }
    if (line.empty() || line.front() == ';') continue;
    if (IsSection(line)) sections_.push_back({std::string(line), static_cast<int>(lines_.size())});
    lines_.emplace_back(line);
  }
}

void TQuickIni::LoadFromStream(TStream* stream) {
  if (!stream) return;
  LoadFromText(stream->ReadRemaining());
}

bool TQuickIni::IsSection(std::string_view line) {
  const std::string trimmed = Trim(line);
  return !trimmed.empty() && trimmed.front() == '[' && trimmed.back() == ']';
}

std::string TQuickIni::KeyName(std::string_view line) {
  size_t eq = line.find('=');
  if (eq == std::string_view::npos) return {};
  return LowerCase(Trim(line.substr(0, eq)));
}

std::string TQuickIni::ValueOf(std::string_view line, std::string_view key) {
  if (line.empty() || key.empty()) return {};
  size_t eq = line.find('=');
  if (eq == std::string_view::npos || KeyName(line) != key) return {};
  return Trim(line.substr(eq + 1));
}

int TQuickIni::FindSection(std::string_view section) const {
  std::string header = "[" + std::string(section) + "]";
  for (const Section& s : sections_)
    if (SameText(s.header, header)) return s.lineIndex;
  return -1;
}

std::string TQuickIni::ReadString(std::string_view section, std::string_view key,
                                  const std::string& defaultValue) const {
  if (lines_.empty()) return defaultValue;
  int header = FindSection(section);
  if (header < 0) return defaultValue;
  std::string lowerKey = LowerCase(key);
  for (size_t i = static_cast<size_t>(header) + 1; i < lines_.size(); ++i) {
    const std::string& line = lines_[i];
    if (IsSection(line)) break;
    if (KeyName(line) == lowerKey) {
      std::string value = ValueOf(line, lowerKey);
      return value.empty() ? defaultValue : value;
    }
  }
  return defaultValue;
}

int32_t TQuickIni::ReadInteger(std::string_view section, std::string_view key,
                               int32_t defaultValue) const {
  std::string s = ReadString(section, key, "");
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) s = "$" + s.substr(2);
  std::string_view digits = s;
  bool negative = false;
  if (!digits.empty() && (digits.front() == '-' || digits.front() == '+')) {
    negative = digits.front() == '-';
    digits.remove_prefix(1);
  }
  int base = 10;
  if (!digits.empty() && digits.front() == '$') {
    base = 16;
    digits.remove_prefix(1);
  }
  if (digits.empty()) return defaultValue;
  uint64_t value = 0;
  auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
  if (ec != std::errc() || end != digits.data() + digits.size()) return defaultValue;
  // Hexadecimal spells the 32-bit pattern ($FFFFFFFF is -1); decimal must fit a signed value.
  if (base == 16) {
    if (value > 0xFFFFFFFFull) return defaultValue;
    uint32_t bits = static_cast<uint32_t>(value);
    return static_cast<int32_t>(negative ? 0u - bits : bits);
  }
  if (value > (negative ? 0x80000000ull : 0x7FFFFFFFull)) return defaultValue;
  return negative ? static_cast<int32_t>(0 - static_cast<int64_t>(value))
                  : static_cast<int32_t>(value);
}

std::vector<std::string> TQuickIni::ReadSections() const {
  std::vector<std::string> names;
  names.reserve(sections_.size());
  for (const Section& s : sections_)
    names.emplace_back(Trim(std::string_view(s.header).substr(1, s.header.size() - 2)));
  return names;
}

}  // namespace skin
