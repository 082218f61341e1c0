#include "exclog/debuginfo/EVersionFile.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace exclog {
namespace {

void Put16(std::string& b, size_t at, uint32_t v) {
  b[at] = char(v & 0xff);
  b[at + 1] = char(v >> 8 & 0xff);
}
void Put32(std::string& b, size_t at, uint32_t v) {
  Put16(b, at, v & 0xffff);
  Put16(b, at + 2, v >> 16);
}

// A PE file with one resource section at `rawOffset` holding a version resource
// in `languages` languages, each the same 40-byte block; `otherType`, when not 0,
// is a second type in the root directory, after the version's.
std::string PeFile(int languages, uint32_t rawOffset = 0x200, uint32_t otherType = 0) {
  const std::string block = "\x28" + std::string(39, 'v');
  const size_t types = 0x20, names = 0x38;  // the directories below the root
  std::string tree(names + 16 + 8 * languages + 16 * languages, '\0');
  Put16(tree, 14, otherType ? 2 : 1);
  Put32(tree, 16, 16);
  Put32(tree, 20, 0x80000000u | types);
  Put32(tree, 24, otherType);
  Put32(tree, 28, 0x80000000u | types);
  Put16(tree, types + 14, 1);  // one name, 1
  Put32(tree, types + 16, 1);
  Put32(tree, types + 20, 0x80000000u | names);
  Put16(tree, names + 14, uint32_t(languages));
  for (int i = 0; i < languages; ++i) {
    const uint32_t entry = uint32_t(names + 16 + 8 * languages + 16 * i);
    Put32(tree, names + 16 + 8 * i, 0x409u + uint32_t(i));
    Put32(tree, names + 20 + 8 * i, entry);
    Put32(tree, entry, 0x1000u + uint32_t(tree.size()));
    Put32(tree, entry + 4, uint32_t(block.size()));
  }
  tree += block;
  std::string file(rawOffset, '\0');
  file[0] = 'M';
  file[1] = 'Z';
  Put32(file, 60, 64);
  std::memcpy(&file[64], "PE\0\0", 4);
  Put16(file, 64 + 6, 1);      // one section
  Put16(file, 64 + 20, 0xE0);  // the optional header's size
  Put16(file, 88, 0x10B);
  Put32(file, 88 + 92, 16);
  Put32(file, 88 + 112, 0x1000);
  Put32(file, 88 + 116, uint32_t(tree.size()));
  const size_t section = 88 + 0xE0;
  std::memcpy(&file[section], ".rsrc", 5);
  Put32(file, section + 8, uint32_t(tree.size()));
  Put32(file, section + 12, 0x1000);
  Put32(file, section + 16, uint32_t(tree.size()));
  Put32(file, section + 20, rawOffset);
  return file + tree;
}

std::optional<TFileSpan> Find(const std::string& file, TVersionResource::TKind* kind = nullptr) {
  auto read = [&](uint64_t offset, void* buffer, size_t size) {
    if (offset > file.size() || size > file.size() - offset) ADD_FAILURE() << "read past the file at " << offset;
    std::memcpy(buffer, file.data() + offset, size);
    return true;
  };
  TVersionResource found = FindVersionResource(read, file.size());
  if (kind) *kind = found.Kind;
  if (found.Kind == TVersionResource::Found) return found.Span;
  return std::nullopt;
}

TEST(EVersionFile, FindsTheOneLanguagesBlockInTheSectionsFileData) {
  const std::string file = PeFile(1);
  std::optional<TFileSpan> span = Find(file);
  ASSERT_TRUE(span);
  EXPECT_EQ(span->Size, 40u);
  EXPECT_EQ(file.substr(size_t(span->Offset), span->Size), "\x28" + std::string(39, 'v'));
  // Elsewhere in the file, the same offset from its section's data.
  span = Find(PeFile(1, 0x400));
  ASSERT_TRUE(span);
  EXPECT_EQ(span->Offset, 0x400u + (file.size() - 40 - 0x200));
}

TEST(EVersionFile, LeavesToTheSystemWhatItWouldChooseOrMoveAndDamagedFiles) {
  EXPECT_FALSE(Find(PeFile(2))) << "the system picks among languages";
  EXPECT_FALSE(Find(PeFile(1, 0x280))) << "the loader rounds an odd file offset";
  EXPECT_TRUE(Find(PeFile(1, 0x200, 24)));
  EXPECT_FALSE(Find(PeFile(1, 0x200, 3))) << "the system searches ids in order";
  const std::string file = PeFile(1);
  for (size_t cut : {size_t(10), size_t(100), size_t(0x200 + 20), file.size() - 1})
    EXPECT_FALSE(Find(file.substr(0, cut))) << cut;
  std::string past = file;  // the block's size runs past the section
  Put32(past, 0x200 + 0x38 + 16 + 8 + 4, 0x1000);
  EXPECT_FALSE(Find(past));
  std::string notPe = file;
  notPe[65] = 'X';
  TVersionResource::TKind kind = TVersionResource::Found;
  EXPECT_FALSE(Find(notPe, &kind));
  EXPECT_EQ(kind, TVersionResource::AskSystem);
  EXPECT_FALSE(Find(PeFile(2), &kind));
  EXPECT_EQ(kind, TVersionResource::AskSystem);
}

TEST(EVersionFile, APeWithoutTheResourceHasNone) {
  TVersionResource::TKind kind = TVersionResource::Found;
  std::string noResources = PeFile(1);
  Put32(noResources, 88 + 112, 0);
  EXPECT_FALSE(Find(noResources, &kind));
  EXPECT_EQ(kind, TVersionResource::None);
  std::string otherType = PeFile(1);  // an icon, not a version
  Put32(otherType, 0x200 + 16, 3);
  kind = TVersionResource::Found;
  EXPECT_FALSE(Find(otherType, &kind));
  EXPECT_EQ(kind, TVersionResource::None);
}

}  // namespace
}  // namespace exclog
