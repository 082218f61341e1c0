#pragma once
// The process's own windows (main-window search for the freeze watchdog, bounding
// rectangle for the screen shot), copying text to the clipboard, ending or
// restarting the process after a report, and the class library's unit table.
#include <windows.h>

#include <string>
#include <vector>

#include "classlib/System.h"
#include "exclog/core/ERestart.h"

namespace exclog {

// True when GetWindowRect succeeds with a width and a height above 0.
bool WindowHasArea(HWND window);

// The window class name (up to 255 characters); "" when it cannot be read.
std::string WindowClassName(HWND window);

// Whether `window` is a visible application window: it has an area; its owner (or,
// when that owner is a tool window, the owner's owner) is none, the desktop or the
// class library's hidden "TApplication" window; and it is not a tool window unless
// it also has the application-window style.
bool IsApplicationWindow(HWND window);

// The first application window of process `processId` in EnumWindows order; null
// when there is none.
HWND FirstApplicationWindow(DWORD processId);

// True when a top-level window of `processId` has the class "TAppBuilder".
bool IsDesignTimeHost(DWORD processId);

// Union of the rectangles of the current process's visible top-level windows whose
// height is at least 1; (-1, -1, -1, -1) when there is none.
RECT ProcessWindowsBounds();

bool WindowOfThisProcess(HWND window);
bool WindowOfOtherProcess(HWND window);

// Every top-level window of the current process, in EnumWindows order.
std::vector<HWND> ProcessWindows();

// Puts `text` on the clipboard as CF_TEXT. An empty text leaves the clipboard as it
// is. The clipboard is opened for `owner`, or for a hidden window made for the call
// when `owner` is null (Windows refuses SetClipboardData after EmptyClipboard for an
// open without owner). Retries the open for up to `waitMs` while another program
// holds the clipboard. Returns whether the text is on the clipboard; nothing leaks
// on failure.
bool CopyTextToClipboard(const std::string& text, HWND owner = nullptr, DWORD waitMs = 500);

// The folder that was current when the logger started (set by its start-up);
// restarts run there. Empty: the current folder at the time of the restart.
void SetStartDirectory(const std::string& folder);
const std::string& StartDirectory();

// Starts a new instance with this process's command line, marked as a restart of
// this process (ERestart.h), in StartDirectory();
// returns whether CreateProcess succeeded.
bool StartNewInstance();

// In a program started by StartNewInstance: waits up to `waitMs` for the process
// it replaces to end (that one still holds what a single instance may hold).
// Returns at once in a program started otherwise.
void WaitForReplacedInstance(DWORD waitMs = RestartWaitMs);
// The event a restarted instance holds while it waits for the one it replaces, so
// a watcher sees the wait itself rather than guessing it from silence.
std::string RestartWaitEventName(DWORD waitingProcessId);

// Ends the process with exit code 1, first starting a new instance when `restart`
// (a failed start is not reported: the process ends either way).
[[noreturn]] void EndProcess(bool restart);

// The class library's unit table, checked: readable, unit count 1..4094 and a
// readable slot array. Otherwise "Unknown RTL version" goes to the debugger and
// EAssertionFailed with that text is thrown.
TUnitTable* UnitStartTable();

}  // namespace exclog
