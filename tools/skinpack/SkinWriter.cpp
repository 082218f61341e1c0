#include "tools/skinpack/SkinWriter.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "skin/container/SkinReader.h"
#include "tools/skinpack/LzhufEncoder.h"

namespace skinpack {

namespace {
void PutU32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

std::string LowerExtension(const std::filesystem::path& p) {
  std::string e = p.extension().string();
  for (char& c : e) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return e;
}

}  // namespace

std::vector<uint8_t> ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<TSkinEntry> CollectSkinFolder(const std::string& folder) {
  namespace fs = std::filesystem;
  std::vector<fs::path> bitmaps, inis;
  for (const auto& item : fs::directory_iterator(folder)) {
    if (!item.is_regular_file()) continue;
    std::string ext = LowerExtension(item.path());
    if (ext == ".bmp") bitmaps.push_back(item.path());
    if (ext == ".ini") inis.push_back(item.path());
  }
  if (inis.size() != 1) throw std::runtime_error(folder + " must hold exactly one .ini file");
  std::sort(bitmaps.begin(), bitmaps.end());
  std::vector<TSkinEntry> entries;
  entries.push_back({inis[0].filename().string(), ReadWholeFile(inis[0].string())});
  for (const fs::path& p : bitmaps) entries.push_back({p.filename().string(), ReadWholeFile(p.string())});
  return entries;
}

std::vector<uint8_t> BuildSkinImage(const std::vector<TSkinEntry>& entries,
                                    const TSkinPackOptions& options) {
  std::string names;
  for (const TSkinEntry& e : entries) names += e.Name + options.LineEnd;
  std::vector<uint8_t> image;
  PutU32(image, options.Version);
  PutU32(image, static_cast<uint32_t>(names.size()));
  PutU32(image, options.Reserved1);
  PutU32(image, options.Reserved2);
  int extra = std::max(0, skin::SkinExtraBlockSize(options.Version));
  image.insert(image.end(), static_cast<size_t>(extra), options.ExtraFill);
  image.insert(image.end(), names.begin(), names.end());
  for (const TSkinEntry& e : entries) PutU32(image, static_cast<uint32_t>(e.Data.size()));
  for (const TSkinEntry& e : entries) image.insert(image.end(), e.Data.begin(), e.Data.end());
  image.insert(image.end(), options.Trailer.begin(), options.Trailer.end());
  return image;
}

std::vector<uint8_t> BuildSkinContainer(const std::vector<TSkinEntry>& entries,
                                        const TSkinPackOptions& options) {
  std::vector<uint8_t> image = BuildSkinImage(entries, options);
  std::vector<uint8_t> stream = LzhufEncode(image);
  stream.resize(stream.size() - std::min(options.TruncateBy, stream.size()));
  std::vector<uint8_t> out;
  PutU32(out, options.DeclaredSize.value_or(static_cast<uint32_t>(image.size())));
  out.insert(out.end(), stream.begin(), stream.end());
  return out;
}

}  // namespace skinpack
