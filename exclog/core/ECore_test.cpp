#include "exclog/core/ECore.h"

#include <gtest/gtest.h>

#include <map>
#include <stdexcept>

namespace exclog {
namespace {

TVariableSource FakeSource(std::map<std::string, std::string> env) {
  TVariableSource source;
  source.Environment = [env](const std::string& name) {
    auto it = env.find(name);
    return it == env.end() ? std::string() : it->second;
  };
  source.Date = [] { return std::string("06/12/2026"); };
  source.Time = [] { return std::string("21:30:00"); };
  source.CurrentDirectory = [] { return std::string("C:\\Work"); };
  return source;
}

TEST(ExpandVariables, KnownPseudoMissingAndLoneSigns) {
  TVariableSource source = FakeSource({{"Tmp", "C:\\Temp"}, {"A", "%B%"}, {"B", "x"}, {"X", "1"}});
  const std::pair<const char*, const char*> cases[] = {
      {"%Tmp%\\log.qlf", "C:\\Temp\\log.qlf"},
      {"on %date% at %TIME% in %Cd%", "on 06/12/2026 at 21:30:00 in C:\\Work"},
      {"[%Nobody%]", "[]"},
      {"%A%", "%B%"},  // a value is never expanded a second time
      {"100% sure", "100% sure"},
      {"%", "%"},
      {"%%", "%%"},
      {"50% of %X%", "50% of 1"},
      {"%X", "%X"},
      {"%a b%", "%a b%"},
      {"", ""},
  };
  for (const auto& [text, expanded] : cases) EXPECT_EQ(ExpandVariables(text, source), expanded) << text;
  // The environment wins over the pseudo variables; without a source every value is empty.
  EXPECT_EQ(ExpandVariables("%date%", FakeSource({{"date", "env-date"}})), "env-date");
  EXPECT_EQ(ExpandVariables("a%date%b", TVariableSource{}), "ab");
}

TEST(FileNames, PartsOfWindowsPaths) {
  EXPECT_EQ(ExtractFileName("C:\\App\\prog.exe"), "prog.exe");
  EXPECT_EQ(ExtractFileDir("C:\\App\\prog.exe"), "C:\\App");
  EXPECT_EQ(ExtractFileDir("C:\\prog.exe"), "C:\\");
  EXPECT_EQ(ExtractFileExt("C:\\a.b\\prog"), "");
  EXPECT_EQ(ChangeFileExt("C:\\a.b\\prog", ".qlf"), "C:\\a.b\\prog.qlf");
  EXPECT_EQ(ChangeFileExt("prog.tar.gz", ".qlf"), "prog.tar.qlf");
  EXPECT_EQ(IncludeBackslash("C:\\x"), "C:\\x\\");
  EXPECT_EQ(IncludeBackslash("C:\\x\\"), "C:\\x\\");
  EXPECT_EQ(ExcludeBackslash("C:\\x\\"), "C:\\x");
}

TEST(LogFileName, FollowsModuleFolderAndLogFolder) {
  EXPECT_EQ(BuildLogFileName("", "C:\\App\\prog.exe", "", std::nullopt), "C:\\App\\prog.qlf");
  EXPECT_EQ(BuildLogFileName("", "C:\\App\\prog.exe", "", std::string("PC1")), "C:\\App\\prog_PC1.qlf");
  EXPECT_EQ(BuildLogFileName("", "C:\\App\\prog.vshost.exe", "", std::nullopt), "C:\\App\\prog.qlf");
  EXPECT_EQ(BuildLogFileName("", "C:\\App\\prog.exe", "D:\\Logs", std::nullopt), "D:\\Logs\\prog.qlf");
  EXPECT_EQ(BuildLogFileName("", "C:\\App\\prog.exe", "D:\\Logs\\", std::nullopt), "D:\\Logs\\prog.qlf");
  EXPECT_EQ(BuildLogFileName("", "C:\\App\\prog.exe", "D:\\Logs\\All.QLF", std::nullopt), "D:\\Logs\\All.QLF");
  EXPECT_EQ(BuildLogFileName("E:\\x\\other.log", "C:\\App\\prog.exe", "", std::nullopt), "E:\\x\\other.qlf");
  EXPECT_EQ(BuildLogFileName("", "C:\\App\\prog.exe", "D:\\L", std::string("a:b*c?d<e>f|g/h\"ij")),
            "D:\\L\\prog_a_b_c_d_e_f_g_h.qlf");
  EXPECT_EQ(ComputerNameForFile("x\"y"), "x_y");
  EXPECT_EQ(ComputerNameForFile("ABCDEFGHIJKLMNOPQRS"), "ABCDEFGHIJKLMNO");
  EXPECT_EQ(ComputerNameForFile("a\\b"), "a_b");
  EXPECT_EQ(ComputerNameForFile(""), "");
}

TEST(TextHelpers, Split) {
  using V = std::vector<std::string>;
  EXPECT_EQ(SplitText("a; b;;c ", ";", true, false), (V{"a", "b", "c"}));
  EXPECT_EQ(SplitText("a; b;;c ", ";", false, true), (V{"a", " b", "", "c "}));
  EXPECT_EQ(SplitText("a,b;c", ",;", false, false), (V{"a", "b", "c"}));
  EXPECT_EQ(SplitText("", ";", false, true), (V{""}));
}

TEST(TextHelpers, DotNumberTexts) {
  EXPECT_EQ(FloatToDotText(1.5), "1.5");
  EXPECT_EQ(FloatToDotText(-0.25), "-0.25");
  EXPECT_DOUBLE_EQ(DotTextToFloat("3.25"), 3.25);
  EXPECT_DOUBLE_EQ(DotTextToFloat("-12"), -12.0);
  EXPECT_DOUBLE_EQ(DotTextToFloat("1.5e2"), 150.0);
  EXPECT_THROW(DotTextToFloat("3,25"), std::invalid_argument);
  EXPECT_THROW(DotTextToFloat(""), std::invalid_argument);
  EXPECT_THROW(DotTextToFloat("."), std::invalid_argument);
  EXPECT_THROW(DotTextToFloat("1e"), std::invalid_argument);
}

TEST(Versions, NormalizePadsPartsAndFillsToFour) {
  EXPECT_EQ(NormalizeVersion("6.0.1"), "00006.00000.00001.00000");
  EXPECT_EQ(NormalizeVersion("1.2.3.4"), "00001.00002.00003.00004");
  EXPECT_EQ(NormalizeVersion("6.0.1 beta"), "00006.00000.00001 beta.00000");
  EXPECT_EQ(NormalizeVersion("123456.7"), "123456.00007.00000.00000");
  EXPECT_EQ(NormalizeVersion("1.2.3.4.5"), "00001.00002.00003.00004.00005");
}

TEST(Versions, NewerComparesNumerically) {
  EXPECT_TRUE(IsNewerVersion("6.0.1", "6.0.10"));
  EXPECT_FALSE(IsNewerVersion("6.0.10", "6.0.1"));
  EXPECT_FALSE(IsNewerVersion("", "6.0.10"));
  EXPECT_FALSE(IsNewerVersion("6.0.1", ""));
  EXPECT_FALSE(IsNewerVersion("6.0.1", "6.0.1"));
  EXPECT_TRUE(IsNewerVersion("6", "6.0.0.1"));
  EXPECT_TRUE(IsNewerVersion("9.9", "10.0"));
}

TEST(Versions, UtcOffsetRoundsToHours) {
  EXPECT_EQ(UtcOffsetHours(45000.5, 45000.5 - 2.0 / 24), 2);
  EXPECT_EQ(UtcOffsetHours(45000.5, 45000.5 + 5.0 / 24 - 0.0001), -5);
  EXPECT_EQ(UtcOffsetHours(45000.0, 45000.0), 0);
}

// Golden bytes from the UTF-8 definition, worked by hand.
TEST(Utf, Utf16ToUtf8EncodesEveryRange) {
  EXPECT_EQ(Utf16ToUtf8(u"A"), "A");
  EXPECT_EQ(Utf16ToUtf8(u"\u00E9"), "\xC3\xA9");
  EXPECT_EQ(Utf16ToUtf8(u"\u20AC"), "\xE2\x82\xAC");
  EXPECT_EQ(Utf16ToUtf8(u"\U0001F600"), "\xF0\x9F\x98\x80");
  EXPECT_EQ(Utf16ToUtf8(u"\U0010FFFF"), "\xF4\x8F\xBF\xBF");
  std::u16string lone = {u'a', char16_t(0xD83D), u'b', char16_t(0xDE00)};
  EXPECT_EQ(Utf16ToUtf8(lone), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD");
}

TEST(Utf, BufferedConversionNeverCutsACharacter) {
  char buffer[8];
  std::u16string text = u"ab\U0001F600c";
  // "ab" + 4 bytes + zero needs 7: fits.
  EXPECT_EQ(Utf16ToUtf8(text, buffer, 7), 6u);
  EXPECT_STREQ(buffer, "ab\xF0\x9F\x98\x80");
  // One byte short: the emoji is left out whole.
  EXPECT_EQ(Utf16ToUtf8(text, buffer, 6), 2u);
  EXPECT_STREQ(buffer, "ab");
  EXPECT_EQ(Utf16ToUtf8(u"\u20AC", buffer, 3), 0u);
  EXPECT_STREQ(buffer, "");
  EXPECT_EQ(Utf16ToUtf8(u"xyz", buffer, 1), 0u);
  EXPECT_EQ(buffer[0], '\0');
  EXPECT_EQ(Utf16ToUtf8(u"xyz", buffer, 0), 0u);
}

TEST(Utf, Utf8ToUtf16RoundTripsAndRejectsBadSequences) {
  std::u16string text = u"a\u00E9\u20AC\U0001F600";
  EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(text)), text);
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");           // overlong
  EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // encoded surrogate
  EXPECT_EQ(Utf8ToUtf16("\xE2\x82"), u"\uFFFD\uFFFD");            // truncated
  EXPECT_EQ(Utf8ToUtf16("\xF4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD");  // past U+10FFFF
}

TEST(Utf, ByteOrderMarks) {
  EXPECT_EQ(DetectByteOrderMark("\xFF\xFE" "a\0"), TByteOrderMark::Utf16LE);
  EXPECT_EQ(DetectByteOrderMark("\xFE\xFF"), TByteOrderMark::Utf16BE);
  EXPECT_EQ(DetectByteOrderMark("\xEF\xBB\xBF"), TByteOrderMark::Utf8);
  EXPECT_EQ(DetectByteOrderMark("\xEF\xBB"), TByteOrderMark::None);
  EXPECT_EQ(DetectByteOrderMark(""), TByteOrderMark::None);
  EXPECT_EQ(DecodeMarkedText(std::string("\xFF\xFE" "A\0\xAC\x20", 6)), u"A\u20AC");
  EXPECT_EQ(DecodeMarkedText(std::string("\xFE\xFF\0A\x20\xAC\x20", 7)), u"A\u20AC");
  EXPECT_EQ(DecodeMarkedText("\xEF\xBB\xBF\xE2\x82\xAC"), u"\u20AC");
  EXPECT_FALSE(DecodeMarkedText("plain").has_value());
}

}  // namespace
}  // namespace exclog
