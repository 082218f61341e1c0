// Logger data from a module: the resource form, the appended form and the debug
// lookup over whatever debug block they yield.
#include <cstddef>
#include <cstdint>

#include "exclog/debuginfo/EDebug.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace exclog;
  for (bool resource : {true, false}) {
    auto content = resource ? ParseResourceData(data, size) : ParseAppendedData(data, size);
    if (!content || !content->DebugBlock) continue;
    bool encrypted = content->KeyCheck && KeyMatches(TQLCipher("fuzz"), *content->KeyCheck);
    TQLDebugData debug(*content->DebugBlock, content->Version, encrypted, "fuzz");
    for (const auto& unit : debug.Units()) {
      debug.FindLocation(unit.Start);
      debug.FindLocation(unit.Start + unit.Size / 2);
      debug.FindLocation(unit.Start + unit.Size - 1);
    }
  }
  // Raw bytes as a debug block and as names of every format generation.
  TQLDebugData raw(std::string(reinterpret_cast<const char*>(data), size), 6104, false, "");
  raw.FindLocation(0x1000);
  for (uint16_t version : {400, 501, 6104}) {
    TQLNameReader names(version, version == 6104, "k");
    size_t pos = 0;
    std::string name;
    while (names.ReadName(data, size, pos, name)) {
    }
  }
  SplitQualifiedName(std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
