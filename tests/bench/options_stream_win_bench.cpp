// Options stream: the full options object saved to and loaded back from a memory
// stream, as the logger keeps and reloads its settings. A figure to keep (no peer).
#include <stdexcept>
#include <string>

#include "classlib/Streams.h"
#include "exclog/core/EOptions.h"
#include "tests/bench/Bench.h"

VELMORA_BENCHMARK(options_stream) {
  const int trips = run.Quick ? 10 : 10000;
  exclog::TQuelbaModuleOptions saved;
  exclog::TQuelbaModuleOptions loaded;
  TMemoryStream stream;
  auto side = [&] {
    return bench::TimeInProcess(
        [&] {
          for (int i = 0; i < trips; ++i) {
            stream.Clear();
            saved.SaveToStream(stream);
            stream.SetPosition(0);
            loaded.LoadFromStream(stream);
          }
        },
        trips);
  };
  bench::TStats stats = bench::Measure(run, side);
  if (loaded.SaveToBytes() != saved.SaveToBytes()) throw std::runtime_error("the round trip changed the options");
  bench::TRow row = bench::RowOf("Options stream round trip",
                                 "save + load of the full options object through a memory stream (" +
                                     std::to_string(stream.Size()) + " bytes), per round trip",
                                 bench::TUnit::Microseconds, stats, bench::TTarget::None());
  row.OursPeakBytes = bench::ProcessPeakBytes();
  bench::Emit(run, row);
}
