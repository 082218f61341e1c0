// The listing over a hand-assembled code image: two routines of two units, a string
// literal and a long one, with unreadable memory around them.
#include "exclog/debuginfo/EAsmListing.h"

#include <gtest/gtest.h>

#include "exclog/debuginfo/EAsmListing_test.h"

#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

using exclog::test::ListingLines;

using exclog::BuildAsmListing;
using exclog::TAsmListing;

constexpr uint32_t kCode = 0x401000, kData = 0x402000;

class TImage : public exclog::TAsmLocations {
 public:
  exclog::TRegionMemory Memory;
  // address -> (unit, line); every address from one entry to the next has it.
  std::map<uint32_t, std::pair<std::string, uint32_t>> Lines;
  std::map<uint32_t, std::string> Symbols;

  bool LineInfo(uint32_t address, std::string& unit, uint32_t& line, uint32_t& offset) const override {
    auto it = Lines.upper_bound(address);
    if (it == Lines.begin()) return false;
    --it;
    if (it->second.first.empty()) return false;
    unit = it->second.first;
    line = it->second.second;
    offset = 0;
    return true;
  }
  std::string Symbol(uint32_t address) const override {
    auto it = Symbols.find(address);
    return it == Symbols.end() ? "" : it->second;
  }
};

// RoutineA at $401000 (8 bytes), RoutineB at $401008.
TImage MakeImage() {
  TImage img;
  std::vector<uint8_t> code = {
      0x55, 0x89, 0xE5, 0x83, 0xEC, 0x08, 0xC9, 0xC3,  // A: push ebp; mov ebp,esp; sub esp,8; leave; ret
      0x55, 0x89, 0xE5,                                // B: push ebp; mov ebp,esp
      0x68, 0x00, 0x20, 0x40, 0x00,                    // $40100B push $00402000 ("Hello")
      0xE8, 0xEB, 0xFF, 0xFF, 0xFF,                    // $401010 call RoutineA
      0x68, 0x10, 0x20, 0x40, 0x00,                    // $401015 push $00402010 (40 characters)
      0xC7, 0x00, 0x00, 0x00, 0x00, 0x00,              // $40101A mov dword ptr [eax], 0
      0xC9, 0xC3,                                      // $401020 leave; ret
  };
  code.resize(code.size() + 64, 0x90);
  img.Memory.Add(kCode, code);
  std::vector<uint8_t> data(0x40, 0);
  std::memcpy(data.data(), "Hello", 5);
  std::memcpy(data.data() + 0x10, "0123456789abcdefghijklmnopqrstuvwxyzABCD", 40);
  data[0x38] = 0;
  img.Memory.Add(kData, data);
  img.Lines = {{0x401000, {"UnitA", 10}}, {0x401003, {"UnitA", 11}}, {0x401008, {"UnitB", 20}},
               {0x40101A, {"UnitB", 22}}, {0x401022, {"", 0}}};
  img.Symbols[0x401000] = "UnitA.RoutineA";
  return img;
}

// The line starting with `start`, its blanks before the comment collapsed to two.
std::string LineAt(const std::vector<std::string>& lines, const std::string& start) {
  for (std::string l : lines)
    if (l.rfind(start, 0) == 0) {
      const size_t semi = l.find(';');
      if (semi == std::string::npos) return l;
      size_t code = semi;
      while (code > 0 && l[code - 1] == ' ') --code;
      return l.substr(0, code) + "  " + l.substr(semi);
    }
  return "";
}

TEST(EAsmListing, RoutineHeaderSitsRightAboveAFaultAtItsFirstInstruction) {
  const TImage img = MakeImage();
  const TAsmListing l = BuildAsmListing(0x401008, img.Memory, img, "Assembler Information");
  const auto lines = ListingLines(l.Text);
  ASSERT_GE(lines.size(), 4u);
  // Everything before the last unit header at or before the fault is cut.
  EXPECT_EQ(lines[0], "; UnitB (Line=20 - Offset=0)");
  EXPECT_EQ(lines[1], "; --------------------------");
  EXPECT_EQ(LineAt({lines[2]}, "00401008"), "00401008  push    ebp  ; <-- EXCEPTION");
  // The line header below, then the listing goes on to the ret after leave.
  EXPECT_EQ(lines.back(), "00401021  ret");
  EXPECT_EQ(LineAt(lines, "00401020"), "00401020  leave");
  EXPECT_NE(l.Text.find(";\r\n; Line=22 - Offset=0\r\n; ------------------\r\n0040101A  mov     dword ptr [eax], $00000000"),
            std::string::npos);
  // The call names its target; the literals show between apostrophes.
  EXPECT_EQ(LineAt(lines, "00401010"), "00401010  call    -$00000015  ; UnitA.RoutineA");
  EXPECT_EQ(LineAt(lines, "0040100B"), "0040100B  push    $00402000  ; 'Hello'");
  EXPECT_EQ(LineAt(lines, "00401015"), "00401015  push    $00402010  ; '0123456789abcdefghijklmnopqrstuv'...");
  // Comments start in one column; the header's rule is as long as the longest line.
  size_t column = std::string::npos, longest = 0;
  for (const auto& line : lines) {
    longest = std::max(longest, line.size());
    const size_t semi = line.find(';');
    if (semi == 0 || semi == std::string::npos) continue;
    if (column == std::string::npos) column = semi;
    EXPECT_EQ(semi, column) << line;
  }
  EXPECT_EQ(l.Header, "Assembler Information:\r\n" + std::string(longest, '-'));
}

TEST(EAsmListing, StartsUpToTenInstructionsBeforeAndStopsAtTenAfter) {
  TImage img;
  img.Memory.Add(kCode, std::vector<uint8_t>(200, 0x90));  // nops, no debug information
  const TAsmListing l = BuildAsmListing(kCode + 100, img.Memory, img, "Asm");
  const auto lines = ListingLines(l.Text);
  ASSERT_EQ(lines.size(), 21u);
  EXPECT_EQ(lines[0], "0040105A  nop");
  EXPECT_EQ(lines[10], "00401064  nop  ; <-- EXCEPTION");
  EXPECT_EQ(lines[20], "0040106E  nop");
  EXPECT_EQ(l.Header, "Asm:\r\n" + std::string(lines[10].size(), '-'));
}

TEST(EAsmListing, UnreadableCodeGivesNothingAndReadableEdgesBoundTheWalk) {
  const TImage img = MakeImage();
  const TAsmListing none = BuildAsmListing(0x500000, img.Memory, img, "Assembler Information");
  EXPECT_EQ(none.Text, "");
  EXPECT_EQ(none.Header, "");
  // Three readable bytes at the fault are not enough.
  TImage small;
  small.Memory.Add(kCode, {0x90, 0x90, 0x90});
  EXPECT_EQ(BuildAsmListing(kCode, small.Memory, small, "A").Text, "");
  // The walk starts at the first readable byte and ends at the last.
  TImage edge;
  edge.Memory.Add(kCode, {0x90, 0x90, 0x8B, 0x45, 0x08, 0x90, 0x8B});
  const auto lines = ListingLines(BuildAsmListing(kCode + 2, edge.Memory, edge, "A").Text);
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0], "00401000  nop");
  EXPECT_EQ(lines[4], "00401006  DB      $8B  //");
}

TEST(EAsmListing, SymbolTextOfALocation) {
  EXPECT_EQ(exclog::FormatSymbol(4, "Unit1", "TForm1", "Button1Click", 42, "x"), "Unit1.TForm1.Button1Click (Line=42)");
  EXPECT_EQ(exclog::FormatSymbol(2, "", "", "WinMain", 1, ""), "WinMain");
  EXPECT_EQ(exclog::FormatSymbol(1, "Unit1", "", "F", 9, "TButton"), "TButton");
  EXPECT_EQ(exclog::FormatSymbol(0, "", "", "", 0, ""), "");
}

}  // namespace
