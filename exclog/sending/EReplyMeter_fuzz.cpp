// Fuzz target: a reply off the wire, fed to the meter in pieces whose sizes come
// from the input's first byte. The counts never pass what was fed, and feeding the
// same bytes in other pieces breaks a budget alike and finds the same header end.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "exclog/sending/EReplyMeter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace exclog;
  if (size == 0) return 0;
  const size_t step = data[0] % 17 + 1;
  const char* reply = reinterpret_cast<const char*>(data + 1);
  const size_t length = size - 1;
  const uint64_t headerLimit = data[0] & 0x80 ? length / 2 : 64;
  const uint64_t totalLimit = data[0] & 0x40 ? length * 3 / 4 : length;
  TReplyMeter whole(headerLimit, totalLimit, true);
  TReplyMeter pieces(headerLimit, totalLimit, true);
  TReplyMeter sealed(headerLimit, totalLimit, false);
  whole.Take(reply, length);
  for (size_t at = 0; at < length; at += step) {
    const size_t n = length - at < step ? length - at : step;
    if (pieces.Verdict() != TReplyVerdict::Within) break;
    pieces.Take(reply + at, n);
    sealed.Take(reply + at, n);
  }
  if (whole.Total() != length || whole.HeaderBytes() > length) std::abort();
  // A budget broken by a whole read is broken by pieces too (which one may differ:
  // pieces stop at the first).
  if ((whole.Verdict() == TReplyVerdict::Within) != (pieces.Verdict() == TReplyVerdict::Within)) std::abort();
  if (whole.Verdict() == TReplyVerdict::Within &&
      (whole.HeadersEnded() != pieces.HeadersEnded() || whole.HeaderBytes() != pieces.HeaderBytes()))
    std::abort();
  if (sealed.HeaderBytes() != 0 || sealed.HeadersEnded() || sealed.Verdict() == TReplyVerdict::HeadersTooLong ||
      (sealed.Verdict() == TReplyVerdict::TooLarge) != (sealed.Total() > totalLimit))
    std::abort();
  return 0;
}
