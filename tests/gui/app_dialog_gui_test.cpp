// The logger's dialog for a real fault of a windowed program, driven only by the
// X server's keyboard and mouse (xdotool): the choices reach the clipboard (read
// with xclip while the program runs), the sending entry, the text log and the
// program's end.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "resources/exclog/QuelbaDialogs.h"
#include "tests/gui/AppWindows_win.h"
#include "tests/support/ChildProcess_win.h"
#include "tests/support/GuiProbe_win.h"
#include "tests/support/TestPaths.h"

namespace {

using velmora::test::ClickItem;
using velmora::test::FindWindowOf;
using velmora::test::ItemText;
using velmora::test::PumpUntil;
using velmora::test::RunHostCommand;

const std::string Program = velmora::test::HostPath(VELMORA_DIALOG_PROGRAM);

std::string Clipboard() { return RunHostCommand("/usr/bin/xclip -o -selection clipboard").value_or(""); }

std::string TextLog() {
  std::ifstream in(Program.substr(0, Program.size() - 4) + ".qlf", std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The program with its fault under way; the log of earlier runs removed, so the
// fault is no repeat.
struct TFaultingProgram {
  TFaultingProgram() : Child("\"" + Program + "\"", true) {}
  velmora::test::TChildProcess Child;

  // The dialog once placed: it appears at 0, 0 before its mode places it,
  // centred across the work area.
  HWND WaitForDialog(const char* caption = "Error occurred") {
    return velmora::test::WaitUntilPlaced([&] { return FindWindowOf(Child.Id(), caption, false); },
                                          &velmora::test::CentredAcrossWorkArea, 30000);
  }
  // Lets a program that went on end; returns its exit code and output.
  DWORD End() {
    HANDLE end = nullptr;
    PumpUntil([&] {
      return (end = OpenEventA(EVENT_MODIFY_STATE, FALSE, ("DialogProgramEnd" + std::to_string(Child.Id())).c_str()));
    }, 10000);
    if (end) {
      SetEvent(end);
      CloseHandle(end);
    }
    return Child.Finish(30000);
  }
};

void RemoveTextLog() { DeleteFileA((Program.substr(0, Program.size() - 4) + ".qlf").c_str()); }

TEST(LoggerDialogEndToEnd, CopyAndSendChosenThenTheProgramGoesOn) {
  RemoveTextLog();
  TFaultingProgram program;
  ASSERT_TRUE(program.Child.Started());
  HWND dialog = program.WaitForDialog();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(ItemText(dialog, QL_DLG_HEADER).rfind("Access violation", 0), 0u) << ItemText(dialog, QL_DLG_HEADER);
  EXPECT_EQ(ItemText(dialog, QL_DLG_TERMINATE), "&Terminate");
  ClickItem(dialog, QL_DLG_COPY);
  ClickItem(dialog, QL_DLG_SCREENSHOT);
  ASSERT_TRUE(PumpUntil([&] { return IsDlgButtonChecked(dialog, QL_DLG_COPY) == BST_CHECKED; }));
  ASSERT_TRUE(PumpUntil([&] { return IsDlgButtonChecked(dialog, QL_DLG_SCREENSHOT) == BST_UNCHECKED; }));
  ClickItem(dialog, QL_DLG_OK);
  // The request follows (sending chosen); the steps typed, then Escape.
  HWND request = program.WaitForDialog("Request");
  ASSERT_NE(request, nullptr);
  ClickItem(request, QL_REQ_EDIT);
  RunHostCommand("/usr/bin/xdotool type --delay 20 'click Raise twice'");
  ASSERT_TRUE(PumpUntil([&] { return ItemText(request, QL_REQ_EDIT) == "click Raise twice"; }));
  RunHostCommand("/usr/bin/xdotool key Escape");
  // The clipboard holds the report with its banner, message and the steps.
  std::string clip;
  EXPECT_TRUE(PumpUntil([&] {
    clip = Clipboard();
    return clip.find("Access violation") != std::string::npos;
  }, 20000));
  EXPECT_EQ(clip.rfind("QuelbaLog 6.1.04", 0), 0u) << clip.substr(0, 200);
  EXPECT_NE(clip.find("click Raise twice"), std::string::npos);
  EXPECT_NE(TextLog().find("click Raise twice"), std::string::npos);
  EXPECT_EQ(program.End(), 0u);
  EXPECT_NE(program.Child.Output().find("went on"), std::string::npos);
  EXPECT_NE(program.Child.Output().find("Sending: send on, screenshot off"), std::string::npos) << program.Child.Output();
}

// (The clipboard is not read here: an earlier program's report may still stand
// there; the choice's outcome is checked in the dialog's own tests.)
TEST(LoggerDialogEndToEnd, EscapeNeitherCopiesNorSends) {
  RemoveTextLog();
  TFaultingProgram program;
  ASSERT_TRUE(program.Child.Started());
  HWND dialog = program.WaitForDialog();
  ASSERT_NE(dialog, nullptr);
  ClickItem(dialog, QL_DLG_COPY);
  ASSERT_TRUE(PumpUntil([&] { return IsDlgButtonChecked(dialog, QL_DLG_COPY) == BST_CHECKED; }));
  RunHostCommand("/usr/bin/xdotool key Escape");
  EXPECT_TRUE(PumpUntil([&] { return !IsWindow(dialog); }, 15000));
  // Not sent, but logged: the request still asks for the steps.
  HWND request = program.WaitForDialog("Request");
  ASSERT_NE(request, nullptr);
  ClickItem(request, QL_REQ_OK);
  EXPECT_EQ(program.End(), 0u);
  EXPECT_EQ(program.Child.Output().find("Sending:"), std::string::npos) << program.Child.Output();
  EXPECT_NE(program.Child.Output().find("went on"), std::string::npos);
}

TEST(LoggerDialogEndToEnd, TerminateEndsWithCodeOneAfterTheLog) {
  RemoveTextLog();
  TFaultingProgram program;
  ASSERT_TRUE(program.Child.Started());
  HWND dialog = program.WaitForDialog();
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(IsWindowVisible(GetDlgItem(dialog, QL_DLG_TERMINATE)));
  ClickItem(dialog, QL_DLG_TERMINATE);
  // Terminating is a choice the request still follows, then the log, then the end.
  HWND request = program.WaitForDialog("Request");
  ASSERT_NE(request, nullptr);
  ClickItem(request, QL_REQ_OK);
  EXPECT_EQ(program.Child.Finish(30000), 1u);
  EXPECT_EQ(program.Child.Output().find("went on"), std::string::npos);
  EXPECT_NE(TextLog().find("Access violation"), std::string::npos);
}

}  // namespace
