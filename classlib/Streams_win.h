#pragma once
// A read-only stream over a resource of a loaded module. Declarations only: no
// Windows header here.
#include <cstdint>
#include <string>

#include "classlib/Streams.h"

constexpr uintptr_t RT_RCDATA_ID = 10;  // RT_RCDATA

// Reads the resource `name` of type `type` (default RT_RCDATA) from the module
// `instance` (an HMODULE value; 0 for the program itself). The resource stays mapped
// as long as the module is loaded, so the stream needs no cleanup of its own.
// Raises EResNotFound ("Resource <name> not found") when it is missing.
class TResourceStream : public TCustomMemoryStream {
  VELMORA_CLASS(TResourceStream, TCustomMemoryStream)
 public:
  TResourceStream(uintptr_t instance, const std::string& name, uintptr_t type = RT_RCDATA_ID);
  // By numeric identifier.
  TResourceStream(uintptr_t instance, uint16_t id, uintptr_t type = RT_RCDATA_ID);

 private:
  void Open(uintptr_t instance, const char* name, const char* type, const std::string& shownName);
};

