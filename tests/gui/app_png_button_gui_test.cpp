// Velmora's PNG bit button as another process sees it on the screen: skinned with
// the default skin, its glyph drawn at its own size and blended by its alpha (the
// plain system button draws no glyph at all).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/gui/AppWindows_win.h"
#include "tests/support/ChildProcess_win.h"
#include "tests/support/GuiProbe_win.h"
#include "tests/support/ScreenArea_win.h"
#include "tests/support/TestPaths.h"

namespace {

constexpr COLORREF kGreen = RGB(0x12, 0xB4, 0x5A);  // the layout's glyph: opaque centre
constexpr COLORREF kRed = RGB(255, 0, 0);           // its fully transparent ring

BOOL CALLBACK FindPngButton(HWND w, LPARAM param) {
  char c[32] = {};
  GetClassNameA(w, c, sizeof c);
  if (lstrcmpA(c, "TPngBitBtn") != 0) return TRUE;
  *reinterpret_cast<HWND*>(param) = w;
  return FALSE;
}

TEST(HostPngButton, GlyphIsBlendedOverTheSkinnedFace) {
  velmora::test::TChildProcess program("\"" + velmora::test::HostPath(VELMORA_EXE) + "\"");
  ASSERT_TRUE(program.Started());
  HWND mainWindow = nullptr, button = nullptr;
  ASSERT_TRUE(velmora::test::PumpUntil([&] { return (mainWindow = velmora::test::FindMainWindowOf(program.Id())); },
                                       20000));
  ASSERT_TRUE(velmora::test::PumpUntil([&] {
    EnumChildWindows(mainWindow, FindPngButton, reinterpret_cast<LPARAM>(&button));
    return button && velmora::test::AnswersSkinned(button);
  }, 20000));
  RECT r{};
  GetWindowRect(button, &r);
  velmora::test::TScreenArea shot(r);
  RECT box{};
  // The green centre, found at the glyph's own size: 8 x 8.
  ASSERT_TRUE(velmora::test::PumpUntil([&] {
    shot = velmora::test::TScreenArea(r);
    box = shot.Box(kGreen);
    return box.right - box.left == 8 && box.bottom - box.top == 8;
  }, 20000));
  EXPECT_EQ(shot.Count(kRed), 0);  // transparent pixels draw nothing
  // The half-blue ring left of the centre over the face that the clear ring shows.
  auto at = [&](int x, int y) { return shot.At(x, y); };
  const int y = box.top + 4;
  const COLORREF under = at(box.left - 3, y);
  const COLORREF ring = at(box.left - 1, y);
  // The clear ring shows the face as it is beside the image (a drawn ring would not).
  const COLORREF beside = at(box.left - 5, y);
  EXPECT_NEAR(GetRValue(under), GetRValue(beside), 4);
  EXPECT_NEAR(GetGValue(under), GetGValue(beside), 4);
  EXPECT_NEAR(GetBValue(under), GetBValue(beside), 4);
  EXPECT_NEAR(GetRValue(ring), GetRValue(under) * 127 / 255, 3);
  EXPECT_NEAR(GetGValue(ring), GetGValue(under) * 127 / 255, 3);
  EXPECT_NEAR(GetBValue(ring), GetBValue(under) * 127 / 255 + 128, 3);

  PostMessageA(mainWindow, WM_CLOSE, 0, 0);
  EXPECT_TRUE(program.Ended(10000));
}

}  // namespace
