#include "tools/qldata/QlDataTool.h"

#include <gtest/gtest.h>

#include "exclog/core/EOptions.h"
#include "exclog/debuginfo/EDebug.h"
#include "tests/support/TestPaths.h"

namespace qldata {
namespace {

// Shapes copied from i686-w64-mingw32 nm and objdump output.
const char* const NmSample =
    "00401000 t .text\n"
    "00401000 t ___mingw_invalidParameterHandler\n"
    "00401010 T __ZN4demo7TWidget5PaintEv\n"
    "00401010 T __ZN4demo7TWidget5PaintEv_alias\n"
    "00401030 t _helper\n"
    "00401040 T __ZN4demo3RunEi\n"
    "00401060 T _main\n"
    "         U _undefined\n"
    "00402000 D _data\n";

const char* const LineSample =
    "\n"
    "CU: ./crt/crtexe.c:\n"
    "File name                            Line number    Starting address    View    Stmt\n"
    "crtexe.c                                     118            0x401000               x\n"
    "crtexe.c                                       -            0x401010\n"
    "\n"
    "CU: /src/demo/Widget.cpp:\n"
    "File name                            Line number    Starting address    View    Stmt\n"
    "Widget.cpp                                    10            0x401010               x\n"
    "Widget.cpp                                    11            0x401016               x\n"
    "\n"
    "/usr/include/c++/string:\n"
    "string                                       216            0x401016       1       x\n"
    "string                                       217            0x40101a               x\n"
    "\n"
    "/src/demo/Widget.cpp:\n"
    "Widget.cpp                                    12            0x401020               x\n"
    "Widget.cpp                                    20            0x401030               x\n"
    "Widget.cpp                                    40            0x401040               x\n"
    "Widget.cpp                                    41            0x401048               x\n"
    "Widget.cpp                                     -            0x401058\n"
    "\n"
    "CU: /src/demo/main.c:\n"
    "main.c                                         3            0x401060               x\n"
    "/src/demo/main.h:\n"
    "main.h                                         9            0x401070               x\n"
    "main.h                                         -            0x401072\n"
    "\n"
    "main.c                                         4            0x401074               x\n";

TEST(QlDataParse, NmAndLineTable) {
  auto symbols = ParseNm(NmSample);
  ASSERT_EQ(symbols.size(), 8u);
  EXPECT_EQ(symbols[2].Address, 0x401010u);
  EXPECT_EQ(symbols[2].Type, 'T');
  EXPECT_EQ(symbols[7].Type, 'D');

  auto rows = ParseDecodedLines(LineSample);
  ASSERT_EQ(rows.size(), 15u);
  // A sequence that starts without a file line: its rows name the unit's file.
  EXPECT_EQ(rows[14].File, "/src/demo/main.c");
  EXPECT_EQ(rows[14].Line, 4u);
  EXPECT_EQ(rows[12].File, "/src/demo/main.h");
  rows.resize(12);
  EXPECT_TRUE(rows[1].EndSequence);
  EXPECT_EQ(rows[1].Address, 0x401010u);
  rows.erase(rows.begin() + 1);
  EXPECT_TRUE(rows[9].EndSequence);
  rows.erase(rows.begin() + 9);
  EXPECT_EQ(rows[0].File, "./crt/crtexe.c");
  EXPECT_EQ(rows[1].File, "/src/demo/Widget.cpp");
  EXPECT_EQ(rows[3].File, "/usr/include/c++/string");
  EXPECT_EQ(rows[3].Line, 216u);
  EXPECT_EQ(rows[5].Address, 0x401020u);
  EXPECT_EQ(rows[9].File, "/src/demo/main.c");

  EXPECT_EQ(ParseImageBase("Magic\t\t010b\t(PE32)\nImageBase\t\t00400000\nSectionAlignment\t00001000\n"),
            0x400000u);
  EXPECT_FALSE(ParseImageBase("nothing here"));
}

TEST(QlDataNames, DemangleAndSplit) {
  EXPECT_EQ(DemangledName("__ZN4demo7TWidget5PaintEv"), "demo::TWidget::Paint()");
  EXPECT_EQ(DemangledName("_main"), "main");
  EXPECT_EQ(DemangledName("_Foo@8"), "Foo@8");
  EXPECT_EQ(DemangledName("__ZN12_GLOBAL__N_14ProcEP6HWND__jjl@16"), "(anonymous namespace)::Proc(HWND__*, unsigned int, unsigned int, long)");
  EXPECT_TRUE(SameRoutine("(anonymous namespace)", "Proc(HWND__*)", "Proc"));
  EXPECT_FALSE(SameRoutine("a", "Proc(int)", "b::Proc(int)"));
  EXPECT_TRUE(SameRoutine("a", "Proc(int)", "a::Proc(int)"));
  EXPECT_FALSE(SameRoutine("a", "Other()", "Proc"));
  EXPECT_TRUE(SameRoutine("a::{lambda()#2}", "_FUN()", "FUN"));
  EXPECT_TRUE(SameRoutine("std::string (anonymous namespace)", "Of<x::E>(int)", "Of<x::E>"));
  EXPECT_TRUE(SameRoutine("std::unique_ptr<T> s::(anonymous namespace)::P", "Generic<s::T>(bool)", "Generic<>"));
  EXPECT_FALSE(SameRoutine("s::P", "Generic<s::T>(bool)", "Other<>"));
  EXPECT_FALSE(SameRoutine("s::P", "GenericX(bool)", "Generic<>"));
  EXPECT_TRUE(SameRoutine("a::{lambda(short)#1}", "operator()(short) const", "operator()"));
  EXPECT_TRUE(SameRoutine("x", "operator<(x const&)", "x::operator<(x const&)"));
  EXPECT_TRUE(SameRoutine("exclog", "Run()", "ZN6exclog3RunEv"));
  EXPECT_TRUE(SameRoutine("", "operator new(unsigned int)", "Znwj"));
  EXPECT_TRUE(SameRoutine("", "TObject* Make<T>()", "Z4MakeI1TEP7TObjectv"));
  EXPECT_TRUE(SameRoutine("", "TObject* Make<a::T>()", "Make<a::T>"));
  EXPECT_FALSE(SameRoutine("", "TObject* Make<a::T>()", "Make<a::U>"));
  std::string longClass = "ns::T<" + std::string(200, 'x') + ">";
  EXPECT_TRUE(SameRoutine(longClass.substr(0, 127), "f()", longClass + "::f()"));
  EXPECT_FALSE(SameRoutine(longClass.substr(0, 127), "f()", "other::f()"));
  EXPECT_EQ(DemangledName("@_ZN12_GLOBAL__N_112PlusThousandEi@4"), "(anonymous namespace)::PlusThousand(int)");

  using P = std::pair<std::string, std::string>;
  EXPECT_EQ(SplitClassAndRoutine("demo::TWidget::Paint()"), P("demo::TWidget", "Paint()"));
  EXPECT_EQ(SplitClassAndRoutine("main"), P("", "main"));
  EXPECT_EQ(SplitClassAndRoutine("(anonymous namespace)::Proc(int)"), P("(anonymous namespace)", "Proc(int)"));
  EXPECT_EQ(SplitClassAndRoutine("std::vector<int, std::allocator<int> >::push_back(int const&)"),
            P("std::vector<int, std::allocator<int> >", "push_back(int const&)"));
  EXPECT_EQ(SplitClassAndRoutine("f(std::function<void (a::b)>)"), P("", "f(std::function<void (a::b)>)"));
  EXPECT_EQ(SplitClassAndRoutine("x::operator<(x const&)"), P("x", "operator<(x const&)"));
  EXPECT_EQ(SplitClassAndRoutine("x::operator()(int)"), P("x", "operator()(int)"));
  EXPECT_EQ(SplitClassAndRoutine("a::f(int"), P("a", "f(int"));
  EXPECT_EQ(SplitClassAndRoutine("a::f(int)"), P("a", "f(int)"));
  EXPECT_EQ(SplitClassAndRoutine("a::f(int) const"), P("a", "f(int) const"));
  EXPECT_EQ(SplitClassAndRoutine("a::f(int) const::{lambda()#1}::_FUN()"), P("a::f(int) const::{lambda()#1}", "_FUN()"));
  EXPECT_EQ(SplitClassAndRoutine("a::{lambda(int)#1}::operator()(int) const"),
            P("a::{lambda(int)#1}", "operator()(int) const"));

  EXPECT_EQ(ComparableRoutine("demo::Run(int) [clone .constprop.0]"), "demo::Run");
  EXPECT_EQ(ComparableRoutine("demo::Run(int)"), ComparableRoutine("demo::Run"));
  EXPECT_EQ(ComparableRoutine("a.b"), "a_b");
  EXPECT_EQ(ComparableRoutine("__static_initialization_and_destruction_0(int, int)"),
            ComparableRoutine("_static_initialization_and_destruction_0"));
}

TEST(QlDataUnits, RunsOfOneFileWithOwnRowsOnly) {
  TBuildInput input;
  input.Symbols = ParseNm(NmSample);
  input.Rows = ParseDecodedLines(LineSample);
  input.SourceRoot = "/src/";
  auto units = BuildUnits(input);
  // crtexe.c is outside the root; Widget.cpp's three routines form one unit; main.c
  // ends at the (unknown) text end and so is dropped without an image.
  ASSERT_EQ(units.size(), 1u);
  const auto& u = units[0];
  EXPECT_EQ(u.UnitName, "Widget");
  EXPECT_EQ(u.SourceFile, "Widget.cpp");
  EXPECT_EQ(u.Offset, 0x401010u);
  EXPECT_EQ(u.Size, 0x48u);  // up to the sequence's end: padding excluded
  ASSERT_EQ(u.Routines.size(), 3u);
  EXPECT_EQ(u.Routines[0].ClassName, "demo::TWidget");
  EXPECT_EQ(u.Routines[0].RoutineName, "Paint()");
  EXPECT_EQ(u.Routines[0].FirstLine, 10u);
  // 0x401016: string's row comes last at that address and wins, so Widget's 11 is
  // not packed; string's rows are another file's.
  ASSERT_EQ(u.Routines[0].Lines.size(), 1u);
  EXPECT_EQ(u.Routines[0].Lines[0].Offset, 0x401020u);
  EXPECT_EQ(u.Routines[0].Lines[0].Line, 12u);
  EXPECT_EQ(u.Routines[1].RoutineName, "helper");
  EXPECT_EQ(u.Routines[2].RoutineName, "Run(int)");
  EXPECT_EQ(u.Routines[2].Lines.size(), 1u);
  EXPECT_NO_THROW(exclog::WriteDebugBlock(units, nullptr));
}

// A routine of ours whose code starts with an inlined library routine: its first
// row is the library header's, the rest ours; it is kept under its own file. A
// library template made for our code (our lambda inlined in it) is not ours.
TEST(QlDataUnits, RoutineStartingWithInlinedLibraryCodeIsKept) {
  TBuildInput input;
  input.Symbols = ParseNm("00401000 t _loop\n00401020 t _sortWithOurLambda\n00401040 t _crt\n");
  input.Rows = ParseDecodedLines(
      "CU: /src/demo/Loop.cpp:\n"
      "/usr/include/c++/atomic:\n"
      "atomic                                       488            0x401000               x\n"
      "/src/demo/Loop.cpp:\n"
      "Loop.cpp                                      21            0x401008               x\n"
      "Loop.cpp                                      22            0x401010               x\n"
      "/usr/include/c++/stl_heap.h:\n"
      "stl_heap.h                                   224            0x401020               x\n"
      "/src/demo/Loop.cpp:\n"
      "Loop.cpp                                      30            0x401028               x\n"
      "\n"
      "CU: ./crt/crtexe.c:\n"
      "crtexe.c                                      30            0x401040               x\n"
      "crtexe.c                                       -            0x401050\n");
  input.SourceRoot = "/src/";
  std::vector<std::vector<uint32_t>> asked;
  input.OuterLines = [&asked](const std::vector<uint32_t>& addresses) {
    asked.push_back(addresses);
    std::vector<TOuterLine> lines;
    for (uint32_t a : addresses)
      lines.push_back(a < 0x401020   ? TOuterLine{"/src/demo/Loop.cpp", a == 0x401000 ? 20u : 21u}
                      : a < 0x401040 ? TOuterLine{"/usr/include/c++/stl_heap.h", 224}
                                     : TOuterLine{});
    return lines;
  };
  auto units = BuildUnits(input);
  ASSERT_EQ(units.size(), 1u);
  EXPECT_EQ(units[0].SourceFile, "Loop.cpp");
  ASSERT_EQ(units[0].Routines.size(), 1u);
  EXPECT_EQ(units[0].Routines[0].RoutineName, "loop");
  EXPECT_EQ(units[0].Routines[0].FirstLine, 20u);
  // Only the two doubtful starts were asked about first.
  ASSERT_FALSE(asked.empty());
  EXPECT_EQ(asked[0], (std::vector<uint32_t>{0x401000, 0x401020}));
}

// Inlined code takes the line of the call in the routine's own frame; an answer in
// another file is none. The entry's file counts outside the root.
TEST(QlDataUnits, InlinedCodeTakesItsCallLineAndTheEntryFileIsKept) {
  TBuildInput input;
  input.Symbols = ParseNm(NmSample);
  input.Rows = ParseDecodedLines(LineSample);
  input.SourceRoot = "/src/";
  input.EntryAddress = 0x401004;
  input.Instructions = {0x401012, 0x401024, 0x401062};  // between rows; the last in no kept routine
  std::vector<uint32_t> asked;
  input.OuterLines = [&asked](const std::vector<uint32_t>& addresses) {
    asked = addresses;
    std::vector<TOuterLine> lines;
    for (uint32_t a : addresses) {
      if (a == 0x401016 || a == 0x40101a)
        lines.push_back({"/src/demo/Widget.cpp", 14});
      else if (a == 0x401048)
        lines.push_back({"/usr/include/c++/string", 300});
      else if (a == 0x401024)  // an inlined call that begins between rows
        lines.push_back({"/src/demo/Widget.cpp", 13});
      else if (a == 0x401030)  // its own frame starts on another line than its first row
        lines.push_back({"/src/demo/Widget.cpp", 19});
      else
        lines.push_back({"", 0});
    }
    return lines;
  };
  auto units = BuildUnits(input);
  ASSERT_EQ(units.size(), 2u);
  EXPECT_EQ(units[0].SourceFile, "crtexe.c");
  EXPECT_EQ(units[0].Routines.at(0).FirstLine, 118u);
  const auto& paint = units[1].Routines.at(0);
  // Packed where the line changes.
  ASSERT_EQ(paint.Lines.size(), 3u);
  EXPECT_EQ(paint.Lines[0].Offset, 0x401016u);
  EXPECT_EQ(paint.Lines[0].Line, 14u);
  EXPECT_EQ(paint.Lines[1].Offset, 0x401020u);
  EXPECT_EQ(paint.Lines[1].Line, 12u);
  EXPECT_EQ(paint.Lines[2].Offset, 0x401024u);
  EXPECT_EQ(paint.Lines[2].Line, 13u);
  EXPECT_EQ(units[1].Routines.at(1).FirstLine, 19u);
  const auto& run = units[1].Routines.at(2);
  EXPECT_EQ(run.FirstLine, 40u);
  ASSERT_EQ(run.Lines.size(), 1u);
  EXPECT_EQ(run.Lines[0].Line, 41u);
  // Every row and instruction of the kept routines was asked about, once.
  EXPECT_EQ(asked, (std::vector<uint32_t>{0x401000, 0x401010, 0x401012, 0x401016, 0x40101a, 0x401020, 0x401024,
                                          0x401030, 0x401040, 0x401048}));
}

TEST(QlDataSettings, KeysAndErrors) {
  auto s = ParseSettings("# comment\nPassPhrase = abc def\nOptionsByte=1\nSmtpHost=mail.example.org\n");
  ASSERT_TRUE(s.PassPhrase);
  EXPECT_EQ(*s.PassPhrase, "abc def");
  EXPECT_EQ(s.OptionsByte, 1);
  EXPECT_EQ(s.Values.at("SmtpHost"), "mail.example.org");
  EXPECT_FALSE(ParseSettings("").PassPhrase);
  EXPECT_THROW(ParseSettings("NoSuchOption=1\n"), std::runtime_error);
  EXPECT_THROW(ParseSettings("OptionsByte=300\n"), std::runtime_error);
  EXPECT_THROW(ParseSettings("just text\n"), std::runtime_error);
  EXPECT_THROW(ParseSettings("SmtpPort=abc\n"), std::runtime_error);
  // A text by its index, its neighbours untouched; no such index, no such key.
  exclog::TQuelbaModuleOptions texts;
  const std::string stream = OptionsStreamFor(ParseSettings("Text114=Calling = the server\nText0=Oops\n"));
  texts.LoadFromBytes(stream.data(), stream.size());
  EXPECT_EQ(texts.Text(114), "Calling = the server");
  EXPECT_EQ(texts.Text(0), "Oops");
  EXPECT_EQ(texts.Text(115), "Connected with server.");
  for (const char* bad : {"Text158=x\n", "Text=x\n", "Text1a=x\n", "Text0114=x\n", "Texts=x\n"})
    EXPECT_THROW(ParseSettings(bad), std::runtime_error) << bad;
  EXPECT_TRUE(IsCodeOrDataSection(".text"));
  EXPECT_FALSE(IsCodeOrDataSection(".rsrc"));
  EXPECT_FALSE(IsCodeOrDataSection(".debug_info"));
}

// Images linked by the MinGW tool chain (tests/data/qldata): one with an RCDATA
// resource "QLDATA" holding "hello-qldata", one of the same code without it.
TEST(QlDataImage, ResourceAndSectionComparison) {
  TPeImage withData(velmora::test::ReadFileBytes(velmora::test::SourcePath("tests/data/qldata/tiny.exe")));
  TPeImage without(velmora::test::ReadFileBytes(velmora::test::SourcePath("tests/data/qldata/tiny_nores.exe")));
  EXPECT_EQ(withData.ImageBase(), 0x400000u);
  auto data = withData.RcData("QLDATA");
  ASSERT_TRUE(data);
  EXPECT_EQ(*data, "hello-qldata");
  EXPECT_FALSE(withData.RcData("OTHER"));
  EXPECT_FALSE(without.RcData("QLDATA"));
  // start() is "mov eax, 7; ret" after the frame set-up.
  std::string text = withData.SectionBytes(".text");
  ASSERT_GE(text.size(), 3u);
  EXPECT_EQ(withData.BytesAt(0x1000, 3), std::string("\x55\x89\xE5", 3));

  std::string difference;
  EXPECT_TRUE(SameCodeAndData(withData, without, &difference)) << difference;
  std::string patched = velmora::test::ReadFileBytes(velmora::test::SourcePath("tests/data/qldata/tiny_nores.exe"));
  TPeImage probe(patched);
  uint32_t rawText = 0;
  for (const auto& sec : probe.Sections())
    if (sec.Name == ".text") rawText = sec.RawOffset;
  patched[rawText + 3] ^= 0x40;
  EXPECT_FALSE(SameCodeAndData(withData, TPeImage(patched), &difference));
  EXPECT_EQ(difference, ".text");
  EXPECT_THROW(TPeImage("MZ too short"), std::runtime_error);
  EXPECT_THROW(TPeImage(std::string(64, 'x')), std::runtime_error);
}

}  // namespace
}  // namespace qldata
