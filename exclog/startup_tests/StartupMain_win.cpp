// The start-up test program: as "--child <mode>" it runs one crash or order case
// and ends; otherwise it starts the logger through the unit table, runs the tests
// and stops the units again.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "classlib/System.h"
#include "exclog/startup_tests/StartupShared_win.h"

namespace {

class TLoggerEnvironment : public testing::Environment {
 public:
  void SetUp() override { startup_test::StartUnitsLikeHost(); }
  void TearDown() override { FinalizeUnits(); }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[1], "--child") == 0) return startup_test::ChildMain(argv[2]);
  testing::InitGoogleTest(&argc, argv);
  testing::AddGlobalTestEnvironment(new TLoggerEnvironment);
  return RUN_ALL_TESTS();
}
