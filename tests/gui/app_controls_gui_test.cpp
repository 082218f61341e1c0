// The host program's input and range controls, tabs and status bar painted from its
// default skin, as another process sees them on the screen.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "skin/container/SkinMessage.h"
#include "skin/data/WinSkinData.h"
#include "tests/gui/AppWindows_win.h"
#include "tests/support/ChildProcess_win.h"
#include "tests/support/GuiProbe_win.h"
#include "tests/support/TestPaths.h"

namespace {

using velmora::test::FindMainWindowOf;

struct TClassSearch {
  const char* Class;
  HWND Found;
};
BOOL CALLBACK MatchClass(HWND w, LPARAM param) {
  auto* s = reinterpret_cast<TClassSearch*>(param);
  char c[32] = {};
  GetClassNameA(w, c, sizeof c);
  if (lstrcmpA(c, s->Class) != 0) return TRUE;
  s->Found = w;
  return FALSE;
}
// The first child window (any depth) of class `cls`.
HWND FindChildOfClass(HWND parent, const char* cls) {
  TClassSearch search{cls, nullptr};
  EnumChildWindows(parent, MatchClass, reinterpret_cast<LPARAM>(&search));
  return search.Found;
}

COLORREF ColourOf(uint32_t pixel) { return RGB(PixelRed(pixel), PixelGreen(pixel), PixelBlue(pixel)); }

// The colours of frame `k` (of `count` side by side) inside `area` of a frame that
// frame `other` never shows (0: no frame left out), that no system colour is, and
// that are not magenta: finding one on the screen tells that frame k was drawn there.
std::set<COLORREF> TellingColours(const TPixelBuffer& image, int count, int k, int other, RECT area) {
  const int w = image.Width / count;
  std::set<COLORREF> others, telling;
  for (int y = 0; y < image.Height && other > 0; y++)
    for (int x = 0; x < w; x++) others.insert(ColourOf(image.At((other - 1) * w + x, y)));
  for (int i = 0; i <= COLOR_MENUBAR; i++) others.insert(GetSysColor(i));
  others.insert(RGB(255, 0, 255));
  for (int y = std::max<LONG>(area.top, 0); y < std::min<LONG>(area.bottom, image.Height); y++)
    for (int x = std::max<LONG>(area.left, 0); x < std::min<LONG>(area.right, w); x++) {
      const COLORREF c = ColourOf(image.At((k - 1) * w + x, y));
      if (!others.count(c)) telling.insert(c);
    }
  return telling;
}

// Whether any pixel of `screenRect` shows one of `colours` (polled).
bool RegionShows(const RECT& screenRect, const std::set<COLORREF>& colours) {
  if (colours.empty()) return false;
  const int w = screenRect.right - screenRect.left, h = screenRect.bottom - screenRect.top;
  return velmora::test::PumpUntil([&] {
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, w, h, screen, screenRect.left, screenRect.top, SRCCOPY);
    bool found = false;
    for (int y = 0; y < h && !found; y++)
      for (int x = 0; x < w && !found; x++) found = colours.count(GetPixel(memory, x, y) & 0xFFFFFF) != 0;
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return found;
  }, 10000);
}

// The current tab, the combo's button, the progress fill and a status-bar panel of
// Velmora.exe show pixels only their skinned frames have.
TEST(HostControls, TabComboProgressAndStatusBarShowTheDefaultSkin) {
  const std::string file = velmora::test::ReadFileBytes(velmora::test::HostPath(VELMORA_DEFAULT_SKIN));
  ASSERT_FALSE(file.empty());
  skin::TSkinData data;
  data.ReadSkinStream(skin::EncodeSkinStream(std::vector<uint8_t>(file.begin(), file.end())));
  const skin::TSkinModel& m = data.Skin();
  ASSERT_TRUE(m.Tabs && m.Progress && m.StatusBarEdges && m.ComboButton);
  const int tabW = m.Tabs->Bitmap.Width / m.Tabs->Frame;
  const std::set<COLORREF> tab = TellingColours(m.Tabs->Bitmap, m.Tabs->Frame, 2, 1, {0, 0, tabW, m.Tabs->Bitmap.Height});
  const std::set<COLORREF> fill = TellingColours(m.Progress->Bitmap, 2, 2, 1, {0, 0, 1000, 1000});
  const std::set<COLORREF> panel = TellingColours(m.StatusBarEdges->Bitmap, 3, 1, 0, {0, 0, 1000, 1000});
  // The combo rests in frame 1 or, focused, 4: its button part, the strip's right end.
  const int comboW = m.ComboButton->Bitmap.Width / std::max(m.ComboButton->Frame, 1);
  std::set<COLORREF> button = TellingColours(m.ComboButton->Bitmap, m.ComboButton->Frame, 1, 3,
                                             {comboW - 18, 3, comboW - 2, m.ComboButton->Bitmap.Height - 3});
  for (COLORREF c : TellingColours(m.ComboButton->Bitmap, m.ComboButton->Frame, 4, 3,
                                   {comboW - 18, 3, comboW - 2, m.ComboButton->Bitmap.Height - 3}))
    button.insert(c);
  ASSERT_FALSE(tab.empty() || fill.empty() || panel.empty() || button.empty())
      << tab.size() << " " << fill.size() << " " << panel.size() << " " << button.size();

  velmora::test::TChildProcess program("\"" + velmora::test::HostPath(VELMORA_EXE) + "\"");
  ASSERT_TRUE(program.Started());
  HWND mainWindow = nullptr, pages = nullptr, combo = nullptr, progress = nullptr, status = nullptr;
  ASSERT_TRUE(velmora::test::PumpUntil([&] { return (mainWindow = FindMainWindowOf(program.Id())); }, 20000));
  ASSERT_TRUE(velmora::test::PumpUntil([&] {
    return (pages = FindChildOfClass(mainWindow, "TPageControl")) && (combo = FindChildOfClass(mainWindow, "TComboBox")) &&
           (progress = FindChildOfClass(mainWindow, "TProgressBar")) &&
           (status = FindChildOfClass(mainWindow, "TStatusBar"));
  }, 20000));
  ASSERT_TRUE(velmora::test::PumpUntil([&] {
    return velmora::test::AnswersSkinned(pages) && velmora::test::AnswersSkinned(combo) &&
           velmora::test::AnswersSkinned(progress) && velmora::test::AnswersSkinned(status);
  }, 20000));
  RECT r{};
  GetWindowRect(pages, &r);
  EXPECT_TRUE(RegionShows({r.left, r.top, r.left + 100, r.top + 24}, tab));  // the first tab, current
  GetWindowRect(combo, &r);
  EXPECT_TRUE(RegionShows({r.right - 20, r.top + 2, r.right - 2, r.bottom - 2}, button));
  GetWindowRect(progress, &r);
  EXPECT_TRUE(RegionShows({r.left, r.top, r.left + (r.right - r.left) / 2, r.bottom}, fill));
  GetWindowRect(status, &r);
  EXPECT_TRUE(RegionShows({r.left, r.top, r.left + 150, r.bottom}, panel));

  PostMessageA(mainWindow, WM_CLOSE, 0, 0);
  EXPECT_TRUE(program.Ended(10000));
}

}  // namespace
