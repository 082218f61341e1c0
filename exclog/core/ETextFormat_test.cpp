#include "exclog/core/ETextFormat.h"

#include <gtest/gtest.h>

#include <sstream>

#ifndef _WIN32
#include "tests/peers/PeerTools.h"
#endif

namespace exclog {
namespace {

#ifndef _WIN32
std::string PythonRef(const std::string& args) {
  auto r = peers::Run("/usr/bin/python3 " + peers::Quote(peers::PeerScript("textformat_ref.py")) + " " + args);
  EXPECT_EQ(r.ExitCode, 0) << r.Output.substr(0, 2000);
  return r.Output;
}

std::string Hex(std::string_view s) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : s) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}
#endif

TEST(DurationText, EveryWholeSecondOfThreeDaysMatchesPython) {
  // 3661 s used to lose its last second when fractions were truncated.
  EXPECT_EQ(DurationText(3661 / 86400.0), "1 hour, 1 minute, 1 second");
  EXPECT_EQ(DurationText(1.5), "1 day, 12 hours, 0 second");
  EXPECT_EQ(DurationText(-0.25), "0 second");
#ifdef _WIN32
  GTEST_SKIP() << "the Python reference runs in the native tree";
#else
  std::istringstream ref(PythonRef("durations 259200"));
  std::string expected;
  int mismatches = 0;
  for (int s = 0; s <= 259200; ++s) {
    ASSERT_TRUE(std::getline(ref, expected)) << s;
    if (DurationText(s / 86400.0) != expected && ++mismatches <= 5)
      ADD_FAILURE() << s << " s: " << DurationText(s / 86400.0) << " != " << expected;
  }
  EXPECT_EQ(mismatches, 0);
#endif
}

TEST(DateText, ZonesInMinutesAndHundredThousandInstantsMatchPython) {
  EXPECT_EQ(ZoneText(0), "+0000");
  EXPECT_EQ(ZoneText(60), "+0100");
  EXPECT_EQ(ZoneText(-300), "-0500");
  EXPECT_EQ(ZoneText(-600), "-1000");
  EXPECT_EQ(ZoneText(330), "+0530");
  EXPECT_EQ(ZoneText(-210), "-0330");
  // Half a second before midnight rounds into the next day, never to 24:00:00.
  TDateTime late = EncodeDate(2026, 12, 31) + (86399.6 / 86400.0);
  EXPECT_EQ(DateText(late, 0), "Fri, 1 Jan 2027 00:00:00 +0000");
#ifdef _WIN32
  GTEST_SKIP() << "the Python reference runs in the native tree";
#else
  std::istringstream ref(PythonRef("dates 100000 19"));
  peers::TScratchDir dir;
  std::ostringstream ours;
  std::string line;
  int count = 0, mismatches = 0;
  while (std::getline(ref, line)) {
    long long epoch;
    int y, mo, d, h, mi, s, off;
    char text[64] = {};
    ASSERT_EQ(std::sscanf(line.c_str(), "%lld\t%d\t%d\t%d\t%d\t%d\t%d\t%d\t%63[^\n]", &epoch, &y, &mo, &d, &h, &mi,
                          &s, &off, text), 9) << line;
    std::string got = DateText(EncodeDate(y, mo, d) + EncodeTime(h, mi, s, 0), off);
    if (got != text && ++mismatches <= 5) ADD_FAILURE() << got << " != " << text;
    ours << epoch << '\t' << got << '\n';
    ++count;
  }
  EXPECT_EQ(count, 100000);
  EXPECT_EQ(mismatches, 0);
  std::string file = dir / "dates.txt";
  std::ofstream(file) << ours.str();
  std::string back = PythonRef("readback " + peers::Quote(file));
  EXPECT_EQ(back, "ok 100000\n");
#endif
}

TEST(TextHelpers, OneLinePrintablePad) {
  EXPECT_EQ(OneLine("a\r\n\tb\x01" "c\xe9"), "a b c\xe9");
  EXPECT_EQ(OneLine("\r\n"), " ");
  EXPECT_EQ(PrintableText("a\tb\r\nc\x1f"), "a b\r\nc ");
  EXPECT_EQ(PadRight("ab", 4), "ab  ");
  EXPECT_EQ(PadRight("abcdef", 4), "abcdef");
  EXPECT_EQ(RtfEscape("a\\b{c}\r\nd"), "a\\\\b\\{c\\}\\par\r\nd");
}

TEST(HtmlEscape, ReadsBackThroughPythonsParser) {
  EXPECT_EQ(HtmlEscape("Tom & Jerry  <b>\r\n"), "Tom &amp; Jerry&nbsp;&nbsp;&lt;b&gt;<br>\r\n");
  EXPECT_EQ(HtmlEscape("\"it's\""), "&quot;it&#039;s&quot;");
#ifdef _WIN32
  GTEST_SKIP() << "the Python reference runs in the native tree";
#else
  static const char alphabet[] = "ab &&<>\"'  ;#x\xe9\r\n";
  std::vector<uint8_t> noise = peers::PseudoRandomBytes(40 * 500, 7);
  std::ostringstream lines;
  for (int i = 0; i < 500; ++i) {
    std::string text;
    for (int k = 0; k < 40; ++k) {
      char c = alphabet[noise[i * 40 + k] % (sizeof alphabet - 1)];
      // Line ends come in pairs only: html.parser keeps them as data.
      if (c == '\r' || c == '\n') text += "\r\n"; else text += c;
    }
    lines << Hex(text) << '\t' << Hex(HtmlEscape(text)) << '\n';
  }
  peers::TScratchDir dir;
  std::string file = dir / "html.txt";
  std::ofstream(file) << lines.str();
  EXPECT_EQ(PythonRef("html " + peers::Quote(file)), "ok 500\n");
#endif
}

}  // namespace
}  // namespace exclog
