#include "tests/bench/Bench.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <stdexcept>

#ifdef _WIN32
#include <windows.h>
#include <psapi.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace bench {
namespace {

std::map<std::string, TBenchBody>& Benchmarks() {
  static std::map<std::string, TBenchBody> table;
  return table;
}

std::map<std::string, TChildBody>& Children() {
  static std::map<std::string, TChildBody> table;
  return table;
}

int rowsEmitted = 0;

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

TStats StatsOf(const std::vector<TSample>& samples) {
  TStats stats;
  for (const TSample& s : samples) {
    stats.Seconds.push_back(s.Seconds);
    stats.PeakBytes = std::max(stats.PeakBytes, s.PeakBytes);
  }
  stats.Median = Median(stats.Seconds);
  return stats;
}

double Scale(TUnit unit) {
  switch (unit) {
    case TUnit::Seconds: return 1;
    case TUnit::Milliseconds: return 1e3;
    case TUnit::Microseconds: return 1e6;
    case TUnit::Nanoseconds: return 1e9;
  }
  return 1;
}

const char* UnitName(TUnit unit) {
  switch (unit) {
    case TUnit::Seconds: return "s";
    case TUnit::Milliseconds: return "ms";
    case TUnit::Microseconds: return "us";
    case TUnit::Nanoseconds: return "ns";
  }
  return "s";
}

std::string JsonText(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string JsonNumber(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", value);
  return text;
}

std::string JsonNumber(const std::optional<double>& value) {
  return value ? JsonNumber(*value) : "null";
}

std::string TargetText(const TRow& row) {
  char text[64];
  switch (row.Target.Kind) {
    case TTarget::TKind::None: return "";
    case TTarget::TKind::RatioAtMost:
      std::snprintf(text, sizeof text, "ratio <= %g", row.Target.Limit);
      return text;
    case TTarget::TKind::OursAtMost:
      std::snprintf(text, sizeof text, "<= %g %s", row.Target.Limit, UnitName(row.Unit));
      return text;
  }
  return "";
}

#ifndef _WIN32
#ifdef __SANITIZE_ADDRESS__
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

// A process's peak resident size (VmHWM of /proc/PID/status) in KB; 0 when unknown.
uint64_t HighWaterKb(pid_t process) {
  FILE* status = std::fopen(("/proc/" + std::to_string(process) + "/status").c_str(), "r");
  if (!status) return 0;
  char line[256];
  unsigned long long kb = 0;
  while (std::fgets(line, sizeof line, status))
    if (std::sscanf(line, "VmHWM: %llu kB", &kb) == 1) break;
  std::fclose(status);
  return kb;
}
#endif

std::string PeakKb(uint64_t bytes) { return bytes ? std::to_string((bytes + 1023) / 1024) : "null"; }

}  // namespace

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  size_t mid = values.size() / 2;
  return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

TComparison Compare(const TBenchRun& run, const TSide& ours, const TSide& peer) {
  return ComparePaired(run, [&] {
    TSample first = ours();
    return std::make_pair(first, peer());
  });
}

TComparison ComparePaired(const TBenchRun& run, const std::function<std::pair<TSample, TSample>()>& round) {
  for (int i = 0; i < run.WarmUp; ++i) round();
  std::vector<TSample> oursSamples, peerSamples;
  for (int i = 0; i < run.Rounds; ++i) {
    auto [ours, peer] = round();
    oursSamples.push_back(ours);
    peerSamples.push_back(peer);
  }
  TComparison c;
  c.Ours = StatsOf(oursSamples);
  c.Peer = StatsOf(peerSamples);
  c.Ratio = c.Peer.Median > 0 ? c.Ours.Median / c.Peer.Median : 0;
  return c;
}

TStats Measure(const TBenchRun& run, const TSide& side) {
  for (int i = 0; i < run.WarmUp; ++i) side();
  std::vector<TSample> samples;
  for (int i = 0; i < run.Rounds; ++i) samples.push_back(side());
  return StatsOf(samples);
}

TSample TimeInProcess(const std::function<void()>& work, double operations) {
  double start = Now();
  work();
  TSample s;
  s.Seconds = (Now() - start) / operations;
  return s;
}

uint64_t ProcessPeakBytes() {
#ifdef _WIN32
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 0;
  return counters.PeakWorkingSetSize;
#else
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<uint64_t>(usage.ru_maxrss) * 1024;
#endif
}

TSample RunProcess(const std::vector<std::string>& argv, const std::string& stdinPath,
                   const std::string& stdoutPath) {
#ifdef _WIN32
  throw std::runtime_error("RunProcess is for native benchmarks");
#else
  if (argv.empty()) throw std::runtime_error("RunProcess: no program");
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  std::fflush(nullptr);
  double start = Now();
  pid_t child = fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) {
    auto redirect = [](const std::string& path, int fd, int flags) {
      if (path.empty()) return;
      int opened = open(path.c_str(), flags, 0644);
      if (opened < 0 || dup2(opened, fd) < 0) _exit(126);
      close(opened);
    };
    redirect(stdinPath, 0, O_RDONLY);
    redirect(stdoutPath, 1, O_WRONLY | O_CREAT | O_TRUNC);
    // Traced only to stop it once before it ends (see below); untraced if refused.
    // Not in sanitizer builds: their leak check cannot run in a traced process.
    if (!kSanitized) ptrace(PTRACE_TRACEME, 0, nullptr, nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  // The child's resource usage reports at least our own size at the fork (the copied
  // memory counts until the exec), so its peak is read from its final memory instead:
  // VmHWM just before it exits.
  int status = 0;
  rusage usage{};
  uint64_t peakKb = 0;
  for (;;) {
    if (wait4(child, &status, 0, &usage) != child) throw std::runtime_error("wait4 failed");
    if (!WIFSTOPPED(status)) break;
    int signal = WSTOPSIG(status);
    if (status >> 8 == (SIGTRAP | (PTRACE_EVENT_EXIT << 8))) {
      peakKb = HighWaterKb(child);
      signal = 0;
    } else if (signal == SIGTRAP) {  // the exec
      ptrace(PTRACE_SETOPTIONS, child, nullptr, PTRACE_O_TRACEEXIT | PTRACE_O_EXITKILL);
      signal = 0;
    }
    ptrace(PTRACE_CONT, child, nullptr, reinterpret_cast<void*>(static_cast<intptr_t>(signal)));
  }
  TSample s;
  s.Seconds = Now() - start;
  s.PeakBytes = (peakKb ? peakKb : static_cast<uint64_t>(usage.ru_maxrss)) * 1024;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::string how = WIFEXITED(status) ? "exit status " + std::to_string(WEXITSTATUS(status))
                                        : "signal " + std::to_string(WTERMSIG(status));
    throw std::runtime_error(argv[0] + " ended with " + how);
  }
  return s;
#endif
}

TSample RunChild(const TBenchRun& run, const std::vector<std::string>& args,
                 const std::string& stdinPath, const std::string& stdoutPath) {
  std::vector<std::string> argv = {run.Self, "--child", run.Subject};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunProcess(argv, stdinPath, stdoutPath);
}

TRow RowOf(const std::string& name, const std::string& compared, TUnit unit,
           const TComparison& comparison, TTarget target) {
  TRow row;
  row.Name = name;
  row.Compared = compared;
  row.Unit = unit;
  row.Ours = comparison.Ours.Median;
  row.Peer = comparison.Peer.Median;
  row.Ratio = comparison.Ratio;
  row.Target = target;
  row.OursPeakBytes = comparison.Ours.PeakBytes;
  row.PeerPeakBytes = comparison.Peer.PeakBytes;
  row.Rounds = static_cast<int>(comparison.Ours.Seconds.size());
  return row;
}

TRow RowOf(const std::string& name, const std::string& compared, TUnit unit, const TStats& stats,
           TTarget target) {
  TRow row;
  row.Name = name;
  row.Compared = compared;
  row.Unit = unit;
  row.Ours = stats.Median;
  row.Target = target;
  row.OursPeakBytes = stats.PeakBytes;
  row.Rounds = static_cast<int>(stats.Seconds.size());
  return row;
}

std::optional<bool> Holds(const TRow& row) {
  switch (row.Target.Kind) {
    case TTarget::TKind::None: return std::nullopt;
    case TTarget::TKind::RatioAtMost:
      if (!row.Ratio) return false;
      return *row.Ratio <= row.Target.Limit;
    case TTarget::TKind::OursAtMost: return row.Ours * Scale(row.Unit) <= row.Target.Limit;
  }
  return std::nullopt;
}

std::string RowLine(const std::string& subject, bool quick, const TRow& row) {
  double scale = Scale(row.Unit);
  std::optional<double> peer;
  if (row.Peer) peer = *row.Peer * scale;
  std::optional<bool> holds = Holds(row);
  std::string line = "@bench-row {";
  line += "\"subject\": " + JsonText(subject);
  line += ", \"name\": " + JsonText(row.Name);
  line += ", \"compared\": " + JsonText(row.Compared);
  line += ", \"unit\": " + JsonText(UnitName(row.Unit));
  line += ", \"ours\": " + JsonNumber(row.Ours * scale);
  line += ", \"peer\": " + JsonNumber(peer);
  line += ", \"ratio\": " + JsonNumber(row.Ratio);
  line += ", \"target\": " + JsonText(TargetText(row));
  line += ", \"holds\": " + std::string(holds ? (*holds ? "true" : "false") : "null");
  line += ", \"ours_peak_kb\": " + PeakKb(row.OursPeakBytes);
  line += ", \"peer_peak_kb\": " + PeakKb(row.PeerPeakBytes);
  line += ", \"rounds\": " + std::to_string(row.Rounds);
  line += ", \"quick\": " + std::string(quick ? "true" : "false");
  return line + "}";
}

void Emit(const TBenchRun& run, const TRow& row) {
  std::string line = RowLine(run.Subject, run.Quick, row) + "\n";
  std::fputs(line.c_str(), stdout);
  std::fflush(stdout);
  if (!run.RowsFile.empty()) {
    FILE* rows = std::fopen(run.RowsFile.c_str(), "ab");
    if (!rows) throw std::runtime_error("cannot append to " + run.RowsFile);
    std::fputs(line.c_str(), rows);
    std::fclose(rows);
  }
  ++rowsEmitted;
}

std::string HostPath(const std::string& unixPath) {
#ifdef _WIN32
  // Wine maps the Unix root to drive Z:.
  std::string path = "Z:" + unixPath;
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
#else
  return unixPath;
#endif
}

std::string ScratchPath(const std::string& name) {
#ifdef _WIN32
  std::string unique = "/tmp/velmora-bench-win32-" + std::to_string(GetCurrentProcessId());
#else
  std::string unique = "/tmp/velmora-bench-native-" + std::to_string(getpid());
#endif
  return HostPath(unique + "-" + name);
}

bool RegisterBenchmark(const char* subject, TBenchBody body) {
  Benchmarks()[subject] = body;
  return true;
}

bool RegisterChild(const char* subject, TChildBody body) {
  Children()[subject] = body;
  return true;
}

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: velmora_bench [--quick] [--rounds N] [--rows FILE] [SUBJECT...]\n"
               "       velmora_bench --list\n"
               "       velmora_bench --child SUBJECT ARGS...\n");
  return 2;
}

int Main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  TBenchRun run;
  run.Self = argv[0];
  if (!args.empty() && args[0] == "--child") {
    if (args.size() < 2 || !Children().count(args[1])) return Usage();
    return Children()[args[1]](std::vector<std::string>(args.begin() + 2, args.end()));
  }
  std::vector<std::string> subjects;
  int rounds = 0;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--list") {
      for (const auto& entry : Benchmarks()) std::printf("%s\n", entry.first.c_str());
      return 0;
    } else if (a == "--quick") {
      run.Quick = true;
    } else if (a == "--rounds" && i + 1 < args.size()) {
      rounds = std::atoi(args[++i].c_str());
      if (rounds < 1) return Usage();
    } else if (a == "--rows" && i + 1 < args.size()) {
      run.RowsFile = args[++i];
    } else if (a.rfind("--", 0) == 0) {
      return Usage();
    } else {
      subjects.push_back(a);
    }
  }
  if (run.Quick) {
    run.Rounds = 1;
    run.WarmUp = 0;
  }
  if (rounds) run.Rounds = rounds;
  if (subjects.empty())
    for (const auto& entry : Benchmarks()) subjects.push_back(entry.first);
  int status = 0;
  for (const std::string& subject : subjects) {
    auto found = Benchmarks().find(subject);
    if (found == Benchmarks().end()) {
      std::fprintf(stderr, "velmora_bench: no benchmark %s\n", subject.c_str());
      status = 1;
      continue;
    }
    run.Subject = subject;
    int before = rowsEmitted;
    try {
      found->second(run);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "velmora_bench: %s: %s\n", subject.c_str(), e.what());
      status = 1;
      continue;
    }
    if (rowsEmitted == before) {
      std::fprintf(stderr, "velmora_bench: %s emitted no row\n", subject.c_str());
      status = 1;
    }
  }
  return status;
}

}  // namespace
}  // namespace bench

int main(int argc, char** argv) { return bench::Main(argc, argv); }
