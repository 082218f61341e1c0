#include "exclog/sending/ESendState.h"

#include <algorithm>
#include <cstdio>
#include <exception>

#include "classlib/SysUtils.h"
#include "exclog/core/ExceptionLog.h"

namespace exclog {

namespace {

TSendState state;
TSendOutputSeams outputSeams;

bool Shown() { return state.Progress.Window != 0; }

// Same-thread mode: the sender's own windows stay responsive around each update.
void Pump() {
  if (state.Progress.SameThread && outputSeams.PumpMessages) outputSeams.PumpMessages();
}

void ShowPercent() {
  if (outputSeams.BarPosition) outputSeams.BarPosition(state.Progress.Window, state.Progress.Percent);
}

}  // namespace

const char* ErrorCodeName(TQuelbaLogErrorCode code) {
  static const char* const names[] = {"eeNone",           "eeShowError",       "eeLogError",     "eeEmailMAPIError",
                                      "eeEmailShellError", "eeEmailSMTPError", "eeWebHTTPError", "eeWebHTTPSError",
                                      "eeWebFTPError",    "eeWebTrakerError"};
  auto index = static_cast<size_t>(code);
  return index < sizeof names / sizeof names[0] ? names[index] : "";
}

TSendState& SendState() { return state; }

void ResetSendState() {
  TSendProgress progress = state.Progress;
  state = TSendState();
  state.Progress = progress;
}

TSendOutputSeams& SendOutputSeams() { return outputSeams; }

std::string SendWarningLine(TQuelbaLogErrorCode code, uintptr_t address, const std::string& text) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "%.8X", static_cast<unsigned>(address));
  return std::string("[WARNING] - Code: ") + ErrorCodeName(code) + " - Address: " + hex + " - Message: \"" + text +
         "\"";
}

void RecordSendError(TQuelbaLogErrorCode code, const std::string& text) {
  state.LastError = {code, text};
  if (outputSeams.DebugLine) outputSeams.DebugLine(SendWarningLine(code, LastExceptionAddress(), text));
  if (Shown() && code >= TQuelbaLogErrorCode::eeEmailSMTPError && outputSeams.ErrorBox) outputSeams.ErrorBox(text);
}

void RecordSendException(TQuelbaLogErrorCode code, const std::string& tag) {
  std::string text = "General '" + tag + "' error.";
  if (std::exception_ptr current = std::current_exception()) {
    try {
      std::rethrow_exception(current);
    } catch (const Exception& e) {
      text = "[" + tag + "] " + e.Message();
    } catch (...) {
    }
  }
  RecordSendError(code, text);
}

void SetStatus(const std::string& text) {
  if (!Shown()) return;
  Pump();
  if (outputSeams.StatusText) outputSeams.StatusText(state.Progress.Window, text);
  Pump();
}

void SetStatusCounted(const std::string& text) {
  const TSendProgress& p = state.Progress;
  SetStatus(Format("%s %d/%d: ", p.MessageText, p.Recipient, p.RecipientCount) + text);
}

void SetRecipientCount(int recipient, int count) {
  state.Progress.Recipient = recipient;
  state.Progress.RecipientCount = count;
}

void SetPercent(int percent) {
  if (!Shown()) return;
  percent = std::clamp(percent, 0, 100);
  if (percent <= state.Progress.Percent) return;
  Pump();
  state.Progress.Percent = percent;
  ShowPercent();
  Pump();
}

void AddPercent(int delta) {
  if (Shown()) SetPercent(state.Progress.Percent + delta);
}

void CloseProgress() {
  if (!Shown()) return;
  Pump();
  if (outputSeams.CloseWindow) outputSeams.CloseWindow(state.Progress.Window);
  state.Progress.Window = 0;
  Pump();
}

}  // namespace exclog
