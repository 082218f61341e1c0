#include "classlib/PngImage_win.h"

#include <utility>

namespace {
// A stored (uncompressed) file of the largest image the decoder takes stays below this.
constexpr int64_t kMaxFileBytes = 256 << 20;
}  // namespace

VELMORA_PUBLISH(TPngImage) {
  p.Integer("Width", &TPngImage::Width).Integer("Height", &TPngImage::Height);
}

TPngImage::~TPngImage() { DropBitmaps(); }

void TPngImage::DropBitmaps() {
  for (HBITMAP& b : bitmaps_) {
    if (b) DeleteObject(b);
    b = nullptr;
  }
}

void TPngImage::LoadFromBytes(const std::vector<uint8_t>& bytes) {
  TDecodedPng decoded;
  if (!bytes.empty()) {
    const TPngStatus status = DecodePng(bytes.data(), bytes.size(), decoded);
    if (status != PngOk) throw EInvalidGraphic(PngStatusText(status));
  }
  DropBitmaps();
  data_ = bytes;
  pixels_ = std::move(decoded.Pixels);
  if (OnChange) OnChange();
}

void TPngImage::LoadFromStream(TStream& stream) {
  const int64_t left = stream.Size() - stream.Position();
  if (left > kMaxFileBytes) throw EInvalidGraphic(PngStatusText(PngOverLimit));
  std::vector<uint8_t> bytes(static_cast<size_t>(left > 0 ? left : 0));
  if (!bytes.empty()) stream.ReadBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
  LoadFromBytes(bytes);
}

void TPngImage::LoadFromFile(const std::string& fileName) {
  TFileStream stream(fileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(stream);
}

void TPngImage::Assign(const TPersistent* source) {
  if (auto* png = dynamic_cast<const TPngImage*>(source)) {
    if (png != this) LoadFromBytes(png->data_);
    return;
  }
  TPersistent::Assign(source);
}

HBITMAP TPngImage::Premultiplied(bool grey) {
  HBITMAP& made = bitmaps_[grey ? 1 : 0];
  if (made || pixels_.Empty()) return made;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = pixels_.Width;
  info.bmiHeader.biHeight = -pixels_.Height;  // top-down, as the pixels are
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  made = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!made) return nullptr;
  auto* out = static_cast<uint32_t*>(bits);
  for (size_t i = 0; i < pixels_.Pixels.size(); i++) {
    const uint32_t p = pixels_.Pixels[i];
    uint32_t a = p >> 24, r = PixelRed(p), g = PixelGreen(p), b = PixelBlue(p);
    if (grey) {
      r = g = b = (r * 77 + g * 150 + b * 29) >> 8;
      a /= 2;
    }
    // AlphaBlend takes colours already multiplied by their alpha.
    out[i] = (a << 24) | (((r * a + 127) / 255) << 16) | (((g * a + 127) / 255) << 8) | ((b * a + 127) / 255);
  }
  GdiFlush();
  return made;
}

void TPngImage::Draw(HDC dc, int x, int y, bool enabled) {
  HBITMAP bitmap = Premultiplied(!enabled);
  if (!bitmap || !dc) return;
  HDC source = CreateCompatibleDC(dc);
  if (!source) return;
  HGDIOBJ old = SelectObject(source, bitmap);
  const BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  AlphaBlend(dc, x, y, Width(), Height(), source, 0, 0, Width(), Height(), blend);
  SelectObject(source, old);
  DeleteDC(source);
}
