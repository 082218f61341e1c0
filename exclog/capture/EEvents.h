#pragma once
// The logger's event handlers: the registry of logger components and global
// procedures, the current exception record the handlers see, the flags and lists
// they share with the report, and the cross-module layouts the exported event
// entries take. A library built with the logger links its own class library and
// run-time, so nothing crossing modules is a class: texts are zero-ended pointers,
// lists are line arrays.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "classlib/Classes.h"
#include "classlib/Components.h"

namespace exclog {

class TQuelbaModuleOptions;

// --- Cross-module layouts -----------------------------------------------------

// The exception under report, as handed between modules: nine machine words.
struct TQuelbaExceptionRecord {
  void* ExceptionObject = nullptr;       // class-library object of the raising module
  void* ExceptionAddress = nullptr;
  const char* ExceptionClass = nullptr;  // zero-ended
  const char* ExceptionMessage = nullptr;
  void* ExceptionModule = nullptr;       // module handle holding the address
  void* ModulesList = nullptr;           // the receiving module's own list
  void* ModuleInfo = nullptr;            // its record of ExceptionModule, or null
  uint32_t ThreadId = 0;
  const char* BugReport = nullptr;       // the report text so far, zero-ended
};
static_assert(sizeof(TQuelbaExceptionRecord) == 9 * sizeof(void*), "nine machine words");

// A string list as handed between modules: `Count` zero-ended lines.
struct TQuelbaLineArray {
  int32_t Count = 0;
  const char* const* Lines = nullptr;
};
static_assert(sizeof(TQuelbaLineArray) == 2 * sizeof(void*), "two machine words");

// --- Event signatures ---------------------------------------------------------

class TQuelbaLogger;
using TFlagEvent = std::function<void(TQuelbaLogger* sender, const TQuelbaExceptionRecord& record, bool& flag)>;
using TNotifyValueEvent =
    std::function<void(TQuelbaLogger* sender, const TQuelbaExceptionRecord& record, int value, void* pointer)>;
using TPasswordEvent =
    std::function<void(TQuelbaLogger* sender, const TQuelbaExceptionRecord& record, std::string& password)>;
using TListEvent = std::function<void(TQuelbaLogger* sender, const TQuelbaExceptionRecord& record, TStrings& list)>;

// The nine events.
enum class TQuelbaEvent {
  ExceptionNotify,
  HandledExceptionNotify,
  ExceptionActionNotify,
  ExceptionErrorNotify,
  PasswordRequest,
  CustomDataRequest,
  AttachedFilesRequest,
  CustomWebFieldsRequest,
  CustomButtonClick,
};

// A logger component: the application's way of taking part in a report. It is in
// the registry (LogList) from construction to destruction.
class TQuelbaLogger : public TComponent {
  VELMORA_CLASS(TQuelbaLogger, TComponent)

 public:
  explicit TQuelbaLogger(TComponent* owner = nullptr);
  ~TQuelbaLogger() override;

  TFlagEvent OnExceptionNotify;         // flag: handle it
  TFlagEvent OnHandledExceptionNotify;  // flag: handle it
  TNotifyValueEvent OnExceptionActionNotify;
  TNotifyValueEvent OnExceptionErrorNotify;
  TPasswordEvent OnPasswordRequest;
  TListEvent OnCustomDataRequest;
  TListEvent OnAttachedFilesRequest;
  TListEvent OnCustomWebFieldsRequest;
  TFlagEvent OnCustomButtonClick;  // flag: close the dialog
};

// The registered components, first constructed first.
class TQuelbaLogList {
 public:
  int Count() const { return static_cast<int>(items_.size()); }
  TQuelbaLogger* Items(int index) const { return items_.at(static_cast<size_t>(index)); }
  void Add(TQuelbaLogger* logger) { items_.push_back(logger); }
  void Remove(TQuelbaLogger* logger);
  bool Contains(const TQuelbaLogger* logger) const;
  std::vector<TQuelbaLogger*> Snapshot() const { return items_; }

 private:
  std::vector<TQuelbaLogger*> items_;
};
TQuelbaLogList& LogList();

// The global procedures, one per event: the same values without a sender.
struct TQuelbaGlobalEvents {
  std::function<void(const TQuelbaExceptionRecord&, bool&)> ExceptionNotify;
  std::function<void(const TQuelbaExceptionRecord&, bool&)> HandledExceptionNotify;
  std::function<void(const TQuelbaExceptionRecord&, int, void*)> ExceptionActionNotify;
  std::function<void(const TQuelbaExceptionRecord&, int, void*)> ExceptionErrorNotify;
  std::function<void(const TQuelbaExceptionRecord&, std::string&)> PasswordRequest;
  std::function<void(const TQuelbaExceptionRecord&, TStrings&)> CustomDataRequest;
  std::function<void(const TQuelbaExceptionRecord&, TStrings&)> AttachedFilesRequest;
  std::function<void(const TQuelbaExceptionRecord&, TStrings&)> CustomWebFieldsRequest;
  std::function<void(const TQuelbaExceptionRecord&, bool&)> CustomButtonClick;
};
TQuelbaGlobalEvents& GlobalEvents();

// --- State shared with the handlers --------------------------------------------

struct TEventState {
  TQuelbaExceptionRecord Current;  // the record the handlers see
  bool HandleIt = true;            // exception notify and handled-exception notify
  bool CloseDialog = false;        // custom button click
  std::string Password;
  TStringList CustomData;
  TStringList AttachedFiles;
  TStringList WebFields;
};
TEventState& EventState();

// Installs `record` as current for its lifetime and restores the one before.
class TCurrentRecordScope {
 public:
  explicit TCurrentRecordScope(const TQuelbaExceptionRecord& record);
  ~TCurrentRecordScope();
  TCurrentRecordScope(const TCurrentRecordScope&) = delete;
  TCurrentRecordScope& operator=(const TCurrentRecordScope&) = delete;

 private:
  TQuelbaExceptionRecord backup_;
};

// --- Local runners: components last to first, then the global procedure --------

// Each runs the handlers with the current record. A flag or value no handler
// changes stays as it came in.
void RunFlagEvent(TQuelbaEvent event, bool& flag);  // the notify events and custom button
void RunValueEvent(TQuelbaEvent event, int value, void* pointer);  // action and error notify
void RunPasswordEvent(std::string& password);
void RunListEvent(TQuelbaEvent event, TStrings& list);  // custom data, attached files, web fields

// The exported entry of an event, by which another module's logger is reached.
const char* EventExportName(TQuelbaEvent event);

// Copies the caller's lines into `list` (replacing it). Null lines are empty.
void CopyLines(const TQuelbaLineArray& lines, TStrings& list);

// --- Exported event entries -------------------------------------------------------

// Services of the module list and the dialog; null members do nothing.
struct TEventEntrySeams {
  void* (*OwnModulesList)() = nullptr;          // this module's list, for the record
  void* (*ModuleInfoOf)(void* module) = nullptr;  // this module's record of `module`, or null
  // After an event handed in by another module: the report dialog drops what it
  // read of the options before and takes them in as the handlers left them.
  void (*ReleaseDialogState)() = nullptr;
  // After an event ran for the report: the dialog shows what its handlers changed.
  void (*RefreshDialogState)() = nullptr;
  // True when `object` is another module's object: its class name and message,
  // read without calling it.
  bool (*DescribeForeignObject)(const void* object, std::string& className, std::string& message) = nullptr;
};
TEventEntrySeams& EventEntrySeams();

// An event handed in by another module: `record` (null: the current one) is
// installed as current, with this module's list and module record, for the run of
// the local handlers; another module's exception object is replaced for the run by
// a local Exception carrying its message (the class name in the record's text); the record before is restored afterwards. Flag events return
// the flag as the handlers left it; list events copy the caller's lines into the
// logger's own list first and hand nothing back.
bool EnterFlagEvent(const TQuelbaExceptionRecord* record, TQuelbaEvent event, bool flag);
void EnterValueEvent(const TQuelbaExceptionRecord* record, TQuelbaEvent event, int value, void* pointer);
void EnterListEvent(const TQuelbaExceptionRecord* record, TQuelbaEvent event, const TQuelbaLineArray* lines);
void EnterPasswordEvent(const TQuelbaExceptionRecord* record, char* buffer, int size);

// --- Password --------------------------------------------------------------------

// The zero-ended text in `buffer`, read no further than `size` bytes.
std::string BufferText(const char* buffer, int size);
// Writes `password` into `buffer`, cut to `size` - 1 characters and zero-ended;
// nothing for a null buffer or a size of 0 or less.
void CopyPasswordBack(const std::string& password, char* buffer, int size);
// The local password request: the buffer's text becomes the password, the
// handlers run, the result is copied back.
void RequestPasswordLocal(char* buffer, int size);

// --- Options of the running module ----------------------------------------------

// `options` when the module list exists and the module has options; else raises
// EAssertionFailed naming `moduleFile`.
TQuelbaModuleOptions* CheckedCurrentOptions(bool listExists, TQuelbaModuleOptions* options,
                                            const std::string& moduleFile);

}  // namespace exclog
