#pragma once
// The owner-drawn tree list over a report list view (LVS_OWNERDRAWFIXED): rows added
// through it, groups toggled with row inserts and deletes while redrawing is off,
// every row drawn from its node. The list's owner passes WM_DRAWITEM to DrawItem.
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "exclog/dialogs/ETreeList.h"

namespace exclog {

// A bitmap drawn with its pixel (0, 0)'s colour transparent, its mask and keyed
// image made once: a list draws its row icons by the dozen on every repaint.
class TKeyedBitmap {
 public:
  TKeyedBitmap() = default;
  ~TKeyedBitmap();
  TKeyedBitmap(const TKeyedBitmap&) = delete;
  TKeyedBitmap& operator=(const TKeyedBitmap&) = delete;
  // Made from `bitmap` (which it does not keep), once; until then Draw draws nothing.
  void Build(HBITMAP bitmap);
  // Its top-left `width` x `height` (at most its own size) at (x, y).
  void Draw(HDC dc, int x, int y, int width, int height) const;

 private:
  HDC maskDc_ = nullptr, imageDc_ = nullptr;
  HGDIOBJ oldMask_ = nullptr, oldImage_ = nullptr;
  SIZE size_{};
};

class TListViewItems : public TTreeModel {
  VELMORA_CLASS(TListViewItems, TTreeModel)
 public:
  // Loads the six bitmaps, builds the image list and the brushes. The list view
  // must live longer than this object.
  explicit TListViewItems(HWND listView);
  ~TListViewItems() override;
  TListViewItems(const TListViewItems&) = delete;
  TListViewItems& operator=(const TListViewItems&) = delete;

  // Appends a node and its row. The first call reads the columns' alignments and
  // the list font (indent and bold font).
  TTreeNode* Add(const std::vector<std::string>& texts, int image, int colourCode, bool groupHead,
                 const std::string& key = "");
  // Inserts `node`'s row at `index` (-1: the end).
  void InsertRow(TTreeNode* node, int index);
  // Toggles the group whose head is at `row`; from a mouse click only when `click`
  // (list-view client coordinates) hits the expand box. True when it toggled.
  bool ToggleGroup(int row, POINT click, bool fromMouse);
  // Paints one row into the message's DC; TRUE.
  BOOL DrawItem(const DRAWITEMSTRUCT& item);
  // Frees every node, empties the list view and deletes the bold font.
  void Clear() override;

  HWND Window() const { return listView_; }
  int IndentWidth() const { return indentWidth_; }
  TTreeNode* NodeAtRow(int row) const;
  int ColumnCount() const { return columnCount_; }

 private:
  void SetUp();
  void DrawCells(HDC dc, const RECT& row, const TTreeNode& node, bool selected);
  void DrawHead(HDC dc, RECT row, const TTreeNode& node);

  HWND listView_;
  HBRUSH selectedBrush_, normalBrush_, focusBrush_, unfocusedBrush_, headLineBrush_, rowLineBrush_;
  HFONT boldFont_ = nullptr;
  std::string indentText_;
  int indentWidth_ = 0;
  bool setUp_ = false;
  HBITMAP bitmaps_[6] = {};  // QL_DLL, QL_BPL, QL_VCL, QL_PAS, QL_PLUS, QL_MINUS
  TKeyedBitmap keyed_[6];    // the same, as the rows draw them
  HIMAGELIST images_ = nullptr;
  int alignment_[MaxTreeColumns] = {};
  int columnCount_ = 0;
};

// Draws `bitmap`'s top-left `width` x `height` at (x, y), its pixel (0, 0)'s colour
// transparent. Every temporary DC and bitmap is freed.
void DrawTransparentBitmap(HDC dc, HBITMAP bitmap, int x, int y, int width, int height);

// The module whose resources hold the logger's templates and bitmaps.
HINSTANCE LoggerResourceModule();

}  // namespace exclog
