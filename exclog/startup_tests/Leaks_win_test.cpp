// The leak collector end to end: a program that leaks on purpose runs to its end
// under the logger, and its text log is read back here. The program carries no
// test framework, whose own allocations would show as leaks.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "exclog/sending/EWebPeers_win_test.h"
#include "tests/support/Addr2Line_win.h"
#include "tests/support/ChildProcess_win.h"
#include "tests/support/TestPaths.h"

namespace {

struct TStackRow {
  uint32_t Address = 0;
  std::string Module, Unit, Class, Routine;
  uint32_t Line = 0;
};

struct TLeakGroup {
  std::string Type;
  uint64_t Size = 0;
  uint32_t Count = 0;
  std::vector<TStackRow> Rows;
};

std::string ReadText(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    out.push_back(line);
  }
  return out;
}

std::string Trim(const std::string& s) {
  size_t first = s.find_first_not_of(' '), last = s.find_last_not_of(' ');
  return first == std::string::npos ? "" : s.substr(first, last - first + 1);
}

// The value of a "  S.F Label: value" line of each entry, in order.
std::vector<std::string> FieldValues(const std::string& log, const std::string& field) {
  std::vector<std::string> out;
  for (const std::string& line : Lines(log))
    if (line.rfind("  " + field + " ", 0) == 0) out.push_back(Trim(line.substr(line.find(": ") + 2)));
  return out;
}

// The leak blocks of the call-stack table: each "+Memory Leak: ..." caption with
// the rows under it.
std::vector<TLeakGroup> LeakGroups(const std::string& log) {
  std::vector<TLeakGroup> groups;
  bool inGroup = false;
  for (const std::string& line : Lines(log)) {
    if (line.rfind("|+Memory Leak: Type=", 0) == 0) {
      TLeakGroup g;
      std::string caption = Trim(line.substr(1, line.size() - 2));
      size_t type = caption.find("Type=") + 5, size = caption.find("; Total size="), count = caption.find("; Count=");
      g.Type = caption.substr(type, size - type);
      g.Size = std::strtoull(caption.c_str() + size + 13, nullptr, 10);
      g.Count = static_cast<uint32_t>(std::strtoul(caption.c_str() + count + 8, nullptr, 10));
      groups.push_back(g);
      inGroup = true;
      continue;
    }
    if (line.empty() || line[0] != '|' || line.find_first_not_of("|-") == std::string::npos) {
      if (line.empty() || line[0] != '|') inGroup = false;
      continue;
    }
    if (!inGroup || groups.empty()) continue;
    std::vector<std::string> cells;
    std::istringstream in(line.substr(1));
    for (std::string cell; std::getline(in, cell, '|');) cells.push_back(Trim(cell));
    if (cells.size() < 6) continue;
    TStackRow row;
    row.Address = static_cast<uint32_t>(std::strtoul(cells[0].c_str(), nullptr, 16));
    row.Module = cells[1];
    row.Unit = cells[2];
    row.Class = cells[3];
    row.Routine = cells[4];
    row.Line = static_cast<uint32_t>(std::strtoul(cells[5].c_str(), nullptr, 10));
    groups.back().Rows.push_back(row);
  }
  return groups;
}

uint32_t SourceLineOf(const std::string& text) {
  return velmora::test::SourceLineOf("exclog/startup_tests/LeakChild_win.cpp", text);
}

// Runs the program in `mode` after removing its log; its log text afterwards. With
// `temp`, the program's temporary folder is that one.
struct TChildRun {
  DWORD ExitCode = 0;
  std::string Output, Log;
};
TChildRun RunChild(const std::string& exe, const std::string& mode, const std::string& temp = "") {
  const std::string path = velmora::test::HostPath(exe);
  const std::string log = path.substr(0, path.size() - 4) + ".qlf";
  DeleteFileA(log.c_str());
  char tmp[MAX_PATH + 1] = {}, tempVar[MAX_PATH + 1] = {};
  GetEnvironmentVariableA("TMP", tmp, MAX_PATH);
  GetEnvironmentVariableA("TEMP", tempVar, MAX_PATH);
  if (!temp.empty()) {
    SetEnvironmentVariableA("TMP", temp.c_str());
    SetEnvironmentVariableA("TEMP", temp.c_str());
  }
  velmora::test::TChildProcess child("\"" + path + "\" " + mode, true);
  SetEnvironmentVariableA("TMP", tmp[0] ? tmp : nullptr);
  SetEnvironmentVariableA("TEMP", tempVar[0] ? tempVar : nullptr);
  TChildRun run;
  if (!child.Started()) return run;
  run.ExitCode = child.Finish(60000);
  run.Output = child.Output();
  run.Log = ReadText(log);
  return run;
}

bool OwnRow(const TStackRow& row) { return row.Unit == "LeakChild_win"; }

// addr2line's places of an address, innermost inlined routine first, outermost last.
std::vector<velmora::test::TSourceLine> InlineChain(const std::string& exe, uint32_t address) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%x", address);
  std::vector<std::string> lines = velmora::test::HostLines("i686-w64-mingw32-addr2line -f -C -i -e '" +
                                                            velmora::test::UnixPath(exe) + "' " + hex);
  std::vector<velmora::test::TSourceLine> chain;
  for (size_t i = 0; i + 1 < lines.size(); i += 2) {
    size_t colon = lines[i + 1].rfind(':');
    uint32_t line = colon == std::string::npos ? 0 : std::strtoul(lines[i + 1].c_str() + colon + 1, nullptr, 10);
    chain.push_back({lines[i], line});
  }
  return chain;
}

TEST(LeakReport, LeaksOfThreePlacesAreThreeGroupsStartingAtTheirLines) {
  TChildRun run = RunChild(LEAK_CHILD, "leaks");
  EXPECT_EQ(run.ExitCode, 0u) << run.Output;
  EXPECT_NE(run.Output.find("ended normally"), std::string::npos) << run.Output;
  ASSERT_EQ(FieldValues(run.Log, "2.5"), std::vector<std::string>{"EMemoryLeak"}) << run.Log;
  const std::vector<TLeakGroup> groups = LeakGroups(run.Log);
  ASSERT_FALSE(groups.empty()) << run.Log;

  const uint32_t objects = SourceLineOf("// leak: objects"), text = SourceLineOf("// leak: string"),
                 data = SourceLineOf("// leak: data");
  bool objectsSeen = false, textSeen = false, dataSeen = false;
  const std::string exe = velmora::test::HostPath(LEAK_CHILD);
  for (const TLeakGroup& g : groups) {
    const TStackRow* first = nullptr;
    std::vector<const TStackRow*> own;
    for (const TStackRow& row : g.Rows)
      if (OwnRow(row)) {
        if (!first) first = &row;
        own.push_back(&row);
      }
    // Every group leads back to one of the three leaking lines.
    ASSERT_NE(first, nullptr) << g.Type << " " << g.Size << "\n" << run.Log;
    EXPECT_TRUE(first->Line == objects || first->Line == text || first->Line == data) << first->Line << "\n" << run.Log;
    if (g.Type == "TLeakTestObject") {
      objectsSeen = true;
      EXPECT_EQ(g.Count, 3u);
      EXPECT_EQ(first->Line, objects);
      EXPECT_EQ(&g.Rows[0], first) << "the object's first row is the allocating line";
    }
    if (g.Type == "Data" && g.Size == 48 && g.Count == 3) {
      dataSeen = true;
      EXPECT_EQ(first->Line, data);
      EXPECT_EQ(&g.Rows[0], first);
    }
    if (first->Line == text) textSeen = true;
    // Our rows are where addr2line puts their addresses: the routine of our source
    // in its chain of inlined routines, at the same line.
    for (const TStackRow* row : own) {
      bool placed = false;
      std::string chain;
      for (const velmora::test::TSourceLine& at : InlineChain(exe, row->Address)) {
        placed = placed || (at.Line == row->Line && velmora::test::SameRoutine(row->Routine, at.Routine));
        chain += " " + at.Routine + ":" + std::to_string(at.Line);
      }
      EXPECT_TRUE(placed) << row->Routine << ":" << row->Line << " /" << chain;
    }
    // The unit registered last freed its block at its stop.
    EXPECT_EQ(run.Log.find("LateUnitStart"), std::string::npos);
  }
  EXPECT_TRUE(objectsSeen && textSeen && dataSeen) << run.Log;
}

TEST(LeakReport, CleanProgramReportsNothingAndBlockErrorsOneReportEach) {
  TChildRun clean = RunChild(LEAK_CHILD, "clean");
  EXPECT_EQ(clean.ExitCode, 0u) << clean.Output;
  EXPECT_TRUE(FieldValues(clean.Log, "2.5").empty()) << clean.Log;

  for (const auto& [mode, type] : {std::pair<std::string, std::string>{"double-free", "EMultiFree"},
                                   std::pair<std::string, std::string>{"overrun", "EMemoryOverrun"}}) {
    TChildRun reported = RunChild(LEAK_CHILD, mode);
    EXPECT_EQ(reported.ExitCode, 0u) << mode << reported.Output;
    EXPECT_NE(reported.Output.find("ended normally"), std::string::npos) << mode << reported.Output;
    EXPECT_EQ(FieldValues(reported.Log, "2.5"), std::vector<std::string>{type}) << reported.Log;
    // Without the options' error bit the same mistakes go unreported.
    TChildRun quiet = RunChild(LEAK_CHILD_QUIET, mode);
    EXPECT_EQ(quiet.ExitCode, 0u) << mode << quiet.Output;
    EXPECT_NE(quiet.Output.find("ended normally"), std::string::npos) << mode << quiet.Output;
    EXPECT_TRUE(FieldValues(quiet.Log, "2.5").empty()) << quiet.Log;
  }
}

// The leak report's terminate button ends the program as any report's does: with
// exit code 1, before the program's own last line.
TEST(LeakReport, TerminateButtonEndsTheProgram) {
  TChildRun run = RunChild(LEAK_CHILD, "leaks-terminate");
  EXPECT_EQ(run.ExitCode, 1u) << run.Output;
  EXPECT_NE(run.Output.find("report EMemoryLeak"), std::string::npos) << run.Output;
  EXPECT_EQ(run.Output.find("ended normally"), std::string::npos) << run.Output;
}

// The dialog flags a report of `type` printed, or -1.
long PrintedDialogFlags(const std::string& output, const std::string& type) {
  const std::string head = "report " + type + " dialog flags ";
  size_t at = output.find(head);
  return at == std::string::npos ? -1 : std::strtol(output.c_str() + at + head.size(), nullptr, 10);
}

// The leak report runs after every window of the program closed: it takes no
// screen shot and its dialog offers none to attach. A report while the program
// runs does both, by the same options.
TEST(LeakReport, LeakReportTakesNoScreenShotAndOffersNone) {
  constexpr long ShowScreenshotBox = 0x100;
  struct TCase {
    const char* Mode;
    const char* Type;
    bool Shot;
  };
  for (const TCase& c : {TCase{"double-free", "EMultiFree", true}, TCase{"leaks", "EMemoryLeak", false}}) {
    char base[MAX_PATH + 1] = {};
    GetTempPathA(MAX_PATH, base);
    const std::string temp = std::string(base) + "leak_shot_" + std::to_string(GetCurrentProcessId()) + "_" + c.Mode + "\\";
    CreateDirectoryA(temp.c_str(), nullptr);
    const std::string shot = temp + "Screenshot.png";
    DeleteFileA(shot.c_str());
    TChildRun run = RunChild(LEAK_CHILD, c.Mode, temp);
    EXPECT_EQ(run.ExitCode, 0u) << c.Mode << run.Output;
    const long flags = PrintedDialogFlags(run.Output, c.Type);
    ASSERT_GE(flags, 0) << c.Mode << run.Output;
    EXPECT_EQ((flags & ShowScreenshotBox) != 0, c.Shot) << c.Mode << " " << flags;
    EXPECT_EQ(GetFileAttributesA(shot.c_str()) != INVALID_FILE_ATTRIBUTES, c.Shot) << c.Mode;
    DeleteFileA(shot.c_str());
    RemoveDirectoryA(temp.c_str());
  }
}

// The process ends as soon as the leak report is done: its upload goes out before
// that, although the options hand reports to a sending thread of their own. The
// test's HTTP server holds the form and the archive it carried.
TEST(LeakReport, LeakReportIsSentBeforeTheProcessEnds) {
  exclog::test::THttpPeer server;
  ASSERT_GT(server.Port(), 0);
  const std::string path = velmora::test::HostPath(LEAK_CHILD);
  DeleteFileA((path.substr(0, path.size() - 4) + ".qlf").c_str());
  // Its output is not read meanwhile: a pipe would fill with the report and stop it.
  velmora::test::TChildProcess child("\"" + path + "\" leaks-upload " + std::to_string(server.Port()));
  ASSERT_TRUE(child.Started());
  EXPECT_EQ(child.Finish(60000), 0u);
  // The process has ended: what the server holds came before.
  const std::vector<std::string> requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  const std::string& post = requests[0];
  EXPECT_TRUE(exclog::test::Has(post, "\"method\": \"POST\", \"path\": \"/upload\"")) << post;
  EXPECT_TRUE(exclog::test::Has(post, "\"content_type\": \"multipart/form-data; boundary=")) << post;
  EXPECT_TRUE(exclog::test::Has(post, "\"ql_upload_file_0\": {\"filename\": \"BugReport.zip\"")) << post;
  // The archive is whole and its text log is the leak report.
  const std::string archive = server.Unix("store/BugReport.zip");
  EXPECT_EQ(velmora::test::RunHostCommand("unzip -tq '" + archive + "' >/dev/null 2>&1; echo $?").value_or(""), "0\n");
  const std::string archived = velmora::test::RunHostCommand("unzip -p '" + archive + "' '*.qlf'").value_or("");
  EXPECT_EQ(FieldValues(archived, "2.5"), std::vector<std::string>{"EMemoryLeak"}) << archived.substr(0, 400);
  bool objects = false;
  for (const TLeakGroup& g : LeakGroups(archived)) objects = objects || (g.Type == "TLeakTestObject" && g.Count == 3);
  EXPECT_TRUE(objects) << "the three leaked objects are in the archived log";
}

// The collector stops after every other unit, the class library's included, and
// the logger's core after it.
TEST(LeakReport, CollectorAndCoreStopLast) {
  TChildRun run = RunChild(LEAK_CHILD, "order");
  EXPECT_EQ(run.ExitCode, 0u) << run.Output;
  const size_t at = run.Output.find("stops:");
  ASSERT_NE(at, std::string::npos) << run.Output;
  std::string order = run.Output.substr(at, run.Output.find('\n', at) - at);
  if (!order.empty() && order.back() == '\r') order.pop_back();
  const std::string tail = " Classes ELeaks ECore";
  ASSERT_GE(order.size(), tail.size()) << order;
  EXPECT_EQ(order.substr(order.size() - tail.size()), tail) << order;
}

}  // namespace
