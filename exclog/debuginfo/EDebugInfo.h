#pragma once
// Outside debug information of a module that carries no logger data of its own:
// the reader base the call-stack walker asks. The readers (map file, TD32, binary
// debug data) derive from it.
#include <cstdint>
#include <string>

namespace exclog {

class TQLDebugInfoSource;

// One answer of a reader.
struct TQLLocationInfo {
  uintptr_t Address = 0;
  std::string RoutineText;  // qualified: "Unit.Class.Routine" or "Unit.Routine"
  std::string UnitText;     // unit file name, may be empty
  uint32_t LinesFromStart = 0;
  uint32_t SourceLine = 0;
  std::string SourceFile;
  const TQLDebugInfoSource* Reader = nullptr;
};

class TQLDebugInfoSource {
 public:
  explicit TQLDebugInfoSource(uintptr_t module) : module_(module) {}
  virtual ~TQLDebugInfoSource() = default;
  TQLDebugInfoSource(const TQLDebugInfoSource&) = delete;
  TQLDebugInfoSource& operator=(const TQLDebugInfoSource&) = delete;

  // Opens the source; false leaves the reader invalid. Called once after
  // construction (by CreateDebugInfoSource).
  virtual bool OpenSource() = 0;
  // The address as an offset into the code section, as the linker's tools count:
  // address minus module base minus 4096.
  virtual uint32_t OffsetOfAddress(uintptr_t address) const {
    return static_cast<uint32_t>(address - module_ - 4096);
  }
  virtual bool HasScanner() const = 0;
  virtual bool FindLocation(uintptr_t address, TQLLocationInfo& info) const = 0;

  uintptr_t Module() const { return module_; }

 private:
  uintptr_t module_;
};

}  // namespace exclog
