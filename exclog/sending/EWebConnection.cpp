#include "exclog/sending/EWebConnection.h"

#include <random>

#include "exclog/core/EBase64.h"
#include "exclog/sending/EWebForms.h"

namespace exclog {

void THTTPResponse::Assign(const THTTPResponse* source) {
  if (!source) throw Exception("Cannot assign a THTTPResponse class to a NIL value.");
  StatusCode = source->StatusCode;
  StatusText = source->StatusText;
  RawHeaders = source->RawHeaders;
  Content = source->Content;
  Document = source->Document;
  ErrorCode = source->ErrorCode;
  ErrorMessage = source->ErrorMessage;
}

void THTTPResponse::Clear() {
  StatusCode = 0;
  StatusText.clear();
  RawHeaders.clear();
  Content.clear();
  Document.clear();
  ErrorCode = 0;
  ErrorMessage.clear();
}

THTTPConnectionBase::THTTPConnectionBase(std::unique_ptr<TPageExchange> exchange,
                                         const std::string& url, const std::string& proxy)
    : exchange_(std::move(exchange)) {
  TUrlParts parts = SplitUrl(url);
  urlValid_ = parts.Valid;
  target_.Host = parts.Host;
  target_.Secure = IsHttpsScheme(parts.Scheme);
  target_.Port = static_cast<uint16_t>(DefaultPort(parts));
  target_.User = parts.User;
  target_.Password = parts.Password;
  path_ = parts.Directory;
  url_ = path_ + parts.Page;
  if (!proxy.empty() && proxy.front() != ':') {
    TUrlParts p = SplitUrl(proxy);
    target_.ProxyUsed = true;
    target_.ProxyHost = p.Host;
    target_.ProxyPort = static_cast<uint16_t>(p.Port ? p.Port : 8080);
    target_.ProxyUser = p.User;
    target_.ProxyPassword = p.Password;
    if (!p.Valid) urlValid_ = false;
  }
  BoundaryDigits = [] {
    static thread_local std::mt19937 random{std::random_device{}()};
    return static_cast<uint16_t>(random() % 65535);
  };
}

THTTPConnectionBase::~THTTPConnectionBase() {
  if (opened_ && exchange_) exchange_->Close();
}

void THTTPConnectionBase::SetCredentials(const std::string& user, const std::string& password,
                                         uint32_t port) {
  if (!user.empty()) target_.User = user;
  if (!password.empty()) target_.Password = password;
  if (port > 65535) urlValid_ = false;
  else if (port) target_.Port = static_cast<uint16_t>(port);
}

void THTTPConnectionBase::SetProxyCredentials(const std::string& user, const std::string& password) {
  if (!user.empty()) target_.ProxyUser = user;
  if (!password.empty()) target_.ProxyPassword = password;
}

void THTTPConnectionBase::Open() {
  Notify(0);
  std::string error;
  if (!urlValid_ || !exchange_ || !exchange_->Open(target_, error))
    throw EHTTPConnectionError("Cannot create an HTTP connection with the host: " + target_.Host);
  opened_ = true;
  Notify(1);
}

void THTTPConnectionBase::Close() {
  Notify(8);
  bool ok = !opened_ || !exchange_ || exchange_->Close();
  opened_ = false;
  if (!ok) throw EHTTPConnectionError("Cannot close the HTTP connection with the host: " + target_.Host);
  Notify(9);
}

void THTTPConnectionBase::Notify(int, int) {}

void THTTPConnectionBase::Navigate(const std::string& page, uint8_t kind) {
  url_ = path_ + page;
  requestKind_ = kind;
  formFields_.clear();
  fileFields_.clear();
}

void THTTPConnectionBase::AddField(const std::string& name, const std::string& value) {
  formFields_.emplace_back(name, value);
}

void THTTPConnectionBase::AddFileField(const std::string& name, const std::string& path) {
  fileFields_.emplace_back(name, path);
}

void THTTPConnectionBase::AddInputField(const std::string& name) {
  if (auto v = FindInput(response_.Content, name)) AddField(name, *v);
}

void THTTPConnectionBase::AddTextAreaField(const std::string& name) {
  if (auto v = FindTextArea(response_.Content, name)) AddField(name, *v);
}

void THTTPConnectionBase::AddSelectField(const std::string& name) {
  if (!HasSelect(response_.Content, name)) {
    AddInputField(name);
    return;
  }
  if (auto v = FindSelected(response_.Content, name)) AddField(name, *v);
}

void THTTPConnectionBase::AddSelectFieldIfSet(const std::string& name) {
  std::optional<std::string> v = HasSelect(response_.Content, name)
                                     ? FindSelected(response_.Content, name)
                                     : FindInput(response_.Content, name);
  if (v && !v->empty()) AddField(name, *v);
}

void THTTPConnectionBase::AddSelectOptionField(const std::string& name, const std::string& optionText) {
  if (auto v = FindOption(response_.Content, name, optionText)) {
    AddField(name, *v);
    return;
  }
  if (auto v = FindSelected(response_.Content, name)) AddField(name, *v);
}

void THTTPConnectionBase::AddCustomFields(const std::vector<std::string>& lines) {
  if (lines.size() <= 4) return;
  std::vector<std::string> own(lines.begin(), lines.end() - 4);
  for (const auto& f : FieldsFromLines(own)) {
    if (f.first.empty()) continue;
    SetField(formFields_, f.first, f.second);
  }
}

void THTTPConnectionBase::AddSummaryField(const std::string& name, const std::string& version,
                                          const std::string& text, const std::string& id) {
  AddField(name, "[v" + version + " - 1]: " + text + " (" + id + ")");
}

void THTTPConnectionBase::AddSearchField(const std::string& name, const std::string& text,
                                         const std::string& id) {
  AddField(name, text + " (" + id + ")");
}

bool THTTPConnectionBase::BumpCounterField(const std::string& name) {
  std::optional<std::string> value = FindInput(response_.Content, name);
  if (!value) return true;
  size_t dash = value->find(" - ");
  if (dash != std::string::npos) {
    size_t from = dash + 3;
    size_t to = value->find(']', from);
    if (to == std::string::npos) to = value->size();
    std::string digits = value->substr(from, to - from);
    bool numeric = !digits.empty() && digits.find_first_not_of("0123456789") == std::string::npos;
    if (numeric) {
      // Saturating: any number of 9999 or more leaves the title alone.
      uint32_t counter = 0;
      for (char c : digits) {
        counter = counter * 10 + static_cast<uint32_t>(c - '0');
        if (counter >= 9999) return false;
      }
      value->replace(from, to - from, std::to_string(counter + 1));
    }
  }
  AddField(name, *value);
  return true;
}

bool THTTPConnectionBase::ExchangeOnce(const TExchangeRequest& request, TExchangeReply& reply,
                                       bool withProgress) {
  TPageExchange::TProgress progress;
  if (withProgress) {
    progress.Sent = [this](uint64_t written, uint64_t total) { Notify(6, UploadProgress(written, total)); };
    progress.Received = [this](uint64_t read, uint64_t length) { Notify(6, DownloadProgress(read, length)); };
  }
  return exchange_ && opened_ && exchange_->Exchange(request, reply, progress);
}

bool THTTPConnectionBase::Execute(THTTPResponse* response, bool withProgress) {
  response_.Clear();
  auto fail = [&](uint32_t code, const std::string& message) {
    response_.ErrorCode = code;
    response_.ErrorMessage = message;
    if (response) response->Assign(&response_);
    return false;
  };
  std::string object = url_;
  for (int hop = 0;; ++hop) {
    TUrlParts split = SplitUrl(object);
    TExchangeRequest request;
    switch (requestKind_) {
      case RequestPostForm:
        request.Method = "POST";
        request.Object = split.Directory + split.Page + (split.Query.empty() ? "" : "?" + split.Query);
        request.ContentType = "application/x-www-form-urlencoded";
        request.Body = FormBody(formFields_);
        break;
      case RequestPostMultipart: {
        request.Method = "POST";
        request.Object = split.Directory + split.Page + (split.Query.empty() ? "" : "?" + split.Query);
        std::string boundary = MultipartBoundary(BoundaryDigits(), BoundaryDigits(), BoundaryDigits());
        request.ContentType = "multipart/form-data; boundary=" + boundary;
        const std::string oversized = OversizedFile(fileFields_);
        if (!oversized.empty()) return fail(0, OversizedFileText(oversized));
        request.Body = MultipartBody(boundary, formFields_, fileFields_);
        break;
      }
      default:
        request.Method = "GET";
        request.Object = split.Directory + split.Page + QueryWithFields(split.Query, formFields_);
        break;
    }
    TExchangeReply reply;
    if (!ExchangeOnce(request, reply, withProgress))
      return fail(reply.ErrorCode, reply.ErrorMessage);
    if (reply.Body.size() > MaxResponseBytes) return fail(0, ResponseTooLargeText);
    std::optional<std::string> target = RedirectTarget(reply.StatusCode, reply.Location, reply.Refresh);
    if (target) {
      // A page that sends us round in circles must not hold the sending forever.
      if (hop >= MaxRedirects) return fail(0, TooManyRedirectsText);
      object = RedirectObject(split.Directory, *target);
      url_ = object;
      requestKind_ = RequestGet;
      formFields_.clear();
      fileFields_.clear();
      continue;
    }
    if (withProgress) Notify(7);
    BlankControlCharacters(reply.Body);
    response_.StatusCode = reply.StatusCode;
    response_.StatusText = reply.StatusText;
    response_.RawHeaders = reply.RawHeaders;
    response_.Content = std::move(reply.Body);
    response_.Document = split.Page;
    url_ = object;
    if (response) response->Assign(&response_);
    return true;
  }
}

bool THTTPConnectionBase::Check(const std::string& page, const std::string& mustContain,
                                const std::string& mustNotContain) const {
  if (!page.empty() && !SameTextNoCase(response_.Document, page)) return false;
  if (!mustContain.empty() && FindNoCase(response_.Content, mustContain) == std::string::npos) return false;
  if (!mustNotContain.empty() && FindNoCase(response_.Content, mustNotContain) != std::string::npos)
    return false;
  return true;
}

void THTTPConnection::Notify(int event, int value) {
  TNotifyStep step = NotifyStep(event, value);
  if (step.TextIndex >= 0 && sink_.SetStatus && sink_.Text) sink_.SetStatus(sink_.Text(step.TextIndex));
  if (step.Reset && sink_.ResetPercent) sink_.ResetPercent();
  if (step.Add && sink_.AddPercent) sink_.AddPercent(step.Add);
  if (step.SetTo >= 0 && sink_.SetPercent) sink_.SetPercent(step.SetTo);
}

}  // namespace exclog
