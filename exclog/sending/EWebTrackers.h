#pragma once
// Filing a report in a bug tracker by walking its ordinary web pages: log in,
// search for a report of the same error (its bug identifier stands in the title in
// parentheses), then raise that report's counter or enter a new one with the
// archive attached. Pure over the connection: the program gives a WinINet
// connection, tests a scripted one.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "exclog/sending/EWebConnection.h"

namespace exclog {

// Result codes of a dialogue.
enum : int {
  TrackerOk = 0,
  TrackerClosed = 1,
  TrackerUnknown = 2,
  TrackerLoginFailed = 3,
  TrackerProjectFailed = 4,
  TrackerSearchFailed = 5,
  TrackerInsertFailed = 6,
  TrackerModifyFailed = 7,
};

struct TTrackerInput {
  std::string Url;
  uint32_t Port = 0;     // 0: the URL's own
  std::string HttpUser;  // Basic authorisation; empty: the URL's own
  std::string HttpPassword;
  std::string Proxy;     // "host:port", or ":" (or empty) for none
  std::string ProxyUser;
  std::string ProxyPassword;
  std::string Login;
  std::string Password;
  std::string AssignedTo;
  std::string Project;
  std::string Category;  // Mantis category, Bugzilla component, FogBugz area
  std::string Version;
  std::string Text;         // the exception message
  std::string Description;  // the short error description
  std::string BugId;
  std::string Attachment;   // the archive; empty: none
  // The web field lines, then "FogBugzTrialID=", "QL_OSType=", "QL_OSBuild=" and
  // "QL_ReproduceText=" lines, always last.
  std::vector<std::string> Fields;
  // Text of the program's ANSI code page to UTF-8 (Mantis pages are UTF-8).
  std::function<std::string(const std::string&)> AnsiToUtf8;
};

// Makes an unopened connection for a URL and a proxy text.
using TConnectionFactory =
    std::function<std::unique_ptr<THTTPConnectionBase>(const std::string& url, const std::string& proxy)>;

class THTTPSendReport {
 public:
  explicit THTTPSendReport(TConnectionFactory factory) : factory_(std::move(factory)) {}
  virtual ~THTTPSendReport() = default;
  // Runs the dialogue; `response` receives the last page. A connection that cannot
  // be opened raises EHTTPConnectionError out of Send; the connection is freed on
  // every way out.
  int Send(const TTrackerInput& input, THTTPResponse* response);

 protected:
  virtual int Dialogue(THTTPConnectionBase& c, const TTrackerInput& input) = 0;

 private:
  TConnectionFactory factory_;
};

class THTTPMantisSendReport : public THTTPSendReport {
 public:
  using THTTPSendReport::THTTPSendReport;

 protected:
  int Dialogue(THTTPConnectionBase& c, const TTrackerInput& input) override;
};

class THTTPBugzillaSendReport : public THTTPSendReport {
 public:
  using THTTPSendReport::THTTPSendReport;

 protected:
  int Dialogue(THTTPConnectionBase& c, const TTrackerInput& input) override;
};

class THTTPFogBugzSendReport : public THTTPSendReport {
 public:
  using THTTPSendReport::THTTPSendReport;

 protected:
  int Dialogue(THTTPConnectionBase& c, const TTrackerInput& input) override;
};

}  // namespace exclog
