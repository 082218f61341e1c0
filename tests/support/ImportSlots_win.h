#pragma once
// This program's own import table, walked the way the logger's import hooks walk it,
// so tests can read or swap what a call through the table reaches.
#include <windows.h>

#include <string>
#include <vector>

namespace velmora::test {

// The import address table slots through which the executable calls `routine` of
// `dll` (the DLL's name in any case); empty when it imports no such routine by name.
std::vector<void**> ImportSlots(const std::string& dll, const std::string& routine);

// Writes `value` into one slot (the table is read-only once loaded); returns what it
// held, null when the slot cannot be made writable (nothing is written then).
void* WriteImportSlot(void** slot, void* value);

// Swaps one slot for the scope.
class TImportSlotPatch {
 public:
  TImportSlotPatch(void** slot, void* value) : slot_(slot), old_(WriteImportSlot(slot, value)) {}
  ~TImportSlotPatch() { WriteImportSlot(slot_, old_); }
  TImportSlotPatch(const TImportSlotPatch&) = delete;
  TImportSlotPatch& operator=(const TImportSlotPatch&) = delete;

 private:
  void** slot_;
  void* old_;
};

}  // namespace velmora::test
