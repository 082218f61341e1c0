#pragma once
// For the native mail tests: the POSIX socket calls as a TSocketApi, and the test
// peers (tests/peers/*.py, dnsmasq) as child processes that print their port first
// and stop when their standard input closes or when killed.
#ifndef _WIN32
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "exclog/sending/ESockets.h"

namespace sendpeers {

inline const exclog::TSocketApi& PosixSockets() {
  static const exclog::TSocketApi api = [] {
    exclog::TSocketApi a;
    a.Startup = [] {};
    a.Open = [](bool stream) -> exclog::TSocketHandle { return ::socket(AF_INET, stream ? SOCK_STREAM : SOCK_DGRAM, 0); };
    a.Resolve = [](const std::string& host, uint32_t& address, uint32_t) {
      addrinfo hints{};
      hints.ai_family = AF_INET;
      addrinfo* list = nullptr;
      if (::getaddrinfo(host.c_str(), nullptr, &hints, &list) != 0 || !list) return 0;
      address = reinterpret_cast<sockaddr_in*>(list->ai_addr)->sin_addr.s_addr;
      ::freeaddrinfo(list);
      return 1;
    };
    a.MakeNonBlocking = [](exclog::TSocketHandle s) {
      const int flags = ::fcntl(static_cast<int>(s), F_GETFL);
      return flags >= 0 && ::fcntl(static_cast<int>(s), F_SETFL, flags | O_NONBLOCK) == 0;
    };
    a.WaitConnect = [](exclog::TSocketHandle s, uint32_t ms) {
      pollfd p{static_cast<int>(s), POLLOUT, 0};
      const int r = ::poll(&p, 1, static_cast<int>(ms));
      return r < 0 ? -1 : (r > 0 ? 1 : 0);
    };
    a.ConnectError = [](exclog::TSocketHandle s) {
      int error = 0;
      socklen_t size = sizeof error;
      return ::getsockopt(static_cast<int>(s), SOL_SOCKET, SO_ERROR, &error, &size) == 0 ? error : errno;
    };
    a.Connect = [](exclog::TSocketHandle s, const exclog::TSocketAddress& to) {
      sockaddr_in in{};
      in.sin_family = AF_INET;
      in.sin_port = to.Port;
      in.sin_addr.s_addr = to.Address;
      return ::connect(static_cast<int>(s), reinterpret_cast<sockaddr*>(&in), sizeof in);
    };
    a.Send = [](exclog::TSocketHandle s, const char* data, int size) {
      return static_cast<int>(::send(static_cast<int>(s), data, static_cast<size_t>(size), MSG_NOSIGNAL));
    };
    a.Recv = [](exclog::TSocketHandle s, char* data, int size) {
      return static_cast<int>(::recv(static_cast<int>(s), data, static_cast<size_t>(size), 0));
    };
    a.Wait = [](exclog::TSocketHandle s, bool forWrite, uint32_t ms) {
      pollfd p{static_cast<int>(s), static_cast<short>(forWrite ? POLLOUT : POLLIN), 0};
      const int r = ::poll(&p, 1, static_cast<int>(ms));
      return r < 0 ? -1 : (r > 0 ? 1 : 0);
    };
    a.Available = [](exclog::TSocketHandle s) {
      int n = 0;
      return ::ioctl(static_cast<int>(s), FIONREAD, &n) == 0 ? n : -1;
    };
    a.Close = [](exclog::TSocketHandle s) { return ::close(static_cast<int>(s)); };
    a.LastError = [] { return errno; };
    a.WouldBlock = [](int e) { return e == EAGAIN || e == EWOULDBLOCK || e == EINPROGRESS; };
    a.ErrorText = [](int e) { return std::string(std::strerror(e)); };
    return a;
  }();
  return api;
}

// A child process with its standard input and output on pipes.
class TPeerProcess {
 public:
  explicit TPeerProcess(const std::vector<std::string>& argv) {
    int in[2], out[2];
    if (::pipe(in) != 0 || ::pipe(out) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(in[0], 0);
      ::dup2(out[1], 1);
      ::close(in[1]);
      ::close(out[0]);
      std::vector<char*> args;
      for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
      args.push_back(nullptr);
      ::execv(args[0], args.data());
      ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    stdin_ = in[1];
    stdout_ = out[0];
  }
  ~TPeerProcess() {
    if (stdin_ >= 0) ::close(stdin_);
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
    if (stdout_ >= 0) ::close(stdout_);
  }
  // The first line the peer printed (its port), within `timeoutMs`; "" when none.
  std::string FirstLine(int timeoutMs = 20000) {
    std::string line;
    char c;
    while (true) {
      pollfd p{stdout_, POLLIN, 0};
      if (::poll(&p, 1, timeoutMs) <= 0) return "";
      if (::read(stdout_, &c, 1) != 1) return "";
      if (c == '\n') return line;
      line += c;
    }
  }
  uint16_t Port() {
    const std::string line = FirstLine();
    return line.empty() ? 0 : static_cast<uint16_t>(std::stoi(line));
  }

 private:
  pid_t pid_ = -1;
  int stdin_ = -1;
  int stdout_ = -1;
};

inline std::string Python() { return "/usr/bin/python3"; }

// A port of 127.0.0.1 free at the time of asking (for peers that take a port).
inline uint16_t FreeUdpPort() {
  const int s = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in in{};
  in.sin_family = AF_INET;
  in.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(s, reinterpret_cast<sockaddr*>(&in), sizeof in);
  socklen_t size = sizeof in;
  ::getsockname(s, reinterpret_cast<sockaddr*>(&in), &size);
  ::close(s);
  return ntohs(in.sin_port);
}

}  // namespace sendpeers
#endif
