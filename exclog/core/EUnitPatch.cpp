#include "exclog/core/EUnitPatch.h"

namespace exclog {

namespace {

bool UsableTable(const TUnitTable* table) {
  return table && table->Units && table->UnitCount > 0 && table->UnitCount <= MaxUnits;
}

// The table is read by the unit runner at call time; volatile keeps our writes real.
void WriteSlot(TUnitProc& slot, TUnitProc value) { *static_cast<volatile TUnitProc*>(&slot) = value; }

}  // namespace

int LastUnitStart(const TUnitTable* table, int from) {
  if (!UsableTable(table)) return -1;
  for (int i = table->UnitCount - 1; i >= from && i >= 0; --i)
    if (table->Units[i].Init) return i;
  return -1;
}

int LastUnitStop(const TUnitTable* table, int from) {
  if (!UsableTable(table)) return -1;
  for (int i = table->UnitCount - 1; i >= from && i >= 0; --i)
    if (table->Units[i].Fini) return i;
  return -1;
}

TUnitPatch PatchLastUnitRoutines(TUnitTable* table, int firstPendingStart,
                                 TUnitProc startReplacement, TUnitProc stopReplacement) {
  TUnitPatch patch;
  if (!UsableTable(table)) return patch;
  int start = LastUnitStart(table, firstPendingStart < 0 ? 0 : firstPendingStart);
  if (start >= 0 && startReplacement) {
    patch.StartIndex = start;
    patch.OriginalStart = table->Units[start].Init;
    WriteSlot(table->Units[start].Init, startReplacement);
  }
  int stop = LastUnitStop(table);
  if (stop >= 0 && stopReplacement) {
    patch.StopIndex = stop;
    patch.OriginalStop = table->Units[stop].Fini;
    WriteSlot(table->Units[stop].Fini, stopReplacement);
  }
  return patch;
}

void RestoreUnitStart(TUnitTable* table, const TUnitPatch& patch, TUnitProc startReplacement) {
  if (!UsableTable(table) || patch.StartIndex < 0 || patch.StartIndex >= table->UnitCount) return;
  if (table->Units[patch.StartIndex].Init == startReplacement)
    WriteSlot(table->Units[patch.StartIndex].Init, patch.OriginalStart);
}

void RestoreUnitStop(TUnitTable* table, const TUnitPatch& patch, TUnitProc stopReplacement) {
  if (!UsableTable(table) || patch.StopIndex < 0 || patch.StopIndex >= table->UnitCount) return;
  if (table->Units[patch.StopIndex].Fini == stopReplacement)
    WriteSlot(table->Units[patch.StopIndex].Fini, patch.OriginalStop);
}

bool MoveStopsFirst(TUnitTable* table, const int* slots, int count, TUnitPatch* patch) {
  if (!UsableTable(table) || count < 0 || (count && !slots)) return false;
  for (int i = 0; i < count; ++i)
    if (slots[i] >= table->UnitCount) return false;
  // Each move rotates positions [front, at] one up; later slots and the patch's
  // slot inside that range shift with them.
  constexpr int kMaxMoved = 16;
  if (count > kMaxMoved) return false;
  int where[kMaxMoved];
  for (int i = 0; i < count; ++i) where[i] = slots[i];
  int front = 0;
  for (int i = 0; i < count; ++i) {
    int at = where[i];
    if (at < 0) continue;
    TUnitProc moved = table->Units[at].Fini;
    for (int j = at; j > front; --j) WriteSlot(table->Units[j].Fini, table->Units[j - 1].Fini);
    WriteSlot(table->Units[front].Fini, moved);
    for (int k = i + 1; k < count; ++k)
      if (where[k] >= front && where[k] < at) ++where[k];
      else if (where[k] == at) where[k] = front;
    if (patch && patch->StopIndex >= front && patch->StopIndex <= at)
      patch->StopIndex = patch->StopIndex == at ? front : patch->StopIndex + 1;
    ++front;
  }
  return true;
}

}  // namespace exclog
