#include "exclog/core/ExceptionLog.h"

#include "classlib/SysUtils.h"

#include <atomic>
#include <deque>
#include <cstdio>
#include <map>
#include <mutex>

namespace exclog {

namespace {

std::atomic<bool> loggerActive{false};
std::atomic<bool> loggerEnabled{true};
std::atomic<bool> hooksInstalled{false};
std::atomic<bool> libraryMode{false};
std::atomic<bool> sameThreadReport{false};
std::atomic<bool> unitsStarting{false};
std::atomic<bool> unitsStopping{false};
std::atomic<bool> leakReportMode{false};

std::atomic<TReportLineSink> reportLineSink{nullptr};
std::atomic<TExceptionManagerProc> exceptionManager{nullptr};
std::atomic<TReportDispatchProc> reportDispatch{nullptr};
std::atomic<TCallStackIdProc> callStackIdSource{nullptr};
std::atomic<TCarriesLoggerDataProc> carriesLoggerData{nullptr};
std::atomic<int> exceptionManagerCalls{0};
std::atomic<int> reportDispatchCalls{0};
std::atomic<uint32_t> lastReportId{0};
std::atomic<bool> haveLastReportId{false};

std::atomic<int> reportStep{0};
std::atomic<const void*> lastObject{nullptr};
std::atomic<uintptr_t> lastAddress{0};
std::mutex lastReportedLock;
const void* lastReportedObject = nullptr;
uintptr_t lastReportedAddress = 0;
bool haveLastReported = false;
std::atomic<bool> dialogShowing{false};
std::atomic<uint32_t> displayFlags{0};
std::mutex seamCallsLock;
std::map<std::string, int> seamCalls;
std::atomic<uint32_t> reportFlags{0};
std::atomic<int> dialogKindOption{0};
std::atomic<bool> sendChosen{false};
std::atomic<bool> terminationRecorded{false};

std::mutex internalErrorsLock;
std::deque<std::string> internalErrors;

std::string Hex8(uintptr_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "%08lX", static_cast<unsigned long>(value));
  return text;
}

bool DefaultExceptionManager(const TLoggedException& e) {
  WriteReportLine(DescribeException("ExceptionManager", e));
  return true;
}

void DefaultReportDispatch(const TLoggedException& e) { WriteReportLine(DescribeException("Report", e)); }

// FNV-1a: cheap and good enough to tell two different crashes apart.
uint32_t DefaultCallStackId(const TLoggedException& e) {
  uint32_t hash = 2166136261u;
  auto mix = [&hash](uint8_t byte) { hash = (hash ^ byte) * 16777619u; };
  for (char c : e.ClassName) mix(static_cast<uint8_t>(c));
  for (int i = 0; i < 4; ++i) mix(static_cast<uint8_t>(e.Code >> (8 * i)));
  for (int i = 0; i < 4; ++i) mix(static_cast<uint8_t>(static_cast<uint32_t>(e.Address) >> (8 * i)));
  return hash;
}

}  // namespace

bool LoggerActive() { return loggerActive; }
void SetLoggerActive(bool value) { loggerActive = value; }
bool LoggerEnabled() { return loggerEnabled; }
void SetLoggerEnabled(bool value) { loggerEnabled = value; }
bool HooksInstalled() { return hooksInstalled; }
void SetHooksInstalled(bool value) { hooksInstalled = value; }
bool LibraryMode() { return libraryMode; }
void SetLibraryMode(bool value) { libraryMode = value; }
bool SameThreadReport() { return sameThreadReport; }
void SetSameThreadReport(bool value) { sameThreadReport = value; }
bool UnitsStarting() { return unitsStarting; }
void SetUnitsStarting(bool value) { unitsStarting = value; }
bool UnitsStopping() { return unitsStopping; }
void SetUnitsStopping(bool value) { unitsStopping = value; }
bool LeakReportMode() { return leakReportMode; }
void SetLeakReportMode(bool value) { leakReportMode = value; }

TReportLineSink SetReportLineSink(TReportLineSink sink) { return reportLineSink.exchange(sink); }

void WriteReportLine(const std::string& line) {
  if (TReportLineSink sink = reportLineSink.load()) sink(line);
}

std::string DescribeException(const std::string& prefix, const TLoggedException& e) {
  return prefix + ": " + e.ClassName + " at " + Hex8(e.Address) + " (code " + Hex8(e.Code) +
         ") in thread " + std::to_string(e.ThreadId) + ": " + e.Message;
}

TExceptionManagerProc SetExceptionManager(TExceptionManagerProc proc) { return exceptionManager.exchange(proc); }

namespace {
thread_local uintptr_t programEntryFrame = 0;
}  // namespace

uintptr_t ProgramEntryFrame() { return programEntryFrame; }

TProgramEntry::TProgramEntry(uintptr_t frame) : outermost_(programEntryFrame == 0) {
  if (outermost_) programEntryFrame = frame;
}

TProgramEntry::~TProgramEntry() {
  if (outermost_) programEntryFrame = 0;
}

bool ExceptionManager(const TLoggedException& e) {
  TProgramEntry entry(reinterpret_cast<uintptr_t>(__builtin_frame_address(0)));
  ++exceptionManagerCalls;
  TExceptionManagerProc proc = exceptionManager.load();
  return proc ? proc(e) : DefaultExceptionManager(e);
}

int ExceptionManagerCalls() { return exceptionManagerCalls; }

TReportDispatchProc SetReportDispatch(TReportDispatchProc proc) { return reportDispatch.exchange(proc); }

void DispatchReport(const TLoggedException& e) {
  ++reportDispatchCalls;
  TReportDispatchProc proc = reportDispatch.load();
  if (proc) {
    proc(e);
  } else {
    DefaultReportDispatch(e);
  }
}

int ReportDispatchCalls() { return reportDispatchCalls; }

TCallStackIdProc SetCallStackIdSource(TCallStackIdProc proc) { return callStackIdSource.exchange(proc); }

uint32_t CallStackId(const TLoggedException& e, const TStackValues& stack) {
  TCallStackIdProc proc = callStackIdSource.load();
  return proc ? proc(e, stack) : DefaultCallStackId(e);
}

bool TakeReportId(uint32_t id) {
  if (haveLastReportId && lastReportId == id) return false;
  lastReportId = id;
  haveLastReportId = true;
  return true;
}

void ClearLastReportId() { haveLastReportId = false; }

namespace {
std::atomic<TInternalErrorReporter> internalErrorReporter{nullptr};
}

TInternalErrorReporter SetInternalErrorReporter(TInternalErrorReporter reporter) {
  return internalErrorReporter.exchange(reporter);
}

void ReportInternalError(const std::string& text) {
  {
    std::lock_guard<std::mutex> lock(internalErrorsLock);
    if (internalErrors.size() >= InternalErrorTextsKept) internalErrors.pop_front();
    internalErrors.push_back(text);
  }
  WriteReportLine("InternalError: " + text);
  if (TInternalErrorReporter reporter = internalErrorReporter.load()) reporter(text);
}

std::vector<std::string> InternalErrorTexts() {
  std::lock_guard<std::mutex> lock(internalErrorsLock);
  return std::vector<std::string>(internalErrors.begin(), internalErrors.end());
}

TCarriesLoggerDataProc SetCarriesLoggerDataSource(TCarriesLoggerDataProc proc) {
  return carriesLoggerData.exchange(proc);
}

bool ProgramCarriesLoggerData(TCarriesLoggerDataProc moduleCheck) {
  TCarriesLoggerDataProc proc = carriesLoggerData.load();
  if (proc) return proc();
  return moduleCheck ? moduleCheck() : true;
}

std::string ExternalExceptionClass(uint32_t code) { return SystemExceptionName(code).Class->Name; }

std::string ExternalExceptionText(uint32_t code, uintptr_t address, bool hasAccessInfo,
                                  uint32_t accessKind, uintptr_t accessAddress) {
  if (code == 0xC0000005u && hasAccessInfo) {
    const char* kind = accessKind == 1 ? "Write" : accessKind == 8 ? "Execution" : "Read";
    return "Access violation at address " + Hex8(address) + ". " + kind + " of address " +
           Hex8(accessAddress);
  }
  return SystemExceptionName(code).Message;
}

TReportHandlerSeams& ReportHandlerSeams() {
  static TReportHandlerSeams seams;
  return seams;
}

int ReportSeamCalls(const std::string& seam) {
  std::lock_guard<std::mutex> lock(seamCallsLock);
  auto it = seamCalls.find(seam);
  return it == seamCalls.end() ? 0 : it->second;
}

void CountReportSeamCall(const std::string& seam) {
  std::lock_guard<std::mutex> lock(seamCallsLock);
  ++seamCalls[seam];
}

uint32_t ReportFlags() { return reportFlags; }
void SetReportFlags(uint32_t flags) { reportFlags = flags; }
int DialogKindOption() { return dialogKindOption; }
void SetDialogKindOption(int kind) { dialogKindOption = kind; }
bool SendChosen() { return sendChosen; }
void SetSendChosen(bool value) { sendChosen = value; }
TDialogOutcome& DialogOutcome() {
  static TDialogOutcome outcome;
  return outcome;
}
bool TerminationActionRecorded() { return terminationRecorded; }
void ClearTerminationActionRecorded() { terminationRecorded = false; }
bool RecordTerminationAction() { return !terminationRecorded.exchange(true); }

int ReportStep() { return reportStep; }
void SetReportStep(int step) { reportStep = step; }

void SetLastException(const void* object, uintptr_t address) {
  lastObject = object;
  lastAddress = address;
}
const void* LastExceptionObject() { return lastObject; }
uintptr_t LastExceptionAddress() { return lastAddress; }

void SetLastReported(const void* object, uintptr_t address) {
  std::lock_guard<std::mutex> lock(lastReportedLock);
  lastReportedObject = object;
  lastReportedAddress = address;
  haveLastReported = true;
}

// Object and address both: a second exception from the same line (another thread)
// is another exception and is reported.
bool IsLastReported(const void* object, uintptr_t address) {
  std::lock_guard<std::mutex> lock(lastReportedLock);
  return haveLastReported && lastReportedObject == object && lastReportedAddress == address;
}

bool DialogShowing() { return dialogShowing; }
void SetDialogShowing(bool value) { dialogShowing = value; }
uint32_t DisplayFlags() { return displayFlags; }
void SetDisplayFlags(uint32_t flags) { displayFlags = flags; }

const std::vector<std::string>& FrameworkMethodNames() {
  static const std::vector<std::string> names = {
      "@Forms@TApplication@HandleException$qqrp14System@TObject",
      "@Forms@TApplication@ShowException$qqrp18Sysutils@Exception",
      "@Qforms@TApplication@HandleException$qqrp14System@TObject",
      "@Qforms@TApplication@ShowException$qqrp18Sysutils@Exception",
      "@Iwservercontrollerbase@TIWServerControllerBase@$bctr$qqrp18Classes@TComponent",
      "@Iwapplication@TIWApplication@ShowMessage$qqr17System@AnsiStringx26Iwtypes@TIWShowMessageTypet1",
      "@Svcmgr@TService@LogMessage$qqr17System@AnsiStringuiii",
      "@Idthread@TIdThread@DoException$qqrp18Sysutils@Exception",
      "DoneExcept",
  };
  return names;
}

const std::vector<std::string>& HookedKernelRoutineNames() {
  static const std::vector<std::string> names = {"RaiseException", "RtlUnwind",    "WriteFile",
                                                 "CreateThread",   "ResumeThread", "ExitThread"};
  return names;
}

}  // namespace exclog
