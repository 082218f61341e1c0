#pragma once
// The MX query the logger sends for direct mail, and the reading of its answer.
// Pure; the datagram exchange is MxLookup's (ESockets_win.h).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace exclog {

// A reply read into a buffer of this size holds any datagram whole.
constexpr size_t MaxDnsReply = 64 * 1024;

// The domain of a mail address: the text after its first "@" (all of it when none).
std::string MailDomain(std::string_view address);

// Identifier 0x4141, recursion desired, one question: `domain` as labels, type MX,
// class IN. Empty when the domain cannot be written as labels (an empty label, one
// over 63 bytes, or a name over 255 bytes).
std::vector<uint8_t> MxQuery(std::string_view domain);

// The first mail exchanger a reply to MxQuery names; "" when the reply is not an
// answer to it (short, another identifier, not a response, an error code) or holds
// no MX record with a readable name. Every read is bounded by `size`; compression
// pointers must point backwards, so a loop of them ends.
std::string ParseMxReply(const uint8_t* data, size_t size);

}  // namespace exclog
