// The logger's dialogs in copies of the host program, driven only through the X
// server: the detailed dialog's place kept in QuelbaLog.ini, Escape and the close
// box copying nothing, "&Restart" starting a new instance; the classic dialog;
// the own look, top-most, support link and auto-close; and a program linked
// without the dialog templates.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>

#include "exclog/core/ECore_win.h"
#include "exclog/dialogs/EExceptionDialogLayout.h"
#include "resources/exclog/QuelbaDialogs.h"
#include "tests/gui/AppWindows_win.h"
#include "tests/support/ChildProcess_win.h"
#include "tests/support/GuiProbe_win.h"
#include "tests/support/TestPaths.h"

namespace {

using velmora::test::ClickItem;
using velmora::test::FindMainWindowOf;
using velmora::test::FindWindowOf;
using velmora::test::ItemText;
using velmora::test::MessageBoxOf;
using velmora::test::PumpUntil;
using velmora::test::ReadText;
using velmora::test::RunHostCommand;
using velmora::test::ShotForReview;
using velmora::test::XAreaHolds;
using velmora::test::XScreenPixel;

const std::string IniFile = exclog::SettingsFolder() + "\\QuelbaLog.ini";

// A value of QuelbaLog.ini read from the file's own text (no profile cache); -1
// when the section or key is missing.
int IniNumber(const std::string& section, const std::string& key) {
  std::istringstream in(ReadText(IniFile));
  bool inSection = false;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line[0] == '[') {
      inSection = line == "[" + section + "]";
    } else if (inSection && line.rfind(key + "=", 0) == 0) {
      return std::atoi(line.c_str() + key.size() + 1);
    }
  }
  return -1;
}
std::string IniText(const std::string& section, const std::string& key) {
  char text[256] = {};
  GetPrivateProfileStringA(section.c_str(), key.c_str(), "", text, sizeof text, IniFile.c_str());
  return text;
}

std::string Clipboard() { return RunHostCommand("/usr/bin/xclip -o -selection clipboard").value_or(""); }

POINT ClientPoint(HWND window, int x, int y) {
  POINT p{x, y};
  ClientToScreen(window, &p);
  return p;
}

RECT RectOf(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  return r;
}

void Move(int x, int y) { RunHostCommand("/usr/bin/xdotool mousemove " + std::to_string(x) + " " + std::to_string(y)); }
void ClickAt(int x, int y) {
  Move(x, y);
  RunHostCommand("/usr/bin/xdotool click 1");
}
void Type(const std::string& text) { RunHostCommand("/usr/bin/xdotool type --delay 20 '" + text + "'"); }

// The visible main windows of host programs other than `otherThan`: how many, and
// one of them (null when none shows).
struct TOtherSearch {
  DWORD OtherThan;
  HWND Found = nullptr;
  int Count = 0;
};
BOOL CALLBACK MatchOtherMain(HWND window, LPARAM param) {
  auto* s = reinterpret_cast<TOtherSearch*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  char text[64] = {};
  GetWindowTextA(window, text, sizeof text);
  if (owner != s->OtherThan && IsWindowVisible(window) && lstrcmpA(text, "Velmora") == 0) {
    s->Found = window;
    ++s->Count;
  }
  return TRUE;
}

// A plain window of the test's own.
class TClickTarget {
 public:
  TClickTarget(int x, int y, int width, int height) {
    WNDCLASSA c{};
    c.lpfnWndProc = DefWindowProcA;
    c.hInstance = GetModuleHandleA(nullptr);
    c.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    c.lpszClassName = "VelmoraTestClickTarget";
    RegisterClassA(&c);
    window_ = CreateWindowExA(0, c.lpszClassName, "", WS_POPUP | WS_VISIBLE, x, y, width, height, nullptr, nullptr,
                              c.hInstance, nullptr);
    UpdateWindow(window_);
  }
  ~TClickTarget() { DestroyWindow(window_); }
  TClickTarget(const TClickTarget&) = delete;
  TClickTarget& operator=(const TClickTarget&) = delete;
  HWND Window() const { return window_; }

 private:
  HWND window_ = nullptr;
};

// One run of a copy of the host program, its text log of earlier runs removed.
class HostDialogs : public testing::Test {
 protected:
  std::unique_ptr<velmora::test::TChildProcess> program;
  HWND window = nullptr;
  std::string log;

  void Start(const std::string& exe) {
    const std::string path = velmora::test::HostPath(exe);
    log = path.substr(0, path.size() - 4) + ".qlf";
    DeleteFileA(log.c_str());
    program = std::make_unique<velmora::test::TChildProcess>("\"" + path + "\"");
    ASSERT_TRUE(program->Started());
    ASSERT_TRUE(PumpUntil([&] { return (window = FindMainWindowOf(program->Id())) != nullptr; }, 30000));
    ASSERT_TRUE(PumpUntil([&] { return velmora::test::AnswersSkinned(window); }, 20000));
  }

  // Raised from the menu once the program takes input again (it drops keys and
  // clicks while a report runs); the dialog once placed, null when none came.
  HWND Raise() {
    bool raised = PumpUntil(
        [&] { return velmora::test::FocusByCaption(window) && velmora::test::RaiseFromTheMenu(program->Id(), 3000); },
        40000);
    return raised ? velmora::test::WaitForReportDialog(program->Id()) : nullptr;
  }

  // The program goes on after its reports and ends normally when closed.
  void CloseNormally() {
    ASSERT_TRUE(PumpUntil([&] { return velmora::test::AnswersSkinned(window); }, 20000));
    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(program->Ended(15000));
    EXPECT_EQ(program->ExitCode(), 0u);
  }
};

// Compact with its bitmap's key colour transparent; Details, a corner drag, Escape
// with Copy ticked: the rectangle saved with state 1, nothing copied. The next
// Details opens there; maximised by a caption double click and closed by the
// close box with Copy ticked: state 3, nothing copied. The one after opens
// maximised, and "&Restart" ends the program and starts a new one that runs alone.
TEST_F(HostDialogs, DetailedDialogKeepsItsPlaceCopiesNothingWhenDismissedAndRestarts) {
  WritePrivateProfileStringA("Coordinates", nullptr, nullptr, IniFile.c_str());
  RunHostCommand("printf untouched | /usr/bin/xclip -selection clipboard");
  Start(VELMORA_DIALOG_RESTART_EXE);
  HWND dialog = Raise();
  ASSERT_NE(dialog, nullptr);
  EXPECT_TRUE(PumpUntil([&] { return !IsWindowVisible(GetDlgItem(dialog, QL_DLG_TABS)); }));
  EXPECT_EQ(ItemText(dialog, QL_DLG_TERMINATE), "&Restart");
  EXPECT_TRUE(IsWindowVisible(GetDlgItem(dialog, QL_DLG_TERMINATE)));
  POINT corner = ClientPoint(dialog, 8, 8), centre = ClientPoint(dialog, 8 + 16, 8 + 16);
  EXPECT_TRUE(PumpUntil([&] { return XScreenPixel(centre.x, centre.y) == RGB(255, 255, 255); }));
  // The corner read back, not just unequal to the key colour: a failed read is no answer.
  std::optional<COLORREF> cornerPixel;
  ASSERT_TRUE(PumpUntil([&] { return (cornerPixel = XScreenPixel(corner.x, corner.y)).has_value(); }))
      << "the screen could not be read";
  EXPECT_NE(*cornerPixel, RGB(255, 0, 255));
  ShotForReview("host-1-compact");

  ClickItem(dialog, QL_DLG_DETAILS);
  ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(GetDlgItem(dialog, QL_DLG_TABS)) != FALSE; }));
  RECT placed{};
  ASSERT_TRUE(PumpUntil([&] {
    placed = RectOf(dialog);
    return placed.right - placed.left > 500;
  }));
  ASSERT_TRUE(velmora::test::DragWindowBorder(dialog, {placed.right - 2, placed.bottom - 2},
                                              {placed.right + 58, placed.bottom + 38}));
  ASSERT_TRUE(PumpUntil([&] { return RectOf(dialog).right > placed.right + 30; }));
  const RECT grown = RectOf(dialog);
  ShotForReview("host-2-resized");
  ClickItem(dialog, QL_DLG_COPY);
  ASSERT_TRUE(PumpUntil([&] { return IsDlgButtonChecked(dialog, QL_DLG_COPY) == BST_CHECKED; }));
  RunHostCommand("/usr/bin/xdotool key Escape");
  ASSERT_TRUE(PumpUntil([&] { return !IsWindow(dialog); }, 15000));
  ASSERT_TRUE(PumpUntil([&] { return IniNumber("Coordinates", "WindowsState") == 1; }));
  EXPECT_EQ(IniNumber("Coordinates", "Width"), grown.right - grown.left);
  EXPECT_EQ(IniNumber("Coordinates", "Left"), grown.left);
  EXPECT_EQ(IniNumber("Coordinates", "Top"), grown.top);

  // A new report's dialog shows only after the last report ended, copy included.
  ASSERT_NE(dialog = Raise(), nullptr);
  EXPECT_EQ(Clipboard().substr(0, 40), "untouched");
  ClickItem(dialog, QL_DLG_DETAILS);
  ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(GetDlgItem(dialog, QL_DLG_TABS)) != FALSE; }));
  EXPECT_TRUE(PumpUntil([&] {
    placed = RectOf(dialog);
    return placed.left == grown.left;
  }));
  EXPECT_EQ(placed.top, grown.top);
  EXPECT_EQ(placed.right - placed.left, grown.right - grown.left);
  EXPECT_EQ(placed.bottom - placed.top, grown.bottom - grown.top);
  RunHostCommand("/usr/bin/xdotool mousemove " + std::to_string((placed.left + placed.right) / 2) + " " +
                 std::to_string(placed.top + GetSystemMetrics(SM_CYFRAME) + 4) + " click --repeat 2 --delay 80 1");
  ASSERT_TRUE(PumpUntil([&] { return IsZoomed(dialog) != FALSE; }));
  ShotForReview("host-3-maximised");
  ClickItem(dialog, QL_DLG_COPY);
  ASSERT_TRUE(PumpUntil([&] { return IsDlgButtonChecked(dialog, QL_DLG_COPY) == BST_CHECKED; }));
  // The close box: the caption's last button.
  const RECT full = RectOf(dialog);
  ClickAt(full.right - GetSystemMetrics(SM_CXFRAME) - GetSystemMetrics(SM_CXSIZE) / 2 - 1,
          full.top + GetSystemMetrics(SM_CYFRAME) + GetSystemMetrics(SM_CYCAPTION) / 2);
  ASSERT_TRUE(PumpUntil([&] { return !IsWindow(dialog); }, 15000));
  ASSERT_TRUE(PumpUntil([&] { return IniNumber("Coordinates", "WindowsState") == 3; }));

  ASSERT_NE(dialog = Raise(), nullptr);
  EXPECT_EQ(Clipboard().substr(0, 40), "untouched");
  ClickItem(dialog, QL_DLG_DETAILS);
  EXPECT_TRUE(PumpUntil([&] { return IsZoomed(dialog) != FALSE; }));
  const DWORD old = program->Id();
  ClickItem(dialog, QL_DLG_TERMINATE);
  EXPECT_TRUE(program->Ended(30000));
  TOtherSearch search{old};
  EXPECT_TRUE(PumpUntil(
      [&] {
        search = TOtherSearch{old};
        EnumWindows(MatchOtherMain, reinterpret_cast<LPARAM>(&search));
        return search.Found != nullptr;
      },
      30000));
  EXPECT_EQ(search.Count, 1);
  ShotForReview("host-4-restarted");
  ASSERT_NE(search.Found, nullptr);
  DWORD restarted = 0;
  GetWindowThreadProcessId(search.Found, &restarted);
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, restarted);
  PostMessageA(search.Found, WM_CLOSE, 0, 0);
  EXPECT_TRUE(process && WaitForSingleObject(process, 15000) == WAIT_OBJECT_0);
  if (process) CloseHandle(process);
}

// The classic dialog: its white band framed in black and its blue link; "nobody"
// refused with the dialog kept; a valid address, then Escape in the description
// cancels: nothing is sent, the address is in [User], the request holds the
// description. The next report's link opens the detailed dialog in detailed mode,
// whose Terminate ends the program with code 1 after its log.
TEST_F(HostDialogs, ClassicDialogTakesTheAddressCancelsOnEscapeAndLinksToTheDetails) {
  WritePrivateProfileStringA("User", "Email", "", IniFile.c_str());
  WritePrivateProfileStringA("Coordinates", nullptr, nullptr, IniFile.c_str());
  Start(VELMORA_CLASSIC_DIALOG_EXE);
  HWND dialog = Raise();
  ASSERT_NE(dialog, nullptr);
  ASSERT_NE(GetDlgItem(dialog, QL_MS_DESCRIPTION), nullptr);
  POINT frame = ClientPoint(dialog, 0, 40), inside = ClientPoint(dialog, 3, 47);
  EXPECT_TRUE(PumpUntil([&] { return XScreenPixel(inside.x, inside.y) == RGB(255, 255, 255); }));
  EXPECT_EQ(XScreenPixel(frame.x, frame.y), RGB(0, 0, 0));
  // The link follows the label, which is as wide as its text.
  RECT label = RectOf(GetDlgItem(dialog, QL_MS_SEEDATA));
  RECT linkArea{label.right + 8, label.top, label.right + 60, label.bottom};
  EXPECT_TRUE(PumpUntil([&] { return XAreaHolds(linkArea, RGB(0, 0, 255)); }));
  ShotForReview("host-5-classic");

  ClickItem(dialog, QL_MS_EMAIL);
  Type("nobody");
  ClickItem(dialog, QL_MS_SEND);
  std::string text;
  HWND box = nullptr;
  ASSERT_TRUE(PumpUntil([&] { return (box = MessageBoxOf(program->Id(), &text)) != nullptr; }, 15000));
  EXPECT_EQ(text, "Invalid email.");
  ClickItem(box, IDOK);
  ASSERT_TRUE(PumpUntil([&] { return !IsWindow(box); }));
  EXPECT_TRUE(IsWindow(dialog));
  ClickItem(dialog, QL_MS_EMAIL);
  RunHostCommand("/usr/bin/xdotool key End shift+Home");
  Type("pupil@school.example");
  ASSERT_TRUE(PumpUntil([&] { return ItemText(dialog, QL_MS_EMAIL) == "pupil@school.example"; }))
      << ItemText(dialog, QL_MS_EMAIL);
  ClickItem(dialog, QL_MS_DESCRIPTION);
  Type("pressed Raise");
  ASSERT_TRUE(PumpUntil([&] { return ItemText(dialog, QL_MS_DESCRIPTION) == "pressed Raise"; }));
  RunHostCommand("/usr/bin/xdotool key Escape");
  ASSERT_TRUE(PumpUntil([&] { return !IsWindow(dialog); }, 15000));
  HWND request = nullptr;
  ASSERT_NE(request = velmora::test::WaitForReportDialog(program->Id(), "Request"), nullptr);
  EXPECT_EQ(ItemText(request, QL_REQ_EDIT), "pressed Raise");
  ClickItem(request, QL_REQ_OK);
  EXPECT_EQ(IniText("User", "Email"), "pupil@school.example");
  ASSERT_TRUE(PumpUntil([&] { return ReadText(log).find("pressed Raise") != std::string::npos; }, 20000));
  EXPECT_NE(ReadText(log).find(": pupil@school.example\r\n"), std::string::npos);

  // Cancelled, so nothing was sent: no result box of a failed send stands.
  ASSERT_NE(dialog = Raise(), nullptr);
  EXPECT_EQ(MessageBoxOf(program->Id(), nullptr), nullptr);
  label = RectOf(GetDlgItem(dialog, QL_MS_SEEDATA));
  Move(label.right + 14, (label.top + label.bottom) / 2);
  ClickAt(label.right + 15, (label.top + label.bottom) / 2);
  HWND detailed = nullptr;
  ASSERT_TRUE(PumpUntil(
      [&] {
        detailed = FindWindowOf(program->Id(), "Error occurred", false);
        return detailed && detailed != dialog && GetDlgItem(detailed, QL_DLG_TABS) &&
               IsWindowVisible(GetDlgItem(detailed, QL_DLG_TABS));
      },
      20000));
  // Placed where its stored coordinates put it (the check area below aside), or
  // maximised when it was left so.
  auto asStored = [](HWND w, const RECT& r) {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoA(MonitorFromWindow(w, MONITOR_DEFAULTTONEAREST), &monitor);
    const RECT& a = monitor.rcWork;
    const exclog::TPlacement p = exclog::ResolvePlacement(
        {IniText("Coordinates", "Width"), IniText("Coordinates", "Height"), IniText("Coordinates", "Left"),
         IniText("Coordinates", "Top"), IniText("Coordinates", "WindowsState")},
        {a.left, a.top, a.right - a.left, a.bottom - a.top}, 0);
    if (p.State == exclog::PlacementMaximised) return IsZoomed(w) != FALSE;
    return r.left == p.Left && r.right - r.left == p.Width;
  };
  ASSERT_TRUE(velmora::test::WaitUntilPlaced([&] { return detailed; }, asStored, 10000));
  ShotForReview("host-6-linked");
  // Not sent, so no failed send stands in the way of the end.
  ClickItem(detailed, QL_DLG_SEND);
  ASSERT_TRUE(PumpUntil([&] { return IsDlgButtonChecked(detailed, QL_DLG_SEND) == BST_UNCHECKED; }));
  ClickItem(detailed, QL_DLG_TERMINATE);
  ASSERT_NE(request = velmora::test::WaitForReportDialog(program->Id(), "Request"), nullptr);
  ClickItem(request, QL_REQ_OK);
  EXPECT_TRUE(program->Ended(30000));
  EXPECT_EQ(program->ExitCode(), 1u);
}

// Own look, top-most, Help without a handler, the support link and auto-close.
TEST_F(HostDialogs, OwnLookStaysOnTopOpensTheSupportPageAndClosesWhenIdle) {
  const std::string marker = "C:\\velmora-support-link.txt";
  DeleteFileA(marker.c_str());
  {
    std::ofstream bat("C:\\velmora-support-link.bat", std::ios::binary);
    bat << "@echo opened> \"" << marker << "\"\r\n";
  }
  Start(VELMORA_DIALOG_LOOK_EXE);
  HWND dialog = Raise();
  ASSERT_NE(dialog, nullptr);
  // Moved over all the while it stays open past its two idle seconds.
  const RECT r = RectOf(dialog);
  const DWORD start = GetTickCount();
  for (int step = 0; GetTickCount() - start < 3000; ++step) {
    Move((r.left + r.right) / 2 + step % 7, (r.top + r.bottom) / 2);
    velmora::test::PumpMessages();
  }
  ASSERT_TRUE(IsWindow(dialog));
  ShotForReview("host-7-own-look");
  // The gradient caption's first step, each colour in its state: bluish as the
  // dialog is shown in front, grey once a window of the test is active, bluish
  // again once the dialog is made foreground. The pointer keeps coming back over
  // the dialog, so it does not close as idle.
  const int fx = GetSystemMetrics(SM_CXFRAME) - 1, fy = GetSystemMetrics(SM_CYFRAME) - 1;
  const POINT step{r.left + fx + 2, r.top + fy + 1 + GetSystemMetrics(SM_CYSMCAPTION) / 2};
  int jiggle = 0;
  auto keepAwake = [&] { Move((r.left + r.right) / 2 + ++jiggle % 7, (r.top + r.bottom) / 2); };
  auto gradientIs = [&](COLORREF colour) {
    return PumpUntil([&] {
      keepAwake();
      return velmora::test::NearColour(XScreenPixel(step.x, step.y), colour);
    });
  };
  const COLORREF bluish = RGB(125, 149, 186), grey = RGB(145, 145, 145);
  EXPECT_TRUE(gradientIs(bluish)) << "shown in front";
  {
    TClickTarget other(0, 0, 40, 40);
    SetForegroundWindow(other.Window());
    EXPECT_TRUE(PumpUntil([&] {
      keepAwake();
      return GetForegroundWindow() == other.Window();
    })) << "the test's window did not become active";
    EXPECT_TRUE(gradientIs(grey)) << "another window is active";
  }
  SetForegroundWindow(dialog);
  EXPECT_TRUE(gradientIs(bluish)) << "made foreground again";
  // Top-most: a window of another program raised after it stays below it in the
  // window order. (The X server without a window manager stacks windows of
  // different programs as they were raised, so the screen is not asked.)
  EXPECT_TRUE(GetWindowLongA(dialog, GWL_EXSTYLE) & WS_EX_TOPMOST);
  HWND cover = CreateWindowExA(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, "STATIC", "", WS_POPUP, 0, 0, 20, 20, nullptr,
                               nullptr, GetModuleHandleA(nullptr), nullptr);
  SetWindowPos(cover, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
  EXPECT_TRUE(PumpUntil([&] {
    for (HWND w = GetWindow(dialog, GW_HWNDNEXT); w; w = GetWindow(w, GW_HWNDNEXT))
      if (w == cover) return true;
    return false;
  }));
  DestroyWindow(cover);
  // Help without a handler keeps it.
  ClickItem(dialog, QL_DLG_HELP);
  // The support link, right-aligned below the copy box, starts its target.
  const RECT copy = RectOf(GetDlgItem(dialog, QL_DLG_COPY));
  POINT client{};
  ClientToScreen(dialog, &client);
  RECT inner{};
  GetClientRect(dialog, &inner);
  ClickAt(client.x + inner.right - 12, copy.bottom + 6);
  EXPECT_TRUE(PumpUntil([&] { return GetFileAttributesA(marker.c_str()) != INVALID_FILE_ATTRIBUTES; }, 20000));
  EXPECT_TRUE(IsWindow(dialog));
  EXPECT_FALSE(GetWindowLongA(dialog, GWL_EXSTYLE) & WS_EX_TOPMOST);
  // Left alone it closes.
  EXPECT_TRUE(PumpUntil([&] { return !IsWindow(dialog); }, 20000));
  CloseNormally();
  DeleteFileA(marker.c_str());
}

// A click on the main window while the report's dialog is up leaves the dialog in
// front: it belongs to the window the user raised from.
TEST_F(HostDialogs, ClickOnTheMainWindowLeavesTheDialogInFront) {
  Start(VELMORA_EXE);
  HWND dialog = Raise();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(GetWindow(dialog, GW_OWNER), window);
  auto dialogAbove = [&] {
    for (HWND w = GetWindow(dialog, GW_HWNDNEXT); w; w = GetWindow(w, GW_HWNDNEXT))
      if (w == window) return true;
    return false;
  };
  ASSERT_TRUE(dialogAbove());
  // Where the dialog lies over the main window, and a spot of the main window beside it.
  RECT both{};
  const RECT main = RectOf(window), shown = RectOf(dialog);
  ASSERT_TRUE(IntersectRect(&both, &main, &shown));
  const POINT over{(both.left + both.right) / 2, (both.top + both.bottom) / 2};
  const std::optional<POINT> beside = velmora::test::UncoveredSpotOf(window);
  ASSERT_TRUE(beside);
  ClickAt(beside->x, beside->y);
  // Each thread has taken what the click brought (the X event comes before the
  // answer to a sent message).
  ASSERT_TRUE(velmora::test::SettleWindowThread(window));
  ASSERT_TRUE(velmora::test::SettleWindowThread(window));
  ASSERT_TRUE(velmora::test::SettleWindowThread(dialog));
  EXPECT_TRUE(dialogAbove());
  EXPECT_EQ(GetAncestor(WindowFromPoint(over), GA_ROOT), dialog);
  ClickItem(dialog, QL_DLG_OK);
  ASSERT_TRUE(PumpUntil([&] { return !IsWindow(dialog); }, 15000));
  CloseNormally();
}

// A program without the dialog templates shows its plain box with the message and
// goes on; with that box failing too: warning 1, the dialog failed, no request.
TEST(BareDialogProgram, PlainBoxInsteadOfTheDialogAndAFailureWhenThatFails) {
  const std::string exe = "\"" + velmora::test::HostPath(VELMORA_BARE_DIALOG_PROGRAM) + "\"";
  {
    velmora::test::TChildProcess program(exe, true);
    ASSERT_TRUE(program.Started());
    std::string text;
    HWND box = nullptr;
    ASSERT_TRUE(PumpUntil([&] { return (box = MessageBoxOf(program.Id(), &text)) != nullptr; }, 30000));
    EXPECT_EQ(velmora::test::TextOf(box), "Error occurred");
    EXPECT_EQ(text.rfind("Access violation", 0), 0u) << text;
    ClickItem(box, IDOK);
    EXPECT_EQ(program.Finish(30000), 0u);
    EXPECT_NE(program.Output().find("Request: wanted\n"), std::string::npos) << program.Output();
    EXPECT_NE(program.Output().find("Warning: 0 \n"), std::string::npos) << program.Output();
    EXPECT_NE(program.Output().find("Dialog: shown\n"), std::string::npos) << program.Output();
  }
  velmora::test::TChildProcess program(exe + " --failing-box", true);
  ASSERT_TRUE(program.Started());
  EXPECT_EQ(program.Finish(30000), 0u);
  EXPECT_NE(program.Output().find("Request: not wanted\n"), std::string::npos) << program.Output();
  EXPECT_NE(program.Output().find("Warning: 1 Cannot show the DialogBox window.\n"), std::string::npos)
      << program.Output();
  EXPECT_NE(program.Output().find("Dialog: failed\n"), std::string::npos) << program.Output();
}

}  // namespace
