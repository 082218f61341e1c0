#pragma once
// Asking the host's addr2line about code of a Windows program of this build, and
// comparing its routine names with the logger's.
#include <cstdint>
#include <string>
#include <vector>

namespace velmora::test {

// The host's path of a file that Wine names by a Windows path.
std::string UnixPath(const std::string& windowsPath);
// The image base the file was linked for (addr2line counts from it).
uint32_t FileImageBase(const std::string& windowsPath);
// The output lines of a host command (none when it could not run).
std::vector<std::string> HostLines(const std::string& command);

struct TSourceLine {
  std::string Routine;
  uint32_t Line = 0;
};
// addr2line -f of module-relative addresses, one batch.
std::vector<TSourceLine> Addr2Line(const std::string& windowsPath, const std::vector<uint32_t>& offsets);

// Ours ("Routine(int)", "Routine@4") against addr2line's: its name for the routine,
// demangled when addr2line could not (it drops the "_" of "_Z..."), may carry the
// class before ours.
bool SameRoutine(const std::string& ours, const std::string& theirs);

}  // namespace velmora::test
