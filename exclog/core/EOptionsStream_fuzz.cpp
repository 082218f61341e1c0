// Fuzz target: arbitrary bytes as an options stream. The first two bytes choose the
// version, so every migration path is reached; a failed load must leave the options
// as they were, and a successful one must save and load back to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "classlib/SysUtils.h"
#include "exclog/core/EOptions.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  uint16_t version = static_cast<uint16_t>(data[0] | (data[1] << 8));
  exclog::TQuelbaModuleOptions options;
  const std::string before = options.SaveToBytes();
  try {
    size_t used = options.LoadFromBytes(data + 2, size - 2, version);
    if (used > size - 2) std::abort();
  } catch (const EReadError&) {
    if (options.SaveToBytes() != before || options.UpdateCount() != 0) std::abort();
    return 0;
  }
  std::string saved = options.SaveToBytes();
  exclog::TQuelbaModuleOptions again;
  if (again.LoadFromBytes(saved.data(), saved.size()) != saved.size()) std::abort();
  if (again.SaveToBytes() != saved) std::abort();
  return 0;
}
