// The main handler: the report's steps in order, each later unit reached through
// TReportHandlerSeams. The step word tells the internal-error reporter how far a
// failing report got.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "classlib/SysUtils.h"
#include "classlib/System.h"
#include "exclog/capture/EDecisions.h"
#include "exclog/core/EObjects.h"
#include "exclog/capture/ERaiseRoutes_win.h"
#include "exclog/capture/EReportChoices.h"
#include "exclog/capture/EReportEvents_win.h"
#include "exclog/debuginfo/EStackWalk.h"
#include "exclog/report/EReportSteps.h"
#include "exclog/report/EReportText.h"
#include "exclog/report/ESysInfo_win.h"
#include "exclog/capture/EDialogHandOver_win.h"
#include "exclog/capture/EDispatch_win.h"
#include "exclog/capture/ELeakReport_win.h"
#include "exclog/capture/EEventCall.h"
#include "exclog/capture/EEvents.h"
#include "exclog/dialogs/EDialogKit_win.h"
#include "exclog/dialogs/EReportContext.h"
#include "exclog/capture/EThreadHooks_win.h"
#include "exclog/capture/ExceptionLog_win.h"
#include "exclog/core/ECore_win.h"
#include "exclog/core/EProcess_win.h"
#include "exclog/debuginfo/ELists.h"
#include "exclog/debuginfo/EModules_win.h"

namespace exclog {

namespace {

// The report field "Custom Data|All".
constexpr int ReportFieldCustomData = 47;

std::atomic<int> mainHandlerCount{0};
std::atomic<int> reportCount{0};
std::mutex optionsLock;
std::unique_ptr<TQuelbaModuleOptions> reportOptions;

std::string DefaultBuildReport(const TReportJob& job) { return DescribeException("Report", job.Exception); }

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

// Runs an event's handlers on the waiting raising thread; the dialog then shows
// what they changed.
bool RunReportEvent(TReportEvent event, const TReportJob& job, bool flag) {
  CountReportSeamCall("RunEvent");
  auto run = ReportHandlerSeams().RunEvent ? ReportHandlerSeams().RunEvent : &RaiseReportEvent;
  CallEventHandler([&] { run(event, job, flag); });
  if (auto refresh = EventEntrySeams().RefreshDialogState) refresh();
  return flag;
}

int DialogKindOf(int dialogType) {
  switch (dialogType) {
    case 0: return 0;
    case 1: return DialogKindOption();
    default: return dialogType - 1;
  }
}

// A system exception carries no object: the report reads its type and message
// from one of its class made for the report (null for other exceptions).
std::unique_ptr<Exception> SystemExceptionObject(const TReportJob& job) {
  const TLoggedException& e = job.Exception;
  if (!job.Record || !e.Code || e.Code == NativeExceptionCode) return nullptr;
  TExceptionRecord32 record;
  std::memcpy(&record, job.Record, sizeof record);
  return NewSystemException(e.Message, record);
}

// The process-wide type and message of the exception under report.
void SetExceptionTexts(const TReportJob& job, const void* subject) {
  SetOverrideMessage("");
  SetExceptionOwnMessage(job.Exception.Message);
  if (subject) {
    ExceptionTypeValue(subject);
    ExceptionMessageValue(subject);
    return;
  }
  const TLoggedException& e = job.Exception;
  SetLastExceptionType(e.ClassName.empty() ? "Unknown exception type" : e.ClassName);
  SetLastExceptionMessage(WithFinalDot(e.Message.empty() ? "Unknown error message" : e.Message));
}

bool ObjectInherits(const void* object, const std::string& className) { return SafeInheritsFromName(object, className); }
// Objects of no class of ours are known by their type name alone.
bool NameEquals(const void* name, const std::string& className) {
  return SameText(*static_cast<const std::string*>(name), className);
}

// The first enabled filter of the report's options that matches. Its Mode1 asks
// for caught exceptions (1) or uncaught ones (2); Mode2 is the handler kind, Mode3
// the termination action and Mode4 the dialog type, each out of range meaning its
// default; its message text replaces the exception's.
bool MatchOptionsFilter(const TReportJob& job, const void* subject, TFilterMatch& match) {
  std::vector<TQuelbaExceptionFilter> filters = ReportOptions().Filters().Records();
  TFilterSubject s;
  if (subject) {
    s.Object = subject;
    s.InheritsFrom = &ObjectInherits;
    if (SafeInheritsFromName(subject, "TActiveXException")) {
      s.ActiveX = true;
      s.ActiveXNames = static_cast<const TActiveXException*>(static_cast<const TObject*>(subject))->ClassNames();
    }
  } else {
    s.Object = &job.Exception.ClassName;
    s.InheritsFrom = &NameEquals;
  }
  int index = FindFilter(filters, s, job.HandledReport);
  if (index < 0) return false;
  const TQuelbaExceptionFilter& f = filters[static_cast<size_t>(index)];
  match.HandlerKind = f.Mode2 < 2 ? f.Mode2 : 2;
  match.TerminationAction = f.Mode3 <= 2 ? f.Mode3 : 0;
  match.DialogType = f.Mode4 <= 4 ? f.Mode4 : 1;
  match.Text = f.MessageText;
  return true;
}

// Where the raising thread's stack is read: its recorded registers, else the
// exception's address and the frame word handed over.
TThreadStackStart RaisingThreadStart(const TReportJob& job) {
  TThreadStackStart start;
  start.ThreadId = job.RaisingThreadId;
  start.StackTop = job.StackTop;
  start.Raising = true;
  if (job.Context) {
    CONTEXT context{};
    std::memcpy(&context, job.Context, 204);
    start.InstructionPointer = context.Eip;
    start.StackPointer = context.Esp;
    start.FramePointer = context.Ebp;
    start.StackCopy = job.StackCopy;
    start.StackCopySize = job.StackCopySize;
  } else {
    // A throw's address is the return address of its call, which may already lie
    // in the next line's code (a destructor's): the byte before is the throw's.
    uintptr_t address = job.Exception.Address;
    start.InstructionPointer = address && job.Exception.Code == 0 ? address - 1 : address;
    start.StackPointer = start.FramePointer = job.FrameWord;
  }
  return start;
}

// The raising thread's registers for the call-stack identifier. Without a recorded
// context its frame chain is taken from where it handed the report over (the
// same on a report thread as on its own); with neither, this thread's own path
// on the raising thread, else a scan of the raising stack from the frame word.
TStackValues RaisingStackValues(const TReportJob& job) {
  TStackValues values;
  TThreadStackStart start = RaisingThreadStart(job);
  values.Eip = static_cast<uint32_t>(start.InstructionPointer);
  values.StackTop = static_cast<uint32_t>(start.StackTop);
  if (job.Context) {
    values.Esp = static_cast<uint32_t>(start.StackPointer);
    values.Ebp = static_cast<uint32_t>(start.FramePointer);
    values.StackCopy = start.StackCopy;
    values.StackCopySize = start.StackCopySize;
  } else if (job.HandOverFrame) {
    values.Esp = values.Ebp = static_cast<uint32_t>(job.HandOverFrame);
  } else if (job.OnReportThread) {
    values.Esp = static_cast<uint32_t>(job.FrameWord);
  } else {
    values = TStackValues{};
  }
  return values;
}

TReportChoiceInput ChoiceInput(const TReportJob& job, bool webProgram) {
  TQuelbaModuleOptions& options = ReportOptions();
  TReportChoiceInput in;
  in.ConfiguredDialogKind = static_cast<uint8_t>(job.DialogKind);
  in.Program = webProgram ? TProgramKind::Cgi : ConsoleProgram() ? TProgramKind::Console : TProgramKind::Windowed;
  in.Send.MailMode = options.MailMode();
  in.Send.WebSendMode = options.WebSendMode();
  in.Send.AskBeforeSending = options.AskBeforeSending();
  in.Send.ProcessFlags = options.ProcessFlags();
  in.Send.Duplicate = job.Duplicate;
  in.TerminateAction = options.TerminateAction();
  return in;
}

bool RecordIsRawThread(const TThreadRecordView& r) { return r.ThreadObject == nullptr && r.OriginalFunction == nullptr; }

// Other listed threads: each is stopped while its registers and the stack the walk
// reads are copied, and let go through the ResumeThread hook; its stack is walked
// from the copy after. A stopped thread may hold the heap's lock: nothing is
// allocated while one is stopped, and the hook, told the resume is the report's,
// records nothing (the thread was running, and its record keeps who started it).
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
  std::vector<uint8_t> stack(StackScanLimit);
  for (uint32_t id : ids) {
    if (id == job.RaisingThreadId || id == GetCurrentThreadId()) continue;
    std::optional<TThreadRecordView> record = FindThreadRecord(id);
    if (!record) continue;
    bool raw = RecordIsRawThread(*record) && record->CreationFlags != 0x80000000u;
    if (!(flags & (raw ? ReportStacksOfRawThreads : ReportStacksOfClassThreads))) continue;
    // Its priority through the same handle: the report's thread line needs it.
    constexpr DWORD kWalkRights = THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT;
    HANDLE thread = OpenThread(kWalkRights | THREAD_QUERY_INFORMATION, FALSE, id);
    if (!thread) thread = OpenThread(kWalkRights, FALSE, id);
    if (!thread) continue;
    if (SuspendThread(thread) != static_cast<DWORD>(-1)) {
      CONTEXT context{};
      context.ContextFlags = CONTEXT_CONTROL | CONTEXT_INTEGER;
      const bool haveContext = GetThreadContext(thread, &context) != FALSE;
      CountReportSeamCall("CollectStack");
      TThreadStackStart start{id, context.Esp, context.Eip, context.Ebp, record->StackTop};
      bool copied = false;  // without a copy there is no stack of that moment to walk
      if (collect) {
        collect(id, haveContext ? &context : nullptr, record->StackTop);
      } else if (haveContext) {
        const int priority = GetThreadPriority(thread);
        if (priority != THREAD_PRIORITY_ERROR_RETURN) start.Priority = priority;
        const uintptr_t used = record->StackTop > context.Esp ? record->StackTop - context.Esp : 0;
        const void* from = reinterpret_cast<const void*>(static_cast<uintptr_t>(context.Esp));
        const size_t size = ReadableBytes(from, std::min<uintptr_t>(used, stack.size()));
        copied = size > 0 && SafeCopy(stack.data(), from, size);
        start.StackCopy = stack.data();
        start.StackCopySize = static_cast<uint32_t>(size);
      }
      ResumeThreadGuarded(thread);
      if (copied) AddThreadStack(*job.Stacks, start);
    }
    CloseHandle(thread);
  }
}

// Adds a section to the report pieces and, when the handler's text is theirs (a
// stand-in builder keeps its own), to that text too.
template <class F>
void AddToReport(std::string& report, const F& add) {
  bool same = ReportPieces().LastReport == report;
  add();
  if (same) report = ReportPieces().LastReport;
}

// The custom data that the event's handlers listed, one field per "name=value",
// when the report's fields include it.
void AddCustomInformation(std::string& report) {
  const TStrings& data = EventState().CustomData;
  if (data.Count() == 0 || !ReportOptions().ReportField(ReportFieldCustomData)) return;
  std::vector<std::string> lines;
  for (int i = 0; i < data.Count(); ++i) lines.push_back(data.Get(i));
  AddToReport(report, [&] { AddReportFields(ReportOptions().Text(91), lines); });
}

// The user's description of how to reproduce the error, when the options log it:
// an empty answer too, so the report says none was given.
void AddRequestSection(std::string& report) {
  TQuelbaModuleOptions& options = ReportOptions();
  if (!(options.LogFlags() & 0x2)) return;
  AddToReport(report, [&] { AddReportSection(options.Text(123), options.ReproduceText()); });
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
  SetExceptionTime(LocalNow());
  std::unique_ptr<Exception> standIn = SystemExceptionObject(job);
  const void* subject = IsValidObject(job.Exception.Object) ? job.Exception.Object : standIn.get();
  SetExceptionTexts(job, subject);
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
  bool matched = false;
  // An exception raised inside a handler is reported whatever the filters say.
  if (job.CheckResult != 2) {
    CountReportSeamCall("MatchFilter");
    matched = seams.MatchFilter ? seams.MatchFilter(job, match) : MatchOptionsFilter(job, subject, match);
  }
  if (matched) {
    if (!match.Text.empty()) {
      SetOverrideMessage(match.Text);
      job.Exception.Message = match.Text;
      SetLastExceptionMessage(WithFinalDot(match.Text));
    }
    job.DialogKind = DialogKindOf(match.DialogType);
    if (match.HandlerKind != 2) return 1;
  }
  // 4.
  CountReportSeamCall("CollectStack");
  job.Stacks = std::make_shared<TQuelbaStackList>();
  // A leak report shows the leaks' allocation stacks instead of a thread's.
  if (std::shared_ptr<TQuelbaStackList> leaks = job.Exception.MemoryLeak ? LeakReportStacks() : nullptr)
    job.Stacks = leaks;
  else if (seams.CollectStack)
    seams.CollectStack(job.RaisingThreadId, job.Context, job.StackTop);
  else
    AddThreadStack(*job.Stacks, RaisingThreadStart(job));
  CollectListedStacks(job);
  // The identification the report prints: taken before the report is built, from
  // where the exception was raised (this handler's own path tells nothing of it).
  job.StackId = CallStackId(job.Exception, RaisingStackValues(job));
  // 5.
  SetReportStep(702);
  CountReportSeamCall("BuildReport");
  std::string report = seams.BuildReport ? seams.BuildReport(job) : DefaultBuildReport(job);
  TReportRecordScope current(job, report);  // the record the event handlers see
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
  AddCustomInformation(report);
  SetReportStep(9);
  ++reportCount;
  SetReportStep(10);
  CountReportSeamCall("CheckDuplicate");
  job.Duplicate = seams.CheckDuplicate && seams.CheckDuplicate(job, true);
  // 9. and 10. The matching filter's termination action (recorded once a process)
  // goes into the report's options before the end is settled from them, so it
  // decides what the dialog's terminate-or-restart does.
  SetReportStep(11);
  if (matched && match.TerminationAction != 0 && RecordTerminationAction())
    ReportOptions().SetTerminateBoth(static_cast<uint8_t>(match.TerminationAction));
  TReportChoiceInput choiceInput = ChoiceInput(job, webProgram);
  TReportChoices choices = SettleReportChoices(choiceInput);
  job.DialogKind = choices.DialogKind;
  job.AskToSend = choices.AskToSend;
  job.RestartChoice = choices.RestartChoice;
  SetSendChosen(choices.SendChosen);
  SetReportStep(12);
  RunReportEvent(TReportEvent::ActionNotify, job, false);
  SetReportStep(13);
  TDialogAnswer answer = TDialogAnswer::Close;
  if (!webProgram && job.DialogKind != 2) {
    RECT workArea;
    GetForegroundWorkArea(workArea);
    SetReportStacks(job.Stacks);  // the Call Stack page's rows
    CountReportSeamCall("ShowDialog");
    // The classic dialog writes the user's address into the report's e-mail line:
    // the report logged, copied and sent follows it, or it would keep the old line
    // and lose every section added after the dialog.
    AddToReport(report, [&] {
      answer = seams.ShowDialog ? seams.ShowDialog(job, report) : ShowReportOnConsole(job, report);
    });
  }
  bool send = SendAfterDialog(choiceInput, SendChosen());
  // 11.
  SetReportStep(14);
  RunReportEvent(TReportEvent::AfterDialog, job, false);
  uint32_t flags = ReportFlags();
  // The request itself asks whether it is wanted (the user sends or the log keeps it).
  if ((flags & ReportAskReproduceSteps) || (ReportOptions().LogFlags() & 0x2)) {
    CountReportSeamCall("AskReproduceSteps");
    if (seams.AskReproduceSteps) seams.AskReproduceSteps(job);
    AddRequestSection(report);
  }
  CountReportSeamCall("SaveTextLog");
  // The log step may make the report's copy the whole log (ProcessFlags bit 2):
  // the clipboard and the sending then carry the log.
  bool piecesTrackReport = ReportPieces().LastReport == report;
  if (seams.SaveTextLog) seams.SaveTextLog(job, report);
  if (piecesTrackReport && (ReportOptions().ProcessFlags() & 0x4)) report = ReportPieces().ReportCopy;
  CountReportSeamCall("SaveScreenshot");
  if (seams.SaveScreenshot) seams.SaveScreenshot(job);
  // 12.
  SetReportStep(15);
  if ((flags & ReportSaveXmlLog) || (ReportOptions().ProcessFlags() & 0x8)) {
    CountReportSeamCall("SaveXmlLog");
    if (seams.SaveXmlLog) seams.SaveXmlLog(job, report);
  }
  if ((flags & ReportCopyToClipboard) || DialogOutcome().CopyChosen) CopyTextToClipboard(report);
  // 13.
  SetReportStep(16);
  // The process ends right after a leak report: its sending cannot wait for a
  // thread of its own.
  bool background = (flags & ReportSendInBackground) != 0 && !LeakReportMode();
  // A leak report is a handled one, yet its terminate-or-restart answer counts.
  if ((!job.HandledReport || job.Exception.MemoryLeak) && answer != TDialogAnswer::Close)
    job.EndAfterReport = answer == TDialogAnswer::Restart ? 2 : 1;
  bool handedOver = false;
  if (send) {
    CountReportSeamCall("StartSending");
    if (seams.StartSending) handedOver = seams.StartSending(job, report, !background);
  }
  // 15.
  SetReportStep(18);
  if (job.EndAfterReport && !(background && send) && !handedOver) EndProcess(job.EndAfterReport == 2);
  // Reported: the framework that asked must not show the exception a second time.
  return 0;
}

}  // namespace exclog
