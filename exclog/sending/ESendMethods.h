#pragma once
// The ways a report leaves the process, one seam each: the mail client (its
// message interface, then the "mailto:" command), SMTP, HTTP(S) upload, FTP upload
// and the bug trackers. The mail and web units fill them at start-up. A null seam
// means its default, which records the call (SentCalls) and fails with its
// method's error code, so the pipeline runs whole where no method is present.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "exclog/sending/ESendState.h"

namespace exclog {

struct TMailMessage {
  std::string Recipients;                // addresses separated by "," or ";"
  std::string Subject;
  std::string Body;
  std::vector<std::string> Attachments;  // full paths (the report archive)
};

struct TSmtpSettings {
  std::string Sender;    // SenderEmail
  std::string Host;      // SmtpHost
  std::string User;      // SmtpUser
  std::string Password;  // SmtpPassword
  uint16_t Port = 25;    // SmtpPort
  bool Direct = false;   // straight to each recipient's mail exchanger
  // The status texts by their index in the options' texts (null: the defaults).
  std::function<std::string(int index)> Text;
};

// Everything a web method reads (the options, the report's facts, the lists).
struct TWebRequest {
  int Mode = 0;           // WebSendMode: 1 HTTP, 2 HTTPS, 3 FTP, 4 Bugzilla, 5 FogBugz, 6 Mantis
  std::string Url;        // WebUrl
  int Port = 0;           // WebUrlPort
  std::string User;       // WebUser
  std::string Password;   // WebPassword
  std::string ProxyHost, ProxyUser, ProxyPassword;
  uint16_t ProxyPort = 0;
  std::string TrackerLogin, TrackerPassword, AssignedTo, Project, Category;  // trimmed
  std::string Version;      // the application's file version
  std::string Text;         // the exception message
  std::string Description;  // the report's short error description
  std::string BugId;        // the report's bug identifier
  // The web field list; for the trackers followed by "FogBugzTrialID=",
  // "QL_OSType=", "QL_OSBuild=" and "QL_ReproduceText=" lines.
  std::vector<std::string> Fields;
  std::vector<std::string> Attachments;  // the archive first
};

// What a tracker's last page said about a failure.
struct TTrackerAnswer {
  int ErrorCode = 0;
  std::string ErrorMessage;
};

// Tracker results.
constexpr int TrackerEntered = 0;       // report entered or updated
constexpr int TrackerBugClosed = 1;     // the matching report is closed
constexpr int TrackerUnknownError = 2;  // 3 login, 4 project, 5 search, 6 insert, 7 modify

struct TSendMethodSeams {
  // Mail client. Each records its own failure (RecordSendError) and returns false.
  // `showDialog`: the user sees and may edit the message first.
  bool (*SendMapi)(const TMailMessage& message, bool showDialog) = nullptr;
  bool (*SendMailto)(const TMailMessage& message) = nullptr;  // no attachments
  bool (*SmtpSend)(const TMailMessage& message, const TSmtpSettings& smtp) = nullptr;
  // Uploads: 0 on success, else the failure's code (-1: the web library is
  // missing) and its text in `errorText`. They may raise when no connection can be
  // made.
  int (*UploadHttp)(const TWebRequest& request, std::string& errorText) = nullptr;
  int (*UploadFtp)(const TWebRequest& request, std::string& errorText) = nullptr;
  // Trackers (Mode 4-6): one of the tracker results; may raise as the uploads do.
  int (*SendToTracker)(const TWebRequest& request, TTrackerAnswer& answer) = nullptr;
};
TSendMethodSeams& SendMethodSeams();

// One call a default method recorded.
struct TSentCall {
  std::string Method;  // "SendMapi", "SendMailto", "SmtpSend", "UploadHttp", "UploadFtp", "SendToTracker"
  std::string Target;  // recipients or URL
  std::vector<std::string> Attachments;
};
std::vector<TSentCall> SentCalls();
void ClearSentCalls();

// Each calls its seam, or the default: record, RecordSendError with the method's
// code (mail) or the failing result (web: -1 for uploads, TrackerUnknownError).
bool CallSendMapi(const TMailMessage& message, bool showDialog);
bool CallSendMailto(const TMailMessage& message);
bool CallSmtpSend(const TMailMessage& message, const TSmtpSettings& smtp);
int CallUploadHttp(const TWebRequest& request, std::string& errorText);
int CallUploadFtp(const TWebRequest& request, std::string& errorText);
int CallSendToTracker(const TWebRequest& request, TTrackerAnswer& answer);

}  // namespace exclog
