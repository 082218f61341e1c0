// Hooked file writes: 16-byte writes through the program's imported WriteFile to a
// file, with the logger's write hook in the import slot against the slot as the
// loader filled it, in one process (the hook is put in and taken out between rounds).
#include <windows.h>

#include <stdexcept>
#include <string>

#include "exclog/EHook.h"
#include "exclog/EThreadHooks_win.h"
#include "exclog/ExceptionLog.h"
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

}  // namespace

VELMORA_BENCHMARK(write_hook) {
  const int writes = run.Quick ? 1000 : 1000000;
  const std::string path = bench::ScratchPath("writes.bin");
  HMODULE program = GetModuleHandleA(nullptr);
  void* system = reinterpret_cast<void*>(exclog::KernelOriginals().WriteFile);
  void* hook = reinterpret_cast<void*>(&exclog::HookWriteFile);
  // As in the running program: the hook then takes its full path.
  exclog::SetLoggerActive(true);

  auto round = [&](bool hooked) {
    if (hooked) exclog::HookImport(program, "kernel32.dll", system, true, false, "WriteFile", hook);
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot create " + path);
    int before = exclog::HookCallCount("WriteFile");
    bench::TSample s = bench::TimeInProcess([&] { WriteRecords(file, writes); });
    int through = exclog::HookCallCount("WriteFile") - before;
    CloseHandle(file);
    if (hooked) exclog::HookImport(program, "kernel32.dll", hook, true, false, "WriteFile", system);
    // Proof that each side measured what it claims.
    if (through != (hooked ? writes : 0)) throw std::runtime_error("writes did not take the expected route");
    return s;
  };
  bench::TComparison c = bench::Compare(run, [&] { return round(true); }, [&] { return round(false); });
  DeleteFileA(path.c_str());
  exclog::SetLoggerActive(false);
  bench::Emit(run, bench::RowOf("Hooked file writes",
                                std::to_string(writes) + " WriteFile calls of 16 bytes to a file, hook installed vs not",
                                bench::TUnit::Milliseconds, c, bench::TTarget::RatioAtMost(1.02)));
}
