#pragma once
// Probes for GUI tests: waiting with a deadline while the message queue is served,
// screen pixels read in-process and from the X server behind Wine.
#include <windows.h>

#include <functional>
#include <optional>
#include <string>

namespace velmora::test {

// Serves this thread's messages until `done` holds or `timeoutMs` passed.
// Returns whether `done` held. Screen read-back lags, so never sleep a fixed time.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 10000);

// Serves this thread's pending messages once.
void PumpMessages();

// The pixel at screen (x, y) through GDI, as a COLORREF; CLR_INVALID when unreadable.
COLORREF ScreenPixel(int x, int y);

// The pixel at screen (x, y) as the X server holds it, read with ImageMagick's
// `import` on the display of this session; nothing when the tool gave no answer
// within `timeoutMs`.
std::optional<COLORREF> XScreenPixel(int x, int y, DWORD timeoutMs = 10000);

// The window `find` names once it stands where the test expects it: at least 100
// pixels wide, `placed` true of its rectangle (a dialog starts at 0, 0 and may
// hold its first size a while on a loaded machine before its mode places it), and
// no other window over its middle. Null at the deadline.
HWND WaitUntilPlaced(const std::function<HWND()>& find, const std::function<bool(HWND, const RECT&)>& placed,
                     DWORD timeoutMs);
// Where the logger's dialogs first stand: centred across the work area of their
// monitor (their height may still grow).
bool CentredAcrossWorkArea(HWND window, const RECT& r);

// Runs a command line of the build machine (through /bin/sh) and returns what it
// wrote to standard output; nothing when it gave no answer within `timeoutMs`.
std::optional<std::string> RunHostCommand(const std::string& shellCommand, DWORD timeoutMs = 20000);

// Waits until the thread of `window` (of this process or another) has served every
// message sent to it so far, by a WM_NULL round trip: what it does in answer to a
// resize or a click is then done. False when it did not answer within `timeoutMs`.
bool SettleWindowThread(HWND window, DWORD timeoutMs = 10000);

// Drags `window`'s border (or caption) with the real pointer from `from` to `to` at
// a hand's pace: presses and waits until the window's thread is in its move-size
// loop, moves and waits until the window changed, releases and waits until the
// loop is over. Sent at once, the release can come before the loop begins, which
// then waits for another and takes the next click as it. False when a step did not
// come within 10 s.
bool DragWindowBorder(HWND window, POINT from, POINT to);

// A spot near one of `window`'s corners where the window itself is on top (no
// window of its own or of another program covers it); nullopt when none is.
std::optional<POINT> UncoveredSpotOf(HWND window);

// Whether the X screen shows `colour` anywhere in the screen rectangle `r` (one
// capture of the whole rectangle).
bool XAreaHolds(const RECT& r, COLORREF colour);

// With VELMORA_DIALOG_SHOTS naming a folder of the build machine, the screen at
// this point goes there as <name>.png, for a person to look at.
void ShotForReview(const std::string& name);

}  // namespace velmora::test
