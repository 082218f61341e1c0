#include "exclog/debuginfo/ELocation.h"

#include <algorithm>
#include <vector>

#include "exclog/debuginfo/EDebug.h"
#include "exclog/debuginfo/EDebugInfo.h"
#include "exclog/hooks/EHookLength.h"

namespace exclog {

namespace {

constexpr size_t NameLimit = 255;
constexpr uint32_t MeasureLimit = 0x10000;

std::string Cut(std::string text) {
  if (text.size() > NameLimit) text.resize(NameLimit);
  return text;
}

std::string WithoutPath(const std::string& name) {
  size_t slash = name.find_last_of("\\/");
  return slash == std::string::npos ? name : name.substr(slash + 1);
}

std::string BaseName(const std::string& name) {
  std::string file = WithoutPath(name);
  size_t dot = file.rfind('.');
  return dot == std::string::npos ? file : file.substr(0, dot);
}

void FromOutsideReader(const TQLLocationInfo& info, TQuelbaLocation& location) {
  location.Kind = 4;
  location.UnitName = WithoutPath(!info.UnitText.empty() ? info.UnitText : info.SourceFile);
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t dot; (dot = info.RoutineText.find('.', start)) != std::string::npos; start = dot + 1)
    parts.push_back(info.RoutineText.substr(start, dot - start));
  parts.push_back(info.RoutineText.substr(start));
  std::string routine = parts.back();
  if (parts.size() >= 3) location.ClassName = parts[parts.size() - 2];
  if (parts.size() == 1 && BaseName(location.UnitName) != routine) location.UnitName.clear();
  if (!routine.empty() && routine[0] == '@') routine[0] = '_';
  location.RoutineName = Cut(routine);
  location.UnitName = Cut(location.UnitName);
  location.ClassName = Cut(location.ClassName);
  location.Line = info.SourceLine;
  location.LineOffset = info.LinesFromStart;
  location.Kind = KindOfLocation(location);
}

// The export whose range holds `address`, measuring its length when unknown.
bool FromExports(uint32_t address, TQuelbaFunctionsList& list, const TMemoryView& memory, TQuelbaLocation& location) {
  std::string name;
  {
    TCriticalSectionLock hold(list.Section());
    int low = 0, high = list.Count() - 1, found = -1;
    while (low <= high) {
      int middle = (low + high) / 2;
      if (static_cast<TQuelbaFunctionInfo*>(list.TList::Get(middle))->Address <= address) {
        found = middle;
        low = middle + 1;
      } else {
        high = middle - 1;
      }
    }
    if (found < 0) return false;
    auto* routine = static_cast<TQuelbaFunctionInfo*>(list.TList::Get(found));
    if (routine->Length <= 1) {
      uint32_t limit = MeasureLimit;
      if (found + 1 < list.Count()) {
        uintptr_t next = static_cast<TQuelbaFunctionInfo*>(list.TList::Get(found + 1))->Address;
        limit = static_cast<uint32_t>(std::min<uintptr_t>(limit, next - routine->Address));
      }
      std::vector<uint8_t> code(limit);
      size_t have = std::min<size_t>(memory.ReadableBytes(routine->Address, limit), limit);
      if (have && memory.ReadApproved(routine->Address, code.data(), have))
        routine->Length = std::max<uint32_t>(RoutineSize(code.data(), static_cast<uint32_t>(have)), 1);
      else
        routine->Length = 1;
    }
    if (address - routine->Address >= routine->Length) return false;
    name = routine->Name;
  }
  std::optional<TQLSplitName> split = SplitQualifiedName(name);
  if (!split) return false;
  location.Kind = static_cast<uint8_t>(split->Kind);
  location.UnitName = Cut(split->UnitName);
  location.ClassName = Cut(split->ClassName);
  location.RoutineName = Cut(split->RoutineName);
  return true;
}

}  // namespace

uint8_t KindOfLocation(const TQuelbaLocation& location) {
  if (location.Line) return 4;
  if (!location.UnitName.empty()) return 3;
  if (!location.RoutineName.empty()) return 2;
  return location.Module ? 1 : 0;
}

void LocateInModule(uint32_t address, TQuelbaLocation& location, const TMemoryView& memory, bool exact) {
  location.Address = address;
  TQuelbaModuleInfo* module = location.Module.Get();
  if (module) {
    location.Kind = 1;
    uint32_t offset = static_cast<uint32_t>(address - module->Handle);
    std::optional<TQLDebugLocation> own;
    TQLLocationInfo info;
    if (module->DebugData && (own = module->DebugData->FindLocation(offset))) {
      location.Kind = 4;
      location.UnitName = Cut(own->UnitName);
      location.ClassName = Cut(own->ClassName);
      location.RoutineName = Cut(own->RoutineName);
      location.Line = own->Line;
      location.LineOffset = own->LineOffset;
    } else if (module->DebugSource &&
               static_cast<const TQLDebugInfoSource*>(module->DebugSource)->FindLocation(address, info)) {
      FromOutsideReader(info, location);
    } else if (module->Routines && module->Routines->Count() > 0) {
      FromExports(address, *module->Routines, memory, location);
    }
  }
  if (exact) location.Kind = 4;
}

}  // namespace exclog
