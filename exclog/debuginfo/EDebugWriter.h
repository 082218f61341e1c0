#pragma once
// Writing a module's logger data in the layout EDebug.h reads (see EDebugData.md):
// the debug block of units, routines and lines, the compressed resource and the
// appended block. Used by the build's generator (tools/qldata) and by tests.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "exclog/core/EEncrypt.h"

namespace exclog {

struct TQLLineRow {
  uint32_t Offset = 0;  // module-relative address
  uint32_t Line = 0;
};

struct TQLRoutineEntry {
  std::string ClassName;    // "" for a free routine
  std::string RoutineName;
  uint32_t Offset = 0;      // module-relative start
  uint32_t FirstLine = 0;
  bool FramePrologue = false;
  std::vector<TQLLineRow> Lines;  // after the start, ascending, inside the routine
};

struct TQLUnitEntry {
  std::string UnitName;
  std::string SourceFile;
  uint32_t Offset = 0;  // module-relative start of the unit's code run
  uint32_t Size = 0;
  std::vector<TQLRoutineEntry> Routines;  // ascending
};

// Makes a name storable: every "." becomes "_" (a dot separates pieces) and the
// text is cut to `limit` bytes.
std::string NamePiece(std::string_view text, size_t limit);

// Appends a name of one or more pieces (`pieces` joined by "." when read back):
// each piece at most 127 bytes, the whole at most 255; longer pieces are cut.
// Enciphered piece by piece when `cipher` is set.
void WriteName(std::string& out, const std::vector<std::string>& pieces, const TQLCipher* cipher);

// The debug block. Throws std::invalid_argument when units overlap or a routine or
// line lies outside its unit.
std::string WriteDebugBlock(const std::vector<TQLUnitEntry>& units, const TQLCipher* cipher);

struct TQLDataImage {
  uint16_t Version = 6104;
  std::array<uint8_t, 8> Header{};
  uint8_t OptionsByte = 0;
  uint8_t MainModuleByte = 0;
  std::string OptionsStream;
  std::string DebugBlock;
  // Set when names are enciphered: the key check then holds the enciphered magic.
  std::optional<std::string> PassPhrase;
};

// The "QLDATA" resource: header, directory and the body deflated at level 9.
std::string WriteResourceData(const TQLDataImage& image);

// The block appended to a module file, with its size field and the magic.
std::string WriteAppendedData(const TQLDataImage& image);

}  // namespace exclog
