#include "exclog/debuginfo/EExports.h"

#include <algorithm>
#include <cstring>

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

// The export tables of an image, each read whole and bounded.
struct TExportTables {
  TModuleSpan Image{0, 0};
  uint32_t CodeBase = 0, CodeSize = 0;
  uint32_t ExportRva = 0, ExportSize = 0;
  uint32_t FunctionCount = 0, NameCount = 0;
  std::vector<uint8_t> Functions, Names, Ordinals;
  // The export directory's bytes, when they could be read whole: names and
  // forwarder texts inside it are read from here rather than one by one.
  std::vector<uint8_t> Directory;

  // The name at `rva`, as ReadName reads it.
  std::string NameAt(const TMemoryView& memory, uint32_t rva) const {
    if (rva >= ExportRva && rva - ExportRva < Directory.size()) {
      const uint8_t* at = Directory.data() + (rva - ExportRva);
      const size_t room = std::min<size_t>(ExportNameLimit, Directory.data() + Directory.size() - at);
      // A name that does not end inside the copy is read as before.
      if (const void* end = std::memchr(at, 0, room))
        return std::string(reinterpret_cast<const char*>(at), static_cast<const uint8_t*>(end) - at);
    }
    return ReadName(memory, Image, rva);
  }

  bool Forwarded(uint32_t rva) const { return rva >= ExportRva && rva - ExportRva < ExportSize; }
  // The function's address slot for the name at `i`; 0 when the ordinal or the
  // address is out of the image.
  uint32_t RvaOfName(uint32_t i) const {
    uint32_t ordinal = Ordinals[2 * size_t(i)] | Ordinals[2 * size_t(i) + 1] << 8;
    if (ordinal >= FunctionCount) return 0;
    uint32_t rva = U32At(Functions, 4 * size_t(ordinal));
    return rva != 0 && Image.Holds(rva, 1) ? rva : 0;
  }
};

bool ReadExportTables(const TMemoryView& memory, uint32_t base, TExportTables& t) {
  uint8_t dos[64];
  if (!memory.Read(base, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') return false;
  uint32_t nt = uint32_t(dos[60]) | uint32_t(dos[61]) << 8 | uint32_t(dos[62]) << 16 | uint32_t(dos[63]) << 24;
  std::vector<uint8_t> header;
  if (nt > 0x10000000u) return false;
  header.resize(24 + 104);
  if (!memory.Read(static_cast<uintptr_t>(uint64_t(base) + nt), header.data(), header.size())) return false;
  if (U32At(header, 0) != 0x00004550u) return false;
  const size_t optional = 24;
  if ((header[optional] | header[optional + 1] << 8) != 0x10B) return false;
  t.CodeSize = U32At(header, optional + 4);
  t.CodeBase = U32At(header, optional + 20);
  t.Image = TModuleSpan{base, U32At(header, optional + 56)};
  uint32_t directories = U32At(header, optional + 92);
  if (directories < 1) return false;
  t.ExportRva = U32At(header, optional + 96);
  t.ExportSize = U32At(header, optional + 100);
  if (t.ExportRva == 0) return false;
  std::vector<uint8_t> dir;
  if (!ReadTable(memory, t.Image, t.ExportRva, 40, 1, dir)) return false;
  if (U32At(dir, 0) != 0) return false;
  t.FunctionCount = U32At(dir, 20);
  t.NameCount = U32At(dir, 24);
  if (!ReadTable(memory, t.Image, U32At(dir, 28), t.FunctionCount, 4, t.Functions) ||
      !ReadTable(memory, t.Image, U32At(dir, 32), t.NameCount, 4, t.Names) ||
      !ReadTable(memory, t.Image, U32At(dir, 36), t.NameCount, 2, t.Ordinals))
    return false;
  if (!ReadTable(memory, t.Image, t.ExportRva, t.ExportSize, 1, t.Directory)) t.Directory.clear();
  return true;
}

}  // namespace

std::vector<TQuelbaFunctionInfo> ReadExportList(const TMemoryView& memory, uint32_t base,
                                                const TExportWalkOptions& options) {
  std::vector<TQuelbaFunctionInfo> out;
  TExportTables t;
  if (!ReadExportTables(memory, base, t)) return out;
  const TModuleSpan& image = t.Image;
  const uint32_t codeBase = t.CodeBase;
  uint64_t codeEnd = uint64_t(base) + t.CodeBase + t.CodeSize;
  for (uint32_t i = 0; i < t.NameCount; ++i) {
    uint32_t rva = t.RvaOfName(i);
    if (rva == 0) continue;
    TQuelbaFunctionInfo info;
    info.Name = t.NameAt(memory, U32At(t.Names, 4 * size_t(i)));
    if (info.Name.empty()) continue;
    uintptr_t address = image.At(rva);
    if (t.Forwarded(rva)) {
      address = options.ResolveForwarder ? options.ResolveForwarder(info.Name, t.NameAt(memory, rva)) : 0;
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

struct TExportIndex::TTables : TExportTables {
  bool Valid = false;
};

TExportIndex::TExportIndex(const TMemoryView& memory, uint32_t base)
    : memory_(memory), tables_(std::make_unique<TTables>()) {
  tables_->Valid = ReadExportTables(memory, base, *tables_);
}

TExportIndex::~TExportIndex() = default;

uint32_t TExportIndex::AddressOf(const std::string& name, std::string* forwarder) const {
  if (forwarder) forwarder->clear();
  const TTables& t = *tables_;
  if (!t.Valid || name.empty() || name.size() >= ExportNameLimit) return 0;
  uint32_t low = 0, high = t.NameCount;
  while (low < high) {
    uint32_t middle = low + (high - low) / 2;
    int order = t.NameAt(memory_, U32At(t.Names, 4 * size_t(middle))).compare(name);
    if (order == 0) {
      uint32_t rva = t.RvaOfName(middle);
      if (rva != 0 && t.Forwarded(rva) && forwarder) *forwarder = t.NameAt(memory_, rva);
      return rva == 0 || t.Forwarded(rva) ? 0 : static_cast<uint32_t>(t.Image.At(rva));
    }
    if (order < 0)
      low = middle + 1;
    else
      high = middle;
  }
  return 0;
}

}  // namespace exclog
