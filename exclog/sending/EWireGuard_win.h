#pragma once
// A guard over the web library's own socket traffic. WinINet's time-outs hold per
// call, so a server that trickles a header line a second keeps a request alive for
// ever; and it keeps every header line it reads, so a flood fills memory before any
// call of ours returns. Its imports of the socket calls are routed through here,
// once per process: while a TWireGuard lives on a thread, that thread's socket
// calls wait no longer than the send's deadline and the reply's bytes are held to
// budgets. Calls on other threads, or outside a guard, pass straight through.
#include <cstdint>

#include "exclog/sending/EReplyMeter.h"

namespace exclog {

enum class TWireTrip { None, Deadline, HeadersTooLong, TooLarge };

// Routes the socket imports of the loaded module `wininet` through the guard, the
// first time only; from then on the module stays loaded and its table is never put
// back, as a call may be inside the guard at any time. True once the routing is in
// place.
bool InstallWireGuard(void* wininet);

// Armed on the creating thread for one request, until destroyed.
class TWireGuard {
 public:
  // The send's deadline as GetTickCount counts (`limitMs` 0: none); `secure`: the
  // reply comes encrypted, so only its total can be counted.
  TWireGuard(uint32_t startedTick, uint32_t limitMs, bool secure);
  ~TWireGuard();
  TWireGuard(const TWireGuard&) = delete;
  TWireGuard& operator=(const TWireGuard&) = delete;

  // What ended the request's traffic, if anything did.
  TWireTrip Trip() const { return trip_; }

  // The guarded calls (the socket and buffers as plain values, so this header
  // needs no socket types).
  int Receive(uintptr_t socket, char* buffer, int length, int flags);
  int Send(uintptr_t socket, const char* buffer, int length, int flags);
  int Select(int count, void* readable, void* writable, void* failed, const void* timeout);
  int Connect(uintptr_t socket, const void* address, int length);

 private:
  // Milliseconds left before the deadline; UINT32_MAX without one.
  uint32_t Remaining() const;
  // Fails the call with the trip's socket error.
  int Refuse();

  uint32_t startedTick_;
  uint32_t limitMs_;
  TReplyMeter meter_;
  TWireTrip trip_ = TWireTrip::None;
  TWireGuard* outer_;
};

}  // namespace exclog
