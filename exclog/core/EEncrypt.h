#pragma once
// Checksums, MD5 and the block cipher of the module logger data. Pure code: the
// data writer (tools/qldata) enciphers with the same routines the reader deciphers
// with.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace exclog {

// Standard CRC-32 (reflected EDB88320, initial all ones, result complemented).
// A null buffer gives 0.
uint32_t Crc32(const void* bytes, size_t length);

// CRC-16, polynomial 1021 MSB first, initial 0, no final XOR (XMODEM). "" gives 0.
uint16_t Crc16(std::string_view text);

using TMd5Digest = std::array<uint8_t, 16>;

// MD5 (RFC 1321) of `length` bytes; a null buffer hashes as empty.
TMd5Digest Md5(const void* bytes, size_t length);

// The TEA-family cipher on 64-bit big-endian blocks with a 128-bit key, chained
// with a tail mode so any length keeps its size. Each object holds its own key and
// the pass phrase that made it; copyable, no resources.
class TQLCipher {
 public:
  TQLCipher() { SetKey(""); }
  explicit TQLCipher(std::string_view passPhrase) { SetKey(passPhrase); }

  // Key = MD5 of the pass phrase, each of its four 32-bit words byte-reversed.
  void SetKey(std::string_view passPhrase);
  const std::string& PassPhrase() const { return passPhrase_; }

  // One block as two words (already in the cipher's word order).
  void Encrypt(uint32_t& y, uint32_t& z) const;
  void Decrypt(uint32_t& y, uint32_t& z) const;

  // In place, `length` bytes: chaining register starts as eight FF bytes; full
  // blocks are chained (CBC), the last length mod 8 bytes are XOR-ed with the
  // enciphered register. EncryptBuffer is the exact inverse of DecryptBuffer.
  void EncryptBuffer(uint8_t* data, size_t length) const;
  void DecryptBuffer(uint8_t* data, size_t length) const;

  const std::array<uint32_t, 4>& Key() const { return key_; }

 private:
  void EncryptBytes(uint8_t block[8]) const;
  void DecryptBytes(uint8_t block[8]) const;

  std::array<uint32_t, 4> key_{};
  std::string passPhrase_;
};

}  // namespace exclog
