// A block's stacks over arbitrary code bytes with a readable window that may cut
// through instructions: entries stay call starts inside the window, zero-filled.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "exclog/leaks/ELeakStacks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  constexpr uint32_t base = 0x10000;
  if (size < 8) return 0;
  // First bytes: where the readable window starts and how long it is; then the
  // trim points and the stack entries are drawn from the code bytes themselves.
  uint32_t skip = data[0] % 16, length = data[1] | (data[2] << 8);
  const uint8_t* code = data + 4;
  size_t codeSize = size - 4;
  if (skip > codeSize) skip = uint32_t(codeSize);
  if (length > codeSize - skip) length = uint32_t(codeSize - skip);
  exclog::TRegionMemory memory;
  memory.Add(base + skip, std::vector<uint8_t>(code + skip, code + skip + length));
  uint32_t points[2] = {base + code[0] % 256u, base + data[3]};
  exclog::TLeakTrimPoints trim{points, 1, points + 1, 1};
  exclog::TLeakHeader header{};
  header.Kind = data[3] & 1;
  for (int i = 0; i < exclog::kLeakStackDepth; ++i) {
    uint32_t at = code[(i * 7) % codeSize] | (code[(i * 13 + 1) % codeSize] << 8);
    header.Snapshot[i] = base + at % (codeSize + 16);
    header.Stack[i] = i % 5 == 4 ? 0 : base + (at >> 3) % (codeSize + 16);
  }
  exclog::CleanBlockStacks(header, trim, memory);
  bool ended = false;
  for (uintptr_t entry : header.Stack) {
    if (ended && entry) std::abort();
    if (!entry) {
      ended = true;
      continue;
    }
    if (entry < base + skip || entry >= base + skip + length) std::abort();
  }
  return 0;
}
