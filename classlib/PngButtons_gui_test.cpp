// An unskinned PNG speed button draws its PNG glyph itself, blended by its alpha,
// and the disabled look when disabled.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>

#include "classlib/Buttons_win.h"
#include "classlib/Forms_win.h"
#include "classlib/PngImage_win.h"
#include "tests/support/FormsSession_win.h"
#include "tests/support/GuiProbe_win.h"
#include "tests/support/PngSamples.h"
#include "tests/support/ScreenArea_win.h"

namespace {

// How many pixels of the control's place in its parent the screen shows in `colour`.
int ScreenCount(TControl* control, COLORREF colour) {
  POINT origin{control->Left(), control->Top()};
  ClientToScreen(control->Parent()->Handle(), &origin);
  return velmora::test::TScreenArea({origin.x, origin.y, origin.x + control->Width(), origin.y + control->Height()})
      .Count(colour);
}

TEST(PngButtonsGui, SpeedButtonDrawsItsPngGlyphUnskinned) {
  velmora::test::StartForms();
  auto form = std::make_unique<TForm>(Application);
  form->SetBounds(40, 40, 200, 120);
  auto* speed = new TPngSpeedButton(form.get());
  speed->SetParent(form.get());
  speed->SetBounds(10, 10, 60, 30);
  TPngImage png;
  png.LoadFromBytes(velmora::test::kGlyph);
  speed->SetPngImage(&png);
  form->Show();
  EXPECT_TRUE(velmora::test::PumpUntil([&] { return ScreenCount(speed, velmora::test::kGreen) == 64; }, 5000));
  EXPECT_EQ(ScreenCount(speed, velmora::test::kGlyphRed), 0);
  speed->SetEnabled(false);
  EXPECT_TRUE(velmora::test::PumpUntil([&] { return ScreenCount(speed, velmora::test::kGreen) == 0; }, 5000));
}

}  // namespace
