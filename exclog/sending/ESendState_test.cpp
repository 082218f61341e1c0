#include "exclog/sending/ESendState.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "classlib/SysUtils.h"
#include "exclog/sending/ESendMethods.h"

namespace exclog {
namespace {

std::vector<std::string> seen;

class SendStateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    seen.clear();
    ResetSendState();
    SendState().Progress = TSendProgress();
    SendOutputSeams() = TSendOutputSeams();
    SendOutputSeams().DebugLine = [](const std::string& line) { seen.push_back("debug " + line); };
    SendOutputSeams().ErrorBox = [](const std::string& text) { seen.push_back("box " + text); };
    SendOutputSeams().StatusText = [](uintptr_t, const std::string& text) { seen.push_back("status " + text); };
    SendOutputSeams().BarPosition = [](uintptr_t, int p) { seen.push_back("bar " + std::to_string(p)); };
    SendOutputSeams().CloseWindow = [](uintptr_t) { seen.push_back("close"); };
    SendOutputSeams().PumpMessages = [] { seen.push_back("pump"); };
    ClearSentCalls();
  }
  void TearDown() override {
    SendOutputSeams() = TSendOutputSeams();
    SendState().Progress = TSendProgress();
  }
};

TEST_F(SendStateTest, ProgressOnlyWithAWindowAndOnlyForward) {
  SetStatus("a");
  SetPercent(40);
  CloseProgress();
  EXPECT_TRUE(seen.empty());  // no window: nothing reaches the screen

  SendState().Progress.Window = 7;
  SetRecipientCount(1, 2);
  SetStatusCounted("Connecting...");
  SetPercent(40);
  SetPercent(30);   // back: ignored
  AddPercent(-5);   // back: ignored
  AddPercent(10);
  SetPercent(250);  // clamped
  CloseProgress();
  SetPercent(100);  // closed: nothing
  EXPECT_EQ(seen, (std::vector<std::string>{"status Message 1/2: Connecting...", "bar 40", "bar 50", "bar 100",
                                            "close"}));
  EXPECT_EQ(SendState().Progress.Window, 0u);
}

TEST_F(SendStateTest, SameThreadModePumpsAroundEachUpdate) {
  SendState().Progress.Window = 7;
  SendState().Progress.SameThread = true;
  SetStatus("x");
  SetPercent(5);
  EXPECT_EQ(seen, (std::vector<std::string>{"pump", "status x", "pump", "pump", "bar 5", "pump"}));
}

TEST_F(SendStateTest, ErrorsAreKeptWrittenAndBoxedForNetworkCodesOnly) {
  RecordSendError(TQuelbaLogErrorCode::eeEmailMAPIError, "m");
  SendState().Progress.Window = 7;
  RecordSendError(TQuelbaLogErrorCode::eeEmailShellError, "s");  // mail client: no box
  RecordSendError(TQuelbaLogErrorCode::eeWebFTPError, "f");
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen[0].rfind("debug [WARNING] - Code: eeEmailMAPIError - Address: ", 0), 0u);
  EXPECT_EQ(seen[0].substr(seen[0].size() - 15), " - Message: \"m\"");
  EXPECT_EQ(seen[3], "box f");
  EXPECT_EQ(SendState().LastError.Code, TQuelbaLogErrorCode::eeWebFTPError);
  EXPECT_EQ(SendWarningLine(TQuelbaLogErrorCode::eeWebTrakerError, 0x1A2B, "t"),
            "[WARNING] - Code: eeWebTrakerError - Address: 00001A2B - Message: \"t\"");

  try {
    throw EConvertError("bad number");
  } catch (...) {
    RecordSendException(TQuelbaLogErrorCode::eeEmailSMTPError, "SMTP");
  }
  EXPECT_EQ(SendState().LastError.Text, "[SMTP] bad number");
  try {
    throw 5;
  } catch (...) {
    RecordSendException(TQuelbaLogErrorCode::eeEmailSMTPError, "SMTP");
  }
  EXPECT_EQ(SendState().LastError.Text, "General 'SMTP' error.");
}

TEST_F(SendStateTest, DefaultMethodsRecordTheirCallAndFail) {
  TMailMessage mail{"a@b.c;d@e.f", "s", "b", {"C:\\t\\BugReport.zip"}};
  EXPECT_FALSE(CallSendMapi(mail, false));
  EXPECT_EQ(SendState().LastError.Code, TQuelbaLogErrorCode::eeEmailMAPIError);
  EXPECT_FALSE(CallSmtpSend(mail, {}));
  EXPECT_EQ(SendState().LastError.Code, TQuelbaLogErrorCode::eeEmailSMTPError);
  EXPECT_FALSE(CallSendMailto(mail));
  EXPECT_EQ(SendState().LastError.Code, TQuelbaLogErrorCode::eeEmailShellError);
  TWebRequest web;
  web.Url = "http://127.0.0.1/up";
  web.Attachments = {"z.zip"};
  std::string error;
  TTrackerAnswer answer;
  EXPECT_NE(CallUploadHttp(web, error), 0);
  EXPECT_NE(CallUploadFtp(web, error), 0);
  EXPECT_EQ(CallSendToTracker(web, answer), TrackerUnknownError);
  std::vector<TSentCall> calls = SentCalls();
  ASSERT_EQ(calls.size(), 6u);
  EXPECT_EQ(calls[0].Method, "SendMapi");
  EXPECT_EQ(calls[0].Target, "a@b.c;d@e.f");
  EXPECT_EQ(calls[0].Attachments, mail.Attachments);
  EXPECT_TRUE(calls[2].Attachments.empty());  // mailto carries none
  EXPECT_EQ(calls[5].Method, "SendToTracker");
  EXPECT_EQ(calls[5].Target, "http://127.0.0.1/up");

  SendMethodSeams().SendMapi = [](const TMailMessage&, bool dialog) { return dialog; };
  EXPECT_TRUE(CallSendMapi(mail, true));
  SendMethodSeams() = TSendMethodSeams();
  EXPECT_EQ(SentCalls().size(), 6u);  // a filled seam records nothing
}

}  // namespace
}  // namespace exclog
