// The whole report text: 20 extra threads parked a few calls deep, copies of the
// walker tests' library loaded under distinct names until the modules list holds
// about 100, then each round walks every stack (the raising thread's from its
// captured context, the parked ones suspended, their stack tops known as the
// logger's thread records know them), takes the snapshot (every system value,
// every section on) and builds the text. For scale, a bare walk of the
// raising thread's stack.
#include <windows.h>

#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "exclog/core/EOptions.h"
#include "exclog/debuginfo/EModules_win.h"
#include "exclog/debuginfo/EStackWalk_win.h"
#include "exclog/report/EReportText_win.h"
#include "tests/bench/Bench.h"

namespace {

struct TParkedThread {
  HANDLE Parked = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE Release = nullptr;
  HANDLE Thread = nullptr;
  uint32_t StackTop = 0;  // as the logger's thread record keeps it
};

__attribute__((noinline)) int ParkDeeper(TParkedThread* p, int depth) {
  volatile int keep = depth;
  if (depth > 0) return ParkDeeper(p, depth - 1) + keep;
  SetEvent(p->Parked);
  WaitForSingleObject(p->Release, INFINITE);
  return keep;
}

DWORD WINAPI ParkedThread(void* argument) {
  return static_cast<DWORD>(ParkDeeper(static_cast<TParkedThread*>(argument), 6));
}

// The stacks of a report: the raising thread's from `context`, then each parked one.
std::shared_ptr<exclog::TQuelbaStackList> CollectStacks(const CONTEXT& context, uint32_t stackTop,
                                                        const std::vector<std::unique_ptr<TParkedThread>>& parked) {
  exclog::TWalkOptions options;
  options.Accepted = exclog::KindBit(2) | exclog::KindBit(3) | exclog::KindBit(4);
  options.ThreadKind = 1;
  options.ThreadId = GetCurrentThreadId();
  auto stacks = std::make_shared<exclog::TQuelbaStackList>();
  auto own = exclog::BuildStackList(context.Eip, context.Esp, stackTop, options);
  while (own && own->Count() > 0) stacks->Add(static_cast<exclog::TQuelbaLocation*>(own->Extract(own->Get(0))));
  for (const auto& p : parked) {
    options.MarkFirst = false;
    options.ThreadId = GetThreadId(p->Thread);
    auto list = exclog::WalkThread(p->Thread, options, p->StackTop);
    while (list && list->Count() > 0) stacks->Add(static_cast<exclog::TQuelbaLocation*>(list->Extract(list->Get(0))));
  }
  return stacks;
}

}  // namespace

VELMORA_BENCHMARK(report_text) {
  exclog::ModuleInfoSeams().BuildExportList = &exclog::BuildOwnExportList;
  exclog::ModuleInfoSeams().CreateDebugSource = &exclog::CreateOutsideDebugSource;
  exclog::ModuleListSeams().FreeDebugSource = &exclog::FreeOutsideDebugSource;
  exclog::SetReportMainThreadId(GetCurrentThreadId());
  const int threads = run.Quick ? 3 : 20;
  const int wantedModules = run.Quick ? 30 : 100;

  // Copies of a small library under distinct names.
  std::string library = bench::HostPath(VELMORA_BENCH_WALK_DLL);
  char temp[MAX_PATH + 1] = {};
  GetTempPathA(MAX_PATH, temp);
  std::vector<std::string> copies;
  exclog::RefreshModules();
  for (int i = 0; exclog::ModulesList().Count() < wantedModules && i < 200; ++i) {
    std::string copy = std::string(temp) + "velmora_report_bench_" + std::to_string(i) + ".dll";
    if (!CopyFileA(library.c_str(), copy.c_str(), FALSE)) throw std::runtime_error("cannot copy " + library);
    if (!LoadLibraryA(copy.c_str())) throw std::runtime_error(copy + " did not load");
    copies.push_back(copy);
    exclog::RefreshModules();
  }
  int modules = exclog::ModulesList().Count();

  HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::vector<std::unique_ptr<TParkedThread>> parked;
  for (int i = 0; i < threads; ++i) {
    auto p = std::make_unique<TParkedThread>();
    p->Release = release;
    p->Thread = CreateThread(nullptr, 0, &ParkedThread, p.get(), 0, nullptr);
    if (WaitForSingleObject(p->Parked, 10000) != WAIT_OBJECT_0) throw std::runtime_error("a thread did not park");
    p->StackTop = exclog::StackTopOfThread(GetThreadId(p->Thread));
    parked.push_back(std::move(p));
  }

  CONTEXT context{};
  context.ContextFlags = CONTEXT_FULL;
  RtlCaptureContext(&context);
  uint32_t stackTop = exclog::StackTopOfThread(GetCurrentThreadId());
  exclog::TQuelbaModuleOptions options;
  options.SetLogFlags(0x30);
  options.SetStackDetailFlags(3);
  exclog::TReportFields all;
  all.fill(0xFF);
  options.SetReportFields(all);

  size_t reportSize = 0;
  auto report = [&] {
    return bench::TimeInProcess([&] {
      exclog::TReportJob job;
      job.Exception.Address = context.Eip;
      job.Context = &context;
      job.StackId = 1;
      job.Stacks = CollectStacks(context, stackTop, parked);
      reportSize = exclog::BuildProcessReport(job, options, true).size();
    });
  };
  auto bareWalk = [&] {
    return bench::TimeInProcess([&] {
      exclog::TWalkOptions walk;
      walk.Accepted = exclog::KindBit(2) | exclog::KindBit(3) | exclog::KindBit(4);
      exclog::BuildStackList(context.Eip, context.Esp, stackTop, walk);
    });
  };
  bench::TBenchRun rounds = run;
  if (!run.Quick) rounds.Rounds = 21;
  bench::TComparison c = bench::Compare(rounds, report, bareWalk);
  char compared[200];
  std::snprintf(compared, sizeof compared, "%d parked threads, %d modules, %zu-byte report; vs a bare walk of the raising thread",
                threads, modules, reportSize);
  bench::Emit(run, bench::RowOf("Whole report text", compared, bench::TUnit::Milliseconds, c, bench::TTarget::None()));
  bench::Emit(run, bench::RowOf("Whole report text", "median of the same rounds (target 40 ms under Wine)",
                                bench::TUnit::Milliseconds, c.Ours, bench::TTarget::OursAtMost(40)));

  SetEvent(release);
  for (const auto& p : parked) {
    WaitForSingleObject(p->Thread, 10000);
    CloseHandle(p->Thread);
    CloseHandle(p->Parked);
  }
  CloseHandle(release);
  for (const std::string& copy : copies) {
    HMODULE loaded = GetModuleHandleA(copy.c_str());
    if (loaded) FreeLibrary(loaded);
    DeleteFileA(copy.c_str());
  }
}
