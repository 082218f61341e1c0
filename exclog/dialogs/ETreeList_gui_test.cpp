// The tree list's rows painted into a memory bitmap: exact pixels, no screen read.
#include "exclog/dialogs/ETreeList_win.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>

namespace exclog {
namespace {

// A group head never carries the focus frame; an ordinary row does.
TEST(TreeListRows, OnlyOrdinaryRowsGetTheFocusFrame) {
  HWND list = CreateWindowExA(0, WC_LISTVIEWA, "", WS_POPUP | LVS_REPORT | LVS_OWNERDRAWFIXED, 0, 0, 300, 200,
                              nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(list, nullptr);
  LVCOLUMNA column{};
  column.mask = LVCF_WIDTH;
  column.cx = 280;
  SendMessageA(list, LVM_INSERTCOLUMNA, 0, reinterpret_cast<LPARAM>(&column));
  {
    TListViewItems items(list);
    TTreeNode* head = items.Add({"Main thread"}, -1, 0, true);
    TTreeNode* row = items.Add({"a row"}, -1, 0, false);
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 300, 20);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(dc, bitmap);
    // The list has no keyboard focus: a frame would have the unfocused colour.
    const COLORREF unfocusedFrame = 0xE2B598, selectedFill = 0xF1DACC;
    for (TTreeNode* node : {head, row}) {
      DRAWITEMSTRUCT item{};
      item.CtlType = ODT_LISTVIEW;
      item.itemState = ODS_SELECTED | ODS_FOCUS;
      item.hDC = dc;
      item.rcItem = {0, 0, 300, 20};
      item.itemData = reinterpret_cast<ULONG_PTR>(node);
      items.DrawItem(item);
      // The top right corner: no text, box or line reaches it.
      EXPECT_EQ(GetPixel(dc, 299, 0), node == head ? selectedFill : unfocusedFrame) << node->Text(0);
    }
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
  }
  DestroyWindow(list);
}

// A keyed bitmap draws as the one-off transparent copy does: the key colour's
// pixels keep the background, every other pixel is the bitmap's, whatever colours
// the target DC was set to; those colours are left as they were.
TEST(TreeListRows, KeyedBitmapsDrawAsTheTransparentCopy) {
  HDC screen = GetDC(nullptr);
  for (const char* name : {"QL_DLL", "QL_PLUS", "QL_MINUS"}) {
    HBITMAP bitmap = LoadBitmapA(LoggerResourceModule(), name);
    ASSERT_NE(bitmap, nullptr) << name;
    TKeyedBitmap keyed;
    keyed.Build(bitmap);
    HDC dcs[2];
    HBITMAP surfaces[2];
    HGDIOBJ olds[2];
    const COLORREF background = RGB(10, 200, 30), text = RGB(1, 2, 3), back = RGB(250, 5, 5);
    for (int i = 0; i < 2; ++i) {
      dcs[i] = CreateCompatibleDC(screen);
      surfaces[i] = CreateCompatibleBitmap(screen, 20, 20);
      olds[i] = SelectObject(dcs[i], surfaces[i]);
      HBRUSH brush = CreateSolidBrush(background);
      RECT all{0, 0, 20, 20};
      FillRect(dcs[i], &all, brush);
      DeleteObject(brush);
      SetTextColor(dcs[i], text);
      SetBkColor(dcs[i], back);
    }
    BITMAP info{};
    ASSERT_TRUE(GetObjectA(bitmap, sizeof info, &info));
    const int width = std::min<int>(16, info.bmWidth), height = std::min<int>(16, info.bmHeight);
    keyed.Draw(dcs[0], 2, 2, width, height);
    DrawTransparentBitmap(dcs[1], bitmap, 2, 2, width, height);
    int kept = 0, drawn = 0, differing = 0;
    for (int y = 0; y < 20; ++y)
      for (int x = 0; x < 20; ++x) {
        const COLORREF ours = GetPixel(dcs[0], x, y);
        differing += ours != GetPixel(dcs[1], x, y);
        (ours == background ? kept : drawn) += 1;
      }
    EXPECT_EQ(differing, 0) << name;
    EXPECT_GT(drawn, 0) << name;
    EXPECT_GT(kept, 400 - width * height) << name;  // the margin and the key colour's pixels
    EXPECT_EQ(GetTextColor(dcs[0]), text);
    EXPECT_EQ(GetBkColor(dcs[0]), back);
    for (int i = 0; i < 2; ++i) {
      SelectObject(dcs[i], olds[i]);
      DeleteObject(surfaces[i]);
      DeleteDC(dcs[i]);
    }
    DeleteObject(bitmap);
  }
  ReleaseDC(nullptr, screen);
}

}  // namespace
}  // namespace exclog
