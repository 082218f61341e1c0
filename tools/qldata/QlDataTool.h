#pragma once
// The logger-data generator's logic, apart from running the binutils: parsing
// nm's symbol list and objdump's decoded line table, reading a PE image's sections
// and its "QLDATA" resource, grouping routines into units, the settings file, and
// the comparisons of the verify mode.
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "exclog/debuginfo/EDebugWriter.h"

namespace qldata {

struct TSymbol {
  uint32_t Address = 0;
  char Type = 0;
  std::string Name;  // as nm prints it (mangled, with the target's leading "_")
};

// Lines of `nm -n --defined-only`: "ADDRESS TYPE NAME". Other lines are skipped.
std::vector<TSymbol> ParseNm(std::string_view text);

struct TLineRow {
  uint32_t Address = 0;
  uint32_t Line = 0;
  std::string File;  // full path as the line table names it
  bool EndSequence = false;  // the first address after a run of code
};

// `objdump --dwarf=decodedline -w`: a "CU: path:" or "path:" line names the file of
// the rows below it; rows are "name line address [view] [x]"; end-of-sequence rows
// ("-" as line) are dropped. Rows keep their order.
std::vector<TLineRow> ParseDecodedLines(std::string_view text);

// `objdump -p`: the ImageBase value; nothing when absent.
std::optional<uint32_t> ParseImageBase(std::string_view text);

// The C++ name of an nm symbol: one leading "_" removed, "_Z..." demangled; other
// names as they are.
std::string DemangledName(const std::string& symbol);

// Splits a demangled name at the last "::" outside brackets before its parameter
// list: {"ns::TList", "Add(int)"}; a name without one gives {"", name}.
std::pair<std::string, std::string> SplitClassAndRoutine(const std::string& name);

// For comparing with addr2line: drops " [clone ...]" suffixes, the parameter list
// and what follows it, and cuts like the name format does.
std::string ComparableRoutine(const std::string& name);

// A PE image in memory: sections and the bytes at a relative address.
class TPeImage {
 public:
  // Throws std::runtime_error for a file that is not a PE image.
  explicit TPeImage(std::string bytes);
  uint32_t ImageBase() const { return imageBase_; }
  uint32_t EntryPoint() const { return entryPoint_; }  // relative address
  struct TSection {
    std::string Name;
    uint32_t Rva = 0, VirtualSize = 0, RawOffset = 0, RawSize = 0;
    uint32_t Characteristics = 0;
  };
  const std::vector<TSection>& Sections() const { return sections_; }
  // Up to `count` bytes of the raw data at `rva` (fewer at a section's end).
  std::string BytesAt(uint32_t rva, size_t count) const;
  // The raw bytes of a section by name ("" when absent).
  std::string SectionBytes(const std::string& name) const;
  // The data of RCDATA resource `name` (first language); nothing when absent.
  std::optional<std::string> RcData(const std::string& name) const;

 private:
  std::string bytes_;
  uint32_t imageBase_ = 0;
  uint32_t entryPoint_ = 0;
  std::vector<TSection> sections_;
};

// Routines and lines grouped into units: every routine whose start has a line
// row, ending at the next symbol or at the end of its line sequence (alignment
// padding belongs to no routine); units are runs of routines of one source file
// without gaps; the last row at an address wins. With a non-empty `sourceRoot`,
// only files under it count, and the file of the image's entry (the run-time's
// start routines, which call main).
// A routine's line at an address is the line of its own frame there: where the
// code of an inlined routine stands, the line of the call. OuterLines answers that
// for every row address and every address of `Instructions` inside the kept
// routines (an inlined call may begin between rows); an answer in another file
// than the routine's is no answer. Without an answer, only rows of the routine's
// own file count. A line is packed where it changes.
struct TOuterLine {
  std::string File;  // with or without folder
  uint32_t Line = 0;
};
struct TBuildInput {
  std::vector<TSymbol> Symbols;
  std::vector<TLineRow> Rows;
  const TPeImage* Image = nullptr;
  std::string SourceRoot;
  uint32_t EntryAddress = 0;  // the image's entry point (0: none)
  std::vector<uint32_t> Instructions;  // code addresses, rising
  std::function<std::vector<TOuterLine>(const std::vector<uint32_t>& addresses)> OuterLines;
};
std::vector<exclog::TQLUnitEntry> BuildUnits(const TBuildInput& input);

// The settings file: "Key=Value" lines, "#" comments. Known keys set the options
// (by name; "Text<index>" one of their texts), the options byte, the main-module
// byte and the pass phrase.
struct TSettings {
  std::map<std::string, std::string> Values;
  std::optional<std::string> PassPhrase;
  uint8_t OptionsByte = 0;
  uint8_t MainModuleByte = 0;
};
// Throws std::runtime_error naming the line for unknown keys or bad values.
TSettings ParseSettings(std::string_view text);

// The options stream: defaults with the settings applied, in the current format.
std::string OptionsStreamFor(const TSettings& settings);

// Whether our routine (class and routine pieces as packed) and addr2line's name
// the same routine: equal once made comparable; when addr2line gives a bare name,
// equal to our routine piece; when a piece was cut, addr2line's name starts with
// our class piece.
bool SameRoutine(const std::string& oursClass, const std::string& oursRoutine, const std::string& theirs);

// The section names whose bytes must not change between the two links.
bool IsCodeOrDataSection(const std::string& name);

// Whether two links agree on the image base and on every code and data section
// (address, size, bytes); `difference` names the first section that does not.
bool SameCodeAndData(const TPeImage& first, const TPeImage& second, std::string* difference);

// The image with one more section holding `data` (initialised, readable), which
// the image's debug directory entry names (its address and size). Throws
// std::runtime_error when the image has no room for another section header.
std::string AddDebugSection(const std::string& image, const std::string& data, const std::string& name);

}  // namespace qldata
