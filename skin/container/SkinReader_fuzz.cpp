// Fuzz target: arbitrary bytes as a skin container; every entry is looked up and
// read back, and each name must be found.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "skin/container/SkinReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  skin::TSkinReader reader;
  if (!reader.LoadFromBytes(std::span<const uint8_t>(data, size))) return 0;
  std::vector<uint8_t> entry;
  for (const std::string& name : reader.Names())
    if (!reader.FindEntry(name, entry)) __builtin_trap();
  std::string found;
  reader.FindFirst(".ini", entry, found);
  return 0;
}
