#pragma once
// The outside debug-information readers: a map file beside the module and the
// binary debug data ("JCLDEBUG" resource or ".jdbg" file). Layouts are written down
// in EOutsideDebug.md; tools/qldata writes them. Pure: the module's files and
// resources come through TModuleFiles; every offset, count and length inside the
// data is checked against the data.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "exclog/debuginfo/EDebugInfo.h"

namespace exclog {

// Access to what lies beside a loaded module.
struct TModuleFiles {
  std::string FileName;  // the module's file
  // A whole file's bytes; nothing when it cannot be read.
  std::function<std::optional<std::string>(const std::string& path)> ReadFile;
  // The bytes of an RCDATA resource of the module; nothing when absent.
  std::function<std::optional<std::string>(const std::string& name)> Resource;
  // The raw data of the image section that the debug directory names (TD32 inside
  // the image); nothing when there is none.
  std::function<std::optional<std::string>()> DebugSection;
};

// `fileName` with its extension replaced by `extension` (".map").
std::string WithExtension(const std::string& fileName, const std::string& extension);

// --- Map file -----------------------------------------------------------------------

class TQLMapScanner {
 public:
  // Scans the whole text once. Lines end at CR LF, LF or CR.
  explicit TQLMapScanner(std::string_view text);

  struct TSegment {
    uint32_t Start = 0, Length = 0;
    std::string Unit;
  };
  struct TPublic {
    uint32_t Address = 0;
    std::string Name;
  };
  struct TLine {
    uint32_t Address = 0, Line = 0;
    int Unit = 0;  // index into SourceFiles()
  };
  const std::vector<TSegment>& Segments() const { return segments_; }
  const std::vector<TPublic>& Publics() const { return publics_; }
  const std::vector<TLine>& Lines() const { return lines_; }
  const std::vector<std::string>& SourceFiles() const { return sources_; }

  // Lookups at a code offset: nothing / "" / 0 when none.
  const TSegment* UnitAt(uint32_t offset) const;
  const TPublic* PublicAt(uint32_t offset) const;
  const TLine* LineAt(uint32_t offset) const;

 private:
  std::vector<TSegment> segments_;
  std::vector<TPublic> publics_;
  std::vector<TLine> lines_;
  std::vector<std::string> sources_;
};

class TQLDebugInfoMap : public TQLDebugInfoSource {
 public:
  TQLDebugInfoMap(uintptr_t module, TModuleFiles files) : TQLDebugInfoSource(module), files_(std::move(files)) {}
  bool OpenSource() override;
  bool HasScanner() const override { return scanner_ != nullptr; }
  bool FindLocation(uintptr_t address, TQLLocationInfo& info) const override;

 private:
  TModuleFiles files_;
  std::unique_ptr<TQLMapScanner> scanner_;
};

// --- Binary debug data ---------------------------------------------------------------

// Reads one variable-length number at `pos` (advanced): at most 5 bytes; false when
// the data ends first or the number is longer.
bool ReadPackedNumber(std::string_view data, size_t& pos, uint32_t& value);
constexpr uint32_t PackedTableEnd = 0x7FFFFFFF;

class TQLBinDebugScanner {
 public:
  // Raises EAssertionFailed("Assertion failure") when the data is inconsistent
  // (sizes, header, checksum, table or name offsets).
  explicit TQLBinDebugScanner(std::string data);
  static bool IsValidHeader(std::string_view data);

  std::string UnitAt(uint32_t offset) const;
  std::string SourceAt(uint32_t offset) const;
  // The routine at the offset (qualified) and its start; "" when none.
  std::string ProcedureAt(uint32_t offset, uint32_t* start = nullptr) const;
  uint32_t LineAt(uint32_t offset) const;
  // The start of the unit that holds `offset`; false when none does.
  bool UnitStart(uint32_t offset, uint32_t& start) const;

 private:
  struct TEntry {
    uint32_t Address = 0;
    uint32_t Value = 0;   // name offset or line
    uint32_t Value2 = 0;  // second name offset (procedures)
  };
  const TEntry* Find(const std::vector<TEntry>& table, uint32_t offset, bool withinUnit) const;
  std::string Name(uint32_t offset) const;
  std::string data_;
  uint32_t names_ = 0;
  std::vector<TEntry> units_, sources_, procedures_, lines_;
};

class TQLDebugInfoJedy : public TQLDebugInfoSource {
 public:
  TQLDebugInfoJedy(uintptr_t module, TModuleFiles files) : TQLDebugInfoSource(module), files_(std::move(files)) {}
  bool OpenSource() override;
  bool HasScanner() const override { return scanner_ != nullptr; }
  bool FindLocation(uintptr_t address, TQLLocationInfo& info) const override;

 private:
  TModuleFiles files_;
  std::unique_ptr<TQLBinDebugScanner> scanner_;
};

}  // namespace exclog
