// The skinned menu bar on the host program's Form1 with the frame-coded test skin:
// the bar's frames, its buttons under the real pointer, popups opened by click and
// keys and switched by arrows, owner-drawn items, and the tool bar's handlers.
#include "skin/forms/WinSkinMenu_win.h"

#include <gtest/gtest.h>

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "classlib/ComCtrls_win.h"
#include "classlib/ControlClasses.h"
#include "classlib/Layout.h"
#include "classlib/Memory.h"
#include "skin/container/SkinDraw_win.h"
#include "skin/forms/SkinTestForm1_win.h"
#include "skin/forms/SkinDispatch_win.h"
#include "tests/support/GuiProbe_win.h"
#include "tests/support/TestPaths.h"

using velmora::test::PumpUntil;
using velmora::test::RunHostCommand;
using velmora::test::ScreenPixel;

namespace skin {
namespace {

class TMenuTestForm : public TForm {
  VELMORA_CLASS(TMenuTestForm, TForm)
  VELMORA_PUBLISHED(TMenuTestForm)
 public:
  explicit TMenuTestForm(TComponent* owner = nullptr) : TForm(owner) {}
  void ExitItemClick(TObject*) {}
  void RaiseItemClick(TObject*) {}
  void OpenClick(TObject*) { ++opened; }
  // File's own click, run inside its popup's loop: a sub-item changes state.
  void FileClick(TObject*) {
    clickedInLoop = LoopFlag && *LoopFlag;
    if (Toggled) Toggled->SetEnabled(!Toggled->Enabled());
    ++fileClicks;
  }
  int opened = 0;
  std::atomic<int> fileClicks{0};
  bool clickedInLoop = false;
  TMenuItem* Toggled = nullptr;
  const uint8_t* LoopFlag = nullptr;
};
VELMORA_PUBLISH(TMenuTestForm) {
  p.Method<&TMenuTestForm::ExitItemClick>("ExitItemClick").Method<&TMenuTestForm::RaiseItemClick>("RaiseItemClick");
}

COLORREF Code(const char* section, const char* key, int k, int slice) {
  return skintest::PixelCode(section, key, k, slice);
}

// The test skin's colour of a [Colours] key.
COLORREF SkinColourOf(const char* key) {
  const std::string text = skintest::TestSkin().Value("Colours", key);
  unsigned r = 0, g = 0, b = 0;
  std::sscanf(text.c_str(), "%u %u %u", &r, &g, &b);
  return RGB(r, g, b);
}

bool Key(const std::string& keys) { return RunHostCommand("xdotool key " + keys).has_value(); }

// The visible popup menu window, or null.
HWND Popup() {
  HWND popup = FindWindowA("#32768", nullptr);
  return popup && IsWindowVisible(popup) ? popup : nullptr;
}

// Waits (on a helper thread) for a popup whose left edge is `left`.
bool PopupAt(LONG left) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < 8000) {
    RECT r{};
    if (HWND p = Popup(); p && GetWindowRect(p, &r) && r.left == left) return true;
  }
  return false;
}

BOOL CALLBACK CountPopup(HWND w, LPARAM count) {
  char cls[16] = {};
  GetClassNameA(w, cls, sizeof cls);
  if (lstrcmpA(cls, "#32768") == 0 && IsWindowVisible(w)) ++*reinterpret_cast<int*>(count);
  return TRUE;
}

// Waits for exactly `n` visible popup menus, none of them at `notLeft`.
bool PopupsShown(int n, LONG notLeft) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < 8000) {
    int count = 0;
    EnumWindows(CountPopup, reinterpret_cast<LPARAM>(&count));
    RECT r{};
    HWND top = Popup();
    if (count == n && !(top && GetWindowRect(top, &r) && r.left == notLeft)) return true;
  }
  return false;
}

bool NoPopup() {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < 8000)
    if (!Popup()) return true;
  return false;
}

bool PixelIs(POINT p, COLORREF code) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < 5000)
    if (ScreenPixel(p.x, p.y) == code) return true;
  return false;
}

// A popup tracks inside this thread's message handling: whatever the script left
// open is closed, so that this thread gets out of the popup's loop.
void RunBeside(const std::function<void()>& script) {
  skintest::RunBeside([&] {
    script();
    for (int i = 0; i < 5 && Popup(); ++i) RunHostCommand("xdotool key Escape");
  });
}

class MenuBarOnForm1 : public ::testing::Test {
 protected:
  void SetUp() override {
    skintest::StartSkinForms();
    static const bool registered = (RegisterControlClass(TMenuTestForm::StaticClass()), true);
    (void)registered;
    InstallChildDispatch();
    InstallMenuBar();
    AcquireSkinWorkBitmap();  // the frame and the bar draw through it
    form = skintest::MakeTestForm1<TMenuTestForm>("TMenuTestForm", data);
    ASSERT_TRUE(form && data);
    // File gets a second item ahead of Exit.
    auto* file = dynamic_cast<TMenuItem*>(form->FindComponent("FileMenu"));
    ASSERT_TRUE(file);
    open = new TMenuItem(form.get());
    open->SetCaption("&Open");
    open->OnClick = TNotifyEvent::Of<&TMenuTestForm::OpenClick>(form.get());
    file->Insert(0, open);
    // And a submenu after it.
    auto* recent = new TMenuItem(form.get());
    recent->SetCaption("&Recent");
    for (const char* caption : {"One", "Two"}) {
      auto* item = new TMenuItem(form.get());
      item->SetCaption(caption);
      recent->Add(item);
    }
    file->Insert(1, recent);
    form->SetBounds(40, 30, 900, 560);
    form->Show();
    skinner = skintest::ActivateTestSkinner(form.get(), data);
    ASSERT_TRUE(skinner);
    ASSERT_TRUE(PumpUntil([&] { return skinner->Active != 0; }));
    bar = SkinMenuOf(*skinner);
    ASSERT_TRUE(bar);
    ASSERT_EQ(bar->Buttons.size(), 2u);
    RedrawWindow(form->Handle(), nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
    ASSERT_TRUE(PumpUntil([&] { return bar->Buttons[0]->Rect.right > bar->Buttons[0]->Rect.left; }));
  }
  void TearDown() override {
    skinner.reset();
    form.reset();
    SetFormChildrenSeam(nullptr);
    SetFormMenuSeam(nullptr);
    ReleaseSkinWorkBitmap();
  }
  POINT ToScreen(POINT frame) {
    RECT w{};
    GetWindowRect(form->Handle(), &w);
    return {w.left + frame.x, w.top + frame.y};
  }
  // The screen point of a bar button's centre / its bottom-left corner.
  POINT Centre(int i) {
    const RECT& r = bar->Buttons[static_cast<size_t>(i)]->Rect;
    return ToScreen({(r.left + r.right) / 2, (r.top + r.bottom) / 2});
  }
  LONG PopupLeft(int i) { return ToScreen({bar->Buttons[static_cast<size_t>(i)]->Rect.left, 0}).x; }
  POINT BarBackground() {
    RECT w{};
    GetWindowRect(form->Handle(), &w);
    return ToScreen({w.right - w.left - skinner->BorderRight - 40, skinner->CaptionHeight + skinner->MenuBarHeight / 2});
  }
  // A window of its own class (procedure `proc`) with `menu` at `place`, skinned
  // with the test skin and its bar laid out. Fails the test at the first step that
  // does not work (the caller checks HasFatalFailure).
  struct TPlainWindow {
    HWND Window = nullptr;
    std::unique_ptr<TWinSkinForm> Skinner;
    TWinSkinMenu* Bar = nullptr;
  };
  void OpenPlainWindow(const char* className, WNDPROC proc, HMENU menu, const RECT& place, TPlainWindow& out) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = className;
    RegisterClassA(&wc);
    out.Window = CreateWindowExA(0, className, className, WS_OVERLAPPEDWINDOW | WS_VISIBLE, place.left, place.top,
                                 place.right - place.left, place.bottom - place.top, nullptr, menu, wc.hInstance,
                                 nullptr);
    ASSERT_TRUE(out.Window);
    out.Skinner = std::make_unique<TWinSkinForm>();
    out.Skinner->Hwnd = out.Window;
    out.Skinner->AttachHandle(data);
    PostMessageA(out.Window, kMsgActivateSkin, 0, 1000);
    ASSERT_TRUE(PumpUntil([&] { return out.Skinner->SkinActivated != 0; }));
    out.Bar = SkinMenuOf(*out.Skinner);
    ASSERT_TRUE(out.Bar);
    ASSERT_FALSE(out.Bar->Buttons.empty());
    RedrawWindow(out.Window, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
    ASSERT_TRUE(PumpUntil([&] { return out.Bar->Buttons[0]->Rect.right > out.Bar->Buttons[0]->Rect.left; }));
  }
  std::unique_ptr<TMenuTestForm> form;
  TSkinData* data = nullptr;
  TMenuItem* open = nullptr;
  std::unique_ptr<TWinSkinForm> skinner;
  TWinSkinMenu* bar = nullptr;
};

TEST_F(MenuBarOnForm1, BarIsPaintedFromTheSkinAndTakesTheMenuOff) {
  EXPECT_EQ(GetMenu(form->Handle()), nullptr);
  EXPECT_EQ(bar->Buttons[0]->Caption, L"&File");
  EXPECT_EQ(bar->Buttons[1]->Caption, L"&Help");
  EXPECT_LT(bar->Buttons[0]->Rect.right, bar->Buttons[1]->Rect.right);
  EXPECT_TRUE(PixelIs(BarBackground(), Code("Personality", "menuBar", 1, 4)));
  // Another window active: the second frame.
  HWND other = CreateWindowExA(0, "STATIC", "other", WS_POPUP | WS_VISIBLE, 0, 0, 60, 40, nullptr, nullptr, nullptr, nullptr);
  SetForegroundWindow(other);
  EXPECT_TRUE(PumpUntil([&] { return ScreenPixel(BarBackground().x, BarBackground().y) == Code("Personality", "menuBar", 2, 4); }));
  DestroyWindow(other);
  SetForegroundWindow(form->Handle());
  EXPECT_TRUE(PumpUntil([&] { return ScreenPixel(BarBackground().x, BarBackground().y) == Code("Personality", "menuBar", 1, 4); }));

  // The real pointer comes onto File from the bar's empty end: its one-pixel hot frame.
  // (Wine drops a move to the spot where it last saw the pointer, and an earlier
  // program may have left it on File, so the pointer first goes where we see it.)
  const RECT& file = bar->Buttons[0]->Rect;
  const POINT corner = ToScreen({file.left, file.top});
  const POINT empty = BarBackground();
  ASSERT_TRUE(RunHostCommand("xdotool mousemove " + std::to_string(empty.x) + " " + std::to_string(empty.y)));
  ASSERT_TRUE(PumpUntil([&] {
    POINT at{};
    return GetCursorPos(&at) && at.x == empty.x && at.y == empty.y;
  }));
  ASSERT_TRUE(RunHostCommand("xdotool mousemove " + std::to_string(Centre(0).x) + " " + std::to_string(Centre(0).y)));
  EXPECT_TRUE(PumpUntil([&] { return ScreenPixel(corner.x, corner.y) == SkinColourOf("ButtonHilight"); }));

  // A disabled top-level item is written in ButtonShadow; a new item rebuilds the
  // bar only while MenuUpdate is on.
  auto* help = dynamic_cast<TMenuItem*>(form->FindComponent("HelpMenu"));
  help->SetEnabled(false);
  ASSERT_TRUE(PumpUntil([&] { return bar->Buttons.size() == 2 && !bar->Buttons[1]->ItemEnabled; }));
  EXPECT_EQ(GetMenu(form->Handle()), nullptr);
  const RECT& h = bar->Buttons[1]->Rect;
  EXPECT_TRUE(PumpUntil([&] {
    HDC dc = GetWindowDC(form->Handle());
    bool found = false;
    for (int y = h.top; y < h.bottom && !found; ++y)
      for (int x = h.left; x < h.right && !found; ++x) found = GetPixel(dc, x, y) == SkinColourOf("ButtonShadow");
    ReleaseDC(form->Handle(), dc);
    return found;
  }));
  auto* menu = form->Menu();
  auto* tools = new TMenuItem(form.get());
  tools->SetCaption("&Tools");
  menu->Items()->Add(tools);
  EXPECT_TRUE(PumpUntil([&] { return bar->Buttons.size() == 3; }));
  data->MenuUpdate = false;
  auto* more = new TMenuItem(form.get());
  more->SetCaption("&More");
  menu->Items()->Add(more);
  PumpUntil([] { return false; }, 300);
  EXPECT_EQ(bar->Buttons.size(), 3u);
  EXPECT_EQ(GetMenu(form->Handle()), nullptr);
  data->MenuUpdate = true;
}

TEST_F(MenuBarOnForm1, ClickOpensThePopupWithSkinnedItems) {
  const RECT& file = bar->Buttons[0]->Rect;
  const POINT bottomLeft = ToScreen({file.left, file.bottom});
  HMENU sub = bar->Buttons[0]->SubMenu;
  ASSERT_TRUE(sub);
  bool placed = false, firstSelected = false, secondPlain = false, hovered = false, closed = false;
  RunBeside([&] {
    RunHostCommand("xdotool mousemove " + std::to_string(Centre(0).x) + " " + std::to_string(Centre(0).y) + " click 1");
    placed = PopupAt(bottomLeft.x);
    RECT popup{}, first{}, second{};
    GetWindowRect(Popup(), &popup);
    placed = placed && popup.top == bottomLeft.y;
    GetMenuItemRect(nullptr, sub, 0, &first);
    GetMenuItemRect(nullptr, sub, 2, &second);  // Exit, past the submenu
    auto at = [](const RECT& r) { return POINT{r.left + 10, (r.top + r.bottom) / 2}; };
    // The first item is selected on opening.
    firstSelected = PixelIs(at(first), Code("MenuItem", "Image", 4, 4));
    secondPlain = PixelIs(at(second), Code("MenuItem", "Image", 1, 4));
    RunHostCommand("xdotool mousemove " + std::to_string(at(second).x) + " " + std::to_string(at(second).y));
    hovered = PixelIs(at(second), Code("MenuItem", "Image", 4, 4));
    Key("Escape");
    closed = NoPopup();
  });
  EXPECT_TRUE(placed);
  EXPECT_TRUE(firstSelected);
  EXPECT_TRUE(secondPlain);
  EXPECT_TRUE(hovered);
  EXPECT_TRUE(closed);
  EXPECT_TRUE(PumpUntil([&] { return skinner->InMenuLoop == 0; }));
}

TEST_F(MenuBarOnForm1, KeysOpenAndSwitchPopups) {
  const LONG fileLeft = PopupLeft(0), helpLeft = PopupLeft(1);
  bool alt = false, right = false, wrap = false, esc = false, f10 = false, altF = false, sweep = false, chosen = false;
  const POINT away{Centre(0).x + 300, Centre(0).y + 200};
  RunHostCommand("xdotool mousemove " + std::to_string(away.x) + " " + std::to_string(away.y));
  RunBeside([&] {
    Key("alt");
    alt = PopupAt(fileLeft);
    Key("Right");
    right = PopupAt(helpLeft);
    Key("Right");
    wrap = PopupAt(fileLeft);
    Key("Escape");
    esc = NoPopup();
    Key("F10");
    f10 = PopupAt(fileLeft);
    // The pointer swept across the bar switches without a click.
    RunHostCommand("xdotool mousemove " + std::to_string(Centre(1).x) + " " + std::to_string(Centre(1).y));
    sweep = PopupAt(helpLeft);
    Key("Escape");
    NoPopup();
    Key("alt+f");
    altF = PopupAt(fileLeft);
    Key("Return");  // the selected first item: Open
    chosen = NoPopup();
  });
  EXPECT_TRUE(alt);
  EXPECT_TRUE(right);
  EXPECT_TRUE(wrap);
  EXPECT_TRUE(esc);
  EXPECT_TRUE(f10);
  EXPECT_TRUE(sweep);
  EXPECT_TRUE(altF);
  EXPECT_TRUE(chosen);
  EXPECT_TRUE(PumpUntil([&] { return form->opened == 1; }));
  PumpUntil([] { return false; }, 300);
  EXPECT_EQ(form->opened, 1);
}

// Freed blocks are filled with a pattern while a popup is open, so a button used
// after the menu change freed it faults instead of reading stale memory.
TMemoryManager beforePoison;
void PoisonedFree(void* block) {
  if (block) std::memset(block, 0xCC, _msize(block));
  beforePoison.FreeMem(block);
}

TEST_F(MenuBarOnForm1, MenuChangedInsideItsPopupRebuildsTheBarSafely) {
  auto* file = dynamic_cast<TMenuItem*>(form->FindComponent("FileMenu"));
  ASSERT_TRUE(file);
  form->Toggled = open;
  form->LoopFlag = &skinner->InMenuLoop;
  file->OnClick = TNotifyEvent::Of<&TMenuTestForm::FileClick>(form.get());
  const LONG fileLeft = PopupLeft(0), helpLeft = PopupLeft(1);
  GetMemoryManager(beforePoison);
  TMemoryManager poisoned = beforePoison;
  poisoned.FreeMem = &PoisonedFree;
  ASSERT_TRUE(SetMemoryManager(poisoned));
  bool changed = false, closed = false;
  RunHostCommand("xdotool mousemove " + std::to_string(Centre(0).x + 300) + " " + std::to_string(Centre(0).y + 200));
  RunBeside([&] {
    Key("alt+f");
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < 8000 && form->fileClicks == 0) {
    }
    changed = form->fileClicks == 1;
    // The rebuilt menu may have closed the popup already.
    if (Popup()) Key("Escape");
    closed = NoPopup();
  });
  SetMemoryManager(beforePoison);
  EXPECT_TRUE(changed);
  EXPECT_TRUE(form->clickedInLoop);  // File's click ran inside its popup's loop
  EXPECT_TRUE(closed);
  EXPECT_FALSE(open->Enabled());
  // The bar was rebuilt under the popup, and the new bar opens and switches as before.
  ASSERT_EQ(bar->Buttons.size(), 2u);
  EXPECT_TRUE(PumpUntil([&] { return skinner->InMenuLoop == 0; }));
  file->OnClick = {};
  bool again = false, help = false;
  RunBeside([&] {
    Key("alt");
    again = PopupAt(fileLeft);
    Key("Right");
    help = PopupAt(helpLeft);
    Key("Escape");
    NoPopup();
  });
  EXPECT_TRUE(again);
  EXPECT_TRUE(help);
}

// The bar's accelerators work while a control of the form has the focus.
TEST_F(MenuBarOnForm1, AltLetterOpensThePopupFromAFocusedEdit) {
  auto* edit = dynamic_cast<TWinControl*>(form->FindComponent("Edit1"));
  ASSERT_TRUE(edit);
  SetForegroundWindow(form->Handle());
  SetFocus(edit->Handle());
  ASSERT_TRUE(PumpUntil([&] { return GetFocus() == edit->Handle(); }));
  const LONG fileLeft = PopupLeft(0), helpLeft = PopupLeft(1);
  bool file = false, help = false;
  RunHostCommand("xdotool mousemove " + std::to_string(Centre(0).x + 300) + " " + std::to_string(Centre(0).y + 200));
  RunBeside([&] {
    Key("alt+f");
    file = PopupAt(fileLeft);
    Key("Escape");
    NoPopup();
    Key("alt+h");
    help = PopupAt(helpLeft);
    Key("Escape");
    NoPopup();
  });
  EXPECT_TRUE(file);
  EXPECT_TRUE(help);
}

// Form1's list view has a popup menu, drawn by the skin from the form's skinning on.
TEST_F(MenuBarOnForm1, ListViewPopupIsSkinnedFromTheStart) {
  auto* list = dynamic_cast<TWinControl*>(form->FindComponent("ListView1"));
  auto* popup = dynamic_cast<TPopupMenu*>(form->FindComponent("ListPopup"));
  ASSERT_TRUE(list && popup);
  ASSERT_EQ(list->PopupMenu(), popup);
  const POINT at = list->ClientToScreen({list->Width() / 2, list->Height() - 20});
  bool shown = false, drawn = false;
  RunBeside([&] {
    RunHostCommand("xdotool mousemove " + std::to_string(at.x) + " " + std::to_string(at.y) + " click 3");
    shown = PopupAt(at.x);
    RECT second{};
    GetMenuItemRect(nullptr, popup->Handle(), 1, &second);
    drawn = PixelIs({second.left + 10, (second.top + second.bottom) / 2}, Code("MenuItem", "Image", 1, 4));
    Key("Escape");
    NoPopup();
  });
  EXPECT_TRUE(shown);
  EXPECT_TRUE(drawn);
}

TEST_F(MenuBarOnForm1, ArrowsInsideASubmenuStayInIt) {
  const LONG fileLeft = PopupLeft(0), helpLeft = PopupLeft(1);
  bool opened = false, intoSubmenu = false, backOut = false, closed = false;
  RunHostCommand("xdotool mousemove " + std::to_string(Centre(0).x + 300) + " " + std::to_string(Centre(0).y + 200));
  RunBeside([&] {
    Key("alt");
    opened = PopupAt(fileLeft);
    Key("Down");  // Recent, which opens a submenu
    Key("Right");
    intoSubmenu = PopupsShown(2, helpLeft);
    Key("Left");  // inside the submenu: back to File, not to Help
    backOut = PopupsShown(1, helpLeft) && PopupAt(fileLeft);
    Key("Escape");
    closed = NoPopup();
  });
  EXPECT_TRUE(opened);
  EXPECT_TRUE(intoSubmenu);
  EXPECT_TRUE(backOut);
  EXPECT_TRUE(closed);
}

TEST_F(MenuBarOnForm1, SystemMenuItemsAndToolButtonsAreSkinned) {
  // Alt+Space: the skinned system menu's items are drawn from "MenuItem".
  bool shown = false, drawn = false;
  RunBeside([&] {
    RunHostCommand("xdotool mousemove " + std::to_string(Centre(0).x + 300) + " " + std::to_string(Centre(0).y + 200));
    Key("alt+space");
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < 8000 && !Popup()) {
    }
    shown = Popup() != nullptr;
    RECT r{};
    GetWindowRect(Popup(), &r);
    // Some item of the menu shows the element's first or selected frame.
    for (int y = r.top + 4; y < r.bottom - 4 && !drawn; y += 3) {
      const COLORREF c = ScreenPixel(r.left + 12, y);
      drawn = c == Code("MenuItem", "Image", 1, 4) || c == Code("MenuItem", "Image", 4, 4);
    }
    Key("Escape");
    NoPopup();
  });
  EXPECT_TRUE(shown);
  EXPECT_TRUE(drawn);

  // ToolBar1's handlers, drawn into a bitmap of the bar's size: "Buttons" frame 4
  // hot, 2 selected, nothing when disabled; the "Toolbar" image behind once
  // xoToolbarBK is cleared.
  auto* toolBar = dynamic_cast<TToolBar*>(form->FindComponent("ToolBar1"));
  ASSERT_TRUE(toolBar);
  ASSERT_TRUE(toolBar->OnCustomDrawButton);
  ASSERT_TRUE(toolBar->OnCustomDraw);
  RECT client{};
  GetClientRect(toolBar->Handle(), &client);
  TSkinDib target(client.right, client.bottom);
  TSelectedDC dc(target.Handle());
  toolBar->Canvas().SetHandle(dc.Handle());
  TToolButton* button = toolBar->Buttons(0);
  const RECT b = button->BoundsRect();
  const POINT edge{b.left + 3, (b.top + b.bottom) / 2};
  using S = TCustomDrawStateItem;
  auto buttonPixel = [&](TCustomDrawState state) {
    FillSolid(dc.Handle(), client, RGB(1, 2, 3));
    bool defaultDraw = true;
    toolBar->OnCustomDrawButton(toolBar, button, state, defaultDraw);
    return GetPixel(dc.Handle(), edge.x, edge.y);
  };
  EXPECT_EQ(buttonPixel(TCustomDrawState{S::cdsHot}), Code("Buttons", "Bitmap", 4, 3));
  EXPECT_EQ(buttonPixel(TCustomDrawState{S::cdsSelected, S::cdsHot}), Code("Buttons", "Bitmap", 2, 3));
  EXPECT_EQ(buttonPixel(TCustomDrawState{S::cdsDisabled}), RGB(1, 2, 3));
  EXPECT_EQ(buttonPixel(TCustomDrawState{}), RGB(1, 2, 3));

  bool defaultDraw = true;
  FillSolid(dc.Handle(), client, RGB(1, 2, 3));
  toolBar->OnCustomDraw(toolBar, client, defaultDraw);
  EXPECT_EQ(GetPixel(dc.Handle(), client.right / 2, client.bottom / 2), RGB(1, 2, 3));  // xoToolbarBK set
  data->Options.Exclude(TSkinOption::xoToolbarBK);
  toolBar->OnCustomDraw(toolBar, client, defaultDraw);
  const TPixelBuffer& image = data->Skin().Toolbar->Bitmap;
  const int y = client.bottom / 2;
  const uint32_t source = image.Pixels[static_cast<size_t>(y * image.Height / client.bottom) * image.Width];
  const COLORREF seen = GetPixel(dc.Handle(), client.right / 2, y);
  EXPECT_LE(std::abs(GetRValue(seen) - static_cast<int>((source >> 16) & 0xFF)), 2);
  EXPECT_LE(std::abs(GetGValue(seen) - static_cast<int>((source >> 8) & 0xFF)), 2);
  EXPECT_LE(std::abs(GetBValue(seen) - static_cast<int>(source & 0xFF)), 2);
  toolBar->Canvas().SetHandle(nullptr);
}


// ToolBar1 under the real pointer: the window's own hot item and pressed button reach
// the skin's handler ("Buttons" frame 4 hot, 2 held), and a click runs the button once.
TEST_F(MenuBarOnForm1, ToolButtonsFollowTheRealPointer) {
  auto* toolBar = dynamic_cast<TToolBar*>(form->FindComponent("ToolBar1"));
  ASSERT_TRUE(toolBar);
  TToolButton* button = toolBar->Buttons(1);
  const int& clicks = form->opened;
  button->OnClick = TNotifyEvent::Of<&TMenuTestForm::OpenClick>(form.get());
  const RECT b = button->BoundsRect();
  const POINT centre = toolBar->ClientToScreen({(b.left + b.right) / 2, (b.top + b.bottom) / 2});
  const POINT edge = toolBar->ClientToScreen({b.left + 3, (b.top + b.bottom) / 2});
  const POINT away = toolBar->ClientToScreen({b.left + 2, b.bottom + 60});
  auto move = [](POINT p) {
    return RunHostCommand("xdotool mousemove " + std::to_string(p.x) + " " + std::to_string(p.y)).has_value();
  };
  auto shows = [&](COLORREF code) { return PumpUntil([&] { return ScreenPixel(edge.x, edge.y) == code; }, 5000); };
  ASSERT_TRUE(move(away));
  EXPECT_TRUE(PumpUntil([&] { return SendMessageW(toolBar->Handle(), TB_GETHOTITEM, 0, 0) < 0; }, 5000));
  EXPECT_NE(ScreenPixel(edge.x, edge.y), Code("Buttons", "Bitmap", 4, 3));
  ASSERT_TRUE(move(centre));
  EXPECT_TRUE(PumpUntil([&] { return SendMessageW(toolBar->Handle(), TB_GETHOTITEM, 0, 0) == 1; }, 5000));
  EXPECT_TRUE(shows(Code("Buttons", "Bitmap", 4, 3)));
  ASSERT_TRUE(RunHostCommand("xdotool mousedown 1"));
  EXPECT_TRUE(shows(Code("Buttons", "Bitmap", 2, 3)));
  EXPECT_EQ(clicks, 0);
  ASSERT_TRUE(RunHostCommand("xdotool mouseup 1"));
  EXPECT_TRUE(shows(Code("Buttons", "Bitmap", 4, 3)));
  EXPECT_TRUE(PumpUntil([&] { return clicks == 1; }, 5000));
  // Leaving the bar takes the hot frame off.
  ASSERT_TRUE(move(away));
  EXPECT_TRUE(PumpUntil([&] { return ScreenPixel(edge.x, edge.y) != Code("Buttons", "Bitmap", 4, 3); }, 5000));
  EXPECT_EQ(clicks, 1);
  button->OnClick = {};
}

// An MDI frame whose active child is maximized carries the child's caption buttons
// in its skinned bar: drawn from the skin's MDI images, hot and pressed under the
// real pointer, and each acting on the child.
TEST_F(MenuBarOnForm1, MaximizedMdiChildsButtonsSitInTheFramesBar) {
  TCustomForm* mainForm = Application->MainForm();
  auto frameForm = std::make_unique<TForm>();
  frameForm->SetFormStyle(TFormStyle::fsMDIForm);
  auto* mainMenu = new TMainMenu(frameForm.get());
  for (const char* caption : {"&Lesson", "&Window"}) {
    auto* top = new TMenuItem(frameForm.get());
    top->SetCaption(caption);
    auto* item = new TMenuItem(frameForm.get());
    item->SetCaption("Item");
    top->Add(item);
    mainMenu->Items()->Add(top);
  }
  frameForm->SetMenu(mainMenu);
  frameForm->SetBounds(80, 60, 640, 420);
  frameForm->Show();
  Application->SetMainForm(frameForm.get());
  struct TRestoreMain {
    TCustomForm* form;
    ~TRestoreMain() { Application->SetMainForm(form); }
  } restoreMain{mainForm};
  auto frame = skintest::ActivateTestSkinner(frameForm.get(), data);
  ASSERT_TRUE(frame);
  TWinSkinMenu* frameBar = SkinMenuOf(*frame);
  ASSERT_TRUE(frameBar);
  ASSERT_EQ(frameBar->Buttons.size(), 2u);

  auto childForm = std::make_unique<TForm>();
  childForm->SetFormStyle(TFormStyle::fsMDIChild);
  childForm->SetBounds(0, 0, 240, 160);
  childForm->Show();
  const HWND child = childForm->Handle();
  auto childSkinner = std::make_unique<TWinSkinForm>();
  childSkinner->Hwnd = child;
  childSkinner->AttachForm(data, childForm.get());
  PostMessageA(child, kMsgActivateSkin, 0, 1000);
  ASSERT_TRUE(PumpUntil([&] { return childSkinner->SkinActivated != 0; }));
  SetForegroundWindow(frameForm->Handle());

  std::vector<TWinSysButton*> mdi;
  for (const auto& object : frame->SysButtons)
    if (auto* b = dynamic_cast<TWinSysButton*>(object.get()); b && b->Data && b->Data->Visibility == 100) mdi.push_back(b);
  ASSERT_EQ(mdi.size(), 3u);  // minimize, restore, close of the active child
  auto allShown = [&](bool shown) {
    for (TWinSysButton* b : mdi)
      if ((b->Visible != 0) != shown) return false;
    return true;
  };
  auto centreOf = [&](int i) {
    RECT w{};
    GetWindowRect(frameForm->Handle(), &w);
    const RECT& r = mdi[static_cast<size_t>(i)]->Rect;
    return POINT{w.left + (r.left + r.right) / 2, w.top + (r.top + r.bottom) / 2};
  };
  // Frame k of button i: the skin's MDI strip holds four frames per button.
  auto face = [](int i, int k) { return Code("MDICONTROLS", "Image", 4 * i + k, 4); };
  auto maximize = [&] {
    SendMessageW(frameForm->ClientHandle(), WM_MDIMAXIMIZE, reinterpret_cast<WPARAM>(child), 0);
    SetForegroundWindow(frameForm->Handle());
    return PumpUntil([&] { return IsZoomed(child) && allShown(true) && PixelIs(centreOf(0), face(0, 1)); });
  };
  auto click = [&](int i) {
    const POINT p = centreOf(i);
    return RunHostCommand("xdotool mousemove " + std::to_string(p.x) + " " + std::to_string(p.y) + " click 1").has_value();
  };
  EXPECT_TRUE(allShown(false));  // a child that is not maximized keeps its own buttons

  ASSERT_TRUE(maximize());
  for (int i = 0; i < 3; ++i) {
    const RECT& r = mdi[static_cast<size_t>(i)]->Rect;
    EXPECT_GE(r.top, frame->CaptionHeight) << i;
    EXPECT_LE(r.bottom, frame->CaptionHeight + frame->MenuBarHeight) << i;
    EXPECT_GT(r.left, frameBar->Buttons.back()->Rect.right) << i;
    EXPECT_TRUE(PixelIs(centreOf(i), face(i, 1))) << i;
  }
  // Hot under the pointer, pressed while held; the child stays maximized until the
  // button is released over it.
  const POINT close = centreOf(2);
  ASSERT_TRUE(RunHostCommand("xdotool mousemove " + std::to_string(close.x) + " " + std::to_string(close.y)));
  EXPECT_TRUE(PumpUntil([&] { return ScreenPixel(close.x, close.y) == face(2, 4); }, 5000));
  ASSERT_TRUE(RunHostCommand("xdotool mousedown 1"));
  EXPECT_TRUE(PumpUntil([&] { return ScreenPixel(close.x, close.y) == face(2, 2); }, 5000));
  EXPECT_TRUE(IsWindowVisible(child));
  ASSERT_TRUE(RunHostCommand("xdotool mouseup 1"));
  EXPECT_TRUE(PumpUntil([&] { return !IsWindowVisible(child); }));  // the child's form closed

  // Minimize and restore act on the child, and its buttons leave the bar.
  childForm->Show();
  ASSERT_TRUE(maximize());
  ASSERT_TRUE(click(0));
  EXPECT_TRUE(PumpUntil([&] { return IsIconic(child) != FALSE; }));
  EXPECT_TRUE(PumpUntil([&] { return allShown(false) && ScreenPixel(centreOf(0).x, centreOf(0).y) != face(0, 1); }));
  ASSERT_TRUE(maximize());
  ASSERT_TRUE(click(1));
  EXPECT_TRUE(PumpUntil([&] { return !IsZoomed(child) && !IsIconic(child) && allShown(false); }));
  EXPECT_TRUE(IsWindowVisible(child));

  childSkinner.reset();
  childForm.reset();
  frame.reset();
  frameForm.reset();
}


TEST_F(MenuBarOnForm1, RightToLeftBarRunsFromTheRightAndSwapsTheArrows) {
  form->BiDiMode = TBiDiMode::bdRightToLeft;
  RedrawWindow(form->Handle(), nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
  RECT wr{};
  GetWindowRect(form->Handle(), &wr);
  const int barRight = wr.right - wr.left - skinner->BorderRight;
  ASSERT_TRUE(PumpUntil([&] { return bar->Buttons[0]->Rect.right > barRight / 2; }));
  EXPECT_GT(bar->Buttons[0]->Rect.left, bar->Buttons[1]->Rect.left);
  EXPECT_EQ(bar->Buttons[0]->Rect.left, bar->Buttons[1]->Rect.right);
  // A popup opens right-aligned under its button; Left goes to the next button.
  const LONG fileRight = ToScreen({bar->Buttons[0]->Rect.right, 0}).x;
  const LONG helpRight = ToScreen({bar->Buttons[1]->Rect.right, 0}).x;
  auto popupRightAt = [](LONG right) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < 8000) {
      RECT r{};
      if (HWND p = Popup(); p && GetWindowRect(p, &r) && r.right == right) return true;
    }
    return false;
  };
  bool file = false, help = false;
  RunHostCommand("xdotool mousemove " + std::to_string(Centre(0).x - 300) + " " + std::to_string(Centre(0).y + 200));
  RunBeside([&] {
    Key("alt");
    file = popupRightAt(fileRight);
    Key("Left");
    help = popupRightAt(helpRight);
    Key("Escape");
    NoPopup();
  });
  EXPECT_TRUE(file);
  EXPECT_TRUE(help);
}

// A plain window with a menu of its own: its popup item has the submenu handle as
// identifier and posts no command; its items, unknown to any form, are drawn from
// the menu's own texts with the "MenuItem" element.
std::vector<WPARAM> plainCommands;
LRESULT CALLBACK PlainProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (m == WM_COMMAND) plainCommands.push_back(wp);
  return DefWindowProcA(w, m, wp, lp);
}

TEST_F(MenuBarOnForm1, PlainWindowsMenuPostsOnlyRealCommands) {
  HMENU menu = CreateMenu(), sub = CreatePopupMenu();
  AppendMenuA(sub, MF_STRING, 201, "&Alpha");
  AppendMenuA(sub, MF_STRING, 202, "&Beta");
  AppendMenuA(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(sub), "&Letters");
  AppendMenuA(menu, MF_STRING, 203, "&Go");
  TPlainWindow opened;
  OpenPlainWindow("VelmoraPlainMenuWindow", PlainProc, menu, {120, 120, 520, 420}, opened);
  ASSERT_FALSE(HasFatalFailure());
  HWND window = opened.Window;
  std::unique_ptr<TWinSkinForm>& plain = opened.Skinner;
  TWinSkinMenu* plainBar = opened.Bar;
  SetForegroundWindow(window);
  ASSERT_EQ(plainBar->Buttons.size(), 2u);
  EXPECT_EQ(GetMenu(window), nullptr);
  RECT wr{};
  GetWindowRect(window, &wr);
  const RECT& letters = plainBar->Buttons[0]->Rect;
  const POINT at{wr.left + (letters.left + letters.right) / 2, wr.top + (letters.top + letters.bottom) / 2};
  plainCommands.clear();
  bool drawn = false;
  int itemHeight = 0;
  RunBeside([&] {
    RunHostCommand("xdotool mousemove " + std::to_string(at.x) + " " + std::to_string(at.y) + " click 1");
    if (!PopupAt(wr.left + letters.left)) return;
    RECT second{};
    GetMenuItemRect(nullptr, sub, 1, &second);
    itemHeight = second.bottom - second.top;
    drawn = PixelIs({second.left + 10, (second.top + second.bottom) / 2}, Code("MenuItem", "Image", 1, 4));
    Key("Escape");
    NoPopup();
  });
  EXPECT_TRUE(drawn);
  // Measured from its text: the text's height and 4, whatever the system's row.
  HDC screen = GetDC(nullptr);
  HGDIOBJ oldFont = SelectObject(screen, MenuFont(false));
  SIZE text{};
  GetTextExtentPoint32W(screen, L"&Beta", 5, &text);
  SelectObject(screen, oldFont);
  ReleaseDC(nullptr, screen);
  EXPECT_EQ(itemHeight, text.cy + 4);
  PumpUntil([] { return false; }, 300);
  EXPECT_TRUE(plainCommands.empty()) << plainCommands.front();
  // A plain item posts its own command.
  PostMessageA(window, kMsgMenuBarPopup, 0,
               MAKELPARAM(wr.left + plainBar->Buttons[1]->Rect.left + 2, wr.top + plainBar->Buttons[1]->Rect.top + 2));
  EXPECT_TRUE(PumpUntil([&] { return plainCommands.size() == 1; }));
  if (!plainCommands.empty()) EXPECT_EQ(plainCommands[0], 203u);
  plain.reset();
  DestroyWindow(window);
}


void CALLBACK CloseShownPopup(HWND, UINT, UINT_PTR id, DWORD) {
  if (!Popup()) return;
  KillTimer(nullptr, id);
  EndMenu();
}

// A plain window's bar popup, opened skinned, shows its own texts once the skin is
// off; a destroyed menu is forgotten by the next marking.
TEST_F(MenuBarOnForm1, SkinOffGivesThePopupsTheirTextsBack) {
  HMENU menu = CreateMenu(), sub = CreatePopupMenu(), inner = CreatePopupMenu();
  AppendMenuA(inner, MF_STRING, 402, "&Deep");
  AppendMenuA(sub, MF_STRING, 401, "&Alpha\tCtrl+A");
  AppendMenuA(sub, MF_POPUP, reinterpret_cast<UINT_PTR>(inner), "&Inner");
  AppendMenuA(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(sub), "&Letters");
  TPlainWindow opened;
  OpenPlainWindow("VelmoraUnskinMenuWindow", DefWindowProcA, menu, {130, 130, 530, 430}, opened);
  ASSERT_FALSE(HasFatalFailure());
  HWND window = opened.Window;
  std::unique_ptr<TWinSkinForm>& plain = opened.Skinner;
  TWinSkinMenu* plainBar = opened.Bar;
  const UINT_PTR timer = SetTimer(nullptr, 0, 50, CloseShownPopup);
  plainBar->OpenButton(plainBar->Buttons[0].get());
  KillTimer(nullptr, timer);
  auto ownerDrawn = [](HMENU m, UINT id) {
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE;
    return GetMenuItemInfoW(m, id, FALSE, &info) && (info.fType & MFT_OWNERDRAW) != 0;
  };
  auto text = [](HMENU m, UINT id) {
    wchar_t t[40] = {};
    GetMenuStringW(m, id, t, 40, MF_BYCOMMAND);
    return std::wstring(t);
  };
  ASSERT_TRUE(ownerDrawn(sub, 401));
  ASSERT_TRUE(ownerDrawn(inner, 402));
  plain->Unskin();
  EXPECT_EQ(GetMenu(window), menu);
  EXPECT_FALSE(ownerDrawn(sub, 401));
  EXPECT_FALSE(ownerDrawn(inner, 402));
  EXPECT_EQ(text(sub, 401), L"&Alpha\tCtrl+A");
  EXPECT_EQ(text(inner, 402), L"&Deep");
  EXPECT_FALSE(IsPopupMarked(sub));
  plain.reset();
  DestroyWindow(window);

  HMENU loose = CreatePopupMenu(), other = CreatePopupMenu();
  AppendMenuA(loose, MF_STRING, 403, "Loose");
  MakePopupOwnerDrawn(loose);
  EXPECT_TRUE(IsPopupMarked(loose));
  DestroyMenu(loose);
  MakePopupOwnerDrawn(other);
  EXPECT_FALSE(IsPopupMarked(loose));
  DestroyMenu(other);
}

// The window goes while its popup is tracked: nothing of the freed bar is touched,
// the hook goes, and the next bar's popups switch as before.
HWND doomed = nullptr;
void CALLBACK DestroyDoomed(HWND, UINT, UINT_PTR id, DWORD) {
  if (!Popup() || !doomed) return;
  KillTimer(nullptr, id);
  DestroyWindow(doomed);
  doomed = nullptr;
}

TEST_F(MenuBarOnForm1, WindowDestroyedWhileItsPopupIsOpen) {
  HMENU menu = CreateMenu(), sub = CreatePopupMenu();
  AppendMenuA(sub, MF_STRING, 301, "&Stay");
  AppendMenuA(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(sub), "&Doomed");
  TPlainWindow opened;
  OpenPlainWindow("VelmoraDoomedMenuWindow", DefWindowProcA, menu, {150, 150, 450, 350}, opened);
  ASSERT_FALSE(HasFatalFailure());
  HWND window = opened.Window;
  std::unique_ptr<TWinSkinForm>& plain = opened.Skinner;
  TWinSkinMenu* doomedBar = opened.Bar;
  doomed = window;
  const UINT_PTR timer = SetTimer(nullptr, 0, 50, DestroyDoomed);
  doomedBar->OpenButton(doomedBar->Buttons[0].get());  // returns once the window went
  KillTimer(nullptr, timer);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(SkinMenuOf(*plain), nullptr);
  plain.reset();

  SetForegroundWindow(form->Handle());
  const LONG fileLeft = PopupLeft(0), helpLeft = PopupLeft(1);
  bool file = false, help = false;
  RunHostCommand("xdotool mousemove " + std::to_string(Centre(0).x + 300) + " " + std::to_string(Centre(0).y + 200));
  RunBeside([&] {
    Key("alt");
    file = PopupAt(fileLeft);
    Key("Right");
    help = PopupAt(helpLeft);
    Key("Escape");
    NoPopup();
  });
  EXPECT_TRUE(file);
  EXPECT_TRUE(help);
}

}  // namespace
}  // namespace skin
