#include "exclog/core/EObjects.h"

#include "classlib/TypInfo.h"

namespace exclog {

std::string ObjectClassName(const void* object) { return SafeClassName(object); }

bool InheritsFromName(const void* object, std::string_view className) {
  return SafeInheritsFromName(object, className);
}

bool IsOneOf(const void* object, const std::vector<std::string>& classNames) {
  for (const std::string& name : classNames)
    if (SafeInheritsFromName(object, name)) return true;
  return false;
}

bool IsNotAbort(const void* object) {
  return IsValidObject(object) && !SafeInheritsFromName(object, "EAbort");
}

bool IsNotExternal(const void* object) { return !SafeInheritsFromName(object, "EExternal"); }

int64_t SetIntegerProperty(TObject* object, std::string_view name, int64_t value) {
  if (!IsValidObject(object)) return 0;
  std::optional<int64_t> previous = GetOrdProp(object, name);
  if (!previous) return 0;
  if (*previous != value) SetOrdProp(object, name, value);
  return *previous;
}

}  // namespace exclog
