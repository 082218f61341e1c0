#pragma once
// Streams: a base with exact-count reads and writes, memory streams, a stream over
// fixed memory and file streams. Positions and sizes are 64-bit; one transfer is at
// most 2^31-1 bytes.
//
// Failure: Read/Write return the count transferred (short on end or error, never
// raise); ReadBuffer/WriteBuffer raise EReadError/EWriteError when fewer bytes moved
// than asked; opening a file raises EFOpenError/EFCreateError.
#include <cstdint>
#include <string>

#include "classlib/SysUtils.h"

enum class TSeekOrigin { Beginning = 0, Current = 1, End = 2 };

class TStream : public TObject {
  VELMORA_CLASS(TStream, TObject)
 public:
  // Reads up to `count` bytes into `buffer`; returns how many were read (0 at end).
  virtual int32_t Read(void* buffer, int32_t count) = 0;
  // Writes up to `count` bytes; returns how many were written.
  virtual int32_t Write(const void* buffer, int32_t count) = 0;
  // Moves the position; returns the new position. A position before 0 is refused
  // (EStreamError); beyond the end is allowed (reads there give 0 bytes).
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
  // Resizes the stream (where the stream can); EStreamError where it cannot.
  virtual void SetSize(int64_t newSize);

  int64_t Position() { return Seek(0, TSeekOrigin::Current); }
  void SetPosition(int64_t position) { Seek(position, TSeekOrigin::Beginning); }
  virtual int64_t Size();

  // Exactly `count` bytes or EReadError ("Stream read error") / EWriteError
  // ("Stream write error"); a negative count raises too.
  void ReadBuffer(void* buffer, int32_t count);
  void WriteBuffer(const void* buffer, int32_t count);
  // Copies `count` bytes from `source`'s position; count 0 copies the whole source
  // from its start. Returns the bytes copied; EReadError/EWriteError when short.
  int64_t CopyFrom(TStream& source, int64_t count);

  // Convenience: the bytes of `text` (no length prefix); the rest of the stream as text.
  void WriteString(const std::string& text) { WriteBuffer(text.data(), static_cast<int32_t>(text.size())); }
  std::string ReadRemaining();
};

// A stream over a block of memory it does not own (see TMemoryStream for one that
// does). Reads only; the block must outlive the stream.
class TCustomMemoryStream : public TStream {
  VELMORA_CLASS(TCustomMemoryStream, TStream)
 public:
  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void* buffer, int32_t count) override;  // 0: not writable
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return size_; }

  // The stream's bytes (null when empty); valid until the next size change.
  const void* Memory() const { return memory_; }
  void SaveToStream(TStream& dest);
  void SaveToFile(const std::string& fileName);

 protected:
  void SetPointer(void* memory, int64_t size) {
    memory_ = static_cast<uint8_t*>(memory);
    size_ = size;
  }
  uint8_t* memory_ = nullptr;
  int64_t size_ = 0;
  int64_t position_ = 0;
};

// Read-only stream over fixed memory (e.g. a resource or a module's data block).
class TFixedMemoryStream : public TCustomMemoryStream {
  VELMORA_CLASS(TFixedMemoryStream, TCustomMemoryStream)
 public:
  TFixedMemoryStream() = default;
  TFixedMemoryStream(const void* memory, int64_t size) { SetPointer(const_cast<void*>(memory), size < 0 ? 0 : size); }
};

// A growable stream in memory owned by the stream; its buffer comes from the memory
// manager. Growing past the address space raises EOutOfMemory.
class TMemoryStream : public TCustomMemoryStream {
  VELMORA_CLASS(TMemoryStream, TCustomMemoryStream)
 public:
  TMemoryStream() = default;
  ~TMemoryStream() override;
  TMemoryStream(const TMemoryStream&) = delete;
  TMemoryStream& operator=(const TMemoryStream&) = delete;

  int32_t Write(const void* buffer, int32_t count) override;
  void SetSize(int64_t newSize) override;  // new bytes are zero
  void* Memory() { return memory_; }
  const void* Memory() const { return memory_; }
  void Clear();  // size and position 0, buffer freed
  // Replaces the content by the whole of `source` (from its start) / of a file.
  void LoadFromStream(TStream& source);
  void LoadFromFile(const std::string& fileName);

 private:
  void SetCapacity(int64_t capacity);
  int64_t capacity_ = 0;
};

// A stream over a file. Mode: fmCreate (create or truncate, read-write) combined with
// a share value, or an open mode (fmOpenRead, fmOpenWrite, fmOpenReadWrite) combined
// with a share value (fmShareExclusive, fmShareDenyWrite, fmShareDenyRead,
// fmShareDenyNone). Raises EFCreateError ("Cannot create file \"<name>\". <reason>") or
// EFOpenError ("Cannot open file \"<name>\". <reason>"). Owns and closes the handle.
class TFileStream : public TStream {
  VELMORA_CLASS(TFileStream, TStream)
 public:
  TFileStream(const std::string& fileName, uint32_t mode);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void* buffer, int32_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  void SetSize(int64_t newSize) override;  // EStreamError on failure
  TFileHandle Handle() const { return handle_; }
  const std::string& FileName() const { return fileName_; }

 private:
  TFileHandle handle_ = InvalidFileHandle;
  std::string fileName_;
};
