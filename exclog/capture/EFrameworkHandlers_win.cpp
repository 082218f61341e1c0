#include "exclog/capture/EFrameworkHandlers_win.h"

#include <windows.h>

#include <atomic>

#include "classlib/Forms_win.h"
#include "exclog/capture/EEventCall.h"
#include "exclog/capture/EThrow_win.h"
#include "exclog/core/ExceptionLog.h"
#include "exclog/hooks/EHook.h"

namespace exclog {

namespace {

using THandleExceptionCode = void(__attribute__((thiscall)) *)(TApplication* self, TObject* sender);
using TShowExceptionCode = void(__attribute__((thiscall)) *)(TApplication* self, Exception* error);

std::atomic<THandleExceptionCode> handleOriginal{nullptr};
std::atomic<TShowExceptionCode> showOriginal{nullptr};
std::atomic<int> insideHandleException{0};

// Offers the exception to the logger: true when the framework should go on with
// its own handling. A failure inside the logger leaves the framework to it.
bool OfferToLogger(const TLoggedException& e) {
  try {
    return ExceptionManager(e);
  } catch (...) {
    return true;
  }
}

// Runs inside the message loop's catch block, so the exception being handled is the
// current one.
void __attribute__((thiscall)) HandleExceptionReplacement(TApplication* self, TObject* sender) {
  TProgramEntry entry(reinterpret_cast<uintptr_t>(__builtin_frame_address(0)));
  // A handler call waiting for the main thread must never be swallowed: the
  // framework handles this one as it would without the logger.
  if (!EventRequestPending() && !OfferToLogger(CurrentCppException(1))) return;
  THandleExceptionCode original = handleOriginal.load();
  if (!original) return;
  insideHandleException = -1;
  try {
    original(self, sender);
  } catch (...) {
    insideHandleException = 0;
    throw;
  }
  insideHandleException = 0;
}

void __attribute__((thiscall)) ShowExceptionReplacement(TApplication* self, Exception* error) {
  TProgramEntry entry(reinterpret_cast<uintptr_t>(__builtin_frame_address(0)));
  // Inside the original HandleException the logger was asked already.
  if (!EventRequestPending() && insideHandleException == 0) {
    TLoggedException e = CurrentCppException(1);
    if (error) {
      e.Object = error;
      e.ClassName = error->ClassName();
      e.Message = error->Message();
      e.Abort = error->InheritsFrom(EAbort::StaticClass());
    }
    if (!OfferToLogger(e)) return;
  }
  if (TShowExceptionCode original = showOriginal.load()) original(self, error);
}

}  // namespace

int PatchApplicationHandlers(void* handleException, void* showException) {
  int patched = 0;
  try {
    if (handleException) {
      handleOriginal = reinterpret_cast<THandleExceptionCode>(HookRoutine(
          handleException, reinterpret_cast<void*>(&HandleExceptionReplacement), "TApplication.HandleException"));
      ++patched;
    }
    if (showException) {
      showOriginal = reinterpret_cast<TShowExceptionCode>(HookRoutine(
          showException, reinterpret_cast<void*>(&ShowExceptionReplacement), "TApplication.ShowException"));
      ++patched;
    }
  } catch (...) {
    // A method that cannot be patched is left alone.
  }
  return patched;
}

int InsideHandleException() { return insideHandleException; }

}  // namespace exclog
