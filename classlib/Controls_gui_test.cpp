// Controls over real windows under Wine: window classes, the control property,
// WindowProc chaining, reflection, notifications, mouse enter/leave from the real
// pointer, windowless controls, exceptions in handlers and owner-drawn menus.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "classlib/Buttons_win.h"
#include "classlib/ControlClasses.h"
#include "classlib/Forms_win.h"
#include "classlib/Layout.h"
#include "classlib/Menus_win.h"
#include "classlib/StdCtrls_win.h"
#include "tests/support/FormsSession_win.h"
#include "tests/support/GuiProbe_win.h"

using velmora::test::StartForms;
using velmora::test::WindowClassOf;
using velmora::test::PumpUntil;

namespace {

// Records what reaches the application's exception handler.
class TExceptionRecorder : public TObject {
  VELMORA_CLASS(TExceptionRecorder, TObject)
 public:
  void Record(TObject* sender, Exception* error) {
    messages.push_back(error->Message());
    senders.push_back(sender);
  }
  std::vector<std::string> messages;
  std::vector<TObject*> senders;
};

// Logs the messages that pass through a control's WindowProc, then chains on.
class TMessageLog : public TObject {
  VELMORA_CLASS(TMessageLog, TObject)
 public:
  void Attach(TControl* control) {
    control_ = control;
    saved_ = control->WindowProc;
    control->WindowProc = TWndMethod::Of<&TMessageLog::Hook>(this);
  }
  void Detach() { control_->WindowProc = saved_; }
  void Hook(TMessage& message) {
    seen.push_back(message.Msg);
    saved_(message);
  }
  bool Saw(UINT msg) const { return std::find(seen.begin(), seen.end(), msg) != seen.end(); }
  std::vector<UINT> seen;

 private:
  TControl* control_ = nullptr;
  TWndMethod saved_;
};

class TClickCounter : public TObject {
  VELMORA_CLASS(TClickCounter, TObject)
 public:
  void Clicked(TObject* sender) { ++clicks; last = sender; }
  void Throw(TObject*) {
    ++clicks;
    throw Exception("boom " + std::to_string(clicks));
  }
  void Entered(TObject* sender) { entered.push_back(sender); }
  void Left(TObject* sender) { left.push_back(sender); }
  int clicks = 0;
  TObject* last = nullptr;
  std::vector<TObject*> entered, left;
};

class TRedSpeedButton : public TSpeedButton {
  VELMORA_CLASS(TRedSpeedButton, TSpeedButton)
 public:
  explicit TRedSpeedButton(TComponent* owner = nullptr) : TSpeedButton(owner) {}
  int downX = -1, downY = -1;

 protected:
  void Paint() override {
    Canvas().Brush().SetColor(clRed);
    RECT r{0, 0, Width(), Height()};
    Canvas().FillRect(r);
  }
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override {
    downX = x;
    downY = y;
    TSpeedButton::MouseDown(button, shift, x, y);
  }
};

class TTestForm1 : public TForm {
  VELMORA_CLASS(TTestForm1, TForm)
 public:
  explicit TTestForm1(TComponent* owner = nullptr) : TForm(owner) {}
};

class ControlsGui : public ::testing::Test {
 protected:
  void SetUp() override {
    StartForms();
    Application->OnException = TExceptionEvent::Of<&TExceptionRecorder::Record>(&recorder);
    form = new TForm(Application);
    form->SetBounds(60, 60, 400, 300);
  }
  void TearDown() override {
    delete form;
    Application->OnException.Clear();
  }
  void ShowForm() {
    form->Show();
    ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(form->Handle()) != FALSE; }, 5000));
    velmora::test::PumpMessages();
  }
  TExceptionRecorder recorder;
  TForm* form = nullptr;
};

TEST_F(ControlsGui, WindowClassesAreTheClassNamesOverTheSystemClasses) {
  std::vector<TWinControl*> controls = {new TButton(form),   new TCheckBox(form), new TRadioButton(form),
                                        new TGroupBox(form), new TEdit(form),     new TMemo(form),
                                        new TComboBox(form), new TListBox(form),  new TScrollBar(form),
                                        new TBitBtn(form),   new TScrollBox(form)};
  for (TWinControl* control : controls) control->SetParent(form);
  for (TWinControl* control : controls) {
    HWND window = control->Handle();
    EXPECT_EQ(WindowClassOf(window), control->ClassName());
    EXPECT_EQ(TWinControl::FindControl(window), control);
    EXPECT_EQ(GetParent(window), form->Handle());
    EXPECT_TRUE(GetWindowLongA(window, GWL_STYLE) & WS_CLIPSIBLINGS) << control->ClassName();
  }
  EXPECT_EQ(WindowClassOf(form->Handle()), "TForm");
  EXPECT_TRUE(GetWindowLongA(form->Handle(), GWL_STYLE) & WS_CLIPCHILDREN);
  EXPECT_TRUE(GetWindowLongA(controls[3]->Handle(), GWL_STYLE) & WS_CLIPCHILDREN);  // group box

  // Superclasses behave as the system class: a check box takes BM_SETCHECK.
  auto* check = static_cast<TCheckBox*>(controls[1]);
  check->SetChecked(true);
  EXPECT_EQ(SendMessageA(check->Handle(), BM_GETCHECK, 0, 0), BST_CHECKED);
  controls[4]->SetText("typed");
  char text[32] = {};
  GetWindowTextA(controls[4]->Handle(), text, sizeof text);
  EXPECT_STREQ(text, "typed");

  // A form class of its own registers its own window class.
  auto* own = new TTestForm1(form);
  EXPECT_EQ(WindowClassOf(own->Handle()), "TTestForm1");
}

TEST_F(ControlsGui, ControlPropertyIsNamedFromInstanceAndThreadAndIsAnAtom) {
  auto* button = new TButton(form);
  button->SetParent(form);
  char name[64];
  std::snprintf(name, sizeof name, "ControlOfs%08X%08X",
                static_cast<unsigned>(reinterpret_cast<uintptr_t>(GetModuleHandleA(nullptr))),
                static_cast<unsigned>(GetCurrentThreadId()));
  EXPECT_EQ(GetPropA(button->Handle(), name), static_cast<HANDLE>(button));
  EXPECT_NE(GlobalFindAtomA(name), 0);
  // A window of no control has none.
  HWND plain = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  EXPECT_EQ(TWinControl::FindControl(plain), nullptr);
  // A control may live in that bare window.
  auto* inPlain = new TButton(form);
  inPlain->SetParentWindow(plain);
  EXPECT_EQ(GetParent(inPlain->Handle()), plain);
  delete inPlain;
  DestroyWindow(plain);
}

TEST_F(ControlsGui, WindowProcChainsAndRestores) {
  auto* button = new TButton(form);
  button->SetParent(form);
  button->HandleNeeded();  // windows are made on demand
  TMessageLog log;
  log.Attach(button);
  EXPECT_EQ(button->Perform(WM_GETTEXTLENGTH), 0);  // chained to the system class
  button->SetText("abc");
  EXPECT_EQ(button->Perform(WM_GETTEXTLENGTH), 3);
  SendMessageA(button->Handle(), WM_USER + 7, 0, 0);  // from the window side too
  EXPECT_TRUE(log.Saw(WM_GETTEXTLENGTH));
  EXPECT_TRUE(log.Saw(WM_USER + 7));
  log.Detach();
  log.seen.clear();
  button->Perform(WM_GETTEXTLENGTH);
  SendMessageA(button->Handle(), WM_USER + 7, 0, 0);
  EXPECT_TRUE(log.seen.empty());
}

TEST_F(ControlsGui, ChildMessagesAreReflectedToTheChild) {
  auto* button = new TButton(form);
  button->SetParent(form);
  TClickCounter counter;
  button->OnClick = TNotifyEvent::Of<&TClickCounter::Clicked>(&counter);
  TMessageLog log;
  log.Attach(button);

  // A real click: the system button tells its parent, the parent reflects.
  SendMessageA(button->Handle(), BM_CLICK, 0, 0);
  EXPECT_TRUE(log.Saw(0xBD11));
  EXPECT_EQ(counter.clicks, 1);
  EXPECT_EQ(counter.last, button);

  NMHDR header{button->Handle(), 1, 0};
  SendMessageA(form->Handle(), WM_NOTIFY, 1, reinterpret_cast<LPARAM>(&header));
  EXPECT_TRUE(log.Saw(0xBC4E));

  DRAWITEMSTRUCT draw{};
  draw.CtlType = ODT_BUTTON;
  draw.hwndItem = button->Handle();
  SendMessageA(form->Handle(), WM_DRAWITEM, 1, reinterpret_cast<LPARAM>(&draw));
  EXPECT_TRUE(log.Saw(0xBC2B));

  // A menu command (lParam 0) is not a child's.
  log.seen.clear();
  SendMessageA(form->Handle(), WM_COMMAND, 5, 0);
  EXPECT_FALSE(log.Saw(0xBD11));
  log.Detach();
}

TEST_F(ControlsGui, VisibleAndEnabledChangesNotifyAndReachTheWindow) {
  auto* edit = new TEdit(form);
  edit->SetParent(form);
  ShowForm();
  TMessageLog log;
  log.Attach(edit);
  edit->SetVisible(false);
  EXPECT_FALSE(IsWindowVisible(edit->Handle()));
  edit->SetEnabled(false);
  EXPECT_FALSE(IsWindowEnabled(edit->Handle()));
  edit->SetEnabled(true);
  edit->SetVisible(true);
  EXPECT_TRUE(IsWindowVisible(edit->Handle()));
  EXPECT_TRUE(IsWindowEnabled(edit->Handle()));
  EXPECT_EQ(std::count(log.seen.begin(), log.seen.end(), 0xB00Bu), 2);
  EXPECT_EQ(std::count(log.seen.begin(), log.seen.end(), 0xB00Cu), 2);
  log.seen.clear();
  edit->SetVisible(true);  // no change, no notification
  EXPECT_FALSE(log.Saw(0xB00B));
  log.Detach();
}

TEST_F(ControlsGui, RealPointerEntersAndLeavesAControl) {
  auto* button = new TButton(form);
  button->SetParent(form);
  button->SetBounds(40, 40, 120, 40);
  TClickCounter counter;
  button->OnMouseEnter = TNotifyEvent::Of<&TClickCounter::Entered>(&counter);
  button->OnMouseLeave = TNotifyEvent::Of<&TClickCounter::Left>(&counter);
  ShowForm();
  TMessageLog log;
  log.Attach(button);

  velmora::test::RunHostCommand("xdotool mousemove 5 5");
  PumpUntil([] { return false; }, 300);
  POINT inside = button->ClientToScreen({60, 20});
  velmora::test::RunHostCommand("xdotool mousemove " + std::to_string(inside.x) + " " + std::to_string(inside.y));
  ASSERT_TRUE(PumpUntil([&] { return !counter.entered.empty(); }, 5000));
  EXPECT_EQ(counter.entered[0], button);
  EXPECT_TRUE(button->MouseInControl());
  EXPECT_TRUE(log.Saw(0xB013));

  velmora::test::RunHostCommand("xdotool mousemove 5 5");
  ASSERT_TRUE(PumpUntil([&] { return !counter.left.empty(); }, 5000));
  EXPECT_EQ(counter.left[0], button);
  EXPECT_FALSE(button->MouseInControl());
  EXPECT_TRUE(log.Saw(0xB014));
  log.Detach();
}

TEST_F(ControlsGui, SpeedButtonGetsMouseAndPaintsIntoItsParentsDc) {
  auto* speed = new TRedSpeedButton(form);
  speed->SetParent(form);
  speed->SetBounds(30, 20, 40, 24);
  TClickCounter counter;
  speed->OnClick = TNotifyEvent::Of<&TClickCounter::Clicked>(&counter);
  ShowForm();

  // Mouse: the parent routes to the windowless child in the child's coordinates.
  SendMessageA(form->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(35, 25));
  EXPECT_EQ(speed->downX, 5);
  EXPECT_EQ(speed->downY, 5);
  SendMessageA(form->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(36, 26));
  EXPECT_EQ(counter.clicks, 1);
  // A press outside the button is not its click.
  SendMessageA(form->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(200, 200));
  SendMessageA(form->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(200, 200));
  EXPECT_EQ(counter.clicks, 1);

  // Painting into a DC given in wParam: the child paints at its place.
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, 400, 300);
  ReleaseDC(nullptr, screen);
  HGDIOBJ old = SelectObject(memory, bitmap);
  RECT all{0, 0, 400, 300};
  FillRect(memory, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  SendMessageA(form->Handle(), WM_PAINT, reinterpret_cast<WPARAM>(memory), 0);
  EXPECT_EQ(GetPixel(memory, 31, 21), RGB(255, 0, 0));
  EXPECT_EQ(GetPixel(memory, 69, 43), RGB(255, 0, 0));
  EXPECT_NE(GetPixel(memory, 71, 21), RGB(255, 0, 0));  // just right of it: the form's own
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);

  // And on screen through the normal paint.
  POINT at = speed->ClientToScreen({10, 10});
  EXPECT_TRUE(PumpUntil([&] { return velmora::test::ScreenPixel(at.x, at.y) == RGB(255, 0, 0); }, 5000));
}

TEST_F(ControlsGui, ExceptionInAClickHandlerReachesHandleExceptionAndLifeGoesOn) {
  auto* button = new TButton(form);
  button->SetParent(form);
  TClickCounter counter;
  button->OnClick = TNotifyEvent::Of<&TClickCounter::Throw>(&counter);
  SendMessageA(button->Handle(), BM_CLICK, 0, 0);
  ASSERT_EQ(recorder.messages.size(), 1u);
  EXPECT_EQ(recorder.messages[0], "boom 1");
  SendMessageA(button->Handle(), BM_CLICK, 0, 0);
  ASSERT_EQ(recorder.messages.size(), 2u);
  EXPECT_EQ(recorder.messages[1], "boom 2");
  EXPECT_TRUE(IsWindow(button->Handle()));

  // The handlers' code addresses are handed out, distinct and executable.
  TApplicationHandlerAddresses addresses = ApplicationHandlerAddresses();
  ASSERT_NE(addresses.HandleException, nullptr);
  ASSERT_NE(addresses.ShowException, nullptr);
  EXPECT_NE(addresses.HandleException, addresses.ShowException);
  MEMORY_BASIC_INFORMATION info{};
  ASSERT_NE(VirtualQuery(addresses.HandleException, &info, sizeof info), 0u);
  EXPECT_TRUE(info.Protect & (PAGE_EXECUTE_READ | PAGE_EXECUTE | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY));
}

class TMenuDrawRecorder : public TObject {
  VELMORA_CLASS(TMenuDrawRecorder, TObject)
 public:
  void Draw(TObject* sender, TCanvas* canvas, RECT rect, bool selected) {
    drawn.push_back(sender);
    canvas->Brush().SetColor(clLime);
    canvas->FillRect(rect);
  }
  void Measure(TObject*, TCanvas*, int& width, int& height) {
    width = 120;
    height = 30;
    ++measured;
  }
  std::vector<TObject*> drawn;
  int measured = 0;
};

TMenuDrawRecorder* activeMenuRecorder = nullptr;
void CALLBACK CloseMenuWhenDrawn(HWND, UINT, UINT_PTR id, DWORD) {
  static int ticks = 0;
  if ((activeMenuRecorder && !activeMenuRecorder->drawn.empty()) || ++ticks > 60) EndMenu();
}

TEST_F(ControlsGui, OwnerDrawnPopupItemIsDrawnThroughOnDrawItem) {
  ShowForm();
  auto* popup = new TPopupMenu(form);
  popup->SetOwnerDraw(true);
  auto* item = new TMenuItem(form);
  item->SetCaption("Skinned");
  popup->Items()->Add(item);
  TMenuDrawRecorder recorder2;
  item->OnDrawItem = TMenuDrawItemEvent::Of<&TMenuDrawRecorder::Draw>(&recorder2);
  item->OnMeasureItem = TMenuMeasureItemEvent::Of<&TMenuDrawRecorder::Measure>(&recorder2);
  activeMenuRecorder = &recorder2;
  UINT_PTR timer = SetTimer(nullptr, 0, 50, CloseMenuWhenDrawn);
  popup->Popup(150, 150);
  KillTimer(nullptr, timer);
  activeMenuRecorder = nullptr;
  EXPECT_GE(recorder2.measured, 1);
  ASSERT_FALSE(recorder2.drawn.empty());
  EXPECT_EQ(recorder2.drawn[0], item);
}

TEST_F(ControlsGui, MenuCommandsReachTheItem) {
  auto* menu = new TMainMenu(form);
  auto* file = new TMenuItem(form);
  file->SetCaption("&File");
  auto* open = new TMenuItem(form);
  open->SetCaption("&Open");
  menu->Items()->Add(file);
  file->Add(open);
  TClickCounter counter;
  open->OnClick = TNotifyEvent::Of<&TClickCounter::Clicked>(&counter);
  form->SetMenu(menu);
  EXPECT_EQ(GetMenu(form->Handle()), menu->Handle());
  SendMessageA(form->Handle(), WM_COMMAND, open->Command(), 0);
  EXPECT_EQ(counter.clicks, 1);
  EXPECT_EQ(counter.last, open);
  // A changed caption reaches the real menu.
  open->SetCaption("Open again");
  char text[32] = {};
  GetMenuStringA(GetMenu(form->Handle()), open->Command(), text, sizeof text, MF_BYCOMMAND);
  EXPECT_STREQ(text, "Open again");
}

TEST_F(ControlsGui, TabOrderListIsNestedAndFollowsTabOrder) {
  auto* first = new TEdit(form);
  first->SetParent(form);
  auto* group = new TGroupBox(form);
  group->SetParent(form);
  auto* inner1 = new TEdit(form);
  inner1->SetParent(group);
  auto* inner2 = new TEdit(form);
  inner2->SetParent(group);
  auto* last = new TButton(form);
  last->SetParent(form);
  inner2->SetTabOrder(0);
  EXPECT_EQ((std::vector<TWinControl*>{first, group, inner2, inner1, last}), form->TabOrderList());
  last->SetTabOrder(0);
  EXPECT_EQ((std::vector<TWinControl*>{last, first, group, inner2, inner1}), form->TabOrderList());
  EXPECT_EQ(last->TabOrder(), 0);
  EXPECT_EQ(group->TabOrder(), 2);
}

TEST_F(ControlsGui, DeletingAParentLeavesItsChildrenWithoutWindowsAndWithoutParent) {
  auto* group = new TGroupBox(form);
  group->SetParent(form);
  auto* inner = new TEdit(form);
  inner->SetParent(group);
  HWND innerWindow = inner->Handle();
  delete group;
  EXPECT_EQ(inner->Parent(), nullptr);
  EXPECT_FALSE(inner->HandleAllocated());
  EXPECT_FALSE(IsWindow(innerWindow));
  EXPECT_EQ(form->ControlCount(), 0);
  // A windowed control without any parent window cannot make one.
  EXPECT_THROW(inner->Handle(), EInvalidOperation);
}

TEST_F(ControlsGui, RecreatingAWindowKeepsTextAndTellsListeners) {
  auto* box = new TComboBox(form);
  box->SetParent(form);
  box->SetItems({"one", "two"});
  box->SetItemIndex(1);
  TMessageLog log;
  log.Attach(box);
  HWND before = box->Handle();
  box->SetStyle(TComboBoxStyle::csDropDownList);
  EXPECT_TRUE(log.Saw(0xB033));
  EXPECT_NE(box->Handle(), before);
  EXPECT_EQ(TWinControl::FindControl(box->Handle()), box);
  EXPECT_EQ(SendMessageA(box->Handle(), CB_GETCOUNT, 0, 0), 2);
  EXPECT_EQ(box->ItemIndex(), 1);
  log.Detach();
}

TEST_F(ControlsGui, FormFromALayoutHoldsEveryStandardControl) {
  RegisterControlClass(TTestForm1::StaticClass());
  const char* layout = R"(
object TestForm1: TTestForm1
  Caption = "Layout form"
  Width = 500
  Height = 400
  object Button1: TButton
    Caption = "OK"
    Default = True
  end
  object CheckBox1: TCheckBox
    Left = 0
    Top = 30
    Checked = True
  end
  object Group1: TGroupBox
    Top = 60
    object Radio1: TRadioButton
      Left = 8
      Top = 16
      Checked = True
    end
  end
  object Edit1: TEdit
    Top = 170
    Text = "hello"
  end
  object Memo1: TMemo
    Top = 200
    Lines = (
      "line one"
      "line two"
    )
  end
  object Combo1: TComboBox
    Left = 200
    Items = (
      "a"
      "b"
    )
  end
  object List1: TListBox
    Left = 200
    Top = 30
  end
  object Scroll1: TScrollBar
    Left = 200
    Top = 140
    Max = 50
    Position = 20
  end
  object BitBtn1: TBitBtn
    Left = 200
    Top = 170
  end
  object Speed1: TSpeedButton
    Left = 300
    Top = 170
    Flat = True
  end
end
)";
  auto* loaded = static_cast<TTestForm1*>(CreateFromLayout(layout, Application));
  ASSERT_NE(loaded, nullptr);
  loaded->Show();
  EXPECT_EQ(WindowClassOf(loaded->Handle()), "TTestForm1");
  for (const char* name : {"Button1", "CheckBox1", "Group1", "Radio1", "Edit1", "Memo1", "Combo1", "List1",
                           "Scroll1", "BitBtn1"}) {
    auto* control = static_cast<TWinControl*>(loaded->FindComponent(name));
    ASSERT_NE(control, nullptr) << name;
    EXPECT_EQ(WindowClassOf(control->Handle()), control->ClassName()) << name;
    EXPECT_TRUE(IsWindowVisible(control->Handle())) << name;
  }
  auto* radio = static_cast<TRadioButton*>(loaded->FindComponent("Radio1"));
  EXPECT_EQ(radio->Parent(), loaded->FindComponent("Group1"));
  EXPECT_EQ(SendMessageA(radio->Handle(), BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_EQ(static_cast<TEdit*>(loaded->FindComponent("Edit1"))->Text(), "hello");
  EXPECT_EQ(static_cast<TMemo*>(loaded->FindComponent("Memo1"))->Lines(),
            (std::vector<std::string>{"line one", "line two"}));
  EXPECT_EQ(GetScrollPos(static_cast<TWinControl*>(loaded->FindComponent("Scroll1"))->Handle(), SB_CTL), 20);
  // The painters read and write properties by name.
  EXPECT_EQ(GetStrProp(loaded->FindComponent("Button1"), "Caption"), std::optional<std::string>("OK"));
  EXPECT_EQ(GetOrdProp(loaded->FindComponent("Button1"), "Default"), std::optional<int64_t>(1));
  EXPECT_EQ(GetEnumProp(loaded->FindComponent("CheckBox1"), "State"), std::optional<std::string>("cbChecked"));
  EXPECT_EQ(GetOrdProp(loaded->FindComponent("Speed1"), "Flat"), std::optional<int64_t>(1));
  EXPECT_TRUE(SetStrProp(loaded->FindComponent("Button1"), "Caption", "Go"));
  char text[16] = {};
  GetWindowTextA(static_cast<TWinControl*>(loaded->FindComponent("Button1"))->Handle(), text, sizeof text);
  EXPECT_STREQ(text, "Go");
  // The screen lists forms in creation order.
  ASSERT_GE(Screen->FormCount(), 2);
  EXPECT_EQ(Screen->Forms(Screen->FormCount() - 1), loaded);
  delete loaded;
}

}  // namespace
