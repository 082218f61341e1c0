#include "exclog/dialogs/EReportContext_win.h"

#include <mutex>

#include "classlib/System.h"
#include "classlib/Threads.h"
#include "exclog/core/ECore_win.h"
#include "exclog/core/EProcess_win.h"
#include "exclog/dialogs/EDialogSeams.h"

namespace exclog {

namespace {

std::mutex snapshotLock;
TStackSnapshot snapshot;

uintptr_t StackLimitOfThread() {
  uintptr_t limit = 0;
  __asm__ volatile("movl %%fs:8, %0" : "=r"(limit));
  return limit;
}

uintptr_t StackTopOfThread() {
  uintptr_t top = 0;
  __asm__ volatile("movl %%fs:4, %0" : "=r"(top));
  return top;
}

bool ReadableObject(const void* address, size_t length) { return IsReadable(address, length); }

}  // namespace

size_t CopyStackBytes(uintptr_t start, size_t size, std::vector<uint8_t>& out) {
  out.clear();
  if (!start || !size) return 0;
  const void* from = reinterpret_cast<const void*>(start);
  size_t readable = ReadableBytes(from, size);
  if (readable > size) readable = size;
  out.resize(readable);
  if (readable && !SafeCopy(out.data(), from, readable)) {
    // Released meanwhile: keep what was readable before the fault, nothing more.
    out.clear();
  }
  return out.size();
}

__attribute__((noinline)) void TakeStackSnapshot(uintptr_t frame, bool fromCall) {
  uintptr_t callerFrame = reinterpret_cast<uintptr_t>(__builtin_frame_address(1));
  TSnapshotRange range =
      SnapshotRange(DialogSavedStackPosition(), StackLimitOfThread(), StackTopOfThread(), callerFrame);
  std::lock_guard<std::mutex> lock(snapshotLock);
  snapshot.ThreadId = GetCurrentThreadId();
  snapshot.Frame = SnapshotFrameAddress(frame, fromCall);
  snapshot.Start = range.Start;
  CopyStackBytes(range.Start, range.Size, snapshot.Bytes);
}

TStackSnapshot StackSnapshot() {
  std::lock_guard<std::mutex> lock(snapshotLock);
  return snapshot;
}

TGroupThreadDetails ThreadDetailsOf(uint32_t threadId) {
  TGroupThreadDetails details;
  details.Main = threadId != 0 && threadId == MainThreadID();
  TQuelbaThreadsList* list = DialogThreadRecords();
  if (!list) return details;
  bool refresh = false;
  list->LockRead();
  int index = list->IndexOfThreadId(threadId);
  if (TQuelbaThreadInfo* record = index >= 0 ? list->Get(index) : nullptr) {
    details.Known = true;
    if (record->Priority != ThreadPriorityUnknown)
      details.Priority = std::to_string(record->Priority);
    else
      refresh = true;
    details.ClassName = SafeClassName(reinterpret_cast<const void*>(static_cast<uintptr_t>(record->Value4)),
                                      &ReadableObject);
  }
  list->UnlockRead();
  if (refresh) {
    // Shown as unknown this time; the record learns it for the next header.
    HANDLE thread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, threadId);
    int priority = thread ? GetThreadPriority(thread) : THREAD_PRIORITY_ERROR_RETURN;
    if (thread) CloseHandle(thread);
    if (priority != THREAD_PRIORITY_ERROR_RETURN) {
      list->LockWrite();
      int again = list->IndexOfThreadId(threadId);
      if (TQuelbaThreadInfo* record = again >= 0 ? list->Get(again) : nullptr) record->Priority = priority;
      list->UnlockWrite();
    }
  }
  return details;
}

std::string GroupHeaderOf(const TReportStackEntry& entry, bool reportMode) {
  bool details = !entry.Leak && (reportMode || ThreadDetailsShown());
  TGroupThreadDetails known = details ? ThreadDetailsOf(static_cast<uint32_t>(entry.ThreadId)) : TGroupThreadDetails{};
  return GroupHeaderText(entry, reportMode, ThreadDetailsShown(), known, DialogOptions());
}

TReportStackEntry StackEntryOf(const TQuelbaLocation& location) {
  TReportStackEntry e;
  e.Kind = location.Kind;
  e.Address = location.Address;
  if (location.Module) {
    const std::string& path = location.Module->FileName;
    size_t slash = path.find_last_of("\\/:");
    e.ModuleName = slash == std::string::npos ? path : path.substr(slash + 1);
  }
  e.UnitName = location.UnitName;
  e.ClassName = location.ClassName;
  e.RoutineName = location.RoutineName;
  e.Line = location.Line;
  e.LineOffset = location.LineOffset;
  e.ThreadId = static_cast<int32_t>(location.FrameValue);
  e.Running = location.ThreadKind;
  e.Raising = location.IsFirst;
  e.ThreadName = location.Extra;
  return e;
}

bool PumpOneMessage() {
  MSG message;
  if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) return false;
  if (message.message == WM_QUIT) {
    // Taken from a loop that is not ours: hand it back.
    PostQuitMessage(static_cast<int>(message.wParam));
    return true;
  }
  TranslateMessage(&message);
  DispatchMessageA(&message);
  return true;
}

void RestoreMainWindow(HWND mainWindow) {
  if (!mainWindow) mainWindow = FirstApplicationWindow(GetCurrentProcessId());
  if (!mainWindow || !IsIconic(mainWindow)) return;
  PostMessageA(mainWindow, WM_SYSCOMMAND, SC_RESTORE, 0);
  PumpOneMessage();
  ShowWindow(mainWindow, SW_SHOWNORMAL);
  SetForegroundWindow(mainWindow);
}

}  // namespace exclog
