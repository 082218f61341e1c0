#pragma once
// The exported routines of a loaded module image, read through a memory view:
// the routine lookup of last resort for modules without debug data.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "exclog/debuginfo/ELists.h"
#include "exclog/core/EMemoryView.h"

namespace exclog {

struct TExportWalkOptions {
  // The address a forwarded export ends at, given its name and its forwarder text
  // ("LIBRARY.Routine", cut at ExportNameLimit); 0 drops it. Unset: forwarded
  // exports are dropped.
  std::function<uint32_t(const std::string& name, const std::string& target)> ResolveForwarder;
  // The older Windows family: an export starting with push imm32; jmp is replaced
  // by the pushed value.
  bool PushJumpStubs = false;
};

// Longest export name read; longer ones are cut.
constexpr size_t ExportNameLimit = 256;

// Every named export of the image at `base`, sorted by address. Each name takes
// the address its ordinal selects (names are sorted by name, not by ordinal).
// Length is 1 for routines inside the code section, else 0. Every table, name and
// address is bounded by the image size and by what memory holds (addresses past
// the top of the 32-bit space are refused, never wrapped); a bad header gives an
// empty list.
std::vector<TQuelbaFunctionInfo> ReadExportList(const TMemoryView& memory, uint32_t base,
                                                const TExportWalkOptions& options = {});

// Looks exports of the image at `base` up by name, its tables read once (bounded as
// ReadExportList reads them). `memory` must outlive the index.
class TExportIndex {
 public:
  TExportIndex(const TMemoryView& memory, uint32_t base);
  ~TExportIndex();
  TExportIndex(const TExportIndex&) = delete;
  TExportIndex& operator=(const TExportIndex&) = delete;
  // The address exported under `name`, by a binary search of the name table (sorted,
  // as the loader searches it). 0 when the name is not there, when its export is
  // forwarded (its forwarder text then goes to `forwarder`, when given), or when
  // the tables could not be read.
  uint32_t AddressOf(const std::string& name, std::string* forwarder = nullptr) const;

 private:
  struct TTables;
  const TMemoryView& memory_;
  std::unique_ptr<TTables> tables_;
};

}  // namespace exclog
