#pragma once
// Guarded running of the logger's own start-up and shut-down steps: a failing step
// is reported through the internal-error handler (when one is installed) instead of
// taking the program down with it.
#include <string>

#include "classlib/SysUtils.h"

namespace exclog {

// Raised to end a step on purpose: RunGuarded lets it pass on untouched.
VELMORA_EXCEPTION(EIgnoreException, Exception)

// Receives the logger's internal-error texts (the reporter of the logger's own
// failures fills this when it starts). Returns nothing and must not throw.
using TInternalErrorHandler = void (*)(const std::string& text);

// Installs `handler` (null: none) and returns the previous one.
TInternalErrorHandler SetInternalErrorHandler(TInternalErrorHandler handler);
TInternalErrorHandler GetInternalErrorHandler();

using TGuardedRoutine = void (*)();

// Runs `routine`. EIgnoreException passes on. Any other exception goes, with a handler
// installed, to the handler as "<name> (Address: XXXXXXXX)" and RunGuarded returns;
// without one, an Exception with the text
// "Critical error at: \"<name>\"\r\nError: \"<message>\"." is thrown (the message is
// "General internal error." when the thrown object is no std::exception).
void RunGuarded(TGuardedRoutine routine, const std::string& name);

// The address text of the handler's report: 8 upper-case hexadecimal digits (more
// only for addresses above 32 bits).
std::string AddressText(const void* address);

}  // namespace exclog
