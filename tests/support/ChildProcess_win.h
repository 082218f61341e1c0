#pragma once
// Child processes of test programs: this program run again in another mode, or
// another program, with its exit code and (on request) its output.
#include <windows.h>

#include <string>

namespace velmora::test {

// The running program's own path (for "run me again as ...").
std::string OwnProgramPath();

// A started child; ended by the destructor when it still runs.
class TChildProcess {
 public:
  // `captureOutput`: its standard output and error go (merged) to a pipe that
  // Finish reads; it inherits handles then. Otherwise it inherits none.
  explicit TChildProcess(const std::string& commandLine, bool captureOutput = false);
  ~TChildProcess();
  TChildProcess(const TChildProcess&) = delete;
  TChildProcess& operator=(const TChildProcess&) = delete;

  bool Started() const { return info_.hProcess != nullptr; }
  DWORD Id() const { return info_.dwProcessId; }
  bool Ended(DWORD waitMs) const;
  // STILL_ACTIVE while it runs.
  DWORD ExitCode() const;
  // Reads the captured output until the child closes it, waits up to `waitMs` for
  // the end and returns the exit code. A child still running `waitMs` plus two
  // minutes into the reading is ended, and its output says so.
  DWORD Finish(DWORD waitMs);
  const std::string& Output() const { return output_; }

 private:
  PROCESS_INFORMATION info_ = {};
  HANDLE readEnd_ = nullptr;
  std::string output_;
};

}  // namespace velmora::test
