#pragma once
// The logger's main unit: its process-wide flags, the plain exception description
// its hooks hand on, and the seams through which services of later units are
// reached (exception dispatch, call-stack identifiers, the internal-error reporter,
// module logger data). Each seam has a plain default that tests can observe: it
// writes one line through the report-line sink and counts the call.
//
// Start-up and shut-down themselves need the system: see ExceptionLog_win.h.
#include <cstdint>
#include <string>
#include <vector>

namespace exclog {

// An exception as the logger's hooks see it, before any report is built.
struct TLoggedException {
  std::string ClassName;   // class record name, or demangled C++ type name
  std::string Message;
  uint32_t Code = 0;       // system exception code; 0 for a C++ throw
  uintptr_t Address = 0;   // fault address or throw site
  uint32_t ThreadId = 0;
  int Mode = 0;            // 0: unhandled in a thread, 1: unhandled filter, 2: terminate
  void* Module = nullptr;  // module the report is for
};

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

// Report dispatch of the unhandled-exception filter and of terminate. Default: writes
// a "Report" line and counts.
using TReportDispatchProc = void (*)(const TLoggedException& e);
TReportDispatchProc SetReportDispatch(TReportDispatchProc proc);  // null: default
void DispatchReport(const TLoggedException& e);
int ReportDispatchCalls();

// Where the raising thread stood: its registers and the top of its stack (the
// highest address). All 0 when unknown.
struct TStackValues {
  uint32_t Eip = 0, Esp = 0, Ebp = 0;
  uint32_t StackTop = 0;
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
// Default: keeps the texts (InternalErrorTexts) and writes an "InternalError" line.
void ReportInternalError(const std::string& text);
std::vector<std::string> InternalErrorTexts();

// Whether the program's module carries logger data: the source set here, else
// `moduleCheck` (the installer passes the module data reader), else true. A source
// that throws makes the installer fail (reported under "ExceptionLog.Init").
using TCarriesLoggerDataProc = bool (*)();
TCarriesLoggerDataProc SetCarriesLoggerDataSource(TCarriesLoggerDataProc proc);  // null: default
bool ProgramCarriesLoggerData(TCarriesLoggerDataProc moduleCheck = nullptr);

// ---------------------------------------------------------------------------
// Texts and classes for system exceptions (the exception-object mapping's default).
// "EAccessViolation" for 0xC0000005, "EStackOverflow" for 0xC00000FD, else "EExternal".
std::string ExternalExceptionClass(uint32_t code);
// "Access violation at address XXXXXXXX. Read of address XXXXXXXX" (Write for
// `accessKind` 1, Execution for 8) for 0xC0000005 with `hasAccessInfo`; otherwise
// "External exception XXXXXXXX".
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
