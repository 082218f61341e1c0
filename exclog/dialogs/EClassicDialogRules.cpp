#include "exclog/dialogs/EClassicDialogRules.h"

#include <algorithm>

#include "resources/exclog/QuelbaDialogs.h"

namespace exclog {

bool IsPlausibleEmail(std::string_view text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
  return text.find('@') != std::string_view::npos && text.find('.') != std::string_view::npos;
}

std::string ReplaceReportEmail(const std::string& report, const std::string& email) {
  const std::string marker = "\r\n  3.3 ";
  size_t line = report.find(marker);
  if (line == std::string::npos) return report;
  size_t lineStart = line + 2;
  size_t lineEnd = report.find("\r\n", lineStart);
  if (lineEnd == std::string::npos) return report;
  size_t colon = report.find(": ", lineStart);
  if (colon == std::string::npos || colon > lineEnd) return report;
  size_t valueStart = colon + 2;
  if (valueStart > lineEnd) return report;
  return report.substr(0, valueStart) + email + report.substr(lineEnd);
}

bool ClassicRestartDecision(bool chosenBefore, bool boxChecked, bool cancelled, uint8_t terminateOnCancel) {
  if (!chosenBefore && !boxChecked) return false;
  if (cancelled) return terminateOnCancel != 0;
  return true;
}

int ClassicRightButtonText(bool sendChosen, bool sendOffered) { return sendChosen && sendOffered ? 36 : 17; }

bool ClassicSendAfterRightButton(bool sendChosen, bool sendOffered) { return sendChosen && !sendOffered; }

bool ClassicEmailFieldShown(bool sendOffered, uint8_t mailMode, uint8_t webSendMode) {
  return sendOffered && !(mailMode == 1 && webSendMode == 0);
}

namespace {

constexpr int Left = 8;
constexpr int TextWidth = 397;
constexpr int RightEdge = 405;
constexpr int ButtonHeight = 23;
constexpr int ButtonGap = 8;
constexpr int BottomMargin = 10;

struct TPlacer {
  const TClassicLayoutInput& in;
  TClassicLayout& out;
  int y = 0;

  // A wrapped text at the left margin: one pixel taller than measured, and y
  // moves on by the measured height when `advance`.
  void Text(int id, TClassicFont font, const std::string& text, int width, bool advance = true) {
    int h = in.Measure ? in.Measure(font, text, width) : in.LineHeight;
    out.Controls[id] = {{Left, y, width, h + 1}, true};
    if (advance) y += h;
  }
  void Hide(int id) { out.Controls[id].Shown = false; }
};

}  // namespace

TClassicLayout LayOutClassicDialog(const TClassicLayoutInput& in) {
  TClassicLayout out;
  TPlacer p{in, out};
  // The header sits in the band, centred in its height; the bitmap stands right of it.
  int headerHeight = in.Measure ? in.Measure(TClassicFont::Bold, in.Header, 356) : in.LineHeight;
  p.y = (ClassicBandHeight - headerHeight) / 2;
  p.Text(QL_MS_HEADER, TClassicFont::Bold, in.Header, 356, false);
  p.y = 59;
  p.Text(QL_MS_MESSAGE, TClassicFont::Dialog, in.Message, TextWidth);
  if (in.RestartShown) {
    p.y += 10;
    p.Text(QL_MS_RESTART, TClassicFont::Dialog, in.RestartText, TextWidth);
  } else {
    p.Hide(QL_MS_RESTART);
  }
  if (in.SendOffered) {
    p.y += 10;
    p.Text(QL_MS_TELL, TClassicFont::Bold, in.Tell, TextWidth);
    p.y += 2;
    p.Text(QL_MS_EXPLAIN, TClassicFont::Dialog, in.Explain, TextWidth);
  } else {
    p.Hide(QL_MS_TELL);
    p.Hide(QL_MS_EXPLAIN);
  }
  if (in.DetailsAvailable) {
    p.y += 12;
    int top = p.y;
    int seeWidth = in.TextWidth ? in.TextWidth(in.SeeData) : 0;
    int linkWidth = in.TextWidth ? in.TextWidth(in.LinkText) : 0;
    // Only as wide as its text: the link is painted on the dialog beside it, where
    // a wider static would paint over it.
    p.Text(QL_MS_SEEDATA, TClassicFont::Dialog, in.SeeData, TextWidth);
    out.Controls[QL_MS_SEEDATA].Rect.Width = std::min(seeWidth + 2, TextWidth);
    out.Link = {Left + seeWidth + 8, top, linkWidth, in.LineHeight};
  } else {
    p.Hide(QL_MS_SEEDATA);
  }
  if (in.AskDescription) {
    p.y += 12;
    p.Text(QL_MS_QUESTION, TClassicFont::Dialog, in.Question, TextWidth);
    p.y += 2;
    int h = 4 * in.FixedLineHeight + 8 * in.CyBorder;
    out.Controls[QL_MS_DESCRIPTION] = {{Left, p.y, TextWidth, h}, true};
    p.y += h;
  } else {
    p.Hide(QL_MS_QUESTION);
    p.Hide(QL_MS_DESCRIPTION);
  }
  if (in.EmailShown) {
    p.y += 12;
    int labelWidth = std::min(in.TextWidth ? in.TextWidth(in.EmailLabel) : 0, TextWidth / 2);
    int h = in.LineHeight + 8 * in.CyBorder;
    // The label's text line centred on the edit's.
    out.Controls[QL_MS_EMAIL_LABEL] = {{Left, p.y + (h - in.LineHeight) / 2, labelWidth, in.LineHeight}, true};
    int editX = Left + labelWidth + 8;
    out.Controls[QL_MS_EMAIL] = {{editX, p.y, Left + TextWidth - editX, h}, true};
    p.y += h;
  } else {
    p.Hide(QL_MS_EMAIL_LABEL);
    p.Hide(QL_MS_EMAIL);
  }
  p.y += 12;
  auto width = [&](const std::string& text) {
    return std::max(MinButtonWidth, in.ButtonWidth ? in.ButtonWidth(text) : MinButtonWidth);
  };
  out.Controls[QL_MS_HELP] = {{Left, p.y, width(in.HelpText), ButtonHeight}, in.HelpShown};
  int rightWidth = width(in.RightText);
  TDialogRect right{RightEdge - rightWidth, p.y, rightWidth, ButtonHeight};
  out.Controls[QL_MS_DONT_SEND] = {right, true};
  int sendWidth = width(in.SendText);
  out.Controls[QL_MS_SEND] = {{right.X - ButtonGap - sendWidth, p.y, sendWidth, ButtonHeight}, in.SendOffered};
  out.ContentHeight = p.y + ButtonHeight + BottomMargin;
  return out;
}

}  // namespace exclog
