// Image headers over arbitrary bytes taken as a loaded image: the header reader,
// the debug-section reader and the module classifier stay inside the bytes, never
// allocate past what they hold (libFuzzer's malloc limit catches that), and agree
// with one another.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "exclog/debuginfo/EImageHeaders.h"
#include "exclog/debuginfo/EModules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  constexpr uintptr_t base = 0x400000;
  exclog::TRegionMemory memory;
  memory.Add(base, std::vector<uint8_t>(data, data + size));
  auto headers = exclog::ReadImageHeaders(memory, base);
  if (headers && (headers->HeaderOffset > exclog::ImageHeaderOffsetLimit || headers->HeaderOffset + 24u > size))
    std::abort();
  auto kind = exclog::ClassifyImage(
      [&](size_t offset, void* buffer, size_t n) {
        if (offset > size || size - offset < n) return false;
        std::memcpy(buffer, data + offset, n);
        return true;
      },
      [] { return false; });
  if (headers && kind == exclog::ModuleUnknown) std::abort();
  auto section = exclog::ReadDebugSection(memory, base, 1 << 20);
  if (section) {
    if (!headers || section->empty() || section->size() > size) std::abort();
    // The bytes are the image's own, at the directory's address.
    const uint32_t rva = headers->DebugDirectoryRva;
    if (rva > size || size - rva < section->size() || std::memcmp(section->data(), data + rva, section->size()) != 0)
      std::abort();
  }
  return 0;
}
