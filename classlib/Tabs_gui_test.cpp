// A tab set selects by click, shows its scroller only when its tabs overflow, and
// the scroller's halves move the first shown tab.
#include <windows.h>

#include <gtest/gtest.h>

#include "classlib/Forms_win.h"
#include "classlib/Tabs_win.h"
#include "tests/support/FormsSession_win.h"
#include "tests/support/GuiProbe_win.h"

using velmora::test::StartForms;

namespace {

class TChanges : public TObject {
  VELMORA_CLASS(TChanges, TObject)
 public:
  void Changed(TObject*) { ++count; }
  int count = 0;
};

void Click(HWND window, int x, int y) {
  SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
  SendMessageA(window, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
}

TEST(TabsGui, TabSetSelectsByClickAndScrollsPastItsEnd) {
  StartForms();
  TForm form;
  form.SetBounds(40, 40, 420, 160);
  auto* set = new TTabSet(&form);
  set->SetParent(&form);
  set->SetBounds(10, 10, 380, 24);
  set->SetTabs({"First", "Second", "Third"});
  TChanges changes;
  set->OnChange = TNotifyEvent::Of<&TChanges::Changed>(&changes);
  form.Show();
  HWND h = set->Handle();
  EXPECT_EQ(set->Components(0), set->Scroller());  // the first owned component
  EXPECT_FALSE(set->Scroller()->Visible());
  const RECT third = set->ItemRect(2);
  ASSERT_LT(third.left, third.right);
  Click(h, (third.left + third.right) / 2, (third.top + third.bottom) / 2);
  EXPECT_EQ(set->TabIndex(), 2);
  EXPECT_EQ(changes.count, 1);
  Click(h, (third.left + third.right) / 2, (third.top + third.bottom) / 2);
  EXPECT_EQ(changes.count, 1);  // no change, no event
  Click(h, 370, 5);             // past the last tab
  EXPECT_EQ(set->TabIndex(), 2);

  // Many tabs: the scroller takes the right end and its right half steps on.
  std::vector<std::string> many;
  for (int i = 0; i < 20; i++) many.push_back("Tab number " + std::to_string(i));
  set->SetTabs(many);
  TScroller* scroller = set->Scroller();
  ASSERT_TRUE(scroller->Visible());
  EXPECT_EQ(scroller->Left() + scroller->Width(), set->ClientRect().right);
  const RECT shown = set->ItemRect(0);
  EXPECT_LE(set->Layout().Tabs.back().Right, scroller->Left());
  HWND s = scroller->Handle();
  Click(s, scroller->Width() * 3 / 4, 5);
  EXPECT_EQ(set->FirstIndex(), 1);
  EXPECT_EQ(set->ItemRect(1).left, shown.left);  // tab 1 now where tab 0 was
  EXPECT_EQ(set->ItemRect(0).right, 0);           // tab 0 no longer shown
  Click(s, scroller->Width() / 4, 5);
  Click(s, scroller->Width() / 4, 5);  // at the start already: stays
  EXPECT_EQ(set->FirstIndex(), 0);
  set->SetFirstIndex(99);
  EXPECT_EQ(set->FirstIndex(), set->Layout().MaxFirstIndex);
  EXPECT_EQ(scroller->Position(), set->FirstIndex());
  set->SetTabs({"One"});
  EXPECT_FALSE(scroller->Visible());
  EXPECT_EQ(set->FirstIndex(), 0);
}

}  // namespace
