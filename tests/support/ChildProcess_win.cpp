#include "tests/support/ChildProcess_win.h"

#include <string>

namespace velmora::test {

std::string OwnProgramPath() {
  char self[MAX_PATH + 1] = {};
  DWORD n = GetModuleFileNameA(nullptr, self, MAX_PATH);
  return std::string(self, n);
}

TChildProcess::TChildProcess(const std::string& commandLine, bool captureOutput) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  HANDLE writeEnd = nullptr;
  if (captureOutput) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    if (!CreatePipe(&readEnd_, &writeEnd, &inherit, 0)) return;
    SetHandleInformation(readEnd_, HANDLE_FLAG_INHERIT, 0);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
  }
  std::string command = commandLine;
  if (CreateProcessA(nullptr, command.data(), nullptr, nullptr, captureOutput, 0, nullptr, nullptr, &startup,
                     &info_)) {
    CloseHandle(info_.hThread);
    info_.hThread = nullptr;
  } else {
    info_ = {};
  }
  // Only the child may hold the write end, so reading ends when the child does.
  if (writeEnd) CloseHandle(writeEnd);
}

TChildProcess::~TChildProcess() {
  if (readEnd_) CloseHandle(readEnd_);
  if (info_.hProcess) {
    if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(info_.hProcess, 1);
    CloseHandle(info_.hProcess);
  }
}

bool TChildProcess::Ended(DWORD waitMs) const {
  return info_.hProcess && WaitForSingleObject(info_.hProcess, waitMs) == WAIT_OBJECT_0;
}

DWORD TChildProcess::ExitCode() const {
  DWORD code = STILL_ACTIVE;
  if (info_.hProcess) GetExitCodeProcess(info_.hProcess, &code);
  return code;
}

DWORD TChildProcess::Finish(DWORD waitMs) {
  if (readEnd_ && Started()) {
    // A hung child, or a process it started that inherited the pipe, must not hang
    // the test: the child gets its wait plus two minutes, then is ended, and the
    // output it wrote so far stays for the failure message.
    const DWORD start = GetTickCount(), limit = waitMs + 120000;
    DWORD quietSince = 0;
    char buffer[4096];
    for (;;) {
      DWORD available = 0;
      if (!PeekNamedPipe(readEnd_, nullptr, 0, nullptr, &available, nullptr)) break;  // every writer closed it
      if (available > 0) {
        DWORD got = 0;
        if (!ReadFile(readEnd_, buffer, sizeof buffer, &got, nullptr) || got == 0) break;
        output_.append(buffer, got);
        quietSince = 0;
        continue;
      }
      if (Ended(0)) {
        // Gone, but someone still holds the pipe: what it had to say is in.
        if (!quietSince) quietSince = GetTickCount();
        if (GetTickCount() - quietSince > 2000) break;
      } else if (GetTickCount() - start > limit) {
        output_ += "\n[the child still ran after " + std::to_string(limit) + " ms and was ended]\n";
        TerminateProcess(info_.hProcess, 0xDEAD);
        break;
      }
      Sleep(5);
    }
  }
  Ended(waitMs);
  return ExitCode();
}

}  // namespace velmora::test
