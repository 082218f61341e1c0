// Readability test by VirtualQuery: slower than a guarded copy, but it never touches
// the memory it judges.
#include "classlib/System_win.h"

#include <windows.h>

#include <cstdint>

bool IsMemoryReadable(const void* address, size_t length) {
  auto at = reinterpret_cast<uintptr_t>(address);
  if (!address || at + length < at) return false;
  const uintptr_t end = at + (length ? length : 1);
  constexpr DWORD readable = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                             PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
  while (at < end) {
    MEMORY_BASIC_INFORMATION info{};
    if (!VirtualQuery(reinterpret_cast<const void*>(at), &info, sizeof info)) return false;
    if (info.State != MEM_COMMIT || !(info.Protect & readable) || (info.Protect & PAGE_GUARD))
      return false;
    uintptr_t regionEnd = reinterpret_cast<uintptr_t>(info.BaseAddress) + info.RegionSize;
    if (regionEnd <= at) return false;
    at = regionEnd;
  }
  return true;
}
