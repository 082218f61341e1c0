#pragma once
// The logger's reporter of its own failures and warnings, and the one place its
// message boxes go through (replaceable, so tests and unattended runs can answer).
#include <windows.h>

#include <string>
#include <vector>

#include "exclog/report/EInternalError.h"

namespace exclog {

// Shows a message box and gives the answer (IDYES, IDNO, IDOK ...). The default is
// MessageBoxA.
using TMessageBoxProvider = int (*)(HWND owner, const std::string& text, const std::string& caption, UINT flags);
TMessageBoxProvider SetMessageBoxProvider(TMessageBoxProvider provider);  // null: the default
int LoggerMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT flags);

// Services of later units. Null defaults: the location holds the module only, the
// stack is empty, and mailing is unavailable (the reporter then tells the user to
// send the file by hand).
struct TInternalErrorSeams {
  // Resolves an address to module, unit, class, procedure and line.
  TCodeLocation (*Locate)(uintptr_t address) = nullptr;
  // The current thread's call stack.
  std::vector<TCodeLocation> (*CurrentStack)() = nullptr;
  // Mails `fileName` to `address` with `subject`; false when no mail client can.
  bool (*MailFile)(const std::string& address, const std::string& subject, const std::string& fileName) = nullptr;
};
TInternalErrorSeams& InternalErrorSeams();

// Where the reporter's bug reports go.
constexpr const char* InternalBugAddress = "support@velmora.invalid";
constexpr const char* DevelopmentEnvironmentText = "Velmora C++20 class library";

// The location of `address` (through the seam, else the module that holds it).
TCodeLocation LocateAddress(uintptr_t address);
std::string AddressTextAt(uintptr_t address);
std::string CurrentCallStackText();

// Reports an error of the logger's own code: `object` is the exception object (a
// TObject, possibly garbage or null), `address` where it happened, `section` the
// step ("" : the progress code). Skips EAbort and socket errors and runs without a
// debugger only; never raises and never re-enters itself. Returns the ".log" file
// written ("" when nothing was written).
std::string ReportInternalException(const void* object, uintptr_t address, const std::string& section);

// The internal-error seam form: a text "<step> (Address: XXXXXXXX)" from the guarded
// runner.
void ReportInternalErrorText(const std::string& text);
// Fills the seams above and the thread-stack walker of EReportSteps.h with the
// call-stack walker's lookup and walks. The logger's start calls it.
void InstallStackWalkServices();

// Sends the landed seams (ReportInternalError's reporter and the guarded runner's
// handler) to this reporter.
void InstallInternalErrorReporter();

// Internal warnings: "warnings on" and the windowed test are settings of the
// process (windowed defaults to the program's subsystem).
void SetInternalWarningsOn(bool on);
void SetWindowedProcess(bool windowed);
bool WindowedProcess();
void InternalWarning(uint8_t code, const std::string& message, uintptr_t exceptionAddress = 0);

}  // namespace exclog
