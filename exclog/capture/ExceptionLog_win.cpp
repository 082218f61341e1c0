#include "exclog/capture/ExceptionLog_win.h"
#include "exclog/capture/EReportLogs_win.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>

#include "classlib/Forms_win.h"
#include "classlib/System.h"
#include "exclog/core/ECoreUnit.h"
#include "exclog/core/ECoreUnit_win.h"
#include "exclog/core/ECore_win.h"
#include "exclog/capture/ECaptureState_win.h"
#include "exclog/capture/ECgiPage_win.h"
#include "exclog/capture/EDialogHandOver_win.h"
#include "exclog/capture/EDialogSeams_win.h"
#include "exclog/capture/EDispatch_win.h"
#include "exclog/capture/ELeakReport_win.h"
#include "exclog/capture/EEvents_win.h"
#include "exclog/capture/EFrameworkHandlers_win.h"
#include "exclog/capture/EFreezeWatch_win.h"
#include "exclog/core/EGuard.h"
#include "exclog/hooks/EHook.h"
#include "exclog/report/EInternalError_win.h"
#include "exclog/debuginfo/EModules_win.h"
#include "exclog/core/EProcess_win.h"
#include "exclog/capture/ERaiseRoutes_win.h"
#include "exclog/capture/EScreenshotSeams_win.h"
#include "exclog/capture/ESendingSeams_win.h"
#include "exclog/core/ESharedBlock_win.h"
#include "exclog/debuginfo/EStackWalk_win.h"
#include "exclog/report/EReportText_win.h"
#include "exclog/report/ESysInfo.h"
#include "exclog/capture/EThreadHooks_win.h"
#include "exclog/capture/EThrow_win.h"
#include "exclog/core/EUnitPatch.h"
#include "exclog/leaks/ELeakUnit_win.h"
#include "exclog/sending/EMailSenders_win.h"
#include "exclog/sending/EWebMethods_win.h"

namespace exclog {

namespace {

constexpr DWORD ExcludedWaitLimitMs = 5000;

// The program's own module: its "QLDATA" resource (or appended block) with a data
// version this build accepts.
bool OwnProgramCarriesLoggerData() { return HasCurrentModuleData(GetModuleHandleA(nullptr)); }

std::atomic<int> unitUseCount{0};
bool unitsRegistered = false;

constexpr size_t WorkingBufferSize = 102400;
std::vector<uint8_t> workingBuffer;
LPTOP_LEVEL_EXCEPTION_FILTER previousFilter = nullptr;
bool filterInstalled = false;

HANDLE mainThreadHandle = nullptr;
LPCSTR handCursor = IDC_ARROW;
SYSTEMTIME startTime{};
std::vector<std::string> hookedImports;
void* handleExceptionAddress = nullptr;
void* showExceptionAddress = nullptr;
int frameworkMethodsPatched = 0;

TUnitPatch unitPatch;
std::atomic<bool> lastStartSeen{false};
std::atomic<bool> firstStopSeen{false};

void ReportLineToStdError(const std::string& line) {
  std::string text = line + "\r\n";
  OutputDebugStringA(text.c_str());
  HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  if (error && error != INVALID_HANDLE_VALUE) {
    DWORD written = 0;
    DWORD savedError = GetLastError();
    KernelOriginals().WriteFile(error, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    SetLastError(savedError);
  }
}

void InternalErrorToReporter(const std::string& text) { ReportInternalError(text); }

// The unit-table replacements. The start one runs once, when the last unit starts.
void LastStartThroughLogger() {
  TUnitProc original = unitPatch.OriginalStart;
  RestoreUnitStart(InitContext.Table, unitPatch, &LastStartThroughLogger);
  lastStartSeen = true;
  if (original) original();
  SetUnitsStarting(false);
}

void FirstStopThroughLogger() {
  SetUnitsStopping(true);
  firstStopSeen = true;
  if (unitPatch.OriginalStop) unitPatch.OriginalStop();
}

void PatchUnitTable() {
  TUnitTable* table = UnitStartTable();
  // Starts up to and including the running one (ours) have already been called.
  unitPatch = PatchLastUnitRoutines(table, InitContext.InitCount + 1, &LastStartThroughLogger,
                                    &FirstStopThroughLogger);
  SetUnitsStarting(unitPatch.StartIndex >= 0);
}

void UnpatchUnitTable() {
  TUnitTable* table = InitContext.Table;
  RestoreUnitStart(table, unitPatch, &LastStartThroughLogger);
  RestoreUnitStop(table, unitPatch, &FirstStopThroughLogger);
  unitPatch = TUnitPatch{};
}

std::string ProgramFileName() {
  char name[MAX_PATH + 1] = {};
  DWORD length = GetModuleFileNameA(nullptr, name, MAX_PATH);
  return std::string(name, length);
}

void HookKernelImports() {
  hookedImports.clear();
  // The module holding the root class (this program) and two package modules
  // whose names are empty in this build.
  const std::vector<std::string> modules = {ProgramFileName(), "", ""};
  struct TEntry {
    const char* Name;
    void* Replacement;
  };
  // The stubs call on the system routine until the hook hands over the slot's value.
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  const TEntry entries[] = {
      {"RaiseException", RaiseHookEntry(reinterpret_cast<void*>(GetProcAddress(kernel, "RaiseException")))},
      {"RtlUnwind", UnwindHookEntry(reinterpret_cast<void*>(GetProcAddress(kernel, "RtlUnwind")))},
      {"WriteFile", reinterpret_cast<void*>(&HookWriteFile)},
      {"CreateThread", reinterpret_cast<void*>(&HookCreateThread)},
      {"ResumeThread", reinterpret_cast<void*>(&HookResumeThread)},
      {"ExitThread", reinterpret_cast<void*>(&HookExitThread)},
  };
  for (const TEntry& entry : entries) {
    void* original = nullptr;
    bool hooked = HookImportInModules(modules, "kernel32.dll", true, original, entry.Name, entry.Replacement);
    if (hooked && std::strcmp(entry.Name, "RaiseException") == 0) RaiseHookEntry(original);
    if (hooked && std::strcmp(entry.Name, "RtlUnwind") == 0) UnwindHookEntry(original);
    if (hooked) hookedImports.push_back(entry.Name);
  }
}

// Nothing of these exists in this program; the lookup is kept so a build that
// exports one of them gets it noticed.
int LookUpFrameworkMethods() {
  HMODULE program = GetModuleHandleA(nullptr);
  int found = 0;
  for (const std::string& name : FrameworkMethodNames())
    if (GetProcAddress(program, name.c_str())) ++found;
  return found;
}

// The exception frames of the raising thread's stack decide.
bool WillBeCaughtByFrames(const TLoggedException& e, int& result) {
  return IsHandledByApplication(e.Object, e.ClassName, e.Address, false, result);
}

void Installer() {
  // 1.
  handCursor = LoadCursorA(nullptr, IDC_HAND) ? IDC_HAND : IDC_ARROW;
  SetInternalErrorHandler(&InternalErrorToReporter);
  InstallStackWalkSeams();
  InstallStackWalkServices();
  InstallInternalErrorReporter();
  InstallMailSenders();
  InstallSharedBlockSeams();
  // 2. A single executable: never library mode; hooks are ours to install.
  SetLibraryMode(false);
  SetHooksInstalled(true);
  SetLoggerActive(true);
  SetUnitsStopping(false);
  SetLeakReportMode(false);
  SetDialogShowing(false);
  SetSameThreadReport(false);
  char folder[MAX_PATH + 1] = {};
  GetCurrentDirectoryA(MAX_PATH, folder);
  SetStartDirectory(folder);
  SetLoggerEnabled(true);
  ClearLastReportId();
  std::memset(ThreadBlock().Context, 0, sizeof ThreadBlock().Context);
  std::memset(ThreadBlock().Record, 0, sizeof ThreadBlock().Record);
  // 3.
  if (!IsDesignTimeHost(GetCurrentProcessId())) PatchUnitTable();
  if (!ProgramCarriesLoggerData(&OwnProgramCarriesLoggerData)) {
    SetLoggerActive(false);
    return;
  }
  // 4. and 5.
  GetLocalTime(&startTime);
  // Options objects learn their module handles; the program's own options come
  // from its logger data with its entry in the modules list.
  InstallModuleSeams();
  // The options of the module the logger runs in announce their changes.
  OptionsSeams().LoggerActive = [](TModuleHandle module) {
    return LoggerActive() && module == OptionsSeams().CurrentModule();
  };
  InstallEventHandlers();
  InstallScreenshotSeams();
  InstallSendingSeams();
  InstallReportLogSeams();
  InstallWebMethods([](int i) {  // the web senders' status lines, in the options' words
    TQuelbaModuleOptions* o = nullptr;
    try { o = CurrentQuelbaLogOptions(); } catch (...) {}
    return o ? o->Text(i) : std::string(DefaultText(i));
  });
  FindModule(reinterpret_cast<uintptr_t>(GetModuleHandleA(nullptr)));
  workingBuffer.assign(WorkingBufferSize, 0);
  {
    TDateTime date = 0, time = 0;
    TryEncodeDate(startTime.wYear, startTime.wMonth, startTime.wDay, date);
    TryEncodeTime(startTime.wHour, startTime.wMinute, startTime.wSecond, startTime.wMilliseconds, time);
    SetLoggerStartTime(date + time);
  }
  DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &mainThreadHandle, 0,
                  FALSE, DUPLICATE_SAME_ACCESS);
  StartThreadRecords();
  ClearExcludedThreads();
  SetWillBeCaughtTest(&WillBeCaughtByFrames);
  FrameTestSeams().RaiseAddress = [] { return ThreadBlock().ExceptionAddress; };
  SetExceptionManager(&ManagerDispatch);
  SetReportDispatch(&FilterDispatch);
  InstallEventCallRouting();
  SetReportMainThreadId(GetCurrentThreadId());
  ReportHandlerSeams().WriteWebErrorPage = &WriteCgiErrorPage;
  InstallDialogSeams();
  InstallDialogHandOver();
  ReportHandlerSeams().BuildReport = [](const TReportJob& job) {
    return BuildProcessReport(job, ReportOptions(), !ConsoleProgram());
  };
  // 6.
  if (HooksInstalled()) {
    InstallVectoredRecorder();
    InstallTerminateRoute();
    SetThrowRecording(true);
    SetRaiseStackSource(&RecordedThrowStack);
    try {
      SetHandledReportOptions(CurrentQuelbaLogOptions());
    } catch (...) {
      // No options of the program: no handled reports.
    }
    TApplicationHandlerAddresses handlers = ApplicationHandlerAddresses();
    handleExceptionAddress = handlers.HandleException;
    showExceptionAddress = handlers.ShowException;
    frameworkMethodsPatched = PatchApplicationHandlers(handleExceptionAddress, showExceptionAddress);
    FrameTestSeams().FrameworkHandlerActive = [] { return InsideHandleException() != 0; };
    LookUpFrameworkMethods();
    HookKernelImports();
  }
  // 7.
  if (!IsDesignTimeHost(GetCurrentProcessId())) {
    SetFreezeMainThread(mainThreadHandle, GetCurrentThreadId());
    OptionsSeams().StartFreezeWatch = &StartFreezeWatch;
    OptionsSeams().StopFreezeWatch = &StopFreezeWatch;
    StartFreezeWatch();
    // Nobody may sit at a console program's screen: the library writes its errors out.
    if (ConsoleProgram() && EnvironmentVariable("REQUEST_METHOD").empty()) SetNoErrorMessageBox(true);
  }
  // 10. The collector stops after every other unit and the core after it.
  if (LeakCatchingActive()) {
    InstallLeakReportSeam();
    int last[] = {FindUnit("ECore"), FindUnit("ELeaks")};
    MoveStopsFirst(InitContext.Table, last, 2, &unitPatch);
  }
}

}  // namespace

size_t WorkingBufferBytes() { return workingBuffer.size(); }

HANDLE MainThreadHandle() { return mainThreadHandle; }

bool IsLoggerUnitFile(const std::string& fileName) {
  // The logger's own source files, sorted: its routines are told apart by them.
  static const char* const files[] = {
      "ECaptureState_win.cpp", "ECgiPage_win.cpp",
      "EConsts.cpp",       "ECore.cpp",          "ECoreUnit.cpp",     "ECoreUnit_win.cpp", "ECore_win.cpp",
      "EDebug.cpp",        "EDebugWriter.cpp",   "EDispatch.cpp",     "EDispatch_win.cpp", "EEncrypt.cpp",
      "EEventCall.cpp",    "EFrameworkHandlers_win.cpp", "EFreezeWatch.cpp",   "EFreezeWatch_win.cpp", "EGuard.cpp",         "EHook.cpp",         "EHookImports.cpp",  "EHookLength.cpp",
      "EHookPatch.cpp",    "EHook_win.cpp",      "ELeakProcess.cpp",  "ELeakReport_win.cpp",  "ELeakSet.cpp",      "ELeakStacks.cpp",
      "ELeakStart.cpp",    "ELeaks.cpp",         "ELeakUnit_win.cpp",    "ELists.cpp",        "EMainHandler_win.cpp", "EMemoryView.cpp",
      "EModules.cpp",      "EModules_win.cpp",   "EOptions.cpp",      "EOptionsStream.cpp", "EProcess_win.cpp",
      "ERaiseRoutes_win.cpp", "EStackWalk.cpp",  "EThreadHooks_win.cpp", "EThrow_win.cpp", "EUnitPatch.cpp",
      "ExceptionLog.cpp",  "ExceptionLog_win.cpp"};
  size_t slash = fileName.find_last_of("/\\");
  std::string base = slash == std::string::npos ? fileName : fileName.substr(slash + 1);
  for (const char* file : files)
    if (_stricmp(file, base.c_str()) == 0) return true;
  return false;
}

namespace {

void Finaliser() {
  if (!LoggerActive()) {
    UnpatchUnitTable();
    return;
  }
  // 1. A report in progress finishes first; one whose thread ended inside it never will.
  if (!WaitForDispatchLock()) ReportInternalError("ExceptionLog.Done: a report's thread ended inside the report.");
  // 2. The watchdog stops the main thread through this handle: it ends first.
  OptionsSeams().StartFreezeWatch = nullptr;
  OptionsSeams().StopFreezeWatch = nullptr;
  StopFreezeWatch();
  SetFreezeMainThread(nullptr, 0);
  if (mainThreadHandle) CloseHandle(mainThreadHandle);
  mainThreadHandle = nullptr;
  // 3.
  if (HooksInstalled()) {
    SetHandledReportOptions(nullptr);
    SetThrowRecording(false);
    RemoveTerminateRoute();
    RemoveVectoredRecorder();
  }
  // 4. Bounded: a thread excluded by a report that never ends must not hang the exit.
  if (LoggerEnabled()) {
    DWORD started = GetTickCount();
    while (CurrentThreadExcluded() && GetTickCount() - started < ExcludedWaitLimitMs) Sleep(10);
    SetLoggerEnabled(false);
  }
  // 5. Inactive before the lists go, so a late hook call passes straight through.
  SetLoggerActive(false);
  StopThreadRecords();
  std::vector<uint8_t>().swap(workingBuffer);
  ClearExcludedThreads();
  UnpatchUnitTable();
  // 6.
  SaveLeakTimeOptions();
  // 7.
  ClearLastReportId();
}

void StartCore() { StartCoreUnit(); }
void StopCore() { StopCoreUnit(); }

}  // namespace

void RegisterExceptionLogUnits() {
  if (unitsRegistered) return;
  InstallCoreHostSource();
  RegisterUnit("ECore", &StartCore, &StopCore);
  RegisterUnit("ELeaks", &LeakUnitStart, &LeakUnitStop);
  RegisterUnit("EHook", &HookUnitInit, &HookUnitDone);
  RegisterUnit("ExceptionLog", &ExceptionLogInit, &ExceptionLogDone);
  unitsRegistered = true;
}

void ExceptionLogInit() {
  if (unitUseCount++ != 0) return;
  TLeakOwnAllocations own;  // the logger's state is its own, not the program's leak
  SetReportLineSink(&ReportLineToStdError);
  RunGuarded(&Installer, "ExceptionLog.Init");
  SetAddressSpaceReserveWanted(true);
  RestoreAddressSpaceReserve();
  previousFilter = SetUnhandledExceptionFilter(&LoggerUnhandledFilter);
  filterInstalled = true;
}

void ExceptionLogDone() {
  if (unitUseCount <= 0 || --unitUseCount != 0) return;
  TLeakOwnAllocations own;
  RunGuarded(&Finaliser, "ExceptionLog.Done");
  if (filterInstalled) SetUnhandledExceptionFilter(previousFilter);
  filterInstalled = false;
  previousFilter = nullptr;
  SetAddressSpaceReserveWanted(false);
  ReleaseAddressSpaceReserve();
}

bool ExceptionLogStarted() { return unitUseCount > 0; }

std::vector<std::string> HookedImports() { return hookedImports; }

bool LastUnitStartSeen() { return lastStartSeen; }
bool FirstUnitStopSeen() { return firstStopSeen; }

void* ApplicationHandleExceptionAddress() { return handleExceptionAddress; }
void* ApplicationShowExceptionAddress() { return showExceptionAddress; }

int FrameworkMethodsPatched() { return frameworkMethodsPatched; }

namespace {

// Where the filter's exception was raised: the context the filter recorded in the
// thread's block (a route on a fresh thread is handed a copy of the block).
TStackValues FilterStackValues(const TLoggedException& e) {
  const TLoggerThreadBlock& block = ThreadBlock();
  TStackValues values;
  uint32_t code = 0, flags = 0;
  std::memcpy(&code, block.Record, sizeof code);
  std::memcpy(&flags, block.Context, sizeof flags);
  if (!flags || code != e.Code) return values;
  CONTEXT context{};
  std::memcpy(&context, block.Context, sizeof block.Context);
  values.Eip = context.Eip;
  values.Esp = context.Esp;
  values.Ebp = context.Ebp;
  values.StackTop = StackTopOfThread(e.ThreadId);
  return values;
}

void FilterRoute(const TLoggedException& e) {
  std::lock_guard<std::recursive_mutex> lock(DispatchLock());
  if (TakeReportId(CallStackId(e, FilterStackValues(e)))) DispatchReport(e);
}

}  // namespace

LONG WINAPI LoggerUnhandledFilter(EXCEPTION_POINTERS* pointers) {
  if (!LoggerEnabled() || !LoggerActive() || !pointers || !pointers->ExceptionRecord)
    return previousFilter ? previousFilter(pointers) : EXCEPTION_CONTINUE_SEARCH;
  const EXCEPTION_RECORD& record = *pointers->ExceptionRecord;
  SetSameThreadReport(true);
  // Handlers that ran since the first-chance record may have left another one.
  RecordSystemException(record, pointers->ContextRecord);
  ReportSystemException(record, 1, &FilterRoute);
  TerminateProcess(GetCurrentProcess(), record.ExceptionCode);
  return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace exclog
