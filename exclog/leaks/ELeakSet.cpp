#include "exclog/leaks/ELeakSet.h"

#include <cstring>

namespace exclog {

namespace {
size_t Hash(uintptr_t address) {
  uint64_t h = static_cast<uint64_t>(address >> 3) * 0x9E3779B97F4A7C15ull;
  return static_cast<size_t>(h ^ (h >> 29));
}
}  // namespace

// The slot holding `address`, or capacity_ when absent.
size_t TLeakAddressSet::Slot(uintptr_t address) const {
  if (capacity_ == 0) return 0;
  size_t mask = capacity_ - 1;
  for (size_t i = Hash(address) & mask, n = 0; n < capacity_; i = (i + 1) & mask, ++n) {
    uintptr_t s = slots_[i];
    if (s == kEmpty) break;
    if (s != kTomb && (s & ~kMark) == address) return i;
  }
  return capacity_;
}

bool TLeakAddressSet::Grow() {
  size_t wanted = 1024;
  while (wanted < (used_ + 1) * 4) wanted *= 2;
  if (wanted > SIZE_MAX / sizeof(uintptr_t)) return false;
  auto* fresh = static_cast<uintptr_t*>(allocate_(wanted * sizeof(uintptr_t)));
  if (!fresh) return false;
  std::memset(fresh, 0, wanted * sizeof(uintptr_t));
  for (size_t i = 0; i < capacity_; ++i) {
    uintptr_t s = slots_[i];
    if (s == kEmpty || s == kTomb) continue;
    size_t j = Hash(s & ~kMark) & (wanted - 1);
    while (fresh[j] != kEmpty) j = (j + 1) & (wanted - 1);
    fresh[j] = s;
  }
  if (slots_) release_(slots_);
  slots_ = fresh;
  capacity_ = wanted;
  tombs_ = 0;
  return true;
}

bool TLeakAddressSet::Add(uintptr_t address, bool marked) {
  size_t at = Slot(address);
  if (at < capacity_) {
    slots_[at] = address | (marked ? kMark : 0);
    return true;
  }
  // At most half full, tombstones counted: probes stay short.
  if ((used_ + tombs_ + 1) * 2 > capacity_ && !Grow()) return false;
  size_t mask = capacity_ - 1, i = Hash(address) & mask;
  while (slots_[i] != kEmpty && slots_[i] != kTomb) i = (i + 1) & mask;
  if (slots_[i] == kTomb) --tombs_;
  slots_[i] = address | (marked ? kMark : 0);
  ++used_;
  return true;
}

bool TLeakAddressSet::Find(uintptr_t address, bool* marked) const {
  size_t at = Slot(address);
  if (at >= capacity_) return false;
  if (marked) *marked = (slots_[at] & kMark) != 0;
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
  capacity_ = used_ = tombs_ = 0;
}

}  // namespace exclog
