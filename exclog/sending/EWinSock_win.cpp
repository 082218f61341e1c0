#include "exclog/sending/EWinSock_win.h"

#include <atomic>
#include <cstring>
#include <exception>

#include "exclog/sending/ESystemText_win.h"

namespace exclog {

namespace {

HMODULE wsock32 = nullptr;
HMODULE ws2_32 = nullptr;
HMODULE mswsock = nullptr;
std::atomic<bool> librariesLoaded{false};
bool started = false;

template <class F>
F Bound(const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(WinSockProc(name)));
}

bool SystemLookup(const std::string& host, uint32_t& address) {
  const hostent* entry = winsock::gethostbyname(host.c_str());
  if (!entry || entry->h_length != 4 || !entry->h_addr_list || !entry->h_addr_list[0]) return false;
  std::memcpy(&address, entry->h_addr_list[0], 4);
  return address != 0;
}

std::atomic<THostLookup> hostLookup{&SystemLookup};

// One lookup, shared by the asking thread and the helper: whichever lets go last
// frees it, so a helper left behind writes only into what it still holds.
struct TLookup {
  std::string Host;
  THostLookup Lookup = nullptr;
  uint32_t Address = 0;
  bool Found = false;
  std::exception_ptr Failure;  // raised again on the asking thread
  HANDLE Done = nullptr;
  std::atomic<int> Holders{2};
  void Release() {
    if (--Holders == 0) {
      CloseHandle(Done);
      delete this;
    }
  }
};

DWORD WINAPI LookupThread(void* parameter) {
  auto* lookup = static_cast<TLookup*>(parameter);
  try {
    uint32_t address = 0;
    lookup->Found = lookup->Lookup(lookup->Host, address);
    lookup->Address = address;
  } catch (...) {
    lookup->Failure = std::current_exception();
  }
  SetEvent(lookup->Done);
  lookup->Release();
  return 0;
}

}  // namespace

void SetHostLookup(THostLookup lookup) { hostLookup = lookup ? lookup : &SystemLookup; }

int ResolveHost(const std::string& host, uint32_t& address, uint32_t timeoutMs) {
  auto* lookup = new TLookup;
  lookup->Host = host;
  lookup->Lookup = hostLookup.load();
  lookup->Done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE thread = lookup->Done ? CreateThread(nullptr, 0, &LookupThread, lookup, 0, nullptr) : nullptr;
  if (!thread) {
    // No helper: the lookup runs here, without its time-out.
    if (lookup->Done) CloseHandle(lookup->Done);
    const bool found = lookup->Lookup(host, address);
    delete lookup;
    return found ? 1 : 0;
  }
  CloseHandle(thread);
  int result = -1;
  std::exception_ptr failure;
  if (WaitForSingleObject(lookup->Done, timeoutMs) == WAIT_OBJECT_0) {
    result = lookup->Found ? 1 : 0;
    address = lookup->Address;
    failure = lookup->Failure;
  }
  lookup->Release();
  if (failure) std::rethrow_exception(failure);
  return result;
}

FARPROC WinSockProc(const char* name) {
  // Loaded once under the dispatch lock, which every sender holds.
  if (!librariesLoaded.exchange(true)) {
    wsock32 = LoadLibraryA("wsock32.dll");
    ws2_32 = LoadLibraryA("ws2_32.dll");
    mswsock = LoadLibraryA("mswsock.dll");
  }
  const HMODULE library = ws2_32 ? ws2_32 : (wsock32 ? wsock32 : mswsock);
  FARPROC proc = library ? GetProcAddress(library, name) : nullptr;
  if (!proc) throw EQuelbaFuncNotFoundError(FuncNotFoundText(name));
  return proc;
}

namespace winsock {
int closesocket(SOCKET s) { return Bound<int(WINAPI*)(SOCKET)>("closesocket")(s); }
int getsockopt(SOCKET s, int level, int name, char* value, int* size) {
  return Bound<int(WINAPI*)(SOCKET, int, int, char*, int*)>("getsockopt")(s, level, name, value, size);
}
int connect(SOCKET s, const sockaddr* name, int length) {
  return Bound<int(WINAPI*)(SOCKET, const sockaddr*, int)>("connect")(s, name, length);
}
u_short htons(u_short value) { return Bound<u_short(WINAPI*)(u_short)>("htons")(value); }
int ioctlsocket(SOCKET s, long command, u_long* argument) {
  return Bound<int(WINAPI*)(SOCKET, long, u_long*)>("ioctlsocket")(s, command, argument);
}
int recv(SOCKET s, char* buffer, int length, int flags) {
  return Bound<int(WINAPI*)(SOCKET, char*, int, int)>("recv")(s, buffer, length, flags);
}
int send(SOCKET s, const char* buffer, int length, int flags) {
  return Bound<int(WINAPI*)(SOCKET, const char*, int, int)>("send")(s, buffer, length, flags);
}
SOCKET socket(int family, int type, int protocol) {
  return Bound<SOCKET(WINAPI*)(int, int, int)>("socket")(family, type, protocol);
}
hostent* gethostbyname(const char* name) { return Bound<hostent*(WINAPI*)(const char*)>("gethostbyname")(name); }
int gethostname(char* name, int length) { return Bound<int(WINAPI*)(char*, int)>("gethostname")(name, length); }
int WSAAsyncSelect(SOCKET s, HWND window, u_int message, long events) {
  return Bound<int(WINAPI*)(SOCKET, HWND, u_int, long)>("WSAAsyncSelect")(s, window, message, events);
}
int WSAGetLastError() { return Bound<int(WINAPI*)()>("WSAGetLastError")(); }
int WSAStartup(WORD version, WSADATA* data) { return Bound<int(WINAPI*)(WORD, WSADATA*)>("WSAStartup")(version, data); }
int WSACleanup() { return Bound<int(WINAPI*)()>("WSACleanup")(); }
int select(int count, fd_set* readable, fd_set* writable, fd_set* failed, const timeval* timeout) {
  return Bound<int(WINAPI*)(int, fd_set*, fd_set*, fd_set*, const timeval*)>("select")(count, readable, writable,
                                                                                       failed, timeout);
}
}  // namespace winsock

void SocketsStartup() {
  if (started) return;
  WSADATA data{};
  const int result = winsock::WSAStartup(MAKEWORD(1, 1), &data);
  if (result != 0) throw EQuelbaSocketError("Cannot start WinSock: \"" + SocketErrorText(result) + "\".");
  started = true;
}

void SocketsCleanup() {
  if (!started) return;
  started = false;
  winsock::WSACleanup();
}

std::string SocketErrorText(int code) { return SystemErrorText(static_cast<unsigned long>(code)); }

std::string LocalHostName() {
  try {
    SocketsStartup();
    char name[250] = {};
    if (winsock::gethostname(name, sizeof name - 1) != 0) return "";
    return name;
  } catch (const EQuelbaSocketError&) {
    return "";
  }
}

const TSocketApi& WinSockApi() {
  static const TSocketApi api = [] {
    TSocketApi a;
    a.Startup = &SocketsStartup;
    a.Open = [](bool stream) -> TSocketHandle {
      const SOCKET s = winsock::socket(AF_INET, stream ? SOCK_STREAM : SOCK_DGRAM, 0);
      return s == INVALID_SOCKET ? NoSocket : static_cast<TSocketHandle>(s);
    };
    a.Resolve = &ResolveHost;
    a.MakeNonBlocking = [](TSocketHandle s) {
      u_long on = 1;
      return winsock::WSAAsyncSelect(static_cast<SOCKET>(s), nullptr, 0, 0) == 0 &&
             winsock::ioctlsocket(static_cast<SOCKET>(s), FIONBIO, &on) == 0;
    };
    a.Connect = [](TSocketHandle s, const TSocketAddress& to) {
      return winsock::connect(static_cast<SOCKET>(s), reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0 ? 0 : -1;
    };
    a.WaitConnect = [](TSocketHandle s, uint32_t ms) {
      // A connection that failed shows in the exception set, not the writable one.
      fd_set writable, failed;
      FD_ZERO(&writable);
      FD_ZERO(&failed);
      FD_SET(static_cast<SOCKET>(s), &writable);
      FD_SET(static_cast<SOCKET>(s), &failed);
      timeval t{static_cast<long>(ms / 1000), static_cast<long>(ms % 1000) * 1000};
      const int r = winsock::select(0, nullptr, &writable, &failed, &t);
      return r < 0 ? -1 : (r > 0 ? 1 : 0);
    };
    a.ConnectError = [](TSocketHandle s) {
      int error = 0;
      int size = sizeof error;
      if (winsock::getsockopt(static_cast<SOCKET>(s), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) != 0)
        return winsock::WSAGetLastError();
      return error;
    };
    a.Send = [](TSocketHandle s, const char* data, int size) {
      return winsock::send(static_cast<SOCKET>(s), data, size, 0);
    };
    a.Recv = [](TSocketHandle s, char* data, int size) {
      return winsock::recv(static_cast<SOCKET>(s), data, size, 0);
    };
    a.Wait = [](TSocketHandle s, bool forWrite, uint32_t ms) {
      fd_set set;
      FD_ZERO(&set);
      FD_SET(static_cast<SOCKET>(s), &set);
      timeval t{static_cast<long>(ms / 1000), static_cast<long>(ms % 1000) * 1000};
      const int r = winsock::select(0, forWrite ? nullptr : &set, forWrite ? &set : nullptr, nullptr, &t);
      return r < 0 ? -1 : (r > 0 ? 1 : 0);
    };
    a.Available = [](TSocketHandle s) {
      u_long n = 0;
      return winsock::ioctlsocket(static_cast<SOCKET>(s), FIONREAD, &n) == 0 ? static_cast<int>(n) : -1;
    };
    a.Close = [](TSocketHandle s) { return winsock::closesocket(static_cast<SOCKET>(s)) == 0 ? 0 : -1; };
    a.LastError = [] { return winsock::WSAGetLastError(); };
    a.WouldBlock = [](int e) { return e == WSAEWOULDBLOCK; };
    a.ErrorText = &SocketErrorText;
    return a;
  }();
  return api;
}

}  // namespace exclog
