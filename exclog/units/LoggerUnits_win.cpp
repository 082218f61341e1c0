// Every program linked through velmora_link_logger carries this object: the logger's
// units are in the unit table before main, right after the class library's, so the
// program's usual InitUnits() and FinalizeUnits() start and stop the logger. It is an
// object of its own (not a member of the logger's static library), because the linker
// drops a library member that nothing refers to, static initialiser and all.
#include "exclog/capture/ExceptionLog_win.h"

namespace {

// Nothing else is registered this early, so the table cannot be full.
const bool loggerUnitsRegistered = (exclog::RegisterExceptionLogUnits(), true);

}  // namespace
