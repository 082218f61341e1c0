#include <winsock2.h>
#include <windows.h>

#include "exclog/sending/EWireGuard_win.h"

#include "exclog/hooks/EHook.h"
#include "exclog/sending/EWebTools.h"

namespace exclog {

namespace {

using RecvFn = int(WSAAPI*)(SOCKET, char*, int, int);
using SendFn = int(WSAAPI*)(SOCKET, const char*, int, int);
using SelectFn = int(WSAAPI*)(int, fd_set*, fd_set*, fd_set*, const timeval*);
using ConnectFn = int(WSAAPI*)(SOCKET, const sockaddr*, int);
using SockOptFn = int(WSAAPI*)(SOCKET, int, int, char*, int*);
using SetSockOptFn = int(WSAAPI*)(SOCKET, int, int, const char*, int);

// The socket library's own routines, set before any import is routed here.
RecvFn realRecv = nullptr;
SendFn realSend = nullptr;
SelectFn realSelect = nullptr;
ConnectFn realConnect = nullptr;
SockOptFn realGetSockOpt = nullptr;
SetSockOptFn realSetSockOpt = nullptr;
// The guard armed on each thread (a thread-local slot of the system's: the calls
// come on threads the library may have made).
DWORD armedSlot = TLS_OUT_OF_INDEXES;

TWireGuard* Armed() {
  return armedSlot == TLS_OUT_OF_INDEXES ? nullptr : static_cast<TWireGuard*>(TlsGetValue(armedSlot));
}

int WSAAPI GuardedRecv(SOCKET s, char* buffer, int length, int flags) {
  TWireGuard* g = Armed();
  return g ? g->Receive(s, buffer, length, flags) : realRecv(s, buffer, length, flags);
}

int WSAAPI GuardedSend(SOCKET s, const char* buffer, int length, int flags) {
  TWireGuard* g = Armed();
  return g ? g->Send(s, buffer, length, flags) : realSend(s, buffer, length, flags);
}

int WSAAPI GuardedSelect(int count, fd_set* readable, fd_set* writable, fd_set* failed, const timeval* timeout) {
  TWireGuard* g = Armed();
  return g ? g->Select(count, readable, writable, failed, timeout)
           : realSelect(count, readable, writable, failed, timeout);
}

int WSAAPI GuardedConnect(SOCKET s, const sockaddr* address, int length) {
  TWireGuard* g = Armed();
  return g ? g->Connect(s, address, length) : realConnect(s, address, length);
}

template <class F>
bool BindFrom(HMODULE module, const char* name, F& slot) {
  slot = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  return slot != nullptr;
}

bool Route(void* module, const char* name, void* routine, void* replacement) {
  try {
    return HookImport(module, "ws2_32.dll", routine, true, true, name, replacement) != nullptr;
  } catch (const EHookError&) {
    return false;
  }
}

bool Install(void* wininet) {
  HMODULE ws2 = GetModuleHandleA("ws2_32.dll");
  if (!wininet || !ws2) return false;
  if (!BindFrom(ws2, "recv", realRecv) || !BindFrom(ws2, "send", realSend) ||
      !BindFrom(ws2, "select", realSelect) || !BindFrom(ws2, "connect", realConnect) ||
      !BindFrom(ws2, "getsockopt", realGetSockOpt) || !BindFrom(ws2, "setsockopt", realSetSockOpt))
    return false;
  armedSlot = TlsAlloc();
  if (armedSlot == TLS_OUT_OF_INDEXES) return false;
  // Its table will point here for good: it must never unload and come back
  // unrouted, nor run our routines after we are gone.
  HMODULE pinned = nullptr;
  if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                          static_cast<const char*>(wininet), &pinned)) {
    char path[MAX_PATH] = {};
    if (!GetModuleFileNameA(static_cast<HMODULE>(wininet), path, MAX_PATH) || !LoadLibraryA(path)) return false;
  }
  // The receive guard is the one that matters; the others only shorten waits.
  Route(wininet, "send", reinterpret_cast<void*>(realSend), reinterpret_cast<void*>(&GuardedSend));
  Route(wininet, "select", reinterpret_cast<void*>(realSelect), reinterpret_cast<void*>(&GuardedSelect));
  Route(wininet, "connect", reinterpret_cast<void*>(realConnect), reinterpret_cast<void*>(&GuardedConnect));
  return Route(wininet, "recv", reinterpret_cast<void*>(realRecv), reinterpret_cast<void*>(&GuardedRecv));
}

// For one call: the socket's time-out `option` cut to `ms` when that is shorter,
// then put back.
class TShortenedTimeout {
 public:
  TShortenedTimeout(SOCKET s, int option, uint32_t ms) : socket_(s), option_(option) {
    if (ms == UINT32_MAX) return;
    DWORD current = 0;
    int size = sizeof current;
    if (realGetSockOpt(s, SOL_SOCKET, option, reinterpret_cast<char*>(&current), &size) != 0) return;
    if (current != 0 && current <= ms) return;
    const DWORD shorter = ms ? ms : 1;
    if (realSetSockOpt(s, SOL_SOCKET, option, reinterpret_cast<const char*>(&shorter), sizeof shorter) != 0) return;
    saved_ = current;
    shortened_ = true;
  }
  ~TShortenedTimeout() {
    if (!shortened_) return;
    const DWORD error = GetLastError();
    realSetSockOpt(socket_, SOL_SOCKET, option_, reinterpret_cast<const char*>(&saved_), sizeof saved_);
    SetLastError(error);
  }
  TShortenedTimeout(const TShortenedTimeout&) = delete;
  TShortenedTimeout& operator=(const TShortenedTimeout&) = delete;
  bool Shortened() const { return shortened_; }

 private:
  SOCKET socket_;
  int option_;
  DWORD saved_ = 0;
  bool shortened_ = false;
};

}  // namespace

bool InstallWireGuard(void* wininet) {
  static const bool installed = Install(wininet);
  return installed;
}

TWireGuard::TWireGuard(uint32_t startedTick, uint32_t limitMs, bool secure)
    // The whole reply may pass the body's cap by its headers and some framing
    // (chunk sizes, encryption records); the reader itself holds the body to its cap.
    : startedTick_(startedTick),
      limitMs_(limitMs),
      meter_(MaxReplyHeaderBytes, MaxResponseBytes + MaxResponseBytes / 4 + MaxReplyHeaderBytes, !secure),
      outer_(Armed()) {
  if (armedSlot != TLS_OUT_OF_INDEXES) TlsSetValue(armedSlot, this);
}

TWireGuard::~TWireGuard() {
  if (armedSlot != TLS_OUT_OF_INDEXES) TlsSetValue(armedSlot, outer_);
}

uint32_t TWireGuard::Remaining() const {
  if (limitMs_ == 0) return UINT32_MAX;
  const uint32_t spent = GetTickCount() - startedTick_;
  return spent >= limitMs_ ? 0 : limitMs_ - spent;
}

int TWireGuard::Refuse() {
  SetLastError(trip_ == TWireTrip::Deadline ? WSAETIMEDOUT : WSAECONNABORTED);
  return SOCKET_ERROR;
}

int TWireGuard::Receive(uintptr_t socket, char* buffer, int length, int flags) {
  if (trip_ != TWireTrip::None) return Refuse();
  const uint32_t left = Remaining();
  if (left == 0) {
    trip_ = TWireTrip::Deadline;
    return Refuse();
  }
  int got = 0;
  {
    TShortenedTimeout limit(socket, SO_RCVTIMEO, left);
    got = realRecv(socket, buffer, length, flags);
    if (got == SOCKET_ERROR && GetLastError() == WSAETIMEDOUT && limit.Shortened()) trip_ = TWireTrip::Deadline;
  }
  // A peek leaves the bytes for the read that takes them.
  if (got <= 0 || (flags & MSG_PEEK)) return got;
  switch (meter_.Take(buffer, static_cast<size_t>(got))) {
    case TReplyVerdict::Within:
      return got;
    case TReplyVerdict::HeadersTooLong:
      trip_ = TWireTrip::HeadersTooLong;
      break;
    case TReplyVerdict::TooLarge:
      trip_ = TWireTrip::TooLarge;
      break;
  }
  return Refuse();
}

int TWireGuard::Send(uintptr_t socket, const char* buffer, int length, int flags) {
  if (trip_ != TWireTrip::None) return Refuse();
  const uint32_t left = Remaining();
  if (left == 0) {
    trip_ = TWireTrip::Deadline;
    return Refuse();
  }
  TShortenedTimeout limit(socket, SO_SNDTIMEO, left);
  const int sent = realSend(socket, buffer, length, flags);
  if (sent == SOCKET_ERROR && GetLastError() == WSAETIMEDOUT && limit.Shortened()) trip_ = TWireTrip::Deadline;
  return sent;
}

int TWireGuard::Select(int count, void* readable, void* writable, void* failed, const void* timeout) {
  if (trip_ != TWireTrip::None) return Refuse();
  auto* r = static_cast<fd_set*>(readable);
  auto* w = static_cast<fd_set*>(writable);
  auto* f = static_cast<fd_set*>(failed);
  const auto* asked = static_cast<const timeval*>(timeout);
  const uint32_t left = Remaining();
  const uint64_t askedMs =
      asked ? uint64_t(asked->tv_sec) * 1000 + uint64_t(asked->tv_usec) / 1000 : UINT64_MAX;
  if (left == UINT32_MAX || askedMs <= left) return realSelect(count, r, w, f, asked);
  timeval shorter;
  shorter.tv_sec = static_cast<long>(left / 1000);
  shorter.tv_usec = static_cast<long>(left % 1000) * 1000;
  const int ready = realSelect(count, r, w, f, &shorter);
  if (ready == 0) trip_ = TWireTrip::Deadline;
  return ready;
}

int TWireGuard::Connect(uintptr_t socket, const void* address, int length) {
  if (trip_ != TWireTrip::None) return Refuse();
  if (Remaining() == 0) {
    trip_ = TWireTrip::Deadline;
    return Refuse();
  }
  return realConnect(socket, static_cast<const sockaddr*>(address), length);
}

}  // namespace exclog
