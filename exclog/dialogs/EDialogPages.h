#pragma once
// The exception dialog's report pages, pure half: which page a tab shows, the list
// pages' columns and their INI keys, the call-stack rows, module images, the line
// text's parts and the source-location record sent to a development environment.
// EDialogPages_win.h holds the page windows.
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "exclog/debuginfo/EStackWalk.h"
#include "exclog/report/EReportText.h"

namespace exclog {

enum class TDialogPage { General = 0, CallStack, Modules, Processes, Assembler, Cpu };
constexpr int DialogPageCount = 6;

// The page the tab at `tabIndex` shows (a negative index by its absolute value):
// General and Call Stack, then Modules and Processes while `LogFlags` bit 4 is
// set, then Assembler and CPU while bit 5 is; -1 for a tab that does not exist.
int PageOfTab(int tabIndex, uint8_t logFlags);
// "QL_TAB_GENERAL" ... "QL_TAB_CPU".
const char* PageResourceName(TDialogPage page);
// Text index of the page's title: 6, 8, 10, 12, 14, 16.
int PageTitleText(TDialogPage page);

struct TPageColumn {
  int TextIndex;
  int Alignment;  // 0 left, 1 centre, 2 right
  const char* Key;
  int DefaultWidth;
};
// The columns of a list page, in order; none for the rich-text pages. The Modules
// page keeps its sixth column under "ColMod6" and its seventh under "ColMod5".
const std::vector<TPageColumn>& PageColumns(TDialogPage page);

// A column width from the INI file: decimal digits (blanks around allowed) up to
// MaxColumnWidth; anything else, negative or larger gives `defaultWidth`.
constexpr int MaxColumnWidth = 4000;
int ColumnWidthFromSetting(std::string_view text, int defaultWidth);

// One row for the tree list.
struct TPageRow {
  std::vector<std::string> Texts;
  int Image = -1;
  int ColourCode = 0;
  bool GroupHead = false;
};

// A call-stack entry with its module's kind (0 unknown, 1 executable, 2 package,
// 3 library).
struct TStackRowInput {
  TReportStackEntry Entry;
  int ModuleKind = 0;
};
using TGroupHeader = std::function<std::string(const TReportStackEntry& first)>;
// The Call Stack page's rows: entries of accepted kinds (kind 3 of the executable
// left out), a head row per group (a new thread, thread kind or first entry of a
// walk; a new leak), a separator before each group of a thread kind other than 0
// but the first, and a row per frame.
std::vector<TPageRow> BuildCallStackRows(const std::vector<TStackRowInput>& stack, TKindSet accepted,
                                         const TGroupHeader& header);
// A frame row's image: 3 for a line, else by module kind (1: 2, 2: 1, 0 and 3: 0,
// others 3).
int FrameImage(uint8_t kind, int moduleKind);
// "120[4]"; "" for line 0.
std::string LineText(uint32_t line, uint32_t offset);

// The Modules and Processes pages' rows: texts as the report's tables show them
// (the module's size in kilobytes, its date as "yyyy-mm-dd hh:nn:ss", its whole
// path; the process's folder), images by extension and 2.
TPageRow ModulePageRow(const TReportModuleRow& module);
TPageRow ProcessPageRow(const TReportProcessRow& process);

// A module row's image by the name's extension: ".BPL"/".DPL" 1, ".EXE" 2, else 0.
int ModuleImageOfName(std::string_view fileName);

// The line text's number and offset (the digits before and inside "[...]");
// offset -1 when there is none.
struct TLineParts {
  int32_t Line = 0;
  int32_t Offset = -1;
};
TLineParts SplitLineText(std::string_view text);

// The record sent to the development environment: four 90-byte zero-terminated
// texts (each cut to 89 characters; the first empty), then line, offset and the
// two halves of the module's data header, 32-bit little-endian.
constexpr size_t SourceLocationRecordSize = 376;
std::array<uint8_t, SourceLocationRecordSize> SourceLocationRecord(const std::string& unit,
                                                                   const std::string& className,
                                                                   const std::string& routine, int32_t line,
                                                                   int32_t offset, uint32_t headerLow,
                                                                   uint32_t headerHigh);

}  // namespace exclog
