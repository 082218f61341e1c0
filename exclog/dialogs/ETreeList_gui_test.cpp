// The tree list's rows painted into a memory bitmap: exact pixels, no screen read.
#include "exclog/dialogs/ETreeList_win.h"

#include <commctrl.h>
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace exclog
