#include "exclog/capture/EFreezeWatch.h"

namespace exclog {

uint64_t FreezeTimeoutMs(int32_t freezeSeconds) {
  return static_cast<uint64_t>(freezeSeconds < 1 ? 1 : freezeSeconds) * 1000u;
}

bool WaitForFreeze(const TFreezeWatchIo& io, int32_t freezeSeconds) {
  const uint64_t timeout = FreezeTimeoutMs(freezeSeconds);
  bool silent = false;
  uint64_t silentSince = 0;
  while (!io.Terminated()) {
    uint64_t before = io.NowMs();
    TFreezeProbe answer = io.Probe();
    uint64_t after = io.NowMs();
    if (answer == TFreezeProbe::Answered) {
      silent = false;
      for (uint32_t step = 0; step < FreezeRestSteps && !io.Terminated(); ++step) io.Sleep(FreezeProbeMs);
      continue;
    }
    if (answer == TFreezeProbe::NoWindow) {
      silent = false;
      io.Sleep(FreezeProbeMs);
      continue;
    }
    if (!silent) {
      silent = true;
      silentSince = before;
    }
    if (after - silentSince >= timeout) return !io.Terminated();
    // A probe that failed at once (a window being destroyed) must not spin.
    uint64_t spent = after - before;
    if (spent < FreezeProbeMs) io.Sleep(static_cast<uint32_t>(FreezeProbeMs - spent));
  }
  return false;
}

}  // namespace exclog
