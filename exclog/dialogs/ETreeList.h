#pragma once
// The owner-drawn tree list's pure half: a two-level tree of rows over a report
// list view. Group heads start groups; a separator (a row whose first text is
// blank) ends the run of groups before it; inside a run the first head is the top
// group and every later head a sub-group (its rows indented) that ends at the next
// head. Expanding and collapsing come out as row inserts and deletes for the glue
// (ETreeList_win.h) to apply; the box hit test, colours and cell spans too.
#include <cstdint>
#include <string>
#include <vector>

#include "classlib/Classes.h"

namespace exclog {

struct TTreeNode {
  std::vector<std::string> Texts;  // one per column; missing ones draw empty
  int Image = -1;                  // -1: none
  bool Indented = false;           // the first text carries the indent prefix
  int ColourCode = 0;
  bool GroupHead = false;
  bool Expanded = true;
  bool Separator = false;
  bool Shown = true;
  bool SubHead = false;            // a head after the first of its run
  std::string Key;
  TTreeNode* PreviousHead = nullptr;  // the last non-separator node before this one
  TTreeNode* OwnHead = nullptr;       // the head whose group this row is in
  int Index = 0;                      // position in the list
  const std::string& Text(size_t column) const;
};

// One change to the list view: insert node `Node`'s row at `Row`, or delete `Row`.
struct TRowChange {
  bool Insert = false;
  int Row = 0;
  TTreeNode* Node = nullptr;
  bool operator==(const TRowChange&) const = default;
};

// The nodes, in insertion order (a TList of TTreeNode, owned).
class TTreeModel : public TList {
  VELMORA_CLASS(TTreeModel, TList)
 public:
  ~TTreeModel() override;
  TTreeNode* Node(int index) const { return static_cast<TTreeNode*>(Get(index)); }
  // Appends a node (shown, expanded). A node that is no separator gets `indentText`
  // before its first text once a run has more than one head.
  TTreeNode* AddNode(const std::vector<std::string>& texts, int image, int colourCode, bool groupHead,
                     const std::string& key, const std::string& indentText);
  // Flips the head at `row` (the head's current row) and says which rows to insert
  // and delete, in order. A top head hides or shows its whole run (rows of its
  // collapsed sub-groups stay hidden); a sub-head its own rows. Not a head: none.
  std::vector<TRowChange> Toggle(TTreeNode* head, int row);
  // The row a shown node has (shown nodes before it); -1 when hidden.
  int RowOf(const TTreeNode* node) const;
  int ShownCount() const;
  void Clear() override;

 private:
  TTreeNode* currentHead_ = nullptr;  // last non-separator node, none after a separator
  TTreeNode* runHead_ = nullptr;      // the top head of the current run
  TTreeNode* lastHead_ = nullptr;     // the last head of the current run
  int headsInRun_ = 0;
};

// The expand box of a head, relative to its row: x from d + 2 to d + 12 and y from
// 2 to 12, d the indent width where the head is drawn indented (colour code 0).
bool HitsExpandBox(const TTreeNode& head, int x, int y, int indentWidth);

// Header text colour of a group head by colour code (COLORREF): 1 navy, 3 dark
// red, any other grey; colour code 0 is drawn indented.
uint32_t HeadColour(int colourCode);
bool HeadDrawnIndented(int colourCode);

// Column alignment (0 left, 1 centre, 2 right) from a list-view column format's
// low bits (LVCFMT_LEFT 0, LVCFMT_RIGHT 1, LVCFMT_CENTER 2).
int AlignmentOfFormat(int format);
constexpr int MaxTreeColumns = 16;

// The cell of `column` whose left edge (before the column) is `edge`: text from
// edge + 20 (column 0: room for the icon) or + 6, to edge + width - 2 (column 0)
// or - 6.
struct TCellSpan {
  int Left = 0, Right = 0;
  bool operator==(const TCellSpan&) const = default;
};
TCellSpan CellSpan(int column, int edge, int width);

}  // namespace exclog
