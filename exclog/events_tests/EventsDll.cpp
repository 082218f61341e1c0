// Stands in for a library built with the logger: it reaches the program's logger
// through the program's exported routines, and exports the event entries the
// program's logger calls first when an exception of this library is reported. It
// links its own class library, so its objects are foreign to the program.
#include <windows.h>

#include <cstdint>
#include <string>

#include "classlib/SysUtils.h"
#include "exclog/capture/EEvents.h"
#include "exclog/debuginfo/ELists.h"

#define DLL_EXPORT extern "C" __declspec(dllexport)
#define QUELBA_ENTRY __attribute__((regparm(3)))

using exclog::TQuelbaExceptionRecord;
using exclog::TQuelbaThreadInfo;

VELMORA_EXCEPTION(EDllFault, Exception)

namespace {

using TTrace = void (*)(const char* line);
TTrace trace = nullptr;
int notifyAnswer = -1;  // -1: leave the flag, else set it to this
HANDLE go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
bool exitThroughLogger = false;

template <class Proc>
Proc ProgramExport(const char* name) {
  return reinterpret_cast<Proc>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA(nullptr), name)));
}

void Trace(const std::string& line) {
  if (trace) trace(line.c_str());
}

std::string Text(const char* text) { return text ? text : "(null)"; }

DWORD WINAPI Waiter(void*) {
  WaitForSingleObject(go, INFINITE);
  if (exitThroughLogger) ProgramExport<void(QUELBA_ENTRY*)()>("QuelbaLog_CallExitThread")();
  return 0;
}

// Steps of the thread that says it ends without being listed: told to call, it
// calls, says so, and waits to be let go.
HANDLE callNow = CreateEventA(nullptr, FALSE, FALSE, nullptr);
HANDLE called = CreateEventA(nullptr, FALSE, FALSE, nullptr);
HANDLE letGo = CreateEventA(nullptr, FALSE, FALSE, nullptr);

DWORD WINAPI UnknownExit(void*) {
  WaitForSingleObject(callNow, INFINITE);
  ProgramExport<void(QUELBA_ENTRY*)()>("QuelbaLog_CallExitThread")();
  SetEvent(called);
  WaitForSingleObject(letGo, INFINITE);
  return 0;
}

}  // namespace

// --- The event entries the program's logger forwards to --------------------------

DLL_EXPORT QUELBA_ENTRY uint8_t QuelbaLog_ExceptionNotifyEvent(const TQuelbaExceptionRecord* record, uint8_t* handle) {
  Trace("dll notify " + Text(record->ExceptionClass) + ": " + Text(record->ExceptionMessage));
  if (notifyAnswer >= 0) *handle = static_cast<uint8_t>(notifyAnswer);
  return *handle;
}

DLL_EXPORT QUELBA_ENTRY void QuelbaLog_ExceptionActionNotifyEvent(const TQuelbaExceptionRecord*, int action, void*) {
  Trace("dll action " + std::to_string(action));
}

DLL_EXPORT QUELBA_ENTRY void QuelbaLog_PasswordRequestEventEx(const TQuelbaExceptionRecord*, char* buffer, int size) {
  std::string answer = std::string(buffer) + "dll-secret";
  lstrcpynA(buffer, answer.c_str(), size);
}

// --- Driven by the tests ------------------------------------------------------------

DLL_EXPORT void EventsDll_SetTrace(TTrace to) { trace = to; }
DLL_EXPORT void EventsDll_SetNotifyAnswer(int answer) { notifyAnswer = answer; }

// An exception of this library, caught here and handed to the program's logger as
// the library's handler does.
DLL_EXPORT uint8_t EventsDll_Fault() {
  try {
    throw EDllFault("disk gone");
  } catch (EDllFault& e) {
    auto manager = ProgramExport<uint8_t(QUELBA_ENTRY*)(const void*, uintptr_t, int, void*)>("ExceptionManager");
    return manager(static_cast<TObject*>(&e), reinterpret_cast<uintptr_t>(&EventsDll_Fault), 0,
                   GetModuleHandleA("events_dll.dll"));
  }
}

// The program's exception-notify entry with a record of this library's object.
DLL_EXPORT uint8_t EventsDll_NotifyProgram(uint8_t handle) {
  EDllFault fault("from the library");
  TQuelbaExceptionRecord record;
  record.ExceptionObject = static_cast<TObject*>(&fault);
  record.ExceptionClass = "EDllFault";
  record.ExceptionMessage = "record text";
  auto notify = ProgramExport<uint8_t(QUELBA_ENTRY*)(const TQuelbaExceptionRecord*, uint8_t*)>(
      "QuelbaLog_ExceptionNotifyEvent");
  return notify(&record, &handle);
}

DLL_EXPORT uint8_t EventsDll_CustomButtonProgram(uint8_t close) {
  TQuelbaExceptionRecord record;
  auto click = ProgramExport<uint8_t(QUELBA_ENTRY*)(const TQuelbaExceptionRecord*, uint8_t*)>(
      "QuelbaLog_CustomButtonClickEvent");
  return click(&record, &close);
}

// A thread of this library, waiting until EventsDll_EndThread.
DLL_EXPORT HANDLE EventsDll_StartThread(DWORD* id) {
  ResetEvent(go);
  return CreateThread(nullptr, 0, &Waiter, nullptr, 0, id);
}

DLL_EXPORT void EventsDll_EndThread(HANDLE thread, bool throughLogger) {
  exitThroughLogger = throughLogger;
  SetEvent(go);
  WaitForSingleObject(thread, INFINITE);
}

// A thread that will say it ends: started (0), told to call (1), let go (2).
DLL_EXPORT HANDLE EventsDll_UnknownThreadStep(int step, DWORD* id) {
  if (step == 0) return CreateThread(nullptr, 0, &UnknownExit, nullptr, 0, id);
  SignalObjectAndWait(step == 1 ? callNow : letGo, step == 1 ? called : GetCurrentThread(), step == 1 ? INFINITE : 0,
                      FALSE);
  return nullptr;
}

DLL_EXPORT void EventsDll_CreateRecord(const TQuelbaThreadInfo* record) {
  ProgramExport<void(QUELBA_ENTRY*)(const TQuelbaThreadInfo*)>("QuelbaLog_CallCreateThread")(record);
}

DLL_EXPORT void EventsDll_ResumeRecord(uint32_t handle, const TQuelbaThreadInfo* record) {
  ProgramExport<void(QUELBA_ENTRY*)(uint32_t, const TQuelbaThreadInfo*)>("QuelbaLog_CallResumeThread")(handle, record);
}
