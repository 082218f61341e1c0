#pragma once
// The process-wide state of one report's sending: the attachment and web field
// lists, the flags the event handlers share with the senders, the last send error
// and the progress shown to the user. Pure: what reaches the screen goes through
// TSendOutputSeams, filled by the Windows glue (null members do nothing).
#include <cstdint>
#include <string>
#include <vector>

namespace exclog {

// Why the last send failed, in this order.
enum class TQuelbaLogErrorCode {
  eeNone,
  eeShowError,
  eeLogError,
  eeEmailMAPIError,
  eeEmailShellError,
  eeEmailSMTPError,
  eeWebHTTPError,
  eeWebHTTPSError,
  eeWebFTPError,
  eeWebTrakerError,
};
// "eeNone", "eeShowError", ... as the code is spelled.
const char* ErrorCodeName(TQuelbaLogErrorCode code);

struct TSendError {
  TQuelbaLogErrorCode Code = TQuelbaLogErrorCode::eeNone;
  std::string Text;
};

struct TSendProgress {
  uintptr_t Window = 0;     // the progress window; 0 when none is shown
  bool SameThread = false;  // shown on the sending thread: pump its queue around updates
  int Recipient = 0;        // "n/m" of SetStatusCounted
  int RecipientCount = 0;
  int Percent = 0;          // only ever increases while a window is shown
  std::string MessageText = "Message";  // the counted status's prefix
};

struct TSendState {
  std::vector<std::string> Attachments;  // full paths, rebuilt for each method
  std::vector<std::string> WebFields;    // name=value lines for the web methods
  uint8_t SendOk = 1;          // a before-send handler may clear it; then the method's result
  uint8_t Retry = 0;           // a failed-send handler sets it to run the method again
  uint8_t AlreadyAnswered = 0; // a tracker told the user itself: no result box
  TSendError LastError;
  TSendProgress Progress;
};
// The one sending state of the process. Reports are sent one at a time under the
// dispatch lock, so it needs no lock of its own.
TSendState& SendState();
// Back to the state of a fresh send (lists, flags, error); the progress stays.
void ResetSendState();

// Where the state reaches the user. Each null member does nothing.
struct TSendOutputSeams {
  void (*DebugLine)(const std::string& line) = nullptr;  // the debugger's output
  void (*ErrorBox)(const std::string& text) = nullptr;   // "Error." box, error icon
  void (*StatusText)(uintptr_t window, const std::string& text) = nullptr;  // control 100
  void (*BarPosition)(uintptr_t window, int percent) = nullptr;           // control 101
  void (*CloseWindow)(uintptr_t window) = nullptr;       // its close message
  void (*PumpMessages)() = nullptr;                      // the calling thread's queue
};
TSendOutputSeams& SendOutputSeams();

// Keeps `code` and `text` as the last send error and writes the warning line
// "[WARNING] - Code: <name> - Address: XXXXXXXX - Message: \"<text>\"" (the address
// of the exception under report). With a progress window shown, the SMTP and web
// codes also show the text in the error box.
void RecordSendError(TQuelbaLogErrorCode code, const std::string& text);
// The exception being handled (call inside a catch): "[<tag>] <message>" for the
// class library's Exception, else "General '<tag>' error.".
void RecordSendException(TQuelbaLogErrorCode code, const std::string& tag);
// The warning line of RecordSendError.
std::string SendWarningLine(TQuelbaLogErrorCode code, uintptr_t address, const std::string& text);

// Progress operations for every sender. Each does nothing while no window is
// shown; in same-thread mode each pumps the calling thread's messages before and
// after.
void SetStatus(const std::string& text);
// The text after "<MessageText> n/m: ".
void SetStatusCounted(const std::string& text);
void SetRecipientCount(int recipient, int count);
// Moves the bar to `percent` (0-100), never back.
void SetPercent(int percent);
void AddPercent(int delta);
void CloseProgress();

}  // namespace exclog
