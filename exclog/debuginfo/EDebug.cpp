#include "exclog/debuginfo/EDebug.h"

#include <algorithm>
#include <cstring>

#include "exclog/core/EOptionsStream.h"
#include "exclog/core/EZip.h"

namespace exclog {

namespace {

// A bounded little-endian reader over a byte range.
class TCursor {
 public:
  TCursor(const uint8_t* data, size_t size, size_t pos = 0) : data_(data), size_(size), pos_(pos) {}
  bool U8(uint8_t& v) {
    if (pos_ >= size_) return false;
    v = data_[pos_++];
    return true;
  }
  bool U16(uint16_t& v) {
    if (pos_ > size_ || size_ - pos_ < 2) return false;
    v = static_cast<uint16_t>(data_[pos_] | (data_[pos_ + 1] << 8));
    pos_ += 2;
    return true;
  }
  bool U32(uint32_t& v) {
    if (pos_ > size_ || size_ - pos_ < 4) return false;
    v = uint32_t(data_[pos_]) | (uint32_t(data_[pos_ + 1]) << 8) | (uint32_t(data_[pos_ + 2]) << 16) |
        (uint32_t(data_[pos_ + 3]) << 24);
    pos_ += 4;
    return true;
  }
  bool Bytes(void* out, size_t n) {
    if (pos_ > size_ || size_ - pos_ < n) return false;
    std::memcpy(out, data_ + pos_, n);
    pos_ += n;
    return true;
  }
  size_t Pos() const { return pos_; }
  size_t Remaining() const { return pos_ > size_ ? 0 : size_ - pos_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_;
};

uint32_t LoadLE32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

bool FitsIn(size_t size, uint32_t offset, uint32_t length) {
  return offset <= size && length <= size - offset;
}

// The options stream has no length of its own: its size is what a parse takes.
std::optional<size_t> OptionsStreamLength(const uint8_t* data, size_t size, uint16_t version) {
  try {
    TOptionsBufferSource source(data, size);
    TQuelbaOptionsData scratch;
    ReadOptionsStream(source, version, scratch);
    return source.Position();
  } catch (...) {
    return std::nullopt;
  }
}

}  // namespace

bool IsDebugDataMagic(uint32_t value) { return value == QLDataMagic || value == QLDataMagicOld; }

uint16_t NormalizeDataVersion(uint16_t raw) {
  if (raw >= 600 && raw <= 602) return static_cast<uint16_t>(6000 + raw % 600);
  return raw;
}

std::optional<TQLDataHeader> ParseDataHeader(const uint8_t* bytes, size_t size) {
  if (!bytes) return std::nullopt;
  TCursor in(bytes, size);
  TQLDataHeader header;
  uint16_t raw = 0;
  uint32_t directorySize = 0;
  if (!in.U32(header.Magic) || !IsDebugDataMagic(header.Magic)) return std::nullopt;
  if (!in.U16(raw) || !in.Bytes(header.Header.data(), header.Header.size())) return std::nullopt;
  if (!in.U8(header.OptionsByte) || !in.U8(header.MainModuleByte) || !in.U32(directorySize))
    return std::nullopt;
  header.Version = NormalizeDataVersion(raw);
  if (directorySize > in.Remaining()) return std::nullopt;
  size_t directoryEnd = in.Pos() + directorySize;
  TCursor dir(bytes, directoryEnd, in.Pos());
  while (dir.Remaining() > 0) {
    TQLDirectoryEntry entry;
    if (!dir.U8(entry.Kind) || !dir.U32(entry.Offset) || !dir.U32(entry.Size)) return std::nullopt;
    header.Directory.push_back(entry);
  }
  header.BodyOffset = directoryEnd;
  return header;
}

std::optional<TQLModuleDataContent> ParseResourceData(const uint8_t* bytes, size_t size) {
  auto header = ParseDataHeader(bytes, size);
  if (!header || header->Version > QLDataMaxVersion) return std::nullopt;
  // This program writes only the compressed form; older uncompressed data is not read.
  if (header->Version < 500) return std::nullopt;
  auto body =
      TryInflateToBuffer(bytes + header->BodyOffset, size - header->BodyOffset, QLDataInflateCap);
  if (!body) return std::nullopt;
  TQLModuleDataContent content;
  content.Version = header->Version;
  content.Header = header->Header;
  content.OptionsByte = header->OptionsByte;
  content.MainModuleByte = header->MainModuleByte;
  bool haveOptions = false;
  for (const TQLDirectoryEntry& entry : header->Directory) {
    if (!FitsIn(body->size(), entry.Offset, entry.Size)) return std::nullopt;
    std::string block = body->substr(entry.Offset, entry.Size);
    switch (entry.Kind) {
      case BlockOptions:
        if (!haveOptions) content.OptionsStream = std::move(block);
        haveOptions = true;
        break;
      case BlockDebug:
        if (!content.DebugBlock) content.DebugBlock = std::move(block);
        break;
      case BlockKeyCheck:
        if (!content.KeyCheck) content.KeyCheck = std::move(block);
        break;
      default:
        break;  // kinds for other readers
    }
  }
  return content;
}

std::optional<TQLModuleDataContent> ParseAppendedData(const uint8_t* fileBytes, size_t size,
                                                      bool withDebug) {
  if (!fileBytes || size < 8) return std::nullopt;
  if (!IsDebugDataMagic(LoadLE32(fileBytes + size - 4))) return std::nullopt;
  uint32_t blockSize = LoadLE32(fileBytes + size - 8);
  if (blockSize > size - 8) return std::nullopt;
  const uint8_t* block = fileBytes + (size - 8 - blockSize);
  TCursor in(block, blockSize);
  TQLModuleDataContent content;
  uint16_t raw = 0;
  if (!in.U16(raw) || !in.Bytes(content.Header.data(), content.Header.size())) return std::nullopt;
  content.Version = NormalizeDataVersion(raw);
  if (content.Version > QLDataMaxVersion) return std::nullopt;
  auto optionsLength = OptionsStreamLength(block + in.Pos(), in.Remaining(), content.Version);
  if (!optionsLength) return std::nullopt;
  content.OptionsStream.assign(reinterpret_cast<const char*>(block + in.Pos()), *optionsLength);
  TCursor rest(block, blockSize, in.Pos() + *optionsLength);
  if (withDebug) {
    uint32_t debugSize = 0;
    if (!rest.U32(debugSize) || debugSize > rest.Remaining()) return std::nullopt;
    content.DebugBlock.emplace(reinterpret_cast<const char*>(block + rest.Pos()), debugSize);
  }
  return content;
}

bool KeyMatches(const TQLCipher& cipher, std::string_view keyCheck) {
  if (keyCheck.size() != 4) return false;
  uint8_t bytes[4];
  std::memcpy(bytes, keyCheck.data(), 4);
  cipher.DecryptBuffer(bytes, 4);
  return LoadLE32(bytes) == QLDataMagic;
}

bool TQLNameReader::ReadName(const uint8_t* data, size_t size, size_t& pos, std::string& name) const {
  name.clear();
  bool more = true;
  bool first = true;
  while (more) {
    if (pos >= size) return false;
    uint8_t n = data[pos++];
    more = false;
    if (version_ >= 502 && n >= 128) {
      n = static_cast<uint8_t>(n % 128);
      more = true;
    }
    if (size - pos < n) return false;
    std::string piece(reinterpret_cast<const char*>(data + pos), n);
    pos += n;
    if (version_ < 500) {
      for (char& c : piece) c = static_cast<char>(c ^ QLOldNameXorKey);
    } else if (encrypted_) {
      cipher_.DecryptBuffer(reinterpret_cast<uint8_t*>(piece.data()), piece.size());
    }
    // Unencrypted names are stored as the text itself.
    if (!first) name += '.';
    name += piece;
    first = false;
    if (name.size() > QLNameMaxLength) name.resize(QLNameMaxLength);
  }
  return true;
}

TQLDebugData::TQLDebugData(std::string block, uint16_t version, bool encrypted,
                           std::string_view passPhrase)
    : block_(std::move(block)), names_(version, encrypted, passPhrase) {
  const auto* data = reinterpret_cast<const uint8_t*>(block_.data());
  size_t size = block_.size();
  TCursor in(data, size);
  uint32_t unitCount = 0;
  if (!in.U32(unitCount)) return;
  size_t pos = in.Pos();
  for (uint32_t i = 0; i < unitCount; ++i) {
    TUnitIndex unit;
    if (!names_.ReadName(data, size, pos, unit.UnitName)) break;
    if (!names_.ReadName(data, size, pos, unit.SourceFile)) break;
    TCursor fields(data, size, pos);
    uint32_t recordsSize = 0;
    if (!fields.U32(unit.Start) || !fields.U32(unit.Size) || !fields.U32(recordsSize)) break;
    if (recordsSize > fields.Remaining()) break;
    unit.RecordsPos = fields.Pos();
    unit.RecordsEnd = unit.RecordsPos + recordsSize;
    pos = unit.RecordsEnd;
    if (unit.Size > 0) units_.push_back(std::move(unit));
  }
  std::stable_sort(units_.begin(), units_.end(),
                   [](const TUnitIndex& a, const TUnitIndex& b) { return a.Start < b.Start; });
}

std::optional<TQLDebugLocation> TQLDebugData::FindLocation(uint32_t offset) const {
  // The last unit starting at or below the offset; units never overlap.
  auto it = std::upper_bound(units_.begin(), units_.end(), offset,
                             [](uint32_t value, const TUnitIndex& u) { return value < u.Start; });
  if (it == units_.begin()) return std::nullopt;
  const TUnitIndex& unit = *(it - 1);
  if (offset - unit.Start > unit.Size - 1) return std::nullopt;

  const auto* data = reinterpret_cast<const uint8_t*>(block_.data());
  size_t pos = unit.RecordsPos;
  const size_t end = unit.RecordsEnd;
  uint32_t relative = offset - unit.Start;
  bool haveRoutine = false;
  std::string routineName;
  uint32_t routineOffset = 0, firstLine = 0, line = 0;
  bool prologue = false;
  while (pos < end) {
    uint8_t flags = data[pos++];
    std::string name;
    uint32_t recordOffset = 0, recordLine = 0;
    if ((flags & RecordName) && !names_.ReadName(data, end, pos, name)) break;
    TCursor fields(data, end, pos);
    if ((flags & RecordOffset) && !fields.U32(recordOffset)) break;
    if ((flags & RecordLine) && !fields.U32(recordLine)) break;
    pos = fields.Pos();
    if (recordOffset > relative) break;  // records run in address order
    if (flags & RecordName) {
      haveRoutine = true;
      routineName = std::move(name);
      routineOffset = recordOffset;
      firstLine = recordLine;
      prologue = (flags & RecordPrologue) != 0;
    }
    if (flags & RecordLine) line = recordLine;
  }
  if (!haveRoutine) return std::nullopt;

  TQLDebugLocation location;
  location.UnitName = unit.UnitName;
  location.SourceFile = unit.SourceFile;
  size_t dot = routineName.find('.');
  if (dot == std::string::npos) {
    location.RoutineName = routineName;
  } else {
    location.ClassName = routineName.substr(0, dot);
    location.RoutineName = routineName.substr(dot + 1);
  }
  location.RoutineOffset = unit.Start + routineOffset;
  location.Line = line;
  // Without a frame prologue the first line row is the routine's body, one below
  // the line that names it.
  uint32_t first = firstLine;
  bool lower = location.RoutineName == "Finalization" ||
               (location.RoutineName != "Initialization" && !prologue);
  if (lower && first > 0) --first;
  location.LineOffset = line > first ? line - first : 0;
  return location;
}

std::vector<TQLDebugData::TPackedRow> TQLDebugData::Rows() const {
  std::vector<TPackedRow> rows;
  const auto* data = reinterpret_cast<const uint8_t*>(block_.data());
  for (size_t u = 0; u < units_.size(); ++u) {
    size_t pos = units_[u].RecordsPos;
    const size_t end = units_[u].RecordsEnd;
    while (pos < end) {
      TPackedRow row;
      row.Unit = u;
      uint8_t flags = data[pos++];
      if ((flags & RecordName) && !names_.ReadName(data, end, pos, row.RoutineName)) break;
      TCursor fields(data, end, pos);
      uint32_t relative = 0;
      if ((flags & RecordOffset) && !fields.U32(relative)) break;
      if ((flags & RecordLine) && !fields.U32(row.Line)) break;
      pos = fields.Pos();
      row.Offset = units_[u].Start + relative;
      row.RoutineStart = (flags & RecordName) != 0;
      rows.push_back(std::move(row));
    }
  }
  return rows;
}

bool StartsWithFramePrologue(const uint8_t* code, size_t size) {
  if (!code || size < 1) return false;
  if (code[0] == 0x53) return true;
  if (size < 3 || code[0] != 0x55) return false;
  return (code[1] == 0x8B && code[2] == 0xEC) || (code[1] == 0x89 && code[2] == 0xE5);
}

namespace {

std::vector<std::string> SplitDots(std::string_view text) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (true) {
    size_t dot = text.find('.', start);
    parts.emplace_back(text.substr(start, dot == std::string_view::npos ? dot : dot - start));
    if (dot == std::string_view::npos) break;
    start = dot + 1;
  }
  return parts;
}

TQLSplitName SplitParts(std::string_view name) {
  TQLSplitName out;
  std::vector<std::string> parts = SplitDots(name);
  if (parts.size() == 2 || parts.size() == 3) {
    out.Kind = 3;
    out.UnitName = parts[0];
    out.SourceFile = parts[0] + ".cpp";
    out.RoutineName = parts.back();
    if (parts.size() == 3) out.ClassName = parts[1];
  } else {
    out.Kind = 2;
    out.RoutineName = std::string(name);
  }
  return out;
}

}  // namespace

std::optional<TQLSplitName> SplitQualifiedName(std::string_view name) {
  if (name.empty() || name[0] == '?') return std::nullopt;
  if (name[0] == '@' && name.substr(0, 2) != "@$") {
    std::string s(name.substr(0, name.find('$')));
    if (!s.empty() && s.back() == '@') s.pop_back();
    if (!s.empty() && s.front() == '@') s.erase(0, 1);
    size_t twin = s.find("@@");
    if (twin != std::string::npos) s[twin + 1] = '_';
    std::replace(s.begin(), s.end(), '@', '.');
    return SplitParts(s);
  }
  if (name.find('.') != std::string_view::npos && name[0] != '@')
    return SplitParts(name.substr(0, name.find('@')));
  TQLSplitName out;
  out.Kind = 2;
  out.RoutineName = std::string(name);
  return out;
}

}  // namespace exclog
