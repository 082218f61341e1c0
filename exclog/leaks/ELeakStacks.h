#pragma once
// The two stacks a block's header keeps of its allocation: the raw words above the
// allocating call and the return addresses of the frame-pointer chain. Both are
// copied from the thread's own stack and allocate nothing.
#include <cstdint>

#include "exclog/core/EMemoryView.h"
#include "exclog/leaks/ELeaks.h"

namespace exclog {

// Copies up to kLeakStackDepth words from `position` (never from `top` or above)
// into the header's snapshot and walks the frame chain from `frame` (each frame:
// the saved frame pointer, then the return address) while frames rise and stay
// below `top`. Snapshot words not filled are zeroed; the walk ends at its first
// zero entry, and the entries after it are left as they were until
// EndWalkedStack clears them.
void RecordStacks(TLeakHeader& header, const uintptr_t* position, const uintptr_t* top, const uintptr_t* frame);
void EndWalkedStack(TLeakHeader& header);

// Keeps the entries that follow a call instruction, each moved back to the call's
// start; the others are removed and the rest closes up (zero-filled). Returns the
// entries kept.
int KeepCallSites(uintptr_t (&stack)[kLeakStackDepth], const TMemoryView& memory);

// The allocation entry points a block's stack is trimmed after: where the calls
// of an allocating line lead (jump stubs are followed).
struct TLeakTrimPoints {
  const uint32_t* Object = nullptr;  // object-instance allocation
  int ObjectCount = 0;
  const uint32_t* Data = nullptr;    // data allocation
  int DataCount = 0;
};

// Cleans both stacks of a block and leaves in its Stack the call-sites from the
// allocating line outwards: the raw snapshot when an allocator call is found in
// it, else the frame-walk stack when one is found there, else nothing.
void CleanBlockStacks(TLeakHeader& header, const TLeakTrimPoints& trim, const TMemoryView& memory);

}  // namespace exclog
