#pragma once
// Finding a recipient domain's mail exchanger by asking DNS servers in turn.
#include <cstdint>
#include <string>
#include <vector>

#include "exclog/sending/ESockets.h"

namespace exclog {

// One public resolver asked after the system's own servers.
constexpr const char* FallbackDnsServer = "9.9.9.9";

// The time-out of attempt `attempt` (0-based) for a lookup given `timeoutMs`.
uint32_t MxAttemptTimeout(uint32_t timeoutMs, int attempt);

// Asks each server of `servers` (at `port`) up to three times for the MX record of
// `address`'s domain; the first exchange named wins. Raises EQuelbaSocketError
// "Cannot resolve the \"<domain>\" MX record." when none names one.
std::string MxLookupFrom(const TSocketApi& api, const std::vector<std::string>& servers, const std::string& address,
                         uint32_t timeoutMs, uint16_t port = 53);

}  // namespace exclog
