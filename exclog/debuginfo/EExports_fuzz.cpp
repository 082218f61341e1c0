// The export walk over arbitrary bytes taken as a loaded image: every export it
// reports lies inside the image (no forwarder resolution), names stay bounded.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "exclog/debuginfo/EExports.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  constexpr uint32_t base = 0x400000;
  exclog::TRegionMemory memory;
  memory.Add(base, std::vector<uint8_t>(data, data + size));
  for (bool stubs : {false, true}) {
    exclog::TExportWalkOptions options;
    options.PushJumpStubs = stubs;
    for (const auto& f : exclog::ReadExportList(memory, base, options)) {
      if (f.Name.empty() || f.Name.size() > exclog::ExportNameLimit) std::abort();
      if (!stubs && (f.Address < base || f.Address - base >= size)) std::abort();
    }
  }
  return 0;
}
