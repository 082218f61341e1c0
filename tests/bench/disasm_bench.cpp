// Disassembly: a linear sweep of Velmora.exe's code section by TDisAsm, producing every
// line's text (our sweep as a process: this program's child), against objdump
// disassembling the same bytes in Intel syntax. Both write to /dev/null.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "exclog/debuginfo/EDisAsm.h"
#include "tests/bench/Bench.h"
#include "tests/peers/PeerTools.h"
#include "tools/qldata/QlDataTool.h"

namespace {

std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string ProgramPath() {
  if (const char* given = std::getenv("VELMORA_BENCH_PROGRAM")) return given;
  return VELMORA_BENCH_VELMORA_EXE;
}

// Sweeps `code`, handing each line to `sink`; returns the number of instructions.
template <class TSink>
size_t Sweep(const std::string& code, uint32_t base, TSink&& sink) {
  exclog::TDisAsm d;
  const auto* bytes = reinterpret_cast<const uint8_t*>(code.data());
  size_t count = 0;
  std::string text;
  for (size_t at = 0; at < code.size();) {
    uint32_t length = 0;
    d.Disassemble(bytes + at, code.size() - at, base + static_cast<uint32_t>(at), length, text);
    sink(base + static_cast<uint32_t>(at), text);
    at += length;
    ++count;
  }
  return count;
}

// objdump's instructions: its lines that carry an address and bytes.
size_t CountObjdumpLines(const std::string& listing) {
  std::ifstream in(listing);
  size_t n = 0;
  for (std::string line; std::getline(in, line);)
    if (line.find(":\t") != std::string::npos) ++n;
  return n;
}

}  // namespace

// args: CODE-FILE BASE. Writes the listing, one "address  text" line per instruction.
VELMORA_BENCHMARK_CHILD(disasm) {
  if (args.size() != 2) return 2;
  const std::string code = ReadWhole(args[0]);
  const uint32_t base = static_cast<uint32_t>(std::strtoul(args[1].c_str(), nullptr, 16));
  std::vector<char> buffer(1 << 16);
  std::setvbuf(stdout, buffer.data(), _IOFBF, buffer.size());
  Sweep(code, base, [](uint32_t address, const std::string& text) { std::printf("%.8X  %s\n", address, text.c_str()); });
  return 0;
}

VELMORA_BENCHMARK(disasm) {
  const std::string exe = ProgramPath();
  if (!std::filesystem::exists(exe)) throw std::runtime_error(exe + " is missing: build the Windows tree first");
  const qldata::TPeImage image(ReadWhole(exe));
  std::string code = image.SectionBytes(".text");
  if (code.empty()) throw std::runtime_error("no code section in " + exe);
  if (run.Quick) code.resize(std::min<size_t>(code.size(), 16 * 1024));
  if (!run.Quick) run.Rounds = 5;
  uint32_t base = image.ImageBase();
  for (const auto& s : image.Sections())
    if (s.Name == ".text") base += s.Rva;

  peers::TScratchDir scratch;
  const std::string codeFile = scratch / "text.bin";
  std::ofstream(codeFile, std::ios::binary).write(code.data(), static_cast<std::streamsize>(code.size()));
  char baseText[16];
  std::snprintf(baseText, sizeof baseText, "%X", base);
  const std::vector<std::string> objdump = {"objdump", "-D", "-b", "binary", "-m", "i386", "-M", "intel", codeFile};

  // The instruction counts, once, outside the timing.
  const size_t ours = Sweep(code, base, [](uint32_t, const std::string&) {});
  const std::string listing = scratch / "objdump.txt";
  bench::RunProcess(objdump, "", listing);
  const size_t theirs = CountObjdumpLines(listing);

  const bench::TComparison c = bench::Compare(
      run, [&] { return bench::RunChild(run, {codeFile, baseText}, "", "/dev/null"); },
      [&] { return bench::RunProcess(objdump, "", "/dev/null"); });
  const double oursRate = ours / c.Ours.Median, theirRate = theirs / c.Peer.Median;
  char compared[240];
  std::snprintf(compared, sizeof compared,
                "TDisAsm sweep with line texts vs objdump -M intel, %zu KB of Velmora.exe's code: "
                "%.2f vs %.2f M instructions/s, throughput %.2fx",
                code.size() / 1024, oursRate / 1e6, theirRate / 1e6, oursRate / theirRate);
  bench::Emit(run, bench::RowOf("Disassembly", compared, bench::TUnit::Milliseconds, c,
                                bench::TTarget::RatioAtMost(1.0)));
}
