#include "exclog/core/EEncrypt.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#ifndef _WIN32
#include "tests/peers/PeerTools.h"
#endif

namespace exclog {
namespace {

std::string Hex(const uint8_t* p, size_t n) {
  std::string out;
  char buf[3];
  for (size_t i = 0; i < n; ++i) {
    std::snprintf(buf, sizeof buf, "%02x", p[i]);
    out += buf;
  }
  return out;
}

std::vector<uint8_t> Bytes256x3() {
  std::vector<uint8_t> v;
  for (int r = 0; r < 3; ++r)
    for (int i = 0; i < 256; ++i) v.push_back(uint8_t(i));
  return v;
}

// Golden values: Python's binascii.crc32, binascii.crc_hqx(s, 0) and hashlib.md5.
TEST(EEncryptChecksums, MatchPythonPeers) {
  const std::string fox = "The quick brown fox jumps over the lazy dog";
  auto big = Bytes256x3();
  EXPECT_EQ(Crc32("", 0), 0u);
  EXPECT_EQ(Crc32("abc", 3), 0x352441C2u);
  EXPECT_EQ(Crc32(fox.data(), fox.size()), 0x414FA339u);
  EXPECT_EQ(Crc32(big.data(), big.size()), 0xB0C0DF2Au);
  EXPECT_EQ(Crc32(nullptr, 10), 0u);

  EXPECT_EQ(Crc16(""), 0);
  EXPECT_EQ(Crc16("abc"), 0x9DD6);
  EXPECT_EQ(Crc16(fox), 0xF0C8);
  EXPECT_EQ(Crc16(std::string(big.begin(), big.end())), 0x8163);

  auto md5 = [](const void* p, size_t n) {
    TMd5Digest d = Md5(p, n);
    return Hex(d.data(), d.size());
  };
  EXPECT_EQ(md5("", 0), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(md5("abc", 3), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(md5(fox.data(), fox.size()), "9e107d9d372bb6826bd81d3542a419d6");
  EXPECT_EQ(md5(big.data(), big.size()), "e6899eaaf06fd702f3ed3f988eb19362");
}

// Every length class: empty, tail only, whole blocks, blocks plus tail.
TEST(EEncryptCipher, BufferRoundTripKeepsLengthAndChangesBytes) {
  TQLCipher cipher("Velmora pass");
  for (size_t length : {0u, 1u, 4u, 7u, 8u, 9u, 16u, 23u, 64u}) {
    std::vector<uint8_t> plain(length);
    for (size_t i = 0; i < length; ++i) plain[i] = uint8_t(i * 37 + 5);
    auto data = plain;
    cipher.EncryptBuffer(data.data(), data.size());
    if (length > 0) {
      EXPECT_NE(data, plain) << length;
    }
    cipher.DecryptBuffer(data.data(), data.size());
    EXPECT_EQ(data, plain) << length;
  }
  uint32_t y = 0x01234567, z = 0x89ABCDEF;
  cipher.Encrypt(y, z);
  cipher.Decrypt(y, z);
  EXPECT_EQ(y, 0x01234567u);
  EXPECT_EQ(z, 0x89ABCDEFu);
}

TEST(EEncryptCipher, KeyIsByteReversedMd5Words) {
  // MD5("abc") = 90015098 3cd24fb0 d6963f7d 28e17f72 read as big-endian words.
  TQLCipher cipher("abc");
  EXPECT_EQ(cipher.Key()[0], 0x90015098u);
  EXPECT_EQ(cipher.Key()[1], 0x3cd24fb0u);
  EXPECT_EQ(cipher.Key()[2], 0xd6963f7du);
  EXPECT_EQ(cipher.Key()[3], 0x28e17f72u);
  EXPECT_EQ(cipher.PassPhrase(), "abc");
}

#ifndef _WIN32
// Both directions against tests/peers/qlcipher_ref.py, written from the format alone.
TEST(EEncryptCipher, MatchesIndependentReference) {
  for (const std::string phrase : {"", "secret", "Velmora pass phrase"}) {
    TQLCipher cipher(phrase);
    for (size_t length : {3u, 8u, 21u}) {
      auto plain = peers::PseudoRandomBytes(length, uint32_t(length * 7 + phrase.size()));
      auto enciphered = plain;
      cipher.EncryptBuffer(enciphered.data(), enciphered.size());
      auto ref = peers::Run("/usr/bin/python3 " + peers::Quote(peers::PeerScript("qlcipher_ref.py")) +
                            " enc " + peers::Quote(phrase) + " " + Hex(plain.data(), plain.size()));
      ASSERT_EQ(ref.ExitCode, 0) << ref.Output;
      EXPECT_EQ(Hex(enciphered.data(), enciphered.size()) + "\n", ref.Output) << phrase << " " << length;

      auto back = peers::Run("/usr/bin/python3 " + peers::Quote(peers::PeerScript("qlcipher_ref.py")) +
                             " dec " + peers::Quote(phrase) + " " + Hex(enciphered.data(), enciphered.size()));
      ASSERT_EQ(back.ExitCode, 0) << back.Output;
      EXPECT_EQ(back.Output, Hex(plain.data(), plain.size()) + "\n");
      auto mine = enciphered;
      cipher.DecryptBuffer(mine.data(), mine.size());
      EXPECT_EQ(mine, plain);
    }
  }
}
#endif

}  // namespace
}  // namespace exclog
