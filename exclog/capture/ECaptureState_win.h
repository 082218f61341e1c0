#pragma once
// The capture state the start-up unit and the routes below it share: the per-thread
// logger block, the dispatch lock, the excluded threads and the address-space
// reserve. The start-up unit sets them up and takes them down; the raise routes and
// the dispatcher use them.
#include <windows.h>

#include <cstdint>
#include <mutex>

namespace exclog {

// Per-thread logger block (one per thread, zeroed when the thread first asks).
struct TLoggerThreadBlock {
  char ExceptionClass[65];      // short string: at most 64 characters
  uintptr_t ExceptionAddress;
  uint32_t SavedFrame[3];       // frame and stack values of the last raise
  uint8_t Context[204];         // processor context without extended registers
  uint8_t Record[80];           // exception record
  bool DispatchBusy;
  bool RaiseReentry;
};
TLoggerThreadBlock& ThreadBlock();

// The calling thread is one of the logger's own (report thread, watchdog): the
// exceptions its catches handle are never reported.
void MarkLoggerThread();
bool IsLoggerThread();

// The 5 MB reserve that a dispatch releases while it runs; null when not reserved.
void* AddressSpaceReserve();
// A dispatch gives the address-space reserve back while it runs and takes it again after.
void ReleaseAddressSpaceReserve();
void RestoreAddressSpaceReserve();
// The start wants the reserve held, the stop no longer (Restore then takes none).
void SetAddressSpaceReserveWanted(bool wanted);

// The dispatch lock: re-entrant, held for a whole report.
std::recursive_mutex& DispatchLock();
// Takes the dispatch lock for a report; when another thread holds it, counts the
// wait first, so a test can see a second report waiting instead of guessing.
std::unique_lock<std::recursive_mutex> TakeDispatchLock();
// How many reports found the dispatch lock held and waited for it.
int DispatchLockWaits();
// Taken inside the dispatch lock around the walker's stack cache.
std::mutex& StackCacheLock();

// Threads taken out of dispatch while a report runs; the stop waits (bounded) for
// the calling thread to be let go.
bool CurrentThreadExcluded();
void ExcludeThread(DWORD threadId);
void IncludeThread(DWORD threadId);
void ClearExcludedThreads();

}  // namespace exclog
