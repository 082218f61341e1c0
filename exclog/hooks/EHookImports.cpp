#include "exclog/hooks/EHookImports.h"

#include <cstring>

namespace exclog {

namespace {

constexpr uint32_t kPeSignature = 0x00004550;
constexpr uint32_t kSizeOfImageAt = 24 + 56;        // in the NT headers
constexpr uint32_t kDirectoryCountAt = 24 + 92;     // NumberOfRvaAndSizes
constexpr uint32_t kImportDirectoryAt = 24 + 96 + 8;  // data directory entry 1
constexpr uint32_t kDescriptorSize = 20;

bool Read32(const uint8_t* image, size_t size, uint64_t at, uint32_t& out) {
  if (at + 4 > size) return false;
  std::memcpy(&out, image + at, 4);
  return true;
}

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// The NUL-terminated name at `rva` equals `name`, compared without regard to ASCII case.
bool NameAt(const uint8_t* image, size_t size, uint32_t rva, std::string_view name) {
  for (size_t i = 0; i <= name.size(); ++i) {
    if (uint64_t(rva) + i >= size) return false;
    const char c = static_cast<char>(image[rva + i]);
    if (i == name.size()) return c == '\0';
    if (c == '\0' || AsciiLower(c) != AsciiLower(name[i])) return false;
  }
  return false;
}

}  // namespace

std::optional<uint32_t> NtHeadersOffset(const uint8_t* image, size_t size) {
  if (image == nullptr || size < kDosHeaderSize) return std::nullopt;
  if (image[0] != 'M' || image[1] != 'Z') return std::nullopt;
  uint32_t lfanew = 0;
  Read32(image, size, 0x3C, lfanew);
  if (lfanew == 0 || uint64_t(lfanew) + kNtHeadersSize > size) return std::nullopt;
  uint32_t signature = 0;
  Read32(image, size, lfanew, signature);
  if (signature != kPeSignature) return std::nullopt;
  return lfanew;
}

std::optional<uint32_t> ImageSizeOf(const uint8_t* image, size_t size) {
  const auto nt = NtHeadersOffset(image, size);
  if (!nt) return std::nullopt;
  uint32_t imageSize = 0;
  Read32(image, size, uint64_t(*nt) + kSizeOfImageAt, imageSize);
  return imageSize;
}

std::optional<std::vector<TImportSlot>> FindImportSlots(const uint8_t* image, size_t size,
                                                        std::string_view dllName) {
  const auto nt = NtHeadersOffset(image, size);
  if (!nt) return std::nullopt;
  std::vector<TImportSlot> slots;
  uint32_t directoryCount = 0, importRva = 0;
  Read32(image, size, uint64_t(*nt) + kDirectoryCountAt, directoryCount);
  Read32(image, size, uint64_t(*nt) + kImportDirectoryAt, importRva);
  // RVA 0 means no imports; read as descriptors it would be the DOS header.
  if (directoryCount < 2 || importRva == 0) return slots;
  for (uint64_t d = importRva; d + kDescriptorSize <= size; d += kDescriptorSize) {
    uint32_t nameRva = 0, firstThunk = 0;
    Read32(image, size, d + 12, nameRva);
    Read32(image, size, d + 16, firstThunk);
    if (nameRva == 0) break;
    if (firstThunk == 0 || !NameAt(image, size, nameRva, dllName)) continue;
    for (uint64_t t = firstThunk;; t += 4) {
      uint32_t value = 0;
      if (!Read32(image, size, t, value) || value == 0) break;
      slots.push_back({static_cast<uint32_t>(t), value});
    }
  }
  return slots;
}

}  // namespace exclog
