#include "exclog/core/EConsts.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace exclog {
namespace {

// The default texts themselves are fixed by the options stream's golden file
// (tests/data/options/default.bin), which carries every one of them.
TEST(EConsts, LookupsOutsideTheTablesAreEmpty) {
  EXPECT_TRUE(DefaultText(-1).empty());
  EXPECT_TRUE(DefaultText(TextCount).empty());
  EXPECT_TRUE(ReportFieldName(-1).empty());
  EXPECT_TRUE(ReportFieldName(ReportFieldCount).empty());
  EXPECT_TRUE(VariableHelp(VariableHelpCount).empty());
  EXPECT_TRUE(VariableName(-1).empty());
}

TEST(EConsts, CaptionTableNamesEachIndexOnceUnderFourteenGroups) {
  std::set<int> seen;
  int groups = 0;
  int lastIndex = -1;
  const auto& table = CaptionTable();
  ASSERT_EQ(table[0].Index, -1) << "the table opens with a group";
  for (const EMsgsRec& rec : table) {
    if (rec.Index == -1) {
      ++groups;
      continue;
    }
    EXPECT_EQ(rec.Index, lastIndex + 1) << "captions follow text-index order";
    lastIndex = rec.Index;
    seen.insert(rec.Index);
  }
  EXPECT_EQ(groups, CaptionGroupCount);
  EXPECT_EQ(seen.size(), static_cast<size_t>(TextCount));
  EXPECT_STREQ(table[0].Caption, "Message captions");
  EXPECT_STREQ(table[table.size() - 1].Caption, "Invalid email");
}

TEST(EConsts, ReportFieldsAreSectionBarField) {
  EXPECT_EQ(ReportFieldName(0), "Application|Start Date");
  EXPECT_EQ(ReportFieldName(19), "User|Privileges");
  EXPECT_EQ(ReportFieldName(20), "User|Company");
  EXPECT_EQ(ReportFieldName(47), "Custom Data|All");
  for (int i = 0; i < ReportFieldCount; ++i) {
    std::string_view name = ReportFieldName(i);
    size_t bar = name.find('|');
    ASSERT_NE(bar, std::string_view::npos) << i;
    EXPECT_GT(bar, 0u);
    EXPECT_LT(bar + 1, name.size());
  }
}

TEST(EConsts, VariableNamesMatchTheReportEnvironment) {
  EXPECT_EQ(VariableName(0), "_BugReport");
  EXPECT_EQ(VariableName(5), "_LineBreak");
  EXPECT_EQ(VariableName(25), "WinDir");
  EXPECT_EQ(VariableHelp(9), "AllUsersProfile | \\Documents and Settings\\All Users");
  std::set<std::string> names;
  for (int i = 0; i < VariableHelpCount; ++i) names.emplace(VariableName(i));
  for (const char* v : {"_MainModuleName", "_MainModuleDesc", "_MainModuleVer", "_ExceptModuleName",
                        "_ExceptModuleDesc", "_ExceptModuleVer", "_ExceptMsg", "Temp", "Tmp", "CD"}) {
    EXPECT_TRUE(names.count(v)) << v;
  }
}

}  // namespace
}  // namespace exclog
