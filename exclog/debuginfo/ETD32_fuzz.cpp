// The TD32 parser over arbitrary bytes: it parses or raises its assertion failure,
// and lookups over what it parsed stay inside its tables.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "classlib/SysUtils.h"
#include "exclog/debuginfo/ETD32.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    exclog::TQLTD32InfoParser parser(std::string_view(reinterpret_cast<const char*>(data), size));
    for (const auto& source : parser.SourceModules())
      for (uint32_t offset : {source.Start, source.End - 1, source.End}) {
        parser.LineAt(offset);
        parser.ProcedureAt(offset);
        parser.ModuleAt(offset);
        parser.Name(source.NameIndex);
      }
  } catch (const EAssertionFailed&) {
  }
  return 0;
}
