// The report pages end to end: a child of this program faults on a thread started
// through the logger's hooks; the real dispatcher and report builder hand the
// report to a dialog entry that shows the six pages behind a tab control. The child
// drives it with xdotool (tabs, expand boxes, a double click), widens a column,
// reads texts, row counts and pixels back, and prints what it found; the parent
// holds the mailslot the double click writes to and decodes it with Python.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

#include "exclog/capture/EDispatch_win.h"
#include "exclog/capture/EThreadHooks_win.h"
#include "exclog/core/ECore_win.h"
#include "exclog/debuginfo/EModules_win.h"
#include "exclog/dialogs/EDialogKit_win.h"
#include "exclog/dialogs/EDialogPages_win.h"
#include "exclog/dialogs/EDialogSeams.h"
#include "exclog/dialogs/EReportContext.h"
#include "exclog/report/EReportText.h"
#include "exclog/startup_tests/StartupShared_win.h"
#include "tests/support/Addr2Line_win.h"
#include "tests/support/GuiProbe_win.h"
#include "tests/support/TestPaths.h"

namespace startup_test {

namespace {

using velmora::test::PumpUntil;
using velmora::test::RunHostCommand;

std::atomic<HWND> pagesDialog{nullptr}, pagesTab{nullptr};
int failures = 0;

// The dialog runs on the report thread: a message to it waits at most 5 s, so a
// stuck dialog fails the checks instead of hanging the test.
LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutA(window, message, wParam, lParam, SMTO_NORMAL, 5000, &result)) return 0;
  return static_cast<LRESULT>(result);
}

void Check(bool ok, const std::string& what) {
  // Every check on standard output: a run that runs out of time shows how far it came.
  std::printf("%s %s\n", ok ? "ok" : "FAIL", what.c_str());
  std::fflush(stdout);
  if (!ok) ++failures;
}

INT_PTR CALLBACK PagesDialogProc(HWND window, UINT message, WPARAM, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      HWND tab = CreateWindowExA(0, WC_TABCONTROLA, "", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 8, 8, 900, 500,
                                 window, reinterpret_cast<HMENU>(1000), GetModuleHandleA(nullptr), nullptr);
      SendMessageA(tab, WM_SETFONT, reinterpret_cast<WPARAM>(exclog::DialogKit().DialogFont), FALSE);
      for (int i = 0; i < 6; ++i) {
        std::string text = exclog::DialogOptions().Text(5 + 2 * i);
        TCITEMA item{};
        item.mask = TCIF_TEXT;
        item.pszText = text.data();
        SendMessageA(tab, TCM_INSERTITEMA, i, reinterpret_cast<LPARAM>(&item));
      }
      exclog::SelectDialogPage(tab, 0);
      pagesTab = tab;
      pagesDialog = window;
      return TRUE;
    }
    case WM_NOTIFY:
      if (reinterpret_cast<const NMHDR*>(lParam)->code == TCN_SELCHANGE)
        exclog::SelectDialogPage(pagesTab, static_cast<int>(SendMessageA(pagesTab, TCM_GETCURSEL, 0, 0)));
      return TRUE;
    case WM_CLOSE:
      exclog::DestroyDialogPage();
      EndDialog(window, 0);
      return TRUE;
  }
  return FALSE;
}

exclog::TDialogAnswer PagesDialog(const exclog::TReportJob& job, const std::string&) {
  exclog::SetReportStacks(job.Stacks);
  exclog::LoadDialogClasses();
  exclog::CreateDialogFonts(nullptr);
  std::vector<WORD> words(sizeof(DLGTEMPLATE) / 2 + 8, 0);
  auto* t = reinterpret_cast<DLGTEMPLATE*>(words.data());
  t->style = WS_POPUP | WS_CAPTION | WS_VISIBLE | DS_MODALFRAME;
  t->cx = 620;
  t->cy = 340;
  DialogBoxIndirectParamA(GetModuleHandleA(nullptr), t, nullptr, &PagesDialogProc, 0);
  exclog::DeleteDialogFonts();
  return exclog::TDialogAnswer::Close;
}

int faultLine = 0;

__attribute__((noinline)) void PagesRaisingRoutine(volatile int* target) {
  faultLine = __LINE__ + 1;
  *target = 1;
}

DWORD WINAPI PagesFaultThread(LPVOID) {
  PagesRaisingRoutine(reinterpret_cast<volatile int*>(static_cast<uintptr_t>(0x10)));
  asm volatile("" ::: "memory");
  return 0;
}

HWND CurrentPage() { return FindWindowExA(pagesTab, nullptr, MAKEINTATOM(0x8002), nullptr); }

std::string TextOf(HWND window) {
  char buffer[256] = {};
  Send(window, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer));
  return buffer;
}

std::string ClassOf(HWND window) {
  char buffer[64] = {};
  GetClassNameA(window, buffer, sizeof buffer);
  return buffer;
}

std::string At(POINT p) { return "xdotool mousemove " + std::to_string(p.x) + " " + std::to_string(p.y); }

bool ClickTab(int index) {
  RECT r{};
  Send(pagesTab, TCM_GETITEMRECT, index, reinterpret_cast<LPARAM>(&r));
  POINT p{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  ClientToScreen(pagesTab, &p);
  std::string title = exclog::DialogOptions().Text(6 + 2 * index);
  if (!RunHostCommand(At(p) + " click 1")) return false;
  return PumpUntil([&] { return CurrentPage() && TextOf(GetDlgItem(CurrentPage(), 102)) == title; }, 8000);
}

HWND PageList() { return GetDlgItem(CurrentPage(), 103); }
int Rows() { return static_cast<int>(Send(PageList(), LVM_GETITEMCOUNT, 0, 0)); }

std::string ItemText(int row, int column) {
  char buffer[512] = {};
  LVITEMA item{};
  item.iSubItem = column;
  item.pszText = buffer;
  item.cchTextMax = sizeof buffer;
  Send(PageList(), LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
  return buffer;
}

RECT RowOnScreen(int row) {
  RECT r{};
  r.left = LVIR_BOUNDS;
  Send(PageList(), LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&r));
  MapWindowPoints(PageList(), nullptr, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

// The screen's pixels of `r`, row by row, as COLORREF values.
std::vector<COLORREF> Pixels(const RECT& r) {
  int w = r.right - r.left, h = r.bottom - r.top;
  std::vector<COLORREF> out;
  if (w <= 0 || h <= 0) return out;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, w, h);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
  SelectObject(memory, old);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = -h;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  std::vector<uint32_t> raw(static_cast<size_t>(w) * h);
  GetDIBits(memory, bitmap, 0, h, raw.data(), &info, DIB_RGB_COLORS);
  for (uint32_t v : raw) out.push_back(RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF));
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return out;
}

COLORREF PixelAt(int x, int y) {
  std::vector<COLORREF> p = Pixels(RECT{x, y, x + 1, y + 1});
  return p.empty() ? CLR_INVALID : p[0];
}

int CountOf(const std::vector<COLORREF>& pixels, COLORREF colour) {
  int n = 0;
  for (COLORREF c : pixels) n += c == colour;
  return n;
}

void Screenshot(int page) {
  RunHostCommand("import -window root /tmp/velmora-pages-" + std::to_string(page) + ".png");
}

std::string Normalised(std::string text) {
  std::string out;
  for (char c : text)
    if (c != '\r' && c != '\n') out += c;
  return out;
}

void CheckTabsAndGeneral() {
  const char* classes[6] = {"RichEdit20A", "SysListView32", "SysListView32", "SysListView32", "RichEdit20A",
                            "RichEdit20A"};
  for (int i = 5; i >= 0; --i) {
    Check(ClickTab(i), "tab " + std::to_string(i) + " shows its page");
    Check(ClassOf(GetDlgItem(CurrentPage(), 103)) == classes[i], "page " + std::to_string(i) + " content class");
    Screenshot(i);
  }
  // On the General page now: its text is the report's general part.
  HWND edit = GetDlgItem(CurrentPage(), 103);
  int length = static_cast<int>(Send(edit, WM_GETTEXTLENGTH, 0, 0));
  std::string text(static_cast<size_t>(length) + 1, '\0');
  Send(edit, WM_GETTEXT, static_cast<WPARAM>(length + 1), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<size_t>(length));
  std::string general = exclog::ReportPieces().General;
  Check(!general.empty() && Normalised(text).find(Normalised(general)) == 0 &&
            Normalised(text).size() <= Normalised(general).size() + 2,
        "the General text is the general part (" + std::to_string(text.size()) + " vs " +
            std::to_string(general.size()) + ")");
}

void CheckCallStack() {
  Check(ClickTab(1), "Call Stack tab");
  int rows = Rows(), raising = -1;
  for (int r = 0; r < rows && raising < 0; ++r)
    if (ItemText(r, 4).find("PagesRaisingRoutine") != std::string::npos) raising = r;
  Check(raising > 0, "the raising routine is listed");
  std::printf("expect routine=%s\nexpect unit=%s\nexpect class=%s\nexpect line=%d\n", ItemText(raising, 4).c_str(),
              ItemText(raising, 2).c_str(), ItemText(raising, 3).c_str(), faultLine);
  exclog::TModuleRef program = exclog::FindModule(reinterpret_cast<uintptr_t>(GetModuleHandleA(nullptr)));
  uint32_t low = 0, high = 0;
  for (int b = 0; b < 4; ++b) {
    low |= static_cast<uint32_t>(program->DataHeader[static_cast<size_t>(b)]) << (8 * b);
    high |= static_cast<uint32_t>(program->DataHeader[static_cast<size_t>(b) + 4]) << (8 * b);
  }
  std::printf("expect header_low=%d\nexpect header_high=%d\n", static_cast<int32_t>(low), static_cast<int32_t>(high));

  // Row 0 heads the exception thread: dark red, drawn at the row's left, minus box.
  RECT head = RowOnScreen(0);
  POINT box{head.left + 1, head.top + 1};
  Check(CountOf(Pixels(head), 0x000080) > 0, "the exception thread's head is dark red");
  Check(PixelAt(box.x + 6, box.y + 6) == 0, "the box's sign");
  // The plus's upright stroke crosses the line 4 pixels into the box; the frame's
  // top edge is the box's second line.
  auto upright = [&] { return CountOf(Pixels(RECT{box.x, box.y + 4, box.x + 13, box.y + 5}), 0); };
  Check(upright() == 0, "a minus box while expanded");
  Check(CountOf(Pixels(RECT{box.x, box.y + 1, box.x + 13, box.y + 2}), 0x808080) >= 9, "the box's frame");
  Check(CountOf(Pixels(RECT{head.left, head.top, head.right, head.top + 1}), 0xFF00FF) == 0, "no key colour");

  // A click on the box collapses the group and another expands it; one beside it
  // changes nothing.
  RunHostCommand(At({box.x + 6, box.y + 6}) + " click 1");
  Check(PumpUntil([&] { return Rows() < rows; }, 5000), "the box collapses the group");
  Check(PumpUntil([&] { return upright() == 1; }, 5000), "a plus box while collapsed");
  RunHostCommand(At({box.x + 6, box.y + 6}) + " click 1");
  Check(PumpUntil([&] { return Rows() == rows; }, 5000), "the box expands the group");
  RunHostCommand(At({box.x + 60, box.y + 6}) + " click 1");
  Check(!PumpUntil([&] { return Rows() != rows; }, 1500), "a click beside the box toggles nothing");

  // The selected row's fill; no key colour anywhere in the list.
  LVITEMA state{};
  state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  state.state = LVIS_SELECTED;
  Send(PageList(), LVM_SETITEMSTATE, raising, reinterpret_cast<LPARAM>(&state));
  RECT selected = RowOnScreen(raising);
  Check(PumpUntil([&] {
          std::vector<COLORREF> p = Pixels(selected);
          return CountOf(p, RGB(0xCC, 0xDA, 0xF1)) * 2 > static_cast<int>(p.size());
        }, 5000),
        "the selected row's fill");
  RECT list{};
  GetClientRect(PageList(), &list);
  MapWindowPoints(PageList(), nullptr, reinterpret_cast<POINT*>(&list), 2);
  Check(CountOf(Pixels(list), 0xFF00FF) == 0, "no key colour in the list");
  Screenshot(11);

  // A double click on the raising frame's row tells the parent where it is.
  RECT r = RowOnScreen(raising);
  RunHostCommand(At({r.left + 40, (r.top + r.bottom) / 2}) + " click --repeat 2 --delay 80 1");
}

int Width(int column) { return static_cast<int>(Send(PageList(), LVM_GETCOLUMNWIDTH, column, 0)); }

void CheckModuleWidths() {
  Check(ClickTab(2), "Modules tab");
  // The width a divider drag leaves (an xdotool drag on the header left Wine's
  // header holding the mouse under Xvfb, so the list is told the new width).
  int before = Width(0);
  Send(PageList(), LVM_SETCOLUMNWIDTH, 0, before + 40);
  Check(PumpUntil([&] { return Width(0) == before + 40; }, 5000), "the divider widens the column");
  int dragged = Width(0);
  Check(ClickTab(3) && ClickTab(2), "a page switch");
  Check(Width(0) == dragged, "the dragged width survives a page switch");
  Check(exclog::ReadSetting("QuelbaLog.ini", "Coordinates", "ColMod0", "") == std::to_string(dragged),
        "the width sits under ColMod0");
  std::string ini = velmora::test::UnixPath(exclog::SettingsFolder() + "\\QuelbaLog.ini");
  std::string python = "/usr/bin/python3 '" VELMORA_SOURCE_DIR "/tests/peers/ini_columns.py' '" + ini + "' ";
  std::optional<std::string> read = RunHostCommand(python + "read ColMod0");
  Check(read && std::stoi(*read) == dragged, "configparser reads the dragged width");

  // Hostile values written by another writer, read at the next page creation.
  Check(ClickTab(3), "Processes tab");
  RunHostCommand(python + "write ColMod1=-40 ColMod2=wide ColMod3=99999999 'ColMod4= 77 ' ColMod6=111 ColMod5=333");
  Check(ClickTab(2), "Modules tab again");
  Check(Width(1) == 96 && Width(2) == 175 && Width(3) == 50, "bad widths take their defaults: " +
            std::to_string(Width(1)) + " " + std::to_string(Width(2)) + " " + std::to_string(Width(3)));
  Check(Width(4) == 77, "a width with blanks around");
  Check(Width(5) == 111 && Width(6) == 333, "Modified under ColMod6, Path under ColMod5");
}

}  // namespace

DWORD WINAPI PagesWatchdog(LPVOID) {
  // A dialog that stops answering must fail the test, not hold it until the
  // harness's time limit: the parent reads this child's output until it ends.
  Sleep(200000);
  std::printf("FAIL the pages child ran out of time (%d failures so far)\n", failures);
  std::fflush(stdout);
  ExitProcess(3);
}

int PagesChild() {
  CloseHandle(exclog::KernelOriginals().CreateThread(nullptr, 0, &PagesWatchdog, nullptr, 0, nullptr));
  StartUnitsLikeHost();
  exclog::TModuleRef program = exclog::FindModule(reinterpret_cast<uintptr_t>(GetModuleHandleA(nullptr)));
  program->Options->SetLogFlags(static_cast<uint8_t>(program->Options->LogFlags() | 0x30));
  exclog::ReportHandlerSeams().ShowDialog = &PagesDialog;
  HANDLE thread = CreateThread(nullptr, 0, &PagesFaultThread, nullptr, 0, nullptr);
  if (!PumpUntil([] { return pagesDialog.load() != nullptr; }, 60000)) {
    std::printf("FAIL no dialog\n");
    return 1;
  }
  SetForegroundWindow(pagesDialog);
  CheckTabsAndGeneral();
  CheckCallStack();
  CheckModuleWidths();
  PostMessageA(pagesDialog, WM_CLOSE, 0, 0);
  Check(WaitForSingleObject(thread, 30000) == WAIT_OBJECT_0, "the faulting thread ends after the dialog");
  CloseHandle(thread);
  std::printf("pages child done, %d failures\n", failures);
  std::fflush(stdout);
  return failures == 0 ? 0 : 1;
}

namespace {

std::string Expected(const std::string& output, const std::string& key) {
  size_t at = output.find("expect " + key + "=");
  if (at == std::string::npos) return "<none>";
  at += 8 + key.size();
  return output.substr(at, output.find_first_of("\r\n", at) - at);
}

TEST(DialogPages, SixPagesDrivenByXdotoolAndTheSourcePlaceByMailslot) {
  std::string name = "\\\\.\\mailslot\\QuelbaLog" + std::to_string(GetCurrentProcessId());
  HANDLE slot = CreateMailslotA(name.c_str(), 0, 0, nullptr);
  ASSERT_NE(slot, INVALID_HANDLE_VALUE);
  TChildResult child = RunChild("pages", 240000);
  EXPECT_EQ(child.ExitCode, 0u) << child.Output;
  std::vector<uint8_t> record(exclog::SourceLocationRecordSize);
  DWORD got = 0;
  ASSERT_TRUE(ReadFile(slot, record.data(), static_cast<DWORD>(record.size()), &got, nullptr)) << child.Output;
  CloseHandle(slot);
  ASSERT_EQ(got, record.size());
  std::string file = velmora::test::HostPath("/tmp/velmora-source-location-" + velmora::test::ProcessTag());
  FILE* out = std::fopen(file.c_str(), "wb");
  ASSERT_NE(out, nullptr);
  std::fwrite(record.data(), 1, record.size(), out);
  std::fclose(out);
  std::optional<std::string> decoded =
      RunHostCommand("/usr/bin/python3 '" VELMORA_SOURCE_DIR "/tests/peers/source_location.py' '/tmp/velmora-source-location-" +
                     velmora::test::ProcessTag() + "'");
  DeleteFileA(file.c_str());
  ASSERT_TRUE(decoded);
  std::string routine = Expected(child.Output, "routine");
  EXPECT_NE(routine.find("PagesRaisingRoutine"), std::string::npos) << child.Output;
  std::string expected = "text1=\nunit=" + Expected(child.Output, "unit") + "\nclass=" +
                         Expected(child.Output, "class") + "\nroutine=" + routine.substr(0, 89) + "\nline=" +
                         Expected(child.Output, "line") + "\n";
  EXPECT_EQ(decoded->substr(0, decoded->find("offset=")), expected) << *decoded << child.Output;
  EXPECT_NE(decoded->find("header_low=" + Expected(child.Output, "header_low") + "\nheader_high=" +
                          Expected(child.Output, "header_high") + "\n"),
            std::string::npos)
      << *decoded << child.Output;
  EXPECT_EQ(decoded->find("offset=-1"), std::string::npos) << *decoded;
}

}  // namespace

}  // namespace startup_test
