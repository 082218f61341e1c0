#include "skin/container/Lzhuf.h"

#include <gtest/gtest.h>

#include <string>

#ifndef _WIN32
#include "tests/peers/PeerTools.h"
#endif

namespace skin {
namespace {

std::vector<uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

TEST(Lzhuf, HugeDeclaredSizeIsRefusedBeforeDecoding) {
  std::vector<uint8_t> stream(16, 0);
  std::vector<uint8_t> out{1, 2, 3};
  TLZH lzh;
  EXPECT_EQ(lzh.Unpack(stream, kLzhMaxUnpacked + 1, out), TLZH::TResult::TooLarge);
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(lzh.Unpack(stream, 0xFFFFFFFFu, out), TLZH::TResult::TooLarge);
}

TEST(Lzhuf, EmptyInputDecodesOnlyZeroBytes) {
  std::vector<uint8_t> out;
  TLZH lzh;
  EXPECT_EQ(lzh.Unpack({}, 0, out), TLZH::TResult::Ok);
  EXPECT_TRUE(out.empty());
  // Any symbol needs bits that an empty stream does not hold.
  EXPECT_EQ(lzh.Unpack({}, 1, out), TLZH::TResult::Truncated);
  EXPECT_EQ(lzh.Unpack({}, 100000, out), TLZH::TResult::Truncated);
  EXPECT_LE(out.size(), 60u);  // at most one symbol past the end of the input
}

TEST(Lzhuf, ZeroBitsWalkTheInitialTreeByHand) {
  // Worked by hand on the initial tree, where internal node j has children
  // 2(j - 314) and 2(j - 314) + 1: from the root's left child 624, 0 bits visit
  // 620, 612, 596, 564, 500, 372 and 116, which holds leaf 116 ('t'): 8 bits.
  // Counting it swaps node 116 with node 313, the last of count 1, so the same 8
  // bits then reach symbol 313, a match of 60; position byte 0x00 plus one 0 bit is
  // distance 0, a copy of the 't' just written. 25 bits give 61 't's.
  std::vector<uint8_t> stream(4, 0);
  std::vector<uint8_t> out;
  TLZH lzh;
  ASSERT_EQ(lzh.Unpack(stream, 61, out), TLZH::TResult::Ok);
  EXPECT_EQ(out, std::vector<uint8_t>(61, 't'));
  // Three bytes hold only 24 of the 25 bits.
  std::vector<uint8_t> shorter(3, 0);
  EXPECT_EQ(lzh.Unpack(shorter, 61, out), TLZH::TResult::Truncated);
  EXPECT_EQ(lzh.Unpack(shorter, 1, out), TLZH::TResult::Ok);
  EXPECT_EQ(out, std::vector<uint8_t>(1, 't'));
}

#ifndef _WIN32

// Encodes each input with the Java LHA library's "-lh1-" coder, in one Java run.
std::vector<std::vector<uint8_t>> JavaEncodeAll(const std::vector<std::vector<uint8_t>>& inputs) {
  peers::TScratchDir dir;
  std::string cmd = peers::JavaLh1() + " encode";
  for (size_t i = 0; i < inputs.size(); ++i) {
    peers::WriteBytes(dir / ("in" + std::to_string(i)), inputs[i]);
    cmd += " " + peers::Quote(dir / ("in" + std::to_string(i))) + " " + peers::Quote(dir / ("out" + std::to_string(i)));
  }
  peers::TRunResult r = peers::Run(cmd);
  EXPECT_EQ(r.ExitCode, 0) << r.Output;
  std::vector<std::vector<uint8_t>> out;
  for (size_t i = 0; i < inputs.size(); ++i) out.push_back(peers::ReadBytes(dir / ("out" + std::to_string(i))));
  return out;
}

std::vector<uint8_t> JavaEncode(const std::vector<uint8_t>& data) { return JavaEncodeAll({data})[0]; }

TEST(LzhufPeer, DecodesStreamsOfTheJavaLhaLibrary) {
  std::vector<std::vector<uint8_t>> inputs = {
      Bytes("A"),
      Bytes(std::string(10000, 'a')),                        // long overlapping matches
      Bytes("abcabcabcabcabcabcabcabcabcabcabcabcabcabcx"),
      Bytes(std::string(5000, ' ') + "spaces"),
  };
  std::vector<uint8_t> all(256 * 3);
  for (size_t i = 0; i < all.size(); ++i) all[i] = static_cast<uint8_t>(i);
  inputs.push_back(all);
  std::string text;
  for (int i = 0; i < 400; ++i) text += "[Buttons]\r\nLeftWidth=" + std::to_string(i % 17) + "\r\n";
  inputs.push_back(Bytes(text));

  std::vector<std::vector<uint8_t>> streams = JavaEncodeAll(inputs);
  for (size_t i = 0; i < inputs.size(); ++i) {
    const std::vector<uint8_t>& input = inputs[i];
    const std::vector<uint8_t>& stream = streams[i];
    std::vector<uint8_t> out;
    TLZH lzh;
    ASSERT_EQ(lzh.Unpack(stream, input.size(), out), TLZH::TResult::Ok) << input.size();
    EXPECT_EQ(out, input);
  }
}

TEST(LzhufPeer, LongInputRebuildsTheTreeManyTimes) {
  // Mostly incompressible data gives about one symbol per byte; the tree is rebuilt
  // every 16 Ki symbols or so, so 700 KB passes 30 rebuilds with room to spare.
  std::vector<uint8_t> input = peers::PseudoRandomBytes(600 * 1024, 7);
  std::string tail;
  for (int i = 0; i < 5000; ++i) tail += "line " + std::to_string(i * 37 % 1000) + "\n";
  input.insert(input.end(), tail.begin(), tail.end());
  ASSERT_GT(input.size(), 600u * 1024);

  std::vector<uint8_t> stream = JavaEncode(input);
  std::vector<uint8_t> out;
  TLZH lzh;
  ASSERT_EQ(lzh.Unpack(stream, input.size(), out), TLZH::TResult::Ok);
  EXPECT_TRUE(out == input);
  EXPECT_GE(lzh.RebuildCount(), 30);
}

TEST(LzhufPeer, StopsAtExactlyTheDeclaredSize) {
  std::vector<uint8_t> input = Bytes(std::string(3000, 'q'));  // decoded as long matches
  std::vector<uint8_t> stream = JavaEncode(input);
  for (size_t count : {1u, 2u, 30u, 61u, 2999u}) {
    std::vector<uint8_t> out;
    TLZH lzh;
    ASSERT_EQ(lzh.Unpack(stream, count, out), TLZH::TResult::Ok);
    EXPECT_EQ(out.size(), count);
    EXPECT_TRUE(std::equal(out.begin(), out.end(), input.begin()));
  }
}

TEST(LzhufPeer, TruncatedStreamFailsButReadAheadDoesNot) {
  std::vector<uint8_t> input = peers::PseudoRandomBytes(5000, 3);
  std::vector<uint8_t> stream = JavaEncode(input);
  std::vector<uint8_t> out;
  TLZH lzh;
  // The whole stream decodes although the decoder refills past its last byte.
  ASSERT_EQ(lzh.Unpack(stream, input.size(), out), TLZH::TResult::Ok);
  // A byte or two at the end may hold only padding: then the result must still be
  // the whole input. Larger cuts always lose bits that are needed.
  for (size_t cut : {1u, 2u, 16u, 1000u}) {
    std::vector<uint8_t> shorter(stream.begin(), stream.end() - static_cast<ptrdiff_t>(cut));
    TLZH::TResult r = lzh.Unpack(shorter, input.size(), out);
    if (cut <= 2 && r == TLZH::TResult::Ok) {
      EXPECT_TRUE(out == input) << cut;
    } else {
      EXPECT_EQ(r, TLZH::TResult::Truncated) << cut;
    }
  }
  // Asking for more than was encoded runs off the end too.
  EXPECT_EQ(lzh.Unpack(stream, input.size() + 100, out), TLZH::TResult::Truncated);
}

#endif  // _WIN32

}  // namespace
}  // namespace skin
