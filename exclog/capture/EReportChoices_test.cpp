// The choices a report settles before its dialog, row by row over the options that
// decide them.
#include "exclog/capture/EReportChoices.h"

#include <gtest/gtest.h>

namespace exclog {
namespace {

using P = TProgramKind;

struct TRow {
  uint8_t Configured;
  P Program;
  uint8_t Mail, Web, Ask;
  uint16_t ProcessFlags;
  bool Duplicate;
  uint8_t Terminate;
  // Expected:
  uint8_t Kind;
  bool AskToSend, SendChosen;
  uint8_t Restart;
};

TEST(ReportChoices, DialogKindSendAndRestartFromTheOptions) {
  const TRow rows[] = {
      // No send method: nothing is sent.
      {0, P::Windowed, 0, 0, 2, 81, false, 2, 0, true, false, 2},
      {0, P::Windowed, 0, 0, 0, 81, false, 1, 0, false, false, 1},
      // Mail set, the user is asked in the dialog: the box starts checked.
      {0, P::Windowed, 2, 0, 2, 81, false, 0, 0, true, true, 0},
      {1, P::Windowed, 0, 1, 1, 0, false, 2, 0, true, true, 2},
      // AskBeforeSending 0: sent whatever the user answers; the dialog takes the
      // sending when it shows it (ProcessFlags bit 0 or 4) ...
      {0, P::Windowed, 2, 0, 0, 0x01, false, 2, 0, true, true, 2},
      // ... or settled here when it does not.
      {0, P::Windowed, 2, 0, 0, 0x00, false, 2, 0, false, true, 2},
      {0, P::Windowed, 2, 0, 0, 0x00, true, 2, 0, false, false, 2},  // a duplicate is not sent
      // A console program shows the text: no one to ask.
      {0, P::Console, 2, 0, 2, 81, false, 2, 1, false, false, 2},
      {0, P::Console, 2, 0, 0, 81, false, 2, 1, false, true, 2},
      {1, P::Console, 0, 1, 0, 81, false, 1, 1, false, true, 1},
      // Web programs and services show nothing.
      {0, P::Cgi, 2, 0, 2, 81, false, 2, 2, false, false, 2},
      {0, P::Service, 0, 1, 0, 81, false, 2, 2, false, true, 2},
      {2, P::Windowed, 2, 0, 2, 81, false, 2, 2, false, false, 2},
      // Unknown kinds show the dialog; unknown actions do nothing.
      {7, P::Windowed, 2, 0, 2, 81, false, 9, 0, true, true, 0},
  };
  int n = 0;
  for (const TRow& r : rows) {
    TReportChoiceInput in;
    in.ConfiguredDialogKind = r.Configured;
    in.Program = r.Program;
    in.Send.MailMode = r.Mail;
    in.Send.WebSendMode = r.Web;
    in.Send.AskBeforeSending = r.Ask;
    in.Send.ProcessFlags = r.ProcessFlags;
    in.Send.Duplicate = r.Duplicate;
    in.Send.UserChoseSend = true;  // a stale choice from an earlier report is ignored
    in.TerminateAction = r.Terminate;
    TReportChoices c = SettleReportChoices(in);
    EXPECT_EQ(c.DialogKind, r.Kind) << "row " << n;
    EXPECT_EQ(c.AskToSend, r.AskToSend) << "row " << n;
    EXPECT_EQ(c.SendChosen, r.SendChosen) << "row " << n;
    EXPECT_EQ(c.RestartChoice, r.Restart) << "row " << n;
    ++n;
  }
}

TEST(ReportChoices, TheUsersAnswerDecidesOnlyWhenSendingAsks) {
  TReportChoiceInput in;
  in.Send.MailMode = 2;
  in.Send.AskBeforeSending = 2;
  EXPECT_TRUE(SendAfterDialog(in, true));
  EXPECT_FALSE(SendAfterDialog(in, false));
  in.Send.AskBeforeSending = 0;
  EXPECT_TRUE(SendAfterDialog(in, false));
  in.Send.Duplicate = true;
  EXPECT_FALSE(SendAfterDialog(in, true));
  in.Send = TSendState{};
  EXPECT_FALSE(SendAfterDialog(in, true));  // no send method
}

}  // namespace
}  // namespace exclog
