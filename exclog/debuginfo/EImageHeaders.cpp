#include "exclog/debuginfo/EImageHeaders.h"

#include <algorithm>

namespace exclog {

namespace {

constexpr uint16_t SubsystemOffset = 68;      // in the optional header
constexpr uint16_t DebugDirectoryOffset = 144;  // data directory 6 of a 32-bit optional header
constexpr uint16_t SectionLimit = 96;

// base + offset as an address, or nullopt when it leaves a 32-bit address space.
std::optional<uintptr_t> At(uintptr_t base, uint64_t offset) {
  uint64_t address = uint64_t(base) + offset;
  if (address > UINT32_MAX) return std::nullopt;
  return static_cast<uintptr_t>(address);
}

bool ReadU16(const TMemoryView& memory, std::optional<uintptr_t> address, uint16_t& value) {
  uint8_t b[2];
  if (!address || !memory.Read(*address, b, 2)) return false;
  value = uint16_t(b[0] | b[1] << 8);
  return true;
}

bool ReadU32(const TMemoryView& memory, std::optional<uintptr_t> address, uint32_t& value) {
  return address && memory.ReadU32(*address, value);
}

}  // namespace

std::optional<TImageHeaders> ReadImageHeaders(const TMemoryView& memory, uintptr_t base) {
  uint8_t mz[2];
  TImageHeaders h;
  if (!memory.Read(base, mz, 2) || mz[0] != 'M' || mz[1] != 'Z') return std::nullopt;
  if (!ReadU32(memory, At(base, 60), h.HeaderOffset) || h.HeaderOffset == 0 ||
      h.HeaderOffset > ImageHeaderOffsetLimit)
    return std::nullopt;
  uint8_t file[24];
  auto header = At(base, h.HeaderOffset);
  if (!header || !memory.Read(*header, file, sizeof file) || file[0] != 'P' || file[1] != 'E' || file[2] || file[3])
    return std::nullopt;
  auto u16 = [&](int at) { return uint16_t(file[at] | file[at + 1] << 8); };
  h.Machine = u16(4);
  h.Sections = u16(6);
  h.TimeStamp = uint32_t(file[8]) | uint32_t(file[9]) << 8 | uint32_t(file[10]) << 16 | uint32_t(file[11]) << 24;
  h.OptionalSize = u16(20);
  h.Characteristics = u16(22);
  uint64_t optional = uint64_t(h.HeaderOffset) + 24;
  if (h.OptionalSize >= SubsystemOffset + 2 && !ReadU16(memory, At(base, optional + SubsystemOffset), h.Subsystem))
    h.Subsystem = 0;
  if (h.OptionalSize >= DebugDirectoryOffset + 8 &&
      !ReadU32(memory, At(base, optional + DebugDirectoryOffset), h.DebugDirectoryRva))
    h.DebugDirectoryRva = 0;
  return h;
}

std::optional<std::string> ReadDebugSection(const TMemoryView& memory, uintptr_t base, size_t limit) {
  auto headers = ReadImageHeaders(memory, base);
  if (!headers || headers->DebugDirectoryRva == 0) return std::nullopt;
  uint64_t table = uint64_t(headers->HeaderOffset) + 24 + headers->OptionalSize;
  for (uint16_t i = 0; i < std::min(headers->Sections, SectionLimit); ++i) {
    uint8_t header[40];
    auto at = At(base, table + 40u * i);
    if (!at || !memory.Read(*at, header, sizeof header)) return std::nullopt;
    auto u32 = [&](int o) {
      return uint32_t(header[o]) | uint32_t(header[o + 1]) << 8 | uint32_t(header[o + 2]) << 16 |
             uint32_t(header[o + 3]) << 24;
    };
    uint32_t virtualSize = u32(8), rva = u32(12), rawSize = u32(16);
    if (rva != headers->DebugDirectoryRva) continue;
    size_t size = std::min(virtualSize ? virtualSize : rawSize, rawSize);
    auto data = At(base, rva);
    // Checked before the buffer is made: a header may claim far more than is there.
    if (size == 0 || size > limit || !data || memory.ReadableBytes(*data, size) < size) return std::nullopt;
    std::string bytes(size, '\0');
    if (!memory.Read(*data, bytes.data(), size)) return std::nullopt;
    return bytes;
  }
  return std::nullopt;
}

}  // namespace exclog
