// Fuzz target: arbitrary bytes as an LZHUF stream. The first two bytes choose how
// much output to ask for, so both short and long decodes are explored.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "skin/container/Lzhuf.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  size_t count = (size_t{data[0]} << 8 | data[1]) * 4;
  std::span<const uint8_t> stream(data + 2, size - 2);
  std::vector<uint8_t> out;
  skin::TLZH lzh;
  skin::TLZH::TResult r = lzh.Unpack(stream, count, out);
  if (r == skin::TLZH::TResult::Ok && out.size() != count) __builtin_trap();
  if (out.size() > count) __builtin_trap();
  return 0;
}
