#pragma once
// Counts an HTTP reply's bytes as they come off the wire, before the web library
// parses and keeps them: the header part (every byte before the blank line that
// ends the headers, interim 1xx blocks included) and the whole reply, each against
// a budget. The library keeps every header line it reads, so a server that floods
// them must be stopped here, not after.
#include <cstddef>
#include <cstdint>

namespace exclog {

// Far above any real server's headers, far below what hurts.
constexpr uint64_t MaxReplyHeaderBytes = 256u << 10;

enum class TReplyVerdict { Within, HeadersTooLong, TooLarge };

class TReplyMeter {
 public:
  // `headersVisible` false: the bytes are encrypted and only their total counts.
  TReplyMeter(uint64_t headerLimit, uint64_t totalLimit, bool headersVisible);
  // Takes the reply's next bytes. Once a budget is broken the verdict stays.
  TReplyVerdict Take(const char* data, size_t size);
  TReplyVerdict Verdict() const { return verdict_; }
  // The blank line after the headers came (never, when they cannot be seen).
  bool HeadersEnded() const { return headersVisible_ && !inHeaders_; }
  uint64_t HeaderBytes() const { return headerBytes_; }
  uint64_t Total() const { return total_; }

 private:
  void EndLine();

  uint64_t headerLimit_;
  uint64_t totalLimit_;
  bool headersVisible_;
  bool inHeaders_;
  uint64_t headerBytes_ = 0;
  uint64_t total_ = 0;
  TReplyVerdict verdict_ = TReplyVerdict::Within;
  // The line being read: its length, whether it is a lone CR so far, and (for the
  // status line of a block) its first bytes.
  uint64_t lineLength_ = 0;
  bool lineIsCr_ = false;
  bool statusLine_ = true;
  bool interim_ = false;
  char status_[16] = {};
};

}  // namespace exclog
