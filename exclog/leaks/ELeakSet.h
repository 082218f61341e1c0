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
  bool Find(uintptr_t address, bool* marked = nullptr) const;
  bool SetMark(uintptr_t address, bool marked);
  bool Remove(uintptr_t address);
  size_t Size() const { return used_; }
  // Gives the table back to its allocator and empties the set.
  void Clear();

 private:
  static constexpr uintptr_t kEmpty = 0, kTomb = 1, kMark = 2;
  size_t Slot(uintptr_t address) const;
  bool Grow();

  uintptr_t* slots_ = nullptr;
  size_t capacity_ = 0;  // a power of two
  size_t used_ = 0, tombs_ = 0;
  TAllocate allocate_ = nullptr;
  TRelease release_ = nullptr;
};

}  // namespace exclog
