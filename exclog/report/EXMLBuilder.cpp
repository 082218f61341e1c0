#include "exclog/report/EXMLBuilder.h"

#include <algorithm>
#include <cstdio>

#include "exclog/core/ECore.h"
#include "exclog/core/EEncrypt.h"

namespace exclog {

namespace {

// windows-1252's upper half; its five unassigned bytes keep their own value, as
// the system's conversion does.
std::array<uint16_t, 128> ansiUpperHalf = [] {
  std::array<uint16_t, 128> table{};
  const uint16_t c1[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                           0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                           0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                           0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
  for (int i = 0; i < 128; ++i) table[static_cast<size_t>(i)] = i < 32 ? c1[i] : static_cast<uint16_t>(128 + i);
  return table;
}();

std::string CharReference(unsigned code) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "&#%.3u;", code);
  return buffer;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && text.substr(0, prefix.size()) == prefix;
}

std::string Trimmed(std::string_view text) {
  size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return "";
  size_t last = text.find_last_not_of(' ');
  return std::string(text.substr(first, last - first + 1));
}

// Columns `first` to `last` (1-based, inclusive), as far as the line reaches.
std::string Columns(std::string_view line, size_t first, size_t last) {
  if (line.size() < first) return "";
  return std::string(line.substr(first - 1, std::min(last, line.size()) - first + 1));
}

// The cells of a table line "|a|b|", trimmed; empty for a line of another kind.
std::vector<std::string> Cells(std::string_view line) {
  std::vector<std::string> cells;
  if (!StartsWith(line, "|")) return cells;
  line.remove_prefix(1);
  if (!line.empty() && line.back() == '|') line.remove_suffix(1);
  size_t start = 0;
  while (true) {
    size_t bar = line.find('|', start);
    cells.push_back(Trimmed(line.substr(start, bar == std::string_view::npos ? std::string_view::npos : bar - start)));
    if (bar == std::string_view::npos) return cells;
    start = bar + 1;
  }
}

// A field's value as written: ":_" back to ": ", "." lines back to empty lines,
// without a leading and a trailing "." line.
std::string UnescapedValue(const std::vector<std::string>& valueLines) {
  size_t first = 0, last = valueLines.size();
  if (last > 1 && valueLines.front() == ".") ++first;
  if (last - first > 1 && valueLines.back() == ".") --last;
  std::string value;
  for (size_t i = first; i < last; ++i) {
    if (i > first) value += "\r\n";
    std::string line = valueLines[i] == "." ? "" : valueLines[i];
    for (size_t pos = line.find(":_"); pos != std::string::npos; pos = line.find(":_", pos + 2)) line[pos + 1] = ' ';
    value += line;
  }
  return value;
}

void GeneralToXml(std::string_view general, TXMLItem& parent) {
  std::vector<std::string> lines = LogLines(general);
  TXMLItem* group = nullptr;
  std::string title;
  bool expectTitle = true, skipRule = false, fieldOpen = false;
  std::string number, label;
  std::vector<std::string> value;
  auto closeField = [&] {
    if (!fieldOpen) return;
    TXMLItem* line = group->AddChild("Line");
    line->AddAttribute("ID", number);
    line->AddAttribute("Label", label);
    line->AddAttribute("Value", UnescapedValue(value));
    fieldOpen = false;
  };
  for (size_t i = 2; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (line.empty()) {
      closeField();
      group = nullptr;
      expectTitle = true;
      continue;
    }
    if (expectTitle) {
      title = line.back() == ':' ? line.substr(0, line.size() - 1) : line;
      expectTitle = false;
      skipRule = true;
      continue;
    }
    if (skipRule) {
      skipRule = false;
      continue;
    }
    // A continuation line may hold ": " or end with ":" of its own.
    if (fieldOpen && StartsWith(line, "   ")) {
      value.push_back(line.substr(std::min(line.find_first_not_of(' '), line.size())));
      continue;
    }
    size_t colon = line.find(": ");
    if (colon == std::string::npos && line.back() == ':') colon = line.size() - 1;
    if (colon == std::string::npos) {
      if (fieldOpen) value.push_back(line);
      continue;
    }
    closeField();
    std::string head = Trimmed(line.substr(0, colon));
    size_t blank = head.find(' ');
    number = head.substr(0, blank);
    label = blank == std::string::npos ? "" : Trimmed(std::string_view(head).substr(blank + 1));
    value.assign(1, colon + 2 <= line.size() ? line.substr(colon + 2) : "");
    if (!group) {
      group = parent.AddChild("Group");
      group->AddAttribute("ID", number.substr(0, number.find('.')));
      group->AddAttribute("Label", title);
    }
    fieldOpen = true;
  }
  closeField();
}

bool IsPlainName(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '.' ||
           c == '@';
  });
}

// Unit, class and procedure cells of a row whose unit cell starts with "?".
void DecipherRow(std::vector<std::string>& cells, std::string_view passPhrase) {
  std::string& unitCell = cells[2];
  if (passPhrase.empty() || unitCell.size() < 2 || unitCell[0] != '?') return;
  std::string unit = DecipherName(std::string_view(unitCell).substr(2), passPhrase);
  if (ExtractFileExt(unit).empty()) unit += unitCell[1] == 'p' ? ".pas" : ".cpp";
  std::string procedure = cells[4].empty() ? "" : DecipherName(std::string_view(cells[4]).substr(1), passPhrase);
  std::string className;
  size_t dot = procedure.find('.');
  if (dot != std::string::npos) {
    className = procedure.substr(0, dot);
    procedure.erase(0, dot + 1);
  } else if (!cells[3].empty()) {
    className = DecipherName(std::string_view(cells[3]).substr(1), passPhrase);
  }
  if (!IsPlainName(unit) || !IsPlainName(className) || !IsPlainName(procedure)) return;
  unitCell = unit;
  cells[3] = className;
  cells[4] = procedure;
}

struct TCaptionParts {
  std::string Id, Priority, Class;
  bool Main = false;
};

TCaptionParts ParseCaption(std::string_view caption) {
  TCaptionParts parts;
  size_t colon = caption.find(": ");
  std::string_view rest = caption.substr(colon + 2);
  std::vector<std::string> pieces = SplitText(rest, ";", true, true);
  auto valueOf = [](const std::string& piece) {
    size_t eq = piece.find('=');
    return eq == std::string::npos ? std::string() : Trimmed(std::string_view(piece).substr(eq + 1));
  };
  for (size_t i = 0; i < pieces.size(); ++i) {
    std::string& piece = pieces[i];
    if (i == pieces.size() - 1 && !piece.empty() && piece.back() == ')') {
      size_t open = piece.rfind(" (");
      if (open != std::string::npos) piece.erase(open);  // the thread's name
    }
    if (StartsWith(piece, "[")) parts.Main = true;
    else if (i == 0) parts.Id = valueOf(piece);
    else if (i == 1) parts.Priority = valueOf(piece);
    else if (i == 2) parts.Class = valueOf(piece);
  }
  return parts;
}

void CallStackToXml(std::string_view table, TXMLItem& callStack, bool oneBlock, std::string_view passPhrase) {
  std::vector<std::string> lines = LogLines(table);
  TXMLItem* outer = nullptr;   // the last thread element of the top level
  TXMLItem* current = nullptr; // where rows go
  bool emptyFrameSeen = false;
  for (size_t i = 3; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (!StartsWith(line, "|") || StartsWith(line, "|-")) continue;
    std::vector<std::string> cells = Cells(line);
    if (cells.size() < 6) {
      std::string caption = cells.empty() ? "" : cells[0];
      if (caption.find(": ") == std::string::npos) {
        emptyFrameSeen = true;  // a running thread's block follows
        continue;
      }
      if (oneBlock) continue;
      TCaptionParts parts = ParseCaption(caption);
      TXMLItem* element;
      if (!outer) {
        element = outer = callStack.AddChild("ExceptionThread");
      } else if (emptyFrameSeen) {
        element = outer = callStack.AddChild("RunningThread");
      } else {
        element = outer->AddChild("CallingThread");
      }
      emptyFrameSeen = false;
      element->AddAttribute("ID", parts.Id);
      element->AddAttribute("Priority", parts.Priority);
      element->AddAttribute("Class", parts.Class);
      element->AddAttribute("MainThread", parts.Main ? "True" : "False");
      current = element;
      continue;
    }
    if (!current) current = outer = callStack.AddChild("ExceptionThread");
    DecipherRow(cells, passPhrase);
    if (!cells[4].empty() && cells[4][0] == '@') cells[4][0] = '_';
    std::string number = cells[5], offset;
    size_t open = number.find('[');
    if (open != std::string::npos) {
      size_t close = number.find(']', open);
      offset = number.substr(open + 1, close == std::string::npos ? std::string::npos : close - open - 1);
      number.erase(open);
    }
    TXMLItem* row = current->AddChild("Line");
    const char* names[] = {"Address", "Module", "Unit", "Class", "Procedure"};
    for (size_t c = 0; c < 5; ++c) row->AddAttribute(names[c], cells[c]);
    row->AddAttribute("Number", number);
    row->AddAttribute("Offset", offset);
  }
}

// One element per row of a table, its attributes named in column order.
void TableToXml(std::string_view table, TXMLItem& parent, std::string_view rowName,
                const std::vector<std::string>& names, bool modules) {
  std::vector<std::string> lines = LogLines(table);
  for (size_t i = 3; i < lines.size(); ++i) {
    if (StartsWith(lines[i], "|-")) continue;
    std::vector<std::string> cells = Cells(lines[i]);
    if (cells.size() < 2) continue;
    TXMLItem* row = parent.AddChild(rowName);
    for (size_t c = 0; c < names.size(); ++c) {
      if (modules && cells.size() < 7 && c >= 5) {
        if (names[c] == "Path") row->AddAttribute("Path", cells.size() > 5 ? cells[5] : "");
        continue;
      }
      row->AddAttribute(names[c], c < cells.size() ? cells[c] : "");
    }
  }
}

void AssemblerToXml(std::string_view listing, TXMLItem& parent) {
  std::vector<std::string> lines = LogLines(listing);
  for (size_t i = 2; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (Trimmed(line).empty()) continue;
    TXMLItem* item = parent.AddChild("Line");
    size_t semicolon = line.find(';');
    bool commentOnly = StartsWith(line, ";");
    item->AddAttribute("Address", commentOnly ? "" : line.substr(0, 8));
    std::string command;
    if (!commentOnly && line.size() > 10)
      command = Trimmed(std::string_view(line).substr(10, semicolon == std::string::npos ? std::string::npos
                                                                                       : semicolon - 10));
    item->AddAttribute("Command", command);
    item->AddAttribute("Comment", semicolon == std::string::npos ? "" : Trimmed(line.substr(semicolon + 1)));
  }
}

void CpuToXml(std::string_view cpu, TXMLItem& parent) {
  if (cpu.find("EAX") == std::string_view::npos) return;
  std::vector<std::string> lines = LogLines(cpu);
  size_t eax = 0;
  while (eax < lines.size() && !StartsWith(lines[eax], "EAX")) ++eax;
  TXMLItem* registers = parent.AddChild("Registers");
  const char* left[] = {"EAX", "EBX", "ECX", "EDX"};
  const char* right[] = {"EDI", "ESI", "ESP", "EIP"};
  for (int side = 0; side < 2; ++side)
    for (size_t r = 0; r < 4; ++r) {
      std::string line = eax + r < lines.size() ? lines[eax + r] : "";
      registers->AddAttribute(side ? right[r] : left[r], side ? Columns(line, 22, 29) : Columns(line, 6, 13));
    }
  TXMLItem* stack = parent.AddChild("Stack");
  TXMLItem* dump = parent.AddChild("MemoryDump");
  size_t rule = eax;
  while (rule < lines.size() && !StartsWith(lines[rule], "------------------   ")) ++rule;
  for (size_t i = rule + 1; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (line.empty()) continue;
    TXMLItem* s = stack->AddChild("Line");
    s->AddAttribute("Address", Columns(line, 1, 8));
    s->AddAttribute("Value", Columns(line, 11, 18));
    TXMLItem* d = dump->AddChild("Line");
    d->AddAttribute("Address", Columns(line, 22, 29));
    d->AddAttribute("Bytes", Columns(line, 32, 78));
    d->AddAttribute("Chars", Columns(line, 81, 96));
  }
}

// Old layouts: what the user wrote follows the third table.
std::string TextAfterThirdTable(std::string_view entry) {
  size_t pos = 0;
  for (int table = 0; table < 3; ++table) {
    size_t marker = entry.find("-\r\n|", pos);
    if (marker == std::string_view::npos) return "";
    size_t close = entry.find("-\r\n\r\n", marker + 4);
    if (close == std::string_view::npos) return "";
    pos = close + 3;
  }
  std::string_view rest = entry.substr(pos);
  size_t first = rest.find_first_not_of("\r\n ");
  size_t last = rest.find_last_not_of("\r\n ");
  return first == std::string_view::npos ? "" : std::string(rest.substr(first, last - first + 1));
}

void EntryToXml(std::string_view entry, TXMLItem& log, std::string_view passPhrase) {
  std::string version = LogEntryVersion(entry);
  bool before5 = version < "5.0", before6 = version < "6.0";
  TLogSections s = LogSectionsOf(entry);
  GeneralToXml(s.General, *log.AddChild("General"));
  CallStackToXml(s.CallStack, *log.AddChild("CallStack"), before5, passPhrase);
  TableToXml(s.Modules, *log.AddChild("Modules"), "Module",
             {"Handle", "Name", "Description", "Version", "Size", "Modified", "Path"}, true);
  if (!before6) {
    TableToXml(s.Processes, *log.AddChild("Processes"), "Process",
               {"ID", "Name", "Description", "Version", "Memory", "Priority", "Threads", "Path"}, false);
    AssemblerToXml(s.Assembler, *log.AddChild("Assembler"));
  }
  CpuToXml(s.Cpu, *log.AddChild("CPU"));
  if (before5) log.AddChild("HoToReproduce")->AddAttribute("Text", TextAfterThirdTable(entry));
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

TXMLItems::~TXMLItems() {
  while (!items_.empty()) items_.pop_back();
}

TXMLItem* TXMLItems::Add(std::string_view name) {
  items_.push_back(std::make_unique<TXMLItem>(name));
  return items_.back().get();
}

std::string TXMLItems::Render() const {
  std::string out;
  for (const auto& item : items_) out += item->Render();
  return out;
}

TXMLItem* TXMLItem::AddChild(std::string_view name) {
  TXMLItem* child = Children.Add(name);
  child->Parent = this;
  return child;
}

void TXMLItem::AddAttribute(std::string_view name, std::string_view value) {
  Attributes += " ";
  Attributes += name;
  Attributes += "=\"";
  Attributes += EscapeXmlText(value);
  Attributes += "\"";
}

std::string TXMLItem::RenderAt(const std::string& indent) const {
  std::string out = indent + "<" + Name + Attributes;
  if (Text.empty() && Children.Count() == 0) return out + "/>\r\n";
  out += ">" + EscapeXmlText(Text);
  if (Children.Count()) {
    out += "\r\n";
    std::string inner = indent + "  ";
    for (const auto& child : Children.items_) out += child->RenderAt(inner);
    out += indent;
  }
  return out + "</" + Name + ">\r\n";
}

std::string EscapeXmlText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char ch : text) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (c == 9 || c == 10 || c == 13 || c == '"' || c == '&' || c == '\'' || c == '<' || c == '>' || c == 127)
      out += CharReference(c);
    else if (c < 32)
      out += '?';  // no XML character at all
    else if (c >= 128)
      out += CharReference(ansiUpperHalf[c - 128u]);
    else
      out += ch;
  }
  return out;
}

void SetAnsiUpperHalf(const std::array<uint16_t, 128>& codePoints) { ansiUpperHalf = codePoints; }

std::string LogEntryVersion(std::string_view entry) {
  size_t end = entry.find("\r\n");
  std::string_view first = entry.substr(0, end);
  return first.size() > 10 ? std::string(first.substr(10)) : "";
}

std::string LogToXml(const TLogEntries& log, std::string_view passPhrase) {
  std::string out = "<Doc>\r\n";
  for (int i = 0; i < log.Count(); ++i) {
    TXMLItem item("Log");
    item.AddAttribute("Version", LogEntryVersion(log.Entry(i)));
    EntryToXml(log.Entry(i), item, passPhrase);
    out += item.RenderAt("  ");
  }
  return out + "</Doc>\r\n";
}

std::string EncipherName(std::string_view name, std::string_view passPhrase) {
  std::string bytes(name);
  TQLCipher(passPhrase).EncryptBuffer(reinterpret_cast<uint8_t*>(bytes.data()), bytes.size());
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

std::string DecipherName(std::string_view text, std::string_view passPhrase) {
  if (text.size() % 2) return std::string(text);
  std::string bytes;
  for (size_t i = 0; i < text.size(); i += 2) {
    int high = HexDigit(text[i]), low = HexDigit(text[i + 1]);
    if (high < 0 || low < 0) return std::string(text);
    bytes += static_cast<char>(high * 16 + low);
  }
  TQLCipher(passPhrase).DecryptBuffer(reinterpret_cast<uint8_t*>(bytes.data()), bytes.size());
  return bytes;
}

}  // namespace exclog
