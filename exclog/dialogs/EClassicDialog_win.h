#pragma once
// The classic error dialog (QL_MS_DIALOG): a fixed-size report in an operating
// system's style, with the message, an optional restart or terminate box, what
// the user was doing and an e-mail address; its end stores both in the options
// and the report. Shown by ShowExceptionDialog for presentation kind 2.
#include <windows.h>

namespace exclog {

INT_PTR CALLBACK ClassicDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Validates and stores the inputs, then ends the dialog; an implausible address
// keeps it open after telling the user.
void CloseClassicDialog();

}  // namespace exclog
