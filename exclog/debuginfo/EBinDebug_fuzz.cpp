// The binary debug-data reader over arbitrary bytes, from a file beside the
// module: it opens or refuses, and every lookup stays inside the data.
#include <cstddef>
#include <cstdint>
#include <string>

#include "exclog/debuginfo/EOutsideDebug.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  exclog::TModuleFiles files;
  files.FileName = "m.dll";
  files.ReadFile = [&bytes](const std::string&) -> std::optional<std::string> { return bytes; };
  exclog::TQLDebugInfoJedy reader(0x10000000, files);
  if (!reader.OpenSource()) return 0;
  exclog::TQLLocationInfo info;
  for (uint32_t offset = 0; offset < 0x400; offset += 7) reader.FindLocation(0x10001000 + offset, info);
  return 0;
}
