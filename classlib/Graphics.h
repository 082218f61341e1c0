#pragma once
// Graphics types and pixel rules shared by the Windows graphics classes
// (Graphics_win.h) and by pure code: colours, styles, pixel formats, font size
// arithmetic and the few per-pixel operations (transparency, disabled images).
//
// Pure code: no Win32 header.
#include <cstddef>  // size_t for PixelBuffer.h
#include <cstdint>
#include <vector>

#include "classlib/PixelBuffer.h"

// A colour: 0x00BBGGRR (red in the low byte, as COLORREF), or a system colour
// reference 0x80000000 | index (negative as int32), or one of clNone / clDefault.
using TColor = int32_t;

constexpr TColor clBlack = 0x000000;
constexpr TColor clMaroon = 0x000080;
constexpr TColor clGreen = 0x008000;
constexpr TColor clOlive = 0x008080;
constexpr TColor clNavy = 0x800000;
constexpr TColor clPurple = 0x800080;
constexpr TColor clTeal = 0x808000;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clYellow = 0x00FFFF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clFuchsia = 0xFF00FF;
constexpr TColor clAqua = 0xFFFF00;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;

constexpr TColor SystemColor(int index) { return static_cast<TColor>(0x80000000u | static_cast<uint32_t>(index)); }
constexpr TColor clScrollBar = SystemColor(0);
constexpr TColor clBackground = SystemColor(1);
constexpr TColor clActiveCaption = SystemColor(2);
constexpr TColor clInactiveCaption = SystemColor(3);
constexpr TColor clMenu = SystemColor(4);
constexpr TColor clWindow = SystemColor(5);
constexpr TColor clWindowFrame = SystemColor(6);
constexpr TColor clMenuText = SystemColor(7);
constexpr TColor clWindowText = SystemColor(8);
constexpr TColor clCaptionText = SystemColor(9);
constexpr TColor clHighlight = SystemColor(13);
constexpr TColor clHighlightText = SystemColor(14);
constexpr TColor clBtnFace = SystemColor(15);
constexpr TColor clBtnShadow = SystemColor(16);
constexpr TColor clGrayText = SystemColor(17);
constexpr TColor clBtnText = SystemColor(18);
constexpr TColor clBtnHighlight = SystemColor(20);
constexpr TColor clInfoText = SystemColor(23);
constexpr TColor clInfoBk = SystemColor(24);

constexpr bool IsSystemColor(TColor color) { return color < 0; }
constexpr int SystemColorIndex(TColor color) { return static_cast<int>(static_cast<uint32_t>(color) & 0xFF); }

// Font styles, combined as bit flags.
enum TFontStyle : uint8_t { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
using TFontStyles = uint8_t;

enum class TPenStyle { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };
enum class TBrushStyle { bsSolid, bsClear };

// pfDevice stores like pf32bit (a DIB section is always device independent).
// pf15bit is 5-5-5 (BI_RGB), pf16bit 5-6-5 (BI_BITFIELDS).
enum class TPixelFormat { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit };

// Bits per pixel of the storage of a pixel format.
int PixelFormatBits(TPixelFormat format);
// The pixel format a BMP file's bit count loads into (16 -> pf15bit; anything
// unknown -> pf24bit).
TPixelFormat PixelFormatFromBits(int bitCount);

// tmAuto: the transparent colour is the image's bottom-left pixel; tmFixed: the
// colour set explicitly.
enum class TTransparentMode { tmAuto, tmFixed };

// The automatic transparent colour of an image: its bottom-left pixel as a
// COLORREF-style TColor; clNone for an empty image.
TColor AutoTransparentColor(const TPixelBuffer& image);

// A TColor that is a plain RGB value (not a system colour, clNone or clDefault)
// to a pixel 0x00RRGGBB.
constexpr uint32_t PixelFromColor(TColor color) { return PixelFromColorRef(static_cast<uint32_t>(color) & 0xFFFFFF); }
constexpr TColor ColorFromPixel(uint32_t pixel) { return static_cast<TColor>(ColorRefFromPixel(pixel & 0xFFFFFF)); }

// Font size in points <-> LOGFONT height at `pixelsPerInch`: the height is
// negative (character height, not cell height), rounded half away from zero;
// a positive (cell) height converts back to a size the same way.
int FontHeightFromSize(int size, int pixelsPerInch);
int FontSizeFromHeight(int height, int pixelsPerInch);

// The disabled look of an image: every opaque pixel (opaque[i] non-zero) becomes
// a grey of its luminance (0.30 R + 0.59 G + 0.11 B, rounded) lifted halfway
// toward `face` (0x00RRGGBB), so dark parts stay visible on a button face;
// transparent pixels keep the destination's pixel. `image`, `opaque` and `dest`
// have the same size (else nothing changes). Result written into `dest`.
void ComposeDisabledImage(const TPixelBuffer& image, const std::vector<uint8_t>& opaque,
                          uint32_t face, TPixelBuffer& dest);
