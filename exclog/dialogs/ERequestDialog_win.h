#pragma once
// The reproduce-steps request (QL_REQUEST): after the exception dialog the user may
// describe how to reproduce the error; the answer goes to the options'
// ReproduceText, which the handler adds to the report as its "Request" section.
#include <windows.h>

namespace exclog {

// Shows the request when the options ask for it (LogFlags bit 1), the process can
// show windows, the error is not a repeat already counted, the report is sent or
// logged, and no dialog failed in this report.
void ShowRequestDialog();
// Whether ShowRequestDialog would show the request now.
bool RequestWanted();

INT_PTR CALLBACK RequestDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace exclog
