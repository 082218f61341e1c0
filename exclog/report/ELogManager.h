#pragma once
// The text log: reports kept one after another in a file, oldest first, found and
// counted by their numbered fields. Pure: the file itself is opened, read and
// written by TLogFile (ELogManager_win.h); this unit holds the entries and every
// rule that reads or changes them.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace exclog {

// An entry ends with this in memory; in the file one more CR LF follows it.
inline constexpr std::string_view LogEntrySeparator = "\r\n\r\n\r\n";
inline constexpr std::string_view LogFileSeparator = "\r\n\r\n\r\n\r\n";

// A lone CR or a lone LF becomes CR LF.
std::string UniformLineEnds(std::string_view text);

// The lines between CR LF line ends; the piece after the last one always counts
// (empty when the text ends with a line end).
std::vector<std::string> LogLines(std::string_view text);

// The sections of one entry, each found by the report's markers; "" when missing.
struct TLogSections {
  std::string General;    // banner to the line before the first table's title, trailed
  std::string CallStack;  // title line to closing rule, CR LF included
  std::string Modules;
  std::string Processes;
  std::string Assembler;  // title, rule and listing lines
  std::string Cpu;        // from the registers' title on
};
TLogSections LogSectionsOf(std::string_view entry);

// The value of field `field` ("S.F") in `entry`'s general part, continuation lines
// joined with CR LF, escaping undone and trimmed; "" when missing.
std::string LogFieldValue(std::string_view entry, std::string_view field);

// Replaces the value of `field`; a missing field gets a line "  S.F label: value"
// after the highest-numbered field of its section (1 to 19 probed), its ": " lined
// up with the section's. False when neither the field nor its section is there.
bool SetLogFieldValue(std::string& entry, std::string_view field, std::string_view value,
                      std::string_view label);

// The next count after `count`: a text that is not a whole number counts as 1 (so
// gives 2); the largest 32-bit count stays where it is.
std::string NextCount(std::string_view count);

// The entries of a log, oldest first, each ending with LogEntrySeparator.
class TLogEntries {
 public:
  // Replaces the entries by those of a file's text: line ends made uniform, the
  // separator added when the text lacks it, chunks without a table header dropped.
  void Load(std::string_view fileText);
  // Drops the oldest until `capacity` - 1 remain (capacity -1: no limit), then
  // adds `report` with the separator.
  void Add(std::string_view report, int capacity);
  int Count() const { return static_cast<int>(entries_.size()); }
  const std::string& Entry(int index) const { return entries_[static_cast<size_t>(index)]; }
  // All entries as one text (what Text() of the log gives).
  std::string Text() const;
  // Replaces every entry by `text` as one (the report copy as the whole log).
  void SetText(std::string_view text);

  // Index of the first entry in which field `fields[i]` holds `values[i]` for
  // some i; -1 when none.
  int FindEntry(const std::vector<std::string>& fields, const std::vector<std::string>& values) const;
  std::string FieldValue(std::string_view field, int index) const;
  // False (nothing changed) for a missing entry.
  bool SetFieldValue(std::string_view field, std::string_view value, int index, std::string_view label);
  TLogSections Sections(int index) const;

  // The file's text for the entries: each entry + CR LF, the last CR LF dropped
  // when it would make more than four in a row.
  std::string FileText() const;

  // Whether, since Load, only reports were added: then `appended` holds their file
  // text, which follows the loaded text exactly when the loaded text was complete.
  bool OnlyAppended() const { return onlyAppended_; }
  bool LoadedTextComplete() const { return loadedComplete_; }
  std::string AppendedFileText() const;
  // After a write: what is in memory is now the file's whole content.
  void MarkWritten();

 private:
  std::vector<std::string> entries_;
  size_t firstAdded_ = 0;      // entries from here on were added since the load
  bool onlyAppended_ = true;   // no entry was dropped or changed since the load
  bool loadedComplete_ = true; // the loaded text was exactly FileText() of its entries
};

}  // namespace exclog
