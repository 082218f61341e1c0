#pragma once
// Names of the standard window messages, for trace lines.
#include <cstdint>

namespace skin {

// "WM_PAINT" for 0x000F; null for a message without a standard name.
const char* StandardMessageName(uint32_t message);

}  // namespace skin
