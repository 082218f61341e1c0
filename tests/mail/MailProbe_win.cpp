// A program carrying the logger whose unhandled exception is mailed by the
// logger's own SMTP client. Command line: FOLDER PORT. The archive's copy is kept in
// FOLDER; the first recipient is refused by the server, the second takes it; the
// subject, sender and body carry line breaks and a "." line.
#include <windows.h>

#include <string>

#include "classlib/SysUtils.h"
#include "classlib/System.h"
#include "exclog/capture/EEvents_win.h"

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  InitUnits();
  exclog::TQuelbaModuleOptions* options = exclog::CurrentQuelbaLogOptions();
  options->SetSmtpHost("127.0.0.1");
  options->SetSmtpPort(static_cast<uint16_t>(std::stoi(argv[2])));
  options->SetSenderEmail("\"Probe\r\nBcc: evil\" <probe@x.test>");
  options->SetMailSubject("Probe report\r\nBcc: x");
  options->SetMailBody("The report follows.\r\n.\r\nAfter the dot line.");
  options->SetLogFolder(argv[1]);
  // A failed send's report is not put on the display's clipboard, which GUI
  // tests running meanwhile read.
  options->SetCatchFlags(static_cast<uint16_t>((options->CatchFlags() | 0x20) & ~0x10));
  throw Exception("unhandled mail probe fault");
}
