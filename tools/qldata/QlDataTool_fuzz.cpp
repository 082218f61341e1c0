// The generator's readers of outside input: PE images (sections, resources), the
// text that nm and objdump print, and a program's settings file.
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "tools/qldata/QlDataTool.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  try {
    qldata::TPeImage image(bytes);
    image.RcData("QLDATA");
    for (const auto& s : image.Sections()) {
      image.BytesAt(s.Rva, 16);
      image.SectionBytes(s.Name);
    }
    qldata::SameCodeAndData(image, image, nullptr);
  } catch (const std::runtime_error&) {
  }
  qldata::ParseNm(bytes);
  qldata::ParseDecodedLines(bytes);
  qldata::ParseImageBase(bytes);
  qldata::SplitClassAndRoutine(bytes);
  qldata::ComparableRoutine(bytes);
  try {
    qldata::OptionsStreamFor(qldata::ParseSettings(bytes));
  } catch (const std::runtime_error&) {
  }
  return 0;
}
