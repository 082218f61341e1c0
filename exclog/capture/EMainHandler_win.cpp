// The main handler: the report's steps in order, each later unit reached through
// TReportHandlerSeams. The step word tells the internal-error reporter how far a
// failing report got.
#include <windows.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "exclog/core/ECore_win.h"
#include "exclog/capture/EDispatch_win.h"
#include "exclog/capture/EEventCall.h"
#include "exclog/debuginfo/ELists.h"
#include "exclog/debuginfo/EModules_win.h"
#include "exclog/core/EProcess_win.h"
#include "exclog/capture/EThreadHooks_win.h"
#include "exclog/capture/ExceptionLog_win.h"

namespace exclog {

namespace {

std::atomic<int> mainHandlerCount{0};
std::atomic<int> reportCount{0};
std::mutex optionsLock;
std::unique_ptr<TQuelbaModuleOptions> reportOptions;

std::string DefaultBuildReport(const TReportJob& job) { return DescribeException("Report", job.Exception); }

TDialogAnswer DefaultShowDialog(const std::string& report) {
  if (ConsoleProgram()) {
    std::string text = report + "\r\n";
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD written = 0;
    if (output && output != INVALID_HANDLE_VALUE)
      KernelOriginals().WriteFile(output, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  }
  return TDialogAnswer::Close;
}

HMODULE ModuleHolding(uintptr_t address) {
  HMODULE module = nullptr;
  if (!address || !GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                      reinterpret_cast<LPCSTR>(address), &module))
    return GetModuleHandleA(nullptr);
  return module;
}

void SetModuleVariables(const char* prefix, HMODULE module) {
  std::string name = ModuleFileName(module), description, version;
  ReadVersionInfo(name, description, version);
  SetEnvironmentVariableA((std::string(prefix) + "Name").c_str(), name.c_str());
  SetEnvironmentVariableA((std::string(prefix) + "Desc").c_str(), description.c_str());
  SetEnvironmentVariableA((std::string(prefix) + "Ver").c_str(), version.c_str());
}

// The variables a handler or a program started by the report reads.
void SetReportVariables(const TReportJob& job) {
  SetModuleVariables("_MainModule", GetModuleHandleA(nullptr));
  SetModuleVariables("_ExceptModule", ModuleHolding(job.Exception.Address));
  SetEnvironmentVariableA("_ExceptMsg", job.Exception.Message.c_str());
  SetEnvironmentVariableA("_BugReport", job.ReportFile.c_str());
  SetEnvironmentVariableA("_LineBreak", "\r\n");
}

// The options of the module holding the address when it carries logger data, else
// the program's.
void CopyModuleOptions(const TReportJob& job) {
  TModuleRef module = ModuleOfAddress(reinterpret_cast<const void*>(job.Exception.Address));
  if (!module || !module->Options) module = FindModule(reinterpret_cast<uintptr_t>(GetModuleHandleA(nullptr)));
  std::lock_guard<std::mutex> lock(optionsLock);
  if (!reportOptions) reportOptions = std::make_unique<TQuelbaModuleOptions>();
  if (module && module->Options) reportOptions->Assign(module->Options.get());
}

// Runs an event's handlers on the waiting raising thread.
bool RunReportEvent(TReportEvent event, const TReportJob& job, bool flag) {
  CountReportSeamCall("RunEvent");
  if (auto run = ReportHandlerSeams().RunEvent) CallEventHandler([&] { run(event, job, flag); });
  return flag;
}

int DialogKindOf(int dialogType) {
  switch (dialogType) {
    case 0: return 0;
    case 1: return DialogKindOption();
    default: return dialogType - 1;
  }
}

bool RecordIsRawThread(const TThreadRecordView& r) { return r.ThreadObject == nullptr && r.OriginalFunction == nullptr; }

// Other listed threads: each is stopped while its stack is read and let go through
// the ResumeThread hook.
void CollectListedStacks(const TReportJob& job) {
  uint32_t flags = ReportFlags();
  if (job.Exception.MemoryLeak || !(flags & (ReportStacksOfClassThreads | ReportStacksOfRawThreads))) return;
  std::vector<uint32_t> ids;
  {
    TQuelbaThreadsList* list = ThreadRecords();
    if (!list) return;
    list->LockRead();
    for (int i = 0; i < list->Count(); ++i)
      if (TQuelbaThreadInfo* record = list->Get(i)) ids.push_back(record->ThreadId);
    list->UnlockRead();
  }
  auto collect = ReportHandlerSeams().CollectStack;
  for (uint32_t id : ids) {
    if (id == job.RaisingThreadId || id == GetCurrentThreadId()) continue;
    std::optional<TThreadRecordView> record = FindThreadRecord(id);
    if (!record) continue;
    bool raw = RecordIsRawThread(*record) && record->CreationFlags != 0x80000000u;
    if (!(flags & (raw ? ReportStacksOfRawThreads : ReportStacksOfClassThreads))) continue;
    HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT, FALSE, id);
    if (!thread) continue;
    if (SuspendThread(thread) != static_cast<DWORD>(-1)) {
      CONTEXT context{};
      context.ContextFlags = CONTEXT_CONTROL | CONTEXT_INTEGER;
      bool haveContext = GetThreadContext(thread, &context) != FALSE;
      CountReportSeamCall("CollectStack");
      if (collect) collect(id, haveContext ? &context : nullptr, record->StackTop);
      HookResumeThread(thread);
    }
    CloseHandle(thread);
  }
}

}  // namespace

TQuelbaModuleOptions& ReportOptions() {
  std::lock_guard<std::mutex> lock(optionsLock);
  if (!reportOptions) reportOptions = std::make_unique<TQuelbaModuleOptions>();
  return *reportOptions;
}

int MainHandlerCount() { return mainHandlerCount; }
int ReportCount() { return reportCount; }

uint8_t RunMainHandler(TReportJob& job) {
  ++mainHandlerCount;
  TReportHandlerSeams& seams = ReportHandlerSeams();
  // 1.
  SetReportStep(1);
  SetLastReported(job.Exception.Object, job.Exception.Address);
  SetReportStep(101);
  CopyModuleOptions(job);
  SetReportStep(104);
  if (IsDesignTimeHost(GetCurrentProcessId())) {
    ReportOptions().SetText(26, "The IDE has raised an exception.\r\n ");
    ReportOptions().SetText(27, "Restart the IDE");
  }
  // 2.
  SetReportVariables(job);
  // 3.
  job.DialogKind = DialogKindOption();
  TFilterMatch match;
  CountReportSeamCall("MatchFilter");
  bool matched = seams.MatchFilter && seams.MatchFilter(job, match);
  if (matched) {
    if (!match.Text.empty()) job.Exception.Message = match.Text;
    job.DialogKind = DialogKindOf(match.DialogType);
    if (match.HandlerKind != 2) return 1;
  }
  // 4.
  CountReportSeamCall("CollectStack");
  if (seams.CollectStack) seams.CollectStack(job.RaisingThreadId, job.Context, 0);
  CollectListedStacks(job);
  // 5.
  SetReportStep(702);
  CountReportSeamCall("BuildReport");
  std::string report = seams.BuildReport ? seams.BuildReport(job) : DefaultBuildReport(job);
  SetReportStep(705);
  CountReportSeamCall("ReportFileName");
  if (seams.ReportFileName) job.ReportFile = seams.ReportFileName(job);
  SetReportStep(706);
  SetReportVariables(job);
  // 6. and 9. A CGI program answers with the error page.
  bool webProgram = ConsoleProgram() && !EnvironmentVariable("REQUEST_METHOD").empty();
  if (webProgram) {
    CountReportSeamCall("WriteWebErrorPage");
    if (seams.WriteWebErrorPage) seams.WriteWebErrorPage(job, report);
  }
  // 7.
  bool handleIt = RunReportEvent(TReportEvent::ExceptionNotify, job, true);
  SetReportStep(8);
  if (!handleIt) return 1;
  // 8.
  CountReportSeamCall("TakeScreenshot");
  if (seams.TakeScreenshot) seams.TakeScreenshot(job);
  RunReportEvent(TReportEvent::CustomData, job, false);
  SetReportStep(9);
  ++reportCount;
  SetReportStep(10);
  job.StackId = CallStackId(job.Exception);
  // 9. and 10.
  SetReportStep(11);
  SetSendChosen(false);
  SetReportStep(12);
  RunReportEvent(TReportEvent::ActionNotify, job, false);
  SetReportStep(13);
  TDialogAnswer answer = TDialogAnswer::Close;
  if (!webProgram) {
    CountReportSeamCall("ShowDialog");
    answer = seams.ShowDialog ? seams.ShowDialog(job, report) : DefaultShowDialog(report);
  }
  // 11.
  SetReportStep(14);
  RunReportEvent(TReportEvent::AfterDialog, job, false);
  uint32_t flags = ReportFlags();
  if (SendChosen() && (flags & ReportAskReproduceSteps)) {
    CountReportSeamCall("AskReproduceSteps");
    if (seams.AskReproduceSteps) seams.AskReproduceSteps(job);
  }
  CountReportSeamCall("SaveTextLog");
  if (seams.SaveTextLog) seams.SaveTextLog(job, report);
  // 12.
  SetReportStep(15);
  if (flags & ReportSaveXmlLog) {
    CountReportSeamCall("SaveXmlLog");
    if (seams.SaveXmlLog) seams.SaveXmlLog(job, report);
  }
  if (flags & ReportCopyToClipboard) CopyTextToClipboard(report);
  // 13.
  SetReportStep(16);
  bool background = (flags & ReportSendInBackground) != 0;
  if (SendChosen()) {
    CountReportSeamCall("StartSending");
    if (seams.StartSending) seams.StartSending(job, report, !background);
  }
  // 14.
  if (matched && match.TerminationAction != 0 && RecordTerminationAction())
    ReportOptions().SetTerminateBoth(static_cast<uint8_t>(match.TerminationAction));
  // 15.
  SetReportStep(18);
  if (!job.HandledReport && !(background && SendChosen()) && answer != TDialogAnswer::Close)
    EndProcess(answer == TDialogAnswer::Restart);
  return 1;
}

}  // namespace exclog
