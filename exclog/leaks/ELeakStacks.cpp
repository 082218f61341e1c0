#include "exclog/leaks/ELeakStacks.h"

#include "exclog/debuginfo/EStackWalk.h"

namespace exclog {

void RecordStacks(TLeakHeader& header, const uintptr_t* position, const uintptr_t* top, const uintptr_t* frame) {
  int raw = 0;
  if (position && top > position)
    for (; raw < kLeakStackDepth && position + raw < top; ++raw) header.Snapshot[raw] = position[raw];
  int walked = 0;
  const uintptr_t* lowest = position;
  while (walked < kLeakStackDepth && frame && frame >= lowest && top - frame >= 2 &&
         reinterpret_cast<uintptr_t>(frame) % sizeof(uintptr_t) == 0) {
    uintptr_t returnAddress = frame[1];
    if (returnAddress == 0) break;
    header.Stack[walked++] = returnAddress;
    auto* next = reinterpret_cast<const uintptr_t*>(frame[0]);
    if (next <= frame) break;
    lowest = frame + 2;
    frame = next;
  }
  for (int i = raw; i < kLeakStackDepth; ++i) header.Snapshot[i] = 0;
  // One zero ends the walk: filling the rest would touch one more cold line of the
  // header on every allocation. EndWalkedStack clears it when the stack is read.
  if (walked < kLeakStackDepth) header.Stack[walked] = 0;
}

void EndWalkedStack(TLeakHeader& header) {
  int end = 0;
  while (end < kLeakStackDepth && header.Stack[end]) ++end;
  for (int i = end; i < kLeakStackDepth; ++i) header.Stack[i] = 0;
}

int KeepCallSites(uintptr_t (&stack)[kLeakStackDepth], const TMemoryView& memory) {
  int kept = 0;
  for (int i = 0; i < kLeakStackDepth; ++i) {
    uintptr_t entry = stack[i];
    if (entry == 0 || entry > UINT32_MAX) continue;
    TCallSite site = CallBefore(memory, static_cast<uint32_t>(entry), false);
    if (site.Found) stack[kept++] = site.Entry;
  }
  for (int i = kept; i < kLeakStackDepth; ++i) stack[i] = 0;
  return kept;
}

namespace {

// Where the call at `entry` leads, through a jump stub; 0 when unknown.
uint32_t CallTarget(const TMemoryView& memory, uint32_t entry) {
  uint8_t op[2];
  uint32_t target = 0;
  if (!memory.Read(entry, op, 2)) return 0;
  if (op[0] == 0xE8) {
    uint32_t displacement;
    if (!memory.ReadU32(entry + 1, displacement)) return 0;
    target = entry + 5 + displacement;
  } else if (op[0] == 0xFF && op[1] == 0x15) {
    uint32_t slot;
    if (!memory.ReadU32(entry + 2, slot) || !memory.ReadU32(slot, target)) return 0;
  } else {
    return 0;
  }
  return ThroughJumpThunk(memory, target);
}

bool Calls(const TMemoryView& memory, uintptr_t entry, const uint32_t* points, int count) {
  if (entry == 0 || entry > UINT32_MAX) return false;
  uint32_t target = CallTarget(memory, static_cast<uint32_t>(entry));
  if (!target) return false;
  for (int i = 0; i < count; ++i)
    if (points[i] && ThroughJumpThunk(memory, points[i]) == target) return true;
  return false;
}

// Stale words in an allocator's frame (an earlier call's return address) may pass
// for call sites between two of the allocator's own calls.
constexpr int kChainGap = 3;

// Drops what lies before the allocating line: the allocator's own calls into one
// another (new[] into new into GetMem) end at the last of a run of allocator
// calls, which is the line that asked. False when no allocator call is found.
bool TrimAfterAllocator(uintptr_t (&stack)[kLeakStackDepth], const uint32_t* points, int count,
                        const TMemoryView& memory) {
  int at = 0;
  while (at < kLeakStackDepth && stack[at] && !Calls(memory, stack[at], points, count)) ++at;
  if (at == kLeakStackDepth || !stack[at]) return false;
  for (bool extended = true; extended;) {
    extended = false;
    for (int next = at + 1; next < kLeakStackDepth && next <= at + 1 + kChainGap && stack[next]; ++next)
      if (Calls(memory, stack[next], points, count)) {
        at = next;
        extended = true;
        break;
      }
  }
  int n = 0;
  for (int i = at; i < kLeakStackDepth; ++i) stack[n++] = stack[i];
  while (n < kLeakStackDepth) stack[n++] = 0;
  return true;
}

}  // namespace

void CleanBlockStacks(TLeakHeader& header, const TLeakTrimPoints& trim, const TMemoryView& memory) {
  const uint32_t* points = header.Kind == kBlockObject ? trim.Object : trim.Data;
  int count = header.Kind == kBlockObject ? trim.ObjectCount : trim.DataCount;
  KeepCallSites(header.Snapshot, memory);
  KeepCallSites(header.Stack, memory);
  if (TrimAfterAllocator(header.Snapshot, points, count, memory)) {
    for (int i = 0; i < kLeakStackDepth; ++i) header.Stack[i] = header.Snapshot[i];
  } else if (!TrimAfterAllocator(header.Stack, points, count, memory)) {
    for (uintptr_t& entry : header.Stack) entry = 0;
  }
}

}  // namespace exclog
