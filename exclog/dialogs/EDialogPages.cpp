#include "exclog/dialogs/EDialogPages.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <cstdlib>

#include "classlib/SysUtils.h"
#include "exclog/debuginfo/EModules.h"

namespace exclog {

int PageOfTab(int tabIndex, uint8_t logFlags) {
  long index = std::labs(static_cast<long>(tabIndex));
  bool lists = (logFlags & 0x10) != 0, cpu = (logFlags & 0x20) != 0;
  if (index <= 1) return static_cast<int>(index);
  if (lists) {
    if (index <= 3) return static_cast<int>(index);
    return cpu && index <= 5 ? static_cast<int>(index) : -1;
  }
  return cpu && index <= 3 ? static_cast<int>(index) + 2 : -1;
}

const char* PageResourceName(TDialogPage page) {
  static const char* const names[DialogPageCount] = {"QL_TAB_GENERAL",       "QL_TAB_CALLSTACK",
                                                     "QL_TAB_MODULESLIST",   "QL_TAB_PROCESSESLIST",
                                                     "QL_TAB_ASSEMBLER",     "QL_TAB_CPU"};
  return names[static_cast<int>(page)];
}

int PageTitleText(TDialogPage page) { return 6 + 2 * static_cast<int>(page); }

const std::vector<TPageColumn>& PageColumns(TDialogPage page) {
  static const std::vector<TPageColumn> none;
  static const std::vector<TPageColumn> stack = {
      {92, 0, "Col0", 89}, {93, 0, "Col1", 92}, {94, 0, "Col2", 126},
      {95, 0, "Col3", 126}, {96, 0, "Col4", 200}, {97, 0, "Col5", 61}};
  static const std::vector<TPageColumn> modules = {
      {126, 0, "ColMod0", 80}, {127, 0, "ColMod1", 96}, {128, 0, "ColMod2", 175}, {129, 2, "ColMod3", 50},
      {130, 2, "ColMod4", 54}, {131, 0, "ColMod6", 80}, {132, 0, "ColMod5", 712}};
  static const std::vector<TPageColumn> processes = {
      {133, 0, "ColPro0", 48}, {134, 0, "ColPro1", 134}, {135, 0, "ColPro2", 232}, {136, 2, "ColPro3", 56},
      {137, 2, "ColPro4", 57}, {138, 2, "ColPro5", 47}, {139, 2, "ColPro6", 52},  {140, 0, "ColPro7", 330}};
  switch (page) {
    case TDialogPage::CallStack: return stack;
    case TDialogPage::Modules: return modules;
    case TDialogPage::Processes: return processes;
    default: return none;
  }
}

int ColumnWidthFromSetting(std::string_view text, int defaultWidth) {
  size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return defaultWidth;
  size_t last = text.find_last_not_of(" \t");
  std::string_view digits = text.substr(first, last - first + 1);
  if (digits.empty() || digits.size() > 9) return defaultWidth;
  int value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return defaultWidth;
    value = value * 10 + (c - '0');
  }
  return value <= MaxColumnWidth ? value : defaultWidth;
}

namespace {

std::string Hex8(uint32_t value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%.8X", value);
  return buffer;
}

bool StartsGroup(const TReportStackEntry& e, const TReportStackEntry* groupFirst) {
  if (!groupFirst) return true;
  if (e.Leak != groupFirst->Leak) return true;
  if (e.Leak)
    return e.LeakType != groupFirst->LeakType || e.LeakSize != groupFirst->LeakSize ||
           e.LeakCount != groupFirst->LeakCount;
  return e.ThreadId != groupFirst->ThreadId || e.Running != groupFirst->Running || e.Raising == 1;
}

}  // namespace

int FrameImage(uint8_t kind, int moduleKind) {
  if (kind == 4) return 3;
  switch (moduleKind) {
    case 1: return 2;
    case 2: return 1;
    case 0:
    case 3: return 0;
    default: return 3;
  }
}

std::string LineText(uint32_t line, uint32_t offset) {
  return line == 0 ? std::string() : std::to_string(line) + "[" + std::to_string(offset) + "]";
}

std::vector<TPageRow> BuildCallStackRows(const std::vector<TStackRowInput>& stack, TKindSet accepted,
                                         const TGroupHeader& header) {
  std::vector<TPageRow> rows;
  const TReportStackEntry* groupFirst = nullptr;
  for (const TStackRowInput& input : stack) {
    const TReportStackEntry& e = input.Entry;
    if (e.Kind > 7 || !(accepted & KindBit(e.Kind))) continue;
    if (e.Kind == 3 && input.ModuleKind == 1) continue;
    if (StartsGroup(e, groupFirst)) {
      if (groupFirst && e.Running != 0) rows.push_back({{"", "", "", "", "", ""}, -1, 0, false});
      TPageRow head;
      head.Texts = {header ? header(e) : std::string()};
      head.ColourCode = e.Running + 2 * (e.Raising ? 1 : 0);
      head.GroupHead = true;
      rows.push_back(std::move(head));
      groupFirst = &e;
    }
    TPageRow frame;
    frame.Texts = {Hex8(e.Address), e.ModuleName, e.UnitName, e.ClassName, e.RoutineName, LineText(e.Line, e.LineOffset)};
    frame.Image = FrameImage(e.Kind, input.ModuleKind);
    rows.push_back(std::move(frame));
  }
  return rows;
}

TPageRow ModulePageRow(const TReportModuleRow& m) {
  TPageRow row;
  row.Texts = {Hex8(static_cast<uint32_t>(m.Handle)), m.FileName, m.Description, m.Version, SizeText(m.Size),
               FormatDateTime("yyyy-mm-dd hh:nn:ss", m.Modified), m.Path};
  row.Image = ModuleImageOfName(m.FileName);
  return row;
}

TPageRow ProcessPageRow(const TReportProcessRow& p) {
  TPageRow row;
  row.Texts = {std::to_string(p.ProcessId), p.FileName,           p.Description,         p.Version,
               SizeText(p.Memory),          PriorityText(p.PriorityClass), NumberOrUnknown(p.Threads), FolderOf(p.Path)};
  row.Image = 2;
  return row;
}

int ModuleImageOfName(std::string_view fileName) {
  size_t dot = fileName.find_last_of(".\\/:");
  if (dot == std::string_view::npos || fileName[dot] != '.') return 0;
  std::string ext;
  for (char c : fileName.substr(dot)) ext += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (ext == ".BPL" || ext == ".DPL") return 1;
  if (ext == ".EXE") return 2;
  return 0;
}

TLineParts SplitLineText(std::string_view text) {
  TLineParts parts;
  size_t bracket = text.find('[');
  auto digitsOf = [](std::string_view piece) {
    int64_t value = 0;
    for (char c : piece)
      if (c >= '0' && c <= '9' && value < 0x7FFFFFFF) value = std::min<int64_t>(value * 10 + (c - '0'), 0x7FFFFFFF);
    return static_cast<int32_t>(value);
  };
  parts.Line = digitsOf(text.substr(0, bracket));
  if (bracket != std::string_view::npos) {
    std::string_view inside = text.substr(bracket + 1);
    size_t close = inside.find(']');
    inside = inside.substr(0, close);
    bool any = false;
    for (char c : inside) any = any || (c >= '0' && c <= '9');
    if (any) parts.Offset = digitsOf(inside);
  }
  return parts;
}

std::array<uint8_t, SourceLocationRecordSize> SourceLocationRecord(const std::string& unit,
                                                                   const std::string& className,
                                                                   const std::string& routine, int32_t line,
                                                                   int32_t offset, uint32_t headerLow,
                                                                   uint32_t headerHigh) {
  std::array<uint8_t, SourceLocationRecordSize> record{};
  const std::string* texts[4] = {nullptr, &unit, &className, &routine};
  for (int i = 1; i < 4; ++i) std::memcpy(&record[static_cast<size_t>(i) * 90], texts[i]->data(), std::min<size_t>(texts[i]->size(), 89));
  uint32_t numbers[4] = {static_cast<uint32_t>(line), static_cast<uint32_t>(offset), headerLow, headerHigh};
  for (int i = 0; i < 4; ++i)
    for (int b = 0; b < 4; ++b) record[360 + static_cast<size_t>(i) * 4 + static_cast<size_t>(b)] = static_cast<uint8_t>(numbers[i] >> (8 * b));
  return record;
}

}  // namespace exclog
