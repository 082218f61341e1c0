// Memory-manager table and the global operator new/delete that route through it.
// The system table calls malloc/free: the native sanitizer build intercepts those,
// so replacing operator new keeps its checks.
#include "classlib/Memory.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

void* SysGetMem(size_t size) { return std::malloc(size ? size : 1); }
void SysFreeMem(void* block) { std::free(block); }
void* SysReallocMem(void* block, size_t size) {
  if (!size) {
    std::free(block);
    return nullptr;
  }
  return std::realloc(block, size);
}

constinit const TMemoryManager systemTable{&SysGetMem, &SysFreeMem, &SysReallocMem, &SysGetMem};

// Each entry is its own atomic so a swap while other threads allocate never tears a
// pointer; a wrapper must accept the brief mix of old and new entries during a swap.
struct TActiveTable {
  std::atomic<void* (*)(size_t)> GetMem{&SysGetMem};
  std::atomic<void (*)(void*)> FreeMem{&SysFreeMem};
  std::atomic<void* (*)(void*, size_t)> ReallocMem{&SysReallocMem};
  std::atomic<void* (*)(size_t)> GetObjectMem{&SysGetMem};
};
constinit TActiveTable active;

}  // namespace

const TMemoryManager& SystemMemoryManager() { return systemTable; }

void GetMemoryManager(TMemoryManager& out) {
  out.GetMem = active.GetMem.load();
  out.FreeMem = active.FreeMem.load();
  out.ReallocMem = active.ReallocMem.load();
  out.GetObjectMem = active.GetObjectMem.load();
}

bool SetMemoryManager(const TMemoryManager& table) {
  if (!table.GetMem || !table.FreeMem || !table.ReallocMem || !table.GetObjectMem) return false;
  active.GetMem.store(table.GetMem);
  active.FreeMem.store(table.FreeMem);
  active.ReallocMem.store(table.ReallocMem);
  active.GetObjectMem.store(table.GetObjectMem);
  return true;
}

void* GetMem(size_t size) { return active.GetMem.load(std::memory_order_relaxed)(size); }
void FreeMem(void* block) {
  if (block) active.FreeMem.load(std::memory_order_relaxed)(block);
}
void* ReallocMem(void* block, size_t size) {
  return active.ReallocMem.load(std::memory_order_relaxed)(block, size);
}
void* GetObjectMem(size_t size) { return active.GetObjectMem.load(std::memory_order_relaxed)(size); }

// Global operators. Aligned variants stay with the run-time library: nothing of
// ours over-aligns, and their blocks never reach these operators.
void* operator new(size_t size) {
  if (void* p = GetMem(size)) return p;
  throw std::bad_alloc();
}
void* operator new[](size_t size) {
  if (void* p = GetMem(size)) return p;
  throw std::bad_alloc();
}
void* operator new(size_t size, const std::nothrow_t&) noexcept { return GetMem(size); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return GetMem(size); }
void operator delete(void* p) noexcept { FreeMem(p); }
void operator delete[](void* p) noexcept { FreeMem(p); }
void operator delete(void* p, size_t) noexcept { FreeMem(p); }
void operator delete[](void* p, size_t) noexcept { FreeMem(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { FreeMem(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { FreeMem(p); }
