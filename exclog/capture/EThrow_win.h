#pragma once
// The throw recorder and the terminate route. The link wraps __cxa_throw and
// __cxa_end_catch (see velmora_link_logger in exclog/CMakeLists.txt); the wrapper
// only records the throw on the throwing thread and throws on, it never reports.
// A throw that nothing catches ends in std::terminate, where the logger's route
// reports it with the recorded throw site.
#include <windows.h>

#include <cstdint>
#include <string>
#include <typeinfo>
#include <vector>

#include "exclog/core/ExceptionLog.h"

namespace exclog {

class TQuelbaModuleOptions;

struct TThrowRecord {
  std::string ClassName;     // class record name for our classes, demangled type otherwise
  std::string Message;       // what() when the object is a std::exception
  void* Object = nullptr;    // the thrown object
  uintptr_t Site = 0;        // return address of the throw call
  uintptr_t FramePointer = 0;
  uintptr_t StackPointer = 0;
  std::vector<uint8_t> Stack;  // from StackPointer upward, at most StackCopyLimit bytes
  bool Pending = false;      // thrown and not yet caught to the end
};

constexpr size_t StackCopyLimit = 64 * 1024;

// The calling thread's last recorded throw.
TThrowRecord LastThrowRecord();

struct TDispatchRequest;
// When the request's exception is this thread's pending recorded throw: its
// registers at the throw and the stack copy go into `request` (a raise stack
// source for the dispatcher); true then.
bool RecordedThrowStack(TDispatchRequest& request);
// Throws recorded in the whole process.
int ThrowRecordCount();
// Whether the wrapper records (the ExceptionLog unit switches it on and off).
void SetThrowRecording(bool on);
bool ThrowRecording();

// Class name of a thrown object: the class record's name when `type` derives from
// TObject, else the demangled type name.
std::string ThrownClassName(void* object, const std::type_info* type);

// Describes the exception being handled (inside a catch block or terminate): class,
// message, and the calling thread's recorded throw site.
TLoggedException CurrentCppException(int mode);

// Handled reports: the options whose CatchFlags bit 8 asks for a report of every
// exception a catch handles to its close (null: none).
void SetHandledReportOptions(const TQuelbaModuleOptions* options);

// The terminate route: raise handling of the exception being handled, then a thread
// other than the main one ends with 1 through the ExitThread hook (the program goes
// on); the main thread ends the process with 1. An exception whose object and
// address equal those of the last report is not reported again.
// Installs the terminate handler (keeping the previous one) / puts the previous back.
void InstallTerminateRoute();
void RemoveTerminateRoute();
// The thread hooks stand above the throw route: their unit hands down its ExitThread
// hook as the program starts. Until then a thread other than the main one ends
// through the system's ExitThread.
void SetThreadExitRoute(decltype(&::ExitThread) exitThread);

}  // namespace exclog
