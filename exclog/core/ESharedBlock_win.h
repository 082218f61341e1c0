#pragma once
// Named shared memory between the modules of one process that carry the logger:
// each module publishes its options there, the others read them.
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "exclog/core/EOptions.h"

namespace exclog {

struct TSharedBlock {
  HANDLE Mapping = nullptr;
  uint8_t* Data = nullptr;  // the bytes after the size word
  uint32_t Size = 0;        // the size its creator gave
};

// The mapping named by the process id and `tag` (each as 8 hexadecimal digits):
// created with `size` bytes after a size word, or, when it exists, opened with the
// size its creator wrote (checked against the view). With `size` 0 only an
// existing block is opened. Nothing on failure.
std::optional<TSharedBlock> OpenSharedBlock(uint32_t tag, uint32_t size);
void CloseSharedBlock(TSharedBlock& block);

// The options seams' store and fetch: `block` is kept in a block tagged with the
// module handle that stays open for the process's life (or until
// ClosePublishedBlocks); reading gives the bytes of an existing block.
void StoreSharedOptionsBlock(TModuleHandle module, const std::string& block);
std::optional<std::string> FetchSharedOptionsBlock(TModuleHandle module);
void ClosePublishedBlocks();
// Fills TOptionsSeams::StoreSharedBlock/FetchSharedBlock with the two above.
void InstallSharedBlockSeams();

// The options of `options`' module published as a block (leading byte 1), and read
// back into a new object; null when none was published.
void PublishOptions(const TQuelbaModuleOptions& options);
std::unique_ptr<TQuelbaModuleOptions> ReadPublishedOptions(TModuleHandle module);

}  // namespace exclog
