#include "exclog/core/ECoreUnit.h"

#include <gtest/gtest.h>

#include <string>

#include "exclog/core/EGuard.h"

namespace exclog {
namespace {

std::string hostPath;
std::string HostPath() { return hostPath; }

std::string FailingHost() { throw Exception("no module name"); }

std::string lastReport;
void RecordReport(const std::string& text) { lastReport = text; }

class CoreUnit : public ::testing::Test {
 protected:
  void SetUp() override {
    previousSource_ = SetHostExecutableSource(HostPath);
    previousHandler_ = SetInternalErrorHandler(RecordReport);
    lastReport.clear();
  }
  void TearDown() override {
    while (CoreUnitUseCount() > 0) StopCoreUnit();
    SetDevelopmentEnvironmentName("");
    SetHostExecutableSource(previousSource_);
    SetInternalErrorHandler(previousHandler_);
  }

 private:
  THostExecutableSource previousSource_ = nullptr;
  TInternalErrorHandler previousHandler_ = nullptr;
};

TEST_F(CoreUnit, DevelopmentEnvironmentIsRecognisedByFileNameOnlyOnFirstStart) {
  SetDevelopmentEnvironmentName("Studio.EXE");
  hostPath = "C:\\Tools\\studio.exe";
  StartCoreUnit();
  EXPECT_TRUE(InsideDevelopmentEnvironment());

  // A second module starting the shared core does not run the step again.
  hostPath = "C:\\App\\prog.exe";
  StartCoreUnit();
  EXPECT_EQ(CoreUnitUseCount(), 2);
  EXPECT_TRUE(InsideDevelopmentEnvironment());

  StopCoreUnit();
  EXPECT_TRUE(InsideDevelopmentEnvironment());
  StopCoreUnit();
  EXPECT_FALSE(InsideDevelopmentEnvironment());
  EXPECT_EQ(CoreUnitUseCount(), 0);

  // A folder of that name is not the executable.
  hostPath = "C:\\studio.exe\\prog.exe";
  StartCoreUnit();
  EXPECT_FALSE(InsideDevelopmentEnvironment());
}

TEST_F(CoreUnit, NoNameMeansNeverInside) {
  hostPath = "C:\\App\\prog.exe";
  StartCoreUnit();
  EXPECT_FALSE(InsideDevelopmentEnvironment());
  hostPath = "";
  StopCoreUnit();
  StopCoreUnit();  // more stops than starts change nothing
  EXPECT_EQ(CoreUnitUseCount(), 0);
  StartCoreUnit();
  EXPECT_EQ(CoreUnitUseCount(), 1);
}

TEST_F(CoreUnit, AFailingStartIsReportedUnderItsStepName) {
  SetHostExecutableSource(FailingHost);
  StartCoreUnit();
  EXPECT_EQ(lastReport.rfind("ECore.Init (Address: ", 0), 0u) << lastReport;
  EXPECT_FALSE(InsideDevelopmentEnvironment());
  EXPECT_EQ(CoreUnitUseCount(), 1);
}

}  // namespace
}  // namespace exclog
