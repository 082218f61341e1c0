#include "exclog/core/EGuard.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace exclog {
namespace {

std::string lastReport;
void RecordReport(const std::string& text) { lastReport = text; }

void Fine() {}
void ThrowsIgnore() { throw EIgnoreException("ignored"); }
void ThrowsException() { throw EConvertError("bad number"); }
void ThrowsStd() { throw std::runtime_error("std failure"); }
void ThrowsInt() { throw 42; }

class Guarded : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = SetInternalErrorHandler(nullptr);
    lastReport.clear();
  }
  void TearDown() override { SetInternalErrorHandler(previous_); }

 private:
  TInternalErrorHandler previous_ = nullptr;
};

std::string CriticalText(TGuardedRoutine routine, const std::string& name) {
  try {
    RunGuarded(routine, name);
  } catch (const EIgnoreException&) {
    return "ignore passed on";
  } catch (const Exception& e) {
    return e.Message();
  }
  return "nothing thrown";
}

TEST_F(Guarded, WithoutHandlerRaisesTheCriticalErrorText) {
  EXPECT_EQ(CriticalText(Fine, "ECore.Init"), "nothing thrown");
  EXPECT_EQ(CriticalText(ThrowsException, "ECore.Init"),
            "Critical error at: \"ECore.Init\"\r\nError: \"bad number\".");
  EXPECT_EQ(CriticalText(ThrowsStd, "EHook.Init"), "Critical error at: \"EHook.Init\"\r\nError: \"std failure\".");
  EXPECT_EQ(CriticalText(ThrowsInt, "X"), "Critical error at: \"X\"\r\nError: \"General internal error.\".");
  EXPECT_EQ(CriticalText(ThrowsIgnore, "X"), "ignore passed on");
}

TEST_F(Guarded, WithHandlerReportsNameAndAddress) {
  SetInternalErrorHandler(RecordReport);
  EXPECT_NO_THROW(RunGuarded(ThrowsException, "ECore.Done"));
  EXPECT_EQ(lastReport, "ECore.Done (Address: " + AddressText(reinterpret_cast<const void*>(&ThrowsException)) + ")");
  lastReport.clear();
  EXPECT_NO_THROW(RunGuarded(ThrowsInt, "Y"));
  EXPECT_EQ(lastReport.rfind("Y (Address: ", 0), 0u);
  EXPECT_THROW(RunGuarded(ThrowsIgnore, "Z"), EIgnoreException);
  lastReport.clear();
  RunGuarded(Fine, "Fine");
  EXPECT_TRUE(lastReport.empty());
}

TEST(Guard, AddressTextHasEightUpperCaseDigits) {
  EXPECT_EQ(AddressText(reinterpret_cast<const void*>(uintptr_t{0x4A2B})), "00004A2B");
  EXPECT_EQ(AddressText(nullptr), "00000000");
  EXPECT_EQ(AddressText(reinterpret_cast<const void*>(uintptr_t{0xDEADBEEF})), "DEADBEEF");
}

}  // namespace
}  // namespace exclog
