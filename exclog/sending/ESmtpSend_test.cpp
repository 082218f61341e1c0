// The SMTP client against real servers on 127.0.0.1: aiosmtpd for deliveries and a
// scripted server for replies in pieces, odd replies and failures.
#ifndef _WIN32
#include "exclog/sending/ESmtpSend.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "exclog/core/EBase64.h"
#include "exclog/core/EZip.h"
#include "exclog/sending/ESendPeers_test.h"
#include "exclog/sending/ESendState.h"
#include "tests/peers/PeerTools.h"

namespace exclog {
namespace {

using sendpeers::TPeerProcess;

// What the sending state shows and records while a (pretended) progress window is up.
struct TRecorder {
  std::vector<std::string> Errors;    // the warning lines
  std::vector<std::string> Statuses;
  int LastPercent = -1;
  bool Closed = false;

  TRecorder() {
    active = this;
    ResetSendState();
    SendState().Progress = TSendProgress{};
    SendState().Progress.Window = 1;
    TSendOutputSeams& o = SendOutputSeams();
    o.DebugLine = [](const std::string& line) { active->Errors.push_back(line); };
    o.StatusText = [](uintptr_t, const std::string& text) { active->Statuses.push_back(text); };
    o.BarPosition = [](uintptr_t, int percent) { active->LastPercent = percent; };
    o.CloseWindow = [](uintptr_t) { active->Closed = true; };
  }
  ~TRecorder() {
    SendOutputSeams() = TSendOutputSeams{};
    SendState().Progress = TSendProgress{};
    active = nullptr;
  }
  static inline TRecorder* active = nullptr;
};

TSmtpSendServices Services(TRecorder&, uint32_t replyTimeoutMs = 10000) {
  TSmtpSendServices s;
  s.Api = &sendpeers::PosixSockets();
  s.ReplyTimeoutMs = replyTimeoutMs;
  s.HostName = [] { return std::string("tester"); };
  s.OwnerName = [] { return std::string("Owner"); };
  s.UserName = [] { return std::string("user"); };
  s.DateNow = [] { return std::string("Sun, 6 Dec 2026 09:05:03 +0100"); };
  s.Tick = [] { return 77u; };
  return s;
}

std::string Joined(const std::vector<std::string>& v) {
  std::string out;
  for (const auto& s : v) out += s + "\n---\n";
  return out;
}

// Waits for the store peer's message files.
bool WaitForMessages(const std::string& dir, size_t count) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    size_t n = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir)) n += e.path().extension() == ".json";
    if (n >= count) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

// Checks a stored message with Python: envelope, credentials, headers, and the
// attachment against `archive` (equal bytes, and unzip -t passes).
peers::TRunResult CheckStored(const std::string& json, const std::string& archive, const std::string& expect) {
  const std::string script =
      "import json,sys,email,base64,subprocess,tempfile\n"
      "r=json.load(open(sys.argv[1])); want=json.loads(sys.argv[3])\n"
      "for k,v in want.items():\n"
      "  assert r[k]==v, (k, r[k], v)\n"
      "m=email.message_from_bytes(base64.b64decode(r['data']))\n"
      "assert m['From']=='\"Owner\" <me@x.test>', m['From']\n"
      "assert m['Subject']=='Crash report Bcc: x', m['Subject']\n"
      "p=m.get_payload()\n"
      "body=p[0].get_payload()\n"
      "assert '\\n.\\n' in body.replace('\\r\\n','\\n'), repr(body)\n"
      "a=p[1].get_payload(decode=True)\n"
      "assert a==open(sys.argv[2],'rb').read()\n"
      "f=tempfile.NamedTemporaryFile(suffix='.zip',delete=False); f.write(a); f.close()\n"
      "subprocess.run(['unzip','-tq',f.name],check=True)\n"
      "print('stored ok')\n";
  peers::TScratchDir dir;
  peers::WriteBytes(dir / "c.py", std::vector<uint8_t>(script.begin(), script.end()));
  return peers::Run("/usr/bin/python3 " + peers::Quote(dir / "c.py") + " " + peers::Quote(json) + " " +
                    peers::Quote(archive) + " " + peers::Quote(expect));
}

TSmtpMail ReportMail(uint16_t port, const std::string& archive) {
  TSmtpMail m;
  m.From = "me@x.test";
  m.Host = "127.0.0.1";
  m.Port = port;
  m.Attachments = {archive};
  m.Subject = "  Crash report\r\nBcc: x ";
  m.Body = "Report follows\r\n.\r\nafter the dot line\r\n";
  return m;
}

class ESmtpDelivery : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string data = dir_ / "data.bin";
    std::vector<uint8_t> bytes = peers::PseudoRandomBytes(150000, 29);
    peers::WriteBytes(data, bytes);
    archive_ = dir_ / "BugReport.zip";
    ASSERT_TRUE(ZipFiles(archive_, "", {data}));
    std::filesystem::create_directories(dir_ / "store");
  }
  peers::TScratchDir dir_;
  std::string archive_;
};

TEST_F(ESmtpDelivery, HeloAndAuthLoginDeliverToAiosmtpd) {
  {
    TPeerProcess peer({sendpeers::Python(), peers::PeerScript("smtp_peer.py"), "store", dir_ / "store"});
    const uint16_t port = peer.Port();
    ASSERT_NE(port, 0);
    TRecorder r;
    TSmtpMail m = ReportMail(port, archive_);
    m.Recipients = "you@y.test";
    EXPECT_TRUE(SmtpSend(Services(r), m)) << Joined(r.Errors);
    EXPECT_EQ(r.Statuses, (std::vector<std::string>{"Message 1/1: Connecting with server...",
                                                     "Message 1/1: Connected with server.",
                                                     "Message 1/1: Sending message..."}));
    EXPECT_EQ(r.LastPercent, 100);
    EXPECT_TRUE(r.Closed);
    ASSERT_TRUE(WaitForMessages(dir_ / "store", 1));
    peers::TRunResult c = CheckStored(dir_ / "store/msg-1.json", archive_,
                                      R"({"from":"me@x.test","to":["you@y.test"],"login":null})");
    EXPECT_EQ(c.ExitCode, 0) << c.Output;
  }
  std::filesystem::remove_all(dir_ / "store");
  std::filesystem::create_directories(dir_ / "store");
  TPeerProcess peer({sendpeers::Python(), peers::PeerScript("smtp_peer.py"), "store", dir_ / "store", "--auth"});
  const uint16_t port = peer.Port();
  ASSERT_NE(port, 0);
  TRecorder r;
  TSmtpMail m = ReportMail(port, archive_);
  // The first recipient is refused, a second one holds a line break: the third
  // still gets the message, and that counts as sent.
  m.Recipients = "refuse@y.test; bad@y.test\r\nRSET , you@y.test";
  m.User = "reporter";
  m.Password = "s3cret pass";
  EXPECT_TRUE(SmtpSend(Services(r), m)) << Joined(r.Errors);
  ASSERT_EQ(r.Errors.size(), 2u) << Joined(r.Errors);
  EXPECT_NE(r.Errors[0].find("550 5.1.1 refused"), std::string::npos) << r.Errors[0];
  EXPECT_EQ(r.Errors[0].find(EncodeString("s3cret pass")), std::string::npos) << r.Errors[0];
  EXPECT_NE(r.Errors[1].find("Message: \"[SMTP] The recipient \"bad@y.test RSET\" is not a valid address.\""),
            std::string::npos) << r.Errors[1];
  ASSERT_TRUE(WaitForMessages(dir_ / "store", 1));
  peers::TRunResult c = CheckStored(dir_ / "store/msg-1.json", archive_,
                                    R"({"to":["you@y.test"],"login":"reporter","password":"s3cret pass"})");
  EXPECT_EQ(c.ExitCode, 0) << c.Output;
}

struct TScriptCase {
  const char* Scenario;
  bool WithLogin;
  uint32_t TimeoutMs;
  const char* Expected;  // "" : sent
};

TEST(ESmtpScripted, EveryScriptGivesItsCodeOrErrorText) {
  const TScriptCase cases[] = {
      // Pieces 300 ms and 1.5 s apart are one reply each.
      {"split", false, 5000, ""},
      {"multiline", true, 5000, ""},
      {"greeting554", false, 5000, "554 not today"},
      {"nocode", false, 5000, "The server's reply carries no code."},
      {"silence", false, 1200, "Socket timeout."},
      {"trickle", false, 1200, "Socket timeout."},
      {"flood", false, 20000, "The server's reply is too long."},
      {"drop", false, 5000, "Error into "},
  };
  peers::TScratchDir dir;
  for (const TScriptCase& c : cases) {
    SCOPED_TRACE(c.Scenario);
    const std::string log = dir / (std::string(c.Scenario) + ".log");
    TPeerProcess peer({sendpeers::Python(), peers::PeerScript("smtp_peer.py"), "script", c.Scenario, log});
    const uint16_t port = peer.Port();
    ASSERT_NE(port, 0);
    TRecorder r;
    TSmtpMail m = ReportMail(port, "");
    m.Attachments.clear();
    m.Recipients = "you@y.test";
    if (c.WithLogin) {
      m.User = "u";
      m.Password = "p";
    }
    // A large body so the dropped connection falls inside the DATA text.
    if (std::string(c.Scenario) == "drop") m.Body = std::string(400000, 'x') + "\r\n";
    const bool sent = SmtpSend(Services(r, c.TimeoutMs), m);
    if (!*c.Expected) {
      EXPECT_TRUE(sent) << Joined(r.Errors);
    } else {
      EXPECT_FALSE(sent);
      ASSERT_EQ(r.Errors.size(), 1u);
      EXPECT_NE(r.Errors[0].find("- Code: eeEmailSMTPError - "), std::string::npos) << r.Errors[0];
      EXPECT_NE(r.Errors[0].find(c.Expected), std::string::npos) << r.Errors[0];
      // The flood's logs push the destination past the 1024 characters kept.
      if (std::string(c.Scenario) != "flood") {
        EXPECT_NE(r.Errors[0].find("Destination: 127.0.0.1:" + std::to_string(port)), std::string::npos);
      } else {
        EXPECT_EQ(r.Errors[0].substr(r.Errors[0].size() - 4), "...\"");
      }
    }
    if (c.WithLogin) {
      // 502 to AUTH LOGIN: no credentials on the wire, and the mail goes on.
      std::vector<uint8_t> bytes = peers::ReadBytes(log);
      const std::string lines(bytes.begin(), bytes.end());
      EXPECT_EQ(lines.find("AUTH LOGIN\r\nMAIL FROM:<me@x.test>\r\n"), lines.find("AUTH LOGIN")) << lines;
      EXPECT_NE(lines.find("AUTH LOGIN"), std::string::npos) << lines;
    }
  }
}

TEST(ESmtpScripted, StalledServersFailWithinTheirDeadlines) {
  struct TStall {
    const char* Scenario;
    uint32_t ReplyTimeoutMs, ExchangeTimeoutMs;
    const char* Expected;
  };
  // Each peer holds on for 60 s or more; the send must give up long before.
  const TStall cases[] = {
      {"stall354", 1500, 600000, "Error into \"send\": \"Socket timeout.\""},
      {"slowread", 20000, 2500, "The exchange took longer than allowed"},
      {"backlog", 1500, 600000, "Connection error: \"Socket timeout.\""},
  };
  peers::TScratchDir dir;
  for (const TStall& c : cases) {
    SCOPED_TRACE(c.Scenario);
    TPeerProcess peer({sendpeers::Python(), peers::PeerScript("smtp_peer.py"), "script", c.Scenario,
                       dir / (std::string(c.Scenario) + ".log")});
    const uint16_t port = peer.Port();
    ASSERT_NE(port, 0);
    TRecorder r;
    TSmtpMail m = ReportMail(port, "");
    m.Attachments.clear();
    m.Recipients = "you@y.test";
    m.Body = std::string(12 << 20, 'x');
    TSmtpSendServices services = Services(r, c.ReplyTimeoutMs);
    services.ExchangeTimeoutMs = c.ExchangeTimeoutMs;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(SmtpSend(services, m));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(40));
    ASSERT_EQ(r.Errors.size(), 1u) << Joined(r.Errors);
    EXPECT_NE(r.Errors[0].find(c.Expected), std::string::npos) << r.Errors[0];
  }
}

TEST(ESmtpScripted, TheSessionEndsWithQuitAndABrokenSenderIsRefused) {
  peers::TScratchDir dir;
  const std::string log = dir / "quit.log";
  TPeerProcess peer({sendpeers::Python(), peers::PeerScript("smtp_peer.py"), "script", "plain", log});
  const uint16_t port = peer.Port();
  ASSERT_NE(port, 0);
  TRecorder r;
  TSmtpMail m = ReportMail(port, "");
  m.Attachments.clear();
  m.Recipients = "you@y.test";
  EXPECT_TRUE(SmtpSend(Services(r), m)) << Joined(r.Errors);
  {
    // The peer logs each command before it answers it.
    const std::vector<uint8_t> bytes = peers::ReadBytes(log);
    const std::string lines(bytes.begin(), bytes.end());
    EXPECT_EQ(lines.substr(lines.size() - std::min<size_t>(lines.size(), 11)), "\r\n.\r\nQUIT\r\n") << lines;
  }

  // The header's cleaning would leave "me@x.test Bcc: y" in MAIL FROM.
  for (const char* sender : {"me@x.test\r\nBcc: y@z.test", "\"Desk\" <me@x.test\r\nRSET>"}) {
    TRecorder bad;
    m.From = sender;
    EXPECT_FALSE(SmtpSend(Services(bad), m));
    ASSERT_EQ(bad.Errors.size(), 1u);
    EXPECT_NE(bad.Errors[0].find("is not a valid address."), std::string::npos) << bad.Errors[0];
  }
  // Refused before connecting: the first session's MAIL FROM stays the only one.
  const std::vector<uint8_t> bytes = peers::ReadBytes(log);
  const std::string lines(bytes.begin(), bytes.end());
  EXPECT_EQ(lines.find("MAIL FROM"), lines.rfind("MAIL FROM")) << lines;
}

TEST(ESmtpScripted, DirectMailTriesEveryRecipientPastAFailedLookup) {
  TRecorder r;
  TSmtpMail m = ReportMail(25, "");
  m.Direct = true;
  m.Recipients = "a@no-exchanger.test; b@second.test";
  TSmtpSendServices services = Services(r);
  std::vector<std::string> asked;
  services.MxLookup = [&](const std::string& address, uint32_t) -> std::string {
    asked.push_back(address);
    if (address == "a@no-exchanger.test") throw EQuelbaSocketError("Cannot resolve the \"no-exchanger.test\" MX record.");
    return "no-such-host.invalid";
  };
  EXPECT_FALSE(SmtpSend(services, m));
  EXPECT_EQ(asked, (std::vector<std::string>{"a@no-exchanger.test", "b@second.test"}));
  ASSERT_EQ(r.Errors.size(), 2u);
  EXPECT_NE(r.Errors[0].find("MX record"), std::string::npos) << r.Errors[0];
  EXPECT_NE(r.Errors[1].find("Unable to resolve host \"no-such-host.invalid\""), std::string::npos) << r.Errors[1];
}

TEST(ESmtpScripted, UnknownHostAndRefusedPortGiveTheComposedTexts) {
  TRecorder r;
  TSmtpMail m = ReportMail(sendpeers::FreeUdpPort(), "");
  m.Recipients = "you@y.test";
  m.Host = "no-such-host.invalid";
  EXPECT_FALSE(SmtpSend(Services(r), m));
  m.Host = "127.0.0.1";
  EXPECT_FALSE(SmtpSend(Services(r), m));
  ASSERT_EQ(r.Errors.size(), 2u);
  EXPECT_NE(r.Errors[0].find("Message: \"[SMTP] Unable to resolve host \"no-such-host.invalid\".\r\n\r\nError log:\r\n"),
            std::string::npos) << r.Errors[0];
  EXPECT_NE(r.Errors[1].find("Message: \"[SMTP] Connection error: \""), std::string::npos) << r.Errors[1];
  EXPECT_NE(r.Errors[1].find("\r\n\r\nDestination: 127.0.0.1:" + std::to_string(m.Port)), std::string::npos);
}

}  // namespace
}  // namespace exclog
#endif
