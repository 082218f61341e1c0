#pragma once
// Steps of the exception handler that reach other units: dropping module records
// whose files changed, adding another thread's stack to a report, and the numbered
// action notifications. The walker and the notification entry points belong to
// later units; until they fill the seams below, the steps do what is stated.
#include <cstdint>
#include <string>
#include <vector>

#include "classlib/SysUtils.h"
#include "exclog/debuginfo/ELists.h"

namespace exclog {

// Removes (under the list's lock) every record whose file's modification time now
// differs from the recorded one; `fileDate` gives a file's time (0 when missing).
// Returns the number removed.
int PurgeChangedModules(TQuelbaModulesList& list, TDateTime (*fileDate)(const std::string& fileName));

// A thread of the report as the stack walk needs it.
struct TThreadStackStart {
  uint32_t ThreadId = 0;
  uintptr_t StackPointer = 0;       // 0: the thread has no captured stack
  uintptr_t InstructionPointer = 0;
  uintptr_t FramePointer = 0;
  uintptr_t StackTop = 0;           // highest address of its stack
  // The raising thread: its instruction pointer is the exception's own place,
  // looked up as it is and marked as the report's first entry.
  bool Raising = false;
  int32_t Priority = ThreadPriorityUnknown;  // read while it was stopped
  // A copy of the stack from StackPointer up, taken while the thread was stopped:
  // the walk reads it instead of the live stack (null: the live one).
  const uint8_t* StackCopy = nullptr;
  uint32_t StackCopySize = 0;
};
// Appends the stack of `thread`, starting from `startAddress`, to `list`.
using TThreadStackWalker = void (*)(TQuelbaStackList& list, const TThreadStackStart& thread, uintptr_t startAddress);
TThreadStackWalker SetThreadStackWalker(TThreadStackWalker walker);  // null: none
// With a stack pointer, asks the walker for the thread's stack from its instruction
// pointer - 1 (a stopped thread's is a return address), the raising thread's from
// its instruction pointer. False (and nothing added) without a stack pointer or a
// walker.
bool AddThreadStack(TQuelbaStackList& list, const TThreadStackStart& thread);

// Actions sent around the dialog and the log file.
enum TLoggerAction : int {
  ActionBeforeDialog = 0, ActionAfterDialog = 1, ActionBeforeSaveLog = 2, ActionAfterSaveLog = 3
};
// Sends `action` to the notification entry points and registered handlers; for a
// failed save (`error`) to the error notification, whose handlers may ask for a
// retry (the result). The logger's start-up installs the event raisers
// (NotifyReportAction). Default without a notifier: records the action (see
// NotifiedActions) and asks for no retry.
using TActionNotifier = bool (*)(int action, bool error);
TActionNotifier SetActionNotifier(TActionNotifier notifier);  // null: the default
bool NotifyAction(int action, bool error = false);
std::vector<int> NotifiedActions();  // the default's record, oldest first
void ClearNotifiedActions();

}  // namespace exclog
