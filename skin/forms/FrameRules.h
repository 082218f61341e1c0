#pragma once
// The decisions of the skinned frame that need no window: frame metrics from the
// border images, the client rectangle, where the caption text goes, which caption
// buttons show, where they sit and which image frame they draw, the hit-code
// rewrite, the pieces the window region is built from, the window size that keeps
// the client area, the caption-button hint schedule, system-menu item states and
// what a double click does. TSkinFrame (SkinFrame_win.cpp) reads the window and
// hands the facts in.
//
// Skin values are outside input: frame counts below 1 count as 1, image frames are
// clamped to 1..count, and sums saturate instead of overflowing. The parsed skin
// keeps its values. Pure code: no Win32 header.
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "skin/forms/FormSkinRules.h"
#include "skin/container/SkinSlice.h"

namespace skin {

// Frame counts and indexes as drawing uses them.
int ClampedFrameCount(int count);
int ClampedFrameIndex(int k, int count);

// Size of one border image and its frame count.
struct TBorderImage {
  int Width = 0, Height = 0, Frame = 1;
};
// Left and Right frames lie side by side, Top and Bottom stacked: BorderLeft is the
// Left image's width over its count, CaptionHeight the Top image's height over its.
// A borderless window (BorderKind 2) has no frame at all.
TFrameMetrics ComputeFrameMetrics(uint8_t borderKind, TBorderImage left, TBorderImage right,
                                  TBorderImage top, TBorderImage bottom);

// The client rectangle inside a window at `window` (WM_NCCALCSIZE): the frame and
// the menu bar taken off; a window smaller than its frame gets an empty rectangle
// at the clipped origin, never an inverted one.
TSliceRect SkinnedClientRect(const TSliceRect& window, const TFrameMetrics& metrics,
                             int menuBarHeight);

// The image frame of a border: 1 active, 2 inactive, 1 for a single-frame image.
int BorderFrameIndex(bool active, int frameCount);

// Caption text placement in the caption rectangle R from the measured text size.
struct TCaptionTextFacts {
  TSliceRect Caption;  // R
  int TextWidth = 0, TextHeight = 0;
  int TextShift = 0, TextShiftVert = 0, TextRightClip = 0, TextAlignment = 0;
  int BackLeft = 0, BackRight = 0;  // TXTBackleft, TXTBackRight
  int ButtonAreaWidth = 0;
  bool RightToLeft = false;
  bool Popup = false;         // WS_POPUP
  bool DialogFrame = false;   // BorderKind 3
};
// The rectangle of the text with its back image (CaptionTextRect); the text itself
// is drawn inside it less BackLeft and BackRight.
TSliceRect PlaceCaptionText(const TCaptionTextFacts& facts);

// What a caption button's visibility codes read.
struct TCaptionFacts {
  uint8_t ButtonFlags = 0;
  uint8_t BorderKind = kBorderSizeable;
  bool Maximized = false;
  bool Active = true;
  bool DialogClass = false;
  bool MdiChildMaximizedWithMenuBar = false;  // code 100
};
// Code 1000..2000 of Visibility asks the window (0x3515); a result above 0 shows.
using TAskButtonVisible = std::function<int(int code, int action)>;
struct TButtonShow {
  bool Visible = false;
  bool Enabled = true;
};
// `enabled` is the button's Enabled before; maximize and minimize set it anew.
TButtonShow CaptionButtonShow(int action, int visibility, int visibility1, const TCaptionFacts& facts,
                              bool enabled, const TAskButtonVisible& ask);

// A caption button's rectangle in window-frame coordinates.
struct TButtonPlaceFacts {
  int WindowWidth = 0;
  TSliceRect CaptionTextRect;
  int BorderRight = 0, CaptionHeight = 0, MenuBarHeight = 0;
  int MenuBarLeftWidth = 0;  // the menuBar element's LeftWidth, 0 without one
};
TSliceRect CaptionButtonRect(int align, int xcoord, int ycoord, int imageWidth, int imageHeight,
                             int frameCount, const TButtonPlaceFacts& facts);

// The image frame when the caption is painted (1 active, 4 inactive or disabled; 1
// for images of fewer than 4 frames) and when a button's state changes (its state;
// 4 or 1 when disabled; a hot menu-bar button of Visibility 100 uses 4). Both lie in
// 1..count.
int CaptionButtonPaintFrame(bool active, bool enabled, int frameCount);
int CaptionButtonStateFrame(int state, bool enabled, int frameCount, bool visibility100);

// True for actions that draw the window icon (system-menu button).
bool IsSystemMenuAction(int action);

// WM_NCHITTEST after the old procedure: its HTNOWHERE or HTCAPTION becomes HTCAPTION
// below y 3 and HTMENU over the menu bar; the system's own caption-button codes
// (HTSYSMENU, HTMINBUTTON, HTMAXBUTTON, HTCLOSE, HTHELP) become HTCAPTION too, since
// the skin, not the system, shows buttons there. Sizing borders stay.
int RewriteHitCode(int oldCode, int frameY, int captionHeight, int menuBarHeight);

// Window region.
struct TRegionFacts {
  int State = kFormActive;
  bool FrameSkinned = true;
  int Width = 0, Height = 0;
  bool MdiChild = false;
  uint8_t WindowState = kStateNormal;
  int RegionWidth = -1, RegionHeight = -1;  // the size it was last built for
};
bool RegionBuildSkipped(const TRegionFacts& facts);

// One border's part of the region: the piece's rectangle, and whether its image's
// opaque pixels make it (else the plain rectangle, empty when it has no area).
struct TRegionPiece {
  TSliceRect Rect;
  bool FromImage = false;
};
// Left, Right, Top, Bottom; `trans` is each border's Trans = 1. Empty for BorderKind 2.
std::vector<TRegionPiece> RegionPieces(int width, int height, const TFrameMetrics& metrics,
                                       const bool trans[4], uint8_t borderKind);
// The client part every region keeps.
TSliceRect RegionBase(int width, int height, const TFrameMetrics& metrics);

// The window size around a client of clientWidth x clientHeight under the skinned
// frame and menu bar.
TWindowSize SkinnedWindowSize(int clientWidth, int clientHeight, const TFrameMetrics& metrics,
                              int menuBarHeight);
// A dialog as wide as its caption needs: the new width and how far its children
// move right (0 when it is wide enough).
struct TDialogWiden {
  int Width = 0;
  int ChildShift = 0;
};
TDialogWiden WidenDialogForCaption(int width, int textShift, int captionTextWidth, int textRightClip);

// Caption-button hint: nothing before twice the hint pause, shown for the hide
// pause after that, hidden from then on.
enum class THintPhase { Wait, Show, Hide };
THintPhase CaptionHintPhase(int elapsedMs, int hintPause, int hintHidePause);
// "Close", "Maximize", "Minimize", "Restore" by action; empty for the others.
std::string_view CaptionHintText(int action);

// One item of the skinned system menu from the system menu's item.
struct TSysMenuItemState {
  bool Enabled = true;
  bool Checked = false;
  int ImageIndex = -1;  // 0 restore, 1 maximize, 2 minimize, 3 close
};
TSysMenuItemState SysMenuItemState(uint32_t id, uint32_t itemState, uint8_t windowState,
                                   uint8_t buttonFlags);
// The fixed items of older NT systems: tags 0 restore, 1 maximize, 2 minimize, 100
// separator, 3 close (maximize and minimize only with their boxes).
std::vector<int> FixedSysMenuTags(uint8_t buttonFlags);
// Whether the fixed items replace the system menu's own (NT below 5).
bool UsesFixedSysMenu(const TSystemVersion& version);

// Whether the close button or a double click may close the window: older systems
// (NT below 5, the 9x family) always, else when the system menu has an SC_CLOSE
// item; never while that item is disabled or grayed.
bool ClosingAllowed(const TSystemVersion& version, bool hasCloseItem, bool closeItemDisabled);

// A double click in the non-client area.
enum class TDoubleClick { Close, Nothing, Restore, Maximize, Old };
// `buttonAction` is the action of the caption button under the point, -1 for none.
TDoubleClick NcDoubleClick(int buttonAction, uint8_t windowState, uint8_t buttonFlags);

// Actions of caption buttons.
enum class TButtonAction { Close, Maximize, Minimize, SystemMenu, ContextHelp, MdiMinimize,
                           MdiRestore, MdiClose, Program };
TButtonAction ButtonActionOf(int action);

}  // namespace skin
