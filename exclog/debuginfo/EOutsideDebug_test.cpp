#include "exclog/debuginfo/EOutsideDebug.h"

#include <gtest/gtest.h>

#include <cstring>
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

TEST(OutsideDebug, MapFileInEveryLineEnding) {
  std::string map = WriteMapFile(SampleUnits(), 0x1000, 0x200);
  std::string lf, cr;
  for (char c : map) {
    if (c != '\r') lf += c;
    if (c != '\n') cr += c;
  }
  for (const std::string& text : {map, lf, cr}) {
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

TEST(OutsideDebug, TD32FromTheImageOrBesideItAndHostileRecords) {
  std::string td32 = WriteTD32Data(SampleUnits(), 0x1000);
  auto inImage = CreateDebugInfoSource(Module, Files({}, {}, td32));
  ASSERT_TRUE(inImage);
  EXPECT_TRUE(dynamic_cast<TQLDebugInfoTD32*>(inImage.get()));
  ExpectAnswers(*inImage, "image");
  auto beside = CreateDebugInfoSource(Module, Files({{"C:\\app\\lib.tds", td32}}, {}, std::string("MZ no TD32")));
  ASSERT_TRUE(beside) << "a section without the signature sends the reader to the file";
  ExpectAnswers(*beside, "tds");
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
