// The version-resource locator over arbitrary bytes taken as a file: it reads only
// inside them and any block it finds lies inside them too.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "exclog/debuginfo/EVersionFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto read = [&](uint64_t offset, void* buffer, size_t bytes) {
    if (offset > size || bytes > size - offset) std::abort();
    std::memcpy(buffer, data + offset, bytes);
    return true;
  };
  const exclog::TVersionResource found = exclog::FindVersionResource(read, size);
  const exclog::TFileSpan& span = found.Span;
  if (found.Kind == exclog::TVersionResource::Found && (span.Size == 0 || span.Offset > size || span.Size > size - span.Offset))
    std::abort();
  return 0;
}
