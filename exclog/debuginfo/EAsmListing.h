#pragma once
// The report's assembler listing: the instructions around an exception address,
// disassembled with TDisAsm, the faulting one marked, source locations as comment
// headers, symbol names after jump and call targets and address values, and the text
// of string literals that immediates point to. Pure: the code comes through a memory
// view and the locations through the interface below (the Win32 glue reads the
// process's memory and asks the call-stack code).
#include <cstddef>
#include <cstdint>
#include <string>

#include "exclog/core/EMemoryView.h"

namespace exclog {

// Where addresses come from.
class TAsmLocations {
 public:
  virtual ~TAsmLocations() = default;
  // Source position of a code address: false when it has no debug information.
  virtual bool LineInfo(uint32_t address, std::string& unit, uint32_t& line, uint32_t& offset) const = 0;
  // The symbol text of an address ("" when none): see FormatSymbol.
  virtual std::string Symbol(uint32_t address) const = 0;
};

// The symbol text of a location: for kinds 2 to 4 the unit, class and routine joined
// with "." (empty parts left out), then " (Line=n)" when the line is above 1; for
// other kinds the class name of the object the address points to (`objectClass`,
// "" when it is no object).
std::string FormatSymbol(uint8_t kind, const std::string& unit, const std::string& className,
                         const std::string& routine, uint32_t line, const std::string& objectClass);

struct TAsmListing {
  std::string Text;    // the lines joined with CR LF; "" when the code is unreadable
  std::string Header;  // title + ":" CR LF + a rule; "" with an empty listing
};

// The listing of the code around `exceptionAddress`: from up to 10 instructions
// before it (decoding from a start point between 70 bytes before and the address
// that lands exactly on it) to the tenth instruction after it, the first return after
// it, or the last readable byte within 70 bytes after it. `title` is the section's
// title text ("Assembler Information"). Both parts are empty when the 4 bytes at the
// address are unreadable.
TAsmListing BuildAsmListing(uint32_t exceptionAddress, const TMemoryView& code,
                            const TAsmLocations& locations, const std::string& title);

}  // namespace exclog
