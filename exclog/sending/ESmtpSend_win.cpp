#include "exclog/sending/ESmtpSend_win.h"

#include "exclog/sending/EWinSock_win.h"
// winsock2.h before windows.h (above).
#include "exclog/report/ESysInfo_win.h"
#include "exclog/sending/EMxLookup_win.h"

namespace exclog {

TSmtpSendServices PlatformSmtpServices() {
  TSmtpSendServices s;
  s.Api = &WinSockApi();
  s.HostName = &LocalHostName;
  s.OwnerName = &RegisteredOwnerText;
  s.UserName = &UserIdText;
  s.DateNow = [] { return LocalDateText(LocalNow()); };
  s.Tick = [] { return static_cast<uint32_t>(GetTickCount()); };
  s.MxLookup = &MxLookup;
  return s;
}

bool SmtpSendMessage(const TMailMessage& message, const TSmtpSettings& smtp) {
  TSmtpMail mail;
  mail.Direct = smtp.Direct;
  mail.From = smtp.Sender;
  mail.Host = smtp.Host;
  mail.Attachments = message.Attachments;
  mail.Body = message.Body;
  mail.Subject = message.Subject;
  mail.Recipients = message.Recipients;
  mail.Password = smtp.Password;
  mail.User = smtp.User;
  mail.Port = smtp.Port;
  TSmtpSendServices services = PlatformSmtpServices();
  services.Text = smtp.Text;
  return SmtpSend(services, mail);
}

}  // namespace exclog
