#include "skin/container/Lzhuf.h"

#include <algorithm>
#include <cstring>

namespace skin {

namespace {

TLzhPositionCode BuildPositionCode() {
  // Canonical code: how many of the 64 values get each length, 3 to 8 bits.
  static constexpr int kCountByLength[9] = {0, 0, 0, 1, 3, 8, 12, 24, 16};
  TLzhPositionCode t;
  unsigned code = 0;
  int value = 0;
  for (int len = 3; len <= 8; ++len) {
    for (int i = 0; i < kCountByLength[len]; ++i, ++value, ++code) {
      t.Code[value] = static_cast<uint8_t>(code << (8 - len));
      t.Length[value] = static_cast<uint8_t>(len);
      // Every byte that starts with this code decodes to it.
      int first = code << (8 - len), span = 1 << (8 - len);
      for (int b = first; b < first + span; ++b) {
        t.DecodeValue[b] = static_cast<uint8_t>(value);
        t.DecodeLength[b] = static_cast<uint8_t>(len);
      }
    }
    code <<= 1;
  }
  return t;
}

// Bits most significant first, refilled a byte at a time while 8 or fewer remain;
// counts what was consumed so a short stream can be told from a complete one.
class TBitReader {
 public:
  explicit TBitReader(std::span<const uint8_t> src) : src_(src) {}
  unsigned Bit() {
    Fill();
    unsigned bit = (buf_ >> 15) & 1u;
    buf_ = static_cast<uint16_t>(buf_ << 1);
    --len_;
    ++consumed_;
    return bit;
  }
  unsigned Byte() {
    Fill();
    unsigned byte = buf_ >> 8;
    buf_ = static_cast<uint16_t>(buf_ << 8);
    len_ -= 8;
    consumed_ += 8;
    return byte;
  }
  bool Overrun() const { return consumed_ > uint64_t{src_.size()} * 8; }

 private:
  void Fill() {
    while (len_ <= 8) {
      unsigned next = pos_ < src_.size() ? src_[pos_] : 0u;
      ++pos_;
      buf_ = static_cast<uint16_t>(buf_ | (next << (8 - len_)));
      len_ += 8;
    }
  }
  std::span<const uint8_t> src_;
  size_t pos_ = 0;
  uint16_t buf_ = 0;
  int len_ = 0;
  uint64_t consumed_ = 0;
};

}  // namespace

const TLzhPositionCode& LzhPositionCode() {
  static const TLzhPositionCode table = BuildPositionCode();
  return table;
}

TLzhufModel::TLzhufModel() {
  for (int c = 0; c < kLzhSymbols; ++c) {
    freq_[c] = 1;
    son_[c] = static_cast<int16_t>(c + kLzhTableSize);
    prnt_[c + kLzhTableSize] = static_cast<int16_t>(c);
  }
  for (int i = 0, j = kLzhSymbols; j <= kLzhRoot; i += 2, ++j) {
    freq_[j] = static_cast<uint16_t>(freq_[i] + freq_[i + 1]);
    son_[j] = static_cast<int16_t>(i);
    prnt_[i] = prnt_[i + 1] = static_cast<int16_t>(j);
  }
  freq_[kLzhTableSize] = 0xFFFF;
  prnt_[kLzhRoot] = 0;
}

void TLzhufModel::Rebuild() {
  ++rebuilds_;
  // Leaves to the front, counts halved rounding up.
  int j = 0;
  for (int i = 0; i < kLzhTableSize; ++i) {
    if (son_[i] >= kLzhTableSize) {
      freq_[j] = static_cast<uint16_t>((freq_[i] + 1) / 2);
      son_[j] = son_[i];
      ++j;
    }
  }
  // Internal nodes by pairwise sums, each inserted after the nodes of equal count.
  for (int i = 0, n = kLzhSymbols; n < kLzhTableSize; i += 2, ++n) {
    unsigned f = unsigned{freq_[i]} + freq_[i + 1];
    int k = n - 1;
    while (k >= 0 && f < freq_[k]) --k;
    ++k;
    std::memmove(&freq_[k + 1], &freq_[k], sizeof(freq_[0]) * (n - k));
    std::memmove(&son_[k + 1], &son_[k], sizeof(son_[0]) * (n - k));
    freq_[k] = static_cast<uint16_t>(f);
    son_[k] = static_cast<int16_t>(i);
  }
  for (int i = 0; i < kLzhTableSize; ++i) {
    int k = son_[i];
    if (k >= kLzhTableSize) {
      prnt_[k] = static_cast<int16_t>(i);
    } else {
      prnt_[k] = prnt_[k + 1] = static_cast<int16_t>(i);
    }
  }
}

void TLzhufModel::Update(int symbol) {
  if (freq_[kLzhRoot] >= kLzhMaxFreq) Rebuild();
  int c = prnt_[symbol + kLzhTableSize];
  do {
    unsigned k = ++freq_[c];
    // Order broken: swap c with the last node of a smaller count.
    if (k > freq_[c + 1]) {
      int l = c + 1;
      while (k > freq_[l + 1]) ++l;  // the sentinel stops this
      freq_[c] = freq_[l];
      freq_[l] = static_cast<uint16_t>(k);

      int i = son_[c];
      prnt_[i] = static_cast<int16_t>(l);
      if (i < kLzhTableSize) prnt_[i + 1] = static_cast<int16_t>(l);
      int j = son_[l];
      son_[l] = static_cast<int16_t>(i);
      prnt_[j] = static_cast<int16_t>(c);
      if (j < kLzhTableSize) prnt_[j + 1] = static_cast<int16_t>(c);
      son_[c] = static_cast<int16_t>(j);
      c = l;
    }
    c = prnt_[c];
  } while (c != 0);
}

TLZH::TResult TLZH::Unpack(std::span<const uint8_t> source, size_t count,
                           std::vector<uint8_t>& dest) {
  dest.clear();
  rebuilds_ = 0;
  if (count > kLzhMaxUnpacked) return TResult::TooLarge;
  // A symbol takes at least one bit and a match at most 60 bytes for 10 bits, so
  // the input bounds the output: reserve no more than it could give, and a tiny
  // stream with a huge declared size costs no memory up front.
  dest.reserve(std::min<size_t>(count, (source.size() + 2) * 48 + kLzhMaxMatch));

  const TLzhPositionCode& pos = LzhPositionCode();
  TLzhufModel model;
  TBitReader bits(source);
  // The whole ring starts as spaces, so a reference to any position before the
  // start is well defined.
  std::array<uint8_t, kLzhRingSize> ring;
  ring.fill(' ');
  unsigned r = kLzhRingStart;

  while (dest.size() < count) {
    int node = model.Child(kLzhRoot);
    while (node < kLzhTableSize) node = model.Child(node + static_cast<int>(bits.Bit()));
    int symbol = node - kLzhTableSize;
    model.Update(symbol);

    if (symbol < 256) {
      dest.push_back(static_cast<uint8_t>(symbol));
      ring[r] = static_cast<uint8_t>(symbol);
      r = (r + 1) & (kLzhRingSize - 1);
    } else {
      unsigned i = bits.Byte();
      unsigned upper = unsigned{pos.DecodeValue[i]} << 6;
      for (int extra = pos.DecodeLength[i] - 2; extra > 0; --extra) i = (i << 1) | bits.Bit();
      unsigned distance = upper | (i & 63);
      unsigned from = (r - distance - 1) & (kLzhRingSize - 1);
      int length = symbol - 255 + kLzhThreshold;
      // Stop at exactly `count`, even inside a match.
      for (int k = 0; k < length && dest.size() < count; ++k) {
        uint8_t b = ring[(from + k) & (kLzhRingSize - 1)];
        dest.push_back(b);
        ring[r] = b;
        r = (r + 1) & (kLzhRingSize - 1);
      }
    }
    if (bits.Overrun()) {
      rebuilds_ = model.RebuildCount();
      return TResult::Truncated;
    }
  }
  rebuilds_ = model.RebuildCount();
  return TResult::Ok;
}

}  // namespace skin
