#pragma once
// The logger's main unit: its process-wide flags, the plain exception description
// its hooks hand on, and the seams through which services of later units are
// reached (exception dispatch, call-stack identifiers, the internal-error reporter,
// module logger data). Each seam has a plain default that tests can observe: it
// writes one line through the report-line sink and counts the call.
//
// Start-up and shut-down themselves need the system: see ExceptionLog_win.h.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace exclog {

class TQuelbaStackList;

// An exception as the logger's hooks see it, before any report is built.
struct TLoggedException {
  std::string ClassName;   // class record name, or demangled C++ type name
  std::string Message;
  uint32_t Code = 0;       // system exception code; 0 for a C++ throw
  uintptr_t Address = 0;   // fault address or throw site
  uint32_t ThreadId = 0;
  int Mode = 0;            // 0: unhandled in a thread, 1: unhandled filter, 2: terminate
  void* Module = nullptr;  // module the report is for
  const void* Object = nullptr;  // the thrown object or the system record: tells two exceptions apart
  bool Abort = false;            // an EAbort (or descendant): never reported
  bool StackOverflow = false;    // an EStackOverflow: reported from another thread
  bool MemoryLeak = false;       // an EMemoryLeak: reported on its own thread
};

// ---------------------------------------------------------------------------
// The main handler and the later units it reaches through TReportHandlerSeams.
struct TReportJob {
  TLoggedException Exception;
  uint32_t RaisingThreadId = 0;
  bool HandledReport = false;      // a report of an exception that was caught
  bool OnReportThread = false;     // runs on a report thread (else on the raising one)
  uint32_t PumpingThreadId = 0;    // the waiting thread that pumps while a dialog shows
  const void* Context = nullptr;   // the raising thread's recorded context (204 bytes), or null
  const void* Record = nullptr;    // its recorded exception record (80 bytes), or null
  // A copy of the raising thread's stack from the context's stack pointer up, taken
  // while it was stopped (the freeze watchdog's); null: its live stack.
  const uint8_t* StackCopy = nullptr;
  uint32_t StackCopySize = 0;
  // The exception-frame test's result: 0, 1 (clean-up only) or 2 (raised inside a
  // handler: no filter applies).
  int CheckResult = 0;
  uintptr_t StackTop = 0;          // highest address of the raising thread's stack
  uintptr_t FrameWord = 0;         // where its stack is read from when there is no context
  // The dispatcher's frame on the raising thread, standing while the report runs:
  // its frame chain leads through the code that caught or raised the exception.
  uintptr_t HandOverFrame = 0;
  std::string FocusedClass, FocusedText;  // the raising thread's focused control
  // Settled before the dialog: 0 the detailed dialog, 1 the console text, 2 none;
  // whether the user is asked to send; what terminate-or-restart does (0 none,
  // 1 terminate, 2 restart).
  int DialogKind = 0;
  bool AskToSend = false;
  uint8_t RestartChoice = 0;
  // Settled by the dialog for an unhandled report: after the report 0 go on,
  // 1 terminate, 2 restart.
  uint8_t EndAfterReport = 0;
  std::string ReportFile;          // "_BugReport"
  uint32_t StackId = 0;            // marks duplicates
  bool Duplicate = false;          // the log already holds this exception (counted there)
  // The call stacks the report collected: the raising thread's first (shared by
  // copies of the job).
  std::shared_ptr<TQuelbaStackList> Stacks;
};

// Dialog outcome of one report.
enum class TDialogAnswer { Close, Terminate, Restart };

// What a matching exception filter supplies.
struct TFilterMatch {
  int HandlerKind = 2;         // only 2 goes on to a report
  int TerminationAction = 0;   // 0 none, 1 terminate, 2 restart
  int DialogType = 1;          // 0 -> kind 0, 1 -> the options' kind, 2..4 -> 1..3
  std::string Text;            // replaces the message when not empty
};

// Events the report runs (on the waiting raising thread): exception notify (the
// flag is "handle it"), custom data, action notify, the next one after the dialog.
enum class TReportEvent { ExceptionNotify, CustomData, ActionNotify, AfterDialog };

// Each member null means its default: the default does nothing but count
// (ReportSeamCalls by member name), except where said.
struct TReportHandlerSeams {
  // Builds the report text and adds it to the last-reports ring. Default: the
  // one-line description ("Report: ...").
  std::string (*BuildReport)(const TReportJob& job) = nullptr;
  // The report file name. Default: "".
  std::string (*ReportFileName)(const TReportJob& job) = nullptr;
  // The call stack of a thread from its context (null: none) and stack top. Default:
  // the walker adds it to the job's Stacks.
  void (*CollectStack)(uint32_t threadId, const void* context, uintptr_t stackTop) = nullptr;
  // The filter matching the exception; false when none matches. Default: the first
  // enabled filter of the report's options that matches.
  bool (*MatchFilter)(const TReportJob& job, TFilterMatch& match) = nullptr;
  // Runs the handlers of an event. Default: the handlers registered with the
  // logger, in the exception's module first when that is another logger module.
  void (*RunEvent)(TReportEvent event, const TReportJob& job, bool& flag) = nullptr;
  // Captures the screen when the options ask for a screen shot (item 8); the
  // capture is written beside the text log (item 11).
  void (*TakeScreenshot)(const TReportJob& job) = nullptr;
  void (*SaveScreenshot)(const TReportJob& job) = nullptr;
  // Shows the dialog until its final answer. Default: a console program writes the
  // report text to standard output; the answer is "close".
  TDialogAnswer (*ShowDialog)(const TReportJob& job, const std::string& report) = nullptr;
  void (*AskReproduceSteps)(const TReportJob& job) = nullptr;
  // Whether the log already holds the job's exception; with `count`, counts it
  // there. Default: never a duplicate.
  bool (*CheckDuplicate)(const TReportJob& job, bool count) = nullptr;
  void (*SaveTextLog)(const TReportJob& job, const std::string& report) = nullptr;
  void (*SaveXmlLog)(const TReportJob& job, const std::string& report) = nullptr;
  // Starts the sending; with `wait`, returns when it is over, unless the sending
  // took the report over on a thread of its own: true then, and that thread ends
  // the process when EndAfterReport asks.
  bool (*StartSending)(const TReportJob& job, const std::string& report, bool wait) = nullptr;
  // CGI and web-server programs: the error page instead of a dialog.
  void (*WriteWebErrorPage)(const TReportJob& job, const std::string& report) = nullptr;
};
TReportHandlerSeams& ReportHandlerSeams();
// Calls of a seam by member name since the start.
int ReportSeamCalls(const std::string& seam);
void CountReportSeamCall(const std::string& seam);

// Flags of the options set that the main handler reads (the options leave them unnamed).
constexpr uint32_t ReportStacksOfClassThreads = 0x1;  // main thread and class-library threads
constexpr uint32_t ReportStacksOfRawThreads = 0x2;
constexpr uint32_t ReportCopyToClipboard = 0x4;
constexpr uint32_t ReportSaveXmlLog = 0x8;
constexpr uint32_t ReportSendInBackground = 0x10;
constexpr uint32_t ReportAskReproduceSteps = 0x20;
uint32_t ReportFlags();
void SetReportFlags(uint32_t flags);
// The options set's dialog-kind byte.
int DialogKindOption();
void SetDialogKindOption(int kind);

// Dialog outcome flag the handler presets and the dialog sets: sending chosen.
bool SendChosen();
void SetSendChosen(bool value);

// The dialogs' process-wide bytes that the handler presets and reads back, beside
// the send choice above. Written only by the thread that shows the dialogs (the
// raising thread waits for it meanwhile).
struct TDialogOutcome {
  // 0 none, 1 message box, 2 classic dialog, 3 detailed dialog; every way of
  // closing a dialog sets 0.
  uint8_t PresentationKind = 0;
  uint8_t Cancelled = 0;
  uint8_t ScreenshotChosen = 0;
  uint8_t CopyChosen = 0;
  uint8_t RestartChosen = 0;       // the terminate-or-restart button was pressed
  uint8_t HelpAsksToClose = 0;     // set by the application's help event handler
  uint8_t DialogFailed = 0;        // no dialog could be shown in this report
  uint8_t BecameVisible = 0;       // a logger dialog was activated or painted
  uint8_t DetailsShownBefore = 0;  // a dialog shown again opens detailed
  uint8_t DetailsMode = 0;         // the detailed dialog shows its pages
};
TDialogOutcome& DialogOutcome();

// Whether a filter's termination action was recorded in this process (once only).
bool TerminationActionRecorded();
void ClearTerminationActionRecorded();
bool RecordTerminationAction();  // true the first time

// The process-wide step word of the main handler (shown when the handler fails).
int ReportStep();
void SetReportStep(int step);

// The last exception seen (object and address of the latest raise).
void SetLastException(const void* object, uintptr_t address);
const void* LastExceptionObject();
uintptr_t LastExceptionAddress();
// The exception reported last (set by the main handler): its object and address.
void SetLastReported(const void* object, uintptr_t address);
bool IsLastReported(const void* object, uintptr_t address);

// Set by the dialogs while one shows: the raising main thread then pumps messages.
bool DialogShowing();
void SetDialogShowing(bool value);

// Display flags of the options set that the dispatcher reads (EDispatch.h).
uint32_t DisplayFlags();
void SetDisplayFlags(uint32_t flags);

// ---------------------------------------------------------------------------
// Flags (bytes in the original layout; plain atomics here).
bool LoggerActive();
void SetLoggerActive(bool value);
// Read by the dispatcher: when false every exception passes through unreported.
bool LoggerEnabled();
void SetLoggerEnabled(bool value);
bool HooksInstalled();
void SetHooksInstalled(bool value);
bool LibraryMode();
void SetLibraryMode(bool value);
// Forced on by the unhandled-exception filter: the report runs on the raising thread.
bool SameThreadReport();
void SetSameThreadReport(bool value);
// Set while the units after the logger are starting; cleared when the last has started.
bool UnitsStarting();
void SetUnitsStarting(bool value);
// Set when the first unit begins to stop.
bool UnitsStopping();
void SetUnitsStopping(bool value);
// Set while the leak report runs: every other unit has stopped, no window of the
// program is left and the process ends as soon as the report is done.
bool LeakReportMode();
void SetLeakReportMode(bool value);

// ---------------------------------------------------------------------------
// Report-line sink: where the default seams write. The Windows start-up installs one
// writing to standard error and the debugger; null writes nowhere.
using TReportLineSink = void (*)(const std::string& line);
TReportLineSink SetReportLineSink(TReportLineSink sink);
void WriteReportLine(const std::string& line);

// One line describing `e`: "<prefix>: <class> at XXXXXXXX (code XXXXXXXX) in thread N: <message>".
std::string DescribeException(const std::string& prefix, const TLoggedException& e);

// ExceptionManager: the exception dispatcher's entry for exceptions that escaped a
// thread (mode 0). Returns whether the exception was handled. Default: writes a
// "ExceptionManager" line, counts, returns true.
using TExceptionManagerProc = bool (*)(const TLoggedException& e);
TExceptionManagerProc SetExceptionManager(TExceptionManagerProc proc);  // null: default
bool ExceptionManager(const TLoggedException& e);
int ExceptionManagerCalls();

// The frame of the logger's entry that the program called on this thread, while
// it runs (0 otherwise): its return address lies in the program, so a report read
// from there shows none of the logger's own frames. The outermost entry counts.
uintptr_t ProgramEntryFrame();
class TProgramEntry {
 public:
  explicit TProgramEntry(uintptr_t frame);
  ~TProgramEntry();
  TProgramEntry(const TProgramEntry&) = delete;
  TProgramEntry& operator=(const TProgramEntry&) = delete;

 private:
  bool outermost_;
};

// Report dispatch of the unhandled-exception filter and of terminate. Default: writes
// a "Report" line and counts.
using TReportDispatchProc = void (*)(const TLoggedException& e);
TReportDispatchProc SetReportDispatch(TReportDispatchProc proc);  // null: default
void DispatchReport(const TLoggedException& e);
int ReportDispatchCalls();

// Where the raising thread stood: its registers and the top of its stack (the
// highest address). All 0 when unknown. A thread that ran on after them leaves a
// copy of its stack from Esp upward (null: the live stack is still as it was).
struct TStackValues {
  uint32_t Eip = 0, Esp = 0, Ebp = 0;
  uint32_t StackTop = 0;
  const uint8_t* StackCopy = nullptr;
  uint32_t StackCopySize = 0;
};

// Call-stack identifier of an exception: equal identifiers are one report. Default:
// a hash of class name, code and address.
using TCallStackIdProc = uint32_t (*)(const TLoggedException& e, const TStackValues& stack);
TCallStackIdProc SetCallStackIdSource(TCallStackIdProc proc);  // null: default
uint32_t CallStackId(const TLoggedException& e, const TStackValues& stack = {});

// Remembers the identifier of the last report; true when `id` differs from it (and
// then records it), false for a repeat.
bool TakeReportId(uint32_t id);
void ClearLastReportId();

// Internal-error reporter: receives the logger's own failures ("<unit> (Address: X)").
// Default: keeps the last InternalErrorTextsKept texts (InternalErrorTexts, oldest
// first: a storm of faulting handlers must not grow the process) and writes an
// "InternalError" line.
// With a reporter set, the text also goes to it (it must not throw).
void ReportInternalError(const std::string& text);
std::vector<std::string> InternalErrorTexts();
constexpr size_t InternalErrorTextsKept = 1000;
using TInternalErrorReporter = void (*)(const std::string& text);
TInternalErrorReporter SetInternalErrorReporter(TInternalErrorReporter reporter);  // null: none

// Whether the program's module carries logger data: the source set here, else
// `moduleCheck` (the installer passes the module data reader), else true. A source
// that throws makes the installer fail (reported under "ExceptionLog.Init").
using TCarriesLoggerDataProc = bool (*)();
TCarriesLoggerDataProc SetCarriesLoggerDataSource(TCarriesLoggerDataProc proc);  // null: default
bool ProgramCarriesLoggerData(TCarriesLoggerDataProc moduleCheck = nullptr);

// ---------------------------------------------------------------------------
// Texts and classes for system exceptions (the exception-object mapping's default):
// the class library's names (SystemExceptionName: "EDivByZero", "EStackOverflow", ...,
// "EExternal" for codes it does not name).
std::string ExternalExceptionClass(uint32_t code);
// "Access violation at address XXXXXXXX. Read of address XXXXXXXX" (Write for
// `accessKind` 1, Execution for 8) for 0xC0000005 with `hasAccessInfo`; otherwise the
// class library's text ("Division by zero", ..., "External exception XXXXXXXX").
std::string ExternalExceptionText(uint32_t code, uintptr_t address, bool hasAccessInfo,
                                  uint32_t accessKind, uintptr_t accessAddress);

// True for the debugger's thread-naming exception, which is never reported.
constexpr uint32_t ThreadNamingException = 0x406D1388;

// The mangled names of framework methods the logger takes over when the program
// exports them (none in this program: the lookup finds nothing and skips them).
const std::vector<std::string>& FrameworkMethodNames();

// The routines of "kernel32.dll" hooked in the program's import table, in hook order.
const std::vector<std::string>& HookedKernelRoutineNames();

}  // namespace exclog
