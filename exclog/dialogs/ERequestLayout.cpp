#include "exclog/dialogs/ERequestLayout.h"

#include <algorithm>

namespace exclog {

TRequestLayout LayOutRequest(const TRequestLayoutInput& in) {
  TRequestLayout l;
  const int w = in.WindowWidth - 27;
  const int label = std::max(in.LabelHeight, 0);
  int grown = in.WindowHeight + label - 10;
  if (in.WorkAreaHeight > 0) grown = std::min(grown, in.WorkAreaHeight);
  int edit = grown - 83 - label;
  const int minEdit = 3 * in.LineHeight + 8;
  if (edit < minEdit) {
    edit = minEdit;
    grown = edit + 83 + label;
  }
  l.WindowHeight = grown;
  l.Label = {10, 10, w, label};
  l.Edit = {10, label + 14, w, edit};
  l.Button = {w - 65, label + 20 + edit, 75, 23};
  return l;
}

}  // namespace exclog
