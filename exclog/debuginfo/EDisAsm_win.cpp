#include <windows.h>

#include <algorithm>

#include "exclog/core/ECore_win.h"
#include "exclog/debuginfo/EDisAsm.h"

namespace exclog {

// Only what can be read is decoded: an instruction that runs into an unreadable page
// ends as a DB of the readable bytes.
void TDisAsm::Disassemble(const void* address, uint32_t& length, std::string& text) const {
  uint8_t copy[15];
  // ReadableBytes may answer up to the end of the region, past what was asked.
  size_t count = std::min(ReadableBytes(address, sizeof copy), sizeof copy);
  if (count > 0 && !SafeCopy(copy, address, count)) count = 0;
  Disassemble(copy, count, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(address)), length, text);
}

}  // namespace exclog
