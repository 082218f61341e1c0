#include "exclog/report/EReportText.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "exclog/core/ETextFormat.h"
#include "exclog/debuginfo/EModules.h"
#include "exclog/report/EInternalError.h"

namespace exclog {

namespace {

const char* const CRLF = "\r\n";

std::string Hex8(uint32_t value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%.8X", value);
  return buffer;
}

// Splits at CR LF, lone CR and lone LF alike.
std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines(1);
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      lines.emplace_back();
    } else {
      lines.back() += c;
    }
  }
  return lines;
}

std::string ReplaceAll(std::string text, std::string_view from, std::string_view to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

bool FieldShown(const TReportSnapshot& s, int field) {
  return field >= 0 && field < 48 && (s.ReportFields[static_cast<size_t>(field / 8)] >> (field % 8)) & 1;
}

// One table: titles, widths grown to the cells, rows of cleaned cells.
struct TTable {
  std::vector<std::string> Titles;
  std::vector<size_t> Widths;
  explicit TTable(std::vector<std::string> titles, const std::vector<size_t>& minimum) : Titles(std::move(titles)) {
    for (size_t i = 0; i < Titles.size(); ++i) Widths.push_back(std::max(Titles[i].size(), minimum[i]));
  }
  void Fit(const std::vector<std::string>& cells) {
    for (size_t i = 0; i < cells.size() && i < Widths.size(); ++i) Widths[i] = std::max(Widths[i], cells[i].size());
  }
  // A row without its line end.
  size_t RowWidth() const {
    size_t width = Widths.size() + 1;
    for (size_t w : Widths) width += w;
    return width;
  }
  std::string Rule() const { return std::string(RowWidth(), '-'); }
  std::string HeaderRow() const {
    std::string buffer(RowWidth() + 2, ' ');
    size_t position = 0;
    AppendTableRow(buffer, position, Titles, Widths);
    buffer.resize(position - 2);
    return buffer;
  }
  // title + ":" CR LF, rule, CR LF, header, CR LF, rule, CR LF, `body`, rule, CR LF CR LF.
  std::string Frame(const std::string& title, const std::string& body) const {
    std::string rule = Rule();
    return title + ":" + CRLF + rule + CRLF + HeaderRow() + CRLF + rule + CRLF + body + rule + CRLF + CRLF;
  }
};

// The report's pieces, one record for the process.
std::mutex piecesLock;
TReportPieces pieces;

}  // namespace

// --- TLogItem -----------------------------------------------------------------------

std::vector<std::string> FieldValueLines(std::string_view value) {
  std::vector<std::string> lines = SplitLines(value);
  if (lines.size() > 1 && lines.back().empty()) lines.pop_back();  // the last line end goes
  if (lines.size() == 1) return lines;
  for (size_t i = 0; i < lines.size(); ++i) {
    std::string& line = lines[i];
    line = ReplaceAll(line, ": ", ":_");
    if (line.find_first_not_of(' ') == std::string::npos) line = ".";
    if (i > 0) line.insert(0, " ");
  }
  return lines;
}

void TLogItem::AddSection(const std::string& name) {
  ++section_;
  field_ = 0;
  sections_.push_back({name, {}});
}

void TLogItem::AddField(const std::string& label, const std::string& value, bool visible) {
  ++field_;
  if (!visible || sections_.empty()) return;
  TField field;
  field.Head = "  " + std::to_string(section_) + "." + std::to_string(field_) + " " + label;
  field.Lines = FieldValueLines(value);
  sections_.back().Fields.push_back(std::move(field));
}

std::string TLogItem::GetText() const {
  std::string text;
  for (const TSection& section : sections_) {
    if (section.Fields.empty()) continue;
    size_t column = 0;
    for (const TField& f : section.Fields) column = std::max(column, f.Head.size());
    std::vector<std::string> lines;
    for (const TField& f : section.Fields) {
      lines.push_back(PadRight(f.Head, column) + ": " + f.Lines[0]);
      // A continuation line's own leading blank then puts its text under the value.
      for (size_t i = 1; i < f.Lines.size(); ++i) lines.push_back(std::string(column + 1, ' ') + f.Lines[i]);
    }
    size_t widest = 0;
    for (const std::string& line : lines) widest = std::max(widest, line.size());
    if (!text.empty()) text += "\r\n\r\n";
    text += section.Name + ":" + CRLF + std::string(widest, '-');
    for (const std::string& line : lines) text += CRLF + line;
  }
  return text;
}

// --- Tables -------------------------------------------------------------------------

std::string CleanCell(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c == '\r' || c == '\n' || c == '|') c = '?';
  return out;
}

void AppendTableRow(std::string& buffer, size_t& position, const std::vector<std::string>& cells,
                    const std::vector<size_t>& widths) {
  std::string row = "|";
  for (size_t i = 0; i < widths.size(); ++i) {
    row += PadRight(i < cells.size() ? cells[i] : std::string(), widths[i]);
    row += "|";
  }
  row += CRLF;
  if (buffer.size() < position + row.size()) buffer.resize(position + row.size(), ' ');
  buffer.replace(position, row.size(), row);
  position += row.size();
}

std::string FormatStackLabel(const std::string& stackText) { return PadRight(stackText + ":", 21); }

std::string FormatDisabledSection(const std::string& title) {
  return title + ":" + CRLF + std::string(title.size() + 1, '-') + CRLF + CRLF;
}

const std::string& SnapshotText(const TReportSnapshot& s, int index) {
  static const std::string empty;
  return index >= 0 && static_cast<size_t>(index) < s.Texts.size() ? s.Texts[static_cast<size_t>(index)] : empty;
}

// --- General part -----------------------------------------------------------------

namespace {

// The label text of a field: the labels follow their section's title text, so
// each section shifts the index by one more.
int LabelText(int field) {
  if (field <= 5) return 38 + field;
  if (field <= 15) return 39 + field;
  if (field <= 18) return 40 + field;
  if (field <= 20) return field == 19 ? 60 : 59;  // Privileges, Company
  if (field <= 24) return 41 + field;
  if (field <= 35) return 42 + field;
  if (field <= 40) return 43 + field;
  return 44 + field;
}

}  // namespace

std::string BuildGeneralPart(const TReportSnapshot& s, uint32_t reportId) {
  SetProgressCode(702200);
  auto text = [&](int i) { return SnapshotText(s, i); };
  auto value = [&](int field) { return s.Values[static_cast<size_t>(field)]; };
  TLogItem item(0);
  auto add = [&](int field, std::string v, bool visible = true) {
    item.AddField(text(LabelText(field)), v, visible && FieldShown(s, field));
  };
  item.AddSection(text(37));
  for (int f = 0; f <= 5; ++f) add(f, value(f));
  item.AddSection(text(44));
  for (int f = 6; f <= 11; ++f) add(f, value(f));
  add(12, Hex8(reportId));
  add(13, "1");
  add(14, "New");
  add(15, "");
  item.AddSection(text(55));
  for (int f = 16; f <= 18; ++f) add(f, value(f));
  // Company is listed before Privileges although its number is higher.
  add(20, value(20));
  add(19, value(19));
  item.AddSection(text(61));
  for (int f = 21; f <= 24; ++f) add(f, value(f), s.Windowed);
  item.AddSection(text(66));
  for (int f = 25; f <= 35; ++f) add(f, value(f));
  item.AddSection(text(78));
  for (int f = 36; f <= 40; ++f) add(f, value(f));
  item.AddSection(text(84));
  for (int f = 41; f <= 46; ++f) add(f, value(f));
  SetProgressCode(702233);
  return std::string(ReportBanner) + CRLF + CRLF + item.GetText();
}

// --- Call stack -------------------------------------------------------------------

namespace {

bool StartsBlock(const TReportStackEntry& e, const TReportStackEntry* previous) {
  if (!previous) return true;
  if (e.Leak != previous->Leak) return true;
  if (e.Leak)
    return e.LeakType != previous->LeakType || e.LeakSize != previous->LeakSize || e.LeakCount != previous->LeakCount;
  return e.ThreadId != previous->ThreadId || e.Running != previous->Running || e.Raising == 1;
}

std::string ThreadCaption(const TReportSnapshot& s, const TReportStackEntry& e) {
  auto text = [&](int i) { return SnapshotText(s, i); };
  std::string caption;
  if (e.Leak) {
    std::string type = e.LeakType == "Data" ? text(106) : e.LeakType;
    caption = "+" + text(105) + ": " + text(107) + "=" + type + "; " + text(108) + "=" + std::to_string(e.LeakSize) +
              "; " + text(109) + "=" + std::to_string(e.LeakCount);
  } else {
    if (!e.Running)
      caption = text(101);
    else if (e.Raising)
      caption = "*" + text(99);
    else
      caption = text(100);
    caption += ": " + text(102) + "=" + std::to_string(e.ThreadId < 0 ? 0 : e.ThreadId) + "; " + text(103) + "=" +
               e.Priority + "; " + text(104) + "=" + e.ThreadClass;
    if (e.MainThread) caption += "; [" + text(98) + "]";
    if (!e.ThreadName.empty()) caption += " (" + e.ThreadName + ")";
  }
  // A name may carry line ends or "|": the frame must hold.
  return CleanCell(caption);
}

std::vector<std::string> StackCells(const TReportStackEntry& e) {
  return {Hex8(e.Address),
          CleanCell(e.Kind == 0 ? std::string() : e.ModuleName),
          CleanCell(e.UnitName),
          CleanCell(e.ClassName),
          CleanCell(e.RoutineName),
          e.Line == 0 ? std::string() : std::to_string(e.Line) + "[" + std::to_string(e.LineOffset) + "]"};
}

}  // namespace

std::string BuildCallStackTable(const TReportSnapshot& s) {
  auto text = [&](int i) { return SnapshotText(s, i); };
  uint8_t shown = 1u << 4;
  if (s.StackDetailFlags & 1) shown |= 1u << 2;
  if (s.StackDetailFlags & 2) shown |= 1u << 3;
  std::vector<const TReportStackEntry*> entries;
  for (const TReportStackEntry& e : s.Stack)
    if (e.Kind < 8 && (shown >> e.Kind) & 1) entries.push_back(&e);

  TTable table({text(92), text(93), text(94), text(95), text(96), text(97)}, {8, 0, 0, 0, 0, 0});
  std::vector<std::vector<std::string>> cells;
  std::vector<std::string> captions;  // one per entry; "" when no block starts there
  size_t longestCaption = 0;
  for (size_t i = 0; i < entries.size(); ++i) {
    cells.push_back(StackCells(*entries[i]));
    table.Fit(cells.back());
    captions.push_back(StartsBlock(*entries[i], i ? entries[i - 1] : nullptr) ? ThreadCaption(s, *entries[i])
                                                                               : std::string());
    longestCaption = std::max(longestCaption, captions.back().size());
  }
  // A caption fills the row between its two frame bars: widen the last column to
  // hold the longest.
  size_t inner = table.RowWidth() - 2;
  if (longestCaption > inner) table.Widths.back() += longestCaption - inner;
  inner = table.RowWidth() - 2;

  const std::string threadRule = "|" + std::string(inner, '-') + "|" + CRLF;
  const std::string emptyLine = "|" + std::string(inner, ' ') + "|" + CRLF;
  // Each entry may bring a rule, an empty line, its caption, a rule and its row.
  std::string buffer((table.RowWidth() + 2) * (entries.size() * 5 + 1), ' ');
  size_t position = 0;
  auto put = [&](const std::string& line) {
    buffer.replace(position, line.size(), line);
    position += line.size();
  };
  bool first = true;
  for (size_t i = 0; i < entries.size(); ++i) {
    if (!captions[i].empty()) {
      if (!first) {
        put(threadRule);
        if (entries[i]->Running) put(emptyLine);
      }
      first = false;
      put("|" + PadRight(captions[i], inner) + "|" + CRLF);
      put(threadRule);
    }
    AppendTableRow(buffer, position, cells[i], table.Widths);
  }
  buffer.resize(position);
  return table.Frame(text(8), buffer);
}

namespace {

// A plain table: the texts from `firstTitle` on head its columns, each at least as
// wide as `minimum`; the rows' cells come cleaned.
std::string PlainTable(const TReportSnapshot& s, int title, int firstTitle, const std::vector<size_t>& minimum,
                       const std::vector<std::vector<std::string>>& rows) {
  std::vector<std::string> titles;
  for (size_t i = 0; i < minimum.size(); ++i) titles.push_back(SnapshotText(s, firstTitle + static_cast<int>(i)));
  TTable table(titles, minimum);
  for (const auto& row : rows) table.Fit(row);
  std::string buffer;
  size_t position = 0;
  for (const auto& row : rows) AppendTableRow(buffer, position, row, table.Widths);
  return table.Frame(SnapshotText(s, title), buffer);
}

}  // namespace

std::string BuildModulesTable(const TReportSnapshot& s) {
  std::vector<std::vector<std::string>> rows;
  for (const TReportModuleRow& m : s.Modules)
    rows.push_back({Hex8(static_cast<uint32_t>(m.Handle)), CleanCell(m.FileName), CleanCell(m.Description),
                    CleanCell(m.Version), std::to_string(m.Size), FormatDateTime("yyyy-mm-dd hh:nn:ss", m.Modified),
                    CleanCell(FolderOf(m.Path))});
  return PlainTable(s, 10, 126, {8, 0, 0, 0, 0, 0, 0}, rows);
}

std::string BuildProcessesTable(const TReportSnapshot& s) {
  std::vector<std::vector<std::string>> rows;
  for (const TReportProcessRow& p : s.Processes)
    rows.push_back({std::to_string(p.ProcessId), CleanCell(p.FileName), CleanCell(p.Description), CleanCell(p.Version),
                    std::to_string(p.Memory), PriorityText(p.PriorityClass), NumberOrUnknown(p.Threads),
                    CleanCell(FolderOf(p.Path))});
  return PlainTable(s, 12, 133, {0, 0, 0, 0, 0, 0, 0, 0}, rows);
}

// --- CPU part -----------------------------------------------------------------------

std::string BuildMemoryDump(const TReportSnapshot& s) {
  if (!s.StackReadable || !s.CodeReadable) return {};
  std::string dump;
  char buffer[64];
  for (uint32_t i = 0; i < 16; ++i) {
    uint32_t value;
    std::memcpy(&value, &s.StackBytes[i * 4], 4);
    std::snprintf(buffer, sizeof buffer, "%.8X: %.8X   %.8X: ", s.StackPointer + 4 * i, value,
                  s.ExceptionAddress + 16 * i);
    dump += buffer;
    std::string chars;
    for (uint32_t j = 0; j < 16; ++j) {
      uint8_t b = s.CodeBytes[i * 16 + j];
      std::snprintf(buffer, sizeof buffer, "%.2X ", b);
      dump += buffer;
      chars += b < 32 || b > 126 ? '.' : static_cast<char>(b);
    }
    dump += " " + chars + CRLF;
  }
  return dump;
}

std::string BuildCpuText(const TReportSnapshot& s) {
  auto text = [&](int i) { return SnapshotText(s, i); };
  // Offsets of the registers in the context record.
  auto reg = [&](size_t offset) {
    if (!s.ContextReadable) return std::string("????    ");
    uint32_t value;
    std::memcpy(&value, &s.Context[offset], 4);
    return Hex8(value);
  };
  constexpr size_t Edi = 156, Esi = 160, Ebx = 164, Edx = 168, Ecx = 172, Eax = 176, Eip = 184, Esp = 196;
  return text(141) + ":\r\n-----------------------------\r\n" + "EAX: " + reg(Eax) + "   EDI: " + reg(Edi) + CRLF +
         "EBX: " + reg(Ebx) + "   ESI: " + reg(Esi) + CRLF + "ECX: " + reg(Ecx) + "   ESP: " + reg(Esp) + CRLF +
         "EDX: " + reg(Edx) + "   EIP: " + reg(Eip) + CRLF + CRLF + FormatStackLabel(text(142)) + text(143) +
         ":\r\n------------------   ---------------------------------------------------------------------------\r\n" +
         BuildMemoryDump(s);
}

// --- Whole report -------------------------------------------------------------------

std::string BuildReportText(const TReportSnapshot& s, uint32_t reportId) {
  auto text = [&](int i) { return SnapshotText(s, i); };
  TReportPieces p;
  SetProgressCode(7021);
  p.Header = text(4) + CRLF + CRLF;
  {
    std::lock_guard<std::mutex> lock(piecesLock);
    pieces = TReportPieces{};
    pieces.Header = p.Header;
  }
  SetProgressCode(7022);
  p.General = BuildGeneralPart(s, reportId);
  SetProgressCode(7027);
  if (s.LogFlags & 0x20) {
    p.AsmHeader = s.AsmHeader;
    p.AsmText = s.AsmText;
    SetProgressCode(7028);
    p.Cpu = BuildCpuText(s);
  } else {
    p.AsmHeader = text(14) + ":" + CRLF + std::string(text(14).size() + 1, '-');
    p.Cpu = FormatDisabledSection(text(141));
  }
  SetProgressCode(7030);
  p.CallStack = BuildCallStackTable(s);
  SetProgressCode(7035);
  if (s.LogFlags & 0x10) {
    p.CallStack += BuildModulesTable(s);
    SetProgressCode(7036);
    p.CallStack += BuildProcessesTable(s);
  } else {
    p.CallStack += FormatDisabledSection(text(10)) + FormatDisabledSection(text(12));
  }
  SetProgressCode(7040);
  // Without a listing its two line ends would split the entry before the CPU part.
  p.LastReport = p.General + CRLF + p.CallStack;
  if (!p.AsmHeader.empty() || !p.AsmText.empty()) p.LastReport += p.AsmHeader + CRLF + p.AsmText + CRLF;
  p.LastReport += p.Cpu;
  p.ReportCopy = p.LastReport;
  p.SendingText = p.LastReport;
  std::lock_guard<std::mutex> lock(piecesLock);
  pieces = p;
  return p.LastReport;
}

TReportPieces ReportPieces() {
  std::lock_guard<std::mutex> lock(piecesLock);
  return pieces;
}

void SetReportCopy(const std::string& text) {
  std::lock_guard<std::mutex> lock(piecesLock);
  pieces.ReportCopy = text;
}

void UpdateReportPieces(void (*change)(TReportPieces& pieces, const void* argument), const void* argument) {
  std::lock_guard<std::mutex> lock(piecesLock);
  change(pieces, argument);
}

// --- HTML ---------------------------------------------------------------------------

const char* const HtmlOkButton =
    "<br><input type=button value=\"Ok\" OnClick=\"history.go(-1)\" "
    "style=\"width:75;height:25;z-index:100;font-style:normal;font-size:10pt;text-decoration:none;\">";

std::string HtmlReportPage(const std::string& pageTemplate, const std::string& text) {
  std::string body = HtmlEscape(text);
  if (pageTemplate.find(HtmlOkButton) == std::string::npos) body += HtmlOkButton;
  std::string page = pageTemplate;
  const std::string tag = "<%HTML_TAG%>";
  size_t at = page.find(tag);
  if (at == std::string::npos) return page + body;
  return page.replace(at, tag.size(), body);
}

}  // namespace exclog
