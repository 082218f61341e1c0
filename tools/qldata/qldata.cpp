// The logger-data generator of the build.
//
//   qldata generate EXE SETTINGS OUT [SOURCE_ROOT]
//       reads EXE with nm and objdump, writes the "QLDATA" resource bytes to OUT
//   qldata verify EXE [SETTINGS [SOURCE_ROOT [DEBUG_FILE]]]
//       checks EXE's resource against addr2line: every packed line, and every
//       instruction of the packed units through the reader's lookup (the line of
//       the routine's own frame, inlined code included); addr2line
//       reads DEBUG_FILE when EXE's debug data was split off into it
//   qldata compare FIRST SECOND
//       fails when the code and data sections of two links differ
//   qldata link FIRST -- LINK COMMAND...
//       runs the second link, then compares its output (after "-o") with FIRST;
//       on a difference the output is removed so the link runs again next time
//
// The binutils are found as i686-w64-mingw32-{nm,objdump,addr2line}, or through
// QLDATA_BINUTILS_PREFIX.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "exclog/debuginfo/EDebug.h"
#include "exclog/debuginfo/EOutsideWriter.h"
#include "tools/qldata/QlDataTool.h"

namespace {

std::string Prefix() {
  const char* p = std::getenv("QLDATA_BINUTILS_PREFIX");
  return p ? p : "i686-w64-mingw32-";
}

std::string Quote(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

// Runs a shell command and returns its standard output; throws when it fails.
std::string Run(const std::string& command) {
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) throw std::runtime_error("cannot run " + command);
  std::string out;
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
  int status = ::pclose(pipe);
  if (status != 0) throw std::runtime_error("failed: " + command);
  return out;
}

// A scratch file removed when the object goes.
class TTempFile {
 public:
  TTempFile() {
    char name[] = "/tmp/qldata-XXXXXX";
    int fd = ::mkstemp(name);
    if (fd < 0) throw std::runtime_error("no temporary file");
    ::close(fd);
    path_ = name;
  }
  ~TTempFile() { std::remove(path_.c_str()); }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

struct TAddr2LineAnswer {
  std::vector<std::pair<std::string, std::string>> Frames;  // function, file:line; innermost first
};

// addr2line -a -f [-i] -C over many addresses in one run.
std::vector<TAddr2LineAnswer> Addr2Line(const std::string& exe, const std::vector<uint32_t>& addresses,
                                        bool inlines) {
  TTempFile list;
  {
    std::ofstream out(list.Path());
    for (uint32_t a : addresses) out << std::hex << "0x" << a << "\n";
  }
  std::string text = Run(Prefix() + "addr2line -a -f -C " + (inlines ? "-i " : "") + "-e " + Quote(exe) +
                         " < " + Quote(list.Path()));
  std::vector<TAddr2LineAnswer> answers;
  std::istringstream in(text);
  std::string line;
  std::vector<std::string> pending;
  auto flush = [&]() {
    if (pending.empty()) return;
    TAddr2LineAnswer a;
    for (size_t i = 0; i + 1 < pending.size(); i += 2) a.Frames.emplace_back(pending[i], pending[i + 1]);
    answers.push_back(std::move(a));
    pending.clear();
  };
  bool started = false;
  while (std::getline(in, line)) {
    if (line.rfind("0x", 0) == 0 && line.find(':') == std::string::npos) {
      if (started) flush();
      started = true;
      continue;
    }
    pending.push_back(line);
  }
  if (started) flush();
  if (answers.size() != addresses.size()) throw std::runtime_error("addr2line answered a different count");
  return answers;
}

std::pair<std::string, uint32_t> FileAndLine(const std::string& text) {
  std::string s = text.substr(0, text.find(" (discriminator"));
  size_t colon = s.rfind(':');
  if (colon == std::string::npos) return {s, 0};
  std::string file = s.substr(0, colon);
  size_t slash = file.find_last_of("/\\");
  if (slash != std::string::npos) file = file.substr(slash + 1);
  std::string number = s.substr(colon + 1);
  uint32_t line = number.find_first_not_of("0123456789") == std::string::npos && !number.empty()
                      ? static_cast<uint32_t>(std::stoul(number))
                      : 0;
  return {file, line};
}

// The address of every instruction of the code section (objdump's listing).
std::vector<uint32_t> InstructionAddresses(const std::string& exe, uint32_t base) {
  std::string listing = Run(Prefix() + "objdump -d --no-show-raw-insn -j .text " + Quote(exe));
  std::vector<uint32_t> addresses;
  std::istringstream in(listing);
  std::string line;
  while (std::getline(in, line)) {
    size_t colon = line.find(":\t");
    if (colon == std::string::npos || line.empty() || line[0] != ' ') continue;
    uint32_t a = static_cast<uint32_t>(std::strtoul(line.substr(0, colon).c_str(), nullptr, 16));
    if (a >= base) addresses.push_back(a);
  }
  return addresses;
}

// The linked module's routines and lines (nm, objdump), grouped into units.
std::vector<exclog::TQLUnitEntry> UnitsOf(const std::string& exe, const qldata::TPeImage& image,
                                          const std::string& sourceRoot) {
  auto base = qldata::ParseImageBase(Run(Prefix() + "objdump -p " + Quote(exe)));
  if (!base || *base != image.ImageBase()) throw std::runtime_error("image base unclear");
  qldata::TBuildInput input;
  input.Symbols = qldata::ParseNm(Run(Prefix() + "nm -n --defined-only " + Quote(exe)));
  input.Rows = qldata::ParseDecodedLines(Run(Prefix() + "objdump --dwarf=decodedline -w " + Quote(exe)));
  input.Image = &image;
  input.SourceRoot = sourceRoot;
  if (image.EntryPoint()) input.EntryAddress = *base + image.EntryPoint();
  input.Instructions = InstructionAddresses(exe, *base);
  // The line of each routine's own frame, where inlined code stands, as addr2line
  // reads the inlining records: its outermost frame.
  input.OuterLines = [&exe](const std::vector<uint32_t>& addresses) {
    std::vector<qldata::TOuterLine> lines;
    for (const TAddr2LineAnswer& answer : Addr2Line(exe, addresses, true)) {
      auto [file, line] =
          answer.Frames.empty() ? std::pair<std::string, uint32_t>() : FileAndLine(answer.Frames.back().second);
      lines.push_back({file, line});
    }
    return lines;
  };
  return qldata::BuildUnits(input);
}

int Generate(const std::string& exe, const std::string& settingsPath, const std::string& out,
             const std::string& sourceRoot) {
  qldata::TSettings settings = qldata::ParseSettings(ReadFile(settingsPath));
  qldata::TPeImage image(ReadFile(exe));
  auto units = UnitsOf(exe, image, sourceRoot);

  exclog::TQLDataImage data;
  data.OptionsByte = settings.OptionsByte;
  data.MainModuleByte = settings.MainModuleByte;
  data.OptionsStream = qldata::OptionsStreamFor(settings);
  exclog::TQLCipher cipher(settings.PassPhrase.value_or(""));
  data.DebugBlock = exclog::WriteDebugBlock(units, settings.PassPhrase ? &cipher : nullptr);
  data.PassPhrase = settings.PassPhrase;
  WriteFile(out, exclog::WriteResourceData(data));
  size_t routines = 0;
  for (const auto& u : units) routines += u.Routines.size();
  std::cout << "qldata: " << units.size() << " units, " << routines << " routines"
            << (settings.PassPhrase ? ", names enciphered" : "") << "\n";
  return 0;
}

// Outside debug information for a module without logger data: a map file and the
// binary debug data without and with its checksum.
int Outside(const std::string& module, const std::string& mapOut, const std::string& binaryOut,
            const std::string& summedOut, const std::string& tdsOut, const std::string& td32ImageOut,
            const std::string& sourceRoot) {
  qldata::TPeImage image(ReadFile(module));
  auto units = UnitsOf(module, image, sourceRoot);
  const qldata::TPeImage::TSection* code = nullptr;
  for (const auto& section : image.Sections())
    if (section.Name == ".text") code = &section;
  if (!code) throw std::runtime_error("no .text section in " + module);
  WriteFile(mapOut, exclog::WriteMapFile(units, code->Rva, code->VirtualSize));
  WriteFile(binaryOut, exclog::WriteBinaryDebugData(units, code->Rva, false));
  WriteFile(summedOut, exclog::WriteBinaryDebugData(units, code->Rva, true));
  std::string td32 = exclog::WriteTD32Data(units, code->Rva);
  WriteFile(tdsOut, td32);
  WriteFile(td32ImageOut, qldata::AddDebugSection(ReadFile(module), td32, ".td32"));
  std::cout << "qldata: outside debug information, " << units.size() << " units\n";
  return 0;
}

int Verify(const std::string& exe, const std::string& settingsPath, const std::string& sourceRoot,
           const std::string& debugFile) {
  const std::string& dwarf = debugFile.empty() ? exe : debugFile;
  // A split program carries no DWARF of its own: only the debug link to the file.
  if (!debugFile.empty() && Run(Prefix() + "objdump -h " + Quote(exe)).find(".debug_") != std::string::npos)
    throw std::runtime_error(exe + " still carries debug sections");
  qldata::TPeImage image(ReadFile(exe));
  auto resource = image.RcData("QLDATA");
  if (!resource) throw std::runtime_error("no QLDATA resource in " + exe);
  auto content = exclog::ParseResourceData(reinterpret_cast<const uint8_t*>(resource->data()), resource->size());
  if (!content || !content->DebugBlock || !content->KeyCheck) throw std::runtime_error("unreadable QLDATA");
  std::string phrase;
  if (!settingsPath.empty()) phrase = qldata::ParseSettings(ReadFile(settingsPath)).PassPhrase.value_or("");
  bool encrypted = exclog::KeyMatches(exclog::TQLCipher(phrase), *content->KeyCheck);
  if (!phrase.empty() && !encrypted) throw std::runtime_error("names are not enciphered with the pass phrase");
  exclog::TQLDebugData debug(*content->DebugBlock, content->Version, encrypted, phrase);
  const uint32_t base = image.ImageBase();
  if (debug.Units().empty()) throw std::runtime_error("no units packed");

  // 1. Every packed line as addr2line gives it for the routine's own frame (the
  // outermost where inlined code stands).
  auto rows = debug.Rows();
  std::vector<uint32_t> addresses;
  for (const auto& r : rows) addresses.push_back(base + r.Offset);
  auto answers = Addr2Line(dwarf, addresses, true);
  size_t noLine = 0;
  size_t failures = 0;
  std::map<std::string, size_t> byKind;
  // The first few of each kind tell more than a long run of one.
  auto fail = [&](const std::string& kind, const std::string& what) {
    ++failures;
    if (++byKind[kind] <= (std::getenv("QLDATA_VERBOSE") ? 1000000u : 10u)) std::cerr << "qldata verify: " << kind << " " << what << "\n";
  };
  for (size_t i = 0; i < rows.size(); ++i) {
    const auto& unit = debug.Units()[rows[i].Unit];
    if (answers[i].Frames.empty()) throw std::runtime_error("addr2line gave no frame");
    const std::string& answer = answers[i].Frames.back().second;
    auto [file, line] = FileAndLine(answer);
    // "name:?": addr2line took the address for another unit's, without a line
    // (an overlapping range in a run-time library's debug data). Counted apart.
    if (answer.size() > 2 && answer.compare(answer.size() - 2, 2, ":?") == 0 && rows[i].Line != 0) {
      ++noLine;
      continue;
    }
    if (file != unit.SourceFile || line != rows[i].Line) {
      std::ostringstream m;
      m << std::hex << "0x" << addresses[i] << std::dec << ": packed " << unit.SourceFile << ":" << rows[i].Line
        << ", addr2line " << answer;
      fail("packed line", m.str());
    }
  }

  // 2. Every instruction of the packed units through our lookup.
  std::vector<uint32_t> instructions;
  for (uint32_t a : InstructionAddresses(exe, base)) {
    uint32_t offset = a - base;
    for (const auto& u : debug.Units())
      if (offset >= u.Start && offset - u.Start < u.Size) {
        instructions.push_back(a);
        break;
      }
  }
  auto outer = Addr2Line(dwarf, instructions, true);
  size_t inlined = 0, unnamed = 0, elsewhere = 0;
  for (size_t i = 0; i < instructions.size(); ++i) {
    auto found = debug.FindLocation(instructions[i] - base);
    std::ostringstream where;
    where << std::hex << "0x" << instructions[i] << std::dec;
    if (!found) {
      fail("lookup", where.str() + ": no location");
      continue;
    }
    const auto& frames = outer[i].Frames;
    std::string ours = found->ClassName.empty() ? found->RoutineName : found->ClassName + "::" + found->RoutineName;
    std::string theirs = frames.back().first;
    auto [file, lineNo] = FileAndLine(frames.back().second);
    if (theirs == "??") {
      // No routine in the debug information covers it, so no record of inlining
      // either: the line is checked where it is one of the unit's own.
      ++unnamed;
      if (file != found->SourceFile) continue;
    } else if (!qldata::SameRoutine(found->ClassName, found->RoutineName, theirs))
      fail("routine", where.str() + ": " + ours + ", addr2line " + theirs);
    // The routine's own frame is the outermost; inlined code included. Where even
    // that frame stands in another file (a static initialiser's header lines, an
    // implicit call placed in a header), no line of the unit can match it.
    if (frames.size() > 1) ++inlined;
    if (file != found->SourceFile) {
      ++elsewhere;
      continue;
    }
    if (lineNo != found->Line)
      fail("line", where.str() + ": " + found->SourceFile + ":" + std::to_string(found->Line) + ", addr2line " +
                       frames.back().second);
  }
  for (const auto& [kind, count] : byKind) std::cerr << "qldata verify: " << count << " " << kind << " differences\n";
  std::cout << "qldata verify: " << debug.Units().size() << " units, " << rows.size() << " lines ("
            << noLine << " without a line in addr2line's answer), "
            << instructions.size() << " instructions (" << inlined
            << " inside inlined code; " << elsewhere << " whose own frame stands in another file; " << unnamed
            << " without a routine in addr2line's answer: line checked), " << failures << " differences\n";
  return failures == 0 ? 0 : 1;
}

int Compare(const std::string& first, const std::string& second) {
  qldata::TPeImage a(ReadFile(first)), b(ReadFile(second));
  std::string difference;
  if (qldata::SameCodeAndData(a, b, &difference)) return 0;
  std::cerr << "qldata compare: " << difference << " differs between " << first << " and " << second << "\n";
  return 1;
}

int LinkAndCompare(const std::string& first, std::vector<std::string> command) {
  if (command.empty()) throw std::runtime_error("no link command");
  std::string output;
  for (size_t i = 0; i + 1 < command.size(); ++i)
    if (command[i] == "-o") output = command[i + 1];
  if (output.empty()) throw std::runtime_error("link command without -o");
  pid_t child = ::fork();
  if (child < 0) throw std::runtime_error("cannot start the linker");
  if (child == 0) {
    std::vector<char*> argv;
    for (auto& a : command) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execvp(argv[0], argv.data());
    std::perror("qldata: exec");
    ::_exit(127);
  }
  int status = 0;
  if (::waitpid(child, &status, 0) < 0) throw std::runtime_error("lost the linker");
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
  if (Compare(first, output) != 0) {
    std::remove(output.c_str());
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "generate" && (argc == 5 || argc == 6))
      return Generate(argv[2], argv[3], argv[4], argc == 6 ? argv[5] : "");
    if (mode == "verify" && argc >= 3 && argc <= 6)
      return Verify(argv[2], argc > 3 ? argv[3] : "", argc > 4 ? argv[4] : "", argc > 5 ? argv[5] : "");
    if (mode == "compare" && argc == 4) return Compare(argv[2], argv[3]);
    if (mode == "outside" && (argc == 8 || argc == 9))
      return Outside(argv[2], argv[3], argv[4], argv[5], argv[6], argv[7], argc == 9 ? argv[8] : "");
    if (mode == "link" && argc > 4 && std::string(argv[3]) == "--")
      return LinkAndCompare(argv[2], std::vector<std::string>(argv + 4, argv + argc));
    std::cerr << "usage: qldata generate EXE SETTINGS OUT [SOURCE_ROOT] | verify EXE [SETTINGS [SOURCE_ROOT [DEBUG_FILE]]]"
                 " | compare FIRST SECOND | outside MODULE MAP JDBG JDBG_SUMMED TDS TD32_IMAGE [SOURCE_ROOT]\n";
    return 2;
  } catch (const std::exception& e) {
    std::cerr << "qldata: " << e.what() << "\n";
    return 1;
  }
}
