#pragma once
// Reading a module's logger data: the "QLDATA" resource and the block appended to
// a module file, their header and directory, the inflated body, routine names and
// the debug lookup from a module-relative address to unit, routine and line. The
// layout is written down in EDebugData.md; EDebugWriter.h writes the same layout.
//
// Pure code: callers hand in the bytes; every length, offset and count inside the
// data is checked against the bytes it sits in, so any input is safe to parse.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "exclog/core/EEncrypt.h"

namespace exclog {

constexpr uint32_t QLDataMagic = 0x100FAB10u;
constexpr uint32_t QLDataMagicOld = 0x000FAB10u;
// Data of a later format than this is not read, in either form.
constexpr uint16_t QLDataMaxVersion = 6104;
// Inflation never produces more than this.
constexpr size_t QLDataInflateCap = 64u * 1024u * 1024u;
// A name as read, continuations included, is cut to this many characters.
constexpr size_t QLNameMaxLength = 255;
// Each piece of a name holds at most this many bytes (the length byte's low 7 bits).
constexpr size_t QLNamePieceMax = 127;
// The one-byte key of names in data before version 500.
constexpr uint8_t QLOldNameXorKey = 0x5C;

// Directory kinds of this program's data.
enum TQLBlockKind : uint8_t { BlockOptions = 1, BlockDebug = 2, BlockKeyCheck = 3 };

// True for both magic words the logger data may start with.
bool IsDebugDataMagic(uint32_t value);

// 600, 601 and 602 stand for 6000, 6001 and 6002; other values are kept.
uint16_t NormalizeDataVersion(uint16_t raw);

struct TQLDirectoryEntry {
  uint8_t Kind = 0;
  uint32_t Offset = 0;  // into the inflated body
  uint32_t Size = 0;
};

struct TQLDataHeader {
  uint32_t Magic = 0;
  uint16_t Version = 0;              // normalised
  std::array<uint8_t, 8> Header{};   // the module record's DataHeader
  uint8_t OptionsByte = 0;           // read by the leak collector
  uint8_t MainModuleByte = 0;
  std::vector<TQLDirectoryEntry> Directory;
  size_t BodyOffset = 0;             // where the compressed body starts
};

// Parses the resource form's header and directory. Nothing when the bytes are too
// short, the magic is wrong, or the directory does not fit in the bytes.
std::optional<TQLDataHeader> ParseDataHeader(const uint8_t* bytes, size_t size);

// What a module's data holds, from either form.
struct TQLModuleDataContent {
  uint16_t Version = 0;
  std::array<uint8_t, 8> Header{};
  uint8_t OptionsByte = 0;
  uint8_t MainModuleByte = 0;
  std::string OptionsStream;            // options stream of format Version
  std::optional<std::string> DebugBlock;
  std::optional<std::string> KeyCheck;  // 4 bytes: the magic, enciphered when names are
};

// The resource form. Nothing for a wrong magic, a version above QLDataMaxVersion,
// a failed inflation or a directory entry outside the body.
std::optional<TQLModuleDataContent> ParseResourceData(const uint8_t* bytes, size_t size);

// The appended form, given the end of a module file (at least the block, its size
// field and the magic; the whole file is fine). `withDebug` false skips the debug
// block (a refresh does not read it). Nothing when the tail is malformed.
std::optional<TQLModuleDataContent> ParseAppendedData(const uint8_t* fileBytes, size_t size,
                                                      bool withDebug = true);

// Whether `cipher` deciphers `keyCheck` to the magic: then names are enciphered
// with that key.
bool KeyMatches(const TQLCipher& cipher, std::string_view keyCheck);

// Reads names: a length byte (bit 7, from version 502 on: another piece follows,
// joined with "."), then the bytes, deciphered or un-XOR-ed by version. Bounded:
// a name never reads past `end`, and is cut to QLNameMaxLength.
class TQLNameReader {
 public:
  TQLNameReader(uint16_t version, bool encrypted, std::string_view passPhrase)
      : version_(version), encrypted_(encrypted), cipher_(passPhrase) {}
  // Reads one name at `pos` (advanced past it). False when the data ends first.
  bool ReadName(const uint8_t* data, size_t size, size_t& pos, std::string& name) const;

 private:
  uint16_t version_;
  bool encrypted_;
  TQLCipher cipher_;
};

// One answer of the debug lookup.
struct TQLDebugLocation {
  std::string UnitName;
  std::string SourceFile;
  std::string ClassName;
  std::string RoutineName;
  uint32_t RoutineOffset = 0;  // module-relative start of the routine
  uint32_t Line = 0;
  uint32_t LineOffset = 0;     // Line minus the routine's first line, never below 0
};

// A module's debug block with an index of its units, built once. Malformed units
// end the index (units before them stay usable). Thread-safe for lookups.
class TQLDebugData {
 public:
  TQLDebugData(std::string block, uint16_t version, bool encrypted, std::string_view passPhrase);

  // The routine and line of module-relative address `offset`; nothing when no unit
  // covers it or the unit has no routine at or below it.
  std::optional<TQLDebugLocation> FindLocation(uint32_t offset) const;

  struct TUnitIndex {
    std::string UnitName;
    std::string SourceFile;
    uint32_t Start = 0;
    uint32_t Size = 0;
    size_t RecordsPos = 0;
    size_t RecordsEnd = 0;
  };
  const std::vector<TUnitIndex>& Units() const { return units_; }

  // Every record of every indexed unit, module-relative, in the block's order
  // (the build's check compares them with the compiler's line table).
  struct TPackedRow {
    size_t Unit = 0;
    uint32_t Offset = 0;
    uint32_t Line = 0;
    bool RoutineStart = false;
    std::string RoutineName;  // routine starts only, as read ("Class.Routine")
  };
  std::vector<TPackedRow> Rows() const;

 private:
  std::string block_;
  TQLNameReader names_;
  std::vector<TUnitIndex> units_;  // sorted by Start
};

// Flags byte of a unit's records.
enum TQLRecordFlags : uint8_t {
  RecordName = 0x01,      // a routine starts: its name follows
  RecordOffset = 0x02,    // u32 offset from the unit's start follows
  RecordLine = 0x04,      // u32 line follows
  RecordPrologue = 0x08,  // the routine's code starts with a frame prologue
};

// The first-line rule: whether code starting with these bytes sets up a frame.
// 55 8B EC and 55 89 E5 (two encodings of push ebp; mov ebp, esp) and 53 (push ebx).
bool StartsWithFramePrologue(const uint8_t* code, size_t size);

// A name split into its parts (exported names and qualified routine names).
struct TQLSplitName {
  int Kind = 0;  // 2 routine only, 3 unit known
  std::string UnitName;
  std::string SourceFile;
  std::string ClassName;
  std::string RoutineName;
};

// "Unit.Routine" and "Unit.Class.Routine" split at their dots (Kind 3, SourceFile =
// unit + ".cpp"); linker-mangled "@Unit@Class@Routine$qqrv" names decoded first;
// a dotted name is cut before its first "@"; anything else not starting with "?"
// is a bare routine (Kind 2). Nothing for names starting with "?" or of another
// number of parts.
std::optional<TQLSplitName> SplitQualifiedName(std::string_view name);

}  // namespace exclog
