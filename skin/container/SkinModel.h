#pragma once
// The parsed skin: element objects (one image plus cut margins, frame count and
// colours each), the caption buttons, the colour table and the derived images,
// built from a skin INI and the container's bitmaps. Pure code over TPixelBuffer;
// TSkinData (WinSkinData.h) holds one TSkinModel and swaps a freshly parsed one in
// only when a parse completes.
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "classlib/PixelBuffer.h"
#include "skin/container/BitmapOps.h"
#include "skin/container/QuickIni.h"
#include "skin/container/SkinSlice.h"

namespace skin {

// One skin element. Margin fields are kept as the INI gave them: some elements use
// them for other values (a title's text shifts, the top and bottom borders' end
// widths), so drawing code clamps them, never the parser.
class TDataSkinObject {
 public:
  explicit TDataSkinObject(std::string name = {}) : Name(std::move(name)) {}
  virtual ~TDataSkinObject() = default;
  TDataSkinObject(const TDataSkinObject&) = default;
  TDataSkinObject& operator=(const TDataSkinObject&) = default;

  int32_t LeftWidth = 0, TopHeight = 0, RightWidth = 0, BottomHeight = 0;
  TPixelBuffer Bitmap;
  int32_t Trans = 0;  // non-zero: magenta pixels are transparent
  int32_t Tile = 0;   // 1: tile the middle parts, 0: stretch them
  std::string Name;   // the INI section the element came from
  int32_t Frame = 0;  // frames side by side in Bitmap
  int32_t Style = 0;
  TSkinColor NormalColour = -1, MouseOverColour = -1, PressedColour = -1;  // -1: not given
  TSkinColor NormalColour2 = -1, MouseOverColour2 = -1, PressedColour2 = -1;

  TSliceMargins Margins() const { return {LeftWidth, TopHeight, RightWidth, BottomHeight}; }
};

// An element with a second image (border glyph, tab border, mirrored combo button).
class TDataSkinBorder : public TDataSkinObject {
 public:
  using TDataSkinObject::TDataSkinObject;
  TPixelBuffer Border;
};

// The caption text: LeftWidth, TopHeight, RightWidth hold TextShift, TextShiftVert,
// TextRightClip; Bitmap is the TextBack image.
class TDataSkinTitle : public TDataSkinObject {
 public:
  using TDataSkinObject::TDataSkinObject;
  static constexpr TSkinColor kNoColour = 0x1FFFFFFF;
  int32_t TextAlignment = 0, Textbackground = 0, FontHeight = 14;
  int32_t TXTBackleft = 0, TXTBackRight = 0;
  TSkinColor ActiveText = kNoColour, InActiveText = kNoColour;
};

class TDataSkinButton : public TDataSkinObject {
 public:
  using TDataSkinObject::TDataSkinObject;
  TPixelBuffer CheckButton, RadioButton;
  int32_t RadioButtonFrame = 0, CheckButtonFrame = 0;
  bool HasNormalColour2 = false, HasMouseOverColour2 = false, HasPressedColour2 = false;
};

// A caption button; the codes are read by the caption-button painter.
class TDataSkinSysButton : public TDataSkinObject {
 public:
  using TDataSkinObject::TDataSkinObject;
  int32_t Action = 0, Align = 0, Xcoord = 0, Ycoord = 0, CombineOp = -1;
  int32_t Visibility = 0, Visibility1 = 0;
};

// The group-box caption.
class TDataSkinBoxLabel : public TDataSkinObject {
 public:
  using TDataSkinObject::TDataSkinObject;
  int32_t BackgroundLeftShift = 0, BackgroundRightShift = 0, BackgroundAlignment = 0;
};

// Colour table slots.
inline constexpr int kSkinColourSlots = 19;
inline constexpr int kSlotButtonFace = 3;
inline constexpr int kSlotButtonText = 4;
inline constexpr int kSlotSampled = 17;

// System colour references as the class library stores them.
constexpr TSkinColor SysColour(int index) { return static_cast<TSkinColor>(0x80000000u | index); }

// Pixels one skin load may decode for its images in all: far above any real skin
// (the default one needs well under a million), low enough that a skin of small
// files claiming huge images cannot take a 32-bit process's address space.
inline constexpr uint64_t kSkinImagePixelBudget = uint64_t{16} << 20;

// What one load has left to decode; Exceeded once an image did not fit (in it or
// in memory), which fails the whole load.
struct TSkinImageBudget {
  uint64_t PixelsLeft = kSkinImagePixelBudget;
  bool Exceeded = false;
};

// What the parse takes from the running system and the program's own resources.
struct TSkinParseEnv {
  uint64_t ImagePixelBudget = kSkinImagePixelBudget;  // for all images of the skin
  int HScrollArrowWidth = 16;                 // SM_CXHSCROLL
  TSysColorProc SysColor = ClassicSysColor;   // for blends of system colours
  TPixelBuffer TrackImage;                    // the program's TRACK bitmap (16 x 4)
  TPixelBuffer TrackVertImage;                // the program's TRACKVERT bitmap (4 x 16)
};

// Hands out a container entry by name (letter case ignored); false when absent.
using TSkinEntryLookup = std::function<bool(std::string_view name, std::vector<uint8_t>& bytes)>;

class ESkinParseError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct TSkinModel {
  std::string SkinName;
  TDataSkinBorder Left{"Left"}, Right{"Right"}, Top{"Top"}, Bottom{"Bottom"};
  TDataSkinTitle Title{"Title"};
  TDataSkinButton Buttons{"Buttons"};
  std::vector<std::unique_ptr<TDataSkinSysButton>> CaptionButtons;

  // Null when the skin lacks the element.
  std::unique_ptr<TDataSkinBorder> Progress;
  std::unique_ptr<TDataSkinObject> ProgressChunk, MenuBar, GroupBoxEdge;
  std::unique_ptr<TDataSkinBoxLabel> GroupBox;
  std::unique_ptr<TDataSkinBorder> Tabs;
  std::unique_ptr<TDataSkinObject> StatusBarEdges, TabPane, ToolBars;
  std::unique_ptr<TDataSkinBorder> ComboButton;
  std::unique_ptr<TDataSkinObject> SunkEdge, ComboxArrow, ExtraImages, Headerbar, MenuItem,
      MenuBackground, Scrollbar, HorzScroll, VertScroll, HorzScrollThumb, VertScrollThumb;
  std::unique_ptr<TDataSkinObject> ThumbHorz, ThumbVert, ThumbLeft, ThumbRight, ThumbUp, ThumbDown;
  std::unique_ptr<TDataSkinBorder> UpDownHorz, UpDownVert;
  std::unique_ptr<TDataSkinObject> Track, TrackVert, Toolbar;

  std::array<TSkinColor, kSkinColourSlots> Colours{};
  std::array<bool, kSkinColourSlots> ColourGiven{};
  std::vector<TSkinColor> ColourN;
  std::array<TSkinColor, 10> CustomColours{};

  TSkinModel();
  // Every element that exists, the fixed ones first (for tests and tools).
  std::vector<const TDataSkinObject*> Elements() const;
};

// The default colour table: the system colours of each slot.
std::array<TSkinColor, kSkinColourSlots> DefaultSkinColours();

// Colour text: the decimal numbers of `text`, separated by any non-digits, as red,
// green, blue (missing ones 0, each clamped to 255). Returns 0x00BBGGRR.
TSkinColor ParseSkinColour(std::string_view text);

// Decodes the entry named by an INI image value (folder part dropped, ".bmp" in any
// letter case). Empty for any other name, a missing entry or a broken BMP. With a
// budget the image's pixels are taken from it; an image larger than what is left,
// or one whose memory cannot be had, is empty and marks the budget exceeded.
TPixelBuffer LoadSkinImage(std::string_view value, const TSkinEntryLookup& lookup,
                           TSkinImageBudget* budget = nullptr);

// Parses the whole skin into a new model: every INI step, the caption buttons, the
// colour table and the derived images. Null when the images need more than
// env.ImagePixelBudget pixels in all (or more memory than there is). Throws
// ESkinParseError only for failures of the environment (never for odd INI values,
// which take defaults or are clamped where drawn); the caller keeps its previous
// model in both cases.
std::unique_ptr<TSkinModel> ParseSkin(const TQuickIni& ini, const TSkinEntryLookup& lookup,
                                      const TSkinParseEnv& env);

// The program's own small bitmaps: the trackbar grooves and the four 16 x 16 menu
// glyphs (restore, maximise, minimise, close; white is the mask colour).
TPixelBuffer DrawTrackResource();
TPixelBuffer DrawTrackVertResource();
TPixelBuffer DrawMenuGlyphResource();

}  // namespace skin
