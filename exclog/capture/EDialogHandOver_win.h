#pragma once
// The report handler's side of the logger's dialogs: the handler's dialog and
// request entries (TReportHandlerSeams) shown by the exception dialog and the
// reproduce-steps request, with the outcome preset before and read after, and the
// application's help and action events the dialogs raise. The start-up calls it.
#include <string>

#include "exclog/core/ExceptionLog.h"

namespace exclog {

void InstallDialogHandOver();

// The dialog entry: a windowed program's dialog (job kind 0) presets the outcome
// from the job and the options, shows the presentation chosen
// (PresentationKindOption) and answers with the terminate or restart choice; other
// kinds go to ShowReportOnConsole.
TDialogAnswer ShowReportDialog(const TReportJob& job, const std::string& report);

// A console program's dialog: the report text on standard output (kind 1);
// nothing for other kinds. The answer is "close".
TDialogAnswer ShowReportOnConsole(const TReportJob& job, const std::string& report);

// What a windowed program presents: 3 the detailed dialog (default), 2 the classic
// dialog, 1 a message box, 0 nothing.
void SetPresentationKindOption(uint8_t kind);
uint8_t PresentationKindOption();

}  // namespace exclog
