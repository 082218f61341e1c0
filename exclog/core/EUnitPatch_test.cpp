#include "exclog/core/EUnitPatch.h"

#include <gtest/gtest.h>

#include <string>

namespace exclog {
namespace {

std::string trace;
void StartA() { trace += "a"; }
void StopA() { trace += "A"; }
void StartB() { trace += "b"; }
void StopC() { trace += "C"; }
void StartReplacement() { trace += "<start>"; }
void StopReplacement() { trace += "<stop>"; }

class UnitPatch : public testing::Test {
 protected:
  void SetUp() override { trace.clear(); }
  TUnitEntry slots_[4] = {{nullptr, nullptr}, {&StartA, &StopA}, {&StartB, nullptr}, {nullptr, &StopC}};
  TUnitTable table_{4, slots_};
};

TEST_F(UnitPatch, FindsTheLastStartAndTheLastStopSkippingEmptySlots) {
  EXPECT_EQ(LastUnitStart(&table_), 2);
  EXPECT_EQ(LastUnitStop(&table_), 3);
  EXPECT_EQ(LastUnitStart(&table_, 3), -1);
  EXPECT_EQ(LastUnitStop(&table_, 3), 3);
  TUnitEntry empty[2] = {};
  TUnitTable none{2, empty};
  EXPECT_EQ(LastUnitStart(&none), -1);
  EXPECT_EQ(LastUnitStop(&none), -1);
}

TEST_F(UnitPatch, RefusesTablesThatCannotBeRead) {
  EXPECT_EQ(LastUnitStart(nullptr), -1);
  TUnitTable noSlots{3, nullptr};
  EXPECT_EQ(LastUnitStop(&noSlots), -1);
  TUnitTable negative{-1, slots_};
  EXPECT_EQ(PatchLastUnitRoutines(&negative, 0, &StartReplacement, &StopReplacement).StartIndex, -1);
  TUnitTable tooMany{MaxUnits + 1, slots_};
  EXPECT_EQ(LastUnitStart(&tooMany), -1);
}

TEST_F(UnitPatch, PatchesAndRestoresBothRoutines) {
  TUnitPatch patch = PatchLastUnitRoutines(&table_, 0, &StartReplacement, &StopReplacement);
  EXPECT_EQ(patch.StartIndex, 2);
  EXPECT_EQ(patch.OriginalStart, &StartB);
  EXPECT_EQ(patch.StopIndex, 3);
  EXPECT_EQ(patch.OriginalStop, &StopC);
  EXPECT_EQ(slots_[2].Init, &StartReplacement);
  EXPECT_EQ(slots_[3].Fini, &StopReplacement);
  EXPECT_EQ(slots_[1].Init, &StartA);  // others untouched

  RestoreUnitStart(&table_, patch, &StartReplacement);
  RestoreUnitStop(&table_, patch, &StopReplacement);
  EXPECT_EQ(slots_[2].Init, &StartB);
  EXPECT_EQ(slots_[3].Fini, &StopC);
}

TEST_F(UnitPatch, StartsThatAlreadyRanAreNotPatched) {
  // Slot 2 is the running start: only later slots could still be routed, and none has a start.
  TUnitPatch patch = PatchLastUnitRoutines(&table_, 3, &StartReplacement, &StopReplacement);
  EXPECT_EQ(patch.StartIndex, -1);
  EXPECT_EQ(slots_[2].Init, &StartB);
  EXPECT_EQ(patch.StopIndex, 3);
}

TEST_F(UnitPatch, RestoreLeavesASlotSomeoneElseRewrote) {
  TUnitPatch patch = PatchLastUnitRoutines(&table_, 0, &StartReplacement, &StopReplacement);
  slots_[3].Fini = &StopA;
  RestoreUnitStop(&table_, patch, &StopReplacement);
  EXPECT_EQ(slots_[3].Fini, &StopA);
}

void StopD() { trace += "D"; }
void StopE() { trace += "E"; }

TEST_F(UnitPatch, ChosenStopsMoveFirstAndThePatchFollows) {
  TUnitEntry slots[6] = {{&StartA, &StopA}, {nullptr, &StopC}, {nullptr, &StopD}, {nullptr, nullptr},
                         {nullptr, &StopE}, {&StartB, &StopReplacement}};
  TUnitTable table{6, slots};
  TUnitPatch patch;
  patch.StopIndex = 5;
  int chosen[] = {4, -1, 2};
  ASSERT_TRUE(MoveStopsFirst(&table, chosen, 3, &patch));
  for (int i = 5; i >= 0; --i)
    if (slots[i].Fini) slots[i].Fini();
  // Run from the last position down: the chosen stops end the run, E last.
  EXPECT_EQ(trace, "<stop>CADE");
  EXPECT_EQ(patch.StopIndex, 5);
  EXPECT_EQ(slots[0].Init, &StartA);
  EXPECT_EQ(slots[5].Init, &StartB);
  // A patched stop that is moved is followed; a slot out of range moves nothing.
  int last[] = {5};
  ASSERT_TRUE(MoveStopsFirst(&table, last, 1, &patch));
  EXPECT_EQ(patch.StopIndex, 0);
  EXPECT_EQ(slots[0].Fini, &StopReplacement);
  int bad[] = {1, 6};
  EXPECT_FALSE(MoveStopsFirst(&table, bad, 2, &patch));
  EXPECT_EQ(slots[1].Fini, &StopE);
}

}  // namespace
}  // namespace exclog
