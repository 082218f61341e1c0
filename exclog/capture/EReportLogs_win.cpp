#include "exclog/capture/EReportLogs_win.h"

#include <windows.h>

#include <cstdio>
#include <mutex>

#include "exclog/capture/EDispatch_win.h"
#include "exclog/capture/EReportEvents_win.h"
#include "exclog/capture/EThreadHooks_win.h"
#include "exclog/core/EObjects.h"
#include "exclog/core/ExceptionLog.h"
#include "exclog/debuginfo/EModules_win.h"
#include "exclog/report/ELogManager_win.h"
#include "exclog/report/EXMLBuilder_win.h"
#include "exclog/report/EReportFiles_win.h"
#include "exclog/report/EReportText.h"
#include "exclog/report/EReportText_win.h"

namespace exclog {

namespace {

std::mutex filesLock;
TReportFilesInput currentFiles;

std::string IdText(uint32_t id) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%.8X", static_cast<unsigned>(id));
  return buffer;
}

// The pass phrase the program's logger data was read with.
std::string ProgramPassPhrase() {
  TModuleRef module = FindModule(reinterpret_cast<uintptr_t>(GetModuleHandleA(nullptr)));
  return module ? module->NameKey : "";
}

std::string SettleReportFiles(const TReportJob&) {
  TReportFilesInput in = ReportFilesInput(ReportOptions());
  std::lock_guard<std::mutex> lock(filesLock);
  currentFiles = in;
  return in.LogFile;
}

bool CheckReportDuplicate(const TReportJob& job, bool count) {
  return CheckDuplicate(ReportOptions(), IdText(job.StackId), count);
}

void SaveReportTextLog(const TReportJob& job, const std::string& report) {
  SaveTextLog(ReportOptions(), report, job.Duplicate);
}

void SaveReportXmlLog(const TReportJob&, const std::string&) { ExportXmlLog(ReportOptions(), ProgramPassPhrase()); }

// The class of the thread object recorded for `threadId`; the object may be gone,
// so it is read as a possibly foreign pointer.
std::string RecordedThreadClass(uint32_t threadId) {
  std::optional<TThreadRecordView> record = FindThreadRecord(threadId);
  return record ? ObjectClassName(record->ThreadObject) : std::string();
}

}  // namespace

void InstallReportLogSeams() {
  SetReportThreadClassSeam(&RecordedThreadClass);
  UseSystemAnsiCodePage();
  TLogSavingSeams& saving = LogSavingSeams();
  saving.ActionNotify = [](int action, uint8_t* goAhead) {
    RaiseValueEvent(TQuelbaEvent::ExceptionActionNotify, action, goAhead);
  };
  saving.ErrorNotify = [](int action) { return NotifyReportAction(action, true); };
  // With the log copied into the report, what is copied and what is sent is the
  // whole log.
  saving.ReplaceReportCopy = [](const std::string& log) {
    UpdateReportPieces(
        [](TReportPieces& pieces, const void* text) {
          pieces.ReportCopy = *static_cast<const std::string*>(text);
          pieces.SendingText = pieces.ReportCopy;
        },
        &log);
  };
  ReportFilesSeams().LastPage = &LastCgiPage;
  TReportHandlerSeams& seams = ReportHandlerSeams();
  seams.ReportFileName = &SettleReportFiles;
  seams.CheckDuplicate = &CheckReportDuplicate;
  seams.SaveTextLog = &SaveReportTextLog;
  seams.SaveXmlLog = &SaveReportXmlLog;
}

TReportFilesInput CurrentReportFiles() {
  std::lock_guard<std::mutex> lock(filesLock);
  return currentFiles;
}

}  // namespace exclog
