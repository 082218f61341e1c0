// The child dispatch and the button, check-box, radio-button and group painters on
// the host program's Form1 with the frame-coded test skin: which painter each
// control gets, the face and mark frames sampled on screen, and input still working.
#include "skin/painters/SkinButtons_win.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "classlib/Buttons_win.h"
#include "classlib/ControlClasses.h"
#include "classlib/ExtCtrls_win.h"
#include "classlib/ImgList_win.h"
#include "classlib/Layout.h"
#include "classlib/StdCtrls_win.h"
#include "classlib/ControlMessages.h"
#include "skin/container/SkinDraw_win.h"
#include "skin/painters/SkinMediaPlayer_win.h"
#include "skin/data/SkinTestSkin.h"
#include "skin/forms/SkinDispatch_win.h"
#include "skin/forms/WinSkinForm.h"
#include "tests/support/GuiProbe_win.h"
#include "tests/support/TestPaths.h"

using velmora::test::PumpUntil;
using velmora::test::ScreenPixel;

namespace skin {
namespace {

// Form1's class under another name, with the handlers its layout names.
class TButtonsTestForm : public TForm {
  VELMORA_CLASS(TButtonsTestForm, TForm)
  VELMORA_PUBLISHED(TButtonsTestForm)
 public:
  explicit TButtonsTestForm(TComponent* owner = nullptr) : TForm(owner) {}
  void ExitItemClick(TObject*) {}
  void RaiseItemClick(TObject*) {}
  void Clicked(TObject*) { ++clicks; }
  void FreeSender(TObject* sender) {
    ++clicks;
    delete sender;
  }
  int clicks = 0;
};
VELMORA_PUBLISH(TButtonsTestForm) {
  p.Method<&TButtonsTestForm::ExitItemClick>("ExitItemClick").Method<&TButtonsTestForm::RaiseItemClick>("RaiseItemClick");
}

// A drop-down button of another family, known only through a Skin3rd row.
class TMenuBtnStandIn : public TButton {
  VELMORA_CLASS(TMenuBtnStandIn, TButton)
  VELMORA_PUBLISHED(TMenuBtnStandIn)
 public:
  using TButton::TButton;
  TBitmap* Glyph() const { return glyph.get(); }
  std::unique_ptr<TBitmap> glyph = std::make_unique<TBitmap>();
};
VELMORA_PUBLISH(TMenuBtnStandIn) { p.Object("Glyph", &TMenuBtnStandIn::Glyph); }

// A check box of another family (not a TCustomCheckBox) that draws its own glyphs
// from published bitmaps.
class TRzCheckBox : public TCustomControl {
  VELMORA_CLASS(TRzCheckBox, TCustomControl)
  VELMORA_PUBLISHED(TRzCheckBox)
 public:
  using TCustomControl::TCustomControl;
  TBitmap* CustomGlyphs() const { return glyphs.get(); }
  int TransparentColor() const { return transparent; }
  void SetTransparentColor(int c) { transparent = c; }
  bool UseCustomGlyphs() const { return use; }
  void SetUseCustomGlyphs(bool on) {
    use = on;
    ++switches;
  }
  std::unique_ptr<TBitmap> glyphs = std::make_unique<TBitmap>();
  int transparent = 0;
  bool use = false;
  int switches = 0;
};
VELMORA_PUBLISH(TRzCheckBox) {
  p.Object("CustomGlyphs", &TRzCheckBox::CustomGlyphs)
      .Integer("TransparentColor", &TRzCheckBox::TransparentColor, &TRzCheckBox::SetTransparentColor)
      .Boolean("UseCustomGlyphs", &TRzCheckBox::UseCustomGlyphs, &TRzCheckBox::SetUseCustomGlyphs);
}

// The test skin's pixel code of frame k (from 1), slice s of an element.
COLORREF Code(const char* key, int k, int slice) {
  const skintest::TManifestImage* image = skintest::TestSkin().Find("Buttons", key);
  if (!image) return CLR_INVALID;
  return RGB(image->Id, (k - 1) * 9 + slice, 0x11);
}

class Form1Skinned : public ::testing::Test {
 protected:
  void SetUp() override {
    skintest::StartSkinForms();
    static const bool registered = (RegisterControlClass(TButtonsTestForm::StaticClass()), true);
    (void)registered;
    InstallChildDispatch();
    std::string layout = velmora::test::ReadFileBytes(velmora::test::HostPath(VELMORA_FORM1_LAYOUT));
    ASSERT_FALSE(layout.empty());
    layout.replace(layout.find("TForm1"), 6, "TButtonsTestForm");
    form.reset(dynamic_cast<TButtonsTestForm*>(CreateFromLayout(layout, nullptr)));
    ASSERT_TRUE(form);
    data = dynamic_cast<TSkinData*>(form->FindComponent("SkinData1"));
    ASSERT_TRUE(data);
    data->SetSkinStreamBytes(skintest::TestSkinContainer());
    ASSERT_TRUE(data->LoadSkin());
    form->SetBounds(0, 0, 760, 560);
    form->Show();
    skinner = std::make_unique<TWinSkinForm>();
    skinner->Hwnd = form->Handle();
    skinner->AttachForm(data, form.get());
    PostMessageA(form->Handle(), kMsgActivateSkin, 0, 1000);
    ASSERT_TRUE(PumpUntil([&] { return skinner->SkinActivated != 0; }));
    SetForegroundWindow(form->Handle());
  }
  void TearDown() override {
    skinner.reset();
    form.reset();
    SetFormChildrenSeam(nullptr);  // later tests of this program expect none
  }
  TControl* Find(const char* name) { return dynamic_cast<TControl*>(form->FindComponent(name)); }
  TWinControl* Win(const char* name) { return dynamic_cast<TWinControl*>(Find(name)); }
  std::string PainterOf(const char* name) {
    for (TSkinControl* p : skinner->Painters())
      if (p->Owner() == Find(name)) return p->ClassName();
    return "";
  }
  // Polls the screen pixel at (x, y) of the control's client area.
  bool ShowsCode(const char* name, int x, int y, COLORREF code) {
    HWND h = Win(name)->Handle();
    POINT p{x, y};
    ClientToScreen(h, &p);
    return PumpUntil([&] { return ScreenPixel(p.x, p.y) == code; }, 5000);
  }
  std::unique_ptr<TButtonsTestForm> form;
  TSkinData* data = nullptr;
  std::unique_ptr<TWinSkinForm> skinner;
};

TEST_F(Form1Skinned, ControlsGetThePaintersOfTheTables) {
  const std::map<std::string, std::string> expected = {
      {"Button1", "TSkinButton"},       {"CheckBox1", "TSkinCheckBox"},   {"CheckBox2", "TSkinCheckBox"},
      {"RadioButton1", "TSkinRadioButton"}, {"RadioButton4", "TSkinRadioButton"},
      {"GroupBox1", "TSkinGroupBox"},   {"InputGroup", "TSkinGroupBox"},  {"RadioGroup1", "TSkinGroupBox"},
      {"Panel1", "TSkinBox"},           {"BitBtn1", "TSkinBitButton"},
      {"Memo1", "TSkinScrollbar"},      {"Edit1", "TSkinEdit"}};
  for (const auto& [name, cls] : expected) EXPECT_EQ(PainterOf(name.c_str()), cls) << name;
  // The radio group's buttons were given radio painters before the group.
  auto* group = Win("RadioGroup1");
  ASSERT_GT(group->ControlCount(), 0);
  int radios = 0;
  for (TSkinControl* p : skinner->Painters())
    if (p->Owner() == group->Controls(0)) radios += p->IsNamed("TSkinRadioButton");
  EXPECT_EQ(radios, 1);
  EXPECT_EQ(Win("Panel1")->Color(), static_cast<TColor>(SkinColour(data, kSlotButtonFace)));
  // A second pass gives nobody a second painter.
  const size_t count = skinner->Painters().size();
  FormChildrenSeam().SkinChildren(*skinner);
  EXPECT_EQ(skinner->Painters().size(), count);
}

TEST_F(Form1Skinned, FacesAndMarksShowTheirFrames) {
  // The default button rests in frame 5; the left slice is away from the text.
  const int h = Win("Button1")->Height();
  EXPECT_TRUE(ShowsCode("Button1", 1, h / 2, Code("Bitmap", 5, 3)));
  // Disabled: frame 3.
  Win("Button1")->SetEnabled(false);
  EXPECT_TRUE(ShowsCode("Button1", 1, h / 2, Code("Bitmap", 3, 3)));
  Win("Button1")->SetEnabled(true);
  // Held down: frame 2; the leave clears the press.
  SendMessageA(Win("Button1")->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  EXPECT_TRUE(ShowsCode("Button1", 1, h / 2, Code("Bitmap", 2, 3)));
  SendMessageA(Win("Button1")->Handle(), WM_MOUSELEAVE, 0, 0);
  EXPECT_TRUE(ShowsCode("Button1", 1, h / 2, Code("Bitmap", 5, 3)));
  // Hot under the real pointer (the leave arrives late under Wine: polled).
  POINT over{Win("Button1")->Width() / 2, 3};
  ClientToScreen(Win("Button1")->Handle(), &over);
  ASSERT_TRUE(velmora::test::RunHostCommand("xdotool mousemove " + std::to_string(over.x) + " " +
                                            std::to_string(over.y)));
  EXPECT_TRUE(ShowsCode("Button1", 1, h / 2, Code("Bitmap", 4, 3)));
  ASSERT_TRUE(velmora::test::RunHostCommand("xdotool mousemove 750 550"));
  EXPECT_TRUE(ShowsCode("Button1", 1, h / 2, Code("Bitmap", 5, 3)));
  // A radio-group item clicked: the group's index and both marks follow.
  auto* group = dynamic_cast<TRadioGroup*>(Find("RadioGroup1"));
  auto* first = dynamic_cast<TWinControl*>(group->Controls(0));
  SendMessageA(first->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  SendMessageA(first->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  EXPECT_TRUE(PumpUntil([&] { return group->ItemIndex() == 0; }, 3000));
  POINT mark{6, first->Height() / 2};
  ClientToScreen(first->Handle(), &mark);
  EXPECT_TRUE(PumpUntil([&] { return ScreenPixel(mark.x, mark.y) == Code("RadioButton", 5, 4); }, 5000));
  auto* second = dynamic_cast<TWinControl*>(group->Controls(1));
  mark = {6, second->Height() / 2};
  ClientToScreen(second->Handle(), &mark);
  EXPECT_TRUE(PumpUntil([&] { return ScreenPixel(mark.x, mark.y) == Code("RadioButton", 1, 4); }, 5000));
  // Check box marks: unchecked 1 / checked 5 on the 12-frame strip (mark centre pixel).
  auto* box = dynamic_cast<TCheckBox*>(Find("CheckBox1"));
  const int markY = box->Height() / 2;
  box->SetChecked(false);
  EXPECT_TRUE(ShowsCode("CheckBox1", 6, markY, Code("CheckButton", 1, 4)));
  box->SetChecked(true);
  EXPECT_TRUE(ShowsCode("CheckBox1", 6, markY, Code("CheckButton", 5, 4)));
  box->SetEnabled(false);
  EXPECT_TRUE(ShowsCode("CheckBox1", 6, markY, Code("CheckButton", 8, 4)));
  // Radio marks on the 8-frame strip.
  auto* radio = dynamic_cast<TRadioButton*>(Find("RadioButton1"));
  radio->SetChecked(true);
  EXPECT_TRUE(ShowsCode("RadioButton1", 6, radio->Height() / 2, Code("RadioButton", 5, 4)));
}

// Whether any pixel of the control's client area on screen is `colour`.
bool ScreenShows(TWinControl* control, COLORREF colour) {
  RECT r{};
  GetClientRect(control->Handle(), &r);
  POINT origin{0, 0};
  ClientToScreen(control->Handle(), &origin);
  HDC screen = GetDC(nullptr);
  bool found = false;
  for (int y = r.top; y < r.bottom && !found; y++)
    for (int x = r.left; x < r.right && !found; x++) found = GetPixel(screen, origin.x + x, origin.y + y) == colour;
  ReleaseDC(nullptr, screen);
  return found;
}

TEST_F(Form1Skinned, BitButtonDrawsItsGlyphAndGreysItWhenDisabled) {
  auto* bit = dynamic_cast<TBitBtn*>(Find("BitBtn1"));
  TBitmap glyph;
  glyph.SetSize(16, 16);
  FillSolid(glyph.Canvas().Handle(), {0, 0, 16, 16}, RGB(255, 255, 255));
  FillSolid(glyph.Canvas().Handle(), {4, 4, 12, 12}, RGB(0, 200, 0));
  bit->SetGlyph(&glyph);
  bit->Invalidate();
  EXPECT_TRUE(PumpUntil([&] { return ScreenShows(bit, RGB(0, 200, 0)); }, 5000));
  EXPECT_FALSE(ScreenShows(bit, RGB(255, 255, 255)));  // the key colour stays transparent
  EXPECT_TRUE(ShowsCode("BitBtn1", 1, bit->Height() / 2, Code("Bitmap", 1, 3)));
  // The Tab key from Button1 focuses the bit button: frame 5.
  SetFocus(Win("Button1")->Handle());
  ASSERT_TRUE(velmora::test::RunHostCommand("xdotool key Tab"));
  EXPECT_TRUE(PumpUntil([&] { return GetFocus() == bit->Handle(); }, 5000));
  EXPECT_TRUE(ShowsCode("BitBtn1", 1, bit->Height() / 2, Code("Bitmap", 5, 3)));
  bit->SetEnabled(false);
  EXPECT_TRUE(ShowsCode("BitBtn1", 1, bit->Height() / 2, Code("Bitmap", 3, 3)));
  EXPECT_FALSE(ScreenShows(bit, RGB(0, 200, 0)));  // one image: the greyed copy
  EXPECT_TRUE(ScreenShows(bit, GetSysColor(COLOR_BTNSHADOW)));
}

// A bit button of another family that takes its glyph from an image list.
class TImageBitBtn : public TButton {
  VELMORA_CLASS(TImageBitBtn, TButton)
  VELMORA_PUBLISHED(TImageBitBtn)
 public:
  using TButton::TButton;
  TCustomImageList* ImagesList() const { return images; }
  TCustomImageList* images = nullptr;
  int ImageIndex = 0, DisabledIndex = 1;
};
VELMORA_PUBLISH(TImageBitBtn) {
  p.Object("Images", &TImageBitBtn::ImagesList)
      .Integer("ImageIndex", &TImageBitBtn::ImageIndex)
      .Integer("DisabledIndex", &TImageBitBtn::DisabledIndex);
}

TEST_F(Form1Skinned, BitButtonDrawsFromItsImageList) {
  TImageList list;
  TBitmap strip;  // image 0 green, image 1 blue
  strip.SetSize(32, 16);
  FillSolid(strip.Canvas().Handle(), {0, 0, 16, 16}, RGB(0, 200, 0));
  FillSolid(strip.Canvas().Handle(), {16, 0, 32, 16}, RGB(0, 0, 200));
  ASSERT_EQ(list.Add(strip, nullptr), 0);
  data->Skin3rd()->Add("TImageBitBtn=bitbtn");
  auto* bit = new TImageBitBtn(form.get());
  bit->images = &list;
  bit->SetParent(Win("ButtonsSheet"));
  bit->SetBounds(240, 170, 80, 30);
  FormChildrenSeam().SkinChildren(*skinner);
  EXPECT_TRUE(PumpUntil([&] { return ScreenShows(bit, RGB(0, 200, 0)); }, 5000));
  bit->SetEnabled(false);  // "DisabledIndex" 1
  EXPECT_TRUE(PumpUntil([&] { return ScreenShows(bit, RGB(0, 0, 200)); }, 5000));
  EXPECT_FALSE(ScreenShows(bit, RGB(0, 200, 0)));
  bit->DisabledIndex = -1;  // the enabled image in its disabled look
  bit->Invalidate();
  EXPECT_TRUE(PumpUntil([&] { return !ScreenShows(bit, RGB(0, 0, 200)); }, 5000));
  EXPECT_FALSE(ScreenShows(bit, RGB(0, 200, 0)));
  delete bit;
}

TEST_F(Form1Skinned, Skin3rdMenuButtonShowsItsFrames) {
  data->Skin3rd()->Add("TMenuBtnStandIn=menubtn");
  auto* menu = new TMenuBtnStandIn(form.get());
  menu->SetParent(dynamic_cast<TWinControl*>(form->FindComponent("ButtonsSheet")));
  menu->SetBounds(16, 170, 80, 25);
  FormChildrenSeam().SkinChildren(*skinner);
  std::string painter;
  for (TSkinControl* p : skinner->Painters())
    if (p->Owner() == menu) painter = p->ClassName();
  EXPECT_EQ(painter, "TSkinMenuButton");
  POINT at{1, menu->Height() / 2};
  ClientToScreen(menu->Handle(), &at);
  menu->SetDefault(true);  // plays no part: frame 1 at rest
  EXPECT_TRUE(PumpUntil([&] { return ScreenPixel(at.x, at.y) == Code("Bitmap", 1, 3); }, 5000));
  SetFocus(menu->Handle());  // focus shows the hot frame
  EXPECT_TRUE(PumpUntil([&] { return ScreenPixel(at.x, at.y) == Code("Bitmap", 4, 3); }, 5000));
  // Its glyph shows at its own size, its key colour transparent.
  menu->glyph->SetSize(12, 12);
  FillSolid(menu->glyph->Canvas().Handle(), {0, 0, 12, 12}, RGB(255, 255, 255));
  FillSolid(menu->glyph->Canvas().Handle(), {3, 3, 9, 9}, RGB(0, 200, 0));
  menu->Invalidate();
  EXPECT_TRUE(PumpUntil([&] { return ScreenShows(menu, RGB(0, 200, 0)); }, 5000));
  EXPECT_FALSE(ScreenShows(menu, RGB(255, 255, 255)));
}

TEST_F(Form1Skinned, OtherFamiliesCheckBoxGetsTheSkinGlyphSlots) {
  auto* rz = new TRzCheckBox(form.get());
  rz->SetParent(dynamic_cast<TWinControl*>(form->FindComponent("ButtonsSheet")));
  rz->SetBounds(120, 170, 90, 20);
  FormChildrenSeam().SkinChildren(*skinner);
  std::string painter;
  for (TSkinControl* p : skinner->Painters())
    if (p->Owner() == rz) painter = p->ClassName();
  EXPECT_EQ(painter, "TSkinObjImage");
  EXPECT_EQ(rz->transparent, 0xFF00FF);
  EXPECT_TRUE(rz->use);
  EXPECT_EQ(rz->switches, 2);  // off and on again
  // Nine slots of the 12-frame strip: 1 2 - 1 2 - 3 4 -.
  const int w = rz->glyphs->Width() / 9;
  ASSERT_EQ(w, 13);
  HDC dc = rz->glyphs->Canvas().Handle();
  EXPECT_EQ(GetPixel(dc, 6, 6), Code("CheckButton", 1, 4));
  EXPECT_EQ(GetPixel(dc, w + 6, 6), Code("CheckButton", 2, 4));
  EXPECT_EQ(GetPixel(dc, 2 * w + 6, 6), RGB(255, 0, 255));
  EXPECT_EQ(GetPixel(dc, 6 * w + 6, 6), Code("CheckButton", 3, 4));
  EXPECT_EQ(GetPixel(dc, 7 * w + 6, 6), Code("CheckButton", 4, 4));
  skinner->Unskin();
  EXPECT_FALSE(rz->use);
}

TEST_F(Form1Skinned, SpeedButtonPaintsOnItsParentInEachState) {
  auto* speed = dynamic_cast<TSpeedButton*>(Find("SpeedButton1"));
  ASSERT_TRUE(speed);
  EXPECT_EQ(PainterOf("SpeedButton1"), "TSkinSpeedButton");
  POINT at{speed->Left() + 1, speed->Top() + speed->Height() / 2};
  ClientToScreen(speed->Parent()->Handle(), &at);
  auto shows = [&](COLORREF code) { return PumpUntil([&] { return ScreenPixel(at.x, at.y) == code; }, 5000); };
  EXPECT_TRUE(shows(Code("Bitmap", 1, 3)));
  speed->Perform(CM_MOUSEENTER);
  EXPECT_TRUE(shows(Code("Bitmap", 4, 3)));
  speed->Perform(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
  EXPECT_TRUE(shows(Code("Bitmap", 2, 3)));
  speed->Perform(WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
  speed->Perform(CM_MOUSELEAVE);
  EXPECT_TRUE(shows(Code("Bitmap", 1, 3)));
  speed->SetEnabled(false);
  EXPECT_TRUE(shows(Code("Bitmap", 3, 3)));
  speed->SetEnabled(true);
  speed->GroupIndex = 1;  // only grouped buttons stay down
  speed->AllowAllUp = true;
  speed->SetDown(true);
  EXPECT_TRUE(shows(Code("Bitmap", 2, 3)));
  speed->SetDown(false);
  // Flat: no face at rest, the face once hot.
  speed->SetFlat(true);
  EXPECT_TRUE(shows(SkinColour(data, kSlotButtonFace)));
  speed->Perform(CM_MOUSEENTER);
  EXPECT_TRUE(shows(Code("Bitmap", 4, 3)));
  speed->Perform(CM_MOUSELEAVE);
  // The going-away notice gives the control its own painting back.
  speed->SetFlat(false);
  speed->Perform(0xB021);
  speed->Invalidate();
  EXPECT_TRUE(PumpUntil([&] {
    const COLORREF c = ScreenPixel(at.x, at.y);
    return c != Code("Bitmap", 1, 3) && c != SkinColour(data, kSlotButtonFace);
  }, 5000));
}

// A media player of another family, known by its class name; it records the mouse
// messages the panel hands on.
class TMediaPlayer : public TCustomControl {
  VELMORA_CLASS(TMediaPlayer, TCustomControl)
  VELMORA_PUBLISHED(TMediaPlayer)
 public:
  using TCustomControl::TCustomControl;
  void WndProc(TMessage& message) override {
    if (message.Msg == WM_LBUTTONDOWN || message.Msg == WM_LBUTTONUP) received.push_back(message.Msg);
    TCustomControl::WndProc(message);
  }
  std::string VisibleButtons = "[btPlay,btPause,btStop]", EnabledButtons = "[btPlay,btStop]",
              ColoredButtons = "[btStop]";
  std::vector<UINT> received;
};
VELMORA_PUBLISH(TMediaPlayer) {
  p.String("VisibleButtons", &TMediaPlayer::VisibleButtons)
      .String("EnabledButtons", &TMediaPlayer::EnabledButtons)
      .String("ColoredButtons", &TMediaPlayer::ColoredButtons);
}

TEST_F(Form1Skinned, MediaPlayerPanelShowsTheButtonStates) {
  auto* player = new TMediaPlayer(form.get());
  auto* sheet = Win("ButtonsSheet");
  player->SetParent(sheet);
  player->SetBounds(240, 170, 150, 30);
  FormChildrenSeam().SkinChildren(*skinner);
  TSkinMP* painter = nullptr;
  for (TSkinControl* p : skinner->Painters())
    if (p->Owner() == player) painter = dynamic_cast<TSkinMP*>(p);
  ASSERT_TRUE(painter);
  TWMediaPlayer* panel = painter->Panel();
  ASSERT_TRUE(panel);
  EXPECT_EQ(SendMessageA(panel->Handle(), kMsgIsSkinned, 0, 0), 1);
  EXPECT_EQ(panel->Parent(), sheet);
  EXPECT_EQ(panel->BoundsRect().left, 240);
  EXPECT_EQ(panel->Width(), 150);
  // Three visible buttons of 50: play enabled (frame 1, black glyph), pause
  // disabled (frame 3), stop coloured (red glyph).
  auto screen = [&](int x, int y) {
    POINT p{x, y};
    ClientToScreen(panel->Handle(), &p);
    return p;
  };
  auto shows = [&](POINT p, COLORREF c) { return PumpUntil([&] { return ScreenPixel(p.x, p.y) == c; }, 5000); };
  EXPECT_TRUE(shows(screen(1, 15), Code("Bitmap", 1, 3)));
  EXPECT_TRUE(shows(screen(51, 15), Code("Bitmap", 3, 3)));
  EXPECT_TRUE(shows(screen(101, 15), Code("Bitmap", 1, 3)));
  // Glyph pixel (6, 7) of a 16 x 14 bitmap centred in a 50 x 30 button.
  EXPECT_TRUE(shows(screen(17 + 6, 8 + 7), RGB(0, 0, 0)));
  EXPECT_TRUE(shows(screen(117 + 6, 8 + 7), RGB(0xC0, 0, 0)));
  // A press on play: frame 2 and the player gets the press; the release on the same
  // button reaches it too.
  SendMessageA(panel->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
  EXPECT_TRUE(shows(screen(1, 15), Code("Bitmap", 2, 3)));
  SendMessageA(panel->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(12, 10));
  EXPECT_TRUE(shows(screen(1, 15), Code("Bitmap", 1, 3)));
  EXPECT_EQ(player->received, (std::vector<UINT>{WM_LBUTTONDOWN, WM_LBUTTONUP}));
  // Released over another button: the player gets no release.
  SendMessageA(panel->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
  SendMessageA(panel->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(110, 10));
  EXPECT_EQ(player->received.size(), 3u);
  // The panel follows the player's bounds and visibility.
  player->SetBounds(250, 175, 90, 30);
  EXPECT_TRUE(PumpUntil([&] { return panel->BoundsRect().left == 250 && panel->Width() == 90; }, 3000));
  player->Hide();
  EXPECT_FALSE(IsWindowVisible(panel->Handle()));
}

TEST_F(Form1Skinned, ClicksStillWork) {
  auto* button = dynamic_cast<TButton*>(Find("Button1"));
  button->OnClick = TNotifyEvent::Of<&TButtonsTestForm::Clicked>(form.get());
  HWND h = button->Handle();
  SendMessageA(h, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  SendMessageA(h, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  EXPECT_EQ(form->clicks, 1);
  // Pressed, left (the leave clears the press), released: no click.
  SendMessageA(h, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  SendMessageA(h, WM_MOUSELEAVE, 0, 0);
  SendMessageA(h, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  EXPECT_EQ(form->clicks, 1);
  // Clicking a check box toggles it and its mark follows.
  auto* box = dynamic_cast<TCheckBox*>(Find("CheckBox1"));
  box->SetChecked(false);
  SendMessageA(box->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  SendMessageA(box->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  EXPECT_TRUE(box->Checked());
  EXPECT_TRUE(ShowsCode("CheckBox1", 6, box->Height() / 2, Code("CheckButton", 5, 4)));
  // Painter off: the system's look (0x3506 with 0), back on with 1. The face's left
  // slice shows a frame of the skin's "Bitmap" only while the painter is on.
  POINT face{1, button->Height() / 2};
  ClientToScreen(h, &face);
  const COLORREF anyFrame = Code("Bitmap", 1, 3);
  auto showsSkin = [&] {
    const COLORREF c = ScreenPixel(face.x, face.y);
    return GetRValue(c) == GetRValue(anyFrame) && GetBValue(c) == GetBValue(anyFrame);
  };
  EXPECT_TRUE(PumpUntil(showsSkin, 5000));
  SendMessageA(h, kMsgSkinSwitch, 0, 0);
  EXPECT_EQ(SendMessageA(h, kMsgIsSkinned, 0, 0), 0);
  InvalidateRect(h, nullptr, TRUE);  // off repaints nothing itself: the next paint is the system's
  EXPECT_TRUE(PumpUntil([&] { return !showsSkin(); }, 5000)) << "the skin's face stayed";
  SendMessageA(h, kMsgSkinSwitch, 1, 0);
  EXPECT_EQ(SendMessageA(h, kMsgIsSkinned, 0, 0), 1);
  EXPECT_TRUE(PumpUntil(showsSkin, 5000)) << "the skin's face did not come back";
  // A handler that frees its button (and with it the painter) ends cleanly.
  button->OnClick = TNotifyEvent::Of<&TButtonsTestForm::FreeSender>(form.get());
  SendMessageA(h, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  SendMessageA(h, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  EXPECT_EQ(form->clicks, 2);
  EXPECT_FALSE(IsWindow(h));
  EXPECT_EQ(form->FindComponent("Button1"), nullptr);
}

}  // namespace
}  // namespace skin

namespace skin {
namespace {

// A plain dialog window with a button of every type, one with style 0x80, a simple
// combo box, a size grip, a scroll bar and a nested dialog holding a push button.
TEST(PlainDialogDispatch, ButtonTypesDecodedByValue) {
  skintest::StartSkinForms();
  InstallChildDispatch();
  std::unique_ptr<TSkinData> data = skintest::LoadedTestSkin();
  HINSTANCE inst = GetModuleHandleA(nullptr);
  HWND dialog = CreateWindowExA(0, MAKEINTATOM(0x8002), "Plain", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 20, 20, 400,
                                300, nullptr, nullptr, inst, nullptr);
  ASSERT_TRUE(dialog);
  auto child = [&](HWND parent, const char* cls, DWORD style, int id) {
    return CreateWindowExA(0, cls, "x", WS_CHILD | WS_VISIBLE | style, (id % 8) * 40, (id / 8) * 30, 36, 24,
                           parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), inst, nullptr);
  };
  HWND buttons[16];
  for (int t = 0; t < 16; t++) buttons[t] = child(dialog, "BUTTON", static_cast<DWORD>(t), 100 + t);
  HWND bitmapButton = child(dialog, "BUTTON", 0x80, 200);
  HWND simpleCombo = child(dialog, "COMBOBOX", CBS_SIMPLE, 201);
  HWND grip = child(dialog, "SCROLLBAR", SBS_SIZEGRIP, 202);
  HWND bar = child(dialog, "SCROLLBAR", SBS_HORZ, 203);
  HWND nested = CreateWindowExA(0, MAKEINTATOM(0x8002), "", WS_CHILD | WS_VISIBLE, 0, 200, 100, 60, dialog, nullptr,
                                inst, nullptr);
  HWND inner = child(nested, "BUTTON", BS_PUSHBUTTON, 300);
  HWND captioned = child(dialog, "BUTTON", BS_PUSHBUTTON, 1);  // in sight at (40, 0)
  HWND wide = CreateWindowExW(0, L"BUTTON", L"", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 300, 40, 60, 24, dialog,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(2)), inst, nullptr);

  auto skinner = std::make_unique<TWinSkinForm>();
  skinner->Hwnd = dialog;
  skinner->AttachHandle(data.get());
  FormChildrenSeam().SkinChildren(*skinner);
  auto painterOf = [&](HWND w) -> std::string {
    for (TSkinControl* p : skinner->Painters())
      if (p->Handle == w) return p->ClassName();
    return "";
  };
  const char* expected[16] = {"TSkinButton",      "TSkinButton",   "TSkinCheckBox", "TSkinCheckBox",
                              "TSkinRadioButton", "TSkinCheckBox", "TSkinCheckBox", "",
                              "TSkinButton",      "TSkinRadioButton", "TSkinButton", "",
                              "",                 "",              "",              ""};
  for (int t = 0; t < 16; t++) EXPECT_EQ(painterOf(buttons[t]), expected[t]) << "type " << t;
  EXPECT_EQ(painterOf(bitmapButton), "");
  EXPECT_EQ(painterOf(simpleCombo), "");
  EXPECT_EQ(painterOf(bar), "");
  EXPECT_EQ(painterOf(grip), "TSkinSizer");  // a size grip is painted solid in the skin's face
  SetWindowPos(grip, HWND_TOP, 300, 100, 36, 24, SWP_SHOWWINDOW);  // into sight
  POINT gripCentre{18, 12};
  ClientToScreen(grip, &gripCentre);
  EXPECT_TRUE(PumpUntil([&] { return ScreenPixel(gripCentre.x, gripCentre.y) == SkinColour(data.get(), kSlotButtonFace); },
                        5000));
  EXPECT_EQ(painterOf(nested), "TSkinBoxH");
  EXPECT_EQ(painterOf(inner), "TSkinButton");
  // Each painted window answers that it is skinned; a second pass adds nobody.
  EXPECT_EQ(SendMessageA(buttons[0], kMsgIsSkinned, 0, 0), 1);
  const size_t count = skinner->Painters().size();
  FormChildrenSeam().SkinChildren(*skinner);
  EXPECT_EQ(skinner->Painters().size(), count);

  // The caption is read when painting: a new text shows at once, an empty one leaves
  // the face plain (pixels of the middle that are not the face's centre colour).
  auto textPixels = [&](HWND w) {
    RECT r{};
    GetClientRect(w, &r);
    POINT o{0, 0};
    ClientToScreen(w, &o);
    int found = 0;
    for (int y = r.bottom / 2 - 4; y <= r.bottom / 2 + 4; y++)
      for (int x = r.right / 2 - 8; x <= r.right / 2 + 8; x++) found += ScreenPixel(o.x + x, o.y + y) != Code("Bitmap", 1, 4);
    return found;
  };
  SetWindowTextA(captioned, "");
  EXPECT_TRUE(PumpUntil([&] { return textPixels(captioned) == 0; }, 5000));
  SetWindowTextA(captioned, "WW");
  EXPECT_TRUE(PumpUntil([&] { return textPixels(captioned) > 0; }, 5000));

  // A caption outside the code page is drawn as itself, not as question marks.
  TSkinControl* widePainter = nullptr;
  for (TSkinControl* p : skinner->Painters())
    if (p->Handle == wide) widePainter = p;
  ASSERT_TRUE(dynamic_cast<TSkinButton*>(widePainter));
  auto drawn = [&](const wchar_t* text) {
    SetWindowTextW(wide, text);
    TSkinDib face(60, 24);
    TSelectedDC dc(face.Handle());
    static_cast<TSkinButton*>(widePainter)->Paint(dc.Handle(), {0, 0, 60, 24});
    std::vector<COLORREF> pixels;
    for (int y = 0; y < 24; ++y)
      for (int x = 0; x < 60; ++x) pixels.push_back(GetPixel(dc.Handle(), x, y));
    return pixels;
  };
  EXPECT_NE(drawn(L"\u0416\u0416\u0416"), drawn(L"???"));

  // A plain push button's click reaches its parent as WM_COMMAND with its ID.
  SendMessageA(buttons[0], WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
  SendMessageA(buttons[0], WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
  MSG msg{};
  bool command = false;
  while (PeekMessageA(&msg, dialog, WM_COMMAND, WM_COMMAND, PM_REMOVE))
    command = command || (LOWORD(msg.wParam) == 100 && reinterpret_cast<HWND>(msg.lParam) == buttons[0]);
  EXPECT_TRUE(command);

  skinner.reset();
  DestroyWindow(dialog);
  SetFormChildrenSeam(nullptr);
}

}  // namespace
}  // namespace skin
