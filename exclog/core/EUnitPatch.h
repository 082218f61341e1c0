#pragma once
// Routing the last start and the last stop of the unit table through the logger, so
// it learns when every unit has started and when the first unit begins to stop.
// Pure: works on the class library's TUnitTable in writable memory.
#include <cstdint>

#include "classlib/System.h"

namespace exclog {

struct TUnitPatch {
  int StartIndex = -1;           // slot whose start was replaced, -1 when none
  TUnitProc OriginalStart = nullptr;
  int StopIndex = -1;            // slot whose stop was replaced, -1 when none
  TUnitProc OriginalStop = nullptr;
};

// Index of the last slot with a start (stop) routine at or after `from`; -1 when
// none. Reads at most table.UnitCount slots; a null table or slot array gives -1.
int LastUnitStart(const TUnitTable* table, int from = 0);
int LastUnitStop(const TUnitTable* table, int from = 0);

// Replaces the last start at an index of at least `firstPendingStart` (a start that
// already ran or is running now can no longer be routed) with `startReplacement`,
// and the table's last stop with `stopReplacement`. Returns what was replaced.
TUnitPatch PatchLastUnitRoutines(TUnitTable* table, int firstPendingStart,
                                 TUnitProc startReplacement, TUnitProc stopReplacement);

// Writes the original start back, when its slot still holds `startReplacement`.
void RestoreUnitStart(TUnitTable* table, const TUnitPatch& patch, TUnitProc startReplacement);
// Writes the original stop back, when its slot still holds `stopReplacement`.
void RestoreUnitStop(TUnitTable* table, const TUnitPatch& patch, TUnitProc stopReplacement);

// Moves the stops of `slots` (in that order; negative entries are skipped) to the
// first positions of the stop column, the other stops keeping their order: stops
// run from the last position down, so these run last. A patch's stop slot follows
// its routine. Starts do not move. False (nothing moved) for a slot out of range.
bool MoveStopsFirst(TUnitTable* table, const int* slots, int count, TUnitPatch* patch = nullptr);

}  // namespace exclog
