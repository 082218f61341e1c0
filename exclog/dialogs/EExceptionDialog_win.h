#pragma once
// The exception dialog: the presentation the outcome's kind selects (the detailed
// dialog QL_DIALOG, the classic dialog, or a message box), shown from the report
// thread while the raising thread waits; the detailed dialog's procedure, its
// compact and detailed modes and the detailed window's stored placement in
// "QuelbaLog.ini" [Coordinates]. The answers are the outcome's bytes
// (DialogOutcome(), SendChosen() of exclog/core/ExceptionLog.h).
#include <windows.h>

namespace exclog {

// Shows the presentation until its answer is final (see RunPresentationLoop);
// `beep` sounds the error beep first unless a message box is to show.
void ShowExceptionDialog(bool beep);

INT_PTR CALLBACK ExceptionDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Switches the open dialog between its compact and detailed modes.
void SetDetailsMode(bool detailed);

// The detailed window's rectangle and show state, checked against the work area.
void LoadDetailsPlacement();
void SaveDetailsPlacement();

// The open detailed dialog's window (null when none), for tests.
HWND ExceptionDialogWindow();

}  // namespace exclog
