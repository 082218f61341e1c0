#pragma once
// Small platform queries of the logger. The version tests read CurrentVersion() of
// ESysInfo_win.h, so a test can inject another system.
#include <windows.h>

#include <string>

namespace exclog {

// Whether `module` has a file name (ModuleLongFileName of ECore_win.h gives it).
bool HasFileName(HMODULE module);
// The file name of the module that runs this code.
std::string OwnModuleFileName();
std::string CommandLineText();
// GetTempPathA; "" when it fails.
std::string TempFolder();

bool Is95Before98();
bool IsNTBefore2000();
bool IsVistaOrLater();
bool IsWorkstationSystem();

// IsDebuggerPresent, looked up in kernel32.dll.
bool DebuggerAttached();

// `handle` names an open object of this process (GetHandleInformation on NT; else,
// or when that fails, a duplicate must be made).
bool HandleValid(HANDLE handle);
// A valid handle of a thread that has not ended.
bool ThreadAlive(HANDLE handle);

// The top (highest address) of the calling thread's stack, from its thread
// information block, and an address just below the caller's stack frame (the walk
// starts there).
uintptr_t StackTop();
uintptr_t CurrentFrameAddress();

}  // namespace exclog
