#include "exclog/core/EEncrypt.h"

#include <cstring>

namespace exclog {

namespace {

struct TCrc32Table {
  uint32_t Entries[256];
  TCrc32Table() {
    // The reflected polynomial from its exponents, so the constant is not magic.
    static const int exponents[] = {0, 1, 2, 4, 5, 7, 8, 10, 11, 12, 16, 22, 23, 26};
    uint32_t poly = 0;
    for (int e : exponents) poly |= 1u << (31 - e);
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ poly : c >> 1;
      Entries[i] = c;
    }
  }
};

struct TCrc16Table {
  uint16_t Entries[256];
  TCrc16Table() {
    for (uint32_t i = 0; i < 256; ++i) {
      uint16_t c = static_cast<uint16_t>(i << 8);
      for (int k = 0; k < 8; ++k) c = (c & 0x8000) ? static_cast<uint16_t>((c << 1) ^ 0x1021) : static_cast<uint16_t>(c << 1);
      Entries[i] = c;
    }
  }
};

constexpr uint32_t TeaDelta = 0x9E3779B9u;

uint32_t LoadBE(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}
void StoreBE(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v >> 24);
  p[1] = uint8_t(v >> 16);
  p[2] = uint8_t(v >> 8);
  p[3] = uint8_t(v);
}

// RFC 1321.
class TMd5 {
 public:
  void Update(const uint8_t* data, size_t length) {
    for (size_t i = 0; i < length; ++i) {
      buffer_[used_++] = data[i];
      if (used_ == 64) {
        Transform(buffer_);
        used_ = 0;
      }
    }
    bitCount_ += uint64_t(length) * 8;
  }
  TMd5Digest Final() {
    uint64_t bits = bitCount_;
    const uint8_t pad = 0x80;
    Update(&pad, 1);
    const uint8_t zero = 0;
    while (used_ != 56) Update(&zero, 1);
    uint8_t len[8];
    for (int i = 0; i < 8; ++i) len[i] = uint8_t(bits >> (8 * i));
    Update(len, 8);
    TMd5Digest out;
    for (int i = 0; i < 4; ++i)
      for (int b = 0; b < 4; ++b) out[size_t(i * 4 + b)] = uint8_t(state_[i] >> (8 * b));
    return out;
  }

 private:
  static uint32_t Rotl(uint32_t x, int c) { return (x << c) | (x >> (32 - c)); }
  void Transform(const uint8_t block[64]) {
    static const uint32_t K[64] = {
        0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
        0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
        0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
        0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
        0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
        0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
        0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
        0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};
    static const int S[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                              5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                              4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                              6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};
    uint32_t m[16];
    for (int i = 0; i < 16; ++i)
      m[i] = uint32_t(block[i * 4]) | (uint32_t(block[i * 4 + 1]) << 8) |
             (uint32_t(block[i * 4 + 2]) << 16) | (uint32_t(block[i * 4 + 3]) << 24);
    uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
    for (int i = 0; i < 64; ++i) {
      uint32_t f;
      int g;
      if (i < 16) {
        f = (b & c) | (~b & d);
        g = i;
      } else if (i < 32) {
        f = (d & b) | (~d & c);
        g = (5 * i + 1) % 16;
      } else if (i < 48) {
        f = b ^ c ^ d;
        g = (3 * i + 5) % 16;
      } else {
        f = c ^ (b | ~d);
        g = (7 * i) % 16;
      }
      uint32_t next = b + Rotl(a + f + K[i] + m[g], S[i]);
      a = d;
      d = c;
      c = b;
      b = next;
    }
    state_[0] += a;
    state_[1] += b;
    state_[2] += c;
    state_[3] += d;
  }

  uint32_t state_[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
  uint8_t buffer_[64] = {};
  size_t used_ = 0;
  uint64_t bitCount_ = 0;
};

}  // namespace

uint32_t Crc32(const void* bytes, size_t length) {
  if (!bytes) return 0;
  static const TCrc32Table table;
  const auto* p = static_cast<const uint8_t*>(bytes);
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < length; ++i) crc = table.Entries[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

uint16_t Crc16(std::string_view text) {
  static const TCrc16Table table;
  uint16_t crc = 0;
  for (unsigned char c : text)
    crc = static_cast<uint16_t>((crc << 8) ^ table.Entries[((crc >> 8) ^ c) & 0xFF]);
  return crc;
}

TMd5Digest Md5(const void* bytes, size_t length) {
  TMd5 md5;
  if (bytes) md5.Update(static_cast<const uint8_t*>(bytes), length);
  return md5.Final();
}

void TQLCipher::SetKey(std::string_view passPhrase) {
  passPhrase_.assign(passPhrase);
  TMd5Digest digest = Md5(passPhrase.data(), passPhrase.size());
  // Reading each digest word big-endian is the byte reversal of its stored order.
  for (int i = 0; i < 4; ++i) key_[size_t(i)] = LoadBE(&digest[size_t(i * 4)]);
}

void TQLCipher::Encrypt(uint32_t& y, uint32_t& z) const {
  uint32_t sum = 0;
  for (int round = 0; round < 32; ++round) {
    sum += TeaDelta;
    y += (z << 4) + (z ^ key_[0]) + ((z >> 5) ^ sum) + key_[1];
    z += (y << 4) + (key_[2] ^ y) + ((y >> 5) ^ sum) + key_[3];
  }
}

void TQLCipher::Decrypt(uint32_t& y, uint32_t& z) const {
  uint32_t sum = 0xC6EF3720u;
  for (int round = 0; round < 32; ++round) {
    z -= (y << 4) + (key_[2] ^ y) + ((y >> 5) ^ sum) + key_[3];
    y -= (z << 4) + (z ^ key_[0]) + ((z >> 5) ^ sum) + key_[1];
    sum -= TeaDelta;
  }
}

void TQLCipher::EncryptBytes(uint8_t block[8]) const {
  uint32_t y = LoadBE(block), z = LoadBE(block + 4);
  Encrypt(y, z);
  StoreBE(block, y);
  StoreBE(block + 4, z);
}

void TQLCipher::DecryptBytes(uint8_t block[8]) const {
  uint32_t y = LoadBE(block), z = LoadBE(block + 4);
  Decrypt(y, z);
  StoreBE(block, y);
  StoreBE(block + 4, z);
}

void TQLCipher::EncryptBuffer(uint8_t* data, size_t length) const {
  uint8_t chain[8];
  std::memset(chain, 0xFF, sizeof chain);
  size_t full = length / 8 * 8;
  for (size_t i = 0; i < full; i += 8) {
    for (int k = 0; k < 8; ++k) data[i + size_t(k)] ^= chain[k];
    EncryptBytes(data + i);
    std::memcpy(chain, data + i, 8);
  }
  if (length > full) {
    EncryptBytes(chain);
    for (size_t i = full; i < length; ++i) data[i] ^= chain[i - full];
  }
}

void TQLCipher::DecryptBuffer(uint8_t* data, size_t length) const {
  uint8_t chain[8];
  std::memset(chain, 0xFF, sizeof chain);
  size_t full = length / 8 * 8;
  for (size_t i = 0; i < full; i += 8) {
    uint8_t kept[8];
    std::memcpy(kept, data + i, 8);
    DecryptBytes(data + i);
    for (int k = 0; k < 8; ++k) data[i + size_t(k)] ^= chain[k];
    std::memcpy(chain, kept, 8);
  }
  if (length > full) {
    EncryptBytes(chain);
    for (size_t i = full; i < length; ++i) data[i] ^= chain[i - full];
  }
}

}  // namespace exclog
