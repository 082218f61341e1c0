#include "exclog/debuginfo/EModules.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace exclog {
namespace {

TEST(EModulesText, PrioritySizeNumbers) {
  EXPECT_EQ(PriorityText(32), "Normal");
  EXPECT_EQ(PriorityText(64), "Low");
  EXPECT_EQ(PriorityText(128), "High");
  EXPECT_EQ(PriorityText(256), "Real-Time");
  EXPECT_EQ(PriorityText(16384), "Below-Normal");
  EXPECT_EQ(PriorityText(32768), "Above-Normal");
  EXPECT_EQ(PriorityText(33), "");
  EXPECT_EQ(SizeText(1536), "2 Kb");
  EXPECT_EQ(SizeText(1535), "1 Kb");
  EXPECT_EQ(SizeText(0), "");
  EXPECT_EQ(SizeText(0xFFFFFFFFu), "4194304 Kb");
  EXPECT_EQ(NumberOrUnknown(0), "??");
  EXPECT_EQ(NumberOrUnknown(1234), "1234");
}

TEST(EModulesText, VersionsAndFolders) {
  EXPECT_EQ(ShortVersion("6.0.1.8"), "6.0.x");
  EXPECT_EQ(ShortVersion("1.2.3.4"), "1.2.x");
  EXPECT_EQ(ShortVersion("1.2"), "1.2");
  EXPECT_EQ(ShortVersion(""), "");
  EXPECT_EQ(FileVersionText(0, 0), "");
  EXPECT_EQ(FileVersionText(0x00060001, 0x1DB10000), "6.1.7601.0");
  EXPECT_EQ(FileVersionText(0, 1), "0.0.0.1");
  EXPECT_EQ(FolderOf("C:\\Windows\\system32\\kernel32.dll"), "C:\\Windows\\system32");
  EXPECT_EQ(FolderOf("C:\\boot.ini"), "C:\\");
  EXPECT_EQ(FolderOf("\\??\\C:\\Windows\\x.exe"), "C:\\Windows");
  EXPECT_EQ(FolderOf("plain.exe"), "");
}

TEST(EModulesText, BasePriorityBands) {
  EXPECT_EQ(PriorityFromBasePriority(0), 0u);
  EXPECT_EQ(PriorityFromBasePriority(4), 64u);
  EXPECT_EQ(PriorityFromBasePriority(6), 16384u);
  EXPECT_EQ(PriorityFromBasePriority(8), 32u);
  EXPECT_EQ(PriorityFromBasePriority(10), 32768u);
  EXPECT_EQ(PriorityFromBasePriority(13), 128u);
  EXPECT_EQ(PriorityFromBasePriority(24), 256u);
}

std::vector<uint8_t> Image(uint16_t characteristics) {
  std::vector<uint8_t> image(0x100, 0);
  image[0] = 'M';
  image[1] = 'Z';
  image[60] = 0x80;
  std::memcpy(&image[0x80], "PE\0\0", 4);
  image[0x80 + 22] = uint8_t(characteristics);
  image[0x80 + 23] = uint8_t(characteristics >> 8);
  return image;
}

TModuleKind Classify(const std::vector<uint8_t>& image, bool package) {
  return ClassifyImage(
      [&](size_t offset, void* buffer, size_t size) {
        if (offset > image.size() || image.size() - offset < size) return false;
        std::memcpy(buffer, image.data() + offset, size);
        return true;
      },
      [&] { return package; });
}

TEST(EModulesKind, HeaderClassification) {
  EXPECT_EQ(Classify(Image(0x0102), false), ModuleExecutable);
  EXPECT_EQ(Classify(Image(0x2102), false), ModuleLibrary);
  EXPECT_EQ(Classify(Image(0x2102), true), ModulePackage);
  auto noPe = Image(0x0102);
  noPe[0x81] = 'X';
  EXPECT_EQ(Classify(noPe, false), ModuleUnknown);
  auto zeroOffset = Image(0x0102);
  zeroOffset[60] = 0;
  EXPECT_EQ(Classify(zeroOffset, false), ModuleUnknown);
  auto farOffset = Image(0x0102);
  farOffset[62] = 0x10;  // beyond the readable bytes
  EXPECT_EQ(Classify(farOffset, false), ModuleUnknown);
  EXPECT_EQ(Classify({'M'}, false), ModuleUnknown);
}

}  // namespace
}  // namespace exclog
