#pragma once
// An open-addressed set of block addresses with a one-bit mark each, over memory
// of a given allocator: the collector's record of which blocks are its own. Not
// locked; the collector holds its lock around every call.
#include <cstddef>
#include <cstdint>

namespace exclog {

class TLeakAddressSet {
 public:
  using TAllocate = void* (*)(size_t size);
  using TRelease = void (*)(void* block);

  void Use(TAllocate allocate, TRelease release) { allocate_ = allocate; release_ = release; }
  // False when the table could not grow (out of memory); then nothing changed.
  // `address` must be non-zero and 4-aligned.
  bool Add(uintptr_t address, bool marked);
  // Whether `address` is present; `marked` receives its mark.
  bool Find(uintptr_t address, bool* marked = nullptr) const {
    size_t at = Slot(address);
    if (at >= capacity_) return false;
    if (marked) *marked = (slots_[at] & kMark) != 0;
    return true;
  }
  bool SetMark(uintptr_t address, bool marked);
  bool Remove(uintptr_t address);
  size_t Size() const { return used_; }
  // Gives the table back to its allocator and empties the set.
  void Clear();

 private:
  static constexpr uintptr_t kEmpty = 0, kMark = 2;
  // Every allocation and free asks the set: the probe stays inline and the hash
  // stays in 32 bits on the 32-bit program.
  static size_t Hash(uintptr_t address) {
    uint32_t h = static_cast<uint32_t>(address >> 3) * 0x9E3779B1u;
    if constexpr (sizeof(uintptr_t) > 4) h ^= static_cast<uint32_t>(static_cast<uint64_t>(address) >> 35) * 0x85EBCA77u;
    return h ^ (h >> 15);
  }
  // The slot holding `address`, or capacity_ when absent.
  size_t Slot(uintptr_t address) const {
    if (capacity_ == 0) return 0;
    size_t mask = capacity_ - 1;
    for (size_t i = Hash(address) & mask;; i = (i + 1) & mask) {
      uintptr_t s = slots_[i];
      if (s == kEmpty) return capacity_;
      if ((s & ~kMark) == address) return i;
    }
  }
  bool Grow();

  uintptr_t* slots_ = nullptr;
  size_t capacity_ = 0;  // a power of two
  size_t used_ = 0;
  TAllocate allocate_ = nullptr;
  TRelease release_ = nullptr;
};

}  // namespace exclog
