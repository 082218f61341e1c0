#include "exclog/report/ELogManager_win.h"

#include <memory>

namespace exclog {

namespace {

// Larger logs are read from their last this many bytes (older entries beyond any
// sensible capacity are dropped on the next full write).
constexpr DWORD MaxLogBytes = MaxReportFileBytes;
constexpr int MaxSaveRetries = 5;

std::unique_ptr<TLogFile> processLog;

}  // namespace

TLogFile::TLogFile(const std::string& fileName, bool readOnly) : fileName_(fileName), readOnly_(readOnly) {
  if (GetFileAttributesA(fileName_.c_str()) != INVALID_FILE_ATTRIBUTES && Reopen(OPEN_EXISTING)) Read();
}

TLogFile::~TLogFile() { Close(); }

bool TLogFile::Reopen(DWORD disposition) {
  Close();
  handle_ = CreateFileA(fileName_.c_str(), GENERIC_READ | (readOnly_ ? 0 : GENERIC_WRITE),
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, disposition,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
  return IsOpen();
}

void TLogFile::Close() {
  if (IsOpen()) CloseHandle(handle_);
  handle_ = INVALID_HANDLE_VALUE;
}

void TLogFile::Read() {
  std::string text;
  if (IsOpen()) {
    DWORD high = 0;
    DWORD size = GetFileSize(handle_, &high);
    if (size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) size = 0;
    LONG offset = 0;
    if (high || size > MaxLogBytes) {
      offset = -static_cast<LONG>(MaxLogBytes);
      size = MaxLogBytes;
      SetFilePointer(handle_, offset, nullptr, FILE_END);
    } else {
      SetFilePointer(handle_, 0, nullptr, FILE_BEGIN);
    }
    text.resize(size);
    DWORD read = 0;
    if (size && !ReadFile(handle_, text.data(), size, &read, nullptr)) read = 0;
    text.resize(read);
  }
  Load(text);
}

bool TLogFile::WriteInPlace(const std::string& text) {
  if (!IsOpen() && !Reopen(OPEN_ALWAYS)) return false;
  SetFilePointer(handle_, 0, nullptr, FILE_BEGIN);
  bool ok = WriteAll(handle_, text) && SetEndOfFile(handle_);
  FlushFileBuffers(handle_);
  return ok;
}

bool TLogFile::Write() {
  if (readOnly_) return false;
  // A writer killed while it replaced the log left its temporary file behind.
  RemoveStaleTemporaries(fileName_);
  if (IsOpen() && OnlyAppended() && LoadedTextComplete()) {
    std::string added = AppendedFileText();
    if (SetFilePointer(handle_, 0, nullptr, FILE_END) == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR)
      return false;
    bool ok = WriteAll(handle_, added);
    FlushFileBuffers(handle_);
    if (ok) MarkWritten();
    return ok;
  }
  std::string text = FileText();
  std::string temporary = TemporaryFileName(fileName_, GetCurrentProcessId());
  HANDLE file = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  bool staged = file != INVALID_HANDLE_VALUE && WriteAll(file, text) && FlushFileBuffers(file);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  bool ok = false;
  if (staged) {
    // The log's own handle must be closed before the move can replace it.
    Close();
    ok = MoveFileExA(temporary.c_str(), fileName_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    Reopen(OPEN_EXISTING);
  }
  if (!ok) {
    DeleteFileA(temporary.c_str());
    ok = WriteInPlace(text);
  }
  if (ok) MarkWritten();
  return ok;
}

TLogFile& OpenProcessLog(const std::string& fileName) {
  if (processLog && processLog->FileName() != fileName) processLog.reset();
  if (!processLog) processLog = std::make_unique<TLogFile>(fileName, false);
  return *processLog;
}

void CloseProcessLog() { processLog.reset(); }

bool CheckDuplicate(const TQuelbaModuleOptions& options, const std::string& id, bool count) {
  if (!(options.LogFlags() & 0x1)) return false;
  TLogFile& log = OpenProcessLog(ProcessLogFileName(options));
  int index = log.FindEntry({"2.7"}, {id});
  if (index >= 0 && count) {
    std::string label = options.Text(52).empty() ? "Count" : options.Text(52);
    log.SetFieldValue("2.8", NextCount(log.FieldValue("2.8", index)), index, label);
    log.Write();
  }
  CloseProcessLog();
  return index >= 0;
}

TLogSavingSeams& LogSavingSeams() {
  static TLogSavingSeams seams;
  return seams;
}

bool SaveTextLog(const TQuelbaModuleOptions& options, const std::string& report, bool duplicate) {
  const TLogSavingSeams& seams = LogSavingSeams();
  bool save = options.SaveLogFile() != 0;
  uint8_t goAhead = 1;
  if (save && seams.ActionNotify) seams.ActionNotify(SavingLogFileAction, &goAhead);
  TLogFile& log = OpenProcessLog(ProcessLogFileName(options));
  bool written = false;
  if (!duplicate) {
    log.Add(report, options.LogCapacity());
    if ((options.ProcessFlags() & 0x4) && seams.ReplaceReportCopy) seams.ReplaceReportCopy(log.Text());
    // A retry writes again; the report is added once. A write that fails counts
    // as an objection, so the handlers hear of it.
    for (int attempt = 0;; ++attempt) {
      if (goAhead && save) {
        written = log.Write();
        if (!written) goAhead = 0;
      }
      if (!(save && !goAhead && seams.ErrorNotify && attempt < MaxSaveRetries && seams.ErrorNotify(LogFileErrorAction)))
        break;
      goAhead = 1;
    }
  }
  CloseProcessLog();
  if (save && seams.ActionNotify) seams.ActionNotify(SavedLogFileAction, nullptr);
  return written;
}

}  // namespace exclog
