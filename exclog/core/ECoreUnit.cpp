#include "exclog/core/ECoreUnit.h"

#include <atomic>
#include <mutex>

#include "classlib/SysUtils.h"
#include "exclog/core/ECore.h"
#include "exclog/core/EGuard.h"

namespace exclog {

namespace {

std::string NoHostExecutable() { return {}; }

std::mutex unitLock;
int useCount = 0;
std::string developmentEnvironmentName;
THostExecutableSource hostExecutable = NoHostExecutable;
std::atomic<bool> insideDevelopmentEnvironment{false};

void CoreInit() {
  const std::string exe = ExtractFileName(hostExecutable());
  insideDevelopmentEnvironment =
      !developmentEnvironmentName.empty() && SameText(exe, developmentEnvironmentName);
}

void CoreDone() { insideDevelopmentEnvironment = false; }

}  // namespace

void SetDevelopmentEnvironmentName(std::string_view exeName) {
  std::lock_guard<std::mutex> guard(unitLock);
  developmentEnvironmentName = exeName;
}

THostExecutableSource SetHostExecutableSource(THostExecutableSource source) {
  std::lock_guard<std::mutex> guard(unitLock);
  THostExecutableSource previous = hostExecutable;
  hostExecutable = source ? source : NoHostExecutable;
  return previous;
}

void StartCoreUnit() {
  std::lock_guard<std::mutex> guard(unitLock);
  if (++useCount == 1) RunGuarded(CoreInit, "ECore.Init");
}

void StopCoreUnit() {
  std::lock_guard<std::mutex> guard(unitLock);
  if (useCount == 0) return;  // a stop without a start has nothing to end
  if (--useCount == 0) RunGuarded(CoreDone, "ECore.Done");
}

int CoreUnitUseCount() {
  std::lock_guard<std::mutex> guard(unitLock);
  return useCount;
}

bool InsideDevelopmentEnvironment() { return insideDevelopmentEnvironment; }

}  // namespace exclog
