#include "tools/skinpack/SkinWriter.h"

#include <gtest/gtest.h>

#include <string>

#include "skin/container/Lzhuf.h"
#include "skin/container/SkinMessage.h"
#include "skin/container/SkinReader.h"
#include "tests/peers/PeerTools.h"
#include "tools/skinpack/LzhufEncoder.h"

namespace skinpack {
namespace {

std::vector<uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

std::vector<TSkinEntry> SampleEntries() {
  return {{"Skin.INI", Bytes("[Buttons]\r\nBitmap=Button.bmp\r\n")},
          {"Button.BMP", Bytes("BM" + std::string(100, 'x'))},
          {"empty.bmp", {}},
          {"Top.bmp", peers::PseudoRandomBytes(3000, 5)}};
}

void PutU32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// A container around an image edited by hand.
std::vector<uint8_t> Wrap(const std::vector<uint8_t>& image) {
  std::vector<uint8_t> out(4);
  PutU32(out, 0, static_cast<uint32_t>(image.size()));
  std::vector<uint8_t> stream = LzhufEncode(image);
  out.insert(out.end(), stream.begin(), stream.end());
  return out;
}

// The load fails, and for the reason given (the reader's result stays a plain false).
::testing::AssertionResult FailsWith(skin::TSkinReader& reader, const std::vector<uint8_t>& container,
                                     skin::TSkinLoadFailure why) {
  if (reader.LoadFromBytes(container)) return ::testing::AssertionFailure() << "loaded";
  if (reader.Failure() != why)
    return ::testing::AssertionFailure() << "failed with " << skin::SkinLoadFailureText(reader.Failure())
                                         << ", expected " << skin::SkinLoadFailureText(why);
  return ::testing::AssertionSuccess();
}
using skin::TSkinLoadFailure;

std::vector<std::string> messages;
void Record(const std::string& text) { messages.push_back(text); }

TEST(SkinPack, EveryVersionAndLineEndRoundTrips) {
  for (uint32_t version : {20000u, 30000u, 40000u, 50000u, 60000u, 70000u}) {
    for (const char* eol : {"\r\n", "\n", "\r"}) {
      TSkinPackOptions options;
      options.Version = version;
      options.LineEnd = eol;
      options.ExtraFill = 0xEE;
      skin::TSkinReader reader;
      ASSERT_TRUE(reader.LoadFromBytes(BuildSkinContainer(SampleEntries(), options))) << version;
      EXPECT_EQ(reader.Version(), version);
      EXPECT_EQ(reader.Names(), (std::vector<std::string>{"skin.ini", "button.bmp", "empty.bmp", "top.bmp"}));
      std::vector<uint8_t> entry;
      for (const TSkinEntry& e : SampleEntries()) {
        ASSERT_TRUE(reader.FindEntry(e.Name, entry));
        EXPECT_EQ(entry, e.Data);
      }
    }
  }
}

TEST(SkinPack, ImageLayoutByHand) {
  TSkinPackOptions options;
  options.Version = 40000;
  options.Reserved1 = 7;
  options.Reserved2 = 9;
  std::vector<uint8_t> image = BuildSkinImage({{"a.ini", Bytes("xy")}, {"B.bmp", Bytes("z")}}, options);
  // 16 header + 80 extra + "a.ini\r\nB.bmp\r\n" (14) + 2 sizes (8) + 3 data bytes.
  ASSERT_EQ(image.size(), 16u + 80 + 14 + 8 + 3);
  EXPECT_EQ(image[0], 0x40);  // 40000 = 0x9C40
  EXPECT_EQ(image[1], 0x9C);
  EXPECT_EQ(image[4], 14);
  EXPECT_EQ(image[8], 7);
  EXPECT_EQ(image[12], 9);
  EXPECT_EQ(std::string(image.begin() + 96, image.begin() + 110), "a.ini\r\nB.bmp\r\n");
  EXPECT_EQ(image[110], 2);
  EXPECT_EQ(image[114], 1);
  EXPECT_EQ(std::string(image.end() - 3, image.end()), "xyz");
}

TEST(SkinPackHostile, DeclaredSizeTruncationAndJunk) {
  skin::TSkinReader reader;
  TSkinPackOptions options;
  std::vector<uint8_t> image = BuildSkinImage(SampleEntries(), options);

  options.DeclaredSize = static_cast<uint32_t>(image.size() + 200);
  EXPECT_TRUE(FailsWith(reader, BuildSkinContainer(SampleEntries(), options), TSkinLoadFailure::Truncated));
  options.DeclaredSize = 0xFFFFFFF0u;
  EXPECT_TRUE(FailsWith(reader, BuildSkinContainer(SampleEntries(), options), TSkinLoadFailure::TooLarge));
  options.DeclaredSize = static_cast<uint32_t>(image.size() - 1);  // last data byte missing
  EXPECT_TRUE(FailsWith(reader, BuildSkinContainer(SampleEntries(), options), TSkinLoadFailure::DataPastImage));
  options.DeclaredSize.reset();

  options.TruncateBy = 3;
  EXPECT_TRUE(FailsWith(reader, BuildSkinContainer(SampleEntries(), options), TSkinLoadFailure::Truncated));
  options.TruncateBy = 0;
  EXPECT_TRUE(FailsWith(reader, {1, 2, 3}, TSkinLoadFailure::TooShort));

  // Junk in the reserved words and the extra block, bytes after the last entry: fine.
  options.Reserved1 = 0xFFFFFFFF;
  options.Reserved2 = 0x80000000;
  options.ExtraFill = 0xCC;
  options.Trailer = Bytes("trailing junk");
  ASSERT_TRUE(reader.LoadFromBytes(BuildSkinContainer(SampleEntries(), options)));
  EXPECT_EQ(reader.Reserved1(), 0xFFFFFFFFu);
  std::vector<uint8_t> entry;
  ASSERT_TRUE(reader.FindEntry("top.bmp", entry));
  EXPECT_EQ(entry, SampleEntries()[3].Data);
}

TEST(SkinPackHostile, NamesSizesAndOffsetsMustFitTheImage) {
  skin::TSkinReader reader;
  TSkinPackOptions options;
  options.Version = 20000;  // names at 16
  const std::vector<uint8_t> good = BuildSkinImage(SampleEntries(), options);
  const uint32_t namesLength = good[4];
  const size_t sizesAt = 16 + namesLength;
  ASSERT_TRUE(reader.LoadFromBytes(Wrap(good)));

  std::vector<uint8_t> bad = good;
  PutU32(bad, 4, static_cast<uint32_t>(good.size()));  // names run past the end
  EXPECT_TRUE(FailsWith(reader, Wrap(bad), TSkinLoadFailure::NamesPastImage));
  bad = good;
  PutU32(bad, 4, 0xFFFFFFF8u);  // would wrap a 32-bit sum
  EXPECT_TRUE(FailsWith(reader, Wrap(bad), TSkinLoadFailure::NamesPastImage));
  bad = good;
  PutU32(bad, sizesAt + 4, 103);  // "BM" + 100 bytes is 102: one more than the data holds
  EXPECT_TRUE(FailsWith(reader, Wrap(bad), TSkinLoadFailure::DataPastImage));
  bad = good;
  PutU32(bad, sizesAt, 0xFFFFFFFFu);  // sizes whose 32-bit sum wraps to a small number
  PutU32(bad, sizesAt + 4, 0x00000001u + 100);
  EXPECT_TRUE(FailsWith(reader, Wrap(bad), TSkinLoadFailure::DataPastImage));
  // Many names but too few bytes for their sizes table (more than the old 1001 slots).
  bad.assign(16, 0);
  PutU32(bad, 0, 20000);
  std::string names;
  for (int i = 0; i < 1500; ++i) names += "n" + std::to_string(i) + "\n";
  PutU32(bad, 4, static_cast<uint32_t>(names.size()));
  bad.insert(bad.end(), names.begin(), names.end());
  std::vector<uint8_t> withSizes = bad;
  bad.resize(bad.size() + 4 * 1499);
  EXPECT_TRUE(FailsWith(reader, Wrap(bad), TSkinLoadFailure::SizesPastImage));
  // With the whole table (all sizes 0) 1500 entries are fine.
  withSizes.resize(withSizes.size() + 4 * 1500);
  ASSERT_TRUE(reader.LoadFromBytes(Wrap(withSizes)));
  EXPECT_EQ(reader.Names().size(), 1500u);
  EXPECT_EQ(reader.Names()[1499], "n1499");
  // An image shorter than its header, or than its extra block.
  EXPECT_TRUE(FailsWith(reader, Wrap(std::vector<uint8_t>(good.begin(), good.begin() + 15)),
                        TSkinLoadFailure::HeaderPastImage));
  bad.assign(good.begin(), good.begin() + 16);
  PutU32(bad, 0, 30000);  // 256 bytes of extra block the image lacks
  PutU32(bad, 4, 0);
  EXPECT_TRUE(FailsWith(reader, Wrap(bad), TSkinLoadFailure::HeaderPastImage));
  EXPECT_EQ(reader.ImageVersion(), 30000u);
}

TEST(SkinPackHostile, NameLinesAndTrailingLineEnd) {
  skin::TSkinReader reader;
  TSkinPackOptions options;
  options.Version = 20000;
  std::vector<uint8_t> image = BuildSkinImage({{"A.ini", Bytes("1")}, {"b.bmp", Bytes("22")}}, options);
  // "A.ini\r\nb.bmp\r\n" becomes "A.ini\rb.bmp\n\r\n": still two lines, then an empty
  // third name, which needs a third size the image lacks.
  std::string names = "A.ini\rb.bmp\n\r\n";
  std::vector<uint8_t> edited(image.begin(), image.begin() + 16);
  PutU32(edited, 4, static_cast<uint32_t>(names.size()));
  edited.insert(edited.end(), names.begin(), names.end());
  edited.insert(edited.end(), image.begin() + 16 + 14, image.end());  // sizes 1, 2; data "122"
  EXPECT_TRUE(FailsWith(reader, Wrap(edited), TSkinLoadFailure::SizesPastImage));
  // Without the extra line end the two names read back.
  names = "A.ini\rb.bmp\n";
  edited.assign(image.begin(), image.begin() + 16);
  PutU32(edited, 4, static_cast<uint32_t>(names.size()));
  edited.insert(edited.end(), names.begin(), names.end());
  edited.insert(edited.end(), image.begin() + 16 + 14, image.end());
  ASSERT_TRUE(reader.LoadFromBytes(Wrap(edited)));
  EXPECT_EQ(reader.Names(), (std::vector<std::string>{"a.ini", "b.bmp"}));
  std::vector<uint8_t> entry;
  ASSERT_TRUE(reader.FindEntry("B.BMP", entry));
  EXPECT_EQ(entry, Bytes("22"));
}

TEST(SkinPackHostile, UnknownVersionShowsTheMessageOnce) {
  skin::TSkinMessageProc old = skin::SetSkinMessageProc(Record);
  messages.clear();
  TSkinPackOptions options;
  options.Version = 19999;
  skin::TSkinReader reader;
  EXPECT_TRUE(FailsWith(reader, BuildSkinContainer(SampleEntries(), options), TSkinLoadFailure::UnknownVersion));
  EXPECT_EQ(reader.ImageVersion(), 19999u);
  skin::SetSkinMessageProc(old);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], std::string("This is Older Skin File") + '\r' + "Please update to new version !");
}

TEST(LzhufPeer, OurStreamsDecodeInTheJavaLibraryAndInLhasa) {
  peers::TScratchDir dir;
  std::vector<uint8_t> data = peers::PseudoRandomBytes(620 * 1024, 9);
  std::string text;
  for (int i = 0; i < 3000; ++i) text += "[Section" + std::to_string(i % 50) + "]\r\nKey=value\r\n";
  data.insert(data.end(), text.begin(), text.end());
  data.insert(data.end(), 5000, 'z');  // long overlapping matches
  std::vector<uint8_t> stream = LzhufEncode(data);
  peers::WriteBytes(dir / "data", data);
  peers::WriteBytes(dir / "stream", stream);

  // Our own decoder rebuilds the tree as often as the encoder did.
  std::vector<uint8_t> back;
  skin::TLZH lzh;
  ASSERT_EQ(lzh.Unpack(stream, data.size(), back), skin::TLZH::TResult::Ok);
  EXPECT_TRUE(back == data);
  EXPECT_GE(lzh.RebuildCount(), 30);

  peers::TRunResult r = peers::Run(peers::JavaLh1() + " decode " + std::to_string(data.size()) + " " +
                                   peers::Quote(dir / "stream") + " " + peers::Quote(dir / "java.out"));
  ASSERT_EQ(r.ExitCode, 0) << r.Output;
  EXPECT_TRUE(peers::ReadBytes(dir / "java.out") == data);

  r = peers::Run("/usr/bin/python3 " + peers::Quote(peers::PeerScript("wrap_lha.py")) + " " +
                 peers::Quote(dir / "stream") + " " + peers::Quote(dir / "data") + " skin.img " +
                 peers::Quote(dir / "skin.lzh"));
  ASSERT_EQ(r.ExitCode, 0) << r.Output;
  r = peers::Run("cd " + peers::Quote(dir.Path()) + " && mkdir x && lhasa xfqw=x skin.lzh && lhasa t skin.lzh");
  ASSERT_EQ(r.ExitCode, 0) << r.Output;
  EXPECT_TRUE(peers::ReadBytes(dir / "x/skin.img") == data);
}

TEST(LzhufPeer, SkinpackContainerStreamExtractsWithLhasa) {
  // The packed default skin: strip the size, wrap the stream as an LHA archive and
  // let lhasa extract it; it must give the image built from the skin's folder.
  peers::TScratchDir dir;
  const std::string skins = VELMORA_SKINS_DIR;
  std::vector<uint8_t> skn = peers::ReadBytes(skins + "/default.skn");
  ASSERT_GT(skn.size(), 4u);
  std::vector<uint8_t> image = BuildSkinImage(CollectSkinFolder(skins + "/default"), TSkinPackOptions());
  uint32_t size = skn[0] | (skn[1] << 8) | (skn[2] << 16) | (uint32_t{skn[3]} << 24);
  EXPECT_EQ(size, image.size());
  peers::WriteBytes(dir / "stream", std::vector<uint8_t>(skn.begin() + 4, skn.end()));
  peers::WriteBytes(dir / "image", image);
  peers::TRunResult r = peers::Run("/usr/bin/python3 " + peers::Quote(peers::PeerScript("wrap_lha.py")) + " " +
                                   peers::Quote(dir / "stream") + " " + peers::Quote(dir / "image") +
                                   " default.img " + peers::Quote(dir / "skin.lzh"));
  ASSERT_EQ(r.ExitCode, 0) << r.Output;
  r = peers::Run("cd " + peers::Quote(dir.Path()) + " && mkdir x && lhasa xfqw=x skin.lzh");
  ASSERT_EQ(r.ExitCode, 0) << r.Output;
  EXPECT_TRUE(peers::ReadBytes(dir / "x/default.img") == image);
}

}  // namespace
}  // namespace skinpack
