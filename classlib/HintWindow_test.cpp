// The hint timing rule, on a hand-made clock.
#include "classlib/HintWindow.h"

#include <gtest/gtest.h>

namespace {

const int kButton = 0, kEdit = 0;  // two distinct addresses as controls
const void* const button = &kButton;
const void* const edit = &kEdit;

TEST(HintTimer, ShowsAfterThePauseAndHidesAfterTheHidePause) {
  THintTimer timer;
  EXPECT_EQ(timer.PointerOver(button, 1000, 500), THintAction::None);
  EXPECT_EQ(timer.Tick(1499, 500, 2500), THintAction::None);
  EXPECT_EQ(timer.Tick(1500, 500, 2500), THintAction::Show);
  EXPECT_TRUE(timer.Showing());
  // The hide pause counts from the showing.
  EXPECT_EQ(timer.Tick(3999, 500, 2500), THintAction::None);
  EXPECT_EQ(timer.Tick(4000, 500, 2500), THintAction::Hide);
  // Timed out: resting longer on the same control shows nothing more.
  EXPECT_EQ(timer.PointerOver(button, 5000, 500), THintAction::None);
  EXPECT_EQ(timer.Tick(9000, 500, 2500), THintAction::None);
  // Leaving and coming back starts over.
  EXPECT_EQ(timer.PointerOver(nullptr, 9100, 500), THintAction::None);
  EXPECT_EQ(timer.PointerOver(button, 9200, 500), THintAction::None);
  EXPECT_EQ(timer.Tick(9700, 500, 2500), THintAction::Show);
}

TEST(HintTimer, LeavingHidesAndMovingOnShowsTheNextAtOnce) {
  THintTimer timer;
  timer.PointerOver(button, 0, 500);
  ASSERT_EQ(timer.Tick(600, 500, 2500), THintAction::Show);
  EXPECT_EQ(timer.PointerOver(edit, 700, 500), THintAction::Show);
  EXPECT_EQ(timer.Target(), edit);
  // The new hint gets its own full hide pause.
  EXPECT_EQ(timer.Tick(3100, 500, 2500), THintAction::None);
  EXPECT_EQ(timer.Tick(3200, 500, 2500), THintAction::Hide);
  timer.PointerOver(button, 4000, 500);
  ASSERT_EQ(timer.Tick(4500, 500, 2500), THintAction::Show);
  EXPECT_EQ(timer.PointerOver(nullptr, 4600, 500), THintAction::Hide);
  EXPECT_FALSE(timer.Showing());
  // Leaving before the pause ends shows nothing.
  timer.PointerOver(edit, 5000, 500);
  EXPECT_EQ(timer.PointerOver(nullptr, 5400, 500), THintAction::None);
  EXPECT_EQ(timer.Tick(6000, 500, 2500), THintAction::None);
}

TEST(HintTimer, CountsRightAcrossTheClockWrap) {
  THintTimer timer;
  timer.PointerOver(button, 0xFFFFFF00u, 500);
  EXPECT_EQ(timer.Tick(0x000000F0u, 500, 2500), THintAction::None);  // 496 ms later
  EXPECT_EQ(timer.Tick(0x000000F4u, 500, 2500), THintAction::Show);  // 500 ms later
}

}  // namespace
