// The hint window and the hint manager under Wine, with the real pointer.
#include <windows.h>

#include <gtest/gtest.h>

#include "classlib/Forms_win.h"
#include "classlib/HintWindow_win.h"
#include "classlib/StdCtrls_win.h"
#include "tests/support/FormsSession_win.h"
#include "tests/support/GuiProbe_win.h"

using velmora::test::StartForms;
using velmora::test::PumpMessages;
using velmora::test::PumpUntil;
using velmora::test::ScreenPixel;

namespace {

bool SameColour(COLORREF a, COLORREF b) { return a == b; }

TEST(HintWindowGui, IsATopMostPopupOfItsOwnClassPaintedInTheHintColour) {
  StartForms();
  THintWindow hint;
  RECT size = hint.CalcHintRect(300, "A hint");
  EXPECT_GT(size.right, 8);
  EXPECT_GT(size.bottom, 4);
  RECT at{200, 200, 200 + size.right, 200 + size.bottom + 10};
  hint.ActivateHint(at, "A hint");
  HWND window = hint.Handle();
  char name[32] = {};
  GetClassNameA(window, name, sizeof name);
  EXPECT_STREQ(name, "THintWindow");
  const LONG style = GetWindowLongA(window, GWL_STYLE), exStyle = GetWindowLongA(window, GWL_EXSTYLE);
  EXPECT_NE(style & WS_POPUP, 0);
  EXPECT_EQ(style & WS_CHILD, 0);
  EXPECT_NE(exStyle & WS_EX_TOPMOST, 0);
  EXPECT_TRUE(hint.HintShowing());
  RECT r{};
  GetWindowRect(window, &r);
  EXPECT_EQ(r.left, 200);
  EXPECT_EQ(r.bottom, at.bottom);
  // The bottom rows hold no text: they show the hint background.
  const COLORREF infoBk = GetSysColor(COLOR_INFOBK);
  EXPECT_TRUE(PumpUntil([&] { return SameColour(ScreenPixel(r.left + 3, r.bottom - 3), infoBk); }, 5000));
  hint.ReleaseHint();
  EXPECT_FALSE(hint.HintShowing());
}

TEST(HintWindowGui, ManagerShowsTheHintAfterHintPauseAndHidesItAfterHintHidePause) {
  StartForms();
  auto* form = new TForm(Application);
  form->SetBounds(100, 100, 300, 200);
  auto* button = new TButton(form);
  button->SetParent(form);
  button->SetBounds(20, 20, 120, 40);
  button->Hint = "Press me";
  button->ShowHint = true;
  auto* plain = new TButton(form);
  plain->SetParent(form);
  plain->SetBounds(20, 100, 120, 40);
  form->Show();
  ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(form->Handle()) != FALSE; }, 5000));
  SetForegroundWindow(form->Handle());
  PumpMessages();

  const int savedPause = Application->HintPause, savedHide = Application->HintHidePause;
  Application->HintPause = 300;
  Application->HintHidePause = 1000;
  THintManager manager;
  EXPECT_EQ(THintManager::HintControlAt(button->ClientToScreen({10, 10})), button);
  EXPECT_EQ(THintManager::HintControlAt(plain->ClientToScreen({10, 10})), nullptr);

  POINT over = button->ClientToScreen({60, 20});
  SetCursorPos(over.x, over.y);
  const DWORD start = GetTickCount();
  ASSERT_TRUE(PumpUntil([&] { return manager.Window().HintShowing(); }, 5000));
  const DWORD shownAfter = GetTickCount() - start;
  EXPECT_GE(shownAfter, 250u);  // the pause, less a timer tick of slack
  EXPECT_EQ(manager.Window().Text(), "Press me");
  RECT r{};
  GetWindowRect(manager.Window().Handle(), &r);
  EXPECT_GT(r.top, over.y);  // below the pointer
  ASSERT_TRUE(PumpUntil([&] { return !manager.Window().HintShowing(); }, 5000));
  EXPECT_GE(GetTickCount() - start, 1200u);

  // Leaving hides at once; a control without a hint shows none.
  POINT away = plain->ClientToScreen({60, 20});
  SetCursorPos(over.x, over.y + 1);
  PumpUntil([] { return false; }, 100);
  SetCursorPos(away.x, away.y);
  PumpUntil([] { return false; }, 200);
  SetCursorPos(over.x, over.y);
  ASSERT_TRUE(PumpUntil([&] { return manager.Window().HintShowing(); }, 5000));
  SetCursorPos(away.x, away.y);
  EXPECT_TRUE(PumpUntil([&] { return !manager.Window().HintShowing(); }, 1000));
  EXPECT_FALSE(PumpUntil([&] { return manager.Window().HintShowing(); }, 600));

  Application->HintPause = savedPause;
  Application->HintHidePause = savedHide;
  delete form;
}

}  // namespace
