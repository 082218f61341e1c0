#pragma once
// Reading memory that may not be there. The call-stack walker, the export walk
// and the instruction listing read stacks and code of the running process through
// this interface, so their logic runs natively on synthetic memory as well; the
// process's own memory is ProcessMemory() (ECore_win.h): a readability test, then
// a copy that survives the region vanishing in between.
//
// Addresses are plain integers: arithmetic on them is done as integers, never on
// pointers (a pointer walked past its object is undefined behaviour the optimiser
// may act on).
#include <cstddef>
#include <cstdint>
#include <vector>

namespace exclog {

class TMemoryView {
 public:
  virtual ~TMemoryView() = default;
  // Bytes readable from `address` on, counted up to at least `size` when they
  // are readable that far (more is allowed); 0 when none.
  virtual size_t ReadableBytes(uintptr_t address, size_t size) const = 0;
  // Copies `size` bytes; false (with `buffer` unspecified) when any is unreadable.
  virtual bool Read(uintptr_t address, void* buffer, size_t size) const = 0;

  // Copies bytes that ReadableBytes approved a moment ago: only the copy's own
  // fault guard remains (the region may have vanished since).
  virtual bool ReadApproved(uintptr_t address, void* buffer, size_t size) const {
    return Read(address, buffer, size);
  }

  bool IsReadable(uintptr_t address, size_t size) const { return ReadableBytes(address, size) >= size; }
  // A little-endian 32-bit value; false when unreadable.
  bool ReadU32(uintptr_t address, uint32_t& value) const;
  bool ReadU8(uintptr_t address, uint8_t& value) const { return Read(address, &value, 1); }
};

// Memory made of separate byte blocks at given addresses (tests, fuzzing,
// a copied image). Blocks must not overlap; a read never spans two blocks unless
// they touch.
class TRegionMemory : public TMemoryView {
 public:
  // Adds a readable block at `address` holding `bytes`; returns its index.
  size_t Add(uintptr_t address, std::vector<uint8_t> bytes);
  // The bytes of block `index`, to edit in place.
  std::vector<uint8_t>& Block(size_t index) { return blocks_[index].Bytes; }
  // Writes `size` bytes into whatever block holds them (false when none does).
  bool Write(uintptr_t address, const void* data, size_t size);
  bool WriteU32(uintptr_t address, uint32_t value) { return Write(address, &value, 4); }

  size_t ReadableBytes(uintptr_t address, size_t size) const override;
  bool Read(uintptr_t address, void* buffer, size_t size) const override;
  // Number of Read and ReadableBytes calls that asked about an address outside
  // every block: tests use it to see that unreadable memory was only probed.
  size_t ReadsOfUnmapped() const { return unmappedAsks_; }

 private:
  struct TBlock {
    uintptr_t Address;
    std::vector<uint8_t> Bytes;
  };
  const TBlock* BlockAt(uintptr_t address) const;
  std::vector<TBlock> blocks_;  // sorted by address
  mutable size_t unmappedAsks_ = 0;
};

// A copy of some bytes laid over another view at their old address: a stopped
// thread's stack walked after the thread was let go again. Reads outside the copy
// go to the view below.
class TOverlayMemory : public TMemoryView {
 public:
  TOverlayMemory(const TMemoryView& below, uintptr_t address, const uint8_t* bytes, size_t size)
      : below_(below), address_(address), bytes_(bytes), size_(size) {}

  size_t ReadableBytes(uintptr_t address, size_t size) const override;
  bool Read(uintptr_t address, void* buffer, size_t size) const override;

 private:
  const TMemoryView& below_;
  uintptr_t address_;
  const uint8_t* bytes_;
  size_t size_;
};

}  // namespace exclog
