#include "classlib/StdCtrlsLogic.h"

#include <algorithm>

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') continue;
    lines.emplace_back(text.substr(start, i - start));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.emplace_back(text.substr(start));
  return lines;
}

std::string JoinLines(const std::vector<std::string>& lines) {
  std::string text;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i) text += "\r\n";
    text += lines[i];
  }
  return text;
}

int NextCheckState(int state, bool allowGrayed) {
  switch (state) {
    case 0:
      return 1;
    case 1:
      return allowGrayed ? 2 : 0;
    default:
      return 0;
  }
}

int ScrollPositionAfter(TScrollCode code, int thumb, int position, int min, int max, int smallChange,
                        int largeChange, int page) {
  // 64-bit sums: positions near the int limits must not overflow.
  long long next = position;
  switch (code) {
    case TScrollCode::LineUp: next -= smallChange; break;
    case TScrollCode::LineDown: next += smallChange; break;
    case TScrollCode::PageUp: next -= largeChange; break;
    case TScrollCode::PageDown: next += largeChange; break;
    case TScrollCode::ThumbPosition:
    case TScrollCode::ThumbTrack: next = thumb; break;
    case TScrollCode::Top: next = min; break;
    case TScrollCode::Bottom: next = max; break;
    case TScrollCode::EndScroll: break;
  }
  long long last = static_cast<long long>(max) - std::max(page - 1, 0);
  if (last < min) last = min;
  return static_cast<int>(std::clamp<long long>(next, min, last));
}
