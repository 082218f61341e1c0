#include "classlib/PngCodec.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace {

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr uint32_t kMaxChunkLength = 0x7FFFFFFFu;

uint32_t ReadBe32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}
uint16_t ReadBe16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }

uint32_t ChunkType(const char (&name)[5]) {
  return (uint32_t(uint8_t(name[0])) << 24) | (uint32_t(uint8_t(name[1])) << 16) |
         (uint32_t(uint8_t(name[2])) << 8) | uint8_t(name[3]);
}
const uint32_t kIHDR = ChunkType("IHDR"), kPLTE = ChunkType("PLTE"), kIDAT = ChunkType("IDAT"),
               kIEND = ChunkType("IEND"), kTRNS = ChunkType("tRNS");

bool IsLetter(uint8_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

struct THeader {
  uint32_t Width = 0, Height = 0;
  int BitDepth = 0, ColorType = 0;
  bool Interlaced = false;
  int Channels() const {
    switch (ColorType) {
      case 2: return 3;
      case 4: return 2;
      case 6: return 4;
      default: return 1;
    }
  }
  int BitsPerPixel() const { return BitDepth * Channels(); }
  // Bytes of one filtered row of `width` pixels, without its filter byte.
  uint64_t RowBytes(uint64_t width) const { return (width * uint64_t(BitsPerPixel()) + 7) / 8; }
};

bool DepthAllowed(int colorType, int depth) {
  switch (colorType) {
    case 0: return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    case 3: return depth == 1 || depth == 2 || depth == 4 || depth == 8;
    case 2:
    case 4:
    case 6: return depth == 8 || depth == 16;
    default: return false;
  }
}

// One reduced image of the interlace (or the whole image): where its pixels go.
struct TPass {
  uint32_t X0, Y0, DX, DY;
};
constexpr TPass kWhole[1] = {{0, 0, 1, 1}};
constexpr TPass kAdam7[7] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                             {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};

uint32_t PassExtent(uint32_t size, uint32_t start, uint32_t step) {
  return size > start ? (size - start + step - 1) / step : 0;
}

// The decompressed size the header asks for: per pass, per row a filter byte and
// the row's bytes.
uint64_t FilteredSize(const THeader& h) {
  const TPass* passes = h.Interlaced ? kAdam7 : kWhole;
  const int count = h.Interlaced ? 7 : 1;
  uint64_t total = 0;
  for (int i = 0; i < count; i++) {
    const uint64_t w = PassExtent(h.Width, passes[i].X0, passes[i].DX);
    const uint64_t rows = PassExtent(h.Height, passes[i].Y0, passes[i].DY);
    if (w && rows) total += rows * (1 + h.RowBytes(w));
  }
  return total;
}

// Inflates the IDAT data as it arrives, never past `expected` bytes of output.
class TInflater {
 public:
  explicit TInflater(uint64_t expected) : expected_(expected) {
    std::memset(&z_, 0, sizeof z_);
    ok_ = inflateInit(&z_) == Z_OK;
  }
  ~TInflater() {
    if (ok_) inflateEnd(&z_);
  }
  TInflater(const TInflater&) = delete;
  TInflater& operator=(const TInflater&) = delete;

  // Feeds one IDAT chunk's bytes.
  TPngStatus Feed(const uint8_t* data, size_t size) {
    if (!ok_) return PngOutOfMemory;
    if (ended_) return size ? PngTooMuchData : PngOk;
    z_.next_in = const_cast<Bytef*>(data);
    z_.avail_in = static_cast<uInt>(size);
    uint8_t scratch[16384];
    // Until the chunk is used up and zlib holds no output back (a full scratch may
    // leave more behind).
    do {
      z_.next_out = scratch;
      z_.avail_out = sizeof scratch;
      const int rc = inflate(&z_, Z_NO_FLUSH);
      const size_t made = sizeof scratch - z_.avail_out;
      if (made > expected_ - out_.size()) return PngTooMuchData;
      try {
        out_.insert(out_.end(), scratch, scratch + made);
      } catch (const std::bad_alloc&) {
        return PngOutOfMemory;
      }
      if (rc == Z_STREAM_END) {
        ended_ = true;
        break;
      }
      if (rc == Z_BUF_ERROR) break;  // no progress: needs the next chunk
      if (rc != Z_OK) return rc == Z_MEM_ERROR ? PngOutOfMemory : PngBadData;
    } while (z_.avail_in > 0 || z_.avail_out == 0);
    // Bytes after the stream's end (within this chunk) are data no row asked for.
    if (ended_ && z_.avail_in > 0) return PngTooMuchData;
    return PngOk;
  }

  std::vector<uint8_t>& Output() { return out_; }

 private:
  z_stream z_;
  bool ok_ = false;
  bool ended_ = false;
  uint64_t expected_;
  std::vector<uint8_t> out_;
};

uint8_t Paeth(int a, int b, int c) {
  const int p = a + b - c;
  const int pa = p > a ? p - a : a - p;
  const int pb = p > b ? p - b : b - p;
  const int pc = p > c ? p - c : c - p;
  if (pa <= pb && pa <= pc) return static_cast<uint8_t>(a);
  return static_cast<uint8_t>(pb <= pc ? b : c);
}

// Undoes the filter of `row` (`length` bytes after its filter byte) against
// `prior`, the previous unfiltered row of the same pass (zeros for the first).
bool Unfilter(uint8_t filter, uint8_t* row, const uint8_t* prior, size_t length, size_t bpp) {
  switch (filter) {
    case 0: return true;
    case 1:
      for (size_t i = bpp; i < length; i++) row[i] = uint8_t(row[i] + row[i - bpp]);
      return true;
    case 2:
      for (size_t i = 0; i < length; i++) row[i] = uint8_t(row[i] + prior[i]);
      return true;
    case 3:
      for (size_t i = 0; i < length; i++) {
        const int left = i >= bpp ? row[i - bpp] : 0;
        row[i] = uint8_t(row[i] + ((left + prior[i]) >> 1));
      }
      return true;
    case 4:
      for (size_t i = 0; i < length; i++) {
        const int left = i >= bpp ? row[i - bpp] : 0;
        const int upLeft = i >= bpp ? prior[i - bpp] : 0;
        row[i] = uint8_t(row[i] + Paeth(left, prior[i], upLeft));
      }
      return true;
    default: return false;
  }
}

struct TTransparency {
  bool Present = false;
  uint16_t Key[3] = {0, 0, 0};   // grey or red, green, blue of the transparent colour
  std::vector<uint8_t> Alphas;   // per palette entry
};

// Sample `index` of an unfiltered row at `depth` bits.
uint32_t Sample(const uint8_t* row, uint64_t index, int depth) {
  switch (depth) {
    case 16: return ReadBe16(row + index * 2);
    case 8: return row[index];
    default: {
      const uint64_t bit = index * uint64_t(depth);
      const int shift = 8 - depth - int(bit & 7);
      return (row[bit >> 3] >> shift) & ((1u << depth) - 1);
    }
  }
}

uint8_t To8(uint32_t sample, int depth) {
  switch (depth) {
    case 16: return static_cast<uint8_t>(sample >> 8);
    case 8: return static_cast<uint8_t>(sample);
    default: return static_cast<uint8_t>(sample * (255u / ((1u << depth) - 1)));
  }
}

uint32_t Argb(uint8_t a, uint8_t r, uint8_t g, uint8_t b) {
  return (uint32_t{a} << 24) | (uint32_t{r} << 16) | (uint32_t{g} << 8) | b;
}

// Turns pixel `x` of an unfiltered row into 0xAARRGGBB; false for a palette index
// beyond the palette.
bool PixelAt(const THeader& h, const uint8_t* row, uint64_t x, const std::vector<uint32_t>& palette,
             const TTransparency& t, uint32_t& out) {
  const int d = h.BitDepth;
  switch (h.ColorType) {
    case 0: {
      const uint32_t v = Sample(row, x, d);
      const uint8_t g = To8(v, d);
      out = Argb(t.Present && v == t.Key[0] ? 0 : 255, g, g, g);
      return true;
    }
    case 2: {
      const uint32_t r = Sample(row, x * 3, d), g = Sample(row, x * 3 + 1, d), b = Sample(row, x * 3 + 2, d);
      const bool clear = t.Present && r == t.Key[0] && g == t.Key[1] && b == t.Key[2];
      out = Argb(clear ? 0 : 255, To8(r, d), To8(g, d), To8(b, d));
      return true;
    }
    case 3: {
      const uint32_t i = Sample(row, x, d);
      if (i >= palette.size()) return false;
      const uint8_t a = i < t.Alphas.size() ? t.Alphas[i] : 255;
      out = (palette[i] & 0xFFFFFFu) | (uint32_t{a} << 24);
      return true;
    }
    case 4: {
      const uint8_t g = To8(Sample(row, x * 2, d), d);
      out = Argb(To8(Sample(row, x * 2 + 1, d), d), g, g, g);
      return true;
    }
    default: {
      out = Argb(To8(Sample(row, x * 4 + 3, d), d), To8(Sample(row, x * 4, d), d), To8(Sample(row, x * 4 + 1, d), d),
                 To8(Sample(row, x * 4 + 2, d), d));
      return true;
    }
  }
}

// Unfilters the decompressed passes in place and writes their pixels.
TPngStatus Reconstruct(const THeader& h, std::vector<uint8_t>& data, const std::vector<uint32_t>& palette,
                       const TTransparency& t, TPixelBuffer& pixels) {
  const TPass* passes = h.Interlaced ? kAdam7 : kWhole;
  const int count = h.Interlaced ? 7 : 1;
  const size_t bpp = std::max(1, h.BitsPerPixel() / 8);
  std::vector<uint8_t> zeros(static_cast<size_t>(h.RowBytes(h.Width)), 0);
  size_t at = 0;
  for (int p = 0; p < count; p++) {
    const TPass& pass = passes[p];
    const uint32_t w = PassExtent(h.Width, pass.X0, pass.DX);
    const uint32_t rows = PassExtent(h.Height, pass.Y0, pass.DY);
    if (!w || !rows) continue;
    const size_t length = static_cast<size_t>(h.RowBytes(w));
    const uint8_t* prior = zeros.data();
    for (uint32_t y = 0; y < rows; y++) {
      uint8_t* row = data.data() + at + 1;
      if (!Unfilter(data[at], row, prior, length, bpp)) return PngBadFilter;
      uint32_t* out = pixels.Row(static_cast<int>(pass.Y0 + y * pass.DY));
      for (uint32_t x = 0; x < w; x++)
        if (!PixelAt(h, row, x, palette, t, out[pass.X0 + x * pass.DX])) return PngBadPalette;
      prior = row;
      at += 1 + length;
    }
  }
  return PngOk;
}

TPngStatus ReadHeader(const uint8_t* d, uint32_t length, THeader& h, uint64_t maxPixels) {
  if (length != 13) return PngBadHeader;
  h.Width = ReadBe32(d);
  h.Height = ReadBe32(d + 4);
  h.BitDepth = d[8];
  h.ColorType = d[9];
  if (!DepthAllowed(h.ColorType, h.BitDepth) || d[10] != 0 || d[11] != 0 || d[12] > 1) return PngBadHeader;
  h.Interlaced = d[12] == 1;
  if (h.Width == 0 || h.Height == 0 || h.Width > kMaxChunkLength || h.Height > kMaxChunkLength) return PngBadSize;
  const uint64_t area = uint64_t(h.Width) * h.Height;
  if (area > PngMaxPixels) return PngBadSize;
  if (area > maxPixels) return PngOverLimit;
  return PngOk;
}

TPngStatus ReadPalette(const uint8_t* d, uint32_t length, const THeader& h, std::vector<uint32_t>& palette) {
  if (h.ColorType == 0 || h.ColorType == 4 || length == 0 || length % 3 != 0 || length / 3 > 256)
    return PngBadPalette;
  if (h.ColorType == 3 && length / 3 > (1u << h.BitDepth)) return PngBadPalette;
  for (uint32_t i = 0; i < length; i += 3) palette.push_back(Argb(0, d[i], d[i + 1], d[i + 2]));
  return PngOk;
}

TPngStatus ReadTransparency(const uint8_t* d, uint32_t length, const THeader& h, size_t paletteSize,
                            TTransparency& t) {
  switch (h.ColorType) {
    case 0:
      if (length != 2) return PngBadTransparency;
      t.Key[0] = ReadBe16(d);
      break;
    case 2:
      if (length != 6) return PngBadTransparency;
      for (int i = 0; i < 3; i++) t.Key[i] = ReadBe16(d + 2 * i);
      break;
    case 3:
      if (paletteSize == 0 || length > paletteSize) return PngBadTransparency;
      t.Alphas.assign(d, d + length);
      break;
    default:
      return PngOk;  // an alpha channel already says it all: the chunk is ignored
  }
  t.Present = true;
  return PngOk;
}

TPngStatus Decode(const uint8_t* data, size_t size, TDecodedPng& image, uint64_t maxPixels) {
  if (!IsPngSignature(data, size)) return PngBadSignature;
  size_t at = sizeof kSignature;
  THeader h;
  bool haveHeader = false, havePalette = false, haveTransparency = false, sawIdat = false, idatDone = false;
  std::vector<uint32_t> palette;
  TTransparency transparency;
  std::unique_ptr<TInflater> inflater;
  for (;;) {
    if (size - at < 12) return PngTruncated;
    const uint32_t length = ReadBe32(data + at);
    const uint32_t type = ReadBe32(data + at + 4);
    if (length > kMaxChunkLength) return PngBadChunk;
    if (size - at - 12 < length) return PngTruncated;
    const uint8_t* typeBytes = data + at + 4;
    const uint8_t* body = data + at + 8;
    if (!IsLetter(typeBytes[0]) || !IsLetter(typeBytes[1]) || !IsLetter(typeBytes[2]) || !IsLetter(typeBytes[3]))
      return PngBadChunk;
    const uLong crc = crc32(crc32(0L, Z_NULL, 0), typeBytes, length + 4);
    if (crc != ReadBe32(body + length)) return PngBadCrc;
    at += 12 + size_t{length};

    if (!haveHeader && type != kIHDR) return PngBadHeader;
    if (sawIdat && type != kIDAT) idatDone = true;
    TPngStatus status = PngOk;
    if (type == kIHDR) {
      if (haveHeader) return PngBadChunk;
      status = ReadHeader(body, length, h, maxPixels);
      haveHeader = true;
    } else if (type == kPLTE) {
      if (havePalette || sawIdat || haveTransparency) return PngBadPalette;
      status = ReadPalette(body, length, h, palette);
      havePalette = true;
    } else if (type == kTRNS) {
      if (haveTransparency || sawIdat) return PngBadTransparency;
      status = ReadTransparency(body, length, h, palette.size(), transparency);
      haveTransparency = true;
    } else if (type == kIDAT) {
      if (idatDone) return PngBadChunk;  // image data must stand in one run of chunks
      if (h.ColorType == 3 && !havePalette) return PngBadPalette;
      if (!inflater) {
        try {
          inflater = std::make_unique<TInflater>(FilteredSize(h));
        } catch (const std::bad_alloc&) {
          return PngOutOfMemory;
        }
      }
      sawIdat = true;
      status = inflater->Feed(body, length);
    } else if (type == kIEND) {
      break;
    } else if (!(typeBytes[0] & 0x20)) {
      return PngUnsupported;  // a critical chunk this decoder does not know
    }
    if (status != PngOk) return status;
  }
  if (!inflater) return PngMissingData;
  std::vector<uint8_t>& filtered = inflater->Output();
  if (filtered.size() != FilteredSize(h)) return PngMissingData;
  try {
    image.Pixels = TPixelBuffer(static_cast<int>(h.Width), static_cast<int>(h.Height));
  } catch (const std::bad_alloc&) {
    return PngOutOfMemory;
  }
  TPngStatus status;
  try {
    // Its row of zeros (the prior of each pass's first row) is as wide as a row.
    status = Reconstruct(h, filtered, palette, transparency, image.Pixels);
  } catch (const std::bad_alloc&) {
    return PngOutOfMemory;
  }
  if (status != PngOk) return status;
  image.BitDepth = h.BitDepth;
  image.ColorType = h.ColorType;
  image.Interlaced = h.Interlaced;
  image.HasAlpha = h.ColorType == 4 || h.ColorType == 6 || transparency.Present;
  return PngOk;
}

}  // namespace

const char* PngStatusText(TPngStatus status) {
  switch (status) {
    case PngOk: return "PNG data is valid";
    case PngBadSignature: return "Not a PNG file";
    case PngTruncated: return "PNG data is truncated";
    case PngBadCrc: return "PNG chunk CRC mismatch";
    case PngBadChunk: return "PNG chunk is malformed or out of order";
    case PngBadHeader: return "PNG header is invalid";
    case PngBadSize: return "PNG image size is invalid";
    case PngOverLimit: return "PNG image is too large";
    case PngBadPalette: return "PNG palette is invalid";
    case PngBadTransparency: return "PNG transparency is invalid";
    case PngUnsupported: return "PNG file has an unknown critical chunk";
    case PngBadData: return "PNG image data is corrupt";
    case PngMissingData: return "PNG image data is incomplete";
    case PngTooMuchData: return "PNG image data is too long";
    case PngBadFilter: return "PNG row filter is invalid";
    case PngOutOfMemory: return "Out of memory for the PNG image";
  }
  return "PNG data is invalid";
}

bool IsPngSignature(const uint8_t* data, size_t size) {
  return data && size >= sizeof kSignature && std::memcmp(data, kSignature, sizeof kSignature) == 0;
}

TPngStatus DecodePng(const uint8_t* data, size_t size, TDecodedPng& image, uint64_t maxPixels) {
  image = TDecodedPng{};
  const TPngStatus status = Decode(data, size, image, maxPixels);
  if (status != PngOk) image = TDecodedPng{};
  return status;
}
