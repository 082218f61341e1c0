#include "tests/support/Addr2Line_win.h"

#include <windows.h>

#include <cxxabi.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "tests/support/GuiProbe_win.h"

namespace velmora::test {

std::string UnixPath(const std::string& windowsPath) {
  using TConvert = char*(CDECL*)(LPCWSTR);
  auto convert = reinterpret_cast<TConvert>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  char* unix = convert ? convert(std::wstring(windowsPath.begin(), windowsPath.end()).c_str()) : nullptr;
  if (!unix) return windowsPath;
  std::string out = unix;
  HeapFree(GetProcessHeap(), 0, unix);
  return out;
}

uint32_t FileImageBase(const std::string& windowsPath) {
  std::ifstream in(windowsPath, std::ios::binary);
  std::vector<char> header(4096);
  in.read(header.data(), header.size());
  uint32_t nt = *reinterpret_cast<uint32_t*>(&header[60]);
  return *reinterpret_cast<uint32_t*>(&header[nt + 24 + 28]);
}

std::vector<std::string> HostLines(const std::string& command) {
  std::vector<std::string> out;
  std::istringstream lines(RunHostCommand(command, 60000).value_or(""));
  for (std::string line; std::getline(lines, line);) out.push_back(line);
  return out;
}

std::vector<TSourceLine> Addr2Line(const std::string& windowsPath, const std::vector<uint32_t>& offsets) {
  uint32_t base = FileImageBase(windowsPath);
  std::ostringstream command;
  command << "i686-w64-mingw32-addr2line -f -C -e '" << UnixPath(windowsPath) << "'" << std::hex;
  for (uint32_t offset : offsets) command << " 0x" << base + offset;
  std::vector<TSourceLine> out;
  std::vector<std::string> lines = HostLines(command.str());
  for (size_t i = 0; i + 1 < lines.size(); i += 2) {
    const std::string& place = lines[i + 1];
    size_t colon = place.rfind(':');
    uint32_t line = colon == std::string::npos ? 0 : static_cast<uint32_t>(std::strtoul(place.c_str() + colon + 1, nullptr, 10));
    out.push_back({lines[i], line});
  }
  return out;
}

namespace {

// A routine name without its parameter list ("operator()" keeps its own brackets).
std::string WithoutParameters(const std::string& name) {
  size_t from = name.find("operator()");
  from = from == std::string::npos ? 0 : from + 10;
  return name.substr(0, name.find('(', from));
}

}  // namespace

bool SameRoutine(const std::string& ours, const std::string& theirsRaw) {
  std::string theirs = theirsRaw;
  if (theirs.rfind("Z", 0) == 0) {
    int status = 0;
    char* text = abi::__cxa_demangle(("_" + theirs).c_str(), nullptr, nullptr, &status);
    if (status == 0 && text) theirs = text;
    std::free(text);
  }
  std::string a = WithoutParameters(ours), b = WithoutParameters(theirs);
  a = a.substr(0, a.find('@'));
  b = b.substr(0, b.find('@'));
  return !a.empty() && b.size() >= a.size() && b.compare(b.size() - a.size(), a.size(), a) == 0;
}

}  // namespace velmora::test
