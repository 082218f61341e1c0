#include "exclog/debuginfo/EDebugWriter.h"

#include <zlib.h>

#include <stdexcept>

#include "exclog/debuginfo/EDebug.h"

namespace exclog {

namespace {

void PutU8(std::string& out, uint8_t v) { out.push_back(static_cast<char>(v)); }
void PutU16(std::string& out, uint16_t v) {
  PutU8(out, uint8_t(v));
  PutU8(out, uint8_t(v >> 8));
}
void PutU32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) PutU8(out, uint8_t(v >> (8 * i)));
}

std::string Deflate(const std::string& body) {
  uLongf size = compressBound(static_cast<uLong>(body.size()));
  std::string out(size, '\0');
  if (compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                reinterpret_cast<const Bytef*>(body.data()), static_cast<uLong>(body.size()), 9) != Z_OK)
    throw std::runtime_error("deflate failed");
  out.resize(size);
  return out;
}

std::string KeyCheck(const TQLDataImage& image) {
  std::string check;
  if (image.PassPhrase) {
    PutU32(check, QLDataMagic);
    TQLCipher cipher(*image.PassPhrase);
    cipher.EncryptBuffer(reinterpret_cast<uint8_t*>(check.data()), check.size());
  } else {
    // Never the magic under any key worth trying: names are plain.
    PutU32(check, 0);
  }
  return check;
}

}  // namespace

std::string NamePiece(std::string_view text, size_t limit) {
  std::string out(text.substr(0, limit));
  for (char& c : out)
    if (c == '.') c = '_';
  return out;
}

void WriteName(std::string& out, const std::vector<std::string>& pieces, const TQLCipher* cipher) {
  std::vector<std::string> kept;
  size_t total = 0;
  for (const std::string& raw : pieces) {
    size_t joint = kept.empty() ? 0 : 1;
    if (total + joint >= QLNameMaxLength && !kept.empty()) break;
    std::string piece = NamePiece(raw, std::min(QLNamePieceMax, QLNameMaxLength - total - joint));
    total += joint + piece.size();
    kept.push_back(std::move(piece));
  }
  if (kept.empty()) kept.emplace_back();
  for (size_t i = 0; i < kept.size(); ++i) {
    std::string piece = kept[i];
    if (cipher) cipher->EncryptBuffer(reinterpret_cast<uint8_t*>(piece.data()), piece.size());
    uint8_t length = static_cast<uint8_t>(piece.size());
    if (i + 1 < kept.size()) length |= 0x80;
    PutU8(out, length);
    out += piece;
  }
}

namespace {

std::vector<std::string> FilePieces(const std::string& fileName) {
  std::vector<std::string> pieces;
  size_t start = 0;
  while (true) {
    size_t dot = fileName.find('.', start);
    pieces.push_back(fileName.substr(start, dot == std::string::npos ? dot : dot - start));
    if (dot == std::string::npos) break;
    start = dot + 1;
  }
  return pieces;
}

}  // namespace

std::string WriteDebugBlock(const std::vector<TQLUnitEntry>& units, const TQLCipher* cipher) {
  std::string out;
  PutU32(out, static_cast<uint32_t>(units.size()));
  uint64_t previousEnd = 0;
  for (const TQLUnitEntry& unit : units) {
    if (unit.Offset < previousEnd) throw std::invalid_argument("units overlap: " + unit.UnitName);
    previousEnd = uint64_t(unit.Offset) + unit.Size;
    WriteName(out, {unit.UnitName}, cipher);
    WriteName(out, FilePieces(unit.SourceFile), cipher);
    std::string records;
    uint32_t last = 0;
    auto relative = [&](uint32_t offset) {
      if (offset < unit.Offset || offset - unit.Offset >= unit.Size || offset - unit.Offset < last)
        throw std::invalid_argument("record outside its unit or out of order: " + unit.UnitName);
      last = offset - unit.Offset;
      return last;
    };
    for (const TQLRoutineEntry& routine : unit.Routines) {
      uint8_t flags = RecordName | RecordOffset | RecordLine;
      if (routine.FramePrologue) flags |= RecordPrologue;
      PutU8(records, flags);
      std::vector<std::string> name;
      if (!routine.ClassName.empty()) name.push_back(routine.ClassName);
      name.push_back(routine.RoutineName);
      WriteName(records, name, cipher);
      PutU32(records, relative(routine.Offset));
      PutU32(records, routine.FirstLine);
      for (const TQLLineRow& row : routine.Lines) {
        PutU8(records, RecordOffset | RecordLine);
        PutU32(records, relative(row.Offset));
        PutU32(records, row.Line);
      }
    }
    PutU32(out, unit.Offset);
    PutU32(out, unit.Size);
    PutU32(out, static_cast<uint32_t>(records.size()));
    out += records;
  }
  return out;
}

std::string WriteResourceData(const TQLDataImage& image) {
  std::string body;
  std::vector<std::pair<uint8_t, std::string>> blocks = {
      {BlockOptions, image.OptionsStream}, {BlockDebug, image.DebugBlock}, {BlockKeyCheck, KeyCheck(image)}};
  std::string directory;
  for (const auto& [kind, bytes] : blocks) {
    PutU8(directory, kind);
    PutU32(directory, static_cast<uint32_t>(body.size()));
    PutU32(directory, static_cast<uint32_t>(bytes.size()));
    body += bytes;
  }
  std::string out;
  PutU32(out, QLDataMagic);
  PutU16(out, image.Version);
  out.append(reinterpret_cast<const char*>(image.Header.data()), image.Header.size());
  PutU8(out, image.OptionsByte);
  PutU8(out, image.MainModuleByte);
  PutU32(out, static_cast<uint32_t>(directory.size()));
  out += directory;
  out += Deflate(body);
  return out;
}

std::string WriteAppendedData(const TQLDataImage& image) {
  std::string block;
  PutU16(block, image.Version);
  block.append(reinterpret_cast<const char*>(image.Header.data()), image.Header.size());
  block += image.OptionsStream;
  PutU32(block, static_cast<uint32_t>(image.DebugBlock.size()));
  block += image.DebugBlock;
  std::string out = block;
  PutU32(out, static_cast<uint32_t>(block.size()));
  PutU32(out, QLDataMagic);
  return out;
}

}  // namespace exclog
