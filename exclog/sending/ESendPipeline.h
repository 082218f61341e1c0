#pragma once
// The sending of one report: its files, the attachments zipped into one archive,
// the mail pass and the web pass with their events and retries, the fallback, the
// result, the archive copy and the clean-up. Pure: files, events, boxes and the
// clipboard are reached through TSendEnvironment, the methods through
// ESendMethods.h, the progress through ESendState.h.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "classlib/SysUtils.h"
#include "exclog/core/EOptions.h"
#include "exclog/report/EReportFiles.h"
#include "exclog/sending/ESendMethods.h"

namespace exclog {

// Bits of the options the sending reads.
constexpr uint16_t SendShowProgress = 0x1;    // ProcessFlags bit 0 (and the mail client's compose dialog)
constexpr uint16_t SendShowResult = 0x2;      // ProcessFlags bit 1
constexpr uint16_t SendOnOwnThread = 0x80;    // ProcessFlags bit 7
constexpr uint16_t ClipboardOnFailure = 0x10;  // CatchFlags bit 4
constexpr uint16_t KeepArchiveCopy = 0x20;     // CatchFlags bit 5

// Actions of the action-notify event around the methods.
constexpr int ActionBeforeMail = 4;
constexpr int ActionAfterMail = 5;  // also "mail failed", with the retry flag
constexpr int ActionBeforeWeb = 6;
constexpr int ActionAfterWeb = 7;   // also "web failed", with the retry flag

// What the sending reaches outside itself.
class TSendEnvironment {
 public:
  virtual ~TSendEnvironment() = default;
  // Replaces the file; false when it could not be written.
  virtual bool WriteTextFile(const std::string& path, const std::string& text) = 0;
  // The XML report file of the report at hand (when the options ask for one).
  virtual void WriteXmlReport() = 0;
  virtual bool FileExists(const std::string& path) = 0;
  virtual void RemoveFile(const std::string& path) = 0;
  virtual bool RenameFile(const std::string& from, const std::string& to) = 0;
  // The names (without folder) of the files of `folder` whose name matches `mask`.
  virtual std::vector<std::string> FileNames(const std::string& folder, const std::string& mask) = 0;
  virtual bool ZipFiles(const std::string& archive, const std::string& password,
                        const std::vector<std::string>& files) = 0;
  // The events: action notify with a pointer to a flag the handlers may change,
  // and the list requests the handlers may edit.
  virtual void ActionNotify(int action, uint8_t* flag) = 0;
  virtual void AttachedFilesRequest(std::vector<std::string>& files) = 0;
  virtual void WebFieldsRequest(std::vector<std::string>& fields) = 0;
  // The password request event: the handlers may change the archive's password.
  virtual void PasswordRequest(std::string& password) = 0;
  // Shows the progress window when the options ask for it (StartSendProgress).
  virtual void ShowProgress() = 0;
  virtual void CopyToClipboard(const std::string& text) = 0;
  // A task-modal, topmost box captioned with text 0: information or error icon.
  virtual void ShowBox(const std::string& text, bool error) = 0;
  virtual TDateTime Now() = 0;
};

// One report to send.
struct TSendInput {
  const TQuelbaModuleOptions* Options = nullptr;
  std::string Report;         // the report text
  TReportFilesInput Files;    // temporary folder, log name, flags and markers
  std::string LastPage;       // the last HTML page kept; "" when none
  std::string ArchiveFolder;  // where archive copies are kept (the log folder, with its backslash)
  bool CgiProcess = false;    // "REQUEST_METHOD" is set: the last page stays
  // Expands variables in attached file names (null: none).
  std::function<std::string(std::string_view)> Expand;
  // The report's facts for the web methods: the fields of TWebRequest not read
  // from the options, and the values of the trackers' four extra lines.
  TWebRequest WebFacts;
  std::string OsType, OsBuild, ReproduceText;
};

// The report text file: the log copy's name, never the log itself.
std::string ReportTextFileName(const TSendInput& in);

// The whole send; true when every configured method succeeded (also when none
// is configured). A web method's exception passes through.
bool DoSend(const TSendInput& in, TSendEnvironment& env);
// Fills SendState().Attachments for the mail (`forMail`) or web pass and zips
// them: afterwards the list holds the archive's path alone. False, with the
// error recorded, when the archive could not be made whole: nothing is to be sent
// then (a file left out because it would not open does not count).
bool BuildAttachments(const TSendInput& in, TSendEnvironment& env, bool forMail);
// Each returns its method's own result, whatever an "after" handler sets.
bool SendByMail(const TSendInput& in, TSendEnvironment& env);
bool SendByWeb(const TSendInput& in, TSendEnvironment& env);

// The web method's request for `in`: options, facts, field list and attachments.
TWebRequest WebRequestFor(const TSendInput& in);
// The text a failed upload or tracker records.
std::string UploadErrorText(int mode, int code, const std::string& errorText);
std::string TrackerErrorText(const TQuelbaModuleOptions& options, int code, const TTrackerAnswer& answer);

// Archive copies: "BugReport_yyyymmdd_hhnnsszzz.zip"; only names of that pattern
// are ever pruned, the newest `keep` by name stay.
constexpr char ArchiveCopyMask[] = "BugReport_*.zip";
std::string ArchiveCopyName(TDateTime now);
bool IsArchiveCopyName(std::string_view name);
std::vector<std::string> ArchiveCopiesToPrune(std::vector<std::string> names, size_t keep = 10);

// The error-burst rule: the times of the reports so far (oldest first, at most
// the last `count` kept) make a burst when there are exactly `count` of them
// within `minutes`.
void RecordErrorTime(std::vector<TDateTime>& times, TDateTime time, int count);
bool ErrorBurst(const std::vector<TDateTime>& times, int count, int minutes);

}  // namespace exclog
