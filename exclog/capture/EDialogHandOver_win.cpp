#include "exclog/capture/EDialogHandOver_win.h"

#include <windows.h>

#include <atomic>

#include "exclog/capture/EDispatch_win.h"
#include "exclog/capture/EEventCall.h"
#include "exclog/capture/EEvents.h"
#include "exclog/capture/EReportEvents_win.h"
#include "exclog/capture/EThreadHooks_win.h"
#include "exclog/dialogs/EDialogOutcome.h"
#include "exclog/dialogs/EDialogShared_win.h"
#include "exclog/dialogs/EExceptionDialog_win.h"
#include "exclog/dialogs/EExceptionDialogLayout.h"
#include "exclog/dialogs/ERequestDialog_win.h"

namespace exclog {

namespace {

std::atomic<uint8_t> presentationKind{PresentDetailed};

void RefreshDialog() {
  if (auto refresh = EventEntrySeams().RefreshDialogState) refresh();
}

// The help button: the custom-button event in the application's context; the
// dialog then shows what its handlers changed.
void RunHelpEvent(bool& close) {
  CallEventHandler([&] { close = RaiseFlagEvent(TQuelbaEvent::CustomButtonClick, false); });
  RefreshDialog();
}

void NotifyDialogAction(int action, bool& chosen) {
  uint8_t value = chosen ? 1 : 0;
  CallEventHandler([&] { RaiseValueEvent(TQuelbaEvent::ExceptionActionNotify, action, &value); });
  chosen = value != 0;
  RefreshDialog();
}

// The window the user worked in when the exception came: the dialogs stay in
// front of it. Only a thread that answers messages meanwhile can own them: the
// waiting main thread while it pumps, or the thread the dialogs run on.
HWND RaisingThreadWindow(const TReportJob& job) {
  uint32_t thread = job.OnReportThread ? job.PumpingThreadId : GetCurrentThreadId();
  GUITHREADINFO gui{};
  gui.cbSize = sizeof gui;
  return thread && GetGUIThreadInfo(thread, &gui) ? gui.hwndActive : nullptr;
}

void AskReproduceSteps(const TReportJob& job) {
  DialogReportFacts().Duplicate = job.Duplicate;
  DialogReportFacts().Owner = RaisingThreadWindow(job);
  DialogReportFacts().CanShowWindows = !ConsoleProgram() && job.DialogKind == 0;
  ShowRequestDialog();
  DialogReportFacts().Owner = nullptr;  // dialogs shown outside a report own nothing
}

}  // namespace

void SetPresentationKindOption(uint8_t kind) { presentationKind = kind <= PresentDetailed ? kind : PresentDetailed; }
uint8_t PresentationKindOption() { return presentationKind; }

TDialogAnswer ShowReportOnConsole(const TReportJob& job, const std::string& report) {
  if (job.DialogKind == 1) {
    std::string text = report + "\r\n";
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD written = 0;
    if (output && output != INVALID_HANDLE_VALUE)
      KernelOriginals().WriteFile(output, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  }
  return TDialogAnswer::Close;
}

TDialogAnswer ShowReportDialog(const TReportJob& job, const std::string& report) {
  if (job.DialogKind != 0) return ShowReportOnConsole(job, report);
  TQuelbaModuleOptions& options = ReportOptions();
  TDialogReportFacts& facts = DialogReportFacts();
  facts.Duplicate = job.Duplicate;
  facts.ErrorCount = ReportCount();
  facts.CanShowWindows = !ConsoleProgram();
  facts.Owner = RaisingThreadWindow(job);
  // Preset as the handler does before its presentation loop; Send chosen is set.
  TDialogOutcome& outcome = DialogOutcome();
  outcome.PresentationKind = PresentationKindOption();
  outcome.Cancelled = 0;
  outcome.ScreenshotChosen = (options.ProcessFlags() & ProcessAttachScreenshot) ? 1 : 0;
  outcome.CopyChosen = 0;
  outcome.RestartChosen = 0;
  outcome.HelpAsksToClose = 0;
  outcome.DetailsShownBefore = 0;
  ShowExceptionDialog(true);
  facts.Owner = nullptr;
  if (!outcome.RestartChosen) return TDialogAnswer::Close;
  switch (job.RestartChoice) {
    case 1: return TDialogAnswer::Terminate;
    case 2: return TDialogAnswer::Restart;
    default: return TDialogAnswer::Close;
  }
}

void InstallDialogHandOver() {
  TReportHandlerSeams& seams = ReportHandlerSeams();
  seams.ShowDialog = &ShowReportDialog;
  seams.AskReproduceSteps = &AskReproduceSteps;
  TDialogEventSeams& events = DialogEventSeams();
  events.RunHelp = &RunHelpEvent;
  events.NotifyAction = &NotifyDialogAction;
  // Handlers may change the report's options while a dialog shows: after an event
  // the report ran, and after one another module handed in, the dialog takes them
  // in on its own thread. An event handed in runs outside the report's own calls,
  // so what the dialog last read of the options is stale from then on.
  TEventEntrySeams& entries = EventEntrySeams();
  entries.RefreshDialogState = [] { RequestReportDialogRefresh(); };
  entries.ReleaseDialogState = [] { RequestReportDialogRefresh(); };
}

}  // namespace exclog
