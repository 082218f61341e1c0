#pragma once
// The assembler listing of the running process: code read through the readability
// test and the guarded copy, locations from the call-stack code.
#include <cstddef>
#include <cstdint>
#include <string>

#include "exclog/debuginfo/EAsmListing.h"

namespace exclog {

// The file whose module symbol lookups fall back on (see AsmListingModule); "" for
// none. Read once, at the first lookup.
std::string& AsmListingModuleFile();

// The listing around `exceptionAddress` with the title `title` (text 14 by default).
TAsmListing AssemblerListing(const void* exceptionAddress, const std::string& title = "");

// The symbol text of a code or data address: followed through an FF 25 jump thunk,
// looked up; when that gives less than a routine, the module's outside debug source
// is created once and the lookup repeated. Kinds 2 to 4 give the qualified name with
// " (Line=n)"; else the class name of a valid object; else "".
std::string AsmSymbol(uint32_t address);

// The module handle symbol lookups fall back on, chosen once: the configured file's
// module when that file exists, else the logger's own module; loaded with
// LoadLibraryA when not loaded yet.
uintptr_t AsmListingModule();

}  // namespace exclog
