// The import walk over arbitrary bytes taken as a mapped image: every read stays inside
// the buffer, and every slot it reports lies inside it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "exclog/hooks/EHookImports.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  exclog::ImageSizeOf(data, size);
  for (const char* dll : {"kernel32.dll", "KERNEL32.DLL", "a.dll", ""}) {
    const auto slots = exclog::FindImportSlots(data, size, dll);
    if (!slots) continue;
    for (const auto& s : *slots)
      if (uint64_t(s.SlotRva) + 4 > size || s.Value == 0) std::abort();
  }
  return 0;
}
