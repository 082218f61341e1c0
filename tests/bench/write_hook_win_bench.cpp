// Hooked file writes: 16-byte writes through the program's imported WriteFile to a
// file, with the logger's write hook in the import slot against the slot as the
// loader filled it, in one process.
//
// A write costs about a microsecond of system time, which drifts by tens of percent
// from second to second on a busy machine, while the hook adds a few nanoseconds. So
// each round alternates the sides over slices of its writes (the hook put in and taken
// out between slices, the side going first alternating), both appending to one file
// (with a file each, the first one created was steadily 2% slower): both sides of a
// round see the same machine. More rounds than usual narrow the median further.
//
// What is left of the hook's cost is where its code lies, not what it does: a bare
// forwarding routine beside the loop here adds about 1%, the same routine moved to a
// code page of its own about 3.5 to 4.5%, as much as the hook. Each write enters the
// kernel, after which every code page a call touches is found again (a page walk).
#include <windows.h>

#include <algorithm>
#include <stdexcept>
#include <string>

#include "exclog/hooks/EHook.h"
#include "exclog/capture/EThreadHooks_win.h"
#include "exclog/core/ExceptionLog.h"
#include "tests/bench/Bench.h"

namespace {

// A plain call: it goes through the program's import slot, where the hook sits.
__attribute__((noinline)) void WriteRecords(HANDLE file, int count) {
  static const char record[16] = "0123456789abcde";
  for (int i = 0; i < count; ++i) {
    DWORD written = 0;
    if (!WriteFile(file, record, sizeof record, &written, nullptr) || written != sizeof record)
      throw std::runtime_error("a write failed");
  }
}

class TOutputFile {
 public:
  explicit TOutputFile(const std::string& path) : path_(path) {
    handle_ = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle_ == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot create " + path);
  }
  ~TOutputFile() {
    CloseHandle(handle_);
    DeleteFileA(path_.c_str());
  }
  TOutputFile(const TOutputFile&) = delete;
  TOutputFile& operator=(const TOutputFile&) = delete;
  HANDLE Handle() const { return handle_; }

 private:
  std::string path_;
  HANDLE handle_;
};

}  // namespace

VELMORA_BENCHMARK(write_hook) {
  const int writes = run.Quick ? 1000 : 1000000;
  const int slices = run.Quick ? 2 : 100;
  HMODULE program = GetModuleHandleA(nullptr);
  void* system = reinterpret_cast<void*>(exclog::KernelOriginals().WriteFile);
  void* hook = reinterpret_cast<void*>(&exclog::HookWriteFile);
  // As in the running program: the hook then takes its full path.
  exclog::SetLoggerActive(true);

  auto slice = [&](bool hooked, HANDLE file) {
    if (hooked) exclog::HookImport(program, "kernel32.dll", system, true, false, "WriteFile", hook);
    int before = exclog::HookCallCount("WriteFile");
    bench::TSample s = bench::TimeInProcess([&] { WriteRecords(file, writes / slices); });
    int through = exclog::HookCallCount("WriteFile") - before;
    if (hooked) exclog::HookImport(program, "kernel32.dll", hook, true, false, "WriteFile", system);
    // Proof that each side measured what it claims.
    if (through != (hooked ? writes / slices : 0)) throw std::runtime_error("writes did not take the expected route");
    return s.Seconds;
  };
  auto round = [&] {
    TOutputFile file(bench::ScratchPath("writes.bin"));
    bench::TSample ours, peer;
    for (int i = 0; i < slices; ++i) {
      if (i % 2 == 0) {
        ours.Seconds += slice(true, file.Handle());
        peer.Seconds += slice(false, file.Handle());
      } else {
        peer.Seconds += slice(false, file.Handle());
        ours.Seconds += slice(true, file.Handle());
      }
    }
    return std::make_pair(ours, peer);
  };
  bench::TBenchRun longer = run;
  if (!run.Quick) longer.Rounds = std::max(run.Rounds, 15);
  bench::TComparison c = bench::ComparePaired(longer, round);
  exclog::SetLoggerActive(false);
  bench::Emit(run, bench::RowOf("Hooked file writes",
                                std::to_string(writes) + " WriteFile calls of 16 bytes to a file, hook installed vs not (" +
                                    std::to_string(slices) + " alternating slices a round)",
                                bench::TUnit::Milliseconds, c, bench::TTarget::RatioAtMost(1.02)));
}
