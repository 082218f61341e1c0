#pragma once
// The logger's side of the leak collector. At start-up it hands the collector the
// leak intake, the leak report and the overrun and double-free reports. The
// collector stops after every other unit: then the report brings back what it
// needs ("SysUtils", "Classes", the logger's state), turns the leaks into one
// handled EMemoryLeak report with one call-stack block per leak, and takes it all
// down again.
#include <cstdint>
#include <memory>
#include <string>

namespace exclog {

class TQuelbaStackList;

// Fills the collector's seam and keeps "Classes"' stop routine. The installer calls
// it while the collector catches, before the stop column is reordered.
void InstallLeakReportSeam();

// The finaliser's part: the program's options go to the leak file, from which the
// leak report reads them back; the collector's last step deletes it.
void SaveLeakTimeOptions();
std::string LeakOptionsFileName();

// The leak list of the leak report being dispatched (the main handler reports it
// instead of a thread's stack); null outside that report.
std::shared_ptr<TQuelbaStackList> LeakReportStacks();

// The totals the intake counted for the last leak report: bytes and blocks.
struct TLeakTotals {
  uint64_t Bytes = 0;
  uint32_t Blocks = 0;
  int Reported = 0;  // leak reports dispatched since the start
};
TLeakTotals LeakReportTotals();

}  // namespace exclog
