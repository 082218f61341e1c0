// The skinned frame on real windows with the frame-coded test skin: every border
// pixel says which image, frame and slice it came from (red id, green frame * 9 +
// slice), so piece centres, states and the region can be checked exactly.
#include "skin/SkinFrame_win.h"

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
#include "skin/SkinDraw_win.h"
#include "skin/SkinTestForm_win.h"
#include "skin/SkinTestSkin.h"
#include "tests/support/FormsSession_win.h"
#include "tests/support/GuiProbe_win.h"

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

TSkinnedForm SkinnedForm(TSkinData* data, bool maximized = false) {
  TSkinnedForm f;
  f.Root.reset(CreateFromLayout(skintest::kSkinTestFormLayout));
  auto* form = dynamic_cast<TCustomForm*>(f.Root.get());
  EXPECT_NE(form, nullptr);
  if (!form) return f;
  form->Show();
  f.Window = form->Handle();
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
  EXPECT_EQ(items, (std::vector<std::string>{" Restore |0|0", " Maximize |1|1", " Minimize |2|2", "-|100|-1",
                                             " Close |3|3"}));
}

TEST(SkinFrame, KeptSystemMenuStyleStillHidesTheSystemButtons) {
  auto data = Start();
  // Windows 2000 keeps WS_SYSMENU on an unowned window (flag 16): the system would
  // answer its own button codes over the skin's caption.
  const TSystemVersion win2k{true, 5, 0};
  TWinSkinForm::SetVersionForTests(&win2k);
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

}  // namespace
}  // namespace skin
