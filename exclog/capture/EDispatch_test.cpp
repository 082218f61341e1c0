#include "exclog/capture/EDispatch.h"

#include <gtest/gtest.h>

namespace exclog {
namespace {

TEST(ReportPump, DropsMouseButtonsAndKeysOnly) {
  for (uint32_t m : {0xA1u, 0xA9u, 0x100u, 0x101u, 0x102u, 0x104u, 0x106u, 0x201u, 0x209u})
    EXPECT_TRUE(PumpDropsMessage(m)) << m;
  // Paint, mouse move, non-client move, dead char, timer, close and the edges beside the ranges.
  for (uint32_t m : {0x0Fu, 0x200u, 0xA0u, 0xAAu, 0x103u, 0x107u, 0x113u, 0x10u, 0x20Au})
    EXPECT_FALSE(PumpDropsMessage(m)) << m;
}

TEST(ReportPump, StackOverflowNeverPumpsAndGoesToAReportThread) {
  EXPECT_TRUE(PumpingAllowed(false, 0));
  EXPECT_FALSE(PumpingAllowed(false, DisplayNoPumpWithoutDialog));
  EXPECT_TRUE(PumpingAllowed(false, DisplayNoPumpWithoutDialog | DisplayPumpAnyway));
  EXPECT_FALSE(PumpingAllowed(true, DisplayPumpAnyway));
  EXPECT_FALSE(ReportOnSameThread(true, true, true));
  EXPECT_TRUE(ReportOnSameThread(true, false, false));
  EXPECT_TRUE(ReportOnSameThread(false, false, true));
  EXPECT_FALSE(ReportOnSameThread(false, false, false));
}

TEST(FocusedControl, PasswordsAreMaskedAndMultiLineTextLeftOut) {
  EXPECT_EQ(FocusedControlText("TEdit", EditPasswordStyle, "secret"), "******");
  EXPECT_EQ(FocusedControlText("Edit", EditMultiLineStyle, "a\r\nb"), "");
  EXPECT_EQ(FocusedControlText("TMemo", EditMultiLineStyle, "notes"), "");
  // A password style bit on a non-edit class means something else.
  EXPECT_EQ(FocusedControlText("Button", EditPasswordStyle | EditMultiLineStyle, "OK"), "OK");
}

}  // namespace
}  // namespace exclog
