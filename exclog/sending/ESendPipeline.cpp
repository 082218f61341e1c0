#include "exclog/sending/ESendPipeline.h"

#include <algorithm>

#include "exclog/sending/ESendState.h"

namespace exclog {

namespace {

constexpr char ReportTail[] = "\r\n\r\n\r\n";

bool EndsWith(std::string_view text, std::string_view tail) {
  return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

// Closes the progress window a pass opened, on every way out of it (a web
// method may raise).
struct TProgressPass {
  explicit TProgressPass(TSendEnvironment& env) { env.ShowProgress(); }
  ~TProgressPass() { CloseProgress(); }
  TProgressPass(const TProgressPass&) = delete;
  TProgressPass& operator=(const TProgressPass&) = delete;
};

bool RunMailMethod(const TSendInput& in, TSendEnvironment& env) {
  const TQuelbaModuleOptions& o = *in.Options;
  bool smtp = o.MailMode() == 2 || o.MailMode() == 3;
  TMailMessage message;
  message.Recipients = o.MailRecipients();
  message.Subject = o.MailSubject();
  message.Body = o.MailBody();
  if (o.ReportInMailBody()) message.Body += ReportTail + in.Report;
  message.Attachments = SendState().Attachments;
  if (!smtp) {
    if (CallSendMapi(message, (o.ProcessFlags() & SendShowProgress) != 0)) return true;
    return CallSendMailto(message);
  }
  TProgressPass pass(env);
  TSmtpSettings settings;
  settings.Sender = o.SenderEmail();
  settings.Host = o.SmtpHost();
  settings.User = o.SmtpUser();
  settings.Password = o.SmtpPassword();
  settings.Port = o.SmtpPort();
  settings.Direct = o.MailMode() == 3;
  settings.Text = [&o](int index) { return o.Text(index); };
  return CallSmtpSend(message, settings);
}

// The code and tag a method's failure is recorded under.
TQuelbaLogErrorCode MailErrorCode(const TQuelbaModuleOptions& o) {
  return o.MailMode() == 1 ? TQuelbaLogErrorCode::eeEmailMAPIError : TQuelbaLogErrorCode::eeEmailSMTPError;
}

TQuelbaLogErrorCode WebErrorCode(int mode) {
  return mode >= 4   ? TQuelbaLogErrorCode::eeWebTrakerError
         : mode == 3 ? TQuelbaLogErrorCode::eeWebFTPError
         : mode == 2 ? TQuelbaLogErrorCode::eeWebHTTPSError
                     : TQuelbaLogErrorCode::eeWebHTTPError;
}

bool RunWebMethod(const TSendInput& in, TSendEnvironment& env) {
  const TQuelbaModuleOptions& o = *in.Options;
  TProgressPass pass(env);
  TWebRequest request = WebRequestFor(in);
  int mode = o.WebSendMode();
  if (mode <= 3) {
    std::string errorText;
    int code = mode == 3 ? CallUploadFtp(request, errorText) : CallUploadHttp(request, errorText);
    if (code == 0) return true;
    RecordSendError(WebErrorCode(mode), UploadErrorText(mode, code, errorText));
    return false;
  }
  TTrackerAnswer answer;
  int code = CallSendToTracker(request, answer);
  if (code == TrackerEntered) return true;
  if (code == TrackerBugClosed) {
    // The user hears it from this box instead of the general one.
    if (SendState().Progress.Window) {
      env.ShowBox(o.Text(146), false);
      SendState().AlreadyAnswered = 1;
    }
    return true;
  }
  RecordSendError(TQuelbaLogErrorCode::eeWebTrakerError, TrackerErrorText(o, code, answer));
  return false;
}

// A method that raises (a connection that cannot be made) fails as any other
// does: recorded, the rest of the send goes on, so the user is told and the
// temporary files go.
bool RunGuarded(const TSendInput& in, TSendEnvironment& env, bool web) {
  const TQuelbaModuleOptions& o = *in.Options;
  try {
    return web ? RunWebMethod(in, env) : RunMailMethod(in, env);
  } catch (...) {
    const int mode = o.WebSendMode();
    RecordSendException(web ? WebErrorCode(mode) : MailErrorCode(o),
                        !web ? std::string(o.MailMode() == 1 ? "MAPI" : "SMTP")
                        : mode >= 4 ? "Tracker"
                        : mode == 3 ? "FTP"
                                    : "HTTP");
    return false;
  }
}

bool RunMailGuarded(const TSendInput& in, TSendEnvironment& env) { return RunGuarded(in, env, false); }
bool RunWebGuarded(const TSendInput& in, TSendEnvironment& env) { return RunGuarded(in, env, true); }

// One method with its events: before (a handler may veto), the calls repeated
// while a failure handler asks, after.
bool SendWithEvents(const TSendInput& in, TSendEnvironment& env, int before, int after,
                    bool (*method)(const TSendInput&, TSendEnvironment&)) {
  TSendState& s = SendState();
  s.SendOk = 1;
  env.ActionNotify(before, &s.SendOk);
  if (!s.SendOk) return false;
  bool result;
  do {
    s.Retry = 0;
    result = method(in, env);
    if (!result) env.ActionNotify(after, &s.Retry);
  } while (!result && s.Retry);
  s.SendOk = result ? 1 : 0;
  env.ActionNotify(after, &s.SendOk);
  return result;
}

}  // namespace

std::string ReportTextFileName(const TSendInput& in) { return LogCopyFileName(in.Files); }

bool BuildAttachments(const TSendInput& in, TSendEnvironment& env, bool forMail) {
  const TQuelbaModuleOptions& o = *in.Options;
  TAttachmentOptions options;
  options.AttachedFiles = o.AttachedFiles();
  options.ReportInMailBody = o.ReportInMailBody() != 0;
  std::vector<std::string>& list = SendState().Attachments;
  list = AttachmentList(in.Files, options, forMail, in.Expand);
  for (std::string& entry : list) entry = Trim(entry);
  env.AttachedFilesRequest(list);
  std::erase_if(list, [&](const std::string& path) { return path.empty() || !env.FileExists(path); });
  std::string archive = ZipArchiveFileName(in.Files);
  // Nothing left: no archive; the list names one that does not exist, which
  // every sender skips like any missing file.
  if (!list.empty()) {
    // The handlers may give the archive its password, or change the configured one.
    std::string password = o.ArchivePassword();
    env.PasswordRequest(password);
    // A failed zip leaves no archive only when an entry broke midway; a mail or
    // upload without it would count as sent.
    if (!env.ZipFiles(archive, password, list) && !env.FileExists(archive)) {
      list.clear();
      RecordSendError(TQuelbaLogErrorCode::eeLogError, "Cannot make the archive \"" + archive + "\".");
      return false;
    }
  }
  list = {archive};
  return true;
}

bool SendByMail(const TSendInput& in, TSendEnvironment& env) {
  return SendWithEvents(in, env, ActionBeforeMail, ActionAfterMail, &RunMailGuarded);
}

bool SendByWeb(const TSendInput& in, TSendEnvironment& env) {
  return SendWithEvents(in, env, ActionBeforeWeb, ActionAfterWeb, &RunWebGuarded);
}

bool DoSend(const TSendInput& in, TSendEnvironment& env) {
  const TQuelbaModuleOptions& o = *in.Options;
  TSendState& s = SendState();
  // 1.
  ResetSendState();
  s.Progress.MessageText = o.Text(111);
  // 2.
  std::string reportFile = ReportTextFileName(in);
  env.WriteTextFile(reportFile, EndsWith(in.Report, ReportTail) ? in.Report : in.Report + ReportTail);
  std::string pageFile = LastHtmlPageFileName(in.Files);
  if (!pageFile.empty() && !in.LastPage.empty()) env.WriteTextFile(pageFile, in.LastPage);
  env.WriteXmlReport();
  // 3. to 5.
  bool result = true;
  bool archived = true;
  if (o.MailMode() != 0) {
    archived = BuildAttachments(in, env, true);
    result = archived && SendByMail(in, env) && result;
  }
  if (o.WebSendMode() != 0) {
    // The mail pass's archive holds the report file too: the web pass takes it.
    if (o.MailMode() == 0 || o.ReportInMailBody()) archived = BuildAttachments(in, env, false);
    // The handlers fill the field list, cleared with the state, just before.
    env.WebFieldsRequest(s.WebFields);
    result = archived && SendByWeb(in, env) && result;
  }
  // 6.
  if (!result && (o.CatchFlags() & ClipboardOnFailure)) env.CopyToClipboard(in.Report);
  // 7.
  if ((o.ProcessFlags() & SendShowResult) && !s.AlreadyAnswered) env.ShowBox(o.Text(result ? 144 : 145), !result);
  // 8.
  std::string archive = ZipArchiveFileName(in.Files);
  if ((o.CatchFlags() & KeepArchiveCopy) && result && !in.ArchiveFolder.empty() && env.FileExists(archive)) {
    env.RenameFile(archive, in.ArchiveFolder + ArchiveCopyName(env.Now()));
    for (const std::string& name : ArchiveCopiesToPrune(env.FileNames(in.ArchiveFolder, ArchiveCopyMask)))
      env.RemoveFile(in.ArchiveFolder + name);
  }
  // 9.
  env.RemoveFile(archive);
  std::string xmlFile = XmlLogFileName(in.Files);
  if (!xmlFile.empty()) env.RemoveFile(xmlFile);
  if (!pageFile.empty() && !in.CgiProcess) env.RemoveFile(pageFile);
  env.RemoveFile(reportFile);
  return result;
}

TWebRequest WebRequestFor(const TSendInput& in) {
  const TQuelbaModuleOptions& o = *in.Options;
  TWebRequest r = in.WebFacts;
  r.Mode = o.WebSendMode();
  r.Url = Trim(o.WebUrl());
  r.Port = o.WebUrlPort();
  r.User = o.WebUser();
  r.Password = o.WebPassword();
  r.ProxyHost = o.ProxyHost();
  r.ProxyPort = o.ProxyPort();
  r.ProxyUser = o.ProxyUser();
  r.ProxyPassword = o.ProxyPassword();
  r.TrackerLogin = o.TrackerLogin();
  r.TrackerPassword = o.TrackerPassword();
  r.AssignedTo = Trim(o.TrackerAssignedTo());
  r.Project = Trim(o.TrackerProject());
  r.Category = Trim(o.TrackerCategory());
  r.Fields = SendState().WebFields;
  if (r.Mode >= 4) {
    r.Fields.push_back("FogBugzTrialID=" + o.FogBugzTrialId());
    r.Fields.push_back("QL_OSType=" + in.OsType);
    r.Fields.push_back("QL_OSBuild=" + in.OsBuild);
    r.Fields.push_back("QL_ReproduceText=" + in.ReproduceText);
  }
  r.Attachments = SendState().Attachments;
  return r;
}

std::string UploadErrorText(int mode, int code, const std::string& errorText) {
  const char* kind = mode == 3 ? "FTP" : mode == 2 ? "HTTPS" : "HTTP";
  std::string detail = code == -1          ? Format(" - Cannot find the \"%s\" library.", "wininet.dll")
                       : errorText.empty() ? ""
                                           : " (" + errorText + ")";
  return Format("%s error code: %d%s", kind, code, detail);
}

std::string TrackerErrorText(const TQuelbaModuleOptions& options, int code, const TTrackerAnswer& answer) {
  // Results 2..7 name texts 147, 148, 150, 149, 151, 152; anything else is "unknown".
  static const int texts[] = {147, 148, 150, 149, 151, 152};
  int text = code >= 2 && code <= 7 ? texts[code - 2] : 147;
  return options.Text(text) + "\r\n\r\n" +
         Format("Error Code: %d\r\nError Message: \"%s\"", answer.ErrorCode, answer.ErrorMessage);
}

std::string ArchiveCopyName(TDateTime now) { return "BugReport_" + FormatDateTime("yyyymmdd_hhnnsszzz", now) + ".zip"; }

bool IsArchiveCopyName(std::string_view name) {
  constexpr std::string_view head = "BugReport_", tail = ".zip";
  return name.size() > head.size() + tail.size() && SameText(name.substr(0, head.size()), head) &&
         SameText(name.substr(name.size() - tail.size()), tail);
}

std::vector<std::string> ArchiveCopiesToPrune(std::vector<std::string> names, size_t keep) {
  std::erase_if(names, [](const std::string& name) { return !IsArchiveCopyName(name); });
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return LowerCase(a) < LowerCase(b);
  });
  if (names.size() <= keep) return {};
  names.resize(names.size() - keep);
  return names;
}

void RecordErrorTime(std::vector<TDateTime>& times, TDateTime time, int count) {
  times.push_back(time);
  size_t limit = count > 0 ? static_cast<size_t>(count) : 1;
  if (times.size() > limit) times.erase(times.begin(), times.end() - static_cast<std::ptrdiff_t>(limit));
}

bool ErrorBurst(const std::vector<TDateTime>& times, int count, int minutes) {
  if (count <= 0 || times.size() != static_cast<size_t>(count)) return false;
  // Times are days; a millisecond of slack for the rounding of the stored values.
  return (times.back() - times.front()) * 24 * 60 <= minutes + 1.0 / 60000;
}

}  // namespace exclog
