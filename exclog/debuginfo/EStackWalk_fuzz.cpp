// The raw stack scan (with and without the frame chain's verdict) and the
// frame-chain walk over hostile stack and code bytes:
// both stay within their bounds (bytes read, entries kept, frames followed) and
// every call site they report lies in the memory they were given (in the code
// when the walk is told which addresses are code).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "exclog/debuginfo/EStackWalk.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  constexpr uint32_t code = 0x00401000, stack = 0x00220000;
  if (size < 8) return 0;
  // Four bytes of options, two of code length, two of the frame's offset; then the
  // code, then the stack.
  const uint8_t flags = data[0], skip = data[1], kept = data[2], kindSalt = data[3];
  const size_t codeSize = std::min<size_t>(data[4] | data[5] << 8, size - 8);
  const uint32_t frameOffset = data[6] | data[7] << 8;
  exclog::TRegionMemory memory;
  memory.Add(code, std::vector<uint8_t>(data + 8, data + 8 + codeSize));
  const std::vector<uint8_t> stackBytes(data + 8 + codeSize, data + size);
  memory.Add(stack, stackBytes);
  const uint32_t top = stack + static_cast<uint32_t>(stackBytes.size());

  auto inCode = [&](uint32_t address) { return address >= code && address < code + codeSize; };
  // Stack bytes can hold call instructions too: a site may lie in either block.
  auto mapped = [&](uint32_t address) { return inCode(address) || (address >= stack && address < top); };
  exclog::TWalkOptions options;
  options.SkipCount = (flags & 1) ? skip % 8 : -1;
  options.MaxKept = kept;
  options.Accepted = exclog::AcceptedKinds(flags >> 1 & 3);
  options.IncludeTargets = flags & 8;
  options.UseDebugData = flags & 16;
  options.DevelopmentEnvironment = flags & 32;
  const uint32_t first = (flags & 64) ? code + 1 : 0;
  if (skip & 0x80) {
    // The frame chain decides which scanned slots are running calls: routines at
    // even code addresses keep a frame.
    options.FramePointer = stack + frameOffset;
    options.InFramedRoutine = [&](uint32_t address) { return inCode(address) && (address & 1) == 0; };
  }
  exclog::TQuelbaStackList list;
  exclog::BuildStackList(
      list, first, stack, top + 0x1000, options, memory,
      [&](uint32_t address, exclog::TQuelbaLocation& location, bool) {
        location.Address = address;
        location.Kind = static_cast<uint8_t>((address ^ kindSalt) % 5);
        location.RoutineName = "R";
        location.LineOffset = address & 7;
      });
  if (list.Count() > exclog::StackListLimit) std::abort();
  for (int i = 0; i < list.Count(); ++i) {
    const exclog::TQuelbaLocation* entry = list.Get(i);
    // The scan reports call sites and their direct targets; a target may lie
    // anywhere readable, so only entries that are neither are checked.
    if (entry->Kind && entry->Address != first && !options.IncludeTargets && !mapped(entry->Address)) std::abort();
  }
  const int limit = 1 + kept % 64;
  auto sites = exclog::FrameChainCallSites(memory, stack + frameOffset, stack, top,
                                           (flags & 128) ? std::function<bool(uint32_t)>(inCode) : nullptr, limit);
  if (sites.size() > static_cast<size_t>(limit)) std::abort();
  for (uint32_t site : sites)
    if ((flags & 128) ? !inCode(site) : !mapped(site)) std::abort();
  return 0;
}
