// The report pages' pure rules: tabs to pages, columns and their keys, widths from
// the INI file, call-stack rows on hand-made stacks, and the source-location record
// read back by Python's struct.
#include "exclog/dialogs/EDialogPages.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include "tests/peers/PeerTools.h"
#endif

namespace exclog {
namespace {

TEST(DialogPagesTabs, PagesByFlagsAndColumns) {
  // Every page on.
  for (int tab = 0; tab < 6; ++tab) EXPECT_EQ(PageOfTab(tab, 0x30), tab);
  EXPECT_EQ(PageOfTab(-3, 0x30), 3);
  EXPECT_EQ(PageOfTab(6, 0x30), -1);
  // Without the modules and processes pages, tabs 2 and 3 are assembler and CPU.
  EXPECT_EQ(PageOfTab(2, 0x20), 4);
  EXPECT_EQ(PageOfTab(3, 0x20), 5);
  EXPECT_EQ(PageOfTab(4, 0x20), -1);
  EXPECT_EQ(PageOfTab(2, 0x10), 2);
  EXPECT_EQ(PageOfTab(4, 0x10), -1);
  EXPECT_EQ(PageOfTab(2, 0), -1);
  EXPECT_EQ(PageOfTab(1, 0), 1);
  EXPECT_STREQ(PageResourceName(TDialogPage::Processes), "QL_TAB_PROCESSESLIST");
  EXPECT_EQ(PageTitleText(TDialogPage::Cpu), 16);

  // The Modules page's last two columns keep their swapped keys.
  const std::vector<TPageColumn>& modules = PageColumns(TDialogPage::Modules);
  ASSERT_EQ(modules.size(), 7u);
  EXPECT_STREQ(modules[5].Key, "ColMod6");
  EXPECT_EQ(modules[5].TextIndex, 131);
  EXPECT_STREQ(modules[6].Key, "ColMod5");
  EXPECT_EQ(modules[6].DefaultWidth, 712);
  EXPECT_EQ(modules[3].Alignment, 2);
  EXPECT_EQ(PageColumns(TDialogPage::Processes).size(), 8u);
  EXPECT_STREQ(PageColumns(TDialogPage::CallStack)[4].Key, "Col4");
  EXPECT_TRUE(PageColumns(TDialogPage::General).empty());
}

TEST(DialogPagesWidths, DecimalIntegersOnly) {
  EXPECT_EQ(ColumnWidthFromSetting("120", 80), 120);
  EXPECT_EQ(ColumnWidthFromSetting(" 0 ", 80), 0);
  EXPECT_EQ(ColumnWidthFromSetting("4000", 80), 4000);
  for (const char* bad : {"", "  ", "-5", "+5", "12px", "0x20", "1e3", "4001", "99999999999", "3 4", "\xff"})
    EXPECT_EQ(ColumnWidthFromSetting(bad, 80), 80) << bad;
}

TStackRowInput Frame(uint32_t thread, uint8_t running, uint8_t first, uint8_t kind, uint32_t address,
                     int moduleKind = 3, uint32_t line = 0) {
  TStackRowInput in;
  in.Entry.ThreadId = static_cast<int32_t>(thread);
  in.Entry.Running = running;
  in.Entry.Raising = first;
  in.Entry.Kind = kind;
  in.Entry.Address = address;
  in.Entry.ModuleName = "m.dll";
  in.Entry.RoutineName = "R" + std::to_string(address);
  in.Entry.Line = line;
  in.Entry.LineOffset = 7;
  in.ModuleKind = moduleKind;
  return in;
}

std::string Header(const TReportStackEntry& e) { return "T" + std::to_string(e.ThreadId); }

TEST(DialogPagesRows, GroupsSeparatorsFiltersAndImages) {
  TKindSet all = KindBit(2) | KindBit(3) | KindBit(4);
  // One thread: a head and its frames, no separator; a frame without a line shows
  // an empty Line cell.
  std::vector<TPageRow> one = BuildCallStackRows(
      {Frame(10, 1, 1, 4, 0x401000, 1, 120), Frame(10, 1, 0, 2, 0x401100, 2), Frame(10, 1, 0, 2, 0x401200, 9)}, all,
      &Header);
  ASSERT_EQ(one.size(), 4u);
  EXPECT_TRUE(one[0].GroupHead);
  EXPECT_EQ(one[0].Texts, std::vector<std::string>{"T10"});
  EXPECT_EQ(one[0].ColourCode, 3);  // exception thread: dark red
  EXPECT_EQ(one[1].Texts, (std::vector<std::string>{"00401000", "m.dll", "", "", "R4198400", "120[7]"}));
  EXPECT_EQ(one[1].Image, 3);
  EXPECT_EQ(one[2].Texts[5], "");
  EXPECT_EQ(one[2].Image, 1);  // package
  EXPECT_EQ(one[3].Image, 3);  // unknown module kind

  // Exception thread, its calling thread, two running threads; kinds filtered.
  std::vector<TPageRow> many = BuildCallStackRows(
      {Frame(10, 1, 1, 4, 1), Frame(10, 0, 0, 4, 2), Frame(20, 1, 0, 2, 3), Frame(20, 1, 0, 1, 4),
       Frame(20, 1, 0, 3, 5, 1), Frame(30, 1, 0, 3, 6, 0), Frame(30, 1, 1, 4, 7)},
      KindBit(4) | KindBit(2) | KindBit(3), &Header);
  std::vector<std::string> firsts;
  std::vector<int> colours;
  for (const TPageRow& r : many) {
    firsts.push_back(r.Texts.empty() ? "?" : r.Texts[0]);
    colours.push_back(r.GroupHead ? r.ColourCode : -1);
  }
  // The calling thread joins without a separator; kind 1 and the executable's kind 3
  // are left out; IsFirst starts a new group of the same thread.
  EXPECT_EQ(firsts, (std::vector<std::string>{"T10", "00000001", "T10", "00000002", "", "T20", "00000003", "",
                                              "T30", "00000006", "", "T30", "00000007"}));
  EXPECT_EQ(colours, (std::vector<int>{3, -1, 0, -1, -1, 1, -1, -1, 1, -1, -1, 3, -1}));
  EXPECT_EQ(many[4].Texts.size(), 6u);
  EXPECT_EQ(many[4].Image, -1);
  EXPECT_EQ(many[9].Image, 0);
  // Only lines accepted: the rest vanishes with its heads.
  EXPECT_EQ(BuildCallStackRows({Frame(20, 1, 0, 2, 3)}, KindBit(4), &Header).size(), 0u);

  // Leaks group by type, size and count.
  TStackRowInput leak = Frame(0, 1, 0, 4, 8);
  leak.Entry.Leak = true;
  leak.Entry.LeakType = "TList";
  TStackRowInput other = leak;
  other.Entry.LeakCount = 2;
  EXPECT_EQ(BuildCallStackRows({leak, leak, other}, all, &Header).size(), 6u);
}

TEST(DialogPagesRows, ModuleImagesAndLineTexts) {
  EXPECT_EQ(ModuleImageOfName("rtl70.bpl"), 1);
  EXPECT_EQ(ModuleImageOfName("X.DpL"), 1);
  EXPECT_EQ(ModuleImageOfName("Velmora.exe"), 2);
  EXPECT_EQ(ModuleImageOfName("kernel32.dll"), 0);
  EXPECT_EQ(ModuleImageOfName("C:\\a.exe\\noext"), 0);
  TLineParts p = SplitLineText("120[4]");
  EXPECT_EQ(p.Line, 120);
  EXPECT_EQ(p.Offset, 4);
  p = SplitLineText("57");
  EXPECT_EQ(p.Line, 57);
  EXPECT_EQ(p.Offset, -1);
  p = SplitLineText(" 9 [x]");
  EXPECT_EQ(p.Line, 9);
  EXPECT_EQ(p.Offset, -1);
  p = SplitLineText("99999999999[12");
  EXPECT_EQ(p.Line, 0x7FFFFFFF);
  EXPECT_EQ(p.Offset, 12);
}

#ifndef _WIN32
TEST(DialogPagesRecord, DecodedByPythonStruct) {
  peers::TScratchDir dir;
  std::string longName(120, 'u');
  auto record = SourceLocationRecord(longName, "TForm1", "TForm1.Button1Click", 57, -1, 0, 0);
  peers::WriteBytes(dir / "record.bin", std::vector<uint8_t>(record.begin(), record.end()));
  auto r = peers::Run("/usr/bin/python3 " + peers::Quote(peers::PeerScript("source_location.py")) + " " +
                      peers::Quote(dir / "record.bin"));
  ASSERT_EQ(r.ExitCode, 0) << r.Output;
  EXPECT_EQ(r.Output, "text1=\nunit=" + std::string(89, 'u') +
                          "\nclass=TForm1\nroutine=TForm1.Button1Click\nline=57\noffset=-1\nheader_low=0\n"
                          "header_high=0\n");
  record = SourceLocationRecord("Unit1", "", "Go", 3, 12, 0x11223344, 0x80000001);
  peers::WriteBytes(dir / "record.bin", std::vector<uint8_t>(record.begin(), record.end()));
  r = peers::Run("/usr/bin/python3 " + peers::Quote(peers::PeerScript("source_location.py")) + " " +
                 peers::Quote(dir / "record.bin"));
  EXPECT_NE(r.Output.find("offset=12\nheader_low=287454020\nheader_high=-2147483647\n"), std::string::npos)
      << r.Output;
}
#endif

}  // namespace
}  // namespace exclog
