// Fuzz target: a byte stream, fed in pieces whose sizes the first byte picks, to the
// SMTP reply framer. Every reply it completes ends with a final line whose code it
// gives; none exceeds the cap; a failure stays.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "exclog/sending/ESockets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t step = 1 + data[0] % 17;
  exclog::TSmtpReplyFramer framer;
  using S = exclog::TSmtpReplyFramer::TState;
  for (size_t at = 1; at < size; at += step) {
    const std::string_view piece(reinterpret_cast<const char*>(data) + at, std::min(step, size - at));
    S state = framer.Feed(piece);
    while (state == S::Complete) {
      int code = -1;
      const std::string reply = framer.TakeReply(code);
      if (code < 0 || code > 999 || reply.empty() || reply.back() != '\n') std::abort();
      if (reply.size() > exclog::TSmtpReplyFramer::MaxReply + step) std::abort();
      if (exclog::ReplyCode(reply) != code) std::abort();
      state = framer.State();
    }
    if (state == S::Failed) {
      if (framer.Feed("250 ok\r\n") != S::Failed || framer.Error().empty()) std::abort();
      return 0;
    }
  }
  return 0;
}
