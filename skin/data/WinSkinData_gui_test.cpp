// Windows of the skin component: the parent's background painted under a control,
// the caption-button hint, and the host program's Form1 loading its skin from the
// layout the build links into it.
#include "skin/data/WinSkinData_win.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "classlib/ControlClasses.h"
#include "classlib/Forms_win.h"
#include "classlib/Layout.h"
#include "skin/container/SkinDraw_win.h"
#include "skin/data/SkinTestSkin.h"
#include "tests/support/FormsSession_win.h"
#include "tests/support/GuiProbe_win.h"
#include "tests/support/HostForm1StandIn_win.h"
#include "tests/support/TestPaths.h"

using velmora::test::PumpMessages;
using velmora::test::PumpUntil;

namespace skin {
namespace {

void StartForms() { skintest::StartSkinForms(); }

// A parent that erases to green and paints red left of x = 60, blue right of it,
// on rows above y = 40 only (so the erase shows below). Counts both messages.
int eraseCount = 0, paintCount = 0;
LRESULT CALLBACK ParentProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto fill = [](HDC dc, int l, int t, int r, int b, COLORREF c) {
    RECT rect{l, t, r, b};
    HBRUSH brush = CreateSolidBrush(c);
    FillRect(dc, &rect, brush);
    DeleteObject(brush);
  };
  switch (msg) {
    case WM_ERASEBKGND:
      ++eraseCount;
      fill(reinterpret_cast<HDC>(wParam), 0, 0, 200, 200, RGB(0, 255, 0));
      return 1;
    case WM_PAINT: {
      ++paintCount;
      PAINTSTRUCT ps{};
      HDC dc = wParam ? reinterpret_cast<HDC>(wParam) : BeginPaint(window, &ps);
      fill(dc, 0, 0, 60, 40, RGB(255, 0, 0));
      fill(dc, 60, 0, 200, 40, RGB(0, 0, 255));
      if (!wParam) EndPaint(window, &ps);
      return 0;
    }
    default:
      return DefWindowProcA(window, msg, wParam, lParam);
  }
}

class ParentBackground : public ::testing::Test {
 protected:
  void SetUp() override {
    WNDCLASSA wc{};
    wc.lpfnWndProc = ParentProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "SkinBgParent";
    RegisterClassA(&wc);
    parent = CreateWindowExA(0, "SkinBgParent", "", WS_POPUP, 100, 100, 200, 200, nullptr, nullptr,
                             wc.hInstance, nullptr);
    ASSERT_NE(parent, nullptr);
    // The control straddles both painted halves and the erased band below y = 40.
    child = CreateWindowExA(0, "STATIC", "", WS_CHILD, 50, 20, 40, 30, parent, nullptr, wc.hInstance,
                            nullptr);
    ASSERT_NE(child, nullptr);
    eraseCount = paintCount = 0;
  }
  void TearDown() override { DestroyWindow(parent); }
  HWND parent = nullptr, child = nullptr;
};

TEST_F(ParentBackground, PaintsWhatLiesUnderTheControlOnly) {
  TSkinDib dib(60, 50);
  for (int i = 0; i < 60 * 50; ++i) dib.Pixels()[i] = 0xFFFFFF;
  TSelectedDC dc(dib.Handle());
  PaintParentBackground(child, dc.Handle());
  GdiFlush();
  EXPECT_EQ(eraseCount, 1);
  EXPECT_EQ(paintCount, 1);
  auto at = [&](int x, int y) { return dib.Pixels()[y * 60 + x] & 0xFFFFFF; };
  // Parent (50..89, 20..49) lands on (0..39, 0..29): red up to parent x 60, then blue,
  // green from parent y 40.
  EXPECT_EQ(at(0, 0), 0xFF0000u);
  EXPECT_EQ(at(9, 19), 0xFF0000u);
  EXPECT_EQ(at(10, 0), 0x0000FFu);
  EXPECT_EQ(at(39, 19), 0x0000FFu);
  EXPECT_EQ(at(5, 20), 0x00FF00u);
  EXPECT_EQ(at(39, 29), 0x00FF00u);
  // Clipped to the control: the rest of the bitmap is untouched.
  EXPECT_EQ(at(40, 0), 0xFFFFFFu);
  EXPECT_EQ(at(0, 30), 0xFFFFFFu);
  EXPECT_EQ(at(59, 49), 0xFFFFFFu);
  // The DC comes back as it was: origin and clipping restored.
  POINT origin{};
  GetViewportOrgEx(dc.Handle(), &origin);
  EXPECT_EQ(origin.x, 0);
  EXPECT_EQ(origin.y, 0);
  HRGN clip = CreateRectRgn(0, 0, 0, 0);
  EXPECT_EQ(GetClipRgn(dc.Handle(), clip), 0);  // no clipping region left behind
  DeleteObject(clip);
}

TEST_F(ParentBackground, AWindowWithoutParentPaintsNothing) {
  TSkinDib dib(10, 10);
  for (int i = 0; i < 100; ++i) dib.Pixels()[i] = 0x123456;
  TSelectedDC dc(dib.Handle());
  PaintParentBackground(parent, dc.Handle());
  GdiFlush();
  EXPECT_EQ(eraseCount + paintCount, 0);
  EXPECT_EQ(dib.Pixels()[55] & 0xFFFFFF, 0x123456u);
}

TEST(SkinCaptionHint, ShowsOnceAndHides) {
  StartForms();
  TSkinData data;
  TSkinDataWin* win = SkinDataWin(data);
  ASSERT_NE(win, nullptr);
  win->HideCaptionHint();  // not showing: nothing to do
  EXPECT_EQ(win->HintWindow(), nullptr);
  win->ShowCaptionHint("Close", POINT{300, 200});
  ASSERT_NE(win->HintWindow(), nullptr);
  HWND hint = win->HintWindow()->Handle();
  ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(hint) != FALSE; }, 5000));
  EXPECT_TRUE(win->CaptionHintShowing());
  RECT r{};
  GetWindowRect(hint, &r);
  EXPECT_EQ(r.left, 300);
  EXPECT_EQ(r.top, 200);
  EXPECT_LE(r.right - r.left, 500 + 8);
  // A second request while showing is ignored: the hint stays where it is.
  win->ShowCaptionHint("Minimise", POINT{10, 10});
  GetWindowRect(hint, &r);
  EXPECT_EQ(r.left, 300);
  win->HideCaptionHint();
  EXPECT_FALSE(win->CaptionHintShowing());
  EXPECT_FALSE(IsWindowVisible(hint));
  win->ShowCaptionHint("Minimise", POINT{10, 10});
  GetWindowRect(hint, &r);
  EXPECT_EQ(r.left, 10);
  win->HideCaptionHint();
}

using velmora::test::TForm1;

TSkinData* FindSkinData(TComponent* form) {
  TComponent* found = form->FindComponent("SkinData1");
  return found ? dynamic_cast<TSkinData*>(found) : nullptr;
}

TEST(HostForm1, LoadsItsSkinFromItsLayout) {
  StartForms();
  RegisterControlClass(TForm1::StaticClass());
  const std::string layout = velmora::test::ReadFileBytes(velmora::test::HostPath(VELMORA_FORM1_LAYOUT));
  ASSERT_FALSE(layout.empty());
  const std::string skinFile = velmora::test::ReadFileBytes(velmora::test::HostPath(VELMORA_DEFAULT_SKIN));
  ASSERT_GT(skinFile.size(), 16u);
  const std::vector<uint8_t> defaultSkin(skinFile.begin(), skinFile.end());

  std::unique_ptr<TComponent> form(CreateFromLayout(layout, nullptr));
  TSkinData* data = FindSkinData(form.get());
  ASSERT_NE(data, nullptr);
  EXPECT_FALSE(data->NotLoaded());
  EXPECT_EQ(data->SkinName(), "Velmora Slate");  // the generator's default skin
  EXPECT_EQ(data->SkinStreamBytes(), defaultSkin);
  // The settings the main window's layout gives away from the defaults.
  EXPECT_TRUE(data->Active());
  EXPECT_FALSE(data->MenuMerge);
  ASSERT_NE(SkinDataWin(*data), nullptr);
  EXPECT_NE(SkinDataWin(*data)->CaptionFont(), nullptr);  // Loaded ran

  // Written out and read again, the skin bytes come back whole.
  const std::string written = WriteLayout(form.get());
  std::unique_ptr<TComponent> again(CreateFromLayout(written, nullptr));
  TSkinData* back = FindSkinData(again.get());
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->SkinStreamBytes(), defaultSkin);
  EXPECT_FALSE(back->NotLoaded());
  EXPECT_EQ(back->SkinName(), "Velmora Slate");
  EXPECT_EQ(back->Skin3rd()->Count(), 118);
}

}  // namespace
}  // namespace skin
