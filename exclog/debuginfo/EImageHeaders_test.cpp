#include "exclog/debuginfo/EImageHeaders.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace exclog {
namespace {

constexpr uintptr_t Base = 0x400000;
constexpr uint32_t Nt = 0x80, DebugRva = 0x1000;

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) { std::memcpy(&b[at], &v, 4); }
void Put16(std::vector<uint8_t>& b, size_t at, uint16_t v) { std::memcpy(&b[at], &v, 2); }

// A loaded image with two sections, the second one holding debug data at the
// address the debug directory names.
std::vector<uint8_t> Image(uint32_t debugVirtualSize, uint32_t debugRawSize) {
  std::vector<uint8_t> b(0x1100, 0);
  b[0] = 'M';
  b[1] = 'Z';
  Put32(b, 60, Nt);
  std::memcpy(&b[Nt], "PE\0\0", 4);
  Put16(b, Nt + 4, 0x14c);
  Put16(b, Nt + 6, 2);
  Put32(b, Nt + 8, 0x5f5e1000);
  Put16(b, Nt + 20, 224);
  Put16(b, Nt + 24 + 68, 3);
  Put32(b, Nt + 24 + 144, DebugRva);
  const size_t table = Nt + 24 + 224;
  Put32(b, table + 12, 0x800);  // a code section first
  Put32(b, table + 40 + 8, debugVirtualSize);
  Put32(b, table + 40 + 12, DebugRva);
  Put32(b, table + 40 + 16, debugRawSize);
  for (size_t i = 0; i < 0x100; ++i) b[DebugRva + i] = uint8_t(i ^ 0x5a);
  return b;
}

std::optional<std::string> Debug(const std::vector<uint8_t>& image, size_t limit = 1 << 20) {
  TRegionMemory memory;
  memory.Add(Base, image);
  return ReadDebugSection(memory, Base, limit);
}

TEST(EImageHeaders, ReadsTheHeadersAndTheDebugSectionWhereTheLoaderPutIt) {
  TRegionMemory memory;
  memory.Add(Base, Image(0x40, 0x100));
  auto headers = ReadImageHeaders(memory, Base);
  ASSERT_TRUE(headers);
  EXPECT_EQ(headers->TimeStamp, 0x5f5e1000u);
  EXPECT_EQ(headers->Subsystem, 3);
  EXPECT_EQ(headers->Sections, 2);
  auto data = ReadDebugSection(memory, Base, 1 << 20);
  ASSERT_TRUE(data);
  // The smaller of the two sizes: the section's used part.
  ASSERT_EQ(data->size(), 0x40u);
  EXPECT_EQ(uint8_t((*data)[0x3f]), 0x3f ^ 0x5a);
  EXPECT_EQ(Debug(Image(0, 0x100))->size(), 0x100u);
}

TEST(EImageHeaders, DamagedOrHostileHeadersGiveNothing) {
  // A section claiming more than memory holds, or more than the limit allows.
  EXPECT_FALSE(Debug(Image(0x7fffffff, 0x7fffffff)));
  EXPECT_FALSE(Debug(Image(0x200, 0x200), 0x1ff));
  EXPECT_FALSE(Debug(Image(0, 0)));
  auto far = Image(0x40, 0x40);
  Put32(far, 60, ImageHeaderOffsetLimit + 8);
  far.resize(ImageHeaderOffsetLimit + 0x200);
  std::memcpy(&far[ImageHeaderOffsetLimit + 8], "PE\0\0", 4);
  EXPECT_FALSE(Debug(far));
  auto truncated = Image(0x40, 0x40);
  truncated.resize(Nt + 24 + 224 + 50);  // the debug section's header cut short
  EXPECT_FALSE(Debug(truncated));
  auto shortOptional = Image(0x40, 0x40);
  Put16(shortOptional, Nt + 20, 60);  // no subsystem, no debug directory
  TRegionMemory memory;
  memory.Add(Base, shortOptional);
  ASSERT_TRUE(ReadImageHeaders(memory, Base));
  EXPECT_EQ(ReadImageHeaders(memory, Base)->Subsystem, 0);
  EXPECT_FALSE(ReadDebugSection(memory, Base, 1 << 20));
  auto notPe = Image(0x40, 0x40);
  notPe[Nt + 2] = 'X';
  EXPECT_FALSE(Debug(notPe));
}

}  // namespace
}  // namespace exclog
