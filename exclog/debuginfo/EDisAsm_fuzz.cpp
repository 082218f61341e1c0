// Any bytes disassemble without reading outside the input (the replay hands in an
// exact-size heap copy), into 1 to 15 bytes of printable text without trailing
// blanks; the same bytes as a code image give a listing around any fault offset.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "exclog/debuginfo/EAsmListing.h"
#include "exclog/debuginfo/EDisAsm.h"

namespace {

constexpr uint32_t kBase = 0x00401000;

class TFuzzLocations : public exclog::TAsmLocations {
 public:
  bool LineInfo(uint32_t address, std::string& unit, uint32_t& line, uint32_t& offset) const override {
    if (address % 7 == 0) return false;
    unit = address % 3 == 0 ? "UnitA" : "UnitB";
    line = address / 5;
    offset = address % 5;
    return true;
  }
  std::string Symbol(uint32_t address) const override { return address % 2 ? "" : "Unit.Routine"; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  exclog::TDisAsm d;
  for (size_t at = 0; at < size; ++at) {
    uint32_t length = 0;
    std::string text;
    d.Disassemble(data + at, size - at, kBase + static_cast<uint32_t>(at), length, text);
    if (length < 1 || length > 15 || length > size - at || text.empty() || text.back() == ' ') std::abort();
    for (char c : text)
      if (c < 32 || c > 126) std::abort();
  }
  if (size >= 2) {
    exclog::TRegionMemory image;
    image.Add(kBase, std::vector<uint8_t>(data, data + size));
    const TFuzzLocations locations;
    const uint32_t fault = kBase + (static_cast<uint32_t>(data[0]) | static_cast<uint32_t>(data[1]) << 8) % size;
    const exclog::TAsmListing l = exclog::BuildAsmListing(fault, image, locations, "Assembler Information");
    if (l.Text.empty() != l.Header.empty()) std::abort();
    if (!l.Text.empty() && l.Text.find("<-- EXCEPTION") == std::string::npos) std::abort();
  }
  return 0;
}
