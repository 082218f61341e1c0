#include "exclog/leaks/ELeakSet.h"

#include <cstring>

namespace exclog {

bool TLeakAddressSet::Grow() {
  size_t wanted = 1024;
  while (wanted < (used_ + 1) * 4) wanted *= 2;
  if (wanted > SIZE_MAX / sizeof(uintptr_t)) return false;
  auto* fresh = static_cast<uintptr_t*>(allocate_(wanted * sizeof(uintptr_t)));
  if (!fresh) return false;
  std::memset(fresh, 0, wanted * sizeof(uintptr_t));
  for (size_t i = 0; i < capacity_; ++i) {
    uintptr_t s = slots_[i];
    if (s == kEmpty) continue;
    size_t j = Hash(s & ~kMark) & (wanted - 1);
    while (fresh[j] != kEmpty) j = (j + 1) & (wanted - 1);
    fresh[j] = s;
  }
  if (slots_) release_(slots_);
  slots_ = fresh;
  capacity_ = wanted;
  return true;
}

// One probe: the address's own slot (a released block's address handed out again)
// or the empty slot that ends its run. At most half full: probes stay short, and
// an empty slot always ends one.
bool TLeakAddressSet::Add(uintptr_t address, bool marked) {
  if ((used_ + 1) * 2 > capacity_) {
    size_t at = Slot(address);
    if (at < capacity_) {
      slots_[at] = address | (marked ? kMark : 0);
      return true;
    }
    if (!Grow()) return false;
  }
  size_t mask = capacity_ - 1, i = Hash(address) & mask;
  while (slots_[i] != kEmpty && (slots_[i] & ~kMark) != address) i = (i + 1) & mask;
  if (slots_[i] == kEmpty) ++used_;
  slots_[i] = address | (marked ? kMark : 0);
  return true;
}

bool TLeakAddressSet::SetMark(uintptr_t address, bool marked) {
  size_t at = Slot(address);
  if (at >= capacity_) return false;
  slots_[at] = address | (marked ? kMark : 0);
  return true;
}

// Closes the gap instead of leaving a tombstone: each later entry of the probe run
// whose home lies at or before the gap moves into it.
bool TLeakAddressSet::Remove(uintptr_t address) {
  size_t gap = Slot(address);
  if (gap >= capacity_) return false;
  size_t mask = capacity_ - 1;
  for (size_t j = (gap + 1) & mask;; j = (j + 1) & mask) {
    uintptr_t s = slots_[j];
    if (s == kEmpty) break;
    size_t home = Hash(s & ~kMark) & mask;
    if (((j - home) & mask) >= ((j - gap) & mask)) {
      slots_[gap] = s;
      gap = j;
    }
  }
  slots_[gap] = kEmpty;
  --used_;
  return true;
}

void TLeakAddressSet::Clear() {
  if (slots_) release_(slots_);
  slots_ = nullptr;
  capacity_ = used_ = 0;
}

}  // namespace exclog
