#pragma once
// Windows graphics: font, brush and pen objects, the canvas over a device context,
// bitmaps over DIB sections and icons. Everything runs on the GUI thread, except
// that a canvas can be locked by another thread that wants to draw on it.
//
// Ownership: every object owns the GDI handles it creates and deletes them when it
// goes or changes; handles passed in with SetHandle are taken over unless the
// method says otherwise. A canvas never owns the device context given to it.
//
// Failure: invalid images raise EInvalidGraphic, impossible operations (a scan
// line out of range, GDI refusing to make a bitmap) raise
// EInvalidGraphicOperation, a missing resource raises EResNotFound.
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "classlib/BmpCodec.h"
#include "classlib/Components.h"
#include "classlib/Graphics.h"
#include "classlib/Streams.h"
#include "classlib/SysUtils.h"

VELMORA_EXCEPTION(EInvalidGraphic, Exception)
VELMORA_EXCEPTION(EInvalidGraphicOperation, Exception)

// A TColor to the COLORREF it stands for: system colours through GetSysColor,
// clNone and clDefault to black.
COLORREF ColorToRGB(TColor color);

// The value names of the published enumeration and set properties.
extern const TEnumType FontStyleType;   // "TFontStyle": fsBold, fsItalic, fsUnderline, fsStrikeOut
extern const TEnumType BrushStyleType;  // "TBrushStyle"
extern const TEnumType PenStyleType;    // "TPenStyle"
extern const TEnumType PixelFormatType; // "TPixelFormat"

// Base of font, brush and pen: a lazily made GDI handle and a change event.
class TGraphicsObject : public TPersistent {
  VELMORA_CLASS(TGraphicsObject, TPersistent)
 public:
  TGraphicsObject() = default;
  ~TGraphicsObject() override;
  TGraphicsObject(const TGraphicsObject&) = delete;
  TGraphicsObject& operator=(const TGraphicsObject&) = delete;

  // Called after every change, before the old handle is deleted: a canvas that
  // has the handle selected uses it to select it out. Must not throw.
  std::function<void()> OnChange;

  // The GDI handle for the current settings, made on first use; owned.
  HGDIOBJ GdiHandle();
  bool HandleAllocated() const { return handle_ != nullptr; }

 protected:
  void Changed();
  virtual HGDIOBJ MakeHandle() = 0;
  void DestroyHandle();
  void AdoptHandle(HGDIOBJ handle);

 private:
  HGDIOBJ handle_ = nullptr;
};

// Published: Name, Size, Height, Color, Style (a set), Charset.
class TFont : public TGraphicsObject {
  VELMORA_CLASS(TFont, TGraphicsObject)
  VELMORA_PUBLISHED(TFont)
 public:
  // "MS Sans Serif", 8 points at 96 dpi (Height -11), black, no style.
  TFont();

  const std::string& Name() const { return name_; }
  void SetName(const std::string& name);
  // Size in points; Height in pixels (negative: character height).
  int Size() const { return FontSizeFromHeight(height_, PixelsPerInch); }
  void SetSize(int size) { SetHeight(FontHeightFromSize(size, PixelsPerInch)); }
  int Height() const { return height_; }
  void SetHeight(int height);
  TColor Color() const { return color_; }
  void SetColor(TColor color);  // text colour: no new handle, but OnChange runs
  TFontStyles Style() const { return style_; }
  void SetStyle(TFontStyles style);
  BYTE Charset() const { return charset_; }
  void SetCharset(BYTE charset);

  HFONT Handle() { return static_cast<HFONT>(GdiHandle()); }
  // The settings as a LOGFONT, and settings from one (the font then is exactly
  // that LOGFONT: width, escapement, quality and the rest are kept).
  LOGFONTA LogFont() const;
  void SetLogFont(const LOGFONTA& logFont);
  // Takes over `font` (deleted by this object later); the settings are read from it.
  void SetHandle(HFONT font);
  void Assign(const TFont& source);
  // From another TFont; other classes raise EConvertError.
  void Assign(const TPersistent* source) override;

  int PixelsPerInch = 96;

 protected:
  HGDIOBJ MakeHandle() override;

 private:
  std::string name_;
  int height_;
  TColor color_ = clWindowText;
  TFontStyles style_ = 0;
  BYTE charset_ = DEFAULT_CHARSET;
  LOGFONTA extra_{};  // fields of a given LOGFONT beyond the settings above
};

// Published: Color, Style.
class TBrush : public TGraphicsObject {
  VELMORA_CLASS(TBrush, TGraphicsObject)
  VELMORA_PUBLISHED(TBrush)
 public:
  TBrush() = default;  // white, solid
  TColor Color() const { return color_; }
  void SetColor(TColor color);
  TBrushStyle Style() const { return style_; }
  void SetStyle(TBrushStyle style);
  HBRUSH Handle() { return static_cast<HBRUSH>(GdiHandle()); }
  void Assign(const TBrush& source);
  void Assign(const TPersistent* source) override;

 protected:
  HGDIOBJ MakeHandle() override;

 private:
  TColor color_ = clWhite;
  TBrushStyle style_ = TBrushStyle::bsSolid;
};

// Published: Color, Width, Style.
class TPen : public TGraphicsObject {
  VELMORA_CLASS(TPen, TGraphicsObject)
  VELMORA_PUBLISHED(TPen)
 public:
  TPen() = default;  // black, solid, 1 pixel
  TColor Color() const { return color_; }
  void SetColor(TColor color);
  int Width() const { return width_; }
  void SetWidth(int width);  // below 1 counts as 1
  TPenStyle Style() const { return style_; }
  void SetStyle(TPenStyle style);
  HPEN Handle() { return static_cast<HPEN>(GdiHandle()); }
  void Assign(const TPen& source);
  void Assign(const TPersistent* source) override;

 protected:
  HGDIOBJ MakeHandle() override;

 private:
  TColor color_ = clBlack;
  int width_ = 1;
  TPenStyle style_ = TPenStyle::psSolid;
};

class TBitmap;

// Drawing on a device context with the canvas's font, brush and pen, which are
// selected into the DC while it is set and selected out when the handle changes
// or the canvas goes (so the DC gets its own objects back).
class TCanvas : public TObject {
  VELMORA_CLASS(TCanvas, TObject)
 public:
  TCanvas();
  ~TCanvas() override;
  TCanvas(const TCanvas&) = delete;
  TCanvas& operator=(const TCanvas&) = delete;

  // The DC, made on demand by CreateHandle (a bitmap's canvas makes its memory
  // DC there). Raises EInvalidOperation when there is none ("Canvas does not
  // allow drawing").
  HDC Handle();
  // Sets the DC to draw on (not owned); null detaches.
  void SetHandle(HDC dc);
  bool HandleAllocated() const { return dc_ != nullptr; }

  // A lock for threads that share the canvas; re-entrant on one thread.
  void Lock();
  bool TryLock();
  void Unlock();
  int LockCount() const { return lockCount_; }

  TFont& Font() { return font_; }
  TBrush& Brush() { return brush_; }
  TPen& Pen() { return pen_; }
  DWORD CopyMode = SRCCOPY;

  POINT PenPos();
  void MoveTo(int x, int y);
  void LineTo(int x, int y);
  void Polyline(const std::vector<POINT>& points);
  void Polygon(const std::vector<POINT>& points);
  // Pen outline, brush inside; right and bottom are exclusive.
  void Rectangle(int left, int top, int right, int bottom);
  void Rectangle(const RECT& rect) { Rectangle(rect.left, rect.top, rect.right, rect.bottom); }
  void RoundRect(int left, int top, int right, int bottom, int cornerWidth, int cornerHeight);
  void Ellipse(int left, int top, int right, int bottom);
  void FillRect(const RECT& rect);   // brush only
  void FrameRect(const RECT& rect);  // 1-pixel border in the brush
  void DrawFocusRect(const RECT& rect);

  void TextOut(int x, int y, const std::string& text);
  // Text at (x, y) clipped to `rect`; the brush fills the rectangle unless clear.
  void TextRect(const RECT& rect, int x, int y, const std::string& text);
  // DrawText with `format` (DT_ flags); returns the text height.
  int DrawText(RECT& rect, const std::string& text, UINT format);
  SIZE TextExtent(const std::string& text);
  int TextWidth(const std::string& text) { return TextExtent(text).cx; }
  int TextHeight(const std::string& text) { return TextExtent(text).cy; }

  // The bitmap at natural size / stretched; a Transparent bitmap leaves its
  // transparent colour's pixels untouched.
  void Draw(int x, int y, TBitmap& bitmap);
  void StretchDraw(const RECT& rect, TBitmap& bitmap);
  // Copies `sourceRect` of `source` to `destRect` (stretched) with CopyMode.
  void CopyRect(const RECT& destRect, TCanvas& source, const RECT& sourceRect);

  TColor Pixel(int x, int y);  // clNone outside the clip region
  void SetPixel(int x, int y, TColor color);
  RECT ClipRect();

 protected:
  // Makes a DC when none is set; the base has none to make.
  virtual void CreateHandle() {}
  // Selects the tools into the DC; called before every drawing operation.
  void RequireState();
  void DeselectTools();

 private:
  HDC dc_ = nullptr;
  HGDIOBJ oldFont_ = nullptr, oldPen_ = nullptr, oldBrush_ = nullptr;
  bool fontSelected_ = false, penSelected_ = false, brushSelected_ = false;
  TFont font_;
  TBrush brush_;
  TPen pen_;
  CRITICAL_SECTION lock_;
  int lockCount_ = 0;
};

// A bitmap over a DIB section (bottom-up rows) with its own memory-DC canvas.
// Published: Width, Height (read-only), PixelFormat, Transparent.
class TBitmap : public TPersistent {
  VELMORA_CLASS(TBitmap, TPersistent)
  VELMORA_PUBLISHED(TBitmap)
 public:
  TBitmap();
  TBitmap(int width, int height, TPixelFormat format = TPixelFormat::pf24bit);
  ~TBitmap() override;
  TBitmap(const TBitmap&) = delete;
  TBitmap& operator=(const TBitmap&) = delete;

  int Width() const { return width_; }
  int Height() const { return height_; }
  void SetWidth(int width) { SetSize(width, height_); }
  void SetHeight(int height) { SetSize(width_, height); }
  // Keeps the overlapping top-left part; new pixels are black (index 0). Raises
  // EInvalidGraphicOperation for a negative size or more than BmpMaxPixels pixels.
  void SetSize(int width, int height);
  bool Empty() const { return width_ <= 0 || height_ <= 0; }

  TPixelFormat PixelFormat() const { return format_; }
  // Converts the pixels (to the nearest palette entry for 1/4/8 bits).
  void SetPixelFormat(TPixelFormat format);
  // The colour table (0x00RRGGBB) of a 1/4/8-bit bitmap; empty otherwise.
  std::vector<uint32_t> Palette() const { return palette_; }
  // Replaces the colour table; the pixels keep their indices.
  void SetPalette(const std::vector<uint32_t>& palette);

  // Row `row` (0 = top) of the DIB, in the pixel format's layout. Raises
  // EInvalidGraphicOperation ("Scan line index out of range") outside 0..Height-1.
  void* ScanLine(int row);

  // The DIB section; it is taken out of the canvas's DC first so that callers
  // can select it elsewhere (the canvas makes its DC again when drawn on). Null
  // for an empty bitmap.
  HBITMAP Handle();
  TCanvas& Canvas();

  bool Transparent = false;
  bool GetTransparent() const { return Transparent; }
  void SetTransparent(bool transparent) { Transparent = transparent; }
  TTransparentMode TransparentMode() const { return transparentMode_; }
  void SetTransparentMode(TTransparentMode mode) { transparentMode_ = mode; }
  // tmAuto: the bottom-left pixel; tmFixed: the colour set here.
  TColor TransparentColor();
  void SetTransparentColor(TColor color);

  void Assign(const TBitmap& source);
  void Assign(const TPersistent* source) override;
  void Clear() { SetSize(0, 0); }

  // Pixels as 0x00RRGGBB (a 32-bit DIB's free byte in the top byte), and from them
  // in the current pixel format (1/4/8 bits: nearest palette entry), taking the
  // buffer's size.
  TPixelBuffer ToPixelBuffer() const;
  void FromPixelBuffer(const TPixelBuffer& pixels);
  // A decoded BMP with its own depth and palette.
  void LoadFromBmpImage(const TBmpImage& image);

  // One BMP from the stream's position (its file header's size, else the rest of
  // the stream); EInvalidGraphic when it does not decode.
  void LoadFromStream(TStream& stream);
  void LoadFromFile(const std::string& fileName);
  // RT_BITMAP (a packed DIB) or else RT_RCDATA (a BMP file or a packed DIB).
  void LoadFromResourceName(HINSTANCE instance, const std::string& name);
  void LoadFromResourceID(HINSTANCE instance, int id);
  // BMP file in the current format (pf15bit/pf16bit/pfDevice are written at 24/32 bits).
  void SaveToStream(TStream& stream) const;
  void SaveToFile(const std::string& fileName) const;

  // Raised after every change of size, format or content through this class.
  std::function<void()> OnChange;

 private:
  class TBitmapCanvas;
  void Rebuild(int width, int height, TPixelFormat format, const std::vector<uint32_t>& palette);
  void LoadFromResource(HINSTANCE instance, LPCSTR name, const std::string& label);
  void FreeCanvasDc();
  void Changed();
  size_t Stride() const;

  int width_ = 0;
  int height_ = 0;
  TPixelFormat format_ = TPixelFormat::pfDevice;
  std::vector<uint32_t> palette_;
  HBITMAP dib_ = nullptr;
  uint8_t* bits_ = nullptr;
  std::unique_ptr<TBitmapCanvas> canvas_;
  TTransparentMode transparentMode_ = TTransparentMode::tmAuto;
  TColor transparentColor_ = clDefault;
};

// An icon handle with its size.
class TIcon : public TPersistent {
  VELMORA_CLASS(TIcon, TPersistent)
 public:
  TIcon() = default;
  ~TIcon() override;
  TIcon(const TIcon&) = delete;
  TIcon& operator=(const TIcon&) = delete;

  HICON Handle() const { return icon_; }
  // Takes over `icon` (destroyed by this object later).
  void SetHandle(HICON icon);
  // Gives the handle to the caller, who then destroys it.
  HICON ReleaseHandle();
  bool Empty() const { return icon_ == nullptr; }
  int Width() const { return width_; }
  int Height() const { return height_; }

  // An RT_GROUP_ICON resource at its natural size (0, 0) or the size asked for.
  void LoadFromResourceName(HINSTANCE instance, const std::string& name, int width = 0, int height = 0);
  void LoadFromResourceID(HINSTANCE instance, int id, int width = 0, int height = 0);
  void Assign(const TIcon& source);
  void Assign(const TPersistent* source) override;
  // Drawn at (x, y) at its own size / at a given size (DrawIconEx, DI_NORMAL).
  void Draw(TCanvas& canvas, int x, int y);
  void StretchDraw(TCanvas& canvas, const RECT& rect);

 private:
  void LoadFrom(HINSTANCE instance, LPCSTR name, const std::string& label, int width, int height);
  void ReadSize();
  HICON icon_ = nullptr;
  int width_ = 0;
  int height_ = 0;
};
