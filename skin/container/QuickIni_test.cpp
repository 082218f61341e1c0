#include "skin/container/QuickIni.h"

#include <gtest/gtest.h>

namespace skin {
namespace {

TQuickIni Load(std::string_view text) {
  TQuickIni ini;
  ini.LoadFromText(text);
  return ini;
}

TEST(QuickIni, LineEndsTrimmingAndComments) {
  // CR LF, lone LF and lone CR all end a line; tabs and control bytes are trimmed.
  TQuickIni ini = Load(" [Form] \r\n\tLeftWidth = 4\x01\n;Width=9\rRightWidth=5\r\n\r\n");
  EXPECT_EQ(ini.Lines(), (std::vector<std::string>{"[Form]", "LeftWidth = 4", "RightWidth=5"}));
  EXPECT_EQ(ini.ReadInteger("Form", "LeftWidth", -1), 4);
  EXPECT_EQ(ini.ReadInteger("Form", "Width", -1), -1);
  EXPECT_EQ(ini.ReadInteger("Form", "RightWidth", -1), 5);
}

TEST(QuickIni, LookupRules) {
  struct {
    const char* text;
    const char* section;
    const char* key;
    const char* found;
    const char* rule;
  } cases[] = {
      {"[s]\nk=\xE9t\xE9\xA0\n", "s", "k", "\xE9t\xE9\xA0", "high bytes are kept when trimming"},
      {"[Title]\nRightwidth=7\n", "title", "RightWidth", "7", "keys and sections ignore letter case"},
      {"[BORDER]\nColor=1\n", "border", "COLOR", "1", "keys and sections ignore letter case"},
      {"[a]\nk=\nk=2\n", "a", "k", "none", "the first key wins, even when empty"},
      {"[a]\nj=first\nj=second\n", "a", "j", "first", "the first key wins"},
      {"[a]\nx=1\n[b]\ny=2\n", "a", "y", "none", "a scan stops at the next section"},
      {"[a]\nx=1\n[b]\ny=2\n", "b", "y", "2", "a later section is found"},
      {"orphan=1\n[a]\n", "", "orphan", "none", "keys before any section are unreachable"},
      {"[a]\nx=1\n", "missing", "x", "none", "a missing section gives the default"},
  };
  for (const auto& c : cases) EXPECT_EQ(Load(c.text).ReadString(c.section, c.key, "none"), c.found) << c.rule;
}

TEST(QuickIni, IntegerForms) {
  TQuickIni ini = Load(
      "[n]\nhex=0x10\nHEX=0X1f\nlead=012\nletters=abc\ndollar=$FF\nneg=-5\n"
      "big=99999999999\nallbits=0xFFFFFFFF\nzx=0x\nmin=-2147483648\nspace=1 2\n");
  EXPECT_EQ(ini.ReadInteger("n", "hex", -1), 16);  // first of the duplicate-looking keys wins
  EXPECT_EQ(ini.ReadInteger("n", "lead", -1), 12);
  EXPECT_EQ(ini.ReadInteger("n", "letters", -1), -1);
  EXPECT_EQ(ini.ReadInteger("n", "dollar", -1), 255);
  EXPECT_EQ(ini.ReadInteger("n", "neg", 0), -5);
  EXPECT_EQ(ini.ReadInteger("n", "big", 3), 3);
  EXPECT_EQ(ini.ReadInteger("n", "allbits", 0), -1);
  EXPECT_EQ(ini.ReadInteger("n", "zx", 7), 7);
  EXPECT_EQ(ini.ReadInteger("n", "min", 0), INT32_MIN);
  EXPECT_EQ(ini.ReadInteger("n", "space", 9), 9);
  EXPECT_EQ(ini.ReadInteger("n", "absent", 42), 42);
}

TEST(QuickIni, SectionsAndHelpers) {
  TQuickIni ini = Load("[ Form ]\n[Title]\nk=v\n[]\n");
  EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"Form", "Title", ""}));
  EXPECT_EQ(ini.FindSection("title"), 1);
  EXPECT_EQ(ini.FindSection("nope"), -1);
  EXPECT_TRUE(TQuickIni::IsSection(" [x] "));
  EXPECT_FALSE(TQuickIni::IsSection("[x"));
  EXPECT_FALSE(TQuickIni::IsSection(""));
  EXPECT_EQ(TQuickIni::KeyName(" Key Name = v=w"), "key name");
  EXPECT_EQ(TQuickIni::KeyName("novalue"), "");
  EXPECT_EQ(TQuickIni::ValueOf("Key = v=w ", "key"), "v=w");
  EXPECT_EQ(TQuickIni::ValueOf("Key = v", "other"), "");
  EXPECT_EQ(TQuickIni::ValueOf("Key = v", ""), "");
}

TEST(QuickIni, ReloadReplacesContents) {
  TQuickIni ini = Load("[a]\nk=1\n");
  ini.LoadFromText("[b]\nk=2\n");
  EXPECT_EQ(ini.ReadInteger("a", "k", 0), 0);
  EXPECT_EQ(ini.ReadInteger("b", "k", 0), 2);
}

TEST(QuickIni, LoadFromStreamReadsFromThePositionOn) {
  TMemoryStream stream;
  stream.WriteString("[skipped]\nk=1\n[s]\nk=2\n");
  stream.SetPosition(14);
  TQuickIni ini = Load("[old]\nk=3\n");
  ini.LoadFromStream(&stream);
  EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"s"}));
  EXPECT_EQ(ini.ReadInteger("s", "k", 0), 2);
  ini.LoadFromStream(nullptr);  // keeps the contents
  EXPECT_EQ(ini.ReadInteger("s", "k", 0), 2);
}

}  // namespace
}  // namespace skin
