// The routines a library built with the logger calls in the program (ordinals 1-17
// through exclog/ExceptionLog.def). Both sides pass the first three arguments in
// EAX, EDX and ECX. Nothing crossing here is a class: see the layouts in EEvents.h
// and TQuelbaThreadInfo (thirteen words and a byte) in ELists.h.
#include <windows.h>

#include <memory>

#include "exclog/debuginfo/EForeignObject_win.h"
#include "exclog/capture/EReportEvents_win.h"
#include "exclog/report/EReportSteps.h"
#include "exclog/capture/EEvents_win.h"
#include "exclog/capture/ERaiseRoutes_win.h"
#include "exclog/capture/EThreadHooks_win.h"
#include "exclog/capture/ExceptionLog_win.h"
#include "exclog/debuginfo/EModules_win.h"

#define QUELBA_EXPORT extern "C" __attribute__((regparm(3)))

using namespace exclog;

QUELBA_EXPORT uint8_t QuelbaLog_LastDorvinException() { return LastRaiseNative(); }

QUELBA_EXPORT void QuelbaLog_CallCreateThread(const TQuelbaThreadInfo* record) {
  if (record) AddLibraryThreadRecord(*record);
}

QUELBA_EXPORT void QuelbaLog_CallResumeThread(uint32_t handle, const TQuelbaThreadInfo* record) {
  if (record) UpdateLibraryThreadRecord(handle, *record);
}

QUELBA_EXPORT void QuelbaLog_CallExitThread() { ForgetLibraryThread(GetCurrentThreadId()); }

QUELBA_EXPORT void QuelbaLog_CallExceptObject(const EXCEPTION_RECORD* record, const CONTEXT* context,
                                              uint8_t notify) {
  if (record) RecordSystemException(*record, context);
}

QUELBA_EXPORT void QuelbaLog_CallGeneralRaise(DWORD code, DWORD flags, DWORD count, uint32_t stackPosition,
                                              const ULONG_PTR* arguments) {
  ThreadBlock().SavedFrame[1] = stackPosition;
  RecordNativeRaise(code, flags, count, arguments, false);
}

QUELBA_EXPORT uint8_t ExceptionManager(const void* object, uintptr_t address, int mode, void* module) {
  TProgramEntry entry(reinterpret_cast<uintptr_t>(__builtin_frame_address(0)));
  TLoggedException e;
  e.Address = address;
  e.Mode = mode;
  e.Module = module;
  e.ThreadId = GetCurrentThreadId();
  // A library's object belongs to its own class library: read, never called, and
  // reported as a local Exception with its message, freed when the report is over.
  TForeignObject foreign;
  std::unique_ptr<Exception> standIn;
  if (!DescribeNativeObject(e, object)) {
    e.Object = object;
    e.ClassName = "Exception";
    if (DescribeForeignObject(object, foreign)) {
      standIn = std::make_unique<Exception>(foreign.Message);
      e.Object = static_cast<TObject*>(standIn.get());
      e.ClassName = foreign.ClassName;
      e.Message = foreign.Message;
      e.Abort = foreign.InheritsFrom("EAbort");
      e.StackOverflow = foreign.InheritsFrom("EStackOverflow");
      e.MemoryLeak = foreign.InheritsFrom("EMemoryLeak");
    }
  }
  return exclog::ExceptionManager(e) ? 1 : 0;
}

QUELBA_EXPORT void QuelbaLog_PasswordRequestEvent(char* buffer, int size) { EnterPasswordEvent(nullptr, buffer, size); }

QUELBA_EXPORT void QuelbaLog_PasswordRequestEventEx(const TQuelbaExceptionRecord* record, char* buffer, int size) {
  EnterPasswordEvent(record, buffer, size);
}

QUELBA_EXPORT uint8_t QuelbaLog_ExceptionNotifyEvent(const TQuelbaExceptionRecord* record, uint8_t* handle) {
  bool flag = EnterFlagEvent(record, TQuelbaEvent::ExceptionNotify, handle ? *handle != 0 : true);
  if (handle) *handle = flag;
  return flag;
}

QUELBA_EXPORT uint8_t QuelbaLog_HandledExceptionNotifyEvent(const TQuelbaExceptionRecord* record, uint8_t* handle) {
  bool flag = EnterFlagEvent(record, TQuelbaEvent::HandledExceptionNotify, handle ? *handle != 0 : true);
  if (handle) *handle = flag;
  return flag;
}

QUELBA_EXPORT void QuelbaLog_ExceptionActionNotifyEvent(const TQuelbaExceptionRecord* record, int action,
                                                        void* pointer) {
  EnterValueEvent(record, TQuelbaEvent::ExceptionActionNotify, action, pointer);
}

QUELBA_EXPORT void QuelbaLog_ExceptionErrorNotifyEvent(const TQuelbaExceptionRecord* record, int error,
                                                       void* pointer) {
  EnterValueEvent(record, TQuelbaEvent::ExceptionErrorNotify, error, pointer);
}

QUELBA_EXPORT void QuelbaLog_CustomDataRequestEventEx(const TQuelbaExceptionRecord* record,
                                                      const TQuelbaLineArray* lines) {
  EnterListEvent(record, TQuelbaEvent::CustomDataRequest, lines);
}

QUELBA_EXPORT void QuelbaLog_AttachedFilesRequestEvent(const TQuelbaExceptionRecord* record,
                                                       const TQuelbaLineArray* lines) {
  EnterListEvent(record, TQuelbaEvent::AttachedFilesRequest, lines);
}

QUELBA_EXPORT void QuelbaLog_CustomWebFieldsRequestEvent(const TQuelbaExceptionRecord* record,
                                                         const TQuelbaLineArray* lines) {
  EnterListEvent(record, TQuelbaEvent::CustomWebFieldsRequest, lines);
}

QUELBA_EXPORT uint8_t QuelbaLog_CustomButtonClickEvent(const TQuelbaExceptionRecord* record, uint8_t* close) {
  bool flag = EnterFlagEvent(record, TQuelbaEvent::CustomButtonClick, close ? *close != 0 : false);
  if (close) *close = flag;
  return flag;
}

namespace exclog {

// Lives here so that the start-up, calling it, keeps this unit (and so the export
// table's routines) in the program.
void InstallEventHandlers() {
  LogList();  // the logger-instance list exists before any thread may register
  SetActionNotifier(&NotifyReportAction);
  ModuleInfoSeams().AskPasswordHandlers = &RequestPasswordLocal;
  EventEntrySeams().DescribeForeignObject = [](const void* object, std::string& className, std::string& message) {
    TForeignObject foreign;
    if (!DescribeForeignObject(object, foreign)) return false;
    className = foreign.ClassName;
    message = foreign.Message;
    return true;
  };
  EventEntrySeams().OwnModulesList = [] { return static_cast<void*>(&ModulesList()); };
  EventEntrySeams().ModuleInfoOf = [](void* module) -> void* {
    TQuelbaModulesList& list = ModulesList();
    TCriticalSectionLock hold(list.Section());
    int index = list.IndexOfHandle(reinterpret_cast<uintptr_t>(module));
    return index < 0 ? nullptr : list.Get(index);
  };
}

}  // namespace exclog
