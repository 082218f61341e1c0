#include "exclog/dialogs/ETreeList_win.h"

#include <algorithm>

namespace exclog {

namespace {

const char* const BitmapNames[6] = {"QL_DLL", "QL_BPL", "QL_VCL", "QL_PAS", "QL_PLUS", "QL_MINUS"};
constexpr int PlusBitmap = 4, MinusBitmap = 5;

// The DC's state as it came, back on every path.
class TSavedDC {
 public:
  explicit TSavedDC(HDC dc) : dc_(dc), saved_(SaveDC(dc)) {}
  ~TSavedDC() {
    if (saved_) RestoreDC(dc_, saved_);
  }
  TSavedDC(const TSavedDC&) = delete;
  TSavedDC& operator=(const TSavedDC&) = delete;

 private:
  HDC dc_;
  int saved_;
};

// A memory DC with a bitmap of its own (or a borrowed one) selected.
class TMemoryDC {
 public:
  TMemoryDC(HDC like, HBITMAP bitmap, bool own) : dc_(CreateCompatibleDC(like)), bitmap_(bitmap), own_(own) {
    old_ = dc_ && bitmap_ ? SelectObject(dc_, bitmap_) : nullptr;
  }
  ~TMemoryDC() {
    if (dc_) {
      if (old_) SelectObject(dc_, old_);
      DeleteDC(dc_);
    }
    if (own_ && bitmap_) DeleteObject(bitmap_);
  }
  TMemoryDC(const TMemoryDC&) = delete;
  TMemoryDC& operator=(const TMemoryDC&) = delete;
  HDC Get() const { return dc_; }
  bool Ready() const { return dc_ && bitmap_ && old_; }

 private:
  HDC dc_;
  HBITMAP bitmap_;
  bool own_;
  HGDIOBJ old_;
};

void FillLine(HDC dc, int left, int top, int right, int bottom, HBRUSH brush) {
  if (right <= left || bottom <= top) return;
  RECT r{left, top, right, bottom};
  FillRect(dc, &r, brush);
}

}  // namespace

HINSTANCE LoggerResourceModule() {
  HMODULE module = nullptr;
  if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCSTR>(&LoggerResourceModule), &module))
    return GetModuleHandleA(nullptr);
  return module;
}

void DrawTransparentBitmap(HDC dc, HBITMAP bitmap, int x, int y, int width, int height) {
  if (!dc || !bitmap || width <= 0 || height <= 0) return;
  TMemoryDC source(dc, bitmap, false);
  TMemoryDC mask(dc, CreateBitmap(width, height, 1, 1, nullptr), true);
  TMemoryDC image(dc, CreateCompatibleBitmap(dc, width, height), true);
  TMemoryDC result(dc, CreateCompatibleBitmap(dc, width, height), true);
  if (!source.Ready() || !mask.Ready() || !image.Ready() || !result.Ready()) return;
  COLORREF key = GetPixel(source.Get(), 0, 0);
  // Mask: the key colour white, everything else black.
  SetBkColor(source.Get(), key);
  BitBlt(mask.Get(), 0, 0, width, height, source.Get(), 0, 0, SRCCOPY);
  // The destination with the bitmap's shape cut out...
  BitBlt(result.Get(), 0, 0, width, height, dc, x, y, SRCCOPY);
  SetBkColor(result.Get(), RGB(255, 255, 255));
  SetTextColor(result.Get(), RGB(0, 0, 0));
  BitBlt(result.Get(), 0, 0, width, height, mask.Get(), 0, 0, SRCAND);
  // ... and the bitmap with its key colour black, put into the hole.
  BitBlt(image.Get(), 0, 0, width, height, source.Get(), 0, 0, SRCCOPY);
  SetBkColor(image.Get(), RGB(0, 0, 0));
  SetTextColor(image.Get(), RGB(255, 255, 255));
  BitBlt(image.Get(), 0, 0, width, height, mask.Get(), 0, 0, SRCAND);
  BitBlt(result.Get(), 0, 0, width, height, image.Get(), 0, 0, SRCPAINT);
  BitBlt(dc, x, y, width, height, result.Get(), 0, 0, SRCCOPY);
}

void TKeyedBitmap::Build(HBITMAP bitmap) {
  BITMAP info{};
  if (maskDc_ || !bitmap || !GetObjectA(bitmap, sizeof info, &info) || info.bmWidth <= 0 || info.bmHeight <= 0) return;
  const int width = info.bmWidth, height = info.bmHeight;
  HDC screen = GetDC(nullptr);
  TMemoryDC source(screen, bitmap, false);
  maskDc_ = CreateCompatibleDC(screen);
  imageDc_ = CreateCompatibleDC(screen);
  HBITMAP mask = CreateBitmap(width, height, 1, 1, nullptr);
  HBITMAP image = CreateCompatibleBitmap(screen, width, height);
  ReleaseDC(nullptr, screen);
  if (!source.Ready() || !maskDc_ || !imageDc_ || !mask || !image) {
    if (mask) DeleteObject(mask);
    if (image) DeleteObject(image);
    return;  // Draw then draws nothing
  }
  oldMask_ = SelectObject(maskDc_, mask);
  oldImage_ = SelectObject(imageDc_, image);
  // Mask: the key colour white, everything else black.
  SetBkColor(source.Get(), GetPixel(source.Get(), 0, 0));
  BitBlt(maskDc_, 0, 0, width, height, source.Get(), 0, 0, SRCCOPY);
  // Image: the bitmap with its key colour black, ready to be OR-ed into the hole.
  BitBlt(imageDc_, 0, 0, width, height, source.Get(), 0, 0, SRCCOPY);
  SetBkColor(imageDc_, RGB(0, 0, 0));
  SetTextColor(imageDc_, RGB(255, 255, 255));
  BitBlt(imageDc_, 0, 0, width, height, maskDc_, 0, 0, SRCAND);
  size_ = {width, height};
}

TKeyedBitmap::~TKeyedBitmap() {
  for (auto [dc, old] : {std::pair{maskDc_, oldMask_}, std::pair{imageDc_, oldImage_}}) {
    if (!dc) continue;
    if (old) DeleteObject(SelectObject(dc, old));
    DeleteDC(dc);
  }
}

void TKeyedBitmap::Draw(HDC dc, int x, int y, int width, int height) const {
  width = std::min<int>(width, size_.cx);
  height = std::min<int>(height, size_.cy);
  if (!dc || width <= 0 || height <= 0) return;
  // The mask's white (the key) keeps the destination, its black clears the shape;
  // then the image fills the shape.
  const COLORREF background = SetBkColor(dc, RGB(255, 255, 255)), text = SetTextColor(dc, RGB(0, 0, 0));
  BitBlt(dc, x, y, width, height, maskDc_, 0, 0, SRCAND);
  BitBlt(dc, x, y, width, height, imageDc_, 0, 0, SRCPAINT);
  SetBkColor(dc, background);
  SetTextColor(dc, text);
}

TListViewItems::TListViewItems(HWND listView)
    : listView_(listView),
      selectedBrush_(CreateSolidBrush(0xF1DACC)),
      normalBrush_(CreateSolidBrush(0xFFFFFF)),
      focusBrush_(CreateSolidBrush(0xC56A31)),
      unfocusedBrush_(CreateSolidBrush(0xE2B598)),
      headLineBrush_(CreateSolidBrush(0xE0A47B)),
      rowLineBrush_(CreateSolidBrush(0xC2CBCE)) {
  HINSTANCE module = LoggerResourceModule();
  for (int i = 0; i < 6; ++i) {
    bitmaps_[i] = LoadBitmapA(module, BitmapNames[i]);
    keyed_[i].Build(bitmaps_[i]);
  }
  images_ = ImageList_Create(16, 16, ILC_COLORDDB, 4, 4);
  if (images_) {
    for (int i = 0; i < 4; ++i)
      if (bitmaps_[i]) ImageList_Add(images_, bitmaps_[i], nullptr);
    SendMessageA(listView_, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(images_));
  }
}

TListViewItems::~TListViewItems() {
  Clear();
  // The list view keeps using its image list: take it back before it is freed.
  if (images_ && IsWindow(listView_)) SendMessageA(listView_, LVM_SETIMAGELIST, LVSIL_SMALL, 0);
  for (HBRUSH brush : {selectedBrush_, normalBrush_, focusBrush_, unfocusedBrush_, headLineBrush_, rowLineBrush_})
    if (brush) DeleteObject(brush);
  for (HBITMAP& bitmap : bitmaps_)
    if (bitmap) DeleteObject(bitmap);
  if (images_) ImageList_Destroy(images_);
}

void TListViewItems::Clear() {
  // Rows first: their item data points at the nodes.
  if (IsWindow(listView_)) SendMessageA(listView_, LVM_DELETEALLITEMS, 0, 0);
  TTreeModel::Clear();
  if (boldFont_) DeleteObject(boldFont_);
  boldFont_ = nullptr;
  setUp_ = false;
  indentText_.clear();
  indentWidth_ = 0;
}

void TListViewItems::SetUp() {
  setUp_ = true;
  HWND header = reinterpret_cast<HWND>(SendMessageA(listView_, LVM_GETHEADER, 0, 0));
  columnCount_ = header ? static_cast<int>(SendMessageA(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
  columnCount_ = std::clamp(columnCount_, 0, MaxTreeColumns);
  for (int c = 0; c < columnCount_; ++c) {
    LVCOLUMNA column{};
    column.mask = LVCF_FMT;
    alignment_[c] = SendMessageA(listView_, LVM_GETCOLUMNA, c, reinterpret_cast<LPARAM>(&column))
                        ? AlignmentOfFormat(column.fmt)
                        : 0;
  }
  HFONT font = reinterpret_cast<HFONT>(SendMessageA(listView_, WM_GETFONT, 0, 0));
  if (!font) font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  HDC screen = GetDC(nullptr);
  if (screen) {
    HGDIOBJ old = SelectObject(screen, font);
    SIZE size{};
    while (size.cx < 14 && indentText_.size() < 64) {
      indentText_ += ' ';
      GetTextExtentPoint32A(screen, indentText_.data(), static_cast<int>(indentText_.size()), &size);
    }
    indentWidth_ = size.cx;
    SelectObject(screen, old);
    ReleaseDC(nullptr, screen);
  }
  LOGFONTA bold{};
  if (GetObjectA(font, sizeof bold, &bold)) {
    bold.lfWeight = FW_BOLD;
    boldFont_ = CreateFontIndirectA(&bold);
  }
}

TTreeNode* TListViewItems::Add(const std::vector<std::string>& texts, int image, int colourCode, bool groupHead,
                               const std::string& key) {
  if (!setUp_) SetUp();
  TTreeNode* node = AddNode(texts, image, colourCode, groupHead, key, indentText_);
  InsertRow(node, -1);
  return node;
}

void TListViewItems::InsertRow(TTreeNode* node, int index) {
  if (!node) return;
  LVITEMA item{};
  item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
  item.iItem = index < 0 ? static_cast<int>(SendMessageA(listView_, LVM_GETITEMCOUNT, 0, 0)) : index;
  item.pszText = const_cast<char*>(node->Text(0).c_str());
  item.iImage = node->Image;
  item.lParam = reinterpret_cast<LPARAM>(node);
  int row = static_cast<int>(SendMessageA(listView_, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
  if (row < 0) return;
  for (size_t c = 1; c < node->Texts.size(); ++c) {
    LVITEMA text{};
    text.iSubItem = static_cast<int>(c);
    text.pszText = const_cast<char*>(node->Texts[c].c_str());
    SendMessageA(listView_, LVM_SETITEMTEXTA, row, reinterpret_cast<LPARAM>(&text));
  }
}

TTreeNode* TListViewItems::NodeAtRow(int row) const {
  if (row < 0) return nullptr;
  LVITEMA item{};
  item.mask = LVIF_PARAM;
  item.iItem = row;
  if (!SendMessageA(listView_, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item))) return nullptr;
  return reinterpret_cast<TTreeNode*>(item.lParam);
}

bool TListViewItems::ToggleGroup(int row, POINT click, bool fromMouse) {
  RECT bounds{};
  bounds.left = LVIR_BOUNDS;
  if (!SendMessageA(listView_, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&bounds))) return false;
  TTreeNode* node = NodeAtRow(row);
  if (!node || !node->GroupHead) return false;
  if (fromMouse && !HitsExpandBox(*node, click.x - bounds.left, click.y - bounds.top, indentWidth_)) return false;
  std::vector<TRowChange> changes = Toggle(node, row);
  SendMessageA(listView_, WM_SETREDRAW, FALSE, 0);
  for (const TRowChange& change : changes) {
    if (change.Insert)
      InsertRow(change.Node, change.Row);
    else
      SendMessageA(listView_, LVM_DELETEITEM, change.Row, 0);
  }
  SendMessageA(listView_, WM_SETREDRAW, TRUE, 0);
  SendMessageA(listView_, LVM_REDRAWITEMS, row, row);
  // The rows below moved while redrawing was off.
  if (!changes.empty()) InvalidateRect(listView_, nullptr, FALSE);
  return true;
}

void TListViewItems::DrawCells(HDC dc, const RECT& row, const TTreeNode& node, bool) {
  if (node.Image >= 0 && node.Image < 4 && bitmaps_[node.Image])
    keyed_[node.Image].Draw(dc, row.left, row.top + (row.bottom - row.top - 16) / 2, 16, 16);
  int edge = row.left;
  for (int c = 0; c < columnCount_; ++c) {
    int width = static_cast<int>(SendMessageA(listView_, LVM_GETCOLUMNWIDTH, c, 0));
    TCellSpan span = CellSpan(c, edge, width);
    edge += width;
    if (!node.Separator) FillLine(dc, span.Left + 2, row.bottom - 1, row.right, row.bottom, rowLineBrush_);
    if (span.Right <= span.Left) continue;
    RECT cell{span.Left, row.top, span.Right, row.bottom};
    UINT align = alignment_[c] == 2 ? DT_RIGHT : alignment_[c] == 1 ? DT_CENTER : DT_LEFT;
    const std::string& text = node.Text(static_cast<size_t>(c));
    DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &cell,
              DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS | DT_NOPREFIX | align);
  }
}

void TListViewItems::DrawHead(HDC dc, RECT row, const TTreeNode& node) {
  SetTextColor(dc, HeadColour(node.ColourCode));
  if (HeadDrawnIndented(node.ColourCode)) row.left += indentWidth_;
  FillLine(dc, row.left + 2, row.bottom - 2, row.right, row.bottom, headLineBrush_);
  HGDIOBJ old = boldFont_ ? SelectObject(dc, boldFont_) : nullptr;
  RECT text{row.left + 15, row.top - 1, row.right, row.bottom};
  const std::string& caption = node.Text(0);
  DrawTextA(dc, caption.c_str(), static_cast<int>(caption.size()), &text,
            DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS | DT_NOPREFIX | DT_LEFT);
  if (old) SelectObject(dc, old);
  keyed_[node.Expanded ? MinusBitmap : PlusBitmap].Draw(dc, row.left + 1, row.top + 1, 13, 13);
}

BOOL TListViewItems::DrawItem(const DRAWITEMSTRUCT& item) {
  const TTreeNode* node = reinterpret_cast<const TTreeNode*>(item.itemData);
  HDC dc = item.hDC;
  if (!node || !dc) return TRUE;
  // Everything selected into the message's DC goes back before it returns: the DC
  // is the list's for this paint only.
  TSavedDC saved(dc);
  SetBkMode(dc, TRANSPARENT);
  bool selected = (item.itemState & ODS_SELECTED) != 0;
  FillRect(dc, &item.rcItem, selected ? selectedBrush_ : normalBrush_);
  SetTextColor(dc, RGB(0, 0, 0));
  if (node->GroupHead)
    DrawHead(dc, item.rcItem, *node);
  else
    DrawCells(dc, item.rcItem, *node, selected);
  // A group head is a caption of its rows, never a row with the focus: no frame.
  if (!node->GroupHead && (item.itemState & ODS_FOCUS))
    FrameRect(dc, &item.rcItem, GetFocus() == listView_ ? focusBrush_ : unfocusedBrush_);
  return TRUE;
}

}  // namespace exclog
