#include "exclog/sending/EWinInet_win.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <mutex>
#include <optional>

#include "exclog/core/EBase64.h"
#include "exclog/sending/EWireGuard_win.h"

namespace exclog {

namespace {

// Without them a silent server or proxy holds a call for as long as it likes.
void SetWireTimeouts(const TWinInetApi& api, HINTERNET handle) {
  DWORD operation = WebTimeouts().OperationMs;
  for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT,
                       INTERNET_OPTION_DATA_SEND_TIMEOUT, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT})
    api.InternetSetOptionA(handle, option, &operation, sizeof operation);
}

template <class F>
bool BindOne(HMODULE module, const char* name, F& slot) {
  slot = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  return slot != nullptr;
}

// One WinINet handle, closed on every way out, with the wire's time-outs set on
// it: not every system hands the session's down to its requests.
class TInetHandle {
 public:
  TInetHandle(const TWinInetApi& api, HINTERNET handle) : api_(api), handle_(handle) {
    if (handle_) SetWireTimeouts(api_, handle_);
  }
  ~TInetHandle() { Close(); }
  TInetHandle(const TInetHandle&) = delete;
  TInetHandle& operator=(const TInetHandle&) = delete;
  HINTERNET Get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }
  // The close's own result: for an FTP file it is where the server's refusal of
  // the store first shows.
  bool Close() {
    if (!handle_) return true;
    HINTERNET h = handle_;
    handle_ = nullptr;
    return api_.InternetCloseHandle(h) != FALSE;
  }

 private:
  const TWinInetApi& api_;
  HINTERNET handle_;
};

std::string SystemErrorText(DWORD code) {
  char* buffer = nullptr;
  DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                               FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
  std::string text = n && buffer ? Trimmed(std::string(buffer, n)) : std::string();
  if (buffer) LocalFree(buffer);
  return text;
}

// A header's text, or nothing when the reply lacks it.
std::optional<std::string> QueryText(const TWinInetApi& api, HINTERNET request, DWORD info,
                                     const char* customName = nullptr) {
  std::string buffer;
  DWORD size = 1024;
  for (int attempt = 0; attempt < 2; ++attempt) {
    buffer.assign(size + 1, '\0');
    if (customName) buffer.replace(0, std::char_traits<char>::length(customName), customName);
    DWORD length = size;
    DWORD index = 0;
    if (api.HttpQueryInfoA(request, info, buffer.data(), &length, &index)) {
      buffer.resize(length);
      return buffer;
    }
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || length > (1u << 20)) return std::nullopt;
    size = length + 1;
  }
  return std::nullopt;
}

struct TProxySettings {
  std::mutex Lock;
  std::string HostAndPort;
  std::string User;
  std::string Password;
};

TProxySettings& UploadProxy() {
  static TProxySettings settings;
  return settings;
}

// The code of the server's last answer ("552 ..." gives 552; 0 when there is none)
// with its text.
int LastResponseCode(const TWinInetApi& api, std::string& text) {
  char buffer[1024] = {};
  DWORD error = 0;
  DWORD length = sizeof buffer;
  text.clear();
  if (!api.InternetGetLastResponseInfoA(&error, buffer, &length) || length == 0 || length >= sizeof buffer) return 0;
  text = Trimmed(std::string_view(buffer, length));
  // The last line carries the final code.
  const size_t lineStart = text.find_last_of('\n');
  const std::string_view last = lineStart == std::string::npos ? std::string_view(text) : std::string_view(text).substr(lineStart + 1);
  if (last.size() < 3 || !std::all_of(last.begin(), last.begin() + 3, [](char c) { return c >= '0' && c <= '9'; }))
    return 0;
  return (last[0] - '0') * 100 + (last[1] - '0') * 10 + (last[2] - '0');
}

// Session and connection for one target; the error code of the failed call, 0 on
// success.
DWORD OpenSession(const TWinInetApi& api, const TConnectTarget& target, DWORD service,
                  DWORD connectFlags, HINTERNET& internet, HINTERNET& connection) {
  std::string proxy = target.ProxyHost + ":" + std::to_string(target.ProxyPort);
  internet = api.InternetOpenA("QuelbaLog", target.ProxyUsed ? INTERNET_OPEN_TYPE_PROXY : INTERNET_OPEN_TYPE_PRECONFIG,
                               target.ProxyUsed ? proxy.c_str() : nullptr,
                               target.ProxyUsed ? "<local>" : nullptr, 0);
  if (!internet) return GetLastError();
  SetWireTimeouts(api, internet);
  connection = api.InternetConnectA(internet, target.Host.c_str(), target.Port,
                                    target.User.empty() ? nullptr : target.User.c_str(),
                                    target.Password.empty() ? nullptr : target.Password.c_str(), service,
                                    connectFlags, 0);
  if (!connection) {
    DWORD code = GetLastError();
    api.InternetCloseHandle(internet);
    internet = nullptr;
    return code ? code : ERROR_INTERNET_CANNOT_CONNECT;
  }
  return 0;
}

// What the library could not tell us: the guard over its traffic ended the request.
void DescribeTrip(TWireTrip trip, const TSessionDeadline& deadline, TExchangeReply& reply) {
  switch (trip) {
    case TWireTrip::None:
      return;
    case TWireTrip::Deadline:
      reply.ErrorCode = SendDeadlineCode;
      reply.ErrorMessage = SendDeadlineText(deadline.Limit());
      return;
    case TWireTrip::HeadersTooLong:
      reply.ErrorCode = ERROR_HTTP_INVALID_SERVER_RESPONSE;
      reply.ErrorMessage = HeadersTooLongText;
      return;
    case TWireTrip::TooLarge:
      reply.ErrorCode = 0;
      reply.ErrorMessage = ResponseTooLargeText;
      return;
  }
}

// One request on an open HTTP connection, the reply read whole.
bool RunRequest(const TWinInetApi& api, HINTERNET connection, const TConnectTarget& target,
                const TExchangeRequest& request, TExchangeReply& reply, const TPageExchange::TProgress& progress,
                const TSessionDeadline& deadline) {
  TWireGuard wire(deadline.StartedTick(), deadline.Limit(), target.Secure);
  auto fail = [&]() {
    reply.ErrorCode = GetLastError();
    reply.ErrorMessage = WinInetErrorText(api, reply.ErrorCode);
    // A receive time-out comes back as the socket's code, which has no text here.
    if (reply.ErrorMessage.empty() && reply.ErrorCode == WSAETIMEDOUT)
      reply.ErrorMessage = std::string(WinInetTableText(ERROR_INTERNET_TIMEOUT));
    if (deadline.Expired()) {
      reply.ErrorCode = SendDeadlineCode;
      reply.ErrorMessage = SendDeadlineText(deadline.Limit());
    }
    DescribeTrip(wire.Trip(), deadline, reply);
    return false;
  };
  // The library may take a reply cut off by the guard for a whole one.
  auto tripped = [&]() {
    DescribeTrip(wire.Trip(), deadline, reply);
    return false;
  };
  auto timedOut = [&]() {
    SetLastError(SendDeadlineCode);
    return fail();
  };
  DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_KEEP_CONNECTION |
                INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP |
                INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS | INTERNET_FLAG_NO_UI;
  // The server's certificate is checked in full (authority, name, dates): tracker
  // passwords and Basic credentials must not reach an impostor.
  if (target.Secure) flags |= INTERNET_FLAG_SECURE;
  if (request.NoCookies) flags |= INTERNET_FLAG_NO_COOKIES;
  if (deadline.Expired()) return timedOut();
  TInetHandle handle(api, api.HttpOpenRequestA(connection, request.Method.c_str(), request.Object.c_str(),
                                               nullptr, nullptr, nullptr, flags, 0));
  if (!handle) return fail();
  if (!request.ContentType.empty()) {
    std::string header = "Content-Type: " + request.ContentType + "\r\n";
    if (!api.HttpAddRequestHeadersA(handle.Get(), header.c_str(), static_cast<DWORD>(-1), HTTP_ADDREQ_FLAG_ADD))
      return fail();
  }
  if (!target.User.empty() || !target.Password.empty()) {
    std::string header = "Authorization: Basic " + EncodeString(target.User + ":" + target.Password) + "\r\n";
    if (!api.HttpAddRequestHeadersA(handle.Get(), header.c_str(), static_cast<DWORD>(-1), HTTP_ADDREQ_FLAG_ADD))
      return fail();
  }
  if (target.ProxyUsed && (!target.ProxyUser.empty() || !target.ProxyPassword.empty())) {
    // WinINet keeps the proxy credentials for an answer to a 407 and Wine never
    // resends with them: say them with the request.
    std::string header = "Proxy-Authorization: Basic " +
                         EncodeString(target.ProxyUser + ":" + target.ProxyPassword) + "\r\n";
    if (!api.HttpAddRequestHeadersA(handle.Get(), header.c_str(), static_cast<DWORD>(-1), HTTP_ADDREQ_FLAG_ADD))
      return fail();
  }
  if (target.ProxyUsed) {
    api.InternetSetOptionA(handle.Get(), INTERNET_OPTION_PROXY_USERNAME, const_cast<char*>(target.ProxyUser.c_str()),
                           static_cast<DWORD>(target.ProxyUser.size()));
    api.InternetSetOptionA(handle.Get(), INTERNET_OPTION_PROXY_PASSWORD,
                           const_cast<char*>(target.ProxyPassword.c_str()),
                           static_cast<DWORD>(target.ProxyPassword.size()));
  }
  INTERNET_BUFFERSA buffers = {};
  buffers.dwStructSize = sizeof buffers;
  buffers.dwBufferTotal = static_cast<DWORD>(request.Body.size());
  if (!api.HttpSendRequestExA(handle.Get(), &buffers, nullptr, 0, 0)) return fail();
  const uint64_t total = request.Body.size();
  bool written = WriteInBlocks(
      request.Body, 4096,
      [&](const char* data, size_t size) {
        DWORD done = 0;
        return !deadline.Expired() &&
               api.InternetWriteFile(handle.Get(), data, static_cast<DWORD>(size), &done) && done == size;
      },
      [&](uint64_t done) {
        if (progress.Sent) progress.Sent(done, total);
      });
  if (!written) return fail();
  if (!api.HttpEndRequestA(handle.Get(), nullptr, 0, 0)) return fail();
  if (wire.Trip() != TWireTrip::None) return tripped();
  if (deadline.Expired()) return timedOut();
  if (progress.Sent) progress.Sent(total, total);

  std::string status = QueryText(api, handle.Get(), HTTP_QUERY_STATUS_CODE).value_or("");
  // Wine reads a status line without a number as status 0, which would pass for
  // the upload's success code: only three digits make a status.
  reply.StatusNumeric = status.size() == 3 && status.find_first_not_of("0123456789") == std::string::npos &&
                        status[0] != '0';
  reply.StatusCode = reply.StatusNumeric ? std::stoi(status) : 0;
  reply.StatusText = QueryText(api, handle.Get(), HTTP_QUERY_STATUS_TEXT).value_or("");
  reply.RawHeaders = QueryText(api, handle.Get(), HTTP_QUERY_RAW_HEADERS_CRLF).value_or("");
  reply.Location = QueryText(api, handle.Get(), HTTP_QUERY_LOCATION).value_or("");
  // Wine does not answer the Refresh query even when the header is there; the
  // header asked for by its name works on every system.
  std::optional<std::string> refresh = QueryText(api, handle.Get(), HTTP_QUERY_REFRESH);
  if (!refresh) refresh = QueryText(api, handle.Get(), HTTP_QUERY_CUSTOM, "Refresh");
  reply.Refresh = refresh.value_or("");
  uint64_t length = 0;
  if (auto text = QueryText(api, handle.Get(), HTTP_QUERY_CONTENT_LENGTH))
    length = std::strtoull(text->c_str(), nullptr, 10);
  if (length == 0) length = 1;

  char block[4096];
  for (;;) {
    DWORD got = 0;
    // A body trickled in small pieces never trips the receive time-out; and a
    // read waits until its buffer is full, so only what has come is asked for.
    if (deadline.Expired()) return timedOut();
    DWORD available = 0;
    if (!api.InternetQueryDataAvailable(handle.Get(), &available, 0, 0)) return fail();
    if (deadline.Expired()) return timedOut();
    const DWORD want = available == 0 ? 1 : std::min<DWORD>(available, sizeof block);
    if (!api.InternetReadFile(handle.Get(), block, want, &got)) return fail();
    if (got == 0) break;
    if (reply.Body.size() + got > MaxResponseBytes) {
      reply.ErrorCode = 0;
      reply.ErrorMessage = ResponseTooLargeText;
      return false;
    }
    reply.Body.append(block, got);
    if (progress.Received) progress.Received(reply.Body.size(), length);
  }
  if (wire.Trip() != TWireTrip::None) return tripped();
  // WinINet takes a reply without a status line, or one cut off before its
  // headers ended, for a 200 with no headers after it. Only a success that says
  // where its body ends, and that came whole, counts.
  if (reply.StatusNumeric && reply.StatusCode / 100 == 2 && reply.StatusCode != 204) {
    const std::optional<std::string> declared = QueryText(api, handle.Get(), HTTP_QUERY_CONTENT_LENGTH);
    const std::string encoding = QueryText(api, handle.Get(), HTTP_QUERY_TRANSFER_ENCODING).value_or("");
    const bool chunked = FindNoCase(encoding, "chunked") != std::string::npos;
    const char* broken = nullptr;
    if (!declared && !chunked) {
      broken = "The server's reply does not say where it ends.";
    } else if (!chunked && std::strtoull(declared->c_str(), nullptr, 10) != reply.Body.size()) {
      broken = "The server's reply ended before its body did.";
    }
    if (broken) {
      reply.ErrorCode = ERROR_HTTP_INVALID_SERVER_RESPONSE;
      reply.ErrorMessage = broken;
      return false;
    }
  }
  return true;
}

}  // namespace

TWebTimeouts& WebTimeouts() {
  static TWebTimeouts timeouts;
  return timeouts;
}

const char* const HeadersTooLongText = "The server's reply headers are too long.";

std::string SendDeadlineText(uint32_t sendMs) {
  return "The send did not finish within " + std::to_string((sendMs + 999) / 1000) + " seconds.";
}

TWinInetLibrary::TWinInetLibrary() {
  module_ = LoadLibraryA("wininet.dll");
  if (!module_) return;
  TWinInetApi& a = api_;
  bool ok = BindOne(module_, "InternetOpenA", a.InternetOpenA) &&
            BindOne(module_, "InternetConnectA", a.InternetConnectA) &&
            BindOne(module_, "HttpOpenRequestA", a.HttpOpenRequestA) &&
            BindOne(module_, "HttpAddRequestHeadersA", a.HttpAddRequestHeadersA) &&
            BindOne(module_, "HttpSendRequestA", a.HttpSendRequestA) &&
            BindOne(module_, "HttpSendRequestExA", a.HttpSendRequestExA) &&
            BindOne(module_, "InternetWriteFile", a.InternetWriteFile) &&
            BindOne(module_, "HttpEndRequestA", a.HttpEndRequestA) &&
            BindOne(module_, "HttpQueryInfoA", a.HttpQueryInfoA) &&
            BindOne(module_, "InternetCloseHandle", a.InternetCloseHandle) &&
            BindOne(module_, "InternetQueryOptionA", a.InternetQueryOptionA) &&
            BindOne(module_, "InternetSetOptionA", a.InternetSetOptionA) &&
            BindOne(module_, "FtpOpenFileA", a.FtpOpenFileA) &&
            BindOne(module_, "InternetGetLastResponseInfoA", a.InternetGetLastResponseInfoA) &&
            BindOne(module_, "InternetOpenUrlA", a.InternetOpenUrlA) &&
            BindOne(module_, "InternetReadFile", a.InternetReadFile) &&
            BindOne(module_, "InternetQueryDataAvailable", a.InternetQueryDataAvailable) &&
            BindOne(module_, "InternetGetConnectedState", a.InternetGetConnectedState);
  if (!ok) {
    FreeLibrary(module_);
    module_ = nullptr;
    api_ = TWinInetApi{};
    return;
  }
  InstallWireGuard(module_);
}

TWinInetLibrary::~TWinInetLibrary() {
  if (module_) FreeLibrary(module_);
}

bool BindWinInet() { return TWinInetLibrary().Bound(); }

std::string WinInetErrorText(const TWinInetApi& api, DWORD code) {
  if (api.InternetGetLastResponseInfoA) {
    DWORD size = 3000;
    std::string buffer(size, '\0');
    DWORD error = 0;
    DWORD length = size;
    BOOL ok = api.InternetGetLastResponseInfoA(&error, buffer.data(), &length);
    if (!ok && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
      size += 100;
      buffer.assign(size, '\0');
      length = size;
      ok = api.InternetGetLastResponseInfoA(&error, buffer.data(), &length);
    }
    if (ok && length > 0 && length < buffer.size()) {
      std::string text = Trimmed(std::string_view(buffer.data(), length));
      if (!text.empty()) return text;
    }
  }
  std::string_view row = WinInetTableText(code);
  if (!row.empty()) return std::string(row);
  return SystemErrorText(code);
}

TWinInetExchange::TWinInetExchange() = default;

TWinInetExchange::~TWinInetExchange() { Close(); }

bool TWinInetExchange::Open(const TConnectTarget& target, std::string& error) {
  if (!library_.Bound()) {
    error = "wininet.dll";
    return false;
  }
  target_ = target;
  DWORD code = OpenSession(library_.Api(), target, INTERNET_SERVICE_HTTP,
                           INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_KEEP_CONNECTION, internet_, connection_);
  if (code) error = WinInetErrorText(library_.Api(), code);
  if (code == 0) deadline_.Arm(WebTimeouts().SendMs);
  return code == 0;
}

bool TWinInetExchange::Close() {
  if (!library_.Bound()) return true;
  bool ok = true;
  if (connection_) ok = library_.Api().InternetCloseHandle(connection_) && ok;
  if (internet_) ok = library_.Api().InternetCloseHandle(internet_) && ok;
  connection_ = internet_ = nullptr;
  return ok;
}

bool TWinInetExchange::Exchange(const TExchangeRequest& request, TExchangeReply& reply, const TProgress& progress) {
  if (!connection_) {
    reply.ErrorCode = ERROR_INVALID_HANDLE;
    reply.ErrorMessage = SystemErrorText(ERROR_INVALID_HANDLE);
    return false;
  }
  return RunRequest(library_.Api(), connection_, target_, request, reply, progress, deadline_);
}

std::unique_ptr<THTTPConnectionBase> CreateWinInetConnection(const std::string& url, const std::string& proxy,
                                                             TWebProgressSink sink) {
  return std::make_unique<THTTPConnection>(std::make_unique<TWinInetExchange>(), url, proxy, std::move(sink));
}

void SetUploadProxy(const std::string& hostAndPort, const std::string& user, const std::string& password) {
  TProxySettings& p = UploadProxy();
  std::lock_guard<std::mutex> lock(p.Lock);
  p.HostAndPort = hostAndPort;
  p.User = user;
  p.Password = password;
}

namespace {

TConnectTarget UploadTarget(const TUploadRequest& request, const TUrlParts& url) {
  TConnectTarget target;
  target.Host = url.Host;
  target.Secure = request.Secure;
  TUrlParts scheme = url;
  if (request.Secure) scheme.Scheme = "https";
  target.Port = static_cast<uint16_t>(request.Port ? request.Port : DefaultPort(scheme));
  target.User = request.User.empty() ? url.User : request.User;
  target.Password = request.Password.empty() ? url.Password : request.Password;
  TProxySettings& p = UploadProxy();
  std::lock_guard<std::mutex> lock(p.Lock);
  if (!p.HostAndPort.empty() && p.HostAndPort.front() != ':') {
    TUrlParts proxy = SplitUrl(p.HostAndPort);
    target.ProxyUsed = true;
    target.ProxyHost = proxy.Host;
    target.ProxyPort = static_cast<uint16_t>(proxy.Port ? proxy.Port : 8080);
    target.ProxyUser = p.User;
    target.ProxyPassword = p.Password;
  }
  return target;
}

// What both uploads open first: WinINet, the URL's server and a session with it.
struct TUploadSession {
  TWinInetLibrary Library;
  TUrlParts Url;
  TConnectTarget Target;
  HINTERNET Internet = nullptr;
  HINTERNET Connection = nullptr;
  TSessionDeadline Deadline;
  // FTP talks on its connection from the start (greeting, login, each store): the
  // guard holds the whole session to the deadline. HTTP requests bring their own.
  std::optional<TWireGuard> Wire;
  ~TUploadSession() {
    if (Connection) Library.Api().InternetCloseHandle(Connection);
    if (Internet) Library.Api().InternetCloseHandle(Internet);
  }
  // Whether the deadline ended the session, and if so its code and text.
  bool TimedOut(DWORD& code, std::string& errorText) const {
    if (!Deadline.Expired() && !(Wire && Wire->Trip() == TWireTrip::Deadline)) return false;
    code = SendDeadlineCode;
    errorText = SendDeadlineText(Deadline.Limit());
    return true;
  }
};

// 0 with the session open, or the upload's failure code (-1: no WinINet).
int OpenUpload(const TUploadRequest& request, DWORD service, DWORD flags, uint16_t defaultPort,
               TUploadSession& session, std::string& errorText) {
  if (!session.Library.Bound()) return -1;
  session.Url = SplitUrl(request.Url);
  if (!session.Url.Valid || request.Port > 65535) {
    errorText = std::string(WinInetTableText(ERROR_INTERNET_INVALID_URL));
    return ERROR_INTERNET_INVALID_URL;
  }
  TConnectTarget& target = session.Target;
  target = UploadTarget(request, session.Url);
  if (defaultPort)
    target.Port = static_cast<uint16_t>(request.Port ? request.Port : session.Url.Port ? session.Url.Port : defaultPort);
  if (request.Progress) request.Progress(0, 0, 0);
  session.Deadline.Arm(WebTimeouts().SendMs);
  if (service == INTERNET_SERVICE_FTP) session.Wire.emplace(session.Deadline.StartedTick(), session.Deadline.Limit(), true);
  DWORD code = OpenSession(session.Library.Api(), target, service, flags, session.Internet, session.Connection);
  if (code) {
    errorText = WinInetErrorText(session.Library.Api(), code);
    session.TimedOut(code, errorText);
    return static_cast<int>(code);
  }
  if (request.Progress) request.Progress(1, 0, 0);
  return 0;
}

}  // namespace

int UploadHttp(const TUploadRequest& request, std::string& errorText) {
  TUploadSession session;
  int opened = OpenUpload(request, INTERNET_SERVICE_HTTP, INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_KEEP_CONNECTION,
                          0, session, errorText);
  if (opened) return opened;
  const TWinInetApi& api = session.Library.Api();
  const TUrlParts& url = session.Url;

  TFieldList files;
  for (size_t i = 0; i < request.Files.size(); ++i)
    files.emplace_back("ql_upload_file_" + std::to_string(i), request.Files[i]);
  const std::string oversized = OversizedFile(files);
  if (!oversized.empty()) {
    errorText = OversizedFileText(oversized);
    return ERROR_FILE_TOO_LARGE;
  }
  static uint32_t seed = GetTickCount();
  auto digit = [] {
    seed = seed * 1103515245u + 12345u;
    return static_cast<uint16_t>((seed >> 8) % 65535);
  };
  std::string boundary = MultipartBoundary(digit(), digit(), digit());
  TExchangeRequest post;
  post.Method = "POST";
  post.Object = url.Directory + url.Page + (url.Query.empty() ? "" : "?" + url.Query);
  post.ContentType = "multipart/form-data; boundary=" + boundary;
  post.Body = MultipartBody(boundary, request.WebFields, files);
  post.NoCookies = true;
  TPageExchange::TProgress progress;
  progress.Sent = [&](uint64_t done, uint64_t total) {
    if (request.Progress) request.Progress(2, done, total);
  };
  TExchangeReply reply;
  if (!RunRequest(api, session.Connection, session.Target, post, reply, progress, session.Deadline)) {
    errorText = reply.ErrorMessage;
    return reply.ErrorCode ? static_cast<int>(reply.ErrorCode) : ERROR_INTERNET_INTERNAL_ERROR;
  }
  if (!reply.StatusNumeric) {
    errorText = reply.StatusText;
    return 0x7FFFFFFF;
  }
  if (reply.StatusCode == 200) return 0;
  errorText = reply.StatusText;
  return reply.StatusCode;
}

int UploadFtp(const TUploadRequest& request, std::string& errorText) {
  TUploadSession session;
  // Passive transfers: an active one needs the server to connect back to us.
  int opened = OpenUpload(request, INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, INTERNET_DEFAULT_FTP_PORT, session,
                          errorText);
  if (opened) return opened;
  const TWinInetApi& api = session.Library.Api();
  const TUrlParts& url = session.Url;
  DWORD code = 0;
  std::string folder = url.Directory + url.Page;
  if (folder.empty() || folder.back() != '/') folder += '/';
  const TSessionDeadline& deadline = session.Deadline;
  auto failed = [&](DWORD fallback) {
    code = GetLastError();
    errorText = WinInetErrorText(api, code);
    session.TimedOut(code, errorText);
    return static_cast<int>(code ? code : fallback);
  };
  for (const auto& path : request.Files) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) continue;
    const uint64_t total = static_cast<uint64_t>(std::max<std::streamoff>(0, in.tellg()));
    in.seekg(0);
    std::string remote = folder + FileNameOnly(path);
    TInetHandle file(api,
                     api.FtpOpenFileA(session.Connection, remote.c_str(), GENERIC_WRITE, FTP_TRANSFER_TYPE_BINARY, 0));
    if (!file) return failed(ERROR_INTERNET_INTERNAL_ERROR);
    // In blocks from the file: an archive of any size is never held whole.
    std::vector<char> block(64 * 1024);
    uint64_t done = 0;
    while (done < total) {
      in.read(block.data(), static_cast<std::streamsize>(std::min<uint64_t>(block.size(), total - done)));
      const std::streamsize got = in.gcount();
      if (got <= 0) {
        // The file shrank or failed midway: what went out is not the archive.
        errorText = "Cannot read \"" + FileNameOnly(path) + "\".";
        return ERROR_READ_FAULT;
      }
      for (std::streamsize at = 0; at < got;) {
        const DWORD piece = static_cast<DWORD>(std::min<std::streamsize>(got - at, 1024));
        DWORD written = 0;
        if (deadline.Expired() || !api.InternetWriteFile(file.Get(), block.data() + at, piece, &written) ||
            written != piece) {
          if (deadline.Expired()) SetLastError(SendDeadlineCode);
          return failed(ERROR_INTERNET_INTERNAL_ERROR);
        }
        at += piece;
        if (request.Progress) request.Progress(2, done + static_cast<uint64_t>(at), total);
      }
      done += static_cast<uint64_t>(got);
    }
    // The server answers the store only when the data connection closes; not
    // every system turns a refusal there into a failed close, so its answer is
    // read too.
    const bool closed = file.Close();
    std::string answer;
    const int answerCode = LastResponseCode(api, answer);
    if (!closed || answerCode >= 400) {
      code = closed ? ERROR_INTERNET_EXTENDED_ERROR : GetLastError();
      errorText = answer.empty() ? WinInetErrorText(api, code) : answer;
      session.TimedOut(code, errorText);
      return static_cast<int>(code ? code : ERROR_INTERNET_EXTENDED_ERROR);
    }
  }
  return 0;
}

}  // namespace exclog
