// Fuzz target of the INI value rules: numbers and zero-separated name lists from
// files we do not control must parse or be refused, never read out of bounds.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "classlib/IniFiles.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* text = reinterpret_cast<const char*>(data);
  if (auto value = ParseIniInteger(std::string_view(text, size))) {
    // A decimal number that parsed must print back to a number that parses the same.
    if (ParseIniInteger(std::to_string(*value)) != value) std::abort();
  }
  // An exact-size copy, so a read past the given length is caught.
  std::vector<char> exact(text, text + size);
  size_t total = 0;
  for (const std::string& item : SplitZeroList(exact.data(), exact.size())) total += item.size() + 1;
  if (total > size + 1) std::abort();
  return 0;
}
