// The display chain works end to end: a window painted by a Windows program is
// seen on the screen both through GDI and by the X server behind Wine.
#include <windows.h>

#include <gtest/gtest.h>

#include "tests/support/GuiProbe_win.h"

namespace {

const COLORREF kPaint = RGB(0x12, 0x9A, 0x5C);

LRESULT CALLBACK PaintProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_PAINT) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    HBRUSH brush = CreateSolidBrush(kPaint);
    RECT client;
    GetClientRect(window, &client);
    FillRect(dc, &client, brush);
    DeleteObject(brush);
    EndPaint(window, &ps);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

class PaintedWindow {
 public:
  PaintedWindow(int x, int y, int w, int h) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = PaintProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "VelmoraProbeWindow";
    RegisterClassA(&wc);
    window_ = CreateWindowExA(WS_EX_TOPMOST, wc.lpszClassName, "probe", WS_POPUP | WS_VISIBLE, x, y,
                              w, h, nullptr, nullptr, wc.hInstance, nullptr);
    UpdateWindow(window_);
  }
  ~PaintedWindow() { DestroyWindow(window_); }
  HWND Handle() const { return window_; }

 private:
  HWND window_ = nullptr;
};

TEST(Screen, PaintedColourIsSeenThroughGdiAndOnTheXScreen) {
  PaintedWindow probe(120, 90, 200, 150);
  ASSERT_NE(probe.Handle(), nullptr);
  const int x = 120 + 100, y = 90 + 75;

  EXPECT_TRUE(velmora::test::PumpUntil([&] { return velmora::test::ScreenPixel(x, y) == kPaint; }))
      << "GDI read back " << std::hex << velmora::test::ScreenPixel(x, y);

  std::optional<COLORREF> seen;
  EXPECT_TRUE(velmora::test::PumpUntil(
      [&] {
        seen = velmora::test::XScreenPixel(x, y);
        return seen && *seen == kPaint;
      },
      15000))
      << "X screen held " << std::hex << (seen ? *seen : CLR_INVALID);

  // Outside the window the screen is not our colour: the probe reads the right place.
  EXPECT_NE(velmora::test::ScreenPixel(120 + 300, 90 + 75), kPaint);
}

}  // namespace
