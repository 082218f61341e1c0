#pragma once
// The report archive (deflated zip entries, optionally with the traditional zip
// password) and inflating of zlib streams.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "classlib/SysUtils.h"

namespace exclog {

// A zlib call failed; the message is zlib's own text for it.
VELMORA_EXCEPTION(EZLibError, Exception)

// Writes one zip archive. Entries are deflated at level 9 and carry the source
// file's last-write time in local time.
class TZipWriter {
 public:
  TZipWriter() = default;
  ~TZipWriter() { Destroy(); }
  TZipWriter(const TZipWriter&) = delete;
  TZipWriter& operator=(const TZipWriter&) = delete;

  // Deletes an existing file of that name and starts a new archive. An empty
  // password writes plain entries. False when the archive cannot be created.
  bool Create(const std::string& archivePath, const std::string& password);
  // Adds the file at `path` as `nameInArchive`; a name already in the archive
  // gets " (2)", " (3)", ... before its extension. The file is read in blocks.
  // False (and no entry, unless the file failed midway) when it cannot be read or
  // written. An entry that failed midway marks the archive damaged.
  bool AddFile(const std::string& path, const std::string& nameInArchive);
  // An entry stands cut short in the archive: it must not be sent.
  bool Damaged() const { return damaged_; }
  // Finishes the archive. False when the central directory could not be written
  // (or nothing was open).
  bool Destroy();
  bool IsOpen() const { return zip_ != nullptr; }

 private:
  std::string UniqueName(const std::string& name);
  void* zip_ = nullptr;  // minizip's zipFile
  std::string password_;
  std::set<std::string> names_;  // entry names so far, lower case
  bool damaged_ = false;
};

// Archives every listed file under its name without folder; a path listed twice is
// stored once. True when the archive was written with every file. A file that
// cannot be opened is left out; one whose reading fails midway fails the whole
// archive, which is then deleted. Nothing is done
// for an empty list (false).
bool ZipFiles(const std::string& archivePath, const std::string& password,
              const std::vector<std::string>& files);

// Inflates one zlib stream. Raises EZLibError when the stream is damaged, needs a
// preset dictionary, ends before its end marker, or its output passes `cap` bytes.
std::string InflateToBuffer(const uint8_t* source, size_t size, size_t cap);
// The same, nothing on failure.
std::optional<std::string> TryInflateToBuffer(const uint8_t* source, size_t size, size_t cap);

}  // namespace exclog
