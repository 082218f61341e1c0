#include "exclog/sending/EWinInet_win.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <mutex>
#include <optional>

#include "exclog/core/EBase64.h"

namespace exclog {

namespace {

template <class F>
bool BindOne(HMODULE module, const char* name, F& slot) {
  slot = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  return slot != nullptr;
}

// One WinINet handle, closed on every way out.
class TInetHandle {
 public:
  TInetHandle(const TWinInetApi& api, HINTERNET handle) : api_(api), handle_(handle) {}
  ~TInetHandle() {
    if (handle_) api_.InternetCloseHandle(handle_);
  }
  TInetHandle(const TInetHandle&) = delete;
  TInetHandle& operator=(const TInetHandle&) = delete;
  HINTERNET Get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }

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

// Session and connection for one target; the error code of the failed call, 0 on
// success.
DWORD OpenSession(const TWinInetApi& api, const TConnectTarget& target, DWORD service,
                  DWORD connectFlags, HINTERNET& internet, HINTERNET& connection) {
  std::string proxy = target.ProxyHost + ":" + std::to_string(target.ProxyPort);
  internet = api.InternetOpenA("QuelbaLog", target.ProxyUsed ? INTERNET_OPEN_TYPE_PROXY : INTERNET_OPEN_TYPE_PRECONFIG,
                               target.ProxyUsed ? proxy.c_str() : nullptr,
                               target.ProxyUsed ? "<local>" : nullptr, 0);
  if (!internet) return GetLastError();
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

// One request on an open HTTP connection, the reply read whole.
bool RunRequest(const TWinInetApi& api, HINTERNET connection, const TConnectTarget& target,
                const TExchangeRequest& request, TExchangeReply& reply, const TPageExchange::TProgress& progress) {
  auto fail = [&]() {
    reply.ErrorCode = GetLastError();
    reply.ErrorMessage = WinInetErrorText(api, reply.ErrorCode);
    return false;
  };
  DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_KEEP_CONNECTION |
                INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP |
                INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS | INTERNET_FLAG_NO_UI;
  // The server's certificate is checked in full (authority, name, dates): tracker
  // passwords and Basic credentials must not reach an impostor.
  if (target.Secure) flags |= INTERNET_FLAG_SECURE;
  if (request.NoCookies) flags |= INTERNET_FLAG_NO_COOKIES;
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
        return api.InternetWriteFile(handle.Get(), data, static_cast<DWORD>(size), &done) && done == size;
      },
      [&](uint64_t done) {
        if (progress.Sent) progress.Sent(done, total);
      });
  if (!written) return fail();
  if (!api.HttpEndRequestA(handle.Get(), nullptr, 0, 0)) return fail();
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
    if (!api.InternetReadFile(handle.Get(), block, sizeof block, &got)) return fail();
    if (got == 0) break;
    if (reply.Body.size() + got > MaxResponseBytes) {
      reply.ErrorCode = 0;
      reply.ErrorMessage = ResponseTooLargeText;
      return false;
    }
    reply.Body.append(block, got);
    if (progress.Received) progress.Received(reply.Body.size(), length);
  }
  return true;
}

}  // namespace

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
            BindOne(module_, "InternetGetConnectedState", a.InternetGetConnectedState);
  if (!ok) {
    FreeLibrary(module_);
    module_ = nullptr;
    api_ = TWinInetApi{};
  }
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
  return RunRequest(library_.Api(), connection_, target_, request, reply, progress);
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
  ~TUploadSession() {
    if (Connection) Library.Api().InternetCloseHandle(Connection);
    if (Internet) Library.Api().InternetCloseHandle(Internet);
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
  DWORD code = OpenSession(session.Library.Api(), target, service, flags, session.Internet, session.Connection);
  if (code) {
    errorText = WinInetErrorText(session.Library.Api(), code);
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
  if (!RunRequest(api, session.Connection, session.Target, post, reply, progress)) {
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
  for (const auto& path : request.Files) {
    std::ifstream in(path, std::ios::binary);
    if (!in) continue;
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string remote = folder + FileNameOnly(path);
    TInetHandle file(api, api.FtpOpenFileA(session.Connection, remote.c_str(), GENERIC_WRITE, FTP_TRANSFER_TYPE_BINARY, 0));
    if (!file) {
      code = GetLastError();
      errorText = WinInetErrorText(api, code);
      return static_cast<int>(code);
    }
    const uint64_t total = bytes.size();
    bool ok = WriteInBlocks(
        bytes, 1024,
        [&](const char* data, size_t size) {
          DWORD done = 0;
          return api.InternetWriteFile(file.Get(), data, static_cast<DWORD>(size), &done) && done == size;
        },
        [&](uint64_t done) {
          if (request.Progress) request.Progress(2, done, total);
        });
    if (!ok) {
      code = GetLastError();
      errorText = WinInetErrorText(api, code);
      return static_cast<int>(code ? code : ERROR_INTERNET_INTERNAL_ERROR);
    }
  }
  return 0;
}

}  // namespace exclog
