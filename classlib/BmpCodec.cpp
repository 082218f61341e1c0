#include "classlib/BmpCodec.h"

#include <algorithm>
#include <new>
#include <unordered_map>

namespace {

constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiRle8 = 1;
constexpr uint32_t kBiRle4 = 2;
constexpr uint32_t kBiBitfields = 3;
constexpr uint32_t kBiAlphaBitfields = 6;

constexpr size_t kFileHeaderSize = 14;
constexpr size_t kInfoHeaderSize = 40;

// Bounds-checked little-endian reads over the caller's bytes.
class TByteView {
 public:
  TByteView(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  size_t Size() const { return size_; }
  bool Has(uint64_t offset, uint64_t count) const {
    return offset <= size_ && count <= size_ - offset;
  }
  // Callers check Has first; these never read past the end regardless.
  uint8_t U8(size_t at) const { return at < size_ ? data_[at] : 0; }
  uint16_t U16(size_t at) const { return static_cast<uint16_t>(U8(at) | (U8(at + 1) << 8)); }
  uint32_t U32(size_t at) const { return uint32_t{U16(at)} | (uint32_t{U16(at + 2)} << 16); }
  int32_t I32(size_t at) const { return static_cast<int32_t>(U32(at)); }
  const uint8_t* Ptr(size_t at) const { return data_ + at; }

 private:
  const uint8_t* data_;
  size_t size_;
};

// What the info header (and masks after it) said.
struct TDibInfo {
  uint32_t HeaderSize = 0;
  int64_t Width = 0;
  int64_t Height = 0;  // always positive here; TopDown tells the row order
  bool TopDown = false;
  int BitCount = 0;
  uint32_t Compression = kBiRgb;
  uint32_t ColorsUsed = 0;
  int XPelsPerMeter = 0;
  int YPelsPerMeter = 0;
  uint32_t Masks[4] = {0, 0, 0, 0};  // red, green, blue, alpha
  size_t MasksAfterHeader = 0;        // bytes of masks stored after the header
  size_t PaletteEntrySize = 4;
};

bool IsOs2Only(uint32_t headerSize) {
  // 16..64 are OS/2 2.x headers, except the Windows 40, 52 and 56 byte forms.
  return headerSize >= 16 && headerSize <= 64 && headerSize != 40 && headerSize != 52 &&
         headerSize != 56;
}

TBmpStatus ReadInfoHeader(const TByteView& in, size_t at, uint64_t maxPixels, TDibInfo& info) {
  if (!in.Has(at, 4)) return BmpTooShort;
  info.HeaderSize = in.U32(at);
  const uint32_t hs = info.HeaderSize;
  const bool known = hs == 12 || (hs >= 16 && hs <= 64) || hs == 108 || hs == 124;
  if (!known) return BmpBadHeader;
  if (!in.Has(at, hs)) return BmpTooShort;

  uint16_t planes = 0;
  if (hs == 12) {
    info.Width = in.U16(at + 4);
    info.Height = in.U16(at + 6);
    planes = in.U16(at + 8);
    info.BitCount = in.U16(at + 10);
    info.PaletteEntrySize = 3;
  } else {
    info.Width = in.I32(at + 4);
    int64_t height = in.I32(at + 8);
    info.TopDown = height < 0;
    info.Height = height < 0 ? -height : height;
    planes = in.U16(at + 12);
    info.BitCount = in.U16(at + 14);
    // Short OS/2 headers leave out the trailing fields: they count as zero.
    info.Compression = hs >= 20 ? in.U32(at + 16) : 0;
    if (hs >= 32) {
      info.XPelsPerMeter = in.I32(at + 24);
      info.YPelsPerMeter = in.I32(at + 28);
    }
    info.ColorsUsed = hs >= 36 ? in.U32(at + 32) : 0;
  }
  if (planes != 1) return BmpBadHeader;

  switch (info.BitCount) {
    case 1: case 4: case 8: case 16: case 24: case 32: break;
    default: return BmpUnsupported;
  }
  if (IsOs2Only(hs) && info.Compression > kBiRle4) return BmpUnsupported;  // Huffman, RLE24
  switch (info.Compression) {
    case kBiRgb: break;
    case kBiRle8: if (info.BitCount != 8) return BmpUnsupported; break;
    case kBiRle4: if (info.BitCount != 4) return BmpUnsupported; break;
    case kBiBitfields:
    case kBiAlphaBitfields:
      if (info.BitCount != 16 && info.BitCount != 24 && info.BitCount != 32) return BmpUnsupported;
      break;
    default: return BmpUnsupported;
  }

  if (info.Width <= 0 || info.Height <= 0) return BmpBadSize;
  const uint64_t pixels = static_cast<uint64_t>(info.Width) * static_cast<uint64_t>(info.Height);
  if (pixels > BmpMaxPixels) return BmpBadSize;
  if (pixels > maxPixels) return BmpOverLimit;

  if (info.Compression == kBiBitfields || info.Compression == kBiAlphaBitfields) {
    const size_t maskCount = info.Compression == kBiAlphaBitfields ? 4 : 3;
    if (hs >= 52 && hs != 64) {
      for (size_t i = 0; i < 3; ++i) info.Masks[i] = in.U32(at + 40 + 4 * i);
      if (hs >= 56) info.Masks[3] = in.U32(at + 52);
    } else {
      // A 40-byte header keeps its masks right after it.
      if (!in.Has(at + hs, 4 * maskCount)) return BmpTooShort;
      for (size_t i = 0; i < maskCount; ++i) info.Masks[i] = in.U32(at + hs + 4 * i);
      info.MasksAfterHeader = 4 * maskCount;
    }
  } else if (info.BitCount == 16) {
    info.Masks[0] = 0x7C00;
    info.Masks[1] = 0x03E0;
    info.Masks[2] = 0x001F;
  }
  return BmpOk;
}

// Palette entries the pixel data may refer to, and the entries the header
// declares (which is what a packed DIB's pixel offset counts).
uint32_t DeclaredColors(const TDibInfo& info) {
  if (info.ColorsUsed != 0) return info.ColorsUsed;
  return info.BitCount <= 8 ? (1u << info.BitCount) : 0;
}

TBmpStatus ReadPalette(const TByteView& in, uint64_t start, uint64_t limit, const TDibInfo& info,
                       std::vector<uint32_t>& palette) {
  palette.clear();
  if (info.BitCount > 8) return BmpOk;
  uint64_t wanted = std::min<uint64_t>(DeclaredColors(info), 1u << info.BitCount);
  // A file whose pixels start early has room for fewer entries: take those.
  if (limit > start) wanted = std::min<uint64_t>(wanted, (limit - start) / info.PaletteEntrySize);
  if (!in.Has(start, wanted * info.PaletteEntrySize)) return BmpBadPalette;
  palette.reserve(wanted);
  for (uint64_t i = 0; i < wanted; ++i) {
    size_t at = static_cast<size_t>(start + i * info.PaletteEntrySize);
    palette.push_back(PixelFromRGB(in.U8(at + 2), in.U8(at + 1), in.U8(at)));
  }
  return BmpOk;
}

// One channel of a bit-field pixel, scaled to 0..255 the way common decoders do
// (value * 255 / largest value, truncated).
struct TChannel {
  uint32_t Mask = 0;
  int Shift = 0;
  uint32_t Max = 0;
  explicit TChannel(uint32_t mask) : Mask(mask) {
    if (mask == 0) return;
    while (((mask >> Shift) & 1u) == 0) ++Shift;
    Max = mask >> Shift;
  }
  uint32_t Extract(uint32_t value) const {
    if (Max == 0) return 0;
    uint64_t v = (value & Mask) >> Shift;
    return static_cast<uint32_t>(v * 255 / Max);
  }
};

uint64_t RowStride(int64_t width, int bitCount) {
  return ((static_cast<uint64_t>(width) * bitCount + 31) / 32) * 4;
}

bool RawDataFits(const TByteView& in, uint64_t offset, const TDibInfo& info) {
  const uint64_t stride = RowStride(info.Width, info.BitCount);
  const uint64_t lastRowBytes = (static_cast<uint64_t>(info.Width) * info.BitCount + 7) / 8;
  // The last row's padding is often missing in the wild: do not insist on it.
  return in.Has(offset, stride * (info.Height - 1) + lastRowBytes);
}

int ImageRow(const TDibInfo& info, int64_t storedRow) {
  return static_cast<int>(info.TopDown ? storedRow : info.Height - 1 - storedRow);
}

void FillFromIndices(TBmpImage& image) {
  for (size_t i = 0; i < image.Indices.size(); ++i) {
    uint8_t index = image.Indices[i];
    image.Pixels.Pixels[i] = index < image.Palette.size() ? image.Palette[index] : 0;
  }
}

TBmpStatus DecodeRaw(const TByteView& in, uint64_t offset, const TDibInfo& info, TBmpImage& image) {
  if (!RawDataFits(in, offset, info)) return BmpTruncated;
  const uint64_t stride = RowStride(info.Width, info.BitCount);
  const int width = static_cast<int>(info.Width);
  const bool indexed = info.BitCount <= 8;
  const TChannel red(info.Masks[0]), green(info.Masks[1]), blue(info.Masks[2]), alpha(info.Masks[3]);
  const bool bitfields = info.Compression == kBiBitfields || info.Compression == kBiAlphaBitfields ||
                         info.BitCount == 16;
  for (int64_t r = 0; r < info.Height; ++r) {
    const uint8_t* src = in.Ptr(static_cast<size_t>(offset + r * stride));
    const int y = ImageRow(info, r);
    uint32_t* dst = image.Pixels.Row(y);
    uint8_t* idx = indexed ? image.Indices.data() + static_cast<size_t>(y) * width : nullptr;
    for (int x = 0; x < width; ++x) {
      switch (info.BitCount) {
        case 1: idx[x] = (src[x >> 3] >> (7 - (x & 7))) & 1; break;
        case 4: idx[x] = (x & 1) ? (src[x >> 1] & 0x0F) : (src[x >> 1] >> 4); break;
        case 8: idx[x] = src[x]; break;
        case 16:
        case 24:
        case 32: {
          const uint8_t* p = src + static_cast<size_t>(x) * (info.BitCount / 8);
          uint32_t value = info.BitCount == 16   ? uint32_t{p[0]} | (uint32_t{p[1]} << 8)
                           : info.BitCount == 24 ? uint32_t{p[0]} | (uint32_t{p[1]} << 8) |
                                                       (uint32_t{p[2]} << 16)
                                                 : uint32_t{p[0]} | (uint32_t{p[1]} << 8) |
                                                       (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
          if (bitfields) {
            uint32_t px = PixelFromRGB(static_cast<uint8_t>(red.Extract(value)),
                                       static_cast<uint8_t>(green.Extract(value)),
                                       static_cast<uint8_t>(blue.Extract(value)));
            if (alpha.Max != 0) px |= alpha.Extract(value) << 24;
            dst[x] = px;
          } else {
            // 24 bits: B, G, R. 32 bits: B, G, R and a free byte, kept on top.
            dst[x] = value;
          }
          break;
        }
      }
    }
  }
  if (indexed) FillFromIndices(image);
  image.HasAlpha = bitfields && alpha.Max != 0;
  return BmpOk;
}

TBmpStatus DecodeRle(const TByteView& in, uint64_t offset, const TDibInfo& info, TBmpImage& image) {
  if (offset > in.Size()) return BmpBadOffset;
  const bool rle4 = info.Compression == kBiRle4;
  const int64_t width = info.Width;
  const int64_t height = info.Height;
  size_t pos = static_cast<size_t>(offset);
  const size_t end = in.Size();
  int64_t x = 0;
  int64_t row = 0;  // stored row: 0 is the first row in the data
  auto put = [&](uint8_t index) {
    if (x < width && row < height)
      image.Indices[static_cast<size_t>(ImageRow(info, row)) * width + x] = index;
    ++x;
  };
  // Pixels that a delta or an early end skips keep index 0.
  while (row < height) {
    if (end - pos < 2) break;  // no end-of-bitmap marker: take what is there
    const uint8_t count = in.U8(pos);
    const uint8_t value = in.U8(pos + 1);
    pos += 2;
    if (count > 0) {
      for (int i = 0; i < count && x < width; ++i)
        put(rle4 ? ((i & 1) ? (value & 0x0F) : (value >> 4)) : value);
      continue;
    }
    if (value == 0) {  // end of line
      x = 0;
      ++row;
    } else if (value == 1) {  // end of bitmap
      break;
    } else if (value == 2) {  // delta: move right and up (in stored order)
      if (end - pos < 2) return BmpBadRle;
      x += in.U8(pos);
      row += in.U8(pos + 1);
      pos += 2;
    } else {  // absolute run of `value` pixels, padded to a 16-bit boundary
      const size_t bytes = rle4 ? (value + 1u) / 2 : value;
      const size_t padded = (bytes + 1) & ~size_t{1};
      if (end - pos < bytes) return BmpBadRle;
      for (int i = 0; i < value; ++i) {
        uint8_t b = in.U8(pos + (rle4 ? i / 2 : i));
        put(rle4 ? ((i & 1) ? (b & 0x0F) : (b >> 4)) : b);
      }
      pos += std::min(padded, end - pos);
    }
  }
  FillFromIndices(image);
  return BmpOk;
}

TBmpStatus DecodeDibUnguarded(const TByteView& in, size_t headerAt, uint64_t pixelOffset, bool fromFile,
                              uint64_t maxPixels, TBmpImage& image) {
  TDibInfo info;
  TBmpStatus status = ReadInfoHeader(in, headerAt, maxPixels, info);
  if (status != BmpOk) return status;

  const uint64_t paletteAt = uint64_t{headerAt} + info.HeaderSize + info.MasksAfterHeader;
  const uint64_t computedOffset = paletteAt + uint64_t{DeclaredColors(info)} * info.PaletteEntrySize;
  if (!fromFile || pixelOffset == 0) pixelOffset = computedOffset;

  TBmpImage result;
  status = ReadPalette(in, paletteAt, pixelOffset, info, result.Palette);
  if (status != BmpOk) return status;
  if (pixelOffset < uint64_t{headerAt} + info.HeaderSize || pixelOffset > in.Size()) return BmpBadOffset;
  const bool rle = info.Compression == kBiRle4 || info.Compression == kBiRle8;
  // Check before allocating, so a small file cannot ask for a large image.
  if (!rle && !RawDataFits(in, pixelOffset, info)) return BmpTruncated;

  result.BitCount = info.BitCount;
  result.TopDown = info.TopDown;
  if (info.BitCount == 16 || info.Compression == kBiBitfields || info.Compression == kBiAlphaBitfields)
    std::copy(std::begin(info.Masks), std::end(info.Masks), std::begin(result.Masks));
  result.XPelsPerMeter = info.XPelsPerMeter;
  result.YPelsPerMeter = info.YPelsPerMeter;
  result.Pixels = TPixelBuffer(static_cast<int>(info.Width), static_cast<int>(info.Height));
  if (info.BitCount <= 8) result.Indices.assign(result.Pixels.Pixels.size(), 0);

  status = rle ? DecodeRle(in, pixelOffset, info, result)
               : DecodeRaw(in, pixelOffset, info, result);
  if (status != BmpOk) return status;
  image = std::move(result);
  return BmpOk;
}

// An image within the caps may still not fit in what is left of a 32-bit process.
TBmpStatus DecodeDib(const TByteView& in, size_t headerAt, uint64_t pixelOffset, bool fromFile,
                     uint64_t maxPixels, TBmpImage& image) {
  try {
    return DecodeDibUnguarded(in, headerAt, pixelOffset, fromFile, maxPixels, image);
  } catch (const std::bad_alloc&) {
    image = TBmpImage();
    return BmpOutOfMemory;
  }
}

void PutU16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void PutU32(std::vector<uint8_t>& out, uint32_t v) {
  PutU16(out, v & 0xFFFF);
  PutU16(out, v >> 16);
}

// File header, info header and palette of a bottom-up BI_RGB file.
std::vector<uint8_t> StartFile(int width, int height, int bitCount, const std::vector<uint32_t>& palette) {
  const uint32_t stride = static_cast<uint32_t>(RowStride(width, bitCount));
  const uint32_t imageSize = stride * static_cast<uint32_t>(height);
  const uint32_t offBits = static_cast<uint32_t>(kFileHeaderSize + kInfoHeaderSize + 4 * palette.size());
  std::vector<uint8_t> out;
  out.reserve(offBits + imageSize);
  out.push_back('B');
  out.push_back('M');
  PutU32(out, offBits + imageSize);
  PutU32(out, 0);
  PutU32(out, offBits);
  PutU32(out, kInfoHeaderSize);
  PutU32(out, static_cast<uint32_t>(width));
  PutU32(out, static_cast<uint32_t>(height));
  PutU16(out, 1);
  PutU16(out, static_cast<uint32_t>(bitCount));
  PutU32(out, kBiRgb);
  PutU32(out, imageSize);
  PutU32(out, 0);
  PutU32(out, 0);
  const bool fullPalette = bitCount <= 8 && palette.size() == (1u << bitCount);
  PutU32(out, fullPalette ? 0 : static_cast<uint32_t>(palette.size()));
  PutU32(out, 0);
  for (uint32_t entry : palette) {
    out.push_back(PixelBlue(entry));
    out.push_back(PixelGreen(entry));
    out.push_back(PixelRed(entry));
    out.push_back(0);
  }
  return out;
}

bool EncodableSize(int width, int height) {
  return width > 0 && height > 0 &&
         static_cast<uint64_t>(width) * static_cast<uint64_t>(height) <= BmpMaxPixels;
}

}  // namespace

const char* BmpStatusText(TBmpStatus status) {
  switch (status) {
    case BmpOk: return "no error";
    case BmpTooShort: return "BMP data is shorter than its headers";
    case BmpBadSignature: return "not a BMP file";
    case BmpBadHeader: return "BMP header is invalid";
    case BmpBadSize: return "BMP image size is invalid or too large";
    case BmpUnsupported: return "BMP format is not supported";
    case BmpBadPalette: return "BMP palette does not fit in the data";
    case BmpBadOffset: return "BMP pixel offset is invalid";
    case BmpTruncated: return "BMP pixel data is truncated";
    case BmpBadRle: return "BMP RLE data is invalid";
    case BmpOutOfMemory: return "BMP image does not fit in memory";
    case BmpOverLimit: return "BMP image is larger than allowed here";
  }
  return "unknown BMP error";
}

TBmpStatus DecodeBmpFile(const uint8_t* data, size_t size, TBmpImage& image, uint64_t maxPixels) {
  image = TBmpImage();
  TByteView in(data, size);
  if (!in.Has(0, kFileHeaderSize)) return BmpTooShort;
  if (in.U8(0) != 'B' || in.U8(1) != 'M') return BmpBadSignature;
  return DecodeDib(in, kFileHeaderSize, in.U32(10), true, maxPixels, image);
}

TBmpStatus DecodePackedDib(const uint8_t* data, size_t size, TBmpImage& image, uint64_t maxPixels) {
  image = TBmpImage();
  TByteView in(data, size);
  return DecodeDib(in, 0, 0, false, maxPixels, image);
}

std::vector<uint32_t> DefaultBmpPalette(int bitCount) {
  std::vector<uint32_t> palette;
  if (bitCount == 1) {
    palette = {0x000000, 0xFFFFFF};
  } else if (bitCount == 4) {
    palette = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0x808080,
               0xC0C0C0, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
  } else if (bitCount == 8) {
    for (uint32_t i = 0; i < 256; ++i) palette.push_back(PixelFromRGB(i, i, i));
  }
  return palette;
}

int NearestPaletteIndex(const std::vector<uint32_t>& palette, uint32_t pixel) {
  int best = 0;
  int64_t bestDistance = INT64_MAX;
  for (size_t i = 0; i < palette.size(); ++i) {
    int64_t dr = int64_t{PixelRed(palette[i])} - PixelRed(pixel);
    int64_t dg = int64_t{PixelGreen(palette[i])} - PixelGreen(pixel);
    int64_t db = int64_t{PixelBlue(palette[i])} - PixelBlue(pixel);
    int64_t d = dr * dr + dg * dg + db * db;
    if (d < bestDistance) {
      bestDistance = d;
      best = static_cast<int>(i);
      if (d == 0) break;
    }
  }
  return best;
}

std::vector<uint8_t> EncodeIndexedBmpFile(int width, int height, int bitCount,
                                          const std::vector<uint32_t>& palette,
                                          const std::vector<uint8_t>& indices) {
  if (bitCount != 1 && bitCount != 4) bitCount = 8;
  if (!EncodableSize(width, height) ||
      indices.size() != static_cast<size_t>(width) * static_cast<size_t>(height))
    return {};
  std::vector<uint32_t> pal = palette;
  if (pal.size() > (1u << bitCount)) pal.resize(1u << bitCount);
  if (pal.empty()) pal = DefaultBmpPalette(bitCount);
  std::vector<uint8_t> out = StartFile(width, height, bitCount, pal);
  const size_t stride = static_cast<size_t>(RowStride(width, bitCount));
  const uint8_t mask = static_cast<uint8_t>((1u << bitCount) - 1);
  for (int y = height - 1; y >= 0; --y) {
    const uint8_t* src = indices.data() + static_cast<size_t>(y) * width;
    std::vector<uint8_t> row(stride, 0);
    for (int x = 0; x < width; ++x) {
      uint8_t v = src[x] & mask;
      if (bitCount == 8) row[x] = v;
      else if (bitCount == 4) row[x >> 1] |= (x & 1) ? v : static_cast<uint8_t>(v << 4);
      else row[x >> 3] |= static_cast<uint8_t>(v << (7 - (x & 7)));
    }
    out.insert(out.end(), row.begin(), row.end());
  }
  return out;
}

std::vector<uint8_t> EncodeBmpFile(const TPixelBuffer& pixels, int bitCount,
                                   const std::vector<uint32_t>& palette) {
  if (!EncodableSize(pixels.Width, pixels.Height) ||
      pixels.Pixels.size() != static_cast<size_t>(pixels.Width) * pixels.Height)
    return {};
  if (bitCount == 1 || bitCount == 4 || bitCount == 8) {
    std::vector<uint32_t> pal = palette;
    if (pal.size() > (1u << bitCount)) pal.resize(1u << bitCount);
    if (pal.empty()) pal = DefaultBmpPalette(bitCount);
    std::unordered_map<uint32_t, uint8_t> cache;
    std::vector<uint8_t> indices(pixels.Pixels.size());
    for (size_t i = 0; i < indices.size(); ++i) {
      uint32_t rgb = pixels.Pixels[i] & 0xFFFFFF;
      auto it = cache.find(rgb);
      if (it == cache.end())
        it = cache.emplace(rgb, static_cast<uint8_t>(NearestPaletteIndex(pal, rgb))).first;
      indices[i] = it->second;
    }
    return EncodeIndexedBmpFile(pixels.Width, pixels.Height, bitCount, pal, indices);
  }
  if (bitCount != 32) bitCount = 24;
  std::vector<uint8_t> out = StartFile(pixels.Width, pixels.Height, bitCount, {});
  const size_t stride = static_cast<size_t>(RowStride(pixels.Width, bitCount));
  for (int y = pixels.Height - 1; y >= 0; --y) {
    const uint32_t* src = pixels.Row(y);
    const size_t rowStart = out.size();
    for (int x = 0; x < pixels.Width; ++x) {
      out.push_back(PixelBlue(src[x]));
      out.push_back(PixelGreen(src[x]));
      out.push_back(PixelRed(src[x]));
      if (bitCount == 32) out.push_back(static_cast<uint8_t>(src[x] >> 24));
    }
    out.resize(rowStart + stride, 0);
  }
  return out;
}
