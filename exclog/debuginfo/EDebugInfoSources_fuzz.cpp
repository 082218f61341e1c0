// The reader picker and the map, TD32 and binary readers behind it, over arbitrary
// files: the input is cut into a map file, TD32 data (inside the image or as its
// own file) and binary debug data (a resource or its own file). Whatever opens
// answers lookups across the module without raising, and says what it found.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "exclog/debuginfo/EDebugInfoSources.h"

namespace {

bool EndsWith(const std::string& s, const char* tail) {
  std::string t(tail);
  return s.size() >= t.size() && s.compare(s.size() - t.size(), t.size(), t) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 5) return 0;
  // Two lengths and a byte of switches, then the three files one after another.
  const size_t mapSize = std::min<size_t>(data[0] | data[1] << 8, size - 5);
  const size_t td32Size = std::min<size_t>(data[2] | data[3] << 8, size - 5 - mapSize);
  const uint8_t switches = data[4];
  const char* bytes = reinterpret_cast<const char*>(data + 5);
  const std::string map(bytes, mapSize), td32(bytes + mapSize, td32Size),
      binary(bytes + mapSize + td32Size, size - 5 - mapSize - td32Size);

  constexpr uintptr_t module = 0x400000;
  exclog::TModuleFiles files;
  files.FileName = "C:\\program\\app.exe";
  files.ReadFile = [&](const std::string& path) -> std::optional<std::string> {
    if (EndsWith(path, ".map") && (switches & 1)) return map;
    if (EndsWith(path, ".tds") && (switches & 2)) return td32;
    if (EndsWith(path, ".jdbg") && (switches & 4)) return binary;
    return std::nullopt;
  };
  files.DebugSection = [&]() -> std::optional<std::string> {
    if (switches & 8) return td32;
    return std::nullopt;
  };
  files.Resource = [&](const std::string& name) -> std::optional<std::string> {
    if (name == "JCLDEBUG" && (switches & 16)) return binary;
    return std::nullopt;
  };
  auto source = exclog::CreateDebugInfoSource(module, files);
  if (!source) return 0;
  for (uint32_t offset = 0; offset < 0x3000; offset += 7) {
    exclog::TQLLocationInfo info;
    const uintptr_t address = module + 0x1000 + offset;
    if (!source->FindLocation(address, info)) continue;
    if (info.Address != address || info.Reader != source.get() || info.LinesFromStart > info.SourceLine) std::abort();
  }
  return 0;
}
