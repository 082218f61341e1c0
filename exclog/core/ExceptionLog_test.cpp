#include "exclog/core/ExceptionLog.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace exclog {
namespace {

TEST(ExceptionTexts, SystemExceptionsGetTheirClassAndText) {
  EXPECT_EQ(ExternalExceptionClass(0xC0000005u), "EAccessViolation");
  EXPECT_EQ(ExternalExceptionClass(0xC00000FDu), "EStackOverflow");
  EXPECT_EQ(ExternalExceptionClass(0xC0000094u), "EDivByZero");
  EXPECT_EQ(ExternalExceptionClass(0xE0401234u), "EExternal");
  EXPECT_EQ(ExternalExceptionText(0xC0000094u, 0x401234, false, 0, 0), "Division by zero");
  EXPECT_EQ(ExternalExceptionText(0xC0000005u, 0x401234, true, 0, 0x10),
            "Access violation at address 00401234. Read of address 00000010");
  EXPECT_EQ(ExternalExceptionText(0xC0000005u, 0x401234, true, 1, 0xDEADBEEF),
            "Access violation at address 00401234. Write of address DEADBEEF");
  EXPECT_EQ(ExternalExceptionText(0xC0000005u, 0x10, true, 8, 0x10),
            "Access violation at address 00000010. Execution of address 00000010");
  EXPECT_EQ(ExternalExceptionText(0xC0000005u, 0x401234, false, 0, 0), "External exception C0000005");
  EXPECT_EQ(ExternalExceptionText(0xE0000001u, 0x401234, false, 0, 0), "External exception E0000001");
}

TEST(ExceptionTexts, DescriptionLine) {
  TLoggedException e;
  e.ClassName = "EConvertError";
  e.Message = "bad";
  e.Address = 0xABC;
  e.ThreadId = 12;
  EXPECT_EQ(DescribeException("Report", e), "Report: EConvertError at 00000ABC (code 00000000) in thread 12: bad");
}

TEST(ReportIds, ARepeatOfTheLastReportIsRefused) {
  ClearLastReportId();
  EXPECT_TRUE(TakeReportId(5));
  EXPECT_FALSE(TakeReportId(5));
  EXPECT_TRUE(TakeReportId(6));
  EXPECT_TRUE(TakeReportId(5));  // only the last one counts
  ClearLastReportId();
  EXPECT_TRUE(TakeReportId(5));
}

TEST(ReportIds, DefaultIdentifierSeparatesPlaceCodeAndClass) {
  TLoggedException a;
  a.ClassName = "EAccessViolation";
  a.Code = 0xC0000005u;
  a.Address = 0x401000;
  TLoggedException b = a;
  EXPECT_EQ(CallStackId(a), CallStackId(b));
  b.Address = 0x401001;
  EXPECT_NE(CallStackId(a), CallStackId(b));
  b = a;
  b.ClassName = "EExternal";
  EXPECT_NE(CallStackId(a), CallStackId(b));
}

std::vector<std::string> lines;
void Collect(const std::string& line) { lines.push_back(line); }
bool Unhandled(const TLoggedException&) { return false; }
bool NoData() { return false; }
bool HasData() { return true; }

TEST(Seams, DefaultsWriteALineAndReplacementsAreCalled) {
  lines.clear();
  TReportLineSink previousSink = SetReportLineSink(&Collect);
  TLoggedException e;
  e.ClassName = "EFoo";
  int calls = ExceptionManagerCalls();
  EXPECT_TRUE(ExceptionManager(e));
  TExceptionManagerProc previous = SetExceptionManager(&Unhandled);
  EXPECT_FALSE(ExceptionManager(e));
  SetExceptionManager(previous);
  EXPECT_EQ(ExceptionManagerCalls(), calls + 2);
  int reports = ReportDispatchCalls();
  DispatchReport(e);
  EXPECT_EQ(ReportDispatchCalls(), reports + 1);
  ReportInternalError("ExceptionLog.Init (Address: 00401000)");
  auto texts = InternalErrorTexts();
  EXPECT_EQ(texts.back(), "ExceptionLog.Init (Address: 00401000)");
  SetReportLineSink(previousSink);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].rfind("ExceptionManager: EFoo", 0), 0u);
  EXPECT_EQ(lines[1].rfind("Report: EFoo", 0), 0u);
  EXPECT_EQ(lines[2], "InternalError: ExceptionLog.Init (Address: 00401000)");

  EXPECT_TRUE(ProgramCarriesLoggerData());
  EXPECT_FALSE(ProgramCarriesLoggerData(&NoData));  // the module check decides when no source is set
  TCarriesLoggerDataProc previousData = SetCarriesLoggerDataSource(&NoData);
  EXPECT_FALSE(ProgramCarriesLoggerData());
  EXPECT_FALSE(ProgramCarriesLoggerData(&HasData));  // a set source overrides the module check
  SetCarriesLoggerDataSource(previousData);
}

TEST(Seams, HookedRoutinesInTheirOrder) {
  EXPECT_EQ(HookedKernelRoutineNames(),
            (std::vector<std::string>{"RaiseException", "RtlUnwind", "WriteFile", "CreateThread", "ResumeThread",
                                      "ExitThread"}));
  const auto& framework = FrameworkMethodNames();
  EXPECT_NE(std::find(framework.begin(), framework.end(), "DoneExcept"), framework.end());
}

void DropLine(const std::string&) {}

// The kept texts stop at their bound, the newest staying.
TEST(ExceptionLogCore, InternalErrorTextsKeepTheLatestOnly) {
  TReportLineSink previousSink = SetReportLineSink(&DropLine);
  for (size_t i = 0; i < InternalErrorTextsKept + 3; ++i) ReportInternalError("fault " + std::to_string(i));
  SetReportLineSink(previousSink);
  auto texts = InternalErrorTexts();
  ASSERT_EQ(texts.size(), InternalErrorTextsKept);
  EXPECT_EQ(texts.front(), "fault 3");
  EXPECT_EQ(texts.back(), "fault " + std::to_string(InternalErrorTextsKept + 2));
}

}  // namespace
}  // namespace exclog
