#pragma once
// The socket library bound by name: the logger imports none of the socket DLLs, so
// a program that never sends mail never loads them.
#include <winsock2.h>
#include <windows.h>

#include <string>

#include "exclog/sending/EWinSock.h"

namespace exclog {

// The address of socket function `name`: from "ws2_32.dll" when it loaded, else
// "wsock32.dll", else "mswsock.dll" (all three loaded on first use, kept for the
// process). Raises EQuelbaFuncNotFoundError when none has it.
FARPROC WinSockProc(const char* name);

// Thin wrappers, each binding its function on every call.
namespace winsock {
int closesocket(SOCKET s);
int connect(SOCKET s, const sockaddr* name, int length);
int getsockopt(SOCKET s, int level, int name, char* value, int* size);
u_short htons(u_short value);
int ioctlsocket(SOCKET s, long command, u_long* argument);
int recv(SOCKET s, char* buffer, int length, int flags);
int send(SOCKET s, const char* buffer, int length, int flags);
SOCKET socket(int family, int type, int protocol);
hostent* gethostbyname(const char* name);
int gethostname(char* name, int length);
int WSAAsyncSelect(SOCKET s, HWND window, u_int message, long events);
int WSAGetLastError();
int WSAStartup(WORD version, WSADATA* data);
int WSACleanup();
int select(int count, fd_set* readable, fd_set* writable, fd_set* failed, const timeval* timeout);
}  // namespace winsock

// WSAStartup with version 1.1, once per process / WSACleanup.
void SocketsStartup();
void SocketsCleanup();

// The system's text for a socket error code.
std::string SocketErrorText(int code);
// The local host name ("" when unknown).
std::string LocalHostName();

// How a host name becomes an address (network order): gethostbyname unless a test
// puts another in. It runs on a helper thread of its own.
using THostLookup = bool (*)(const std::string& host, uint32_t& address);
void SetHostLookup(THostLookup lookup);  // nullptr: gethostbyname again

// The host's address within `timeoutMs` (1 found, 0 unknown, -1 the time ran
// out): the system's lookup has no time-out of its own, so it runs on a helper
// thread that is left behind when the time runs out, touching nothing of ours.
int ResolveHost(const std::string& host, uint32_t& address, uint32_t timeoutMs);

// The socket calls of TQuelbaClientSocket, through the wrappers above.
const TSocketApi& WinSockApi();

}  // namespace exclog
