#include "exclog/core/ESharedBlock_win.h"

#include <cstring>
#include <map>
#include <mutex>

#include "classlib/SysUtils.h"

namespace exclog {

namespace {

constexpr DWORD AlreadyExists = 183;
// Room for options streams that grow later (longer texts, more filters).
constexpr uint32_t MinimumOptionsBlock = 65536;

std::string BlockName(uint32_t tag) { return Format("%.8X%.8X", GetCurrentProcessId(), tag); }

}  // namespace

std::optional<TSharedBlock> OpenSharedBlock(uint32_t tag, uint32_t size) {
  if (size > 0x7FFFFFF0u) return std::nullopt;
  const std::string name = BlockName(tag);
  HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, size + 4, name.c_str());
  const bool existed = GetLastError() == AlreadyExists;
  if (!mapping) return std::nullopt;
  if (!existed && size == 0) {
    CloseHandle(mapping);  // asked only to open, and there was nothing
    return std::nullopt;
  }
  auto* view = static_cast<uint8_t*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0));
  if (!view) {
    CloseHandle(mapping);
    return std::nullopt;
  }
  MEMORY_BASIC_INFORMATION info{};
  VirtualQuery(view, &info, sizeof info);
  uint32_t blockSize = size;
  if (existed) {
    std::memcpy(&blockSize, view, 4);
    // The creator's word is only believed when the view really holds that much.
    if (static_cast<uint64_t>(blockSize) + 4 > info.RegionSize) {
      UnmapViewOfFile(view);
      CloseHandle(mapping);
      return std::nullopt;
    }
  } else {
    std::memcpy(view, &size, 4);
  }
  return TSharedBlock{mapping, view + 4, blockSize};
}

void CloseSharedBlock(TSharedBlock& block) {
  if (block.Data) UnmapViewOfFile(block.Data - 4);
  if (block.Mapping) CloseHandle(block.Mapping);
  block = TSharedBlock{};
}

namespace {

std::mutex publishedLock;
std::map<TModuleHandle, TSharedBlock>& Published() {
  static auto* blocks = new std::map<TModuleHandle, TSharedBlock>;
  return *blocks;
}

}  // namespace

void StoreSharedOptionsBlock(TModuleHandle module, const std::string& block) {
  std::lock_guard<std::mutex> lock(publishedLock);
  auto it = Published().find(module);
  if (it == Published().end()) {
    auto opened = OpenSharedBlock(static_cast<uint32_t>(module),
                                  std::max<uint32_t>(MinimumOptionsBlock, static_cast<uint32_t>(block.size())));
    if (!opened) return;
    it = Published().emplace(module, *opened).first;
  }
  TSharedBlock& shared = it->second;
  if (block.size() > shared.Size) {
    // Too big for the block readers know: mark it invalid rather than cut it.
    if (shared.Size > 0) shared.Data[0] = 0;
    return;
  }
  std::memcpy(shared.Data, block.data(), block.size());
  std::memset(shared.Data + block.size(), 0, shared.Size - block.size());
}

std::optional<std::string> FetchSharedOptionsBlock(TModuleHandle module) {
  std::optional<TSharedBlock> shared = OpenSharedBlock(static_cast<uint32_t>(module), 0);
  if (!shared) return std::nullopt;
  std::string bytes(reinterpret_cast<const char*>(shared->Data), shared->Size);
  CloseSharedBlock(*shared);
  return bytes;
}

void ClosePublishedBlocks() {
  std::lock_guard<std::mutex> lock(publishedLock);
  for (auto& [module, block] : Published()) CloseSharedBlock(block);
  Published().clear();
}

void InstallSharedBlockSeams() {
  OptionsSeams().StoreSharedBlock = &StoreSharedOptionsBlock;
  OptionsSeams().FetchSharedBlock = &FetchSharedOptionsBlock;
}

void PublishOptions(const TQuelbaModuleOptions& options) {
  std::string block(1, '\x01');
  options.SaveToStream(block);
  StoreSharedOptionsBlock(options.ModuleHandle(), block);
}

std::unique_ptr<TQuelbaModuleOptions> ReadPublishedOptions(TModuleHandle module) {
  std::optional<std::string> block = FetchSharedOptionsBlock(module);
  if (!block || block->empty() || (*block)[0] != 1) return nullptr;
  auto options = std::make_unique<TQuelbaModuleOptions>();
  try {
    options->LoadFromBytes(block->data() + 1, block->size() - 1);
  } catch (const Exception&) {
    return nullptr;
  }
  return options;
}

}  // namespace exclog
