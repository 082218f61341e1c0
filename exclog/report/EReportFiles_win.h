#pragma once
// The report's companion files as this process names them now, and the file
// helpers that read and write them.
#include <windows.h>

#include <string>
#include <vector>

#include "exclog/core/EOptions.h"
#include "exclog/report/EReportFiles.h"

namespace exclog {

// What the names reach in the later units. Null: no page was captured.
struct TReportFilesSeams {
  // The last page a CGI program wrote ("" when none).
  std::string (*LastPage)() = nullptr;
};
TReportFilesSeams& ReportFilesSeams();

// The log's name for `options`: LogFileName with its variables expanded.
std::string ProcessLogFileName(const TQuelbaModuleOptions& options);

// The companion files' input for `options` now: temporary folder, log name, flags
// and markers.
TReportFilesInput ReportFilesInput(const TQuelbaModuleOptions& options);

// The name `path` is attached under: the computer's name and the exception's time
// as the options ask.
std::string ReportAttachmentName(const TQuelbaModuleOptions& options, const std::string& path);

// The files to attach for `options` (AttachmentList with the process's variables).
std::vector<std::string> ReportAttachments(const TQuelbaModuleOptions& options, bool logOptional);

// Writes `text` to the last-page file when it has a name (replacing it).
bool SaveLastHtmlPage(const TQuelbaModuleOptions& options, const std::string& text);

// Files read whole are cut off at this size.
constexpr DWORD MaxReportFileBytes = 64u << 20;
// The file's bytes; "" when it does not exist or cannot be read.
std::string ReadFileText(const std::string& path);
// Writes `text` to `path`, replacing it; false when it failed.
bool WriteFileText(const std::string& path, const std::string& text);
// Writes `text` to TemporaryFileName(path, this process) and moves that over
// `path`, so a process killed meanwhile leaves the old file whole; stale
// temporaries of writers that died are removed first. When the move is refused
// (a reader holds the file without sharing deletion) the file is written in place.
bool ReplaceFileText(const std::string& path, const std::string& text);
// Deletes the temporary files of `path` whose writer no longer runs.
void RemoveStaleTemporaries(const std::string& path);
// Writes all of `text` at the file's position; false when a write failed.
bool WriteAll(HANDLE file, const std::string& text);

}  // namespace exclog
