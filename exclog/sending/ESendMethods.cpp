#include "exclog/sending/ESendMethods.h"

#include <mutex>

namespace exclog {

namespace {

TSendMethodSeams methodSeams;
std::mutex callsLock;
std::vector<TSentCall> calls;

void Record(const char* method, const std::string& target, const std::vector<std::string>& attachments) {
  std::lock_guard<std::mutex> lock(callsLock);
  calls.push_back({method, target, attachments});
}

}  // namespace

TSendMethodSeams& SendMethodSeams() { return methodSeams; }

std::vector<TSentCall> SentCalls() {
  std::lock_guard<std::mutex> lock(callsLock);
  return calls;
}

void ClearSentCalls() {
  std::lock_guard<std::mutex> lock(callsLock);
  calls.clear();
}

bool CallSendMapi(const TMailMessage& message, bool showDialog) {
  if (methodSeams.SendMapi) return methodSeams.SendMapi(message, showDialog);
  Record("SendMapi", message.Recipients, message.Attachments);
  RecordSendError(TQuelbaLogErrorCode::eeEmailMAPIError, "Cannot open the MAPI dll.");
  return false;
}

bool CallSendMailto(const TMailMessage& message) {
  if (methodSeams.SendMailto) return methodSeams.SendMailto(message);
  Record("SendMailto", message.Recipients, {});
  RecordSendError(TQuelbaLogErrorCode::eeEmailShellError, "No mail program is registered.");
  return false;
}

bool CallSmtpSend(const TMailMessage& message, const TSmtpSettings& smtp) {
  if (methodSeams.SmtpSend) return methodSeams.SmtpSend(message, smtp);
  Record("SmtpSend", message.Recipients, message.Attachments);
  RecordSendError(TQuelbaLogErrorCode::eeEmailSMTPError, "No SMTP client.");
  return false;
}

int CallUploadHttp(const TWebRequest& request, std::string& errorText) {
  if (methodSeams.UploadHttp) return methodSeams.UploadHttp(request, errorText);
  Record("UploadHttp", request.Url, request.Attachments);
  return -1;
}

int CallUploadFtp(const TWebRequest& request, std::string& errorText) {
  if (methodSeams.UploadFtp) return methodSeams.UploadFtp(request, errorText);
  Record("UploadFtp", request.Url, request.Attachments);
  return -1;
}

int CallSendToTracker(const TWebRequest& request, TTrackerAnswer& answer) {
  if (methodSeams.SendToTracker) return methodSeams.SendToTracker(request, answer);
  Record("SendToTracker", request.Url, request.Attachments);
  return TrackerUnknownError;
}

}  // namespace exclog
