#pragma once
// Picks the reader of a module's outside debug information: stands above every
// reader so that none of them has to know the others.

#include <cstdint>
#include <memory>

#include "exclog/debuginfo/EOutsideDebug.h"

namespace exclog {

// Tries the map file, then TD32 data, then the binary debug data; the first that
// opens is kept.
// Null when none does.
std::unique_ptr<TQLDebugInfoSource> CreateDebugInfoSource(uintptr_t module, const TModuleFiles& files);

}  // namespace exclog
