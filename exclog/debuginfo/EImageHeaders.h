#pragma once
// The headers of a loaded image, read through a memory view: every read is
// bounded by what the view can read, so a damaged or hostile header (another
// program's module, a file mapped as an image) yields nothing rather than a read
// past the image or an allocation its bytes cannot back.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "exclog/core/EMemoryView.h"

namespace exclog {

// The PE header of an image is looked for no further than this from its start.
constexpr uint32_t ImageHeaderOffsetLimit = 0x10000;

struct TImageHeaders {
  uint32_t HeaderOffset = 0;  // of "PE\0\0", from the image's start
  uint16_t Machine = 0;
  uint16_t Sections = 0;
  uint32_t TimeStamp = 0;  // seconds since 1970, UTC; 0 when the linker left none
  uint16_t OptionalSize = 0;
  uint16_t Characteristics = 0;
  // 0 when the optional header is too short to hold it.
  uint16_t Subsystem = 0;
  uint32_t DebugDirectoryRva = 0;
};

// The file and optional headers of the image at `base`: "MZ", an offset at 60 no
// greater than ImageHeaderOffsetLimit to "PE\0\0" and its 20-byte file header.
// Nullopt when any of that cannot be read or does not match.
std::optional<TImageHeaders> ReadImageHeaders(const TMemoryView& memory, uintptr_t base);

// The section whose address the debug directory names (debug data placed inside
// the image), read where the loader put it: at most `limit` bytes and never more
// than the view holds there. Nullopt when there is none, it is empty or larger
// than `limit`, or it cannot be read whole.
std::optional<std::string> ReadDebugSection(const TMemoryView& memory, uintptr_t base, size_t limit);

}  // namespace exclog
