#include "exclog/core/EOctree.h"

#include <array>

namespace exclog {
namespace {

constexpr int MaxLeaves = 256;
constexpr int LeafLevel = 8;
constexpr int32_t None = -1;

struct TNode {
  uint64_t Count = 0;
  uint64_t Red = 0, Green = 0, Blue = 0;  // 64-bit: a large image overflows 32
  int32_t NextReducible = None;
  std::array<int32_t, 8> Children{None, None, None, None, None, None, None, None};
  bool Leaf = false;
};

// Child index at `level`: bit 7 - level of red, green and blue, weighted 4, 2, 1.
inline int ChildIndex(uint32_t pixel, int level) {
  int shift = 7 - level;
  return static_cast<int>(((pixel >> (16 + shift)) & 1) << 2 | ((pixel >> (8 + shift)) & 1) << 1 |
                          ((pixel >> shift) & 1));
}

class TOctree {
 public:
  TOctree() {
    nodes_.reserve(4096);
    root_ = NewNode(0);
  }

  // The leaf the pixel was added to.
  int32_t Add(uint32_t pixel) {
    int32_t node = root_;
    for (int level = 0; !nodes_[node].Leaf; ++level) {
      int child = ChildIndex(pixel, level);
      int32_t next = nodes_[node].Children[child];
      if (next == None) {
        next = NewNode(level + 1);
        nodes_[node].Children[child] = next;
      }
      node = next;
    }
    AddAgain(node, pixel);
    return node;
  }

  // Adds `count` more of the pixel to the leaf it reached last time.
  void AddAgain(int32_t leaf, uint32_t pixel, uint64_t count = 1) {
    TNode& n = nodes_[leaf];
    n.Count += count;
    n.Red += ((pixel >> 16) & 0xFF) * count;
    n.Green += ((pixel >> 8) & 0xFF) * count;
    n.Blue += (pixel & 0xFF) * count;
  }

  // Folds nodes until at most MaxLeaves leaves are left. True when anything changed.
  bool Reduce() {
    bool changed = false;
    while (leafCount_ > MaxLeaves) {
      int level = LeafLevel - 1;
      while (level > 0 && reducible_[level] == None) --level;
      if (level == 0) break;  // the root stays: it has at most 8 leaves below
      int32_t node = reducible_[level];
      reducible_[level] = nodes_[node].NextReducible;
      int children = 0;
      for (int32_t& child : nodes_[node].Children) {
        if (child == None) continue;
        TNode& c = nodes_[child];
        nodes_[node].Count += c.Count;
        nodes_[node].Red += c.Red;
        nodes_[node].Green += c.Green;
        nodes_[node].Blue += c.Blue;
        free_.push_back(child);
        child = None;
        ++children;
      }
      nodes_[node].Leaf = true;
      leafCount_ -= children - 1;
      changed = true;
    }
    return changed;
  }

  // Numbers the leaves in tree order and lists their mean colours.
  std::vector<uint32_t> Palette() {
    std::vector<uint32_t> palette;
    indexOf_.assign(nodes_.size(), 0);
    Number(root_, palette);
    return palette;
  }

  uint8_t IndexOf(uint32_t pixel) const {
    int32_t node = root_;
    for (int level = 0; !nodes_[node].Leaf; ++level) node = nodes_[node].Children[ChildIndex(pixel, level)];
    return indexOf_[node];
  }

 private:
  int32_t NewNode(int level) {
    int32_t index;
    if (!free_.empty()) {
      index = free_.back();
      free_.pop_back();
      nodes_[index] = TNode();
    } else {
      index = static_cast<int32_t>(nodes_.size());
      nodes_.emplace_back();
    }
    if (level == LeafLevel) {
      nodes_[index].Leaf = true;
      ++leafCount_;
    } else {
      nodes_[index].NextReducible = reducible_[level];
      reducible_[level] = index;
    }
    return index;
  }

  void Number(int32_t node, std::vector<uint32_t>& palette) {
    const TNode& n = nodes_[node];
    if (n.Leaf) {
      if (n.Count == 0) return;
      indexOf_[node] = static_cast<uint8_t>(palette.size());
      auto mean = [&](uint64_t sum) { return static_cast<uint32_t>((sum + n.Count / 2) / n.Count); };
      palette.push_back(PixelFromRGB(static_cast<uint8_t>(mean(n.Red)), static_cast<uint8_t>(mean(n.Green)),
                                     static_cast<uint8_t>(mean(n.Blue))));
      return;
    }
    for (int32_t child : n.Children)
      if (child != None) Number(child, palette);
  }

  std::vector<TNode> nodes_;
  std::vector<int32_t> free_;
  std::vector<uint8_t> indexOf_;
  std::array<int32_t, LeafLevel> reducible_{None, None, None, None, None, None, None, None};
  int32_t root_ = None;
  int leafCount_ = 0;
};

}  // namespace

TPaletteImage QuantiseOctree(const TPixelBuffer& image) {
  TPaletteImage out;
  if (image.Empty()) return out;
  TOctree tree;
  // Screens hold long runs of one colour: a run is added at once. Inside a run no
  // leaf is made, so nothing folds there: the tree ends as adding one pixel at a
  // time would leave it.
  const uint32_t* pixels = image.Pixels.data();
  const size_t total = image.Pixels.size();
  for (size_t i = 0; i < total;) {
    const uint32_t p = pixels[i] & 0xFFFFFF;
    size_t end = i + 1;
    while (end < total && (pixels[end] & 0xFFFFFF) == p) ++end;
    int32_t leaf = tree.Add(p);
    uint64_t rest = end - i - 1;
    // A fold may have merged the leaf into its parent: the next pixel walks down
    // to where it is now.
    if (tree.Reduce() && rest > 0) {
      leaf = tree.Add(p);
      --rest;
    }
    if (rest > 0) tree.AddAgain(leaf, p, rest);
    i = end;
  }
  uint32_t last = 0;
  int32_t lastLeaf = None;
  out.Width = image.Width;
  out.Height = image.Height;
  out.Palette = tree.Palette();
  out.Indices.resize(image.Pixels.size());
  lastLeaf = None;
  uint8_t lastIndex = 0;
  for (size_t i = 0; i < image.Pixels.size(); ++i) {
    uint32_t p = image.Pixels[i] & 0xFFFFFF;
    if (p != last || lastLeaf == None) {
      lastIndex = tree.IndexOf(p);
      last = p;
      lastLeaf = 0;
    }
    out.Indices[i] = lastIndex;
  }
  return out;
}

}  // namespace exclog
