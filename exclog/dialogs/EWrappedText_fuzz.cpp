// Fuzz target: wrapped-text heights. Two bytes of width (any sign), one of line
// height, then the text; each character is as wide as its code modulo 13, plus 1.
// The height must never fall below a greedy word wrap's at the same room, and
// nothing may overflow or divide by zero.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "exclog/dialogs/EDialogKit.h"

namespace {

int Width(std::string_view piece) {
  int w = 0;
  for (char c : piece) w += static_cast<unsigned char>(c) % 13 + 1;
  return w;
}

// Lines a greedy wrap at blanks needs, a word wider than the room on a line of its own.
long long GreedyLines(std::string_view text, int room) {
  long long lines = 0;
  size_t start = 0;
  while (true) {
    size_t end = text.find_first_of("\r\n", start);
    std::string_view line = text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    ++lines;
    long long running = -1;
    size_t at = 0;
    while (at <= line.size()) {
      size_t blank = line.find(' ', at);
      if (blank == std::string_view::npos) blank = line.size();
      int w = Width(line.substr(at, blank - at));
      if (running < 0) {
        running = w;
      } else if (running + Width(" ") + w <= room) {
        running += Width(" ") + w;
      } else {
        ++lines;
        running = w;
      }
      at = blank + 1;
    }
    if (end == std::string_view::npos) break;
    start = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
  }
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  int width = static_cast<int16_t>(data[0] | (data[1] << 8));
  int lineHeight = data[2];
  std::string_view text(reinterpret_cast<const char*>(data + 3), size - 3);
  int height = exclog::MeasureWrappedHeight(text, width, lineHeight, &Width);
  if (height < 0) std::abort();
  if (static_cast<long long>(height) < GreedyLines(text, std::max(1, width - 6)) * lineHeight) std::abort();
  return 0;
}
