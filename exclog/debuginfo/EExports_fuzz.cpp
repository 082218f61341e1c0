// The export walk over arbitrary bytes taken as a loaded image: every export it
// reports lies inside the image its header declares (no forwarder resolution),
// names stay bounded, and no table is allocated past the bytes memory holds
// (libFuzzer's malloc limit catches that).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "exclog/debuginfo/EExports.h"

namespace {

uint32_t U32(const uint8_t* data, size_t size, uint64_t at) {
  // The walk read this header before reporting anything: it must be in the input.
  if (at + 4 > size) std::abort();
  return uint32_t(data[at]) | uint32_t(data[at + 1]) << 8 | uint32_t(data[at + 2]) << 16 |
         uint32_t(data[at + 3]) << 24;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  constexpr uint32_t base = 0x400000;
  exclog::TRegionMemory memory;
  memory.Add(base, std::vector<uint8_t>(data, data + size));
  for (bool stubs : {false, true}) {
    exclog::TExportWalkOptions options;
    options.PushJumpStubs = stubs;
    const auto exports = exclog::ReadExportList(memory, base, options);
    if (exports.empty()) continue;
    const uint64_t imageSize = U32(data, size, uint64_t(U32(data, size, 60)) + 24 + 56);
    const exclog::TExportIndex index(memory, base);
    for (const auto& f : exports) {
      if (f.Name.empty() || f.Name.size() > exclog::ExportNameLimit) std::abort();
      // A name the lookup finds lies in the image, wherever the table's order puts it.
      if (const uint32_t found = index.AddressOf(f.Name); found && (found < base || found - base >= imageSize))
        std::abort();
      // A push-jump stub's target may lie anywhere.
      if (!stubs && (f.Address < base || f.Address - base >= imageSize || f.Address > UINT32_MAX)) std::abort();
    }
  }
  return 0;
}
