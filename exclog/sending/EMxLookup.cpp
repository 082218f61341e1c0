#include "exclog/sending/EMxLookup.h"

#include "exclog/sending/EDns.h"

namespace exclog {

uint32_t MxAttemptTimeout(uint32_t timeoutMs, int attempt) {
  return (timeoutMs + 150) / 3 + 100 * static_cast<uint32_t>(attempt);
}

std::string MxLookupFrom(const TSocketApi& api, const std::vector<std::string>& servers, const std::string& address,
                         uint32_t timeoutMs, uint16_t port) {
  const std::string domain = MailDomain(address);
  const std::vector<uint8_t> query = MxQuery(domain);
  if (!query.empty()) {
    const std::string_view bytes(reinterpret_cast<const char*>(query.data()), query.size());
    // One datagram can be up to 64 KiB: a smaller buffer would cut it.
    std::vector<char> reply(MaxDnsReply);
    for (const std::string& server : servers) {
      for (int attempt = 0; attempt < 3; ++attempt) {
        try {
          TQuelbaClientSocket client(api, server, MxAttemptTimeout(timeoutMs, attempt), false, port);
          client.Connect();
          if (client.Send(bytes) != bytes.size()) continue;
          const size_t got = client.Receive(reply.data(), reply.size(), client.Timeout());
          const std::string exchange = ParseMxReply(reinterpret_cast<const uint8_t*>(reply.data()), got);
          if (!exchange.empty()) return exchange;
        } catch (const EQuelbaSocketError&) {
          // A server that cannot be reached is one that gave no answer.
        }
      }
    }
  }
  throw EQuelbaSocketError("Cannot resolve the \"" + domain + "\" MX record.");
}

}  // namespace exclog
