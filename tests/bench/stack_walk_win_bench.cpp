// Call-stack walks: 20 threads parked about 40 calls deep in chains through this
// program and the walker tests' library (its copy with a map file), each walked
// from this thread (suspend, context, raw scan with every entry located, resume),
// against i686-w64-mingw32-addr2line resolving the same addresses in one batch per
// module (timed inside the host command, so the polling of the host bridge is not
// counted), and against a plain frame-pointer walk of the same threads for scale.
#include <windows.h>

#include <cstdio>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "exclog/core/ECore_win.h"
#include "exclog/debuginfo/EModules_win.h"
#include "exclog/debuginfo/EStackWalk_win.h"
#include "tests/bench/Bench.h"
#include "tests/support/GuiProbe_win.h"

namespace {

using TChainProc = int (*)(int depth, int (*callback)(void*), void* argument);

struct TParked {
  HANDLE Parked = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE Release = nullptr;
  TChainProc Chain = nullptr;
  HANDLE Thread = nullptr;
  uint32_t StackTop = 0;
};

__attribute__((noinline)) int BenchParkHere(void* argument) {
  auto* parked = static_cast<TParked*>(argument);
  SetEvent(parked->Parked);
  WaitForSingleObject(parked->Release, INFINITE);
  return 1;
}

__attribute__((noinline)) int BenchChainRoot(TParked* parked) {
  volatile int keep = 1;
  return parked->Chain(38, &BenchParkHere, parked) + keep;
}

DWORD WINAPI BenchThread(void* argument) {
  volatile int keep = 1;
  return static_cast<DWORD>(BenchChainRoot(static_cast<TParked*>(argument)) + keep);
}

// The file's image base (addr2line counts from it).
uint32_t FileImageBase(HMODULE module) {
  char path[MAX_PATH + 1] = {};
  GetModuleFileNameA(module, path, MAX_PATH);
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  char header[1024] = {};
  DWORD read = 0;
  ReadFile(file, header, sizeof header, &read, nullptr);
  CloseHandle(file);
  uint32_t nt = *reinterpret_cast<uint32_t*>(header + 60);
  if (nt + 56 > sizeof header) throw std::runtime_error("odd image header");
  return *reinterpret_cast<uint32_t*>(header + nt + 24 + 28);
}

std::string UnixPath(HMODULE module) {
  char path[MAX_PATH + 1] = {};
  GetModuleFileNameA(module, path, MAX_PATH);
  std::string p = path;
  if (p.size() > 2 && p[1] == ':') p = p.substr(2);
  for (char& c : p)
    if (c == '\\') c = '/';
  return p;
}

// Frame-pointer walk: return addresses above each saved frame pointer.
size_t FramePointerWalk(HANDLE thread, uint32_t stackTop) {
  size_t found = 0;
  if (SuspendThread(thread) == static_cast<DWORD>(-1)) return 0;
  CONTEXT context{};
  context.ContextFlags = CONTEXT_CONTROL;
  if (GetThreadContext(thread, &context)) {
    uint32_t ebp = context.Ebp, frame[2];
    while (ebp && ebp < stackTop && found < 1024 && exclog::ProcessMemory().Read(ebp, frame, 8)) {
      ++found;
      if (frame[0] <= ebp) break;
      ebp = frame[0];
    }
  }
  ResumeThread(thread);
  return found;
}

}  // namespace

VELMORA_BENCHMARK(stack_walk) {
  exclog::ModuleInfoSeams().BuildExportList = &exclog::BuildOwnExportList;
  exclog::ModuleInfoSeams().CreateDebugSource = &exclog::CreateOutsideDebugSource;
  exclog::ModuleListSeams().FreeDebugSource = &exclog::FreeOutsideDebugSource;
  HMODULE library = LoadLibraryA(bench::HostPath(VELMORA_BENCH_WALK_DLL).c_str());
  if (!library) throw std::runtime_error(std::string(VELMORA_BENCH_WALK_DLL) + " did not load");
  auto chain = reinterpret_cast<TChainProc>(reinterpret_cast<void*>(GetProcAddress(library, "WalkDllChain")));
  const int threads = run.Quick ? 3 : 20;
  HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::vector<std::unique_ptr<TParked>> parked;
  for (int i = 0; i < threads; ++i) {
    auto p = std::make_unique<TParked>();
    p->Release = release;
    p->Chain = chain;
    p->Thread = CreateThread(nullptr, 0, &BenchThread, p.get(), 0, nullptr);
    if (WaitForSingleObject(p->Parked, 10000) != WAIT_OBJECT_0) throw std::runtime_error("a thread did not park");
    parked.push_back(std::move(p));
  }
  exclog::TWalkOptions options;
  options.Accepted = exclog::KindBit(1) | exclog::KindBit(2) | exclog::KindBit(3) | exclog::KindBit(4);

  // The addresses every walk locates, per module, for the peer's batches.
  std::map<HMODULE, std::vector<uint32_t>> byModule;
  size_t entries = 0, lines = 0;
  for (const auto& p : parked) {
    auto list = exclog::WalkThread(p->Thread, options);
    if (!list) throw std::runtime_error("a walk failed");
    for (int i = 0; i < list->Count(); ++i) {
      const exclog::TQuelbaLocation* e = list->Get(i);
      ++entries;
      lines += e->Line != 0;
      HMODULE module = e->Module ? reinterpret_cast<HMODULE>(e->Module->Handle) : nullptr;
      if (module == library || module == GetModuleHandleA(nullptr))
        byModule[module].push_back(e->Address - static_cast<uint32_t>(e->Module->Handle));
    }
  }
  if (lines < static_cast<size_t>(threads) * 30) throw std::runtime_error("the walks found too few lines");
  for (const auto& p : parked) {
    exclog::TThreadPosition position;
    if (!exclog::ReadThreadPosition(p->Thread, position)) throw std::runtime_error("no thread position");
    p->StackTop = position.StackTop;
  }

  auto ours = [&] {
    return bench::TimeInProcess([&] {
      for (const auto& p : parked)
        if (!exclog::WalkThread(p->Thread, options)) throw std::runtime_error("a walk failed");
    });
  };
  auto addr2line = [&] {
    std::ostringstream command;
    command << "start=$(date +%s%N);";
    for (const auto& [module, offsets] : byModule) {
      command << " i686-w64-mingw32-addr2line -f -e '" << UnixPath(module) << "'" << std::hex;
      uint32_t base = FileImageBase(module);
      for (uint32_t offset : offsets) command << " 0x" << base + offset;
      command << std::dec << " > /dev/null;";
    }
    command << " echo $(( $(date +%s%N) - start ))";
    auto out = velmora::test::RunHostCommand(command.str(), 120000);
    if (!out || out->empty()) throw std::runtime_error("addr2line did not answer");
    bench::TSample s;
    s.Seconds = std::stod(*out) / 1e9;
    return s;
  };
  auto frames = [&] {
    return bench::TimeInProcess([&] {
      for (const auto& p : parked) FramePointerWalk(p->Thread, p->StackTop);
    });
  };
  bench::TComparison c = bench::Compare(run, ours, addr2line);
  char compared[200];
  std::snprintf(compared, sizeof compared,
                "%d threads ~40 calls deep, %zu entries located; vs addr2line -f, one batch per module", threads, entries);
  bench::Emit(run, bench::RowOf("Stack walks with lookup", compared, bench::TUnit::Milliseconds, c,
                                bench::TTarget::RatioAtMost(1.0)));
  bench::TComparison scale = bench::Compare(run, ours, frames);
  bench::Emit(run, bench::RowOf("Stack walks with lookup", "same walks vs a plain frame-pointer walk (for scale)",
                                bench::TUnit::Milliseconds, scale, bench::TTarget::None()));
  SetEvent(release);
  for (const auto& p : parked) {
    WaitForSingleObject(p->Thread, 10000);
    CloseHandle(p->Thread);
    CloseHandle(p->Parked);
  }
  CloseHandle(release);
}
