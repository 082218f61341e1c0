#include "exclog/sending/EWebMethods_win.h"

#include <windows.h>

#include "exclog/core/EConsts.h"
#include "exclog/sending/EWebMethods.h"
#include "exclog/sending/EWinInet_win.h"

namespace exclog {

namespace {

std::string (*webText)(int index) = nullptr;

std::string Text(int index) {
  if (webText) return webText(index);
  return std::string(DefaultText(index));
}

std::string AnsiToUtf8(const std::string& text) {
  if (text.empty()) return text;
  int wide = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (wide <= 0) return text;
  std::wstring w(static_cast<size_t>(wide), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), w.data(), wide);
  int bytes = WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return text;
  std::string out(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, out.data(), bytes, nullptr, nullptr);
  return out;
}

TUploadRequest UploadFrom(const TWebRequest& request) {
  SetUploadProxy(Trimmed(request.ProxyHost).empty() ? "" : ProxyText(request.ProxyHost, request.ProxyPort),
                 request.ProxyUser, request.ProxyPassword);
  TUploadRequest upload;
  upload.Url = request.Url;
  upload.User = request.User;
  upload.Password = request.Password;
  upload.Port = request.Port > 0 ? static_cast<uint32_t>(request.Port) : 0;
  upload.WebFields = FieldsFromLines(request.Fields);
  upload.Files = request.Attachments;
  upload.Secure = request.Mode == 2;
  upload.Progress = [](int state, uint64_t done, uint64_t total) {
    if (state == 2)
      ShowNotifyStep(NotifyStep(6, total ? static_cast<int>(done * 100 / total) : 100), &Text);
    else
      ShowNotifyStep(NotifyStep(state, 0), &Text);
  };
  return upload;
}

int WebUploadHttp(const TWebRequest& request, std::string& errorText) {
  return UploadHttp(UploadFrom(request), errorText);
}

int WebUploadFtp(const TWebRequest& request, std::string& errorText) {
  return UploadFtp(UploadFrom(request), errorText);
}

int WebSendToTracker(const TWebRequest& request, TTrackerAnswer& answer) {
  TWebProgressSink sink;
  sink.Text = [](int index) { return Text(index); };
  sink.SetStatus = [](const std::string& text) { SetStatus(text); };
  sink.SetPercent = [](int p) { SetPercent(p); };
  sink.AddPercent = [](int d) { AddPercent(d); };
  auto tracker = TrackerFor(request.Mode, [sink](const std::string& url, const std::string& proxy) {
    return CreateWinInetConnection(url, proxy, sink);
  });
  if (!tracker) return TrackerUnknownError;
  THTTPResponse response;
  int code = tracker->Send(TrackerInputFrom(request, &AnsiToUtf8), &response);
  answer.ErrorCode = static_cast<int>(response.ErrorCode);
  answer.ErrorMessage = response.ErrorMessage;
  return code;
}

}  // namespace

void InstallWebMethods(std::string (*text)(int index)) {
  webText = text;
  TSendMethodSeams& seams = SendMethodSeams();
  seams.UploadHttp = &WebUploadHttp;
  seams.UploadFtp = &WebUploadFtp;
  seams.SendToTracker = &WebSendToTracker;
}

}  // namespace exclog
