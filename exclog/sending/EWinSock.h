#pragma once
// The socket layer's error classes, the composed error text every socket failure
// carries, and the table of socket calls a client makes. Pure: the Windows binding
// of the socket library is EWinSock_win.h.
#include <cstdint>
#include <string>
#include <string_view>

#include "classlib/SysUtils.h"

namespace exclog {

VELMORA_EXCEPTION(EQuelbaWinSockError, Exception)
VELMORA_EXCEPTION(EQuelbaSocketError, EQuelbaWinSockError)
VELMORA_EXCEPTION(EQuelbaFuncNotFoundError, EQuelbaSocketError)

// "WinSock's function \"<name>\" can not be found".
std::string FuncNotFoundText(std::string_view name);

// What a client knows when it fails: where it was going and what it said and heard.
struct TSocketLogs {
  std::string Host;
  uint16_t Port = 0;
  std::string SessionLog;    // the connection line, every command and every reply
  std::string LastReceived;  // the reply to the last command
};

// The error text `message` with the logs around it and "Destination: host:port"
// after them; an empty session log counts as not contained in `message`.
std::string ComposeSocketErrorText(std::string_view message, const TSocketLogs& logs);
// A text over 1024 characters is cut there and "..." appended.
std::string LimitErrorText(std::string text);

// A socket address as connect() takes it: family, port and address in network order.
struct TSocketAddress {
  uint16_t Family = 2;  // AF_INET
  uint16_t Port = 0;
  uint32_t Address = 0;
  uint8_t Zero[8] = {};
};
static_assert(sizeof(TSocketAddress) == 16);

using TSocketHandle = intptr_t;
constexpr TSocketHandle NoSocket = -1;

// The socket calls a client makes. Results follow the C calls: -1 (or NoSocket)
// on failure, with LastError() telling why.
struct TSocketApi {
  void (*Startup)() = nullptr;                           // once per process; may raise
  TSocketHandle (*Open)(bool stream) = nullptr;          // socket(AF_INET, ...)
  // The host's address (network order) within `timeoutMs`: 1 found, 0 unknown,
  // -1 the time ran out first.
  int (*Resolve)(const std::string& host, uint32_t& address, uint32_t timeoutMs) = nullptr;
  // Every call on the socket returns at once; the client waits with Wait and
  // WaitConnect, each bounded, so no peer can hold it.
  bool (*MakeNonBlocking)(TSocketHandle s) = nullptr;
  // Starts the connection: 0 when made, else -1 (WouldBlock or InProgress: under way).
  int (*Connect)(TSocketHandle s, const TSocketAddress& to) = nullptr;
  // 1 when the connection under way ended (made or failed), 0 when the time passed,
  // -1 on error.
  int (*WaitConnect)(TSocketHandle s, uint32_t timeoutMs) = nullptr;
  // The connection's outcome after WaitConnect: 0 when made, else the error code.
  int (*ConnectError)(TSocketHandle s) = nullptr;
  int (*Send)(TSocketHandle s, const char* data, int size) = nullptr;
  int (*Recv)(TSocketHandle s, char* data, int size) = nullptr;
  // 1 when readable (or writable), 0 when the time passed, -1 on error.
  int (*Wait)(TSocketHandle s, bool forWrite, uint32_t timeoutMs) = nullptr;
  int (*Available)(TSocketHandle s) = nullptr;           // bytes waiting, -1 on error
  int (*Close)(TSocketHandle s) = nullptr;
  int (*LastError)() = nullptr;
  bool (*WouldBlock)(int error) = nullptr;  // also "in progress" of a connection
  std::string (*ErrorText)(int error) = nullptr;
};

}  // namespace exclog
