#include "exclog/report/ELogManager_win.h"
#include "exclog/report/EXMLBuilder_win.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "exclog/report/ELogFixtures_test.h"
#include "exclog/report/EXMLBuilder.h"
#include "tests/support/ChildProcess_win.h"
#include "tests/support/GuiProbe_win.h"

namespace exclog {
namespace {

using test::Fixture;

std::string IdText(int id) {
  char text[16];
  std::snprintf(text, sizeof text, "%.8X", id);
  return text;
}

std::string Report(int id) {
  std::string r = Fixture("report-a.txt");
  r.replace(r.find("1234ABCD"), 8, IdText(id));
  return r;
}

std::string Folder() {
  char buffer[MAX_PATH] = {};
  GetCurrentDirectoryA(MAX_PATH, buffer);
  return std::string(buffer) + "\\logtest_" + std::to_string(GetCurrentProcessId());
}

DWORD FileIndex(const std::string& name) {
  HANDLE file = CreateFileA(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  BY_HANDLE_FILE_INFORMATION info{};
  GetFileInformationByHandle(file, &info);
  CloseHandle(file);
  return info.nFileIndexLow;
}

std::string HostPath(std::string path) {
  if (path.rfind("Z:", 0) == 0 || path.rfind("z:", 0) == 0) path.erase(0, 2);
  for (char& c : path)
    if (c == '\\') c = '/';
  return path;
}

class LogOnDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = Folder();
    CreateDirectoryA(folder_.c_str(), nullptr);
    CreateDirectoryA((folder_ + "\\tmp").c_str(), nullptr);
    name_ = folder_ + "\\test.qlf";
    DeleteFileA(name_.c_str());
    saved_ = LogSavingSeams();
    savedFiles_ = ReportFilesSeams();
    for (const char* name : {"TMP", "TEMP"}) {
      char value[MAX_PATH] = {};
      GetEnvironmentVariableA(name, value, MAX_PATH);
      savedTemp_.push_back(value);
    }
  }
  void TearDown() override {
    SetEnvironmentVariableA("TMP", savedTemp_[0].empty() ? nullptr : savedTemp_[0].c_str());
    SetEnvironmentVariableA("TEMP", savedTemp_[1].empty() ? nullptr : savedTemp_[1].c_str());
    SetEnvironmentVariableA("EXCLOG_EXTRA", nullptr);
    LogSavingSeams() = saved_;
    ReportFilesSeams() = savedFiles_;
    velmora::test::RunHostCommand("rm -rf '" + HostPath(folder_) + "'");
  }
  void Put(const std::string& text) { ASSERT_TRUE(WriteFileText(name_, text)); }
  // Options whose log is name_ and whose temporary folder is folder_\tmp.
  TQuelbaModuleOptions& Options() {
    TQuelbaModuleOptions& options = options_;
    options.SetLogFolder(name_);
    SetEnvironmentVariableA("TMP", (folder_ + "\\tmp\\").c_str());
    SetEnvironmentVariableA("TEMP", (folder_ + "\\tmp\\").c_str());
    return options;
  }
  bool NoTemporaryLeft() {
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder_ + "\\*.tmp").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return true;
    FindClose(find);
    return false;
  }

  std::string folder_, name_;
  TLogSavingSeams saved_;
  TReportFilesSeams savedFiles_;
  std::vector<std::string> savedTemp_;
  TQuelbaModuleOptions options_;
};

const std::string Sep = "\r\n\r\n\r\n\r\n";

TEST_F(LogOnDisk, AnAddedReportIsAppendedToTheSameFile) {
  Put(Report(1) + Sep);
  DWORD before = FileIndex(name_);
  {
    TLogFile log(name_, false);
    ASSERT_TRUE(log.IsOpen());
    ASSERT_EQ(log.Count(), 1);
    // Others may read the log meanwhile.
    HANDLE reader = CreateFileA(name_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(reader, INVALID_HANDLE_VALUE);
    log.Add(Report(2), 32);
    EXPECT_TRUE(log.Write());
    CloseHandle(reader);
  }
  EXPECT_EQ(ReadFileText(name_), Report(1) + Sep + Report(2) + Sep);
  EXPECT_EQ(FileIndex(name_), before);
}

TEST_F(LogOnDisk, OtherChangesReplaceTheFileWhole) {
  Put(Report(1) + Sep + Report(2) + Sep);
  DWORD before = FileIndex(name_);
  {
    TLogFile log(name_, false);
    log.Add(Report(3), 2);
    EXPECT_TRUE(log.Write());
    // Written again after the replacement: appended to the new file.
    log.Add(Report(4), 3);
    EXPECT_TRUE(log.Write());
  }
  EXPECT_EQ(ReadFileText(name_), Report(2) + Sep + Report(3) + Sep + Report(4) + Sep);
  EXPECT_NE(FileIndex(name_), before);
  EXPECT_TRUE(NoTemporaryLeft());
  // A new log is created.
  DeleteFileA(name_.c_str());
  TLogFile fresh(name_, false);
  EXPECT_FALSE(fresh.IsOpen());
  fresh.Add(Report(5), 32);
  EXPECT_TRUE(fresh.Write());
  EXPECT_EQ(ReadFileText(name_), Report(5) + Sep);
}

TEST_F(LogOnDisk, ARefusedReplacementWritesInPlace) {
  Put(Report(1) + Sep + Report(2) + Sep);
  // A reader that does not share deletion keeps the file from being replaced.
  HANDLE holder = CreateFileA(name_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  {
    TLogFile log(name_, false);
    log.SetFieldValue("2.8", "7", 0, "Count");
    EXPECT_TRUE(log.Write());
  }
  CloseHandle(holder);
  std::string expected = Report(1);
  expected.replace(expected.find("  2.8 Count  : 1"), 16, "  2.8 Count  : 7");
  EXPECT_EQ(ReadFileText(name_), expected + Sep + Report(2) + Sep);
  EXPECT_TRUE(NoTemporaryLeft());
  TLogFile readOnly(name_, true);
  readOnly.Add(Report(3), 32);
  EXPECT_FALSE(readOnly.Write());
}

TEST_F(LogOnDisk, DuplicatesAreCountedOnTheLoggedEntry) {
  TQuelbaModuleOptions& options = Options();
  options.SetLogFlags(0x31);
  ASSERT_EQ(ProcessLogFileName(options), name_);
  EXPECT_FALSE(CheckDuplicate(options, "00000001", true));
  EXPECT_TRUE(SaveTextLog(options, Report(1), false));
  EXPECT_TRUE(CheckDuplicate(options, "00000001", true));
  EXPECT_FALSE(SaveTextLog(options, Report(1), true));
  EXPECT_TRUE(CheckDuplicate(options, "00000001", false));
  TLogFile log(name_, true);
  ASSERT_EQ(log.Count(), 1);
  EXPECT_EQ(log.FieldValue("2.8", 0), "2");
  // Without bit 0 nothing is ever a duplicate.
  options.SetLogFlags(0x30);
  EXPECT_FALSE(CheckDuplicate(options, "00000001", true));
}

std::vector<int> heardActions;
int retriesLeft = 0;

TEST_F(LogOnDisk, SavingStepSendsItsEventsAndRetries) {
  TQuelbaModuleOptions& options = Options();
  heardActions.clear();
  retriesLeft = 1;
  LogSavingSeams().ActionNotify = [](int action, uint8_t* goAhead) {
    heardActions.push_back(action);
    if (goAhead) *goAhead = 0;  // objects to the first write
  };
  LogSavingSeams().ErrorNotify = [](int action) {
    heardActions.push_back(-action);
    return retriesLeft-- > 0;
  };
  EXPECT_TRUE(SaveTextLog(options, Report(1), false));
  EXPECT_EQ(heardActions, (std::vector<int>{SavingLogFileAction, -LogFileErrorAction, SavedLogFileAction}));
  EXPECT_EQ(ReadFileText(name_), Report(1) + Sep);
  // Switched off: no events, no file.
  heardActions.clear();
  DeleteFileA(name_.c_str());
  options.SetSaveLogFile(0);
  EXPECT_FALSE(SaveTextLog(options, Report(2), false));
  EXPECT_TRUE(heardActions.empty());
  EXPECT_EQ(GetFileAttributesA(name_.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(LogOnDisk, XmlLogFromTheLogWhenNoCopyWasMade) {
  TQuelbaModuleOptions& options = Options();
  EXPECT_EQ(ExportXmlLog(options, ""), "");  // bit 3 clear
  options.SetProcessFlags(0x8);
  Put(Report(1) + Sep + Fixture("report-old.txt") + Sep);
  std::string xml = ExportXmlLog(options, "");
  EXPECT_EQ(xml, folder_ + "\\tmp\\test.xml");
  std::string expected = Fixture("report-a.xml") + "\r\n";
  expected.replace(expected.find("1234ABCD"), 8, "00000001");
  EXPECT_EQ(ReadFileText(xml), expected);
  auto lint = velmora::test::RunHostCommand("xmllint --noout '" + HostPath(xml) + "' 2>&1 && echo valid");
  ASSERT_TRUE(lint);
  EXPECT_EQ(*lint, "valid\n");
  auto reader = velmora::test::RunHostCommand("/usr/bin/python3 '" VELMORA_SOURCE_DIR
                                              "/tests/peers/report_xml_check.py' '" +
                                              HostPath(name_) + "' '" + HostPath(xml) + "'");
  ASSERT_TRUE(reader);
  EXPECT_EQ(*reader, "ok\n");
  // The copy in the temporary folder wins when there is one.
  WriteFileText(folder_ + "\\tmp\\test.qlf", Report(9) + Sep);
  ExportXmlLog(options, "");
  EXPECT_NE(ReadFileText(xml).find("Value=\"00000009\""), std::string::npos);
  // The last page goes to its file only when kept and switched on.
  ReportFilesSeams().LastPage = [] { return std::string("<html/>"); };
  EXPECT_FALSE(SaveLastHtmlPage(options, "<html/>"));
  options.SetProcessFlags(0x48);
  EXPECT_TRUE(SaveLastHtmlPage(options, "<html/>"));
  EXPECT_EQ(ReadFileText(folder_ + "\\tmp\\LastHTMLPage.html"), "<html/>");
  options.SetAttachedFiles("%EXCLOG_EXTRA%\\notes.txt");
  SetEnvironmentVariableA("EXCLOG_EXTRA", "C:\\Extra");
  EXPECT_EQ(ReportAttachments(options, false),
            (std::vector<std::string>{"C:\\Extra\\notes.txt", folder_ + "\\tmp\\test.qlf",
                                      folder_ + "\\tmp\\LastHTMLPage.html", folder_ + "\\tmp\\test.xml"}));
}

// --- Killed while writing -------------------------------------------------------

constexpr int KillCapacity = 6;

// A report with a long modules table, so that writing the log takes a while.
std::string KillReport(int id) {
  std::string r = Report(id);
  std::string row = "|00400000|Velmora.exe|Velmora? demo|1.0.0.0|204800|2026-12-05 22:59:00|C:\\Velmora|\r\n";
  std::string rows;
  for (int i = 0; i < 3000; ++i) rows += row;
  r.insert(r.find(row) + row.size(), rows);
  return r;
}

// The child: writes one report after another until it is killed, appending
// while the log has room and replacing the file once it is full.
TEST(LogKill, DISABLED_ChildWritesReports) {
  char name[MAX_PATH] = {};
  if (!GetEnvironmentVariableA("EXCLOG_KILL_LOG", name, MAX_PATH)) GTEST_SKIP();
  for (;;) {
    TLogFile log(name, false);
    int next = 1;
    if (log.Count()) next = std::stoi(log.FieldValue("2.7", log.Count() - 1), nullptr, 16) + 1;
    log.Add(KillReport(next), KillCapacity);
    log.Write();
  }
}

TEST_F(LogOnDisk, KilledWritersLeaveEarlierReportsWhole) {
  char program[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, program, MAX_PATH);
  SetEnvironmentVariableA("EXCLOG_KILL_LOG", name_.c_str());
  std::string command = "\"" + std::string(program) +
                        "\" --gtest_also_run_disabled_tests --gtest_filter=LogKill.DISABLED_ChildWritesReports";
  std::mt19937 moments(2126);
  int lastWhole = 0;
  std::vector<int> cut;  // ids of entries a kill cut short
  for (int round = 0; round < 10; ++round) {
    STARTUPINFOA start{};
    start.cb = sizeof start;
    PROCESS_INFORMATION child{};
    std::string line = command;
    ASSERT_TRUE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &start, &child));
    // Let it write a drawn number of further reports, then a drawn time into the next.
    int target = lastWhole + 1 + static_cast<int>(moments() % 4);
    DWORD deadline = GetTickCount() + 20000;
    for (;;) {
      TLogEntries seen;
      seen.Load(ReadFileText(name_));
      if (seen.Count() && std::stoi(seen.FieldValue("2.7", seen.Count() - 1), nullptr, 16) >= target) break;
      ASSERT_LT(GetTickCount(), deadline) << "the child wrote no report";
      SwitchToThread();
    }
    LARGE_INTEGER now, until;
    QueryPerformanceCounter(&now);
    until.QuadPart = now.QuadPart + static_cast<LONGLONG>(moments() % 200000);
    while (QueryPerformanceCounter(&now), now.QuadPart < until.QuadPart) {
    }
    TerminateProcess(child.hProcess, 9);
    WaitForSingleObject(child.hProcess, 10000);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);

    TLogEntries log;
    std::string text = ReadFileText(name_);
    log.Load(text);
    ASSERT_GT(log.Count(), 0);
    bool endsWhole = text.size() >= 8 && text.compare(text.size() - 8, 8, Sep) == 0;
    // Every entry is a whole report, in order; only an append cut short by a
    // kill leaves an unfinished one, and it stays behind the earlier ones.
    int previous = 0;
    for (int i = 0; i < log.Count(); ++i) {
      int id = std::stoi(log.FieldValue("2.7", i), nullptr, 16);
      bool whole = log.Entry(i) == KillReport(id) + "\r\n\r\n\r\n";
      if (i == log.Count() - 1 && !endsWhole && !whole) cut.push_back(id);
      ASSERT_TRUE(whole || std::find(cut.begin(), cut.end(), id) != cut.end()) << "round " << round << " entry " << i;
      if (previous) {
        ASSERT_EQ(id, previous + 1);
      }
      previous = id;
      if (whole) lastWhole = id;
    }
    ASSERT_GE(lastWhole, target - 1);
  }
  // The next report goes in cleanly after the last kill.
  {
    TLogFile log(name_, false);
    log.Add(KillReport(lastWhole + 100), 1000);
    ASSERT_TRUE(log.Write());
  }
  TLogEntries after;
  after.Load(ReadFileText(name_));
  ASSERT_GE(after.Count(), 2);
  ASSERT_EQ(after.Entry(after.Count() - 1), KillReport(lastWhole + 100) + "\r\n\r\n\r\n");
  bool kept = false;
  for (int i = 0; i < after.Count() - 1; ++i) kept |= after.Entry(i) == KillReport(lastWhole) + "\r\n\r\n\r\n";
  EXPECT_TRUE(kept);
  // Kills during a replacement left the child's temporary file; the next write
  // removed it.
  EXPECT_TRUE(NoTemporaryLeft());
  SetEnvironmentVariableA("EXCLOG_KILL_LOG", nullptr);
}

// The child: writes the XML of the log over and over until it is killed.
TEST(LogKill, DISABLED_ChildWritesXml) {
  char name[MAX_PATH] = {}, xml[MAX_PATH] = {};
  if (!GetEnvironmentVariableA("EXCLOG_KILL_LOG", name, MAX_PATH) || !GetEnvironmentVariableA("EXCLOG_KILL_XML", xml, MAX_PATH))
    GTEST_SKIP();
  TLogFile log(name, true);
  for (;;) ExportLogXml(log, xml);
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

TEST_F(LogOnDisk, XmlKilledWhileReplacedStaysWholeAndItsTemporaryGoes) {
  {
    TLogFile log(name_, false);
    for (int id = 1; id <= KillCapacity; ++id) log.Add(KillReport(id), KillCapacity);
    ASSERT_TRUE(log.Write());
  }
  std::string xml = folder_ + "\\test.xml";
  {
    TLogFile log(name_, true);
    ASSERT_TRUE(ExportLogXml(log, xml));
  }
  const std::string whole = ReadFileText(xml);
  ASSERT_GT(whole.size(), 1000u);
  SetEnvironmentVariableA("EXCLOG_KILL_LOG", name_.c_str());
  SetEnvironmentVariableA("EXCLOG_KILL_XML", xml.c_str());
  velmora::test::TChildProcess child("\"" + velmora::test::OwnProgramPath() +
                                     "\" --gtest_also_run_disabled_tests --gtest_filter=LogKill.DISABLED_ChildWritesXml");
  SetEnvironmentVariableA("EXCLOG_KILL_LOG", nullptr);
  SetEnvironmentVariableA("EXCLOG_KILL_XML", nullptr);
  ASSERT_TRUE(child.Started());
  // Killed while its replacement stands half-written beside the XML.
  const std::string childXmlTemporary = TemporaryFileName(xml, child.Id());
  DWORD deadline = GetTickCount() + 30000;
  while (!Exists(childXmlTemporary)) {
    ASSERT_LT(GetTickCount(), deadline) << "the child never wrote the XML through a temporary file";
    SwitchToThread();
  }
  // A running writer's temporary stays when the log is written meanwhile.
  const std::string liveLogTemporary = TemporaryFileName(name_, child.Id());
  ASSERT_TRUE(WriteFileText(liveLogTemporary, "half"));
  {
    TLogFile log(name_, false);
    log.SetFieldValue("2.8", "5", 0, "Count");
    ASSERT_TRUE(log.Write());
  }
  EXPECT_TRUE(Exists(liveLogTemporary));
  HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, child.Id());
  ASSERT_TRUE(process);
  TerminateProcess(process, 9);
  CloseHandle(process);
  ASSERT_TRUE(child.Ended(10000));
  EXPECT_EQ(ReadFileText(xml), whole);
  // The next writes clear what the dead writer left.
  {
    TLogFile log(name_, false);
    log.SetFieldValue("2.8", "6", 0, "Count");
    ASSERT_TRUE(log.Write());
    ASSERT_TRUE(ExportLogXml(log, xml));
  }
  EXPECT_FALSE(Exists(liveLogTemporary));
  EXPECT_FALSE(Exists(childXmlTemporary));
  EXPECT_TRUE(NoTemporaryLeft());
  EXPECT_NE(ReadFileText(xml).find("Value=\"6\""), std::string::npos);
}

}  // namespace
}  // namespace exclog
