#pragma once
// Module and process information, the parts that need no system: the texts of the
// report's module and process lists, the version text of a fixed version block,
// the base-priority mapping of the older systems and the classification of a
// module from its image header. EModules_win.h holds the process glue.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace exclog {

// 32 "Normal", 64 "Low", 128 "High", 256 "Real-Time", 16384 "Below-Normal",
// 32768 "Above-Normal"; other values "".
std::string PriorityText(uint32_t priorityClass);

// Kilobytes rounded to the nearest, then " Kb"; "" for 0.
std::string SizeText(uint32_t bytes);

// Decimal text; "??" for 0.
std::string NumberOrUnknown(uint32_t value);

// "6.0.1.8" gives "6.0.x": the text up to and including its second dot, then "x";
// texts with fewer than two dots are unchanged.
std::string ShortVersion(std::string_view version);

// The folder of a file name without a trailing backslash (a drive root keeps it)
// and without a leading "\??\" prefix.
std::string FolderOf(std::string_view fileName);

// "major.minor.release.build" from the fixed block's two most and two least
// significant words; "" for 0.0.0.0.
std::string FileVersionText(uint32_t versionMs, uint32_t versionLs);

// The priority class an older system's base priority stands for.
uint32_t PriorityFromBasePriority(int32_t basePriority);

// Module kinds of the module record.
enum TModuleKind : uint8_t { ModuleUnknown = 0, ModuleExecutable = 1, ModulePackage = 2, ModuleLibrary = 3 };

// Classifies an image from its header, read through `read` (copies `size` bytes at
// `offset` into `buffer`, false when they cannot be read): "MZ", a non-zero
// offset at 60 to "PE\0\0" and its 20-byte file header, else ModuleUnknown. A
// library (characteristics bit 13) is ModulePackage when `hasPackageResources()`
// says so, else ModuleLibrary; anything else is ModuleExecutable.
TModuleKind ClassifyImage(const std::function<bool(size_t offset, void* buffer, size_t size)>& read,
                          const std::function<bool()>& hasPackageResources);

}  // namespace exclog
