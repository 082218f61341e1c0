#include "exclog/core/EZip.h"

#include <sys/stat.h>
#include <zip.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <memory>

namespace exclog {
namespace {

constexpr size_t ReadBlockSize = 64 * 1024;
constexpr int ZipLevel = 9;

using TFile = std::unique_ptr<FILE, int (*)(FILE*)>;

TFile OpenForReading(const std::string& path) { return TFile(std::fopen(path.c_str(), "rb"), &std::fclose); }

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// The file's last-write time as local broken-down time; false when it cannot be read.
bool LocalWriteTime(const std::string& path, tm_zip& out) {
#ifdef _WIN32
  // The 64-bit form: the plain one fails on files past 2 GB.
  struct _stati64 info {};
  if (::_stati64(path.c_str(), &info) != 0) return false;
#else
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return false;
#endif
  std::time_t written = info.st_mtime;
  std::tm local{};
#ifdef _WIN32
  std::tm* t = std::localtime(&written);
  if (!t) return false;
  local = *t;
#else
  if (!localtime_r(&written, &local)) return false;
#endif
  out.tm_sec = local.tm_sec;
  out.tm_min = local.tm_min;
  out.tm_hour = local.tm_hour;
  out.tm_mday = local.tm_mday;
  out.tm_mon = local.tm_mon;
  out.tm_year = local.tm_year + 1900;
  return true;
}

// CRC-32 of the whole file, read in blocks; nothing on a read error.
std::optional<uLong> FileCrc(FILE* file) {
  std::vector<unsigned char> block(ReadBlockSize);
  uLong crc = crc32(0, nullptr, 0);
  size_t got;
  while ((got = std::fread(block.data(), 1, block.size(), file)) > 0)
    crc = crc32(crc, block.data(), static_cast<uInt>(got));
  if (std::ferror(file)) return std::nullopt;
  return crc;
}

}  // namespace

bool TZipWriter::Create(const std::string& archivePath, const std::string& password) {
  Destroy();
  std::remove(archivePath.c_str());
  zip_ = zipOpen(archivePath.c_str(), APPEND_STATUS_CREATE);
  password_ = password;
  names_.clear();
  damaged_ = false;
  return zip_ != nullptr;
}

std::string TZipWriter::UniqueName(const std::string& name) {
  if (!names_.count(Lower(name))) return name;
  size_t slash = name.find_last_of("/\\");
  size_t dot = name.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash) ||
      dot == (slash == std::string::npos ? 0 : slash + 1))
    dot = name.size();
  for (int n = 2;; ++n) {
    std::string candidate = name.substr(0, dot) + " (" + std::to_string(n) + ")" + name.substr(dot);
    if (!names_.count(Lower(candidate))) return candidate;
  }
}

bool TZipWriter::AddFile(const std::string& path, const std::string& nameInArchive) {
  if (!zip_ || nameInArchive.empty()) return false;
  TFile file = OpenForReading(path);
  if (!file) return false;
  zip_fileinfo info{};
  if (!LocalWriteTime(path, info.tmz_date)) return false;
  const char* password = password_.empty() ? nullptr : password_.c_str();
  uLong crc = 0;
  // The traditional encryption header carries a byte of the CRC, so an encrypted
  // entry needs the CRC before its data: a pass of its own.
  if (password) {
    auto sum = FileCrc(file.get());
    if (!sum) return false;
    crc = *sum;
    std::rewind(file.get());
  }
  std::string name = UniqueName(nameInArchive);
  if (zipOpenNewFileInZip3(zip_, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                           ZipLevel, 0, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY, password, crc) != ZIP_OK) {
    damaged_ = true;
    return false;
  }
  names_.insert(Lower(name));
  bool ok = true;
  std::vector<unsigned char> block(ReadBlockSize);
  uLong written = crc32(0, nullptr, 0);
  size_t got;
  while (ok && (got = std::fread(block.data(), 1, block.size(), file.get())) > 0) {
    written = crc32(written, block.data(), static_cast<uInt>(got));
    ok = zipWriteInFileInZip(zip_, block.data(), static_cast<unsigned>(got)) == ZIP_OK;
  }
  if (std::ferror(file.get())) ok = false;
  // A file that changed between the passes no longer matches its encryption header.
  if (password && written != crc) ok = false;
  if (zipCloseFileInZip(zip_) != ZIP_OK) ok = false;
  if (!ok) damaged_ = true;
  return ok;
}

bool TZipWriter::Destroy() {
  if (!zip_) return false;
  bool ok = zipClose(zip_, nullptr) == ZIP_OK;
  zip_ = nullptr;
  names_.clear();
  return ok;
}

bool ZipFiles(const std::string& archivePath, const std::string& password,
              const std::vector<std::string>& files) {
  if (files.empty()) return false;
  TZipWriter writer;
  if (!writer.Create(archivePath, password)) return false;
  bool ok = true;
  std::set<std::string> seen;
  for (const std::string& path : files) {
    std::error_code ec;
    std::filesystem::path full = std::filesystem::absolute(path, ec).lexically_normal();
    std::string key = full.string();
#ifdef _WIN32
    key = Lower(key);
#endif
    if (!seen.insert(key).second) continue;
    if (!writer.AddFile(path, std::filesystem::path(path).filename().string())) ok = false;
  }
  const bool finished = writer.Destroy();
  if (writer.Damaged()) {
    std::remove(archivePath.c_str());
    return false;
  }
  return finished && ok;
}

std::string InflateToBuffer(const uint8_t* source, size_t size, size_t cap) {
  if (!source && size) throw EZLibError(zError(Z_STREAM_ERROR));
  z_stream z{};
  int rc = inflateInit(&z);
  if (rc != Z_OK) throw EZLibError(z.msg ? z.msg : zError(rc));
  std::string out;
  std::string message;
  const uint8_t* next = source;
  size_t left = size;
  unsigned char chunk[16384];
  while (rc != Z_STREAM_END) {
    if (z.avail_in == 0) {
      // avail_in is 32-bit; feed large inputs in slices.
      uInt slice = static_cast<uInt>(std::min<size_t>(left, 1u << 30));
      z.next_in = const_cast<Bytef*>(next);
      z.avail_in = slice;
      next += slice;
      left -= slice;
    }
    z.next_out = chunk;
    z.avail_out = sizeof chunk;
    rc = inflate(&z, Z_NO_FLUSH);
    // Z_NEED_DICT is positive: a stream that needs a preset dictionary fails too.
    if (rc != Z_OK && rc != Z_STREAM_END) {
      message = z.msg ? z.msg : zError(rc);
      break;
    }
    size_t produced = sizeof chunk - z.avail_out;
    if (produced > cap - out.size()) {
      message = "inflated data exceeds " + std::to_string(cap) + " bytes";
      rc = Z_DATA_ERROR;
      break;
    }
    out.append(reinterpret_cast<const char*>(chunk), produced);
    // No input left and no progress: the stream is cut short.
    if (rc == Z_OK && z.avail_in == 0 && left == 0 && produced == 0) {
      rc = Z_BUF_ERROR;
      message = zError(rc);
      break;
    }
  }
  int end = inflateEnd(&z);
  if (rc != Z_STREAM_END) throw EZLibError(message);
  if (end != Z_OK) throw EZLibError(zError(end));
  return out;
}

std::optional<std::string> TryInflateToBuffer(const uint8_t* source, size_t size, size_t cap) {
  try {
    return InflateToBuffer(source, size, cap);
  } catch (const EZLibError&) {
    return std::nullopt;
  }
}

}  // namespace exclog
