#include "exclog/report/EReportFiles.h"

#include <atomic>
#include <cstdio>

#include "exclog/core/ECore.h"

namespace exclog {

namespace {

std::atomic<bool> screenshotTaken{false};

std::string InsertBeforeExtension(std::string_view name, std::string_view text) {
  std::string ext = ExtractFileExt(name);
  return std::string(name.substr(0, name.size() - ext.size())) + std::string(text) + ext;
}

}  // namespace

std::string LogCopyFileName(const TReportFilesInput& in) {
  std::string name = in.TempFolder + ExtractFileName(in.LogFile);
  // A log kept in the temporary folder is not its own copy: the sending writes
  // and deletes the copy.
  return SameText(name, in.LogFile) ? InsertBeforeExtension(name, "_Report") : name;
}

std::string ScreenshotFileName(const TReportFilesInput& in) {
  return (in.ProcessFlags & AttachScreenshot) && in.ScreenshotTaken ? in.TempFolder + "Screenshot.png" : "";
}

std::string LastHtmlPageFileName(const TReportFilesInput& in) {
  return (in.ProcessFlags & AttachLastHtmlPage) && in.PageCaptured ? in.TempFolder + "LastHTMLPage.html" : "";
}

std::string XmlLogFileName(const TReportFilesInput& in) {
  return (in.ProcessFlags & AttachXmlLog) ? in.TempFolder + ChangeFileExt(ExtractFileName(in.LogFile), ".xml") : "";
}

std::string ZipArchiveFileName(const TReportFilesInput& in) {
  return (in.ZipFolder.empty() ? in.TempFolder : in.ZipFolder) + "BugReport.zip";
}

std::string ProcessDataFileName(const TReportFilesInput& in) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.8X%.8X.bin", static_cast<unsigned>(in.ProcessId),
                static_cast<unsigned>(in.ProcessNumber));
  return in.TempFolder + buffer;
}

std::string DecorateAttachmentName(std::string_view path, uint16_t processFlags,
                                   std::string_view computerName, TDateTime exceptionTime) {
  std::string name = ExtractFileName(path);
  if (processFlags & StampComputerInNames) name = InsertBeforeExtension(name, "__" + std::string(computerName));
  if (processFlags & StampTimeInNames)
    name = InsertBeforeExtension(name, "__" + FormatDateTime("yyyymmddhhnnss", exceptionTime));
  return name;
}

std::vector<std::string> AttachmentList(const TReportFilesInput& in, const TAttachmentOptions& options,
                                        bool logOptional,
                                        const std::function<std::string(std::string_view)>& expand) {
  std::vector<std::string> list = SplitText(options.AttachedFiles, std::string(1, options.Separator), true, false);
  if (!(logOptional && options.ReportInMailBody)) list.push_back(LogCopyFileName(in));
  for (const std::string& name : {ScreenshotFileName(in), LastHtmlPageFileName(in), XmlLogFileName(in)})
    if (!name.empty()) list.push_back(name);
  if (expand)
    for (std::string& entry : list) entry = expand(entry);
  return list;
}

bool ScreenshotTaken() { return screenshotTaken; }
void SetScreenshotTaken(bool taken) { screenshotTaken = taken; }

}  // namespace exclog
