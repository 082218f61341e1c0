#include "exclog/sending/ESmtpSend.h"

#include <chrono>

#include "exclog/core/EBase64.h"
#include "exclog/core/EConsts.h"
#include "exclog/sending/EMailMessage.h"
#include "exclog/sending/ESendState.h"

namespace exclog {

namespace {

std::string Ask(const std::function<std::string()>& f) { return f ? f() : std::string(); }

void Status(const TSmtpSendServices& services, int index) {
  SetStatusCounted(services.Text ? services.Text(index) : std::string(DefaultText(index)));
}

void RecordCurrentException() { RecordSendException(TQuelbaLogErrorCode::eeEmailSMTPError, "SMTP"); }

// Ends the session with QUIT on every way out while the server still answers; its
// own failure changes nothing of the send's outcome.
class TPoliteEnd {
 public:
  explicit TPoliteEnd(TQuelbaClientSMTP& client) : client_(client) {}
  ~TPoliteEnd() { Quit(); }
  TPoliteEnd(const TPoliteEnd&) = delete;
  TPoliteEnd& operator=(const TPoliteEnd&) = delete;
  void Quit() {
    if (done_ || !client_.Connected()) return;
    done_ = true;
    try {
      client_.OnError = nullptr;
      client_.Command("QUIT", {221});
    } catch (...) {
    }
  }

 private:
  TQuelbaClientSMTP& client_;
  bool done_ = false;
};

}  // namespace

bool SmtpSendOne(const TSmtpSendServices& services, const TSmtpMail& mail) {
  try {
    Status(services, StatusConnecting);
    const std::string& recipient = mail.Recipients;
    // A recipient with a line break would smuggle commands into the dialogue.
    if (!RecipientAcceptable(recipient)) {
      throw EQuelbaSocketError("The recipient \"" + CleanHeader(recipient) + "\" is not a valid address.");
    }
    const bool bare = mail.From.find('"') == std::string::npos && mail.From.find('<') == std::string::npos;
    const std::string from = bare ? SenderHeader(mail.From, Ask(services.OwnerName), Ask(services.UserName))
                                  : SenderHeader(mail.From, "", "");
    const std::string envelope = EnvelopeSender(from);
    // The header's cleaning turns a line break into a blank: the raw address must
    // be one the envelope can carry, as a recipient must.
    const std::string rawEnvelope = bare ? mail.From : EnvelopeSender(mail.From);
    if (!RecipientAcceptable(rawEnvelope) || rawEnvelope.find(' ') != std::string::npos) {
      throw EQuelbaSocketError("The sender \"" + CleanHeader(mail.From) + "\" is not a valid address.");
    }
    TQuelbaClientSMTP client(*services.Api, mail.Host, services.ReplyTimeoutMs, true, mail.Port);
    client.SetDeadline(std::chrono::steady_clock::now() + std::chrono::milliseconds(services.ExchangeTimeoutMs));
    client.Connect();
    TPoliteEnd polite(client);
    const std::string body = MimeBody(mail.Body, mail.Attachments);

    Status(services, StatusConnected);
    const std::string name = Ask(services.HostName);
    if (mail.User.empty() && mail.Password.empty()) {
      client.SendCommand("HELO " + name, {250});
      client.SendCommand("RSET", {250});
    } else {
      client.SendCommand("EHLO " + name, {250});
      client.SendCommand("RSET", {250});
      // A server without AUTH answers 500 or 502 and the mail goes on without it; the
      // credentials go out only when the server asked for them.
      if (client.Command("AUTH LOGIN", {334, 500, 502}) == 334 &&
          client.Command(EncodeString(mail.User), {334, 500, 502}, "(user name)") == 334) {
        client.SendCommand(EncodeString(mail.Password), {235, 500, 502}, "(password)");
      }
    }
    client.SendCommand("MAIL FROM:<" + envelope + ">", {250});

    Status(services, StatusSending);
    TDataFields fields;
    fields.Date = Ask(services.DateNow);
    fields.From = from;
    fields.Subject = mail.Subject;
    fields.Recipient = recipient;
    fields.Tick = services.Tick ? services.Tick() : 0;
    fields.Body = body;
    const std::string data = DataText(fields);

    client.SendCommand("RCPT TO:<" + recipient + ">", {250, 251});
    client.SendCommand("DATA", {354});
    client.OnProgress = [&](TQuelbaClientSocket&, size_t position, size_t total) {
      SetPercent(total ? static_cast<int>(position * 100 / total) : 100);
    };
    client.SendCommand(data, {250});
    client.OnProgress = nullptr;
    polite.Quit();
    return true;
  } catch (...) {
    RecordCurrentException();
    return false;
  }
}

bool SmtpSend(const TSmtpSendServices& services, TSmtpMail mail) {
  bool sent = false;
  try {
    if (mail.Direct) mail.Port = 25;
    mail.Subject = Trim(mail.Subject);
    mail.Body = Trim(mail.Body);
    const std::vector<std::string> recipients = SplitRecipients(mail.Recipients);
    const int count = static_cast<int>(recipients.size());
    for (int i = 0; i < count; ++i) {
      SetRecipientCount(i + 1, count);
      SetPercent(0);
      TSmtpMail one = mail;
      one.Recipients = recipients[i];
      if (mail.Direct) {
        Status(services, StatusResolvingDns);
        // A recipient whose domain has no exchanger does not stop the others.
        try {
          one.Host = services.MxLookup(recipients[i], services.MxTimeoutMs);
        } catch (...) {
          RecordCurrentException();
          continue;
        }
        one.User.clear();
        one.Password.clear();
      }
      if (SmtpSendOne(services, one)) sent = true;
    }
  } catch (...) {
    RecordCurrentException();
  }
  CloseProgress();
  return sent;
}

}  // namespace exclog
