#pragma once
// WinINet, bound at run time: the page exchange of the tracker connections and the
// two upload senders (HTTP(S) multipart post, FTP store).
#include <windows.h>
#include <wininet.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "exclog/sending/EWebConnection.h"

namespace exclog {

// The WinINet routines the logger calls; every pointer is set once bound.
struct TWinInetApi {
  decltype(&::InternetOpenA) InternetOpenA = nullptr;
  decltype(&::InternetConnectA) InternetConnectA = nullptr;
  decltype(&::HttpOpenRequestA) HttpOpenRequestA = nullptr;
  decltype(&::HttpAddRequestHeadersA) HttpAddRequestHeadersA = nullptr;
  decltype(&::HttpSendRequestA) HttpSendRequestA = nullptr;
  decltype(&::HttpSendRequestExA) HttpSendRequestExA = nullptr;
  decltype(&::InternetWriteFile) InternetWriteFile = nullptr;
  decltype(&::HttpEndRequestA) HttpEndRequestA = nullptr;
  decltype(&::HttpQueryInfoA) HttpQueryInfoA = nullptr;
  decltype(&::InternetCloseHandle) InternetCloseHandle = nullptr;
  decltype(&::InternetQueryOptionA) InternetQueryOptionA = nullptr;
  decltype(&::InternetSetOptionA) InternetSetOptionA = nullptr;
  decltype(&::FtpOpenFileA) FtpOpenFileA = nullptr;
  decltype(&::InternetGetLastResponseInfoA) InternetGetLastResponseInfoA = nullptr;
  decltype(&::InternetOpenUrlA) InternetOpenUrlA = nullptr;
  decltype(&::InternetReadFile) InternetReadFile = nullptr;
  decltype(&::InternetQueryDataAvailable) InternetQueryDataAvailable = nullptr;
  decltype(&::InternetGetConnectedState) InternetGetConnectedState = nullptr;
};

// One reference to "wininet.dll" with its routines bound; released with the object.
class TWinInetLibrary {
 public:
  TWinInetLibrary();
  ~TWinInetLibrary();
  TWinInetLibrary(const TWinInetLibrary&) = delete;
  TWinInetLibrary& operator=(const TWinInetLibrary&) = delete;
  // False (and the library released) when the library or any routine is missing.
  bool Bound() const { return module_ != nullptr; }
  const TWinInetApi& Api() const { return api_; }

 private:
  HMODULE module_ = nullptr;
  TWinInetApi api_;
};

// How long the web senders wait: each connect, send and receive on the wire
// within OperationMs; each upload, and each tracker send from its connection to
// its end, within SendMs (five minutes), after which it fails as a send error.
// Process-wide; tests shorten them.
struct TWebTimeouts {
  uint32_t OperationMs = 30 * 1000;
  uint32_t SendMs = 5 * 60 * 1000;
};
TWebTimeouts& WebTimeouts();

// The error code and text of a send that ran out of its time.
constexpr DWORD SendDeadlineCode = ERROR_INTERNET_TIMEOUT;
std::string SendDeadlineText(uint32_t sendMs);
// The error text of a reply whose headers passed their budget.
extern const char* const HeadersTooLongText;

// An upload's or tracker send's overall time, checked before each block sent or
// read: a trickled body cannot hold the send past it. A call waiting on the wire
// inside the library ends by it too (EWireGuard_win.h).
class TSessionDeadline {
 public:
  void Arm(uint32_t ms) {
    started_ = GetTickCount();
    limitMs_ = ms;
  }
  bool Expired() const { return limitMs_ && GetTickCount() - started_ >= limitMs_; }
  uint32_t Limit() const { return limitMs_; }
  DWORD StartedTick() const { return started_; }

 private:
  DWORD started_ = 0;
  uint32_t limitMs_ = 0;
};

// Whether WinINet and all its routines are there.
bool BindWinInet();

// The server's last response text when there is one, else the table's text of the
// code, else the system's text for it.
std::string WinInetErrorText(const TWinInetApi& api, DWORD code);

// The page exchange over WinINet: one session and one HTTP connection.
class TWinInetExchange : public TPageExchange {
 public:
  TWinInetExchange();
  ~TWinInetExchange() override;
  bool Open(const TConnectTarget& target, std::string& error) override;
  bool Close() override;
  bool Exchange(const TExchangeRequest& request, TExchangeReply& reply, const TProgress& progress) override;

 private:
  TWinInetLibrary library_;
  TConnectTarget target_;
  HINTERNET internet_ = nullptr;
  HINTERNET connection_ = nullptr;
  TSessionDeadline deadline_;
};

// A tracker connection over WinINet whose events go to `sink`.
std::unique_ptr<THTTPConnectionBase> CreateWinInetConnection(const std::string& url,
                                                             const std::string& proxy,
                                                             TWebProgressSink sink);

// Process-wide proxy of the uploads ("host:port"; empty: none), set before each.
void SetUploadProxy(const std::string& hostAndPort, const std::string& user, const std::string& password);

struct TUploadRequest {
  std::string Url;
  std::string User;
  std::string Password;
  uint32_t Port = 0;  // 0: the URL's port or the scheme's default
  TFieldList WebFields;
  std::vector<std::string> Files;
  bool Secure = false;
  // State 0 connecting, 1 connected, 2 sending (`done` of `total` bytes).
  std::function<void(int state, uint64_t done, uint64_t total)> Progress;
};

// 0 on success; -1 without WinINet; the HTTP status (0x7FFFFFFF when not a number)
// with its status text in `errorText`; or the WinINet error code with its text.
int UploadHttp(const TUploadRequest& request, std::string& errorText);
// 0 on success; -1 without WinINet; else the error code of the first failed call.
int UploadFtp(const TUploadRequest& request, std::string& errorText);

}  // namespace exclog
