#include "exclog/report/ELogManager.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "exclog/report/ELogFixtures_test.h"

namespace exclog {
namespace {

using test::Crlf;
using test::Fixture;

std::string WithId(const std::string& report, const std::string& id) {
  std::string r = report;
  r.replace(r.find("1234ABCD"), 8, id);
  return r;
}

TEST(LogEntries, ReadsEntriesAndDropsTextWithoutATable) {
  std::string a = Fixture("report-a.txt"), old = Fixture("report-old.txt");
  std::string file = a + "\r\n\r\n\r\n\r\nforeign text\r\n\r\n\r\n\r\n" + old + "\r\n\r\n\r\n\r\n";
  TLogEntries log;
  log.Load(file);
  ASSERT_EQ(log.Count(), 2);
  EXPECT_EQ(log.Entry(0), a + "\r\n\r\n\r\n");
  EXPECT_EQ(log.Entry(1), old + "\r\n\r\n\r\n");
  // The foreign chunk is gone, so the file is not what the entries make.
  EXPECT_FALSE(log.LoadedTextComplete());
  // A file without its last separator still gives the entry.
  log.Load(a);
  EXPECT_EQ(log.Count(), 1);
  EXPECT_EQ(log.FieldValue("2.7", 0), "1234ABCD");
}

TEST(LogEntries, LoneLineFeedsReadAsCrLf) {
  std::ifstream in(std::string(VELMORA_SOURCE_DIR) + "/tests/data/logs/report-a.txt", std::ios::binary);
  std::stringstream raw;
  raw << in.rdbuf();
  ASSERT_EQ(raw.str().find('\r'), std::string::npos);
  TLogEntries log;
  log.Load(raw.str());
  ASSERT_EQ(log.Count(), 1);
  EXPECT_EQ(log.Entry(0), Fixture("report-a.txt") + "\r\n\r\n\r\n");
  EXPECT_EQ(UniformLineEnds("a\rb\nc\r\n"), "a\r\nb\r\nc\r\n");
}

TEST(LogEntries, CapacityDropsTheOldest) {
  std::string a = Fixture("report-a.txt");
  std::string file;
  for (int i = 0; i < 32; ++i) file += WithId(a, "000000" + std::to_string(10 + i)) + "\r\n\r\n\r\n\r\n";
  TLogEntries log;
  log.Load(file);
  ASSERT_EQ(log.Count(), 32);
  EXPECT_TRUE(log.LoadedTextComplete());
  log.Add(WithId(a, "NEWENTRY"), 32);
  ASSERT_EQ(log.Count(), 32);
  EXPECT_EQ(log.FieldValue("2.7", 0), "00000011");
  EXPECT_EQ(log.FieldValue("2.7", 31), "NEWENTRY");
  EXPECT_FALSE(log.OnlyAppended());
  // No limit, and a capacity below the count drops down to one less.
  log.Add(a, -1);
  EXPECT_EQ(log.Count(), 33);
  log.Add(a, 3);
  EXPECT_EQ(log.Count(), 3);
}

TEST(LogEntries, AddingOnlyAppendsTheNewEntriesText) {
  std::string a = Fixture("report-a.txt");
  TLogEntries log;
  log.Load(a + "\r\n\r\n\r\n\r\n");
  ASSERT_TRUE(log.LoadedTextComplete());
  // A report's own last line end is not kept twice.
  log.Add(WithId(a, "00000002") + "\r\n", 32);
  EXPECT_TRUE(log.OnlyAppended());
  EXPECT_EQ(log.AppendedFileText(), WithId(a, "00000002") + "\r\n\r\n\r\n\r\n");
  EXPECT_EQ(log.FileText(), a + "\r\n\r\n\r\n\r\n" + log.AppendedFileText());
  EXPECT_EQ(log.Text(), a + "\r\n\r\n\r\n" + WithId(a, "00000002") + "\r\n\r\n\r\n");
  log.SetFieldValue("2.8", "5", 0, "Count");
  EXPECT_FALSE(log.OnlyAppended());
}

TEST(LogFields, ValuesByNumber) {
  std::string a = Fixture("report-a.txt");
  EXPECT_EQ(LogFieldValue(a, "2.7"), "1234ABCD");
  EXPECT_EQ(LogFieldValue(a, "2.1"), "05/12/2026 23:00:00");  // not 2.10
  EXPECT_EQ(LogFieldValue(a, "2.10"), "");
  EXPECT_EQ(LogFieldValue(a, "2.6"), "Raised by hand: <test> & \"quotes\"");
  EXPECT_EQ(LogFieldValue(a, "3.5"),
            "SeShutdownPrivilege\r\nSeChangeNotifyPrivilege: on\r\n\r\nSeUndockPrivilege:");
  EXPECT_EQ(LogFieldValue(a, "2.3"), "");
  EXPECT_EQ(LogFieldValue(a, "9.1"), "");
  TLogEntries log;
  log.Load(a);
  EXPECT_EQ(log.FindEntry({"2.7"}, {"1234ABCD"}), 0);
  EXPECT_EQ(log.FindEntry({"2.7"}, {"1234ABCE"}), -1);
  // A hidden ID never matches an empty one.
  EXPECT_EQ(log.FindEntry({"2.3"}, {""}), -1);
  EXPECT_EQ(log.FieldValue("2.7", 1), "");
  EXPECT_FALSE(log.SetFieldValue("2.8", "2", 1, "Count"));
}

TEST(LogFields, SetReplacesOrInsertsAtTheSectionsEnd) {
  std::string a = Fixture("report-a.txt");
  std::string changed = a;
  ASSERT_TRUE(SetLogFieldValue(changed, "2.8", "2", "Count"));
  std::string expected = a;
  expected.replace(expected.find("  2.8 Count  : 1"), 16, "  2.8 Count  : 2");
  EXPECT_EQ(changed, expected);

  // Count hidden in the first report: a line for it goes after the section's
  // highest field, its ": " under the others.
  std::string hidden = a;
  hidden.erase(hidden.find("  2.8 Count  : 1\r\n"), 18);
  ASSERT_TRUE(SetLogFieldValue(hidden, "2.8", "2", "Count"));
  EXPECT_NE(hidden.find("  2.9 Status : New\r\n  2.10 Note  : \r\n  2.8 Count  : 2\r\n\r\nUser:"), std::string::npos);
  EXPECT_EQ(LogFieldValue(hidden, "2.8"), "2");

  // A multi-line value is written escaped under the value column.
  std::string multi = a;
  ASSERT_TRUE(SetLogFieldValue(multi, "1.6", "one: two\n\nthree", "Up Time"));
  EXPECT_NE(multi.find("  1.6 Up Time         : one:_two\r\n                       .\r\n                       three\r\n\r\n"),
            std::string::npos);
  EXPECT_EQ(LogFieldValue(multi, "1.6"), "one: two\r\n\r\nthree");
  // No field of the section: nothing to insert after.
  EXPECT_FALSE(SetLogFieldValue(multi, "5.1", "x", "Name"));
}

TEST(LogFields, CountsUpSaturatingAndFromNonNumbers) {
  EXPECT_EQ(NextCount("1"), "2");
  EXPECT_EQ(NextCount(" 41 "), "42");
  EXPECT_EQ(NextCount("abc"), "2");
  EXPECT_EQ(NextCount(""), "2");
  EXPECT_EQ(NextCount("12x"), "2");
  EXPECT_EQ(NextCount("2147483646"), "2147483647");
  EXPECT_EQ(NextCount("2147483647"), "2147483647");
  EXPECT_EQ(NextCount("99999999999999999999999"), "2147483647");
}

TEST(LogSections, TablesAndPartsByTheirMarkers) {
  std::string a = Fixture("report-a.txt");
  TLogSections s = LogSectionsOf(a);
  EXPECT_EQ(s.General.substr(0, 18), "QuelbaLog 6.1.04\r\n");
  EXPECT_EQ(s.General.substr(s.General.size() - 18), "SeUndockPrivilege:");
  EXPECT_EQ(s.CallStack.substr(0, 25), "Call Stack Information:\r\n");
  EXPECT_EQ(s.CallStack.substr(s.CallStack.size() - 3), "-\r\n");
  EXPECT_EQ(s.Modules.substr(0, 22), "Modules Information:\r\n");
  EXPECT_NE(s.Modules.find("Velmora? demo"), std::string::npos);
  EXPECT_EQ(s.Processes.substr(0, 24), "Processes Information:\r\n");
  EXPECT_EQ(s.Assembler.substr(0, 24), "Assembler Information:\r\n");
  EXPECT_EQ(s.Assembler.substr(s.Assembler.size() - 13), "call 00402000");
  EXPECT_EQ(s.Cpu.substr(0, 12), "Registers:\r\n");
  EXPECT_EQ(s.Cpu.substr(s.Cpu.size() - 16), "ABCDEFGHIJKLMNOP");

  // Modules and processes switched off, and the CPU part too.
  size_t from = a.find("Modules Information:"), to = a.find("Assembler Information:");
  std::string off = a.substr(0, from) +
                    "Modules Information:\r\n--------------------\r\n\r\n"
                    "Processes Information:\r\n----------------------\r\n\r\n"
                    "Assembler Information:\r\n----------------------\r\n\r\n"
                    "Registers:\r\n----------\r\n\r\n";
  (void)to;
  s = LogSectionsOf(off);
  EXPECT_EQ(s.Modules, "");
  EXPECT_EQ(s.Processes, "");
  EXPECT_EQ(s.Assembler, "Assembler Information:\r\n----------------------");
  EXPECT_EQ(s.Cpu, "Registers:\r\n----------");
}

// A log cut anywhere in its last entry keeps every earlier entry whole and takes
// the next report as an entry of its own.
TEST(LogEntries, CutInTheLastEntryKeepsTheEarlierOnes) {
  std::string a = Fixture("report-a.txt");
  std::string first = WithId(a, "00000001") + "\r\n\r\n\r\n\r\n";
  std::string whole = first + WithId(a, "00000002") + "\r\n\r\n\r\n\r\n";
  for (size_t cut = first.size(); cut <= whole.size(); ++cut) {
    TLogEntries log;
    log.Load(whole.substr(0, cut));
    ASSERT_GE(log.Count(), 1) << cut;
    ASSERT_EQ(log.Entry(0), WithId(a, "00000001") + "\r\n\r\n\r\n") << cut;
    log.Add(WithId(a, "00000003"), 32);
    // What the next write puts on disk reads back with the new report last.
    std::string next = log.OnlyAppended() && log.LoadedTextComplete() ? whole.substr(0, cut) + log.AppendedFileText()
                                                                      : log.FileText();
    TLogEntries again;
    again.Load(next);
    ASSERT_EQ(again.Entry(0), WithId(a, "00000001") + "\r\n\r\n\r\n") << cut;
    ASSERT_EQ(again.FieldValue("2.7", again.Count() - 1), "00000003") << cut;
    ASSERT_EQ(again.Entry(again.Count() - 1), WithId(a, "00000003") + "\r\n\r\n\r\n") << cut;
  }
}

}  // namespace
}  // namespace exclog
