#pragma once
// Servers of our own for the web tests, started on 127.0.0.1 from tests/peers:
// an HTTP server that logs every request as a JSON line, an FTP server and a
// proxy. Each runs in the background in a scratch folder and is killed by its pid.
#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/GuiProbe_win.h"
#include "tests/support/TestPaths.h"

namespace exclog::test {

using velmora::test::HostPath;
using velmora::test::PumpUntil;
using velmora::test::RunHostCommand;

inline std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// A peer program of tests/peers started in the background in a scratch folder of
// its own ("{dir}" in the arguments); it writes "port pid" to {dir}/ready when it
// listens and is killed by its pid when the object goes.
class TPeer {
 public:
  TPeer(const std::string& script, std::string arguments) {
    static int serial = 0;
    unix_ = "/tmp/velmora-webpeer-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++serial);
    for (size_t at; (at = arguments.find("{dir}")) != std::string::npos;) arguments.replace(at, 5, unix_);
    RunHostCommand("rm -rf '" + unix_ + "'; mkdir -p '" + unix_ + "/store' '" + unix_ + "/home/up'");
    RunHostCommand("setsid /usr/bin/python3 '" VELMORA_SOURCE_DIR "/tests/peers/" + script + "' --ready '" + unix_ +
                   "/ready' " + arguments + " >'" + unix_ + "/out' 2>&1 < /dev/null &");
    const std::string ready = Host("ready");
    if (!PumpUntil([&] { return GetFileAttributesA(ready.c_str()) != INVALID_FILE_ATTRIBUTES; }, 20000)) return;
    std::istringstream(ReadAll(ready)) >> port_ >> pid_;
  }
  ~TPeer() {
    if (pid_) RunHostCommand("kill " + std::to_string(pid_));
    RunHostCommand("rm -rf '" + unix_ + "'");
  }
  TPeer(const TPeer&) = delete;
  TPeer& operator=(const TPeer&) = delete;
  int Port() const { return port_; }
  std::string Host(const std::string& name) const { return HostPath(unix_ + "/" + name); }
  // The request log, one JSON line a request.
  std::vector<std::string> Requests() const {
    std::vector<std::string> lines;
    std::istringstream in(ReadAll(Host("log")));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

 private:
  std::string unix_;
  int port_ = 0;
  int pid_ = 0;
};

struct THttpPeer : TPeer {
  explicit THttpPeer(const std::string& extra = "")
      : TPeer("http_peer.py", "--idle 120 --log '{dir}/log' --store '{dir}/store' " + extra) {}
  std::string Url(const std::string& path = "/dir/") const {
    return "http://127.0.0.1:" + std::to_string(Port()) + path;
  }
};

inline bool Has(const std::string& line, const std::string& part) { return line.find(part) != std::string::npos; }

}  // namespace exclog::test
