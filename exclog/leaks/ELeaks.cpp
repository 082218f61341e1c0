#include "exclog/leaks/ELeaks.h"

#include <atomic>
#include <cstring>

#include "exclog/leaks/ELeakSet.h"

namespace exclog {

namespace {

// The set marks blocks already handed back to the previous manager ("released"):
// their address stays known, their header is gone.
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
  void* raw = kind == kBlockObject ? previous.GetObjectMem(whole) : previous.GetMem(whole);
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
