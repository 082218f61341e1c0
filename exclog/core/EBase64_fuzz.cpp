// Fuzz target: arbitrary text to DecodeString. A non-empty result must be exactly
// DecodedLength bytes and encode back to the same text, up to the unused low bits
// of the last group, which decoding ignores.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "exclog/core/EBase64.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string out = exclog::DecodeString(text);
  if (out.empty()) return 0;
  if (out.size() != exclog::DecodedLength(text)) std::abort();
  std::string again = exclog::EncodeString(out);
  if (again.size() != text.size()) std::abort();
  if (exclog::DecodeString(again) != out) std::abort();
  return 0;
}
