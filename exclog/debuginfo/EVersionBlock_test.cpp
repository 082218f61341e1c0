#include "exclog/debuginfo/EVersionBlock.h"

#include <gtest/gtest.h>

#include <string>

namespace exclog {
namespace {

// A node of the wide layout: key, value (text or bytes), children, each padded.
std::string Node(std::u16string key, const std::string& value, bool text, const std::string& children) {
  std::string out(6, '\0');
  for (char16_t c : key + u'\0') out += std::string{char(c & 0xff), char(c >> 8)};
  while (out.size() % 4) out += '\0';
  out += value;
  while (out.size() % 4) out += '\0';
  out += children;
  uint16_t valueLength = uint16_t(text ? value.size() / 2 : value.size());
  out[0] = char(out.size() & 0xff);
  out[1] = char(out.size() >> 8);
  out[2] = char(valueLength & 0xff);
  out[3] = char(valueLength >> 8);
  out[4] = text ? 1 : 0;
  return out;
}

std::string Wide(std::u16string s) {
  std::string out;
  for (char16_t c : s + u'\0') out += std::string{char(c & 0xff), char(c >> 8)};
  return out;
}

std::string Block(const std::string& translation) {
  std::string fixed(52, '\0');
  const unsigned char head[] = {0xbd, 0x04, 0xef, 0xfe, 0, 0, 1, 0, 2, 0, 1, 0, 4, 0, 3, 0};
  fixed.replace(0, sizeof head, reinterpret_cast<const char*>(head), sizeof head);
  std::string strings = Node(u"StringFileInfo", "", false,
                             Node(u"040904B0", "", false,
                                  Node(u"CompanyName", Wide(u"School"), true, "") +
                                      Node(u"FileDescription", Wide(u"Velmora tools"), true, "")));
  std::string vars = Node(u"VarFileInfo", "", false, Node(u"Translation", translation, false, ""));
  return Node(u"VS_VERSION_INFO", fixed, false, strings + vars);
}

TEST(EVersionBlock, ReadsTheFixedVersionAndTheFirstLanguagesStrings) {
  const std::string block = Block(std::string("\x09\x04\xb0\x04", 4));
  auto fixed = VersionFixedInfo(block);
  ASSERT_TRUE(fixed);
  EXPECT_EQ(fixed->FileVersionMs, 0x00010002u);
  EXPECT_EQ(fixed->FileVersionLs, 0x00030004u);
  EXPECT_EQ(VersionString(block, u"filedescription"), u"Velmora tools");
  EXPECT_EQ(VersionString(block, u"CompanyName"), u"School");
  EXPECT_FALSE(VersionString(block, u"ProductVersion"));
  // A translation naming a table the block lacks.
  EXPECT_FALSE(VersionString(Block(std::string("\x07\x04\xb0\x04", 4)), u"CompanyName"));
}

TEST(EVersionBlock, DamagedBlocksGiveNothing) {
  const std::string block = Block(std::string("\x09\x04\xb0\x04", 4));
  // Cut anywhere, the root's length runs past the bytes.
  for (size_t cut : {size_t(0), size_t(5), size_t(60), block.size() - 1})
    EXPECT_FALSE(VersionString(block.substr(0, cut), u"CompanyName")) << cut;
  // A child that claims to run past its parent ends the search there.
  std::string longChild = block;
  const size_t company = longChild.find(std::string("C\0o\0m", 5)) - 6;
  longChild[company] = char(0xff);
  longChild[company + 1] = char(0x7f);
  EXPECT_FALSE(VersionString(longChild, u"FileDescription"));
  std::string badSignature = block;
  badSignature[40] ^= 1;
  EXPECT_FALSE(VersionFixedInfo(badSignature));
}

}  // namespace
}  // namespace exclog
