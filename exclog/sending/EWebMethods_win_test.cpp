// The pipeline's web seams as the logger's start-up fills them: HTTPS uploads that
// check the server's certificate, and uploads through an authenticating proxy.
#include "exclog/sending/EWebMethods_win.h"

#include <gtest/gtest.h>

#include "exclog/sending/ESendMethods.h"
#include "exclog/sending/ESendPipeline.h"
#include "exclog/sending/EWebPeers_win_test.h"
#include "exclog/sending/EWebTools.h"

namespace exclog::test {
namespace {

TWebRequest UploadRequest(const std::string& url, const std::string& archive) {
  TWebRequest r;
  r.Mode = 1;
  r.Url = url;
  r.Fields = {"Product=Velmora", "Build=7"};
  r.Attachments = {archive};
  return r;
}

void WriteArchive(const std::string& path) {
  std::ofstream out(path, std::ios::binary);
  for (int i = 0; i < 5000; ++i) out << static_cast<char>(i * 31);
}

class EWebMethods : public ::testing::Test {
 protected:
  void SetUp() override { InstallWebMethods(nullptr); }
  void TearDown() override {
    SendMethodSeams() = TSendMethodSeams{};
  }
};

TEST_F(EWebMethods, HttpsTrustsOnlyAKnownAuthorityForTheRightName) {
  TTestCertificates certs;
  ASSERT_TRUE(certs.Made);
  ASSERT_TRUE(TrustAuthority(HostPath(certs.Unix + "/ca.der")));
  THttpPeer trusted(certs.Arguments("leaf"));
  ASSERT_GT(trusted.Port(), 0);
  const std::string archive = trusted.Host("BugReport.zip");
  WriteArchive(archive);
  const std::string port = std::to_string(trusted.Port());
  TWebRequest request = UploadRequest("https://localhost:" + port + "/up/upload.php", archive);
  request.Mode = 2;
  std::string error;
  EXPECT_EQ(CallUploadHttp(request, error), 0) << error;
  EXPECT_EQ(ReadAll(trusted.Host("store/BugReport.zip")), ReadAll(archive));

  // The same server under another name.
  request.Url = "https://127.0.0.1:" + port + "/up/upload.php";
  int code = CallUploadHttp(request, error);
  EXPECT_EQ(code, 12038) << error;

  THttpPeer impostor(certs.Arguments("self"));
  ASSERT_GT(impostor.Port(), 0);
  request.Url = "https://localhost:" + std::to_string(impostor.Port()) + "/up/upload.php";
  error.clear();
  code = CallUploadHttp(request, error);
  EXPECT_EQ(code, 12045);
  EXPECT_EQ(UploadErrorText(2, code, error).rfind("HTTPS error code: 12045", 0), 0u);
  EXPECT_TRUE(impostor.Requests().empty());  // nothing reached the impostor
}

TEST_F(EWebMethods, UploadGoesThroughTheProxyWithItsCredentials) {
  THttpPeer server;
  ASSERT_GT(server.Port(), 0);
  TPeer proxy("proxy_peer.py", "--dir '{dir}'");
  ASSERT_GT(proxy.Port(), 0);
  const std::string archive = server.Host("BugReport.zip");
  WriteArchive(archive);
  TWebRequest request = UploadRequest(server.Url("/up/upload.php"), archive);
  request.ProxyHost = "127.0.0.1";
  request.ProxyPort = static_cast<uint16_t>(proxy.Port());
  request.ProxyUser = "proxyuser";
  request.ProxyPassword = "proxypass";
  std::string error;
  EXPECT_EQ(CallUploadHttp(request, error), 0) << error;
  std::vector<std::string> log = server.Requests();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_TRUE(Has(log[0], "velmora-proxy")) << log[0];  // its Via header
  EXPECT_TRUE(Has(log[0], "\"Build\": \"7\"")) << log[0];
  EXPECT_EQ(ReadAll(server.Host("store/BugReport.zip")), ReadAll(archive));

  // tinyproxy refuses wrong credentials with a 401 of its own, or closes while the
  // body still goes out (Wine then reads status 0, or the sending meets the reset
  // connection): a failure either way.
  request.ProxyPassword = "wrong";
  int refused = CallUploadHttp(request, error);
  EXPECT_TRUE(refused == 401 || refused == 407 || refused == 0x7FFFFFFF || refused == WSAECONNRESET)
      << refused << " " << error;
  EXPECT_EQ(server.Requests().size(), 1u);
}

}  // namespace
}  // namespace exclog::test
