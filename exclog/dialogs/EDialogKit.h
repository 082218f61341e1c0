#pragma once
// The logger's dialog kit, pure half: faces and sizes by character set, the own
// look's caption geometry and gradient, centring, wrapped-text height over an
// injected width function, button widths, the auto-close count and the
// keep-in-front decision. EDialogKit_win.h applies them to windows.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace exclog {

// A rectangle as Win32 keeps it: right and bottom exclusive.
struct TKitRect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
  bool operator==(const TKitRect&) const = default;
};

// The dialogs' faces: a non-Western character set gets faces that carry it.
struct TDialogFaces {
  std::string Header, Fixed, List;
  int Points = 8;
};
// `charset` 0 (the Western ANSI set) gives "Verdana", "Lucida Console", "Tahoma" at
// 8 pt; any other "MS Sans Serif", "Courier New", "Courier New" at 10 pt.
TDialogFaces FacesForCharset(int charset);

// --- Own-look caption ---------------------------------------------------------------

// Colours as COLORREF (red in the low byte).
struct TCaptionColours {
  uint32_t DarkFrame, LightFrame, GradientStart, Text;
};
TCaptionColours CaptionColours(bool active);
constexpr uint32_t CaptionShadowColour = 0x222222;

struct TCaptionGeometry {
  TKitRect Window;  // (0, 0, w, h)
  TKitRect Inner;   // deflated by the frame sizes less one
  TKitRect Band;    // the caption band
  TKitRect Client;  // the inner rectangle below the band
};
// `cxFrame`/`cyFrame`: SM_CXFRAME and SM_CYFRAME; `captionMetric`: the caption's height.
TCaptionGeometry CaptionGeometryOf(int width, int height, int cxFrame, int cyFrame, int captionMetric);

// One fill of the gradient: the band narrows by 2 pixels a side each step, its
// colour darkening by 4 % per component (rounded, at most 255), so the centre ends
// darkest. Steps: band width / 5.
struct TGradientStep {
  uint32_t Colour;
  TKitRect Rect;
};
std::vector<TGradientStep> GradientSteps(const TKitRect& band, uint32_t startColour);

// --- Geometry -----------------------------------------------------------------------

// The top-left corner that centres a `width` x `height` window in `area`; the
// halves round toward zero.
struct TKitPoint {
  int X = 0, Y = 0;
  bool operator==(const TKitPoint&) const = default;
};
TKitPoint CenteredIn(const TKitRect& area, int width, int height);

// Height in pixels of `text` wrapped at `width` pixels: lines split at CR LF, LF or
// CR (an empty line counts as one blank), words at blanks; a line's first word adds
// one line height, and each time the running width (words and the blanks between
// them) passes whole multiples of `width` - 6 it adds one height per multiple and
// starts again at the current word. `textWidth` measures a piece of one line. Never
// less than what a static draws at that width; a width of 6 or less counts every
// pixel as a line's room.
using TTextWidth = std::function<int(std::string_view piece)>;
int MeasureWrappedHeight(std::string_view text, int width, int lineHeight, const TTextWidth& textWidth);

// `text` without any "&".
std::string WithoutAmpersands(std::string_view text);
// A button's width for a text `textWidth` pixels wide: + 16 + 4 x SM_CYBORDER, at
// least 75.
int ButtonWidthFor(int textWidth, int cyBorder);

// --- Timers -------------------------------------------------------------------------

// The auto-close count: one tick a second; `Tick` says when the window is to close:
// after `seconds` whole seconds without input. A time of 0 never closes.
class TAutoCloseCount {
 public:
  void Start(int seconds) {
    seconds_ = seconds;
    count_ = 0;
  }
  // Input: the part of a second up to the next tick is not a quiet second (else a
  // 1-second dialog would close at the next tick whatever the user does).
  void Reset() { count_ = -1; }
  bool Tick() { return seconds_ > 0 && ++count_ >= seconds_; }
  int Count() const { return count_; }
  int Seconds() const { return seconds_; }

 private:
  int seconds_ = 0, count_ = 0;
};

// What the keep-in-front tick knows of the foreground window.
struct TForegroundFacts {
  bool DialogTopMost = false;
  bool ForegroundIsDialog = false;
  bool ForegroundOfOtherProcess = false;
  bool ForegroundRecorded = false;  // one of the process's windows when keeping started
};
// Only a window the process had when the dialog started may not take the
// foreground from it: another process's, a newer one of ours (a window the
// program opened from an event) or none are left alone.
bool ShouldRetakeForeground(const TForegroundFacts& facts);

}  // namespace exclog
