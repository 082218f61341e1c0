// Fuzz target: column widths read from the settings file. Whatever the text, the
// width is the default or the text's own decimal number (blanks around it aside)
// within 0..MaxColumnWidth.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "exclog/dialogs/EDialogPages.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  const int fallback = 4321;
  int width = exclog::ColumnWidthFromSetting(text, fallback);
  if (width == fallback) return 0;
  if (width < 0 || width > exclog::MaxColumnWidth) std::abort();
  size_t first = text.find_first_not_of(" \t");
  size_t last = text.find_last_not_of(" \t");
  if (first == std::string_view::npos) std::abort();
  std::string digits(text.substr(first, last - first + 1));
  if (digits.find_first_not_of("0123456789") != std::string::npos) std::abort();
  if (std::strtol(digits.c_str(), nullptr, 10) != width) std::abort();
  return 0;
}
