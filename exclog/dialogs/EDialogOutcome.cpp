#include "exclog/dialogs/EDialogOutcome.h"

namespace exclog {

namespace {

// The box counts as shown only when it was answered: a failed box must leave the
// way open to the warning and Dialog failed.
void ShowBox(TDialogOutcome& state, const TPresentationOps& ops) {
  state.BecameVisible = true;
  if (!ops.ShowMessageBox || ops.ShowMessageBox() == 0) state.BecameVisible = false;
}

}  // namespace

void RunPresentationLoop(TDialogOutcome& state, const TPresentationOps& ops) {
  state.DialogFailed = false;
  for (;;) {
    state.BecameVisible = false;
    switch (state.PresentationKind) {
      case PresentDetailed:
        if (ops.ShowDetailed) ops.ShowDetailed();
        if (state.PresentationKind == PresentDetailed) state.PresentationKind = PresentNothing;
        break;
      case PresentClassic:
        if (ops.ShowClassic) ops.ShowClassic();
        if (state.PresentationKind == PresentClassic) state.PresentationKind = PresentNothing;
        break;
      case PresentMessageBox:
        state.PresentationKind = PresentNothing;
        ShowBox(state, ops);
        break;
      default:
        state.BecameVisible = true;  // nothing to show counts as shown
        break;
    }
    if (!state.BecameVisible && ops.WindowsNT) ShowBox(state, ops);
    bool again = false;
    if (state.RestartChosen) {
      if (ops.ClearLastWarning) ops.ClearLastWarning();
      bool chosen = true;
      if (ops.NotifyAction) ops.NotifyAction(chosen);
      state.RestartChosen = chosen;
      again = !chosen;
    }
    if (!state.BecameVisible) {
      if (ops.WarnDialogFailed) ops.WarnDialogFailed();
      state.PresentationKind = PresentNothing;
      state.DialogFailed = true;
    }
    // The classic dialog's link asks for the detailed dialog next.
    if (state.PresentationKind != PresentNothing) {
      state.DetailsShownBefore = true;
      again = true;
    }
    if (!again) break;
  }
}

}  // namespace exclog
