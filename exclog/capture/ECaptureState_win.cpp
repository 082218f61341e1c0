#include "exclog/capture/ECaptureState_win.h"

#include <algorithm>
#include <atomic>
#include <vector>

namespace exclog {

namespace {
thread_local bool loggerThread = false;
}  // namespace

void MarkLoggerThread() { loggerThread = true; }
bool IsLoggerThread() { return loggerThread; }

namespace {

constexpr SIZE_T AddressSpaceReserveSize = 0x500000;

void* addressSpaceReserve = nullptr;
bool reserveWanted = false;
std::mutex reserveLock;
std::mutex stackCacheLock;

// The dispatch lock: held for a whole report; the stop waits on it.
std::recursive_mutex dispatchLock;

std::mutex excludedLock;
std::vector<DWORD> excludedThreads;

thread_local TLoggerThreadBlock threadBlock{};

}  // namespace

TLoggerThreadBlock& ThreadBlock() { return threadBlock; }

void* AddressSpaceReserve() { return addressSpaceReserve; }

void ReleaseAddressSpaceReserve() {
  std::lock_guard<std::mutex> lock(reserveLock);
  if (addressSpaceReserve) VirtualFree(addressSpaceReserve, 0, MEM_RELEASE);
  addressSpaceReserve = nullptr;
}

void RestoreAddressSpaceReserve() {
  std::lock_guard<std::mutex> lock(reserveLock);
  if (!addressSpaceReserve && reserveWanted)
    addressSpaceReserve = VirtualAlloc(nullptr, AddressSpaceReserveSize, MEM_RESERVE, PAGE_NOACCESS);
}

void SetAddressSpaceReserveWanted(bool wanted) { reserveWanted = wanted; }

std::recursive_mutex& DispatchLock() { return dispatchLock; }

namespace {
std::atomic<int> dispatchLockWaits{0};
}

std::unique_lock<std::recursive_mutex> TakeDispatchLock() {
  std::unique_lock<std::recursive_mutex> lock(dispatchLock, std::try_to_lock);
  if (!lock) {
    dispatchLockWaits.fetch_add(1);
    lock.lock();
  }
  return lock;
}

int DispatchLockWaits() { return dispatchLockWaits.load(); }
std::mutex& StackCacheLock() { return stackCacheLock; }

bool CurrentThreadExcluded() {
  std::lock_guard<std::mutex> lock(excludedLock);
  return std::find(excludedThreads.begin(), excludedThreads.end(), GetCurrentThreadId()) != excludedThreads.end();
}

void ExcludeThread(DWORD threadId) {
  std::lock_guard<std::mutex> lock(excludedLock);
  excludedThreads.push_back(threadId);
}

void IncludeThread(DWORD threadId) {
  std::lock_guard<std::mutex> lock(excludedLock);
  auto it = std::find(excludedThreads.begin(), excludedThreads.end(), threadId);
  if (it != excludedThreads.end()) excludedThreads.erase(it);
}

void ClearExcludedThreads() {
  std::lock_guard<std::mutex> lock(excludedLock);
  excludedThreads.clear();
}

}  // namespace exclog
