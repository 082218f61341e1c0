#include "exclog/report/EReportFiles.h"

#include <atomic>
#include <cctype>
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

std::string TemporaryFileName(std::string_view file, uint32_t processId) {
  return std::string(file) + "." + std::to_string(processId) + ".tmp";
}

std::optional<uint32_t> TemporaryWriterId(std::string_view file, std::string_view candidate) {
  size_t slash = file.find_last_of("\\/");
  if (slash != std::string_view::npos) file.remove_prefix(slash + 1);
  constexpr std::string_view suffix = ".tmp";
  if (file.empty() || candidate.size() < file.size() + 1 + 1 + suffix.size()) return std::nullopt;
  auto sameText = [](std::string_view a, std::string_view b) {
    for (size_t i = 0; i < a.size(); ++i) {
      unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
      if (x != y && std::tolower(x) != std::tolower(y)) return false;
    }
    return true;
  };
  if (!sameText(file, candidate.substr(0, file.size())) || candidate[file.size()] != '.' ||
      !sameText(suffix, candidate.substr(candidate.size() - suffix.size())))
    return std::nullopt;
  std::string_view digits = candidate.substr(file.size() + 1, candidate.size() - file.size() - 1 - suffix.size());
  if (digits.empty() || digits.size() > 10) return std::nullopt;
  uint64_t id = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    id = id * 10 + static_cast<uint64_t>(c - '0');
  }
  if (id > UINT32_MAX) return std::nullopt;
  return static_cast<uint32_t>(id);
}

bool ScreenshotTaken() { return screenshotTaken; }
void SetScreenshotTaken(bool taken) { screenshotTaken = taken; }

}  // namespace exclog
