#include "exclog/sending/EMailMessage.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "classlib/SysUtils.h"
#include "exclog/sending/EMailClient.h"
#include "tests/support/TestPaths.h"

#ifndef _WIN32
#include "tests/peers/PeerTools.h"
#endif

namespace exclog {
namespace {

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// A file of a scratch folder of this test program's own.
std::string Scratch(const std::string& name) {
  static const std::string folder = [] {
    std::string f = velmora::test::TempPath("mail");
    std::filesystem::create_directories(f);
    return f;
  }();
#ifdef _WIN32
  return folder + "\\" + name;
#else
  return folder + "/" + name;
#endif
}

// Written by hand from the message layout: a text part with a "." line, a lone LF
// and a dot-led line, an archive, a missing file (no part) and a ".PNG" screenshot.
const char* const GoldenData =
    "Date: Sun, 6 Dec 2026 09:05:03 +0100\r\n"
    "From: \"Owner\" <me@x.test>\r\n"
    "Subject: Crash Bcc: evil\r\n"
    "To: <you@y.test>\r\n"
    "Content-Type: multipart/mixed; boundary=\"=_xcjvnxkbhvfkxzhfdbvzldjhfv\";\r\n"
    "MIME-Version: 1.0\r\n"
    "Message-ID: <1234@mail.velmora.invalid>\r\n"
    "\r\n"
    "This is a multi-part message in MIME format\r\n"
    "\r\n"
    "--=_xcjvnxkbhvfkxzhfdbvzldjhfv\r\n"
    "Content-Type: text/plain\r\n"
    "Content-Transfer-Encoding: 7bit\r\n"
    "\r\n"
    "Line one\r\n"
    "..\r\n"
    "..hidden\r\n"
    "end\r\n"
    "\r\n"
    "--=_xcjvnxkbhvfkxzhfdbvzldjhfv\r\n"
    "Content-Type: application/octet-stream;\r\n"
    "        name=\"report.zip\"\r\n"
    "Content-Transfer-Encoding: base64\r\n"
    "Content-Disposition: attachment;\r\n"
    "        filename=\"report.zip\"\r\n"
    "\r\n"
    "UEstYWJj\r\n"
    "\r\n"
    "\r\n"
    "--=_xcjvnxkbhvfkxzhfdbvzldjhfv\r\n"
    "Content-Type: image/png;\r\n"
    "        name=\"Shot.PNG\"\r\n"
    "Content-Transfer-Encoding: base64\r\n"
    "Content-Disposition: attachment;\r\n"
    "        filename=\"Shot.PNG\"\r\n"
    "\r\n"
    "eHk=\r\n"
    "\r\n"
    "--=_xcjvnxkbhvfkxzhfdbvzldjhfv--\r\n"
    ".";

TEST(EMailMessage, DataTextEqualsTheHandWrittenBytes) {
  const std::string zip = Scratch("report.zip");
  const std::string png = Scratch("Shot.PNG");
  WriteFile(zip, "PK-abc");
  WriteFile(png, "xy");
  TDataFields f;
  f.Date = "Sun, 6 Dec 2026 09:05:03 +0100";
  f.From = SenderHeader("me@x.test", "Owner", "user");
  f.Subject = "Crash\r\nBcc: evil";
  f.Recipient = "you@y.test";
  f.Tick = 1234;
  f.Body = MimeBody("Line one\r\n.\r\n.hidden\nend", {zip, Scratch("none.txt"), png});
  const std::string data = DataText(f);
  EXPECT_EQ(data, GoldenData);

#ifndef _WIN32
  // Python's own parser reads the headers and both attachments back.
  peers::TScratchDir dir;
  std::string unstuffed = StringReplace(data.substr(0, data.size() - 1), "\r\n..", "\r\n.");
  WriteFile(dir / "mail.eml", unstuffed);
  const std::string check =
      "import email,sys\n"
      "m=email.message_from_binary_file(open(sys.argv[1],'rb'))\n"
      "assert m['From']=='\"Owner\" <me@x.test>' and m['To']=='<you@y.test>', m['From']\n"
      "assert m['Subject']=='Crash Bcc: evil' and m['Bcc'] is None\n"
      "p=m.get_payload()\n"
      "assert [x.get_filename() for x in p]==[None,'report.zip','Shot.PNG']\n"
      "t=p[0].get_payload().replace('\\r\\n','\\n')\n"
      "assert t=='Line one\\n.\\n.hidden\\nend\\n', repr(t)\n"
      "assert p[1].get_payload(decode=True)==b'PK-abc' and p[2].get_content_type()=='image/png'\n"
      "assert p[2].get_payload(decode=True)==b'xy'\n"
      "print('parsed')\n";
  WriteFile(dir / "check.py", check);
  peers::TRunResult r = peers::Run("/usr/bin/python3 " + peers::Quote(dir / "check.py") + " " + peers::Quote(dir / "mail.eml"));
  EXPECT_EQ(r.ExitCode, 0) << r.Output;
  EXPECT_NE(r.Output.find("parsed"), std::string::npos) << r.Output;
#endif
}

TEST(EMailMessage, SenderRecipientsAndLineEnds) {
  // A bare address takes the owner's name; the maker's name counts as none.
  EXPECT_EQ(SenderHeader("me@x.test", "Microsoft", "joe"), "\"joe\" <me@x.test>");
  EXPECT_EQ(SenderHeader("me@x.test\r\nRCPT TO", "", "joe"), "\"joe\" <me@x.test RCPT TO>");
  EXPECT_EQ(SenderHeader("\"Desk\" <d@x.test>", "Owner", "joe"), "\"Desk\" <d@x.test>");
  EXPECT_EQ(EnvelopeSender("\"joe\" <me@x.test>"), "me@x.test");
  EXPECT_EQ(EnvelopeSender("me@x.test"), "me@x.test");

  EXPECT_EQ(SplitRecipients(" a@x; b@y ,c@z;;"), (std::vector<std::string>{"a@x", "b@y", "c@z"}));
  EXPECT_TRUE(RecipientAcceptable("a.b+c@x.test"));
  for (const char* bad : {"", "a@x\r\nDATA", "a@x>", "<a@x", "a\x7f@x"}) EXPECT_FALSE(RecipientAcceptable(bad)) << bad;

  // Lone CR and LF become CR LF; only a line's leading dot is doubled.
  EXPECT_EQ(DotStuffed(".a\rb.\n.\r\n..c"), "..a\r\nb.\r\n..\r\n...c");
}

TEST(EMailClient, MapiRecordsAndMailtoLink) {
  const std::string a = Scratch("mapi-a.txt");
  WriteFile(a, "a");
  std::vector<std::string> many(40, a);
  TMapiMessagePlan plan = PlanMapiMessage("x@a.test;y@b.test , z@c.test", " Sub\tject \r\n", " body\r\n",
                                          many, {"", Scratch("missing.txt"), a},
                                          [](const std::string& p) { return FileExists(p); });
  ASSERT_EQ(plan.Recipients.size(), 3u);
  EXPECT_EQ(plan.Recipients[2].Address, "SMTP:z@c.test");
  EXPECT_EQ(plan.Recipients[2].Name, "z@c.test");
  EXPECT_EQ(plan.Subject, "Sub ject");
  EXPECT_EQ(plan.NoteText, "body");
  EXPECT_EQ(plan.Files.size(), MaxMapiFiles);
  EXPECT_EQ(plan.Files[0].FileName, "mapi-a.txt");

  EXPECT_EQ(MailtoEncode("a-Z9: %\xE9\r\n&?="), "a-Z9%3A%20%25\xE9%0D%0A%26%3F%3D");
  EXPECT_EQ(MailtoCommand("\"mail.exe\" /c \"%1\" %1", MailtoUrl("a@b", "S 1", "x")),
            "\"mail.exe\" /c \"mailto:a%40b?Subject=S%201&Body=x\" mailto:a%40b?Subject=S%201&Body=x");
}

}  // namespace
}  // namespace exclog
