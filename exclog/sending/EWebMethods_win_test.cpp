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

// A test authority and two server certificates for "localhost", made by openssl:
// one signed by the authority, one signed by itself.
struct TTestCertificates {
  std::string Unix = "/tmp/velmora-webca-" + std::to_string(GetCurrentProcessId());
  bool Made = false;
  TTestCertificates() {
    const std::string d = "'" + Unix + "'";
    auto out = RunHostCommand(
        "set -e; rm -rf " + d + "; mkdir -p " + d + "; cd " + d + "; "
        "printf 'subjectAltName=DNS:localhost\\n' > ext; "
        "openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 -subj '/CN=Velmora Test CA' 2>/dev/null; "
        "openssl req -newkey rsa:2048 -nodes -keyout leaf.key -out leaf.csr -subj /CN=localhost 2>/dev/null; "
        "openssl x509 -req -in leaf.csr -CA ca.pem -CAkey ca.key -CAcreateserial -out leaf.pem -days 2 -extfile ext 2>/dev/null; "
        "openssl req -x509 -newkey rsa:2048 -nodes -keyout self.key -out self.pem -days 2 -subj /CN=localhost "
        "-addext subjectAltName=DNS:localhost 2>/dev/null; "
        "openssl x509 -in ca.pem -outform der -out ca.der; echo made",
        60000);
    Made = out && out->find("made") != std::string::npos;
  }
  ~TTestCertificates() { RunHostCommand("rm -rf '" + Unix + "'"); }
  std::string Arguments(const std::string& name) const {
    return "--cert '" + Unix + "/" + name + ".pem' --key '" + Unix + "/" + name + ".key'";
  }
};

// Trusts the test authority in the user's "Root" store of this prefix (crypt32 is
// bound by name: no program of the build imports it).
bool TrustAuthority(const std::string& derPath) {
  std::string der = ReadAll(derPath);
  HMODULE crypt = LoadLibraryA("crypt32.dll");
  if (der.empty() || !crypt) return false;
  using OpenFn = void*(WINAPI*)(ULONG_PTR, const char*);
  using AddFn = BOOL(WINAPI*)(void*, DWORD, const BYTE*, DWORD, DWORD, void*);
  using CloseFn = BOOL(WINAPI*)(void*, DWORD);
  auto open = reinterpret_cast<OpenFn>(reinterpret_cast<void*>(GetProcAddress(crypt, "CertOpenSystemStoreA")));
  auto add = reinterpret_cast<AddFn>(reinterpret_cast<void*>(GetProcAddress(crypt, "CertAddEncodedCertificateToStore")));
  auto close = reinterpret_cast<CloseFn>(reinterpret_cast<void*>(GetProcAddress(crypt, "CertCloseStore")));
  bool ok = false;
  if (open && add && close) {
    void* store = open(0, "ROOT");
    if (store) {
      ok = add(store, 1 /* X509_ASN_ENCODING */, reinterpret_cast<const BYTE*>(der.data()),
               static_cast<DWORD>(der.size()), 3 /* CERT_STORE_ADD_REPLACE_EXISTING */, nullptr);
      close(store, 0);
    }
  }
  FreeLibrary(crypt);
  return ok;
}

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

  // tinyproxy refuses wrong credentials with a 401 of its own.
  request.ProxyPassword = "wrong";
  int refused = CallUploadHttp(request, error);
  EXPECT_TRUE(refused == 401 || refused == 407) << refused << " " << error;
  EXPECT_EQ(server.Requests().size(), 1u);
}

}  // namespace
}  // namespace exclog::test
