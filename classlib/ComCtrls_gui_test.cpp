// The common controls under Wine: window classes, properties by name,
// and the notifications the system controls send, reflected back by the parent.
#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "classlib/ComCtrls_win.h"
#include "classlib/ControlClasses.h"
#include "classlib/Forms_win.h"
#include "classlib/Layout.h"
#include "tests/support/FormsSession_win.h"
#include "tests/support/GuiProbe_win.h"

using velmora::test::StartForms;
using velmora::test::WindowClassOf;
using velmora::test::PumpMessages;
using velmora::test::PumpUntil;
using velmora::test::ScreenPixel;

namespace {

// Records the events the controls raise.
class TEventLog : public TObject {
  VELMORA_CLASS(TEventLog, TObject)
 public:
  void Changed(TObject* sender) { changed.push_back(sender); }
  void Section(TObject* sender, int index) { sections.push_back(index); }
  void UpDownClick(TObject* sender, TUDBtnType button) { buttons.push_back(button); }
  void Clicked(TObject* sender) { clicked.push_back(sender); }
  void DrawButtonRed(TToolBar* bar, TToolButton* button, TCustomDrawState state, bool& defaultDraw) {
    drawnButtons.push_back(button);
    if (button->Caption() != "Red") return;
    RECT r = button->BoundsRect();
    bar->Canvas().Brush().SetColor(clRed);
    bar->Canvas().FillRect(r);
    defaultDraw = false;
  }
  void DrawPanelBlue(TCustomStatusBar* bar, TStatusPanel* panel, const RECT& rect) {
    drawnPanels.push_back(panel);
    bar->Canvas().Brush().SetColor(clBlue);
    bar->Canvas().FillRect(rect);
  }
  std::vector<TObject*> changed, clicked;
  std::vector<int> sections;
  std::vector<TUDBtnType> buttons;
  std::vector<TToolButton*> drawnButtons;
  std::vector<TStatusPanel*> drawnPanels;
  int Count(TObject* sender) const { return static_cast<int>(std::count(changed.begin(), changed.end(), sender)); }
};

class TComForm1 : public TForm {
  VELMORA_CLASS(TComForm1, TForm)
 public:
  explicit TComForm1(TComponent* owner = nullptr) : TForm(owner) {}
};

const char* const kLayout = R"(
object ComForm1: TComForm1
  Caption = "Common controls"
  Left = 40
  Top = 40
  Width = 700
  Height = 520
  object ToolBar1: TToolBar
    Width = 400
    Height = 28
    Flat = True
    ShowCaptions = True
    object ToolButton1: TToolButton
      Caption = "Red"
    end
    object ToolButton2: TToolButton
      Caption = "Plain"
    end
  end
  object PageControl1: TPageControl
    Top = 34
    Width = 340
    Height = 200
    object TabSheet1: TTabSheet
      Caption = "First"
      object SheetButton1: TButton
        Left = 8
        Top = 8
      end
    end
    object TabSheet2: TTabSheet
      Caption = "Second"
    end
    object TabSheet3: TTabSheet
      Caption = "Third"
    end
  end
  object TabControl1: TTabControl
    Left = 350
    Top = 34
    Width = 200
    Height = 60
    Tabs = (
      "One"
      "Two"
    )
  end
  object Header1: THeaderControl
    Left = 350
    Top = 100
    Width = 300
    Sections = (
      "Name"
      "Size"
    )
  end
  object Progress1: TProgressBar
    Left = 350
    Top = 130
    Min = 200
    Max = 300
    Position = 250
  end
  object Track1: TTrackBar
    Left = 350
    Top = 150
    Max = 20
    Position = 5
  end
  object Edit1: TEdit
    Left = 350
    Top = 200
    Width = 60
  end
  object UpDown1: TUpDown
    Left = 412
    Top = 200
    Min = 0
    Max = 10
    Position = 3
    Associate = Edit1
  end
  object DateTime1: TDateTimePicker
    Left = 450
    Top = 200
    DateMode = dmUpDown
  end
  object ListView1: TListView
    Top = 240
    Width = 300
    Height = 120
    ViewStyle = vsReport
    Columns = (
      "File"
      "Size"
    )
    Items = (
      "a.txt\t10"
      "b.txt\t20"
    )
  end
  object TreeView1: TTreeView
    Left = 310
    Top = 240
    Width = 160
    Height = 120
    Items = (
      "Root"
      "  Child"
      "  Other child"
    )
  end
  object RichEdit1: TRichEdit
    Left = 480
    Top = 240
    Width = 180
    Height = 120
    Lines = (
      "rich"
    )
  end
  object StatusBar1: TStatusBar
    Top = 440
    Width = 680
    Height = 22
    Panels.Texts = (
      "Ready"
      ""
      "INS"
    )
    Panels.Widths = (
      "150"
      "100"
      "60"
    )
  end
end
)";

class ComCtrlsGui : public ::testing::Test {
 protected:
  void SetUp() override {
    StartForms();
    RegisterControlClass(TComForm1::StaticClass());
    form = static_cast<TComForm1*>(CreateFromLayout(kLayout, Application));
    form->Show();
    ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(form->Handle()) != FALSE; }, 5000));
    SetForegroundWindow(form->Handle());
    PumpMessages();
  }
  void TearDown() override { delete form; }
  template <class T>
  T* Find(const char* name) {
    TComponent* component = form->FindComponent(name);
    EXPECT_NE(component, nullptr) << name;
    EXPECT_TRUE(component && component->Is<T>()) << name;
    return static_cast<T*>(component);
  }
  // Sends a notification to the form as if the control had sent it.
  template <class N>
  LRESULT NotifyFromControl(TWinControl* control, N& notification, UINT code) {
    auto& header = reinterpret_cast<NMHDR&>(notification);
    header.hwndFrom = control->Handle();
    header.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(control->Handle()));
    header.code = code;
    HWND parent = GetParent(control->Handle());
    return SendMessageA(parent, WM_NOTIFY, header.idFrom, reinterpret_cast<LPARAM>(&notification));
  }
  TComForm1* form = nullptr;
  TEventLog log;
};

TEST_F(ComCtrlsGui, EachControlIsAWindowOfItsClassNameOverTheSystemClass) {
  const std::vector<std::pair<const char*, const char*>> expected = {
      {"ToolBar1", "ToolbarWindow32"},     {"PageControl1", "SysTabControl32"}, {"TabControl1", "SysTabControl32"},
      {"Header1", "SysHeader32"},          {"Progress1", "msctls_progress32"},  {"Track1", "msctls_trackbar32"},
      {"UpDown1", "msctls_updown32"},      {"DateTime1", "SysDateTimePick32"},  {"ListView1", "SysListView32"},
      {"TreeView1", "SysTreeView32"},      {"RichEdit1", "RichEdit20A"},        {"StatusBar1", "msctls_statusbar32"},
      {"TabSheet1", ""}};
  for (auto [name, systemClass] : expected) {
    auto* control = Find<TWinControl>(name);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(WindowClassOf(control->Handle()), control->ClassName()) << name;
    EXPECT_TRUE(IsWindowVisible(control->Handle())) << name;
    // A superclass answers like the system class: its class record keeps the
    // system class's window procedure as the one it calls on.
    if (*systemClass) {
      WNDCLASSA own{}, system{};
      ASSERT_TRUE(GetClassInfoA(GetModuleHandleA(nullptr), control->ClassName().c_str(), &own)) << name;
      ASSERT_TRUE(GetClassInfoA(nullptr, systemClass, &system)) << name;
      EXPECT_EQ(own.cbWndExtra, system.cbWndExtra) << name;
    }
  }
  // The tool buttons are windowless and lie over their items of the bar.
  auto* bar = Find<TToolBar>("ToolBar1");
  ASSERT_EQ(bar->ButtonCount(), 2);
  for (int i = 0; i < 2; ++i) {
    RECT item{};
    ASSERT_TRUE(SendMessageA(bar->Handle(), TB_GETITEMRECT, i, reinterpret_cast<LPARAM>(&item)));
    EXPECT_EQ(bar->Buttons(i)->Left(), item.left);
    EXPECT_EQ(bar->Buttons(i)->Width(), item.right - item.left);
  }
  EXPECT_EQ(SendMessageA(Find<TTabControl>("TabControl1")->Handle(), TCM_GETITEMCOUNT, 0, 0), 2);
  EXPECT_EQ(SendMessageA(Find<THeaderControl>("Header1")->Handle(), HDM_GETITEMCOUNT, 0, 0), 2);
  EXPECT_EQ(SendMessageA(Find<TListView>("ListView1")->Handle(), LVM_GETITEMCOUNT, 0, 0), 2);
  EXPECT_EQ(SendMessageA(Find<TTreeView>("TreeView1")->Handle(), TVM_GETCOUNT, 0, 0), 3);
  char sub[16] = {};
  LVITEMA item{};
  item.iSubItem = 1;
  item.pszText = sub;
  item.cchTextMax = sizeof sub;
  SendMessageA(Find<TListView>("ListView1")->Handle(), LVM_GETITEMTEXTA, 1, reinterpret_cast<LPARAM>(&item));
  EXPECT_STREQ(sub, "20");
}

TEST_F(ComCtrlsGui, PaintersReadAndWritePropertiesByName) {
  auto* pages = Find<TPageControl>("PageControl1");
  EXPECT_EQ(GetEnumProp(pages, "TabPosition"), std::optional<std::string>("tpTop"));
  EXPECT_EQ(GetEnumProp(pages, "Style"), std::optional<std::string>("tsTabs"));
  EXPECT_TRUE(SetEnumProp(pages, "TabPosition", "tpBottom"));
  EXPECT_NE(GetWindowLongA(pages->Handle(), GWL_STYLE) & TCS_BOTTOM, 0);
  EXPECT_EQ(SendMessageA(pages->Handle(), TCM_GETITEMCOUNT, 0, 0), 3);  // tabs survive the new window
  EXPECT_EQ(GetOrdProp(Find<TTabSheet>("TabSheet2"), "TabVisible"), std::optional<int64_t>(1));

  auto* bar = Find<TToolBar>("ToolBar1");
  EXPECT_EQ(GetPropText(bar, "Flat"), std::optional<std::string>("True"));
  EXPECT_TRUE(SetPropText(bar, "Transparent", "True"));
  EXPECT_NE(GetWindowLongA(bar->Handle(), GWL_STYLE) & TBSTYLE_TRANSPARENT, 0);
  EXPECT_EQ(SendMessageA(bar->Handle(), TB_BUTTONCOUNT, 0, 0), 2);
  EXPECT_TRUE(IsPublishedProp(bar, "OnCustomDraw"));
  EXPECT_TRUE(IsPublishedProp(bar, "OnCustomDrawButton"));
  EXPECT_TRUE(IsPublishedProp(bar, "Images"));

  auto* progress = Find<TProgressBar>("Progress1");
  // Loading set Min above the default Max first; the range is checked once, at the end.
  EXPECT_EQ(GetOrdProp(progress, "Position"), std::optional<int64_t>(250));
  EXPECT_EQ(SendMessageA(progress->Handle(), PBM_GETRANGE, TRUE, 0), 200);
  EXPECT_EQ(SendMessageA(progress->Handle(), PBM_GETRANGE, FALSE, 0), 300);
  EXPECT_TRUE(SetOrdProp(progress, "Position", 1000));
  EXPECT_EQ(SendMessageA(progress->Handle(), PBM_GETPOS, 0, 0), 300);
  EXPECT_THROW(SetOrdProp(progress, "Min", 400), EInvalidOperation);

  auto* track = Find<TTrackBar>("Track1");
  EXPECT_EQ(GetOrdProp(track, "PageSize"), std::optional<int64_t>(2));
  EXPECT_TRUE(SetOrdProp(track, "PageSize", 4));
  EXPECT_EQ(SendMessageA(track->Handle(), TBM_GETPAGESIZE, 0, 0), 4);
  EXPECT_EQ(SendMessageA(track->Handle(), TBM_GETRANGEMAX, 0, 0), 20);

  auto* picker = Find<TDateTimePicker>("DateTime1");
  EXPECT_EQ(GetEnumProp(picker, "DateMode"), std::optional<std::string>("dmUpDown"));
  EXPECT_EQ(GetEnumProp(picker, "Kind"), std::optional<std::string>("dtkDate"));
  EXPECT_NE(GetWindowLongA(picker->Handle(), GWL_STYLE) & DTS_UPDOWN, 0);
  picker->SetDateTime(36585.5);  // 2000-02-29 12:00
  SYSTEMTIME st{};
  ASSERT_EQ(SendMessageA(picker->Handle(), DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&st)), GDT_VALID);
  EXPECT_EQ(st.wYear, 2000);
  EXPECT_EQ(st.wMonth, 2);
  EXPECT_EQ(st.wDay, 29);
  EXPECT_EQ(st.wHour, 12);
  EXPECT_THROW(picker->SetDateTime(-1000000.0), EConvertError);

  auto* status = Find<TStatusBar>("StatusBar1");
  EXPECT_EQ(GetOrdProp(status, "SizeGrip"), std::optional<int64_t>(1));
  EXPECT_NE(GetWindowLongA(status->Handle(), GWL_STYLE) & SBARS_SIZEGRIP, 0);
  EXPECT_EQ(GetPropText(status, "Panels.Texts"), std::optional<std::string>("Ready\r\n\r\nINS\r\n"));
  auto panels = GetObjectProp(status, "Panels");
  ASSERT_TRUE(panels.has_value());
  EXPECT_TRUE((*panels)->Is<TStatusPanels>());
  EXPECT_TRUE(SetStrProp(status, "SimpleText", "Working"));
  EXPECT_TRUE(SetOrdProp(status, "SimplePanel", 1));
  EXPECT_TRUE(SendMessageA(status->Handle(), SB_ISSIMPLE, 0, 0));
  EXPECT_TRUE(IsPublishedProp(status, "OnDrawPanel"));
}

TEST_F(ComCtrlsGui, PageControlShowsTheActiveSheetAndFollowsItsTabs) {
  auto* pages = Find<TPageControl>("PageControl1");
  auto* first = Find<TTabSheet>("TabSheet1");
  auto* second = Find<TTabSheet>("TabSheet2");
  auto* third = Find<TTabSheet>("TabSheet3");
  pages->OnChange = TNotifyEvent::Of<&TEventLog::Changed>(&log);
  EXPECT_EQ(pages->ActivePage(), first);
  EXPECT_TRUE(IsWindowVisible(first->Handle()));
  EXPECT_FALSE(IsWindowVisible(second->Handle()));
  // The sheets fill the display area the tabs leave.
  RECT display = pages->DisplayRect();
  EXPECT_EQ(first->Left(), display.left);
  EXPECT_EQ(first->Top(), display.top);
  EXPECT_EQ(first->Width(), display.right - display.left);
  EXPECT_GT(display.top, 10);
  // The sheet's own children live in it.
  EXPECT_EQ(GetParent(Find<TButton>("SheetButton1")->Handle()), first->Handle());

  // The keyboard moves the system's selection; the reflected TCN_SELCHANGE follows.
  SetFocus(pages->Handle());
  SendMessageA(pages->Handle(), WM_KEYDOWN, VK_RIGHT, 0);
  EXPECT_EQ(pages->ActivePage(), second);
  EXPECT_EQ(log.Count(pages), 1);
  EXPECT_TRUE(IsWindowVisible(second->Handle()));
  EXPECT_FALSE(IsWindowVisible(first->Handle()));

  // A sheet without a tab has no tab and is never shown.
  second->SetTabVisible(false);
  EXPECT_EQ(SendMessageA(pages->Handle(), TCM_GETITEMCOUNT, 0, 0), 2);
  EXPECT_NE(pages->ActivePage(), second);
  EXPECT_FALSE(IsWindowVisible(second->Handle()));
  pages->SetActivePage(second);
  EXPECT_NE(pages->ActivePage(), second);
  EXPECT_EQ(third->TabIndex(), 1);
  pages->SetActivePage(third);
  EXPECT_EQ(SendMessageA(pages->Handle(), TCM_GETCURSEL, 0, 0), 1);

  // A sheet of another page control is refused; freeing a sheet drops its tab.
  TTabSheet stranger;
  EXPECT_THROW(pages->SetActivePage(&stranger), EInvalidOperation);
  delete third;
  EXPECT_EQ(SendMessageA(pages->Handle(), TCM_GETITEMCOUNT, 0, 0), 1);
  EXPECT_EQ(pages->ActivePage(), first);
  EXPECT_EQ(pages->PageCount(), 2);
}

TEST_F(ComCtrlsGui, ReflectedNotificationsReachTheCommonControls) {
  auto* track = Find<TTrackBar>("Track1");
  track->OnChange = TNotifyEvent::Of<&TEventLog::Changed>(&log);
  SendMessageA(track->Handle(), WM_KEYDOWN, VK_RIGHT, 0);
  EXPECT_EQ(track->Position(), 6);
  EXPECT_EQ(log.Count(track), 1);

  auto* list = Find<TListView>("ListView1");
  list->OnChange = TNotifyEvent::Of<&TEventLog::Changed>(&log);
  list->SetItemIndex(1);
  EXPECT_EQ(log.Count(list), 1);
  EXPECT_EQ(list->ItemIndex(), 1);

  auto* tree = Find<TTreeView>("TreeView1");
  tree->OnChange = TNotifyEvent::Of<&TEventLog::Changed>(&log);
  tree->SelectNode(2);
  EXPECT_EQ(log.Count(tree), 1);
  EXPECT_EQ(tree->SelectedText(), "Other child");

  auto* tabs = Find<TTabControl>("TabControl1");
  tabs->OnChange = TNotifyEvent::Of<&TEventLog::Changed>(&log);
  SetFocus(tabs->Handle());
  SendMessageA(tabs->Handle(), WM_KEYDOWN, VK_RIGHT, 0);
  EXPECT_EQ(tabs->TabIndex(), 1);
  EXPECT_EQ(log.Count(tabs), 1);

  // The up-down keeps the position: a press on its lower half steps down once and
  // the associated edit shows the number.
  auto* upDown = Find<TUpDown>("UpDown1");
  auto* edit = Find<TEdit>("Edit1");
  upDown->OnClick = TUDClickEvent::Of<&TEventLog::UpDownClick>(&log);
  EXPECT_EQ(edit->Text(), "3");
  RECT r{};
  GetClientRect(upDown->Handle(), &r);
  const LPARAM lower = MAKELPARAM(r.right / 2, r.bottom - 3);
  SendMessageA(upDown->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, lower);
  SendMessageA(upDown->Handle(), WM_LBUTTONUP, 0, lower);
  EXPECT_EQ(upDown->Position(), 2);
  EXPECT_EQ(edit->Text(), "2");
  ASSERT_EQ(log.buttons.size(), 1u);
  EXPECT_EQ(log.buttons[0], TUDBtnType::btPrev);
  EXPECT_EQ(SendMessageA(upDown->Handle(), UDM_GETPOS32, 0, 0), 2);

  // Typing into the rich edit reports a change (it does so only when asked).
  auto* rich = Find<TRichEdit>("RichEdit1");
  rich->OnChange = TNotifyEvent::Of<&TEventLog::Changed>(&log);
  SendMessageA(rich->Handle(), WM_CHAR, 'x', 1);
  EXPECT_GE(log.Count(rich), 1);
  EXPECT_NE(rich->Text().find('x'), std::string::npos);

  // Header clicks and date changes as their windows send them to the parent.
  auto* header = Find<THeaderControl>("Header1");
  header->OnSectionClick = TSectionNotifyEvent::Of<&TEventLog::Section>(&log);
  NMHEADERA click{};
  click.iItem = 1;
  NotifyFromControl(header, click, HDN_ITEMCLICKA);
  EXPECT_EQ(log.sections, (std::vector<int>{1}));

  auto* picker = Find<TDateTimePicker>("DateTime1");
  picker->OnChange = TNotifyEvent::Of<&TEventLog::Changed>(&log);
  NMDATETIMECHANGE change{};
  change.dwFlags = GDT_VALID;
  change.st = SYSTEMTIME{2000, 2, 2, 29, 6, 0, 0, 0};
  NotifyFromControl(picker, change, DTN_DATETIMECHANGE);
  EXPECT_EQ(log.Count(picker), 1);
}

TEST_F(ComCtrlsGui, ToolBarCustomDrawPaintsButtonsAndButtonsTakeClicks) {
  auto* bar = Find<TToolBar>("ToolBar1");
  auto* red = Find<TToolButton>("ToolButton1");
  auto* plain = Find<TToolButton>("ToolButton2");
  bar->OnCustomDrawButton = TToolBarCustomDrawButtonEvent::Of<&TEventLog::DrawButtonRed>(&log);
  plain->OnClick = TNotifyEvent::Of<&TEventLog::Clicked>(&log);
  InvalidateRect(bar->Handle(), nullptr, TRUE);
  UpdateWindow(bar->Handle());
  EXPECT_NE(std::find(log.drawnButtons.begin(), log.drawnButtons.end(), red), log.drawnButtons.end());
  EXPECT_NE(std::find(log.drawnButtons.begin(), log.drawnButtons.end(), plain), log.drawnButtons.end());
  POINT centre = bar->ClientToScreen({red->Left() + red->Width() / 2, red->Top() + red->Height() / 2});
  EXPECT_TRUE(PumpUntil([&] { return ScreenPixel(centre.x, centre.y) == RGB(255, 0, 0); }, 5000));

  const LPARAM at = MAKELPARAM(plain->Left() + plain->Width() / 2, plain->Top() + plain->Height() / 2);
  SendMessageA(bar->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, at);
  SendMessageA(bar->Handle(), WM_LBUTTONUP, 0, at);
  EXPECT_EQ(log.clicked, (std::vector<TObject*>{plain}));
}

TEST_F(ComCtrlsGui, StatusBarPanelsReachTheWindowAndOwnerDrawnOnesArePainted) {
  auto* status = Find<TStatusBar>("StatusBar1");
  int edges[8] = {};
  ASSERT_EQ(SendMessageA(status->Handle(), SB_GETPARTS, 8, reinterpret_cast<LPARAM>(edges)), 3);
  EXPECT_EQ(edges[0], 150);
  EXPECT_EQ(edges[1], 250);
  char text[32] = {};
  SendMessageA(status->Handle(), SB_GETTEXTA, 0, reinterpret_cast<LPARAM>(text));
  EXPECT_STREQ(text, "Ready");

  status->Panels()->Items(2)->SetAlignment(TAlignment::taRightJustify);
  SendMessageA(status->Handle(), SB_GETTEXTA, 2, reinterpret_cast<LPARAM>(text));
  EXPECT_STREQ(text, "\t\tINS");  // the status window's own right-alignment mark

  status->OnDrawPanel = TDrawPanelEvent::Of<&TEventLog::DrawPanelBlue>(&log);
  status->Panels()->Items(1)->SetStyle(TStatusPanelStyle::psOwnerDraw);
  UpdateWindow(status->Handle());
  ASSERT_FALSE(log.drawnPanels.empty());
  EXPECT_EQ(log.drawnPanels.back(), status->Panels()->Items(1));
  RECT part{};
  ASSERT_TRUE(SendMessageA(status->Handle(), SB_GETRECT, 1, reinterpret_cast<LPARAM>(&part)));
  POINT centre = status->ClientToScreen({(part.left + part.right) / 2, (part.top + part.bottom) / 2});
  EXPECT_TRUE(PumpUntil([&] { return ScreenPixel(centre.x, centre.y) == RGB(0, 0, 255); }, 5000));
}

}  // namespace
