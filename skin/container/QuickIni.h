#pragma once
// Read-only INI reader over a skin's description text, held in memory.
//
// Rules of skin INI text: lines end at LF, CR or CR LF; lines are trimmed of every
// character below 33 at both ends; empty lines and lines starting with ';' are
// dropped; keys and sections match without regard to letter case; the first
// occurrence of a key in a section wins, and an empty value there yields the default.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "classlib/Streams.h"

namespace skin {

class TQuickIni {
 public:
  // Replaces the contents with `text`.
  void LoadFromText(std::string_view text);
  // Replaces the contents with the text from `stream`'s position to its end;
  // nothing happens for a null stream.
  void LoadFromStream(TStream* stream);

  std::string ReadString(std::string_view section, std::string_view key,
                         const std::string& defaultValue) const;
  // Decimal, "$hex", or "0x"/"0X" hex; anything else gives `defaultValue`.
  int32_t ReadInteger(std::string_view section, std::string_view key, int32_t defaultValue) const;
  // Section names without brackets, trimmed, in file order.
  std::vector<std::string> ReadSections() const;

  // Index in the line list of the header "[section]", or -1.
  int FindSection(std::string_view section) const;
  static bool IsSection(std::string_view line);
  // Text before the first '=', trimmed and lower-cased; empty without '='.
  static std::string KeyName(std::string_view line);
  // Text after the first '=', trimmed, when the line's key is `key`; else empty.
  static std::string ValueOf(std::string_view line, std::string_view key);

  const std::vector<std::string>& Lines() const { return lines_; }

 private:
  struct Section {
    std::string header;  // "[name]" as written, trimmed
    int lineIndex;
  };
  std::vector<std::string> lines_;
  std::vector<Section> sections_;
};

}  // namespace skin
