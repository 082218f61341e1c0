#pragma once
// The choices a report settles from the options before its dialog: which dialog
// shows, whether the user is asked to send (and the send choice's preset), and
// what the dialog's terminate-or-restart does. Pure: every input is an argument.
#include <cstdint>

#include "exclog/capture/EDecisions.h"

namespace exclog {

struct TReportChoiceInput {
  uint8_t ConfiguredDialogKind = 0;  // the options' kind, or the one a filter chose
  TProgramKind Program = TProgramKind::Windowed;
  TSendState Send;                   // the options' send fields and the duplicate flag
  uint8_t TerminateAction = 2;       // the options': 0 none, 1 terminate, 2 restart
};

struct TReportChoices {
  uint8_t DialogKind = 0;     // 0 the detailed dialog, 1 the console text, 2 none
  bool AskToSend = false;     // the dialog decides the sending
  bool SendChosen = false;    // the send choice: the dialog's preset when it asks
  uint8_t RestartChoice = 0;  // 0 none, 1 terminate, 2 restart
};

// When the user is asked, the send choice starts as "a send method is set" and the
// dialog settles it; otherwise it is settled here.
TReportChoices SettleReportChoices(const TReportChoiceInput& in);

// Whether the report is sent once the dialog (if any) answered with `sendChosen`.
bool SendAfterDialog(const TReportChoiceInput& in, bool sendChosen);

}  // namespace exclog
