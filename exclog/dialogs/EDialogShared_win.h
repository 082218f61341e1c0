#pragma once
// What the exception dialog, the classic dialog and the request share: the facts
// of the report at hand, the events they raise in the application (through seams
// the capture fills), the texts, and the marks every logger dialog leaves.
#include <windows.h>

#include <string>

#include "exclog/dialogs/EExceptionDialogLayout.h"

namespace exclog {

// Facts of the report under way that the handler sets before the dialogs.
struct TDialogReportFacts {
  bool Duplicate = false;       // the log already counted this error
  int ErrorCount = 0;           // errors handled so far, this one included
  bool CanShowWindows = true;   // an interactive process
  // The active window of the thread that waits for the report and pumps
  // meanwhile, or of the dialogs' own thread (none: no owner).
  HWND Owner = nullptr;
};
TDialogReportFacts& DialogReportFacts();

// The application's events the dialogs raise, run in the application's context by
// the capture. Null: nothing runs (the flag stays as it came in).
struct TDialogEventSeams {
  // The help (custom-button) event; `close` set asks the dialog to close.
  void (*RunHelp)(bool& close) = nullptr;
  // The action-notify event with `action`; the handlers may clear `chosen`.
  void (*NotifyAction)(int action, bool& chosen) = nullptr;
};
TDialogEventSeams& DialogEventSeams();

// Text `index` of the report's options.
std::string DialogText(int index);

// A logger dialog was activated or painted: the outcome's byte and the
// dispatcher's dialog-showing byte, so the raising main thread keeps its window
// painted behind the dialog.
void MarkDialogVisible();
void ClearDialogVisible();

// The dialog becomes owned by the report's owner window and, with
// `disableOwner`, that window stays disabled while the dialog is up, so a click
// on the program's window cannot put the dialog behind it. The owner is enabled
// again when the dialog ends (closing the dialog enables it too). The request
// that follows a report keeps its owner enabled: with it disabled, keys typed
// into the request under Wine were at times lost.
void TakeReportOwner(HWND dialog, bool disableOwner);
void ReleaseReportOwner();

// The report dialog on screen (the detailed or the classic one), set by the dialog
// from its first message to its last; null when none shows.
void SetOpenReportDialog(HWND dialog);
HWND OpenReportDialog();

// Asks the open report dialog to take in the report's options again (an event's
// handlers may have changed them while it shows). From any thread: the dialog
// does it on its own thread when it reads ReportDialogRefreshMessage; one request
// waits at a time. False when no report dialog shows.
bool RequestReportDialogRefresh();
constexpr UINT ReportDialogRefreshMessage = WM_APP + 0x4C;
// The dialog took the request: a change made from now on asks again.
void ReportDialogRefreshTaken();

// Makes the window top-most, or no more, when the options' top-most flag changed
// since the dialog read it.
void ApplyTopMostOption(HWND window);

// Mouse, keyboard and non-client mouse messages: the auto-close count restarts.
bool IsUserInputMessage(UINT message);

// Runs a template of the logger's resources as a modal dialog without owner.
INT_PTR RunLoggerDialog(const char* templateName, DLGPROC procedure);

// The trimmed text of a dialog's control.
std::string TrimmedItemText(HWND dialog, int id);

// A font set on a control.
void SetControlFont(HWND dialog, int id, HFONT font);


// A link painted on a dialog's client area: underlined text in its colour, the
// hand cursor while the pointer is over it.
struct TDialogLink {
  TDialogRect Rect;
  bool Shown = false;
  bool Hover = false;
  // WM_MOUSEMOVE: hover follows the point; the link repaints while hovered.
  void MouseMoved(HWND window, LPARAM point);
  // WM_SETCURSOR: true (the answer given) when the hand cursor was set.
  bool SetCursorOver(HWND window, LPARAM hit);
  void Paint(HDC dc, HFONT font, COLORREF colour, const std::string& text) const;
};

}  // namespace exclog
