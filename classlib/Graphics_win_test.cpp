// Graphics classes on memory DCs: geometry and colours read back, never text pixels.
#include "classlib/Graphics_win.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "classlib/ImgList_win.h"
#include "tests/support/BmpSamples.h"
#include "tests/support/TestPaths.h"

namespace {

using velmora::test::ReadFileBytes;
using velmora::test::SourcePath;
using velmora::test::TempPath;

// A white 32-bit canvas of the given size.
struct TSurface {
  TBitmap Bitmap;
  TSurface(int width, int height, TColor fill = clWhite) : Bitmap(width, height, TPixelFormat::pf32bit) {
    Bitmap.Canvas().Brush().SetColor(fill);
    RECT all{0, 0, width, height};
    Bitmap.Canvas().FillRect(all);
  }
  TCanvas& Canvas() { return Bitmap.Canvas(); }
  TColor At(int x, int y) { return Bitmap.Canvas().Pixel(x, y); }
};

TEST(GraphicsWin, BitmapShapeScanLinesAndFormats) {
  TBitmap empty;
  EXPECT_TRUE(empty.Empty());
  EXPECT_EQ(empty.Handle(), nullptr);
  EXPECT_THROW(empty.ScanLine(0), EInvalidGraphicOperation);

  TBitmap b(3, 2, TPixelFormat::pf24bit);
  b.Canvas().SetPixel(0, 0, clRed);
  b.Canvas().SetPixel(2, 1, clBlue);
  // Row 0 is the top row; a 24-bit pixel is B, G, R in memory.
  const uint8_t* top = static_cast<const uint8_t*>(b.ScanLine(0));
  EXPECT_EQ(top[0], 0x00);
  EXPECT_EQ(top[2], 0xFF);
  const uint8_t* bottom = static_cast<const uint8_t*>(b.ScanLine(1));
  EXPECT_EQ(bottom[6], 0xFF);
  EXPECT_EQ(bottom[8], 0x00);
  EXPECT_THROW(b.ScanLine(2), EInvalidGraphicOperation);
  EXPECT_THROW(b.ScanLine(-1), EInvalidGraphicOperation);

  // Growing keeps the old pixels at the top-left.
  b.SetSize(5, 4);
  EXPECT_EQ(b.Canvas().Pixel(0, 0), clRed);
  EXPECT_EQ(b.Canvas().Pixel(2, 1), clBlue);
  EXPECT_EQ(b.Canvas().Pixel(4, 3), clBlack);

  // To 4 bits: red, lime and blue are exact entries 9, 10 and 12 of the VGA palette.
  TBitmap c(3, 1, TPixelFormat::pf24bit);
  c.Canvas().SetPixel(0, 0, clRed);
  c.Canvas().SetPixel(1, 0, clLime);
  c.Canvas().SetPixel(2, 0, clBlue);
  c.SetPixelFormat(TPixelFormat::pf4bit);
  EXPECT_EQ(c.PixelFormat(), TPixelFormat::pf4bit);
  const uint8_t* nibbles = static_cast<const uint8_t*>(c.ScanLine(0));
  EXPECT_EQ(nibbles[0], 0x9A);
  EXPECT_EQ(nibbles[1], 0xC0);
  EXPECT_EQ(c.Canvas().Pixel(2, 0), clBlue);

  // 5-6-5: full red is 0xF800.
  c.SetPixelFormat(TPixelFormat::pf16bit);
  const uint8_t* words = static_cast<const uint8_t*>(c.ScanLine(0));
  EXPECT_EQ(words[0] | (words[1] << 8), 0xF800);
  EXPECT_EQ(words[4] | (words[5] << 8), 0x001F);

  // A new palette keeps the indices and changes the colours.
  TBitmap p(2, 1, TPixelFormat::pf8bit);
  static_cast<uint8_t*>(p.ScanLine(0))[1] = 1;
  std::vector<uint32_t> palette(256, 0);
  palette[1] = 0x336699;
  p.SetPalette(palette);
  EXPECT_EQ(p.Canvas().Pixel(1, 0), ColorFromPixel(0x336699));
}

TEST(GraphicsWin, AssignCopiesPixelsAndTransparency) {
  TBitmap a(4, 3, TPixelFormat::pf8bit);
  a.Canvas().SetPixel(1, 1, clWhite);
  a.Transparent = true;
  a.SetTransparentColor(clWhite);
  TBitmap b;
  b.Assign(a);
  EXPECT_EQ(b.Width(), 4);
  EXPECT_EQ(b.PixelFormat(), TPixelFormat::pf8bit);
  EXPECT_EQ(b.Palette(), a.Palette());
  EXPECT_EQ(b.Canvas().Pixel(1, 1), clWhite);
  EXPECT_TRUE(b.Transparent);
  EXPECT_EQ(b.TransparentColor(), clWhite);
  // Independent copies.
  a.Canvas().SetPixel(1, 1, clBlack);
  EXPECT_EQ(b.Canvas().Pixel(1, 1), clWhite);
}

// The samples and PIL's (or ImageMagick's) decodings of tests/peers/bmp_samples.py,
// loaded into DIB sections and read back both through our decoder and through GDI.
TEST(GraphicsWin, LoadsEverySampleLikeThePeerDecoder) {
  std::vector<velmora::test::TBmpSample> samples = velmora::test::BmpSamples();
  ASSERT_GE(samples.size(), 30u);
  for (const velmora::test::TBmpSample& s : samples) {
    SCOPED_TRACE(s.Stem);
    TBitmap bitmap;
    bitmap.LoadFromFile(SourcePath("tests/data/bmp/" + s.Stem + ".bmp"));
    ASSERT_EQ(bitmap.Width(), s.Width);
    ASSERT_EQ(bitmap.Height(), s.Height);
    EXPECT_EQ(PixelFormatBits(bitmap.PixelFormat()), s.Bits);
    EXPECT_EQ(!bitmap.Palette().empty(), s.Bits <= 8);
    std::string expect = ReadFileBytes(SourcePath("tests/data/bmp/" + s.Stem + "." + s.Kind));
    const size_t channels = s.Kind == "rgba" ? 4 : 3;
    ASSERT_EQ(expect.size(), static_cast<size_t>(s.Width) * s.Height * channels);
    TPixelBuffer pixels = bitmap.ToPixelBuffer();
    // GDI expands 16-bit channels its own way: allow the low bits to differ there.
    const int tolerance = s.Bits == 16 ? 8 : 0;
    int bad = 0;
    for (int y = 0; y < s.Height; ++y) {
      for (int x = 0; x < s.Width; ++x) {
        const uint8_t* p = reinterpret_cast<const uint8_t*>(expect.data()) + (size_t(y) * s.Width + x) * channels;
        uint32_t want = PixelFromRGB(p[0], p[1], p[2]);
        if ((pixels.At(x, y) & 0xFFFFFF) != want) ++bad;
        uint32_t gdi = PixelFromColorRef(static_cast<uint32_t>(bitmap.Canvas().Pixel(x, y)));
        if (std::abs(PixelRed(gdi) - p[0]) > tolerance || std::abs(PixelGreen(gdi) - p[1]) > tolerance ||
            std::abs(PixelBlue(gdi) - p[2]) > tolerance)
          ++bad;
      }
    }
    EXPECT_EQ(bad, 0);
  }
}

TEST(GraphicsWin, SaveAndLoadKeepFormatPaletteAndPixels) {
  for (const char* name : {"info_4", "info_8_used16", "info_1", "info_24", "info_32", "info_16_565"}) {
    SCOPED_TRACE(name);
    TBitmap original;
    original.LoadFromFile(SourcePath(std::string("tests/data/bmp/") + name + ".bmp"));
    TMemoryStream stream;
    original.SaveToStream(stream);
    // A second image after the first: loading reads exactly one file.
    stream.WriteString("tail");
    stream.SetPosition(0);
    TBitmap copy;
    copy.LoadFromStream(stream);
    EXPECT_EQ(stream.Position(), stream.Size() - 4);
    const int bits = PixelFormatBits(original.PixelFormat());
    EXPECT_EQ(PixelFormatBits(copy.PixelFormat()), bits == 16 ? 24 : bits);
    if (bits <= 8) {
      EXPECT_EQ(copy.Palette(), original.Palette());
    }
    EXPECT_EQ(copy.ToPixelBuffer().Pixels, original.ToPixelBuffer().Pixels);
  }

  TMemoryStream junk;
  junk.WriteString("BM this is not a bitmap at all");
  junk.SetPosition(0);
  TBitmap bitmap;
  EXPECT_THROW(bitmap.LoadFromStream(junk), EInvalidGraphic);
  EXPECT_THROW(bitmap.SaveToStream(junk), EInvalidGraphicOperation);  // empty
}

TEST(GraphicsWin, ResourcesByNameAndId) {
  // user32's own "close" bitmap (OBM_CLOSE) is an RT_BITMAP with an integer id.
  TBitmap close;
  close.LoadFromResourceID(GetModuleHandleA("user32.dll"), 32754);
  EXPECT_FALSE(close.Empty());
  TBitmap none;
  EXPECT_THROW(none.LoadFromResourceName(GetModuleHandleA(nullptr), "NO_SUCH_BITMAP"), EResNotFound);

  // Named resources: a copy of this program with a BMP file as RT_RCDATA and a
  // packed DIB as RT_BITMAP added, opened as a data file.
  char self[MAX_PATH];
  ASSERT_GT(GetModuleFileNameA(nullptr, self, MAX_PATH), 0u);
  std::string copyPath = TempPath("graphics_res.exe");
  ASSERT_TRUE(CopyFileA(self, copyPath.c_str(), FALSE));
  std::string file = ReadFileBytes(SourcePath("tests/data/bmp/info_8_used16.bmp"));
  std::string dib = ReadFileBytes(SourcePath("tests/data/bmp/v4_24.bmp")).substr(14);
  HANDLE update = BeginUpdateResourceA(copyPath.c_str(), FALSE);
  ASSERT_NE(update, nullptr);
  ASSERT_TRUE(UpdateResourceA(update, MAKEINTRESOURCEA(10), "SAMPLEFILE", 0, file.data(), DWORD(file.size())));
  ASSERT_TRUE(UpdateResourceA(update, MAKEINTRESOURCEA(2), "SAMPLEDIB", 0, dib.data(), DWORD(dib.size())));
  ASSERT_TRUE(EndUpdateResourceA(update, FALSE));
  HMODULE module = LoadLibraryExA(copyPath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(module, nullptr);

  TBitmap fromFile, fromDib, reference;
  fromFile.LoadFromResourceName(module, "SAMPLEFILE");
  reference.LoadFromFile(SourcePath("tests/data/bmp/info_8_used16.bmp"));
  EXPECT_EQ(fromFile.PixelFormat(), TPixelFormat::pf8bit);
  EXPECT_EQ(fromFile.ToPixelBuffer().Pixels, reference.ToPixelBuffer().Pixels);
  fromDib.LoadFromResourceName(module, "SAMPLEDIB");
  reference.LoadFromFile(SourcePath("tests/data/bmp/v4_24.bmp"));
  EXPECT_EQ(fromDib.ToPixelBuffer().Pixels, reference.ToPixelBuffer().Pixels);
  FreeLibrary(module);
  DeleteFileA(copyPath.c_str());
}

TEST(GraphicsWin, ShapesUsePenAndBrush) {
  TSurface s(24, 24);
  TCanvas& c = s.Canvas();
  c.Pen().SetColor(clBlue);
  c.Brush().SetColor(clYellow);
  c.Rectangle(2, 2, 12, 12);
  EXPECT_EQ(s.At(2, 5), clBlue);    // left edge
  EXPECT_EQ(s.At(11, 5), clBlue);   // right edge: right is exclusive
  EXPECT_EQ(s.At(12, 5), clWhite);
  EXPECT_EQ(s.At(5, 5), clYellow);  // inside

  c.Brush().SetStyle(TBrushStyle::bsClear);
  c.Pen().SetColor(clRed);
  c.Rectangle(4, 4, 8, 8);
  EXPECT_EQ(s.At(4, 6), clRed);
  EXPECT_EQ(s.At(6, 6), clYellow);  // clear brush leaves the inside alone
  RECT r{14, 14, 20, 20};
  c.FillRect(r);                     // clear brush: nothing
  EXPECT_EQ(s.At(16, 16), clWhite);

  c.Brush().SetStyle(TBrushStyle::bsSolid);
  c.Brush().SetColor(clGreen);
  c.FrameRect(r);
  EXPECT_EQ(s.At(14, 16), clGreen);
  EXPECT_EQ(s.At(19, 19), clGreen);
  EXPECT_EQ(s.At(16, 16), clWhite);

  // A rounded rectangle leaves its corner pixel alone and draws its straight edges.
  TSurface t(20, 20);
  t.Canvas().Pen().SetColor(clBlack);
  t.Canvas().Brush().SetColor(clAqua);
  t.Canvas().RoundRect(0, 0, 20, 20, 10, 10);
  EXPECT_EQ(t.At(0, 0), clWhite);
  EXPECT_EQ(t.At(10, 0), clBlack);
  EXPECT_EQ(t.At(0, 10), clBlack);
  EXPECT_EQ(t.At(10, 10), clAqua);

  // Lines exclude their end point.
  TSurface u(12, 4);
  u.Canvas().Pen().SetColor(clPurple);
  u.Canvas().Polyline({{0, 1}, {10, 1}});
  EXPECT_EQ(u.At(0, 1), clPurple);
  EXPECT_EQ(u.At(9, 1), clPurple);
  EXPECT_EQ(u.At(10, 1), clWhite);
  u.Canvas().MoveTo(3, 3);
  u.Canvas().LineTo(6, 3);
  EXPECT_EQ(u.At(5, 3), clPurple);
  EXPECT_EQ(u.Canvas().PenPos().x, 6);
  u.Canvas().Pen().SetWidth(0);
  EXPECT_EQ(u.Canvas().Pen().Width(), 1);
}

TEST(GraphicsWin, CopyDrawAndTransparency) {
  TBitmap src(2, 2, TPixelFormat::pf24bit);
  src.Canvas().SetPixel(0, 0, clRed);
  src.Canvas().SetPixel(1, 0, clLime);
  src.Canvas().SetPixel(0, 1, clBlue);
  src.Canvas().SetPixel(1, 1, clWhite);
  TSurface d(8, 8, clBlack);
  RECT to{0, 0, 4, 4}, from{0, 0, 2, 2};
  d.Canvas().CopyRect(to, src.Canvas(), from);
  EXPECT_EQ(d.At(1, 1), clRed);
  EXPECT_EQ(d.At(3, 0), clLime);
  EXPECT_EQ(d.At(0, 3), clBlue);
  EXPECT_EQ(d.At(3, 3), clWhite);
  EXPECT_EQ(d.At(4, 4), clBlack);

  // The automatic transparent colour is the bottom-left pixel.
  TBitmap sprite(4, 4, TPixelFormat::pf24bit);
  sprite.Canvas().Brush().SetColor(clFuchsia);
  RECT all{0, 0, 4, 4};
  sprite.Canvas().FillRect(all);
  sprite.Canvas().SetPixel(1, 1, clBlue);
  sprite.Canvas().SetPixel(2, 2, clRed);
  EXPECT_EQ(sprite.TransparentColor(), clFuchsia);
  sprite.Transparent = true;
  TSurface g(8, 8, clGreen);
  g.Canvas().Draw(2, 2, sprite);
  EXPECT_EQ(g.At(2, 2), clGreen);
  EXPECT_EQ(g.At(3, 3), clBlue);
  EXPECT_EQ(g.At(4, 4), clRed);
  EXPECT_EQ(g.At(5, 5), clGreen);

  // A fixed colour replaces the automatic one; opaque drawing copies everything.
  sprite.SetTransparentColor(clBlue);
  TSurface h(4, 4, clGreen);
  h.Canvas().Draw(0, 0, sprite);
  EXPECT_EQ(h.At(0, 0), clFuchsia);
  EXPECT_EQ(h.At(1, 1), clGreen);
  sprite.Transparent = false;
  TSurface k(8, 8, clGreen);
  RECT big{0, 0, 8, 8};
  k.Canvas().StretchDraw(big, sprite);
  EXPECT_EQ(k.At(0, 0), clFuchsia);
  EXPECT_EQ(k.At(2, 2), clBlue);  // pixel (1, 1) doubled
  EXPECT_EQ(k.At(3, 3), clBlue);
  EXPECT_EQ(k.At(4, 4), clRed);
}

TEST(GraphicsWin, FontsFromSettingsAndLogFont) {
  TFont font;
  EXPECT_EQ(font.Height(), -11);  // 8 points at 96 dots per inch
  font.SetSize(12);
  EXPECT_EQ(font.Height(), -16);
  font.SetStyle(fsBold | fsItalic);
  LOGFONTA lf = font.LogFont();
  EXPECT_EQ(lf.lfWeight, FW_BOLD);
  EXPECT_EQ(lf.lfItalic, 1);
  EXPECT_STREQ(lf.lfFaceName, "MS Sans Serif");

  LOGFONTA given{};
  given.lfHeight = -20;
  given.lfWidth = 7;
  given.lfEscapement = 900;
  given.lfWeight = FW_BOLD;
  given.lfUnderline = 1;
  given.lfQuality = ANTIALIASED_QUALITY;
  strcpy(given.lfFaceName, "Tahoma");
  font.SetLogFont(given);
  EXPECT_EQ(font.Name(), "Tahoma");
  EXPECT_EQ(font.Style(), fsBold | fsUnderline);
  lf = font.LogFont();
  EXPECT_EQ(lf.lfWidth, 7);
  EXPECT_EQ(lf.lfEscapement, 900);
  EXPECT_EQ(lf.lfQuality, ANTIALIASED_QUALITY);

  TFont fromHandle;
  fromHandle.SetHandle(CreateFontIndirectA(&given));
  EXPECT_EQ(fromHandle.Name(), "Tahoma");
  EXPECT_EQ(fromHandle.Height(), -20);
  TFont copy;
  copy.Assign(font);
  EXPECT_EQ(copy.LogFont().lfEscapement, 900);

  // A bigger font measures taller on a canvas: the canvas reselects the new handle.
  TSurface s(10, 10);
  s.Canvas().Font().SetSize(8);
  int small = s.Canvas().TextHeight("Xg");
  s.Canvas().Font().SetSize(28);
  int large = s.Canvas().TextHeight("Xg");
  EXPECT_GT(small, 0);
  EXPECT_GT(large, small);
}

// Assign through the persistent base: same class copies, another class refuses.
TEST(GraphicsWin, AssignThroughThePersistentBase) {
  TFont font;
  font.SetName("Tahoma");
  font.SetColor(clRed);
  TFont other;
  other.Assign(static_cast<const TPersistent*>(&font));
  EXPECT_EQ(other.Name(), "Tahoma");
  EXPECT_EQ(other.Color(), clRed);
  TPen pen;
  EXPECT_THROW(other.Assign(static_cast<const TPersistent*>(&pen)), EConvertError);
  TBitmap bitmap(5, 2, TPixelFormat::pf8bit);
  TBitmap copy;
  copy.Assign(static_cast<const TPersistent*>(&bitmap));
  EXPECT_EQ(copy.Width(), 5);
  EXPECT_THROW(copy.Assign(static_cast<const TPersistent*>(&font)), EConvertError);
}

TEST(GraphicsWin, CanvasGivesTheDcItsObjectsBack) {
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ font = GetCurrentObject(dc, OBJ_FONT);
  HGDIOBJ pen = GetCurrentObject(dc, OBJ_PEN);
  HGDIOBJ brush = GetCurrentObject(dc, OBJ_BRUSH);
  {
    TCanvas canvas;
    EXPECT_THROW(canvas.Handle(), EInvalidOperation);
    canvas.SetHandle(dc);
    canvas.TextWidth("abc");
    EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), canvas.Pen().Handle());
    canvas.Pen().SetColor(clRed);  // the old pen is selected out before it is deleted
    canvas.Rectangle(0, 0, 2, 2);
    EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), canvas.Pen().Handle());
  }
  EXPECT_EQ(GetCurrentObject(dc, OBJ_FONT), font);
  EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), pen);
  EXPECT_EQ(GetCurrentObject(dc, OBJ_BRUSH), brush);
  DeleteDC(dc);

  // Text in a rectangle fills it with an opaque brush (no glyph pixels compared).
  TSurface s(10, 10);
  s.Canvas().Brush().SetColor(clMaroon);
  RECT r{2, 2, 8, 8};
  s.Canvas().TextRect(r, 2, 2, "");
  EXPECT_EQ(s.At(5, 5), clMaroon);
  EXPECT_EQ(s.At(1, 1), clWhite);
}

TEST(GraphicsWin, CanvasLockIsExclusiveAcrossThreads) {
  TCanvas canvas;
  canvas.Lock();
  canvas.Lock();  // re-entrant on this thread
  EXPECT_EQ(canvas.LockCount(), 2);
  std::atomic<int> other{-1};
  std::thread([&] { other = canvas.TryLock() ? 1 : 0; }).join();
  EXPECT_EQ(other, 0);
  canvas.Unlock();
  canvas.Unlock();
  EXPECT_EQ(canvas.LockCount(), 0);
  std::thread([&] {
    other = canvas.TryLock() ? 1 : 0;
    if (other) canvas.Unlock();
  }).join();
  EXPECT_EQ(other, 1);
}

TEST(GraphicsWin, IconsLoadDrawAndCopy) {
  TIcon icon;
  icon.SetHandle(CopyIcon(LoadIconA(nullptr, MAKEINTRESOURCEA(32512))));  // IDI_APPLICATION
  ASSERT_FALSE(icon.Empty());
  EXPECT_EQ(icon.Width(), GetSystemMetrics(SM_CXICON));
  EXPECT_EQ(icon.Height(), GetSystemMetrics(SM_CYICON));
  TSurface s(icon.Width(), icon.Height(), clFuchsia);
  icon.Draw(s.Canvas(), 0, 0);
  int changed = 0;
  for (int y = 0; y < icon.Height(); ++y)
    for (int x = 0; x < icon.Width(); ++x) changed += s.At(x, y) != clFuchsia;
  EXPECT_GT(changed, 0);

  TIcon copy;
  copy.Assign(icon);
  EXPECT_NE(copy.Handle(), icon.Handle());
  EXPECT_EQ(copy.Width(), icon.Width());
  HICON released = copy.ReleaseHandle();
  EXPECT_TRUE(copy.Empty());
  DestroyIcon(released);
  TIcon missing;
  EXPECT_THROW(missing.LoadFromResourceName(GetModuleHandleA(nullptr), "NO_SUCH_ICON"), EResNotFound);
}

TEST(GraphicsWin, ImageListMasksAndDisabledDrawing) {
  TImageList list(4, 4);
  EXPECT_EQ(list.Count(), 0);
  // Two 4x4 images side by side: magenta background, a blue and a red square.
  TBitmap strip(8, 4, TPixelFormat::pf24bit);
  strip.Canvas().Brush().SetColor(clFuchsia);
  RECT all{0, 0, 8, 4};
  strip.Canvas().FillRect(all);
  strip.Canvas().Brush().SetColor(clBlue);
  RECT first{1, 1, 3, 3};
  strip.Canvas().FillRect(first);
  strip.Canvas().Brush().SetColor(RGB(200, 40, 40));
  RECT second{5, 1, 7, 3};
  strip.Canvas().FillRect(second);
  EXPECT_EQ(list.AddMasked(strip, clDefault), 0);  // bottom-left: magenta
  EXPECT_EQ(list.MaskColor(), clFuchsia);
  EXPECT_EQ(list.Count(), 2);
  // The strip is unchanged (masked pixels too) and still draws after the list used it.
  EXPECT_EQ(strip.Canvas().Pixel(1, 1), clBlue);
  EXPECT_EQ(strip.Canvas().Pixel(0, 0), clFuchsia);

  TSurface s(8, 4, clGreen);
  list.Draw(s.Canvas(), 0, 0, 0);
  list.Draw(s.Canvas(), 4, 0, 1, false);
  EXPECT_EQ(s.At(0, 0), clGreen);  // masked
  EXPECT_EQ(s.At(1, 1), clBlue);
  EXPECT_EQ(s.At(4, 0), clGreen);  // disabled: mask still honoured
  // Disabled: luminance of (200, 40, 40) is 88; lifted halfway toward the button face.
  COLORREF face = GetSysColor(COLOR_BTNFACE);
  auto lift = [](int luma, int f) { return (luma + f + 1) / 2; };
  EXPECT_EQ(s.At(5, 1), static_cast<TColor>(RGB(lift(88, GetRValue(face)), lift(88, GetGValue(face)),
                                                  lift(88, GetBValue(face)))));

  TBitmap one;
  list.GetBitmap(1, one);
  EXPECT_EQ(one.Width(), 4);
  EXPECT_EQ(one.Canvas().Pixel(1, 1), static_cast<TColor>(RGB(200, 40, 40)));
  list.Delete(0);
  EXPECT_EQ(list.Count(), 1);
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_THROW(TImageList(0, 4), EInvalidOperation);
}

}  // namespace
