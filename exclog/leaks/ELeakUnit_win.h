#pragma once
// The collector as a unit of the program: its start installs the wrapper over the
// class library's memory table when the module's logger data asks for it; its
// stop, the last of all, hands the leaks to the logger and puts the previous
// allocation back.
#include "exclog/leaks/ELeakProcess.h"

namespace exclog {

// What the logger hands the collector at its start-up: the report of each leak,
// the overrun and double-free reports, the guarded runner for the shut-down steps
// (one that catches hardware faults), and what to run after the report.
struct TLeakLoggerSeam {
  void (*Begin)() = nullptr;
  void (*Leak)(const TLeakEntry& leak) = nullptr;
  void (*End)() = nullptr;
  TLeakErrorHook OnError = nullptr;
  bool (*Guarded)(void (*step)(void* context), void* context) = nullptr;
  void (*Finished)() = nullptr;
};
void SetLeakLoggerSeam(const TLeakLoggerSeam& seam);

// Where the collector's messages go; the default shows a warning box titled "Error".
using TLeakMessageSink = void (*)(const char* text);
TLeakMessageSink SetLeakMessageSink(TLeakMessageSink sink);
// Shows `text` through the sink (the collector's and the leak report's boxes).
void ShowLeakMessage(const char* text);
// The process-wide switch under which the collector's start-up and foreign-manager
// messages show: 1 shows them; it starts at 2.
void SetLeakMessageSwitch(int value);

// Runs one step of the shut-down pass inside a hand-built exception frame: a C++
// exception or a hardware fault in it (g++ has no __try, and catch (...) never
// sees faults) ends the step, and the result says whether it finished.
bool GuardedLeakStep(void (*step)(void* context), void* context);

// The stack capture of the running program: the allocating thread's stack up to its top.
void CaptureThreadStacks(TLeakHeader& header, const uintptr_t* position, const uintptr_t* frame);
// The lock's back-off: the rest of the time slice to another thread.
void YieldThread();

// While one lives on a thread, that thread allocates for the logger itself (its
// start-up, its reports, its stop): those blocks come from the previous manager
// unrecorded, so the logger's own state never shows as a leak of the program.
// Nests; at most a few threads at once, the rest stay recorded.
class TLeakOwnAllocations {
 public:
  TLeakOwnAllocations();
  ~TLeakOwnAllocations();
  TLeakOwnAllocations(const TLeakOwnAllocations&) = delete;
  TLeakOwnAllocations& operator=(const TLeakOwnAllocations&) = delete;

 private:
  int slot_ = -1;
};

void LeakUnitStart();
void LeakUnitStop();

}  // namespace exclog
