#pragma once
// A scripted page exchange for the connection and tracker tests: each request is
// logged and answered by the handler of its page name (the object's page, without
// folder and query); a page without a handler answers 404.
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "exclog/sending/EWebConnection.h"

namespace exclog::test {

struct TScript {
  std::map<std::string, std::function<TExchangeReply(const TExchangeRequest&)>> Pages;
  std::vector<TExchangeRequest> Log;
  bool OpenOk = true;
  int Opens = 0;
  int Closes = 0;
};

inline TExchangeReply Page(const std::string& body) {
  TExchangeReply r;
  r.StatusCode = 200;
  r.StatusText = "OK";
  r.Body = body;
  return r;
}

inline TExchangeReply Redirect(const std::string& location, int status = 302) {
  TExchangeReply r;
  r.StatusCode = status;
  r.Location = location;
  return r;
}

class TScriptedExchange : public TPageExchange {
 public:
  explicit TScriptedExchange(std::shared_ptr<TScript> script) : script_(std::move(script)) {}
  bool Open(const TConnectTarget&, std::string& error) override {
    ++script_->Opens;
    if (!script_->OpenOk) error = "refused";
    return script_->OpenOk;
  }
  bool Close() override {
    ++script_->Closes;
    return true;
  }
  bool Exchange(const TExchangeRequest& request, TExchangeReply& reply, const TProgress& progress) override {
    script_->Log.push_back(request);
    if (progress.Sent) progress.Sent(request.Body.size(), request.Body.size());
    auto it = script_->Pages.find(SplitUrl(request.Object).Page);
    if (it == script_->Pages.end()) {
      reply.StatusCode = 404;
      reply.StatusText = "Not Found";
      return true;
    }
    reply = it->second(request);
    if (reply.ErrorCode == 0 && progress.Received) progress.Received(reply.Body.size(), reply.Body.size());
    return reply.ErrorCode == 0;
  }

 private:
  std::shared_ptr<TScript> script_;
};

// The web field lines and the four lines the pipeline puts after them.
inline std::vector<std::string> TrackerFieldLines(const std::vector<std::string>& webFields,
                                                  const std::string& fogBugzTrialId, const std::string& osType,
                                                  const std::string& osBuild, const std::string& reproduceText) {
  std::vector<std::string> lines = webFields;
  lines.push_back("FogBugzTrialID=" + fogBugzTrialId);
  lines.push_back("QL_OSType=" + osType);
  lines.push_back("QL_OSBuild=" + osBuild);
  lines.push_back("QL_ReproduceText=" + reproduceText);
  return lines;
}

// The request's form fields: those of its query, then the body of a form post or
// the parts of a multipart post (files as name=file name).
TFieldList RequestFields(const TExchangeRequest& request);

}  // namespace exclog::test
