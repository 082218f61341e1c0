// The import walk over a hand-laid mapped image: three descriptors (kernel32.dll,
// user32.dll and KERNEL32.dll again), their names and import address tables at fixed
// places, so every expected slot is known from the layout below.
#include "exclog/hooks/EHookImports.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

using namespace exclog;
using Bytes = std::vector<uint8_t>;

void Put32(Bytes& b, size_t at, uint32_t v) { std::memcpy(b.data() + at, &v, 4); }
void Put16(Bytes& b, size_t at, uint16_t v) { std::memcpy(b.data() + at, &v, 2); }
void PutText(Bytes& b, size_t at, const char* s) { std::memcpy(b.data() + at, s, std::strlen(s) + 1); }

constexpr size_t kOptional = 0x58;

Bytes Image(uint32_t importRva = 0x200) {
  Bytes b(0x400, 0);
  b[0] = 'M';
  b[1] = 'Z';
  Put32(b, 0x3C, 0x40);
  std::memcpy(b.data() + 0x40, "PE\0\0", 4);
  Put16(b, 0x44, 0x14C);
  Put16(b, 0x54, 0xE0);
  Put16(b, kOptional, 0x10B);
  Put32(b, kOptional + 56, 0x400);    // SizeOfImage
  Put32(b, kOptional + 92, 16);       // NumberOfRvaAndSizes
  Put32(b, kOptional + 104, importRva);
  Put32(b, kOptional + 108, 60);
  const uint32_t names[] = {0x280, 0x290, 0x2A0}, tables[] = {0x300, 0x320, 0x340};
  for (int i = 0; i < 3; ++i) {
    Put32(b, 0x200 + 20 * i + 12, names[i]);
    Put32(b, 0x200 + 20 * i + 16, tables[i]);
  }
  PutText(b, 0x280, "kernel32.dll");
  PutText(b, 0x290, "user32.dll");
  PutText(b, 0x2A0, "KERNEL32.dll");
  Put32(b, 0x300, 0x11111111);
  Put32(b, 0x304, 0x22222222);
  Put32(b, 0x320, 0x33333333);
  Put32(b, 0x340, 0x22222222);
  Put32(b, 0x344, 0x44444444);
  return b;
}

TEST(EHookImports, EveryDescriptorOfTheDllIsWalkedWithoutRegardToCase) {
  const Bytes b = Image();
  EXPECT_EQ(ImageSizeOf(b.data(), b.size()), 0x400u);
  const auto slots = FindImportSlots(b.data(), b.size(), "Kernel32.DLL");
  ASSERT_TRUE(slots);
  ASSERT_EQ(slots->size(), 4u);
  EXPECT_EQ((*slots)[0].SlotRva, 0x300u);
  EXPECT_EQ((*slots)[1].SlotRva, 0x304u);
  EXPECT_EQ((*slots)[1].Value, 0x22222222u);
  EXPECT_EQ((*slots)[2].SlotRva, 0x340u);  // the second descriptor of the same DLL
  EXPECT_EQ((*slots)[2].Value, 0x22222222u);
  EXPECT_EQ((*slots)[3].Value, 0x44444444u);
  const auto user = FindImportSlots(b.data(), b.size(), "user32.dll");
  ASSERT_TRUE(user && user->size() == 1u);
  EXPECT_EQ((*user)[0].SlotRva, 0x320u);
  // A name that is only a prefix of a listed one does not match.
  EXPECT_TRUE(FindImportSlots(b.data(), b.size(), "kernel32")->empty());
  EXPECT_TRUE(FindImportSlots(b.data(), b.size(), "gdi32.dll")->empty());
}

TEST(EHookImports, ZeroImportDirectoryMeansNoImports) {
  // Read from RVA 0, the DOS header's bytes would pass for descriptors.
  Bytes b = Image(0);
  PutText(b, 0x20, "kernel32.dll");
  Put32(b, 12, 0x20);
  Put32(b, 16, 0x300);
  const auto slots = FindImportSlots(b.data(), b.size(), "kernel32.dll");
  ASSERT_TRUE(slots);
  EXPECT_TRUE(slots->empty());
}

TEST(EHookImports, HeadersAreChecked) {
  Bytes b = Image();
  EXPECT_FALSE(FindImportSlots(b.data(), 63, "kernel32.dll"));
  EXPECT_FALSE(FindImportSlots(b.data(), 0x40 + 247, "kernel32.dll"));  // NT headers cut
  Bytes noMz = b;
  noMz[0] = 'X';
  EXPECT_FALSE(FindImportSlots(noMz.data(), noMz.size(), "kernel32.dll"));
  Bytes noLfanew = b;
  Put32(noLfanew, 0x3C, 0);
  EXPECT_FALSE(FindImportSlots(noLfanew.data(), noLfanew.size(), "kernel32.dll"));
  Bytes badSig = b;
  badSig[0x42] = 'X';
  EXPECT_FALSE(FindImportSlots(badSig.data(), badSig.size(), "kernel32.dll"));
  Bytes hugeLfanew = b;
  Put32(hugeLfanew, 0x3C, 0xFFFFFFF0u);
  EXPECT_FALSE(FindImportSlots(hugeLfanew.data(), hugeLfanew.size(), "kernel32.dll"));
}

TEST(EHookImports, EveryRvaIsBoundedByTheImageSize) {
  const Bytes b = Image();
  // Cut inside the first table: only the slot that fits is reported.
  const auto cut = FindImportSlots(b.data(), 0x306, "kernel32.dll");
  ASSERT_TRUE(cut);
  ASSERT_EQ(cut->size(), 1u);
  EXPECT_EQ((*cut)[0].SlotRva, 0x300u);
  // Name and table RVAs pointing past the end, and a directory past the end.
  Bytes wild = Image();
  Put32(wild, 0x200 + 12, 0xFFFFFFF0u);
  Put32(wild, 0x200 + 20 + 16, 0x7FFFFFF0u);
  const auto w = FindImportSlots(wild.data(), wild.size(), "user32.dll");
  ASSERT_TRUE(w);
  EXPECT_TRUE(w->empty());
  const Bytes late = Image(0x3F8);
  EXPECT_TRUE(FindImportSlots(late.data(), late.size(), "kernel32.dll")->empty());
}

}  // namespace
