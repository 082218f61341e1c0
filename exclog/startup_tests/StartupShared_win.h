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

// Starts the logger's units the way the host program does (logger first).
void StartUnitsLikeHost();

// The report pages driven end to end (DialogPages_win_test.cpp).
int PagesChild();

// Recurses until the stack overflows.
int RecurseUntilOverflow(int depth);

}  // namespace startup_test
