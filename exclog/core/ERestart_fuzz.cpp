// Fuzz target: a command line. Reading the restart marker never fails, and the
// line a restart makes of it always names the restarting process.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "exclog/core/ERestart.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string line(reinterpret_cast<const char*>(data), size);
  exclog::RestartedFrom(line);
  if (exclog::RestartedFrom(exclog::RestartCommandLine(line, 4242)) != 4242) std::abort();
  return 0;
}
