#pragma once
// Helpers for native tests that check our code against outside programs (the Java
// LHA library, lhasa, Python, ImageMagick): a scratch folder, file I/O and a shell
// runner. Header-only; POSIX only (tests using it skip themselves under Windows).
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace peers {

// A fresh folder under the system's temporary folder, removed with everything in
// it when the object goes.
class TScratchDir {
 public:
  TScratchDir() {
    static int counter = 0;
    path_ = std::filesystem::temp_directory_path() /
            ("velmora-skin-" + std::to_string(static_cast<long>(::getpid())) + "-" +
             std::to_string(++counter));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~TScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TScratchDir(const TScratchDir&) = delete;
  TScratchDir& operator=(const TScratchDir&) = delete;
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }
  std::string Path() const { return path_.string(); }

 private:
  std::filesystem::path path_;
};

inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct TRunResult {
  int ExitCode = -1;
  std::string Output;  // stdout and stderr
};

// Runs `command` through /bin/sh.
inline TRunResult Run(const std::string& command) {
  TRunResult result;
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return result;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) result.Output.append(buf, n);
  int status = ::pclose(pipe);
  result.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

inline std::string Quote(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

inline std::string PeerScript(const std::string& name) {
  return std::string(VELMORA_SOURCE_DIR) + "/tests/peers/" + name;
}

// The Java LHA library's "-lh1-" coder (tests/peers/Lh1Peer.java).
inline std::string JavaLh1() {
  return "java -cp /usr/share/java/jlha.jar " + Quote(PeerScript("Lh1Peer.java"));
}

// Deterministic test data.
inline std::vector<uint8_t> PseudoRandomBytes(size_t count, uint32_t seed) {
  std::vector<uint8_t> out(count);
  for (auto& b : out) {
    seed = seed * 1103515245u + 12345u;
    b = static_cast<uint8_t>(seed >> 16);
  }
  return out;
}

}  // namespace peers
