#include "exclog/sending/EMxLookup_win.h"

#include "exclog/sending/EWinSock_win.h"
// winsock2.h before windows.h (above).
#include <iphlpapi.h>

#include <cstring>

#include "exclog/sending/EMxLookup.h"

namespace exclog {

std::vector<std::string> DnsServers() {
  std::vector<std::string> servers;
  if (HMODULE library = LoadLibraryA("IPHLPAPI.DLL")) {
    using TGetNetworkParams = DWORD(WINAPI*)(PFIXED_INFO, PULONG);
    auto getNetworkParams =
        reinterpret_cast<TGetNetworkParams>(reinterpret_cast<void*>(GetProcAddress(library, "GetNetworkParams")));
    ULONG size = 0;
    if (getNetworkParams && getNetworkParams(nullptr, &size) == ERROR_BUFFER_OVERFLOW && size >= sizeof(FIXED_INFO)) {
      std::vector<uint8_t> buffer(size);
      auto* info = reinterpret_cast<FIXED_INFO*>(buffer.data());
      if (getNetworkParams(info, &size) == ERROR_SUCCESS) {
        for (const IP_ADDR_STRING* at = &info->DnsServerList; at; at = at->Next) {
          std::string address(at->IpAddress.String, strnlen(at->IpAddress.String, sizeof at->IpAddress.String));
          if (!address.empty() && address != "0.0.0.0") servers.push_back(address);
        }
      }
    }
    FreeLibrary(library);
  }
  servers.push_back(FallbackDnsServer);
  return servers;
}

std::string MxLookup(const std::string& address, uint32_t timeoutMs) {
  return MxLookupFrom(WinSockApi(), DnsServers(), address, timeoutMs);
}

}  // namespace exclog
