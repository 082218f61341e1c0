#include "exclog/leaks/ELeakUnit_win.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "exclog/core/ECore_win.h"

namespace exclog {
namespace {

// The allocating line: a direct call of the wrapper, its result used after it.
__attribute__((noinline)) void* AllocateHere(size_t size) {
  void* p = LeakGetMem(size);
  if (p) std::memset(p, 0x5A, size);
  return p;
}

std::vector<TLeakEntry> found;
bool Readable(const void* address, size_t size) { return IsReadable(address, size); }

// Real code, the real stack capture and the process's memory: the wrapper is
// called directly (not installed), so the rest of the test program is untouched.
TEST(LeakCapture, StackStartsAtTheAllocatingCallAndBlocksOfOnePlaceAreOneLeak) {
  TLeakSettings settings;
  settings.Previous = SystemMemoryManager();
  settings.Options = kLeakCatching;
  settings.Capture = &CaptureThreadStacks;
  settings.Yield = &YieldThread;
  LeakStart(settings);
  void* blocks[3];
  for (void*& b : blocks) b = AllocateHere(16);
  LeakStopCatching();
  static const uint32_t points[] = {uint32_t(reinterpret_cast<uintptr_t>(&LeakGetMem))};
  TLeakProcessing processing;
  processing.Memory = &ProcessMemory();
  processing.Check = &Readable;
  processing.Trim = TLeakTrimPoints{points, 1, points, 1};
  processing.Leak = [](const TLeakEntry& e) { found.push_back(e); };
  ProcessLeaks(processing);
  for (void* b : blocks) LeakFreeMem(b);
  LeakReset();
  ASSERT_EQ(found.size(), 1u);
  EXPECT_STREQ(found[0].TypeName, "Data");
  EXPECT_EQ(found[0].Size, 48u);
  EXPECT_EQ(found[0].Count, 3u);
  auto start = reinterpret_cast<uintptr_t>(&AllocateHere);
  EXPECT_GT(found[0].Stack[0], start);
  EXPECT_LT(found[0].Stack[0], start + 64);
  // The next row is the loop's call of the allocating routine, in this test.
  EXPECT_NE(found[0].Stack[1], 0u);
}

}  // namespace
}  // namespace exclog
