#pragma once
// Shared by the start-up test program's parts: the child modes and helpers.
#include <windows.h>

#include <string>
#include <vector>

namespace startup_test {

// Runs this program again as "--child <mode>"; returns its exit code and what it
// wrote to standard output and standard error (merged).
struct TChildResult {
  DWORD ExitCode = 0;
  std::string Output;
};
TChildResult RunChild(const std::string& mode, DWORD timeoutMs = 30000);

// Runs one child mode in this process; returns the exit code.
int ChildMain(const std::string& mode);

// The class library's patched handlers, in a child with the Forms unit.
int FrameworkChild();
// A CGI program failing, after it wrote part of its page when `writesFirst`.
int CgiChild(bool writesFirst);
// Catch ends with and without handled reports.
int HandledChild(bool reportHandled);

// Faults inside the logger's own path ("inner-<case>").
int InnerFaultChild(const std::string& kase);

// The freeze watchdog's child cases ("freeze-<case>").
int FreezeChild(const std::string& kase);

// Starts the logger's units the way the host program does (logger first).
void StartUnitsLikeHost();

// The value of field `number` ("2.5") of the first report in `text` from `from` on.
std::string ReportField(const std::string& text, const std::string& number, size_t from = 0);
// Reports in `text` whose exception type is `type`.
size_t ReportsOf(const std::string& text, const std::string& type);

// The report pages driven end to end (DialogPages_win_test.cpp).
int PagesChild();

// Recurses until the stack overflows.
int RecurseUntilOverflow(int depth);

}  // namespace startup_test
