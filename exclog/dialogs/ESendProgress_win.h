#pragma once
// The send progress window: a status line, a bar and the send picture while a
// report is sent. The sender starts it (on a thread of its own, or on the sending
// thread itself when the report runs on the raising thread), feeds it with
// messages and ends it with SendProgressCloseMessage.
#include <windows.h>

#include <string>

namespace exclog {

constexpr UINT SendProgressCloseMessage = WM_USER + 1234;

// What the window shows that the options decide; set before it is shown.
struct TSendProgressLook {
  std::string Caption = "Send.";  // text 110
};
void SetSendProgressLook(const TSendProgressLook& look);

// The template the window is made from ("QL_Server"); tests name a missing one.
void SetSendProgressTemplate(const std::string& name);

// The window from WM_INITDIALOG to WM_DESTROY; null otherwise.
HWND SendProgressWindow();
// Set once the window has painted itself or has the focus: the sender may go on.
bool SendProgressReady();
// Forgets the ready byte before a new window.
void ClearSendProgressReady();

// Shows the window from the template "QL_Server": modeless when the report runs
// on the raising thread (returns once it is up), else modal (returns when it has
// ended). `centred`: centred and kept in front; else in the bottom-right corner
// of the work area. False when the window could not be made.
bool ShowSendProgress(bool centred);

INT_PTR CALLBACK SendProgressDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace exclog
