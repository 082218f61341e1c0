// The classic dialog's e-mail rules, its end decisions and its layout, and the
// request dialog's layout.
#include "exclog/dialogs/EClassicDialogRules.h"

#include <gtest/gtest.h>

#include "exclog/dialogs/ERequestLayout.h"
#include "resources/exclog/QuelbaDialogs.h"

namespace exclog {
namespace {

TEST(ClassicDialogRules, EmailAddressCheck) {
  EXPECT_TRUE(IsPlausibleEmail("ada@example.org"));
  EXPECT_TRUE(IsPlausibleEmail("first.last@host"));  // "." before "@" is enough
  EXPECT_FALSE(IsPlausibleEmail("nobody"));
  EXPECT_FALSE(IsPlausibleEmail("nobody@host"));  // "@" without "."
  EXPECT_FALSE(IsPlausibleEmail(""));
  // A line break would end the sender's SMTP command and the report's line.
  EXPECT_FALSE(IsPlausibleEmail("a@b.c\r\nRCPT TO:<x@y.z>"));
  EXPECT_FALSE(IsPlausibleEmail(std::string("a@b.c\0", 6)));
}

TEST(ClassicDialogRules, EmailReplacedInsideItsLineOnly) {
  const std::string report = "User:\r\n  3.1 ID             : u\r\n  3.3 Email          : old@x.y\r\n  3.4 Next: z\r\n";
  EXPECT_EQ(ReplaceReportEmail(report, "new@a.b"),
            "User:\r\n  3.1 ID             : u\r\n  3.3 Email          : new@a.b\r\n  3.4 Next: z\r\n");
  // An empty value is replaced as well.
  EXPECT_EQ(ReplaceReportEmail("\r\n  3.3 Email: \r\n", "a@b.c"), "\r\n  3.3 Email: a@b.c\r\n");
  // A 3.3 line without ": " must not reach into the next line's value.
  const std::string broken = "\r\n  3.3 Email\r\n  3.4 Other: keep\r\n";
  EXPECT_EQ(ReplaceReportEmail(broken, "a@b.c"), broken);
  // No line end after it, or no such line: unchanged.
  EXPECT_EQ(ReplaceReportEmail("\r\n  3.3 Email: x", "a@b.c"), "\r\n  3.3 Email: x");
  EXPECT_EQ(ReplaceReportEmail("no user section", "a@b.c"), "no user section");
}

TEST(ClassicDialogRules, EndDecisionsAndTheRightButton) {
  // Off and unticked stays off, also when cancelled with TerminateOnCancel.
  EXPECT_FALSE(ClassicRestartDecision(false, false, true, 1));
  // Ticked (or chosen earlier): confirmed unless cancelled, then TerminateOnCancel.
  EXPECT_TRUE(ClassicRestartDecision(false, true, false, 0));
  EXPECT_TRUE(ClassicRestartDecision(true, false, false, 0));
  EXPECT_FALSE(ClassicRestartDecision(false, true, true, 0));
  EXPECT_TRUE(ClassicRestartDecision(false, true, true, 2));
  // Sending not offered: the right button reads OK and a preset send stands.
  EXPECT_EQ(ClassicRightButtonText(true, false), 17);
  EXPECT_TRUE(ClassicSendAfterRightButton(true, false));
  // Offered: it reads Don't Send and does not send.
  EXPECT_EQ(ClassicRightButtonText(true, true), 36);
  EXPECT_FALSE(ClassicSendAfterRightButton(true, true));
  EXPECT_EQ(ClassicRightButtonText(false, true), 17);
  // The e-mail field: not for the mail client alone.
  EXPECT_FALSE(ClassicEmailFieldShown(true, 1, 0));
  EXPECT_TRUE(ClassicEmailFieldShown(true, 1, 1));
  EXPECT_TRUE(ClassicEmailFieldShown(true, 2, 0));
  EXPECT_FALSE(ClassicEmailFieldShown(false, 2, 0));
}

TClassicLayoutInput ClassicInput() {
  TClassicLayoutInput in;
  // Every text one line of 13 pixels per 100 characters' worth of width.
  in.Measure = [](TClassicFont, const std::string& text, int width) {
    int lines = 1 + static_cast<int>(text.size()) * 6 / width;
    return 13 * lines;
  };
  in.TextWidth = [](const std::string& text) { return static_cast<int>(text.size()) * 6; };
  in.ButtonWidth = [](const std::string& text) { return static_cast<int>(text.size()) * 6 + 20; };
  in.Header = "The application has encountered a problem.";
  in.Message = "Access violation";
  in.SeeData = "To see what data the error report contains,";
  in.LinkText = "click here.";
  in.EmailLabel = "Email address (optional):";
  in.HelpText = "&Help";
  in.SendText = "&Send Error Report";
  in.RightText = "&Don't Send";
  return in;
}

TEST(ClassicDialogRules, LayoutTopToBottom) {
  TClassicLayoutInput in = ClassicInput();
  in.SendOffered = in.DetailsAvailable = in.AskDescription = in.EmailShown = true;
  TClassicLayout l = LayOutClassicDialog(in);
  // Header centred in the band without moving y; the message starts below it.
  EXPECT_EQ(l.Controls[QL_MS_HEADER].Rect.Y, (51 - 13) / 2);
  EXPECT_EQ(l.Controls[QL_MS_MESSAGE].Rect, (TDialogRect{8, 59, 397, 14}));
  EXPECT_FALSE(l.Controls[QL_MS_RESTART].Shown);
  EXPECT_EQ(l.Controls[QL_MS_TELL].Rect.Y, 59 + 13 + 10);
  EXPECT_EQ(l.Controls[QL_MS_EXPLAIN].Rect.Y, 82 + 13 + 2);
  // The link follows the label on its line.
  const TDialogRect& see = l.Controls[QL_MS_SEEDATA].Rect;
  EXPECT_EQ(see.Y, 97 + 13 + 12);
  EXPECT_LE(see.Right(), l.Link.X);  // the label leaves the link's place free
  EXPECT_EQ(l.Link, (TDialogRect{8 + 43 * 6 + 8, see.Y, 11 * 6, 13}));
  const TDialogRect& description = l.Controls[QL_MS_DESCRIPTION].Rect;
  EXPECT_EQ(description, (TDialogRect{8, 122 + 13 + 12 + 13 + 2, 397, 4 * 13 + 8}));
  // The e-mail edit from the label's end to the text width.
  const TDialogRect& email = l.Controls[QL_MS_EMAIL].Rect;
  EXPECT_EQ(email.X, 8 + 25 * 6 + 8);
  EXPECT_EQ(email.Right(), 405);
  EXPECT_EQ(email.Y, description.Bottom() + 12);
  // Buttons: the right one ends at 405, Send left of it, Help hidden.
  const TDialogRect& right = l.Controls[QL_MS_DONT_SEND].Rect;
  EXPECT_EQ(right.Right(), 405);
  EXPECT_EQ(right.Y, email.Bottom() + 12);
  EXPECT_EQ(l.Controls[QL_MS_SEND].Rect.Right(), right.X - 8);
  EXPECT_TRUE(l.Controls[QL_MS_SEND].Shown);
  EXPECT_FALSE(l.Controls[QL_MS_HELP].Shown);
  EXPECT_EQ(l.ContentHeight, right.Bottom() + 10);

  // Sending not offered: the send part, the e-mail and Send go; buttons move up.
  in.SendOffered = in.EmailShown = false;
  in.RestartShown = in.HelpShown = true;
  in.RightText = "&OK";
  l = LayOutClassicDialog(in);
  EXPECT_TRUE(l.Controls[QL_MS_RESTART].Shown);
  EXPECT_FALSE(l.Controls[QL_MS_TELL].Shown || l.Controls[QL_MS_EMAIL].Shown || l.Controls[QL_MS_SEND].Shown);
  EXPECT_EQ(l.Controls[QL_MS_HELP].Rect, (TDialogRect{8, l.Controls[QL_MS_DONT_SEND].Rect.Y, 75, 23}));
  EXPECT_EQ(l.Controls[QL_MS_DONT_SEND].Rect.Width, 75);  // never narrower
}

TEST(RequestDialogRules, EditKeepsItsRoomUnderALongLabel) {
  // One line of label: the template's proportions.
  TRequestLayout l = LayOutRequest({500, 280, 13, 13, 768});
  EXPECT_EQ(l.WindowHeight, 283);
  EXPECT_EQ(l.Label, (TDialogRect{10, 10, 473, 13}));
  EXPECT_EQ(l.Edit, (TDialogRect{10, 27, 473, 187}));
  EXPECT_EQ(l.Button, (TDialogRect{408, 220, 75, 23}));
  // A label of 300 pixels: the window grows, the edit keeps its height.
  l = LayOutRequest({500, 280, 300, 13, 768});
  EXPECT_EQ(l.WindowHeight, 570);
  EXPECT_EQ(l.Edit.Height, 187);
  EXPECT_EQ(l.Edit.Y, 314);
  // Growth stops at the work area; the edit still keeps three lines.
  l = LayOutRequest({500, 280, 600, 13, 768});
  EXPECT_EQ(l.WindowHeight, 768);
  EXPECT_EQ(l.Edit.Height, 768 - 83 - 600);
  l = LayOutRequest({500, 280, 700, 13, 768});
  EXPECT_EQ(l.Edit.Height, 3 * 13 + 8);
  EXPECT_EQ(l.WindowHeight, 700 + 83 + 47);
  EXPECT_EQ(l.Button.Y, 700 + 20 + 47);
}

}  // namespace
}  // namespace exclog
