#include "exclog/dialogs/ETreeList.h"

#include <memory>

#include "classlib/SysUtils.h"

namespace exclog {

const std::string& TTreeNode::Text(size_t column) const {
  static const std::string empty;
  return column < Texts.size() ? Texts[column] : empty;
}

TTreeModel::~TTreeModel() { Clear(); }

void TTreeModel::Clear() {
  for (int i = 0; i < Count(); ++i) delete Node(i);
  TList::Clear();
  currentHead_ = runHead_ = lastHead_ = nullptr;
  headsInRun_ = 0;
}

TTreeNode* TTreeModel::AddNode(const std::vector<std::string>& texts, int image, int colourCode, bool groupHead,
                               const std::string& key, const std::string& indentText) {
  auto node = std::make_unique<TTreeNode>();
  node->Texts = texts;
  node->Image = image;
  node->ColourCode = colourCode;
  node->GroupHead = groupHead;
  node->Key = key;
  node->Separator = !groupHead && Trim(node->Text(0)).empty();
  if (node->Separator) {
    headsInRun_ = 0;
    runHead_ = lastHead_ = nullptr;
  } else if (groupHead) {
    ++headsInRun_;
    node->SubHead = headsInRun_ > 1;
    node->OwnHead = node->SubHead ? runHead_ : nullptr;
    if (!node->SubHead) runHead_ = node.get();
    lastHead_ = node.get();
  } else {
    node->OwnHead = lastHead_;
  }
  if (!node->Separator && headsInRun_ > 1) {
    if (node->Texts.empty()) node->Texts.emplace_back();
    node->Texts[0] = indentText + node->Texts[0];
    node->Indented = true;
  }
  node->PreviousHead = currentHead_;
  currentHead_ = node->Separator ? nullptr : node.get();
  node->Index = Count();
  TTreeNode* added = node.get();
  Add(node.release());
  return added;
}

std::vector<TRowChange> TTreeModel::Toggle(TTreeNode* head, int row) {
  std::vector<TRowChange> changes;
  if (!head || !head->GroupHead) return changes;
  head->Expanded = !head->Expanded;
  int running = row + 1;
  for (int i = head->Index + 1; i < Count(); ++i) {
    TTreeNode* node = Node(i);
    if (node->Separator) break;
    bool shown;
    if (head->SubHead) {
      // A sub-group ends at the next head.
      if (node->GroupHead) break;
      shown = head->Expanded && head->Shown;
    } else {
      if (node->GroupHead && !node->SubHead) break;
      if (node->GroupHead || !node->OwnHead || node->OwnHead == head)
        shown = head->Expanded;
      else  // a row of a sub-group: shown only while that sub-group is expanded
        shown = head->Expanded && node->OwnHead->Expanded;
    }
    if (shown && !node->Shown) {
      changes.push_back({true, running++, node});
    } else if (!shown && node->Shown) {
      changes.push_back({false, running, node});
    } else if (shown) {
      ++running;
    }
    node->Shown = shown;
  }
  return changes;
}

int TTreeModel::RowOf(const TTreeNode* node) const {
  if (!node || !node->Shown) return -1;
  int row = 0;
  for (int i = 0; i < node->Index && i < Count(); ++i)
    if (Node(i)->Shown) ++row;
  return row;
}

int TTreeModel::ShownCount() const {
  int shown = 0;
  for (int i = 0; i < Count(); ++i)
    if (Node(i)->Shown) ++shown;
  return shown;
}

bool HeadDrawnIndented(int colourCode) { return colourCode == 0; }

bool HitsExpandBox(const TTreeNode& head, int x, int y, int indentWidth) {
  int d = HeadDrawnIndented(head.ColourCode) ? indentWidth : 0;
  return x >= d + 2 && x <= d + 12 && y >= 2 && y <= 12;
}

uint32_t HeadColour(int colourCode) {
  switch (colourCode) {
    case 1: return 0x800000;  // navy
    case 3: return 0x000080;  // dark red
    default: return 0x606060;
  }
}

int AlignmentOfFormat(int format) {
  switch (format & 3) {
    case 1: return 2;
    case 2: return 1;
    default: return 0;
  }
}

TCellSpan CellSpan(int column, int edge, int width) {
  if (column == 0) return {edge + 20, edge + width - 2};
  return {edge + 6, edge + width - 6};
}

}  // namespace exclog
