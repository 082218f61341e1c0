// Stream base, memory streams and file streams.
#include "classlib/Streams.h"

#include <cstring>
#include <vector>

namespace {

constexpr int32_t MaxChunk = 0x10000;
// A memory stream never grows past what a 32-bit process could address.
constexpr int64_t MaxMemoryStreamSize = 0x7FFFFFFF;

}  // namespace

// ---------------------------------------------------------------------------
// TStream

void TStream::SetSize(int64_t) { throw EStreamError(ClassName() + " cannot change its size"); }

int64_t TStream::Size() {
  int64_t position = Seek(0, TSeekOrigin::Current);
  int64_t size = Seek(0, TSeekOrigin::End);
  Seek(position, TSeekOrigin::Beginning);
  return size;
}

void TStream::ReadBuffer(void* buffer, int32_t count) {
  if (count < 0 || (count != 0 && Read(buffer, count) != count)) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, int32_t count) {
  if (count < 0 || (count != 0 && Write(buffer, count) != count)) throw EWriteError("Stream write error");
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
  if (count == 0) {
    source.SetPosition(0);
    count = source.Size();
  }
  if (count < 0) throw EReadError("Stream read error");
  int64_t total = count;
  std::vector<uint8_t> buffer(static_cast<size_t>(count < MaxChunk ? count : MaxChunk));
  while (count > 0) {
    auto chunk = static_cast<int32_t>(count < MaxChunk ? count : MaxChunk);
    source.ReadBuffer(buffer.data(), chunk);
    WriteBuffer(buffer.data(), chunk);
    count -= chunk;
  }
  return total;
}

std::string TStream::ReadRemaining() {
  std::string out;
  char buffer[4096];
  for (;;) {
    int32_t n = Read(buffer, sizeof buffer);
    if (n <= 0) break;
    out.append(buffer, static_cast<size_t>(n));
  }
  return out;
}

// ---------------------------------------------------------------------------
// TCustomMemoryStream

int32_t TCustomMemoryStream::Read(void* buffer, int32_t count) {
  if (count <= 0 || position_ < 0 || position_ >= size_) return 0;
  int64_t available = size_ - position_;
  auto n = static_cast<int32_t>(available < count ? available : count);
  std::memcpy(buffer, memory_ + position_, static_cast<size_t>(n));
  position_ += n;
  return n;
}

int32_t TCustomMemoryStream::Write(const void*, int32_t) { return 0; }

int64_t TCustomMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
  int64_t base = origin == TSeekOrigin::Beginning ? 0 : origin == TSeekOrigin::Current ? position_ : size_;
  int64_t target;
  if (__builtin_add_overflow(base, offset, &target) || target < 0) throw EStreamError("Invalid stream position");
  position_ = target;
  return position_;
}

void TCustomMemoryStream::SaveToStream(TStream& dest) {
  int64_t done = 0;
  while (done < size_) {
    int64_t left = size_ - done;
    auto chunk = static_cast<int32_t>(left < MaxChunk ? left : MaxChunk);
    dest.WriteBuffer(memory_ + done, chunk);
    done += chunk;
  }
}

void TCustomMemoryStream::SaveToFile(const std::string& fileName) {
  TFileStream file(fileName, fmCreate);
  SaveToStream(file);
}

// ---------------------------------------------------------------------------
// TMemoryStream

TMemoryStream::~TMemoryStream() { FreeMem(memory_); }

void TMemoryStream::SetCapacity(int64_t capacity) {
  if (capacity == capacity_) return;
  if (capacity > MaxMemoryStreamSize) throw EOutOfMemory("Out of memory while expanding memory stream");
  if (capacity == 0) {
    FreeMem(memory_);
    memory_ = nullptr;
  } else {
    void* grown = ReallocMem(memory_, static_cast<size_t>(capacity));
    if (!grown) throw EOutOfMemory("Out of memory while expanding memory stream");
    memory_ = static_cast<uint8_t*>(grown);
  }
  capacity_ = capacity;
}

void TMemoryStream::SetSize(int64_t newSize) {
  if (newSize < 0) throw EStreamError("Invalid stream size");
  if (newSize > capacity_) {
    // Grow by a quarter at least, in 8 KiB steps, so appends stay linear.
    int64_t want = newSize + newSize / 4;
    want = (want + 0x1FFF) & ~int64_t{0x1FFF};
    SetCapacity(want > MaxMemoryStreamSize ? newSize : want);
  }
  if (newSize > size_) std::memset(memory_ + size_, 0, static_cast<size_t>(newSize - size_));
  size_ = newSize;
  if (position_ > size_) position_ = size_;
}

int32_t TMemoryStream::Write(const void* buffer, int32_t count) {
  if (count <= 0 || position_ < 0 || position_ > MaxMemoryStreamSize) return 0;
  int64_t end = position_ + count;
  if (end > size_) {
    int64_t position = position_;
    SetSize(end);  // zero-fills a gap left by seeking past the end
    position_ = position;
  }
  std::memcpy(memory_ + position_, buffer, static_cast<size_t>(count));
  position_ = end;
  return count;
}

void TMemoryStream::Clear() {
  SetCapacity(0);
  size_ = 0;
  position_ = 0;
}

void TMemoryStream::LoadFromStream(TStream& source) {
  source.SetPosition(0);
  int64_t size = source.Size();
  SetSize(size);
  position_ = 0;
  if (size) source.ReadBuffer(memory_, static_cast<int32_t>(size));
}

void TMemoryStream::LoadFromFile(const std::string& fileName) {
  TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(file);
}

// ---------------------------------------------------------------------------
// TFileStream

namespace {

std::string ReasonText() { return "System error " + std::to_string(LastFileError()) + "."; }

}  // namespace

TFileStream::TFileStream(const std::string& fileName, uint32_t mode) : fileName_(fileName) {
  if ((mode & 0xFF00) == fmCreate) {
    handle_ = FileCreate(fileName, mode & 0xF0);
    if (handle_ == InvalidFileHandle)
      throw EFCreateError("Cannot create file \"" + fileName + "\". " + ReasonText());
  } else {
    handle_ = FileOpen(fileName, mode);
    if (handle_ == InvalidFileHandle) throw EFOpenError("Cannot open file \"" + fileName + "\". " + ReasonText());
  }
}

TFileStream::~TFileStream() { FileClose(handle_); }

int32_t TFileStream::Read(void* buffer, int32_t count) {
  if (count <= 0) return 0;
  int32_t n = FileRead(handle_, buffer, count);
  return n < 0 ? 0 : n;
}

int32_t TFileStream::Write(const void* buffer, int32_t count) {
  if (count <= 0) return 0;
  int32_t n = FileWrite(handle_, buffer, count);
  return n < 0 ? 0 : n;
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
  int64_t r = FileSeek(handle_, offset, static_cast<int>(origin));
  if (r < 0) throw EStreamError("Invalid stream position");
  return r;
}

void TFileStream::SetSize(int64_t newSize) {
  int64_t position = Position();
  Seek(newSize, TSeekOrigin::Beginning);
  if (!FileTruncate(handle_)) throw EStreamError("Cannot set the size of \"" + fileName_ + "\"");
  Seek(position < newSize ? position : newSize, TSeekOrigin::Beginning);
}
