#include "exclog/report/EScreenshot_win.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/support/GuiProbe_win.h"
#include "tests/support/TestPaths.h"

namespace exclog {
namespace {

using namespace velmora::test;

constexpr COLORREF Face = RGB(0, 128, 255);

// A plain window of one colour with a focused child in it.
class TKnownWindow {
 public:
  TKnownWindow() {
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "VelmoraShotTarget";
    wc.hbrBackground = brush_;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    RegisterClassA(&wc);
    window_ = CreateWindowExA(WS_EX_TOPMOST, wc.lpszClassName, "", WS_POPUP | WS_VISIBLE, 60, 70, 220, 160,
                              nullptr, nullptr, wc.hInstance, nullptr);
    child_ = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE | SS_WHITERECT, 40, 50, 90, 40, window_,
                             nullptr, wc.hInstance, nullptr);
    SetForegroundWindow(window_);
    UpdateWindow(window_);
  }
  ~TKnownWindow() {
    DestroyWindow(window_);
    UnregisterClassA("VelmoraShotTarget", GetModuleHandleA(nullptr));
    DeleteObject(brush_);
  }
  HWND Window() const { return window_; }
  HWND Child() const { return child_; }

 private:
  HBRUSH brush_ = CreateSolidBrush(Face);
  HWND window_ = nullptr;
  HWND child_ = nullptr;
};

uint32_t PixelOf(COLORREF c) { return PixelFromColorRef(c); }

TEST(Screenshot, CaptureShowsTheWindowItsFramedControlAndTheCursor) {
  TKnownWindow known;
  ASSERT_TRUE(PumpUntil([&] { return ScreenPixel(65, 75) == Face; }));
  SetCursorPos(60 + 200, 70 + 20);
  SetCursor(LoadCursorA(nullptr, IDC_ARROW));
  TScreenshotRequest request;
  request.MainWindow = known.Window();
  request.Focused = known.Child();
  request.WithCursor = false;
  ASSERT_TRUE(CaptureScreen(request));
  TPixelBuffer shot = CapturedPixels();
  ASSERT_EQ(shot.Width, GetSystemMetrics(SM_CXSCREEN));
  ASSERT_EQ(shot.Height, GetSystemMetrics(SM_CYSCREEN));
  EXPECT_EQ(shot.At(65, 75), PixelOf(Face));
  EXPECT_EQ(shot.At(60 + 210, 70 + 150), PixelOf(Face));
  // The child's own face inside, two red frames around its edge.
  const uint32_t red = PixelFromRGB(255, 0, 0);
  EXPECT_EQ(shot.At(100 + 0, 120 + 0), red);
  EXPECT_EQ(shot.At(100 + 1, 120 + 1), red);
  EXPECT_EQ(shot.At(100 + 89, 120 + 39), red);
  EXPECT_EQ(shot.At(100 + 88, 120 + 20), red);
  EXPECT_EQ(shot.At(100 + 2, 120 + 2), shot.At(100 + 45, 120 + 20));
  EXPECT_NE(shot.At(100 + 45, 120 + 20), red);
  EXPECT_NE(shot.At(100 + 45, 120 + 20), PixelOf(Face));
  EXPECT_EQ(shot.At(99, 119), PixelOf(Face));

  // With the cursor: the arrow's pixels change the face under the hot spot.
  request.WithCursor = true;
  ASSERT_TRUE(CaptureScreen(request));
  TPixelBuffer withCursor = CapturedPixels();
  int changed = 0;
  for (int y = 90; y < 90 + 32; ++y)
    for (int x = 260; x < 260 + 32 && x < withCursor.Width; ++x) changed += withCursor.At(x, y) != shot.At(x, y);
  EXPECT_GT(changed, 20);

  // The saved file is a valid PNG.
  const std::string unixPath = "/tmp/velmora-shot-" + velmora::test::ProcessTag() + ".png";
  ASSERT_TRUE(SaveScreenshotPng(HostPath(unixPath)));
  auto check = RunHostCommand("pngcheck -v " + unixPath + " >/dev/null; echo rc=$?; rm -f " + unixPath);
  ASSERT_TRUE(check);
  EXPECT_EQ(*check, "rc=0\n");
  ReleaseCapture();
  EXPECT_TRUE(CapturedPixels().Empty());
  EXPECT_FALSE(SaveScreenshotPng(HostPath(unixPath)));
}

}  // namespace
}  // namespace exclog
