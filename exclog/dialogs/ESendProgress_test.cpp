#include "exclog/dialogs/ESendProgress.h"

#include <gtest/gtest.h>

namespace exclog {
namespace {

TEST(SendProgressPlace, CornerAndCentreStayInsideTheWorkArea) {
  const TAreaRect area{100, 50, 1380, 1010};  // a second monitor's area, off the origin
  TWindowPlace corner = CornerPlace(area, 300, 80);
  EXPECT_EQ(corner.Left, 1080);
  EXPECT_EQ(corner.Top, 930);
  TWindowPlace huge = CornerPlace(area, 2000, 1000);
  EXPECT_EQ(huge.Left, 100);
  EXPECT_EQ(huge.Top, 50);
  TWindowPlace centre = CentredPlace(area, 301, 81);
  EXPECT_EQ(centre.Left, 589);
  EXPECT_EQ(centre.Top, 489);
}

}  // namespace
}  // namespace exclog
