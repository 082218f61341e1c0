// The host program's exception report as a user gets it: Help > "Raise an exception"
// clicked twice through the X server, then the text log beside the program, its
// XML copy in the temporary folder and the main window checked from outside.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "tests/gui/AppWindows_win.h"
#include "tests/support/Addr2Line_win.h"
#include "tests/support/ChildProcess_win.h"
#include "tests/support/GuiProbe_win.h"
#include "tests/support/TestPaths.h"

namespace {

using velmora::test::FindMainWindowOf;
using velmora::test::PumpUntil;
using velmora::test::RaiseFromTheMenu;
using velmora::test::ReadText;
using velmora::test::RunHostCommand;

std::string Quoted(const std::string& windowsPath) { return "'" + velmora::test::UnixPath(windowsPath) + "'"; }

std::string FolderOf(const std::string& path) { return path.substr(0, path.find_last_of("\\/") + 1); }

// What the independent reader found in a report: "field 2.8 Count=2" becomes
// fields["2.8"] = "2"; "cell Call Stack Information 3 Unit=X" becomes
// rows[3]["Unit"] = "X".
struct TReadReport {
  bool Read = false;
  std::string Output;
  std::map<std::string, std::string> Fields;
  std::map<int, std::map<std::string, std::string>> StackRows;
};

TReadReport ReadBack(const std::string& reportFile) {
  TReadReport r;
  std::optional<std::string> out = RunHostCommand(
      "/usr/bin/python3 '" VELMORA_SOURCE_DIR "/tests/peers/report_reader.py' " + Quoted(reportFile) +
      " && echo read-ok");
  if (!out) return r;
  r.Output = *out;
  std::istringstream lines(*out);
  for (std::string line; std::getline(lines, line);) {
    if (line == "read-ok") r.Read = true;
    if (line.rfind("field ", 0) == 0) {
      size_t number = line.find(' ', 6), equals = line.find('=');
      if (number != std::string::npos && equals != std::string::npos)
        r.Fields[line.substr(6, number - 6)] = line.substr(equals + 1);
    }
    const std::string cell = "cell Call Stack Information ";
    if (line.rfind(cell, 0) == 0) {
      std::istringstream rest(line.substr(cell.size()));
      int row = 0;
      std::string column;
      rest >> row;
      std::getline(rest >> std::ws, column);
      size_t equals = column.find('=');
      if (equals != std::string::npos) r.StackRows[row][column.substr(0, equals)] = column.substr(equals + 1);
    }
  }
  return r;
}

// The logger's dialog shows the report; Escape closes it and the program goes on.
bool CloseTheReportDialog(DWORD processId) {
  HWND dialog = velmora::test::WaitForReportDialog(processId);
  if (!dialog) return false;
  // Keys go where the X server's focus is: the dialog is placed before it is
  // activated, and Escape pressed in between would reach the main window.
  SetForegroundWindow(dialog);
  std::string focus;
  if (!PumpUntil([&] {
        focus = RunHostCommand("/usr/bin/xdotool getwindowfocus getwindowname").value_or("(none)");
        return focus == "Error occurred\n";
      }, 30000)) {
    ADD_FAILURE() << "the X focus stayed on: \"" << focus << "\" "
                  << RunHostCommand("id=$(/usr/bin/xdotool getwindowfocus); /usr/bin/xwininfo -id $id | head -8").value_or("");
    return false;
  }
  RunHostCommand("/usr/bin/xdotool key Escape");
  return PumpUntil([&] { return !IsWindow(dialog); }, 15000);
}

TEST(HostReport, RaisingTwiceFromTheMenuLogsOneCountedEntryAndTheWindowStays) {
  const std::string exe = velmora::test::HostPath(VELMORA_EXE);
  const std::string log = FolderOf(exe) + "Velmora.qlf";
  char temp[MAX_PATH + 1] = {};
  GetTempPathA(MAX_PATH, temp);
  const std::string xml = std::string(temp) + "Velmora.xml";
  DeleteFileA(log.c_str());
  DeleteFileA(xml.c_str());

  velmora::test::TChildProcess program("\"" + exe + "\"");
  ASSERT_TRUE(program.Started());
  HWND window = nullptr;
  ASSERT_TRUE(PumpUntil([&] { return (window = FindMainWindowOf(program.Id())) != nullptr; }, 20000));
  ASSERT_TRUE(PumpUntil([&] { return velmora::test::AnswersSkinned(window); }, 20000));
  ASSERT_TRUE(velmora::test::FocusByCaption(window));

  // The first report writes the entry, the second counts it there.
  ASSERT_TRUE(RaiseFromTheMenu(program.Id()));
  ASSERT_TRUE(CloseTheReportDialog(program.Id()));
  ASSERT_TRUE(PumpUntil([&] { return ReadText(log).find("  2.8 ") != std::string::npos; }, 30000))
      << "no report logged";
  ASSERT_TRUE(RaiseFromTheMenu(program.Id()));
  ASSERT_TRUE(CloseTheReportDialog(program.Id()));
  ASSERT_TRUE(PumpUntil([&] { return ReadBack(log).Fields["2.8"] == "2"; }, 30000)) << ReadText(log);

  TReadReport report = ReadBack(log);
  ASSERT_TRUE(report.Read) << report.Output;
  const std::string text = ReadText(log);
  size_t banners = 0;
  for (size_t at = text.find("  2.8 "); at != std::string::npos; at = text.find("  2.8 ", at + 1)) ++banners;
  EXPECT_EQ(banners, 1u) << text;
  EXPECT_EQ(report.Fields["2.5"], "Exception");
  EXPECT_EQ(report.Fields["2.6"], "Exception raised from the menu.");

  // The raising thread's rows lead to the throw, as addr2line places its address.
  const uint32_t throwLine =
      velmora::test::SourceLineOf("app/Velmora_win.cpp", "throw Exception(\"Exception raised from the menu\")");
  ASSERT_NE(throwLine, 0u);
  const std::map<std::string, std::string>* raising = nullptr;
  for (const auto& [row, cells] : report.StackRows)
    if (cells.count("Procedure/Method") && cells.at("Procedure/Method").find("RaiseItemClick") != std::string::npos) {
      raising = &cells;
      break;
    }
  ASSERT_NE(raising, nullptr) << report.Output;
  EXPECT_EQ(raising->at("Unit"), "Velmora_win");
  EXPECT_EQ(raising->at("Line").substr(0, raising->at("Line").find('[')), std::to_string(throwLine));
  const uint32_t address = static_cast<uint32_t>(std::stoul(raising->at("Address"), nullptr, 16));
  std::vector<velmora::test::TSourceLine> placed =
      velmora::test::Addr2Line(exe, {address - velmora::test::FileImageBase(exe)});
  ASSERT_EQ(placed.size(), 1u);
  EXPECT_EQ(placed[0].Line, throwLine);
  EXPECT_NE(placed[0].Routine.find("RaiseItemClick"), std::string::npos) << placed[0].Routine;

  // The XML log is well-formed and says what the text log says.
  auto lint = RunHostCommand("xmllint --noout " + Quoted(xml) + " 2>&1 && echo valid");
  ASSERT_TRUE(lint);
  EXPECT_EQ(*lint, "valid\n");
  auto check = RunHostCommand("/usr/bin/python3 '" VELMORA_SOURCE_DIR "/tests/peers/report_xml_check.py' " +
                              Quoted(log) + " " + Quoted(xml));
  ASSERT_TRUE(check);
  EXPECT_EQ(*check, "ok\n");

  // Nothing stands in the user's way: the main window shows, answers and closes.
  EXPECT_EQ(FindMainWindowOf(program.Id()), window);
  EXPECT_TRUE(IsWindowVisible(window));
  EXPECT_TRUE(velmora::test::AnswersSkinned(window));
  PostMessageA(window, WM_CLOSE, 0, 0);
  EXPECT_TRUE(program.Ended(10000));
  EXPECT_EQ(program.ExitCode(), 0u);
}

// A copy of the program whose logger data turns leak catching on: the resource's
// first bytes are found in the file and its options byte (offset 14) set.
bool CopyWithLeakCatching(const std::string& exe, const std::string& copy) {
  if (!CopyFileA(exe.c_str(), copy.c_str(), FALSE)) return false;
  HMODULE data = LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  HRSRC found = data ? FindResourceA(data, "QLDATA", MAKEINTRESOURCEA(10)) : nullptr;
  const char* bytes = found ? static_cast<const char*>(LockResource(LoadResource(data, found))) : nullptr;
  std::string head = bytes && SizeofResource(data, found) >= 64 ? std::string(bytes, 64) : std::string();
  if (data) FreeLibrary(data);
  std::string file = ReadText(copy);
  size_t at = head.empty() ? std::string::npos : file.find(head);
  if (at == std::string::npos || file.find(head, at + 1) != std::string::npos) return false;
  file[at + 14] = static_cast<char>(file[at + 14] | 0x13);  // catching, sons, block errors
  std::ofstream out(copy, std::ios::binary | std::ios::trunc);
  out.write(file.data(), static_cast<std::streamsize>(file.size()));
  return out.good();
}

// The leak groups of a text log, each with its first stack row: what a failure names.
std::string LeakGroupsOf(const std::string& log) {
  std::string groups;
  std::istringstream lines(log);
  for (std::string line, row; std::getline(lines, line);) {
    if (line.rfind("|+Memory Leak", 0) != 0) continue;
    std::getline(lines, row);  // the rule under the group's heading
    std::getline(lines, row);
    groups += line.substr(0, line.find_last_not_of(" |\r") + 1) + "\n  " +
              row.substr(0, row.find_last_not_of(" |\r") + 1) + "\n";
  }
  return groups;
}

// Opened and closed with the collector watching, the program stays healthy and
// frees at its units' stops all it took after the collector started: it ends
// normally and no leak report is written.
TEST(HostReport, WithLeakCatchingOnTheProgramEndsNormallyAndLeaksNothing) {
  const std::string exe = velmora::test::HostPath(VELMORA_EXE);
  const std::string folder = velmora::test::TempPath("leakhost");
  CreateDirectoryA(folder.c_str(), nullptr);
  const std::string copy = folder + "\\Velmora.exe", log = folder + "\\Velmora.qlf";
  DeleteFileA(log.c_str());
  ASSERT_TRUE(CopyWithLeakCatching(exe, copy));
  velmora::test::TChildProcess program("\"" + copy + "\"");
  ASSERT_TRUE(program.Started());
  HWND window = nullptr;
  ASSERT_TRUE(PumpUntil([&] { return (window = FindMainWindowOf(program.Id())) != nullptr; }, 30000));
  ASSERT_TRUE(PumpUntil([&] { return velmora::test::AnswersSkinned(window); }, 20000));
  PostMessageA(window, WM_CLOSE, 0, 0);
  EXPECT_TRUE(program.Ended(30000));
  EXPECT_EQ(program.ExitCode(), 0u);
  const std::string text = ReadText(log);
  EXPECT_EQ(text.find("EMemoryLeak"), std::string::npos) << LeakGroupsOf(text);
  DeleteFileA(copy.c_str());
  DeleteFileA(log.c_str());
  RemoveDirectoryA(folder.c_str());
}

}  // namespace
