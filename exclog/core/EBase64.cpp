#include "exclog/core/EBase64.h"

#include <array>
#include <cstdio>
#include <memory>

namespace exclog {
namespace {

constexpr char Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr size_t Base64LineLength = 80;

// 0..63 for a character of the alphabet, 64 for anything else.
constexpr std::array<uint8_t, 256> DecodeTable() {
  std::array<uint8_t, 256> table{};
  for (auto& v : table) v = 64;
  for (uint8_t i = 0; i < 64; ++i) table[static_cast<uint8_t>(Alphabet[i])] = i;
  return table;
}
constexpr auto Sextets = DecodeTable();

}  // namespace

size_t EncodedLength(size_t n) { return (n + 2) / 3 * 4; }

size_t DecodedLength(std::string_view text) {
  size_t len = text.size();
  if (len == 0 || len % 4 != 0) return 0;
  size_t pad = text[len - 1] == '=' ? (text[len - 2] == '=' ? 2 : 1) : 0;
  return len / 4 * 3 - pad;
}

std::string EncodeBuffer(const void* bytes, size_t n) {
  const uint8_t* p = static_cast<const uint8_t*>(bytes);
  std::string out;
  if (!p) return out;
  out.reserve(EncodedLength(n));
  size_t i = 0;
  for (; i + 3 <= n; i += 3) {
    uint32_t v = (uint32_t{p[i]} << 16) | (uint32_t{p[i + 1]} << 8) | p[i + 2];
    out += Alphabet[v >> 18];
    out += Alphabet[(v >> 12) & 63];
    out += Alphabet[(v >> 6) & 63];
    out += Alphabet[v & 63];
  }
  if (size_t rest = n - i) {
    uint32_t v = uint32_t{p[i]} << 16;
    if (rest == 2) v |= uint32_t{p[i + 1]} << 8;
    out += Alphabet[v >> 18];
    out += Alphabet[(v >> 12) & 63];
    out += rest == 2 ? Alphabet[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

std::string EncodeString(std::string_view text) { return EncodeBuffer(text.data(), text.size()); }

std::string DecodeString(std::string_view text) {
  size_t outLen = DecodedLength(text);
  if (outLen == 0) return {};
  size_t pad = text.size() / 4 * 3 - outLen;
  std::string out;
  out.reserve(outLen);
  for (size_t i = 0; i < text.size(); i += 4) {
    bool last = i + 4 == text.size();
    uint32_t v = 0;
    for (size_t k = 0; k < 4; ++k) {
      uint8_t s = Sextets[static_cast<uint8_t>(text[i + k])];
      if (s == 64) {
        // "=" only as the padding DecodedLength counted.
        if (!(last && text[i + k] == '=' && k >= 4 - pad)) return {};
        s = 0;
      }
      v = (v << 6) | s;
    }
    out += static_cast<char>(v >> 16);
    if (!last || pad < 2) out += static_cast<char>((v >> 8) & 0xFF);
    if (!last || pad < 1) out += static_cast<char>(v & 0xFF);
  }
  return out;
}

std::string Base64FileLines(const std::string& path) {
  if (path.empty()) return {};
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!file) return {};
  std::string encoded;
  // Whole groups of three per read, so the pieces join without padding between them.
  unsigned char block[3 * 16384];
  size_t got;
  while ((got = std::fread(block, 1, sizeof block, file.get())) > 0) {
    encoded += EncodeBuffer(block, got);
    if (got < sizeof block) break;
  }
  if (std::ferror(file.get())) return {};
  std::string out;
  out.reserve(encoded.size() + encoded.size() / Base64LineLength * 2);
  for (size_t pos = 0; pos < encoded.size(); pos += Base64LineLength) {
    if (pos) out += "\r\n";
    out.append(encoded, pos, Base64LineLength);
  }
  return out;
}

}  // namespace exclog
