#pragma once
// The logger's dialog kit: the fonts every logger dialog shares, preparing a dialog
// window, the own look's caption, the auto-close and keep-in-front timers, work
// areas and monitors, placing and measuring. All of it runs on the thread that shows
// the dialogs; the state lives in one record (DialogKit()), the outcome bytes the
// handler reads in DialogOutcome() (exclog/core/ExceptionLog.h).
#include <windows.h>

#include <string>
#include <vector>

#include "exclog/dialogs/EDialogKit.h"

namespace exclog {

// The kit's process-wide state: fonts from a dialog's WM_INITDIALOG to its
// WM_DESTROY, the rest kept between dialogs.
struct TDialogKitState {
  TDialogFaces Faces;
  NONCLIENTMETRICSA Metrics{};  // read with cbSize 340 (the size every system takes)
  HFONT CaptionFont = nullptr, DialogFont = nullptr, BoldUnderlinedFont = nullptr, UnderlinedFont = nullptr,
        BoldFont = nullptr, FixedFont = nullptr, ListFont = nullptr;
  int CaptionMetric = 0;  // SM_CYCAPTION or SM_CYSMCAPTION
  bool TopMost = false;
  RECT WorkArea{};  // of the monitor showing the foreground window before the dialogs
  TAutoCloseCount AutoClose;
  HWND AutoCloseWindow = nullptr;
  HWND KeptInFront = nullptr;
  std::vector<HWND> RecordedWindows;
  // The dialogs' background (the own look's or the button face) and white, made by
  // the dialog that shows; the pages fall back on the system's while they are null.
  HBRUSH BackgroundBrush = nullptr;
  HBRUSH WhiteBrush = nullptr;
};
TDialogKitState& DialogKit();

// Timer ids the kit uses on a dialog window.
constexpr UINT_PTR AutoCloseTimer = 2;
constexpr UINT_PTR KeepForegroundTimer = 3;
constexpr UINT_PTR ForegroundWatchTimer = 4;
// The own look is `DialogFlags` bit 6; top-most bit 5.
constexpr uint16_t DialogOwnLook = 0x40;
constexpr uint16_t DialogTopMost = 0x20;

// Creates the seven fonts (faces by GetLocaleCharset of ESysInfo_win.h) and reads the non-client
// metrics; deletes fonts of an earlier call first. `window` gives the DC for the
// fixed fonts' pixel height (null: the screen).
void CreateDialogFonts(HWND window);
void DeleteDialogFonts();

// Tool-window style and caption metric, top-most, and the height
// adjusted from the templates' 18-pixel caption to the real one.
void PrepareDialogWindow(HWND window, bool keepToolCaption);

// Paints the own look's caption for WM_NCPAINT and WM_NCACTIVATE, active while
// `window` is the foreground window; false (nothing painted) without the own
// look or for other messages.
bool PaintCustomCaption(UINT message, WPARAM wParam, const std::string& caption, HWND window);

// Auto-close after the options' AutoCloseSeconds without input (0: never).
void StartAutoClose(HWND window);
void StopAutoClose(HWND window);
void ResetAutoClose();

// Keeps `window` in front of the windows the process had when it started.
void StartKeepForeground(HWND window);
void StopKeepForeground(HWND window);

// The monitor functions of user32, looked up at run time; a test may clear them.
struct TMonitorFunctions {
  HMONITOR(WINAPI* FromWindow)(HWND, DWORD) = nullptr;
  HMONITOR(WINAPI* FromPoint)(POINT, DWORD) = nullptr;
  BOOL(WINAPI* Info)(HMONITOR, LPMONITORINFO) = nullptr;
};
TMonitorFunctions& MonitorFunctions();

// Work area of the monitor nearest `window` (the primary work area without the
// monitor functions); the foreground window's (the desktop's when none), also
// kept in DialogKit().WorkArea.
void GetWorkArea(HWND window, RECT& area);
void GetForegroundWorkArea(RECT& area);
// From the top-left corner of the monitor under `rect`'s top-left point to the
// bottom-right corner of the one under its bottom-right point; false (unchanged)
// when a function is missing or fails.
bool GetMonitorsRect(RECT& rect);

void CenterInRect(HWND window, const RECT& rect);
void CenterOnWorkArea(HWND window, int width, int height);
void GrowWindowHeight(HWND window, int pixels);

int MeasureTextWidth(HWND window, HFONT font, const std::string& text);
int MeasureWrappedText(HWND window, HFONT font, const std::string& text, int width);
std::string GetDialogItemText(HWND window, int id);

// In the dialog font; at least 75.
int ButtonWidth(const std::string& text);
// On the dialog `dialog` (the Part's single-window form takes the kit's window).
void PlaceButton(HWND dialog, int id, int x, int y, const std::string& text, int height);
void PlaceWrappedText(HWND dialog, int x, int& y, HFONT font, bool advance, const std::string& text, int id,
                      int width);

bool IsEscapeDown();

}  // namespace exclog
