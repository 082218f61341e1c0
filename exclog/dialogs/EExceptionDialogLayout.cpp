#include "exclog/dialogs/EExceptionDialogLayout.h"

#include <algorithm>
#include <climits>

namespace exclog {

bool SendOffered(uint8_t mailMode, uint8_t webSendMode, bool duplicate, uint16_t dialogFlags) {
  return (mailMode != 0 || webSendMode != 0) && !duplicate && (dialogFlags & DialogShowSend) != 0;
}

TCheckVisibility CheckVisibility(const TCheckAreaInput& in) {
  TCheckVisibility v;
  v.Send = SendOffered(in.MailMode, in.WebSendMode, in.Duplicate, in.DialogFlags);
  v.Screenshot = (in.ProcessFlags & ProcessAttachScreenshot) && v.Send && (in.DialogFlags & DialogShowScreenshot);
  v.Copy = (in.DialogFlags & DialogShowCopy) != 0;
  v.Link = in.SupportUrl.find_first_not_of(" \t\r\n") != std::string::npos;
  return v;
}

int CheckAreaHeight(const TCheckVisibility& v) {
  if (!v.Send && !v.Screenshot && !v.Copy && !v.Link) return 0;
  if ((v.Send && v.Screenshot) || (v.Copy && v.Link)) return 34;
  return 20;
}

int CommonButtonWidth(const std::vector<int>& measuredWidths) {
  int widest = MinButtonWidth;
  for (int w : measuredWidths) widest = std::max(widest, w);
  return widest;
}

bool TerminateButtonShown(uint8_t terminateAction, int errorCount, int terminateButtonAfter) {
  return terminateAction != 0 && errorCount > terminateButtonAfter;
}

TDialogLayout LayOutDialog(const TDialogLayoutInput& in) {
  TDialogLayout l;
  const int w = in.Width, h = in.Height, bw = in.ButtonWidth;
  l.Tab = {4, 52, w - 8, h - 90 - in.CheckArea};
  if (in.DetailsMode) {
    l.PlaceHeader = true;
    l.Header = {48, 8, w - 56, 42};
  }
  const int y = h - 32 - in.CheckArea;
  l.TerminateShown = TerminateButtonShown(in.TerminateAction, in.ErrorCount, in.TerminateButtonAfter);
  l.Terminate = {5, y, bw, 25};
  l.HelpShown = (in.DialogFlags & DialogShowHelp) != 0;
  l.Help = {l.TerminateShown ? bw + 13 : 5, y, bw, 25};
  l.Ok = {(w - bw) / 2, y, bw, 25};
  // The gap Terminate keeps from Help, kept by OK too.
  if (l.HelpShown && l.Ok.X < l.Help.Right() + 8) l.Ok.X = l.Help.Right() + 8;
  l.DetailsShown = (in.DialogFlags & DialogDetailsAvailable) && !in.DetailsShownBefore;
  l.Details = {w - 5 - bw, y, bw, 25};
  const int half = (w - 8) / 2;
  l.Send = {4, y + 34, half, 16};
  l.Copy = {w - half - 4, y + 34, half, 16};
  l.Link = {w - 4 - in.LinkWidth, in.Visible.Copy ? y + 50 : y + 34, in.LinkWidth, in.LinkHeight};
  // The screenshot box's row is its own up to the link when the link shares it.
  const bool linkBeside = in.Visible.Link && in.Visible.Copy;
  l.Screenshot = {23, y + 50, (linkBeside ? l.Link.X - 8 : w - 4) - 23, 16};
  return l;
}

TCompactSize CompactSize(const TCompactInput& in) {
  const int margin = 2 * (in.CxFrame - 1) + 60;
  const int wrapAt = std::max(1, 640 - margin);
  int widest = 0, lines = 0;
  for (int measured : in.LineWidths) {
    int width = std::max(0, measured) + 16;
    widest = std::max(widest, std::min(width, wrapAt));
    lines += 1 + (width > wrapAt ? (width - 1) / wrapAt : 0);
  }
  const int textHeight = lines * in.LineHeight;
  TCompactSize s;
  s.WindowWidth = std::max(widest + margin, 340);
  s.Header = {48, 8, s.WindowWidth - margin, textHeight};
  s.WindowHeight = std::max(textHeight - 39, 0) + 88 + 2 * (in.CyFrame - 1) + in.CaptionMetric + in.CheckArea;
  return s;
}

bool ParseDecimal(const std::string& text, int& value) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  if (i == text.size()) return false;
  long long v = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    v = v * 10 + (text[i] - '0');
    if (v > static_cast<long long>(INT_MAX) + 1) return false;
  }
  if (negative) v = -v;
  if (v > INT_MAX || v < INT_MIN) return false;
  value = static_cast<int>(v);
  return true;
}

namespace {

int ValueOr(const std::string& text, int fallback) {
  int v = 0;
  return ParseDecimal(text, v) ? v : fallback;
}

int Clamp(int v, int low, int high) { return std::min(std::max(v, low), std::max(high, 0)); }

}  // namespace

TPlacement ResolvePlacement(const TPlacementValues& values, const TDialogRect& workArea, int checkArea) {
  TPlacement p;
  p.Width = Clamp(ValueOr(values.Width, DefaultDetailsWidth), ReferenceClientWidth, workArea.Width);
  p.Height = Clamp(ValueOr(values.Height, DefaultDetailsHeight), ReferenceClientHeight, workArea.Height - checkArea);
  const int centredLeft = workArea.X + (workArea.Width - p.Width) / 2;
  const int centredTop = workArea.Y + (workArea.Height - (p.Height + checkArea)) / 2;
  p.Left = ValueOr(values.Left, centredLeft);
  p.Top = ValueOr(values.Top, centredTop);
  // In long arithmetic: stored values may lie anywhere in int.
  const long long right = static_cast<long long>(p.Left) + p.Width;
  const long long bottom = static_cast<long long>(p.Top) + p.Height + checkArea;
  if (p.Left < workArea.X || p.Top < workArea.Y || right > workArea.Right() || bottom > workArea.Bottom()) {
    p.Left = centredLeft;
    p.Top = centredTop;
  }
  p.State = ValueOr(values.State, PlacementNormal) == PlacementMaximised ? PlacementMaximised : PlacementNormal;
  return p;
}

std::vector<std::pair<std::string, std::string>> PlacementToSave(const TPlacement& p, bool sizeRecorded) {
  std::vector<std::pair<std::string, std::string>> keys;
  if (p.State == PlacementNormal && sizeRecorded) {
    keys.emplace_back("Width", std::to_string(p.Width));
    keys.emplace_back("Height", std::to_string(p.Height));
    keys.emplace_back("Left", std::to_string(p.Left));
    keys.emplace_back("Top", std::to_string(p.Top));
  }
  keys.emplace_back("WindowsState", std::to_string(p.State));
  return keys;
}

std::vector<int> TabPages(uint8_t logFlags) {
  std::vector<int> pages = {0, 1};
  if (logFlags & LogModulesPages) pages.insert(pages.end(), {2, 3});
  if (logFlags & LogAssemblerPages) pages.insert(pages.end(), {4, 5});
  return pages;
}

int InitialTab(uint8_t initialPage, uint8_t logFlags) {
  std::vector<int> pages = TabPages(logFlags);
  auto at = std::find(pages.begin(), pages.end(), static_cast<int>(initialPage));
  return at == pages.end() ? 0 : static_cast<int>(at - pages.begin());
}

TDialogEndChoices CombineOnDestroy(const TDialogChoiceBoxes& boxes, uint16_t dialogFlags) {
  TDialogEndChoices c;
  c.SendChosen = boxes.SendChosen && boxes.SendChecked;
  c.ScreenshotChosen = boxes.ScreenshotChecked;
  c.CopyChosen = boxes.CopyChosen && boxes.CopyChecked;
  c.DialogFlags = static_cast<uint16_t>((dialogFlags & ~(DialogSendChecked | DialogScreenshotChecked)) |
                                        (c.SendChosen ? DialogSendChecked : 0) |
                                        (c.ScreenshotChosen ? DialogScreenshotChecked : 0));
  return c;
}

}  // namespace exclog
