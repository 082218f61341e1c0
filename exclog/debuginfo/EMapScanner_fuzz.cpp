// The map-file scanner over arbitrary text, and lookups at every offset its
// tables name and between them.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "exclog/debuginfo/EOutsideDebug.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  exclog::TQLMapScanner scanner(std::string_view(reinterpret_cast<const char*>(data), size));
  for (const auto& line : scanner.Lines())
    for (uint32_t offset : {line.Address, line.Address - 1, line.Address + 1}) {
      scanner.UnitAt(offset);
      scanner.PublicAt(offset);
      if (const auto* l = scanner.LineAt(offset)) (void)scanner.SourceFiles().at(static_cast<size_t>(l->Unit));
    }
  return 0;
}
