#include "skin/container/SkinReader.h"

#include <algorithm>

#include "skin/container/Lzhuf.h"
#include "skin/container/SkinMessage.h"

namespace skin {

namespace {

uint32_t ReadU32(std::span<const uint8_t> b, size_t at) {
  return uint32_t{b[at]} | (uint32_t{b[at + 1]} << 8) | (uint32_t{b[at + 2]} << 16) |
         (uint32_t{b[at + 3]} << 24);
}

std::string LowerAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

constexpr size_t kHeaderSize = 16;

}  // namespace

int SkinExtraBlockSize(uint32_t version) {
  switch (version) {
    case 20000: return 0;
    case 30000: return 256;
    case 40000: return 80;
    case 50000: return 48;
    case 60000: return 117;
    case 70000: return 69;
    default: return -1;
  }
}

std::vector<std::string> SplitSkinLines(std::string_view text) {
  std::vector<std::string> lines;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = text.size();
    lines.emplace_back(text.substr(pos, end - pos));
    pos = end;
    if (pos < text.size())
      pos += (text[pos] == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n') ? 2 : 1;
  }
  return lines;
}

const char* SkinLoadFailureText(TSkinLoadFailure failure) {
  switch (failure) {
    case TSkinLoadFailure::None: return "no error";
    case TSkinLoadFailure::TooShort: return "too short for its size field";
    case TSkinLoadFailure::TooLarge: return "the declared unpacked size is above the limit";
    case TSkinLoadFailure::Truncated: return "the compressed stream is truncated";
    case TSkinLoadFailure::UnknownVersion: return "unknown version";
    case TSkinLoadFailure::HeaderPastImage: return "the header runs past the unpacked image";
    case TSkinLoadFailure::NamesPastImage: return "the names run past the unpacked image";
    case TSkinLoadFailure::SizesPastImage: return "the sizes table runs past the unpacked image";
    case TSkinLoadFailure::DataPastImage: return "the entry sizes run past the unpacked image";
  }
  return "unknown failure";
}

bool TSkinReader::Fail(TSkinLoadFailure failure) {
  Clear();
  failure_ = failure;
  return false;
}

void TSkinReader::Clear() {
  version_ = namesLength_ = reserved1_ = reserved2_ = 0;
  names_.clear();
  sizes_.clear();
  offsets_.clear();
  data_.clear();
}

bool TSkinReader::LoadFromBytes(std::span<const uint8_t> container) {
  Clear();
  rebuilds_ = 0;
  failure_ = TSkinLoadFailure::None;
  imageVersion_ = 0;
  if (container.size() < 4) return Fail(TSkinLoadFailure::TooShort);
  uint32_t unpacked = ReadU32(container, 0);
  std::vector<uint8_t> image;
  TLZH lzh;
  TLZH::TResult result = lzh.Unpack(container.subspan(4), unpacked, image);
  rebuilds_ = lzh.RebuildCount();
  if (result == TLZH::TResult::TooLarge) return Fail(TSkinLoadFailure::TooLarge);
  if (result != TLZH::TResult::Ok) return Fail(TSkinLoadFailure::Truncated);
  TSkinLoadFailure failure = Parse(image);
  if (failure != TSkinLoadFailure::None) return Fail(failure);
  return true;
}

bool TSkinReader::LoadFromStream(TStream& source) {
  source.SetPosition(0);
  int64_t size = source.Size();
  if (size < 0 || size > kMaxContainerBytes) {
    imageVersion_ = 0;
    return Fail(TSkinLoadFailure::TooLarge);
  }
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  // Read may come back short (a stream shorter than it said): use what arrived.
  size_t got = 0;
  while (got < bytes.size()) {
    int32_t n = source.Read(bytes.data() + got, static_cast<int32_t>(bytes.size() - got));
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  bytes.resize(got);
  return LoadFromBytes(bytes);
}

TSkinLoadFailure TSkinReader::Parse(std::span<const uint8_t> image) {
  if (image.size() < kHeaderSize) return TSkinLoadFailure::HeaderPastImage;
  uint32_t version = ReadU32(image, 0);
  imageVersion_ = version;
  int extra = SkinExtraBlockSize(version);
  if (extra < 0) {
    ShowSkinMessage(kOlderSkinMessage);
    return TSkinLoadFailure::UnknownVersion;
  }
  version_ = version;
  namesLength_ = ReadU32(image, 4);
  reserved1_ = ReadU32(image, 8);
  reserved2_ = ReadU32(image, 12);

  // Sums in 64 bits: no field may wrap past the image's end.
  uint64_t namesAt = kHeaderSize + static_cast<uint64_t>(extra);
  uint64_t sizesAt = namesAt + namesLength_;
  if (namesAt > image.size()) return TSkinLoadFailure::HeaderPastImage;
  if (sizesAt > image.size()) return TSkinLoadFailure::NamesPastImage;
  std::string_view namesText(reinterpret_cast<const char*>(image.data() + namesAt), namesLength_);
  std::vector<std::string> names = SplitSkinLines(LowerAscii(namesText));

  uint64_t dataAt = sizesAt + 4ull * names.size();
  if (dataAt > image.size()) return TSkinLoadFailure::SizesPastImage;
  uint64_t dataLength = image.size() - dataAt;
  std::vector<uint32_t> sizes(names.size());
  std::vector<uint64_t> offsets(names.size());
  uint64_t total = 0;
  for (size_t i = 0; i < names.size(); ++i) {
    sizes[i] = ReadU32(image, static_cast<size_t>(sizesAt + 4 * i));
    offsets[i] = total;
    total += sizes[i];
  }
  if (total > dataLength) return TSkinLoadFailure::DataPastImage;

  names_ = std::move(names);
  sizes_ = std::move(sizes);
  offsets_ = std::move(offsets);
  data_.assign(image.begin() + static_cast<ptrdiff_t>(dataAt), image.end());
  return TSkinLoadFailure::None;
}

void TSkinReader::CopyEntry(size_t index, std::vector<uint8_t>& dest) const {
  auto first = data_.begin() + static_cast<ptrdiff_t>(offsets_[index]);
  dest.assign(first, first + sizes_[index]);
}

bool TSkinReader::FindEntry(std::string_view name, std::vector<uint8_t>& dest) const {
  dest.clear();
  std::string wanted = LowerAscii(name);
  for (size_t i = 0; i < names_.size(); ++i) {
    if (names_[i] == wanted) {
      CopyEntry(i, dest);
      return true;
    }
  }
  return false;
}

bool TSkinReader::FindFirst(std::string_view pattern, std::vector<uint8_t>& dest,
                            std::string& foundName) const {
  dest.clear();
  for (size_t i = 0; i < names_.size(); ++i) {
    if (names_[i].find(pattern) != std::string::npos) {
      CopyEntry(i, dest);
      foundName = names_[i];
      return true;
    }
  }
  return false;
}

namespace {
void FillStream(const std::vector<uint8_t>& bytes, TMemoryStream& dest) {
  dest.Clear();
  if (!bytes.empty()) dest.WriteBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
  dest.SetPosition(0);
}
}  // namespace

bool TSkinReader::FindEntry(std::string_view name, TMemoryStream& dest) const {
  std::vector<uint8_t> bytes;
  bool found = FindEntry(name, bytes);
  FillStream(bytes, dest);
  return found;
}

bool TSkinReader::FindFirst(std::string_view pattern, TMemoryStream& dest,
                            std::string& foundName) const {
  std::vector<uint8_t> bytes;
  bool found = FindFirst(pattern, bytes, foundName);
  FillStream(bytes, dest);
  return found;
}

}  // namespace skin
