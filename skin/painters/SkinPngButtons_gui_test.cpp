// PNG glyph buttons on the host program's Form1 with the frame-coded test skin: the
// bit button painter draws the image under "PngImage" through the image itself,
// blended by its alpha over the face, and its disabled look; a PNG speed button
// named only by the skin's class list gets the same glyph.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "classlib/Buttons_win.h"
#include "classlib/ControlClasses.h"
#include "classlib/PngImage_win.h"
#include "skin/forms/Form1TestSkin_win.h"
#include "skin/painters/SkinButtons_win.h"
#include "tests/support/GuiProbe_win.h"
#include "tests/support/PngSamples.h"
#include "tests/support/ScreenArea_win.h"

using velmora::test::PumpUntil;

namespace skin {
namespace {

class TPngTestForm : public TForm {
  VELMORA_CLASS(TPngTestForm, TForm)
  VELMORA_PUBLISHED(TPngTestForm)
 public:
  explicit TPngTestForm(TComponent* owner = nullptr) : TForm(owner) {}
  void ExitItemClick(TObject*) {}
  void RaiseItemClick(TObject*) {}
};
VELMORA_PUBLISH(TPngTestForm) {
  p.Method<&TPngTestForm::ExitItemClick>("ExitItemClick").Method<&TPngTestForm::RaiseItemClick>("RaiseItemClick");
}

// Form1's glyph is the sample glyph: its opaque centre and its clear ring's colour.
using velmora::test::kGreen;
constexpr COLORREF kRed = velmora::test::kGlyphRed;

// A control's place on the screen as it shows it (a windowless control is a place
// in its parent's client area).
velmora::test::TScreenArea Shot(TControl* control) {
  auto* windowed = dynamic_cast<TWinControl*>(control);
  POINT origin = windowed ? POINT{0, 0} : POINT{control->Left(), control->Top()};
  ClientToScreen(windowed ? windowed->Handle() : control->Parent()->Handle(), &origin);
  return velmora::test::TScreenArea({origin.x, origin.y, origin.x + control->Width(), origin.y + control->Height()});
}

bool Near(COLORREF got, COLORREF want) {
  return std::abs(GetRValue(got) - GetRValue(want)) <= 2 && std::abs(GetGValue(got) - GetGValue(want)) <= 2 &&
         std::abs(GetBValue(got) - GetBValue(want)) <= 2;
}

// Half blue (alpha 128) over `under`.
COLORREF HalfBlueOver(COLORREF under) {
  return RGB(GetRValue(under) * 127 / 255, GetGValue(under) * 127 / 255, GetBValue(under) * 127 / 255 + 128);
}

class PngButtons : public ::testing::Test {
 protected:
  void SetUp() override {
    static const bool registered = (RegisterControlClass(TPngTestForm::StaticClass()), true);
    (void)registered;
    skintest::OpenForm1OnTestSkin("TPngTestForm", 760, 560, opened);
    ASSERT_FALSE(HasFatalFailure());
    form = opened.Form.get();
    skinner = opened.Skinner.get();
  }
  TSkinBitButton* PainterOf(TControl* control) {
    for (TSkinControl* p : skinner->Painters())
      if (p->Owner() == control) return dynamic_cast<TSkinBitButton*>(p);
    return nullptr;
  }
  // Waits until the control shows the green centre, 8 x 8 as the image has it.
  bool ShowsGlyph(TControl* control, RECT& box) {
    return PumpUntil([&] {
      const auto shot = Shot(control);
      box = shot.Box(kGreen);
      return box.right - box.left == 8 && box.bottom - box.top == 8;
    }, 5000);
  }
  skintest::TForm1OnTestSkin opened;
  TForm* form = nullptr;
  TWinSkinForm* skinner = nullptr;
};

TEST_F(PngButtons, Form1PngBitButtonBlendsItsGlyphOverTheFace) {
  auto* bit = dynamic_cast<TPngBitBtn*>(form->FindComponent("PngBitBtn1"));
  ASSERT_TRUE(bit);
  ASSERT_TRUE(PainterOf(bit));
  EXPECT_EQ(PainterOf(bit)->GlyphProperty, "PngImage");
  RECT box{};
  ASSERT_TRUE(ShowsGlyph(bit, box));
  const auto shot = Shot(bit);
  const skintest::TManifestImage* face = skintest::TestSkin().Find("Buttons", "Bitmap");
  ASSERT_TRUE(face);
  EXPECT_EQ(shot.At(1, shot.Height / 2), RGB(face->Id, 3, 0x11));  // frame 1, left slice
  EXPECT_TRUE(shot.Box(kRed).right == 0);  // transparent pixels leave the face
  // Left of the centre: the half-blue ring (x - 1, x - 2) over what the clear ring
  // (x - 3, x - 4) shows, the face.
  const int y = box.top + 4;
  const COLORREF under = shot.At(box.left - 3, y);
  EXPECT_EQ(shot.At(box.left - 4, y), under);
  EXPECT_PRED2(Near, shot.At(box.left - 1, y), HalfBlueOver(under));
  EXPECT_PRED2(Near, shot.At(box.left - 2, y), HalfBlueOver(under));
  EXPECT_EQ(shot.At(box.left - 5, y), under);  // nothing drawn beyond the image

  bit->SetEnabled(false);  // the disabled image: grey (121, the green's luminance) at alpha 127
  EXPECT_TRUE(PumpUntil([&] {
    const auto off = Shot(bit);
    const COLORREF below = off.At(box.left - 3, y);
    const COLORREF grey = RGB(60 + GetRValue(below) * 128 / 255, 60 + GetGValue(below) * 128 / 255,
                              60 + GetBValue(below) * 128 / 255);
    return off.At(1, off.Height / 2) == RGB(face->Id, 2 * 9 + 3, 0x11) && off.Box(kGreen).right == 0 &&
           Near(off.At(box.left + 4, y), grey);
  }, 5000));
}

TEST_F(PngButtons, SpeedButtonOfTheClassListDrawsItsPng) {
  auto* source = dynamic_cast<TPngBitBtn*>(form->FindComponent("PngBitBtn1"));
  ASSERT_TRUE(source);
  auto* speed = new TPngSpeedButton(form);
  speed->SetPngImage(source->PngImage());
  speed->SetParent(dynamic_cast<TWinControl*>(form->FindComponent("ButtonsSheet")));
  speed->SetBounds(240, 170, 60, 26);
  FormChildrenSeam().SkinChildren(*skinner);
  ASSERT_TRUE(PainterOf(speed));
  EXPECT_TRUE(PainterOf(speed)->IsNamed("TSkinSpeedButton"));
  RECT box{};
  EXPECT_TRUE(ShowsGlyph(speed, box));
  delete speed;
}

}  // namespace
}  // namespace skin
