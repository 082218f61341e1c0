#include "exclog/sending/EMailSenders_win.h"

#include "exclog/report/EInternalError_win.h"
#include "exclog/sending/EMailClient_win.h"
#include "exclog/sending/ESendMethods.h"
#include "exclog/sending/ESmtpSend_win.h"

namespace exclog {

namespace {

// The internal-error report goes by the mail client, the user seeing the message.
bool MailFileByClient(const std::string& address, const std::string& subject, const std::string& fileName) {
  return SendMapi(address, subject, "", {fileName}, true);
}

}  // namespace

void InstallMailSenders() {
  TSendMethodSeams& seams = SendMethodSeams();
  seams.SendMapi = &SendMapiMessage;
  seams.SendMailto = &SendMailtoMessage;
  seams.SmtpSend = &SmtpSendMessage;
  InternalErrorSeams().MailFile = &MailFileByClient;
}

}  // namespace exclog
