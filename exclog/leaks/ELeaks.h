#pragma once
// The leak collector's memory-manager wrapper: every block carries a hidden header
// (links, state, kind, size, two stacks, guard) and a footer guard; live blocks are
// kept in one list in allocation order, so the blocks still listed at shut-down are
// the leaks.
//
// Which blocks are ours is decided by an address set (live, quarantined, kept and
// released blocks), never by reading a guard word before an arbitrary pointer: a
// foreign block's header bytes may be unreadable or stale. Freed blocks wait in a
// bounded quarantine, so a second free of one is recognised and dropped instead of
// freeing whatever reuses the address. Past the quarantine, blocks of up to 64 KiB
// are kept a while for reuse by an allocation of their size class and kind (still
// known, still refused if freed again): such an allocation skips the previous
// manager and writes its header into memory still in the cache. The rest go back
// to the previous manager.
#include <cstddef>
#include <cstdint>

#include "classlib/Memory.h"

namespace exclog {

constexpr uint32_t kLeakGuard = 0x100FAB10;
constexpr int kLeakStackDepth = 35;

// Options byte of the module's logger data.
enum : uint8_t {
  kLeakCatching = 1 << 0,
  kLeakRemoveSons = 1 << 1,
  kLeakPurgeInvalid = 1 << 2,
  kLeakFreeAll = 1 << 3,
  kLeakReportErrors = 1 << 4,
};

enum TLeakState : uint8_t { kBlockLive = 0, kBlockFreed = 1, kBlockHidden = 2 };
enum TLeakKind : uint8_t { kBlockData = 0, kBlockObject = 1 };

// The hidden header before each block's user data. Stack entries are machine
// words, so the 32-bit program has the 304-byte header; a native build's is wider.
struct TLeakHeader {
  TLeakHeader* Next;
  TLeakHeader* Prev;
  uint8_t State;
  uint8_t Kind;
  uint32_t Size;
  uintptr_t Snapshot[kLeakStackDepth];  // raw words from the allocating stack
  uintptr_t Stack[kLeakStackDepth];     // return addresses of the frame chain
  uint32_t Count;                       // blocks a leak stands for, after grouping
  uint32_t Guard;                       // kLeakGuard while the header is intact
};
static_assert(sizeof(TLeakHeader) % 8 == 0, "user data keeps 8-byte alignment");
static_assert(sizeof(void*) != 4 || sizeof(TLeakHeader) == 304, "the 32-bit header is 304 bytes");

constexpr size_t BlockOverHead = sizeof(TLeakHeader);
constexpr size_t BlockOverFoot = 8;

inline void* UserData(TLeakHeader* header) { return reinterpret_cast<char*>(header) + BlockOverHead; }
inline TLeakHeader* HeaderOf(void* user) {
  return reinterpret_cast<TLeakHeader*>(reinterpret_cast<char*>(user) - BlockOverHead);
}

enum class TLeakError { Overrun, MultiFree };

// Fills a fresh header's two stacks: the raw words whole (those past the stack's
// end zero), the frame walk up to its first zero entry (RecordStacks). `position`
// is the wrapper's return-address slot (the caller's stack from there up), `frame`
// the wrapper's own frame (saved frame pointer, return address). Must allocate
// nothing.
using TLeakStackCapture = void (*)(TLeakHeader& header, const uintptr_t* position, const uintptr_t* frame);
// An overrun or a double free, told outside the list lock; `caller` is the return
// address into the code that freed. Must not throw (a throw is swallowed).
using TLeakErrorHook = void (*)(TLeakError error, void* block, void* caller);

struct TLeakSettings {
  TMemoryManager Previous{};
  uint8_t Options = 0;
  TLeakStackCapture Capture = nullptr;  // none: stacks stay empty
  TLeakErrorHook OnError = nullptr;
  void (*Yield)() = nullptr;            // lock back-off after spinning; none: keep spinning
  // Whether the calling thread allocates for the logger itself: such blocks go to
  // the previous manager unrecorded (frees find them foreign). None: never.
  bool (*Untracked)() = nullptr;
  // The quarantine keeps at most this many freed blocks and user bytes.
  size_t QuarantineBlocks = 32;
  size_t QuarantineBytes = 256 << 10;
  // Blocks kept for reuse after the quarantine: at most this many, and this many
  // bytes of whole blocks. None are kept while not catching.
  size_t ReuseBlocks = 64;
  size_t ReuseBytes = 256 << 10;
  // Called with the list lock held before each change of the list; none: nothing.
  // Tests widen the window a missing lock would leave open with it.
  void (*InsideListLock)() = nullptr;
};

// The wrapper's table entries.
void* LeakGetMem(size_t size);
void* LeakGetObjectMem(size_t size);
void LeakFreeMem(void* block);
void* LeakReallocMem(void* block, size_t size);

// Starts recording over `settings.Previous` and returns the table to install.
// Resets all state: only for a process's start (and tests).
TMemoryManager LeakStart(const TLeakSettings& settings);
// Whether new blocks are being recorded.
bool LeakCatchingActive();
// Records again after LeakStopCatching, keeping what is known; returns the table
// to install.
TMemoryManager LeakResumeCatching();
// Stops recording and gives the blocks kept for reuse back to the previous
// manager; returns the table to put back: the previous manager's allocation
// entries with this wrapper's free and reallocation, which stay header-aware for
// blocks still carrying one.
TMemoryManager LeakStopCatching();
// Frees the quarantine and forgets everything (tests; a process never needs it
// since blocks still listed may be freed later).
void LeakReset();

// The spin lock over the list and the address set.
void LeakLock();
void LeakUnlock();

// Under LeakLock: the live list, oldest first.
TLeakHeader* LeakListHead();
// Under LeakLock: hands a listed block to the previous manager and unlinks it; its
// address stays known, so a later free of it is dropped.
void LeakRelease(TLeakHeader* header);
// Whether `user` is a block this wrapper knows (live, quarantined, kept for reuse
// or released).
bool LeakOwns(void* user);
// Freed blocks waiting in the quarantine.
size_t LeakQuarantined();

}  // namespace exclog
