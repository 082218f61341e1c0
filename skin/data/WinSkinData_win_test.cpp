// The skin component's Windows side: the program's own bitmaps as linked resources,
// the system objects each component owns, the run-time user32 bindings and the text
// routines of both system families.
#include "skin/data/WinSkinData_win.h"

#include <gtest/gtest.h>

#include "classlib/System.h"
#include "skin/data/SkinTestSkin.h"

namespace skin {
namespace {

HINSTANCE Self() { return GetModuleHandleA(nullptr); }

TEST(SkinBitmapResources, TrackGroovesAreLinkedIn) {
  // Drawn by resources/skin/draw_bitmaps.py: dark top row and left end, light
  // bottom row and right end, face colour 0xD6D6D6 between.
  TPixelBuffer track = LoadBitmapResourcePixels(Self(), "TRACK");
  ASSERT_EQ(track.Width, 16);
  ASSERT_EQ(track.Height, 4);
  EXPECT_EQ(track.At(0, 0), 0x808080u);
  EXPECT_EQ(track.At(7, 0), 0x808080u);
  EXPECT_EQ(track.At(0, 2), 0x808080u);
  EXPECT_EQ(track.At(7, 1), 0xD6D6D6u);
  EXPECT_EQ(track.At(7, 3), 0xFFFFFFu);
  EXPECT_EQ(track.At(15, 1), 0xFFFFFFu);
  // The drawing in code (used when the resource is missing) gives the same picture.
  EXPECT_EQ(track.Pixels, DrawTrackResource().Pixels);

  TPixelBuffer vert = LoadBitmapResourcePixels(Self(), "TRACKVERT");
  ASSERT_EQ(vert.Width, 4);
  ASSERT_EQ(vert.Height, 16);
  EXPECT_EQ(vert.At(0, 7), 0x808080u);
  EXPECT_EQ(vert.At(1, 7), 0xD6D6D6u);
  EXPECT_EQ(vert.At(3, 7), 0xFFFFFFu);
  EXPECT_EQ(vert.At(1, 15), 0xFFFFFFu);
  EXPECT_EQ(vert.Pixels, DrawTrackVertResource().Pixels);

  EXPECT_EQ(LoadBitmapResourcePixels(Self(), "NOSUCHBITMAP").Width, 0);
}

TEST(SkinBitmapResources, MenuGlyphsAreLinkedIn) {
  TPixelBuffer glyphs = LoadBitmapResourcePixels(Self(), "TARVELMENU");
  ASSERT_EQ(glyphs.Width, 64);
  ASSERT_EQ(glyphs.Height, 16);
  // The system menu's order: restore, maximise, minimise, close.
  EXPECT_EQ(glyphs.At(0, 0), 0xFFFFFFu);
  EXPECT_EQ(glyphs.At(6, 3), 0u);        // restore: the back box's top
  EXPECT_EQ(glyphs.At(4, 4), 0xFFFFFFu);
  EXPECT_EQ(glyphs.At(16 + 6, 5), 0u);   // maximise: the box's thick top
  EXPECT_EQ(glyphs.At(32 + 6, 11), 0u);  // minimise: a bar on rows 11 and 12
  EXPECT_EQ(glyphs.At(32 + 6, 10), 0xFFFFFFu);
  EXPECT_EQ(glyphs.At(48 + 4, 4), 0u);   // close: the cross's diagonals
  EXPECT_EQ(glyphs.At(48 + 11, 4), 0u);
  EXPECT_EQ(glyphs.At(48 + 8, 5), 0xFFFFFFu);
  EXPECT_EQ(glyphs.Pixels, DrawMenuGlyphResource().Pixels);
}

TEST(SkinBitmapResources, PlatformTakesTheLinkedGrooves) {
  TSkinPlatform p = SystemSkinPlatform(Self());
  EXPECT_EQ(p.TrackImage.Width, 16);
  EXPECT_EQ(p.TrackVertImage.Height, 16);
  EXPECT_EQ(p.SysColor(15), GetSysColor(COLOR_BTNFACE));
  // Wine's user32 has it: scroll bars stay skinnable.
  EXPECT_TRUE(p.HasGetScrollBarInfo);
  // A module without the bitmaps falls back to the drawing in code.
  TSkinPlatform bare = SystemSkinPlatform(GetModuleHandleA("kernel32.dll"));
  EXPECT_EQ(bare.TrackImage.Pixels, DrawTrackResource().Pixels);
}

TEST(SkinUser32Binding, MissingRoutinesAreSkipped) {
  // kernel32 exports none of the four: every wrapper reports failure, nothing runs.
  TSkinUser32 none = BindSkinUser32(GetModuleHandleA("kernel32.dll"));
  EXPECT_EQ(none.GetScrollBarInfo, nullptr);
  EXPECT_EQ(none.TrackMouseEvent, nullptr);
  EXPECT_EQ(none.GetComboBoxInfo, nullptr);
  EXPECT_EQ(none.DisableProcessWindowsGhosting, nullptr);
  SCROLLBARINFO sbi{};
  EXPECT_FALSE(SkinGetScrollBarInfo(nullptr, OBJID_VSCROLL, sbi, none));
  COMBOBOXINFO cbi{};
  EXPECT_FALSE(SkinGetComboBoxInfo(nullptr, cbi, none));
  EXPECT_FALSE(SkinTrackMouseLeave(nullptr, none));
  SkinDisableProcessWindowsGhosting(none);
  EXPECT_EQ(BindSkinUser32(nullptr).GetScrollBarInfo, nullptr);

  const TSkinUser32& user32 = SkinUser32();
  EXPECT_NE(user32.GetScrollBarInfo, nullptr);
  EXPECT_NE(user32.TrackMouseEvent, nullptr);
  EXPECT_NE(user32.GetComboBoxInfo, nullptr);
  // A bad window fails through the real routine, not a crash.
  EXPECT_FALSE(SkinGetComboBoxInfo(reinterpret_cast<HWND>(0x1234), cbi));
}

TEST(SkinText, AnsiCodePage) {
  EXPECT_EQ(AnsiToWide(""), L"");
  EXPECT_EQ(AnsiToWide("Velmora 5"), L"Velmora 5");
  EXPECT_EQ(WideToAnsi(L"Velmora 5"), "Velmora 5");
  if (GetACP() == 1252) {
    // Windows-1252: 0xE9 is U+00E9, 0x80 is the euro sign U+20AC.
    EXPECT_EQ(AnsiToWide("caf\xE9 \x80"), L"caf\u00E9 \u20AC");
    EXPECT_EQ(WideToAnsi(L"caf\u00E9 \u20AC"), "caf\xE9 \x80");
  }
}

TEST(SkinText, BothFamiliesMeasureAlike) {
  HDC dc = CreateCompatibleDC(nullptr);
  ASSERT_NE(dc, nullptr);
  RECT wide{0, 0, 400, 0}, ansi{0, 0, 400, 0};
  const int hw = SkinDrawText(dc, L"Caption text", wide, DT_CALCRECT | DT_SINGLELINE, true);
  const int ha = SkinDrawText(dc, L"Caption text", ansi, DT_CALCRECT | DT_SINGLELINE, false);
  EXPECT_GT(hw, 0);
  EXPECT_EQ(hw, ha);
  EXPECT_EQ(wide.right, ansi.right);
  EXPECT_GT(wide.right, 0);
  RECT none{0, 0, 400, 0};
  EXPECT_EQ(SkinDrawText(dc, L"", none, DT_CALCRECT | DT_SINGLELINE, false),
            SkinDrawText(dc, L"", none, DT_CALCRECT | DT_SINGLELINE, true));
  DeleteDC(dc);
}

class SkinDataWinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitUnits();
    StartSkinDataWin(Self());
  }
  void TearDown() override {
    SetSkinDataSystemFactory(nullptr);
    SetSkinPlatform(TSkinPlatform{});
    FinalizeUnits();
  }
};

COLORREF BrushColour(HBRUSH brush) {
  LOGBRUSH lb{};
  GetObjectA(brush, sizeof lb, &lb);
  return lb.lbColor;
}

TEST_F(SkinDataWinTest, EachComponentOwnsItsSystemObjects) {
  TSkinData data;
  TSkinDataWin* win = SkinDataWin(data);
  ASSERT_NE(win, nullptr);
  EXPECT_EQ(GetClass("TSkinData"), TSkinData::StaticClass());
  EXPECT_EQ(win->MenuGlyphs().Count(), 4);
  EXPECT_EQ(win->MaximizedWidth(), GetSystemMetrics(SM_CXMAXIMIZED));
  EXPECT_GT(win->MaximizedHeight(), 0);
  EXPECT_EQ(BrushColour(win->BackgroundBrush()), GetSysColor(COLOR_BTNFACE));
  EXPECT_EQ(win->CaptionFont(), nullptr);

  // The coded test skin's ButtonFace "203 30 192".
  data.SetSkinStreamBytes(skintest::TestSkinContainer());
  ASSERT_TRUE(data.LoadSkin());
  EXPECT_EQ(BrushColour(win->BackgroundBrush()), RGB(203, 30, 192));

  data.Loaded();
  ASSERT_NE(win->CaptionFont(), nullptr);
  NONCLIENTMETRICSA metrics{};
  metrics.cbSize = offsetof(NONCLIENTMETRICSA, lfMessageFont) + sizeof(LOGFONTA);
  ASSERT_TRUE(SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0));
  EXPECT_EQ(win->CaptionFont()->Name(), metrics.lfCaptionFont.lfFaceName);

  // The application icon: small-icon size, magenta where the icon is transparent,
  // the icon's own pixels elsewhere.
  TBitmap& icon = win->ApplicationIcon();
  ASSERT_EQ(icon.Width(), GetSystemMetrics(SM_CXSMICON));
  ASSERT_EQ(icon.Height(), GetSystemMetrics(SM_CYSMICON));
  EXPECT_TRUE(icon.GetTransparent());
  TPixelBuffer px = icon.ToPixelBuffer();
  int magenta = 0;
  for (uint32_t p : px.Pixels) magenta += (p & 0xFFFFFF) == 0xFF00FF;
  EXPECT_GT(magenta, 0);
  EXPECT_LT(magenta, static_cast<int>(px.Pixels.size()));
}

}  // namespace
}  // namespace skin
