#include "exclog/capture/EReportEvents_win.h"

#include <vector>

#include "classlib/System.h"
#include "exclog/debuginfo/EModules_win.h"
#include "exclog/report/EReportSteps.h"

// Entries of another module built with the logger: the first three arguments in
// EAX, EDX and ECX.
#define QUELBA_ENTRY __attribute__((regparm(3)))

namespace exclog {

namespace {

using TFlagEntry = uint8_t(QUELBA_ENTRY*)(const TQuelbaExceptionRecord*, uint8_t*);
using TValueEntry = void(QUELBA_ENTRY*)(const TQuelbaExceptionRecord*, int, void*);
using TListEntry = void(QUELBA_ENTRY*)(const TQuelbaExceptionRecord*, const TQuelbaLineArray*);
using TPasswordExEntry = void(QUELBA_ENTRY*)(const TQuelbaExceptionRecord*, char*, int);
using TPasswordEntry = void(QUELBA_ENTRY*)(char*, int);

HMODULE ModuleAt(const void* address) {
  HMODULE module = nullptr;
  if (!address || !GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                      static_cast<LPCSTR>(address), &module))
    return nullptr;
  return module;
}

template <class Entry>
Entry ForwardEntry(const char* name) {
  HMODULE module = EventForwardModule();
  return module ? reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

TQuelbaExceptionRecord RecordOfJob(const TReportJob& job) {
  TQuelbaExceptionRecord record;
  record.ExceptionObject = const_cast<void*>(job.Exception.Object);
  record.ExceptionAddress = reinterpret_cast<void*>(job.Exception.Address);
  HMODULE module = ModuleAt(record.ExceptionAddress);
  record.ExceptionModule = module ? static_cast<void*>(module) : job.Exception.Module;
  if (auto list = EventEntrySeams().OwnModulesList) record.ModulesList = list();
  if (auto info = EventEntrySeams().ModuleInfoOf) record.ModuleInfo = info(record.ExceptionModule);
  record.ThreadId = job.RaisingThreadId ? job.RaisingThreadId : job.Exception.ThreadId;
  return record;
}

}  // namespace

HMODULE EventForwardModule() {
  auto module = static_cast<HMODULE>(EventState().Current.ExceptionModule);
  if (!module || module == ModuleAt(reinterpret_cast<const void*>(&EventForwardModule))) return nullptr;
  char name[MAX_PATH];
  // Still loaded (the record may outlive the library), and built with the logger.
  if (!GetModuleFileNameA(module, name, sizeof name) || !HasModuleData(module)) return nullptr;
  return module;
}

bool RaiseFlagEvent(TQuelbaEvent event, bool flag) {
  if (auto entry = ForwardEntry<TFlagEntry>(EventExportName(event))) {
    uint8_t value = flag;
    entry(&EventState().Current, &value);
    flag = value != 0;
  }
  RunFlagEvent(event, flag);
  return flag;
}

void RaiseValueEvent(TQuelbaEvent event, int value, void* pointer) {
  if (auto entry = ForwardEntry<TValueEntry>(EventExportName(event))) entry(&EventState().Current, value, pointer);
  RunValueEvent(event, value, pointer);
}

void RaiseListEvent(TQuelbaEvent event, TStrings& list) {
  if (auto entry = ForwardEntry<TListEntry>(EventExportName(event))) {
    std::vector<std::string> texts;
    for (int i = 0; i < list.Count(); ++i) texts.push_back(list.Get(i));
    std::vector<const char*> lines;
    for (const std::string& text : texts) lines.push_back(text.c_str());
    TQuelbaLineArray array{static_cast<int32_t>(lines.size()), lines.data()};
    entry(&EventState().Current, &array);
  }
  RunListEvent(event, list);
}

std::string RequestReportPassword() {
  TEventState& state = EventState();
  char buffer[256] = {};
  if (auto entry = ForwardEntry<TPasswordExEntry>("QuelbaLog_PasswordRequestEventEx")) {
    CopyPasswordBack(state.Password, buffer, sizeof buffer);
    entry(&state.Current, buffer, sizeof buffer);
    state.Password = BufferText(buffer, sizeof buffer);
  } else if (auto plain = ForwardEntry<TPasswordEntry>("QuelbaLog_PasswordRequestEvent")) {
    CopyPasswordBack(state.Password, buffer, sizeof buffer);
    plain(buffer, sizeof buffer);
    state.Password = BufferText(buffer, sizeof buffer);
  }
  RunPasswordEvent(state.Password);
  return state.Password;
}

TReportRecordScope::TReportRecordScope(const TReportJob& job, const std::string& report)
    : className_(job.Exception.ClassName), message_(job.Exception.Message), report_(report), scope_([&] {
        TQuelbaExceptionRecord record = RecordOfJob(job);
        record.ExceptionClass = className_.c_str();
        record.ExceptionMessage = message_.c_str();
        record.BugReport = report_.c_str();
        return record;
      }()) {}

void RaiseReportEvent(TReportEvent event, const TReportJob& job, bool& flag) {
  switch (event) {
    case TReportEvent::ExceptionNotify:
      flag = RaiseFlagEvent(job.HandledReport ? TQuelbaEvent::HandledExceptionNotify : TQuelbaEvent::ExceptionNotify,
                            flag);
      break;
    case TReportEvent::CustomData:
      EventState().CustomData.Clear();  // lines of an earlier report do not carry over
      RaiseListEvent(TQuelbaEvent::CustomDataRequest, EventState().CustomData);
      break;
    case TReportEvent::ActionNotify:
      NotifyAction(ActionBeforeDialog);
      break;
    case TReportEvent::AfterDialog:
      NotifyAction(ActionAfterDialog);
      break;
  }
}

bool NotifyReportAction(int action, bool error) {
  if (!error) {
    RaiseValueEvent(TQuelbaEvent::ExceptionActionNotify, action, nullptr);
    return false;
  }
  uint8_t retry = 0;
  RaiseValueEvent(TQuelbaEvent::ExceptionErrorNotify, action, &retry);
  return retry != 0;
}

}  // namespace exclog
