// A program that leaks on purpose, for the leak collector's end-to-end tests: it
// starts and stops its units like the host program and, by its first argument,
// leaks ("leaks"), frees a block twice ("double-free"), writes past a block's end
// ("overrun"), does nothing wrong ("clean") or prints the order in which the units
// will stop ("order"). Its logger data turns catching on. Each report prints the
// dialog flags it would show with. "leaks-upload PORT" leaks and has its reports
// uploaded to 127.0.0.1:PORT on a sending thread of their own; "leaks-terminate"
// leaks and answers the report's dialog with its terminate button.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "classlib/Memory.h"
#include "classlib/System.h"
#include "exclog/capture/EDispatch_win.h"
#include "exclog/capture/EEvents.h"
#include "exclog/capture/EEvents_win.h"
#include "exclog/core/EOptions.h"
#include "exclog/leaks/ELeakUnit_win.h"

namespace {

class TLeakTestObject : public TObject {
  VELMORA_CLASS(TLeakTestObject, TObject)
 public:
  int Value = 7;
};

// Kept here so that no allocation is optimised away.
void* volatile kept[8];

// A unit registered after the logger's: what it allocates at its start it frees at
// its stop, which runs before the collector looks.
void* unitBlock = nullptr;
void LateUnitStart() { unitBlock = GetMem(40); }
void LateUnitStop() {
  FreeMem(unitBlock);
  unitBlock = nullptr;
}

// Plain function pointers: the handlers allocate nothing that could show as a leak.
void PrintReport(const exclog::TQuelbaExceptionRecord& record, bool&) {
  std::printf("report %s dialog flags %u\n", record.ExceptionClass ? record.ExceptionClass : "?",
              static_cast<unsigned>(exclog::ReportOptions().DialogFlags()));
  std::fflush(stdout);
}

// Loop bounds the compiler cannot see, so each loop keeps one call site.
volatile int three = 3;

__attribute__((noinline)) void Leak() {
  for (int i = 0; i < three; ++i) kept[i] = new TLeakTestObject;  // leak: objects
  kept[3] = new std::string(100, 'x');  // leak: string
  for (int i = 0; i < three; ++i) kept[4 + i] = GetMem(16);  // leak: data
}

__attribute__((noinline)) void FreeTwice() {
  void* block = GetMem(24);
  FreeMem(block);
  FreeMem(block);  // second free
}

__attribute__((noinline)) void Overrun() {
  auto* block = static_cast<char*>(GetMem(24));
  std::memset(block, 0, 25);  // one byte past the end
  FreeMem(block);
}

// The units' stop routines as the table will run them, last slot first, named by
// the unit each belonged to before the start.
void PrintStopOrder(const std::vector<TUnitProc>& before) {
  std::string order = "stops:";
  TUnitTable* table = InitContext.Table;
  for (int slot = table->UnitCount - 1; slot >= 0; --slot) {
    TUnitProc stop = table->Units[slot].Fini;
    if (!stop) continue;
    for (size_t unit = 0; unit < before.size(); ++unit)
      if (before[unit] == stop) order += std::string(" ") + UnitName(static_cast<int>(unit));
  }
  std::printf("%s\n", order.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  RegisterUnit("LeakChildUnit", &LateUnitStart, &LateUnitStop);
  std::vector<TUnitProc> stops;
  for (int slot = 0; slot < InitContext.Table->UnitCount; ++slot) stops.push_back(InitContext.Table->Units[slot].Fini);
  InitUnits();
  exclog::GlobalEvents().ExceptionNotify = &PrintReport;
  exclog::GlobalEvents().HandledExceptionNotify = &PrintReport;
  const std::string mode = argc > 1 ? argv[1] : "clean";
  if (mode == "order") PrintStopOrder(stops);
  if (mode == "leaks-upload" && argc > 2) {
    exclog::TLeakOwnAllocations own;  // the options are the logger's, not the program's leak
    exclog::TQuelbaModuleOptions* options = exclog::CurrentQuelbaLogOptions();
    options->SetWebSendMode(1);
    options->SetWebUrl(std::string("http://127.0.0.1:") + argv[2] + "/upload");
    options->SetWebUrlPort(std::atoi(argv[2]));
    options->SetAskBeforeSending(0);
    options->SetProcessFlags(static_cast<uint16_t>(options->ProcessFlags() | 0x80));  // a sending thread
  }
  // The report's dialog answers with its terminate button.
  if (mode == "leaks-terminate")
    exclog::ReportHandlerSeams().ShowDialog = [](const exclog::TReportJob&, const std::string&) {
      return exclog::TDialogAnswer::Terminate;
    };
  if (mode == "leaks" || mode == "leaks-upload" || mode == "leaks-terminate") Leak();
  if (mode == "double-free") FreeTwice();
  if (mode == "overrun") Overrun();
  FinalizeUnits();
  std::printf("ended normally\n");
  return 0;
}
