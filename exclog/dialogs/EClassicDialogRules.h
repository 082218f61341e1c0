#pragma once
// The classic error dialog's rules without the system: the e-mail address check
// and its replacement in a report, the terminate-or-restart decision at the end,
// the right-hand button, and the layout of its controls over a measurer that the
// caller supplies.
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "exclog/dialogs/EExceptionDialogLayout.h"

namespace exclog {

// Contains "@" and "." (in any order) and no control character: the address
// becomes the mail's sender and a line of the report.
bool IsPlausibleEmail(std::string_view text);

// Replaces the value of the report's e-mail line ("\r\n  3.3 ...: value\r\n") by
// `email`. Only inside that line: a line without ": " or without its end changes
// nothing, as does a report without the line.
std::string ReplaceReportEmail(const std::string& report, const std::string& email);

// The terminate-or-restart choice when the dialog ends: kept off when it was off
// and the box is unticked; otherwise a cancel decides by TerminateOnCancel and
// any other end confirms it.
bool ClassicRestartDecision(bool chosenBefore, bool boxChecked, bool cancelled, uint8_t terminateOnCancel);

// The right-hand button's text: "Don't Send" (36) when sending was preset and is
// offered, else "OK" (17).
int ClassicRightButtonText(bool sendChosen, bool sendOffered);
// The send choice after the right-hand button: a preset send stands when the
// user was not offered the choice.
bool ClassicSendAfterRightButton(bool sendChosen, bool sendOffered);
// The e-mail field shows when sending is offered by other means than the mail
// client alone.
bool ClassicEmailFieldShown(bool sendOffered, uint8_t mailMode, uint8_t webSendMode);

// --- Layout ------------------------------------------------------------------------

enum class TClassicFont { Dialog, Bold, Fixed };

struct TClassicLayoutInput {
  // Height of `text` wrapped at `width` in `font`, as PlaceWrappedText measures.
  std::function<int(TClassicFont font, const std::string& text, int width)> Measure;
  // Width of one line of `text` in the dialog font.
  std::function<int(const std::string& text)> TextWidth;
  std::function<int(const std::string& text)> ButtonWidth;  // at least 75
  int LineHeight = 13;       // one line of the dialog font
  int FixedLineHeight = 13;  // one line of the fixed font
  int CyBorder = 1;
  std::string Header, Message, RestartText, Tell, Explain, SeeData, LinkText, Question, EmailLabel;
  std::string HelpText, SendText, RightText;
  bool RestartShown = false;
  bool SendOffered = false;
  bool DetailsAvailable = false;  // the "click here." link
  bool AskDescription = false;
  bool EmailShown = false;
  bool HelpShown = false;
};

struct TClassicControl {
  TDialogRect Rect;
  bool Shown = false;
};

struct TClassicLayout {
  std::map<int, TClassicControl> Controls;  // by control id
  TDialogRect Link;
  int ContentHeight = 0;  // the client height the controls need
};

constexpr int ClassicClientWidth = 413;  // inside the 419-pixel window
constexpr int ClassicBandHeight = 51;

TClassicLayout LayOutClassicDialog(const TClassicLayoutInput& in);

}  // namespace exclog
