#include "skin/painters/SkinButtonRules.h"

#include <algorithm>
#include <cctype>

#include "classlib/SysUtils.h"
#include "skin/container/BitmapOps.h"

namespace skin {
namespace {

std::string Lower(std::string_view s) { return LowerCase(s); }
bool Has(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }
int Clamp(int frame, int frames) { return std::clamp(frame, 1, std::max(frames, 1)); }

constexpr uint32_t kWordBreak = 0x10, kExpandTabs = 0x40, kCenter = 0x1, kRight = 0x2,
                   kRtlReading = 0x20000;

// Disabled over pressed over hot over the frame at rest.
int FaceFrameOver(int rest, bool enabled, bool pressed, bool hot) {
  if (!enabled) return 3;
  return pressed ? 2 : hot ? 4 : rest;
}

}  // namespace

int ButtonFaceFrame(bool enabled, bool focused, bool isDefault, bool pressed, bool hot) {
  return FaceFrameOver(focused || isDefault ? 5 : 1, enabled, pressed, hot);
}

int MenuButtonFaceFrame(bool enabled, bool focused, bool pressed, bool hot) {
  return FaceFrameOver(focused ? 4 : 1, enabled, pressed, hot);
}

int SpeedButtonFrame(bool enabled, bool pressed, bool hot, bool down) {
  int frame = pressed ? 2 : hot ? 4 : 1;
  if (!enabled) frame = 3;
  return down ? 2 : frame;
}

int GlyphImageIndex(int faceFrame, bool down) {
  if (down) return 4;
  return faceFrame == 2 ? 3 : faceFrame == 3 ? 2 : 1;
}

bool FlatShowsFace(int frame) { return frame == 2 || frame == 4; }

int GlyphCount(int numGlyphs) { return numGlyphs < 1 ? 1 : numGlyphs; }

TSliceRect GlyphImageRect(int bitmapWidth, int bitmapHeight, int numGlyphs, int index) {
  int count = GlyphCount(numGlyphs);
  if (index < 1 || index > count) index = 1;
  return FrameRect(bitmapWidth, bitmapHeight, count, index, false);
}

std::string SplitCaption(const std::string& caption) {
  std::string out = caption;
  size_t at = out.find("||");
  if (at != std::string::npos) out.replace(at, 2, "\r\n");
  return out;
}

std::wstring SplitCaption(const std::wstring& caption) {
  std::wstring out = caption;
  size_t at = out.find(L"||");
  if (at != std::wstring::npos) out.replace(at, 2, L"\r\n");
  return out;
}

TSliceRect ButtonCaptionRect(const TSliceRect& rect, int textWidth, int textHeight, bool centred) {
  TSliceRect r = rect;
  int dy = (rect.Height() - textHeight) / 2 - 1;
  r.Top = rect.Top + dy;
  r.Bottom = r.Top + textHeight;
  if (centred) {
    r.Left = rect.Left + (rect.Width() - textWidth) / 2;
    r.Right = r.Left + textWidth;
  }
  return r;
}

TGlyphLayout GlyphLayoutFromName(const std::string& name) {
  std::string n = Lower(name);
  if (n == "blglyphright") return TGlyphLayout::Right;
  if (n == "blglyphtop") return TGlyphLayout::Top;
  if (n == "blglyphbottom") return TGlyphLayout::Bottom;
  return TGlyphLayout::Left;
}

TBitButtonLayout LayoutBitButton(const TSliceRect& work, int glyphWidth, int glyphHeight,
                                 int textWidth, int textHeight, TGlyphLayout layout, int margin,
                                 int spacing, bool centred) {
  const bool across = layout == TGlyphLayout::Left || layout == TGlyphLayout::Right;
  const int avail = across ? work.Width() : work.Height();
  const int cross = across ? work.Height() : work.Width();
  const int g = across ? glyphWidth : glyphHeight, gCross = across ? glyphHeight : glyphWidth;
  const int t = across ? textWidth : textHeight, tCross = across ? textHeight : textWidth;
  // Across the layout axis both are centred.
  const int gOff = (cross - gCross + 1) / 2, tOff = (cross - tCross + 1) / 2;
  if (g == 0 || t == 0) spacing = 0;
  if (margin != -1 && !centred) {
    if (spacing == -1) spacing = (avail - margin - g - t) / 2;
  } else if (spacing != -1) {
    margin = (avail - (g + spacing + t)) / 2;
  } else {
    margin = spacing = (avail - (g + t)) / 3;
  }
  int gPos, tPos;
  TBitButtonLayout out;
  out.TextFlags = kWordBreak;
  if (layout == TGlyphLayout::Left || layout == TGlyphLayout::Top) {
    gPos = margin;
    tPos = margin + g + spacing;
  } else {
    gPos = avail - margin - g;
    tPos = gPos - spacing - t;
  }
  out.TextFlags |= layout == TGlyphLayout::Right ? kRight : across ? 0 : kCenter;
  auto place = [&](int pos, int off, int size, int crossSize) {
    TSliceRect r;
    r.Left = work.Left + (across ? pos : off);
    r.Top = work.Top + (across ? off : pos);
    r.Right = r.Left + (across ? size : crossSize);
    r.Bottom = r.Top + (across ? crossSize : size);
    return r;
  };
  out.Glyph = place(gPos, gOff, g, gCross);
  out.Text = place(tPos, tOff, t, tCross);
  return out;
}

int CheckFrame(const TCheckFacts& f) {
  int frame = f.Checked ? 2 : 1;
  bool mixed = f.Indeterminate;
  if (f.ClassControl) {
    if (f.HasState) {
      std::string state = Lower(f.StateName);
      mixed = false;
      frame = 1;
      if (Has(state, "uncheck"))
        frame = 1;
      else if (Has(state, "check"))
        frame = 2;
      else if (Has(state, "gray"))
        mixed = true;
    } else if (f.HasChecked) {
      frame = Lower(f.CheckedText) == "true" ? 2 : 1;
    }
  }
  if (f.HasDataField && f.LastCheck != 0) {
    int last = std::clamp(f.LastCheck, 1, 3);
    frame = last == 3 ? 1 : last;
    mixed = last == 3;
  }
  if (f.HasDataBinding) {
    frame = 1;
    mixed = false;
  }
  if (f.Indeterminate) mixed = true;
  // Mixed has its own frame: 4, or the third group of a 12-frame strip. Added to the
  // disabled offset it would fall past the strip.
  if (mixed) return Clamp(f.Frames >= 12 ? (f.Disabled ? 12 : 9) : 4, f.Frames);
  if (f.Disabled) frame += 2;
  if (f.Frames == 12) frame = frame == 2 ? 5 : frame == 3 ? 4 : frame == 4 ? 8 : frame;
  return Clamp(frame, f.Frames);
}

int LastCheckFrom(uint32_t wParam) { return int(std::min<uint32_t>(wParam, 2)) + 1; }

int RadioFrame(int frames, bool checked, bool disabled) {
  int frame = (checked ? 2 : 1) + (disabled ? 2 : 0);
  if (frames == 8) frame = frame == 2 ? 5 : frame == 3 ? 4 : frame == 4 ? 8 : frame;
  return Clamp(frame, frames);
}

TMarkLayout LayoutMark(const TSliceRect& rect, int markWidth, int markHeight, bool leftText,
                       bool rightToLeft) {
  TMarkLayout out;
  out.Mark.Top = rect.Top + (rect.Height() - markHeight) / 2;
  out.Mark.Bottom = out.Mark.Top + markHeight;
  out.Caption = rect;
  out.Flags = kWordBreak | kExpandTabs | (rightToLeft ? kRtlReading : 0);
  if (leftText) {
    out.Mark.Right = rect.Right;
    out.Mark.Left = rect.Right - markWidth;
    out.Caption.Right = out.Mark.Left - 2;
    out.Flags |= kRight;
  } else {
    out.Mark.Left = rect.Left;
    out.Mark.Right = rect.Left + markWidth;
    out.Caption.Left = out.Mark.Right + 2;
  }
  return out;
}

TGroupBoxGeometry GroupBoxGeometryFor(int width, int height, int textWidth, int textHeight,
                                      bool rightAligned, bool rightToLeft) {
  TGroupBoxGeometry g;
  g.Frame = {1, textHeight / 2 - 1, width - 1, height - 1};
  if (rightAligned) {
    g.Caption = {width - 8 - textWidth, 0, width - 8, textHeight};
    g.Flags = kRight | kExpandTabs | (rightToLeft ? kRtlReading : 0);
  } else {
    g.Caption = {8, 0, 8 + textWidth, textHeight};
    g.Flags = kExpandTabs;
  }
  return g;
}

std::array<int, 9> CheckGlyphSlots(int frames) {
  std::array<int, 9> slots = {1, 2, 5, 1, 2, 5, 3, 4, 5};
  for (int& s : slots)
    if (s > frames || (s == 5 && frames != 5)) s = 0;
  return slots;
}

std::array<int, 6> RadioGlyphSlots(int frames) {
  std::array<int, 6> slots = {1, 2, 1, 2, 3, 4};
  for (int& s : slots)
    if (s > frames) s = 0;
  return slots;
}

TPixelBuffer BuildSlotStrip(const TPixelBuffer& strip, int frames, const int* slots, int slotCount) {
  const int count = frames < 1 ? 1 : frames;
  const int w = strip.Width / count, h = strip.Height;
  if (w <= 0 || h <= 0 || slotCount <= 0) return {};
  TPixelBuffer out(w * slotCount, h, kMagentaPixel);
  for (int slot = 0; slot < slotCount; slot++) {
    if (slots[slot] < 1 || slots[slot] > count) continue;
    const TSliceRect f = FrameRect(strip.Width, strip.Height, count, slots[slot], false);
    for (int y = 0; y < h; y++)
      for (int x = 0; x < w; x++) out.At(slot * w + x, y) = strip.At(f.Left + x, f.Top + y);
  }
  return out;
}

int MediaButtonWidth(int panelWidth, int visibleCount) {
  return visibleCount > 0 && panelWidth > 0 ? panelWidth / visibleCount : 0;
}

int MediaButtonAt(int x, int panelWidth, int visibleCount) {
  int w = MediaButtonWidth(panelWidth, visibleCount);
  if (w == 0 || x < 0 || x >= panelWidth) return -1;
  return std::min(x / w, visibleCount - 1);
}

const char* const kMediaButtonNames[kMediaButtons] = {"MPPLAY", "MPPAUSE", "MPSTOP", "MPNEXT", "MPPREV",
                                                      "MPSTEP", "MPBACK", "MPRECORD", "MPEJECT"};

uint32_t MediaButtonSet(const std::string& setText) {
  static const char* const elements[kMediaButtons] = {"btplay", "btpause", "btstop", "btnext", "btprev",
                                                       "btstep", "btback", "btrecord", "bteject"};
  uint32_t bits = 0;
  size_t i = 0;
  while (i < setText.size()) {
    const size_t end = std::min(setText.find_first_of(",]", i), setText.size());
    std::string item;
    for (size_t k = i; k < end; k++) {
      const unsigned char c = static_cast<unsigned char>(setText[k]);
      if (c > ' ' && c != '[') item += static_cast<char>(std::tolower(c));
    }
    for (int b = 0; b < kMediaButtons; b++)
      if (item == elements[b]) bits |= 1u << b;
    i = end + 1;
  }
  return bits;
}

}  // namespace skin
