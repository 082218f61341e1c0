#pragma once
// The MX lookup on the system's DNS servers and sockets.
#include <cstdint>
#include <string>
#include <vector>

namespace exclog {

// The system's DNS servers (IP Helper bound by name; "0.0.0.0" left out), then
// FallbackDnsServer.
std::vector<std::string> DnsServers();
// The mail exchanger of `address`'s domain; raises EQuelbaSocketError when none.
std::string MxLookup(const std::string& address, uint32_t timeoutMs);

}  // namespace exclog
