// The version-block reader over arbitrary bytes: it stays inside them and gives
// strings no longer than the bytes could hold.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "exclog/debuginfo/EVersionBlock.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view block(reinterpret_cast<const char*>(data), size);
  exclog::VersionFixedInfo(block);
  for (std::u16string_view key : {u"FileDescription", u"productversion", u""}) {
    auto text = exclog::VersionString(block, key);
    if (text && text->size() * 2 > size) std::abort();
  }
  return 0;
}
