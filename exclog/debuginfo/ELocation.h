#pragma once
// From a code address to a location record, given the module that holds it: the
// module's own debug data first, then its outside debug reader, then its export
// list. Pure: the module lookup and the memory come from the caller.
#include <cstdint>

#include "exclog/debuginfo/ELists.h"
#include "exclog/core/EMemoryView.h"

namespace exclog {

// Fills `location` (which the caller has zeroed and given its Module) for
// `address`. `exact` marks a first entry known to be exact (always kind 4).
// Routine lengths of the export list are measured on first use (up to the next
// export) and stored.
void LocateInModule(uint32_t address, TQuelbaLocation& location, const TMemoryView& memory, bool exact);

// Kind from what is known: 4 line, 3 unit, 2 routine, 1 module, else 0.
uint8_t KindOfLocation(const TQuelbaLocation& location);

}  // namespace exclog
