#include "tools/qldata/QlDataTool.h"

#include <cxxabi.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <stdexcept>

#include "exclog/debuginfo/EDebug.h"
#include "exclog/core/EConsts.h"
#include "exclog/core/EOptions.h"

namespace qldata {

namespace {

std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> out;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    out.push_back(line);
    start = end + 1;
  }
  return out;
}

std::vector<std::string> Words(std::string_view line) {
  std::vector<std::string> out;
  std::istringstream in{std::string(line)};
  std::string w;
  while (in >> w) out.push_back(w);
  return out;
}

bool ParseHex(const std::string& text, uint32_t& value) {
  if (text.empty() || text.size() > 10) return false;
  char* end = nullptr;
  unsigned long v = std::strtoul(text.c_str(), &end, 16);
  if (*end != '\0' || v > 0xFFFFFFFFul) return false;
  value = static_cast<uint32_t>(v);
  return true;
}

bool ParseDec(const std::string& text, uint32_t& value) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 9)
    return false;
  value = static_cast<uint32_t>(std::strtoul(text.c_str(), nullptr, 10));
  return true;
}

std::string BaseName(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Trim(std::string_view s) {
  size_t a = s.find_first_not_of(" \t");
  if (a == std::string_view::npos) return "";
  size_t b = s.find_last_not_of(" \t");
  return std::string(s.substr(a, b - a + 1));
}

uint32_t Le32(const std::string& b, size_t at) {
  if (at > b.size() || b.size() - at < 4) throw std::runtime_error("PE image cut short");
  return uint32_t(uint8_t(b[at])) | (uint32_t(uint8_t(b[at + 1])) << 8) |
         (uint32_t(uint8_t(b[at + 2])) << 16) | (uint32_t(uint8_t(b[at + 3])) << 24);
}
uint16_t Le16(const std::string& b, size_t at) {
  if (at > b.size() || b.size() - at < 2) throw std::runtime_error("PE image cut short");
  return static_cast<uint16_t>(uint8_t(b[at]) | (uint8_t(b[at + 1]) << 8));
}

}  // namespace

std::vector<TSymbol> ParseNm(std::string_view text) {
  std::vector<TSymbol> out;
  for (std::string_view line : Lines(text)) {
    auto w = Words(line);
    if (w.size() != 3 || w[1].size() != 1) continue;
    TSymbol s;
    if (!ParseHex(w[0], s.Address)) continue;
    s.Type = w[1][0];
    s.Name = w[2];
    out.push_back(std::move(s));
  }
  return out;
}

std::vector<TLineRow> ParseDecodedLines(std::string_view text) {
  std::vector<TLineRow> out;
  std::string file;
  // A new sequence may start without naming its file again: the row's own base
  // name then picks the unit's file or a file named before in the same unit.
  std::map<std::string, std::string> unitFiles;
  for (std::string_view line : Lines(text)) {
    if (line.empty()) continue;
    if (line.back() == ':' && line.find("  ") == std::string_view::npos) {
      std::string_view name = line.substr(0, line.size() - 1);
      if (name.substr(0, 4) == "CU: ") {
        name.remove_prefix(4);
        unitFiles.clear();
      }
      file = std::string(name);
      unitFiles.emplace(BaseName(file), file);
      continue;
    }
    auto w = Words(line);
    if (w.size() < 3) continue;
    if (BaseName(file) != w[0]) {
      auto known = unitFiles.find(w[0]);
      file = known != unitFiles.end() ? known->second : w[0];
    }
    TLineRow row;
    if (w[1] == "-") {
      row.EndSequence = true;
    } else if (!ParseDec(w[1], row.Line)) {
      continue;  // headings
    }
    if (w[2].substr(0, 2) != "0x" || !ParseHex(w[2].substr(2), row.Address)) continue;
    row.File = file;
    out.push_back(std::move(row));
  }
  return out;
}

std::optional<uint32_t> ParseImageBase(std::string_view text) {
  for (std::string_view line : Lines(text)) {
    auto w = Words(line);
    uint32_t v = 0;
    if (w.size() == 2 && w[0] == "ImageBase" && ParseHex(w[1], v)) return v;
  }
  return std::nullopt;
}

std::string DemangledName(const std::string& symbol) {
  std::string name = symbol;
  // Fastcall routines: "@name@<argument bytes>" without the leading "_".
  if (!name.empty() && name[0] == '@') name.insert(0, "_").erase(1, 1);
  if (!name.empty() && name[0] == '_') name.erase(0, 1);
  if (name.rfind("_Z", 0) != 0) return name;
  // Stdcall routines carry "@<argument bytes>" after the mangled name.
  size_t at = name.rfind('@');
  if (at != std::string::npos && at + 1 < name.size() &&
      name.find_first_not_of("0123456789", at + 1) == std::string::npos)
    name.erase(at);
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> text(abi::__cxa_demangle(name.c_str(), nullptr, nullptr, &status),
                                              std::free);
  return status == 0 && text ? std::string(text.get()) : name;
}

std::pair<std::string, std::string> SplitClassAndRoutine(const std::string& name) {
  int depth = 0;
  size_t lastColons = std::string::npos;
  for (size_t i = 0; i < name.size(); ++i) {
    // Operator names hold brackets that open nothing.
    if (depth == 0 && name.compare(i, 8, "operator") == 0) {
      size_t paren = name.find('(', i + 9);
      if (name.compare(i, 10, "operator()") == 0) paren = name.find('(', i + 10);
      if (paren == std::string::npos) break;
      i = paren - 1;
      continue;
    }
    static const std::string anonymous = "(anonymous namespace)";
    if (name.compare(i, anonymous.size(), anonymous) == 0) {
      i += anonymous.size() - 1;
      continue;
    }
    char c = name[i];
    if (c == '<' || c == '(' || c == '[' || c == '{') {
      if (c == '(' && depth == 0) {
        // A local entity ("f()::{lambda()#1}::_FUN()") follows its routine's list.
        size_t close = i;
        for (int d = 0; close < name.size(); ++close) {
          if (name[close] == '(') ++d;
          if (name[close] == ')' && --d == 0) break;
        }
        if (close >= name.size()) break;  // unbalanced: take it as the list
        size_t after = close + 1;
        if (name.compare(after, 6, " const") == 0) after += 6;
        if (after <= name.size() && name.compare(after, 2, "::") == 0) {
          lastColons = after;
          i = after + 1;
          continue;
        }
        break;  // the parameter list
      }
      ++depth;
    } else if (c == '>' || c == ')' || c == ']' || c == '}') {
      if (depth > 0) --depth;
    } else if (depth == 0 && c == ':' && i + 1 < name.size() && name[i + 1] == ':') {
      lastColons = i;
      ++i;
    }
  }
  if (lastColons == std::string::npos) return {"", name};
  return {name.substr(0, lastColons), name.substr(lastColons + 2)};
}

std::string ComparableRoutine(const std::string& name) {
  std::string s = name;
  size_t clone = s.find(" [clone ");
  if (clone != std::string::npos) s.erase(clone);
  auto [cls, routine] = SplitClassAndRoutine(s);
  std::string full = cls.empty() ? routine : cls + "::" + routine;
  // Up to the parameter list: C routines and clones carry none in one of the sources.
  auto [c2, r2] = SplitClassAndRoutine(full);
  size_t from = 0;
  if (r2.compare(0, 10, "operator()") == 0)
    from = 10;
  else if (r2.compare(0, 8, "operator") == 0)
    from = 9;  // past the operator's own first character
  size_t paren = r2.find('(', from);
  if (paren != std::string::npos && paren > 0) r2.erase(paren);
  std::string key = c2.empty() ? r2 : c2 + "::" + r2;
  // addr2line drops the target's leading "_" from names it cannot demangle.
  key.erase(0, key.find_first_not_of('_') == std::string::npos ? 0 : key.find_first_not_of('_'));
  return exclog::NamePiece(key, 400);
}

TPeImage::TPeImage(std::string bytes) : bytes_(std::move(bytes)) {
  if (bytes_.size() < 64 || bytes_.compare(0, 2, "MZ") != 0) throw std::runtime_error("not an MZ image");
  uint32_t pe = Le32(bytes_, 60);
  if (Le32(bytes_, pe) != 0x00004550) throw std::runtime_error("no PE signature");
  uint16_t sectionCount = Le16(bytes_, pe + 6);
  uint16_t optionalSize = Le16(bytes_, pe + 20);
  size_t optional = pe + 24;
  if (Le16(bytes_, optional) != 0x10B) throw std::runtime_error("not a 32-bit image");
  imageBase_ = Le32(bytes_, optional + 28);
  entryPoint_ = Le32(bytes_, optional + 16);
  size_t table = optional + optionalSize;
  for (uint16_t i = 0; i < sectionCount; ++i) {
    size_t at = table + size_t(i) * 40;
    if (at + 40 > bytes_.size()) throw std::runtime_error("section table cut short");
    TSection s;
    s.Name = std::string(bytes_.data() + at, strnlen(bytes_.data() + at, 8));
    s.VirtualSize = Le32(bytes_, at + 8);
    s.Rva = Le32(bytes_, at + 12);
    s.RawSize = Le32(bytes_, at + 16);
    s.RawOffset = Le32(bytes_, at + 20);
    s.Characteristics = Le32(bytes_, at + 36);
    sections_.push_back(s);
  }
}

std::string TPeImage::BytesAt(uint32_t rva, size_t count) const {
  for (const TSection& s : sections_) {
    uint32_t span = std::min(s.RawSize, std::max(s.VirtualSize, s.RawSize));
    if (rva < s.Rva || rva - s.Rva >= span) continue;
    size_t at = size_t(s.RawOffset) + (rva - s.Rva);
    size_t left = std::min<size_t>(span - (rva - s.Rva), count);
    if (at > bytes_.size()) return "";
    return bytes_.substr(at, std::min(left, bytes_.size() - at));
  }
  return "";
}

std::string TPeImage::SectionBytes(const std::string& name) const {
  for (const TSection& s : sections_)
    if (s.Name == name) {
      if (s.RawOffset > bytes_.size()) return "";
      return bytes_.substr(s.RawOffset, std::min<size_t>(std::min(s.RawSize, s.VirtualSize ? s.VirtualSize : s.RawSize),
                                                        bytes_.size() - s.RawOffset));
    }
  return "";
}

std::optional<std::string> TPeImage::RcData(const std::string& wanted) const {
  const TSection* rsrc = nullptr;
  for (const TSection& s : sections_)
    if (s.Name == ".rsrc") rsrc = &s;
  if (!rsrc) return std::nullopt;
  std::string dir = BytesAt(rsrc->Rva, rsrc->RawSize);
  auto entries = [&](uint32_t at) {
    std::vector<std::pair<uint32_t, uint32_t>> out;  // name field, data field
    uint32_t count = uint32_t(Le16(dir, at + 12)) + Le16(dir, at + 14);
    for (uint32_t i = 0; i < count; ++i)
      out.emplace_back(Le32(dir, at + 16 + i * 8), Le32(dir, at + 20 + i * 8));
    return out;
  };
  auto nameOf = [&](uint32_t field) {
    std::string name;
    if (!(field & 0x80000000u)) return name;
    uint32_t at = field & 0x7FFFFFFFu;
    uint16_t length = Le16(dir, at);
    for (uint16_t i = 0; i < length; ++i) name += char(Le16(dir, at + 2 + i * 2u));
    return name;
  };
  try {
    for (auto [typeName, typeData] : entries(0)) {
      if (typeName != 10 || !(typeData & 0x80000000u)) continue;  // RCDATA
      for (auto [name, nameData] : entries(typeData & 0x7FFFFFFFu)) {
        if (nameOf(name) != wanted || !(nameData & 0x80000000u)) continue;
        for (auto [lang, leaf] : entries(nameData & 0x7FFFFFFFu)) {
          if (leaf & 0x80000000u) continue;
          uint32_t rva = Le32(dir, leaf), size = Le32(dir, leaf + 4);
          std::string data = BytesAt(rva, size);
          if (data.size() != size) return std::nullopt;
          return data;
        }
      }
    }
  } catch (const std::runtime_error&) {
  }
  return std::nullopt;
}

namespace {

std::string_view BaseNameOf(std::string_view path) {
  size_t slash = path.find_last_of("/\\");
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

struct TRoutineSpan {
  const TSymbol* Symbol;
  uint32_t Start, End;
  const TLineRow* First;
};

}  // namespace

std::vector<exclog::TQLUnitEntry> BuildUnits(const TBuildInput& input) {
  const uint32_t base = input.Image ? input.Image->ImageBase() : 0;
  // The row that wins at each address: the last one (as addr2line reads the table).
  std::map<uint32_t, const TLineRow*> winner;
  std::vector<uint32_t> sequenceEnds;
  for (const TLineRow& row : input.Rows) {
    if (row.Address < base) continue;
    if (row.EndSequence)
      sequenceEnds.push_back(row.Address);
    else
      winner[row.Address] = &row;
  }
  std::sort(sequenceEnds.begin(), sequenceEnds.end());

  // Routine starts: text symbols, one per address, labels skipped.
  std::vector<const TSymbol*> starts;
  for (const TSymbol& s : input.Symbols) {
    if ((s.Type != 't' && s.Type != 'T') || s.Name.empty() || s.Name[0] == '.') continue;
    if (!starts.empty() && starts.back()->Address == s.Address) continue;
    starts.push_back(&s);
  }
  uint32_t textEnd = 0;
  if (input.Image)
    for (const auto& sec : input.Image->Sections())
      if (sec.Name == ".text") textEnd = base + sec.Rva + std::max(sec.VirtualSize, 1u);
  std::string entryFile;
  if (input.EntryAddress) {
    auto at = winner.upper_bound(input.EntryAddress);
    if (at != winner.begin()) entryFile = std::prev(at)->second->File;
  }

  // Each routine's span and whether it is ours: its first row in our sources (or
  // the entry's file); or, when its first row is another file's but later rows
  // are ours (its code starts with an inlined library routine), when its own
  // frame at its start is in our sources. A library template made for our code
  // has rows of ours too, but its own frame is the library's.
  struct TCandidate {
    uint32_t Start, End;
    std::map<uint32_t, const TLineRow*>::const_iterator First;
    bool Ours;
  };
  auto inSources = [&input](const std::string& file) { return file.rfind(input.SourceRoot, 0) == 0; };
  std::vector<TCandidate> candidates;
  std::vector<uint32_t> doubtful;  // starts of routines whose own frame decides
  for (size_t i = 0; i < starts.size(); ++i) {
    uint32_t start = starts[i]->Address;
    uint32_t end = i + 1 < starts.size() ? starts[i + 1]->Address : textEnd;
    auto sequenceEnd = std::upper_bound(sequenceEnds.begin(), sequenceEnds.end(), start);
    if (sequenceEnd != sequenceEnds.end() && *sequenceEnd < end) end = *sequenceEnd;
    auto first = winner.find(start);
    TCandidate c{start, end, first, false};
    if (end > start && start >= base && first != winner.end()) {
      c.Ours = input.SourceRoot.empty() || inSources(first->second->File) || first->second->File == entryFile;
      if (!c.Ours && input.OuterLines)
        for (auto it = std::next(first); it != winner.end() && it->first < end; ++it)
          if (inSources(it->second->File)) {
            doubtful.push_back(start);
            break;
          }
    }
    candidates.push_back(c);
  }
  if (!doubtful.empty()) {
    std::vector<TOuterLine> answers = input.OuterLines(doubtful);
    std::set<uint32_t> own;
    for (size_t i = 0; i < std::min(answers.size(), doubtful.size()); ++i)
      if (inSources(answers[i].File)) own.insert(doubtful[i]);
    for (TCandidate& c : candidates) c.Ours = c.Ours || own.count(c.Start) > 0;
  }

  // The routines kept, or null where a run of kept routines breaks.
  std::vector<std::optional<TRoutineSpan>> spans;
  std::vector<uint32_t> rowAddresses;
  for (size_t i = 0; i < starts.size(); ++i) {
    const TCandidate& c = candidates[i];
    if (!c.Ours) {
      if (!spans.empty() && spans.back()) spans.emplace_back();
      continue;
    }
    const uint32_t start = c.Start, end = c.End;
    auto first = c.First;
    spans.push_back(TRoutineSpan{starts[i], start, end, first->second});
    size_t before = rowAddresses.size();
    for (auto it = first; it != winner.end() && it->first < end; ++it) rowAddresses.push_back(it->first);
    auto code = std::lower_bound(input.Instructions.begin(), input.Instructions.end(), start);
    for (; code != input.Instructions.end() && *code < end; ++code) rowAddresses.push_back(*code);
    std::sort(rowAddresses.begin() + static_cast<std::ptrdiff_t>(before), rowAddresses.end());
    rowAddresses.erase(std::unique(rowAddresses.begin() + static_cast<std::ptrdiff_t>(before), rowAddresses.end()),
                       rowAddresses.end());
  }
  std::map<uint32_t, TOuterLine> outer;  // address -> the outermost frame's place there
  if (input.OuterLines && !rowAddresses.empty()) {
    std::vector<TOuterLine> answers = input.OuterLines(rowAddresses);
    for (size_t i = 0; i < std::min(answers.size(), rowAddresses.size()); ++i)
      if (answers[i].Line) outer[rowAddresses[i]] = std::move(answers[i]);
  }

  std::vector<exclog::TQLUnitEntry> units;
  std::string previousFile;
  bool previousKept = false;
  uint32_t previousEnd = 0;
  for (const auto& span : spans) {
    if (!span) {
      previousKept = false;
      continue;
    }
    // The routine's file: its own frame's at its start (its first row may be an
    // inlined routine's), else its first row's.
    auto startAnswer = outer.find(span->Start);
    const std::string file(startAnswer != outer.end() ? BaseNameOf(startAnswer->second.File)
                                                      : BaseNameOf(span->First->File));
    // The routine's own line at an address: the answer in its own file, else the
    // row there when it is the file's (0: nothing known).
    auto lineAt = [&](uint32_t address, const TLineRow* row) -> uint32_t {
      auto it = outer.find(address);
      if (it != outer.end() && BaseNameOf(it->second.File) == file) return it->second.Line;
      return row && BaseNameOf(row->File) == file ? row->Line : 0;
    };
    exclog::TQLRoutineEntry routine;
    auto [cls, name] = SplitClassAndRoutine(DemangledName(span->Symbol->Name));
    routine.ClassName = cls;
    routine.RoutineName = name;
    routine.Offset = span->Start - base;
    routine.FirstLine = lineAt(span->Start, span->First);
    if (!routine.FirstLine) routine.FirstLine = span->First->Line;
    if (input.Image) {
      std::string code = input.Image->BytesAt(span->Start - base, 3);
      routine.FramePrologue =
          exclog::StartsWithFramePrologue(reinterpret_cast<const uint8_t*>(code.data()), code.size());
    }
    uint32_t current = routine.FirstLine;
    auto from = std::upper_bound(rowAddresses.begin(), rowAddresses.end(), span->Start);
    for (auto at = from; at != rowAddresses.end() && *at < span->End; ++at) {
      auto row = winner.find(*at);
      uint32_t line = lineAt(*at, row == winner.end() ? nullptr : row->second);
      if (line && line != current) routine.Lines.push_back({*at - base, line});
      if (line) current = line;
    }

    if (!(previousKept && previousFile == file && previousEnd == span->Start)) {
      exclog::TQLUnitEntry unit;
      const std::string& source = file;
      unit.SourceFile = source;
      unit.UnitName = source.substr(0, source.rfind('.'));
      unit.Offset = span->Start - base;
      units.push_back(std::move(unit));
    }
    units.back().Routines.push_back(std::move(routine));
    units.back().Size = span->End - base - units.back().Offset;
    previousFile = file;
    previousKept = true;
    previousEnd = span->End;
  }
  return units;
}

TSettings ParseSettings(std::string_view text) {
  TSettings settings;
  int number = 0;
  for (std::string_view raw : Lines(text)) {
    ++number;
    std::string line = Trim(raw);
    if (line.empty() || line[0] == '#') continue;
    size_t eq = line.find('=');
    if (eq == std::string::npos) throw std::runtime_error("settings line " + std::to_string(number) + ": no '='");
    std::string key = Trim(line.substr(0, eq)), value = Trim(line.substr(eq + 1));
    auto byteValue = [&]() {
      uint32_t v = 0;
      if (!ParseDec(value, v) || v > 255)
        throw std::runtime_error("settings line " + std::to_string(number) + ": not a byte");
      return static_cast<uint8_t>(v);
    };
    if (key == "PassPhrase") {
      if (value.empty()) throw std::runtime_error("settings line " + std::to_string(number) + ": empty pass phrase");
      settings.PassPhrase = value;
    } else if (key == "OptionsByte") {
      settings.OptionsByte = byteValue();
    } else if (key == "MainModuleByte") {
      settings.MainModuleByte = byteValue();
    } else {
      settings.Values[key] = value;
    }
  }
  OptionsStreamFor(settings);  // rejects unknown option names now
  return settings;
}

namespace {

// "Text<index>" names one of the options' texts; -1 for any other key.
int TextKeyIndex(const std::string& key) {
  constexpr std::string_view prefix = "Text";
  if (key.size() <= prefix.size() || key.size() > prefix.size() + 3 || key.compare(0, prefix.size(), prefix) != 0)
    return -1;
  int index = 0;
  for (size_t i = prefix.size(); i < key.size(); ++i) {
    if (key[i] < '0' || key[i] > '9') return -1;
    index = index * 10 + (key[i] - '0');
  }
  return index < exclog::TextCount ? index : -1;
}

}  // namespace

std::string OptionsStreamFor(const TSettings& settings) {
  exclog::TQuelbaModuleOptions options;
  for (const auto& [key, value] : settings.Values) {
    auto number = [&, key = key, value = value]() {
      char* end = nullptr;
      long v = std::strtol(value.c_str(), &end, 10);
      if (value.empty() || *end) throw std::runtime_error("setting " + key + ": not a number");
      return v;
    };
    if (key == "SenderEmail") options.SetSenderEmail(value);
    else if (key == "SmtpHost") options.SetSmtpHost(value);
    else if (key == "SmtpPort") options.SetSmtpPort(static_cast<uint16_t>(number()));
    else if (key == "MailRecipients") options.SetMailRecipients(value);
    else if (key == "MailSubject") options.SetMailSubject(value);
    else if (key == "SupportUrl") options.SetSupportUrl(value);
    else if (key == "LogFolder") options.SetLogFolder(value);
    else if (key == "SaveLogFile") options.SetSaveLogFile(static_cast<uint8_t>(number()));
    else if (key == "LogFlags") options.SetLogFlags(static_cast<uint8_t>(number()));
    else if (key == "ProcessFlags") options.SetProcessFlags(static_cast<uint16_t>(number()));
    else if (key == "FreezeSeconds") options.SetFreezeSeconds(static_cast<int32_t>(number()));
    else if (key == "FreezeWatch") options.SetFreezeWatch(static_cast<uint8_t>(number()));
    else if (key == "StackDetailFlags") options.SetStackDetailFlags(static_cast<uint8_t>(number()));
    else if (key == "CatchFlags") options.SetCatchFlags(static_cast<uint16_t>(number()));
    else if (key == "MailMode") options.SetMailMode(static_cast<uint8_t>(number()));
    else if (key == "WebSendMode") options.SetWebSendMode(static_cast<uint8_t>(number()));
    else if (key == "WebUrl") options.SetWebUrl(value);
    else if (key == "AskBeforeSending") options.SetAskBeforeSending(static_cast<uint8_t>(number()));
    else if (key == "DialogFlags") options.SetDialogFlags(static_cast<uint16_t>(number()));
    else if (key == "TerminateAction") options.SetTerminateAction(static_cast<uint8_t>(number()));
    else if (key == "TerminateButtonAfter") options.SetTerminateButtonAfter(static_cast<int32_t>(number()));
    else if (key == "AutoCloseSeconds") options.SetAutoCloseSeconds(static_cast<int32_t>(number()));
    else if (key == "InitialPage") options.SetInitialPage(static_cast<uint8_t>(number()));
    else if (int index = TextKeyIndex(key); index >= 0) options.SetText(index, value);
    else throw std::runtime_error("unknown setting " + key);
  }
  return options.SaveToBytes();
}

namespace {

// A template routine's name carries its return type before a space.
std::string WithoutReturnType(std::string name) {
  if (name.find("operator") != std::string::npos) return name;
  int depth = 0;
  size_t space = std::string::npos;
  for (size_t i = 0; i < name.size(); ++i) {
    if (name[i] == '<' || name[i] == '(') ++depth;
    if ((name[i] == '>' || name[i] == ')') && depth > 0) --depth;
    if (name[i] == ' ' && depth == 0) space = i;
  }
  if (space != std::string::npos) name.erase(0, space + 1);
  return name;
}

}  // namespace

bool SameRoutine(const std::string& oursClass, const std::string& oursRoutine, const std::string& theirsRaw) {
  // addr2line drops the "_" of "_Z..." as the target's prefix and then cannot demangle.
  std::string theirs = theirsRaw;
  if (theirs.rfind("Z", 0) == 0) {
    std::string demangled = DemangledName("__" + theirs);
    if (demangled != "_" + theirs) theirs = demangled;
  }
  std::string b = ComparableRoutine(theirs);
  // A name without its linkage name in the debug data comes bare from addr2line.
  if (SplitClassAndRoutine(b).first.empty()) {
    std::string last = WithoutReturnType(ComparableRoutine(oursRoutine));
    last.erase(0, std::min(last.find_first_not_of('_'), last.size()));
    std::string bare = WithoutReturnType(b);
    // Some template instances carry an empty argument list in the debug data
    // ("Generic<>" for Generic<T>): compare up to the template's arguments.
    if (bare.size() > 2 && bare.compare(bare.size() - 2, 2, "<>") == 0) {
      std::string stem = bare.substr(0, bare.size() - 1);
      return last.compare(0, stem.size(), stem) == 0;
    }
    return last == bare;
  }
  // A piece cut to the name format's limit is compared as far as it goes.
  std::string a = ComparableRoutine(oursClass.empty() ? oursRoutine : oursClass + "::" + oursRoutine);
  if (oursClass.size() >= exclog::QLNamePieceMax || oursRoutine.size() >= exclog::QLNamePieceMax) {
    std::string full = exclog::NamePiece(theirs, 400);
    return full.compare(0, oursClass.size(), exclog::NamePiece(oursClass, 400)) == 0;
  }
  return a == b;
}

bool IsCodeOrDataSection(const std::string& name) {
  static const char* const names[] = {".text", ".data", ".rdata", ".eh_frame", ".bss",
                                      ".idata", ".edata", ".CRT",  ".tls"};
  return std::find_if(std::begin(names), std::end(names), [&](const char* n) { return name == n; }) !=
         std::end(names);
}

bool SameCodeAndData(const TPeImage& first, const TPeImage& second, std::string* difference) {
  auto report = [&](const std::string& what) {
    if (difference) *difference = what;
    return false;
  };
  if (first.ImageBase() != second.ImageBase()) return report("image base");
  size_t compared = 0;
  for (const auto& s : first.Sections()) {
    if (!IsCodeOrDataSection(s.Name)) continue;
    ++compared;
    auto other = std::find_if(second.Sections().begin(), second.Sections().end(),
                              [&](const TPeImage::TSection& t) { return t.Name == s.Name; });
    if (other == second.Sections().end() || other->Rva != s.Rva || other->VirtualSize != s.VirtualSize ||
        first.SectionBytes(s.Name) != second.SectionBytes(s.Name))
      return report(s.Name);
  }
  for (const auto& t : second.Sections())
    if (IsCodeOrDataSection(t.Name) &&
        std::none_of(first.Sections().begin(), first.Sections().end(),
                     [&](const TPeImage::TSection& s) { return s.Name == t.Name; }))
      return report(t.Name);
  if (compared == 0) return report("no code section");
  return true;
}

std::string AddDebugSection(const std::string& image, const std::string& data, const std::string& name) {
  auto u16 = [&](size_t at) -> uint32_t {
    if (at + 2 > image.size()) throw std::runtime_error("truncated image");
    return uint8_t(image[at]) | uint8_t(image[at + 1]) << 8;
  };
  auto u32 = [&](size_t at) -> uint32_t { return u16(at) | u16(at + 2) << 16; };
  std::string out = image;
  auto put32 = [&](size_t at, uint32_t v) { std::memcpy(&out[at], &v, 4); };
  auto align = [](uint32_t v, uint32_t a) { return a ? (v + a - 1) / a * a : v; };
  uint32_t nt = u32(60);
  uint32_t sections = u16(nt + 6), optionalSize = u16(nt + 20);
  size_t optional = nt + 24, table = optional + optionalSize;
  uint32_t sectionAlign = u32(optional + 32), fileAlign = u32(optional + 36), headers = u32(optional + 60);
  size_t header = table + 40 * size_t(sections);
  uint32_t firstRaw = headers;
  uint32_t end = 0;
  for (uint32_t i = 0; i < sections; ++i) {
    size_t at = table + 40 * size_t(i);
    uint32_t raw = u32(at + 20);
    if (raw && raw < firstRaw) firstRaw = raw;
    end = std::max(end, u32(at + 12) + std::max(u32(at + 8), u32(at + 16)));
  }
  if (header + 40 > firstRaw || header + 40 > headers) throw std::runtime_error("no room for another section header");
  uint32_t rva = align(end, sectionAlign);
  uint32_t rawAt = align(static_cast<uint32_t>(out.size()), fileAlign);
  uint32_t rawSize = align(static_cast<uint32_t>(data.size()), fileAlign);
  out.resize(rawAt, '\0');
  out += data;
  out.resize(size_t(rawAt) + rawSize, '\0');
  std::string section(40, '\0');
  std::memcpy(&section[0], name.data(), std::min<size_t>(name.size(), 8));
  auto set = [&](size_t at, uint32_t v) { std::memcpy(&section[at], &v, 4); };
  set(8, static_cast<uint32_t>(data.size()));
  set(12, rva);
  set(16, rawSize);
  set(20, rawAt);
  set(36, 0x40000040u);  // initialised data, readable
  out.replace(header, 40, section);
  uint16_t count = static_cast<uint16_t>(sections + 1);
  std::memcpy(&out[nt + 6], &count, 2);
  put32(optional + 56, align(rva + static_cast<uint32_t>(data.size()), sectionAlign));
  if (u32(optional + 92) < 7) throw std::runtime_error("no debug directory entry");
  put32(optional + 96 + 6 * 8, rva);
  put32(optional + 96 + 6 * 8 + 4, static_cast<uint32_t>(data.size()));
  return out;
}

}  // namespace qldata
