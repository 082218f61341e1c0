#include "exclog/core/EMemoryView.h"

#include <algorithm>
#include <cstring>

namespace exclog {

bool TMemoryView::ReadU32(uintptr_t address, uint32_t& value) const {
  uint8_t b[4];
  if (!Read(address, b, 4)) return false;
  value = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
  return true;
}

size_t TRegionMemory::Add(uintptr_t address, std::vector<uint8_t> bytes) {
  auto at = std::upper_bound(blocks_.begin(), blocks_.end(), address,
                             [](uintptr_t a, const TBlock& b) { return a < b.Address; });
  size_t index = static_cast<size_t>(at - blocks_.begin());
  blocks_.insert(at, TBlock{address, std::move(bytes)});
  return index;
}

const TRegionMemory::TBlock* TRegionMemory::BlockAt(uintptr_t address) const {
  auto at = std::upper_bound(blocks_.begin(), blocks_.end(), address,
                             [](uintptr_t a, const TBlock& b) { return a < b.Address; });
  if (at == blocks_.begin()) return nullptr;
  --at;
  if (address - at->Address >= at->Bytes.size()) return nullptr;
  return &*at;
}

size_t TRegionMemory::ReadableBytes(uintptr_t address, size_t size) const {
  size_t total = 0;
  while (total < size) {
    const TBlock* block = BlockAt(address + total);
    if (!block) break;
    total += block->Bytes.size() - (address + total - block->Address);
    if (address + total < address) break;  // wrapped at the top of the space
  }
  if (total == 0) ++unmappedAsks_;
  return total;
}

bool TRegionMemory::Read(uintptr_t address, void* buffer, size_t size) const {
  if (size == 0) return true;
  if (ReadableBytes(address, size) < size) return false;
  auto* out = static_cast<uint8_t*>(buffer);
  size_t done = 0;
  while (done < size) {
    const TBlock* block = BlockAt(address + done);
    size_t from = address + done - block->Address;
    size_t n = std::min(size - done, block->Bytes.size() - from);
    std::memcpy(out + done, block->Bytes.data() + from, n);
    done += n;
  }
  return true;
}

bool TRegionMemory::Write(uintptr_t address, const void* data, size_t size) {
  const TBlock* block = BlockAt(address);
  if (!block || block->Bytes.size() - (address - block->Address) < size) return false;
  std::memcpy(const_cast<TBlock*>(block)->Bytes.data() + (address - block->Address), data, size);
  return true;
}

size_t TOverlayMemory::ReadableBytes(uintptr_t address, size_t size) const {
  if (address - address_ >= size_) return below_.ReadableBytes(address, size);
  size_t inside = size_ - (address - address_);
  if (inside >= size) return inside;
  return inside + below_.ReadableBytes(address_ + size_, size - inside);
}

bool TOverlayMemory::Read(uintptr_t address, void* buffer, size_t size) const {
  auto* out = static_cast<uint8_t*>(buffer);
  while (size > 0) {
    size_t n;
    if (address - address_ < size_) {
      size_t from = address - address_;
      n = std::min(size, size_ - from);
      std::memcpy(out, bytes_ + from, n);
    } else {
      // Up to the copy's start when it lies ahead, else the rest.
      n = address < address_ && address_ - address < size ? address_ - address : size;
      if (!below_.Read(address, out, n)) return false;
    }
    out += n;
    address += n;
    size -= n;
  }
  return true;
}

}  // namespace exclog
