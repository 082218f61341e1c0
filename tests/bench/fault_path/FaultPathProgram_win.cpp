// A program of its own with the logger, for the benchmarks: one thread faults, the
// logger reports it (a console program: no dialog) and the report's entry reaches the
// text log on disk. Prints the milliseconds from just before the fault to the log
// having grown, or fails when the entry never comes.
#include <windows.h>

#include <cstdio>

#include "classlib/System.h"
#include "exclog/capture/EDispatch_win.h"
#include "exclog/report/EReportFiles_win.h"

namespace {

DWORD WINAPI Faulty(LPVOID) {
  *reinterpret_cast<volatile int*>(0x10) = 1;  // an access violation
  return 0;
}

// The log's size; 0 when it is not there yet.
unsigned long long LogSize(const std::string& name) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(name.c_str(), GetFileExInfoStandard, &data)) return 0;
  return (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

}  // namespace

int main() {
  InitUnits();
  const std::string log = exclog::ProcessLogFileName(exclog::ReportOptions());
  DeleteFileA(log.c_str());  // each run times a first entry
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  HANDLE thread = CreateThread(nullptr, 0, &Faulty, nullptr, 0, nullptr);
  // The faulting thread returns only when the whole report has ended (the
  // screenshot's file and the later steps come after the log), so the log is
  // watched while the report runs. The log is replaced whole, so any size means
  // the entry is there.
  const DWORD deadline = GetTickCount() + 30000;
  while (LogSize(log) == 0 && GetTickCount() < deadline) Sleep(1);
  QueryPerformanceCounter(&end);
  const bool logged = LogSize(log) != 0;
  WaitForSingleObject(thread, 30000);
  CloseHandle(thread);
  FinalizeUnits();
  if (!logged) {
    std::fprintf(stderr, "no log entry in %s\n", log.c_str());
    return 1;
  }
  std::printf("@fault-path-ms %.3f\n",
              1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart));
  return 0;
}
