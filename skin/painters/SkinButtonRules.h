#pragma once
// The rules of the button, check-box, radio-button, group-box and media-player
// painters that need no window: state frames, glyph image indexes, caption split,
// glyph and mark layouts, group-box geometry and glyph slot maps. Every frame and
// index they give stays inside the image it is meant for.
//
// Pure code: no Win32 header.
#include <array>
#include <cstdint>
#include <string>

#include "skin/container/SkinSlice.h"

namespace skin {

// Push-button face frame: 1 normal, 2 pressed, 3 disabled, 4 hot, 5 focused or default.
int ButtonFaceFrame(bool enabled, bool focused, bool isDefault, bool pressed, bool hot);
// The drop-down menu button: focus gives 4, the "Default" property plays no part.
int MenuButtonFaceFrame(bool enabled, bool focused, bool pressed, bool hot);
// Speed button: 2 pressed, else 4 hot; 3 disabled; 2 when down.
int SpeedButtonFrame(bool enabled, bool pressed, bool hot, bool down);
// Glyph image (from 1) for a face frame: 1 normal/hot/focused, 3 pressed, 2 disabled;
// a speed button that is down shows image 4.
int GlyphImageIndex(int faceFrame, bool down = false);
// A flat speed button draws its face only in frames 2 and 4.
bool FlatShowsFace(int frame);

// Images in a "Glyph" bitmap: "NumGlyphs", with 0 and negative counting as 1.
int GlyphCount(int numGlyphs);
// The part of a glyph bitmap that image `index` of `numGlyphs` takes; an index past
// the count (or below 1) uses image 1.
TSliceRect GlyphImageRect(int bitmapWidth, int bitmapHeight, int numGlyphs, int index);

// The first "||" becomes CR LF; later ones stay.
std::string SplitCaption(const std::string& caption);
std::wstring SplitCaption(const std::wstring& caption);

// Where a measured caption (textWidth x textHeight) goes in `rect`: moved down by
// (available - text) div 2 - 1 and, when centred, right by (available - text) div 2.
TSliceRect ButtonCaptionRect(const TSliceRect& rect, int textWidth, int textHeight, bool centred);

// Glyph and caption positions of a bit or speed button.
enum class TGlyphLayout { Left = 0, Right = 1, Top = 2, Bottom = 3 };
TGlyphLayout GlyphLayoutFromName(const std::string& name);  // "blGlyphRight" ..., else Left
struct TBitButtonLayout {
  TSliceRect Glyph;
  TSliceRect Text;
  uint32_t TextFlags = 0;  // DT_WORDBREAK, plus DT_RIGHT (right) or DT_CENTER (top, bottom)
};
// `work` is the button rectangle shrunk by 2; text sizes are as measured (0 without a
// caption); margin and spacing -1 mean automatic; `centred` is "Alignment" taCenter.
TBitButtonLayout LayoutBitButton(const TSliceRect& work, int glyphWidth, int glyphHeight,
                                 int textWidth, int textHeight, TGlyphLayout layout, int margin,
                                 int spacing, bool centred);

// What a check box's painter knows of its control.
struct TCheckFacts {
  int Frames = 4;             // "CheckButtonFrame"
  bool Checked = false;       // BM_GETSTATE has BST_CHECKED
  bool Indeterminate = false; // BM_GETSTATE has BST_INDETERMINATE
  bool Disabled = false;      // WS_DISABLED
  bool ClassControl = false;  // a class-library control: its properties decide
  bool HasState = false;
  std::string StateName;      // "State" value name
  bool HasChecked = false;
  std::string CheckedText;    // "Checked" as text
  bool HasDataField = false;
  int LastCheck = 0;          // last BM_SETCHECK wParam + 1; 0 none
  bool HasDataBinding = false;
};
// The mark frame (1..Frames); 12-frame strips hold unchecked 1-4, checked 5-8 and
// mixed 9-12, the fourth of each group disabled.
int CheckFrame(const TCheckFacts& facts);
// LastCheck from a BM_SETCHECK wParam: the three states 1..3, anything else clamped.
int LastCheckFrom(uint32_t wParam);
// Radio mark frame (1..frames): 2 checked, +2 disabled, 8-frame strips re-mapped.
int RadioFrame(int frames, bool checked, bool disabled);

// Mark and caption of a check box or radio button in `rect`.
struct TMarkLayout {
  TSliceRect Mark;
  TSliceRect Caption;
  uint32_t Flags = 0;
};
TMarkLayout LayoutMark(const TSliceRect& rect, int markWidth, int markHeight, bool leftText,
                       bool rightToLeft);

// Group box: the rounded frame and the caption that cuts it.
struct TGroupBoxGeometry {
  TSliceRect Frame;  // RoundRect corners (right/bottom as passed to the call)
  TSliceRect Caption;
  uint32_t Flags = 0;
};
TGroupBoxGeometry GroupBoxGeometryFor(int width, int height, int textWidth, int textHeight,
                                      bool rightAligned, bool rightToLeft);

// Which skin frame (from 1; 0 = left empty) goes to each glyph slot of the other
// families' check boxes (9 slots) and radio buttons (6 slots); frames past the
// strip are left empty.
std::array<int, 9> CheckGlyphSlots(int frames);
std::array<int, 6> RadioGlyphSlots(int frames);

// The glyph image a slot map asks for: slots.size() images of one frame's size side
// by side, each a copy of its skin frame; magenta where a slot stays empty (0) or the
// strip has no such frame. Empty for an empty strip.
TPixelBuffer BuildSlotStrip(const TPixelBuffer& strip, int frames, const int* slots, int slotCount);

// Media-player panel: width of one visible button, and the visible button under x
// (0-based), -1 when none.
int MediaButtonWidth(int panelWidth, int visibleCount);
int MediaButtonAt(int x, int panelWidth, int visibleCount);
// The player's nine buttons in panel order, and the resource name part of each.
constexpr int kMediaButtons = 9;
extern const char* const kMediaButtonNames[kMediaButtons];  // "MPPLAY" ... "MPEJECT"
// Which buttons a set property's text ("[btPlay,btStop]") names: bit i for button i.
// Elements are compared whole and ignoring case.
uint32_t MediaButtonSet(const std::string& setText);

}  // namespace skin
