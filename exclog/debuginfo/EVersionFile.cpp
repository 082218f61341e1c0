#include "exclog/debuginfo/EVersionFile.h"

#include <vector>

namespace exclog {

namespace {

constexpr uint32_t SectionLimit = 96;   // the loader's own limit
constexpr uint32_t EntryLimit = 4096;   // entries of one resource directory
constexpr uint32_t HeaderOffsetLimit = 0x10000;
constexpr uint32_t TypeVersion = 16, NameVersion = 1;

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t U32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

struct TSection {
  uint32_t Rva, Size, RawOffset;  // Size: what the file holds of it
};

class TPeFile {
 public:
  TPeFile(const TFileReader& read, uint64_t size) : read_(read), size_(size) {}

  bool Read(uint64_t offset, void* buffer, size_t bytes) const {
    return offset <= size_ && bytes <= size_ - offset && read_(offset, buffer, bytes);
  }

  bool ReadHeaders() {
    uint8_t dos[64];
    if (!Read(0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') return false;
    const uint32_t pe = U32(dos + 60);
    uint8_t file[24];
    if (pe > HeaderOffsetLimit || !Read(pe, file, sizeof file) || U32(file) != 0x00004550u) return false;
    const uint32_t sections = U16(file + 6), optionalSize = U16(file + 20);
    if (sections == 0 || sections > SectionLimit || optionalSize < 2) return false;
    std::vector<uint8_t> optional(optionalSize);
    if (!Read(uint64_t(pe) + 24, optional.data(), optional.size())) return false;
    // The data directories: after 96 bytes of a 32-bit header, 112 of a 64-bit one.
    const uint16_t magic = U16(optional.data());
    const size_t directories = magic == 0x10B ? 96 : magic == 0x20B ? 112 : 0;
    if (!directories || optionalSize < directories + 3 * 8 || U32(optional.data() + directories - 4) < 3) return false;
    resourceRva_ = U32(optional.data() + directories + 16);
    std::vector<uint8_t> table(size_t(sections) * 40);
    if (!Read(uint64_t(pe) + 24 + optionalSize, table.data(), table.size())) return false;
    for (uint32_t i = 0; i < sections; ++i) {
      const uint8_t* s = table.data() + size_t(i) * 40;
      const uint32_t virtualSize = U32(s + 8), rva = U32(s + 12), rawSize = U32(s + 16), rawOffset = U32(s + 20);
      // The loader would round an odd file offset down: left to the system.
      if (rawOffset % 0x200) return false;
      sections_.push_back({rva, virtualSize && virtualSize < rawSize ? virtualSize : rawSize, rawOffset});
    }
    return true;
  }

  // Reads `bytes` at `rva`, when one section's file data holds them all.
  bool ReadAt(uint64_t rva, void* buffer, size_t bytes) const {
    for (const TSection& s : sections_)
      if (rva >= s.Rva && rva - s.Rva < s.Size)
        return bytes <= s.Size - (rva - s.Rva) && Read(s.RawOffset + (rva - s.Rva), buffer, bytes);
    return false;
  }
  std::optional<uint64_t> FileOffsetOf(uint64_t rva, uint64_t bytes) const {
    for (const TSection& s : sections_)
      if (rva >= s.Rva && rva - s.Rva < s.Size)
        return bytes <= s.Size - (rva - s.Rva) ? std::optional<uint64_t>(s.RawOffset + (rva - s.Rva)) : std::nullopt;
    return std::nullopt;
  }

  // The entries (name, offset) of the resource directory at `offset` from the root.
  bool Entries(uint32_t offset, std::vector<uint8_t>& out) const {
    uint8_t head[16];
    if (!ReadAt(uint64_t(resourceRva_) + offset, head, sizeof head)) return false;
    const uint32_t count = uint32_t(U16(head + 12)) + U16(head + 14);
    if (count > EntryLimit) return false;
    out.resize(size_t(count) * 8);
    return ReadAt(uint64_t(resourceRva_) + offset + 16, out.data(), out.size());
  }
  // The subdirectory of entry `id` in the directory at `offset`.
  std::optional<uint32_t> Subdirectory(uint32_t offset, uint32_t id) const {
    std::vector<uint8_t> entries;
    if (!Entries(offset, entries) || !Ordered(entries)) return std::nullopt;
    for (size_t at = 0; at < entries.size(); at += 8) {
      const uint32_t name = U32(entries.data() + at), target = U32(entries.data() + at + 4);
      if (name != id) continue;
      if (!(target & 0x80000000u)) return std::nullopt;
      return target & 0x7FFFFFFFu;
    }
    return std::nullopt;
  }

  // Named entries first, then ids in ascending order: the system's lookup searches
  // them by halves, so a directory out of order is left to it.
  static bool Ordered(const std::vector<uint8_t>& entries) {
    bool ids = false;
    uint32_t last = 0;
    for (size_t at = 0; at < entries.size(); at += 8) {
      const uint32_t name = U32(entries.data() + at);
      if (name & 0x80000000u) {
        if (ids) return false;
        continue;
      }
      if (ids && name <= last) return false;
      ids = true;
      last = name;
    }
    return true;
  }
  static bool HasEntry(const std::vector<uint8_t>& entries, uint32_t id) {
    for (size_t at = 0; at < entries.size(); at += 8)
      if (U32(entries.data() + at) == id) return true;
    return false;
  }

  uint32_t ResourceRva() const { return resourceRva_; }

 private:
  const TFileReader& read_;
  uint64_t size_;
  uint32_t resourceRva_ = 0;
  std::vector<TSection> sections_;
};

}  // namespace

TVersionResource FindVersionResource(const TFileReader& read, uint64_t fileSize) {
  TVersionResource result;
  TPeFile file(read, fileSize);
  if (!file.ReadHeaders()) return result;
  if (file.ResourceRva() == 0) {
    result.Kind = TVersionResource::None;
    return result;
  }
  std::vector<uint8_t> types;
  if (!file.Entries(0, types) || !file.Ordered(types)) return result;
  std::optional<uint32_t> type = file.Subdirectory(0, TypeVersion);
  std::optional<uint32_t> name = type ? file.Subdirectory(*type, NameVersion) : std::nullopt;
  // A readable directory without the entry: the system finds none either.
  if (!name) {
    std::vector<uint8_t> names;
    if (!file.HasEntry(types, TypeVersion) ||
        (type && file.Entries(*type, names) && file.Ordered(names) && !file.HasEntry(names, NameVersion)))
      result.Kind = TVersionResource::None;
    return result;
  }
  std::vector<uint8_t> languages;
  if (!file.Entries(*name, languages) || languages.size() != 8) return result;
  const uint32_t data = U32(languages.data() + 4);
  uint8_t entry[16];
  if ((data & 0x80000000u) || !file.ReadAt(uint64_t(file.ResourceRva()) + data, entry, sizeof entry)) return result;
  const uint32_t size = U32(entry + 4);
  std::optional<uint64_t> offset = size ? file.FileOffsetOf(U32(entry), size) : std::nullopt;
  if (!offset || *offset > fileSize || size > fileSize - *offset) return result;
  result.Kind = TVersionResource::Found;
  result.Span = TFileSpan{*offset, size};
  return result;
}

}  // namespace exclog
