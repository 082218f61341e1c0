#include "exclog/debuginfo/EAsmListing_win.h"

#include <windows.h>

#include <mutex>
#include <set>
#include <string>
#include <utility>

#include "classlib/System.h"
#include "exclog/core/EConsts.h"
#include "exclog/core/ECore_win.h"
#include "exclog/debuginfo/EModules_win.h"
#include "exclog/debuginfo/EStackWalk_win.h"

namespace exclog {

namespace {

void Locate(uint32_t address, TQuelbaLocation& record) { GetLocation(address, 0, record, false, 0); }

class TProcessLocations : public TAsmLocations {
 public:
  bool LineInfo(uint32_t address, std::string& unit, uint32_t& line, uint32_t& offset) const override {
    TQuelbaLocation record;
    Locate(address, record);
    if (record.Kind != 4) return false;
    unit = record.UnitName;
    line = record.Line;
    offset = record.LineOffset;
    return true;
  }
  std::string Symbol(uint32_t address) const override { return AsmSymbol(address); }
};

uintptr_t OwnModule() {
  HMODULE module = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(&OwnModule), &module);
  return reinterpret_cast<uintptr_t>(module);
}

bool ReadableObject(const void* address, size_t size) { return IsReadable(address, size); }

// Modules whose outside debug source could not be made: a listing asks for dozens of
// symbols, and trying again (looking for files, reading sections) for each would
// cost more than the listing. Keyed by handle and file, as a module loaded later at
// the same place is another one.
std::mutex noSourceLock;
std::set<std::pair<uintptr_t, std::string>>& NoSourceModules() {
  static auto* modules = new std::set<std::pair<uintptr_t, std::string>>;
  return *modules;
}
bool NoDebugSource(const TQuelbaModuleInfo& module) {
  std::lock_guard<std::mutex> hold(noSourceLock);
  return NoSourceModules().count({module.Handle, module.FileName}) != 0;
}
void MarkNoDebugSource(const TQuelbaModuleInfo& module) {
  std::lock_guard<std::mutex> hold(noSourceLock);
  NoSourceModules().insert({module.Handle, module.FileName});
}

}  // namespace

std::string& AsmListingModuleFile() {
  static std::string file;
  return file;
}

uintptr_t AsmListingModule() {
  static const uintptr_t chosen = [] {
    const std::string& file = AsmListingModuleFile();
    if (!file.empty() && GetFileAttributesA(file.c_str()) != INVALID_FILE_ATTRIBUTES) {
      HMODULE m = GetModuleHandleA(file.c_str());
      if (m == nullptr) m = LoadLibraryA(file.c_str());  // kept loaded for the process's life
      if (m != nullptr) return reinterpret_cast<uintptr_t>(m);
    }
    return OwnModule();
  }();
  return chosen;
}

std::string AsmSymbol(uint32_t address) {
  const uint32_t target = static_cast<uint32_t>(
      reinterpret_cast<uintptr_t>(ThroughJumpThunk(reinterpret_cast<const void*>(static_cast<uintptr_t>(address)))));
  TQuelbaLocation record;
  Locate(target, record);
  if (record.Kind < 2) {
    TModuleRef module = record.Module ? record.Module : FindModule(AsmListingModule());
    if (module && module->DebugSource == nullptr && ModuleInfoSeams().CreateDebugSource != nullptr &&
        !NoDebugSource(*module.Get())) {
      module->DebugSource = ModuleInfoSeams().CreateDebugSource(module->Handle);
      if (module->DebugSource != nullptr)
        Locate(target, record);
      else
        MarkNoDebugSource(*module.Get());
    }
  }
  const void* object = reinterpret_cast<const void*>(static_cast<uintptr_t>(target));
  const std::string objectClass = record.Kind >= 2 && record.Kind <= 4 ? "" : SafeClassName(object, ReadableObject);
  return FormatSymbol(record.Kind, record.UnitName, record.ClassName, record.RoutineName, record.Line, objectClass);
}

TAsmListing AssemblerListing(const void* exceptionAddress, const std::string& title) {
  const TProcessLocations locations;
  return BuildAsmListing(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(exceptionAddress)), ProcessMemory(), locations,
                         title.empty() ? std::string(DefaultText(14)) : title);
}

}  // namespace exclog
