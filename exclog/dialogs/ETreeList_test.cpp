// The tree list's rows: adding (separators, indents, sub-groups), the toggle walk as
// row inserts and deletes, the expand box where it is drawn, colours and cells.
#include "exclog/dialogs/ETreeList.h"

#include <gtest/gtest.h>

namespace exclog {
namespace {

const std::string Indent = "    ";

// Exception thread (top head, two rows), its calling thread (sub-head, two rows),
// a separator, a running thread (top head, one row).
struct TSample {
  TTreeModel Model;
  TTreeNode *Top, *Sub, *Running;
  TSample() {
    Top = Model.AddNode({"Exception Thread"}, -1, 3, true, "", Indent);
    Model.AddNode({"00401000", "a.exe"}, 2, 0, false, "", Indent);
    Model.AddNode({"00401010"}, 2, 0, false, "", Indent);
    Sub = Model.AddNode({"Calling Thread"}, -1, 0, true, "", Indent);
    Model.AddNode({"00402000"}, 0, 0, false, "", Indent);
    Model.AddNode({"00402010"}, 0, 0, false, "", Indent);
    Model.AddNode({"", "", ""}, -1, 0, false, "", Indent);
    Running = Model.AddNode({"Running Thread"}, -1, 1, true, "", Indent);
    Model.AddNode({"00403000"}, 3, 0, false, "", Indent);
  }
  // Rows as the list shows them: the node index of each shown node.
  std::vector<int> Shown() const {
    std::vector<int> rows;
    for (int i = 0; i < Model.Count(); ++i)
      if (Model.Node(i)->Shown) rows.push_back(i);
    return rows;
  }
};

std::vector<int> Apply(std::vector<int> rows, const std::vector<TRowChange>& changes) {
  for (const TRowChange& c : changes) {
    if (c.Insert)
      rows.insert(rows.begin() + c.Row, c.Node->Index);
    else
      rows.erase(rows.begin() + c.Row);
  }
  return rows;
}

TEST(TreeListAdd, SeparatorsIndentsAndHeads) {
  TSample s;
  TTreeModel& m = s.Model;
  EXPECT_FALSE(s.Top->SubHead);
  EXPECT_TRUE(s.Sub->SubHead);
  EXPECT_FALSE(s.Running->SubHead);
  EXPECT_TRUE(m.Node(6)->Separator);
  EXPECT_FALSE(m.Node(6)->Indented);
  // From the second head of a run on, first texts carry the indent; a missing first
  // text is made.
  EXPECT_EQ(m.Node(1)->Texts[0], "00401000");
  EXPECT_EQ(s.Sub->Texts[0], Indent + "Calling Thread");
  EXPECT_EQ(m.Node(4)->Texts[0], Indent + "00402000");
  EXPECT_EQ(s.Running->Texts[0], "Running Thread");
  EXPECT_EQ(m.Node(8)->Text(5), "");
  EXPECT_EQ(m.Node(1)->PreviousHead, s.Top);
  EXPECT_EQ(s.Running->PreviousHead, nullptr);
  EXPECT_EQ(m.RowOf(s.Running), 7);
  // A head with blank text is still a head, not a separator.
  EXPECT_FALSE(m.AddNode({" "}, -1, 1, true, "", Indent)->Separator);
}

TEST(TreeListToggle, TopHeadHidesItsRunAndKeepsSubGroupsState) {
  TSample s;
  std::vector<int> rows = s.Shown();
  // Collapse the sub-group: its own two rows only.
  std::vector<TRowChange> c = s.Model.Toggle(s.Sub, 3);
  EXPECT_EQ(c, (std::vector<TRowChange>{{false, 4, s.Model.Node(4)}, {false, 4, s.Model.Node(5)}}));
  rows = Apply(rows, c);
  EXPECT_EQ(rows, (std::vector<int>{0, 1, 2, 3, 6, 7, 8}));
  EXPECT_EQ(rows, s.Shown());
  // Collapse the top: its rows and the sub-head go, the separator and the next run stay.
  rows = Apply(rows, s.Model.Toggle(s.Top, 0));
  EXPECT_EQ(rows, (std::vector<int>{0, 6, 7, 8}));
  // Expand the top: the sub-head comes back, its rows stay hidden (it is collapsed).
  rows = Apply(rows, s.Model.Toggle(s.Top, 0));
  EXPECT_EQ(rows, (std::vector<int>{0, 1, 2, 3, 6, 7, 8}));
  EXPECT_EQ(rows, s.Shown());
  // Expanding the sub-group then shows its rows under it.
  rows = Apply(rows, s.Model.Toggle(s.Sub, 3));
  EXPECT_EQ(rows, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST(TreeListToggle, LaterSubGroupsAndEdgeCases) {
  TTreeModel m;
  TTreeNode* top = m.AddNode({"top"}, -1, 3, true, "", Indent);
  TTreeNode* a = m.AddNode({"a"}, -1, 0, true, "", Indent);
  m.AddNode({"a1"}, 0, 0, false, "", Indent);
  TTreeNode* b = m.AddNode({"b"}, -1, 0, true, "", Indent);
  m.AddNode({"b1"}, 0, 0, false, "", Indent);
  std::vector<int> rows{0, 1, 2, 3, 4};
  // Collapsing the first sub-group leaves the sibling head after it.
  rows = Apply(rows, m.Toggle(a, 1));
  EXPECT_EQ(rows, (std::vector<int>{0, 1, 3, 4}));
  // Collapse and expand the top: every sub-head returns and the later, expanded
  // group's rows too, though an earlier one stays collapsed.
  rows = Apply(rows, m.Toggle(top, 0));
  EXPECT_EQ(rows, (std::vector<int>{0}));
  rows = Apply(rows, m.Toggle(top, 0));
  EXPECT_EQ(rows, (std::vector<int>{0, 1, 3, 4}));
  EXPECT_TRUE(b->Shown);
  // Collapsing a group whose rows are hidden already removes nothing.
  rows = Apply(rows, m.Toggle(top, 0));
  a->Expanded = true;
  EXPECT_TRUE(m.Toggle(a, -1).empty());
  // Rows never toggle.
  EXPECT_TRUE(m.Toggle(m.Node(2), 2).empty());
  EXPECT_TRUE(m.Toggle(nullptr, 0).empty());
}

TEST(TreeListDrawing, ExpandBoxWhereDrawnColoursAndCells) {
  TSample s;
  const int indent = 16;
  // The exception thread's head (colour 3) is drawn at the row's left: box 2..12.
  EXPECT_TRUE(HitsExpandBox(*s.Top, 2, 2, indent));
  EXPECT_TRUE(HitsExpandBox(*s.Top, 12, 12, indent));
  EXPECT_FALSE(HitsExpandBox(*s.Top, 13, 6, indent));
  EXPECT_FALSE(HitsExpandBox(*s.Top, 6, 13, indent));
  // The calling thread's head (colour 0) is drawn indented, and hit there.
  EXPECT_FALSE(HitsExpandBox(*s.Sub, 6, 6, indent));
  EXPECT_TRUE(HitsExpandBox(*s.Sub, indent + 6, 6, indent));
  // A colour-0 head first in its run (no previous head) is still drawn indented.
  TTreeModel m;
  TTreeNode* alone = m.AddNode({"Calling Thread"}, -1, 0, true, "", Indent);
  EXPECT_EQ(alone->PreviousHead, nullptr);
  EXPECT_TRUE(HitsExpandBox(*alone, indent + 2, 2, indent));
  EXPECT_FALSE(HitsExpandBox(*alone, 2, 2, indent));
  // A navy head with a previous head is drawn at the left.
  TTreeNode* navy = m.AddNode({"Running"}, -1, 1, true, "", Indent);
  EXPECT_TRUE(HitsExpandBox(*navy, 2, 2, indent));

  EXPECT_EQ(HeadColour(1), 0x800000u);
  EXPECT_EQ(HeadColour(3), 0x000080u);
  EXPECT_EQ(HeadColour(0), 0x606060u);
  EXPECT_EQ(HeadColour(2), 0x606060u);
  EXPECT_EQ(AlignmentOfFormat(0), 0);
  EXPECT_EQ(AlignmentOfFormat(1), 2);
  EXPECT_EQ(AlignmentOfFormat(2), 1);
  EXPECT_EQ(CellSpan(0, 0, 89), (TCellSpan{20, 87}));
  EXPECT_EQ(CellSpan(1, 89, 92), (TCellSpan{95, 175}));
}

}  // namespace
}  // namespace exclog
