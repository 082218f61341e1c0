// The host program's skinned frame as a user meets it: the default skin's borders,
// caption and caption buttons on the X screen, the pointer moved and clicked with
// xdotool, and the window's own menu bar kept with the system.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "tests/gui/AppWindows_win.h"
#include "tests/support/ChildProcess_win.h"
#include "tests/support/GuiProbe_win.h"
#include "tests/support/TestPaths.h"

namespace {

using velmora::test::AnswersSkinned;
using velmora::test::FindMainWindowOf;
using velmora::test::FindOpenMenuOf;
using velmora::test::PumpUntil;
using velmora::test::RunHostCommand;

constexpr COLORREF kMagenta = RGB(255, 0, 255);

// One image of the default skin as the generator drew it.
class TSkinBmp {
 public:
  explicit TSkinBmp(const std::string& file) {
    const std::string path = velmora::test::HostPath(std::string(VELMORA_DEFAULT_SKIN_DIR) + "/" + file);
    bitmap_ = static_cast<HBITMAP>(LoadImageA(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE));
    BITMAP info{};
    if (bitmap_ && GetObjectA(bitmap_, sizeof info, &info)) size_ = {info.bmWidth, info.bmHeight};
    dc_ = CreateCompatibleDC(nullptr);
    old_ = SelectObject(dc_, bitmap_);
  }
  ~TSkinBmp() {
    SelectObject(dc_, old_);
    DeleteDC(dc_);
    if (bitmap_) DeleteObject(bitmap_);
  }
  bool Loaded() const { return bitmap_ && size_.cx > 0; }
  int Width() const { return size_.cx; }
  int Height() const { return size_.cy; }
  COLORREF At(int x, int y) const { return GetPixel(dc_, x, y); }

 private:
  HBITMAP bitmap_ = nullptr;
  HDC dc_ = nullptr;
  HGDIOBJ old_ = nullptr;
  SIZE size_{};
};

// The X screen's pixels of a rectangle, row by row; empty when unreadable.
class TXArea {
 public:
  explicit TXArea(const RECT& r) : rect_(r) {
    const int w = r.right - r.left, h = r.bottom - r.top;
    char command[160];
    std::snprintf(command, sizeof command, "/usr/bin/import -silent -window root -crop %dx%d+%ld+%ld -depth 8 txt:-", w,
                  h, r.left, r.top);
    const std::string text = RunHostCommand(command).value_or("");
    pixels_.assign(static_cast<size_t>(w) * h, CLR_INVALID);
    std::istringstream lines(text);
    std::string line;
    size_t read = 0;
    // "x,y: (r,g,b)  #RRGGBB  name" per pixel after a "# ..." header.
    while (std::getline(lines, line)) {
      int x = 0, y = 0;
      unsigned red = 0, green = 0, blue = 0;
      const size_t hash = line.find('#', line.find(':'));
      if (line.empty() || line[0] == '#' || hash == std::string::npos) continue;
      if (std::sscanf(line.c_str(), "%d,%d:", &x, &y) != 2 ||
          std::sscanf(line.c_str() + hash + 1, "%2x%2x%2x", &red, &green, &blue) != 3 || x >= w || y >= h)
        continue;
      pixels_[static_cast<size_t>(y) * w + x] = RGB(red, green, blue);
      ++read;
    }
    complete_ = read == pixels_.size();
  }
  bool Complete() const { return complete_; }
  // At screen (x, y) inside the rectangle.
  COLORREF At(int x, int y) const {
    return pixels_[static_cast<size_t>(y - rect_.top) * (rect_.right - rect_.left) + (x - rect_.left)];
  }

 private:
  RECT rect_;
  std::vector<COLORREF> pixels_;
  bool complete_ = false;
};

void MovePointer(int x, int y) {
  RunHostCommand("/usr/bin/xdotool mousemove " + std::to_string(x) + " " + std::to_string(y));
}
void Click(int x, int y) {
  RunHostCommand("/usr/bin/xdotool mousemove " + std::to_string(x) + " " + std::to_string(y) + " click 1");
}
void Key(const std::string& keys) { RunHostCommand("/usr/bin/xdotool key " + keys); }

RECT WindowRect(HWND w) {
  RECT r{};
  GetWindowRect(w, &r);
  return r;
}

// Every pixel of `image` (a part of one frame: `ix`, `iy`, `w` x `h`) that is not
// magenta shows on the X screen at (`sx`, `sy`) onwards.
bool ShowsOpaquePixels(const TSkinBmp& image, int ix, int iy, int w, int h, int sx, int sy) {
  const TXArea screen({sx, sy, sx + w, sy + h});
  if (!screen.Complete()) return false;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const COLORREF expected = image.At(ix + x, iy + y);
      if (expected != kMagenta && !velmora::test::NearColour(screen.At(sx + x, sy + y), expected)) return false;
    }
  return true;
}

// The running host program with its skinned main window.
struct TRunningHost {
  velmora::test::TChildProcess Program{"\"" + velmora::test::HostPath(VELMORA_EXE) + "\""};
  HWND Window = nullptr;

  bool Start() {
    if (!Program.Started()) return false;
    if (!PumpUntil([&] { return (Window = FindMainWindowOf(Program.Id())) != nullptr; }, 20000)) return false;
    if (!PumpUntil([&] { return AnswersSkinned(Window); }, 20000)) return false;
    // The activation is posted after the attach; a focus event can overtake it.
    if (!PumpUntil([&] { return velmora::test::FrameActivated(Window); }, 20000)) return false;
    // Activated by a click on the caption, clear of the text and the buttons.
    const RECT r = WindowRect(Window);
    Click((r.left + r.right) / 2, r.top + 12);
    return PumpUntil([&] { return GetForegroundWindow() == Window; });
  }
  bool MenuOpen() const { return FindOpenMenuOf(Program.Id()) != nullptr; }
};

TEST(HostFrame, DefaultSkinFrameCaptionButtonsAndTheirActions) {
  const TSkinBmp left("left.bmp"), right("right.bmp"), top("top.bmp"), bottom("bottom.bmp");
  const TSkinBmp close("button_close.bmp"), maximize("button_maximize.bmp"), restore("button_restore.bmp"),
      minimize("button_minimize.bmp");
  for (const TSkinBmp* b : {&left, &right, &top, &bottom, &close, &maximize, &restore, &minimize})
    ASSERT_TRUE(b->Loaded());
  // Two state frames each: borders side by side or stacked, buttons four side by side.
  const int borderLeft = left.Width() / 2, borderRight = right.Width() / 2, caption = top.Height() / 2,
            borderBottom = bottom.Height() / 2, buttonWidth = close.Width() / 4, buttonHeight = close.Height();

  TRunningHost host;
  ASSERT_TRUE(host.Start());
  HWND window = host.Window;
  RECT wr = WindowRect(window);
  const int w = wr.right - wr.left, h = wr.bottom - wr.top;

  // The client keeps what the system's frame (with its menu bar) left of 1024 x 600.
  RECT system{0, 0, 0, 0};
  AdjustWindowRectEx(&system, static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE)) | WS_SYSMENU, TRUE,
                     static_cast<DWORD>(GetWindowLongA(window, GWL_EXSTYLE)));
  RECT client{};
  GetClientRect(window, &client);
  EXPECT_EQ(client.right, 1024 - (system.right - system.left));
  EXPECT_EQ(client.bottom, 600 - (system.bottom - system.top));

  // Borders and caption against the images' active frames (centre slices stretched).
  MovePointer(wr.left + w / 2, wr.top + h / 2);
  EXPECT_TRUE(PumpUntil([&] {
    return ShowsOpaquePixels(top, top.Width() / 2, 0, 1, caption, wr.left + w - 90, wr.top) &&
           ShowsOpaquePixels(left, 0, left.Height() / 2, borderLeft, 1, wr.left, wr.top + h / 2) &&
           ShowsOpaquePixels(right, 0, right.Height() / 2, borderRight, 1, wr.right - borderRight, wr.top + h / 2) &&
           ShowsOpaquePixels(bottom, bottom.Width() / 2, 0, 1, borderBottom, wr.left + w / 2, wr.bottom - borderBottom);
  }));

  // The images' magenta pixels are cut from the region, all others kept; the X
  // screen shows no magenta there.
  HRGN region = CreateRectRgn(0, 0, 0, 0);
  ASSERT_NE(GetWindowRgn(window, region), ERROR);
  int notches = 0;
  auto checkCorner = [&](const TSkinBmp& image, int ix, int iy, int cw, int ch, int wx, int wy) {
    for (int y = 0; y < ch; ++y)
      for (int x = 0; x < cw; ++x) {
        const bool magenta = image.At(ix + x, iy + y) == kMagenta;
        notches += magenta;
        EXPECT_EQ(PtInRegion(region, wx + x, wy + y) != FALSE, !magenta) << wx + x << "," << wy + y;
      }
  };
  const int cornerRows = 10;  // the side borders' and the Top's corner slices
  checkCorner(left, 0, 0, borderLeft, cornerRows, 0, 0);
  checkCorner(right, 0, 0, borderRight, cornerRows, w - borderRight, 0);
  checkCorner(top, 0, 0, cornerRows, caption, borderLeft, 0);
  checkCorner(top, top.Width() - cornerRows, 0, cornerRows, caption, w - borderRight - cornerRows, 0);
  // The rounded corners are the window's own outer ones.
  EXPECT_FALSE(PtInRegion(region, 0, 0));
  EXPECT_FALSE(PtInRegion(region, w - 1, 0));
  DeleteObject(region);
  EXPECT_GT(notches, 0);
  const auto corner = velmora::test::XScreenPixel(wr.left, wr.top);
  EXPECT_TRUE(corner && *corner != kMagenta);

  // Caption buttons anchored at w - 26, w - 48, w - 70, five pixels down.
  auto buttonShows = [&](const TSkinBmp& image, int fromRight) {
    const RECT now = WindowRect(window);
    return ShowsOpaquePixels(image, 0, 0, buttonWidth, buttonHeight, now.right - fromRight, now.top + 5);
  };
  EXPECT_TRUE(PumpUntil([&] { return buttonShows(close, 26) && buttonShows(maximize, 48) && buttonShows(minimize, 70); }));

  // Maximize: the restore glyph takes the maximize button's place; restore.
  auto clickButton = [&](int fromRight) {
    const RECT now = WindowRect(window);
    Click(now.right - fromRight + buttonWidth / 2, now.top + 5 + buttonHeight / 2);
    MovePointer(now.left + 300, now.top + 300);
  };
  clickButton(48);
  ASSERT_TRUE(PumpUntil([&] { return IsZoomed(window) != FALSE; }));
  EXPECT_TRUE(PumpUntil([&] { return buttonShows(restore, 48); }));
  clickButton(48);
  ASSERT_TRUE(PumpUntil([&] { return IsZoomed(window) == FALSE; }));
  EXPECT_TRUE(PumpUntil([&] { return buttonShows(maximize, 48); }));
  // The icon opens the system menu just below and right of the click.
  wr = WindowRect(window);
  const POINT icon{wr.left + 6 + 8, wr.top + 6 + 8};
  Click(icon.x, icon.y);
  HWND menu = nullptr;
  ASSERT_TRUE(PumpUntil([&] { return (menu = FindOpenMenuOf(host.Program.Id())) != nullptr; }));
  const RECT popup = WindowRect(menu);
  EXPECT_NEAR(popup.left, icon.x + 1, 2);
  EXPECT_NEAR(popup.top, icon.y + 1, 2);
  EXPECT_TRUE(velmora::test::XScreenPixel((popup.left + popup.right) / 2, (popup.top + popup.bottom) / 2));
  Key("Escape");
  EXPECT_TRUE(PumpUntil([&] { return !host.MenuOpen(); }));

  // Minimize, then back through the system.
  clickButton(70);
  ASSERT_TRUE(PumpUntil([&] { return IsIconic(window) != FALSE; }));
  PostMessageA(window, WM_SYSCOMMAND, SC_RESTORE, 0);
  ASSERT_TRUE(PumpUntil([&] { return IsIconic(window) == FALSE; }));
  wr = WindowRect(window);
  Click((wr.left + wr.right) / 2, wr.top + 12);
  ASSERT_TRUE(PumpUntil([&] { return GetForegroundWindow() == window; }));

  // The close button ends the program with 0.
  clickButton(26);
  EXPECT_TRUE(host.Program.Ended(10000));
  EXPECT_EQ(host.Program.ExitCode(), 0u);
}

TEST(HostFrame, MenuBarOpensByMouseAndKeyboardAndLeavesNothingBehind) {
  const TSkinBmp top("top.bmp");
  ASSERT_TRUE(top.Loaded());
  const int caption = top.Height() / 2;
  TRunningHost host;
  ASSERT_TRUE(host.Start());
  HWND window = host.Window;
  const RECT wr = WindowRect(window);
  POINT origin{0, 0};
  ClientToScreen(window, &origin);
  // The skinned menu bar sits in a strip between the caption and the client, painted
  // from the skin's first "menuBar" frame; the window itself has no menu.
  ASSERT_EQ(origin.y - wr.top, caption + GetSystemMetrics(SM_CYMENU));
  EXPECT_EQ(GetMenu(window), nullptr);
  const int stripY = wr.top + caption + GetSystemMetrics(SM_CYMENU) / 2;
  const TSkinBmp menuBar("menubar.bmp");
  ASSERT_TRUE(menuBar.Loaded());
  EXPECT_TRUE(PumpUntil([&] {
    const auto c = velmora::test::XScreenPixel(wr.right - 30, stripY);
    return velmora::test::NearColour(c, menuBar.At(menuBar.Width() / 2, 4));
  }));

  const RECT toolBar{origin.x, origin.y, origin.x + 160, origin.y + 28};
  MovePointer(origin.x + 300, origin.y + 300);
  const TXArea before(toolBar);
  ASSERT_TRUE(before.Complete());
  auto toolBarAsBefore = [&] {
    const TXArea now(toolBar);
    if (!now.Complete()) return false;
    for (int y = toolBar.top; y < toolBar.bottom; ++y)
      for (int x = toolBar.left; x < toolBar.right; ++x)
        if (now.At(x, y) != before.At(x, y)) return false;
    return true;
  };
  // File opens under its button, the bar's first: 8 pixels into the strip (the
  // element's left margin and 4).
  auto opensUnderFile = [&] {
    HWND menu = nullptr;
    if (!PumpUntil([&] { return (menu = FindOpenMenuOf(host.Program.Id())) != nullptr; })) return false;
    const RECT popup = WindowRect(menu);
    EXPECT_NEAR(popup.left, origin.x + 8, 3);
    EXPECT_NEAR(popup.top, origin.y, 3);
    return true;
  };
  auto closeMenu = [&] {
    Key("Escape");
    EXPECT_TRUE(PumpUntil([&] { return !host.MenuOpen(); }));
    Key("Escape");  // the bar itself leaves menu mode
    MovePointer(origin.x + 300, origin.y + 300);
  };

  Click(origin.x + 10, stripY);
  EXPECT_TRUE(opensUnderFile()) << "by mouse";
  closeMenu();
  EXPECT_TRUE(PumpUntil(toolBarAsBefore)) << "after the mouse";

  Key("alt+f");
  EXPECT_TRUE(opensUnderFile()) << "by Alt+F";
  closeMenu();
  EXPECT_TRUE(PumpUntil(toolBarAsBefore)) << "after Alt+F";

  PostMessageA(window, WM_CLOSE, 0, 0);
  EXPECT_TRUE(host.Program.Ended(10000));
  EXPECT_EQ(host.Program.ExitCode(), 0u);
}

}  // namespace
