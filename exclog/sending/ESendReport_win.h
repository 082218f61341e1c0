#pragma once
// Sending a report from the main handler: on the handler's thread, or on a send
// thread of its own that holds the dispatch lock until it is done (so the next
// report waits), with the progress window shown on a thread of its own.
#include <windows.h>

#include <mutex>
#include <string>
#include <vector>

#include "exclog/core/EOptions.h"
#include "exclog/core/ExceptionLog.h"

namespace exclog {

// What the sending reaches in the units above it, filled at start-up. Null
// members: no lock, no handlers, "no".
struct TSendingSeams {
  std::recursive_mutex* DispatchLock = nullptr;
  // The events, run with the record of `job` (its text `report`) as the current one.
  void (*ActionNotify)(const TReportJob& job, const std::string& report, int action, uint8_t* flag) = nullptr;
  void (*AttachedFilesRequest)(const TReportJob& job, const std::string& report,
                               std::vector<std::string>& files) = nullptr;
  void (*WebFieldsRequest)(const TReportJob& job, const std::string& report,
                           std::vector<std::string>& fields) = nullptr;
  // The password request event: `password` in is the configured one, out the
  // handlers' answer.
  void (*PasswordRequest)(const TReportJob& job, const std::string& report, std::string& password) = nullptr;
  // A send that failed, told where the process can tell it (a console program's
  // standard error); `text` says why.
  void (*SendFailed)(const std::string& text) = nullptr;
  // A console program, service or web-server module: no windows.
  bool (*NonInteractive)() = nullptr;
  // The report text kept for sending; null or "" means the text handed over.
  std::string (*ReportTextToSend)() = nullptr;
};
TSendingSeams& SendingSeams();

// Sends the report `job` with `options` (copied). On the calling thread when the
// report runs on the raising thread, or when `wait` and the options' ProcessFlags
// bit 7 is clear: then a web method's exception passes to the caller. Otherwise
// on a new send thread, which ends the process afterwards when the job's
// EndAfterReport or the error-burst rule asks; true then (the send thread took
// the report over).
bool SendReport(const TReportJob& job, const std::string& report, bool wait, const TQuelbaModuleOptions& options);

// Shows the progress window when the options ask for one and the process may show
// windows; waits (at most about 3 s) until it is up. `centred` in the middle of
// the work area and kept in front, else in its bottom-right corner.
void StartSendProgress(const TQuelbaModuleOptions& options, bool centred);

// Send threads that have finished their report since the start.
int SendThreadsFinished();

// Fills the progress and error outputs of the sending state (ESendState.h) with
// the window messages, the debugger and message boxes. The start-up calls it.
void InstallSendOutputs();

}  // namespace exclog
