// Another module's object over arbitrary bytes: the description stays bounded.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "exclog/debuginfo/EForeignObject.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  constexpr uint32_t base = 0x10000;
  exclog::TRegionMemory memory;
  memory.Add(base, std::vector<uint8_t>(data, data + size));
  for (uint32_t at = 0; at < 64 && at < size; at += 4) {
    exclog::TForeignObject out;
    exclog::ReadForeignObject(memory, base + at, 8, out);
    if (out.Message.size() > exclog::ForeignTextLimit || out.Ancestors.size() > exclog::ForeignChainLimit) std::abort();
    for (const auto& name : out.Ancestors)
      if (name.empty() || name.size() > exclog::ForeignNameLimit) std::abort();
  }
  return 0;
}
