#pragma once
// The companion files of a report in the user's temporary folder: their names,
// which of them exist for the report at hand, and the list of files to attach.
// Pure: folder, switches and markers come in as arguments (EReportFiles_win.h
// looks them up).
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "classlib/SysUtils.h"

namespace exclog {

// Bits of the options' ProcessFlags word these names read.
constexpr uint16_t AttachXmlLog = 0x8;
constexpr uint16_t AttachScreenshot = 0x10;
constexpr uint16_t AttachLastHtmlPage = 0x40;
constexpr uint16_t StampTimeInNames = 0x100;
constexpr uint16_t StampComputerInNames = 0x200;

struct TReportFilesInput {
  std::string TempFolder;  // with its trailing backslash
  // Where the archive is made, with its trailing backslash; empty: TempFolder. A
  // folder of each process's own: programs sending at once in one temporary
  // folder would otherwise send one another's archive.
  std::string ZipFolder;
  std::string LogFile;     // the log's full name, variables expanded
  uint16_t ProcessFlags = 0;
  bool ScreenshotTaken = false;  // for the report at hand
  bool PageCaptured = false;     // a last HTML page was kept
  uint32_t ProcessId = 0;
  uint32_t ProcessNumber = 0;    // the second number of the process data file
};

// Each: the full path, or "" when the file does not exist for this report. The
// log copy of a log kept in the temporary folder is "<name>_Report<ext>".
std::string LogCopyFileName(const TReportFilesInput& in);
std::string ScreenshotFileName(const TReportFilesInput& in);
std::string LastHtmlPageFileName(const TReportFilesInput& in);
std::string XmlLogFileName(const TReportFilesInput& in);
std::string ZipArchiveFileName(const TReportFilesInput& in);
std::string ProcessDataFileName(const TReportFilesInput& in);

// The name a file is attached under: without folder; "__" + computer before the
// extension when the flags ask for it, then "__" + the time as yyyymmddhhnnss.
std::string DecorateAttachmentName(std::string_view path, uint16_t processFlags,
                                   std::string_view computerName, TDateTime exceptionTime);

struct TAttachmentOptions {
  std::string AttachedFiles;  // extra files, split at Separator
  char Separator = ';';
  bool ReportInMailBody = false;
};

// The files to attach: the extra ones, the log copy (unless `logOptional` and the
// report goes into the mail body), then screenshot, last page and XML log when
// they exist; each entry trimmed and its variables expanded by `expand`.
std::vector<std::string> AttachmentList(const TReportFilesInput& in, const TAttachmentOptions& options,
                                        bool logOptional,
                                        const std::function<std::string(std::string_view)>& expand);

// A file is rewritten through "<file>.<writer's process ID>.tmp" beside it, which
// then replaces the file. TemporaryWriterId gives that ID when `candidate` (a name
// without folder) is such a file of `file` (compared without case, as the system
// does); nothing otherwise.
std::string TemporaryFileName(std::string_view file, uint32_t processId);
std::optional<uint32_t> TemporaryWriterId(std::string_view file, std::string_view candidate);

// Whether the report at hand came with a screenshot (set by the screenshot's
// writer, cleared for each report).
bool ScreenshotTaken();
void SetScreenshotTaken(bool taken);

}  // namespace exclog
