#include "exclog/capture/EReportChoices.h"

namespace exclog {

TReportChoices SettleReportChoices(const TReportChoiceInput& in) {
  TReportChoices c;
  c.DialogKind = EffectiveDialogKind(in.ConfiguredDialogKind, in.Program);
  TSendState before = in.Send;
  before.UserChoseSend = false;
  // Only the detailed dialog has a send box to ask with; the ask test reads the
  // dialog record's own kind byte, the configured one.
  c.AskToSend = c.DialogKind == 0 && SendOrAsk(in.ConfiguredDialogKind, in.Program, before);
  c.SendChosen = c.AskToSend ? (in.Send.MailMode != 0 || in.Send.WebSendMode != 0) : SendWanted(before);
  c.RestartChoice = in.TerminateAction <= 2 ? in.TerminateAction : 0;
  return c;
}

bool SendAfterDialog(const TReportChoiceInput& in, bool sendChosen) {
  TSendState after = in.Send;
  after.UserChoseSend = sendChosen;
  return SendWanted(after);
}

}  // namespace exclog
