#include "exclog/dialogs/EDialogPages_win.h"

#include <commctrl.h>
#include <tlhelp32.h>

#include <memory>

#include "classlib/SysUtils.h"
#include "exclog/core/ECore_win.h"
#include "exclog/debuginfo/EModules_win.h"
#include "exclog/dialogs/EDialogKit_win.h"
#include "exclog/dialogs/EDialogSeams.h"
#include "exclog/dialogs/EReportContext_win.h"
#include "exclog/report/ERtfRender.h"
#include "exclog/report/ERtfRender_win.h"
#include "exclog/report/EReportText_win.h"
#include "exclog/report/ESysInfo_win.h"
#include "resources/exclog/QuelbaLogIds.h"

namespace exclog {

namespace {

HMODULE richEdit = nullptr;
HWND currentPage = nullptr;
std::unique_ptr<TListViewItems> currentItems;
TDialogPage currentKind = TDialogPage::General;

const char* const ListProcProperty = "QuelbaLogListProc";

DLGPROC PageProcOf(TDialogPage page) {
  switch (page) {
    case TDialogPage::General: return &GeneralPageProc;
    case TDialogPage::CallStack: return &CallStackPageProc;
    case TDialogPage::Modules: return &ModulesPageProc;
    case TDialogPage::Processes: return &ProcessesPageProc;
    case TDialogPage::Assembler: return &AssemblerPageProc;
    case TDialogPage::Cpu: return &CPUPageProc;
  }
  return &GeneralPageProc;
}

bool ResetsAutoClose(UINT message) {
  if (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST && message != WM_MOUSEMOVE) return true;
  if (message >= WM_KEYFIRST && message <= WM_KEYLAST) return true;
  if (message >= WM_NCLBUTTONDOWN && message <= WM_NCMBUTTONDBLCLK) return true;
  return message == WM_COMMAND || message == WM_NOTIFY || message == WM_VSCROLL || message == WM_HSCROLL;
}

bool OwnLook() { return (DialogOptions().DialogFlags() & DialogOwnLook) != 0; }

HBRUSH BackgroundBrush() {
  HBRUSH brush = DialogKit().BackgroundBrush;
  return brush ? brush : GetSysColorBrush(COLOR_BTNFACE);
}

HBRUSH WhiteBrush() {
  HBRUSH brush = DialogKit().WhiteBrush;
  return brush ? brush : static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
}

void SetTitle(HWND page, TDialogPage kind) {
  HWND title = GetDlgItem(page, QL_PAGE_TITLE);
  if (!title) return;
  if (HFONT font = DialogKit().DialogFont) SendMessageA(title, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  SetWindowTextA(title, DialogOptions().Text(PageTitleText(kind)).c_str());
}

// What every page does with a message before its own handling; a handled colour
// message gives its brush in `result`.
bool CommonPageMessage(UINT message, WPARAM wParam, LPARAM lParam, bool richText, INT_PTR& result) {
  if (ResetsAutoClose(message)) ResetAutoClose();
  if (message == WM_CTLCOLORSTATIC && richText) {
    HDC dc = reinterpret_cast<HDC>(wParam);
    SetTextColor(dc, RGB(0, 0, 0));
    if (GetDlgCtrlID(reinterpret_cast<HWND>(lParam)) == QL_PAGE_CONTENT) {
      SetBkMode(dc, OPAQUE);
      SetBkColor(dc, RGB(255, 255, 255));
      result = reinterpret_cast<INT_PTR>(WhiteBrush());
      return true;
    }
    SetBkMode(dc, TRANSPARENT);
    if (OwnLook()) {
      result = reinterpret_cast<INT_PTR>(BackgroundBrush());
      return true;
    }
    return false;
  }
  if ((message == WM_CTLCOLORDLG || message == WM_CTLCOLORSTATIC) && OwnLook()) {
    HDC dc = reinterpret_cast<HDC>(wParam);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
    result = reinterpret_cast<INT_PTR>(BackgroundBrush());
    return true;
  }
  return false;
}

// --- Rich-text pages -----------------------------------------------------------------

std::string PartText(TDialogPage kind) {
  TReportPieces pieces = ReportPieces();
  switch (kind) {
    case TDialogPage::Assembler:
      return pieces.AsmText.empty() ? pieces.AsmHeader : pieces.AsmHeader + "\r\n" + pieces.AsmText;
    case TDialogPage::Cpu: return pieces.Cpu;
    default: return pieces.General;
  }
}

void InitRichTextPage(HWND page, TDialogPage kind) {
  HWND edit = GetDlgItem(page, QL_PAGE_CONTENT);
  TDialogKitState& kit = DialogKit();
  if (edit) {
    if (kit.FixedFont) SendMessageA(edit, WM_SETFONT, reinterpret_cast<WPARAM>(kit.FixedFont), FALSE);
    TRtfFont font;
    font.Charset = GetLocaleCharset();
    if (!kit.Faces.Fixed.empty()) font.Name = kit.Faces.Fixed;
    font.SizePoints = kit.Faces.Points;
    TRtfPart part = kind == TDialogPage::Assembler ? TRtfPart::Assembler
                    : kind == TDialogPage::Cpu     ? TRtfPart::Cpu
                                                   : TRtfPart::General;
    StreamRtfIntoRichEdit(edit, RenderReportPartRtf(part, PartText(kind), font, DashPixelWidth(kit.DialogFont)));
    SetRichEditBackground(edit, 0xFFFFFF);
  }
  SetTitle(page, kind);
}

INT_PTR RichTextPage(TDialogPage kind, HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  try {
    INT_PTR result = 0;
    if (CommonPageMessage(message, wParam, lParam, true, result)) return result;
    if (message == WM_INITDIALOG) {
      InitRichTextPage(page, kind);
      return TRUE;
    }
  } catch (...) {
  }
  return FALSE;
}

// --- List pages ---------------------------------------------------------------------

// Enter on a row reaches the list (it activates the row); else the dialog
// manager would press the dialog's default button.
LRESULT CALLBACK ListWithEnter(HWND list, UINT message, WPARAM wParam, LPARAM lParam) {
  auto previous = reinterpret_cast<WNDPROC>(GetPropA(list, ListProcProperty));
  if (!previous) return DefWindowProcA(list, message, wParam, lParam);
  if (message == WM_GETDLGCODE) {
    LRESULT code = CallWindowProcA(previous, list, message, wParam, lParam);
    const MSG* msg = reinterpret_cast<const MSG*>(lParam);
    if (msg && msg->message == WM_KEYDOWN && msg->wParam == VK_RETURN) code |= DLGC_WANTMESSAGE;
    return code;
  }
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrA(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
    RemovePropA(list, ListProcProperty);
  }
  return CallWindowProcA(previous, list, message, wParam, lParam);
}

void AddCallStackRows(TListViewItems& items) {
  std::shared_ptr<const TQuelbaStackList> stacks = ReportStacks();
  if (!stacks) return;
  std::vector<TStackRowInput> inputs;
  for (int i = 0; i < stacks->Count(); ++i) {
    const TQuelbaLocation* location = stacks->Get(i);
    if (!location) continue;
    TStackRowInput input;
    input.Entry = StackEntryOf(*location);
    input.ModuleKind = location->Module ? location->Module->ModuleKind : 0;
    inputs.push_back(std::move(input));
  }
  for (const TPageRow& row :
       BuildCallStackRows(inputs, AcceptedKinds(DialogOptions().StackDetailFlags()),
                          [](const TReportStackEntry& first) { return GroupHeaderOf(first, false); }))
    items.Add(row.Texts, row.Image, row.ColourCode, row.GroupHead);
}

void AddModuleRows(TListViewItems& items) {
  for (const TReportModuleRow& module : ModuleRows()) {
    TPageRow row = ModulePageRow(module);
    items.Add(row.Texts, row.Image, 0, false);
  }
}

void AddProcessRows(TListViewItems& items) {
  for (const TReportProcessRow& process : ProcessRows()) {
    TPageRow row = ProcessPageRow(process);
    items.Add(row.Texts, row.Image, 0, false);
  }
}

void InitListPage(HWND page, TDialogPage kind) {
  HWND list = GetDlgItem(page, QL_PAGE_CONTENT);
  SetTitle(page, kind);
  if (!list) return;
  if (!GetPropA(list, ListProcProperty)) {
    SetPropA(list, ListProcProperty, reinterpret_cast<HANDLE>(GetWindowLongPtrA(list, GWLP_WNDPROC)));
    SetWindowLongPtrA(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ListWithEnter));
  }
  currentItems = std::make_unique<TListViewItems>(list);
  if (HFONT font = DialogKit().ListFont) SendMessageA(list, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  const std::vector<TPageColumn>& columns = PageColumns(kind);
  for (size_t c = 0; c < columns.size(); ++c) {
    const TPageColumn& column = columns[c];
    std::string text = DialogOptions().Text(column.TextIndex);
    int width = ColumnWidthFromSetting(
        ReadSetting(PagesSettingsFile, PagesSettingsSection, column.Key, std::to_string(column.DefaultWidth)),
        column.DefaultWidth);
    LVCOLUMNA lv{};
    lv.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    lv.fmt = column.Alignment == 2 ? LVCFMT_RIGHT : column.Alignment == 1 ? LVCFMT_CENTER : LVCFMT_LEFT;
    lv.cx = width;
    lv.pszText = text.data();
    lv.iSubItem = static_cast<int>(c);
    SendMessageA(list, LVM_INSERTCOLUMNA, c, reinterpret_cast<LPARAM>(&lv));
  }
  SendMessageA(list, LVM_SETTEXTBKCOLOR, 0, RGB(255, 255, 255));
  SendMessageA(list, LVM_SETBKCOLOR, 0, RGB(255, 255, 255));
  SendMessageA(list, LVM_SETTEXTCOLOR, 0, RGB(0, 0, 0));
  SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
  switch (kind) {
    case TDialogPage::CallStack: AddCallStackRows(*currentItems); break;
    case TDialogPage::Modules: AddModuleRows(*currentItems); break;
    default: AddProcessRows(*currentItems); break;
  }
}

void SaveColumnWidths(HWND page, TDialogPage kind) {
  HWND list = GetDlgItem(page, QL_PAGE_CONTENT);
  if (!list) return;
  const std::vector<TPageColumn>& columns = PageColumns(kind);
  for (size_t c = 0; c < columns.size(); ++c) {
    int width = static_cast<int>(SendMessageA(list, LVM_GETCOLUMNWIDTH, c, 0));
    WriteSetting(PagesSettingsFile, PagesSettingsSection, columns[c].Key, std::to_string(width));
  }
}

std::string ItemText(HWND list, int row, int column) {
  char buffer[1024] = {};
  LVITEMA item{};
  item.iSubItem = column;
  item.pszText = buffer;
  item.cchTextMax = sizeof buffer;
  SendMessageA(list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
  return Trim(buffer);
}

// A frame row activated: its source place to the development environment.
void ActivateFrameRow(HWND list, int row) {
  std::string line = ItemText(list, row, 5);
  if (line.empty()) return;
  uint32_t address = static_cast<uint32_t>(std::strtoul(ItemText(list, row, 0).c_str(), nullptr, 16));
  TLineParts parts = SplitLineText(line);
  uint32_t low = 0, high = 0;
  if (TModuleRef module = ModuleOfAddress(reinterpret_cast<const void*>(static_cast<uintptr_t>(address)))) {
    for (int b = 0; b < 4; ++b) {
      low |= static_cast<uint32_t>(module->DataHeader[static_cast<size_t>(b)]) << (8 * b);
      high |= static_cast<uint32_t>(module->DataHeader[static_cast<size_t>(b) + 4]) << (8 * b);
    }
  }
  NotifySourceLocation(ItemText(list, row, 2), ItemText(list, row, 3), ItemText(list, row, 4), parts.Line,
                       parts.Offset, low, high);
}

bool CallStackNotify(const NMHDR& header) {
  if (!currentItems || header.hwndFrom != currentItems->Window()) return false;
  HWND list = header.hwndFrom;
  if (header.code == NM_CLICK) {
    const auto& click = reinterpret_cast<const NMITEMACTIVATE&>(header);
    LVHITTESTINFO hit{};
    hit.pt = click.ptAction;
    int row = static_cast<int>(SendMessageA(list, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
    if (row >= 0) currentItems->ToggleGroup(row, click.ptAction, true);
    return true;
  }
  if (header.code == LVN_ITEMACTIVATE) {
    const auto& activate = reinterpret_cast<const NMITEMACTIVATE&>(header);
    int row = activate.iItem;
    if (row < 0) row = static_cast<int>(SendMessageA(list, LVM_GETNEXTITEM, -1, LVNI_FOCUSED));
    TTreeNode* node = currentItems->NodeAtRow(row);
    if (!node) return true;
    if (node->GroupHead)
      currentItems->ToggleGroup(row, POINT{}, false);
    else if (!node->Separator)
      ActivateFrameRow(list, row);
    return true;
  }
  return false;
}

INT_PTR ListPage(TDialogPage kind, HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  try {
    INT_PTR result = 0;
    if (CommonPageMessage(message, wParam, lParam, false, result)) return result;
    switch (message) {
      case WM_INITDIALOG:
        InitListPage(page, kind);
        return TRUE;
      case WM_DRAWITEM:
        if (currentItems && wParam == QL_PAGE_CONTENT)
          currentItems->DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
      case WM_NOTIFY:
        if (kind == TDialogPage::CallStack) CallStackNotify(*reinterpret_cast<const NMHDR*>(lParam));
        return FALSE;
      case WM_DESTROY:
        currentItems.reset();
        SaveColumnWidths(page, kind);
        return FALSE;
    }
  } catch (...) {
  }
  return FALSE;
}

// The process that started this one, when it still runs; 0 otherwise.
DWORD RunningParentId() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 0;
  DWORD self = GetCurrentProcessId(), parent = 0;
  bool parentRunning = false;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  std::vector<DWORD> running;
  for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
    if (entry.th32ProcessID == self) parent = entry.th32ParentProcessID;
    running.push_back(entry.th32ProcessID);
  }
  CloseHandle(snapshot);
  for (DWORD id : running) parentRunning = parentRunning || (parent && id == parent);
  return parentRunning ? parent : 0;
}

}  // namespace

void LoadDialogClasses() {
  INITCOMMONCONTROLSEX classes{};
  classes.dwSize = sizeof classes;
  classes.dwICC = ICC_TAB_CLASSES | ICC_LISTVIEW_CLASSES;
  InitCommonControlsEx(&classes);
}

namespace {

// Loaded when a page first needs it (most dialogs show none), then kept: its
// window classes point into it, and freed and loaded again at another address it
// left them pointing at nothing (a page's rich edit crashed on its first message).
void LoadRichEdit() {
  if (!richEdit) richEdit = LoadLibraryA("RICHED20.DLL");
}

}  // namespace

void DestroyDialogPage() {
  if (currentPage && IsWindow(currentPage)) DestroyWindow(currentPage);
  currentPage = nullptr;
  currentItems.reset();
}

HWND CurrentDialogPage() { return currentPage; }
TListViewItems* CurrentPageItems() { return currentItems.get(); }

HWND SelectDialogPage(HWND tabControl, int tabIndex) {
  int page = PageOfTab(tabIndex, DialogOptions().LogFlags());
  DestroyDialogPage();
  if (page < 0) return nullptr;
  currentKind = static_cast<TDialogPage>(page);
  if (currentKind == TDialogPage::General || currentKind == TDialogPage::Assembler || currentKind == TDialogPage::Cpu)
    LoadRichEdit();
  currentPage = CreateDialogParamA(LoggerResourceModule(), PageResourceName(currentKind), tabControl,
                                   PageProcOf(currentKind), 0);
  if (currentPage) PlaceDialogPage(tabControl);
  return currentPage;
}

void PlaceDialogPage(HWND tabControl) {
  if (!currentPage || !tabControl) return;
  RECT area;
  if (!GetWindowRect(tabControl, &area)) return;
  OffsetRect(&area, -area.left, -area.top);
  SendMessageA(tabControl, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
  int width = area.right - area.left, height = area.bottom - area.top;
  MoveWindow(currentPage, area.left - 3, area.top - 1, width, height, TRUE);
  if (HWND content = GetDlgItem(currentPage, QL_PAGE_CONTENT)) MoveWindow(content, 3, 20, width - 8, height - 24, TRUE);
  ShowWindow(currentPage, SW_SHOWNA);
}

INT_PTR CALLBACK GeneralPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  return RichTextPage(TDialogPage::General, page, message, wParam, lParam);
}
INT_PTR CALLBACK AssemblerPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  return RichTextPage(TDialogPage::Assembler, page, message, wParam, lParam);
}
INT_PTR CALLBACK CPUPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  return RichTextPage(TDialogPage::Cpu, page, message, wParam, lParam);
}
INT_PTR CALLBACK CallStackPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  return ListPage(TDialogPage::CallStack, page, message, wParam, lParam);
}
INT_PTR CALLBACK ModulesPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  return ListPage(TDialogPage::Modules, page, message, wParam, lParam);
}
INT_PTR CALLBACK ProcessesPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  return ListPage(TDialogPage::Processes, page, message, wParam, lParam);
}

bool NotifySourceLocation(const std::string& unit, const std::string& className, const std::string& routine,
                          int32_t line, int32_t offset, uint32_t headerLow, uint32_t headerHigh) {
  DWORD parent = RunningParentId();
  if (parent) {
    using TAllow = BOOL(WINAPI*)(DWORD);
    HMODULE user = GetModuleHandleA("user32.dll");
    auto allow = user ? reinterpret_cast<TAllow>(reinterpret_cast<void*>(GetProcAddress(user, "AllowSetForegroundWindow")))
                      : nullptr;
    if (allow) allow(parent);
  }
  std::string name = "\\\\.\\mailslot\\QuelbaLog" + std::to_string(parent);
  HANDLE slot = CreateFileA(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (slot == INVALID_HANDLE_VALUE) return false;
  auto record = SourceLocationRecord(unit, className, routine, line, offset, headerLow, headerHigh);
  DWORD written = 0;
  BOOL ok = WriteFile(slot, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
  CloseHandle(slot);
  return ok && written == record.size();
}

}  // namespace exclog
