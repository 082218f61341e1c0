#pragma once
// The options stream: the options' values stored by position, little-endian, each
// text as a 32-bit length and its bytes XOR-ed with StringXorKey. The stream marks
// neither its version nor its end: the reader is told the version and stops right
// after the last item, so other data may follow it.
#include <cstddef>
#include <cstdint>
#include <string>

#include "exclog/core/EOptionsData.h"

namespace exclog {

// The version SaveToStream writes and an in-memory reload reads.
constexpr uint16_t CurrentOptionsStreamVersion = 6104;

// The one-byte key every text byte of the stream is XOR-ed with.
constexpr uint8_t StringXorKey = 0x5C;

// Where the reader takes its bytes from. Read must fill the whole buffer or fail;
// Remaining bounds every length taken from the stream before anything is allocated.
class TOptionsByteSource {
 public:
  virtual ~TOptionsByteSource() = default;
  // Copies `count` bytes into `buffer`; false (with an unspecified prefix copied) when
  // fewer than `count` remain.
  virtual bool Read(void* buffer, size_t count) = 0;
  virtual uint64_t Remaining() const = 0;
};

// A source over a memory block that it does not own.
class TOptionsBufferSource : public TOptionsByteSource {
 public:
  TOptionsBufferSource(const void* data, size_t size)
      : data_(static_cast<const uint8_t*>(data)), size_(size) {}
  bool Read(void* buffer, size_t count) override;
  uint64_t Remaining() const override { return size_ - position_; }
  size_t Position() const { return position_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t position_ = 0;
};

// Appends the current-format stream of `data` to `out`. Texts of two or more
// characters whose first CR LF ends them lose that CR LF.
void WriteOptionsStream(const TQuelbaOptionsData& data, std::string& out);

// Reads a stream of format `version` into `data`, which should start as a copy of
// the options being loaded: items an older format lacks keep their values there.
// Throws EReadError when the source ends early or holds an impossible length or
// count; `data` is then partly changed, so callers parse into a copy.
void ReadOptionsStream(TOptionsByteSource& source, uint16_t version, TQuelbaOptionsData& data);

// Text i (0..157) is present in a stream of `version` (apart from the extra string
// dropped before text 68 in streams before 6000).
bool OptionsStreamHasText(int index, uint16_t version);

// The report-field migration of streams before 6000: the `oldByteCount` bytes of an
// old set, with the fields added since switched on (oldByteCount 4: before 500,
// 5: 500 up to 6000).
TReportFields MigrateReportFields(const uint8_t* oldBytes, int oldByteCount);

}  // namespace exclog
