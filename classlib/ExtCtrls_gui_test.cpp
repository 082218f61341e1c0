// Radio groups hold real radio-button children; timers fire without an owner.
#include <windows.h>

#include <gtest/gtest.h>

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
