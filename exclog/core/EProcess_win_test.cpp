// Ending and restarting the process: the test program starts itself as a child that
// runs only EndProcessChild.Run, with the mode in the environment.
#include "exclog/core/EProcess_win.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "exclog/core/ECore_win.h"
#include "tests/support/ChildProcess_win.h"
#include "tests/support/TestPaths.h"

namespace exclog {
namespace {

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteText(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

TEST(EndProcessChild, Run) {
  std::string mode = EnvironmentVariable("LOGOPTS_END_MODE");
  if (mode.empty()) GTEST_SKIP() << "runs only as the child of EndProcess tests";
  std::string mark = EnvironmentVariable("LOGOPTS_END_MARK");
  if (mode == "terminate") EndProcess(false);
  if (GetFileAttributesA(mark.c_str()) == INVALID_FILE_ATTRIBUTES) {
    WriteText(mark, "first");
    SetStartDirectory(EnvironmentVariable("LOGOPTS_END_DIR"));
    EndProcess(true);
  }
  // The restarted instance: tell where it started, then leave quietly.
  char folder[MAX_PATH + 1];
  DWORD n = GetCurrentDirectoryA(sizeof folder, folder);
  WriteText(mark, "restarted in " + std::string(folder, n));
  ExitProcess(0);
}

// Runs the child in `mode` and returns its exit code.
DWORD RunChild(const std::string& mode, const std::string& mark, const std::string& dir) {
  SetEnvironmentVariableA("LOGOPTS_END_MODE", mode.c_str());
  SetEnvironmentVariableA("LOGOPTS_END_MARK", mark.c_str());
  SetEnvironmentVariableA("LOGOPTS_END_DIR", dir.c_str());
  velmora::test::TChildProcess child("\"" + velmora::test::OwnProgramPath() +
                                     "\" --gtest_filter=EndProcessChild.Run");
  SetEnvironmentVariableA("LOGOPTS_END_MODE", nullptr);
  if (!child.Started()) return 0xFFFFFFFF;
  return child.Finish(60000);
}

TEST(EndProcess, TerminateEndsWithExitCodeOne) {
  std::string mark = velmora::test::TempPath("end.txt");
  DeleteFileA(mark.c_str());
  EXPECT_EQ(RunChild("terminate", mark, ""), 1u);
  EXPECT_EQ(GetFileAttributesA(mark.c_str()), INVALID_FILE_ATTRIBUTES) << "no restart";
}

TEST(EndProcess, RestartStartsANewInstanceInTheStartFolder) {
  std::string dir = velmora::test::TempPath("start");
  ASSERT_TRUE(ForceFolders(dir));
  std::string mark = velmora::test::TempPath("restart.txt");
  DeleteFileA(mark.c_str());
  EXPECT_EQ(RunChild("restart", mark, dir), 1u);
  std::string seen;
  for (int i = 0; i < 400 && seen.rfind("restarted", 0) != 0; ++i) {
    Sleep(50);
    seen = ReadText(mark);
  }
  EXPECT_EQ(seen, "restarted in " + dir);
  DeleteFileA(mark.c_str());
  RemoveDirectoryA(dir.c_str());
}

}  // namespace
}  // namespace exclog
