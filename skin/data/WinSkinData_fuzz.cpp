// Fuzz target: arbitrary bytes as the "SkinStream" property of a layout. A count
// that does not fit the bytes is refused before anything is sized; what is taken
// must be exactly the counted bytes, and a write gives the input's prefix back.
#include <cstddef>
#include <algorithm>
#include <cstdint>
#include <vector>

#include "skin/data/WinSkinData.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> bytes(data, data + size);
  std::vector<uint8_t> container;
  const bool taken = skin::DecodeSkinStream(bytes, container);
  if (taken) {
    const std::vector<uint8_t> written = skin::EncodeSkinStream(container);
    if (written.size() > bytes.size() || !std::equal(written.begin(), written.end(), bytes.begin()))
      __builtin_trap();
  } else if (!container.empty()) {
    __builtin_trap();
  }
  // The component reads it as a layout would: decode, then load and parse.
  skin::TSkinData component;
  component.ReadSkinStream(bytes);
  if (!taken && !component.SkinStreamBytes().empty()) __builtin_trap();
  return 0;
}
