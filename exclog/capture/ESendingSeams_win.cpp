#include "exclog/capture/ESendingSeams_win.h"

#include "exclog/capture/ECaptureState_win.h"
#include "exclog/capture/EDispatch_win.h"
#include "exclog/capture/EEventCall.h"
#include "exclog/capture/EReportEvents_win.h"
#include "exclog/capture/EThreadHooks_win.h"
#include "exclog/core/ECore_win.h"
#include "exclog/report/EReportText.h"
#include "exclog/sending/ESendReport_win.h"

namespace exclog {

namespace {

// A list event over the logger's own list: the sending's lines in, the handlers'
// lines back.
void RaiseListOver(const TReportJob& job, const std::string& report, TQuelbaEvent event, TStrings& own,
                   std::vector<std::string>& lines) {
  CallEventHandler([&] {
    TReportRecordScope scope(job, report);
    own.Clear();
    for (const std::string& line : lines) own.Add(line);
    RaiseListEvent(event, own);
    lines.clear();
    for (int i = 0; i < own.Count(); ++i) lines.push_back(own.Get(i));
  });
}

}  // namespace

void InstallSendingSeams() {
  TSendingSeams& seams = SendingSeams();
  seams.DispatchLock = &DispatchLock();
  seams.ActionNotify = [](const TReportJob& job, const std::string& report, int action, uint8_t* flag) {
    CallEventHandler([&] {
      TReportRecordScope scope(job, report);
      RaiseValueEvent(TQuelbaEvent::ExceptionActionNotify, action, flag);
    });
  };
  seams.AttachedFilesRequest = [](const TReportJob& job, const std::string& report, std::vector<std::string>& files) {
    RaiseListOver(job, report, TQuelbaEvent::AttachedFilesRequest, EventState().AttachedFiles, files);
  };
  seams.WebFieldsRequest = [](const TReportJob& job, const std::string& report, std::vector<std::string>& fields) {
    RaiseListOver(job, report, TQuelbaEvent::CustomWebFieldsRequest, EventState().WebFields, fields);
  };
  seams.PasswordRequest = [](const TReportJob& job, const std::string& report, std::string& password) {
    CallEventHandler([&] {
      TReportRecordScope scope(job, report);
      EventState().Password = password;
      password = RequestReportPassword();
    });
  };
  seams.SendFailed = [](const std::string& text) {
    if (!ConsoleProgram()) return;
    const std::string line = text + "\r\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  };
  seams.NonInteractive = [] { return ConsoleProgram() || !EnvironmentVariable("REQUEST_METHOD").empty(); };
  seams.ReportTextToSend = [] { return ReportPieces().SendingText; };
  InstallSendOutputs();
  ReportHandlerSeams().StartSending = [](const TReportJob& job, const std::string& report, bool wait) {
    return SendReport(job, report, wait, ReportOptions());
  };
}

}  // namespace exclog
