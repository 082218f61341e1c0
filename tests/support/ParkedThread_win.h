#pragma once
// A thread parked at a known place: it signals `Parked` once it runs, then waits
// for `Release`, so a test can look at it without guessing how long it takes to
// get there.
#include <windows.h>

namespace velmora::test {

struct TParking {
  HANDLE Parked = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE Release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  TParking() = default;
  TParking(const TParking&) = delete;
  TParking& operator=(const TParking&) = delete;
  ~TParking() {
    CloseHandle(Parked);
    CloseHandle(Release);
  }
};

// The thread start: `argument` is a TParking; ends with 7 once released.
inline DWORD WINAPI ParkUntilReleased(LPVOID argument) {
  auto* parking = static_cast<TParking*>(argument);
  SetEvent(parking->Parked);
  WaitForSingleObject(parking->Release, 20000);
  return 7;
}

}  // namespace velmora::test
