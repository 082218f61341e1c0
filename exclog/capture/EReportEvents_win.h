#pragma once
// The report's events as the main handler raises them: first in the module where
// the exception occurred, when that is another module carrying the logger, through
// its exported entry of the same name; then to the handlers registered here
// (components last to first, then the global procedure).
#include <windows.h>

#include <string>

#include "exclog/capture/EEvents.h"
#include "exclog/core/ExceptionLog.h"

namespace exclog {

// The module events are forwarded to: the current record's exception module when
// it is loaded, is not this module and carries logger data; else null.
HMODULE EventForwardModule();

// Each: the forward module's entry (when it has one), then the local runner. Flag
// events return the flag as the last handler left it.
bool RaiseFlagEvent(TQuelbaEvent event, bool flag);
void RaiseValueEvent(TQuelbaEvent event, int value, void* pointer);
void RaiseListEvent(TQuelbaEvent event, TStrings& list);

// The password for encrypted sending. The exception's module is asked first
// ("QuelbaLog_PasswordRequestEventEx", else "QuelbaLog_PasswordRequestEvent", with
// a 255-character buffer holding the password so far) and its answer becomes the
// logger's password; then the handlers here run on it. Returns the password.
std::string RequestReportPassword();

// The current record of the report `job` (its texts kept here) from construction
// to destruction; the record before is restored.
class TReportRecordScope {
 public:
  TReportRecordScope(const TReportJob& job, const std::string& report);
  TReportRecordScope(const TReportRecordScope&) = delete;
  TReportRecordScope& operator=(const TReportRecordScope&) = delete;

 private:
  std::string className_, message_, report_;
  TCurrentRecordScope scope_;
};

// The main handler's events with the handlers registered in the process: exception
// notify (handled-exception notify for a handled report), custom data, and the
// actions before and after the dialog.
void RaiseReportEvent(TReportEvent event, const TReportJob& job, bool& flag);

// Action notifications: `action` to the action-notify event, or for a failed step
// (`error`) to the error-notify event, whose pointer then points at a retry byte
// the handlers may set. Returns whether a retry was asked.
bool NotifyReportAction(int action, bool error);

}  // namespace exclog
