// Address lookup: code addresses of Velmora.exe resolved to unit, routine and line
// through its logger data (our reader as a process: this program's child) against
// i686-w64-mingw32-addr2line -f resolving the same addresses in one batch. Both read
// the addresses from a file and write their answers to /dev/null.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "exclog/debuginfo/EDebug.h"
#include "tests/bench/Bench.h"
#include "tests/peers/PeerTools.h"
#include "tools/qldata/QlDataTool.h"

namespace {

// In one read: the program file is tens of megabytes while it carries its DWARF.
std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::string bytes(static_cast<size_t>(in.tellg()), '\0');
  in.seekg(0);
  if (!in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()))) throw std::runtime_error("cannot read " + path);
  return bytes;
}

// The program's logger data, read the way the logger reads it (names plain or
// enciphered without a pass phrase, as Velmora's settings have them).
struct TProgramData {
  uint32_t ImageBase = 0;
  std::unique_ptr<exclog::TQLDebugData> Debug;
};

TProgramData LoadProgramData(const std::string& exe) {
  qldata::TPeImage image(ReadWhole(exe));
  auto resource = image.RcData("QLDATA");
  if (!resource) throw std::runtime_error("no QLDATA resource in " + exe);
  auto content = exclog::ParseResourceData(reinterpret_cast<const uint8_t*>(resource->data()), resource->size());
  if (!content || !content->DebugBlock || !content->KeyCheck) throw std::runtime_error("unreadable QLDATA in " + exe);
  bool encrypted = exclog::KeyMatches(exclog::TQLCipher(""), *content->KeyCheck);
  TProgramData data;
  data.ImageBase = image.ImageBase();
  data.Debug = std::make_unique<exclog::TQLDebugData>(*content->DebugBlock, content->Version, encrypted, "");
  if (data.Debug->Units().empty()) throw std::runtime_error("no units in the logger data of " + exe);
  return data;
}

std::string ProgramPath() {
  if (const char* given = std::getenv("VELMORA_BENCH_PROGRAM")) return given;
  return VELMORA_BENCH_VELMORA_EXE;
}

}  // namespace

// args: EXE. Addresses (hex) on standard input, one answer line each on standard
// output. Fails when fewer than nine in ten addresses resolve.
VELMORA_BENCHMARK_CHILD(address_lookup) {
  if (args.size() != 1) return 2;
  TProgramData data = LoadProgramData(args[0]);
  size_t asked = 0, found = 0;
  char line[64];
  while (std::fgets(line, sizeof line, stdin)) {
    uint32_t address = static_cast<uint32_t>(std::strtoul(line, nullptr, 16));
    ++asked;
    auto location = data.Debug->FindLocation(address - data.ImageBase);
    if (!location) {
      std::printf("%08x ??\n", address);
      continue;
    }
    ++found;
    std::printf("%08x %s %s.%s %u\n", address, location->UnitName.c_str(), location->ClassName.c_str(),
                location->RoutineName.c_str(), location->Line);
  }
  return found * 10 >= asked * 9 ? 0 : 3;
}

VELMORA_BENCHMARK(address_lookup) {
  const std::string exe = ProgramPath();
  if (!std::filesystem::exists(exe))
    throw std::runtime_error(exe + " is missing: build the Windows tree first");
  // Addresses anywhere inside the code the logger data covers, spread by size.
  TProgramData data = LoadProgramData(exe);
  std::vector<uint64_t> ends;
  uint64_t total = 0;
  for (const auto& unit : data.Debug->Units()) ends.push_back(total += unit.Size);
  const size_t count = run.Quick ? 200 : 100000;
  peers::TScratchDir scratch;
  const std::string addresses = scratch / "addresses.txt";
  {
    std::ofstream out(addresses);
    uint32_t seed = 13;
    for (size_t i = 0; i < count; ++i) {
      seed = seed * 1664525u + 1013904223u;
      uint64_t pick = (static_cast<uint64_t>(seed) * total) >> 32;
      size_t u = std::upper_bound(ends.begin(), ends.end(), pick) - ends.begin();
      const auto& unit = data.Debug->Units()[u];
      uint64_t offset = unit.Start + (pick - (ends[u] - unit.Size));
      char text[16];
      std::snprintf(text, sizeof text, "%08llx\n", static_cast<unsigned long long>(data.ImageBase + offset));
      out << text;
    }
  }
  auto ours = [&] { return bench::RunChild(run, {exe}, addresses, "/dev/null"); };
  auto peer = [&] {
    return bench::RunProcess({"i686-w64-mingw32-addr2line", "-f", "-e", exe}, addresses, "/dev/null");
  };
  bench::TComparison c = bench::Compare(run, ours, peer);
  char compared[160];
  std::snprintf(compared, sizeof compared,
                "logger data lookup vs i686-w64-mingw32-addr2line -f, %zu addresses, one process each", count);
  bench::Emit(run, bench::RowOf("Address lookup", compared, bench::TUnit::Milliseconds, c,
                                bench::TTarget::RatioAtMost(1.0)));
}
