#pragma once
// Builds skin containers: the unpacked image (version, names, sizes, data) and its
// LZHUF-compressed form with the unpacked size in front. Options produce the
// hostile variants the reader's tests need.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace skinpack {

struct TSkinEntry {
  std::string Name;
  std::vector<uint8_t> Data;
};

struct TSkinPackOptions {
  uint32_t Version = 70000;        // written as given, known or not
  std::string LineEnd = "\r\n";    // after every name
  uint32_t Reserved1 = 0;
  uint32_t Reserved2 = 0;
  uint8_t ExtraFill = 0;           // the bytes of the version's extra block
  std::vector<uint8_t> Trailer;    // bytes after the last entry
  std::optional<uint32_t> DeclaredSize;  // replaces the true unpacked size
  size_t TruncateBy = 0;           // bytes cut from the end of the compressed stream
};

// The entries of a skin folder: its one *.ini first (readers find it by ".ini"),
// then its *.bmp files sorted by name. Throws std::runtime_error when the folder
// cannot be read or does not hold exactly one INI file.
std::vector<TSkinEntry> CollectSkinFolder(const std::string& folder);
// A whole file; throws std::runtime_error when it cannot be read.
std::vector<uint8_t> ReadWholeFile(const std::string& path);

// The unpacked image. An unknown version gets no extra block.
std::vector<uint8_t> BuildSkinImage(const std::vector<TSkinEntry>& entries,
                                    const TSkinPackOptions& options);
// The container: 32-bit unpacked size, then the LZHUF stream of the image.
std::vector<uint8_t> BuildSkinContainer(const std::vector<TSkinEntry>& entries,
                                        const TSkinPackOptions& options);

}  // namespace skinpack
