#pragma once
// Start-up and shut-down of the logger. A program linked through velmora_link_logger
// calls RegisterExceptionLogUnits() before main (exclog/units): the logger's units
// ("ECore", "EHook", "ExceptionLog", in that order) then start right after the class
// library's and stop after every other unit. The "ExceptionLog" start installs every
// route by which exceptions, threads and writes reach the logger; its stop undoes them
// (the hook engine's stop, after it, puts the import slots back).
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "exclog/capture/ECaptureState_win.h"
#include "exclog/core/ExceptionLog.h"

namespace exclog {

// Registers the logger's units; does nothing the second time. Throws as RegisterUnit.
void RegisterExceptionLogUnits();

// The unit's start and stop (counted: only the first start and the last stop act),
// each run through the guarded runner as "ExceptionLog.Init" / "ExceptionLog.Done".
void ExceptionLogInit();
void ExceptionLogDone();
bool ExceptionLogStarted();

// The kernel32 routines whose slots in the program's import table the start patched
// (a subset of HookedKernelRoutineNames(): imports the program lacks are skipped).
std::vector<std::string> HookedImports();

// How the unit-table patch saw the start-up: the last start routed through the logger
// ran (and put its routine back), and the first stop ran through it.
bool LastUnitStartSeen();
bool FirstUnitStopSeen();

// The application's handlers, taken from the class library for their replacements.
void* ApplicationHandleExceptionAddress();
void* ApplicationShowExceptionAddress();

// The class library's handlers patched at the start (0 to 2); no other framework
// method is found by name in this program.
int FrameworkMethodsPatched();

// The unhandled-exception filter installed by the start.
LONG WINAPI LoggerUnhandledFilter(EXCEPTION_POINTERS* pointers);

// The 100 KB working buffer of a report (0 bytes while the logger is off).
// The main thread's handle duplicated at the start (the freeze watchdog's); null
// before the start and after the stop.
HANDLE MainThreadHandle();
size_t WorkingBufferBytes();
// Whether `fileName` (a path or a bare name) is one of the logger's own source files.
bool IsLoggerUnitFile(const std::string& fileName);

}  // namespace exclog
