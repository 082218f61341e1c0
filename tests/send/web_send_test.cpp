// End to end over the web: a program carrying the logger has an unhandled
// exception and its report goes, by each web method, to servers of our own on
// 127.0.0.1; what they received is compared with the archive the program kept and
// checked with the system's own unzip.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "exclog/sending/EWebPeers_win_test.h"
#include "tests/support/ChildProcess_win.h"

namespace exclog::test {
namespace {

class WebProbe : public testing::Test {
 protected:
  std::string unixDir;

  void SetUp() override {
    unixDir = "/tmp/velmora-web-probe-" + velmora::test::ProcessTag() + "-" +
              testing::UnitTest::GetInstance()->current_test_info()->name();
    ASSERT_TRUE(RunHostCommand("rm -rf " + unixDir + " && mkdir -p " + unixDir + "/temp"));
  }
  void TearDown() override { RunHostCommand("rm -rf " + unixDir); }

  // Runs the probe with its settings; its temporary folder is a private one.
  void Run(const std::string& settings, std::string* output = nullptr) {
    char oldTemp[MAX_PATH] = {};
    GetEnvironmentVariableA("TEMP", oldTemp, MAX_PATH);
    const std::string temp = HostPath(unixDir + "/temp");
    SetEnvironmentVariableA("TEMP", temp.c_str());
    SetEnvironmentVariableA("TMP", temp.c_str());
    // Its report text goes to its standard output: read it apart from ours.
    velmora::test::TChildProcess probe("\"" + HostPath(WEB_PROBE_EXE) + "\" \"" + HostPath(unixDir) + "\" " + settings,
                                       true);
    SetEnvironmentVariableA("TEMP", oldTemp);
    SetEnvironmentVariableA("TMP", oldTemp);
    ASSERT_TRUE(probe.Started());
    probe.Finish(60000);
    EXPECT_TRUE(probe.Ended(0));
    EXPECT_NE(probe.Output().find("unhandled web probe fault"), std::string::npos);
    if (output) *output = probe.Output();
  }

  std::string Host(const std::string& command) {
    auto out = RunHostCommand("cd " + unixDir + " && " + command + " 2>&1");
    return out ? *out : "(not run)";
  }
  // The kept copy's name (one line of ls without its line end).
  std::string Kept() {
    std::string name = Host("ls BugReport_*.zip");
    while (!name.empty() && (name.back() == '\n' || name.back() == '\r')) name.pop_back();
    return name;
  }
  std::string Error() { return ReadAll(HostPath(unixDir + "/error.txt")); }
};

TEST_F(WebProbe, HttpPostsTheKeptArchiveWithTheWebFields) {
  THttpPeer server;
  ASSERT_GT(server.Port(), 0);
  Run("WebSendMode=1 WebUrl=" + server.Url("/up/upload.php"));
  std::vector<std::string> log = server.Requests();
  ASSERT_EQ(log.size(), 1u) << Error();
  EXPECT_TRUE(Has(log[0], "\"fields\": {\"Build\": \"probe\"}")) << log[0];
  EXPECT_TRUE(Has(log[0], "\"ql_upload_file_0\": {\"filename\": \"BugReport.zip\"")) << log[0];
  const std::string kept = Kept();
  ASSERT_NE(kept.find("BugReport_"), std::string::npos) << kept << Error();
  EXPECT_EQ(ReadAll(server.Host("store/BugReport.zip")), ReadAll(HostPath(unixDir + "/" + kept)));
  EXPECT_EQ(Host("unzip -tq BugReport_*.zip >/dev/null; echo $?"), "0\n");
}

// Two programs sending at once from one temporary folder: the first, its archive
// made, waits while the second makes, sends and removes its own; then the first
// sends. Each server copy is the archive its own program kept.
TEST_F(WebProbe, ProgramsSendingAtOnceEachSendTheirOwnArchive) {
  THttpPeer server;
  ASSERT_GT(server.Port(), 0);
  const std::string name = "VelmoraWebProbeHold" + std::to_string(GetCurrentProcessId());
  HANDLE held = CreateEventA(nullptr, TRUE, FALSE, (name + ".held").c_str());
  HANDLE go = CreateEventA(nullptr, TRUE, FALSE, (name + ".go").c_str());
  ASSERT_TRUE(held && go);
  char oldTemp[MAX_PATH] = {};
  GetEnvironmentVariableA("TEMP", oldTemp, MAX_PATH);
  const std::string temp = HostPath(unixDir + "/temp");
  SetEnvironmentVariableA("TEMP", temp.c_str());
  SetEnvironmentVariableA("TMP", temp.c_str());
  auto start = [&](const std::string& folder, const std::string& extra) {
    RunHostCommand("mkdir -p " + unixDir + "/" + folder);
    return std::make_unique<velmora::test::TChildProcess>("\"" + HostPath(WEB_PROBE_EXE) + "\" \"" +
                                                          HostPath(unixDir + "/" + folder) + "\" WebSendMode=1 WebUrl=" +
                                                          server.Url("/up/upload.php") + extra,
                                                          false);
  };
  auto first = start("first", " HoldAfterZip=" + name);
  ASSERT_TRUE(first->Started());
  EXPECT_EQ(WaitForSingleObject(held, 60000), WAIT_OBJECT_0);
  auto second = start("second", "");
  ASSERT_TRUE(second->Started());
  EXPECT_TRUE(second->Ended(60000));
  SetEvent(go);
  EXPECT_TRUE(first->Ended(60000));
  SetEnvironmentVariableA("TEMP", oldTemp);
  SetEnvironmentVariableA("TMP", oldTemp);
  CloseHandle(held);
  CloseHandle(go);
  // Each request's file, by its digest, is the copy its own program kept.
  std::vector<std::string> log = server.Requests();
  ASSERT_EQ(log.size(), 2u);
  for (int i = 0; i < 2; ++i) {
    const std::string folder = unixDir + (i == 0 ? "/second" : "/first");
    const std::string digest = Host("sha256sum " + folder + "/BugReport_*.zip | cut -c1-64");
    EXPECT_EQ(digest.size(), 65u) << folder << ": " << digest;
    EXPECT_TRUE(Has(log[i], "\"sha256\": \"" + digest.substr(0, 64) + "\"")) << i << " " << log[i];
  }
}

TEST_F(WebProbe, HttpGoesThroughTheProxy) {
  THttpPeer server;
  TPeer proxy("proxy_peer.py", "--dir '{dir}'");
  ASSERT_GT(server.Port(), 0);
  ASSERT_GT(proxy.Port(), 0);
  Run("WebSendMode=1 WebUrl=" + server.Url("/up/upload.php") + " ProxyHost=127.0.0.1 ProxyPort=" +
      std::to_string(proxy.Port()) + " ProxyUser=proxyuser ProxyPassword=proxypass");
  std::vector<std::string> log = server.Requests();
  ASSERT_EQ(log.size(), 1u) << Error();
  EXPECT_TRUE(Has(log[0], "velmora-proxy")) << log[0];
  EXPECT_TRUE(Has(log[0], "\"ql_upload_file_0\": {\"filename\": \"BugReport.zip\"")) << log[0];
}

TEST_F(WebProbe, HttpsSucceedsWithTheTrustedAuthorityOnly) {
  TTestCertificates certs;
  ASSERT_TRUE(certs.Made);
  ASSERT_TRUE(TrustAuthority(HostPath(certs.Unix + "/ca.der")));
  THttpPeer trusted(certs.Arguments("leaf"));
  ASSERT_GT(trusted.Port(), 0);
  Run("WebSendMode=2 WebUrl=https://localhost:" + std::to_string(trusted.Port()) + "/up/upload.php");
  ASSERT_EQ(trusted.Requests().size(), 1u) << Error();
  EXPECT_NE(Kept().find("BugReport_"), std::string::npos);

  THttpPeer impostor(certs.Arguments("self"));
  ASSERT_GT(impostor.Port(), 0);
  Host("rm -f BugReport_*.zip error.txt");
  Run("WebSendMode=2 WebUrl=https://localhost:" + std::to_string(impostor.Port()) + "/up/upload.php");
  EXPECT_TRUE(impostor.Requests().empty());
  EXPECT_EQ(Error().rfind("HTTPS error code: 12045", 0), 0u) << Error();
  EXPECT_EQ(Host("ls BugReport_*.zip 2>/dev/null | wc -l"), "0\n");  // a failed send keeps no copy
}

TEST_F(WebProbe, FtpStoresTheArchiveInTheUrlsFolder) {
  TPeer server("ftp_peer.py", "--home '{dir}/home' --idle 120");
  ASSERT_GT(server.Port(), 0);
  Run("WebSendMode=3 WebUrl=ftp://127.0.0.1:" + std::to_string(server.Port()) +
      "/up/ WebUser=uploader WebPassword=secret");
  const std::string kept = Kept();
  ASSERT_NE(kept.find("BugReport_"), std::string::npos) << kept << Error();
  EXPECT_EQ(ReadAll(server.Host("home/up/BugReport.zip")), ReadAll(HostPath(unixDir + "/" + kept)));
}

TEST_F(WebProbe, RefusedStoresAndUnreachableTrackersAreFailedSendsWithNothingLeft) {
  TPeer server("ftp_peer.py", "--home '{dir}/home' --idle 120 --refuse-store");
  ASSERT_GT(server.Port(), 0);
  const std::string ftp = "WebSendMode=3 WebUrl=ftp://127.0.0.1:" + std::to_string(server.Port()) +
                          "/up/ WebUser=uploader WebPassword=secret";
  struct TCase {
    std::string Settings, ErrorPart;
  };
  // Nothing listens on port 1; a URL without a host gives no connection at all.
  const TCase cases[] = {{ftp, "FTP error code: "},
                         {"WebSendMode=4 WebUrl=http://127.0.0.1:1/", "Error Code: 12029"},
                         {"WebSendMode=4 WebUrl=http:///", "[Tracker] Cannot create an HTTP connection"}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Settings);
    Host("rm -f BugReport_*.zip error.txt");
    std::string output;
    Run(c.Settings, &output);
    EXPECT_TRUE(Has(Error(), c.ErrorPart)) << Error();
    EXPECT_NE(output.find("Sorry, sending the message didn't work. " + Error()), std::string::npos) << output;
    EXPECT_EQ(Host("ls BugReport_*.zip 2>/dev/null | wc -l"), "0\n");
    // The archive, the report text and its XML went with the failed send.
    EXPECT_EQ(Host("ls -A temp"), "") << c.Settings;
  }
}

}  // namespace
}  // namespace exclog::test
