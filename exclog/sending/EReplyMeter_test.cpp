#include "exclog/sending/EReplyMeter.h"

#include <gtest/gtest.h>

#include <string>

namespace exclog {
namespace {

// Feeds `reply` in pieces of `step` bytes; the verdict after the last.
TReplyVerdict Feed(TReplyMeter& meter, const std::string& reply, size_t step) {
  TReplyVerdict v = TReplyVerdict::Within;
  for (size_t at = 0; at < reply.size(); at += step) v = meter.Take(reply.data() + at, std::min(step, reply.size() - at));
  return v;
}

TEST(EReplyMeter, FindsTheEndOfTheHeadersHoweverTheBytesArrive) {
  struct TCase {
    std::string Reply;
    uint64_t HeaderBytes;  // 0: the headers have not ended
  };
  const std::string head = "HTTP/1.1 200 OK\r\nA: b\r\n\r\n";
  const TCase cases[] = {
      {head + "body\r\n\r\n", head.size()},
      {"HTTP/1.0 200 OK\nA: b\n\nbody", 22},
      {"HTTP/1.1 200 OK\r\nA: \r\r\nB: c\r\n", 0},  // a CR inside a line is no blank line
      {"\r\n\r\nHTTP/1.1 200 OK\r\n\r\n", 4 + 19},   // empty lines before the status line
      // An interim reply's blank line is not the end; a 100 in a header value is no interim reply.
      {"HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\n\r\nx", 25 + 19},
      {"HTTP/1.1 200 OK\r\nX: HTTP/1.1 100\r\n\r\nx", 36},
      {"HTTP/1.1 1000 Odd\r\n\r\nx", 21},
  };
  for (const TCase& c : cases) {
    for (size_t step : {size_t{1}, size_t{3}, c.Reply.size()}) {
      SCOPED_TRACE(c.Reply + " in steps of " + std::to_string(step));
      TReplyMeter meter(1000, 1000, true);
      EXPECT_EQ(Feed(meter, c.Reply, step), TReplyVerdict::Within);
      EXPECT_EQ(meter.HeadersEnded(), c.HeaderBytes != 0);
      if (c.HeaderBytes) {
        EXPECT_EQ(meter.HeaderBytes(), c.HeaderBytes);
      }
      EXPECT_EQ(meter.Total(), c.Reply.size());
    }
  }
}

TEST(EReplyMeter, HoldsHeadersAndTheWholeReplyToTheirBudgets) {
  const std::string head = "HTTP/1.1 200 OK\r\n";
  std::string flood = head;
  while (flood.size() < 200) flood += "X-Flood: fffff\r\n";
  TReplyMeter headers(100, 10000, true);
  EXPECT_EQ(Feed(headers, flood, 7), TReplyVerdict::HeadersTooLong);
  EXPECT_EQ(headers.Take("\r\n", 2), TReplyVerdict::HeadersTooLong) << "the verdict stays";

  // Exactly at the header budget still passes; a body of any length is only counted.
  const std::string exact = head + std::string(81, 'a') + "\r\n\r\n";
  TReplyMeter atLimit(exact.size(), 10000, true);
  EXPECT_EQ(Feed(atLimit, exact + std::string(5000, 'b'), 512), TReplyVerdict::Within);
  EXPECT_EQ(atLimit.Take("b", 1), TReplyVerdict::Within);
  TReplyMeter oneOver(exact.size() - 1, 10000, true);
  EXPECT_EQ(Feed(oneOver, exact, 1), TReplyVerdict::HeadersTooLong);

  TReplyMeter total(100, 1000, true);
  EXPECT_EQ(Feed(total, "HTTP/1.1 200 OK\r\n\r\n" + std::string(981, 'b'), 100), TReplyVerdict::Within);
  EXPECT_EQ(total.Take("b", 1), TReplyVerdict::TooLarge);

  // Encrypted bytes: no headers to find, only the total.
  TReplyMeter sealed(100, 1000, false);
  EXPECT_EQ(Feed(sealed, flood + std::string(1000 - flood.size(), 'x'), 64), TReplyVerdict::Within);
  EXPECT_EQ(sealed.Take("x", 1), TReplyVerdict::TooLarge);
  EXPECT_EQ(sealed.HeaderBytes(), 0u);
  EXPECT_FALSE(sealed.HeadersEnded());
}

}  // namespace
}  // namespace exclog
