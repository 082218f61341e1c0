#pragma once
// The freeze watchdog's counting: how long the main window has gone without
// answering, in real time, over an injected probe and clock so it runs natively.
#include <cstdint>
#include <functional>

namespace exclog {

enum class TFreezeProbe {
  NoWindow,  // the main thread has no application window (yet, or any more)
  Answered,  // the window answered within the probe's time-out
  Silent,    // it did not answer (or the probe failed)
};

struct TFreezeWatchIo {
  std::function<TFreezeProbe()> Probe;
  std::function<uint64_t()> NowMs;           // a monotonic clock
  std::function<void(uint32_t ms)> Sleep;
  std::function<bool()> Terminated;
};

// One probe every this many milliseconds at most (the probe's own time-out).
constexpr uint32_t FreezeProbeMs = 50;
// The rest after an answer, taken in probe-sized steps so a stop is seen quickly.
constexpr uint32_t FreezeRestSteps = 6;

// The time-out in milliseconds: at least one second, without overflow.
uint64_t FreezeTimeoutMs(int32_t freezeSeconds);

// Waits until the main window has not answered for `freezeSeconds` (measured from
// its first silent probe, so a burst of instant failures counts only the time it
// took); true then, false once terminated. A missing window or an answer counts
// afresh.
bool WaitForFreeze(const TFreezeWatchIo& io, int32_t freezeSeconds);

}  // namespace exclog
