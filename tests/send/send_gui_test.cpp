// End to end: a program carrying the logger has an exception and its report goes
// to a recording sender; the archive it saw is checked with the system's own
// unzip and pngcheck.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/support/ChildProcess_win.h"
#include "tests/support/GuiProbe_win.h"
#include "tests/support/TestPaths.h"

namespace {

using velmora::test::RunHostCommand;

// A private folder for the probe's files and another as its temporary folder, so
// nothing of other tests running alongside is mistaken for the probe's.
class SendProbe : public testing::Test {
 protected:
  std::string unixDir, dir, temp;

  void SetUp() override {
    unixDir = "/tmp/velmora-send-probe-" + velmora::test::ProcessTag() + "-" +
              testing::UnitTest::GetInstance()->current_test_info()->name();
    ASSERT_TRUE(RunHostCommand("rm -rf " + unixDir + " && mkdir -p " + unixDir + "/temp"));
    dir = velmora::test::HostPath(unixDir) + "\\";
    temp = dir + "temp\\";
  }
  void TearDown() override { RunHostCommand("rm -rf " + unixDir); }

  // Runs the probe with the case `kind`; `whileRunning` is polled until it returns
  // true or the probe ends.
  DWORD Run(const std::string& kind, const std::function<bool(DWORD pid)>& whileRunning = nullptr) {
    char oldTemp[MAX_PATH] = {}, oldTmp[MAX_PATH] = {};
    GetEnvironmentVariableA("TEMP", oldTemp, MAX_PATH);
    GetEnvironmentVariableA("TMP", oldTmp, MAX_PATH);
    SetEnvironmentVariableA("TEMP", temp.c_str());
    SetEnvironmentVariableA("TMP", temp.c_str());
    velmora::test::TChildProcess probe("\"" + velmora::test::HostPath(SEND_PROBE_EXE) + "\" \"" + velmora::test::HostPath(unixDir) + "\" " + kind);
    SetEnvironmentVariableA("TEMP", oldTemp);
    SetEnvironmentVariableA("TMP", oldTmp);
    EXPECT_TRUE(probe.Started());
    if (whileRunning) EXPECT_TRUE(velmora::test::PumpUntil([&] { return whileRunning(probe.Id()) || probe.Ended(0); }, 30000));
    EXPECT_TRUE(probe.Ended(60000));
    return probe.ExitCode();
  }

  std::string Host(const std::string& command) {
    auto out = RunHostCommand("cd " + unixDir + " && " + command + " 2>&1");
    return out ? *out : "(not run)";
  }
};

TEST_F(SendProbe, TheArchiveHoldsTheReportTheShotAndTheXmlAndTheFilesAreGone) {
  Run("send");
  EXPECT_EQ(Host("unzip -tq archive1.zip >/dev/null; echo $?"), "0\n");
  std::string list = Host("zipinfo -1 archive1.zip | sort");
  EXPECT_NE(list.find("Screenshot.png\n"), std::string::npos) << list;
  EXPECT_NE(list.find(".xml\n"), std::string::npos) << list;
  // The report text: the file whose name is the log's, holding the probe's fault.
  EXPECT_EQ(Host("unzip -p archive1.zip '*.qlf' | grep -c 'unhandled probe fault'"), "1\n") << list;
  EXPECT_EQ(Host("unzip -p archive1.zip Screenshot.png > shot.png && pngcheck -q shot.png >/dev/null; echo $?"),
            "0\n");
  EXPECT_EQ(Host("unzip -p archive1.zip '*.xml' | xmllint --noout - && echo ok"), "ok\n");
  // Nothing of the report is left in the temporary folder.
  EXPECT_EQ(Host("ls -A temp"), "");
  EXPECT_EQ(Host("ls BugReport_*.zip 2>/dev/null | wc -l"), "0\n");
}

TEST_F(SendProbe, AKeptCopyOfTheArchiveStaysInTheLogFolder) {
  Run("keep");
  EXPECT_EQ(Host("ls BugReport_*.zip | wc -l"), "1\n");
  EXPECT_EQ(Host("cmp BugReport_*.zip archive1.zip && echo same"), "same\n");
}

// The result box of the failed send, found among the probe's windows.
struct TBoxSearch {
  DWORD Pid;
  HWND Box;
};

BOOL CALLBACK FindBox(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<TBoxSearch*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  char cls[32] = {};
  GetClassNameA(window, cls, sizeof cls);
  // A dialog of the probe that is not the progress window.
  if (owner == search->Pid && std::string(cls) == "#32770" && IsWindowVisible(window) && !GetDlgItem(window, 101)) {
    search->Box = window;
    return FALSE;
  }
  return TRUE;
}

HWND ResultBox(DWORD pid) {
  TBoxSearch search{pid, nullptr};
  EnumWindows(&FindBox, reinterpret_cast<LPARAM>(&search));
  return search.Box;
}

std::string BoxText(HWND box) {
  std::string all;
  for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    char text[512] = {};
    GetWindowTextA(child, text, sizeof text);
    all += std::string(text) + "\n";
  }
  return all;
}

std::string ClipboardText() {
  std::string text;
  if (!OpenClipboard(nullptr)) return text;
  if (HANDLE data = GetClipboardData(CF_TEXT)) {
    if (const char* p = static_cast<const char*>(GlobalLock(data))) text = p;
    GlobalUnlock(data);
  }
  CloseClipboard();
  return text;
}

TEST_F(SendProbe, AFailedSendShowsItsBoxAndLeavesTheReportOnTheClipboard) {
  std::string boxText, clipboard;
  Run("fail", [&](DWORD pid) {
    HWND box = ResultBox(pid);
    if (!box) return false;
    boxText = BoxText(box);
    clipboard = ClipboardText();
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    return true;
  });
  EXPECT_NE(boxText.find("Sorry, sending the message didn't work."), std::string::npos) << boxText;
  EXPECT_NE(clipboard.find("unhandled probe fault"), std::string::npos) << clipboard.substr(0, 200);
}

TEST_F(SendProbe, ASecondThreadsReportWaitsUntilTheFirstSendIsOver) {
  EXPECT_EQ(Run("second"), 0u);
  std::string order = Host("cat order.txt | tr -d '\\r' | sed 's/^report .*0000001[0-9].*/report first/; "
                           "s/^report .*0000002[0-9].*/report second/'");
  EXPECT_EQ(order, "report first\nsend begin\nsend end\nreport second\nsend begin\nsend end\n");
}

}  // namespace
