#include "exclog/report/EReportFiles_win.h"

#include <algorithm>
#include <cstdio>

#include "exclog/core/ECore_win.h"
#include "exclog/report/EPlatform_win.h"
#include "exclog/report/ESysInfo.h"

namespace exclog {

TReportFilesSeams& ReportFilesSeams() {
  static TReportFilesSeams seams;
  return seams;
}

std::string ProcessLogFileName(const TQuelbaModuleOptions& options) { return ExpandVariables(LogFileName(options)); }

TReportFilesInput ReportFilesInput(const TQuelbaModuleOptions& options) {
  TReportFilesInput in;
  in.TempFolder = TempFolder();
  char own[32];
  std::snprintf(own, sizeof own, "QuelbaLog%.8lX\\", GetCurrentProcessId());
  if (!in.TempFolder.empty()) in.ZipFolder = in.TempFolder + own;
  in.LogFile = ProcessLogFileName(options);
  in.ProcessFlags = options.ProcessFlags();
  in.ScreenshotTaken = ScreenshotTaken();
  in.PageCaptured = ReportFilesSeams().LastPage && !ReportFilesSeams().LastPage().empty();
  in.ProcessId = GetCurrentProcessId();
  return in;
}

std::string ReportAttachmentName(const TQuelbaModuleOptions& options, const std::string& path) {
  return DecorateAttachmentName(path, options.ProcessFlags(), ComputerName(), ExceptionTime());
}

std::vector<std::string> ReportAttachments(const TQuelbaModuleOptions& options, bool logOptional) {
  TAttachmentOptions attach;
  attach.AttachedFiles = options.AttachedFiles();
  attach.ReportInMailBody = options.ReportInMailBody() != 0;
  return AttachmentList(ReportFilesInput(options), attach, logOptional,
                        [](std::string_view entry) { return ExpandVariables(entry); });
}

bool SaveLastHtmlPage(const TQuelbaModuleOptions& options, const std::string& text) {
  std::string name = LastHtmlPageFileName(ReportFilesInput(options));
  return !name.empty() && WriteFileText(name, text);
}

std::string ReadFileText(const std::string& path) {
  // Sharing deletion too: a reader never keeps a log from being replaced.
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "";
  DWORD high = 0, size = GetFileSize(file, &high);
  std::string text;
  if (!high && size != INVALID_FILE_SIZE && size <= MaxReportFileBytes) {
    text.resize(size);
    DWORD read = 0;
    if (size && !ReadFile(file, text.data(), size, &read, nullptr)) read = 0;
    text.resize(read);
  }
  CloseHandle(file);
  return text;
}

bool WriteAll(HANDLE file, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(text.size() - done, 64u << 10)), written = 0;
    if (!WriteFile(file, text.data() + done, chunk, &written, nullptr) || written == 0) return false;
    done += written;
  }
  return true;
}

bool WriteFileText(const std::string& path, const std::string& text) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool ok = WriteAll(file, text);
  CloseHandle(file);
  return ok;
}

}  // namespace exclog
