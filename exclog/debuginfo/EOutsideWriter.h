#pragma once
// Writing a module's routines and lines as outside debug information: a map file
// and the binary debug data, in the layouts of EOutsideDebug.md. Used by the build's
// generator (tools/qldata) and by tests; the readers (EOutsideDebug.h) share no code
// with it.
#include <cstdint>
#include <string>
#include <vector>

#include "exclog/debuginfo/EDebugWriter.h"

namespace exclog {

// `units` hold module-relative offsets; `codeStart` is the code section's
// relative address (offsets in both formats count from it) and `codeSize` its size.
// The map file has CR LF line ends.
std::string WriteMapFile(const std::vector<TQLUnitEntry>& units, uint32_t codeStart, uint32_t codeSize);

std::string WriteBinaryDebugData(const std::vector<TQLUnitEntry>& units, uint32_t codeStart, bool withChecksum);

// TD32 data: a module and a source-module subsection per unit, one symbol
// subsection of procedures, the names subsection, then the directory.
std::string WriteTD32Data(const std::vector<TQLUnitEntry>& units, uint32_t codeStart);

// Appends a variable-length number (7 bits a byte, low group first).
void WritePackedNumber(std::string& out, uint32_t value);

// The qualified routine text both formats carry: "Unit.Class.Routine" or
// "Unit.Routine", each piece without dots or blanks.
std::string QualifiedRoutine(const TQLUnitEntry& unit, const TQLRoutineEntry& routine);

}  // namespace exclog
