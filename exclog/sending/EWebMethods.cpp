#include "exclog/sending/EWebMethods.h"

#include "exclog/sending/ESendState.h"

namespace exclog {

std::string ProxyText(const std::string& host, uint16_t port) {
  std::string h = Trimmed(host);
  if (h.empty()) return ":";
  return h + ":" + std::to_string(port ? port : 8080);
}

TTrackerInput TrackerInputFrom(const TWebRequest& request,
                               std::function<std::string(const std::string&)> ansiToUtf8) {
  TTrackerInput in;
  in.Url = request.Url;
  in.Port = request.Port > 0 ? static_cast<uint32_t>(request.Port) : 0;
  in.HttpUser = request.User;
  in.HttpPassword = request.Password;
  in.Proxy = ProxyText(request.ProxyHost, request.ProxyPort);
  in.ProxyUser = request.ProxyUser;
  in.ProxyPassword = request.ProxyPassword;
  in.Login = request.TrackerLogin;
  in.Password = request.TrackerPassword;
  in.AssignedTo = Trimmed(request.AssignedTo);
  in.Project = Trimmed(request.Project);
  in.Category = Trimmed(request.Category);
  in.Version = request.Version;
  in.Text = request.Text;
  in.Description = request.Description;
  in.BugId = request.BugId;
  in.Attachment = request.Attachments.empty() ? std::string() : request.Attachments.front();
  in.Fields = request.Fields;
  in.AnsiToUtf8 = std::move(ansiToUtf8);
  return in;
}

std::unique_ptr<THTTPSendReport> TrackerFor(int mode, TConnectionFactory factory) {
  switch (mode) {
    case 4: return std::make_unique<THTTPBugzillaSendReport>(std::move(factory));
    case 5: return std::make_unique<THTTPFogBugzSendReport>(std::move(factory));
    case 6: return std::make_unique<THTTPMantisSendReport>(std::move(factory));
    default: return nullptr;
  }
}

void ShowNotifyStep(const TNotifyStep& step, std::string (*text)(int index)) {
  if (step.TextIndex >= 0 && text) SetStatus(text(step.TextIndex));
  // The bar of a send only moves forward; a new send starts it at 0.
  if (step.Add) AddPercent(step.Add);
  if (step.SetTo >= 0) SetPercent(step.SetTo);
}

}  // namespace exclog
