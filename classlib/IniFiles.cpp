#include "classlib/IniFiles.h"

#include <cstdint>

std::optional<int> ParseIniInteger(std::string_view text) {
  auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  unsigned base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  } else if (text.size() > 1 && text[0] == '$') {
    base = 16;
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  uint64_t value = 0;
  for (char c : text) {
    unsigned digit;
    if (c >= '0' && c <= '9') digit = unsigned(c - '0');
    else if (base == 16 && c >= 'a' && c <= 'f') digit = unsigned(c - 'a' + 10);
    else if (base == 16 && c >= 'A' && c <= 'F') digit = unsigned(c - 'A' + 10);
    else return std::nullopt;
    value = value * base + digit;
    if (value > 0xFFFFFFFFull) return std::nullopt;
  }
  if (base == 16) {
    // Hexadecimal spells the 32-bit pattern: "$FFFFFFFF" is -1.
    uint32_t bits = static_cast<uint32_t>(value);
    if (negative) bits = 0u - bits;
    return static_cast<int>(static_cast<int32_t>(bits));
  }
  if (negative) {
    if (value > 0x80000000ull) return std::nullopt;
    return static_cast<int>(-static_cast<int64_t>(value));
  }
  if (value > 0x7FFFFFFFull) return std::nullopt;
  return static_cast<int>(value);
}

std::vector<std::string> SplitZeroList(const char* buffer, size_t length) {
  std::vector<std::string> items;
  size_t start = 0;
  while (start < length) {
    size_t end = start;
    while (end < length && buffer[end] != '\0') ++end;
    if (end == start) break;  // the empty string ends the list
    items.emplace_back(buffer + start, end - start);
    start = end + 1;
  }
  return items;
}
