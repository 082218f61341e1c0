// SMTP send: one message with a 1 MB attachment (64 KB quick) to one aiosmtpd on
// 127.0.0.1, by our client (as a process: build the MIME text, dialogue, DATA) and by
// Python's smtplib with its email package building the same message.
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "exclog/sending/ESendPeers_test.h"
#include "exclog/sending/ESmtpSend.h"
#include "tests/bench/Bench.h"
#include "tests/peers/PeerTools.h"

// args: PORT ATTACHMENT. Exit 0 when the server took the message.
VELMORA_BENCHMARK_CHILD(smtp_send) {
  if (args.size() != 2) return 2;
  exclog::TSmtpSendServices s;
  s.Api = &sendpeers::PosixSockets();
  s.HostName = [] { return std::string("bench"); };
  s.DateNow = [] { return std::string("Mon, 7 Dec 2026 08:00:00 +0000"); };
  exclog::TSmtpMail m;
  m.From = "\"Bench\" <bench@x.test>";
  m.Host = "127.0.0.1";
  m.Port = static_cast<uint16_t>(std::stoi(args[0]));
  m.Attachments = {args[1]};
  m.Subject = "Bug report";
  m.Body = "The report is attached.";
  m.Recipients = "you@y.test";
  return exclog::SmtpSend(s, m) ? 0 : 1;
}

VELMORA_BENCHMARK(smtp_send) {
  peers::TScratchDir dir;
  const std::string attachment = dir / "BugReport.zip";
  peers::WriteBytes(attachment, peers::PseudoRandomBytes(run.Quick ? 64 * 1024 : 1024 * 1024, 7));
  const std::string store = dir / "store";
  std::filesystem::create_directories(store);
  sendpeers::TPeerProcess server({sendpeers::Python(), peers::PeerScript("smtp_peer.py"), "store", store});
  const uint16_t port = server.Port();
  if (!port) throw std::runtime_error("the SMTP peer did not start");
  const std::string script = dir / "send.py";
  const std::string text =
      "import smtplib,sys\n"
      "from email.message import EmailMessage\n"
      "m=EmailMessage(); m['From']='\"Bench\" <bench@x.test>'; m['To']='<you@y.test>'\n"
      "m['Subject']='Bug report'; m.set_content('The report is attached.')\n"
      "m.add_attachment(open(sys.argv[2],'rb').read(), maintype='application', subtype='octet-stream',"
      " filename='BugReport.zip')\n"
      "s=smtplib.SMTP('127.0.0.1', int(sys.argv[1])); s.send_message(m); s.quit()\n";
  peers::WriteBytes(script, std::vector<uint8_t>(text.begin(), text.end()));
  const std::string portText = std::to_string(port);
  auto ours = [&] { return bench::RunChild(run, {portText, attachment}, "", "/dev/null"); };
  auto peer = [&] {
    return bench::RunProcess({sendpeers::Python(), script, portText, attachment}, "", "/dev/null");
  };
  bench::TBenchRun tenRounds = run;
  if (!run.Quick) tenRounds.Rounds = 10;
  const bench::TComparison c = bench::Compare(tenRounds, ours, peer);
  bench::Emit(run, bench::RowOf("SMTP send, 1 MB attachment",
                                "our client vs Python smtplib, to aiosmtpd on 127.0.0.1", bench::TUnit::Milliseconds,
                                c, bench::TTarget::RatioAtMost(1.5)));
}
