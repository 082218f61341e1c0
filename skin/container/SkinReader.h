#pragma once
// Reads a skin container: a 32-bit unpacked size, then an LZHUF stream whose
// unpacked image holds a version, the entry names, their sizes and their bytes.
// Hands out entries by name. Pure code: no window is touched; the one message a
// load can show goes through SkinMessage.h.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "classlib/Streams.h"

namespace skin {

// The versions a container may carry, and the size of the extra block each one
// has between the 16-byte header and the names. -1 for an unknown version.
int SkinExtraBlockSize(uint32_t version);

// Why the last load failed, for tools that tell a user; the load's result is the
// same boolean whatever the reason.
enum class TSkinLoadFailure {
  None,
  TooShort,        // fewer than the 4 bytes of the unpacked-size field
  TooLarge,        // the declared unpacked size (or the stream) is above the limit
  Truncated,       // the compressed stream ends before the declared size is unpacked
  UnknownVersion,  // the image's version is none of the known ones
  HeaderPastImage, // the unpacked image is shorter than its header and extra block
  NamesPastImage,  // the names block runs past the unpacked image
  SizesPastImage,  // the sizes table runs past the unpacked image
  DataPastImage,   // the entries' sizes add up to more than the image holds
};
// A short English text ("the compressed stream is truncated").
const char* SkinLoadFailureText(TSkinLoadFailure failure);

class TSkinReader {
 public:
  // Replaces the contents with the container in `container`. Returns false (and
  // keeps no entries) when the stream is truncated, the unpacked size is above
  // kLzhMaxUnpacked, the version is unknown (after showing the "older skin"
  // message) or the names, sizes and data do not fit the unpacked image. Bytes
  // after the last entry are allowed. Never reads outside `container`.
  bool LoadFromBytes(std::span<const uint8_t> container);
  // LoadFromBytes over all of `source`, read from position 0. A stream larger than
  // kMaxContainerBytes is refused.
  bool LoadFromStream(TStream& source);
  static constexpr int64_t kMaxContainerBytes = int64_t{128} << 20;

  // Replaces `dest` with the bytes of the entry whose name equals `name` after both
  // are lower-cased; `dest` is empty when there is none. Returns whether found.
  bool FindEntry(std::string_view name, std::vector<uint8_t>& dest) const;
  // Like FindEntry for the first entry, in container order, whose name contains
  // `pattern` (compared against the lower-cased names); sets `foundName` only then.
  bool FindFirst(std::string_view pattern, std::vector<uint8_t>& dest,
                 std::string& foundName) const;

  // The same into a memory stream: cleared, filled, rewound to position 0.
  bool FindEntry(std::string_view name, TMemoryStream& dest) const;
  bool FindFirst(std::string_view pattern, TMemoryStream& dest, std::string& foundName) const;

  TSkinLoadFailure Failure() const { return failure_; }
  // The version field of the last image read, also when it was unknown.
  uint32_t ImageVersion() const { return imageVersion_; }
  uint32_t Version() const { return version_; }
  uint32_t NamesLength() const { return namesLength_; }
  uint32_t Reserved1() const { return reserved1_; }
  uint32_t Reserved2() const { return reserved2_; }
  const std::vector<std::string>& Names() const { return names_; }  // lower-cased
  const std::vector<uint32_t>& Sizes() const { return sizes_; }
  // Rebuilds of the decoder's adaptive tree during the last load.
  int RebuildCount() const { return rebuilds_; }

 private:
  void Clear();
  TSkinLoadFailure Parse(std::span<const uint8_t> image);
  bool Fail(TSkinLoadFailure failure);
  void CopyEntry(size_t index, std::vector<uint8_t>& dest) const;

  uint32_t version_ = 0;
  uint32_t namesLength_ = 0;
  uint32_t reserved1_ = 0;
  uint32_t reserved2_ = 0;
  std::vector<std::string> names_;
  std::vector<uint32_t> sizes_;
  std::vector<uint64_t> offsets_;  // into data_, one per entry
  std::vector<uint8_t> data_;      // everything after the sizes table
  int rebuilds_ = 0;
  TSkinLoadFailure failure_ = TSkinLoadFailure::None;
  uint32_t imageVersion_ = 0;
};

// Splits text into lines the way the names block is read: CR LF, LF or CR ends a
// line, and a line end at the very end adds no empty line.
std::vector<std::string> SplitSkinLines(std::string_view text);

}  // namespace skin
