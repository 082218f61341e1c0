#pragma once
// The decisions of the form skinner that need no window: which caption buttons and
// border a window has, what kind of form it is, its window state, which handler a
// message goes to, and how big the window becomes when the skinned frame is taken
// off again. TWinSkinForm (WinSkinForm.h) reads the window and hands the facts in.
//
// Pure code: no Win32 header; the style bits are spelled out here.
#include <cstdint>
#include <string_view>

namespace skin {

namespace formbits {
constexpr uint32_t WS_CHILD_ = 0x40000000;
constexpr uint32_t WS_CAPTION_ = 0x00C00000;
constexpr uint32_t WS_SYSMENU_ = 0x00080000;
constexpr uint32_t WS_THICKFRAME_ = 0x00040000;
constexpr uint32_t WS_MINIMIZEBOX_ = 0x00020000;
constexpr uint32_t WS_MAXIMIZEBOX_ = 0x00010000;
constexpr uint32_t DS_MODALFRAME_ = 0x80;
constexpr uint32_t WS_EX_DLGMODALFRAME_ = 0x1;
constexpr uint32_t WS_EX_MDICHILD_ = 0x40;
constexpr uint32_t WS_EX_CONTEXTHELP_ = 0x400;
constexpr uint32_t WS_EX_LEFTSCROLLBAR_ = 0x4000;
constexpr uint32_t WS_EX_APPWINDOW_ = 0x40000;
}  // namespace formbits

// ButtonFlags bits.
constexpr uint8_t kButtonMaximize = 1, kButtonMinimize = 2, kButtonHelp = 4, kButtonSysMenu = 8,
                  kButtonKeepSysMenuStyle = 16;

// What GetVersion says, injected so that older systems' rules are reachable.
struct TSystemVersion {
  bool Nt = true;
  int Major = 6;
  int Minor = 1;
};
// Splits a GetVersion value (major in the low byte, minor in the next, top bit set
// on the Windows 9x family).
TSystemVersion VersionFromGetVersion(uint32_t value);

struct TButtonFacts {
  uint32_t Style = 0, ExStyle = 0;
  bool HasSystemMenu = false;  // a system menu is known besides the style bit
  bool HasOwner = false;
  bool MdiChild = false;
  TSystemVersion Version;
};
uint8_t ButtonFlagsOf(const TButtonFacts& facts);

// BorderKind: 0 sizeable, 1 single, 2 none (no caption), 3 dialog.
constexpr uint8_t kBorderSizeable = 0, kBorderSingle = 1, kBorderNone = 2, kBorderDialog = 3;
// True for the dialog classes "#32770" and "TMessageForm".
bool IsDialogClass(std::string_view className);
uint8_t BorderKindOf(uint32_t style, uint32_t exStyle, std::string_view className);

// FormKind: 0 normal window, 1 MDI frame, 2 MDI child.
constexpr uint8_t kFormNormal = 0, kFormMdiFrame = 1, kFormMdiChild = 2;
uint8_t FormKindOf(bool hasMdiClientChild, uint32_t exStyle);

// WindowState: 0 normal, 1 maximized, 2 minimized.
constexpr uint8_t kStateNormal = 0, kStateMaximized = 1, kStateMinimized = 2;
// From a placement's show command (3 maximized; 2, 6, 7 minimized).
uint8_t WindowStateFromShowCommand(uint32_t showCommand);
// From WM_SIZE's wParam (SIZE_RESTORED 0, SIZE_MINIMIZED 1, SIZE_MAXIMIZED 2); other
// kinds keep `current`.
uint8_t WindowStateFromSizeKind(uint32_t sizeKind, uint8_t current);

// Skinner states.
constexpr int kFormCreated = 0, kFormActive = 1, kFormRefreshing = 3, kFormDestroying = 4,
              kFormActivating = 5, kFormDestroyed = 6;

// Who handles a message of the skinned window.
enum class TFormHandler : uint8_t {
  Old,            // the previous window procedure
  AnswerZero,     // result 0, nothing else
  CtlColorBtn,    // old; plain windows: transparent text background
  CtlColorStatic, // old; plain windows: transparent, the skin's background brush
  EraseBackground,
  NcDestroy,
  InitMenuPopup,
  Activation,        // 0x3503
  ReplaceScrollBar,  // 0x3517
  IsSkinned,         // 0x3523
  Command,
  SysCommand,
  WindowPosChanged,
  Size,
  GetMinMaxInfo,
  SetIcon,
  MenuBarPopup,  // 0x3518
  MenuChanged,   // CM_MENUCHANGED
  NcActivate,
  DrawItem,
  MeasureItem,
  NcCalcSize,
  NcHitTest,
  NcPaint,
  NcMouse,
  PaintFrame,  // 0x3502
};

struct TFormFacts {
  int State = kFormCreated;
  bool FrameSkinned = false;
  uint8_t FormKind = kFormNormal;
  uint32_t Style = 0;
  uint8_t WindowState = kStateNormal;
};

struct TFormRoute {
  TFormHandler Handler = TFormHandler::Old;
  // WM_ACTIVATE / WM_NCACTIVATE in stage 2: Active takes wParam's low byte first.
  bool SetsActive = false;
};

// The whole routing of one message: stage 1 for every message, stage 2 when the
// frame is skinned (a plain WS_CHILD window, not an MDI child, stops there with the
// old procedure), stage 3 while the skinner is not in state 0 and the window is not
// a maximized MDI child. WM_SIZE is handled once, in stage 2.
TFormRoute RouteFormMessage(const TFormFacts& facts, uint32_t message);

// Stage 3 runs for this window now.
bool FormStage3Runs(const TFormFacts& facts);

struct TFrameMetrics {
  int BorderLeft = 0, CaptionHeight = 0, BorderRight = 0, BorderBottom = 0;
};
struct TWindowSize {
  int Width = 0, Height = 0;
  bool operator==(const TWindowSize&) const = default;
};
// The window size that keeps the client area when the skinned frame `metrics` gives
// way to the system's frame of `systemFrame` (window minus client size).
TWindowSize DetachedWindowSize(TWindowSize window, const TFrameMetrics& metrics,
                               TWindowSize systemFrame);

}  // namespace skin
