#pragma once
// The version resource of a module file, read from its bytes: the fixed block's
// file version and the strings of a language's table. A file's version data is
// outside input: every node is bounded by its parent and by the block, so a
// damaged one yields nothing rather than a read past the block.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace exclog {

struct TFixedVersion {
  uint32_t FileVersionMs = 0, FileVersionLs = 0;
  uint32_t ProductVersionMs = 0, ProductVersionLs = 0;
};

// The fixed block under the root, when the root is the version record and the
// block carries its signature.
std::optional<TFixedVersion> VersionFixedInfo(std::string_view block);

// The string `key` (compared without case, as the system's query does) of the
// string table of the first language the block's translation list names, up to
// its first null; nullopt when any step is missing.
std::optional<std::u16string> VersionString(std::string_view block, std::u16string_view key);

}  // namespace exclog
