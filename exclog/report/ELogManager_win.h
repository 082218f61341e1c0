#pragma once
// The text log on disk, the process log the exception handler uses, the duplicate
// check, the log-saving step and the XML log file.
#include <windows.h>

#include <cstdint>
#include <string>

#include "exclog/core/EOptions.h"
#include "exclog/report/ELogManager.h"
#include "exclog/report/EReportFiles_win.h"

namespace exclog {

// A log file and its entries. The file is opened sharing read, write (and
// deletion, so an open log can still be replaced) with everyone and read at once
// when it exists; otherwise no file is open until Write.
class TLogFile : public TLogEntries {
 public:
  TLogFile(const std::string& fileName, bool readOnly);
  TLogFile(const TLogFile&) = delete;
  TLogFile& operator=(const TLogFile&) = delete;
  ~TLogFile();

  const std::string& FileName() const { return fileName_; }
  bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }
  // Loads the whole file again (empty when none is open).
  void Read();
  // Puts the entries into the file. Reports only added since the read are
  // appended; any other change goes to a temporary file beside the log that then
  // replaces it, so a process killed meanwhile leaves the old log whole. When the
  // replacement is refused the file is rewritten in place. False when nothing
  // could be written (the log is then unchanged or, in place, cut short).
  bool Write();
  void Close();

  std::string PassPhrase;  // reads enciphered call-stack names in the XML

 private:
  bool Reopen(DWORD disposition);
  bool WriteInPlace(const std::string& text);

  std::string fileName_;
  bool readOnly_;
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// The process log: opened for `fileName` before each use (another open name is
// closed first) and closed after it; no file stays open between exceptions.
TLogFile& OpenProcessLog(const std::string& fileName);
void CloseProcessLog();

// Whether a report with exception ID `id` is already in the log (only with bit 0
// of LogFlags). With `count`, the entry's count goes up by one and the file is
// written.
bool CheckDuplicate(const TQuelbaModuleOptions& options, const std::string& id, bool count);

// What the log-saving step reaches in the later units. Each null does nothing.
struct TLogSavingSeams {
  // The action-notify event with `action`; its handlers may clear *goAhead.
  void (*ActionNotify)(int action, uint8_t* goAhead) = nullptr;
  // The error-notify event with `action`: true when a handler asks for a retry.
  bool (*ErrorNotify)(int action) = nullptr;
  // Replaces the report copy the dialogs and the sending read.
  void (*ReplaceReportCopy)(const std::string& text) = nullptr;
};
TLogSavingSeams& LogSavingSeams();

// Log-saving actions sent to the action-notify and error-notify events.
constexpr int SavingLogFileAction = 2;
constexpr int SavedLogFileAction = 3;
constexpr int LogFileErrorAction = 3;

// The log-saving step: adds `report` unless it is a `duplicate`, keeping
// LogCapacity entries, and writes the log when SaveLogFile is set and nobody
// objected. Returns whether the log was written.
bool SaveTextLog(const TQuelbaModuleOptions& options, const std::string& report, bool duplicate);


}  // namespace exclog
