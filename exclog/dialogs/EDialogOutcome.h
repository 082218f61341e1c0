#pragma once
// The presentation loop of the logger's dialogs: it shows the presentation the
// outcome's kind (TDialogOutcome, exclog/core/ExceptionLog.h) chooses until its
// answer is final. Pure: showing a dialog, the message box and the action event
// come in as operations.
#include <cstdint>
#include <functional>

#include "exclog/core/ExceptionLog.h"

namespace exclog {

// What ShowExceptionDialog presents.
enum : uint8_t {
  PresentNothing = 0,
  PresentMessageBox = 1,
  PresentClassic = 2,
  PresentDetailed = 3,
};

// The action the action-notify event is told when the user chose to terminate or
// restart; its handlers may clear the choice.
constexpr int ActionTerminateChosen = 8;
constexpr const char* DialogFailedWarning = "Cannot show the DialogBox window.";

struct TPresentationOps {
  // Each runs one modal dialog to its end (the dialog sets the outcome's bytes).
  std::function<void()> ShowDetailed;
  std::function<void()> ShowClassic;
  // The message box with the exception message: MessageBoxA's result, 0 on failure.
  std::function<int()> ShowMessageBox;
  bool WindowsNT = true;
  // The action-notify event with ActionTerminateChosen and the choice.
  std::function<void(bool& restartChosen)> NotifyAction;
  std::function<void()> ClearLastWarning;
  std::function<void()> WarnDialogFailed;  // internal warning 1
};

// The loop of ShowExceptionDialog: shows what the kind asks for, falls back on NT
// to the message box when nothing became visible, asks the action-notify event
// about a terminate or restart choice (a handler clearing it makes another pass,
// which shows something only when a kind was set again), and marks Dialog failed
// when nothing could be shown. A message box that failed counts as not shown.
void RunPresentationLoop(TDialogOutcome& state, const TPresentationOps& ops);

}  // namespace exclog
