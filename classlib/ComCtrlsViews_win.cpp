// The view controls: list view, tree view, rich edit.
#include "classlib/ComCtrls_win.h"

#include <richedit.h>

#include <algorithm>

#include "classlib/ComCtrlsParts_win.h"
#include "classlib/ControlClasses.h"

using namespace comctrls;

const TEnumType ViewStyleType("TViewStyle", {"vsIcon", "vsSmallIcon", "vsList", "vsReport"});

namespace {

std::vector<std::string> SplitAtTabs(const std::string& line) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t tab = line.find('\t', start);
    parts.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
    if (tab == std::string::npos) return parts;
    start = tab + 1;
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// List view

VELMORA_PUBLISH(TCustomListView) {
  p.Enum("ViewStyle", ViewStyleType, &TCustomListView::ViewStyle, &TCustomListView::SetViewStyle)
      .Default(0)
      .Strings("Columns", &TCustomListView::Columns, &TCustomListView::SetColumns)
      .Integer("ColumnWidth", &TCustomListView::ColumnWidth)
      .Default(100)
      .Strings("Items", &TCustomListView::Items, &TCustomListView::SetItems)
      .Integer("ItemIndex", &TCustomListView::ItemIndex, &TCustomListView::SetItemIndex)
      .Object("LargeImages", &TCustomListView::LargeImages)
      .Object("SmallImages", &TCustomListView::SmallImages)
      .Event("OnChange", &TCustomListView::OnChange)
      .Event("OnCustomDraw", &TCustomListView::OnCustomDraw);
}

TCustomListView::TCustomListView(TComponent* owner) : TWinControl(owner), canvas_(std::make_unique<TCanvas>()) {
  TabStop = true;
  SetColor(clWindow);
  SetBounds(0, 0, 250, 150);
}

void TCustomListView::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  CreateSubClass(params, WC_LISTVIEWA);
  static const DWORD styles[] = {LVS_ICON, LVS_SMALLICON, LVS_LIST, LVS_REPORT};
  params.Style |= styles[static_cast<int>(viewStyle_)] | LVS_SHOWSELALWAYS | LVS_SINGLESEL;
  params.ExStyle |= WS_EX_CLIENTEDGE;
}

void TCustomListView::CreateHandleDone() {
  if (LargeImages) SendMessageA(Handle(), LVM_SETIMAGELIST, LVSIL_NORMAL, reinterpret_cast<LPARAM>(LargeImages->Handle()));
  if (SmallImages) SendMessageA(Handle(), LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(SmallImages->Handle()));
  FillWindow();
}

void TCustomListView::FillWindow() {
  if (!HandleAllocated()) return;
  HWND window = Handle();
  SendMessageA(window, LVM_DELETEALLITEMS, 0, 0);
  while (SendMessageA(window, LVM_DELETECOLUMN, 0, 0)) {
  }
  for (size_t i = 0; i < columns_.size(); ++i) {
    LVCOLUMNA column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.cx = ColumnWidth;
    column.pszText = const_cast<char*>(columns_[i].c_str());
    column.iSubItem = static_cast<int>(i);
    SendMessageA(window, LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&column));
  }
  for (size_t i = 0; i < items_.size(); ++i) {
    const std::vector<std::string> parts = SplitAtTabs(items_[i]);
    LVITEMA item{};
    item.mask = LVIF_TEXT;
    item.iItem = static_cast<int>(i);
    item.pszText = const_cast<char*>(parts[0].c_str());
    const auto row = SendMessageA(window, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
    for (size_t sub = 1; sub < parts.size(); ++sub) {
      LVITEMA subItem{};
      subItem.iSubItem = static_cast<int>(sub);
      subItem.pszText = const_cast<char*>(parts[sub].c_str());
      SendMessageA(window, LVM_SETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&subItem));
    }
  }
  SetItemIndex(itemIndex_);
}

void TCustomListView::SetViewStyle(TViewStyle style) {
  viewStyle_ = style;
  RecreateWnd();
}

void TCustomListView::SetColumns(const std::vector<std::string>& columns) {
  columns_ = columns;
  FillWindow();
}

void TCustomListView::SetItems(const std::vector<std::string>& items) {
  items_ = items;
  if (itemIndex_ >= static_cast<int>(items_.size())) itemIndex_ = -1;
  FillWindow();
}

int TCustomListView::ItemIndex() const {
  if (!HandleAllocated()) return itemIndex_;
  return static_cast<int>(SendMessageA(const_cast<TCustomListView*>(this)->Handle(), LVM_GETNEXTITEM,
                                       static_cast<WPARAM>(-1), LVNI_SELECTED));
}

void TCustomListView::SetItemIndex(int index) {
  itemIndex_ = index >= 0 && index < static_cast<int>(items_.size()) ? index : -1;
  if (!HandleAllocated()) return;
  LVITEMA state{};
  state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  state.state = 0;
  SendMessageA(Handle(), LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&state));
  if (itemIndex_ < 0) return;
  state.state = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageA(Handle(), LVM_SETITEMSTATE, static_cast<WPARAM>(itemIndex_), reinterpret_cast<LPARAM>(&state));
}

void TCustomListView::WndProc(TMessage& message) {
  if (message.Msg == CN_NOTIFY) {
    const NMHDR& header = HeaderOf(message);
    if (header.code == static_cast<UINT>(NM_CUSTOMDRAW)) {
      message.Result = WholeControlCustomDraw(this, *canvas_, OnCustomDraw,
                                              *reinterpret_cast<const NMCUSTOMDRAW*>(message.LParam));
      return;
    }
    if (header.code == static_cast<UINT>(LVN_ITEMCHANGED)) {
      const auto& change = *reinterpret_cast<const NMLISTVIEW*>(message.LParam);
      if ((change.uChanged & LVIF_STATE) && ((change.uNewState ^ change.uOldState) & LVIS_SELECTED) &&
          (change.uNewState & LVIS_SELECTED)) {
        itemIndex_ = change.iItem;
        OnChange(this);
      }
      return;
    }
  }
  TWinControl::WndProc(message);
}

// ---------------------------------------------------------------------------
// Tree view

VELMORA_PUBLISH(TCustomTreeView) {
  p.Strings("Items", &TCustomTreeView::Items, &TCustomTreeView::SetItems)
      .Boolean("ShowLines", &TCustomTreeView::ShowLines)
      .Default(1)
      .Boolean("ShowRoot", &TCustomTreeView::ShowRoot)
      .Default(1)
      .Boolean("ShowButtons", &TCustomTreeView::ShowButtons)
      .Default(1)
      .Object("Images", &TCustomTreeView::Images)
      .Event("OnChange", &TCustomTreeView::OnChange)
      .Event("OnCustomDraw", &TCustomTreeView::OnCustomDraw);
}

TCustomTreeView::TCustomTreeView(TComponent* owner) : TWinControl(owner), canvas_(std::make_unique<TCanvas>()) {
  TabStop = true;
  SetColor(clWindow);
  SetBounds(0, 0, 121, 97);
}

void TCustomTreeView::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  CreateSubClass(params, WC_TREEVIEWA);
  params.Style |= TVS_SHOWSELALWAYS;
  if (ShowLines) params.Style |= TVS_HASLINES;
  if (ShowRoot) params.Style |= TVS_LINESATROOT;
  if (ShowButtons) params.Style |= TVS_HASBUTTONS;
  params.ExStyle |= WS_EX_CLIENTEDGE;
}

void TCustomTreeView::CreateHandleDone() {
  if (Images) SendMessageA(Handle(), TVM_SETIMAGELIST, TVSIL_NORMAL, reinterpret_cast<LPARAM>(Images->Handle()));
  FillWindow();
}

void TCustomTreeView::SetItems(const std::vector<std::string>& items) {
  items_ = items;
  nodes_ = ParseOutline(items_);
  FillWindow();
}

void TCustomTreeView::FillWindow() {
  handles_.clear();
  if (!HandleAllocated()) return;
  HWND window = Handle();
  SendMessageA(window, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
  std::vector<HTREEITEM> parents;  // the last node of each level
  for (const TOutlineNode& node : nodes_) {
    parents.resize(static_cast<size_t>(node.Level));
    TVINSERTSTRUCTA insert{};
    insert.hParent = parents.empty() ? TVI_ROOT : parents.back();
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT;
    insert.item.pszText = const_cast<char*>(node.Text.c_str());
    auto item = reinterpret_cast<HTREEITEM>(SendMessageA(window, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)));
    handles_.push_back(item);
    parents.push_back(item);
  }
  for (HTREEITEM item : handles_) SendMessageA(window, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item));
}

std::string TCustomTreeView::SelectedText() const {
  if (!HandleAllocated()) return "";
  auto selected = reinterpret_cast<HTREEITEM>(
      SendMessageA(const_cast<TCustomTreeView*>(this)->Handle(), TVM_GETNEXTITEM, TVGN_CARET, 0));
  auto it = std::find(handles_.begin(), handles_.end(), selected);
  return selected && it != handles_.end() ? nodes_[static_cast<size_t>(it - handles_.begin())].Text : "";
}

void TCustomTreeView::SelectNode(int index) {
  HWND window = Handle();
  HTREEITEM item = index >= 0 && index < static_cast<int>(handles_.size()) ? handles_[static_cast<size_t>(index)] : nullptr;
  SendMessageA(window, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
}

void TCustomTreeView::WndProc(TMessage& message) {
  if (message.Msg == CN_NOTIFY) {
    const UINT code = HeaderOf(message).code;
    if (code == static_cast<UINT>(NM_CUSTOMDRAW)) {
      message.Result = WholeControlCustomDraw(this, *canvas_, OnCustomDraw,
                                              *reinterpret_cast<const NMCUSTOMDRAW*>(message.LParam));
      return;
    }
    if (code == static_cast<UINT>(TVN_SELCHANGEDA) || code == static_cast<UINT>(TVN_SELCHANGEDW)) {
      OnChange(this);
      return;
    }
  }
  TWinControl::WndProc(message);
}

// ---------------------------------------------------------------------------
// Rich edit

VELMORA_PUBLISH(TCustomRichEdit) { p.Boolean("PlainText", &TCustomRichEdit::PlainText).Default(0); }

TCustomRichEdit::TCustomRichEdit(TComponent* owner) : TCustomMemo(owner) {}

void TCustomRichEdit::CreateParams(TCreateParams& params) {
  TCustomMemo::CreateParams(params);
  CreateSubClass(params, "RichEdit20A");
}

void TCustomRichEdit::CreateHandleDone() {
  TCustomMemo::CreateHandleDone();
  HWND window = Handle();
  if (PlainText) {
    // The text mode changes only while the control is empty.
    const std::string text = Text();
    SetWindowTextA(window, "");
    SendMessageA(window, EM_SETTEXTMODE, TM_PLAINTEXT, 0);
    SetWindowTextA(window, text.c_str());
  }
  // A rich edit reports changes (EN_CHANGE, so OnChange) only when asked to.
  SendMessageA(window, EM_SETEVENTMASK, 0, ENM_CHANGE);
}
