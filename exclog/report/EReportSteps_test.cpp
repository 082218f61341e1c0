#include "exclog/report/EReportSteps.h"

#include <gtest/gtest.h>

#include <map>

namespace exclog {
namespace {

std::map<std::string, TDateTime> fileDates;
TDateTime FakeFileDate(const std::string& name) {
  auto it = fileDates.find(name);
  return it == fileDates.end() ? 0 : it->second;
}

TEST(ReportSteps, PurgeDropsModulesWhoseFilesChangedOrWent) {
  TQuelbaModulesList list;
  const char* names[] = {"a.dll", "b.dll", "c.dll", "d.dll"};
  for (const char* name : names) {
    auto* record = new TQuelbaModuleInfo;
    record->FileName = name;
    record->LastModified = 46000.5;
    list.Add(record);
  }
  fileDates = {{"a.dll", 46000.5}, {"b.dll", 46001.0}, {"d.dll", 46000.5}};  // c.dll is gone
  EXPECT_EQ(PurgeChangedModules(list, &FakeFileDate), 2);
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list.Get(0)->FileName, "a.dll");
  EXPECT_EQ(list.Get(1)->FileName, "d.dll");
  EXPECT_EQ(PurgeChangedModules(list, &FakeFileDate), 0);
}

uintptr_t walkedFrom = 0;
void FakeWalker(TQuelbaStackList& list, const TThreadStackStart& thread, uintptr_t start) {
  walkedFrom = start;
  auto* entry = new TQuelbaLocation;
  entry->Address = static_cast<uint32_t>(start);
  list.Add(entry);
}

bool retryOnce = true;
bool AskRetry(int action, bool error) { return error && action == ActionAfterSaveLog && retryOnce; }

TEST(ReportSteps, ThreadStacksAndActionsThroughTheirSeams) {
  TQuelbaStackList list;
  TThreadStackStart thread{12, 0x0012FF00, 0x00401234, 0};
  EXPECT_FALSE(AddThreadStack(list, thread));  // no walker yet
  SetThreadStackWalker(&FakeWalker);
  thread.StackPointer = 0;
  EXPECT_FALSE(AddThreadStack(list, thread));
  thread.StackPointer = 0x0012FF00;
  EXPECT_TRUE(AddThreadStack(list, thread));
  EXPECT_EQ(walkedFrom, 0x00401233u);
  thread.Raising = true;  // the exception's own place is looked up as given
  EXPECT_TRUE(AddThreadStack(list, thread));
  EXPECT_EQ(walkedFrom, 0x00401234u);
  EXPECT_EQ(list.Count(), 2);
  SetThreadStackWalker(nullptr);

  ClearNotifiedActions();
  for (int action : {ActionBeforeDialog, ActionAfterDialog, ActionBeforeSaveLog}) EXPECT_FALSE(NotifyAction(action));
  EXPECT_FALSE(NotifyAction(ActionAfterSaveLog, true));
  EXPECT_EQ(NotifiedActions(), (std::vector<int>{0, 1, 2, -3}));
  SetActionNotifier(&AskRetry);
  EXPECT_TRUE(NotifyAction(ActionAfterSaveLog, true));
  EXPECT_FALSE(NotifyAction(ActionAfterSaveLog, false));
  SetActionNotifier(nullptr);
  EXPECT_EQ(NotifiedActions().size(), 4u);
}

}  // namespace
}  // namespace exclog
