#include "tools/skinpack/LzhufEncoder.h"

#include <algorithm>

#include "skin/container/Lzhuf.h"

namespace skinpack {

namespace {

using namespace skin;

class TBitWriter {
 public:
  void Put(uint32_t value, int count) {  // the low `count` bits, high first
    for (int i = count - 1; i >= 0; --i) {
      acc_ = static_cast<uint8_t>((acc_ << 1) | ((value >> i) & 1u));
      if (++fill_ == 8) {
        out_.push_back(acc_);
        acc_ = 0;
        fill_ = 0;
      }
    }
  }
  std::vector<uint8_t> Finish() {
    if (fill_ > 0) out_.push_back(static_cast<uint8_t>(acc_ << (8 - fill_)));
    fill_ = 0;
    return std::move(out_);
  }

 private:
  std::vector<uint8_t> out_;
  uint8_t acc_ = 0;
  int fill_ = 0;
};

void PutSymbol(TBitWriter& w, TLzhufModel& model, int symbol) {
  // Walk leaf to root; an odd place is the right child. Paths can pass 16 bits,
  // so collect them in an array rather than a machine word.
  uint8_t path[kLzhTableSize];
  int depth = 0;
  int k = model.Parent(symbol + kLzhTableSize);  // the leaf's place in the tree
  do {
    path[depth++] = static_cast<uint8_t>(k & 1);
    k = model.Parent(k);
  } while (k != kLzhRoot);
  // The first recorded bit belongs to the leaf's own position, the walk's last to
  // the root's child: emit root first.
  for (int i = depth - 1; i >= 0; --i) w.Put(path[i], 1);
  model.Update(symbol);
}

}  // namespace

std::vector<uint8_t> LzhufEncode(std::span<const uint8_t> data) {
  std::span<const uint8_t> hist = data;

  // Hash chains over 3-byte prefixes.
  constexpr int kHashBits = 15;
  constexpr int kChainLimit = 512;
  std::vector<int32_t> head(1u << kHashBits, -1);
  std::vector<int32_t> prev(hist.size(), -1);
  auto hashAt = [&](size_t i) {
    return ((hist[i] << 10) ^ (hist[i + 1] << 5) ^ hist[i + 2]) & ((1u << kHashBits) - 1);
  };
  auto insert = [&](size_t i) {
    if (i + 2 >= hist.size()) return;
    uint32_t h = hashAt(i);
    prev[i] = head[h];
    head[h] = static_cast<int32_t>(i);
  };
  // The initial spaces are never matched: some decoders (the Java LHA library) start
  // their ring with zeros, and data that never refers before its own start decodes
  // the same in all of them.

  const TLzhPositionCode& pc = LzhPositionCode();
  TLzhufModel model;
  TBitWriter w;
  size_t t = 0;
  while (t < hist.size()) {
    size_t limit = std::min<size_t>(kLzhMaxMatch, hist.size() - t);
    size_t bestLen = 0, bestSrc = 0;
    if (limit > kLzhThreshold) {
      int chain = 0;
      for (int32_t s = head[hashAt(t)]; s >= 0 && chain < kChainLimit; s = prev[s], ++chain) {
        size_t src = static_cast<size_t>(s);
        if (t - src > kLzhRingSize) break;  // chains run backwards: all further are too far
        size_t len = 0;
        // Overlapping copies read bytes the same match has just produced.
        while (len < limit && hist[src + len] == hist[t + len]) ++len;
        if (len > bestLen) {
          bestLen = len;
          bestSrc = src;
          if (len == limit) break;
        }
      }
    }
    if (bestLen > kLzhThreshold) {
      PutSymbol(w, model, static_cast<int>(bestLen) + 255 - kLzhThreshold);
      unsigned distance = static_cast<unsigned>(t - bestSrc - 1);  // 0..4095
      unsigned upper = distance >> 6;
      w.Put(pc.Code[upper] >> (8 - pc.Length[upper]), pc.Length[upper]);
      w.Put(distance & 63, 6);
      for (size_t k = 0; k < bestLen; ++k) insert(t + k);
      t += bestLen;
    } else {
      PutSymbol(w, model, hist[t]);
      insert(t);
      ++t;
    }
  }
  return w.Finish();
}

}  // namespace skinpack
