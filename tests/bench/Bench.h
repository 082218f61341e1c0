#pragma once
// The benchmark programs' shared timing helper and row output.
//
// Adding a benchmark (later issues do only this):
//   - one source file per subject in tests/bench/:
//       <subject>_bench.cpp       native: built at -O2 without sanitizers by scripts/bench
//                                 (build/bench-native), with sanitizers in ./test's tree
//       <subject>_win_bench.cpp   Windows: built in build/win32 as the product is built,
//                                 run under Wine
//     Each tree links its files into one program, velmora_bench (velmora_bench.exe), with
//     the product's libraries; scripts/bench and ./test find the subjects by file name.
//   - the file defines its body with VELMORA_BENCHMARK(subject), the name equal to the
//     file name without its suffix; it measures with Compare (ours against a peer or a
//     baseline, interleaved; ComparePaired where the sides must alternate within a
//     round) or Measure (a figure of ours alone) and emits at least one row with Emit.
//     Sizes shrink when run.Quick is set: ./test runs every subject once that way (one
//     round, no warm-up) and fails when the program crashes or emits no row.
//   - figures are wall time; in-process rows show the process's peak once
//     (ProcessPeakBytes), process rows each side's own.
//   - where the peer is another process, ours runs as a process too (start-up counted on
//     both sides): VELMORA_BENCHMARK_CHILD(subject) is ours as a process, reached through
//     RunChild; RunProcess runs both and reports each one's peak resident size.
//
// Row protocol: every row is one line "@bench-row {JSON}" on standard output and, when
// the program is given --rows FILE, appended to FILE (Wine may cut console output
// short). The JSON object's keys: subject, name, compared, unit, ours, peer, ratio,
// target, holds, ours_peak_kb, peer_peak_kb, rounds, quick; figures absent on a side
// are null. scripts/bench gathers the rows into its table and build/bench/results.json.
//
// Command line of the program: velmora_bench [--quick] [--rounds N] [--rows FILE]
// [SUBJECT...] (no subject: all); --list prints the subjects; --child SUBJECT ARGS...
// runs a subject's child.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace bench {

// One measurement: the figure in seconds (per operation when the side divides) and
// the peak memory of whoever did the work (0: not known).
struct TSample {
  double Seconds = 0;
  uint64_t PeakBytes = 0;
};
using TSide = std::function<TSample()>;

struct TStats {
  std::vector<double> Seconds;  // one per round, in order
  double Median = 0;
  uint64_t PeakBytes = 0;       // the largest of the rounds
};

struct TComparison {
  TStats Ours;
  TStats Peer;
  double Ratio = 0;  // ours' median over the peer's
};

// What the program was asked to do.
struct TBenchRun {
  bool Quick = false;
  int Rounds = 7;   // measured rounds per side (1 when quick)
  int WarmUp = 1;   // unmeasured rounds per side first (0 when quick)
  std::string Subject;
  std::string RowsFile;  // "" for standard output only
  std::string Self;      // this program's path, for RunChild
};

// Warm-up, then rounds interleaved ours, peer, ours, peer, ...; medians and their ratio.
TComparison Compare(const TBenchRun& run, const TSide& ours, const TSide& peer);
// The same where the sides must alternate more finely than whole rounds (a hook put
// in and taken out around slices of one round): `round` measures one round of both
// sides and returns {ours, peer}.
TComparison ComparePaired(const TBenchRun& run, const std::function<std::pair<TSample, TSample>()>& round);
// Warm-up, then rounds of one side.
TStats Measure(const TBenchRun& run, const TSide& side);

double Median(std::vector<double> values);

// Times `work` on the calling thread; the figure is divided by `operations`.
// PeakBytes is left 0: in-process rows report ProcessPeakBytes() once.
TSample TimeInProcess(const std::function<void()>& work, double operations = 1);

// This process's peak memory so far: resident size natively, the peak working set
// (GetProcessMemoryInfo) under Windows.
uint64_t ProcessPeakBytes();

// Runs a program with standard input and output redirected to files ("" keeps ours;
// "/dev/null" is fine) and times it from start to exit, with its own peak resident
// size. Throws std::runtime_error when it cannot start or does not exit with 0.
// Native only (a Windows program cannot wait for the build machine's programs).
TSample RunProcess(const std::vector<std::string>& argv, const std::string& stdinPath = "",
                   const std::string& stdoutPath = "");
// RunProcess of this program's child for the running subject.
TSample RunChild(const TBenchRun& run, const std::vector<std::string>& args,
                 const std::string& stdinPath = "", const std::string& stdoutPath = "");

// What the row is judged by.
struct TTarget {
  enum class TKind { None, RatioAtMost, OursAtMost };
  TKind Kind = TKind::None;
  double Limit = 0;  // a ratio, or a figure in the row's unit
  static TTarget None() { return {}; }
  static TTarget RatioAtMost(double limit) { return {TKind::RatioAtMost, limit}; }
  static TTarget OursAtMost(double limit) { return {TKind::OursAtMost, limit}; }
};

enum class TUnit { Seconds, Milliseconds, Microseconds, Nanoseconds };

struct TRow {
  std::string Name;      // what is measured, e.g. "Skin container decode"
  std::string Compared;  // ours against what, on which input
  TUnit Unit = TUnit::Milliseconds;
  double Ours = 0;                // seconds (shown in Unit)
  std::optional<double> Peer;     // seconds
  std::optional<double> Ratio;
  TTarget Target;
  uint64_t OursPeakBytes = 0;
  uint64_t PeerPeakBytes = 0;
  int Rounds = 0;
};

// A row from a comparison (peaks taken from its samples) or from one side.
TRow RowOf(const std::string& name, const std::string& compared, TUnit unit,
           const TComparison& comparison, TTarget target);
TRow RowOf(const std::string& name, const std::string& compared, TUnit unit, const TStats& stats,
           TTarget target);

// Whether the row's target holds; nothing when it has none.
std::optional<bool> Holds(const TRow& row);
// The row's protocol line, without a line end.
std::string RowLine(const std::string& subject, bool quick, const TRow& row);
// Writes the row's line to standard output and to the rows file.
void Emit(const TBenchRun& run, const TRow& row);

// A path of the build machine as this program's file routines take it (Z: under Wine).
std::string HostPath(const std::string& unixPath);
// A scratch name unique to this process (tree and process id in it), as a host path.
std::string ScratchPath(const std::string& name);

// Registration, through the macros below.
using TBenchBody = void (*)(TBenchRun& run);
using TChildBody = int (*)(const std::vector<std::string>& args);
bool RegisterBenchmark(const char* subject, TBenchBody body);
bool RegisterChild(const char* subject, TChildBody body);

}  // namespace bench

#define VELMORA_BENCHMARK(subject)                                                        \
  static void VelmoraBench_##subject(bench::TBenchRun& run);                              \
  [[maybe_unused]] static const bool velmoraBenchRegistered_##subject =                   \
      bench::RegisterBenchmark(#subject, &VelmoraBench_##subject);                        \
  static void VelmoraBench_##subject([[maybe_unused]] bench::TBenchRun& run)

#define VELMORA_BENCHMARK_CHILD(subject)                                                  \
  static int VelmoraBenchChild_##subject(const std::vector<std::string>& args);           \
  [[maybe_unused]] static const bool velmoraBenchChildRegistered_##subject =              \
      bench::RegisterChild(#subject, &VelmoraBenchChild_##subject);                       \
  static int VelmoraBenchChild_##subject([[maybe_unused]] const std::vector<std::string>& args)
