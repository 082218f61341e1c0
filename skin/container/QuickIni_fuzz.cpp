// Fuzz target: arbitrary bytes as skin INI text.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "skin/container/QuickIni.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  skin::TQuickIni ini;
  ini.LoadFromText(text);
  for (const std::string& section : ini.ReadSections()) {
    for (const std::string& line : ini.Lines()) {
      std::string key = skin::TQuickIni::KeyName(line);
      ini.ReadString(section, key, "d");
      ini.ReadInteger(section, key, 0);
    }
  }
  return 0;
}
