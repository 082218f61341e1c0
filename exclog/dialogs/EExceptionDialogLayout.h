#pragma once
// The exception dialog's rules without the system: which check boxes and the
// support link show, the check area's height, the control rectangles of a client
// size, the compact window's size, the detailed window's stored placement, the
// tabs and the initial one, and what the dialog's end writes back. Every measure
// (text widths, frame metrics, work area) comes in as an argument.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace exclog {

// Bits of the options' DialogFlags word.
constexpr uint16_t DialogSendChecked = 0x1;
constexpr uint16_t DialogScreenshotChecked = 0x2;
constexpr uint16_t DialogShowCopy = 0x4;
constexpr uint16_t DialogDetailsAvailable = 0x8;
constexpr uint16_t DialogOpenDetailed = 0x10;
// Bits 5 (top-most) and 6 (own look) belong to the dialog kit (EDialogKit_win.h).
constexpr uint16_t DialogShowSend = 0x80;
constexpr uint16_t DialogShowScreenshot = 0x100;
constexpr uint16_t DialogShowHelp = 0x200;

// Bits of the options' LogFlags the dialogs read.
constexpr uint8_t LogAskReproduceSteps = 0x2;
constexpr uint8_t LogModulesPages = 0x10;
constexpr uint8_t LogAssemblerPages = 0x20;

// ProcessFlags bit: the screenshot is attached when sending.
constexpr uint16_t ProcessAttachScreenshot = 0x10;

// Show states of the detailed window as the settings file keeps them.
constexpr int PlacementNormal = 1;
constexpr int PlacementMaximised = 3;
constexpr int PlacementMinimised = 6;

struct TDialogRect {
  int X = 0, Y = 0, Width = 0, Height = 0;
  int Right() const { return X + Width; }
  int Bottom() const { return Y + Height; }
  bool operator==(const TDialogRect& o) const {
    return X == o.X && Y == o.Y && Width == o.Width && Height == o.Height;
  }
};

// --- Check boxes and the support link -------------------------------------------

struct TCheckAreaInput {
  uint8_t MailMode = 0, WebSendMode = 0;
  bool Duplicate = false;  // the log already counted this error
  uint16_t DialogFlags = 0;
  uint16_t ProcessFlags = 0;
  std::string SupportUrl;
};
struct TCheckVisibility {
  bool Send = false, Screenshot = false, Copy = false, Link = false;
};
TCheckVisibility CheckVisibility(const TCheckAreaInput& in);
// Whether sending is offered at all (the send box, and the classic dialog's
// send controls).
bool SendOffered(uint8_t mailMode, uint8_t webSendMode, bool duplicate, uint16_t dialogFlags);
// 0 with nothing to show, 34 for two rows, else 20.
int CheckAreaHeight(const TCheckVisibility& v);

// --- Layout of a client size -------------------------------------------------------

constexpr int MinButtonWidth = 75;
// The widest of the measured button texts, at least MinButtonWidth.
int CommonButtonWidth(const std::vector<int>& measuredWidths);

struct TDialogLayoutInput {
  int Width = 0, Height = 0;  // client
  int CheckArea = 0;
  bool DetailsMode = false;
  bool DetailsShownBefore = false;
  uint16_t DialogFlags = 0;
  int ButtonWidth = MinButtonWidth;
  uint8_t TerminateAction = 0;
  int ErrorCount = 0;  // errors handled so far
  int TerminateButtonAfter = 0;
  TCheckVisibility Visible;
  int LinkWidth = 0, LinkHeight = 0;  // the link text in its font
};
struct TDialogLayout {
  TDialogRect Tab, Header;
  bool PlaceHeader = false;  // detailed mode only; compact mode sizes it itself
  TDialogRect Terminate, Help, Ok, Details;
  bool TerminateShown = false, HelpShown = false, DetailsShown = false;
  TDialogRect Send, Copy, Screenshot, Link;
};
bool TerminateButtonShown(uint8_t terminateAction, int errorCount, int terminateButtonAfter);
TDialogLayout LayOutDialog(const TDialogLayoutInput& in);

// --- Compact mode ------------------------------------------------------------------

struct TCompactInput {
  // Widths of the message's lines and of the check boxes' line, as measured.
  std::vector<int> LineWidths;
  int LineHeight = 13;
  int CxFrame = 4, CyFrame = 4;  // SM_CXFRAME, SM_CYFRAME
  int CaptionMetric = 18;
  int CheckArea = 0;
};
struct TCompactSize {
  int WindowWidth = 0;
  int WindowHeight = 0;  // with the check area
  TDialogRect Header;
};
TCompactSize CompactSize(const TCompactInput& in);

// --- The detailed window's placement -------------------------------------------------

constexpr int DefaultDetailsWidth = 745;
constexpr int DefaultDetailsHeight = 468;
// The reference layout's client size: the smallest detailed window kept.
constexpr int ReferenceClientWidth = 466;
constexpr int ReferenceClientHeight = 252;

// The values as read from [Coordinates]; an absent key reads as "".
struct TPlacementValues {
  std::string Width, Height, Left, Top, State;
};
struct TPlacement {
  int Left = 0, Top = 0, Width = 0, Height = 0;  // Height without the check area
  int State = PlacementNormal;
};
// A decimal integer (optional sign, digits only, within int); false otherwise.
bool ParseDecimal(const std::string& text, int& value);
// Defaults for what is missing or not a number; the size kept between the
// reference layout and the work area; a rectangle (with the check area) outside
// the work area centred on it keeping its size; any state but maximised opens
// normally, since a hidden or minimised modal dialog could not be answered.
TPlacement ResolvePlacement(const TPlacementValues& values, const TDialogRect& workArea, int checkArea);
// The keys to write: the rectangle only in the normal state once a size was
// recorded, the state always.
std::vector<std::pair<std::string, std::string>> PlacementToSave(const TPlacement& p, bool sizeRecorded);

// --- Tabs ------------------------------------------------------------------------------

// The pages behind the tabs, in tab order (0 General, 1 Call Stack, 2 Modules,
// 3 Processes, 4 Assembler, 5 CPU).
std::vector<int> TabPages(uint8_t logFlags);
// The tab showing the initial page: the page falls back to General when its tabs
// are not there.
int InitialTab(uint8_t initialPage, uint8_t logFlags);

// --- The end -------------------------------------------------------------------------------

struct TDialogChoiceBoxes {
  bool SendChosen = false, SendChecked = false;
  bool ScreenshotChecked = false;
  bool CopyChosen = false, CopyChecked = false;
};
struct TDialogEndChoices {
  bool SendChosen = false, ScreenshotChosen = false, CopyChosen = false;
  uint16_t DialogFlags = 0;  // with the send and screenshot bits written back
};
TDialogEndChoices CombineOnDestroy(const TDialogChoiceBoxes& boxes, uint16_t dialogFlags);

}  // namespace exclog
