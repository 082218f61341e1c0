#include "exclog/debuginfo/EExports.h"

#include <algorithm>

namespace exclog {

namespace {

// The loaded image: [base, base + size) inside the 32-bit address space. Addresses
// are computed in 64 bits, so a header claiming nearly 4 GB cannot wrap one below
// the base.
struct TModuleSpan {
  uint32_t Base, Size;
  // Whether `bytes` bytes at `rva` lie inside the image and the address space.
  bool Holds(uint64_t rva, uint64_t bytes) const {
    return rva < Size && bytes <= Size - rva && uint64_t(Base) + rva + bytes <= uint64_t(1) << 32;
  }
  uintptr_t At(uint32_t rva) const { return static_cast<uintptr_t>(uint64_t(Base) + rva); }
};

// Reads a table of `count` entries of `width` bytes at `rva`, inside the image and
// inside what memory holds there: a count is never trusted before it is allocated.
bool ReadTable(const TMemoryView& memory, const TModuleSpan& image, uint32_t rva, uint32_t count, uint32_t width,
               std::vector<uint8_t>& out) {
  const uint64_t bytes = uint64_t(count) * width;
  if (!image.Holds(rva, bytes)) return false;
  if (bytes == 0) return true;
  const size_t size = static_cast<size_t>(bytes);
  if (memory.ReadableBytes(image.At(rva), size) < size) return false;
  out.resize(size);
  return memory.ReadApproved(image.At(rva), out.data(), out.size());
}

uint32_t U32At(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

std::string ReadName(const TMemoryView& memory, const TModuleSpan& image, uint32_t rva) {
  std::string name;
  if (!image.Holds(rva, 1)) return name;
  // Holds(rva, 1) keeps Size - rva and the space left above the address positive.
  const uint64_t room = std::min<uint64_t>(image.Size - rva, (uint64_t(1) << 32) - image.At(rva));
  const size_t limit = static_cast<size_t>(std::min<uint64_t>(ExportNameLimit, room));
  char buffer[ExportNameLimit];
  const size_t have = std::min(memory.ReadableBytes(image.At(rva), limit), limit);
  if (have == 0 || !memory.ReadApproved(image.At(rva), buffer, have)) return name;
  for (size_t i = 0; i < have && buffer[i]; ++i) name += buffer[i];
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
  if (!memory.Read(static_cast<uintptr_t>(uint64_t(base) + nt), header.data(), header.size())) return out;
  if (U32At(header, 0) != 0x00004550u) return out;
  const size_t optional = 24;
  if ((header[optional] | header[optional + 1] << 8) != 0x10B) return out;
  uint32_t codeSize = U32At(header, optional + 4), codeBase = U32At(header, optional + 20);
  const TModuleSpan image{base, U32At(header, optional + 56)};
  uint32_t directories = U32At(header, optional + 92);
  if (directories < 1) return out;
  uint32_t exportRva = U32At(header, optional + 96), exportSize = U32At(header, optional + 100);
  if (exportRva == 0) return out;
  std::vector<uint8_t> dir;
  if (!ReadTable(memory, image, exportRva, 40, 1, dir)) return out;
  if (U32At(dir, 0) != 0) return out;
  uint32_t functionCount = U32At(dir, 20), nameCount = U32At(dir, 24);
  std::vector<uint8_t> functions, names, ordinals;
  if (!ReadTable(memory, image, U32At(dir, 28), functionCount, 4, functions) ||
      !ReadTable(memory, image, U32At(dir, 32), nameCount, 4, names) ||
      !ReadTable(memory, image, U32At(dir, 36), nameCount, 2, ordinals))
    return out;
  uint64_t codeEnd = uint64_t(base) + codeBase + codeSize;
  for (uint32_t i = 0; i < nameCount; ++i) {
    uint32_t ordinal = ordinals[2 * i] | ordinals[2 * i + 1] << 8;
    if (ordinal >= functionCount) continue;
    uint32_t rva = U32At(functions, 4 * size_t(ordinal));
    if (rva == 0 || !image.Holds(rva, 1)) continue;
    TQuelbaFunctionInfo info;
    info.Name = ReadName(memory, image, U32At(names, 4 * size_t(i)));
    if (info.Name.empty()) continue;
    uintptr_t address = image.At(rva);
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
