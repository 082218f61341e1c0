#pragma once
// The freeze watchdog: a thread that probes the main thread's window and, when it
// has not answered for the options' time-out, reports EFrozenApplication at the
// main thread's current instruction.
#include <windows.h>

#include <cstdint>

#include "classlib/SysUtils.h"
#include "classlib/Threads.h"

namespace exclog {

VELMORA_EXCEPTION(EFrozenApplication, Exception)

class TFreezeThread : public TThread {
  VELMORA_CLASS(TFreezeThread, TThread)

 public:
  TFreezeThread();
  ~TFreezeThread() override;

 protected:
  void Execute() override;
};

// The main thread the watchdog stops and reports: the start-up's duplicated handle
// (kept open until after StopFreezeWatch) and its id.
void SetFreezeMainThread(HANDLE thread, DWORD threadId);

// Starts the watchdog unless one runs, one is starting, the program's options have
// it off, or this is the design-time host.
void StartFreezeWatch();
// Ends the watchdog and waits for it.
void StopFreezeWatch();
bool FreezeWatchRunning();

// Freeze reports dispatched, and freezes seen but not reported (another report held
// the dispatch lock, or the main thread's registers could not be read).
int FreezeReportCount();
int FreezeSkipCount();

}  // namespace exclog
