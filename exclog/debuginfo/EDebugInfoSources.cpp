#include "exclog/debuginfo/EDebugInfoSources.h"

#include "exclog/debuginfo/ETD32.h"

namespace exclog {

std::unique_ptr<TQLDebugInfoSource> CreateDebugInfoSource(uintptr_t module, const TModuleFiles& files) {
  std::unique_ptr<TQLDebugInfoSource> source = std::make_unique<TQLDebugInfoMap>(module, files);
  if (source->OpenSource()) return source;
  source = std::make_unique<TQLDebugInfoTD32>(module, files);
  if (source->OpenSource()) return source;
  source = std::make_unique<TQLDebugInfoJedy>(module, files);
  if (source->OpenSource()) return source;
  return nullptr;
}

}  // namespace exclog
