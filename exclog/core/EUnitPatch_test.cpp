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

}  // namespace
}  // namespace exclog
