#pragma once
// Running the application's logger event handlers. While a report is being built on
// the logger's exception thread, a handler called from another thread is handed to
// that thread and the caller waits, so handlers always see the report's thread
// state. The wait is bounded and ends when the exception thread ends.
#include <chrono>
#include <functional>
#include <string>

namespace exclog {

// Services of the logger's start-up and dispatch; null members mean "no" / nothing.
struct TEventCallSeams {
  bool (*ShuttingDown)() = nullptr;           // the logger is stopping: handlers are skipped
  bool (*ExceptionThreadExists)() = nullptr;  // a report thread is alive
  bool (*OnExceptionThread)() = nullptr;      // the caller is that thread
  void (*ResetEventState)() = nullptr;        // after each call
  void (*ReloadOptions)() = nullptr;          // a handler may have changed the options
  // Runs `routine(data)` so that a fault in it (a hardware one too) ends only the
  // routine: false then, with `fault` saying what happened. Null: a C++ catch-all.
  bool (*Shield)(void (*routine)(void*), void* data, std::string& fault) = nullptr;
};

TEventCallSeams& EventCallSeams();

// Runs `routine` on the right thread (see above). Returns whether it ran; false when
// the logger is shutting down or the wait ended first (bound passed or exception
// thread gone). A fault or exception in the routine ends the routine only and goes
// to the internal-error handler.
bool CallEventHandler(const std::function<void()>& routine,
                      std::chrono::milliseconds bound = std::chrono::seconds(120));

// Whether a handler call waits in the slot for the exception thread to run it.
bool EventRequestPending();

// Called by the exception thread while it waits: runs the pending request, if any.
// Returns whether one ran. Never throws.
bool ServeEventRequest();

// The exception thread's wait between ServeEventRequest calls: over as soon as a
// request is pending (true), at WakeEventWaiter or after `timeout` (false).
bool WaitForEventRequest(std::chrono::milliseconds timeout);
// Ends the current WaitForEventRequest (the report it waits on is over).
void WakeEventWaiter();

}  // namespace exclog
