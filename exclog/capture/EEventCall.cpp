#include "exclog/capture/EEventCall.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "exclog/core/EGuard.h"

namespace exclog {

namespace {

struct TEventRequest {
  std::function<void()> Routine;
  std::atomic<bool> Taken{false};
  std::atomic<bool> Done{false};
};

// The process-wide request slot. `changed` wakes whoever waits on it: a request
// placed, done or withdrawn, or the waiting thread's report over. Waking at once
// instead of polling matters: a report calls several handlers, each handed over.
std::mutex slotLock;
std::condition_variable changed;
std::shared_ptr<TEventRequest> slot;
uint64_t wakes = 0;

bool Ask(bool (*seam)()) { return seam != nullptr && seam(); }

void NoteFault(const std::string& text) {
  if (TInternalErrorHandler handler = GetInternalErrorHandler()) handler("Event handler: " + text);
}

void RunReporting(const std::function<void()>& routine) {
  if (auto shield = EventCallSeams().Shield) {
    std::string fault;
    auto run = [](void* data) { (*static_cast<const std::function<void()>*>(data))(); };
    if (!shield(run, const_cast<std::function<void()>*>(&routine), fault)) NoteFault(fault);
    return;
  }
  try {
    routine();
  } catch (const std::exception& e) {
    NoteFault(e.what());
  } catch (...) {
    NoteFault("General internal error.");
  }
}

// Puts `request` into the free slot, waiting for it in 10 ms steps. False when the
// wait ended first.
bool Place(const std::shared_ptr<TEventRequest>& request, std::chrono::steady_clock::time_point deadline,
           bool needThread) {
  while (true) {
    {
      std::unique_lock<std::mutex> lock(slotLock);
      if (!slot) {
        slot = request;
        changed.notify_all();
        return true;
      }
      if (std::chrono::steady_clock::now() >= deadline) return false;
      // Woken when the slot frees; the 10 ms bound re-checks the thread below.
      changed.wait_for(lock, std::chrono::milliseconds(10));
      if (!slot) continue;
    }
    if (needThread && !Ask(EventCallSeams().ExceptionThreadExists)) return false;
  }
}

void Release(const std::shared_ptr<TEventRequest>& request) {
  std::lock_guard<std::mutex> lock(slotLock);
  if (slot == request) slot.reset();
  changed.notify_all();
}

void MarkDone(const std::shared_ptr<TEventRequest>& request) {
  std::lock_guard<std::mutex> lock(slotLock);
  request->Done = true;
  changed.notify_all();
}

}  // namespace

TEventCallSeams& EventCallSeams() {
  static TEventCallSeams seams;
  return seams;
}

bool CallEventHandler(const std::function<void()>& routine, std::chrono::milliseconds bound) {
  const TEventCallSeams& seams = EventCallSeams();
  if (Ask(seams.ShuttingDown) || !routine) return false;
  auto deadline = std::chrono::steady_clock::now() + bound;
  auto request = std::make_shared<TEventRequest>();
  request->Routine = routine;
  bool ran = false;
  if (Ask(seams.ExceptionThreadExists) && !Ask(seams.OnExceptionThread)) {
    if (Place(request, deadline, true)) {
      while (!request->Done.load()) {
        // Bounded, and over as soon as the thread that would serve it is gone.
        if (!Ask(seams.ExceptionThreadExists) || std::chrono::steady_clock::now() >= deadline) break;
        std::unique_lock<std::mutex> lock(slotLock);
        changed.wait_for(lock, std::chrono::milliseconds(10), [&] { return request->Done.load(); });
      }
      ran = request->Done.load();
      Release(request);  // withdraws a request nobody took
    }
  } else {
    // Marked busy while it runs, so a hand-off from another thread waits for it.
    request->Taken = true;
    if (Place(request, deadline, false)) {
      RunReporting(routine);
      MarkDone(request);
      Release(request);
      ran = true;
    }
  }
  if (seams.ResetEventState) seams.ResetEventState();
  if (seams.ReloadOptions) seams.ReloadOptions();
  return ran;
}

bool EventRequestPending() {
  std::lock_guard<std::mutex> lock(slotLock);
  return slot && !slot->Taken.load();
}

bool ServeEventRequest() {
  std::shared_ptr<TEventRequest> request;
  {
    std::lock_guard<std::mutex> lock(slotLock);
    if (!slot || slot->Taken.load()) return false;
    request = slot;
    request->Taken = true;
  }
  RunReporting(request->Routine);
  MarkDone(request);
  Release(request);
  return true;
}

bool WaitForEventRequest(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(slotLock);
  const uint64_t seen = wakes;
  return changed.wait_for(lock, timeout, [&] { return wakes != seen || (slot && !slot->Taken.load()); }) &&
         wakes == seen;
}

void WakeEventWaiter() {
  std::lock_guard<std::mutex> lock(slotLock);
  ++wakes;
  changed.notify_all();
}

}  // namespace exclog
