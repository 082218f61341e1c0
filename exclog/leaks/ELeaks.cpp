#include "exclog/leaks/ELeaks.h"

#include <atomic>
#include <cstring>

#include "exclog/leaks/ELeakSet.h"

namespace exclog {

namespace {

// Blocks kept for reuse fall into classes by whole size, eight to a power of two
// from 256 bytes (every whole block has more) to 64 KiB. A block is asked for at
// its class's capacity, so any kept block of a class serves every request of it.
constexpr int kReuseClasses = 64;
constexpr size_t kReuseLargest = size_t(1) << 16;

// The class of a whole block of `whole` bytes (at least BlockOverHead), its
// capacity in `capacity`; -1 (and `capacity` unchanged) above kReuseLargest.
int ReuseClass(size_t whole, size_t& capacity) {
  if (whole > kReuseLargest) return -1;
  size_t last = whole - 1;
  int top = 31 - __builtin_clz(static_cast<uint32_t>(last));  // 8 to 15
  int shift = top - 3;
  size_t step = (last >> shift) & 7;
  capacity = (step + 9) << shift;
  return (top - 8) * 8 + static_cast<int>(step);
}

// The set marks blocks the program may not free now: those handed back to the
// previous manager ("released": their header is gone) and those kept for reuse.
struct TCollector {
  TLeakSettings settings;
  TLeakHeader* head = nullptr;
  TLeakHeader* tail = nullptr;
  TLeakAddressSet owned;
  // Freed blocks, oldest first, chained through their own Next links.
  TLeakHeader* quarantineHead = nullptr;
  TLeakHeader* quarantineTail = nullptr;
  size_t quarantineBlocks = 0;
  size_t quarantineBytes = 0;
  // Kept for reuse, by kind and class, chained through their own Next links; the
  // heads are read without the lock as a hint.
  TLeakHeader* kept[2][kReuseClasses] = {};
  size_t keptBlocks = 0;
  size_t keptBytes = 0;
};

TCollector collector;
std::atomic<bool> catching{false};
uint8_t listLock = 0;  // "AllocatedList_Lock"

constexpr size_t kMaxUserSize = UINT32_MAX - BlockOverHead - BlockOverFoot;

void SlowLock();

// The uncontended lock costs one exchange, inline on every allocation and free.
inline void Lock() {
  uint8_t expected = 0;
  if (!__atomic_compare_exchange_n(&listLock, &expected, 1, false, __ATOMIC_ACQUIRE, __ATOMIC_RELAXED)) SlowLock();
}
inline void Unlock() { __atomic_store_n(&listLock, 0, __ATOMIC_RELEASE); }

inline void Pause() {
#if defined(__i386__) || defined(__x86_64__)
  __builtin_ia32_pause();
#endif
}

uint32_t FooterGuard(const TLeakHeader* h) {
  uint32_t word;
  std::memcpy(&word, reinterpret_cast<const char*>(h) + BlockOverHead + h->Size, sizeof word);
  return word;
}

void Append(TLeakHeader* h) {
  if (collector.settings.InsideListLock) collector.settings.InsideListLock();
  h->Next = nullptr;
  h->Prev = collector.tail;
  if (collector.tail) collector.tail->Next = h; else collector.head = h;
  collector.tail = h;
}

// Unlinks a listed block. An underrun may have overwritten its links, so when they
// do not agree with its neighbours the neighbours are found by walking the list.
void Unlink(TLeakHeader* h) {
  if (collector.settings.InsideListLock) collector.settings.InsideListLock();
  TLeakHeader* before = h->Prev;
  TLeakHeader* after = h->Next;
  bool agree = (before ? before->Next == h : collector.head == h) && (after ? after->Prev == h : collector.tail == h);
  if (!agree) {
    before = nullptr;
    if (collector.head != h)
      for (before = collector.head; before && before->Next != h;) before = before->Next;
    after = nullptr;
    if (collector.tail != h)
      for (after = collector.tail; after && after->Prev != h;) after = after->Prev;
  }
  if (before) before->Next = after; else collector.head = after;
  if (after) after->Prev = before; else collector.tail = before;
  h->Next = h->Prev = nullptr;
}

// Under the lock: keeps a block leaving the quarantine for reuse when it is whole
// (a broken guard may mean a broken size) and there is room; false otherwise.
bool Keep(TLeakHeader* h) {
  const TLeakSettings& s = collector.settings;
  size_t capacity = 0;
  if (!catching.load(std::memory_order_relaxed) || h->Kind > kBlockObject || h->Guard != kLeakGuard ||
      h->Size > kReuseLargest)
    return false;
  int c = ReuseClass(h->Size + BlockOverHead + BlockOverFoot, capacity);
  if (c < 0 || collector.keptBlocks >= s.ReuseBlocks || collector.keptBytes + capacity > s.ReuseBytes ||
      FooterGuard(h) != kLeakGuard)
    return false;
  collector.owned.SetMark(reinterpret_cast<uintptr_t>(h), true);
  TLeakHeader*& bin = collector.kept[h->Kind][c];
  h->Next = bin;
  __atomic_store_n(&bin, h, __ATOMIC_RELAXED);
  ++collector.keptBlocks;
  collector.keptBytes += capacity;
  return true;
}

// A kept block of the kind and class for a new allocation, or null. It stays
// marked in the set until Record lists it with its new header.
void* TakeKept(TLeakKind kind, int c, size_t capacity) {
  TLeakHeader*& bin = collector.kept[kind][c];
  if (!__atomic_load_n(&bin, __ATOMIC_RELAXED)) return nullptr;
  Lock();
  TLeakHeader* h = bin;
  if (h) {
    __atomic_store_n(&bin, h->Next, __ATOMIC_RELAXED);
    --collector.keptBlocks;
    collector.keptBytes -= capacity;
  }
  Unlock();
  return h;
}

// Under the lock: takes every kept block out of the set and returns them chained.
TLeakHeader* TakeAllKept() {
  TLeakHeader* chain = nullptr;
  for (auto& bins : collector.kept)
    for (TLeakHeader*& bin : bins) {
      while (TLeakHeader* h = bin) {
        __atomic_store_n(&bin, h->Next, __ATOMIC_RELAXED);
        collector.owned.Remove(reinterpret_cast<uintptr_t>(h));
        h->Next = chain;
        chain = h;
      }
    }
  collector.keptBlocks = collector.keptBytes = 0;
  return chain;
}

// Moves an unlinked block into the quarantine; blocks pushed out of it are chained
// onto `evicted` for the caller to free once the lock is down. The newest block
// always stays, so a double free right after a large free is still caught.
void Quarantine(TLeakHeader* h, TLeakHeader*& evicted) {
  h->State = kBlockFreed;
  h->Next = nullptr;
  if (collector.quarantineTail) collector.quarantineTail->Next = h; else collector.quarantineHead = h;
  collector.quarantineTail = h;
  ++collector.quarantineBlocks;
  collector.quarantineBytes += h->Size;
  const TLeakSettings& s = collector.settings;
  while (collector.quarantineBlocks > 1 &&
         (collector.quarantineBlocks > s.QuarantineBlocks || collector.quarantineBytes > s.QuarantineBytes)) {
    TLeakHeader* old = collector.quarantineHead;
    collector.quarantineHead = old->Next;
    --collector.quarantineBlocks;
    collector.quarantineBytes -= old->Size;
    if (Keep(old)) continue;
    collector.owned.Remove(reinterpret_cast<uintptr_t>(old));
    old->Next = evicted;
    evicted = old;
  }
}

void FreeChain(TLeakHeader* chain) {
  while (chain) {
    TLeakHeader* next = chain->Next;
    collector.settings.Previous.FreeMem(chain);
    chain = next;
  }
}

void Report(TLeakError error, void* block, void* caller) {
  const TLeakSettings& s = collector.settings;
  if (!(s.Options & kLeakReportErrors) || !s.OnError) return;
  try {
    s.OnError(error, block, caller);
  } catch (...) {
    // A free cannot fail: the report is all the hook gets to do.
  }
}

// What a free or reallocation found about its block, under the lock.
enum class TFound { Foreign, Refused, Live };

TFound Examine(void* user, TLeakHeader*& h, bool& overrun) {
  uintptr_t address = reinterpret_cast<uintptr_t>(user) - BlockOverHead;
  bool released = false;
  if (!collector.owned.Find(address, &released)) return TFound::Foreign;
  h = reinterpret_cast<TLeakHeader*>(address);
  if (released || h->State == kBlockFreed) return TFound::Refused;
  // A broken header guard means the size may be broken too: the footer is not read.
  overrun = h->Guard != kLeakGuard || FooterGuard(h) != kLeakGuard;
  return TFound::Live;
}

// Frees a listed block through the quarantine; reports after the lock is down.
void Retire(TLeakHeader* h, bool overrun, void* caller) {
  TLeakHeader* evicted = nullptr;
  Unlink(h);
  Quarantine(h, evicted);
  Unlock();
  FreeChain(evicted);
  if (overrun) Report(TLeakError::Overrun, UserData(h), caller);
}

void* Record(void* raw, size_t size, TLeakKind kind, const uintptr_t* frame) {
  auto* h = static_cast<TLeakHeader*>(raw);
  h->Next = h->Prev = nullptr;
  h->State = kBlockLive;
  h->Kind = kind;
  h->Size = static_cast<uint32_t>(size);
  h->Count = 1;
  h->Guard = kLeakGuard;
  uint32_t guard = kLeakGuard;
  std::memcpy(static_cast<char*>(raw) + BlockOverHead + size, &guard, sizeof guard);
  if (collector.settings.Capture && frame) {
    collector.settings.Capture(*h, frame + 1, frame);
  } else {
    std::memset(h->Snapshot, 0, sizeof h->Snapshot);
    std::memset(h->Stack, 0, sizeof h->Stack);
  }
  Lock();
  // A kept block is in the set already: this clears its mark.
  if (!collector.owned.Add(reinterpret_cast<uintptr_t>(h), false)) {
    Unlock();
    collector.settings.Previous.FreeMem(raw);
    return nullptr;
  }
  Append(h);
  Unlock();
  return UserData(h);
}

void* Allocate(size_t size, TLeakKind kind, const uintptr_t* frame) {
  const TMemoryManager& previous = collector.settings.Previous;
  if (!catching.load(std::memory_order_relaxed) || (collector.settings.Untracked && collector.settings.Untracked()))
    return kind == kBlockObject ? previous.GetObjectMem(size) : previous.GetMem(size);
  if (size > kMaxUserSize) return nullptr;
  size_t whole = size + BlockOverHead + BlockOverFoot;
  int c = ReuseClass(whole, whole);
  void* raw = c >= 0 ? TakeKept(kind, c, whole) : nullptr;
  if (!raw) raw = kind == kBlockObject ? previous.GetObjectMem(whole) : previous.GetMem(whole);
  if (!raw) return nullptr;
  return Record(raw, size, kind, frame);
}

}  // namespace

namespace {
void SlowLock() {
  for (unsigned spins = 0;; ++spins) {
    uint8_t expected = 0;
    if (__atomic_compare_exchange_n(&listLock, &expected, 1, false, __ATOMIC_ACQUIRE, __ATOMIC_RELAXED)) return;
    if (spins < 100 || !collector.settings.Yield) {
      Pause();
    } else {
      collector.settings.Yield();
      spins = 0;
    }
  }
}

}  // namespace

void LeakLock() { Lock(); }
void LeakUnlock() { Unlock(); }

// Each entry's own frame is where its caller's stack begins.
#define LEAK_FRAME static_cast<const uintptr_t*>(__builtin_frame_address(0))

void* LeakGetMem(size_t size) { return Allocate(size, kBlockData, LEAK_FRAME); }

void* LeakGetObjectMem(size_t size) { return Allocate(size, kBlockObject, LEAK_FRAME); }

void LeakFreeMem(void* user) {
  if (!user) return;
  void* caller = __builtin_return_address(0);
  TLeakHeader* h = nullptr;
  bool overrun = false;
  Lock();
  switch (Examine(user, h, overrun)) {
    case TFound::Foreign:
      Unlock();
      collector.settings.Previous.FreeMem(user);
      return;
    case TFound::Refused:
      Unlock();
      Report(TLeakError::MultiFree, user, caller);
      return;
    case TFound::Live:
      Retire(h, overrun, caller);
      return;
  }
}

void* LeakReallocMem(void* user, size_t size) {
  void* caller = __builtin_return_address(0);
  if (!user) return Allocate(size, kBlockData, LEAK_FRAME);
  if (size == 0) {
    LeakFreeMem(user);
    return nullptr;
  }
  const TMemoryManager& previous = collector.settings.Previous;
  TLeakHeader* h = nullptr;
  bool overrun = false;
  Lock();
  TFound found = Examine(user, h, overrun);
  Unlock();
  if (found == TFound::Foreign) return previous.ReallocMem(user, size);
  if (found == TFound::Refused) {
    Report(TLeakError::MultiFree, user, caller);
    return nullptr;
  }
  // The old block stays listed until the new one holds its data, so a failure
  // leaves it as it was. While not catching, the data moves to a plain block.
  void* fresh = Allocate(size, kBlockData, LEAK_FRAME);
  if (!fresh) return nullptr;
  std::memcpy(fresh, user, h->Size < size ? h->Size : size);
  Lock();
  if (h->State != kBlockLive) {
    Unlock();  // freed meanwhile by another thread: nothing left to retire
    return fresh;
  }
  Retire(h, overrun, caller);
  return fresh;
}

TMemoryManager LeakStart(const TLeakSettings& settings) {
  LeakReset();
  collector.settings = settings;
  collector.owned.Use(settings.Previous.GetMem, settings.Previous.FreeMem);
  catching.store(true);
  return TMemoryManager{LeakGetMem, LeakFreeMem, LeakReallocMem, LeakGetObjectMem};
}

TMemoryManager LeakResumeCatching() {
  catching.store(true);
  return TMemoryManager{LeakGetMem, LeakFreeMem, LeakReallocMem, LeakGetObjectMem};
}

bool LeakCatchingActive() { return catching.load(std::memory_order_relaxed); }

TMemoryManager LeakStopCatching() {
  catching.store(false);
  // Nothing is kept from here on: those kept so far go back.
  Lock();
  TLeakHeader* kept = TakeAllKept();
  Unlock();
  FreeChain(kept);
  const TMemoryManager& previous = collector.settings.Previous;
  return TMemoryManager{previous.GetMem, LeakFreeMem, LeakReallocMem, previous.GetObjectMem};
}

void LeakReset() {
  catching.store(false);
  Lock();
  TLeakHeader* chain = collector.quarantineHead;
  collector.quarantineHead = collector.quarantineTail = nullptr;
  collector.quarantineBlocks = collector.quarantineBytes = 0;
  if (collector.settings.Previous.FreeMem) {
    FreeChain(chain);
    FreeChain(TakeAllKept());
    collector.owned.Clear();
  }
  collector.head = collector.tail = nullptr;
  Unlock();
}

TLeakHeader* LeakListHead() { return collector.head; }

void LeakRelease(TLeakHeader* h) {
  Unlink(h);
  collector.owned.SetMark(reinterpret_cast<uintptr_t>(h), true);
  collector.settings.Previous.FreeMem(h);
}

bool LeakOwns(void* user) {
  LeakLock();
  bool found = collector.owned.Find(reinterpret_cast<uintptr_t>(user) - BlockOverHead);
  LeakUnlock();
  return found;
}

size_t LeakQuarantined() { return collector.quarantineBlocks; }

}  // namespace exclog
