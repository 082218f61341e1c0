#pragma once
// LZHUF: LZSS over a 4 KiB ring with adaptive Huffman coding of literals and match
// lengths and a fixed code for the upper six bits of a match position (the LHA
// "-lh1-" method). TLzhufModel is the adaptive tree that coder and decoder must keep
// in step; TLZH decodes.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace skin {

inline constexpr int kLzhRingSize = 4096;   // N: positions are 12 bits
inline constexpr int kLzhMaxMatch = 60;     // F
inline constexpr int kLzhThreshold = 2;     // a match is longer than this
inline constexpr int kLzhSymbols = 314;     // N_CHAR: 256 literals + lengths 3..60
inline constexpr int kLzhTableSize = 627;   // T = 2 * N_CHAR - 1
inline constexpr int kLzhRoot = 626;        // R = T - 1
inline constexpr unsigned kLzhMaxFreq = 0x8000;
inline constexpr int kLzhRingStart = kLzhRingSize - kLzhMaxMatch;  // first write position
// Largest unpacked size we accept: far above any real skin, low enough that a hostile
// size field cannot make us reserve the address space.
inline constexpr uint32_t kLzhMaxUnpacked = 64u << 20;

// Fixed code of the upper six position bits: code (left-aligned in 8 bits) and length
// for each of the 64 values, and the reverse tables indexed by the next input byte.
struct TLzhPositionCode {
  std::array<uint8_t, 64> Code{};
  std::array<uint8_t, 64> Length{};
  std::array<uint8_t, 256> DecodeValue{};   // d_code
  std::array<uint8_t, 256> DecodeLength{};  // d_len
};
const TLzhPositionCode& LzhPositionCode();

// The adaptive Huffman tree over kLzhSymbols leaves. Nodes below kLzhTableSize are
// tree positions; a child value >= kLzhTableSize is leaf (value - kLzhTableSize).
class TLzhufModel {
 public:
  TLzhufModel();
  // Counts `symbol` (0..kLzhSymbols-1) and restores the sibling order, rebuilding the
  // tree first when the root frequency has reached kLzhMaxFreq.
  void Update(int symbol);
  int Child(int node) const { return son_[node]; }     // left child; right is +1
  int Parent(int node) const { return prnt_[node]; }   // also for leaves at T + symbol
  // Number of rebuilds so far (tests check that long inputs exercise them).
  int RebuildCount() const { return rebuilds_; }

 private:
  void Rebuild();
  std::array<uint16_t, kLzhTableSize + 1> freq_{};  // last slot: sentinel 0xFFFF
  std::array<int16_t, kLzhTableSize + kLzhSymbols> prnt_{};
  std::array<int16_t, kLzhTableSize> son_{};
  int rebuilds_ = 0;
};

// Decodes an LZHUF bit stream.
class TLZH {
 public:
  enum class TResult { Ok, TooLarge, Truncated };
  // Decodes exactly `count` bytes (at most kLzhMaxUnpacked) from `source` into `dest`
  // (replaced). Missing input past the end reads as zero bits, since the decoder reads
  // ahead; but a stream whose decoding consumes more bits than `source` holds is
  // Truncated (dest then holds what was decoded). Never reads outside `source`.
  TResult Unpack(std::span<const uint8_t> source, size_t count, std::vector<uint8_t>& dest);
  // Rebuilds of the adaptive tree during the last Unpack.
  int RebuildCount() const { return rebuilds_; }

 private:
  int rebuilds_ = 0;
};

}  // namespace skin
