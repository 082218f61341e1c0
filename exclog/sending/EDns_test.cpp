#include "exclog/sending/EDns.h"

#include <gtest/gtest.h>

#include "exclog/sending/EMxLookup.h"

#ifndef _WIN32
#include <chrono>
#include <thread>

#include "exclog/sending/ESendPeers_test.h"
#include "tests/peers/PeerTools.h"
#endif

namespace exclog {
namespace {

TEST(EDns, QueryBytesAndRefusedNames) {
  const std::vector<uint8_t> want = {0x41, 0x41, 0x01, 0x00, 0x00, 0x01, 0, 0, 0, 0, 0, 0,
                                     7, 'e', 'x', 'a', 'm', 'p', 'l', 'e', 3, 'c', 'o', 'm', 0,
                                     0x00, 0x0F, 0x00, 0x01};
  EXPECT_EQ(MxQuery(MailDomain("someone@example.com")), want);
  EXPECT_EQ(MxQuery("example.com."), want);
  EXPECT_TRUE(MxQuery(std::string(63, 'a') + ".test").size() > 0);
  EXPECT_TRUE(MxQuery(std::string(64, 'a') + ".test").empty());
  EXPECT_TRUE(MxQuery("a..test").empty());
  EXPECT_TRUE(MxQuery("").empty());
  std::string tooLong;
  for (int i = 0; i < 26; ++i) tooLong += "abcdefghi.";
  EXPECT_TRUE(MxQuery(tooLong + "test").empty());
  // A 63-octet label goes out whole behind its length; the name's wire form (length
  // octets and the closing zero counted) may take 255 octets, not 256.
  const std::string l63(63, 'a'), l61(61, 'b'), l62(62, 'b');
  std::vector<uint8_t> q = MxQuery(l63 + ".test");
  ASSERT_EQ(q.size(), 12u + (1 + 63) + (1 + 4) + 1 + 4);
  EXPECT_EQ(q[12], 63);
  EXPECT_EQ(std::string(q.begin() + 13, q.begin() + 13 + 63), l63);
  EXPECT_EQ(q[12 + 64], 4);
  q = MxQuery(l63 + "." + l63 + "." + l63 + "." + l61);
  ASSERT_EQ(q.size(), 12u + 255 + 4) << "a name of 255 octets on the wire is asked";
  EXPECT_EQ(q[12 + 3 * 64], 61);
  EXPECT_EQ(q[12 + 254], 0);
  EXPECT_TRUE(MxQuery(l63 + "." + l63 + "." + l63 + "." + l62).empty()) << "256 octets on the wire";
  EXPECT_EQ(MxAttemptTimeout(30000, 0), 10050u);
  EXPECT_EQ(MxAttemptTimeout(30000, 2), 10250u);
}

TEST(EDns, RepliesThatAnswerSomethingElseGiveNothing) {
  std::vector<uint8_t> q = MxQuery("x.test");
  // A reply: the question, then one MX record naming "m" + pointer to "x.test".
  std::vector<uint8_t> r = q;
  r[2] = 0x81, r[3] = 0x80, r[7] = 1;
  const std::vector<uint8_t> record = {0xC0, 0x0C, 0, 15, 0, 1, 0, 0, 0, 60, 0, 6, 0, 10, 1, 'm', 0xC0, 0x0C};
  r.insert(r.end(), record.begin(), record.end());
  EXPECT_EQ(ParseMxReply(r.data(), r.size()), "m.x.test");
  for (size_t cut = 0; cut < r.size(); ++cut) EXPECT_EQ(ParseMxReply(r.data(), cut), "") << cut;
  std::vector<uint8_t> bad = r;
  bad[1] = 0x42;  // another identifier
  EXPECT_EQ(ParseMxReply(bad.data(), bad.size()), "");
  bad = r;
  bad[2] = 0x01;  // a query, not a response
  EXPECT_EQ(ParseMxReply(bad.data(), bad.size()), "");
  bad = r;
  bad[3] = 0x83;  // no such name
  EXPECT_EQ(ParseMxReply(bad.data(), bad.size()), "");
  bad = r;
  bad.back() = static_cast<uint8_t>(bad.size() - 2);  // a pointer to itself
  EXPECT_EQ(ParseMxReply(bad.data(), bad.size()), "");
  bad = r;
  bad[bad.size() - 4] = 64;  // a label longer than the data
  EXPECT_EQ(ParseMxReply(bad.data(), bad.size()), "");
}

#ifndef _WIN32
// dnsmasq answers the MX it was given; our query also reads right to dnslib.
TEST(EDnsPeers, ResolvesThroughDnsmasqAndRefusesCraftedAnswers) {
  const uint16_t port = sendpeers::FreeUdpPort();
  sendpeers::TPeerProcess dnsmasq({"/usr/sbin/dnsmasq", "--keep-in-foreground", "--port=" + std::to_string(port),
                                   "--listen-address=127.0.0.1", "--bind-interfaces", "--no-resolv", "--no-hosts",
                                   "--conf-file=/dev/null", "--pid-file=", "--user=root", "--log-facility=/dev/null",
                                   "--mx-host=mail-domain.test,mx1.mail-domain.test,10"});
  std::string exchange;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (exchange.empty() && std::chrono::steady_clock::now() < deadline) {
    try {
      exchange = MxLookupFrom(sendpeers::PosixSockets(), {"127.0.0.1"}, "a@mail-domain.test", 300, port);
    } catch (const EQuelbaSocketError&) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }
  EXPECT_EQ(exchange, "mx1.mail-domain.test");

  struct TCraft {
    const char* Mode;
    const char* Exchange;  // "" : refused
  } crafts[] = {{"pointer", "crafted.test"}, {"cname", "mx.cname-target.test"}, {"good", "mx.good.test"},
                {"loop", ""}, {"truncated", ""}, {"wrongid", ""}, {"nxdomain", ""}};
  peers::TScratchDir dir;
  for (const TCraft& c : crafts) {
    SCOPED_TRACE(c.Mode);
    const std::string log = dir / (std::string(c.Mode) + ".log");
    sendpeers::TPeerProcess peer({sendpeers::Python(), peers::PeerScript("dns_peer.py"), c.Mode, log});
    const uint16_t at = peer.Port();
    ASSERT_NE(at, 0);
    std::string got, error;
    try {
      got = MxLookupFrom(sendpeers::PosixSockets(), {"127.0.0.1"}, "user@crafted.test", 600, at);
    } catch (const EQuelbaSocketError& e) {
      error = e.Message();
    }
    EXPECT_EQ(got, c.Exchange);
    if (!*c.Exchange) {
      EXPECT_EQ(error, "Cannot resolve the \"crafted.test\" MX record.");
    }
    std::vector<uint8_t> seen = peers::ReadBytes(log);
    EXPECT_EQ(std::string(seen.begin(), seen.end()).rfind("crafted.test. MX 16705\n", 0), 0u);
  }
}
#endif

}  // namespace
}  // namespace exclog
