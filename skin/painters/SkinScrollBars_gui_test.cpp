// The scroll-bar painters on the host program's Form1 with the frame-coded test
// skin: each overlay lies on the system's bar and shows the skin's frames, and input
// on an overlay scrolls its control as the same input scrolls an unskinned twin.
#include "skin/painters/SkinScrollBars_win.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "classlib/ComCtrls_win.h"
#include "classlib/ControlClasses.h"
#include "classlib/ExtCtrls_win.h"
#include "classlib/Layout.h"
#include "classlib/StdCtrls_win.h"
#include "skin/forms/SkinTestForm1_win.h"
#include "skin/forms/SkinDispatch_win.h"
#include "skin/forms/WinSkinForm.h"
#include "tests/support/GuiProbe_win.h"
#include "tests/support/TestPaths.h"

using velmora::test::PumpUntil;
using velmora::test::RunHostCommand;
using velmora::test::ScreenPixel;

namespace skin {
namespace {

class TScrollTestForm : public TForm {
  VELMORA_CLASS(TScrollTestForm, TForm)
  VELMORA_PUBLISHED(TScrollTestForm)
 public:
  explicit TScrollTestForm(TComponent* owner = nullptr) : TForm(owner) {}
  void ExitItemClick(TObject*) {}
  void RaiseItemClick(TObject*) {}
};
VELMORA_PUBLISH(TScrollTestForm) {
  p.Method<&TScrollTestForm::ExitItemClick>("ExitItemClick").Method<&TScrollTestForm::RaiseItemClick>("RaiseItemClick");
}

COLORREF Code(const char* section, int k, int slice) { return skintest::PixelCode(section, "Image", k, slice); }

std::vector<std::string> Numbered(const char* stem, int n) {
  std::vector<std::string> items;
  for (int i = 0; i < n; ++i) items.push_back(stem + std::to_string(i));
  return items;
}

void MovePointer(POINT p) {
  ASSERT_TRUE(RunHostCommand("xdotool mousemove " + std::to_string(p.x) + " " + std::to_string(p.y)));
}

// A press on a scroll bar runs the control's modal tracking inside this thread.
using skintest::RunBeside;

int TopIndex(HWND list) { return static_cast<int>(SendMessageW(list, LB_GETTOPINDEX, 0, 0)); }

class ScrollBarsOnForm1 : public ::testing::Test {
 protected:
  void SetUp() override {
    skintest::StartSkinForms();
    static const bool registered = (RegisterControlClass(TScrollTestForm::StaticClass()), true);
    (void)registered;
    InstallChildDispatch();
    form = skintest::MakeTestForm1<TScrollTestForm>("TScrollTestForm", data);
    ASSERT_TRUE(form && data);
    form->SetBounds(0, 0, 1024, 600);
    list = dynamic_cast<TListBox*>(form->FindComponent("ListBox1"));
    ASSERT_TRUE(list);
    list->SetItems(Numbered("Item ", 25));
    // The unskinned twin: the disable tag keeps the skin off it.
    twin = new TListBox(form.get());
    twin->SetParent(form.get());
    twin->SetTag(data->DisableTag);
    twin->SetBounds(list->Left(), list->Top() + list->Height() + 40, list->Width(), list->Height());
    twin->SetItems(Numbered("Item ", 25));
    form->Show();
    skinner = skintest::ActivateTestSkinner(form.get(), data);
    ASSERT_TRUE(skinner);
    painter = PainterOf(list);
    ASSERT_TRUE(painter);
    ASSERT_TRUE(painter->VertBar);
    ASSERT_TRUE(PumpUntil([&] { return painter->VertBar->Shown != 0; }));
  }
  void TearDown() override {
    skinner.reset();
    form.reset();
    SetFormChildrenSeam(nullptr);
  }
  TSkinScrollbar* PainterOf(TControl* control) {
    for (TSkinControl* p : skinner->Painters())
      if (p->Owner() == control) return dynamic_cast<TSkinScrollbar*>(p);
    return nullptr;
  }
  static SCROLLBARINFO Bar(HWND window) {
    SCROLLBARINFO info{};
    info.cbSize = sizeof info;
    GetScrollBarInfo(window, OBJID_VSCROLL, &info);
    return info;
  }
  // A point of the bar, `along` pixels from its top, in its middle column (screen).
  static POINT BarPoint(HWND window, int along) {
    const RECT r = Bar(window).rcScrollBar;
    return {(r.left + r.right) / 2, along >= 0 ? r.top + along : r.bottom + along};
  }
  ::testing::AssertionResult Shows(POINT p, COLORREF code) {
    if (PumpUntil([&] { return ScreenPixel(p.x, p.y) == code; }, 5000)) return ::testing::AssertionSuccess();
    char text[120];
    const COLORREF seen = ScreenPixel(p.x, p.y);
    std::snprintf(text, sizeof text, "at (%ld, %ld): %06lx, not %06lx", p.x, p.y, seen, code);
    return ::testing::AssertionFailure() << text;
  }
  std::unique_ptr<TScrollTestForm> form;
  TSkinData* data = nullptr;
  TListBox* list = nullptr;
  TListBox* twin = nullptr;
  std::unique_ptr<TWinSkinForm> skinner;
  TSkinScrollbar* painter = nullptr;
};

TEST_F(ScrollBarsOnForm1, OverlayLiesOnTheBarAndShowsTheSkinFrames) {
  const HWND h = list->Handle();
  EXPECT_EQ(std::string(painter->ClassName()), "TSkinScrollbar");
  RECT overlay{};
  GetWindowRect(painter->VertBar->Handle(), &overlay);
  const RECT bar = Bar(h).rcScrollBar;
  EXPECT_TRUE(EqualRect(&overlay, &bar));
  EXPECT_FALSE(painter->HorzBar->Shown);  // the list has no horizontal bar
  EXPECT_EQ(SendMessageW(painter->VertBar->Handle(), kMsgIsSkinned, 0, 0), 1);

  const int arrow = GetSystemMetrics(SM_CXVSCROLL);
  const SCROLLBARINFO info = Bar(h);
  EXPECT_TRUE(Shows(BarPoint(h, arrow / 2), Code("Scrollbar", 9, 4)));    // up arrow
  EXPECT_TRUE(Shows(BarPoint(h, -arrow / 2), Code("Scrollbar", 13, 4)));  // down arrow
  EXPECT_TRUE(Shows(BarPoint(h, -arrow - 6), Code("VertScroll", 1, 4)));  // track
  EXPECT_TRUE(Shows(BarPoint(h, info.xyThumbTop + 1), Code("VertScrollThumb", 1, 1)));

  // The real pointer: a hot arrow, then a hot thumb.
  MovePointer(BarPoint(h, -arrow / 2));
  EXPECT_TRUE(Shows(BarPoint(h, -arrow / 2), Code("Scrollbar", 16, 4)));
  MovePointer(BarPoint(h, info.xyThumbTop + 1));
  EXPECT_TRUE(Shows(BarPoint(h, info.xyThumbTop + 1), Code("VertScrollThumb", 3, 1)));
  EXPECT_TRUE(Shows(BarPoint(h, -arrow / 2), Code("Scrollbar", 13, 4)));

  // Held: the pressed arrow, while the list's own tracking runs.
  const POINT down = BarPoint(h, -arrow / 2);
  MovePointer(down);
  std::atomic<bool> sawPressed{false};
  RunBeside([&] {
    RunHostCommand("xdotool mousedown 1");
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < 5000 && !sawPressed)
      sawPressed = ScreenPixel(down.x, down.y) == Code("Scrollbar", 14, 4);
    RunHostCommand("xdotool mouseup 1");
  });
  EXPECT_TRUE(sawPressed);

  // Disabled: the track's third frame and no thumb.
  list->SetEnabled(false);
  EXPECT_TRUE(Shows(BarPoint(h, -arrow - 6), Code("VertScroll", 3, 4)));
  EXPECT_TRUE(Shows(BarPoint(h, (info.xyThumbTop + info.xyThumbBottom) / 2), Code("VertScroll", 3, 4)));
  list->SetEnabled(true);

  // Hiding the control hides its overlay; showing it shows it again.
  list->SetVisible(false);
  EXPECT_FALSE(IsWindowVisible(painter->VertBar->Handle()));
  list->SetVisible(true);
  EXPECT_TRUE(PumpUntil([&] { return IsWindowVisible(painter->VertBar->Handle()) != FALSE; }));
}

TEST_F(ScrollBarsOnForm1, InputOnTheOverlayScrollsAsOnTheTwin) {
  const HWND h = list->Handle(), t = twin->Handle();
  const int arrow = GetSystemMetrics(SM_CXVSCROLL);
  auto clickBoth = [&](int along) {
    for (HWND w : {h, t}) {
      const POINT p = BarPoint(w, along);
      ASSERT_TRUE(RunHostCommand("xdotool mousemove " + std::to_string(p.x) + " " + std::to_string(p.y) + " click 1"));
      PumpUntil([] { return false; }, 300);  // let the press and release through
    }
  };
  // An arrow click, then a page click below the thumb.
  clickBoth(-arrow / 2);
  EXPECT_TRUE(PumpUntil([&] { return TopIndex(h) == TopIndex(t) && TopIndex(t) > 0; }));
  EXPECT_EQ(TopIndex(h), TopIndex(t));
  clickBoth(-arrow - 4);
  EXPECT_TRUE(PumpUntil([&] { return TopIndex(h) == TopIndex(t) && TopIndex(t) > 1; }));
  EXPECT_EQ(TopIndex(h), TopIndex(t));

  // A thumb drag of 40 pixels, each step once the list tracks the mouse.
  const DWORD gui = GetCurrentThreadId();
  for (HWND w : {h, t}) {
    const POINT p = BarPoint(w, Bar(w).xyThumbTop + 2);
    RunBeside([&] {
      auto capturedBy = [&](HWND window) {
        const DWORD start = GetTickCount();
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        while (GetTickCount() - start < 5000)
          if (GetGUIThreadInfo(gui, &info) && info.hwndCapture == window) return true;
        return false;
      };
      RunHostCommand("xdotool mousemove " + std::to_string(p.x) + " " + std::to_string(p.y) + " mousedown 1");
      EXPECT_TRUE(capturedBy(w));
      RunHostCommand("xdotool mousemove " + std::to_string(p.x) + " " + std::to_string(p.y + 20));
      RunHostCommand("xdotool mousemove " + std::to_string(p.x) + " " + std::to_string(p.y + 40));
      RunHostCommand("xdotool mouseup 1");
    });
  }
  EXPECT_TRUE(PumpUntil([&] { return TopIndex(h) == TopIndex(t); }));
  EXPECT_EQ(TopIndex(h), TopIndex(t));
  EXPECT_GT(TopIndex(t), 2);

  // The wheel scrolls (up: the drag went far down) and the overlay follows the thumb.
  const int before = TopIndex(h);
  const POINT inside = list->ClientToScreen({20, 20});
  ASSERT_TRUE(RunHostCommand("xdotool mousemove " + std::to_string(inside.x) + " " + std::to_string(inside.y) + " click 4"));
  EXPECT_TRUE(PumpUntil([&] { return TopIndex(h) < before; }));
  const SCROLLBARINFO now = Bar(h);
  EXPECT_TRUE(Shows(BarPoint(h, now.xyThumbTop + 1), Code("VertScrollThumb", 1, 1)));
}

TEST_F(ScrollBarsOnForm1, RecreatedWindowGetsAFreshPainterAndNoStaleOverlay) {
  const uint64_t moves = ScrollOverlayRepositions();
  for (int i = 0; i < 5; ++i) SendMessageW(list->Handle(), WM_VSCROLL, SB_LINEDOWN, 0);
  EXPECT_EQ(ScrollOverlayRepositions(), moves);  // scrolling moves no overlay

  const HWND oldOverlay = painter->VertBar->Handle();
  list->RecreateWnd();
  EXPECT_TRUE(PumpUntil([&] {
    TSkinScrollbar* fresh = PainterOf(list);
    return fresh && fresh->Handle == list->Handle() && fresh->VertBar && fresh->VertBar->Shown;
  }));
  EXPECT_FALSE(IsWindow(oldOverlay));
  TSkinScrollbar* fresh = PainterOf(list);
  ASSERT_TRUE(fresh);
  RECT overlay{};
  GetWindowRect(fresh->VertBar->Handle(), &overlay);
  const RECT bar = Bar(list->Handle()).rcScrollBar;
  EXPECT_TRUE(EqualRect(&overlay, &bar));
  // One painter for the list in the skinner's list, and 0x3517 for a window that
  // has none changes nothing.
  int count = 0;
  for (TSkinControl* p : skinner->Painters()) count += p->Owner() == list;
  EXPECT_EQ(count, 1);
  const size_t painters = skinner->Painters().size();
  SendMessageW(form->Handle(), 0x3517, reinterpret_cast<WPARAM>(twin->Handle()), 0);
  EXPECT_EQ(skinner->Painters().size(), painters);
}

}  // namespace
}  // namespace skin

namespace skin {
namespace {

// A drop-down list's bar painted in place, its thumb dragged by the painter's own
// loop: the position the pure formula gives; the loop ends on the button's release,
// on WM_CANCELMODE and on WM_QUIT (which it posts again).
TEST_F(ScrollBarsOnForm1, ComboListBarIsPaintedAndTrackedInPlace) {
  auto* combo = new TComboBox(form.get());
  combo->SetParent(form.get());
  combo->SetTag(data->DisableTag);  // the list alone gets the painter here
  combo->SetStyle(TComboBoxStyle::csDropDownList);
  combo->SetBounds(300, 420, 160, 24);
  combo->SetItems(Numbered("Choice ", 40));
  COMBOBOXINFO info{};
  info.cbSize = sizeof info;
  ASSERT_TRUE(GetComboBoxInfo(combo->Handle(), &info));
  const HWND list = info.hwndList;
  auto* bar = new TComboxScrollBar(form.get());
  bar->AttachWindow(list, data, skinner.get(), skinner->Canvas2.get());
  // A combo box's window height sets its drop-down's: room for about ten choices.
  SetWindowPos(combo->Handle(), nullptr, 0, 0, 160, 170, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  SendMessageW(combo->Handle(), CB_SHOWDROPDOWN, TRUE, 0);
  ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(list) != FALSE; }));
  ASSERT_FALSE(Bar(list).rgstate[0] & STATE_SYSTEM_INVISIBLE);
  const int arrow = GetSystemMetrics(SM_CXVSCROLL);
  EXPECT_TRUE(Shows(BarPoint(list, arrow / 2), Code("Scrollbar", 9, 4)));

  // A drag of 30 pixels from the thumb.
  const SCROLLBARINFO before = Bar(list);
  SCROLLINFO si{};
  si.cbSize = sizeof si;
  si.fMask = SIF_ALL;
  ASSERT_TRUE(GetScrollInfo(list, SB_VERT, &si));
  const int length = before.rcScrollBar.bottom - before.rcScrollBar.top;
  const int32_t expected = ComboTrackPosition(before.xyThumbTop - arrow, 30, length - 2 * arrow,
                                              before.xyThumbBottom - before.xyThumbTop,
                                              {si.nMin, si.nMax, static_cast<int32_t>(si.nPage), si.nPos});
  ASSERT_GT(expected, 0);
  const POINT thumb = BarPoint(list, before.xyThumbTop + 2);
  auto waitTracking = [&](bool on) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < 5000)
      if (bar->Tracking == on) return true;
    return false;
  };
  bool started = false, ended = false;
  RunBeside([&] {
    RunHostCommand("xdotool mousemove " + std::to_string(thumb.x) + " " + std::to_string(thumb.y) + " mousedown 1");
    started = waitTracking(true);
    RunHostCommand("xdotool mousemove " + std::to_string(thumb.x) + " " + std::to_string(thumb.y + 30));
    RunHostCommand("xdotool mouseup 1");
    ended = waitTracking(false);
  });
  EXPECT_TRUE(started);
  EXPECT_TRUE(ended);
  EXPECT_EQ(SendMessageW(list, LB_GETTOPINDEX, 0, 0), expected);

  // Cancelled mode and WM_QUIT end the loop with the button still down.
  const DWORD gui = GetCurrentThreadId();
  for (UINT stop : {static_cast<UINT>(WM_CANCELMODE), static_cast<UINT>(WM_QUIT)}) {
    if (!IsWindowVisible(list)) SendMessageW(combo->Handle(), CB_SHOWDROPDOWN, TRUE, 0);
    ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(list) != FALSE; }));
    const SCROLLBARINFO now = Bar(list);
    const POINT at = BarPoint(list, now.xyThumbTop + 2);
    std::atomic<bool> done{false};
    bool quitSeen = false, stopped = false;
    std::thread t([&] {
      RunHostCommand("xdotool mousemove " + std::to_string(at.x) + " " + std::to_string(at.y) + " mousedown 1");
      if (waitTracking(true)) {
        if (stop == WM_QUIT) PostThreadMessageW(gui, WM_QUIT, 7, 0);
        else PostMessageW(list, WM_CANCELMODE, 0, 0);
        stopped = waitTracking(false);
      }
      RunHostCommand("xdotool mouseup 1");
      done = true;
    });
    const DWORD start = GetTickCount();
    while (!done && GetTickCount() - start < 20000) {
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) quitSeen = msg.wParam == 7;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    t.join();
    EXPECT_TRUE(stopped) << stop;
    if (stop == WM_QUIT) EXPECT_TRUE(quitSeen);
  }
  SendMessageW(combo->Handle(), CB_SHOWDROPDOWN, FALSE, 0);
}


// The overlay over a scroll-bar control (kind 2): the whole control is the bar, its
// direction from the control's Kind; a press goes to the control as its own.
TEST_F(ScrollBarsOnForm1, ControlOverlayCoversAScrollBarControl) {
  auto* control = dynamic_cast<TScrollBar*>(form->FindComponent("ScrollBar1"));
  ASSERT_TRUE(control);
  TSkinControl holder;
  holder.SkinData = data;
  auto overlay = std::make_unique<TWScrollbar>();
  overlay->InitControl(&holder, control, kBarControl);
  ASSERT_TRUE(PumpUntil([&] { return overlay->Shown != 0; }));
  EXPECT_EQ(overlay->Kind, kBarHorizontal);
  RECT cover{}, bar{};
  GetWindowRect(overlay->Handle(), &cover);
  GetWindowRect(control->Handle(), &bar);
  EXPECT_TRUE(EqualRect(&cover, &bar));
  EXPECT_EQ(SendMessageW(overlay->Handle(), kMsgIsSkinned, 0, 0), 1);
  const int arrow = GetSystemMetrics(SM_CXVSCROLL), middle = (bar.top + bar.bottom) / 2;
  overlay->Redraw();
  EXPECT_TRUE(Shows({bar.left + arrow / 2, middle}, Code("Scrollbar", 1, 4)));
  EXPECT_TRUE(Shows({bar.right - arrow / 2 - 1, middle}, Code("Scrollbar", 5, 4)));
  const TThumbSpan thumb = ControlThumbSpan(bar.right - bar.left, arrow,
                                            {control->Min(), control->Max(), control->PageSize(), control->Position()}, true);
  EXPECT_TRUE(Shows({bar.left + thumb.Start + 1, middle}, Code("HorzScrollThumb", 1, 3)));
  // A click on the right arrow moves the control one step.
  const int before = control->Position();
  const POINT right{bar.right - arrow / 2 - 1, middle};
  ASSERT_TRUE(RunHostCommand("xdotool mousemove " + std::to_string(right.x) + " " + std::to_string(right.y) + " click 1"));
  EXPECT_TRUE(PumpUntil([&] { return control->Position() == before + 1; }));
}

}  // namespace
}  // namespace skin

namespace skin {
namespace {

SCROLLBARINFO BarOf(HWND window, bool vertical) {
  SCROLLBARINFO info{};
  info.cbSize = sizeof info;
  GetScrollBarInfo(window, vertical ? OBJID_VSCROLL : OBJID_HSCROLL, &info);
  return info;
}

// A point of the bar, `along` pixels from its start (from its end when negative),
// in the middle across it (screen).
POINT AlongBar(HWND window, bool vertical, int along) {
  const RECT r = BarOf(window, vertical).rcScrollBar;
  if (vertical) return {(r.left + r.right) / 2, along >= 0 ? r.top + along : r.bottom + along};
  return {along >= 0 ? r.left + along : r.right + along, (r.top + r.bottom) / 2};
}

int PositionOf(HWND window, bool vertical) {
  SCROLLINFO si{};
  si.cbSize = sizeof si;
  si.fMask = SIF_POS;
  GetScrollInfo(window, vertical ? SB_VERT : SB_HORZ, &si);
  return si.nPos;
}

bool Xdo(const std::string& xdotool) { return RunHostCommand("xdotool " + xdotool).has_value(); }
std::string At(POINT p) { return std::to_string(p.x) + " " + std::to_string(p.y); }

// The other controls of Form1 with scroll bars, and a plain window under the
// by-handle painter; their unskinned twins stand on a form of their own below.
class ScrollViewsOnForm1 : public ScrollBarsOnForm1 {
 protected:
  void SetUp() override {
    ScrollBarsOnForm1::SetUp();
    if (HasFatalFailure()) return;
    twins = std::make_unique<TForm>();
    twins->SetBounds(0, 600, 1024, 420);
    twins->Show();
    SetForegroundWindow(form->Handle());
  }
  void TearDown() override {
    twins.reset();
    ScrollBarsOnForm1::TearDown();
  }
  // The twin of `control` on the twin form at (x, y), with the skin kept off it.
  template <class T>
  T* Twin(T* control, int x, int y) {
    auto* twin = new T(twins.get());
    twin->SetTag(data->DisableTag);
    twin->SetParent(twins.get());
    twin->SetBounds(x, y, control->Width(), control->Height());
    return twin;
  }
  ::testing::AssertionResult ShowsThumb(HWND window, bool vertical) {
    const char* thumb = vertical ? "VertScrollThumb" : "HorzScrollThumb";
    return Shows(AlongBar(window, vertical, BarOf(window, vertical).xyThumbTop + 1), Code(thumb, 1, vertical ? 1 : 3));
  }
  // The pointer off every bar: no part stays hot.
  void PointerAway() { Xdo("mousemove " + At(form->ClientToScreen({500, 150}))); }

  // One bar of a skinned control against the same bar of its twin, both at the
  // start: the overlay lies on the bar and shows the skin's frames; an arrow click
  // and a thumb drag under the real pointer scroll both alike, and the overlay's
  // thumb follows.
  void CheckBar(HWND skinned, HWND twin, TWScrollbar* overlay, bool vertical) {
    SCOPED_TRACE(vertical ? "vertical" : "horizontal");
    ASSERT_TRUE(overlay);
    ASSERT_TRUE(PumpUntil([&] { return overlay->Shown != 0; }));
    ASSERT_EQ(PositionOf(skinned, vertical), 0);
    ASSERT_EQ(PositionOf(twin, vertical), 0);
    RECT cover{};
    GetWindowRect(overlay->Handle(), &cover);
    const RECT bar = BarOf(skinned, vertical).rcScrollBar;
    EXPECT_TRUE(EqualRect(&cover, &bar));
    const int arrow = GetSystemMetrics(SM_CXVSCROLL);
    PointerAway();
    EXPECT_TRUE(Shows(AlongBar(skinned, vertical, arrow / 2), Code("Scrollbar", vertical ? 9 : 1, 4)));
    EXPECT_TRUE(Shows(AlongBar(skinned, vertical, -arrow / 2), Code("Scrollbar", vertical ? 13 : 5, 4)));
    EXPECT_TRUE(Shows(AlongBar(skinned, vertical, -arrow - 4), Code(vertical ? "VertScroll" : "HorzScroll", 1, 4)));
    EXPECT_TRUE(ShowsThumb(skinned, vertical));

    // A click on the second arrow.
    for (HWND w : {skinned, twin}) {
      ASSERT_TRUE(Xdo("mousemove " + At(AlongBar(w, vertical, -arrow / 2)) + " click 1"));
      EXPECT_TRUE(PumpUntil([&] { return PositionOf(w, vertical) > 0; }));
    }
    EXPECT_TRUE(PumpUntil([&] { return PositionOf(skinned, vertical) == PositionOf(twin, vertical); }));
    EXPECT_EQ(PositionOf(skinned, vertical), PositionOf(twin, vertical));

    // A thumb drag of 30 pixels, each step once the window tracks the mouse.
    const int before = PositionOf(twin, vertical);
    const DWORD gui = GetCurrentThreadId();
    for (HWND w : {skinned, twin}) {
      const POINT p = AlongBar(w, vertical, BarOf(w, vertical).xyThumbTop + 2);
      const POINT to = vertical ? POINT{p.x, p.y + 30} : POINT{p.x + 30, p.y};
      const POINT half = vertical ? POINT{p.x, p.y + 15} : POINT{p.x + 15, p.y};
      bool captured = false;
      RunBeside([&] {
        Xdo("mousemove " + At(p) + " mousedown 1");
        const DWORD start = GetTickCount();
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        while (!captured && GetTickCount() - start < 10000)
          captured = GetGUIThreadInfo(gui, &info) && info.hwndCapture == w;
        Xdo("mousemove " + At(half));
        Xdo("mousemove " + At(to));
        Xdo("mouseup 1");
      });
      EXPECT_TRUE(captured);
    }
    EXPECT_TRUE(PumpUntil([&] { return PositionOf(skinned, vertical) == PositionOf(twin, vertical); }));
    EXPECT_EQ(PositionOf(skinned, vertical), PositionOf(twin, vertical));
    EXPECT_GT(PositionOf(twin, vertical), before);
    PointerAway();
    EXPECT_TRUE(ShowsThumb(skinned, vertical));
  }
  // The wheel over the control scrolls it back up, and its overlay's thumb follows.
  void CheckWheel(HWND skinned, POINT inside) {
    const int before = PositionOf(skinned, true);
    ASSERT_GT(before, 0);
    ASSERT_TRUE(Xdo("mousemove " + At(inside) + " click 4"));
    EXPECT_TRUE(PumpUntil([&] { return PositionOf(skinned, true) < before; }));
    PointerAway();
    EXPECT_TRUE(ShowsThumb(skinned, true));
  }
  std::unique_ptr<TForm> twins;
};

std::vector<std::string> Rows(int n, int width) {
  std::vector<std::string> rows;
  for (int i = 0; i < n; ++i) rows.push_back("Row " + std::to_string(i) + std::string(static_cast<size_t>(width), 'w'));
  return rows;
}

TEST_F(ScrollViewsOnForm1, ListViewsBothBars) {
  auto* view = dynamic_cast<TListView*>(form->FindComponent("ListView1"));
  ASSERT_TRUE(view);
  TListView* twin = Twin(view, 8, 8);
  twin->SetViewStyle(TViewStyle::vsReport);  // a new style remakes the window: the twin's only
  for (TListView* v : {view, twin}) {
    v->ColumnWidth = 300;
    v->SetColumns({"File", "Size", "Kind"});
    v->SetItems(Rows(60, 0));
  }
  TSkinScrollbar* views = PainterOf(view);
  ASSERT_TRUE(views);
  EXPECT_EQ(std::string(views->ClassName()), "TSkinListView");
  SetForegroundWindow(form->Handle());
  CheckBar(view->Handle(), twin->Handle(), views->VertBar.get(), true);
  CheckBar(view->Handle(), twin->Handle(), views->HorzBar.get(), false);
  CheckWheel(view->Handle(), view->ClientToScreen({100, 100}));
}

TEST_F(ScrollViewsOnForm1, TreeViewAndRichEdit) {
  auto* tree = dynamic_cast<TTreeView*>(form->FindComponent("TreeView1"));
  ASSERT_TRUE(tree);
  TTreeView* treeTwin = Twin(tree, 496, 8);
  for (TTreeView* t : {tree, treeTwin}) t->SetItems(Rows(60, 0));
  // The rich edit lies on the text page.
  auto* pages = dynamic_cast<TPageControl*>(form->FindComponent("PageControl1"));
  auto* sheet = dynamic_cast<TTabSheet*>(form->FindComponent("TextSheet"));
  auto* rich = dynamic_cast<TRichEdit*>(form->FindComponent("RichEdit1"));
  ASSERT_TRUE(pages && sheet && rich);
  pages->SetActivePage(sheet);
  TRichEdit* richTwin = Twin(rich, 760, 8);
  for (TRichEdit* r : {rich, richTwin}) r->SetLines(Rows(80, 0));
  SetForegroundWindow(form->Handle());
  for (TControl* c : std::initializer_list<TControl*>{tree, rich}) {
    SCOPED_TRACE(c->Name());
    TSkinScrollbar* painter = PainterOf(c);
    ASSERT_TRUE(painter);
    auto* skinned = static_cast<TWinControl*>(c);
    HWND twin = c == tree ? treeTwin->Handle() : richTwin->Handle();
    CheckBar(skinned->Handle(), twin, painter->VertBar.get(), true);
    CheckWheel(skinned->Handle(), skinned->ClientToScreen({60, 60}));
  }
}

// A plain window's bars under the by-handle painter: laid on, followed through the
// wheel, hidden and shown with the window.
TEST_F(ScrollViewsOnForm1, PlainWindowsBarsUnderTheHandlePainter) {
  auto plainList = [](HWND parent, int x, int y) {
    HWND list = CreateWindowExA(WS_EX_CLIENTEDGE, "LISTBOX", "", WS_CHILD | WS_VISIBLE | WS_VSCROLL | LBS_NOINTEGRALHEIGHT,
                                x, y, 110, 150, parent, nullptr, GetModuleHandleA(nullptr), nullptr);
    for (int i = 0; i < 40; ++i) SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(("Line " + std::to_string(i)).c_str()));
    return list;
  };
  HWND plain = plainList(form->Handle(), 890, 300);
  HWND twin = plainList(twins->Handle(), 8, 215);
  ASSERT_TRUE(plain && twin);
  auto* painter = new TSkinScrollbarH(form.get());
  painter->AttachWindow(plain, data, skinner.get(), skinner->Canvas2.get());
  SetForegroundWindow(form->Handle());
  CheckBar(plain, twin, painter->VertBar.get(), true);
  RECT r{};
  GetWindowRect(plain, &r);
  CheckWheel(plain, {r.left + 30, r.top + 30});
  EXPECT_FALSE(painter->HorzBar->Shown);  // no horizontal bar

  ShowWindow(plain, SW_HIDE);
  EXPECT_TRUE(PumpUntil([&] { return !IsWindowVisible(painter->VertBar->Handle()); }));
  ShowWindow(plain, SW_SHOW);
  EXPECT_TRUE(PumpUntil([&] { return IsWindowVisible(painter->VertBar->Handle()) != FALSE; }));
  EXPECT_TRUE(ShowsThumb(plain, true));
  DestroyWindow(plain);
  DestroyWindow(twin);
}

}  // namespace
}  // namespace skin
