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

namespace {

bool WriterRuns(DWORD processId) {
  if (processId == GetCurrentProcessId()) return true;
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
  // A process the system does not know has ended; one we may not open still runs.
  if (!process) return GetLastError() != ERROR_INVALID_PARAMETER;
  bool runs = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  CloseHandle(process);
  return runs;
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

void RemoveStaleTemporaries(const std::string& path) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((path + ".*.tmp").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  std::string folder = FolderOf(path);
  do {
    std::optional<uint32_t> writer = TemporaryWriterId(path, found.cFileName);
    if (writer && !(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !WriterRuns(*writer))
      DeleteFileA((folder + found.cFileName).c_str());
  } while (FindNextFileA(search, &found));
  FindClose(search);
}

bool ReplaceFileText(const std::string& path, const std::string& text) {
  RemoveStaleTemporaries(path);
  std::string temporary = TemporaryFileName(path, GetCurrentProcessId());
  HANDLE file = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  bool staged = file != INVALID_HANDLE_VALUE && WriteAll(file, text) && FlushFileBuffers(file);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  if (staged && MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return true;
  DeleteFileA(temporary.c_str());
  return WriteFileText(path, text);
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
