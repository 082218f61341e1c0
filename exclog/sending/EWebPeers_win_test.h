#pragma once
// Servers of our own for the web tests, started on 127.0.0.1 from tests/peers:
// an HTTP server that logs every request as a JSON line, an FTP server and a
// proxy; and a test certificate authority. Each server runs in the background in
// a scratch folder and is killed by its pid.
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
    // Process ids repeat across the Wine sessions that share the machine's /tmp: two
    // test programs with one id each took the other's folder (and its server's
    // answers) for their own. The performance counter tells them apart.
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    unix_ = "/tmp/velmora-webpeer-" + std::to_string(GetCurrentProcessId()) + "-" +
            std::to_string(now.QuadPart) + "-" + std::to_string(++serial);
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
  std::string Unix(const std::string& name) const { return unix_ + "/" + name; }
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

// A test authority and two server certificates for "localhost", made by openssl:
// one signed by the authority, one signed by itself.
struct TTestCertificates {
  std::string Unix = "/tmp/velmora-webca-" + velmora::test::ProcessTag();
  bool Made = false;
  TTestCertificates() {
    const std::string d = "'" + Unix + "'";
    auto out = RunHostCommand(
        "set -e; rm -rf " + d + "; mkdir -p " + d + "; cd " + d + "; "
        "printf 'subjectAltName=DNS:localhost\\n' > ext; "
        "openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 -subj '/CN=Velmora Test CA' 2>/dev/null; "
        "openssl req -newkey rsa:2048 -nodes -keyout leaf.key -out leaf.csr -subj /CN=localhost 2>/dev/null; "
        "openssl x509 -req -in leaf.csr -CA ca.pem -CAkey ca.key -CAcreateserial -out leaf.pem -days 2 -extfile ext 2>/dev/null; "
        "openssl req -x509 -newkey rsa:2048 -nodes -keyout self.key -out self.pem -days 2 -subj /CN=localhost "
        "-addext subjectAltName=DNS:localhost 2>/dev/null; "
        "openssl x509 -in ca.pem -outform der -out ca.der; echo made",
        60000);
    Made = out && out->find("made") != std::string::npos;
  }
  ~TTestCertificates() { RunHostCommand("rm -rf '" + Unix + "'"); }
  std::string Arguments(const std::string& name) const {
    return "--cert '" + Unix + "/" + name + ".pem' --key '" + Unix + "/" + name + ".key'";
  }
};

// Trusts the test authority in the user's "Root" store of this prefix (crypt32 is
// bound by name: no program of the build imports it).
inline bool TrustAuthority(const std::string& derPath) {
  std::string der = ReadAll(derPath);
  HMODULE crypt = LoadLibraryA("crypt32.dll");
  if (der.empty() || !crypt) return false;
  using OpenFn = void*(WINAPI*)(ULONG_PTR, const char*);
  using AddFn = BOOL(WINAPI*)(void*, DWORD, const BYTE*, DWORD, DWORD, void*);
  using CloseFn = BOOL(WINAPI*)(void*, DWORD);
  auto open = reinterpret_cast<OpenFn>(reinterpret_cast<void*>(GetProcAddress(crypt, "CertOpenSystemStoreA")));
  auto add = reinterpret_cast<AddFn>(reinterpret_cast<void*>(GetProcAddress(crypt, "CertAddEncodedCertificateToStore")));
  auto close = reinterpret_cast<CloseFn>(reinterpret_cast<void*>(GetProcAddress(crypt, "CertCloseStore")));
  bool ok = false;
  if (open && add && close) {
    void* store = open(0, "ROOT");
    if (store) {
      ok = add(store, 1 /* X509_ASN_ENCODING */, reinterpret_cast<const BYTE*>(der.data()),
               static_cast<DWORD>(der.size()), 3 /* CERT_STORE_ADD_REPLACE_EXISTING */, nullptr);
      close(store, 0);
    }
  }
  FreeLibrary(crypt);
  return ok;
}

inline bool Has(const std::string& line, const std::string& part) { return line.find(part) != std::string::npos; }

}  // namespace exclog::test
