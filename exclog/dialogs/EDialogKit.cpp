#include "exclog/dialogs/EDialogKit.h"

#include <algorithm>
#include <cmath>

namespace exclog {

TDialogFaces FacesForCharset(int charset) {
  if (charset != 0) return {"MS Sans Serif", "Courier New", "Courier New", 10};
  return {"Verdana", "Lucida Console", "Tahoma", 8};
}

TCaptionColours CaptionColours(bool active) {
  if (active) return {0x404040, 0x808080, 0xC29B82, 0xFFFFFF};
  return {0x303030, 0x606060, 0x979797, 0xE0E0E0};
}

TCaptionGeometry CaptionGeometryOf(int width, int height, int cxFrame, int cyFrame, int captionMetric) {
  TCaptionGeometry g;
  int fx = cxFrame - 1, fy = cyFrame - 1;
  g.Window = {0, 0, width, height};
  g.Inner = {fx, fy, width - fx, height - fy};
  g.Band = {fx + 1, fy + 1, width - fx - 1, fy + 1 + captionMetric - 1};
  g.Client = {g.Inner.Left, g.Band.Bottom, g.Inner.Right, g.Inner.Bottom};
  return g;
}

namespace {

uint32_t Darker(uint32_t colour) {
  uint32_t out = 0;
  for (int shift = 0; shift <= 16; shift += 8) {
    double c = std::round(static_cast<double>((colour >> shift) & 0xFF) * 0.96);
    out |= static_cast<uint32_t>(std::min(c, 255.0)) << shift;
  }
  return out;
}

}  // namespace

std::vector<TGradientStep> GradientSteps(const TKitRect& band, uint32_t startColour) {
  std::vector<TGradientStep> steps;
  int count = band.Width() / 5;
  TKitRect rect = band;
  uint32_t colour = startColour;
  for (int i = 0; i < count; ++i) {
    colour = Darker(colour);
    steps.push_back({colour, rect});
    rect.Left += 2;
    rect.Right -= 2;
  }
  return steps;
}

TKitPoint CenteredIn(const TKitRect& area, int width, int height) {
  return {area.Left + (area.Width() - width) / 2, area.Top + (area.Height() - height) / 2};
}

namespace {

std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') continue;
    lines.push_back(text.substr(start, i - start));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  lines.push_back(text.substr(start));
  return lines;
}

}  // namespace

int MeasureWrappedHeight(std::string_view text, int width, int lineHeight, const TTextWidth& textWidth) {
  // The room of a line; at 6 pixels or less each pixel stands for a line's room
  // (a divisor of 0 or below would crash or count backwards).
  long long room = std::max(1, width - 6);
  long long total = 0;
  int blank = -1;
  for (std::string_view line : SplitLines(text)) {
    if (line.empty()) line = " ";
    long long running = 0;
    bool first = true;
    size_t start = 0;
    while (start <= line.size()) {
      size_t end = line.find(' ', start);
      if (end == std::string_view::npos) end = line.size();
      std::string_view word = line.substr(start, end - start);
      long long w = word.empty() ? 0 : textWidth(word);
      // The blank before every word but the first takes room too: without it a
      // wrapped message is measured a line short.
      if (!first) {
        if (blank < 0) blank = textWidth(" ");
        running += blank;
      }
      running += w;
      if (first) total += lineHeight;
      first = false;
      if (running / room >= 1) {
        total += (running / room) * lineHeight;
        running = w;
      }
      start = end + 1;
    }
  }
  return static_cast<int>(std::min<long long>(total, 0x7FFFFFFF));
}

std::string WithoutAmpersands(std::string_view text) {
  std::string out;
  for (char c : text)
    if (c != '&') out += c;
  return out;
}

int ButtonWidthFor(int textWidth, int cyBorder) { return std::max(75, textWidth + 16 + 4 * cyBorder); }

bool ShouldRetakeForeground(const TForegroundFacts& facts) {
  if (facts.DialogTopMost || facts.ForegroundIsDialog) return false;
  if (facts.ForegroundOfOtherProcess) return false;
  return facts.ForegroundRecorded;
}

}  // namespace exclog
