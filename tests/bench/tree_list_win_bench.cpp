// The Call Stack page's tree list under Wine: 5,000 rows in 100 groups, timed over
// 200 repaints and collapsing and expanding every group, beside a plain report list
// view (no owner draw) with the same rows doing the same deletes and inserts with
// redrawing off.
#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "exclog/dialogs/ETreeList_win.h"
#include "tests/bench/Bench.h"

namespace {

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DRAWITEM) {
    auto* items = reinterpret_cast<exclog::TListViewItems*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (items) return items->DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
    return TRUE;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

HWND Host(int x) {
  static bool registered = false;
  if (!registered) {
    WNDCLASSA c{};
    c.lpfnWndProc = HostProc;
    c.hInstance = GetModuleHandleA(nullptr);
    c.lpszClassName = "TreeListBenchHost";
    RegisterClassA(&c);
    registered = true;
  }
  return CreateWindowA("TreeListBenchHost", "", WS_POPUP | WS_VISIBLE, x, 0, 500, 400, nullptr, nullptr,
                       GetModuleHandleA(nullptr), nullptr);
}

HWND List(HWND host, DWORD extra) {
  HWND list = CreateWindowExA(0, WC_LISTVIEWA, "", WS_CHILD | WS_VISIBLE | LVS_REPORT | extra, 0, 0, 500, 400, host,
                              reinterpret_cast<HMENU>(103), GetModuleHandleA(nullptr), nullptr);
  const char* titles[] = {"Address", "Module", "Unit", "Class", "Procedure/Method", "Line"};
  for (int c = 0; c < 6; ++c) {
    LVCOLUMNA column{};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.cx = 80;
    column.pszText = const_cast<char*>(titles[c]);
    column.iSubItem = c;
    SendMessageA(list, LVM_INSERTCOLUMNA, c, reinterpret_cast<LPARAM>(&column));
  }
  return list;
}

std::vector<std::string> FrameTexts(int group, int frame) {
  char address[16];
  std::snprintf(address, sizeof address, "%.8X", 0x401000 + group * 0x1000 + frame * 16);
  return {address, "Velmora.exe", "Unit" + std::to_string(group), "TForm1", "Routine" + std::to_string(frame),
          std::to_string(100 + frame) + "[2]"};
}

void InsertPlain(HWND list, int row, const std::vector<std::string>& texts) {
  LVITEMA item{};
  item.mask = LVIF_TEXT;
  item.iItem = row;
  item.pszText = const_cast<char*>(texts[0].c_str());
  SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
  for (size_t c = 1; c < texts.size(); ++c) {
    LVITEMA text{};
    text.iSubItem = static_cast<int>(c);
    text.pszText = const_cast<char*>(texts[c].c_str());
    SendMessageA(list, LVM_SETITEMTEXTA, row, reinterpret_cast<LPARAM>(&text));
  }
}

void Pump() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
}

void Repaint(HWND list, int times) {
  for (int i = 0; i < times; ++i) {
    RedrawWindow(list, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    GdiFlush();
  }
}

}  // namespace

VELMORA_BENCHMARK(tree_list) {
  const int groups = run.Quick ? 4 : 100, perGroup = run.Quick ? 9 : 49, repaints = run.Quick ? 2 : 200;
  INITCOMMONCONTROLSEX classes{sizeof(INITCOMMONCONTROLSEX), ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&classes);

  HWND ourHost = Host(0), peerHost = Host(510);
  HWND ourList = List(ourHost, LVS_OWNERDRAWFIXED);
  HWND peerList = List(peerHost, 0);
  auto items = std::make_unique<exclog::TListViewItems>(ourList);
  SetWindowLongPtrA(ourHost, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(items.get()));
  // One running thread per group, parted by separators as the page parts them.
  std::vector<int> headRows;
  for (int g = 0; g < groups; ++g) {
    if (g > 0) {
      items->Add({"", "", "", "", "", ""}, -1, 0, false);
      InsertPlain(peerList, static_cast<int>(SendMessageA(peerList, LVM_GETITEMCOUNT, 0, 0)), {"", "", "", "", "", ""});
    }
    headRows.push_back(static_cast<int>(SendMessageA(ourList, LVM_GETITEMCOUNT, 0, 0)));
    std::string head = "Running Thread: ID=" + std::to_string(1000 + g);
    items->Add({head}, -1, 1, true);
    InsertPlain(peerList, headRows.back(), {head, "", "", "", "", ""});
    for (int f = 0; f < perGroup; ++f) {
      items->Add(FrameTexts(g, f), 0, 0, false);
      InsertPlain(peerList, headRows.back() + 1 + f, FrameTexts(g, f));
    }
  }
  Pump();
  if (SendMessageA(ourList, LVM_GETITEMCOUNT, 0, 0) != SendMessageA(peerList, LVM_GETITEMCOUNT, 0, 0))
    throw std::runtime_error("the two lists differ in rows");

  // Collapsing goes bottom up and expanding top down, so every head stands at the
  // row it was added at when its turn comes.
  auto ours = [&] {
    return bench::TimeInProcess([&] {
      Repaint(ourList, repaints);
      for (int g = groups - 1; g >= 0; --g) items->ToggleGroup(headRows[static_cast<size_t>(g)], POINT{}, false);
      for (int g = 0; g < groups; ++g) items->ToggleGroup(headRows[static_cast<size_t>(g)], POINT{}, false);
      Pump();
    });
  };
  auto peer = [&] {
    return bench::TimeInProcess([&] {
      Repaint(peerList, repaints);
      for (int g = groups - 1; g >= 0; --g) {
        int head = headRows[static_cast<size_t>(g)];
        SendMessageA(peerList, WM_SETREDRAW, FALSE, 0);
        for (int f = 0; f < perGroup; ++f) SendMessageA(peerList, LVM_DELETEITEM, head + 1, 0);
        SendMessageA(peerList, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(peerList, nullptr, FALSE);
      }
      for (int g = 0; g < groups; ++g) {
        int head = headRows[static_cast<size_t>(g)];
        SendMessageA(peerList, WM_SETREDRAW, FALSE, 0);
        for (int f = 0; f < perGroup; ++f) InsertPlain(peerList, head + 1 + f, FrameTexts(g, f));
        SendMessageA(peerList, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(peerList, nullptr, FALSE);
      }
      Pump();
    });
  };
  bench::TComparison c = bench::Compare(run, ours, peer);
  if (SendMessageA(ourList, LVM_GETITEMCOUNT, 0, 0) != SendMessageA(peerList, LVM_GETITEMCOUNT, 0, 0))
    throw std::runtime_error("the two lists differ in rows after the toggles");
  for (int g = 0; g < groups; ++g)
    if (!items->NodeAtRow(headRows[static_cast<size_t>(g)]) ||
        !items->NodeAtRow(headRows[static_cast<size_t>(g)])->GroupHead)
      throw std::runtime_error("a group head left its row");
  bench::TRow row = bench::RowOf("Tree list repaint and toggle",
                                 std::to_string(groups * (perGroup + 1)) + " rows, " + std::to_string(repaints) +
                                     " repaints, every group collapsed and expanded; vs plain report list view",
                                 bench::TUnit::Milliseconds, c, bench::TTarget::RatioAtMost(1.5));
  row.OursPeakBytes = bench::ProcessPeakBytes();
  bench::Emit(run, row);
  items.reset();
  DestroyWindow(ourHost);
  DestroyWindow(peerHost);
}
