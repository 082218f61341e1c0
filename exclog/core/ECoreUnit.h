#pragma once
// Start and stop of the logger's core: "ECore.Init" decides whether the program
// runs inside the development environment, "ECore.Done" ends the core. Each runs
// once however many modules share the logger, through the guarded step runner.
#include <string>
#include <string_view>

namespace exclog {

// File name (no folder) of the development environment's executable; a host whose
// executable has this name (letter case ignored) runs "inside" it. Empty, the
// default, means never: this program has no development environment hosting it.
void SetDevelopmentEnvironmentName(std::string_view exeName);

// Where ECore.Init learns the host executable's full path. The Windows glue installs
// the real lookup; the default answers "".
using THostExecutableSource = std::string (*)();
THostExecutableSource SetHostExecutableSource(THostExecutableSource source);

// Counted start and stop: only the first start and the last stop run their step.
void StartCoreUnit();
void StopCoreUnit();
int CoreUnitUseCount();

// Set by ECore.Init; false before it and after ECore.Done.
bool InsideDevelopmentEnvironment();

}  // namespace exclog
