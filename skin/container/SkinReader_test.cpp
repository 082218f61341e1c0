#include "skin/container/SkinReader.h"

#include <gtest/gtest.h>

#include <string>

#include "skin/container/SkinMessage.h"
#include "tests/support/TestPaths.h"

#ifndef _WIN32
#include "tests/peers/PeerTools.h"
#endif

namespace skin {
namespace {

std::vector<uint8_t> ReadData(const std::string& name) {
  std::string bytes = velmora::test::ReadFileBytes(velmora::test::SourcePath("tests/data/skin/" + name));
  return {bytes.begin(), bytes.end()};
}

std::string Text(const std::vector<uint8_t>& b) { return {b.begin(), b.end()}; }

// Messages shown during a test, instead of a message box.
std::vector<std::string> shownMessages;
void RecordMessage(const std::string& text) { shownMessages.push_back(text); }

class TMessageCapture {
 public:
  TMessageCapture() : old_(SetSkinMessageProc(RecordMessage)) { shownMessages.clear(); }
  ~TMessageCapture() { SetSkinMessageProc(old_); }

 private:
  TSkinMessageProc old_;
};

const char kPeerIni[] = "[TitlebarSkin]\r\nSkinName=Peer\r\n[Buttons]\r\nLeftWidth=4\r\nBitmap=Button.bmp\r\n";

// The committed containers were written by tests/peers/make_container.py (Python
// struct for the image, the Java LHA library for the stream), names given as
// "Skin.INI", "Button.BMP", "Empty.bmp", "Other.Ini.bak".
void ExpectPeerContainer(const TSkinReader& reader) {
  EXPECT_EQ(reader.Names(),
            (std::vector<std::string>{"skin.ini", "button.bmp", "empty.bmp", "other.ini.bak"}));
  EXPECT_EQ(reader.Reserved1(), 0xDEADBEEFu);  // junk in the reserved words is ignored
  EXPECT_EQ(reader.Reserved2(), 0x12345678u);
  std::vector<uint8_t> entry;
  ASSERT_TRUE(reader.FindEntry("SKIN.ini", entry));
  EXPECT_EQ(Text(entry), kPeerIni);
  ASSERT_TRUE(reader.FindEntry("Button.Bmp", entry));
  EXPECT_EQ(entry.size(), 54u + 3 * 24);  // 7 x 3 at 24 bits: rows padded to 24 bytes
  EXPECT_EQ(entry[0], 'B');
  EXPECT_EQ(entry[1], 'M');
  EXPECT_TRUE(reader.FindEntry("empty.bmp", entry));
  EXPECT_TRUE(entry.empty());
  EXPECT_FALSE(reader.FindEntry("missing.bmp", entry));
  EXPECT_TRUE(entry.empty());
  std::string found = "unchanged";
  ASSERT_TRUE(reader.FindFirst(".ini", entry, found));
  EXPECT_EQ(found, "skin.ini");
  EXPECT_TRUE(reader.FindFirst("ini.b", entry, found));
  EXPECT_EQ(found, "other.ini.bak");
  EXPECT_EQ(Text(entry), "second ini\r\n");
  found = "unchanged";
  EXPECT_FALSE(reader.FindFirst(".INI", entry, found));  // patterns are not lower-cased
  EXPECT_EQ(found, "unchanged");
  EXPECT_TRUE(entry.empty());
}

TEST(SkinReader, ReadsContainersOfTheReferenceWriter) {
  struct Case {
    const char* file;
    uint32_t version;
    uint32_t namesLength;
  } cases[] = {{"java-v20000-crlf.skn", 20000, 48}, {"java-v40000-lf.skn", 40000, 44},
               {"java-v70000-cr.skn", 70000, 44}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    TSkinReader reader;
    ASSERT_TRUE(reader.LoadFromBytes(ReadData(c.file)));
    EXPECT_EQ(reader.Version(), c.version);
    EXPECT_EQ(reader.NamesLength(), c.namesLength);
    ExpectPeerContainer(reader);
  }
}

TEST(SkinReader, DeclaredSizeMustMatchTheStream) {
  std::vector<uint8_t> good = ReadData("java-v40000-lf.skn");
  TSkinReader reader;
  ASSERT_TRUE(reader.LoadFromBytes(good));

  // Larger than the stream holds: decoding runs out of bits.
  std::vector<uint8_t> bigger = good;
  bigger[0] = static_cast<uint8_t>(bigger[0] + 40);
  EXPECT_FALSE(reader.LoadFromBytes(bigger));
  EXPECT_TRUE(reader.Names().empty());

  // Beyond the cap: refused before any decoding.
  std::vector<uint8_t> huge = good;
  huge[0] = huge[1] = huge[2] = huge[3] = 0xFF;
  EXPECT_FALSE(reader.LoadFromBytes(huge));

  // Smaller: the image ends inside the entry data, which no longer fits its sizes.
  std::vector<uint8_t> smaller = good;
  smaller[0] = static_cast<uint8_t>(smaller[0] - 20);
  EXPECT_FALSE(reader.LoadFromBytes(smaller));

  // Cut inside the header.
  std::vector<uint8_t> tiny = good;
  tiny[0] = 10;
  tiny[1] = tiny[2] = tiny[3] = 0;
  EXPECT_FALSE(reader.LoadFromBytes(tiny));
}

TEST(SkinReader, TruncatedStreamsAndShortInputsFail) {
  std::vector<uint8_t> good = ReadData("java-v70000-cr.skn");
  TSkinReader reader;
  for (size_t keep : {size_t{0}, size_t{3}, size_t{4}, size_t{5}, good.size() / 2, good.size() - 4}) {
    std::vector<uint8_t> cut(good.begin(), good.begin() + static_cast<ptrdiff_t>(keep));
    EXPECT_FALSE(reader.LoadFromBytes(cut)) << keep;
    EXPECT_TRUE(reader.Names().empty());
  }
}

TEST(SkinReader, ALoadReplacesThePreviousContents) {
  TSkinReader reader;
  ASSERT_TRUE(reader.LoadFromBytes(ReadData("java-v20000-crlf.skn")));
  std::vector<uint8_t> broken = ReadData("java-v20000-crlf.skn");
  broken.resize(broken.size() / 2);
  EXPECT_FALSE(reader.LoadFromBytes(broken));
  std::vector<uint8_t> entry;
  EXPECT_FALSE(reader.FindEntry("skin.ini", entry));
}

TEST(SkinReader, StreamsInAndOut) {
  std::vector<uint8_t> bytes = ReadData("java-v40000-lf.skn");
  TMemoryStream source;
  source.WriteBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
  // Left at the end on purpose: loading starts from position 0.
  TSkinReader reader;
  ASSERT_TRUE(reader.LoadFromStream(source));
  TMemoryStream entry;
  entry.WriteString("stale");
  ASSERT_TRUE(reader.FindEntry("Skin.ini", entry));
  EXPECT_EQ(entry.Position(), 0);
  EXPECT_EQ(entry.ReadRemaining(), kPeerIni);
  std::string found;
  ASSERT_TRUE(reader.FindFirst("bmp", entry, found));
  EXPECT_EQ(found, "button.bmp");
  EXPECT_EQ(entry.Size(), 54 + 3 * 24);
  EXPECT_FALSE(reader.FindEntry("nothing.bmp", entry));
  EXPECT_EQ(entry.Size(), 0);
  TMemoryStream empty;
  EXPECT_FALSE(reader.LoadFromStream(empty));
}

TEST(SkinReader, ExtraBlockSizes) {
  EXPECT_EQ(SkinExtraBlockSize(20000), 0);
  EXPECT_EQ(SkinExtraBlockSize(30000), 256);
  EXPECT_EQ(SkinExtraBlockSize(40000), 80);
  EXPECT_EQ(SkinExtraBlockSize(50000), 48);
  EXPECT_EQ(SkinExtraBlockSize(60000), 117);
  EXPECT_EQ(SkinExtraBlockSize(70000), 69);
  EXPECT_EQ(SkinExtraBlockSize(10000), -1);
  EXPECT_EQ(SkinExtraBlockSize(70001), -1);
}

TEST(SkinReader, NameLinesEndAtCrLfOrEither) {
  EXPECT_EQ(SplitSkinLines("a\r\nb\nc\rd"), (std::vector<std::string>{"a", "b", "c", "d"}));
  EXPECT_EQ(SplitSkinLines("a\r\n"), (std::vector<std::string>{"a"}));  // no entry after the last end
  EXPECT_EQ(SplitSkinLines("a\n\n"), (std::vector<std::string>{"a", ""}));
  EXPECT_EQ(SplitSkinLines("a\n\r"), (std::vector<std::string>{"a", ""}));  // LF then a lone CR
  EXPECT_EQ(SplitSkinLines("\r\n"), (std::vector<std::string>{""}));
  EXPECT_TRUE(SplitSkinLines("").empty());
}

#ifndef _WIN32

std::vector<uint8_t> MakeJavaContainer(uint32_t version, const std::string& eol,
                                       const std::vector<std::pair<std::string, std::string>>& entries) {
  peers::TScratchDir dir;
  std::string cmd = "/usr/bin/python3 " + peers::Quote(peers::PeerScript("make_container.py")) + " " +
                    std::to_string(version) + " " + eol + " " + peers::Quote(dir / "out.skn");
  int i = 0;
  for (const auto& [name, data] : entries) {
    std::string file = dir / ("e" + std::to_string(i++));
    peers::WriteBytes(file, {data.begin(), data.end()});
    cmd += " " + peers::Quote(name + "=" + file);
  }
  peers::TRunResult r = peers::Run(cmd);
  EXPECT_EQ(r.ExitCode, 0) << r.Output;
  return peers::ReadBytes(dir / "out.skn");
}

TEST(SkinReaderPeer, EveryVersionAndLineEndReadsBackEntryForEntry) {
  std::vector<uint8_t> big = peers::PseudoRandomBytes(70000, 11);
  std::vector<std::pair<std::string, std::string>> entries = {
      {"Skin.ini", "[Personality]\r\nLeft=LEFT.BMP\r\n"},
      {"LEFT.BMP", std::string("BM") + std::string(300, '\x7f')},
      {"Mixed.Case.Bmp", std::string(big.begin(), big.end())},
      {"zero.bmp", ""},
      {"last.bmp", "tail"},
  };
  // Each version once, the three line ends taken in turn (a Java start costs a second).
  const char* eols[] = {"crlf", "lf", "cr"};
  int turn = 0;
  for (uint32_t version : {20000u, 30000u, 40000u, 50000u, 60000u, 70000u}) {
    {
      const char* eol = eols[turn++ % 3];
      SCOPED_TRACE(std::to_string(version) + " " + eol);
      TSkinReader reader;
      ASSERT_TRUE(reader.LoadFromBytes(MakeJavaContainer(version, eol, entries)));
      EXPECT_EQ(reader.Version(), version);
      ASSERT_EQ(reader.Names().size(), entries.size());
      std::vector<uint8_t> entry;
      for (const auto& [name, data] : entries) {
        ASSERT_TRUE(reader.FindEntry(name, entry)) << name;
        EXPECT_TRUE(Text(entry) == data) << name;
      }
      EXPECT_EQ(reader.Names()[2], "mixed.case.bmp");
    }
  }
}

TEST(SkinReaderPeer, UnknownVersionShowsTheOlderSkinMessage) {
  TMessageCapture capture;
  // make_container.py writes no extra block for a version it does not know.
  TSkinReader reader;
  EXPECT_FALSE(reader.LoadFromBytes(MakeJavaContainer(10000, "crlf", {{"skin.ini", "x"}})));
  ASSERT_EQ(shownMessages.size(), 1u);
  EXPECT_EQ(shownMessages[0], "This is Older Skin File\rPlease update to new version !");
  EXPECT_TRUE(reader.Names().empty());
}

#endif  // _WIN32

}  // namespace
}  // namespace skin
