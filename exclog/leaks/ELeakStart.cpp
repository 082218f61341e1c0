#include "exclog/leaks/ELeakStart.h"

#include "exclog/debuginfo/EDebug.h"
#include "exclog/leaks/ELeaks.h"

namespace exclog {

namespace {
constexpr uint16_t kFirstUsableVersion = 6000;

std::optional<TQLDataHeader> Usable(const uint8_t* bytes, size_t size) {
  if (!bytes) return std::nullopt;
  auto header = ParseDataHeader(bytes, size);
  if (!header || header->Version < kFirstUsableVersion) return std::nullopt;
  return header;
}
}  // namespace

uint8_t LeakStartOptions(const TLeakStartData& data) {
  if (data.InsideDevelopmentEnvironment || data.BaseClassElsewhere) return 0;
  auto header = Usable(data.Own, data.OwnSize);
  if (!header) return 0;
  if (data.Main && header->MainModuleByte) {
    header = Usable(data.Main, data.MainSize);
    if (!header) return 0;
  }
  return header->OptionsByte & kLeakCatching ? header->OptionsByte : 0;
}

}  // namespace exclog
