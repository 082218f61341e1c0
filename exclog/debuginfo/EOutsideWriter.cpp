#include "exclog/debuginfo/EOutsideWriter.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>

namespace exclog {

namespace {

std::string Piece(const std::string& text) {
  std::string out = NamePiece(text, 255);
  std::replace(out.begin(), out.end(), ' ', '_');
  return out;
}

std::string Hex(uint32_t value, int digits) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%0*X", digits, value);
  return buffer;
}

std::string Address(uint32_t offset) { return "0001:" + Hex(offset, 8); }

}  // namespace

std::string QualifiedRoutine(const TQLUnitEntry& unit, const TQLRoutineEntry& routine) {
  std::string out = Piece(unit.UnitName);
  if (!routine.ClassName.empty()) out += "." + Piece(routine.ClassName);
  return out + "." + Piece(routine.RoutineName);
}

std::string WriteMapFile(const std::vector<TQLUnitEntry>& units, uint32_t codeStart, uint32_t codeSize) {
  std::string out = "\r\n Start         Length     Name                   Class\r\n";
  out += " " + Address(codeStart) + " " + Hex(codeSize, 9) + "H .text                   CODE\r\n\r\n\r\n";
  out += "Detailed map of segments\r\n\r\n";
  std::vector<std::pair<uint32_t, std::string>> publics;
  for (const TQLUnitEntry& unit : units) {
    out += " " + Address(unit.Offset - codeStart) + " " + Hex(unit.Size, 8) +
           " C=CODE     S=.text    G=(none)   M=" + Piece(unit.UnitName) + " ACBP=A9\r\n";
    for (const TQLRoutineEntry& routine : unit.Routines)
      publics.emplace_back(routine.Offset - codeStart, QualifiedRoutine(unit, routine));
  }
  auto publicLine = [](const std::pair<uint32_t, std::string>& p) {
    return " " + Address(p.first) + "       " + p.second + "\r\n";
  };
  std::vector<std::pair<uint32_t, std::string>> byName = publics;
  std::stable_sort(byName.begin(), byName.end(), [](const auto& a, const auto& b) { return a.second < b.second; });
  out += "\r\n\r\n  Address         Publics by Name\r\n\r\n";
  for (const auto& p : byName) out += publicLine(p);
  out += "\r\n\r\n  Address         Publics by Value\r\n\r\n";
  for (const auto& p : publics) out += publicLine(p);
  for (const TQLUnitEntry& unit : units) {
    out += "\r\n\r\nLine numbers for " + Piece(unit.UnitName) + "(" + unit.SourceFile + ") segment .text\r\n\r\n";
    int column = 0;
    auto pair = [&](uint32_t line, uint32_t offset) {
      std::string number = std::to_string(line);
      out += std::string(number.size() < 6 ? 6 - number.size() : 0, ' ') + number + " " + Address(offset - codeStart);
      if (++column == 4) {
        out += "\r\n";
        column = 0;
      }
    };
    for (const TQLRoutineEntry& routine : unit.Routines) {
      pair(routine.FirstLine, routine.Offset);
      for (const TQLLineRow& row : routine.Lines) pair(row.Line, row.Offset);
    }
    if (column) out += "\r\n";
  }
  out += "\r\n";
  return out;
}

void WritePackedNumber(std::string& out, uint32_t value) {
  do {
    uint8_t b = value & 0x7F;
    value >>= 7;
    if (value) b |= 0x80;
    out += static_cast<char>(b);
  } while (value);
}

std::string WriteBinaryDebugData(const std::vector<TQLUnitEntry>& units, uint32_t codeStart, bool withChecksum) {
  std::string names(1, '\0');
  std::map<std::string, uint32_t> nameOffsets{{"", 0}};
  auto nameOf = [&](const std::string& text) {
    auto [it, added] = nameOffsets.emplace(text, static_cast<uint32_t>(names.size()));
    if (added) names += text + '\0';
    return it->second;
  };
  struct TRow {
    uint32_t Address, A, B;
  };
  std::vector<TRow> unitRows, sourceRows, procedureRows, lineRows;
  for (const TQLUnitEntry& unit : units) {
    uint32_t start = unit.Offset - codeStart;
    unitRows.push_back({start, nameOf(Piece(unit.UnitName)), 0});
    sourceRows.push_back({start, nameOf(unit.SourceFile), 0});
    for (const TQLRoutineEntry& routine : unit.Routines) {
      std::string qualifier = Piece(unit.UnitName);
      if (!routine.ClassName.empty()) qualifier += "." + Piece(routine.ClassName);
      procedureRows.push_back({routine.Offset - codeStart, nameOf(qualifier), nameOf(Piece(routine.RoutineName))});
      lineRows.push_back({routine.Offset - codeStart, routine.FirstLine, 0});
      for (const TQLLineRow& row : routine.Lines) lineRows.push_back({row.Offset - codeStart, row.Line, 0});
    }
  }
  std::stable_sort(lineRows.begin(), lineRows.end(), [](const TRow& a, const TRow& b) { return a.Address < b.Address; });
  std::string out(36, '\0');
  std::memcpy(&out[0], "JDBG", 4);
  out[4] = 1;
  out[5] = withChecksum ? 1 : 0;
  auto putWord = [&](size_t at, uint32_t v) { std::memcpy(&out[at], &v, 4); };
  auto table = [&](size_t headerAt, const std::vector<TRow>& rows, int values) {
    putWord(headerAt, static_cast<uint32_t>(out.size()));
    TRow last{0, 0, 0};
    for (const TRow& row : rows) {
      WritePackedNumber(out, row.Address - last.Address);
      WritePackedNumber(out, row.A - last.A);
      if (values == 2) WritePackedNumber(out, row.B - last.B);
      last = row;
    }
    WritePackedNumber(out, 0x7FFFFFFF);
  };
  table(12, unitRows, 1);
  table(16, sourceRows, 1);
  table(20, procedureRows, 2);
  table(24, lineRows, 1);
  putWord(28, static_cast<uint32_t>(out.size()));
  out += names;
  out.resize((out.size() + 3) / 4 * 4, '\0');
  if (withChecksum) {
    uint32_t sum = 0;
    for (size_t at = 0; at < out.size(); at += 4) {
      uint32_t w;
      std::memcpy(&w, &out[at], 4);
      sum += w;
    }
    putWord(8, (sum >> 8) | (sum << 24));
  }
  return out;
}

namespace {

void Put16(std::string& out, uint16_t v) { out.append(reinterpret_cast<const char*>(&v), 2); }
void Put32(std::string& out, uint32_t v) { out.append(reinterpret_cast<const char*>(&v), 4); }

}  // namespace

std::string WriteTD32Data(const std::vector<TQLUnitEntry>& units, uint32_t codeStart) {
  std::vector<std::string> names;
  auto nameIndex = [&](const std::string& text) {
    names.push_back(text.substr(0, 255));
    return static_cast<uint32_t>(names.size());
  };
  struct TEntry {
    uint16_t Type;
    std::string Data;
  };
  std::vector<TEntry> subsections;
  std::string symbols;
  Put32(symbols, 1);
  for (const TQLUnitEntry& unit : units) {
    uint32_t start = unit.Offset - codeStart, end = start + unit.Size;
    std::string module;
    Put16(module, 0);
    Put16(module, 0);
    Put16(module, 1);
    Put16(module, 0x5643);  // "CV"
    Put32(module, nameIndex(Piece(unit.UnitName)));
    module.append(16, '\0');
    Put16(module, 1);
    Put16(module, 0);
    Put32(module, start);
    Put32(module, unit.Size);
    subsections.push_back({0x120, module});

    std::vector<std::pair<uint32_t, uint32_t>> rows;
    for (size_t i = 0; i < unit.Routines.size(); ++i) {
      const TQLRoutineEntry& routine = unit.Routines[i];
      rows.emplace_back(routine.Offset - codeStart, routine.FirstLine);
      for (const TQLLineRow& row : routine.Lines) rows.emplace_back(row.Offset - codeStart, row.Line);
      uint32_t next = i + 1 < unit.Routines.size() ? unit.Routines[i + 1].Offset - codeStart : end;
      std::string proc;
      Put16(proc, 40);
      Put16(proc, 517);
      Put32(proc, 0);
      Put32(proc, 0);
      Put32(proc, 0);
      Put32(proc, next - (routine.Offset - codeStart));
      Put32(proc, 0);
      Put32(proc, 0);
      Put32(proc, routine.Offset - codeStart);
      Put16(proc, 1);
      Put32(proc, 0);
      Put32(proc, nameIndex(QualifiedRoutine(unit, routine)));
      symbols += proc;
    }
    std::stable_sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::string source;
    Put16(source, 1);   // files
    Put16(source, 1);   // segments
    Put32(source, 20);  // the file's entry
    Put32(source, start);
    Put32(source, end);
    Put16(source, 1);
    source.append(2, '\0');
    Put16(source, 1);   // line blocks of the file
    Put32(source, nameIndex(unit.SourceFile));
    Put32(source, 38);  // its line block
    Put32(source, start);
    Put32(source, end);
    Put16(source, 1);
    Put16(source, static_cast<uint16_t>(rows.size()));
    for (const auto& row : rows) Put32(source, row.first);
    for (const auto& row : rows) Put16(source, static_cast<uint16_t>(row.second));
    subsections.push_back({0x127, source});
  }
  subsections.push_back({0x125, symbols});
  std::string table;
  Put32(table, static_cast<uint32_t>(names.size()));
  for (const std::string& name : names) {
    table += static_cast<char>(name.size());
    table += name;
    table += '\0';
  }
  subsections.push_back({0x130, table});

  std::string out = "FB09";
  Put32(out, 0);
  std::vector<uint32_t> offsets;
  for (const TEntry& e : subsections) {
    offsets.push_back(static_cast<uint32_t>(out.size()));
    out += e.Data;
    while (out.size() % 4) out += '\0';
  }
  uint32_t directory = static_cast<uint32_t>(out.size());
  std::memcpy(&out[4], &directory, 4);
  Put16(out, 16);
  Put16(out, 12);
  Put32(out, static_cast<uint32_t>(subsections.size()));
  Put32(out, 0);
  Put32(out, 0);
  for (size_t i = 0; i < subsections.size(); ++i) {
    Put16(out, subsections[i].Type);
    Put16(out, 0);
    Put32(out, offsets[i]);
    Put32(out, static_cast<uint32_t>(subsections[i].Data.size()));
  }
  return out;
}

}  // namespace exclog
