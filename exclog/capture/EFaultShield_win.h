#pragma once
// A shield around code the logger runs on the application's behalf or on its own
// report path (event handlers, a thrown object's what(), the report's steps): a
// fault there must end that piece of code, not the thread that holds the dispatch.
#include <windows.h>

#include <cstdint>
#include <string>

namespace exclog {

// What stopped a shielded routine.
struct TShieldFault {
  uint32_t Code = 0;      // the system exception's code; 0 for a C++ exception
  uintptr_t Address = 0;  // where it happened (0 for a C++ exception)
  std::string Text;       // "<class>: <message>", as a report names it
};

// Runs `routine(data)` inside a hand-built SEH frame (g++ has no __try and catch
// (...) never sees hardware faults) and a C++ catch-all. Returns true when it ran to
// its end. A hardware fault or system exception reaching the frame, or a C++
// exception leaving the routine, ends it there and false is returned with `fault`
// (when not null) describing it. After a fault the routine's frames are not unwound:
// what they held stays held, so shield only code that holds nothing of ours.
bool RunShielded(void (*routine)(void*), void* data, TShieldFault* fault = nullptr);

template <class F>
bool RunShielded(F& function, TShieldFault* fault = nullptr) {
  return RunShielded([](void* f) { (*static_cast<F*>(f))(); }, &function, fault);
}

// Whether the calling thread runs a shielded routine now: the vectored recorder then
// leaves the thread's recorded exception alone (a report may be reading it).
bool InsideShield();

}  // namespace exclog
