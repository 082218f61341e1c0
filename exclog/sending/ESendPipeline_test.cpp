#include "exclog/sending/ESendPipeline.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "exclog/sending/ESendState.h"

namespace exclog {
namespace {

// Files in memory, events and boxes written down.
class TFakeEnvironment : public TSendEnvironment {
 public:
  std::map<std::string, std::string> files;
  std::vector<std::string> log;  // what happened, in order
  std::function<void(int action, uint8_t* flag)> onAction;
  std::function<void(std::vector<std::string>&)> onAttached, onFields;
  std::function<void(std::string&)> onPassword;
  std::string clipboard;
  TDateTime now = EncodeDate(2026, 12, 7) + EncodeTime(8, 0, 0, 0);
  int zips = 0;
  bool zipBreaks = false;  // an entry fails midway: the archive is deleted

  bool WriteTextFile(const std::string& path, const std::string& text) override {
    files[path] = text;
    return true;
  }
  void WriteXmlReport() override {}
  bool FileExists(const std::string& path) override { return files.count(path) != 0; }
  void RemoveFile(const std::string& path) override { files.erase(path); }
  bool RenameFile(const std::string& from, const std::string& to) override {
    files[to] = files[from];
    files.erase(from);
    return true;
  }
  std::vector<std::string> FileNames(const std::string& folder, const std::string& mask) override {
    EXPECT_EQ(mask, "BugReport_*.zip");
    std::vector<std::string> names;
    for (const auto& [path, text] : files)
      if (path.rfind(folder, 0) == 0 && path.find('\\', folder.size()) == std::string::npos)
        names.push_back(path.substr(folder.size()));
    return names;  // the glue filters by mask; here every name comes back
  }
  bool ZipFiles(const std::string& archive, const std::string& password,
                const std::vector<std::string>& list) override {
    ++zips;
    if (zipBreaks) return false;
    std::string entries;
    for (const std::string& f : list) entries += f + "|";
    files[archive] = password + ":" + entries;
    return true;
  }
  void ActionNotify(int action, uint8_t* flag) override {
    log.push_back("action " + std::to_string(action) + (flag == &SendState().Retry ? " retry" : " ok"));
    if (onAction) onAction(action, flag);
  }
  void AttachedFilesRequest(std::vector<std::string>& list) override {
    if (onAttached) onAttached(list);
  }
  void WebFieldsRequest(std::vector<std::string>& fields) override {
    if (onFields) onFields(fields);
  }
  void PasswordRequest(std::string& password) override {
    if (onPassword) onPassword(password);
  }
  void ShowProgress() override { log.push_back("progress"); }
  void CopyToClipboard(const std::string& text) override { clipboard = text; }
  void ShowBox(const std::string& text, bool error) override { log.push_back((error ? "error box " : "box ") + text); }
  TDateTime Now() override { return now; }
};

std::vector<std::string> calls;

class SendPipelineTest : public ::testing::Test {
 protected:
  TQuelbaModuleOptions options;
  TSendInput in;
  TFakeEnvironment env;

  void SetUp() override {
    calls.clear();
    ClearSentCalls();
    SendMethodSeams() = TSendMethodSeams();
    in.Options = &options;
    in.Report = "the report";
    in.Files.TempFolder = "C:\\Temp\\";
    in.Files.LogFile = "C:\\Logs\\prog.qlf";
    in.ArchiveFolder = "C:\\Logs\\";
    options.SetMailMode(0);
    options.SetWebSendMode(0);
    options.SetProcessFlags(0);
    options.SetCatchFlags(0);
    options.SetAttachedFiles("");
    options.SetReportInMailBody(0);
    options.SetArchivePassword("");
  }
  void TearDown() override { SendMethodSeams() = TSendMethodSeams(); }
};

TEST_F(SendPipelineTest, NoMethodWritesAndRemovesTheFilesAndReportsSuccess) {
  options.SetProcessFlags(SendShowResult);
  SendMethodSeams().SendMapi = [](const TMailMessage&, bool) {
    ADD_FAILURE() << "no method is configured";
    return false;
  };
  env.files["C:\\Logs\\prog.qlf"] = "the log";
  EXPECT_TRUE(DoSend(in, env));
  EXPECT_EQ(env.files, (std::map<std::string, std::string>{{"C:\\Logs\\prog.qlf", "the log"}}));
  EXPECT_EQ(env.log, (std::vector<std::string>{"box " + options.Text(144)}));
  EXPECT_EQ(options.Text(144), "The message was sent successfully.");
}

TEST_F(SendPipelineTest, TheLogInTheTemporaryFolderIsNeitherWrittenNorRemoved) {
  in.Files.LogFile = "C:\\Temp\\prog.qlf";
  env.files[in.Files.LogFile] = "the log";
  options.SetMailMode(1);
  SendMethodSeams().SendMapi = [](const TMailMessage& m, bool) {
    calls = m.Attachments;
    return true;
  };
  env.onAttached = [&](std::vector<std::string>& list) {
    ASSERT_EQ(list, std::vector<std::string>{"C:\\Temp\\prog_Report.qlf"});
    EXPECT_EQ(env.files[list[0]], "the report\r\n\r\n\r\n");
  };
  EXPECT_TRUE(DoSend(in, env));
  EXPECT_EQ(calls, std::vector<std::string>{"C:\\Temp\\BugReport.zip"});
  EXPECT_EQ(env.files, (std::map<std::string, std::string>{{"C:\\Temp\\prog.qlf", "the log"}}));
}

TEST_F(SendPipelineTest, AttachmentsAreEditedDroppedWhenMissingAndZippedIntoOne) {
  options.SetAttachedFiles(" C:\\a.txt ;C:\\missing.txt");
  options.SetArchivePassword("pw");
  env.files["C:\\a.txt"] = "a";
  env.files["C:\\b.txt"] = "b";
  in.Files.ProcessFlags = AttachScreenshot;
  in.Files.ScreenshotTaken = true;
  env.files["C:\\Temp\\Screenshot.png"] = "png";
  env.onAttached = [](std::vector<std::string>& list) { list.push_back("C:\\b.txt"); };
  // The password handlers see the configured password and their answer is used.
  env.onPassword = [](std::string& password) { password += "+handler"; };
  env.files["C:\\Temp\\prog.qlf"] = "report";
  BuildAttachments(in, env, true);
  EXPECT_EQ(SendState().Attachments, std::vector<std::string>{"C:\\Temp\\BugReport.zip"});
  EXPECT_EQ(env.files["C:\\Temp\\BugReport.zip"], "pw+handler:C:\\a.txt|C:\\Temp\\prog.qlf|C:\\Temp\\Screenshot.png|C:\\b.txt|");

  // Nothing left to attach: no archive, the list names the missing one.
  env.files.clear();
  BuildAttachments(in, env, true);
  EXPECT_EQ(env.zips, 1);
  EXPECT_EQ(SendState().Attachments, std::vector<std::string>{"C:\\Temp\\BugReport.zip"});
}

TEST_F(SendPipelineTest, VetoRetryAndTheMethodsOwnResult) {
  options.SetMailMode(2);
  options.SetCatchFlags(ClipboardOnFailure);
  options.SetProcessFlags(SendShowResult);
  // A veto before the mail: nothing is sent and the mail counts as failed.
  env.onAction = [](int action, uint8_t* flag) {
    if (action == ActionBeforeMail) *flag = 0;
  };
  EXPECT_FALSE(DoSend(in, env));
  EXPECT_TRUE(SentCalls().empty());
  EXPECT_EQ(env.log, (std::vector<std::string>{"action 4 ok", "error box Sorry, sending the message didn't work."}));
  EXPECT_EQ(env.clipboard, "the report");

  // Retried twice, then given up; an "after" handler setting the flag changes nothing.
  env.log.clear();
  int retries = 2;
  env.onAction = [&](int action, uint8_t* flag) {
    if (action == ActionAfterMail && flag == &SendState().Retry && retries-- > 0) *flag = 1;
    if (action == ActionAfterMail && flag == &SendState().SendOk) *flag = 1;
  };
  EXPECT_FALSE(SendByMail(in, env));
  EXPECT_EQ(SentCalls().size(), 3u);
  EXPECT_EQ(env.log, (std::vector<std::string>{"action 4 ok", "progress", "action 5 retry", "progress", "action 5 retry",
                                                "progress", "action 5 retry", "action 5 ok"}));
  EXPECT_EQ(SentCalls()[0].Method, "SmtpSend");

  // The mail client's message interface fails: the "mailto:" command is tried.
  options.SetMailMode(1);
  options.SetReportInMailBody(1);
  options.SetMailBody("Hello");
  SendMethodSeams().SendMailto = [](const TMailMessage& m) {
    calls.push_back(m.Body);
    return true;
  };
  env.onAction = nullptr;
  EXPECT_TRUE(SendByMail(in, env));
  EXPECT_EQ(SentCalls().back().Method, "SendMapi");
  EXPECT_EQ(calls, std::vector<std::string>{"Hello\r\n\r\n\r\nthe report"});
}

TEST_F(SendPipelineTest, WebPassReusesTheMailArchiveAndGetsItsFields) {
  options.SetMailMode(3);
  options.SetWebSendMode(6);
  options.SetWebUrl(" http://127.0.0.1:8080/mantis/ ");
  options.SetFogBugzTrialId("T1");
  in.OsType = "Windows 7";
  in.ReproduceText = "click";
  env.files["C:\\Temp\\prog.qlf"] = "x";
  env.onFields = [](std::vector<std::string>& fields) {
    EXPECT_TRUE(fields.empty());
    fields.push_back("Product=Velmora");
  };
  static TWebRequest seen;
  SendMethodSeams().SendToTracker = [](const TWebRequest& r, TTrackerAnswer&) {
    seen = r;
    return TrackerBugClosed;
  };
  options.SetProcessFlags(SendShowResult);
  EXPECT_FALSE(DoSend(in, env));  // the mail failed, the tracker answered
  EXPECT_EQ(env.zips, 1);
  EXPECT_EQ(seen.Url, "http://127.0.0.1:8080/mantis/");
  EXPECT_EQ(seen.Attachments, std::vector<std::string>{"C:\\Temp\\BugReport.zip"});
  EXPECT_EQ(seen.Fields, (std::vector<std::string>{"Product=Velmora", "FogBugzTrialID=T1", "QL_OSType=Windows 7",
                                                    "QL_OSBuild=", "QL_ReproduceText=click"}));
  // No progress window was shown: no box of the tracker's, so the result box shows.
  EXPECT_EQ(env.log.back(), "error box " + options.Text(145));

  // With the report in the mail body the mail has nothing to zip and the web
  // pass builds its own archive, with the report.
  options.SetReportInMailBody(1);
  env.onAttached = [](std::vector<std::string>& list) { calls.push_back(std::to_string(list.size())); };
  DoSend(in, env);
  EXPECT_EQ(env.zips, 2);
  EXPECT_EQ(calls, (std::vector<std::string>{"0", "1"}));
}

TEST_F(SendPipelineTest, FailedWebMethodsRecordTheirTexts) {
  EXPECT_EQ(UploadErrorText(1, -1, "x"), "HTTP error code: -1 - Cannot find the \"wininet.dll\" library.");
  EXPECT_EQ(UploadErrorText(2, 404, "Not Found"), "HTTPS error code: 404 (Not Found)");
  EXPECT_EQ(UploadErrorText(3, 12007, ""), "FTP error code: 12007");
  TTrackerAnswer answer{500, "oops"};
  EXPECT_EQ(TrackerErrorText(options, 4, answer),
            "Invalid selection request.\r\n\r\nError Code: 500\r\nError Message: \"oops\"");
  EXPECT_EQ(TrackerErrorText(options, 5, answer).substr(0, 24), "Invalid search request.\r");

  options.SetWebSendMode(2);
  SendMethodSeams().UploadHttp = [](const TWebRequest&, std::string& error) {
    error = "Forbidden";
    return 403;
  };
  EXPECT_FALSE(SendByWeb(in, env));
  EXPECT_EQ(SendState().LastError.Code, TQuelbaLogErrorCode::eeWebHTTPSError);
  EXPECT_EQ(SendState().LastError.Text, "HTTPS error code: 403 (Forbidden)");

  // A method that raises fails as the others do: recorded, the progress window
  // closed, the report on the clipboard, the user told, the temporary files gone.
  options.SetCatchFlags(ClipboardOnFailure);
  options.SetProcessFlags(SendShowResult);
  for (int mode : {2, 4}) {
    SCOPED_TRACE(mode);
    options.SetWebSendMode(mode);
    SendMethodSeams().UploadHttp = [](const TWebRequest&, std::string&) -> int { throw Exception("no connection"); };
    SendMethodSeams().SendToTracker = [](const TWebRequest&, TTrackerAnswer&) -> int {
      throw Exception("no tracker connection");
    };
    SendState().Progress.Window = 9;
    env.files.clear();
    env.log.clear();
    env.clipboard.clear();
    env.files["C:\\Temp\\Screenshot.png"] = "png";
    in.Files.ProcessFlags = AttachScreenshot;
    in.Files.ScreenshotTaken = true;
    EXPECT_FALSE(DoSend(in, env));
    EXPECT_EQ(SendState().Progress.Window, 0u);
    EXPECT_EQ(SendState().LastError.Code, mode == 4 ? TQuelbaLogErrorCode::eeWebTrakerError
                                                    : TQuelbaLogErrorCode::eeWebHTTPSError);
    EXPECT_EQ(SendState().LastError.Text, mode == 4 ? "[Tracker] no tracker connection" : "[HTTP] no connection");
    EXPECT_EQ(env.clipboard, "the report");
    ASSERT_FALSE(env.log.empty());
    EXPECT_EQ(env.log.back(), "error box " + options.Text(145));
    EXPECT_EQ(env.files, (std::map<std::string, std::string>{{"C:\\Temp\\Screenshot.png", "png"}}));
  }
}

TEST_F(SendPipelineTest, AnArchiveThatBrokeIsNeverSent) {
  options.SetMailMode(2);
  options.SetWebSendMode(1);
  options.SetCatchFlags(ClipboardOnFailure);
  SendMethodSeams().SmtpSend = [](const TMailMessage&, const TSmtpSettings&) {
    ADD_FAILURE() << "mail sent without its archive";
    return true;
  };
  SendMethodSeams().UploadHttp = [](const TWebRequest&, std::string&) {
    ADD_FAILURE() << "upload sent without its archive";
    return 0;
  };
  env.zipBreaks = true;
  EXPECT_FALSE(DoSend(in, env));
  EXPECT_EQ(env.zips, 1);
  EXPECT_EQ(SendState().LastError.Code, TQuelbaLogErrorCode::eeLogError);
  EXPECT_EQ(SendState().LastError.Text, "Cannot make the archive \"C:\\Temp\\BugReport.zip\".");
  EXPECT_EQ(env.clipboard, "the report");
  EXPECT_TRUE(env.files.empty());
}

TEST_F(SendPipelineTest, TheTenNewestCopiesStayAndOtherArchivesAreNotTouched) {
  options.SetCatchFlags(KeepArchiveCopy);
  options.SetMailMode(1);
  SendMethodSeams().SendMapi = [](const TMailMessage&, bool) { return true; };
  env.files["C:\\Logs\\project.zip"] = "mine";
  env.files["C:\\Logs\\prog.qlf"] = "the log";
  for (int i = 0; i < 11; ++i) {
    env.now = EncodeDate(2026, 12, 7) + EncodeTime(9 + i, 0, 0, 0);
    EXPECT_TRUE(DoSend(in, env));
  }
  std::vector<std::string> names;
  for (const auto& [path, text] : env.files) names.push_back(path);
  ASSERT_EQ(names.size(), 12u);
  EXPECT_EQ(names[0], "C:\\Logs\\BugReport_20261207_100000000.zip");  // the first send's copy is gone
  EXPECT_EQ(names[9], "C:\\Logs\\BugReport_20261207_190000000.zip");
  EXPECT_EQ(names[10], "C:\\Logs\\prog.qlf");
  EXPECT_EQ(names[11], "C:\\Logs\\project.zip");

  EXPECT_EQ(ArchiveCopiesToPrune({"b.zip", "BugReport_2.zip", "bugreport_1.ZIP", "BugReport_.zip"}, 1),
            std::vector<std::string>{"bugreport_1.ZIP"});
}

TEST_F(SendPipelineTest, ErrorBurstAtExactlyTheCount) {
  std::vector<TDateTime> times;
  TDateTime t = EncodeDate(2026, 12, 7);
  const double minute = 1.0 / 1440;
  RecordErrorTime(times, t, 3);
  RecordErrorTime(times, t + 0.5 * minute, 3);
  EXPECT_FALSE(ErrorBurst(times, 3, 1));  // two of three
  RecordErrorTime(times, t + minute, 3);
  EXPECT_TRUE(ErrorBurst(times, 3, 1));   // three within exactly a minute
  RecordErrorTime(times, t + 2.1 * minute, 3);
  EXPECT_EQ(times.size(), 3u);
  EXPECT_FALSE(ErrorBurst(times, 3, 1));  // the last three span 1.6 minutes
  EXPECT_TRUE(ErrorBurst(times, 3, 2));
  EXPECT_FALSE(ErrorBurst(times, 0, 1));
}

}  // namespace
}  // namespace exclog
