// Fuzz target of the item lines layouts hand to the common controls: tree outlines
// and status-panel widths must parse or be refused, never break their promises.
#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "classlib/ComCtrls.h"

namespace {
std::vector<std::string> LinesOf(const uint8_t* data, size_t size) {
  std::vector<std::string> lines(1);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == '\n')
      lines.emplace_back();
    else
      lines.back().push_back(static_cast<char>(data[i]));
  }
  return lines;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<std::string> lines = LinesOf(data, size);
  const std::vector<TOutlineNode> nodes = ParseOutline(lines);
  if (nodes.size() > lines.size()) std::abort();
  // The first node is a root and no node is more than one level below the one before.
  for (size_t i = 0; i < nodes.size(); ++i) {
    const int deepest = i == 0 ? 0 : nodes[i - 1].Level + 1;
    if (nodes[i].Level < 0 || nodes[i].Level > deepest || nodes[i].Text.empty()) std::abort();
  }

  TStatusPanels panels;
  try {
    panels.SetWidths(lines);
    if (static_cast<size_t>(panels.Count()) != std::min<size_t>(lines.size(), comctl::MaxStatusParts)) std::abort();
    const std::vector<int> edges = StatusPartEdges(panels.WidthValues());
    for (size_t i = 1; i + 1 < edges.size(); ++i)
      if (edges[i] < edges[i - 1]) std::abort();
    if (edges.back() != -1) std::abort();
  } catch (const EConvertError&) {
    if (panels.Count() != 0) std::abort();  // a refused list changes nothing
  }
  return 0;
}
