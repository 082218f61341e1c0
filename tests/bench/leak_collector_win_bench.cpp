// The leak collector's cost on the program's allocations: mixed-size allocate/free
// pairs and a string list built item by item, each on the plain memory table and
// with the collector installed over it, in one process.
#include <windows.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "classlib/Classes.h"
#include "classlib/Memory.h"
#include "exclog/leaks/ELeakUnit_win.h"
#include "tests/bench/Bench.h"

namespace {

// Sizes 8 B to 4 KiB from a fixed seed; up to 64 blocks live at a time.
void AllocateAndFree(int pairs) {
  uint32_t seed = 12345;
  void* live[64] = {};
  for (int i = 0; i < pairs; ++i) {
    seed = seed * 1664525u + 1013904223u;
    int slot = (seed >> 8) & 63;
    size_t size = 8 + (seed >> 16) % 4089;
    FreeMem(live[slot]);
    live[slot] = GetMem(size);
    if (!live[slot]) throw std::runtime_error("out of memory");
  }
  for (void* p : live) FreeMem(p);
}

void BuildList(int items) {
  TStringList list;
  for (int i = 0; i < items; ++i) list.Add("item " + std::to_string(i));
}

// The collector keeps its state between rounds; each ours round must leave no
// block of its own behind, since the plain table cannot free one.
class TCollector {
 public:
  TCollector() {
    exclog::TLeakSettings settings;
    settings.Previous = SystemMemoryManager();
    settings.Options = exclog::kLeakCatching;
    settings.Capture = &exclog::CaptureThreadStacks;
    settings.Yield = &exclog::YieldThread;
    SetMemoryManager(exclog::LeakStart(settings));
    Stop();
  }
  void Start() { SetMemoryManager(exclog::LeakResumeCatching()); }
  void Stop() {
    exclog::LeakStopCatching();
    SetMemoryManager(SystemMemoryManager());
    exclog::LeakLock();
    bool left = exclog::LeakListHead() != nullptr;
    exclog::LeakUnlock();
    if (left) throw std::runtime_error("a block of the collector outlived its round");
  }
};

}  // namespace

VELMORA_BENCHMARK(leak_collector) {
  const int pairs = run.Quick ? 10000 : 1000000;
  const int items = run.Quick ? 1000 : 100000;
  TCollector collector;
  auto side = [&](bool collecting, auto work) {
    return [&, collecting, work] {
      if (collecting) collector.Start();
      bench::TSample s = bench::TimeInProcess(work);
      if (collecting) collector.Stop();
      return s;
    };
  };
  auto pairsWork = [pairs] { AllocateAndFree(pairs); };
  auto listWork = [items] { BuildList(items); };
  bench::TComparison mixed = bench::Compare(run, side(true, pairsWork), side(false, pairsWork));
  bench::TComparison list = bench::Compare(run, side(true, listWork), side(false, listWork));
  uint64_t peak = bench::ProcessPeakBytes();
  bench::TRow row = bench::RowOf("Leak collector: allocate/free pairs", std::to_string(pairs) +
                                 " mixed sizes, collector against the plain table",
                                 bench::TUnit::Milliseconds, mixed, bench::TTarget::RatioAtMost(1.25));
  row.OursPeakBytes = peak;
  bench::Emit(run, row);
  row = bench::RowOf("Leak collector: string list", std::to_string(items) +
                     " items added, collector against the plain table",
                     bench::TUnit::Milliseconds, list, bench::TTarget::RatioAtMost(1.5));
  row.OursPeakBytes = peak;
  bench::Emit(run, row);
}
