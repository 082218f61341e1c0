#include "exclog/sending/EReplyMeter.h"

namespace exclog {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// "HTTP/<version> 1xx": an interim reply, after which the real one follows.
bool InterimStatus(const char* line, size_t length) {
  if (length < 5 || line[0] != 'H' || line[1] != 'T' || line[2] != 'T' || line[3] != 'P' || line[4] != '/')
    return false;
  size_t at = 5;
  while (at < length && line[at] != ' ') ++at;
  while (at < length && line[at] == ' ') ++at;
  return at + 3 <= length && line[at] == '1' && IsDigit(line[at + 1]) && IsDigit(line[at + 2]) &&
         (at + 3 == length || line[at + 3] == ' ' || line[at + 3] == '\r');
}

}  // namespace

TReplyMeter::TReplyMeter(uint64_t headerLimit, uint64_t totalLimit, bool headersVisible)
    : headerLimit_(headerLimit), totalLimit_(totalLimit), headersVisible_(headersVisible), inHeaders_(headersVisible) {}

void TReplyMeter::EndLine() {
  const bool blank = lineLength_ == 0 || (lineLength_ == 1 && lineIsCr_);
  if (statusLine_) {
    // Empty lines before a status line are passed over as readers do.
    if (!blank) {
      statusLine_ = false;
      const size_t kept = lineLength_ < sizeof status_ ? static_cast<size_t>(lineLength_) : sizeof status_;
      interim_ = InterimStatus(status_, kept);
    }
  } else if (blank) {
    if (interim_) {
      statusLine_ = true;
      interim_ = false;
    } else {
      inHeaders_ = false;
    }
  }
  lineLength_ = 0;
  lineIsCr_ = false;
}

TReplyVerdict TReplyMeter::Take(const char* data, size_t size) {
  if (verdict_ != TReplyVerdict::Within) return verdict_;
  size_t at = 0;
  for (; inHeaders_ && at < size; ++at) {
    const char c = data[at];
    ++headerBytes_;
    if (c == '\n') {
      EndLine();
      continue;
    }
    if (statusLine_ && lineLength_ < sizeof status_) status_[lineLength_] = c;
    lineIsCr_ = lineLength_ == 0 && c == '\r';
    ++lineLength_;
  }
  total_ += size;
  if (headerBytes_ > headerLimit_)
    verdict_ = TReplyVerdict::HeadersTooLong;
  else if (total_ > totalLimit_)
    verdict_ = TReplyVerdict::TooLarge;
  return verdict_;
}

}  // namespace exclog
