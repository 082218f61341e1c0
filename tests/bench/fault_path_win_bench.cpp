// One fault's whole path in a program of its own: a thread's access violation, the
// logger's report and the text log's entry on disk, timed inside the program from
// just before the fault to the log having grown. Each round is a fresh program, so
// every figure is a program's first fault (start-up is not counted).
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

#include "tests/bench/Bench.h"

namespace {

// Runs the program once with its output in `outputPath`; the time it printed.
double RunOnce(const std::string& program, const std::string& outputPath) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE output = CreateFileA(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (output == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot write " + outputPath);
  STARTUPINFOA start{};
  start.cb = sizeof start;
  start.dwFlags = STARTF_USESTDHANDLES;
  start.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  start.hStdOutput = output;
  start.hStdError = output;
  PROCESS_INFORMATION process{};
  std::string command = "\"" + program + "\"";
  const BOOL started = CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &start,
                                      &process);
  CloseHandle(output);
  if (!started) throw std::runtime_error("cannot start " + program);
  const bool ended = WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0;
  DWORD code = 1;
  GetExitCodeProcess(process.hProcess, &code);
  if (!ended) TerminateProcess(process.hProcess, 1);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  std::ifstream in(outputPath, std::ios::binary);
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  const size_t at = text.find("@fault-path-ms ");
  double ms = 0;
  if (!ended || code != 0 || at == std::string::npos || std::sscanf(text.c_str() + at + 15, "%lf", &ms) != 1)
    throw std::runtime_error("the fault program failed (exit " + std::to_string(code) + "): " + text.substr(0, 400));
  return ms / 1000.0;
}

}  // namespace

VELMORA_BENCHMARK(fault_path) {
  const std::string program = bench::HostPath(VELMORA_BENCH_FAULT_PROGRAM);
  const std::string output = bench::ScratchPath("fault_path.txt");
  bench::TStats stats = bench::Measure(run, [&] { return bench::TSample{RunOnce(program, output), 0}; });
  DeleteFileA(output.c_str());
  bench::Emit(run, bench::RowOf("Fault to the text log on disk",
                                "a program of its own: a thread's access violation until its entry is in the log",
                                bench::TUnit::Milliseconds, stats, bench::TTarget::OursAtMost(100)));
}
