#include "exclog/leaks/ELeakStart.h"

#include <gtest/gtest.h>

#include <vector>

#include "exclog/leaks/ELeaks.h"

namespace exclog {
namespace {

std::vector<uint8_t> Data(uint32_t magic, uint16_t version, uint8_t options, uint8_t mainModule) {
  std::vector<uint8_t> d(20, 0);
  for (int i = 0; i < 4; ++i) d[i] = uint8_t(magic >> (8 * i));
  d[4] = uint8_t(version);
  d[5] = uint8_t(version >> 8);
  d[14] = options;
  d[15] = mainModule;
  return d;
}

uint8_t Options(const std::vector<uint8_t>& own, const std::vector<uint8_t>* main = nullptr) {
  TLeakStartData data;
  data.Own = own.data();
  data.OwnSize = own.size();
  if (main) {
    data.Main = main->data();
    data.MainSize = main->size();
  }
  return LeakStartOptions(data);
}

TEST(LeakStart, VersionMagicAndCatchingBitDecide) {
  EXPECT_EQ(Options(Data(0x100FAB10, 601, 0x13, 0)), 0x13);
  EXPECT_EQ(Options(Data(0x000FAB10, 6002, 0x01, 0)), 0x01);
  EXPECT_EQ(Options(Data(0x100FAB10, 599, 0x13, 0)), 0);
  EXPECT_EQ(Options(Data(0x100FAB11, 601, 0x13, 0)), 0);
  EXPECT_EQ(Options(Data(0x100FAB10, 601, 0x12, 0)), 0);
  auto truncated = Data(0x100FAB10, 601, 0x13, 0);
  truncated.resize(15);
  EXPECT_EQ(Options(truncated), 0);
}

TEST(LeakStart, MainModuleDataRulesAndHostsThatNeverInstall) {
  auto own = Data(0x100FAB10, 601, 0x00, 1), main = Data(0x100FAB10, 600, 0x19, 0);
  EXPECT_EQ(Options(own, &main), 0x19);
  auto oldMain = Data(0x100FAB10, 500, 0x19, 0);
  EXPECT_EQ(Options(own, &oldMain), 0);
  auto ownOnly = Data(0x100FAB10, 601, 0x01, 0);
  EXPECT_EQ(Options(ownOnly, &main), 0x01);
  TLeakStartData data;
  data.Own = ownOnly.data();
  data.OwnSize = ownOnly.size();
  data.BaseClassElsewhere = true;
  EXPECT_EQ(LeakStartOptions(data), 0);
  data.BaseClassElsewhere = false;
  data.InsideDevelopmentEnvironment = true;
  EXPECT_EQ(LeakStartOptions(data), 0);
}

}  // namespace
}  // namespace exclog
