#include "exclog/capture/EEvents.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "classlib/SysUtils.h"

namespace exclog {

TQuelbaLogger::TQuelbaLogger(TComponent* owner) : TComponent(owner) { LogList().Add(this); }

TQuelbaLogger::~TQuelbaLogger() { LogList().Remove(this); }

void TQuelbaLogList::Remove(TQuelbaLogger* logger) {
  auto it = std::find(items_.begin(), items_.end(), logger);
  if (it != items_.end()) items_.erase(it);
}

bool TQuelbaLogList::Contains(const TQuelbaLogger* logger) const {
  return std::find(items_.begin(), items_.end(), logger) != items_.end();
}

TQuelbaLogList& LogList() {
  static TQuelbaLogList list;
  return list;
}

TQuelbaGlobalEvents& GlobalEvents() {
  static TQuelbaGlobalEvents events;
  return events;
}

TEventState& EventState() {
  static TEventState state;
  return state;
}

TCurrentRecordScope::TCurrentRecordScope(const TQuelbaExceptionRecord& record) : backup_(EventState().Current) {
  EventState().Current = record;
}

TCurrentRecordScope::~TCurrentRecordScope() { EventState().Current = backup_; }

namespace {

// Calls `call` for each component, last to first. A handler may free components:
// the walk follows the list as it stood and skips any that are gone by their turn.
template <class Call>
void WalkLoggers(Call call) {
  const std::vector<TQuelbaLogger*> loggers = LogList().Snapshot();
  for (auto it = loggers.rbegin(); it != loggers.rend(); ++it)
    if (LogList().Contains(*it)) call(*it);
}

// Runs one event: each component's handler, then the global procedure. The
// handler is copied first since it may free its own component.
template <class Select, class Global, class... Args>
void RunHandlers(Select select, const Global& global, Args&... args) {
  const TQuelbaExceptionRecord& record = EventState().Current;
  WalkLoggers([&](TQuelbaLogger* logger) {
    auto handler = select(logger);
    if (handler) handler(logger, record, args...);
  });
  if (global) global(record, args...);
}

}  // namespace

void RunFlagEvent(TQuelbaEvent event, bool& flag) {
  TQuelbaGlobalEvents& g = GlobalEvents();
  switch (event) {
    case TQuelbaEvent::ExceptionNotify:
      RunHandlers([](TQuelbaLogger* l) { return l->OnExceptionNotify; }, g.ExceptionNotify, flag);
      break;
    case TQuelbaEvent::HandledExceptionNotify:
      RunHandlers([](TQuelbaLogger* l) { return l->OnHandledExceptionNotify; }, g.HandledExceptionNotify, flag);
      break;
    case TQuelbaEvent::CustomButtonClick:
      RunHandlers([](TQuelbaLogger* l) { return l->OnCustomButtonClick; }, g.CustomButtonClick, flag);
      break;
    default:
      break;
  }
}

void RunValueEvent(TQuelbaEvent event, int value, void* pointer) {
  TQuelbaGlobalEvents& g = GlobalEvents();
  if (event == TQuelbaEvent::ExceptionActionNotify)
    RunHandlers([](TQuelbaLogger* l) { return l->OnExceptionActionNotify; }, g.ExceptionActionNotify, value, pointer);
  else if (event == TQuelbaEvent::ExceptionErrorNotify)
    RunHandlers([](TQuelbaLogger* l) { return l->OnExceptionErrorNotify; }, g.ExceptionErrorNotify, value, pointer);
}

void RunPasswordEvent(std::string& password) {
  RunHandlers([](TQuelbaLogger* l) { return l->OnPasswordRequest; }, GlobalEvents().PasswordRequest, password);
}

void RunListEvent(TQuelbaEvent event, TStrings& list) {
  TQuelbaGlobalEvents& g = GlobalEvents();
  switch (event) {
    case TQuelbaEvent::CustomDataRequest:
      RunHandlers([](TQuelbaLogger* l) { return l->OnCustomDataRequest; }, g.CustomDataRequest, list);
      break;
    case TQuelbaEvent::AttachedFilesRequest:
      RunHandlers([](TQuelbaLogger* l) { return l->OnAttachedFilesRequest; }, g.AttachedFilesRequest, list);
      break;
    case TQuelbaEvent::CustomWebFieldsRequest:
      RunHandlers([](TQuelbaLogger* l) { return l->OnCustomWebFieldsRequest; }, g.CustomWebFieldsRequest, list);
      break;
    default:
      break;
  }
}

const char* EventExportName(TQuelbaEvent event) {
  switch (event) {
    case TQuelbaEvent::ExceptionNotify: return "QuelbaLog_ExceptionNotifyEvent";
    case TQuelbaEvent::HandledExceptionNotify: return "QuelbaLog_HandledExceptionNotifyEvent";
    case TQuelbaEvent::ExceptionActionNotify: return "QuelbaLog_ExceptionActionNotifyEvent";
    case TQuelbaEvent::ExceptionErrorNotify: return "QuelbaLog_ExceptionErrorNotifyEvent";
    case TQuelbaEvent::PasswordRequest: return "QuelbaLog_PasswordRequestEventEx";
    case TQuelbaEvent::CustomDataRequest: return "QuelbaLog_CustomDataRequestEventEx";
    case TQuelbaEvent::AttachedFilesRequest: return "QuelbaLog_AttachedFilesRequestEvent";
    case TQuelbaEvent::CustomWebFieldsRequest: return "QuelbaLog_CustomWebFieldsRequestEvent";
    case TQuelbaEvent::CustomButtonClick: return "QuelbaLog_CustomButtonClickEvent";
  }
  return "";
}

void CopyLines(const TQuelbaLineArray& lines, TStrings& list) {
  list.Clear();
  if (!lines.Lines) return;
  for (int32_t i = 0; i < lines.Count; ++i) list.Add(lines.Lines[i] ? lines.Lines[i] : "");
}

std::string BufferText(const char* buffer, int size) {
  if (!buffer || size <= 0) return {};
  const void* end = std::memchr(buffer, 0, static_cast<size_t>(size));
  size_t length = end ? static_cast<size_t>(static_cast<const char*>(end) - buffer) : static_cast<size_t>(size);
  return std::string(buffer, length);
}

void CopyPasswordBack(const std::string& password, char* buffer, int size) {
  if (!buffer || size <= 0) return;
  size_t length = std::min(password.size(), static_cast<size_t>(size - 1));
  std::memcpy(buffer, password.data(), length);
  buffer[length] = '\0';
}

void RequestPasswordLocal(char* buffer, int size) {
  TEventState& state = EventState();
  state.Password = BufferText(buffer, size);
  RunPasswordEvent(state.Password);
  CopyPasswordBack(state.Password, buffer, size);
}

TEventEntrySeams& EventEntrySeams() {
  static TEventEntrySeams seams;
  return seams;
}

namespace {

// The incoming record as this module sees it.
TQuelbaExceptionRecord Localised(const TQuelbaExceptionRecord* record) {
  TQuelbaExceptionRecord local = record ? *record : EventState().Current;
  const TEventEntrySeams& seams = EventEntrySeams();
  local.ModulesList = seams.OwnModulesList ? seams.OwnModulesList() : nullptr;
  local.ModuleInfo = seams.ModuleInfoOf ? seams.ModuleInfoOf(local.ExceptionModule) : nullptr;
  return local;
}

// Installs the record for the run; afterwards frees a local stand-in for another
// module's object, releases the dialog's state and restores the record before.
template <class Run>
void RunEntered(const TQuelbaExceptionRecord* record, Run run) {
  const TEventEntrySeams& seams = EventEntrySeams();
  TQuelbaExceptionRecord local = Localised(record);
  std::string className, message;
  std::unique_ptr<Exception> standIn;
  if (local.ExceptionObject && seams.DescribeForeignObject &&
      seams.DescribeForeignObject(local.ExceptionObject, className, message)) {
    standIn = std::make_unique<Exception>(message);
    local.ExceptionObject = static_cast<TObject*>(standIn.get());
    local.ExceptionClass = className.c_str();
    local.ExceptionMessage = standIn->Message().c_str();
  }
  TCurrentRecordScope scope(local);
  run();
  standIn.reset();
  EventState().Current.ExceptionObject = nullptr;
  if (seams.ReleaseDialogState) seams.ReleaseDialogState();
}

TStrings* LoggerList(TQuelbaEvent event) {
  switch (event) {
    case TQuelbaEvent::CustomDataRequest: return &EventState().CustomData;
    case TQuelbaEvent::AttachedFilesRequest: return &EventState().AttachedFiles;
    case TQuelbaEvent::CustomWebFieldsRequest: return &EventState().WebFields;
    default: return nullptr;
  }
}

}  // namespace

bool EnterFlagEvent(const TQuelbaExceptionRecord* record, TQuelbaEvent event, bool flag) {
  RunEntered(record, [&] { RunFlagEvent(event, flag); });
  return flag;
}

void EnterValueEvent(const TQuelbaExceptionRecord* record, TQuelbaEvent event, int value, void* pointer) {
  RunEntered(record, [&] { RunValueEvent(event, value, pointer); });
}

void EnterListEvent(const TQuelbaExceptionRecord* record, TQuelbaEvent event, const TQuelbaLineArray* lines) {
  TStrings* list = LoggerList(event);
  if (!list) return;
  if (lines) CopyLines(*lines, *list);
  RunEntered(record, [&] { RunListEvent(event, *list); });
}

void EnterPasswordEvent(const TQuelbaExceptionRecord* record, char* buffer, int size) {
  RunEntered(record, [&] { RequestPasswordLocal(buffer, size); });
}

TQuelbaModuleOptions* CheckedCurrentOptions(bool listExists, TQuelbaModuleOptions* options,
                                            const std::string& moduleFile) {
  if (listExists && options) return options;
  throw EAssertionFailed(
      "\r\nCannot use 'CurrentQuelbaLogOptions' function in module \"" + moduleFile +
      "\" without activate QuelbaLog.\r\nTo activate QuelbaLog use the new IDE \"Project/QuelbaLog Options...\" menu.");
}

}  // namespace exclog
