#include "exclog/debuginfo/EExports.h"

#include <algorithm>

namespace exclog {

namespace {

// Reads a table of `count` entries of `width` bytes at `rva`, inside the image.
bool ReadTable(const TMemoryView& memory, uint32_t base, uint32_t imageSize, uint32_t rva, uint32_t count,
               uint32_t width, std::vector<uint8_t>& out) {
  uint64_t bytes = uint64_t(count) * width;
  if (rva >= imageSize || bytes > imageSize - rva) return false;
  out.resize(static_cast<size_t>(bytes));
  return bytes == 0 || memory.Read(base + rva, out.data(), out.size());
}

uint32_t U32At(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

std::string ReadName(const TMemoryView& memory, uint32_t base, uint32_t imageSize, uint32_t rva) {
  std::string name;
  if (rva >= imageSize) return name;
  uint32_t limit = std::min<uint32_t>(ExportNameLimit, imageSize - rva);
  char buffer[ExportNameLimit];
  uint32_t have = static_cast<uint32_t>(std::min<size_t>(memory.ReadableBytes(base + rva, limit), limit));
  if (have == 0 || !memory.ReadApproved(base + rva, buffer, have)) return name;
  for (uint32_t i = 0; i < have && buffer[i]; ++i) name += buffer[i];
  return name;
}

}  // namespace

std::vector<TQuelbaFunctionInfo> ReadExportList(const TMemoryView& memory, uint32_t base,
                                                const TExportWalkOptions& options) {
  std::vector<TQuelbaFunctionInfo> out;
  uint8_t dos[64];
  if (!memory.Read(base, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') return out;
  uint32_t nt = uint32_t(dos[60]) | uint32_t(dos[61]) << 8 | uint32_t(dos[62]) << 16 | uint32_t(dos[63]) << 24;
  std::vector<uint8_t> header;
  if (nt > 0x10000000u) return out;
  header.resize(24 + 104);
  if (!memory.Read(base + nt, header.data(), header.size())) return out;
  if (U32At(header, 0) != 0x00004550u) return out;
  const size_t optional = 24;
  if ((header[optional] | header[optional + 1] << 8) != 0x10B) return out;
  uint32_t codeSize = U32At(header, optional + 4), codeBase = U32At(header, optional + 20);
  uint32_t imageSize = U32At(header, optional + 56);
  uint32_t directories = U32At(header, optional + 92);
  if (directories < 1) return out;
  uint32_t exportRva = U32At(header, optional + 96), exportSize = U32At(header, optional + 100);
  if (exportRva == 0 || exportRva >= imageSize || imageSize - exportRva < 40) return out;
  std::vector<uint8_t> dir;
  if (!ReadTable(memory, base, imageSize, exportRva, 40, 1, dir)) return out;
  if (U32At(dir, 0) != 0) return out;
  uint32_t functionCount = U32At(dir, 20), nameCount = U32At(dir, 24);
  std::vector<uint8_t> functions, names, ordinals;
  if (!ReadTable(memory, base, imageSize, U32At(dir, 28), functionCount, 4, functions) ||
      !ReadTable(memory, base, imageSize, U32At(dir, 32), nameCount, 4, names) ||
      !ReadTable(memory, base, imageSize, U32At(dir, 36), nameCount, 2, ordinals))
    return out;
  uint64_t codeEnd = uint64_t(base) + codeBase + codeSize;
  for (uint32_t i = 0; i < nameCount; ++i) {
    uint32_t ordinal = ordinals[2 * i] | ordinals[2 * i + 1] << 8;
    if (ordinal >= functionCount) continue;
    uint32_t rva = U32At(functions, 4 * size_t(ordinal));
    if (rva == 0 || rva >= imageSize) continue;
    TQuelbaFunctionInfo info;
    info.Name = ReadName(memory, base, imageSize, U32At(names, 4 * size_t(i)));
    if (info.Name.empty()) continue;
    uint32_t address = base + rva;
    if (rva >= exportRva && rva - exportRva < exportSize) {
      address = options.ResolveForwarder ? options.ResolveForwarder(info.Name) : 0;
      if (!address) continue;
    } else if (options.PushJumpStubs) {
      uint8_t stub[10];
      if (memory.Read(address, stub, sizeof stub) && stub[0] == 0x68 && stub[5] == 0xE9)
        address = uint32_t(stub[1]) | uint32_t(stub[2]) << 8 | uint32_t(stub[3]) << 16 | uint32_t(stub[4]) << 24;
    }
    info.Address = address;
    info.Length = address >= uint64_t(base) + codeBase && address + uint64_t(1) < codeEnd ? 1 : 0;
    out.push_back(std::move(info));
  }
  std::stable_sort(out.begin(), out.end(),
                   [](const TQuelbaFunctionInfo& a, const TQuelbaFunctionInfo& b) { return a.Address < b.Address; });
  return out;
}

}  // namespace exclog
