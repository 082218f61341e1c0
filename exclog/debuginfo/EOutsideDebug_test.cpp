#include "exclog/debuginfo/EOutsideDebug.h"
#include "exclog/debuginfo/EDebugInfoSources.h"

#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <map>

#include "exclog/debuginfo/EOutsideWriter.h"
#include "exclog/debuginfo/ETD32.h"

namespace exclog {
namespace {

constexpr uintptr_t Module = 0x10000000;

// Two units of two and one routines, code section at 0x1000.
std::vector<TQLUnitEntry> SampleUnits() {
  TQLRoutineEntry first{.RoutineName = "First", .Offset = 0x1010, .FirstLine = 10, .Lines = {{0x1018, 11}, {0x1030, 14}}};
  // A line above the routine's first: offset stays 0.
  TQLRoutineEntry method{"TKlass", "Method", 0x1080, 30, false, {{0x1090, 28}}};
  TQLRoutineEntry second{.RoutineName = "Second", .Offset = 0x1120, .FirstLine = 40, .Lines = {{0x1130, 42}}};
  return {{"UnitA", "src/UnitA.cpp", 0x1000, 0x100, {first, method}}, {"UnitB", "UnitB.cpp", 0x1100, 0x100, {second}}};
}

// Module files held in memory.
TModuleFiles Files(std::map<std::string, std::string> files, std::map<std::string, std::string> resources = {},
                   std::optional<std::string> section = std::nullopt) {
  TModuleFiles out;
  out.DebugSection = [section] { return section; };
  out.FileName = "C:\\app\\lib.dll";
  out.ReadFile = [files](const std::string& path) -> std::optional<std::string> {
    auto it = files.find(path);
    if (it == files.end()) return std::nullopt;
    return it->second;
  };
  out.Resource = [resources](const std::string& name) -> std::optional<std::string> {
    auto it = resources.find(name);
    if (it == resources.end()) return std::nullopt;
    return it->second;
  };
  return out;
}

struct TExpected {
  uint32_t Offset;  // module-relative
  const char* Routine;
  const char* Unit;
  uint32_t Line, FromStart;
  const char* Source;
};

void ExpectAnswers(const TQLDebugInfoSource& source, const char* label) {
  const TExpected cases[] = {
      {0x1010, "UnitA.First", "UnitA", 10, 0, "src/UnitA.cpp"},
      {0x101F, "UnitA.First", "UnitA", 11, 1, "src/UnitA.cpp"},
      {0x1031, "UnitA.First", "UnitA", 14, 4, "src/UnitA.cpp"},
      {0x1095, "UnitA.TKlass.Method", "UnitA", 28, 0, "src/UnitA.cpp"},
      {0x1131, "UnitB.Second", "UnitB", 42, 2, "UnitB.cpp"},
  };
  for (const TExpected& c : cases) {
    TQLLocationInfo info;
    ASSERT_TRUE(source.FindLocation(Module + c.Offset, info)) << label << " " << std::hex << c.Offset;
    EXPECT_EQ(info.RoutineText, c.Routine) << label;
    EXPECT_EQ(info.UnitText, c.Unit) << label;
    EXPECT_EQ(info.SourceLine, c.Line) << label << " " << std::hex << c.Offset;
    EXPECT_EQ(info.LinesFromStart, c.FromStart) << label << " " << std::hex << c.Offset;
    EXPECT_EQ(info.SourceFile, c.Source) << label;
    EXPECT_EQ(info.Reader, &source);
  }
  TQLLocationInfo info;
  EXPECT_FALSE(source.FindLocation(Module + 0x0FFF, info)) << label << ": below the first unit";
  EXPECT_FALSE(source.FindLocation(Module + 0x800, info)) << label;
}

// SampleUnits as a map file laid out by hand: code offsets count from the code
// section, a data segment beside the code one.
const char kHandMap[] =
    "\r\n"
    " Start         Length     Name                   Class\r\n"
    " 0001:00001000 000000200H .text                   CODE\r\n"
    " 0002:00000000 000000010H .data                   DATA\r\n"
    "\r\n\r\n"
    "Detailed map of segments\r\n"
    "\r\n"
    " 0001:00000000 00000100 C=CODE     S=.text    G=(none)   M=UnitA ACBP=A9\r\n"
    " 0001:00000100 00000100 C=CODE     S=.text    G=(none)   M=UnitB ACBP=A9\r\n"
    "\r\n\r\n"
    "  Address         Publics by Name\r\n"
    "\r\n"
    " 0001:00000010       UnitA.First\r\n"
    " 0001:00000080       UnitA.TKlass.Method\r\n"
    " 0001:00000120       UnitB.Second\r\n"
    "\r\n\r\n"
    "  Address         Publics by Value\r\n"
    "\r\n"
    " 0001:00000010       UnitA.First\r\n"
    " 0001:00000080       UnitA.TKlass.Method\r\n"
    " 0001:00000120       UnitB.Second\r\n"
    "\r\n\r\n"
    "Line numbers for UnitA(src/UnitA.cpp) segment .text\r\n"
    "\r\n"
    "    10 0001:00000010    11 0001:00000018    14 0001:00000030    30 0001:00000080\r\n"
    "    28 0001:00000090\r\n"
    "\r\n\r\n"
    "Line numbers for UnitB(UnitB.cpp) segment .text\r\n"
    "\r\n"
    "    40 0001:00000120    42 0001:00000130\r\n"
    "\r\n";

// SampleUnits as binary debug data laid out by hand (names, tables, header).
std::string HandLaidBinaryData(bool withChecksum) {
  // Name area: offset 0 is the empty name.
  const std::string names("\0UnitA\0src/UnitA.cpp\0UnitB\0UnitB.cpp\0First\0UnitA.TKlass\0Method\0Second\0", 70);
  // 1 UnitA, 7 src/UnitA.cpp, 21 UnitB, 27 UnitB.cpp, 37 First, 43 UnitA.TKlass, 56 Method, 63 Second.
  const std::string end("\xFF\xFF\xFF\xFF\x07", 5);  // 0x7FFFFFFF
  // Units: (+0, +1) (+0x100, +20).
  const std::string units = std::string("\x00\x01\x80\x02\x14", 5) + end;
  // Source names: (+0, +7) (+0x100, +20).
  const std::string sources = std::string("\x00\x07\x80\x02\x14", 5) + end;
  // Procedures: (+0x10, +1, +37) (+0x70, +42, +19) (+0xA0, -22, +7).
  const std::string procedures = std::string("\x10\x01\x25\x70\x2A\x13\xA0\x01\xEA\xFF\xFF\xFF\x0F\x07", 14) + end;
  // Lines: (+0x10, +10) (+8, +1) (+0x18, +3) (+0x50, +16) (+0x10, -2) (+0x90, +12) (+0x10, +2).
  const std::string lines = std::string("\x10\x0A\x08\x01\x18\x03\x50\x10\x10\xFE\xFF\xFF\xFF\x0F\x90\x01\x0C\x10\x02", 19) + end;
  std::string data("JDBG\x01", 5);
  data += withChecksum ? '\x01' : '\x00';
  data.append(30, '\0');
  uint32_t at = 36;
  for (int i = 0; i < 4; ++i) {
    const std::string* table[] = {&units, &sources, &procedures, &lines};
    std::memcpy(&data[12 + 4 * i], &at, 4);
    data += *table[i];
    at += static_cast<uint32_t>(table[i]->size());
  }
  std::memcpy(&data[28], &at, 4);
  data += names;
  data.resize((data.size() + 3) / 4 * 4, '\0');
  if (withChecksum) {
    uint32_t sum = 0;
    for (size_t i = 0; i < data.size(); i += 4) {
      uint32_t word;
      std::memcpy(&word, &data[i], 4);
      sum += word;
    }
    const uint32_t checksum = sum >> 8 | sum << 24;
    std::memcpy(&data[8], &checksum, 4);
  }
  return data;
}

TEST(OutsideDebug, MapFileInEveryLineEnding) {
  std::string map = WriteMapFile(SampleUnits(), 0x1000, 0x200);
  std::string lf, cr;
  for (char c : map) {
    if (c != '\r') lf += c;
    if (c != '\n') cr += c;
  }
  for (const std::string& text : {map, lf, cr, std::string(kHandMap)}) {
    auto source = CreateDebugInfoSource(Module, Files({{"C:\\app\\lib.map", text}}));
    ASSERT_TRUE(source);
    EXPECT_TRUE(dynamic_cast<TQLDebugInfoMap*>(source.get()));
    ExpectAnswers(*source, "map");
    TQLLocationInfo info;
    EXPECT_FALSE(source->FindLocation(Module + 0x1200, info)) << "past the last unit";
  }
  // An offset that overflows 32 bits ends its entry; the others stay.
  std::string overflow = map;
  size_t at = overflow.find("0001:00000130");
  overflow.replace(at, 13, "0001:1000000000130");
  TQLMapScanner scanner(overflow);
  EXPECT_EQ(scanner.Lines().size(), 6u);
  EXPECT_EQ(TQLMapScanner("").Segments().size(), 0u);
  EXPECT_FALSE(CreateDebugInfoSource(Module, Files({{"C:\\app\\lib.map", "no map at all\r\n"}})));
}

TEST(OutsideDebug, BinaryDataFromResourceOrFileWithChecksums) {
  for (bool checksum : {false, true}) {
    std::string data = WriteBinaryDebugData(SampleUnits(), 0x1000, checksum);
    auto fromFile = CreateDebugInfoSource(Module, Files({{"C:\\app\\lib.jdbg", data}}));
    ASSERT_TRUE(fromFile);
    EXPECT_TRUE(dynamic_cast<TQLDebugInfoJedy*>(fromFile.get()));
    ExpectAnswers(*fromFile, "file");
    auto fromResource = CreateDebugInfoSource(Module, Files({}, {{"JCLDEBUG", data}}));
    ASSERT_TRUE(fromResource);
    ExpectAnswers(*fromResource, "resource");
    auto byHand = CreateDebugInfoSource(Module, Files({{"C:\\app\\lib.jdbg", HandLaidBinaryData(checksum)}}));
    ASSERT_TRUE(byHand) << "laid out by hand, checksum " << checksum;
    ExpectAnswers(*byHand, "laid out by hand");
  }
  std::string map = WriteMapFile(SampleUnits(), 0x1000, 0x200);
  std::string data = WriteBinaryDebugData(SampleUnits(), 0x1000, true);
  auto both = CreateDebugInfoSource(Module, Files({{"C:\\app\\lib.map", map}, {"C:\\app\\lib.jdbg", data}}));
  EXPECT_TRUE(dynamic_cast<TQLDebugInfoMap*>(both.get())) << "the map file wins";
}

bool Opens(const std::string& data, const char* file = "C:\\app\\lib.jdbg") {
  return CreateDebugInfoSource(Module, Files({{file, data}})) != nullptr;
}

void PutWord(std::string& data, size_t at, uint32_t value) { std::memcpy(&data[at], &value, 4); }

// `data` with the 32-bit word at `at` replaced.
std::string WithWord(std::string data, size_t at, uint32_t value) {
  PutWord(data, at, value);
  return data;
}

TEST(OutsideDebug, InvalidOrHostileBinaryDataIsRefused) {
  std::string good = WriteBinaryDebugData(SampleUnits(), 0x1000, false);
  ASSERT_TRUE(Opens(good));
  EXPECT_FALSE(Opens(good.substr(0, 34)));
  EXPECT_FALSE(Opens(good + "xx")) << "size not a multiple of 4";
  std::string v2 = good;
  v2[4] = 2;
  EXPECT_FALSE(Opens(v2));
  std::string summed = WriteBinaryDebugData(SampleUnits(), 0x1000, true);
  summed[summed.size() - 1] ^= 1;
  EXPECT_FALSE(Opens(summed)) << "checksum";
  EXPECT_FALSE(Opens(WithWord(good, 20, static_cast<uint32_t>(good.size() + 100)))) << "table outside";
  EXPECT_FALSE(Opens(WithWord(good, 28, 0xFFFFFFF0u))) << "names outside";
  // A table without its end marker runs into the name area and stops there.
  std::string unterminated = good;
  uint32_t names;
  std::memcpy(&names, &good[28], 4);
  for (size_t at = 36; at < names; ++at) unterminated[at] = static_cast<char>(0x81);
  EXPECT_FALSE(Opens(unterminated));
  // A name offset past the name area.
  std::string header = good.substr(0, 36);
  std::string table;
  WritePackedNumber(table, 0);
  WritePackedNumber(table, 5000);
  WritePackedNumber(table, PackedTableEnd);
  std::string end;
  WritePackedNumber(end, PackedTableEnd);
  std::string hostile = header + table + end + end + end;
  hostile.resize((hostile.size() + 8) / 4 * 4, '\0');
  PutWord(hostile, 12, 36);
  uint32_t pos = 36 + static_cast<uint32_t>(table.size());
  for (uint32_t i = 0; i < 4; ++i) PutWord(hostile, 16 + 4 * i, pos + 5 * i);
  EXPECT_FALSE(Opens(hostile));

  size_t at = 0;
  uint32_t value = 0;
  EXPECT_FALSE(ReadPackedNumber(std::string("\x80\x80\x80\x80\x80\x01", 6), at, value)) << "six bytes";
  at = 0;
  EXPECT_FALSE(ReadPackedNumber(std::string("\xFF\xFF\xFF\xFF\x7F", 5), at, value)) << "past 32 bits";
  at = 0;
  EXPECT_TRUE(ReadPackedNumber(std::string("\xFF\xFF\xFF\xFF\x0F", 5), at, value));
  EXPECT_EQ(value, 0xFFFFFFFFu);
}

void Put16(std::string& out, uint16_t v) { out.append(reinterpret_cast<const char*>(&v), 2); }
void Put32(std::string& out, uint32_t v) { out.append(reinterpret_cast<const char*>(&v), 4); }

// SampleUnits as TD32 data laid out by hand, field by field.
std::string HandLaidTD32() {
  // Names 1 UnitA, 2 UnitB, 3 src/UnitA.cpp, 4 UnitB.cpp, 5 UnitA.First,
  // 6 UnitA.TKlass.Method, 7 UnitB.Second.
  std::string names;
  const char* texts[] = {"UnitA", "UnitB", "src/UnitA.cpp", "UnitB.cpp", "UnitA.First", "UnitA.TKlass.Method",
                         "UnitB.Second"};
  Put32(names, 7);
  for (const char* t : texts) {
    names += static_cast<char>(std::strlen(t));
    names += t;
    names += '\0';
  }
  auto module = [](uint32_t name, uint32_t start) {
    std::string m;
    Put16(m, 0), Put16(m, 0), Put16(m, 1), Put16(m, 0);  // overlay, library, one segment, style
    Put32(m, name), Put32(m, 0);
    m.append(12, '\0');
    Put16(m, 1), Put16(m, 0), Put32(m, start), Put32(m, 0x100);  // segment 1, flags, offset, size
    return m;
  };
  auto sourceModule = [](uint32_t name, uint32_t start, std::vector<std::pair<uint32_t, uint16_t>> pairs) {
    std::string s;
    Put16(s, 1), Put16(s, 1), Put32(s, 18);             // one file (at 18), one segment
    Put32(s, start), Put32(s, start + 0x100), Put16(s, 1);  // its range, segment 1
    Put16(s, 1), Put32(s, name), Put32(s, 36);          // the file: one block (at 36)
    Put32(s, start), Put32(s, start + 0x100);           // the block's range
    Put16(s, 1), Put16(s, static_cast<uint16_t>(pairs.size()));
    for (const auto& p : pairs) Put32(s, p.first);
    for (const auto& p : pairs) Put16(s, p.second);
    return s;
  };
  auto procedure = [](uint16_t type, uint32_t offset, uint32_t size, uint32_t name) {
    std::string p;
    Put16(p, 40), Put16(p, type);
    Put32(p, 0), Put32(p, 0), Put32(p, 0), Put32(p, size), Put32(p, 0), Put32(p, 0), Put32(p, offset);
    Put16(p, 1), Put32(p, 0), Put32(p, name);
    return p;
  };
  std::string symbols;
  Put32(symbols, 1);
  symbols += procedure(517, 0x10, 0x70, 5);
  Put16(symbols, 16), Put16(symbols, 514);  // global data: skipped over
  Put32(symbols, 0x40), Put16(symbols, 2), Put32(symbols, 0), Put32(symbols, 0);
  symbols += procedure(516, 0x80, 0x80, 6);
  symbols += procedure(517, 0x120, 0x40, 7);

  struct TSub {
    uint16_t Type, ModuleIndex;
    std::string Bytes;
  };
  const TSub subs[] = {{0x120, 1, module(1, 0)},
                       {0x120, 2, module(2, 0x100)},
                       {0x127, 1, sourceModule(3, 0, {{0x10, 10}, {0x18, 11}, {0x30, 14}, {0x80, 30}, {0x90, 28}})},
                       {0x127, 2, sourceModule(4, 0x100, {{0x120, 40}, {0x130, 42}})},
                       {0x125, 1, symbols},
                       {0x130, 0xFFFF, names}};
  std::string data = "FB09";
  Put32(data, 0);  // the directory's offset, known at the end
  std::string entries;
  for (const TSub& sub : subs) {
    Put16(entries, sub.Type), Put16(entries, sub.ModuleIndex);
    Put32(entries, static_cast<uint32_t>(data.size())), Put32(entries, static_cast<uint32_t>(sub.Bytes.size()));
    data += sub.Bytes;
  }
  const uint32_t directory = static_cast<uint32_t>(data.size());
  std::memcpy(&data[4], &directory, 4);
  Put16(data, 16), Put16(data, 12), Put32(data, std::size(subs)), Put32(data, 0), Put32(data, 0);
  return data + entries;
}

TEST(OutsideDebug, TD32FromTheImageOrBesideItAndHostileRecords) {
  std::string td32 = WriteTD32Data(SampleUnits(), 0x1000);
  auto inImage = CreateDebugInfoSource(Module, Files({}, {}, td32));
  ASSERT_TRUE(inImage);
  EXPECT_TRUE(dynamic_cast<TQLDebugInfoTD32*>(inImage.get()));
  ExpectAnswers(*inImage, "image");
  auto beside = CreateDebugInfoSource(Module, Files({{"C:\\app\\lib.tds", td32}}, {}, std::string("MZ no TD32")));
  ASSERT_TRUE(beside) << "a section without the signature sends the reader to the file";
  ExpectAnswers(*beside, "tds");
  auto byHand = CreateDebugInfoSource(Module, Files({{"C:\\app\\lib.tds", HandLaidTD32()}}));
  ASSERT_TRUE(byHand);
  EXPECT_TRUE(dynamic_cast<TQLDebugInfoTD32*>(byHand.get()));
  ExpectAnswers(*byHand, "laid out by hand");
  TQLTD32InfoParser parser(td32);
  EXPECT_EQ(parser.Modules().size(), 2u);
  EXPECT_EQ(parser.Symbols().size(), 3u);
  EXPECT_TRUE(dynamic_cast<const TQLGlobalProcSymbolInfo*>(parser.Symbols()[0].get()));

  auto opens = [](const std::string& data) { return Opens(data, "C:\\app\\lib.tds"); };
  EXPECT_FALSE(opens(td32.substr(0, td32.size() - 1))) << "directory cut short";
  EXPECT_FALSE(opens(WithWord(td32, 4, static_cast<uint32_t>(td32.size())))) << "directory outside";
  uint32_t directory;
  std::memcpy(&directory, &td32[4], 4);
  EXPECT_FALSE(opens(WithWord(td32, directory + 4, 0x10000000))) << "huge count";
  // A symbol record of length 0 ends the symbol walk: the first procedure stays.
  std::string zeroLength = td32;
  size_t symbols = zeroLength.find(std::string("\x01\0\0\0\x28\0\x05\x02", 8));
  ASSERT_NE(symbols, std::string::npos);
  zeroLength[symbols + 4 + 42] = 0;
  TQLTD32InfoParser cut(zeroLength);
  EXPECT_EQ(cut.Symbols().size(), 1u);
  std::string bad = td32;
  bad[0] = 'X';
  EXPECT_FALSE(opens(bad)) << "signature";
}

}  // namespace
}  // namespace exclog
