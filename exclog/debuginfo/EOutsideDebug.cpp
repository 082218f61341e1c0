#include "exclog/debuginfo/EOutsideDebug.h"

#include <algorithm>
#include <cstring>

#include "classlib/SysUtils.h"

namespace exclog {

namespace {

constexpr size_t NameLimit = 255;

[[noreturn]] void AssertionFailure() { throw EAssertionFailed("Assertion failure"); }

std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> out;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    if (i > start) out.push_back(line.substr(start, i - start));
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Hexadecimal up to the first other character; false when there is no digit or
// the value overflows 32 bits.
bool ParseHex(std::string_view text, uint32_t& value, size_t* used = nullptr) {
  uint64_t v = 0;
  size_t i = 0;
  for (; i < text.size() && HexDigit(text[i]) >= 0; ++i) {
    v = v * 16 + static_cast<uint64_t>(HexDigit(text[i]));
    if (v > 0xFFFFFFFFu) return false;
  }
  if (i == 0) return false;
  value = static_cast<uint32_t>(v);
  if (used) *used = i;
  return true;
}

bool ParseDecimal(std::string_view text, uint32_t& value) {
  if (text.empty() || text.size() > 9) return false;
  uint32_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<uint32_t>(c - '0');
  }
  value = v;
  return true;
}

// "SSSS:OOOOOOOO".
bool ParseSegmentOffset(std::string_view text, uint32_t& segment, uint32_t& offset) {
  size_t used = 0;
  if (!ParseHex(text, segment, &used) || used >= text.size() || text[used] != ':') return false;
  return ParseHex(text.substr(used + 1), offset);
}

bool WordsAre(const std::vector<std::string_view>& words, std::initializer_list<std::string_view> expected) {
  if (words.size() < expected.size()) return false;
  size_t i = 0;
  for (std::string_view w : expected)
    if (words[i++] != w) return false;
  return true;
}

template <class T>
const T* LastAtOrBelow(const std::vector<T>& table, uint32_t offset) {
  auto it = std::upper_bound(table.begin(), table.end(), offset,
                             [](uint32_t o, const T& e) { return o < e.Address; });
  if (it == table.begin()) return nullptr;
  return &*(it - 1);
}

}  // namespace

std::string WithExtension(const std::string& fileName, const std::string& extension) {
  size_t slash = fileName.find_last_of("\\/");
  size_t dot = fileName.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return fileName + extension;
  return fileName.substr(0, dot) + extension;
}

// --- Map file ---------------------------------------------------------------------

TQLMapScanner::TQLMapScanner(std::string_view text) {
  enum { None, SegmentTable, Units, Publics, LineNumbers } mode = None;
  uint32_t codeSegment = 1;
  bool codeSegmentSeen = false;
  int block = -1;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    pos = end;
    if (pos < text.size() && text[pos] == '\r') ++pos;
    if (pos < text.size() && text[pos] == '\n') ++pos;
    std::vector<std::string_view> w = Words(line);
    if (w.empty()) continue;
    if (WordsAre(w, {"Start", "Length", "Name", "Class"})) { mode = SegmentTable; continue; }
    if (WordsAre(w, {"Detailed", "map", "of", "segments"})) { mode = Units; continue; }
    if (WordsAre(w, {"Address", "Publics", "by", "Name"}) || WordsAre(w, {"Address", "Publics", "by", "Value"})) {
      mode = Publics;
      continue;
    }
    if (WordsAre(w, {"Line", "numbers", "for"}) && w.size() >= 4) {
      mode = LineNumbers;
      std::string_view unit = w[3];
      size_t open = unit.find('(');
      std::string source;
      if (open != std::string_view::npos) {
        size_t close = unit.find(')', open);
        source = std::string(unit.substr(open + 1, close == std::string_view::npos ? std::string_view::npos : close - open - 1));
      }
      sources_.push_back(source.empty() ? std::string(unit.substr(0, open)) : source);
      block = static_cast<int>(sources_.size()) - 1;
      continue;
    }
    uint32_t segment = 0, offset = 0, length = 0, number = 0;
    switch (mode) {
      case SegmentTable:
        if (w.size() >= 4 && ParseSegmentOffset(w[0], segment, offset) && w[3] == "CODE" && !codeSegmentSeen) {
          codeSegment = segment;
          codeSegmentSeen = true;
        }
        break;
      case Units:
        if (w.size() >= 3 && ParseSegmentOffset(w[0], segment, offset) && ParseHex(w[1], length) &&
            segment == codeSegment) {
          for (std::string_view field : w)
            if (field.substr(0, 2) == "M=") {
              segments_.push_back({offset, length, std::string(field.substr(2, NameLimit))});
              break;
            }
        }
        break;
      case Publics:
        if (w.size() >= 2 && ParseSegmentOffset(w[0], segment, offset) && segment == codeSegment)
          publics_.push_back({offset, std::string(w[1].substr(0, NameLimit))});
        break;
      case LineNumbers:
        for (size_t i = 0; i + 1 < w.size(); i += 2)
          if (ParseDecimal(w[i], number) && ParseSegmentOffset(w[i + 1], segment, offset) && segment == codeSegment)
            lines_.push_back({offset, number, block});
        break;
      case None:
        break;
    }
  }
  auto byAddress = [](const auto& a, const auto& b) { return a.Address < b.Address; };
  std::stable_sort(publics_.begin(), publics_.end(), byAddress);
  std::stable_sort(lines_.begin(), lines_.end(), byAddress);
  std::stable_sort(segments_.begin(), segments_.end(), [](const TSegment& a, const TSegment& b) { return a.Start < b.Start; });
}

const TQLMapScanner::TSegment* TQLMapScanner::UnitAt(uint32_t offset) const {
  auto it = std::upper_bound(segments_.begin(), segments_.end(), offset,
                             [](uint32_t o, const TSegment& s) { return o < s.Start; });
  if (it == segments_.begin()) return nullptr;
  --it;
  return offset - it->Start < it->Length ? &*it : nullptr;
}

const TQLMapScanner::TPublic* TQLMapScanner::PublicAt(uint32_t offset) const { return LastAtOrBelow(publics_, offset); }
const TQLMapScanner::TLine* TQLMapScanner::LineAt(uint32_t offset) const { return LastAtOrBelow(lines_, offset); }

bool TQLDebugInfoMap::OpenSource() {
  try {
    if (!files_.ReadFile) return false;
    std::optional<std::string> text = files_.ReadFile(WithExtension(files_.FileName, ".map"));
    if (!text) return false;
    auto scanner = std::make_unique<TQLMapScanner>(*text);
    if (scanner->Segments().empty()) return false;
    scanner_ = std::move(scanner);
    return true;
  } catch (...) {
    return false;
  }
}

bool TQLDebugInfoMap::FindLocation(uintptr_t address, TQLLocationInfo& info) const {
  if (!scanner_ || address < Module() + 4096) return false;
  uint32_t offset = OffsetOfAddress(address);
  const TQLMapScanner::TSegment* unit = scanner_->UnitAt(offset);
  if (!unit) return false;
  info = TQLLocationInfo{};
  info.Address = address;
  info.UnitText = unit->Unit;
  info.Reader = this;
  const TQLMapScanner::TPublic* routine = scanner_->PublicAt(offset);
  if (routine && routine->Address >= unit->Start) info.RoutineText = routine->Name;
  const TQLMapScanner::TLine* line = scanner_->LineAt(offset);
  if (line && line->Address >= unit->Start) {
    info.SourceLine = line->Line;
    info.SourceFile = scanner_->SourceFiles()[static_cast<size_t>(line->Unit)];
    const TQLMapScanner::TLine* first = routine && routine->Address >= unit->Start ? scanner_->LineAt(routine->Address) : nullptr;
    if (first && first->Address >= unit->Start && first->Line <= line->Line) info.LinesFromStart = line->Line - first->Line;
  }
  return true;
}

// --- Binary debug data ---------------------------------------------------------------

bool ReadPackedNumber(std::string_view data, size_t& pos, uint32_t& value) {
  uint64_t v = 0;
  for (int i = 0; i < 5; ++i) {
    if (pos >= data.size()) return false;
    uint8_t b = static_cast<uint8_t>(data[pos++]);
    v |= uint64_t(b & 0x7F) << (7 * i);
    if (!(b & 0x80)) {
      if (v > 0xFFFFFFFFu) return false;
      value = static_cast<uint32_t>(v);
      return true;
    }
  }
  return false;
}

namespace {

uint32_t WordAt(std::string_view data, size_t at) {
  uint32_t v;
  std::memcpy(&v, data.data() + at, 4);
  return v;
}

constexpr size_t JdbgHeaderSize = 36;

}  // namespace

bool TQLBinDebugScanner::IsValidHeader(std::string_view data) {
  if (data.size() < 35 || data.size() % 4 != 0 || data.substr(0, 4) != "JDBG" || data[4] != 1) return false;
  if (data[5]) {
    uint32_t sum = 0;
    for (size_t at = 0; at < data.size(); at += 4) sum += WordAt(data, at);
    uint32_t stored = WordAt(data, 8);
    uint32_t rest = sum - stored;
    if (((rest >> 8) | (rest << 24)) != stored) return false;
  }
  return true;
}

TQLBinDebugScanner::TQLBinDebugScanner(std::string data) : data_(std::move(data)) {
  if (!IsValidHeader(data_)) AssertionFailure();
  names_ = WordAt(data_, 28);
  if (names_ < JdbgHeaderSize || names_ >= data_.size()) AssertionFailure();
  // Tables lie between the header and the name area.
  std::string_view tables(data_.data(), names_);
  auto expand = [&](size_t headerAt, int values, std::vector<TEntry>& out) {
    size_t pos = WordAt(data_, headerAt);
    if (pos < JdbgHeaderSize || pos >= tables.size()) AssertionFailure();
    uint32_t address = 0, value = 0, value2 = 0;
    for (;;) {
      uint32_t delta = 0;
      if (!ReadPackedNumber(tables, pos, delta)) AssertionFailure();
      if (delta == PackedTableEnd) break;
      uint32_t d1 = 0, d2 = 0;
      if (!ReadPackedNumber(tables, pos, d1)) AssertionFailure();
      if (values == 2 && !ReadPackedNumber(tables, pos, d2)) AssertionFailure();
      if (uint64_t(address) + delta > 0xFFFFFFFFu) AssertionFailure();
      address += delta;
      value += d1;
      value2 += d2;
      out.push_back({address, value, value2});
    }
  };
  expand(12, 1, units_);
  expand(16, 1, sources_);
  expand(20, 2, procedures_);
  expand(24, 1, lines_);
  for (const auto* table : {&units_, &sources_, &procedures_})
    for (const TEntry& e : *table)
      if (e.Value >= data_.size() - names_ || e.Value2 >= data_.size() - names_) AssertionFailure();
}

std::string TQLBinDebugScanner::Name(uint32_t offset) const {
  std::string out;
  for (size_t at = names_ + size_t(offset); at < data_.size() && data_[at] && out.size() < NameLimit; ++at)
    out += data_[at];
  return out;
}

bool TQLBinDebugScanner::UnitStart(uint32_t offset, uint32_t& start) const {
  const TEntry* unit = LastAtOrBelow(units_, offset);
  if (!unit) return false;
  start = unit->Address;
  return true;
}

const TQLBinDebugScanner::TEntry* TQLBinDebugScanner::Find(const std::vector<TEntry>& table, uint32_t offset,
                                                           bool withinUnit) const {
  const TEntry* entry = LastAtOrBelow(table, offset);
  uint32_t start = 0;
  if (!entry || (withinUnit && (!UnitStart(offset, start) || entry->Address < start))) return nullptr;
  return entry;
}

std::string TQLBinDebugScanner::UnitAt(uint32_t offset) const {
  const TEntry* e = Find(units_, offset, false);
  return e ? Name(e->Value) : std::string();
}

std::string TQLBinDebugScanner::SourceAt(uint32_t offset) const {
  const TEntry* e = Find(sources_, offset, true);
  return e ? Name(e->Value) : std::string();
}

std::string TQLBinDebugScanner::ProcedureAt(uint32_t offset, uint32_t* start) const {
  const TEntry* e = Find(procedures_, offset, true);
  if (!e) return {};
  if (start) *start = e->Address;
  std::string qualifier = Name(e->Value), routine = Name(e->Value2);
  std::string name = qualifier.empty() ? routine : qualifier + "." + routine;
  return name.substr(0, NameLimit);
}

uint32_t TQLBinDebugScanner::LineAt(uint32_t offset) const {
  const TEntry* e = Find(lines_, offset, true);
  return e ? e->Value : 0;
}

bool TQLDebugInfoJedy::OpenSource() {
  try {
    std::optional<std::string> data;
    if (files_.Resource) data = files_.Resource("JCLDEBUG");
    if (!data && files_.ReadFile) data = files_.ReadFile(WithExtension(files_.FileName, ".jdbg"));
    if (!data || !TQLBinDebugScanner::IsValidHeader(*data)) return false;
    scanner_ = std::make_unique<TQLBinDebugScanner>(std::move(*data));
    return true;
  } catch (...) {
    return false;
  }
}

bool TQLDebugInfoJedy::FindLocation(uintptr_t address, TQLLocationInfo& info) const {
  if (!scanner_ || address < Module() + 4096) return false;
  uint32_t offset = OffsetOfAddress(address);
  std::string unit = scanner_->UnitAt(offset);
  if (unit.empty()) return false;
  info = TQLLocationInfo{};
  info.Address = address;
  info.UnitText = unit;
  info.Reader = this;
  uint32_t start = 0;
  info.RoutineText = scanner_->ProcedureAt(offset, &start);
  info.SourceLine = scanner_->LineAt(offset);
  info.SourceFile = scanner_->SourceAt(offset);
  if (!info.RoutineText.empty()) {
    uint32_t first = scanner_->LineAt(start);
    if (first && first <= info.SourceLine) info.LinesFromStart = info.SourceLine - first;
  }
  return true;
}

}  // namespace exclog
