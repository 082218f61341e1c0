#pragma once
// Windows services of the System unit. Declarations only: no Windows header here.
#include <cstddef>

// True when `length` bytes from `address` lie in committed, readable pages (checked
// with VirtualQuery, region by region; guard pages count as unreadable). Never faults.
// The default readability check of the raw object walk in the Windows build.
bool IsMemoryReadable(const void* address, size_t length);
