#include "exclog/debuginfo/EModules.h"

#include <cstring>

namespace exclog {

std::string PriorityText(uint32_t priorityClass) {
  switch (priorityClass) {
    case 32: return "Normal";
    case 64: return "Low";
    case 128: return "High";
    case 256: return "Real-Time";
    case 16384: return "Below-Normal";
    case 32768: return "Above-Normal";
    default: return "";
  }
}

std::string SizeText(uint32_t bytes) {
  if (bytes == 0) return "";
  return std::to_string((uint64_t(bytes) + 512) / 1024) + " Kb";
}

std::string NumberOrUnknown(uint32_t value) { return value == 0 ? "??" : std::to_string(value); }

std::string ShortVersion(std::string_view version) {
  size_t first = version.find('.');
  if (first == std::string_view::npos) return std::string(version);
  size_t second = version.find('.', first + 1);
  if (second == std::string_view::npos) return std::string(version);
  return std::string(version.substr(0, second + 1)) + "x";
}

std::string FolderOf(std::string_view fileName) {
  if (fileName.substr(0, 4) == "\\??\\") fileName.remove_prefix(4);
  size_t slash = fileName.find_last_of("\\/:");
  if (slash == std::string_view::npos) return "";
  std::string folder(fileName.substr(0, slash + 1));
  // "C:\" keeps its backslash; "C:\Dir\" loses it.
  bool driveRoot = folder.size() == 3 && folder[1] == ':';
  if (!driveRoot && !folder.empty() && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
  return folder;
}

std::string FileVersionText(uint32_t versionMs, uint32_t versionLs) {
  if (versionMs == 0 && versionLs == 0) return "";
  return std::to_string(versionMs >> 16) + "." + std::to_string(versionMs & 0xFFFF) + "." +
         std::to_string(versionLs >> 16) + "." + std::to_string(versionLs & 0xFFFF);
}

uint32_t PriorityFromBasePriority(int32_t basePriority) {
  if (basePriority == 0) return 0;
  if (basePriority < 6) return 64;
  if (basePriority < 8) return 16384;
  if (basePriority < 10) return 32;
  if (basePriority < 13) return 32768;
  if (basePriority < 24) return 128;
  return 256;
}

TModuleKind ClassifyImage(const std::function<bool(size_t, void*, size_t)>& read,
                          const std::function<bool()>& hasPackageResources) {
  char mz[2];
  uint32_t peOffset = 0;
  if (!read(0, mz, 2) || mz[0] != 'M' || mz[1] != 'Z') return ModuleUnknown;
  if (!read(60, &peOffset, 4) || peOffset == 0) return ModuleUnknown;
  uint8_t header[24];
  if (!read(peOffset, header, sizeof header) || std::memcmp(header, "PE\0\0", 4) != 0) return ModuleUnknown;
  uint16_t characteristics = uint16_t(header[22] | (header[23] << 8));
  if (characteristics & 0x2000) return hasPackageResources && hasPackageResources() ? ModulePackage : ModuleLibrary;
  return ModuleExecutable;
}

}  // namespace exclog
