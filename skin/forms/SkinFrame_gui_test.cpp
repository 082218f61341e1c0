// The skinned frame on real windows with the frame-coded test skin: every border
// pixel says which image, frame and slice it came from (red id, green frame * 9 +
// slice), so piece centres, states and the region can be checked exactly.
#include "skin/forms/SkinFrame_win.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "classlib/ControlClasses.h"
#include "classlib/Layout.h"
#include "classlib/Menus_win.h"
#include "classlib/StdCtrls_win.h"
#include "skin/container/SkinDraw_win.h"
#include "skin/data/SkinTestSkin.h"
#include "skin/forms/SkinTestForm_win.h"
#include "tests/support/ChildProcess_win.h"
#include "tests/support/FormsSession_win.h"
#include "tests/support/GuiProbe_win.h"
#include "tests/support/TestPaths.h"

using velmora::test::PumpUntil;
using velmora::test::XScreenPixel;

namespace skin {
namespace {

// A skinned class-library form (owned by its form) with its window.
struct TSkinnedForm {
  std::unique_ptr<TComponent> Root;
  HWND Window = nullptr;
  TWinSkinForm* Skinner = nullptr;
  SIZE ClientBefore{};  // under the system's frame
  SIZE WindowBefore{};
  TCustomForm* Form() const { return dynamic_cast<TCustomForm*>(Root.get()); }
};

// Starts the skinned frame and loads the test skin.
std::unique_ptr<TSkinData> Start() {
  skintest::StartSkinForms();
  skintest::RegisterSkinTestForm();
  static const bool once = (AcquireSkinWorkBitmap(), true);
  (void)once;
  SetFormFrameSeam(nullptr);  // the skinned frame
  return skintest::LoadedTestSkin();
}

std::unique_ptr<TWinSkinForm> Skin(HWND window, TSkinData* data, TCustomForm* form, TComponent* owner) {
  auto skinner = std::make_unique<TWinSkinForm>(owner);
  skinner->Hwnd = window;
  skinner->FormClassName = velmora::test::WindowClassOf(window);
  if (form)
    skinner->AttachForm(data, form);
  else
    skinner->AttachHandle(data);
  PostMessageA(window, kMsgActivateSkin, 0, 1000);
  EXPECT_TRUE(PumpUntil([&] { return skinner->SkinActivated && skinner->State == kFormActive; }));
  return skinner;
}

SIZE WindowSize(HWND w) {
  RECT r{};
  GetWindowRect(w, &r);
  return {r.right - r.left, r.bottom - r.top};
}
SIZE ClientSize(HWND w) {
  RECT r{};
  GetClientRect(w, &r);
  return {r.right, r.bottom};
}
std::pair<LONG, LONG> Dims(SIZE s) { return {s.cx, s.cy}; }
// The client area's origin relative to the window's top left corner.
std::pair<LONG, LONG> ClientOffset(HWND w) {
  POINT origin{0, 0};
  ClientToScreen(w, &origin);
  RECT r{};
  GetWindowRect(w, &r);
  return {origin.x - r.left, origin.y - r.top};
}
bool HasRegion(HWND w) {
  HRGN region = CreateRectRgn(0, 0, 0, 0);
  const bool has = GetWindowRgn(w, region) != ERROR;
  DeleteObject(region);
  return has;
}
bool Pending(HWND w, UINT message) {
  MSG msg;
  return PeekMessageA(&msg, w, message, message, PM_NOREMOVE) != FALSE;
}

TSkinnedForm SkinnedForm(TSkinData* data, bool maximized = false, LONG removedStyle = 0) {
  TSkinnedForm f;
  f.Root.reset(CreateFromLayout(skintest::kSkinTestFormLayout));
  auto* form = dynamic_cast<TCustomForm*>(f.Root.get());
  EXPECT_NE(form, nullptr);
  if (!form) return f;
  form->Show();
  f.Window = form->Handle();
  if (removedStyle) SetWindowLongA(f.Window, GWL_STYLE, GetWindowLongA(f.Window, GWL_STYLE) & ~removedStyle);
  if (maximized) ShowWindow(f.Window, SW_MAXIMIZE);
  f.ClientBefore = ClientSize(f.Window);
  f.WindowBefore = WindowSize(f.Window);
  f.Skinner = Skin(f.Window, data, form, form).release();
  return f;
}

// The visible caption button of `action`; null when none.
TWinSysButton* VisibleButton(TWinSkinForm* skinner, int action) {
  for (auto& o : skinner->SysButtons) {
    auto* b = dynamic_cast<TWinSysButton*>(o.get());
    if (b && b->Data->Action == action && b->Visible) return b;
  }
  return nullptr;
}

// The frame painted through 0xBC4B into a memory bitmap of the window's size.
class TFrameShot {
 public:
  explicit TFrameShot(HWND window) : size_(WindowSize(window)), dib_(size_.cx, size_.cy) {
    TSelectedDC dc(dib_.Handle());
    EXPECT_EQ(SendMessageA(window, kMsgPaintFrameInto, reinterpret_cast<WPARAM>(dc.Handle()), kSkinMarker), kSkinMarker);
  }
  uint32_t At(int x, int y) const { return dib_.Pixels()[y * size_.cx + x] & 0xFFFFFF; }

 private:
  SIZE size_;
  TSkinDib dib_;
};

// A frame-coded pixel: image id, frame (from 0), slice.
constexpr uint32_t Coded(int id, int frame, int slice) { return PixelFromRGB(id, frame * 9 + slice, 0x11); }
constexpr int kLeftId = 1, kRightId = 2, kTopId = 3, kBottomId = 4;

// A skinned form with its frame painted once.
class SkinFrameOnForm : public ::testing::Test {
 protected:
  void SetUp() override {
    data = Start();
    f = SkinnedForm(data.get());
    ASSERT_TRUE(f.Skinner);
    window = f.Window;
    skinner = f.Skinner;
    SendMessageA(window, kMsgPaintFrame, 0, 0);
    GetWindowRect(window, &wr);
  }
  std::unique_ptr<TSkinData> data;
  TSkinnedForm f;
  HWND window = nullptr;
  TWinSkinForm* skinner = nullptr;
  RECT wr{};
};

TEST_F(SkinFrameOnForm, PiecesClientAndRegion) {
  // Left 10 wide in 2 frames: 5; Top 56 high in 2 stacked frames: 28.
  EXPECT_EQ(ClientOffset(window), std::make_pair(LONG{5}, LONG{28}));
  EXPECT_EQ(skinner->BorderRight, 5);
  EXPECT_EQ(skinner->BorderBottom, 5);
  EXPECT_EQ(Dims(ClientSize(window)), Dims(f.ClientBefore));

  const SIZE w = WindowSize(window);
  {
    TFrameShot shot(window);
    EXPECT_EQ(shot.At(2, w.cy / 2), Coded(kLeftId, 0, 4));
    EXPECT_EQ(shot.At(w.cx - 3, w.cy / 2), Coded(kRightId, 0, 4));
    EXPECT_EQ(shot.At(w.cx / 2, w.cy - 3), Coded(kBottomId, 0, 4));
    EXPECT_EQ(shot.At(w.cx - 90, 2), Coded(kTopId, 0, 4));  // between the clipped text and the buttons
  }
  SendMessageA(window, WM_NCACTIVATE, FALSE, 0);
  {
    TFrameShot shot(window);
    EXPECT_EQ(shot.At(2, w.cy / 2), Coded(kLeftId, 1, 4));
    EXPECT_EQ(shot.At(w.cx - 90, 2), Coded(kTopId, 1, 4));
  }
  SendMessageA(window, WM_NCACTIVATE, TRUE, 0);
  // What reaches the X screen.
  EXPECT_TRUE(PumpUntil([&] {
    auto c = XScreenPixel(wr.left + 2, wr.top + w.cy / 2);
    return c && *c == RGB(kLeftId, 4, 0x11);
  }));

  // Caption buttons anchored right at w - Xcoord.
  auto rectOf = [&](int action) {
    TWinSysButton* b = VisibleButton(skinner, action);
    return b ? b->Rect : RECT{-1, -1, -1, -1};
  };
  EXPECT_EQ(rectOf(0).left, w.cx - 26);
  EXPECT_EQ(rectOf(0).top, 5);
  EXPECT_EQ(rectOf(1).left, w.cx - 48);
  EXPECT_EQ(rectOf(2).left, w.cx - 70);

  // Every border transparent but no magenta in them: the region is the whole window.
  HRGN region = CreateRectRgn(0, 0, 0, 0);
  ASSERT_NE(GetWindowRgn(window, region), ERROR);
  EXPECT_TRUE(PtInRegion(region, 0, 0));
  EXPECT_TRUE(PtInRegion(region, w.cx - 1, w.cy - 1));
  // Only the Bottom transparent, with a notch in its left end: the region is still
  // cut from the images, rebuilt for the new size.
  data->Left()->Trans = data->Right()->Trans = data->Top()->Trans = 0;
  data->Bottom()->Bitmap.At(0, 4) = PixelFromRGB(255, 0, 255);
  SetWindowPos(window, nullptr, 0, 0, w.cx + 1, w.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  // The sizing alone repaints the frame at its new size: the new last column is the
  // right border's, the bottom still drawn.
  EXPECT_TRUE(PumpUntil([&] {
    auto right = XScreenPixel(wr.left + w.cx, wr.top + w.cy / 2);
    auto bottom = XScreenPixel(wr.left + w.cx / 2, wr.top + w.cy - 3);
    return right && *right == RGB(kRightId, 4, 0x11) && bottom && *bottom == RGB(kBottomId, 4, 0x11);
  }));
  ASSERT_NE(GetWindowRgn(window, region), ERROR);
  EXPECT_FALSE(PtInRegion(region, 5, w.cy - 1));
  EXPECT_TRUE(PtInRegion(region, 6, w.cy - 1));
  EXPECT_TRUE(PtInRegion(region, 0, 0));
  DeleteObject(region);
  // The notch shows what lies behind on the X screen: the same point read with the
  // form hidden.
  const POINT at{wr.left + 5, wr.top + w.cy - 1};
  ShowWindow(window, SW_HIDE);
  std::optional<COLORREF> behind, notch;
  EXPECT_TRUE(PumpUntil([&] {
    behind = XScreenPixel(at.x, at.y);
    return behind && *behind != RGB(255, 0, 255) && *behind != RGB(kBottomId, 4, 0x11);
  }));
  ShowWindow(window, SW_SHOW);
  // The form is back once its border shows beside the notch.
  EXPECT_TRUE(PumpUntil([&] {
    auto c = XScreenPixel(wr.left + w.cx / 2, wr.top + w.cy - 3);
    return c && *c == RGB(kBottomId, 4, 0x11);
  }));
  EXPECT_TRUE(PumpUntil([&] {
    notch = XScreenPixel(at.x, at.y);
    return notch && behind && *notch == *behind;
  })) << std::hex << notch.value_or(CLR_INVALID) << " behind " << behind.value_or(CLR_INVALID);

  // A long caption ends TextRightClip (100) before the caption's right end.
  f.Form()->SetCaption(std::string(300, 'W'));
  EXPECT_TRUE(PumpUntil([&] { return skinner->CaptionTextRect.right == (w.cx + 1 - 5) - 100; }))
      << skinner->CaptionTextRect.right;

  // Detach: no region, the client keeps its size under the system frame.
  skinner->Unskin();
  EXPECT_FALSE(HasRegion(window));
  EXPECT_EQ(ClientSize(window).cy, f.ClientBefore.cy);
}

TEST_F(SkinFrameOnForm, CaptionButtonsHitCodesAndActions) {
  auto button = [&](int action) { return VisibleButton(skinner, action); };
  auto centre = [&](TWinSysButton* b) {
    return MAKELPARAM(wr.left + (b->Rect.left + b->Rect.right) / 2, wr.top + (b->Rect.top + b->Rect.bottom) / 2);
  };
  TWinSysButton* close = button(0);
  TWinSysButton* program = button(50);
  ASSERT_TRUE(close && program);
  // The system's own close code never comes back: the skin shows the buttons.
  EXPECT_EQ(SendMessageA(window, WM_NCHITTEST, 0, centre(close)), HTCAPTION);
  EXPECT_EQ(SendMessageA(window, WM_NCHITTEST, 0, MAKELPARAM(wr.left + 200, wr.top + 14)), HTCAPTION);

  // Hover, press, release: states 3, 2, 3, then the program's action is posted.
  SendMessageA(window, WM_NCMOUSEMOVE, HTCAPTION, centre(program));
  EXPECT_EQ(program->State, 3);
  EXPECT_EQ(skinner->HotObject, program);
  SendMessageA(window, WM_NCLBUTTONDOWN, HTCAPTION, centre(program));
  EXPECT_EQ(program->State, 2);
  MSG msg;
  while (PeekMessageA(&msg, window, kMsgCaptionAction, kMsgCaptionAction, PM_REMOVE)) {
  }
  SendMessageA(window, WM_NCLBUTTONUP, HTCAPTION, centre(program));
  EXPECT_EQ(program->State, 3);
  ASSERT_TRUE(PeekMessageA(&msg, window, kMsgCaptionAction, kMsgCaptionAction, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 50u);
  EXPECT_FALSE(Pending(window, WM_SYSCOMMAND));
  // Released over another button than the pressed one: nothing runs.
  SendMessageA(window, WM_NCLBUTTONDOWN, HTCAPTION, centre(program));
  SendMessageA(window, WM_NCLBUTTONUP, HTCAPTION, centre(close));
  EXPECT_FALSE(Pending(window, WM_SYSCOMMAND));
  EXPECT_FALSE(Pending(window, kMsgCaptionAction));

  // Maximize, then a double click on the caption restores.
  TWinSysButton* maximize = button(1);
  ASSERT_TRUE(maximize);
  SendMessageA(window, WM_NCLBUTTONDOWN, HTCAPTION, centre(maximize));
  SendMessageA(window, WM_NCLBUTTONUP, HTCAPTION, centre(maximize));
  EXPECT_TRUE(PumpUntil([&] { return IsZoomed(window) != FALSE; }));
  RECT zoomed{};
  GetWindowRect(window, &zoomed);
  SendMessageA(window, WM_NCLBUTTONDBLCLK, HTCAPTION, MAKELPARAM(zoomed.left + 200, zoomed.top + 14));
  EXPECT_TRUE(PumpUntil([&] { return IsZoomed(window) == FALSE; }));

  // Dropping the buttons (new metrics, skin change) leaves nothing hot behind.
  SendMessageA(window, WM_NCMOUSEMOVE, HTCAPTION, centre(button(50)));
  EXPECT_NE(skinner->HotObject, nullptr);
  FormFrameSeam().DropCaptionButtons(*skinner);
  EXPECT_EQ(skinner->HotObject, nullptr);
}

TEST(SkinFrame, WindowsWithoutCaptionAndMinimized) {
  auto data = Start();
  // No WS_CAPTION: no frame, no region, no size change.
  HWND popup = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 30, 30, 120, 90, nullptr, nullptr, nullptr, nullptr);
  const SIZE before = WindowSize(popup);
  auto plain = Skin(popup, data.get(), nullptr, nullptr);
  EXPECT_EQ(plain->BorderLeft + plain->CaptionHeight + plain->BorderRight + plain->BorderBottom, 0);
  EXPECT_EQ(Dims(WindowSize(popup)), Dims(before));
  EXPECT_FALSE(HasRegion(popup));
  plain->Unskin();
  DestroyWindow(popup);

  // Maximized before activation: the size stays, only the frame is recomputed.
  {
    TSkinnedForm m = SkinnedForm(data.get(), true);
    ASSERT_TRUE(m.Skinner);
    EXPECT_EQ(m.Skinner->WindowState, kStateMaximized);
    EXPECT_EQ(Dims(WindowSize(m.Window)), Dims(m.WindowBefore));
    EXPECT_EQ(ClientOffset(m.Window).second, m.Skinner->CaptionHeight);
  }

  // Minimized: only the caption, on "ButtonFace" as wide as the window.
  TSkinnedForm f = SkinnedForm(data.get());
  ASSERT_TRUE(f.Skinner);
  ShowWindow(f.Window, SW_MINIMIZE);
  ASSERT_TRUE(PumpUntil([&] { return f.Skinner->WindowState == kStateMinimized; }));
  {
    const SIZE w = WindowSize(f.Window);
    ASSERT_GT(w.cx, 3);
    TFrameShot shot(f.Window);
    EXPECT_EQ(shot.At(w.cx - 3, 2) >> 16, static_cast<uint32_t>(kTopId)) << std::hex << shot.At(w.cx - 3, 2);
  }
  // A minimized window is barely taller than its caption, so the fill under the
  // caption is looked at on a form of normal size painted in the minimized state.
  ShowWindow(f.Window, SW_RESTORE);
  ASSERT_TRUE(PumpUntil([&] { return f.Skinner->WindowState == kStateNormal; }));
  const SIZE w = WindowSize(f.Window);
  ASSERT_GT(w.cy, f.Skinner->CaptionHeight + 20);
  f.Skinner->WindowState = kStateMinimized;
  TFrameShot shot(f.Window);
  f.Skinner->WindowState = kStateNormal;
  const uint32_t face = PixelFromRGB(203, 30, 192);
  EXPECT_EQ(shot.At(w.cx - 3, 2) >> 16, static_cast<uint32_t>(kTopId)) << std::hex << shot.At(w.cx - 3, 2);
  EXPECT_EQ(shot.At(w.cx / 2, w.cy - 1), face) << std::hex << shot.At(w.cx / 2, w.cy - 1);
  EXPECT_EQ(shot.At(0, w.cy / 2), face) << "no side borders: " << std::hex << shot.At(0, w.cy / 2);
}

TEST(SkinFrame, MaximizedMdiChildKeepsTheSystemFrame) {
  auto data = Start();
  skintest::TMdiForms mdi = skintest::MakeMdiForms();
  HWND child = mdi.Child->Handle();
  ShowWindow(child, SW_MAXIMIZE);
  const auto before = ClientOffset(child);
  auto frame = Skin(mdi.Frame->Handle(), data.get(), mdi.Frame.get(), nullptr);
  auto skinner = Skin(child, data.get(), mdi.Child.get(), nullptr);
  EXPECT_EQ(skinner->WindowState, kStateMaximized);
  SetWindowPos(child, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  EXPECT_EQ(ClientOffset(child), before);
  EXPECT_FALSE(HasRegion(child));
  skinner->Unskin();
  frame->Unskin();
  mdi.Child.reset();
  mdi.Frame.reset();
}

// The skinned system menu as a timer reads it while it is open, then closed.
TWinSkinForm* menuSkinner = nullptr;
std::vector<std::string> menuSeen;
void CALLBACK ReadOpenMenu(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  if (auto* menu = dynamic_cast<TPopupMenu*>(menuSkinner->SysPopupMenu.get())) {
    for (int i = 0; i < menu->Items()->Count(); ++i) {
      TMenuItem* item = menu->Items()->Items(i);
      menuSeen.push_back(item->Caption() + "|" + std::to_string(item->Tag()) + "|" + std::to_string(item->ImageIndex) +
                         (item->Enabled() ? "" : "|off"));
    }
  }
  EndMenu();
}
std::vector<std::string> OpenSystemMenu(TWinSkinForm* skinner, LPARAM screenPoint) {
  menuSkinner = skinner;
  menuSeen.clear();
  skinner->LastSysMenuTick = GetTickCount() - 100000;
  SetTimer(nullptr, 0, 50, ReadOpenMenu);
  SendMessageA(skinner->Hwnd, WM_NCRBUTTONDOWN, HTCAPTION, screenPoint);
  // Closed without a choice: no command follows.
  MSG msg;
  EXPECT_FALSE(PeekMessageA(&msg, skinner->Hwnd, WM_SYSCOMMAND, WM_SYSCOMMAND, PM_REMOVE)) << std::hex << msg.wParam;
  return menuSeen;
}

// What NT 4 shows instead of the system menu's own items.
const std::vector<std::string> kFixedSysMenu{" Restore |0|0", " Maximize |1|1", " Minimize |2|2", "-|100|-1",
                                             " Close |3|3"};

TEST_F(SkinFrameOnForm, CloseHintFollowsTheHintPauses) {
  TSkinDataWin* win = SkinDataWin(*data);
  ASSERT_TRUE(win && data->Options.Contains(TSkinOption::xoCaptionButtonHint));
  TWinSysButton* close = VisibleButton(skinner, 0);
  ASSERT_TRUE(close);
  skinner->HoverTimer->SetEnabled(false);  // ticked by hand below
  const POINT over{wr.left + close->Rect.left + 4, wr.top + close->Rect.top + 4};
  SetCursorPos(over.x, over.y);
  ASSERT_TRUE(PumpUntil([&] {
    POINT p{};
    GetCursorPos(&p);
    return p.x == over.x && p.y == over.y;
  }));
  SendMessageA(window, WM_NCMOUSEMOVE, HTCAPTION, MAKELPARAM(over.x, over.y));
  ASSERT_EQ(skinner->HotObject, close);
  const int pause = Application->HintPause, hidePause = Application->HintHidePause;
  // Ticks of 250 ms: shown from 2 x 200, hidden from 2 x 200 + 300.
  Application->HintPause = 200;
  Application->HintHidePause = 300;
  const std::pair<int, bool> ticks[] = {{250, false}, {500, true}, {750, false}};  // time, shown
  for (const auto& [ms, shown] : ticks) {
    skinner->HoverTimerTick(nullptr);
    EXPECT_EQ(win->CaptionHintShowing(), shown) << ms;
  }
  Application->HintPause = pause;
  Application->HintHidePause = hidePause;
  // The cursor leaves: the button goes back to normal and nothing stays hot.
  SetCursorPos(wr.left + 200, wr.top + 100);
  ASSERT_TRUE(PumpUntil([&] {
    skinner->HoverTimerTick(nullptr);
    return skinner->HotObject == nullptr;
  }));
  EXPECT_EQ(close->State, 1);
}

TEST_F(SkinFrameOnForm, SystemMenuClosingAndOlderSystems) {
  const LPARAM caption = MAKELPARAM(wr.left + 200, wr.top + 14);

  // The system menu's own items with the window's states.
  std::vector<std::string> items = OpenSystemMenu(skinner, caption);
  ASSERT_GE(items.size(), 5u) << ::testing::PrintToString(items);
  auto itemOf = [&](UINT id) {
    for (const std::string& s : items)
      if (s.find("|" + std::to_string(id) + "|") != std::string::npos) return s.substr(s.find('|'));
    return std::string("missing");
  };
  EXPECT_EQ(itemOf(SC_RESTORE), "|61728|0|off");  // not while normal
  EXPECT_EQ(itemOf(SC_MAXIMIZE), "|61488|1");
  EXPECT_EQ(itemOf(SC_MINIMIZE), "|61472|2");
  EXPECT_EQ(itemOf(SC_CLOSE), "|61536|3");

  // A grayed close item: shown disabled, and neither the close button nor a double
  // click on the icon closes.
  EnableMenuItem(GetSystemMenu(window, FALSE), SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);
  items = OpenSystemMenu(skinner, caption);
  EXPECT_EQ(itemOf(SC_CLOSE), "|61536|3|off");
  TWinSysButton* close = VisibleButton(skinner, 0);
  TWinSysButton* icon = VisibleButton(skinner, 3);
  ASSERT_TRUE(close && icon);
  const LPARAM closeAt = MAKELPARAM(wr.left + close->Rect.left + 3, wr.top + close->Rect.top + 3);
  SendMessageA(window, WM_NCLBUTTONDOWN, HTCAPTION, closeAt);
  SendMessageA(window, WM_NCLBUTTONUP, HTCAPTION, closeAt);
  EXPECT_FALSE(Pending(window, WM_SYSCOMMAND)) << "close button";
  SendMessageA(window, WM_NCLBUTTONDBLCLK, HTCAPTION, MAKELPARAM(wr.left + icon->Rect.left + 2, wr.top + icon->Rect.top + 2));
  EXPECT_EQ(TSkinFrame::ButtonAt(*skinner, {icon->Rect.left + 2, icon->Rect.top + 2}), icon)
      << icon->Rect.left << "," << icon->Rect.top << "," << icon->Rect.right << "," << icon->Rect.bottom;
  EXPECT_FALSE(Pending(window, WM_SYSCOMMAND));
  EXPECT_FALSE(Pending(window, WM_CLOSE));
  EnableMenuItem(GetSystemMenu(window, FALSE), SC_CLOSE, MF_BYCOMMAND | MF_ENABLED);

  // NT 4: the five fixed items.
  const TSystemVersion nt4{true, 4, 0};
  TWinSkinForm::SetVersionForTests(&nt4);
  items = OpenSystemMenu(skinner, caption);
  TWinSkinForm::SetVersionForTests(nullptr);
  EXPECT_EQ(items, kFixedSysMenu);
}

// The pointer moved on the X screen, as a user moves it.
void MovePointer(int x, int y) {
  ASSERT_TRUE(velmora::test::RunHostCommand("xdotool mousemove " + std::to_string(x) + " " + std::to_string(y)));
}

TEST_F(SkinFrameOnForm, CaptionButtonsLightOnlyUnderThePointer) {
  SetForegroundWindow(window);
  ASSERT_TRUE(PumpUntil([&] { return skinner->Active != 0; }));
  // A normal face with a transparent centre: what shows there when the pointer has
  // left is the caption under the button, never the hot face drawn before.
  const int actions[] = {0, 1, 2};  // close, maximize, minimize
  std::vector<POINT> centres;
  for (int action : actions) {
    TWinSysButton* b = VisibleButton(skinner, action);
    ASSERT_TRUE(b) << action;
    for (const auto& d : data->Skin().CaptionButtons)
      if (d.get() == b->Data) {
        const int frameWidth = d->Bitmap.Width / d->Frame;
        d->Bitmap.At(frameWidth / 2, d->Bitmap.Height / 2) = PixelFromRGB(255, 0, 255);
      }
    centres.push_back({wr.left + b->Rect.left + (b->Rect.right - b->Rect.left) / 2,
                       wr.top + b->Rect.top + (b->Rect.bottom - b->Rect.top) / 2});
  }
  SendMessageA(window, kMsgPaintFrame, 0, 0);
  auto shows = [](POINT p, bool hot) {
    return PumpUntil([&] {
      auto c = XScreenPixel(p.x, p.y);
      if (!c) return false;
      // Hot: frame 3's centre slice; normal: the Top border under the button.
      return hot ? GetGValue(*c) == 2 * 9 + 4 && GetBValue(*c) == 0x11
                 : GetRValue(*c) == kTopId && GetBValue(*c) == 0x11;
    });
  };
  const POINT caption{wr.left + 200, wr.top + 14}, client{wr.left + 200, wr.top + 100};
  MovePointer(caption.x, caption.y);
  // Sweeping from one button to the next, then off the caption buttons.
  for (size_t i = 0; i < centres.size(); ++i) {
    MovePointer(centres[i].x, centres[i].y);
    EXPECT_TRUE(shows(centres[i], true)) << "hover in " << actions[i];
    if (i > 0) EXPECT_TRUE(shows(centres[i - 1], false)) << "swept off " << actions[i - 1];
  }
  MovePointer(caption.x, caption.y);
  EXPECT_TRUE(shows(centres.back(), false)) << "hover out onto the caption";
  // Leaving into the client area (no non-client move follows): the hover timer.
  for (size_t i = 0; i < centres.size(); ++i) {
    MovePointer(centres[i].x, centres[i].y);
    EXPECT_TRUE(shows(centres[i], true)) << "hover in " << actions[i];
    MovePointer(client.x, client.y);
    EXPECT_TRUE(shows(centres[i], false)) << "hover out into the client " << actions[i];
  }
  EXPECT_EQ(skinner->HotObject, nullptr);
}

// What reaches the window on top of the skinner: program actions, system commands,
// context menus, and when the pointer first moved over the frame.
std::vector<std::pair<UINT, WPARAM>> reached;
DWORD firstNcMoveTick = 0;
WNDPROC recorderNext = nullptr;
LRESULT CALLBACK Recorder(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (m == kMsgCaptionAction || m == WM_SYSCOMMAND || m == WM_CLOSE || m == WM_CONTEXTMENU) reached.emplace_back(m, wp);
  if (m == WM_NCMOUSEMOVE && !firstNcMoveTick) firstNcMoveTick = GetTickCount();
  return CallWindowProcA(recorderNext, w, m, wp, lp);
}
void Record(HWND window) {
  reached.clear();
  firstNcMoveTick = 0;
  recorderNext =
      reinterpret_cast<WNDPROC>(SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Recorder)));
}
void StopRecording(HWND window) { SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(recorderNext)); }
// A popup menu runs a modal loop inside this thread's own message handling: a timer
// looks at it from within that loop and closes it `closeAfterMs` after it showed.
struct TPopupWatch {
  static inline RECT Seen{};
  static inline bool Found = false;
  static inline DWORD Since = 0, CloseAfter = 0;
  static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    HWND popup = FindWindowA("#32768", nullptr);
    if (!popup || !IsWindowVisible(popup)) return;
    if (!Found) {
      GetWindowRect(popup, &Seen);
      Found = true;
      Since = GetTickCount();
    }
    if (GetTickCount() - Since >= CloseAfter) EndMenu();
  }
  explicit TPopupWatch(DWORD closeAfterMs) : timer_(SetTimer(nullptr, 0, 30, Tick)) {
    Found = false;
    CloseAfter = closeAfterMs;
  }
  ~TPopupWatch() { KillTimer(nullptr, timer_); }

 private:
  UINT_PTR timer_;
};

TEST_F(SkinFrameOnForm, PointerPressReleaseDoubleAndRightClicks) {
  SetForegroundWindow(window);
  ASSERT_TRUE(PumpUntil([&] { return skinner->Active != 0; }));
  Record(window);
  TWinSysButton* program = VisibleButton(skinner, 50);
  ASSERT_TRUE(program);
  const POINT at{wr.left + (program->Rect.left + program->Rect.right) / 2,
                 wr.top + (program->Rect.top + program->Rect.bottom) / 2};
  auto frameShown = [&](int frame) {
    return PumpUntil([&] {
      auto c = XScreenPixel(at.x, at.y);
      return c && GetGValue(*c) == (frame - 1) * 9 + 4 && GetBValue(*c) == 0x11;
    });
  };
  // Hover frame 3, press frame 2, release: frame 3 and the action, nothing else.
  MovePointer(at.x, at.y);
  EXPECT_TRUE(frameShown(3));
  ASSERT_TRUE(velmora::test::RunHostCommand("xdotool mousedown 1"));
  EXPECT_TRUE(frameShown(2));
  ASSERT_TRUE(velmora::test::RunHostCommand("xdotool mouseup 1"));
  EXPECT_TRUE(PumpUntil([&] { return !reached.empty(); }));
  EXPECT_TRUE(frameShown(3));
  EXPECT_EQ(reached, (std::vector<std::pair<UINT, WPARAM>>{{kMsgCaptionAction, 50}}));

  // A double click on the caption maximizes, another restores.
  const POINT caption{wr.left + 200, wr.top + 14};
  auto doubleClick = [](POINT p) {
    ASSERT_TRUE(velmora::test::RunHostCommand("xdotool mousemove " + std::to_string(p.x) + " " + std::to_string(p.y) +
                                              " click --repeat 2 --delay 50 1"));
  };
  doubleClick(caption);
  EXPECT_TRUE(PumpUntil([&] { return IsZoomed(window) != FALSE; }));
  RECT zoomed{};
  GetWindowRect(window, &zoomed);
  doubleClick({zoomed.left + 200, zoomed.top + 14});
  EXPECT_TRUE(PumpUntil([&] { return IsZoomed(window) == FALSE; }));

  // A right click on the caption and Alt+Space (at the client's corner) open the
  // skinned system menu.
  GetWindowRect(window, &wr);
  {
    skinner->LastSysMenuTick = GetTickCount() - 100000;
    skinner->SysPopupMenu.reset();
    TPopupWatch watch(0);
    ASSERT_TRUE(velmora::test::RunHostCommand("xdotool mousemove " + std::to_string(wr.left + 200) + " " +
                                              std::to_string(wr.top + 14) + " click 3"));
    EXPECT_TRUE(PumpUntil([] { return TPopupWatch::Found; })) << "right click";
    ASSERT_TRUE(skinner->SysPopupMenu);
    EXPECT_EQ(skinner->SysPopupMenu->Tag(), 33333);
  }
  {
    skinner->LastSysMenuTick = GetTickCount() - 100000;
    MovePointer(wr.left + 200, wr.top + 100);
    TPopupWatch watch(0);
    ASSERT_TRUE(velmora::test::RunHostCommand("xdotool key alt+space"));
    EXPECT_TRUE(PumpUntil([] { return TPopupWatch::Found; })) << "Alt+Space";
    POINT corner{0, 0};
    ClientToScreen(window, &corner);
    EXPECT_EQ(std::make_pair(TPopupWatch::Seen.left, TPopupWatch::Seen.top), std::make_pair(corner.x, corner.y));
  }

  // A double click on the icon closes.
  TWinSysButton* icon = VisibleButton(skinner, 3);
  ASSERT_TRUE(icon);
  reached.clear();
  skinner->LastSysMenuTick = GetTickCount() - 100000;
  TPopupWatch closesAMenuLeftOpen(2000);
  doubleClick({wr.left + icon->Rect.left + 4, wr.top + icon->Rect.top + 4});
  // The second click lands on the icon again, as a double click or while its menu opens.
  EXPECT_TRUE(PumpUntil([&] {
    for (const auto& [m, wp] : reached)
      if (m == WM_CLOSE || (m == WM_SYSCOMMAND && wp == SC_CLOSE)) return true;
    return false;
  }));
  StopRecording(window);
}

// A window restored without being activated: the press on its icon activates it,
// and the activation repaints the whole frame (under Wine it arrives after the
// press). The press stands through that repaint, and the release opens the
// system menu.
TEST_F(SkinFrameOnForm, IconOpensTheSystemMenuRightAfterARestore) {
  SetForegroundWindow(window);
  ASSERT_TRUE(PumpUntil([&] { return skinner->Active != 0; }));
  TWinSysButton* icon = VisibleButton(skinner, 3);
  ASSERT_TRUE(icon);
  const LPARAM at = MAKELPARAM(wr.left + (icon->Rect.left + icon->Rect.right) / 2, wr.top + (icon->Rect.top + icon->Rect.bottom) / 2);
  ShowWindow(window, SW_MINIMIZE);
  ASSERT_TRUE(PumpUntil([&] { return skinner->WindowState == kStateMinimized; }));
  ShowWindow(window, SW_SHOWNOACTIVATE);
  ASSERT_TRUE(PumpUntil([&] { return skinner->WindowState == kStateNormal; }));
  skinner->LastSysMenuTick = GetTickCount() - 100000;
  TPopupWatch watch(0);
  SendMessageA(window, WM_NCLBUTTONDOWN, HTSYSMENU, at);
  SendMessageA(window, kMsgPaintFrame, 0, 0);  // the activation's repaint
  SendMessageA(window, WM_NCLBUTTONUP, HTSYSMENU, at);
  EXPECT_TRUE(TPopupWatch::Found);
}

TEST(SkinFrame, RightClickOnAnMdiChildCaptionGoesToTheSystem) {
  auto data = Start();
  skintest::TMdiForms mdi = skintest::MakeMdiForms();
  HWND child = mdi.Child->Handle();
  auto frame = Skin(mdi.Frame->Handle(), data.get(), mdi.Frame.get(), nullptr);
  auto skinner = Skin(child, data.get(), mdi.Child.get(), nullptr);
  ASSERT_EQ(skinner->FormKind, kFormMdiChild);
  ASSERT_EQ(skinner->WindowState, kStateNormal);
  RECT cr{};
  GetWindowRect(child, &cr);
  const POINT at{cr.left + 40, cr.top + skinner->CaptionHeight / 2};
  ASSERT_EQ(SendMessageA(child, WM_NCHITTEST, 0, MAKELPARAM(at.x, at.y)), HTCAPTION);
  ASSERT_EQ(TSkinFrame::ButtonAt(*skinner, {40, skinner->CaptionHeight / 2}), nullptr);
  skinner->LastSysMenuTick = GetTickCount() - 100000;
  Record(child);
  {
    TPopupWatch closesAnyMenu(0);
    ASSERT_TRUE(velmora::test::RunHostCommand("xdotool mousemove " + std::to_string(at.x) + " " + std::to_string(at.y) +
                                              " click 3"));
    // The system's right-click handling: the child is asked for its context menu.
    EXPECT_TRUE(PumpUntil([&] {
      return std::count(reached.begin(), reached.end(), std::make_pair(UINT{WM_CONTEXTMENU}, reinterpret_cast<WPARAM>(child))) > 0;
    }));
  }
  EXPECT_FALSE(skinner->SysPopupMenu) << "the skinned system menu opened";
  StopRecording(child);
  skinner->Unskin();
  frame->Unskin();
}

TEST_F(SkinFrameOnForm, CloseHintShowsAndGoesUnderThePointer) {
  TWinSysButton* close = VisibleButton(skinner, 0);
  ASSERT_TRUE(close);
  SetForegroundWindow(window);
  ASSERT_TRUE(PumpUntil([&] { return skinner->Active != 0; }));
  struct TKeptPauses {
    int P = Application->HintPause, Q = Application->HintHidePause;
    ~TKeptPauses() {
      Application->HintPause = P;
      Application->HintHidePause = Q;
    }
  } kept;
  const DWORD pause = 500, hidePause = 1500, tick = 250;
  Application->HintPause = pause;
  Application->HintHidePause = hidePause;
  // From the client area (no non-client move) onto the close button.
  MovePointer(wr.left + 200, wr.top + 100);
  ASSERT_TRUE(PumpUntil([&] { return skinner->HotObject == nullptr; }));
  Record(window);
  const POINT over{wr.left + close->Rect.left + 4, wr.top + close->Rect.top + 4};
  MovePointer(over.x, over.y);
  auto hint = [] {
    HWND h = FindWindowA("THintWindow", "Close");
    return h && IsWindowVisible(h) ? h : nullptr;
  };
  ASSERT_TRUE(PumpUntil([&] { return hint() != nullptr; }, 2 * pause + 5000));
  const DWORD shown = GetTickCount();
  RECT at{};
  GetWindowRect(hint(), &at);
  EXPECT_EQ(std::make_pair(at.left, at.top), std::make_pair(wr.left + close->Rect.left, over.y + 24));
  ASSERT_TRUE(PumpUntil([&] { return hint() == nullptr; }, hidePause + 5000));
  const DWORD hidden = GetTickCount();
  StopRecording(window);
  // Timer ticks come late on a busy machine, never early, so only the lower bounds
  // are close: less one tick for the timer's phase when the pointer arrived, and
  // a little for the clocks' grain.
  ASSERT_NE(firstNcMoveTick, 0u);
  EXPECT_GE(shown - firstNcMoveTick, 2 * pause - tick - 50) << "shown at once";
  EXPECT_GE(hidden - shown, hidePause - tick) << "hidden early";
}

TEST(SkinFrame, WithoutMaximizeBoxTheMaximizeButtonIsGreyAndInert) {
  auto data = Start();
  TSkinnedForm f = SkinnedForm(data.get(), false, WS_MAXIMIZEBOX);
  ASSERT_TRUE(f.Skinner);
  SetForegroundWindow(f.Window);
  ASSERT_TRUE(PumpUntil([&] { return f.Skinner->Active != 0; }));
  SendMessageA(f.Window, kMsgPaintFrame, 0, 0);
  TWinSysButton* maximize = VisibleButton(f.Skinner, 1);
  ASSERT_TRUE(maximize);
  EXPECT_FALSE(maximize->Enabled);
  RECT wr{};
  GetWindowRect(f.Window, &wr);
  const POINT at{wr.left + (maximize->Rect.left + maximize->Rect.right) / 2,
                 wr.top + (maximize->Rect.top + maximize->Rect.bottom) / 2};
  EXPECT_TRUE(PumpUntil([&] {
    auto c = XScreenPixel(at.x, at.y);
    return c && GetGValue(*c) == 3 * 9 + 4 && GetBValue(*c) == 0x11;  // frame 4
  }));
  ASSERT_TRUE(velmora::test::RunHostCommand("xdotool mousemove " + std::to_string(at.x) + " " + std::to_string(at.y) +
                                            " mousedown 1"));
  ASSERT_TRUE(PumpUntil([&] { return maximize->State == 2; }));
  ASSERT_TRUE(velmora::test::RunHostCommand("xdotool mouseup 1"));
  ASSERT_TRUE(PumpUntil([&] { return maximize->State == 3; }));
  velmora::test::PumpMessages();
  EXPECT_FALSE(IsZoomed(f.Window));
  EXPECT_FALSE(Pending(f.Window, WM_SYSCOMMAND));
  MovePointer(wr.left + 200, wr.top + 100);
}

// Windows 2000 keeps WS_SYSMENU on an unowned window (flag 16): the system would
// answer its own button codes over the skin's caption. `injected` stands in for the
// system's version when set.
void ExpectNoSystemButtonCodes(const TSystemVersion* injected) {
  auto data = Start();
  TWinSkinForm::SetVersionForTests(injected);
  HWND window = CreateWindowExA(0, "STATIC", "", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 300, 200, nullptr, nullptr,
                                nullptr, nullptr);
  auto skinner = Skin(window, data.get(), nullptr, nullptr);
  TWinSkinForm::SetVersionForTests(nullptr);
  ASSERT_TRUE(skinner->ButtonFlags & kButtonKeepSysMenuStyle);
  SendMessageA(window, kMsgPaintFrame, 0, 0);
  EXPECT_TRUE(GetWindowLongA(window, GWL_STYLE) & WS_SYSMENU);
  RECT wr{};
  GetWindowRect(window, &wr);
  for (int x = wr.left + 1; x < wr.right - 1; x += 3) {
    for (int y = wr.top + 4; y < wr.top + 28; y += 3) {
      const LRESULT code = SendMessageA(window, WM_NCHITTEST, 0, MAKELPARAM(x, y));
      ASSERT_TRUE(code != HTCLOSE && code != HTMAXBUTTON && code != HTMINBUTTON && code != HTSYSMENU && code != HTHELP)
          << code << " at " << x - wr.left << "," << y - wr.top;
    }
  }
  skinner->Unskin();
  DestroyWindow(window);
}

TEST(SkinFrame, KeptSystemMenuStyleStillHidesTheSystemButtons) {
  const TSystemVersion win2k{true, 5, 0};
  ExpectNoSystemButtonCodes(&win2k);
}

TEST(SkinFrame, NarrowDialogWidenedAndItsCaptionKept) {
  auto data = Start();
  // A dialog of the system's class whose title is far wider than its client.
  HWND dialog = skintest::MakeTestDialog(std::string(40, 'W'), 20, 20, 60, 40, 40, 10);
  ASSERT_NE(dialog, nullptr);
  HWND text = GetDlgItem(dialog, 100);
  RECT before{};
  GetWindowRect(text, &before);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&before), 2);
  const SIZE client = ClientSize(dialog);
  auto skinner = Skin(dialog, data.get(), nullptr, nullptr);
  ASSERT_GT(skinner->CaptionTextWidth, 0);
  // Wide enough for TextShift 30 + the text + TextRightClip 100; the child moved by half.
  const int need = 30 + skinner->CaptionTextWidth + 100;
  ASSERT_GT(need, client.cx + 10);
  EXPECT_EQ(WindowSize(dialog).cx, need);
  RECT moved{};
  GetWindowRect(text, &moved);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&moved), 2);
  EXPECT_EQ(moved.left - before.left, (need - (client.cx + 10)) / 2);

  // A new title: the system draws its caption without WM_NCPAINT; the skin's comes back.
  SetWindowTextA(dialog, "Short");
  RECT wr{};
  GetWindowRect(dialog, &wr);
  EXPECT_TRUE(PumpUntil([&] {
    auto c = XScreenPixel(wr.right - 10, wr.top + 2);  // the Top's right end
    return c && GetRValue(*c) == kTopId && GetBValue(*c) == 0x11;
  }));
  skinner->Unskin();
  DestroyWindow(dialog);
}


// This test program again, under the version Wine reports to it (its per-program
// setting), running one of the cases below that only such a run may run.
void RunUnderWineVersion(const char* version, const std::string& testName) {
  char exe[MAX_PATH] = {};
  ASSERT_GT(GetModuleFileNameA(nullptr, exe, sizeof exe), 0u);
  std::string name = exe;
  name = name.substr(name.find_last_of("\\/") + 1);
  const std::string key = "Software\\Wine\\AppDefaults\\" + name;
  HKEY handle = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &handle, nullptr),
            ERROR_SUCCESS);
  RegSetValueExA(handle, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version), lstrlenA(version) + 1);
  RegCloseKey(handle);
  const std::string report = velmora::test::TempPath(std::string(version) + ".xml");
  DeleteFileA(report.c_str());
  velmora::test::TChildProcess child("\"" + std::string(exe) + "\" --gtest_also_run_disabled_tests --gtest_filter=" +
                                         testName + " --gtest_output=xml:" + report,
                                     true);
  const DWORD code = child.Finish(120000);
  RegDeleteKeyA(HKEY_CURRENT_USER, key.c_str());
  EXPECT_EQ(code, 0u) << child.Output();
  // The report says the one case ran and passed (a filter matching nothing passes too).
  const std::string xml = velmora::test::ReadFileBytes(report);
  DeleteFileA(report.c_str());
  EXPECT_NE(xml.find("tests=\"1\" failures=\"0\""), std::string::npos) << xml << child.Output();
}

TEST(SkinFrameUnderWineVersion, Windows2000AndNT4) {
  RunUnderWineVersion("win2k", "SkinFrameWineVersionRun.DISABLED_Windows2000HitCodes");
  RunUnderWineVersion("nt40", "SkinFrameWineVersionRun.DISABLED_NT4SystemMenu");
}

// Run only by the case above, under Wine's per-program version.
TEST(SkinFrameWineVersionRun, DISABLED_Windows2000HitCodes) {
  const TSystemVersion v = TWinSkinForm::Version();
  ASSERT_TRUE(v.Nt && v.Major == 5 && v.Minor == 0) << v.Major << "." << v.Minor;
  ExpectNoSystemButtonCodes(nullptr);
}

TEST(SkinFrameWineVersionRun, DISABLED_NT4SystemMenu) {
  const TSystemVersion v = TWinSkinForm::Version();
  ASSERT_TRUE(v.Nt && v.Major == 4) << v.Major << "." << v.Minor;
  auto data = Start();
  TSkinnedForm f = SkinnedForm(data.get());
  ASSERT_TRUE(f.Skinner);
  RECT wr{};
  GetWindowRect(f.Window, &wr);
  EXPECT_EQ(OpenSystemMenu(f.Skinner, MAKELPARAM(wr.left + 200, wr.top + 14)), kFixedSysMenu);
}

}  // namespace
}  // namespace skin
