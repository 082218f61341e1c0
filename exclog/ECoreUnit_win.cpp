#include "exclog/ECoreUnit_win.h"

#include "exclog/ECoreUnit.h"
#include "exclog/ECore_win.h"

namespace exclog {

namespace {
std::string ProcessExecutable() { return ModuleFileName(nullptr); }
}  // namespace

void InstallCoreHostSource() { SetHostExecutableSource(ProcessExecutable); }

}  // namespace exclog
