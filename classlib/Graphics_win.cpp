#include "classlib/Graphics_win.h"

#include <algorithm>
#include <cstring>

const TEnumType FontStyleType("TFontStyle", {"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"});
const TEnumType BrushStyleType("TBrushStyle", {"bsSolid", "bsClear"});
const TEnumType PenStyleType("TPenStyle", {"psSolid", "psDash", "psDot", "psDashDot", "psDashDotDot", "psClear",
                                           "psInsideFrame"});
const TEnumType PixelFormatType("TPixelFormat", {"pfDevice", "pf1bit", "pf4bit", "pf8bit", "pf15bit", "pf16bit",
                                                 "pf24bit", "pf32bit"});

VELMORA_PUBLISH(TFont) {
  p.String("Name", &TFont::Name, &TFont::SetName)
      .Integer("Size", &TFont::Size, &TFont::SetSize)
      .Integer("Height", &TFont::Height, &TFont::SetHeight)
      .Integer("Color", &TFont::Color, &TFont::SetColor)
      .Set("Style", FontStyleType, &TFont::Style, &TFont::SetStyle)
      .Integer("Charset", &TFont::Charset, &TFont::SetCharset);
}

VELMORA_PUBLISH(TBrush) {
  p.Integer("Color", &TBrush::Color, &TBrush::SetColor).Enum("Style", BrushStyleType, &TBrush::Style, &TBrush::SetStyle);
}

VELMORA_PUBLISH(TPen) {
  p.Integer("Color", &TPen::Color, &TPen::SetColor)
      .Integer("Width", &TPen::Width, &TPen::SetWidth)
      .Enum("Style", PenStyleType, &TPen::Style, &TPen::SetStyle);
}

VELMORA_PUBLISH(TBitmap) {
  p.Integer("Width", &TBitmap::Width)
      .Integer("Height", &TBitmap::Height)
      .Enum("PixelFormat", PixelFormatType, &TBitmap::PixelFormat, &TBitmap::SetPixelFormat)
      .Boolean("Transparent", &TBitmap::GetTransparent, &TBitmap::SetTransparent);
}

COLORREF ColorToRGB(TColor color) {
  if (IsSystemColor(color)) return GetSysColor(SystemColorIndex(color));
  if (color == clNone || color == clDefault) return RGB(0, 0, 0);
  return static_cast<COLORREF>(color) & 0xFFFFFF;
}

// ---------------------------------------------------------------------------
// TGraphicsObject

TGraphicsObject::~TGraphicsObject() { DestroyHandle(); }

HGDIOBJ TGraphicsObject::GdiHandle() {
  if (!handle_) handle_ = MakeHandle();
  return handle_;
}

void TGraphicsObject::Changed() {
  // The canvas selects the old handle out first; a selected object cannot be deleted.
  if (OnChange) OnChange();
  DestroyHandle();
}

void TGraphicsObject::DestroyHandle() {
  if (handle_) DeleteObject(handle_);
  handle_ = nullptr;
}

void TGraphicsObject::AdoptHandle(HGDIOBJ handle) {
  if (OnChange) OnChange();
  DestroyHandle();
  handle_ = handle;
}

// ---------------------------------------------------------------------------
// TFont

TFont::TFont() : name_("MS Sans Serif"), height_(FontHeightFromSize(8, 96)) {}

void TFont::SetName(const std::string& name) {
  if (name == name_) return;
  name_ = name.substr(0, LF_FACESIZE - 1);
  Changed();
}

void TFont::SetHeight(int height) {
  if (height == height_) return;
  height_ = height;
  Changed();
}

void TFont::SetColor(TColor color) {
  if (color == color_) return;
  color_ = color;
  if (OnChange) OnChange();
}

void TFont::SetStyle(TFontStyles style) {
  if (style == style_) return;
  style_ = style;
  Changed();
}

void TFont::SetCharset(BYTE charset) {
  if (charset == charset_) return;
  charset_ = charset;
  Changed();
}

LOGFONTA TFont::LogFont() const {
  LOGFONTA lf = extra_;
  lf.lfHeight = height_;
  lf.lfWeight = (style_ & fsBold) ? FW_BOLD : FW_NORMAL;
  lf.lfItalic = (style_ & fsItalic) ? 1 : 0;
  lf.lfUnderline = (style_ & fsUnderline) ? 1 : 0;
  lf.lfStrikeOut = (style_ & fsStrikeOut) ? 1 : 0;
  lf.lfCharSet = charset_;
  std::memset(lf.lfFaceName, 0, sizeof lf.lfFaceName);
  std::memcpy(lf.lfFaceName, name_.data(), std::min<size_t>(name_.size(), LF_FACESIZE - 1));
  return lf;
}

void TFont::SetLogFont(const LOGFONTA& logFont) {
  extra_ = logFont;
  height_ = logFont.lfHeight;
  style_ = static_cast<TFontStyles>((logFont.lfWeight >= FW_BOLD ? fsBold : 0) |
                                    (logFont.lfItalic ? fsItalic : 0) |
                                    (logFont.lfUnderline ? fsUnderline : 0) |
                                    (logFont.lfStrikeOut ? fsStrikeOut : 0));
  charset_ = logFont.lfCharSet;
  name_.assign(logFont.lfFaceName, strnlen(logFont.lfFaceName, LF_FACESIZE));
  Changed();
}

void TFont::SetHandle(HFONT font) {
  LOGFONTA lf{};
  if (font && GetObjectA(font, sizeof lf, &lf) == sizeof lf) {
    SetLogFont(lf);
    AdoptHandle(font);
  } else {
    if (font) DeleteObject(font);
  }
}

void TFont::Assign(const TFont& source) {
  if (&source == this) return;
  extra_ = source.extra_;
  name_ = source.name_;
  height_ = source.height_;
  style_ = source.style_;
  charset_ = source.charset_;
  color_ = source.color_;
  PixelsPerInch = source.PixelsPerInch;
  Changed();
}

void TFont::Assign(const TPersistent* source) {
  if (const TFont* font = source && source->Is<TFont>() ? static_cast<const TFont*>(source) : nullptr)
    Assign(*font);
  else
    TGraphicsObject::Assign(source);
}

HGDIOBJ TFont::MakeHandle() {
  LOGFONTA lf = LogFont();
  return CreateFontIndirectA(&lf);
}

// ---------------------------------------------------------------------------
// TBrush, TPen

void TBrush::SetColor(TColor color) {
  if (color == color_) return;
  color_ = color;
  Changed();
}

void TBrush::SetStyle(TBrushStyle style) {
  if (style == style_) return;
  style_ = style;
  Changed();
}

void TBrush::Assign(const TBrush& source) {
  if (&source == this) return;
  color_ = source.color_;
  style_ = source.style_;
  Changed();
}

void TBrush::Assign(const TPersistent* source) {
  if (source && source->Is<TBrush>())
    Assign(*static_cast<const TBrush*>(source));
  else
    TGraphicsObject::Assign(source);
}

HGDIOBJ TBrush::MakeHandle() {
  LOGBRUSH lb{};
  lb.lbStyle = style_ == TBrushStyle::bsClear ? BS_HOLLOW : BS_SOLID;
  lb.lbColor = ColorToRGB(color_);
  return CreateBrushIndirect(&lb);
}

void TPen::SetColor(TColor color) {
  if (color == color_) return;
  color_ = color;
  Changed();
}

void TPen::SetWidth(int width) {
  width = std::max(width, 1);
  if (width == width_) return;
  width_ = width;
  Changed();
}

void TPen::SetStyle(TPenStyle style) {
  if (style == style_) return;
  style_ = style;
  Changed();
}

void TPen::Assign(const TPen& source) {
  if (&source == this) return;
  color_ = source.color_;
  width_ = source.width_;
  style_ = source.style_;
  Changed();
}

void TPen::Assign(const TPersistent* source) {
  if (source && source->Is<TPen>())
    Assign(*static_cast<const TPen*>(source));
  else
    TGraphicsObject::Assign(source);
}

HGDIOBJ TPen::MakeHandle() {
  static const int styles[] = {PS_SOLID, PS_DASH, PS_DOT, PS_DASHDOT, PS_DASHDOTDOT, PS_NULL, PS_INSIDEFRAME};
  return CreatePen(styles[static_cast<int>(style_)], width_, ColorToRGB(color_));
}

// ---------------------------------------------------------------------------
// TCanvas

TCanvas::TCanvas() {
  InitializeCriticalSection(&lock_);
  font_.OnChange = [this] {
    if (fontSelected_ && dc_) SelectObject(dc_, oldFont_);
    fontSelected_ = false;
  };
  pen_.OnChange = [this] {
    if (penSelected_ && dc_) SelectObject(dc_, oldPen_);
    penSelected_ = false;
  };
  brush_.OnChange = [this] {
    if (brushSelected_ && dc_) SelectObject(dc_, oldBrush_);
    brushSelected_ = false;
  };
}

TCanvas::~TCanvas() {
  DeselectTools();
  font_.OnChange = nullptr;
  pen_.OnChange = nullptr;
  brush_.OnChange = nullptr;
  DeleteCriticalSection(&lock_);
}

HDC TCanvas::Handle() {
  if (!dc_) CreateHandle();
  if (!dc_) throw EInvalidOperation("Canvas does not allow drawing");
  return dc_;
}

void TCanvas::SetHandle(HDC dc) {
  if (dc == dc_) return;
  DeselectTools();
  dc_ = dc;
}

void TCanvas::DeselectTools() {
  if (dc_) {
    if (fontSelected_) SelectObject(dc_, oldFont_);
    if (penSelected_) SelectObject(dc_, oldPen_);
    if (brushSelected_) SelectObject(dc_, oldBrush_);
  }
  fontSelected_ = penSelected_ = brushSelected_ = false;
}

void TCanvas::RequireState() {
  HDC dc = Handle();
  if (!fontSelected_) {
    oldFont_ = SelectObject(dc, font_.Handle());
    fontSelected_ = true;
  }
  if (!penSelected_) {
    oldPen_ = SelectObject(dc, pen_.Handle());
    penSelected_ = true;
  }
  if (!brushSelected_) {
    oldBrush_ = SelectObject(dc, brush_.Handle());
    brushSelected_ = true;
  }
  // Colours are DC state, not objects: set them each time.
  SetTextColor(dc, ColorToRGB(font_.Color()));
  if (brush_.Style() == TBrushStyle::bsClear) {
    SetBkMode(dc, TRANSPARENT);
  } else {
    SetBkMode(dc, OPAQUE);
    SetBkColor(dc, ColorToRGB(brush_.Color()));
  }
}

void TCanvas::Lock() {
  EnterCriticalSection(&lock_);
  ++lockCount_;
}

bool TCanvas::TryLock() {
  if (!TryEnterCriticalSection(&lock_)) return false;
  ++lockCount_;
  return true;
}

void TCanvas::Unlock() {
  if (lockCount_ <= 0) return;
  --lockCount_;
  LeaveCriticalSection(&lock_);
}

POINT TCanvas::PenPos() {
  POINT p{};
  GetCurrentPositionEx(Handle(), &p);
  return p;
}

void TCanvas::MoveTo(int x, int y) { MoveToEx(Handle(), x, y, nullptr); }

void TCanvas::LineTo(int x, int y) {
  RequireState();
  ::LineTo(dc_, x, y);
}

void TCanvas::Polyline(const std::vector<POINT>& points) {
  if (points.empty()) return;
  RequireState();
  ::Polyline(dc_, points.data(), static_cast<int>(points.size()));
}

void TCanvas::Polygon(const std::vector<POINT>& points) {
  if (points.empty()) return;
  RequireState();
  ::Polygon(dc_, points.data(), static_cast<int>(points.size()));
}

void TCanvas::Rectangle(int left, int top, int right, int bottom) {
  RequireState();
  ::Rectangle(dc_, left, top, right, bottom);
}

void TCanvas::RoundRect(int left, int top, int right, int bottom, int cornerWidth, int cornerHeight) {
  RequireState();
  ::RoundRect(dc_, left, top, right, bottom, cornerWidth, cornerHeight);
}

void TCanvas::Ellipse(int left, int top, int right, int bottom) {
  RequireState();
  ::Ellipse(dc_, left, top, right, bottom);
}

void TCanvas::FillRect(const RECT& rect) {
  RequireState();
  if (brush_.Style() != TBrushStyle::bsClear) ::FillRect(dc_, &rect, brush_.Handle());
}

void TCanvas::FrameRect(const RECT& rect) {
  RequireState();
  ::FrameRect(dc_, &rect, brush_.Handle());
}

void TCanvas::DrawFocusRect(const RECT& rect) {
  RequireState();
  ::DrawFocusRect(dc_, &rect);
}

void TCanvas::TextOut(int x, int y, const std::string& text) {
  RequireState();
  ::TextOutA(dc_, x, y, text.data(), static_cast<int>(text.size()));
  MoveToEx(dc_, x + TextWidth(text), y, nullptr);
}

void TCanvas::TextRect(const RECT& rect, int x, int y, const std::string& text) {
  RequireState();
  UINT options = ETO_CLIPPED | (brush_.Style() != TBrushStyle::bsClear ? ETO_OPAQUE : 0);
  ::ExtTextOutA(dc_, x, y, options, &rect, text.data(), static_cast<UINT>(text.size()), nullptr);
}

int TCanvas::DrawText(RECT& rect, const std::string& text, UINT format) {
  RequireState();
  return ::DrawTextA(dc_, text.data(), static_cast<int>(text.size()), &rect, format);
}

SIZE TCanvas::TextExtent(const std::string& text) {
  RequireState();
  SIZE size{};
  GetTextExtentPoint32A(dc_, text.data(), static_cast<int>(text.size()), &size);
  return size;
}

void TCanvas::Draw(int x, int y, TBitmap& bitmap) {
  if (bitmap.Empty()) return;
  RECT r{x, y, x + bitmap.Width(), y + bitmap.Height()};
  StretchDraw(r, bitmap);
}

void TCanvas::StretchDraw(const RECT& rect, TBitmap& bitmap) {
  if (bitmap.Empty() || rect.right <= rect.left || rect.bottom <= rect.top) return;
  RequireState();
  HDC src = bitmap.Canvas().Handle();
  const int w = rect.right - rect.left, h = rect.bottom - rect.top;
  if (bitmap.Transparent) {
    ::TransparentBlt(dc_, rect.left, rect.top, w, h, src, 0, 0, bitmap.Width(), bitmap.Height(),
                     ColorToRGB(bitmap.TransparentColor()));
  } else {
    int oldMode = SetStretchBltMode(dc_, COLORONCOLOR);
    ::StretchBlt(dc_, rect.left, rect.top, w, h, src, 0, 0, bitmap.Width(), bitmap.Height(), CopyMode);
    SetStretchBltMode(dc_, oldMode);
  }
}

void TCanvas::CopyRect(const RECT& destRect, TCanvas& source, const RECT& sourceRect) {
  RequireState();
  HDC src = source.Handle();
  int oldMode = SetStretchBltMode(dc_, COLORONCOLOR);
  ::StretchBlt(dc_, destRect.left, destRect.top, destRect.right - destRect.left, destRect.bottom - destRect.top,
               src, sourceRect.left, sourceRect.top, sourceRect.right - sourceRect.left,
               sourceRect.bottom - sourceRect.top, CopyMode);
  SetStretchBltMode(dc_, oldMode);
}

TColor TCanvas::Pixel(int x, int y) {
  COLORREF c = ::GetPixel(Handle(), x, y);
  return c == CLR_INVALID ? clNone : static_cast<TColor>(c);
}

void TCanvas::SetPixel(int x, int y, TColor color) { ::SetPixelV(Handle(), x, y, ColorToRGB(color)); }

RECT TCanvas::ClipRect() {
  RECT r{};
  GetClipBox(Handle(), &r);
  return r;
}

// ---------------------------------------------------------------------------
// TBitmap

// The bitmap's canvas: a memory DC with the DIB selected, made on first use and
// dropped whenever the DIB is replaced or handed out.
class TBitmap::TBitmapCanvas : public TCanvas {
 public:
  explicit TBitmapCanvas(TBitmap& owner) : owner_(owner) {}
  ~TBitmapCanvas() override { FreeDc(); }
  void FreeDc() {
    if (!memDc_) return;
    SetHandle(nullptr);
    SelectObject(memDc_, oldBitmap_);
    DeleteDC(memDc_);
    memDc_ = nullptr;
  }

 protected:
  void CreateHandle() override {
    if (!owner_.dib_) throw EInvalidOperation("Canvas does not allow drawing");
    memDc_ = CreateCompatibleDC(nullptr);
    if (!memDc_) throw EInvalidGraphicOperation("Out of system resources");
    oldBitmap_ = SelectObject(memDc_, owner_.dib_);
    SetHandle(memDc_);
  }

 private:
  TBitmap& owner_;
  HDC memDc_ = nullptr;
  HGDIOBJ oldBitmap_ = nullptr;
};

TBitmap::TBitmap() = default;

TBitmap::TBitmap(int width, int height, TPixelFormat format) {
  format_ = format;
  Rebuild(width, height, format, {});
}

TBitmap::~TBitmap() {
  canvas_.reset();
  if (dib_) DeleteObject(dib_);
}

size_t TBitmap::Stride() const {
  return ((static_cast<size_t>(width_) * PixelFormatBits(format_) + 31) / 32) * 4;
}

void TBitmap::FreeCanvasDc() {
  if (canvas_) canvas_->FreeDc();
}

void TBitmap::Changed() {
  if (OnChange) OnChange();
}

// Replaces the DIB by an empty one of the given shape (black / index 0).
void TBitmap::Rebuild(int width, int height, TPixelFormat format, const std::vector<uint32_t>& palette) {
  if (width < 0 || height < 0 ||
      static_cast<uint64_t>(width) * static_cast<uint64_t>(height) > BmpMaxPixels)
    throw EInvalidGraphicOperation("Invalid bitmap size");
  const int bits = PixelFormatBits(format);
  std::vector<uint32_t> pal = palette;
  if (bits <= 8) {
    if (pal.empty()) pal = DefaultBmpPalette(bits);
    pal.resize(size_t{1} << bits, 0);  // indices beyond a short palette read as black
  } else {
    pal.clear();
  }
  HBITMAP dib = nullptr;
  uint8_t* bitsPtr = nullptr;
  if (width > 0 && height > 0) {
    struct {
      BITMAPINFOHEADER Header;
      RGBQUAD Colors[256];
    } info{};
    info.Header.biSize = sizeof(BITMAPINFOHEADER);
    info.Header.biWidth = width;
    info.Header.biHeight = height;
    info.Header.biPlanes = 1;
    info.Header.biBitCount = static_cast<WORD>(bits);
    info.Header.biCompression = BI_RGB;
    if (format == TPixelFormat::pf16bit) {
      info.Header.biCompression = BI_BITFIELDS;
      DWORD masks[3] = {0xF800, 0x07E0, 0x001F};
      std::memcpy(info.Colors, masks, sizeof masks);
    }
    info.Header.biClrUsed = static_cast<DWORD>(pal.size());
    for (size_t i = 0; i < pal.size(); ++i)
      info.Colors[i] = RGBQUAD{PixelBlue(pal[i]), PixelGreen(pal[i]), PixelRed(pal[i]), 0};
    void* p = nullptr;
    dib = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &p, nullptr, 0);
    if (!dib || !p) throw EInvalidGraphicOperation("Out of system resources");
    bitsPtr = static_cast<uint8_t*>(p);
  }
  FreeCanvasDc();
  if (dib_) DeleteObject(dib_);
  dib_ = dib;
  bits_ = bitsPtr;
  width_ = dib ? width : 0;
  height_ = dib ? height : 0;
  format_ = format;
  palette_ = pal;
}

void TBitmap::SetSize(int width, int height) {
  if (width == width_ && height == height_) return;
  TPixelBuffer old = ToPixelBuffer();
  const TPixelFormat format = format_;
  const std::vector<uint32_t> palette = palette_;
  Rebuild(width, height, format, palette);
  if (!Empty() && !old.Empty()) {
    TPixelBuffer grown(width_, height_);
    for (int y = 0; y < std::min(height_, old.Height); ++y)
      for (int x = 0; x < std::min(width_, old.Width); ++x) grown.At(x, y) = old.At(x, y);
    // Fresh pixels take palette index 0's colour in paletted formats.
    if (PixelFormatBits(format_) <= 8)
      for (int y = 0; y < height_; ++y)
        for (int x = 0; x < width_; ++x)
          if (y >= old.Height || x >= old.Width) grown.At(x, y) = palette_[0];
    FromPixelBuffer(grown);
  }
  Changed();
}

void TBitmap::SetPixelFormat(TPixelFormat format) {
  if (format == format_) return;
  TPixelBuffer pixels = ToPixelBuffer();
  Rebuild(width_, height_, format, {});
  if (!Empty()) FromPixelBuffer(pixels);
  Changed();
}

void TBitmap::SetPalette(const std::vector<uint32_t>& palette) {
  if (!dib_ || PixelFormatBits(format_) > 8) return;
  palette_ = palette;
  palette_.resize(size_t{1} << PixelFormatBits(format_), 0);
  std::vector<RGBQUAD> colors;
  for (uint32_t c : palette_) colors.push_back(RGBQUAD{PixelBlue(c), PixelGreen(c), PixelRed(c), 0});
  HDC dc = Canvas().Handle();
  SetDIBColorTable(dc, 0, static_cast<UINT>(colors.size()), colors.data());
  Changed();
}

void* TBitmap::ScanLine(int row) {
  if (!bits_ || row < 0 || row >= height_) throw EInvalidGraphicOperation("Scan line index out of range");
  GdiFlush();  // drawing may still be queued
  return bits_ + static_cast<size_t>(height_ - 1 - row) * Stride();
}

HBITMAP TBitmap::Handle() {
  FreeCanvasDc();
  return dib_;
}

TCanvas& TBitmap::Canvas() {
  if (!canvas_) canvas_ = std::make_unique<TBitmapCanvas>(*this);
  return *canvas_;
}

TColor TBitmap::TransparentColor() {
  if (transparentMode_ == TTransparentMode::tmFixed && transparentColor_ != clDefault) return transparentColor_;
  if (Empty()) return clNone;
  return Canvas().Pixel(0, height_ - 1);
}

void TBitmap::SetTransparentColor(TColor color) {
  transparentColor_ = color;
  transparentMode_ = color == clDefault ? TTransparentMode::tmAuto : TTransparentMode::tmFixed;
}

void TBitmap::Assign(const TBitmap& source) {
  if (&source == this) return;
  Rebuild(source.width_, source.height_, source.format_, source.palette_);
  if (bits_ && source.bits_) {
    GdiFlush();
    std::memcpy(bits_, source.bits_, Stride() * height_);
  }
  Transparent = source.Transparent;
  transparentMode_ = source.transparentMode_;
  transparentColor_ = source.transparentColor_;
  Changed();
}

void TBitmap::Assign(const TPersistent* source) {
  if (source && source->Is<TBitmap>())
    Assign(*static_cast<const TBitmap*>(source));
  else
    TPersistent::Assign(source);
}

// The DIB as a packed DIB, read back by the BMP decoder (one pixel rule for files
// and memory).
TPixelBuffer TBitmap::ToPixelBuffer() const {
  if (!bits_) return {};
  GdiFlush();
  const int bits = PixelFormatBits(format_);
  std::vector<uint8_t> dib(sizeof(BITMAPINFOHEADER));
  BITMAPINFOHEADER header{};
  header.biSize = sizeof header;
  header.biWidth = width_;
  header.biHeight = height_;
  header.biPlanes = 1;
  header.biBitCount = static_cast<WORD>(bits);
  header.biCompression = format_ == TPixelFormat::pf16bit ? BI_BITFIELDS : BI_RGB;
  header.biClrUsed = static_cast<DWORD>(palette_.size());
  std::memcpy(dib.data(), &header, sizeof header);
  auto put32 = [&dib](uint32_t v) {
    for (int i = 0; i < 4; ++i) dib.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  if (format_ == TPixelFormat::pf16bit) {
    put32(0xF800);
    put32(0x07E0);
    put32(0x001F);
  }
  for (uint32_t c : palette_) put32(c);
  dib.insert(dib.end(), bits_, bits_ + Stride() * height_);
  TBmpImage image;
  if (DecodePackedDib(dib.data(), dib.size(), image) != BmpOk) return {};
  return std::move(image.Pixels);
}

void TBitmap::FromPixelBuffer(const TPixelBuffer& pixels) {
  if (pixels.Width != width_ || pixels.Height != height_) Rebuild(pixels.Width, pixels.Height, format_, palette_);
  if (!bits_) return;
  GdiFlush();
  const size_t stride = Stride();
  if (format_ == TPixelFormat::pf15bit || format_ == TPixelFormat::pf16bit) {
    const bool is565 = format_ == TPixelFormat::pf16bit;
    for (int y = 0; y < height_; ++y) {
      uint8_t* row = bits_ + static_cast<size_t>(height_ - 1 - y) * stride;
      for (int x = 0; x < width_; ++x) {
        uint32_t p = pixels.At(x, y);
        uint32_t v = is565 ? ((PixelRed(p) >> 3) << 11) | ((PixelGreen(p) >> 2) << 5) | (PixelBlue(p) >> 3)
                           : ((PixelRed(p) >> 3) << 10) | ((PixelGreen(p) >> 3) << 5) | (PixelBlue(p) >> 3);
        row[2 * x] = static_cast<uint8_t>(v);
        row[2 * x + 1] = static_cast<uint8_t>(v >> 8);
      }
    }
  } else {
    // The encoder writes bottom-up rows with the DIB's stride: copy its pixel part.
    std::vector<uint8_t> file = EncodeBmpFile(pixels, PixelFormatBits(format_), palette_);
    if (file.size() < 14) return;
    uint32_t offset = file[10] | (file[11] << 8) | (file[12] << 16) | (uint32_t{file[13]} << 24);
    if (file.size() - offset == stride * height_) std::memcpy(bits_, file.data() + offset, stride * height_);
  }
  Changed();
}

void TBitmap::LoadFromBmpImage(const TBmpImage& image) {
  TPixelFormat format = PixelFormatFromBits(image.BitCount);
  if (image.BitCount == 16) {
    // Keep 5-5-5 and 5-6-5 sources at 16 bits; other masks would lose bits there.
    const uint32_t* m = image.Masks;
    if (m[0] == 0xF800 && m[1] == 0x07E0 && m[2] == 0x001F) format = TPixelFormat::pf16bit;
    else if (!(m[0] == 0x7C00 && m[1] == 0x03E0 && m[2] == 0x001F)) format = TPixelFormat::pf24bit;
  }
  if (image.Pixels.Empty()) {
    Rebuild(0, 0, format, {});
    Changed();
    return;
  }
  Rebuild(image.Pixels.Width, image.Pixels.Height, format, image.Palette);
  if (image.BitCount <= 8 && image.Indices.size() == image.Pixels.Pixels.size()) {
    std::vector<uint8_t> file =
        EncodeIndexedBmpFile(width_, height_, image.BitCount, palette_, image.Indices);
    uint32_t offset = file[10] | (file[11] << 8) | (file[12] << 16) | (uint32_t{file[13]} << 24);
    GdiFlush();
    if (file.size() - offset == Stride() * height_) std::memcpy(bits_, file.data() + offset, Stride() * height_);
    Changed();
  } else {
    FromPixelBuffer(image.Pixels);
  }
}

void TBitmap::LoadFromStream(TStream& stream) {
  uint8_t head[14] = {};
  int32_t got = stream.Read(head, sizeof head);
  std::vector<uint8_t> data(head, head + got);
  const uint32_t fileSize = head[2] | (head[3] << 8) | (head[4] << 16) | (uint32_t{head[5]} << 24);
  const int64_t remaining = stream.Size() - stream.Position();
  // Trust the file header's size only when the stream holds that much.
  int64_t want = (got == 14 && fileSize > 14 && fileSize - 14 <= remaining) ? fileSize - 14 : remaining;
  if (want > static_cast<int64_t>(0x7FFFFFFF)) throw EInvalidGraphic("Bitmap image is not valid: too large");
  if (want > 0) {
    data.resize(data.size() + static_cast<size_t>(want));
    stream.ReadBuffer(data.data() + got, static_cast<int32_t>(want));
  }
  TBmpImage image;
  TBmpStatus status = DecodeBmpFile(data.data(), data.size(), image);
  if (status != BmpOk) throw EInvalidGraphic(std::string("Bitmap image is not valid: ") + BmpStatusText(status));
  LoadFromBmpImage(image);
}

void TBitmap::LoadFromFile(const std::string& fileName) {
  TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(file);
}

void TBitmap::LoadFromResource(HINSTANCE instance, LPCSTR name, const std::string& label) {
  HRSRC res = FindResourceA(instance, name, MAKEINTRESOURCEA(2) /* RT_BITMAP */);
  bool packedOnly = res != nullptr;
  if (!res) res = FindResourceA(instance, name, MAKEINTRESOURCEA(10) /* RT_RCDATA */);
  if (!res) throw EResNotFound("Resource " + label + " not found");
  HGLOBAL global = LoadResource(instance, res);
  const uint8_t* data = static_cast<const uint8_t*>(global ? LockResource(global) : nullptr);
  const DWORD size = SizeofResource(instance, res);
  if (!data) throw EResNotFound("Resource " + label + " not found");
  TBmpImage image;
  TBmpStatus status = (!packedOnly && size >= 2 && data[0] == 'B' && data[1] == 'M')
                          ? DecodeBmpFile(data, size, image)
                          : DecodePackedDib(data, size, image);
  if (status != BmpOk) throw EInvalidGraphic(std::string("Bitmap image is not valid: ") + BmpStatusText(status));
  LoadFromBmpImage(image);
}

void TBitmap::LoadFromResourceName(HINSTANCE instance, const std::string& name) {
  LoadFromResource(instance, name.c_str(), name);
}

void TBitmap::LoadFromResourceID(HINSTANCE instance, int id) {
  LoadFromResource(instance, MAKEINTRESOURCEA(id), std::to_string(id));
}

void TBitmap::SaveToStream(TStream& stream) const {
  std::vector<uint8_t> file;
  const int bits = PixelFormatBits(format_);
  if (Empty()) throw EInvalidGraphicOperation("Cannot save an empty bitmap");
  if (bits <= 8) {
    // Keep the indices as they are: read them from the DIB rows.
    GdiFlush();
    std::vector<uint8_t> indices(static_cast<size_t>(width_) * height_);
    const size_t stride = Stride();
    for (int y = 0; y < height_; ++y) {
      const uint8_t* row = bits_ + static_cast<size_t>(height_ - 1 - y) * stride;
      for (int x = 0; x < width_; ++x) {
        uint8_t v = bits == 8 ? row[x]
                    : bits == 4 ? static_cast<uint8_t>((x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4))
                                : static_cast<uint8_t>((row[x >> 3] >> (7 - (x & 7))) & 1);
        indices[static_cast<size_t>(y) * width_ + x] = v;
      }
    }
    file = EncodeIndexedBmpFile(width_, height_, bits, palette_, indices);
  } else {
    file = EncodeBmpFile(ToPixelBuffer(), bits == 32 ? 32 : 24);
  }
  stream.WriteBuffer(file.data(), static_cast<int32_t>(file.size()));
}

void TBitmap::SaveToFile(const std::string& fileName) const {
  TFileStream file(fileName, fmCreate);
  SaveToStream(file);
}

// ---------------------------------------------------------------------------
// TIcon

TIcon::~TIcon() {
  if (icon_) DestroyIcon(icon_);
}

void TIcon::SetHandle(HICON icon) {
  if (icon == icon_) return;
  if (icon_) DestroyIcon(icon_);
  icon_ = icon;
  ReadSize();
}

HICON TIcon::ReleaseHandle() {
  HICON icon = icon_;
  icon_ = nullptr;
  width_ = height_ = 0;
  return icon;
}

void TIcon::ReadSize() {
  width_ = height_ = 0;
  ICONINFO info{};
  if (!icon_ || !GetIconInfo(icon_, &info)) return;
  BITMAP bm{};
  if (GetObjectA(info.hbmMask, sizeof bm, &bm)) {
    width_ = bm.bmWidth;
    // Without a colour bitmap the mask holds AND and XOR halves.
    height_ = info.hbmColor ? bm.bmHeight : bm.bmHeight / 2;
  }
  if (info.hbmMask) DeleteObject(info.hbmMask);
  if (info.hbmColor) DeleteObject(info.hbmColor);
}

void TIcon::LoadFrom(HINSTANCE instance, LPCSTR name, const std::string& label, int width, int height) {
  HANDLE icon = LoadImageA(instance, name, IMAGE_ICON, width, height, width || height ? 0 : LR_DEFAULTSIZE);
  if (!icon) throw EResNotFound("Resource " + label + " not found");
  SetHandle(static_cast<HICON>(icon));
}

void TIcon::LoadFromResourceName(HINSTANCE instance, const std::string& name, int width, int height) {
  LoadFrom(instance, name.c_str(), name, width, height);
}

void TIcon::LoadFromResourceID(HINSTANCE instance, int id, int width, int height) {
  LoadFrom(instance, MAKEINTRESOURCEA(id), std::to_string(id), width, height);
}

void TIcon::Assign(const TIcon& source) {
  if (&source == this) return;
  SetHandle(source.icon_ ? CopyIcon(source.icon_) : nullptr);
}

void TIcon::Assign(const TPersistent* source) {
  if (source && source->Is<TIcon>())
    Assign(*static_cast<const TIcon*>(source));
  else
    TPersistent::Assign(source);
}

void TIcon::Draw(TCanvas& canvas, int x, int y) {
  if (icon_) DrawIconEx(canvas.Handle(), x, y, icon_, width_, height_, 0, nullptr, DI_NORMAL);
}

void TIcon::StretchDraw(TCanvas& canvas, const RECT& rect) {
  if (icon_)
    DrawIconEx(canvas.Handle(), rect.left, rect.top, icon_, rect.right - rect.left, rect.bottom - rect.top, 0,
               nullptr, DI_NORMAL);
}
