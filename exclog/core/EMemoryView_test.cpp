#include "exclog/core/EMemoryView.h"

#include <gtest/gtest.h>

#include <vector>

namespace exclog {
namespace {

TEST(OverlayMemory, CopiedBytesHideTheLiveOnesAndReadsSpanBothEdges) {
  TRegionMemory live;
  std::vector<uint8_t> bytes(64);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i);
  live.Add(0x1000, bytes);
  const uint8_t copy[8] = {0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7};
  TOverlayMemory view(live, 0x1010, copy, sizeof copy);

  uint8_t out[16] = {};
  ASSERT_TRUE(view.Read(0x1012, out, 4));
  EXPECT_EQ(std::vector<uint8_t>(out, out + 4), (std::vector<uint8_t>{0xA2, 0xA3, 0xA4, 0xA5}));
  // Before, across the whole copy, and after it.
  ASSERT_TRUE(view.Read(0x100E, out, 12));
  EXPECT_EQ(std::vector<uint8_t>(out, out + 12),
            (std::vector<uint8_t>{0x0E, 0x0F, 0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0x18, 0x19}));
  uint32_t value = 0;
  ASSERT_TRUE(view.ReadU32(0x1016, value));
  EXPECT_EQ(value, 0x1918A7A6u);
  EXPECT_EQ(view.ReadableBytes(0x1014, 4), 4u);
  EXPECT_EQ(view.ReadableBytes(0x1014, 8), 4u + (0x1040 - 0x1018));
  // Past the live block: what lies below decides.
  EXPECT_FALSE(view.Read(0x103E, out, 4));
  EXPECT_EQ(view.ReadableBytes(0x2000, 4), 0u);

  // A copy beyond every live block stays readable by itself.
  TOverlayMemory alone(live, 0x5000, copy, sizeof copy);
  ASSERT_TRUE(alone.ReadU32(0x5004, value));
  EXPECT_EQ(value, 0xA7A6A5A4u);
  EXPECT_FALSE(alone.Read(0x5006, out, 4));
}

}  // namespace
}  // namespace exclog
