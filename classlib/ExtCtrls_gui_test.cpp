// Radio groups hold real radio-button children; timers fire without an owner.
#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "classlib/ExtCtrls_win.h"
#include "classlib/Forms_win.h"
#include "tests/support/FormsSession_win.h"
#include "tests/support/GuiProbe_win.h"

using velmora::test::StartForms;

namespace {

class TTicks : public TObject {
  VELMORA_CLASS(TTicks, TObject)
 public:
  void Tick(TObject*) { ++count; }
  void Changed(TObject*) { ++changes; }
  int count = 0;
  int changes = 0;
};

TEST(ExtCtrlsGui, RadioGroupItemsAreChildRadioButtons) {
  StartForms();
  TForm form;
  auto* group = new TRadioGroup(&form);
  group->SetParent(&form);
  group->SetBounds(10, 10, 200, 100);
  group->SetItems({"Red", "Green", "Blue"});
  TTicks ticks;
  group->OnChange = TNotifyEvent::Of<&TTicks::Changed>(&ticks);
  ASSERT_EQ(group->ControlCount(), 3);
  EXPECT_TRUE(group->Is<TCustomGroupBox>());
  EXPECT_EQ(group->Controls(1)->ClassName(), "TRadioButton");
  EXPECT_EQ(group->Controls(1)->Caption(), "Green");
  form.HandleNeeded();
  // A real click on the second button selects it.
  SendMessageA(group->Buttons(1)->Handle(), BM_CLICK, 0, 0);
  EXPECT_EQ(group->ItemIndex(), 1);
  EXPECT_EQ(ticks.changes, 1);
  group->SetItemIndex(2);
  EXPECT_EQ(SendMessageA(group->Buttons(2)->Handle(), BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_EQ(SendMessageA(group->Buttons(1)->Handle(), BM_GETCHECK, 0, 0), BST_UNCHECKED);
  group->SetItems({"One"});
  EXPECT_EQ(group->ControlCount(), 1);
  EXPECT_EQ(group->ItemIndex(), -1);
}

TEST(ExtCtrlsGui, TimerWithoutOwnerFiresAndStops) {
  StartForms();
  TTicks ticks;
  {
    TTimer timer;
    timer.SetInterval(20);
    timer.OnTimer = TNotifyEvent::Of<&TTicks::Tick>(&ticks);
    EXPECT_TRUE(velmora::test::PumpUntil([&] { return ticks.count >= 2; }, 5000));
    timer.SetEnabled(false);
    const int stopped = ticks.count;
    velmora::test::PumpUntil([] { return false; }, 150);
    EXPECT_EQ(ticks.count, stopped);
  }
}

}  // namespace

// A check list draws its own boxes (unchecked, checked, grayed) and moves an item's
// state on by a click in its box or the space key, never by a click on the text.
TEST(ExtCtrlsGui, CheckListBoxDrawsItsBoxesAndTogglesByClickAndSpace) {
  StartForms();
  TForm form;
  form.SetBounds(40, 40, 260, 200);
  auto* list = new TCheckListBox(&form);
  list->SetParent(&form);
  list->SetBounds(10, 10, 200, 120);
  list->SetItems({"Option A", "Option B", "Option C"});
  list->AllowGrayed = true;
  TTicks ticks;
  list->OnClickCheck = TNotifyEvent::Of<&TTicks::Changed>(&ticks);
  form.Show();
  HWND h = list->Handle();
  EXPECT_TRUE(GetWindowLongA(h, GWL_STYLE) & LBS_OWNERDRAWFIXED);
  RECT item{};
  SendMessageA(h, LB_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&item));
  const RECT box = TCheckListBox::CheckBoxRect(item);
  const LPARAM inBox = MAKELPARAM((box.left + box.right) / 2, (box.top + box.bottom) / 2);
  const LPARAM onText = MAKELPARAM(box.right + 40, (box.top + box.bottom) / 2);
  SendMessageA(h, WM_LBUTTONDOWN, MK_LBUTTON, onText);
  SendMessageA(h, WM_LBUTTONUP, 0, onText);
  EXPECT_EQ(list->State(1), TCheckBoxState::cbUnchecked);
  EXPECT_EQ(list->ItemIndex(), 1);
  for (TCheckBoxState expected : {TCheckBoxState::cbChecked, TCheckBoxState::cbGrayed, TCheckBoxState::cbUnchecked}) {
    SendMessageA(h, WM_LBUTTONDOWN, MK_LBUTTON, inBox);
    SendMessageA(h, WM_LBUTTONUP, 0, inBox);
    EXPECT_EQ(list->State(1), expected);
  }
  EXPECT_EQ(ticks.changes, 3);
  // Space on the current item; without AllowGrayed a checked item goes back.
  list->AllowGrayed = false;
  SetFocus(h);
  SendMessageA(h, WM_KEYDOWN, VK_SPACE, 0);
  EXPECT_TRUE(list->Checked(1));
  SendMessageA(h, WM_KEYDOWN, VK_SPACE, 0);
  EXPECT_EQ(list->State(1), TCheckBoxState::cbUnchecked);
  EXPECT_THROW(list->SetChecked(3, true), EListError);
  // The boxes on screen: a checked box and a grayed one differ from an empty one.
  list->SetState(0, TCheckBoxState::cbChecked);
  list->SetState(2, TCheckBoxState::cbGrayed);
  auto boxPixels = [&](int index) {
    RECT r{};
    SendMessageA(h, LB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&r));
    const RECT b = TCheckListBox::CheckBoxRect(r);
    std::vector<COLORREF> pixels;
    for (int y = b.top + 3; y < b.bottom - 3; y++)
      for (int x = b.left + 3; x < b.right - 3; x++) {
        POINT p{x, y};
        ClientToScreen(h, &p);
        pixels.push_back(velmora::test::ScreenPixel(p.x, p.y));
      }
    return pixels;
  };
  EXPECT_TRUE(velmora::test::PumpUntil([&] {
    const auto unchecked = boxPixels(1);
    return !unchecked.empty() && boxPixels(0) != unchecked && boxPixels(2) != unchecked && boxPixels(0) != boxPixels(2);
  }, 5000));
}
