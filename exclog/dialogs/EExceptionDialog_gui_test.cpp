// The logger's dialogs on the screen, driven like a user does it (xdotool moves,
// clicks and types on the X server behind Wine): each dialog runs on a thread of
// its own, as on the report thread, while the test watches it.
#include <windows.h>

#include <commctrl.h>
#include <tlhelp32.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>

#include "exclog/core/ECore_win.h"
#include "exclog/core/ExceptionLog.h"
#include "exclog/dialogs/EClassicDialog_win.h"
#include "exclog/dialogs/EDialogKit_win.h"
#include "exclog/dialogs/EDialogOutcome.h"
#include "exclog/dialogs/EDialogSeams.h"
#include "exclog/dialogs/EDialogPages_win.h"
#include "exclog/dialogs/EDialogShared_win.h"
#include "exclog/dialogs/EExceptionDialog_win.h"
#include "exclog/dialogs/EExceptionDialogLayout.h"
#include "exclog/dialogs/EReportContext.h"
#include "exclog/dialogs/ERequestDialog_win.h"
#include "exclog/report/EInternalError.h"
#include "exclog/report/EInternalError_win.h"
#include "exclog/report/EReportText.h"
#include "resources/exclog/QuelbaDialogs.h"
#include "tests/support/GuiProbe_win.h"

namespace exclog {
namespace {

using velmora::test::PumpUntil;
using velmora::test::RunHostCommand;
using velmora::test::ShotForReview;
using velmora::test::XAreaHolds;
using velmora::test::XScreenPixel;

TQuelbaModuleOptions& TestOptions() {
  static TQuelbaModuleOptions options;
  return options;
}

void Click(int x, int y) {
  RunHostCommand("/usr/bin/xdotool mousemove " + std::to_string(x) + " " + std::to_string(y) + " click 1");
}
void Key(const std::string& keys) { RunHostCommand("/usr/bin/xdotool key " + keys); }
void Type(const std::string& text) { RunHostCommand("/usr/bin/xdotool type --delay 20 '" + text + "'"); }

// Whether a process this one started still runs (the support link's helper).
bool HasChildProcess() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return true;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  bool found = false;
  for (BOOL more = Process32First(snapshot, &entry); more && !found; more = Process32Next(snapshot, &entry))
    found = entry.th32ParentProcessID == GetCurrentProcessId();
  CloseHandle(snapshot);
  return found;
}

RECT ScreenRectOf(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  return r;
}
POINT CentreOf(HWND window) {
  RECT r = ScreenRectOf(window);
  return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}
// The dialog lays itself out on its own thread: the control is clicked where that
// thread last put it.
void ClickItem(HWND dialog, int id) {
  velmora::test::SettleWindowThread(dialog);
  POINT p = CentreOf(GetDlgItem(dialog, id));
  Click(p.x, p.y);
}
POINT ClientToScreenAt(HWND window, int x, int y) {
  POINT p{x, y};
  ClientToScreen(window, &p);
  return p;
}



std::string ItemText(HWND dialog, int id) {
  char text[512] = {};
  GetDlgItemTextA(dialog, id, text, sizeof text);
  return text;
}

// A top-level window of this process with `caption`, visible.
struct TSearch {
  std::string Caption;
  HWND Found = nullptr;
};
BOOL CALLBACK MatchCaption(HWND w, LPARAM p) {
  auto* s = reinterpret_cast<TSearch*>(p);
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  char text[256] = {};
  GetWindowTextA(w, text, sizeof text);
  if (pid == GetCurrentProcessId() && IsWindowVisible(w) && s->Caption == text) {
    s->Found = w;
    return FALSE;
  }
  return TRUE;
}
HWND FindDialog(const std::string& caption) {
  TSearch search{caption};
  EnumWindows(&MatchCaption, reinterpret_cast<LPARAM>(&search));
  return search.Found;
}

// One dialog on a thread of its own, as the report thread shows it.
class TDialogRun {
 public:
  explicit TDialogRun(void (*show)()) : thread_([this, show] {
                                           show();
                                           done_ = true;
                                         }) {}
  ~TDialogRun() {
    if (thread_.joinable()) {
      if (!done_) Key("Escape");
      PumpUntil([&] { return done_.load(); }, 10000);
      thread_.detach();
    }
  }
  bool Ended(DWORD ms = 10000) {
    bool ended = PumpUntil([&] { return done_.load(); }, ms);
    if (ended && thread_.joinable()) thread_.join();
    return ended;
  }

 private:
  std::atomic<bool> done_{false};
  std::thread thread_;
};

void ShowDetailedDialog() {
  DialogOutcome().PresentationKind = PresentDetailed;
  ShowExceptionDialog(false);
}
void ShowClassicDialog() {
  DialogOutcome().PresentationKind = PresentClassic;
  ShowExceptionDialog(false);
}
void ShowBoxOnly() {
  DialogOutcome().PresentationKind = PresentMessageBox;
  ShowExceptionDialog(false);
}

const char* const ErrorCaption = "Error occurred";
const char* const Message = "Access violation & more";

class DialogsOnScreen : public ::testing::Test {
 protected:
  void SetUp() override {
    TQuelbaModuleOptions& options = TestOptions();
    options.SetDefaults();
    options.SetMailMode(2);  // the send boxes show
    options.SetTerminateButtonAfter(0);
    DialogSeams().Options = &TestOptions;
    DialogReportFacts() = {};
    DialogReportFacts().ErrorCount = 1;
    DialogOutcome() = {};
    DialogOutcome().ScreenshotChosen = 1;  // as the handler presets it (ProcessFlags bit 4)
    SetSendChosen(true);
    SetOverrideMessage("");
    SetExceptionOwnMessage(Message);
    GetForegroundWorkArea(work_);
  }
  void TearDown() override {
    DialogSeams().Options = nullptr;
    DialogEventSeams() = {};
    SetMessageBoxProvider(nullptr);
  }
  // The dialog once shown and placed: centred across the work area, where each of
  // them first stands (it starts at 0, 0 until its mode places it).
  HWND WaitForDialog(const std::string& caption) {
    HWND dialog = velmora::test::WaitUntilPlaced(
        [&]() -> HWND { return DialogOutcome().BecameVisible ? FindDialog(caption) : nullptr; },
        &velmora::test::CentredAcrossWorkArea, 15000);
    return dialog;
  }
  RECT work_{};
};

void StoreCoordinates(const char* width, const char* height, const char* left, const char* top, const char* state) {
  WriteSetting("QuelbaLog.ini", "Coordinates", "Width", width);
  WriteSetting("QuelbaLog.ini", "Coordinates", "Height", height);
  WriteSetting("QuelbaLog.ini", "Coordinates", "Left", left);
  WriteSetting("QuelbaLog.ini", "Coordinates", "Top", top);
  WriteSetting("QuelbaLog.ini", "Coordinates", "WindowsState", state);
}
int StoredCoordinate(const char* key) {
  return std::atoi(ReadSetting("QuelbaLog.ini", "Coordinates", key, "-1").c_str());
}

TEST_F(DialogsOnScreen, CompactThenDetailedResizedAndReopenedWhereItWas) {
  StoreCoordinates("600", "380", "40", "30", "6");  // minimised last time: opens normally
  {
    TDialogRun run(&ShowDetailedDialog);
    HWND dialog = WaitForDialog(ErrorCaption);
    ASSERT_NE(dialog, nullptr);
    // Compact: the message with its "&" shown as it is, the bitmap without its key.
    EXPECT_EQ(ItemText(dialog, QL_DLG_HEADER), Message);
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(dialog, QL_DLG_TABS)));
    POINT corner = ClientToScreenAt(dialog, 8, 8), centre = ClientToScreenAt(dialog, 8 + 16, 8 + 16);
    EXPECT_TRUE(PumpUntil([&] { return XScreenPixel(centre.x, centre.y) == RGB(255, 255, 255); }));
    EXPECT_NE(XScreenPixel(corner.x, corner.y), RGB(255, 0, 255));
    ShotForReview("1-compact");
    // Details: six tabs, each showing its page.
    ClickItem(dialog, QL_DLG_DETAILS);
    HWND tabs = GetDlgItem(dialog, QL_DLG_TABS);
    ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(tabs) != FALSE; }));
    EXPECT_EQ(SendMessageA(tabs, TCM_GETITEMCOUNT, 0, 0), 6);
    // Each tab clicked shows its page under its title.
    for (int tab = 0; tab < 6; ++tab) {
      RECT item{};
      SendMessageA(tabs, TCM_GETITEMRECT, tab, reinterpret_cast<LPARAM>(&item));
      MapWindowPoints(tabs, nullptr, reinterpret_cast<POINT*>(&item), 2);
      Click((item.left + item.right) / 2, (item.top + item.bottom) / 2);
      EXPECT_TRUE(PumpUntil([&] {
        HWND page = CurrentDialogPage();
        return page && IsWindowVisible(page) && ItemText(page, 102) == DialogText(6 + 2 * tab);
      })) << "tab " << tab;
    }
    ShotForReview("2-detailed");
    RECT placed = ScreenRectOf(dialog);
    EXPECT_EQ(placed.right - placed.left, 600);
    EXPECT_FALSE(IsIconic(dialog));
    // A corner drag makes it larger.
    ASSERT_TRUE(velmora::test::DragWindowBorder(dialog, {placed.right - 2, placed.bottom - 2},
                                                {placed.right + 58, placed.bottom + 38}));
    ASSERT_TRUE(PumpUntil([&] { return ScreenRectOf(dialog).right > placed.right + 30; }));
    RECT grown = ScreenRectOf(dialog);
    ShotForReview("3-resized");
    ClickItem(dialog, QL_DLG_OK);
    ASSERT_TRUE(run.Ended());
    // The next dialog's pages can still use the rich edit: its class's procedure
    // lies in a loaded module.
    WNDCLASSEXA rich{};
    rich.cbSize = sizeof rich;
    HMODULE owner = nullptr;
    EXPECT_TRUE(GetClassInfoExA(nullptr, "RichEdit20A", &rich) &&
                GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                   reinterpret_cast<LPCSTR>(rich.lpfnWndProc), &owner));
    EXPECT_EQ(StoredCoordinate("WindowsState"), 1);
    EXPECT_EQ(StoredCoordinate("Width"), grown.right - grown.left);
    EXPECT_EQ(StoredCoordinate("Left"), grown.left);
    EXPECT_EQ(StoredCoordinate("Top"), grown.top);
    EXPECT_FALSE(DialogOutcome().Cancelled);
    EXPECT_EQ(DialogOutcome().PresentationKind, PresentNothing);
  }
  // The next Details opens there; maximised by a caption double click, the one
  // after opens maximised.
  for (int pass = 0; pass < 2; ++pass) {
    DialogOutcome().DetailsShownBefore = 0;
    TDialogRun run(&ShowDetailedDialog);
    HWND dialog = WaitForDialog(ErrorCaption);
    ASSERT_NE(dialog, nullptr);
    ClickItem(dialog, QL_DLG_DETAILS);
    ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(GetDlgItem(dialog, QL_DLG_TABS)) != FALSE; }));
    if (pass == 0) {
      velmora::test::SettleWindowThread(dialog);  // Details places the window
      RECT r = ScreenRectOf(dialog);
      EXPECT_EQ(r.left, StoredCoordinate("Left"));
      EXPECT_EQ(r.right - r.left, StoredCoordinate("Width"));
      RunHostCommand("/usr/bin/xdotool mousemove " + std::to_string((r.left + r.right) / 2) + " " +
                     std::to_string(r.top + GetSystemMetrics(SM_CYFRAME) + 4) + " click --repeat 2 --delay 80 1");
      ASSERT_TRUE(PumpUntil([&] { return IsZoomed(dialog) != FALSE; }));
      ShotForReview("4-maximised");
    } else {
      EXPECT_TRUE(PumpUntil([&] { return IsZoomed(dialog) != FALSE; }));
    }
    ClickItem(dialog, QL_DLG_OK);
    ASSERT_TRUE(run.Ended());
    EXPECT_EQ(StoredCoordinate("WindowsState"), 3);
  }
}

// The tabs and their page are made when the details first show, and only then:
// a compact dialog has none, a dialog that opens detailed has them once shown,
// and showing the details again makes no second set.
TEST_F(DialogsOnScreen, DetailsAreMadeWhenTheyFirstShowAndOnlyOnce) {
  auto tabCount = [](HWND dialog) { return SendMessageA(GetDlgItem(dialog, QL_DLG_TABS), TCM_GETITEMCOUNT, 0, 0); };
  {
    TDialogRun run(&ShowDetailedDialog);
    HWND dialog = WaitForDialog(ErrorCaption);
    ASSERT_NE(dialog, nullptr);
    HWND tabs = GetDlgItem(dialog, QL_DLG_TABS);
    EXPECT_EQ(CurrentDialogPage(), nullptr);
    EXPECT_EQ(tabCount(dialog), 0);
    for (int round = 0; round < 2; ++round) {
      PostMessageA(dialog, WM_COMMAND, QL_DLG_DETAILS, 0);
      ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(tabs) && CurrentDialogPage() != nullptr; })) << round;
      EXPECT_EQ(tabCount(dialog), 6) << round;
      PostMessageA(dialog, WM_COMMAND, QL_DLG_DETAILS, 0);
      ASSERT_TRUE(PumpUntil([&] { return !IsWindowVisible(tabs); })) << round;
    }
    PostMessageA(dialog, WM_COMMAND, QL_DLG_OK, 0);
    ASSERT_TRUE(run.Ended());
  }
  TestOptions().SetDialogFlags(399 | DialogOpenDetailed);
  TDialogRun run(&ShowDetailedDialog);
  HWND dialog = nullptr;
  ASSERT_TRUE(PumpUntil([&] { return DialogOutcome().BecameVisible && (dialog = FindDialog(ErrorCaption)); }));
  HWND page = CurrentDialogPage();
  EXPECT_TRUE(page && IsWindowVisible(page));
  EXPECT_EQ(tabCount(dialog), 6);
  PostMessageA(dialog, WM_COMMAND, QL_DLG_OK, 0);
  ASSERT_TRUE(run.Ended());
}

TEST_F(DialogsOnScreen, ChoicesOfTheBoxesAndTheWaysOut) {
  TestOptions().SetDialogFlags(399 | DialogShowHelp);
  {
    // Copy ticked, screenshot unticked, OK: chosen as ticked.
    TDialogRun run(&ShowDetailedDialog);
    HWND dialog = WaitForDialog(ErrorCaption);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(ItemText(dialog, QL_DLG_TERMINATE), "&Restart");
    ClickItem(dialog, QL_DLG_COPY);
    ClickItem(dialog, QL_DLG_SCREENSHOT);
    ASSERT_TRUE(PumpUntil([&] { return IsDlgButtonChecked(dialog, QL_DLG_COPY) == BST_CHECKED; }));
    ASSERT_TRUE(PumpUntil([&] { return IsDlgButtonChecked(dialog, QL_DLG_SCREENSHOT) == BST_UNCHECKED; }));
    ClickItem(dialog, QL_DLG_OK);
    ASSERT_TRUE(run.Ended());
    EXPECT_TRUE(DialogOutcome().CopyChosen);
    EXPECT_FALSE(DialogOutcome().ScreenshotChosen);
    EXPECT_TRUE(SendChosen());
    EXPECT_EQ(TestOptions().DialogFlags() & DialogScreenshotChecked, 0);
  }
  {
    // Escape: neither copy nor send, cancelled.
    TDialogRun run(&ShowDetailedDialog);
    HWND dialog = WaitForDialog(ErrorCaption);
    ASSERT_NE(dialog, nullptr);
    ClickItem(dialog, QL_DLG_COPY);
    ASSERT_TRUE(PumpUntil([&] { return IsDlgButtonChecked(dialog, QL_DLG_COPY) == BST_CHECKED; }));
    Key("Escape");
    ASSERT_TRUE(run.Ended());
    EXPECT_FALSE(DialogOutcome().CopyChosen);
    EXPECT_FALSE(SendChosen());
    EXPECT_TRUE(DialogOutcome().Cancelled);
  }
  {
    // Help: a handler that asks to close ends the dialog, one that does not keeps it.
    static std::atomic<bool> closeAsked{false};
    static std::atomic<int> helps{0};
    DialogEventSeams().RunHelp = [](bool& close) {
      ++helps;
      close = closeAsked.load();
    };
    TDialogRun run(&ShowDetailedDialog);
    HWND dialog = WaitForDialog(ErrorCaption);
    ASSERT_NE(dialog, nullptr);
    ClickItem(dialog, QL_DLG_HELP);
    ASSERT_TRUE(PumpUntil([&] { return helps == 1; }));
    EXPECT_FALSE(run.Ended(500));
    closeAsked = true;
    ClickItem(dialog, QL_DLG_HELP);
    ASSERT_TRUE(run.Ended());
    EXPECT_TRUE(DialogOutcome().HelpAsksToClose);
  }
  {
    // Terminate or restart: chosen, and the action event may take it back.
    DialogEventSeams().NotifyAction = [](int action, bool& chosen) {
      EXPECT_EQ(action, ActionTerminateChosen);
      chosen = false;
    };
    TDialogRun run(&ShowDetailedDialog);
    HWND dialog = WaitForDialog(ErrorCaption);
    ASSERT_NE(dialog, nullptr);
    ClickItem(dialog, QL_DLG_TERMINATE);
    ASSERT_TRUE(run.Ended());
    EXPECT_FALSE(DialogOutcome().RestartChosen);
  }
}

TEST_F(DialogsOnScreen, IdleDialogClosesAfterItsTimeUnlessTheMouseMoves) {
  TestOptions().SetAutoCloseSeconds(2);
  TestOptions().SetDialogFlags(399 | DialogTopMost);
  TDialogRun run(&ShowDetailedDialog);
  HWND dialog = WaitForDialog(ErrorCaption);
  ASSERT_NE(dialog, nullptr);
  EXPECT_TRUE(GetWindowLongA(dialog, GWL_EXSTYLE) & WS_EX_TOPMOST);
  ShotForReview("5-topmost");
  // Moving the mouse over it for three seconds keeps it open.
  POINT c = CentreOf(dialog);
  DWORD start = GetTickCount();
  for (int step = 0; GetTickCount() - start < 3000; ++step) {
    RunHostCommand("/usr/bin/xdotool mousemove " + std::to_string(c.x + step % 7) + " " + std::to_string(c.y));
    velmora::test::PumpMessages();
  }
  EXPECT_FALSE(run.Ended(0));
  EXPECT_TRUE(run.Ended(10000));
  EXPECT_FALSE(DialogOutcome().Cancelled);  // closed like OK
}

// Each channel within 2 of the expected one.
bool Near(std::optional<COLORREF> c, COLORREF expected) {
  if (!c) return false;
  for (int shift : {0, 8, 16})
    if (std::abs(static_cast<int>((*c >> shift) & 0xFF) - static_cast<int>((expected >> shift) & 0xFF)) > 2)
      return false;
  return true;
}

TEST_F(DialogsOnScreen, SupportLinkStartsItsTargetAndOwnLookPaintsTheCaption) {
  // The link's target: a batch file that leaves a marker.
  char temp[MAX_PATH] = {};
  GetTempPathA(sizeof temp, temp);
  const std::string marker = std::string(temp) + "support-link-" + std::to_string(GetCurrentProcessId()) + ".txt";
  const std::string helper = std::string(temp) + "support-link.bat";
  DeleteFileA(marker.c_str());
  {
    FILE* bat = std::fopen(helper.c_str(), "w");
    ASSERT_NE(bat, nullptr);
    std::fprintf(bat, "@echo opened> \"%s\"\r\n", marker.c_str());
    std::fclose(bat);
  }
  TestOptions().SetSupportUrl(helper);
  TestOptions().SetDialogFlags(399 | DialogOwnLook);
  TDialogRun run(&ShowDetailedDialog);
  HWND dialog = WaitForDialog(ErrorCaption);
  ASSERT_NE(dialog, nullptr);
  // The own look's caption: the gradient's first step at the band's left end,
  // bluish while active, grey while not.
  RECT r = ScreenRectOf(dialog);
  const int fx = GetSystemMetrics(SM_CXFRAME) - 1, fy = GetSystemMetrics(SM_CYFRAME) - 1;
  const int bandMiddle = r.top + fy + 1 + GetSystemMetrics(SM_CYSMCAPTION) / 2;
  // Each colour in its state: bluish as the dialog is shown in front, grey while
  // another window is active, bluish once the dialog is active again. The other
  // window lives on a thread of its own, so the test's thread keeps out of the
  // dialogs' activation.
  auto gradientIs = [&](COLORREF colour) {
    return PumpUntil([&] { return Near(XScreenPixel(r.left + fx + 2, bandMiddle), colour); });
  };
  const COLORREF bluish = RGB(125, 149, 186), grey = RGB(145, 145, 145);
  ASSERT_TRUE(PumpUntil([&] { return GetForegroundWindow() == dialog; }));
  EXPECT_TRUE(gradientIs(bluish)) << "the dialog is shown in front";
  std::atomic<HWND> other{nullptr};
  std::atomic<DWORD> otherThreadId{0};
  std::thread otherThread([&] {
    otherThreadId = GetCurrentThreadId();
    HWND w = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 20, 20, nullptr, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
    SetForegroundWindow(w);
    other = w;
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
    DestroyWindow(w);
  });
  EXPECT_TRUE(PumpUntil([&] { return other && GetForegroundWindow() == other; }));
  EXPECT_TRUE(gradientIs(grey)) << "another window is active";
  SetForegroundWindow(dialog);
  EXPECT_TRUE(gradientIs(bluish)) << "the dialog is active again";
  PostThreadMessageA(otherThreadId, WM_QUIT, 0, 0);
  otherThread.join();
  ShotForReview("8-own-look-link");
  // The link, right-aligned under the copy box, starts the helper.
  const std::string text = DialogText(25);
  HDC dc = GetDC(dialog);
  HGDIOBJ old = SelectObject(dc, DialogKit().BoldUnderlinedFont);
  SIZE size{};
  GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
  SelectObject(dc, old);
  ReleaseDC(dialog, dc);
  RECT client;
  GetClientRect(dialog, &client);
  RECT okRect = ScreenRectOf(GetDlgItem(dialog, QL_DLG_OK));
  POINT okTop{0, okRect.top};
  ScreenToClient(dialog, &okTop);
  POINT link = ClientToScreenAt(dialog, client.right - 4 - size.cx / 2, okTop.y + 50 + size.cy / 2);
  RunHostCommand("/usr/bin/xdotool mousemove " + std::to_string(link.x - 3) + " " + std::to_string(link.y));
  Click(link.x, link.y);
  EXPECT_TRUE(PumpUntil([&] { return GetFileAttributesA(marker.c_str()) != INVALID_FILE_ATTRIBUTES; }, 15000));
  // The helper and its console end before the next test, or its window would
  // take the keys typed there.
  EXPECT_TRUE(PumpUntil([] { return !HasChildProcess(); }, 20000)) << "the link's helper is still running";
  // The helper's own window may stand over the dialog now: OK by its command.
  PostMessageA(dialog, WM_COMMAND, QL_DLG_OK, 0);
  ASSERT_TRUE(run.Ended());
  DeleteFileA(marker.c_str());
  DeleteFileA(helper.c_str());
}

TEST_F(DialogsOnScreen, RequestKeepsTheStepsOnEscape) {
  TestOptions().SetLogFlags(TestOptions().LogFlags() | LogAskReproduceSteps);
  TestOptions().SetReproduceText("");
  TDialogRun run(&ShowRequestDialog);
  HWND dialog = WaitForDialog("Request");
  ASSERT_NE(dialog, nullptr);
  ClickItem(dialog, QL_REQ_EDIT);
  Type("open the file then raise");
  ASSERT_TRUE(PumpUntil([&] { return ItemText(dialog, QL_REQ_EDIT) == "open the file then raise"; }));
  ShotForReview("6-request");
  Key("Escape");
  ASSERT_TRUE(run.Ended());
  EXPECT_EQ(TestOptions().ReproduceText(), "open the file then raise");
  // With a dialog failed earlier in the report no request shows.
  DialogOutcome().DialogFailed = 1;
  EXPECT_FALSE(RequestWanted());
}

std::atomic<int> boxes{0};
std::string lastBoxText;
int RecordBox(HWND, const std::string& text, const std::string&, UINT) {
  lastBoxText = text;
  ++boxes;
  return IDOK;
}
int FailBox(HWND, const std::string&, const std::string&, UINT) {
  ++boxes;
  return 0;
}

TEST_F(DialogsOnScreen, ClassicDialogBandLinkAndEmail) {
  TestOptions().SetDialogFlags(399);
  TestOptions().SetLogFlags(TestOptions().LogFlags() | LogAskReproduceSteps);
  WriteSetting("QuelbaLog.ini", "User", "Email", "");
  StoreCoordinates("600", "380", "40", "30", "1");  // the detailed dialog opens normally
  SetMessageBoxProvider(&RecordBox);
  boxes = 0;
  UpdateReportPieces(
      [](TReportPieces& p, const void*) {
        p.General = "User:\r\n  3.3 Email          : before@x.y\r\n";
        p.LastReport = p.General + "rest";
        p.SendingText = p.LastReport;
      },
      nullptr);
  {
    TDialogRun run(&ShowClassicDialog);
    HWND dialog = WaitForDialog(ErrorCaption);
    ASSERT_NE(dialog, nullptr);
    // The white band framed in black, beside the header.
    RECT client;
    GetClientRect(dialog, &client);
    POINT frame = ClientToScreenAt(dialog, 0, 40), inside = ClientToScreenAt(dialog, 3, 47);
    EXPECT_TRUE(PumpUntil([&] { return XScreenPixel(inside.x, inside.y) == RGB(255, 255, 255); }));
    EXPECT_EQ(XScreenPixel(frame.x, frame.y), RGB(0, 0, 0));
    ShotForReview("7-classic");
    // "nobody" is refused and the dialog stays.
    ClickItem(dialog, QL_MS_EMAIL);
    Type("nobody");
    ClickItem(dialog, QL_MS_SEND);
    ASSERT_TRUE(PumpUntil([&] { return boxes == 1; }));
    EXPECT_EQ(lastBoxText, "Invalid email.");
    EXPECT_FALSE(run.Ended(300));
    // Escape with the address still invalid: a cancel the address keeps open ...
    Key("Escape");
    ASSERT_TRUE(PumpUntil([&] { return boxes == 2; }));
    EXPECT_TRUE(DialogOutcome().Cancelled);
    EXPECT_FALSE(run.Ended(300));
    // A valid one lands in [User] and the report's 3.3 line.
    SetDlgItemTextA(dialog, QL_MS_EMAIL, "");
    ClickItem(dialog, QL_MS_EMAIL);
    Type("ada@example.org");
    ClickItem(dialog, QL_MS_SEND);
    ASSERT_TRUE(run.Ended());
  }
  EXPECT_EQ(ReadSetting("QuelbaLog.ini", "User", "Email", ""), "ada@example.org");
  EXPECT_EQ(ReportPieces().LastReport, "User:\r\n  3.3 Email          : ada@example.org\r\nrest");
  EXPECT_EQ(ReportPieces().ReportCopy, ReportPieces().LastReport);
  // ... and Send afterwards is no cancel.
  EXPECT_TRUE(SendChosen());
  EXPECT_FALSE(DialogOutcome().Cancelled);
  {
    // Escape in the description cancels.
    TDialogRun run(&ShowClassicDialog);
    HWND dialog = WaitForDialog(ErrorCaption);
    ASSERT_NE(dialog, nullptr);
    ClickItem(dialog, QL_MS_DESCRIPTION);
    Type("typing");
    Key("Escape");
    ASSERT_TRUE(run.Ended());
    EXPECT_TRUE(DialogOutcome().Cancelled);
    EXPECT_FALSE(SendChosen());
    EXPECT_EQ(TestOptions().ReproduceText(), "typing");
  }
  {
    // The link shows blue and opens the detailed dialog in detailed mode.
    DialogOutcome().DetailsShownBefore = 0;
    TDialogRun run(&ShowClassicDialog);
    HWND dialog = WaitForDialog(ErrorCaption);
    ASSERT_NE(dialog, nullptr);
    HWND label = GetDlgItem(dialog, QL_MS_SEEDATA);
    RECT r = ScreenRectOf(label);
    int textWidth = MeasureTextWidth(dialog, DialogKit().DialogFont, DialogText(31));
    RECT linkArea{r.left + textWidth + 8, r.top, r.left + textWidth + 60, r.bottom};
    EXPECT_TRUE(PumpUntil([&] { return XAreaHolds(linkArea, RGB(0, 0, 255)); }));
    POINT link{r.left + textWidth + 8 + 10, r.top + 6};
    RunHostCommand("/usr/bin/xdotool mousemove " + std::to_string(link.x) + " " + std::to_string(link.y));
    Click(link.x + 1, link.y);
    HWND detailed = nullptr;
    ASSERT_TRUE(PumpUntil([&] { return (detailed = ExceptionDialogWindow()) != nullptr; }));
    EXPECT_TRUE(DialogOutcome().DetailsShownBefore);
    ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(GetDlgItem(detailed, QL_DLG_TABS)) != FALSE; }));
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(detailed, QL_DLG_DETAILS)));
    ASSERT_TRUE(PumpUntil([&] { return ScreenRectOf(detailed).left == 40; }));
    ClickItem(detailed, QL_DLG_OK);
    ASSERT_TRUE(run.Ended());
  }
}

// Own look: a page answers for its background with the dialog's own brush.
TEST_F(DialogsOnScreen, OwnLookPagesPaintWithTheDialogsBrush) {
  TestOptions().SetDialogFlags(399 | DialogOwnLook);
  TDialogRun run(&ShowDetailedDialog);
  HWND dialog = WaitForDialog(ErrorCaption);
  ASSERT_NE(dialog, nullptr);
  PostMessageA(dialog, WM_COMMAND, QL_DLG_DETAILS, 0);
  ASSERT_TRUE(PumpUntil([] { return CurrentDialogPage() != nullptr; }));
  HWND page = CurrentDialogPage();
  HDC dc = GetDC(page);
  LRESULT pageBrush = SendMessageA(page, WM_CTLCOLORDLG, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(page));
  LRESULT dialogBrush =
      SendMessageA(dialog, WM_CTLCOLORDLG, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(dialog));
  ReleaseDC(page, dc);
  EXPECT_NE(dialogBrush, 0);
  EXPECT_EQ(pageBrush, dialogBrush);
  PostMessageA(dialog, WM_COMMAND, QL_DLG_OK, 0);
  ASSERT_TRUE(run.Ended());
}

// The "invalid address" box stays up through three of the auto-close's ticks, then
// clears the address: no second box opens meanwhile, and the count starts again
// after it, so the dialog closes on its own.
std::atomic<int> boxesUp{0}, mostBoxesUp{0};
int SlowAddressBox(HWND, const std::string&, const std::string&, UINT) {
  mostBoxesUp = std::max(mostBoxesUp.load(), ++boxesUp);
  ++boxes;
  HWND dialog = FindDialog(ErrorCaption);
  int ticks = 0;
  for (DWORD start = GetTickCount(); ticks < 3 && GetTickCount() - start < 15000;) {
    MSG message;
    if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
      continue;
    }
    if (message.message == WM_TIMER && message.hwnd == dialog && message.wParam == AutoCloseTimer) ++ticks;
    DispatchMessageA(&message);
  }
  SetDlgItemTextA(dialog, QL_MS_EMAIL, "");
  --boxesUp;
  return IDOK;
}

TEST_F(DialogsOnScreen, AutoCloseWithAnInvalidAddressShowsOneBoxAtATime) {
  TestOptions().SetDialogFlags(399);
  TestOptions().SetAutoCloseSeconds(1);
  SetMessageBoxProvider(&SlowAddressBox);
  boxes = boxesUp = mostBoxesUp = 0;
  WriteSetting("QuelbaLog.ini", "User", "Email", "nobody");  // the dialog's address field
  TDialogRun run(&ShowClassicDialog);
  ASSERT_TRUE(run.Ended(30000));
  WriteSetting("QuelbaLog.ini", "User", "Email", "");
  EXPECT_EQ(boxes, 1);
  EXPECT_EQ(mostBoxesUp, 1);
}

TEST_F(DialogsOnScreen, FailedBoxIsAWarningAndNoRequest) {
  SetMessageBoxProvider(&FailBox);
  boxes = 0;
  ClearLastInternalWarning();
  TDialogRun run(&ShowBoxOnly);
  ASSERT_TRUE(run.Ended());
  EXPECT_EQ(boxes, 2);  // the box, then the fallback
  EXPECT_EQ(LastInternalWarning().Code, 1);
  EXPECT_EQ(LastInternalWarning().Message, "Cannot show the DialogBox window.");
  EXPECT_TRUE(DialogOutcome().DialogFailed);
  EXPECT_FALSE(DialogShowing());
  TestOptions().SetLogFlags(TestOptions().LogFlags() | LogAskReproduceSteps);
  EXPECT_FALSE(RequestWanted());
}

}  // namespace
}  // namespace exclog
