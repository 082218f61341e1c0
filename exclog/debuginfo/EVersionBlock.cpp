#include "exclog/debuginfo/EVersionBlock.h"

#include <vector>

namespace exclog {

namespace {

// One node of the wide layout: length, value length, type, a null-ended key, the
// value and the children, each part starting on a 4-byte boundary of the block.
struct TNode {
  size_t Begin = 0, End = 0;  // the node, within the block
  std::u16string Key;
  size_t Value = 0, ValueSize = 0;
  size_t Children = 0;  // first child; End when none
};

constexpr size_t KeyLimit = 64;
constexpr size_t Align4(size_t at) { return (at + 3) & ~size_t(3); }

uint16_t U16(std::string_view b, size_t at) { return uint16_t(uint8_t(b[at]) | uint8_t(b[at + 1]) << 8); }

uint32_t U32(std::string_view b, size_t at) { return uint32_t(U16(b, at)) | uint32_t(U16(b, at + 2)) << 16; }

// The node at `at`, which must end by `limit`.
std::optional<TNode> NodeAt(std::string_view b, size_t at, size_t limit) {
  if (at > limit || limit - at < 6) return std::nullopt;
  TNode node;
  node.Begin = at;
  size_t length = U16(b, at), valueLength = U16(b, at + 2), type = U16(b, at + 4);
  if (length < 6 || length > limit - at) return std::nullopt;
  node.End = at + length;
  size_t p = at + 6;
  for (;; p += 2) {
    if (node.End - p < 2 || node.Key.size() > KeyLimit) return std::nullopt;
    char16_t c = U16(b, p);
    if (c == 0) break;
    node.Key.push_back(c);
  }
  node.Value = std::min(Align4(p + 2), node.End);
  // A text value's length counts characters; some linkers write bytes instead,
  // so it is only bounded, never trusted.
  node.ValueSize = std::min(type == 1 ? valueLength * size_t(2) : valueLength, node.End - node.Value);
  node.Children = std::min(Align4(node.Value + node.ValueSize), node.End);
  return node;
}

bool SameKey(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c; };
  for (size_t i = 0; i < a.size(); ++i)
    if (lower(a[i]) != lower(b[i])) return false;
  return true;
}

// The child of `parent` named `key` (any first child when `key` is empty).
std::optional<TNode> Child(std::string_view b, const TNode& parent, std::u16string_view key) {
  for (size_t at = parent.Children; at < parent.End;) {
    auto node = NodeAt(b, at, parent.End);
    if (!node) return std::nullopt;
    if (key.empty() || SameKey(node->Key, key)) return node;
    at = Align4(node->End);
  }
  return std::nullopt;
}

std::optional<TNode> Root(std::string_view b) {
  auto root = NodeAt(b, 0, b.size());
  if (!root || !SameKey(root->Key, u"VS_VERSION_INFO")) return std::nullopt;
  return root;
}

std::u16string Hex4(uint16_t v) {
  static const char16_t digits[] = u"0123456789abcdef";
  std::u16string out;
  for (int shift = 12; shift >= 0; shift -= 4) out.push_back(digits[(v >> shift) & 15]);
  return out;
}

}  // namespace

std::optional<TFixedVersion> VersionFixedInfo(std::string_view block) {
  auto root = Root(block);
  if (!root || root->ValueSize < 52 || U32(block, root->Value) != 0xFEEF04BDu) return std::nullopt;
  TFixedVersion v;
  v.FileVersionMs = U32(block, root->Value + 8);
  v.FileVersionLs = U32(block, root->Value + 12);
  v.ProductVersionMs = U32(block, root->Value + 16);
  v.ProductVersionLs = U32(block, root->Value + 20);
  return v;
}

std::optional<std::u16string> VersionString(std::string_view block, std::u16string_view key) {
  auto root = Root(block);
  if (!root) return std::nullopt;
  auto vars = Child(block, *root, u"VarFileInfo");
  auto translation = vars ? Child(block, *vars, u"Translation") : std::nullopt;
  if (!translation || translation->ValueSize < 4) return std::nullopt;
  std::u16string tableName = Hex4(U16(block, translation->Value)) + Hex4(U16(block, translation->Value + 2));
  auto strings = Child(block, *root, u"StringFileInfo");
  auto table = strings ? Child(block, *strings, tableName) : std::nullopt;
  auto entry = table ? Child(block, *table, key) : std::nullopt;
  if (!entry) return std::nullopt;
  std::u16string text;
  for (size_t p = entry->Value; p + 2 <= entry->Value + entry->ValueSize; p += 2) {
    char16_t c = U16(block, p);
    if (c == 0) break;
    text.push_back(c);
  }
  return text;
}

}  // namespace exclog
