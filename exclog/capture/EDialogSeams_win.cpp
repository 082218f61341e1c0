#include "exclog/capture/EDialogSeams_win.h"

#include "exclog/capture/ECaptureState_win.h"
#include "exclog/capture/EDispatch_win.h"
#include "exclog/capture/EThreadHooks_win.h"
#include "exclog/dialogs/EDialogSeams.h"

namespace exclog {

void InstallDialogSeams() {
  TDialogSeams& seams = DialogSeams();
  seams.Options = &ReportOptions;
  seams.ThreadRecords = &ThreadRecords;
  // The exports' saved position first, else the raise hook's frame.
  seams.SavedStackPosition = [] {
    const TLoggerThreadBlock& block = ThreadBlock();
    return static_cast<uintptr_t>(block.SavedFrame[1] ? block.SavedFrame[1] : block.SavedFrame[0]);
  };
}

}  // namespace exclog
