#pragma once
// The report text, pure half: every piece of a report is made here from one plain
// snapshot (EReportText_win.h fills it from the process), so the whole text is
// tested from injected records. The pieces are kept process-wide, cleared at the
// start of each build, for the dialogs and the sending to read later.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "classlib/SysUtils.h"

namespace exclog {

// The banner at the head of every report.
constexpr const char* ReportBanner = "QuelbaLog 6.1.04";

// --- General sections -------------------------------------------------------------

// Builds the numbered label-and-value sections. The text is kept as records and
// rendered by GetText, so a value can never be mistaken for a title.
class TLogItem {
 public:
  explicit TLogItem(int startNumber = 0) : section_(startNumber), start_(startNumber) {}
  void AddSection(const std::string& name);
  // The field number advances even for a hidden field, leaving a gap.
  void AddField(const std::string& label, const std::string& value, bool visible);
  // Sections without a shown field left out, colons aligned, rules as wide as the
  // section's longest line; sections parted by an empty line, no final line end.
  std::string GetText() const;

 private:
  struct TField {
    std::string Head;                 // "  1.2 Label"
    std::vector<std::string> Lines;   // the value; continuation lines escaped
  };
  struct TSection {
    std::string Name;
    std::vector<TField> Fields;
  };
  std::vector<TSection> sections_;
  int section_ = 0, field_ = 0, start_ = 0;
};

// A value's lines as a field shows them: line ends made uniform; a value of several
// lines has ": " written ":_", empty or blank lines ".", and one leading blank on
// every line after the first. One line comes back unchanged.
std::vector<std::string> FieldValueLines(std::string_view value);

// --- Tables -------------------------------------------------------------------------

// CR, LF and "|" become "?".
std::string CleanCell(std::string_view text);
// "|" + each cell padded to its width + "|" ... + CR LF, written at `position` of a
// buffer of blanks; `position` advances past the row.
void AppendTableRow(std::string& buffer, size_t& position, const std::vector<std::string>& cells,
                    const std::vector<size_t>& widths);
// Text 142 + ":", padded to 21 characters.
std::string FormatStackLabel(const std::string& stackText);
// title + ":" CR LF + "-" x (length + 1) + CR LF CR LF.
std::string FormatDisabledSection(const std::string& title);

// --- Snapshot -------------------------------------------------------------------

// One call-stack entry with its thread's caption parts.
struct TReportStackEntry {
  uint8_t Kind = 0;
  uint32_t Address = 0;
  std::string ModuleName;   // the module's file name; "" when none
  std::string UnitName, ClassName, RoutineName;
  uint32_t Line = 0, LineOffset = 0;
  int32_t ThreadId = 0;
  uint8_t Running = 0;      // 0: a calling thread's entry
  uint8_t Raising = 0;      // non-zero: the thread that raised
  std::string Priority;     // the thread's priority word
  std::string ThreadClass;
  bool MainThread = false;
  std::string ThreadName;
  // An entry standing for a memory leak.
  bool Leak = false;
  std::string LeakType;
  int32_t LeakSize = 0, LeakCount = 0;
};

struct TReportModuleRow {
  uintptr_t Handle = 0;
  std::string FileName, Description, Version;
  uint32_t Size = 0;
  TDateTime Modified = 0;
  std::string Path;  // the file's full name
};

struct TReportProcessRow {
  uint32_t ProcessId = 0;
  std::string FileName, Description, Version;
  uint32_t Memory = 0, PriorityClass = 0, Threads = 0;
  std::string Path;
};

constexpr int ReportValueCount = 47;  // fields 0..46 of the general part
constexpr size_t ContextSize = 204;
constexpr size_t StackDumpSize = 64;
constexpr size_t CodeDumpSize = 256;

// Everything a report is made from, copied once from the process.
struct TReportSnapshot {
  std::vector<std::string> Texts;            // texts 0..157 of the options
  std::array<uint8_t, 6> ReportFields{};     // bit i: byte i / 8, bit i % 8
  uint8_t LogFlags = 0;                      // bit 4 modules and processes, bit 5 CPU
  uint8_t StackDetailFlags = 0;
  bool Windowed = true;                      // an ordinary windowed program
  // Values of fields 0..46; the ID, count, status and note are the builder's.
  std::array<std::string, ReportValueCount> Values;
  uint32_t ExceptionAddress = 0;
  bool ContextReadable = false;
  std::array<uint8_t, ContextSize> Context{};
  uint32_t StackPointer = 0;
  bool StackReadable = false;
  std::array<uint8_t, StackDumpSize> StackBytes{};
  bool CodeReadable = false;
  std::array<uint8_t, CodeDumpSize> CodeBytes{};
  std::string AsmHeader, AsmText;            // the listing and its title
  std::vector<TReportStackEntry> Stack;
  std::vector<TReportModuleRow> Modules;
  std::vector<TReportProcessRow> Processes;
};

// Text `index` of the snapshot; "" outside.
const std::string& SnapshotText(const TReportSnapshot& s, int index);

// --- Pieces -----------------------------------------------------------------------

struct TReportPieces {
  std::string Header, General, CallStack, AsmHeader, AsmText, Cpu, LastReport, ReportCopy;
  // The text the sending sends: the whole report, and the sections added to it
  // after the dialogs.
  std::string SendingText;
};

std::string BuildGeneralPart(const TReportSnapshot& s, uint32_t reportId);
std::string BuildCallStackTable(const TReportSnapshot& s);
std::string BuildModulesTable(const TReportSnapshot& s);
std::string BuildProcessesTable(const TReportSnapshot& s);
// The 16 lines of the stack and memory dump; "" unless both memories were readable.
std::string BuildMemoryDump(const TReportSnapshot& s);
std::string BuildCpuText(const TReportSnapshot& s);

// Builds every piece into the process-wide record (cleared first) and returns the
// whole report. `reportId` is the exception's identification.
std::string BuildReportText(const TReportSnapshot& s, uint32_t reportId);
// A copy of the process-wide pieces.
TReportPieces ReportPieces();
// The dialogs' and sending's copy; the log-saving step may replace it.
void SetReportCopy(const std::string& text);
// Changes the process-wide pieces in place, under their lock (`change` must not
// call back into this unit).
void UpdateReportPieces(void (*change)(TReportPieces& pieces, const void* argument), const void* argument);

// --- HTML ---------------------------------------------------------------------------

// The button a page gets when it has none.
extern const char* const HtmlOkButton;
// The page template with the escaped text at "<%HTML_TAG%>" and the Ok button
// appended when the page does not hold it yet.
std::string HtmlReportPage(const std::string& pageTemplate, const std::string& text);

}  // namespace exclog
