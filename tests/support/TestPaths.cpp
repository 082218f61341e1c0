#include "tests/support/TestPaths.h"

#include <fstream>
#include <sstream>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <gtest/gtest.h>

namespace velmora::test {

std::string HostPath(const std::string& unixPath) {
#ifdef _WIN32
  // Wine maps the Unix root to drive Z:.
  std::string path = "Z:" + unixPath;
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
#else
  return unixPath;
#endif
}

std::string SourceDir() { return HostPath(VELMORA_SOURCE_DIR); }

unsigned SourceLineOf(const std::string& relative, const std::string& text) {
  std::ifstream in(SourcePath(relative));
  unsigned number = 0;
  for (std::string line; std::getline(in, line);) {
    ++number;
    if (line.find(text) != std::string::npos) return number;
  }
  return 0;
}

std::string SourcePath(const std::string& relative) {
  std::string path = SourceDir();
#ifdef _WIN32
  path += '\\';
  for (char c : relative) path += (c == '/') ? '\\' : c;
#else
  path += '/';
  path += relative;
#endif
  return path;
}

std::string ProcessTag() {
#ifdef _WIN32
  // Wine's process ids repeat across the Wine sessions sharing the machine's /tmp:
  // the performance counter at the first call tells two programs of one id apart.
  static const std::string tag = [] {
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    return std::to_string(GetCurrentProcessId()) + "-" + std::to_string(now.QuadPart);
  }();
  return tag;
#else
  return std::to_string(getpid());
#endif
}

std::string TempPath(const std::string& name) {
#ifdef _WIN32
  return HostPath("/tmp/velmora-win32-" + ProcessTag() + "-" + name);
#else
  return HostPath("/tmp/velmora-native-" + ProcessTag() + "-" + name);
#endif
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    ADD_FAILURE() << "cannot open " << path;
    return {};
  }
  std::ostringstream data;
  data << in.rdbuf();
  return data.str();
}

}  // namespace velmora::test
