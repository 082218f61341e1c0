#include "exclog/core/EBase64.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#ifndef _WIN32
#include "tests/peers/PeerTools.h"
#endif

namespace exclog {
namespace {

TEST(EBase64, LengthsAndShortTexts) {
  EXPECT_EQ(EncodeString("abc"), "YWJj");
  EXPECT_EQ(EncodeString("ab"), "YWI=");
  EXPECT_EQ(EncodeString("a"), "YQ==");
  EXPECT_EQ(EncodeString(""), "");
  for (size_t n : {0u, 1u, 2u, 3u, 4u, 100u}) {
    std::string s(n, '\xFF');
    std::string e = EncodeString(s);
    EXPECT_EQ(e.size(), EncodedLength(n));
    EXPECT_EQ(DecodedLength(e), n);
    EXPECT_EQ(DecodeString(e), s);
  }
}

TEST(EBase64, InvalidTextDecodesEmpty) {
  for (const char* bad : {"YWJ", "YWJjY", "YW=j", "=WJj", "YWJ*", "YQ==YQ==", "Y===", "YW\nJj",
                          "YWJj\r\n", "YW J"})
    EXPECT_EQ(DecodeString(bad), "") << bad;
  EXPECT_EQ(DecodedLength("YWJ"), 0u);
  EXPECT_EQ(DecodeString("YQ==YWJj").size(), 0u);
}

#ifndef _WIN32
// Random data of every tail length, both ways against Python's base64.
TEST(EBase64, AgreesWithPython) {
  peers::TScratchDir dir;
  std::mt19937 rng(28);
  std::string data;
  for (int i = 0; i < 3001; ++i) data += static_cast<char>(rng());
  peers::WriteBytes(dir / "in.bin", {data.begin(), data.end()});
  for (size_t n : {1u, 2u, 3u, 3001u}) {
    auto py = peers::Run("/usr/bin/python3 -c \"import base64,sys; d=open(sys.argv[1],'rb').read()[:" +
                         std::to_string(n) + "]; sys.stdout.write(base64.b64encode(d).decode())\" " +
                         peers::Quote(dir / "in.bin"));
    ASSERT_EQ(py.ExitCode, 0) << py.Output;
    EXPECT_EQ(EncodeString(data.substr(0, n)), py.Output) << n;
    EXPECT_EQ(DecodeString(py.Output), data.substr(0, n)) << n;
  }
  // Lines of 80 (the last shorter, no line end after it) that Python decodes back to the file.
  std::string lines = Base64FileLines(dir / "in.bin");
  peers::WriteBytes(dir / "lines.txt", {lines.begin(), lines.end()});
  auto back = peers::Run("/usr/bin/python3 -c \"import base64,sys; a=open(sys.argv[1],'rb').read().split(b'\\r\\n'); "
                         "print(all(len(l)==80 for l in a[:-1]) and 0<len(a[-1])<=80 and "
                         "base64.b64decode(b''.join(a), validate=True)==open(sys.argv[2],'rb').read())\" " +
                         peers::Quote(dir / "lines.txt") + " " + peers::Quote(dir / "in.bin"));
  EXPECT_EQ(back.Output, "True\n");
  EXPECT_EQ(Base64FileLines(dir / "missing"), "");
  EXPECT_EQ(Base64FileLines(""), "");
}
#endif

}  // namespace
}  // namespace exclog
