// The send progress window as the sender drives it: on a thread of its own in
// the corner, or modeless on the sending thread itself and centred.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "exclog/core/EOptions.h"
#include "exclog/core/ExceptionLog.h"
#include "exclog/dialogs/ESendProgress_win.h"
#include "exclog/sending/ESendPipeline.h"
#include "exclog/sending/ESendReport_win.h"
#include "exclog/sending/ESendState.h"
#include "resources/exclog/QuelbaSendIds.h"
#include "tests/support/GuiProbe_win.h"

namespace exclog {
namespace {

RECT ForegroundWorkArea() {
  MONITORINFO info{};
  info.cbSize = sizeof info;
  HWND foreground = GetForegroundWindow();
  GetMonitorInfoA(MonitorFromWindow(foreground ? foreground : GetDesktopWindow(), MONITOR_DEFAULTTONEAREST), &info);
  return info.rcWork;
}

std::string StatusText(HWND window) {
  char text[256] = {};
  GetDlgItemTextA(window, QL_SEND_STATUS, text, sizeof text);
  return text;
}

int BarPosition(HWND window) {
  return static_cast<int>(SendDlgItemMessageA(window, QL_SEND_PROGRESS, PBM_GETPOS, 0, 0));
}

class SendProgress : public testing::Test {
 protected:
  TQuelbaModuleOptions options;

  void SetUp() override {
    options.SetProcessFlags(SendShowProgress);
    options.SetMailMode(2);
    SendingSeams() = TSendingSeams();
    InstallSendOutputs();
    SendState().Progress = TSendProgress();
    SetSameThreadReport(false);
  }
  void TearDown() override {
    CloseProgress();
    SetSameThreadReport(false);
    SetSendProgressTemplate("QL_Server");
    SendOutputSeams() = TSendOutputSeams();
  }

  HWND Window() const { return reinterpret_cast<HWND>(SendState().Progress.Window); }
};

TEST_F(SendProgress, CornerWindowOnAThreadOfItsOwn) {
  // The sending thread holds the foreground, as a program's main thread does when
  // its report is sent, and takes no messages while it waits for the window.
  HWND own = CreateWindowExA(0, "STATIC", "sender", WS_POPUP | WS_VISIBLE | WS_CAPTION, 40, 40, 200, 100, nullptr,
                             nullptr, nullptr, nullptr);
  ASSERT_NE(own, nullptr);
  SetForegroundWindow(own);
  ASSERT_TRUE(velmora::test::PumpUntil([&] { return GetForegroundWindow() == own; }));
  StartSendProgress(options, false);
  // Up, not given up on after the wait's limit.
  EXPECT_TRUE(SendProgressReady());
  DestroyWindow(own);
  HWND window = Window();
  ASSERT_TRUE(IsWindow(window));
  EXPECT_NE(GetWindowThreadProcessId(window, nullptr), GetCurrentThreadId());
  char caption[64] = {};
  GetWindowTextA(window, caption, sizeof caption);
  EXPECT_STREQ(caption, "Send.");

  SetRecipientCount(1, 2);
  SetStatusCounted("Connecting with server...");
  EXPECT_EQ(StatusText(window), "Message 1/2: Connecting with server...");
  SetPercent(40);
  SetPercent(30);
  AddPercent(-10);
  EXPECT_EQ(BarPosition(window), 40);  // only forward
  AddPercent(15);
  EXPECT_EQ(BarPosition(window), 55);

  RECT area = ForegroundWorkArea(), r{};
  GetWindowRect(window, &r);
  EXPECT_EQ(r.right, area.right);
  EXPECT_EQ(r.bottom, area.bottom);
  EXPECT_GE(r.left, area.left);
  EXPECT_GE(r.top, area.top);

  CloseProgress();
  EXPECT_TRUE(velmora::test::PumpUntil([&] { return !IsWindow(window); }));
  EXPECT_EQ(SendProgressWindow(), nullptr);
}

TEST_F(SendProgress, CentredModelessWindowOnTheSendingThread) {
  SetSameThreadReport(true);
  StartSendProgress(options, true);
  EXPECT_TRUE(SendProgressReady());
  HWND window = Window();
  ASSERT_TRUE(IsWindow(window));
  EXPECT_EQ(GetWindowThreadProcessId(window, nullptr), GetCurrentThreadId());
  EXPECT_TRUE(SendState().Progress.SameThread);
  RECT area = ForegroundWorkArea(), r{};
  GetWindowRect(window, &r);
  EXPECT_LE(std::abs((r.left + r.right) - (area.left + area.right)), 1);
  EXPECT_LE(std::abs((r.top + r.bottom) - (area.top + area.bottom)), 1);
  SetStatus("Sending message...");
  EXPECT_EQ(StatusText(window), "Sending message...");
  // Ended at once: a modeless window is destroyed, not left behind by EndDialog.
  CloseProgress();
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(SendProgressWindow(), nullptr);
}

TEST_F(SendProgress, NoWindowWhenNotAskedOrTheTemplateIsMissing) {
  options.SetProcessFlags(0);
  StartSendProgress(options, false);
  EXPECT_EQ(Window(), nullptr);
  options.SetProcessFlags(SendShowProgress);
  options.SetMailMode(0);
  StartSendProgress(options, false);
  EXPECT_EQ(Window(), nullptr);

  // A window that cannot be made does not hold the send up, in either mode.
  options.SetMailMode(2);
  SetSendProgressTemplate("QL_NoSuchTemplate");
  StartSendProgress(options, false);
  EXPECT_EQ(Window(), nullptr);
  SetSameThreadReport(true);
  StartSendProgress(options, true);
  EXPECT_EQ(Window(), nullptr);
  SetStatus("nowhere");  // harmless without a window
}

}  // namespace
}  // namespace exclog
