// The host program runs as a single instance with its main window.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/HostStart_win.h"
#include "exclog/core/EOptions.h"
#include "skin/container/SkinMessage.h"
#include "skin/data/WinSkinData.h"
#include "tests/gui/AppWindows_win.h"
#include "tests/support/Addr2Line_win.h"
#include "tests/support/ChildProcess_win.h"
#include "tests/support/GuiProbe_win.h"
#include "tests/support/TestPaths.h"

namespace {

using velmora::test::FindMainWindowOf;
using velmora::test::FindOpenMenuOf;

TEST(HostProgram, SecondInstanceEndsAtOnceWhileTheFirstRuns) {
  const std::string exe = "\"" + velmora::test::HostPath(VELMORA_EXE) + "\"";
  velmora::test::TChildProcess first(exe);
  ASSERT_TRUE(first.Started());
  HWND mainWindow = nullptr;
  ASSERT_TRUE(velmora::test::PumpUntil([&] { return (mainWindow = FindMainWindowOf(first.Id())); }, 20000));

  RECT r;
  GetWindowRect(mainWindow, &r);
  EXPECT_EQ(r.right - r.left, 1024);
  EXPECT_EQ(r.bottom - r.top, 600);

  velmora::test::TChildProcess second(exe);
  ASSERT_TRUE(second.Started());
  EXPECT_TRUE(second.Ended(10000));
  EXPECT_EQ(second.ExitCode(), 0u);
  EXPECT_EQ(FindMainWindowOf(second.Id()), nullptr);
  EXPECT_FALSE(first.Ended(0));

  // Closing the main window ends the program and releases the instance mutex.
  PostMessageA(mainWindow, WM_CLOSE, 0, 0);
  EXPECT_TRUE(first.Ended(10000));
  EXPECT_EQ(first.ExitCode(), 0u);
  HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, "velmora");
  EXPECT_EQ(mutex, nullptr);
  if (mutex) CloseHandle(mutex);
}

// The value a line "Name=value" of the program's logger-data settings gives.
std::string StoredSetting(const std::string& name) {
  std::ifstream settings(VELMORA_SOURCE_DIR "/tools/qldata/Velmora.qlsettings");
  for (std::string line; std::getline(settings, line);)
    if (line.rfind(name + "=", 0) == 0) return line.substr(name.size() + 1);
  return "";
}

// The logger's start loads the options stored in the program's logger data and
// announces them: their stream is published in the block named by the process id
// and the program's module handle, where another process can read it.
TEST(HostProgram, LoggerStartsWithTheStoredOptionsAndAnnouncesThem) {
  const std::string exe = velmora::test::HostPath(VELMORA_EXE);
  std::string subject = StoredSetting("MailSubject");
  ASSERT_FALSE(subject.empty());
  ASSERT_NE(subject, exclog::TQuelbaModuleOptions().MailSubject());  // not the default
  velmora::test::TChildProcess program("\"" + exe + "\"");
  ASSERT_TRUE(program.Started());
  ASSERT_TRUE(velmora::test::PumpUntil([&] { return FindMainWindowOf(program.Id()) != nullptr; }, 20000));
  char name[20];
  std::snprintf(name, sizeof name, "%.8lX%.8X", program.Id(), velmora::test::FileImageBase(exe));
  HANDLE mapping = OpenFileMappingA(FILE_MAP_READ, FALSE, name);
  ASSERT_NE(mapping, nullptr) << name;
  auto* view = static_cast<const uint8_t*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
  ASSERT_NE(view, nullptr);
  MEMORY_BASIC_INFORMATION region{};
  VirtualQuery(view, &region, sizeof region);
  uint32_t size = *reinterpret_cast<const uint32_t*>(view);
  ASSERT_GT(size, 1u);
  ASSERT_LE(size + 4, region.RegionSize);
  EXPECT_EQ(view[4], 1);
  exclog::TQuelbaModuleOptions published;
  published.LoadFromBytes(view + 5, size - 1);
  EXPECT_EQ(published.MailSubject(), subject);
  UnmapViewOfFile(view);
  CloseHandle(mapping);
  PostMessageA(FindMainWindowOf(program.Id()), WM_CLOSE, 0, 0);
  EXPECT_TRUE(program.Ended(10000));
}

// One pixel of a bitmap of the default skin as the generator drew it, read by PIL.
COLORREF DefaultSkinPixel(const std::string& file, int x, int y) {
  const std::string command =
      "/usr/bin/python3 -c 'import sys; from PIL import Image; "
      "print(*Image.open(sys.argv[1]).convert(sys.argv[2]).getpixel((int(sys.argv[3]), int(sys.argv[4]))))' '" +
      std::string(VELMORA_DEFAULT_SKIN_DIR) + "/" + file + "' RGB " + std::to_string(x) + " " + std::to_string(y);
  int r = -1, g = -1, b = -1;
  std::sscanf(velmora::test::RunHostCommand(command).value_or("").c_str(), "%d %d %d", &r, &g, &b);
  return r < 0 || g < 0 || b < 0 ? CLR_INVALID : RGB(r, g, b);
}

using velmora::test::AnswersSkinned;
using velmora::test::NearColour;

TEST(HostProgram, SkinnedWindowAndSystemMenu) {
  const COLORREF defaultFace = RGB(240, 240, 240);  // the default skin's ButtonFace
  ASSERT_NE(GetSysColor(COLOR_BTNFACE), defaultFace);
  velmora::test::TChildProcess program("\"" + velmora::test::HostPath(VELMORA_EXE) + "\"");
  ASSERT_TRUE(program.Started());
  HWND mainWindow = nullptr;
  ASSERT_TRUE(velmora::test::PumpUntil([&] { return (mainWindow = FindMainWindowOf(program.Id())); }, 20000));
  ASSERT_TRUE(velmora::test::PumpUntil([&] { return AnswersSkinned(mainWindow); }, 20000));
  ASSERT_TRUE(velmora::test::PumpUntil([&] { return velmora::test::FrameActivated(mainWindow); }, 20000));
  RECT client{};
  GetClientRect(mainWindow, &client);
  POINT p{client.right - 100, client.bottom * 3 / 4};  // clear of the controls
  ClientToScreen(mainWindow, &p);
  EXPECT_TRUE(velmora::test::PumpUntil([&] { return NearColour(velmora::test::XScreenPixel(p.x, p.y), defaultFace); }));

  // Alt+Space opens the system menu: a skinned popup the X screen shows.
  SetForegroundWindow(mainWindow);
  HWND menu = nullptr;
  DWORD sent = 0;
  ASSERT_TRUE(velmora::test::PumpUntil([&] {
    if ((menu = FindOpenMenuOf(program.Id()))) return true;
    if (!sent || GetTickCount() - sent > 3000) {  // keys again only if the first went astray
      velmora::test::RunHostCommand("/usr/bin/xdotool key alt+space");
      sent = GetTickCount();
    }
    return false;
  }, 20000));
  EXPECT_TRUE(AnswersSkinned(menu));
  // The menu's frame on the X screen is the default skin's menu background.
  const COLORREF menuBg = DefaultSkinPixel("menubg.bmp", 0, 0);
  ASSERT_NE(menuBg, CLR_INVALID);
  RECT r{};
  GetWindowRect(menu, &r);
  std::optional<COLORREF> top, left;
  EXPECT_TRUE(velmora::test::PumpUntil([&] {
    top = velmora::test::XScreenPixel((r.left + r.right) / 2, r.top);
    left = velmora::test::XScreenPixel(r.left, (r.top + r.bottom) / 2);
    return NearColour(top, menuBg) && NearColour(left, menuBg);
  })) << std::hex << menuBg << " " << top.value_or(CLR_INVALID) << " " << left.value_or(CLR_INVALID);
  velmora::test::RunHostCommand("/usr/bin/xdotool key Escape");
  EXPECT_TRUE(velmora::test::PumpUntil([&] { return FindOpenMenuOf(program.Id()) == nullptr; }, 10000));
  // The first Escape leaves the menu bar selected, the second leaves menu mode.
  velmora::test::RunHostCommand("/usr/bin/xdotool key Escape");

  PostMessageA(mainWindow, WM_CLOSE, 0, 0);
  EXPECT_TRUE(program.Ended(10000));
  EXPECT_EQ(program.ExitCode(), 0u);
}

// The child window (any depth) of class `cls` with text `text`.
struct TChildSearch {
  const char* cls;
  const char* text;
  HWND found;
};
BOOL CALLBACK MatchChild(HWND w, LPARAM param) {
  auto* s = reinterpret_cast<TChildSearch*>(param);
  char c[32] = {}, t[64] = {};
  GetClassNameA(w, c, sizeof c);
  GetWindowTextA(w, t, sizeof t);
  if (lstrcmpA(c, s->cls) != 0 || lstrcmpA(t, s->text) != 0) return TRUE;
  s->found = w;
  return FALSE;
}
HWND FindChild(HWND parent, const char* cls, const char* text) {
  TChildSearch search{cls, text, nullptr};
  EnumChildWindows(parent, MatchChild, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// A visible scroll-bar overlay lying inside `Within`.
struct TOverlaySearch {
  RECT Within{}, Found{};
  bool Seen = false;
};
BOOL CALLBACK FindOverlay(HWND w, LPARAM p) {
  auto* s = reinterpret_cast<TOverlaySearch*>(p);
  char cls[32] = {};
  GetClassNameA(w, cls, sizeof cls);
  RECT r{}, both{};
  GetWindowRect(w, &r);
  if (lstrcmpA(cls, "TWScrollbar") != 0 || !IsWindowVisible(w) || !IntersectRect(&both, &r, &s->Within) ||
      !EqualRect(&both, &r))
    return TRUE;
  s->Found = r;
  s->Seen = true;
  return FALSE;
}

COLORREF ColourOf(uint32_t pixel) { return RGB(PixelRed(pixel), PixelGreen(pixel), PixelBlue(pixel)); }

// A pixel of frame `k` (from 1, of `count` side by side) inside `area` of a frame
// that frame 1 does not have there and that is not transparent.
std::optional<POINT> Telling(const TPixelBuffer& image, int count, int k, RECT area) {
  const int w = image.Width / count;
  for (int y = area.top; y < area.bottom; y++)
    for (int x = area.left; x < area.right; x++) {
      const uint32_t p = image.At((k - 1) * w + x, y) & 0xFFFFFF;
      if (p != 0xFF00FF && p != (image.At(x, y) & 0xFFFFFF)) return POINT{x, y};
    }
  return std::nullopt;
}

// Button1 (the default button: face frame 5) and CheckBox2's mark (checked: frame 5
// of the 12-frame strip) show on the X screen the default skin's pixels that tell
// those frames from the resting ones; so does ListBox1's scroll-bar overlay.
TEST(HostProgram, ButtonsSheetShowsTheDefaultSkin) {
  const std::string file = velmora::test::ReadFileBytes(velmora::test::HostPath(VELMORA_DEFAULT_SKIN));
  ASSERT_FALSE(file.empty());
  skin::TSkinData data;
  data.ReadSkinStream(skin::EncodeSkinStream(std::vector<uint8_t>(file.begin(), file.end())));
  const skin::TDataSkinButton& b = *data.Buttons();
  ASSERT_GT(b.Frame, 4);
  ASSERT_EQ(b.CheckButtonFrame, 12);
  // The top-left corner of the face is copied unstretched; the mark is drawn 1:1.
  const std::optional<POINT> face = Telling(b.Bitmap, b.Frame, 5, {0, 0, b.Margins().Left, b.Margins().Top});
  const std::optional<POINT> mark = Telling(b.CheckButton, 12, 5, {0, 0, b.CheckButton.Width / 12, b.CheckButton.Height});
  ASSERT_TRUE(face && mark);

  velmora::test::TChildProcess program("\"" + velmora::test::HostPath(VELMORA_EXE) + "\"");
  ASSERT_TRUE(program.Started());
  HWND mainWindow = nullptr, button = nullptr, box = nullptr;
  ASSERT_TRUE(velmora::test::PumpUntil([&] { return (mainWindow = FindMainWindowOf(program.Id())); }, 20000));
  ASSERT_TRUE(velmora::test::PumpUntil([&] {
    return (button = FindChild(mainWindow, "TButton", "Button")) && (box = FindChild(mainWindow, "TCheckBox", "Checked"));
  }, 20000));
  ASSERT_TRUE(velmora::test::PumpUntil([&] { return AnswersSkinned(button) && AnswersSkinned(box); }, 20000));
  auto shows = [&](int x, int y, uint32_t pixel) {
    return velmora::test::PumpUntil([&] { return NearColour(velmora::test::XScreenPixel(x, y), ColourOf(pixel)); },
                                    10000);
  };
  RECT r{};
  GetWindowRect(button, &r);
  EXPECT_TRUE(shows(r.left + face->x, r.top + face->y, b.Bitmap.At(4 * (b.Bitmap.Width / b.Frame) + face->x, face->y)));
  GetWindowRect(box, &r);
  const int markTop = (r.bottom - r.top - b.CheckButton.Height) / 2;
  EXPECT_TRUE(shows(r.left + mark->x, r.top + markTop + mark->y,
                    b.CheckButton.At(4 * (b.CheckButton.Width / 12) + mark->x, mark->y)));

  // ListBox1 needs its scroll bar: an overlay (a visible "TWScrollbar" window over
  // the list) shows the skin's up arrow, the "Scrollbar" strip's frame 9.
  HWND list = FindChild(mainWindow, "TListBox", "");
  ASSERT_TRUE(list);
  TOverlaySearch search;
  GetWindowRect(list, &search.Within);
  ASSERT_TRUE(velmora::test::PumpUntil([&] {
    EnumChildWindows(mainWindow, FindOverlay, reinterpret_cast<LPARAM>(&search));
    return search.Seen;
  }, 10000));
  const auto& strip = data.Skin().Scrollbar;
  ASSERT_TRUE(strip && strip->Bitmap.Width >= 23);
  const int cell = strip->Bitmap.Width / 23;
  const int across = search.Found.right - search.Found.left;
  const std::optional<POINT> glyph = Telling(strip->Bitmap, 23, 9, {0, 0, cell, strip->Bitmap.Height});
  ASSERT_TRUE(glyph);
  // The glyph is stretched to the arrow's size: its telling colour lies somewhere in
  // the arrow's square on the X screen.
  const COLORREF telling = ColourOf(strip->Bitmap.At(8 * cell + glyph->x, glyph->y));
  EXPECT_TRUE(velmora::test::PumpUntil([&] {
    const std::optional<std::string> text = velmora::test::RunHostCommand(
        "/usr/bin/import -silent -window root -crop " + std::to_string(across) + "x" + std::to_string(across) + "+" +
        std::to_string(search.Found.left) + "+" + std::to_string(search.Found.top) + " -depth 8 txt:-");
    for (size_t at = text ? text->find('#') : std::string::npos; at != std::string::npos; at = text->find('#', at + 1)) {
      unsigned r, g, b;
      if (std::sscanf(text->c_str() + at + 1, "%2x%2x%2x", &r, &g, &b) == 3 &&
          NearColour(RGB(r, g, b), telling))
        return true;
    }
    return false;
  }, 10000));

  PostMessageA(mainWindow, WM_CLOSE, 0, 0);
  EXPECT_TRUE(program.Ended(10000));
}

// A message box of this process, found by a watcher thread while the main thread
// sits in the box's modal loop; its text is kept and the box closed.
struct TMessageBoxWatch {
  std::atomic<bool> stop{false};
  std::string text;
  bool seen = false;

  static BOOL CALLBACK Match(HWND window, LPARAM param) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char cls[32] = {};
    GetClassNameA(window, cls, sizeof cls);
    if (owner != GetCurrentProcessId() || lstrcmpA(cls, "#32770") != 0 || !IsWindowVisible(window))
      return TRUE;
    *reinterpret_cast<HWND*>(param) = window;
    return FALSE;
  }
  void Run() {
    for (DWORD waited = 0; waited < 10000 && !stop; waited += 50) {
      HWND box = nullptr;
      EnumWindows(Match, reinterpret_cast<LPARAM>(&box));
      if (box) {
        char buffer[256] = {};
        GetDlgItemTextA(box, 0xFFFF, buffer, sizeof buffer);  // the box's text control
        text = buffer;
        seen = true;
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        return;
      }
      Sleep(50);
    }
  }
};

// The program's start-up installs the skin engine's message box: an older skin set
// through SkinFile tells the user so instead of failing silently.
TEST(HostProgram, StartUpShowsTheOlderSkinMessageInABox) {
  StartHostServices(GetModuleHandleA(nullptr));
  skin::TSkinData data;
  TMessageBoxWatch watch;
  std::thread watcher([&] { watch.Run(); });
  data.SetSkinFile(velmora::test::SourcePath("tests/data/skin/java-v10000-crlf.skn"));
  watch.stop = true;
  watcher.join();
  skin::SetSkinMessageProc(nullptr);
  EXPECT_TRUE(data.NotLoaded());
  ASSERT_TRUE(watch.seen) << "no message box";
  // The box shows the carriage return as a line break (or drops it).
  EXPECT_NE(watch.text.find("This is Older Skin File"), std::string::npos) << watch.text;
  EXPECT_NE(watch.text.find("Please update to new version !"), std::string::npos) << watch.text;
}

}  // namespace
