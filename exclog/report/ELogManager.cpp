#include "exclog/report/ELogManager.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace exclog {

namespace {

constexpr std::string_view TableHeaderMarker = "-\r\n|";
constexpr std::string_view TableEndMarker = "-\r\n\r\n";

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && text.substr(0, prefix.size()) == prefix;
}

size_t LineStart(std::string_view text, size_t pos) {
  size_t lf = pos == 0 ? std::string_view::npos : text.rfind('\n', pos - 1);
  return lf == std::string_view::npos ? 0 : lf + 1;
}

size_t LineEnd(std::string_view text, size_t pos) {
  size_t cr = text.find("\r\n", pos);
  return cr == std::string_view::npos ? text.size() : cr;
}

std::string TrimmedRight(std::string_view text, std::string_view chars) {
  size_t end = text.find_last_not_of(chars);
  return std::string(text.substr(0, end == std::string_view::npos ? 0 : end + 1));
}

std::string ReplaceAll(std::string text, std::string_view from, std::string_view to) {
  for (size_t pos = text.find(from); pos != std::string::npos; pos = text.find(from, pos + to.size()))
    text.replace(pos, from.size(), to);
  return text;
}

// Where the general part ends: the start of the first table's title line.
size_t GeneralEnd(std::string_view entry) {
  size_t marker = entry.find(TableHeaderMarker);
  if (marker == std::string_view::npos) return entry.size();
  size_t ruleStart = LineStart(entry, marker);
  return ruleStart == 0 ? 0 : LineStart(entry, ruleStart - 1);
}

// A field line in the general part: where its line starts, where its ": " is and
// where its value ends (before the line end of its last continuation line).
struct TFieldPlace {
  size_t LineStart = 0, Colon = 0, ValueEnd = 0;
};

bool FindField(std::string_view entry, std::string_view field, TFieldPlace& place) {
  std::string_view general = entry.substr(0, GeneralEnd(entry));
  std::string key = "\r\n  " + std::string(field) + " ";
  size_t pos = general.find(key);
  if (pos == std::string_view::npos) return false;
  place.LineStart = pos + 2;
  size_t end = LineEnd(general, place.LineStart);
  size_t colon = general.find(": ", place.LineStart + key.size() - 2);
  if (colon == std::string_view::npos || colon >= end) return false;
  place.Colon = colon;
  // Continuation lines start with three blanks; a field line with two and a
  // non-blank, a section's end with an empty line.
  while (end + 2 < general.size() && StartsWith(general.substr(end + 2), "   "))
    end = LineEnd(general, end + 2);
  place.ValueEnd = end;
  return true;
}

// A value as a field line holds it: one line unchanged; several escaped, each
// line after the first under the value column.
std::string EscapedValue(std::string_view value, size_t colonColumn) {
  std::string uniform = UniformLineEnds(value);
  if (uniform.find("\r\n") == std::string::npos) return uniform;
  std::vector<std::string> lines = LogLines(uniform);
  if (lines.size() > 1 && lines.back().empty()) lines.pop_back();
  std::string out;
  for (size_t i = 0; i < lines.size(); ++i) {
    std::string line = lines[i];
    if (line.find_first_not_of(' ') == std::string::npos) line = ".";
    line = ReplaceAll(line, ": ", ":_");
    if (i) out += "\r\n" + std::string(colonColumn + 1, ' ');
    out += line;
  }
  return out;
}

// The table starting at or after `from`: its title line's start and the end of
// its closing rule's line end; false when no table follows.
bool NextTable(std::string_view entry, size_t from, size_t& start, size_t& end) {
  size_t marker = entry.find(TableHeaderMarker, from);
  if (marker == std::string_view::npos) return false;
  size_t ruleStart = LineStart(entry, marker);
  start = ruleStart == 0 ? 0 : LineStart(entry, ruleStart - 1);
  size_t close = entry.find(TableEndMarker, marker + TableHeaderMarker.size());
  end = close == std::string_view::npos ? entry.size() : close + 3;
  return true;
}

size_t SkipLineEnds(std::string_view text, size_t pos) {
  while (pos < text.size() && (text[pos] == '\r' || text[pos] == '\n')) ++pos;
  return pos;
}

// A section switched off: "Title:" CR LF, a rule, an empty line.
bool DisabledSectionAt(std::string_view text, size_t pos, size_t& end) {
  size_t titleEnd = LineEnd(text, pos);
  if (titleEnd == pos || text[titleEnd - 1] != ':' || titleEnd + 2 >= text.size()) return false;
  size_t ruleEnd = LineEnd(text, titleEnd + 2);
  std::string_view rule = text.substr(titleEnd + 2, ruleEnd - titleEnd - 2);
  if (rule.empty() || rule.find_first_not_of('-') != std::string_view::npos) return false;
  if (text.substr(ruleEnd, 4) != "\r\n\r\n") return false;
  end = ruleEnd + 4;
  return true;
}

}  // namespace

std::vector<std::string> LogLines(std::string_view text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (true) {
    size_t end = text.find("\r\n", start);
    if (end == std::string_view::npos) {
      lines.emplace_back(text.substr(start));
      return lines;
    }
    lines.emplace_back(text.substr(start, end - start));
    start = end + 2;
  }
}

std::string UniformLineEnds(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\r') {
      out += "\r\n";
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else if (c == '\n') {
      out += "\r\n";
    } else {
      out += c;
    }
  }
  return out;
}

TLogSections LogSectionsOf(std::string_view entry) {
  TLogSections s;
  size_t start = 0, end = 0;
  if (!NextTable(entry, 0, start, end)) {
    s.General = TrimmedRight(entry, "\r\n ");
    return s;
  }
  s.General = TrimmedRight(entry.substr(0, start), "\r\n ");
  s.CallStack = std::string(entry.substr(start, end - start));
  // The modules and processes tables follow, each one or its switched-off title.
  size_t pos = end;
  std::string* slots[] = {&s.Modules, &s.Processes};
  for (std::string* slot : slots) {
    size_t at = SkipLineEnds(entry, pos);
    size_t disabledEnd = 0;
    if (NextTable(entry, at, start, end) && start == at) {
      *slot = std::string(entry.substr(start, end - start));
      pos = end;
    } else if (DisabledSectionAt(entry, at, disabledEnd)) {
      pos = disabledEnd;
    } else {
      break;
    }
  }
  std::string_view rest = entry.substr(std::min(SkipLineEnds(entry, pos), entry.size()));
  // The CPU part holds the registers; without them it is the last switched-off title.
  size_t cpu = std::string_view::npos;
  size_t eax = rest.find("\r\nEAX");
  if (eax != std::string_view::npos) {
    size_t ruleStart = LineStart(rest, eax);
    if (ruleStart >= 2) cpu = LineStart(rest, ruleStart - 2);
  } else {
    for (size_t colon = rest.rfind(":\r\n-"); colon != std::string_view::npos;
         colon = colon ? rest.rfind(":\r\n-", colon - 1) : std::string_view::npos) {
      size_t candidate = LineStart(rest, colon), ignored = 0;
      if (candidate > 0 && DisabledSectionAt(rest, candidate, ignored)) {
        cpu = candidate;
        break;
      }
      if (colon == 0) break;
    }
  }
  if (cpu == std::string_view::npos) {
    s.Assembler = TrimmedRight(rest, "\r\n ");
  } else {
    s.Assembler = TrimmedRight(rest.substr(0, cpu), "\r\n ");
    s.Cpu = TrimmedRight(rest.substr(cpu), "\r\n ");
  }
  return s;
}

std::string LogFieldValue(std::string_view entry, std::string_view field) {
  TFieldPlace place;
  if (!FindField(entry, field, place)) return "";
  std::vector<std::string> lines = LogLines(entry.substr(place.Colon + 2, place.ValueEnd - place.Colon - 2));
  std::string value;
  for (size_t i = 0; i < lines.size(); ++i) {
    std::string line = i ? std::string(lines[i].substr(std::min(lines[i].find_first_not_of(' '), lines[i].size())))
                         : lines[i];
    if (line == ".") line.clear();
    if (i) value += "\r\n";
    value += ReplaceAll(line, ":_", ": ");
  }
  size_t first = value.find_first_not_of(" \r\n\t");
  if (first == std::string::npos) return "";
  return TrimmedRight(std::string_view(value).substr(first), " \r\n\t");
}

bool SetLogFieldValue(std::string& entry, std::string_view field, std::string_view value,
                      std::string_view label) {
  TFieldPlace place;
  if (FindField(entry, field, place)) {
    std::string escaped = EscapedValue(value, place.Colon - place.LineStart);
    entry.replace(place.Colon + 2, place.ValueEnd - place.Colon - 2, escaped);
    return true;
  }
  size_t dot = field.find('.');
  if (dot == std::string_view::npos) return false;
  std::string section(field.substr(0, dot));
  bool found = false;
  TFieldPlace last;
  for (int number = 1; number <= 19; ++number) {
    TFieldPlace probe;
    if (FindField(entry, section + "." + std::to_string(number), probe)) {
      last = probe;
      found = true;
    }
  }
  if (!found) return false;
  size_t colonColumn = last.Colon - last.LineStart;
  std::string line = "  " + std::string(field) + " " + std::string(label);
  if (line.size() < colonColumn) line.append(colonColumn - line.size(), ' ');
  line += ": " + EscapedValue(value, std::max(colonColumn, line.size() - 2));
  entry.insert(last.ValueEnd, "\r\n" + line);
  return true;
}

std::string NextCount(std::string_view count) {
  constexpr int64_t largest = std::numeric_limits<int32_t>::max();
  std::string_view t = count;
  while (!t.empty() && static_cast<unsigned char>(t.front()) <= ' ') t.remove_prefix(1);
  while (!t.empty() && static_cast<unsigned char>(t.back()) <= ' ') t.remove_suffix(1);
  bool negative = !t.empty() && t.front() == '-';
  std::string_view digits = !t.empty() && (t.front() == '-' || t.front() == '+') ? t.substr(1) : t;
  if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos) return "2";
  int64_t value = 0;
  for (char c : digits) {
    value = value * 10 + (c - '0');
    if (value > largest) break;  // saturates below
  }
  if (negative) return std::to_string(1 - std::min(value, largest));
  return std::to_string(value >= largest ? largest : value + 1);
}

void TLogEntries::Load(std::string_view fileText) {
  entries_.clear();
  std::string text = UniformLineEnds(fileText);
  if (text.size() < LogFileSeparator.size() ||
      text.compare(text.size() - LogFileSeparator.size(), LogFileSeparator.size(), LogFileSeparator) != 0)
    text += LogFileSeparator;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(LogFileSeparator, start);
    if (end == std::string::npos) end = text.size();
    std::string_view chunk = std::string_view(text).substr(start, end - start);
    while (!chunk.empty() && (chunk.front() == '\r' || chunk.front() == '\n')) chunk.remove_prefix(1);
    if (chunk.find(TableHeaderMarker) != std::string_view::npos)
      entries_.push_back(std::string(chunk) + std::string(LogEntrySeparator));
    start = end + LogFileSeparator.size();
  }
  firstAdded_ = entries_.size();
  onlyAppended_ = true;
  loadedComplete_ = FileText() == fileText;
}

void TLogEntries::Add(std::string_view report, int capacity) {
  if (capacity != -1 && Count() >= capacity) {
    size_t keep = capacity > 1 ? static_cast<size_t>(capacity - 1) : 0;
    size_t drop = entries_.size() - keep;
    entries_.erase(entries_.begin(), entries_.begin() + static_cast<std::ptrdiff_t>(drop));
    firstAdded_ = firstAdded_ > drop ? firstAdded_ - drop : 0;
    onlyAppended_ = false;
  }
  // The file keeps no line end of a report's own before the separator (a read
  // would drop it), so a report added and one read back are the same entry.
  while (!report.empty() && (report.back() == '\r' || report.back() == '\n')) report.remove_suffix(1);
  entries_.push_back(std::string(report) + std::string(LogEntrySeparator));
}

std::string TLogEntries::Text() const {
  std::string text;
  for (const std::string& e : entries_) text += e;
  return text;
}

void TLogEntries::SetText(std::string_view text) {
  entries_.assign(1, std::string(text));
  onlyAppended_ = false;
}

namespace {
std::string FileTextOf(const std::vector<std::string>& entries, size_t from) {
  std::string text;
  for (size_t i = from; i < entries.size(); ++i) text += entries[i] + "\r\n";
  if (text.size() >= 10 && text.compare(text.size() - 10, 2, "\r\n") == 0) text.resize(text.size() - 2);
  return text;
}
}  // namespace

std::string TLogEntries::FileText() const { return FileTextOf(entries_, 0); }
std::string TLogEntries::AppendedFileText() const { return FileTextOf(entries_, firstAdded_); }

void TLogEntries::MarkWritten() {
  firstAdded_ = entries_.size();
  onlyAppended_ = true;
  loadedComplete_ = true;
}

int TLogEntries::FindEntry(const std::vector<std::string>& fields, const std::vector<std::string>& values) const {
  size_t pairs = std::min(fields.size(), values.size());
  for (size_t e = 0; e < entries_.size(); ++e)
    for (size_t i = 0; i < pairs; ++i)
      // A missing field reads empty: it must never pass for an empty value.
      if (!values[i].empty() && LogFieldValue(entries_[e], fields[i]) == values[i]) return static_cast<int>(e);
  return -1;
}

std::string TLogEntries::FieldValue(std::string_view field, int index) const {
  if (index < 0 || index >= Count()) return "";
  return LogFieldValue(entries_[static_cast<size_t>(index)], field);
}

bool TLogEntries::SetFieldValue(std::string_view field, std::string_view value, int index, std::string_view label) {
  if (index < 0 || index >= Count()) return false;
  std::string changed = entries_[static_cast<size_t>(index)];
  if (!SetLogFieldValue(changed, field, value, label)) return false;
  entries_[static_cast<size_t>(index)] = changed;
  onlyAppended_ = false;
  return true;
}

TLogSections TLogEntries::Sections(int index) const {
  if (index < 0 || index >= Count()) return {};
  return LogSectionsOf(entries_[static_cast<size_t>(index)]);
}

}  // namespace exclog
