#pragma once
// A browser-like HTTP connection for the tracker dialogues: the response record,
// the page-exchange interface that carries one request (WinINet in the program,
// a scripted fake in tests), and the connection that builds requests from its form
// fields, follows redirects and reads forms off the last page.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "classlib/SysUtils.h"
#include "exclog/sending/EWebTools.h"

namespace exclog {

// The connection could not be created or closed; the message names the host.
VELMORA_EXCEPTION(EHTTPConnectionError, Exception)

class THTTPResponse {
 public:
  virtual ~THTTPResponse() = default;
  int32_t StatusCode = 0;
  std::string StatusText;
  std::string RawHeaders;
  std::string Content;   // the page body, control characters turned into blanks
  std::string Document;  // the page name of the final URL
  uint32_t ErrorCode = 0;
  std::string ErrorMessage;

  // Copies every field; a null source raises Exception("Cannot assign a
  // THTTPResponse class to a NIL value.").
  virtual void Assign(const THTTPResponse* source);
  virtual void Clear();
};

// Request kinds of a connection.
enum : uint8_t { RequestGet = 0, RequestPostForm = 1, RequestPostMultipart = 2 };

// Where a connection goes and how.
struct TConnectTarget {
  std::string Host;
  uint16_t Port = 80;
  bool Secure = false;
  std::string User;
  std::string Password;
  bool ProxyUsed = false;
  std::string ProxyHost;
  uint16_t ProxyPort = 8080;
  std::string ProxyUser;
  std::string ProxyPassword;
};

// One request on an open connection.
struct TExchangeRequest {
  std::string Method;  // "GET" or "POST"
  std::string Object;  // directory + page + "?" query
  std::string ContentType;  // empty: no content-type header
  std::string Body;
  bool NoCookies = false;
};

// What came back. A failed call fills ErrorCode (and ErrorMessage) and returns
// false from Exchange.
struct TExchangeReply {
  int32_t StatusCode = 0;
  bool StatusNumeric = true;  // false when the status line held no number
  std::string StatusText;
  std::string RawHeaders;
  std::string Location;
  std::string Refresh;
  std::string Body;
  uint32_t ErrorCode = 0;
  std::string ErrorMessage;
};

// Carries requests to one server. Progress: `written` of `total` body bytes sent
// after each block and once more when the request has ended, then `read` of
// `length` reply bytes received.
class TPageExchange {
 public:
  struct TProgress {
    std::function<void(uint64_t written, uint64_t total)> Sent;
    std::function<void(uint64_t read, uint64_t length)> Received;
  };
  virtual ~TPageExchange() = default;
  // Opens the session and the connection; false with `error` filled on failure.
  virtual bool Open(const TConnectTarget& target, std::string& error) = 0;
  // Closes what Open made; false when a handle would not close.
  virtual bool Close() = 0;
  virtual bool Exchange(const TExchangeRequest& request, TExchangeReply& reply,
                        const TProgress& progress) = 0;
};

class THTTPConnectionBase {
 public:
  // Splits `url` and `proxy` (a proxy text starting with ":" is none); does not
  // open. A URL whose port is not a valid number opens with the connection error.
  THTTPConnectionBase(std::unique_ptr<TPageExchange> exchange, const std::string& url,
                      const std::string& proxy);
  virtual ~THTTPConnectionBase();
  THTTPConnectionBase(const THTTPConnectionBase&) = delete;
  THTTPConnectionBase& operator=(const THTTPConnectionBase&) = delete;

  // Credentials and port given apart from the URL (empty or 0: the URL's own).
  void SetCredentials(const std::string& user, const std::string& password, uint32_t port);
  void SetProxyCredentials(const std::string& user, const std::string& password);

  // Raises EHTTPConnectionError("Cannot create an HTTP connection with the host: %s").
  virtual void Open();
  // Raises EHTTPConnectionError("Cannot close the HTTP connection with the host: %s").
  virtual void Close();
  virtual void Notify(int event, int value = 0);

  // The next exchange goes to the base path + `page` with `kind`; clears the fields.
  void Navigate(const std::string& page, uint8_t kind);
  void AddField(const std::string& name, const std::string& value);
  void AddFileField(const std::string& name, const std::string& path);
  // Form operations on the last page; each adds a field only when it found a value.
  void AddInputField(const std::string& name);
  void AddTextAreaField(const std::string& name);
  void AddSelectField(const std::string& name);
  void AddSelectFieldIfSet(const std::string& name);
  void AddSelectOptionField(const std::string& name, const std::string& optionText);
  // Every name=value line except the last 4 replaces a field of that name or is added.
  void AddCustomFields(const std::vector<std::string>& lines);
  void AddSummaryField(const std::string& name, const std::string& version,
                       const std::string& text, const std::string& id);
  void AddSearchField(const std::string& name, const std::string& text, const std::string& id);
  // Adds the input `name` with the counter after " - " raised by one; false (and
  // nothing added) when the counter reads 9999 or more.
  bool BumpCounterField(const std::string& name);

  // One page exchange with redirects; false with the response's error filled.
  bool Execute(THTTPResponse* response, bool withProgress);
  bool Check(const std::string& page, const std::string& mustContain,
             const std::string& mustNotContain = "") const;

  const THTTPResponse& Response() const { return response_; }
  const TFieldList& FormFields() const { return formFields_; }
  const TConnectTarget& Target() const { return target_; }
  const std::string& Path() const { return path_; }
  const std::string& Url() const { return url_; }
  uint8_t RequestKind() const { return requestKind_; }
  // Random source of the multipart boundary digits (tests fix it).
  std::function<uint16_t()> BoundaryDigits;

 protected:
  bool opened_ = false;

 private:
  bool ExchangeOnce(const TExchangeRequest& request, TExchangeReply& reply, bool withProgress);
  std::unique_ptr<TPageExchange> exchange_;
  TConnectTarget target_;
  bool urlValid_ = true;
  std::string path_;  // directory of the URL, ends with "/"
  std::string url_;   // object of the next exchange (directory + page + query)
  uint8_t requestKind_ = RequestGet;
  TFieldList fileFields_;
  TFieldList formFields_;
  THTTPResponse response_;
};

// Texts and bar moves of the send-progress window.
struct TWebProgressSink {
  std::function<std::string(int index)> Text;  // the options' text table
  std::function<void(const std::string&)> SetStatus;
  std::function<void()> ResetPercent;
  std::function<void(int)> SetPercent;
  std::function<void(int)> AddPercent;
};

// The connection the dialogues use: its events move the send-progress window.
class THTTPConnection : public THTTPConnectionBase {
 public:
  THTTPConnection(std::unique_ptr<TPageExchange> exchange, const std::string& url,
                  const std::string& proxy, TWebProgressSink sink)
      : THTTPConnectionBase(std::move(exchange), url, proxy), sink_(std::move(sink)) {}
  void Notify(int event, int value = 0) override;

 private:
  TWebProgressSink sink_;
};

}  // namespace exclog
