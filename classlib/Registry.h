#pragma once
// Key-path rules of the registry reader (TRegistry in Registry_win.h) that do not
// need the platform: how a path given to OpenKey relates to the key already open.
#include <string>
#include <string_view>

struct TRegistryKeyPath {
  bool RelativeToCurrent;  // open below the current key rather than below the root
  std::string SubKey;      // the path to hand to the system, without outer "\"
  std::string NewPath;     // the current path after the key was opened
};

// A path starting with "\" is absolute (below the root key); any other path is
// relative to the open key when one is open (`hasCurrentKey`), else to the root.
// Trailing "\" are dropped; an empty or "\" path names the base key itself.
TRegistryKeyPath ResolveRegistryKeyPath(std::string_view currentPath, bool hasCurrentKey,
                                        std::string_view key);
