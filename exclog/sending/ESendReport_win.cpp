#include "exclog/sending/ESendReport_win.h"

#include <commctrl.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

#include "classlib/Threads.h"
#include "exclog/core/ECore.h"
#include "exclog/core/ECore_win.h"
#include "exclog/core/EProcess_win.h"
#include "exclog/core/EZip.h"
#include "exclog/debuginfo/EModules_win.h"
#include "exclog/dialogs/ESendProgress_win.h"
#include "exclog/report/EReportFiles_win.h"
#include "exclog/report/EReportText.h"
#include "exclog/report/ESysInfo.h"
#include "exclog/report/ESysInfo_win.h"
#include "exclog/sending/ESendPipeline.h"
#include "exclog/sending/ESendState.h"
#include "resources/exclog/QuelbaSendIds.h"

namespace exclog {

namespace {

constexpr auto ProgressWaitLimit = std::chrono::seconds(3);

std::atomic<int> sendThreadsFinished{0};
std::atomic<bool> progressFailed{false};
std::vector<TDateTime> errorTimes;  // under the dispatch lock

// One report on its way: its own copy of the options, as the next report may
// change the process's while this one waits for the lock.
struct TSendJob {
  TQuelbaModuleOptions Options;
  TReportJob Report;
  std::string ReportText;
  TSendInput Input;
  bool SameThread = false;
};

class TWinSendEnvironment : public TSendEnvironment {
 public:
  explicit TWinSendEnvironment(const TSendJob& job) : job_(job) {}

  bool WriteTextFile(const std::string& path, const std::string& text) override { return WriteFileText(path, text); }
  void WriteXmlReport() override {
    if (auto save = ReportHandlerSeams().SaveXmlLog) save(job_.Report, job_.ReportText);
  }
  bool FileExists(const std::string& path) override {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
  }
  void RemoveFile(const std::string& path) override {
    DeleteFileA(path.c_str());
    // The archive's folder is the process's own: gone with the archive.
    if (path == ZipArchiveFileName(job_.Input.Files) && !job_.Input.Files.ZipFolder.empty())
      RemoveDirectoryA(job_.Input.Files.ZipFolder.c_str());
  }
  bool RenameFile(const std::string& from, const std::string& to) override {
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED) != FALSE;
  }
  std::vector<std::string> FileNames(const std::string& folder, const std::string& mask) override {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((folder + mask).c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
      if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
    } while (FindNextFileA(find, &found));
    FindClose(find);
    return names;
  }
  bool ZipFiles(const std::string& archive, const std::string& password,
                const std::vector<std::string>& files) override {
    if (!job_.Input.Files.ZipFolder.empty()) CreateDirectoryA(job_.Input.Files.ZipFolder.c_str(), nullptr);
    return exclog::ZipFiles(archive, password, files);
  }
  void ActionNotify(int action, uint8_t* flag) override {
    if (auto notify = SendingSeams().ActionNotify) notify(job_.Report, job_.ReportText, action, flag);
  }
  void AttachedFilesRequest(std::vector<std::string>& files) override {
    if (auto request = SendingSeams().AttachedFilesRequest) request(job_.Report, job_.ReportText, files);
  }
  void WebFieldsRequest(std::vector<std::string>& fields) override {
    if (auto request = SendingSeams().WebFieldsRequest) request(job_.Report, job_.ReportText, fields);
  }
  void PasswordRequest(std::string& password) override {
    if (auto request = SendingSeams().PasswordRequest) request(job_.Report, job_.ReportText, password);
  }
  void ShowProgress() override { StartSendProgress(job_.Options, !(job_.Options.ProcessFlags() & SendOnOwnThread)); }
  void CopyToClipboard(const std::string& text) override { CopyTextToClipboard(text); }
  void ShowBox(const std::string& text, bool error) override {
    MessageBoxA(nullptr, text.c_str(), job_.Options.Text(0).c_str(),
                (error ? MB_ICONERROR : MB_ICONINFORMATION) | MB_TASKMODAL | MB_TOPMOST);
  }
  TDateTime Now() override { return LocalNow(); }

 private:
  const TSendJob& job_;
};

bool Ask(bool (*question)()) { return question && question(); }

std::string HexId(uint32_t id) {
  char text[16];
  std::snprintf(text, sizeof text, "%.8X", static_cast<unsigned>(id));
  return text;
}

std::unique_ptr<TSendJob> MakeJob(const TReportJob& report, const std::string& text,
                                  const TQuelbaModuleOptions& options) {
  auto job = std::make_unique<TSendJob>();
  job->Options.Assign(&options);
  job->Report = report;
  std::string kept = SendingSeams().ReportTextToSend ? SendingSeams().ReportTextToSend() : "";
  job->ReportText = kept.empty() ? text : kept;
  job->SameThread = SameThreadReport() || LeakReportMode();  // the process ends after a leak report
  TSendInput& in = job->Input;
  in.Options = &job->Options;
  in.Report = job->ReportText;
  in.Files = ReportFilesInput(job->Options);
  if (auto page = ReportFilesSeams().LastPage) in.LastPage = page();
  in.ArchiveFolder = IncludeBackslash(ExtractFileDir(in.Files.LogFile));
  in.CgiProcess = !EnvironmentVariable("REQUEST_METHOD").empty();
  in.Expand = [](std::string_view entry) { return ExpandVariables(entry); };
  std::string description, version;
  ReadVersionInfo(ModuleFileName(GetModuleHandleA(nullptr)), description, version);
  in.WebFacts.Version = version;
  in.WebFacts.Text = LastExceptionMessage();
  in.WebFacts.Description = LastExceptionType() + ": " + LastExceptionMessage();
  in.WebFacts.BugId = HexId(report.StackId);
  in.OsType = OsTypeValue();
  in.OsBuild = BuildNumberValue();
  in.ReproduceText = job->Options.ReproduceText();
  return job;
}

// Sends and says so when the send failed: a console program's output is otherwise
// the same either way.
void SendAndTell(TSendJob& job, TSendEnvironment& env) {
  if (DoSend(job.Input, env)) return;
  if (auto tell = SendingSeams().SendFailed) {
    const std::string& why = SendState().LastError.Text;
    tell(job.Options.Text(145) + (why.empty() ? "" : " " + why));
  }
}

// The screenshot belongs to this report alone.
void RemoveScreenshot(const TSendInput& in) {
  std::string shot = ScreenshotFileName(in.Files);
  if (!shot.empty()) DeleteFileA(shot.c_str());
}

// The error-burst rule: true when the process is to end, TerminateAction set.
bool AfterSend(TSendJob& job) {
  RemoveScreenshot(job.Input);
  TQuelbaModuleOptions& o = job.Options;
  if (o.ErrorBurstAction() == 0 || IsDesignTimeHost(GetCurrentProcessId())) return false;
  if (!ErrorBurst(errorTimes, o.ErrorBurstCount(), o.ErrorBurstMinutes())) return false;
  o.SetTerminateAction(o.ErrorBurstAction());
  return true;
}

class TSendThread : public TThread {
 public:
  explicit TSendThread(std::unique_ptr<TSendJob> job) : TThread(true), job_(std::move(job)) {}

 protected:
  void Execute() override {
    bool end = false;
    {
      std::unique_lock<std::recursive_mutex> lock;
      if (auto* dispatch = SendingSeams().DispatchLock) lock = std::unique_lock<std::recursive_mutex>(*dispatch);
      try {
        TWinSendEnvironment env(*job_);
        SendAndTell(*job_, env);
        end = AfterSend(*job_);
      } catch (...) {
        // Nothing of the send may end the thread before it lets the lock go.
        RemoveScreenshot(job_->Input);
      }
      uint8_t mode = end ? job_->Options.TerminateAction() : job_->Report.EndAfterReport;
      ++sendThreadsFinished;
      if (mode != 0) EndProcess(mode == 2);
    }
    job_.reset();
  }

 private:
  std::unique_ptr<TSendJob> job_;
};

class TSendDialogThread : public TThread {
 public:
  explicit TSendDialogThread(bool centred) : TThread(true), centred_(centred) {}

 protected:
  void Execute() override {
    if (!ShowSendProgress(centred_)) progressFailed = true;
  }

 private:
  bool centred_;
};

// Same-thread mode: the handler's windows stay responsive. A quit request taken
// from the queue is put back, or the program would never end.
void PumpOwnMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

HWND AsWindow(uintptr_t window) { return reinterpret_cast<HWND>(window); }

}  // namespace

TSendingSeams& SendingSeams() {
  static TSendingSeams seams;
  return seams;
}

int SendThreadsFinished() { return sendThreadsFinished; }

void StartSendProgress(const TQuelbaModuleOptions& options, bool centred) {
  TSendProgress& progress = SendState().Progress;
  progress.Window = 0;
  progress.Percent = 0;
  progress.Recipient = progress.RecipientCount = 0;
  // A window left from a pass that stopped waiting for it.
  if (HWND stale = SendProgressWindow()) PostMessageA(stale, SendProgressCloseMessage, 0, 0);
  if (!(options.ProcessFlags() & SendShowProgress) || (!options.MailMode() && !options.WebSendMode()) ||
      Ask(SendingSeams().NonInteractive) || DialogOutcome().DialogFailed)
    return;
  TSendProgressLook look;
  look.Caption = options.Text(110);
  SetSendProgressLook(look);
  ClearSendProgressReady();
  progressFailed = false;
  bool sameThread = SameThreadReport();
  if (sameThread) {
    if (!ShowSendProgress(centred)) return;
  } else {
    try {
      auto* thread = new TSendDialogThread(centred);
      thread->SetFreeOnTerminate(true);
      thread->SetPriority(TThreadPriority::tpHighest);
      thread->Start();
    } catch (...) {
      return;
    }
  }
  // Bounded: a window that never gets the focus must not hold up every later report.
  auto deadline = std::chrono::steady_clock::now() + ProgressWaitLimit;
  while (!SendProgressReady() && !progressFailed && std::chrono::steady_clock::now() < deadline) {
    if (sameThread) PumpOwnMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  progress.Window = reinterpret_cast<uintptr_t>(SendProgressWindow());
  progress.SameThread = sameThread;
}

bool SendReport(const TReportJob& report, const std::string& text, bool wait, const TQuelbaModuleOptions& options) {
  std::unique_ptr<TSendJob> job = MakeJob(report, text, options);
  RecordErrorTime(errorTimes, ExceptionTime(), options.ErrorBurstCount());
  if (job->SameThread || (wait && !(options.ProcessFlags() & SendOnOwnThread))) {
    TWinSendEnvironment env(*job);
    try {
      SendAndTell(*job, env);
    } catch (...) {
      RemoveScreenshot(job->Input);
      throw;
    }
    RemoveScreenshot(job->Input);
    return false;
  }
  auto* thread = new TSendThread(std::move(job));
  thread->SetFreeOnTerminate(true);
  thread->SetPriority(TThreadPriority::tpHighest);
  thread->Start();
  return true;
}

void InstallSendOutputs() {
  TSendOutputSeams& out = SendOutputSeams();
  out.DebugLine = [](const std::string& line) { OutputDebugStringA(line.c_str()); };
  out.ErrorBox = [](const std::string& text) {
    MessageBoxA(nullptr, text.c_str(), "Error.", MB_ICONERROR | MB_TASKMODAL | MB_TOPMOST);
  };
  out.StatusText = [](uintptr_t window, const std::string& text) {
    SendDlgItemMessageA(AsWindow(window), QL_SEND_STATUS, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
  };
  out.BarPosition = [](uintptr_t window, int percent) {
    SendDlgItemMessageA(AsWindow(window), QL_SEND_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(percent), 0);
  };
  out.CloseWindow = [](uintptr_t window) { SendMessageA(AsWindow(window), SendProgressCloseMessage, 0, 0); };
  out.PumpMessages = &PumpOwnMessages;
}

}  // namespace exclog
