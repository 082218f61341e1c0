#pragma once
// Where a module file keeps its version resource, found by reading only the file's
// headers, section table and resource directory: under Wine the system's own
// query first maps the whole file as an image (about 2 ms a file). The file is
// outside input: every offset is checked against its size before it is read, and
// anything unusual is left to the system.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>

namespace exclog {

struct TFileSpan {
  uint64_t Offset = 0;
  uint32_t Size = 0;
};

// Reads `size` bytes at `offset` of the file; false when it cannot.
using TFileReader = std::function<bool(uint64_t offset, void* buffer, size_t size)>;

// What the file's headers say of its version resource (type 16, name 1).
struct TVersionResource {
  enum TKind { AskSystem, None, Found } Kind = AskSystem;
  TFileSpan Span;  // Found: the block's bytes
};

// Found when a single language entry holds the resource and its bytes lie inside
// one section's file data; None when the file is a PE without that resource.
// AskSystem for anything else (not a PE, several languages, which the system
// chooses among by the user's language, or a layout the loader would move).
TVersionResource FindVersionResource(const TFileReader& read, uint64_t fileSize);

}  // namespace exclog
