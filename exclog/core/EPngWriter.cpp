#include "exclog/core/EPngWriter.h"

#include <zlib.h>

#include <cstdio>

#include "exclog/core/EEncrypt.h"
#include "exclog/core/EZip.h"

namespace exclog {
namespace {

constexpr int PngLevel = 9;

void PutBigEndian(std::string& out, uint32_t v) {
  out += static_cast<char>(v >> 24);
  out += static_cast<char>(v >> 16);
  out += static_cast<char>(v >> 8);
  out += static_cast<char>(v);
}

// Length, type, data, then the CRC-32 of type and data.
void PutChunk(std::string& out, const char (&type)[5], const char* data, size_t size) {
  PutBigEndian(out, static_cast<uint32_t>(size));
  size_t start = out.size();
  out.append(type, 4);
  out.append(data, size);
  PutBigEndian(out, Crc32(out.data() + start, size + 4));
}

[[noreturn]] void Fail(const z_stream& z, int rc) { throw EZLibError(z.msg ? z.msg : zError(rc)); }

}  // namespace

std::string EncodePalettePng(const TPaletteImage& image) {
  std::string out;
  if (image.Width <= 0 || image.Height <= 0 ||
      image.Indices.size() != static_cast<size_t>(image.Width) * static_cast<size_t>(image.Height))
    return out;
  out.append("\x89PNG\r\n\x1a\n", 8);
  std::string header;
  PutBigEndian(header, static_cast<uint32_t>(image.Width));
  PutBigEndian(header, static_cast<uint32_t>(image.Height));
  header.append("\x08\x03\x00\x00\x00", 5);  // depth 8, palette, deflate, filter 0, no interlace
  PutChunk(out, "IHDR", header.data(), header.size());
  std::string palette(768, '\0');
  for (size_t i = 0; i < image.Palette.size() && i < 256; ++i) {
    palette[i * 3] = static_cast<char>(PixelRed(image.Palette[i]));
    palette[i * 3 + 1] = static_cast<char>(PixelGreen(image.Palette[i]));
    palette[i * 3 + 2] = static_cast<char>(PixelBlue(image.Palette[i]));
  }
  PutChunk(out, "PLTE", palette.data(), palette.size());

  z_stream z{};
  int rc = deflateInit(&z, PngLevel);
  if (rc != Z_OK) Fail(z, rc);
  std::string buffer(PngIdatChunkSize, '\0');
  z.next_out = reinterpret_cast<Bytef*>(buffer.data());
  z.avail_out = PngIdatChunkSize;
  auto flushFull = [&] {
    if (z.avail_out == 0) {
      PutChunk(out, "IDAT", buffer.data(), buffer.size());
      z.next_out = reinterpret_cast<Bytef*>(buffer.data());
      z.avail_out = PngIdatChunkSize;
    }
  };
  std::string row(static_cast<size_t>(image.Width) + 1, '\0');  // filter byte 0, then the indices
  for (int y = 0; y <= image.Height; ++y) {
    bool last = y == image.Height;
    if (!last) row.replace(1, image.Width, reinterpret_cast<const char*>(&image.Indices[size_t(y) * image.Width]), image.Width);
    z.next_in = last ? nullptr : reinterpret_cast<Bytef*>(row.data());
    z.avail_in = last ? 0 : static_cast<uInt>(row.size());
    int flush = last ? Z_FINISH : Z_NO_FLUSH;
    do {
      rc = deflate(&z, flush);
      if (rc == Z_STREAM_ERROR) {
        deflateEnd(&z);
        Fail(z, rc);
      }
      flushFull();
    } while (last ? rc != Z_STREAM_END : z.avail_in > 0);
  }
  PutChunk(out, "IDAT", buffer.data(), PngIdatChunkSize - z.avail_out);
  deflateEnd(&z);
  PutChunk(out, "IEND", "", 0);
  return out;
}

bool SavePalettePng(const TPixelBuffer& image, const std::string& path) {
  std::string png;
  try {
    png = EncodePalettePng(QuantiseOctree(image));
  } catch (const EZLibError&) {
    return false;
  }
  if (png.empty()) return false;
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  bool ok = std::fwrite(png.data(), 1, png.size(), file) == png.size();
  ok = std::fclose(file) == 0 && ok;
  if (!ok) std::remove(path.c_str());
  return ok;
}

}  // namespace exclog
