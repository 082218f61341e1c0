#include "exclog/core/EGuard.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <exception>

namespace exclog {

namespace {
std::atomic<TInternalErrorHandler> internalErrorHandler{nullptr};
}

TInternalErrorHandler SetInternalErrorHandler(TInternalErrorHandler handler) {
  return internalErrorHandler.exchange(handler);
}

TInternalErrorHandler GetInternalErrorHandler() { return internalErrorHandler.load(); }

std::string AddressText(const void* address) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%08llX",
                static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(address)));
  return buffer;
}

void RunGuarded(TGuardedRoutine routine, const std::string& name) {
  std::string message;
  try {
    routine();
    return;
  } catch (const EIgnoreException&) {
    throw;
  } catch (const std::exception& e) {
    message = e.what();
  } catch (...) {
    message = "General internal error.";
  }
  if (TInternalErrorHandler handler = GetInternalErrorHandler()) {
    handler(name + " (Address: " + AddressText(reinterpret_cast<const void*>(routine)) + ")");
    return;
  }
  throw Exception("Critical error at: \"" + name + "\"\r\nError: \"" + message + "\".");
}

}  // namespace exclog
