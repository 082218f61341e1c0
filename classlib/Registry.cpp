#include "classlib/Registry.h"

TRegistryKeyPath ResolveRegistryKeyPath(std::string_view currentPath, bool hasCurrentKey,
                                        std::string_view key) {
  const bool absolute = !key.empty() && key.front() == '\\';
  while (!key.empty() && key.front() == '\\') key.remove_prefix(1);
  while (!key.empty() && key.back() == '\\') key.remove_suffix(1);
  TRegistryKeyPath result;
  result.RelativeToCurrent = !absolute && hasCurrentKey;
  result.SubKey = std::string(key);
  if (result.RelativeToCurrent && !currentPath.empty()) {
    result.NewPath = std::string(currentPath);
    if (!key.empty()) result.NewPath += "\\" + result.SubKey;
  } else {
    result.NewPath = result.SubKey;
  }
  return result;
}
