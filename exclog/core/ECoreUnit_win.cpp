#include "exclog/core/ECoreUnit_win.h"

#include "exclog/core/ECoreUnit.h"
#include "exclog/core/ECore_win.h"

namespace exclog {

namespace {
std::string ProcessExecutable() { return ModuleFileName(nullptr); }
}  // namespace

void InstallCoreHostSource() { SetHostExecutableSource(ProcessExecutable); }

}  // namespace exclog
