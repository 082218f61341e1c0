#pragma once
// The report context's Win32 half: the raising thread's stack snapshot, the one
// routine that copies stack bytes (the throw recorder uses it too), the thread
// details of a call-stack group's header, and the message pumping and main-window
// restoring of the dialogs' thread.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "exclog/debuginfo/ELists.h"
#include "exclog/dialogs/EReportContext.h"

namespace exclog {

// Copies up to `size` bytes of the calling process's memory from `start`: as many
// as are readable (ReadableBytes), through the fault-guarded copy. The copy ends
// short where a fault stops it. Returns the bytes copied.
size_t CopyStackBytes(uintptr_t start, size_t size, std::vector<uint8_t>& out);

// A copy of the last snapshot.
struct TStackSnapshot {
  std::vector<uint8_t> Bytes;
  uintptr_t Start = 0;
  uint32_t ThreadId = 0;
  uintptr_t Frame = 0;  // the recorded frame address
};
// Takes the calling thread's stack snapshot under its own lock: from the saved
// stack position (DialogSavedStackPosition) or, when that lies outside the stack,
// the caller's frame, up to the top, at most StackSnapshotLimit bytes. With
// `fromCall`, a non-zero `frame` is recorded 5 less.
void TakeStackSnapshot(uintptr_t frame, bool fromCall);
TStackSnapshot StackSnapshot();

// The thread records' word on `threadId`, read under the list's read lock; a
// record without a priority gets one from GetThreadPriority under the write lock.
TGroupThreadDetails ThreadDetailsOf(uint32_t threadId);

// The header of the group that `entry` starts (dialog mode unless `reportMode`),
// with the thread records' details.
std::string GroupHeaderOf(const TReportStackEntry& entry, bool reportMode);
// A call-stack entry as the report and the pages read it.
TReportStackEntry StackEntryOf(const TQuelbaLocation& location);

// Removes one message of the calling thread (PeekMessageA, PM_REMOVE) and
// dispatches it; a WM_QUIT taken is posted again with its exit code, so the loop
// that owns it still ends. Returns whether a message was taken.
bool PumpOneMessage();

// When `mainWindow` (null: the process's first application window) is minimised:
// post SC_RESTORE, pump one message, show it normally and bring it to the front.
void RestoreMainWindow(HWND mainWindow = nullptr);

}  // namespace exclog
