// The socket client on Wine's socket library, bound by name. The EMailPeersWin
// cases need the peers of tests/peers/mail_peers.sh (their ports come in the
// environment) and skip without them; that script checks what the peers stored.
#include "exclog/sending/ESmtpSend_win.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>

#include "exclog/core/EZip.h"
#include "exclog/sending/EMxLookup.h"
#include "exclog/sending/EMxLookup_win.h"
#include "exclog/sending/ESendState.h"
#include "exclog/sending/EWinSock_win.h"
#include "tests/support/GuiProbe_win.h"
#include "tests/support/TestPaths.h"

namespace exclog {
namespace {

std::vector<std::string> warnings;

void Capture() {
  warnings.clear();
  ResetSendState();
  SendOutputSeams().DebugLine = [](const std::string& line) { warnings.push_back(line); };
}

TEST(ESmtpSendWin, BindingByNameAndTheComposedTexts) {
  EXPECT_NE(WinSockProc("send"), nullptr);
  try {
    WinSockProc("NoSuchSocketFunction");
    ADD_FAILURE() << "no error";
  } catch (const EQuelbaFuncNotFoundError& e) {
    EXPECT_EQ(e.Message(), "WinSock's function \"NoSuchSocketFunction\" can not be found");
  }

  Capture();
  TMailMessage message{"you@y.test", "s", "b", {}};
  TSmtpSettings smtp;
  smtp.Host = "no-such-host.invalid";
  smtp.Sender = "me@x.test";
  EXPECT_FALSE(SmtpSendMessage(message, smtp));
  smtp.Host = "127.0.0.1";
  smtp.Port = 1;  // nobody listens there
  EXPECT_FALSE(SmtpSendMessage(message, smtp));
  SendOutputSeams() = TSendOutputSeams{};
  ASSERT_EQ(warnings.size(), 2u);
  EXPECT_NE(warnings[0].find("Message: \"[SMTP] Unable to resolve host \"no-such-host.invalid\".\r\n\r\nError log:\r\n"
                             "\r\n\r\nSocket log:\r\n\r\n\r\nDestination: no-such-host.invalid:25\""),
            std::string::npos)
      << warnings[0];
  EXPECT_NE(warnings[1].find("Message: \"[SMTP] Connection error: \""), std::string::npos) << warnings[1];
  EXPECT_NE(warnings[1].find("Destination: 127.0.0.1:1\""), std::string::npos) << warnings[1];
  EXPECT_EQ(SendState().LastError.Code, TQuelbaLogErrorCode::eeEmailSMTPError);
}

// A scripted SMTP peer of tests/peers/smtp_peer.py on the build machine, its
// standard input held open by a sleep; killed by its pid.
class TScriptedSmtpPeer {
 public:
  explicit TScriptedSmtpPeer(const std::string& scenario) {
    unix_ = "/tmp/velmora-smtpscript-" + velmora::test::ProcessTag() + "-" + scenario;
    velmora::test::RunHostCommand("rm -rf '" + unix_ + "'; mkdir -p '" + unix_ + "'; (sleep 600 | setsid /usr/bin/python3 '" +
                                  VELMORA_SOURCE_DIR "/tests/peers/smtp_peer.py' script " + scenario + " '" + unix_ +
                                  "/log' > '" + unix_ + "/port' 2>/dev/null & echo $! > '" + unix_ + "/pid')");
    const std::string portFile = velmora::test::HostPath(unix_ + "/port");
    velmora::test::PumpUntil([&] {
      FILE* f = std::fopen(portFile.c_str(), "rb");
      if (!f) return false;
      int port = 0;
      const bool got = std::fscanf(f, "%d", &port) == 1;
      std::fclose(f);
      if (got) port_ = static_cast<uint16_t>(port);
      return got;
    }, 20000);
  }
  ~TScriptedSmtpPeer() { velmora::test::RunHostCommand("kill $(cat '" + unix_ + "/pid'); rm -rf '" + unix_ + "'"); }
  uint16_t Port() const { return port_; }

 private:
  std::string unix_;
  uint16_t port_ = 0;
};

TEST(ESmtpSendWin, StalledServersFailWithinTheTimeOut) {
  // One that stops reading after its 354 with a large message, one whose connect
  // is never answered.
  for (const char* scenario : {"stall354", "backlog"}) {
    SCOPED_TRACE(scenario);
    TScriptedSmtpPeer peer(scenario);
    ASSERT_NE(peer.Port(), 0);
    Capture();
    TSmtpSendServices services = PlatformSmtpServices();
    services.ReplyTimeoutMs = 1500;
    TSmtpMail mail;
    mail.From = "me@x.test";
    mail.Host = "127.0.0.1";
    mail.Port = peer.Port();
    mail.Recipients = "you@y.test";
    mail.Body = std::string(12 << 20, 'x');
    const DWORD start = GetTickCount();
    EXPECT_FALSE(SmtpSend(services, mail));
    EXPECT_LT(GetTickCount() - start, 40000u);
    SendOutputSeams() = TSendOutputSeams{};
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("Socket timeout."), std::string::npos) << warnings[0].substr(0, 300);
  }
}

// The system's lookup has no time-out: one that never answers (until the test
// lets it go at its end) must not hold the send past the operation's time-out.
HANDLE lookupRelease = nullptr;
std::atomic<int> lookupsEnded{0};

TEST(ESmtpSendWin, HostLookupThatNeverAnswersFailsAtTheTimeOut) {
  lookupRelease = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  SetHostLookup([](const std::string&, uint32_t& address) {
    WaitForSingleObject(lookupRelease, INFINITE);
    address = 0x0100007F;
    ++lookupsEnded;
    return true;
  });
  Capture();
  TSmtpSendServices services = PlatformSmtpServices();
  services.ReplyTimeoutMs = 1500;
  TSmtpMail mail;
  mail.From = "me@x.test";
  mail.Host = "stuck.test";
  mail.Recipients = "you@y.test";
  mail.Body = "b";
  const DWORD start = GetTickCount();
  EXPECT_FALSE(SmtpSend(services, mail));
  EXPECT_LT(GetTickCount() - start, 15000u);
  SetHostLookup(nullptr);
  SendOutputSeams() = TSendOutputSeams{};
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find("Unable to resolve host \"stuck.test\" within 2 seconds."), std::string::npos)
      << warnings[0];
  // The helper left behind ends on its own, into state it still holds.
  SetEvent(lookupRelease);
  EXPECT_TRUE(velmora::test::PumpUntil([] { return lookupsEnded == 1; }, 10000));
  CloseHandle(lookupRelease);
}

uint16_t PortFromEnvironment(const char* name) {
  const char* value = std::getenv(name);
  return value ? static_cast<uint16_t>(std::atoi(value)) : 0;
}

class EMailPeersWin : public ::testing::Test {
 protected:
  void SetUp() override {
    smtpPort_ = PortFromEnvironment("VELMORA_SMTP_PORT");
    authPort_ = PortFromEnvironment("VELMORA_SMTP_AUTH_PORT");
    dnsPort_ = PortFromEnvironment("VELMORA_DNS_PORT");
    const char* store = std::getenv("VELMORA_MAIL_STORE");
    if (!smtpPort_ || !authPort_ || !dnsPort_ || !store) GTEST_SKIP() << "no mail peers (tests/peers/mail_peers.sh)";
    store_ = velmora::test::HostPath(store);
  }
  uint16_t smtpPort_ = 0, authPort_ = 0, dnsPort_ = 0;
  std::string store_;
};

TEST_F(EMailPeersWin, DeliversThroughWinSockAndResolvesTheExchanger) {
  // The archive the check compares with: a copy stays in the store.
  const std::string content = store_ + "\\content.txt";
  FILE* f = std::fopen(content.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  for (int i = 0; i < 20000; ++i) std::fprintf(f, "line %d of the report\r\n", i);
  std::fclose(f);
  const std::string archive = store_ + "\\kept.zip";
  ASSERT_TRUE(ZipFiles(archive, "", {content}));

  Capture();
  TMailMessage message;
  message.Recipients = "refuse@y.test; you@y.test";
  message.Subject = "Crash\r\nBcc: x";
  message.Body = "Report follows\r\n.\r\nafter the dot line";
  message.Attachments = {archive};
  TSmtpSettings smtp;
  smtp.Sender = "\"Desk\r\nBcc: evil\" <me@x.test>";
  smtp.Host = "127.0.0.1";
  smtp.Port = smtpPort_;
  // The first recipient is refused; the second one's delivery makes it a success.
  EXPECT_TRUE(SmtpSendMessage(message, smtp));
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find("550 5.1.1 refused"), std::string::npos) << warnings[0];

  message.Recipients = "you@y.test";
  smtp.Port = authPort_;
  smtp.User = "reporter";
  smtp.Password = "s3cret";
  EXPECT_TRUE(SmtpSendMessage(message, smtp)) << SendState().LastError.Text;
  SendOutputSeams() = TSendOutputSeams{};

  EXPECT_EQ(MxLookupFrom(WinSockApi(), {"127.0.0.1"}, "a@mail-domain.test", 3000, dnsPort_), "mx1.mail-domain.test");
}

// In the namespace of tests/peers/direct_mail_ns.sh: the system's resolver is a
// dnsmasq on 127.0.0.1 and the exchanger an aiosmtpd on port 25.
TEST(EMailDirectWin, DeliversThroughTheExchanger) {
  if (!std::getenv("VELMORA_DIRECT_MAIL")) GTEST_SKIP() << "not in the direct-mail namespace";
  const std::vector<std::string> servers = DnsServers();
  ASSERT_GE(servers.size(), 2u);
  EXPECT_EQ(servers.front(), "127.0.0.1");
  EXPECT_EQ(servers.back(), FallbackDnsServer);
  Capture();
  TMailMessage message{"someone@velmora-mail.test", "Direct", "Sent straight to the exchanger.", {}};
  TSmtpSettings smtp;
  smtp.Sender = "me@x.test";
  smtp.Host = "configured.invalid";  // not used in direct mode, nor the login
  smtp.Port = 2525;
  smtp.User = "user";
  smtp.Password = "password";
  smtp.Direct = true;
  EXPECT_TRUE(SmtpSendMessage(message, smtp)) << SendState().LastError.Text;
  SendOutputSeams() = TSendOutputSeams{};
}

}  // namespace
}  // namespace exclog
