#pragma once
// The event handlers' Windows side: the options of the running module and the
// wiring of the registered password handlers into the module-data reader.
#include "exclog/capture/EEvents.h"
#include "exclog/core/EOptions.h"

namespace exclog {

// The options object of the module this code runs in, from the logger's module
// list. Raises EAssertionFailed (naming the module's file) when the list holds no
// record of it or the record has no options.
TQuelbaModuleOptions* CurrentQuelbaLogOptions();

// Lets the module-data reader ask the registered password handlers.
void InstallEventHandlers();

}  // namespace exclog
