// The WinINet transport against servers of our own on 127.0.0.1 (tests/peers):
// an HTTP server that logs every request as a JSON line, and an FTP server.
#include "exclog/sending/EWinInet_win.h"

#include <gtest/gtest.h>

#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <sstream>
#include <thread>

#include "exclog/sending/ESendPipeline.h"
#include "exclog/sending/EWebPeers_win_test.h"

namespace exclog::test {
namespace {

std::unique_ptr<THTTPConnectionBase> Connect(const std::string& url) {
  auto c = CreateWinInetConnection(url, ":", TWebProgressSink{});
  c->Open();
  return c;
}

TEST(EWinInet, BindsEveryRoutine) {
  TWinInetLibrary library;
  ASSERT_TRUE(library.Bound());
  EXPECT_NE(library.Api().InternetGetConnectedState, nullptr);
  EXPECT_TRUE(BindWinInet());
  EXPECT_EQ(WinInetErrorText(library.Api(), 12007), "The server name could not be resolved.");
}

TEST(EWinInet, GetFormAndMultipartWithBasicAuthorisation) {
  THttpPeer peer("--user ann:pw");
  ASSERT_GT(peer.Port(), 0);
  auto c = CreateWinInetConnection(peer.Url(), ":", TWebProgressSink{});
  c->SetCredentials("ann", "pw", 0);
  c->Open();
  THTTPResponse response;
  c->Navigate("get.php", RequestGet);
  c->AddField("a", "b c");
  c->AddField("amp", "&");
  ASSERT_TRUE(c->Execute(&response, false)) << response.ErrorMessage;
  EXPECT_EQ(response.StatusCode, 200);
  EXPECT_EQ(response.Content, "page get.php  done");  // control character blanked

  c->Navigate("form.php", RequestPostForm);
  c->AddField("name", "Ann & Bob");
  ASSERT_TRUE(c->Execute(&response, false)) << response.ErrorMessage;

  const std::string file = peer.Host("BugReport.zip");
  {
    std::ofstream out(file, std::ios::binary);
    out << std::string(10000, 'z');
  }
  c->Navigate("multi.php", RequestPostMultipart);
  c->AddField("kind", "crash");
  c->AddFileField("archive", file);
  c->AddFileField("gone", peer.Host("missing.zip"));
  ASSERT_TRUE(c->Execute(&response, true)) << response.ErrorMessage;
  c->Close();

  std::vector<std::string> log = peer.Requests();
  ASSERT_EQ(log.size(), 3u);
  for (const auto& line : log) EXPECT_TRUE(Has(line, "\"auth\": \"ann:pw\"")) << line;
  EXPECT_TRUE(Has(log[0], "\"query\": \"a=b%20c&amp=%26\"")) << log[0];
  EXPECT_TRUE(Has(log[1], "\"fields\": {\"name\": \"Ann & Bob\"}")) << log[1];
  EXPECT_TRUE(Has(log[2], "\"fields\": {\"kind\": \"crash\"}")) << log[2];
  EXPECT_TRUE(Has(log[2], "\"archive\": {\"filename\": \"BugReport.zip\", \"size\": 10000")) << log[2];
  EXPECT_TRUE(Has(log[2], "\"gone\": {\"filename\": \"\", \"size\": 0")) << log[2];
}

TEST(EWinInet, RedirectsRefreshLoopsAndRefusedPorts) {
  THttpPeer peer;
  ASSERT_GT(peer.Port(), 0);
  auto c = Connect(peer.Url());
  THTTPResponse response;
  c->Navigate("post.php", RequestPostForm);
  c->AddField("secret", "1");
  ASSERT_TRUE(c->Execute(&response, false)) << response.ErrorMessage;
  EXPECT_EQ(response.Document, "landed.php");
  c->Navigate("refresh.php", RequestGet);
  ASSERT_TRUE(c->Execute(&response, false)) << response.ErrorMessage;
  EXPECT_EQ(response.Document, "refreshed.php");
  c->Navigate("loop.php", RequestGet);
  EXPECT_FALSE(c->Execute(&response, false));
  EXPECT_EQ(response.ErrorMessage, TooManyRedirectsText);
  c->Navigate("huge.php", RequestGet);
  EXPECT_FALSE(c->Execute(&response, false));
  EXPECT_EQ(response.ErrorMessage, ResponseTooLargeText);
  c->Close();
  std::vector<std::string> log = peer.Requests();
  ASSERT_GE(log.size(), 16u);
  EXPECT_TRUE(Has(log[0], "\"method\": \"POST\", \"path\": \"/dir/post.php\"")) << log[0];
  // The 302 after the POST is a GET without the fields.
  EXPECT_TRUE(Has(log[1], "\"method\": \"GET\", \"path\": \"/dir/landed.php\"")) << log[1];
  EXPECT_TRUE(Has(log[1], "\"query\": \"from=post\"") && Has(log[1], "\"fields\": {}")) << log[1];
  EXPECT_TRUE(Has(log[3], "\"path\": \"/dir/refreshed.php\"")) << log[3];
  int loops = 0;
  for (const auto& line : log) loops += Has(line, "/dir/loop.php");
  EXPECT_EQ(loops, 11) << "the first request and ten redirects followed";

  // Nothing listens on port 1: the table's text of the failed connection.
  auto refused = Connect("http://127.0.0.1:1/");
  refused->Navigate("x.php", RequestGet);
  EXPECT_FALSE(refused->Execute(&response, false));
  EXPECT_EQ(response.ErrorCode, 12029u);
  EXPECT_EQ(response.ErrorMessage, WinInetTableText(12029));
}

TEST(EWinInet, UploadsPostTheArchiveAndReportTheStatus) {
  THttpPeer peer("--user ann:pw");
  ASSERT_GT(peer.Port(), 0);
  const std::string file = peer.Host("BugReport.zip");
  {
    std::ofstream out(file, std::ios::binary);
    for (int i = 0; i < 3000; ++i) out << static_cast<char>(i * 7);
  }
  TUploadRequest request;
  request.Url = peer.Url("/up/upload.php");
  request.User = "ann";
  request.Password = "pw";
  request.WebFields = {{"Product", "Velmora"}};
  request.Files = {file, peer.Host("missing.png")};
  std::vector<int> states;
  uint64_t sent = 0;
  request.Progress = [&](int state, uint64_t done, uint64_t) {
    states.push_back(state);
    sent = done;
  };
  std::string error;
  EXPECT_EQ(UploadHttp(request, error), 0) << error;
  ASSERT_GE(states.size(), 3u);
  EXPECT_EQ(states[0], 0);
  EXPECT_EQ(states[1], 1);
  EXPECT_EQ(states.back(), 2);
  EXPECT_GT(sent, 3000u);
  std::vector<std::string> log = peer.Requests();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_TRUE(Has(log[0], "\"fields\": {\"Product\": \"Velmora\"}")) << log[0];
  EXPECT_TRUE(Has(log[0], "\"ql_upload_file_0\": {\"filename\": \"BugReport.zip\", \"size\": 3000")) << log[0];
  EXPECT_TRUE(Has(log[0], "\"ql_upload_file_1\": {\"filename\": \"\"")) << log[0];
  EXPECT_TRUE(Has(log[0], "\"cookie\": \"\"")) << log[0];
  EXPECT_EQ(ReadAll(peer.Host("store/BugReport.zip")), ReadAll(file));

  request.Url = peer.Url("/up/fail.php");
  error.clear();
  EXPECT_EQ(UploadHttp(request, error), 500);
  EXPECT_EQ(UploadErrorText(1, 500, error), "HTTP error code: 500 (Internal Server Error)");
  request.Url = peer.Url("/up/weird.php");
  int weird = UploadHttp(request, error);
  EXPECT_EQ(weird, 0x7FFFFFFF) << error;
  request.Password = "wrong";
  EXPECT_EQ(UploadHttp(request, error), 401);
}

TEST(EWinInet, FtpStoresEachAttachmentInTheUrlsFolder) {
  TPeer peer("ftp_peer.py", "--home '{dir}/home' --idle 120");
  ASSERT_GT(peer.Port(), 0);
  const std::string file = peer.Host("BugReport.zip");
  {
    std::ofstream out(file, std::ios::binary);
    for (int i = 0; i < 2500; ++i) out << static_cast<char>(i * 13);
  }
  TUploadRequest request;
  request.Url = "ftp://127.0.0.1:" + std::to_string(peer.Port()) + "/up";
  request.User = "uploader";
  request.Password = "secret";
  request.Files = {file, peer.Host("missing.zip")};
  std::vector<uint64_t> blocks;
  request.Progress = [&](int state, uint64_t done, uint64_t) {
    if (state == 2) blocks.push_back(done);
  };
  std::string error;
  ASSERT_EQ(UploadFtp(request, error), 0) << error;
  EXPECT_EQ(blocks, (std::vector<uint64_t>{1024, 2048, 2500}));
  EXPECT_EQ(ReadAll(peer.Host("home/up/BugReport.zip")), ReadAll(file));
  request.Password = "nope";
  EXPECT_NE(UploadFtp(request, error), 0);
  EXPECT_FALSE(error.empty());
}

// Shortened time limits for one test, the defaults back afterwards.
struct TShortTimeouts {
  TWebTimeouts saved = WebTimeouts();
  TShortTimeouts(uint32_t operationMs, uint32_t sendMs) {
    WebTimeouts().OperationMs = operationMs;
    WebTimeouts().SendMs = sendMs;
  }
  ~TShortTimeouts() { WebTimeouts() = saved; }
};

// How far the process's private memory grew above its level at the start, at
// most, sampled on a thread of its own until Stop.
class TMemoryGrowth {
 public:
  TMemoryGrowth() : base_(PrivateBytes()), peak_(base_), stop_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
    sampler_ = std::thread([this] {
      do peak_ = std::max(peak_.load(), PrivateBytes());
      while (WaitForSingleObject(stop_, 5) == WAIT_TIMEOUT);
    });
  }
  ~TMemoryGrowth() { Stop(); }
  size_t Stop() {
    if (sampler_.joinable()) {
      SetEvent(stop_);
      sampler_.join();
      CloseHandle(stop_);
    }
    return peak_ > base_ ? peak_ - base_ : 0;
  }

 private:
  static size_t PrivateBytes() {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters.PagefileUsage;
  }
  size_t base_;
  std::atomic<size_t> peak_;
  HANDLE stop_;
  std::thread sampler_;
};

TEST(EWinInet, StalledAndBrokenRepliesAreFailedSends) {
  EXPECT_EQ(WebTimeouts().SendMs, 5u * 60 * 1000);
  THttpPeer peer;
  ASSERT_GT(peer.Port(), 0);
  const std::string file = peer.Host("BugReport.zip");
  {
    std::ofstream out(file, std::ios::binary);
    out << std::string(5000, 'r');
  }
  TUploadRequest request;
  request.Files = {file};
  struct TCase {
    const char* Page;
    uint32_t OperationMs, SendMs;
    std::string Error;  // empty: any
  };
  // Silence by the receive time-out; trickled bodies and headers by the send's
  // deadline (their receive time-out is longer than the whole test may take); a
  // flood of headers (64 MiB) by their budget; replies cut short or without a
  // status line because they never say where they end.
  const TCase cases[] = {{"silent.php", 1500, 600000, ""},
                         {"trickle.php", 600000, 3000, SendDeadlineText(3000)},
                         {"chunks.php", 600000, 3000, SendDeadlineText(3000)},
                         {"slowheaders.php", 600000, 3000, SendDeadlineText(3000)},
                         {"flood.php", 600000, 3000, HeadersTooLongText},
                         {"nostatus.php", 600000, 600000, ""},
                         {"cutheaders.php", 600000, 600000, ""}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Page);
    TShortTimeouts limits(c.OperationMs, c.SendMs);
    request.Url = peer.Url(std::string("/up/") + c.Page);
    std::string error;
    TMemoryGrowth memory;
    const DWORD start = GetTickCount();
    EXPECT_NE(UploadHttp(request, error), 0) << error;
    // Within its limit, with room for a loaded machine.
    EXPECT_LT(GetTickCount() - start, std::min(c.OperationMs, c.SendMs) + 10000u);
    EXPECT_LT(memory.Stop(), 40u << 20);
    EXPECT_FALSE(error.empty());
    if (!c.Error.empty()) {
      EXPECT_EQ(error, c.Error);
    }
  }

  // A tracker's connection has the same deadline.
  TShortTimeouts limits(600000, 3000);
  auto c = Connect(peer.Url("/"));
  THTTPResponse response;
  for (const char* page : {"trickle.php", "slowheaders.php"}) {
    c->Navigate(page, RequestGet);
    EXPECT_FALSE(c->Execute(&response, false)) << page;
    EXPECT_EQ(response.ErrorCode, SendDeadlineCode) << page;
    EXPECT_EQ(response.ErrorMessage, SendDeadlineText(3000)) << page;
    c = Connect(peer.Url("/"));  // a new send, a new deadline
  }
  c->Close();
}

// The guard holds only the thread of a send: the same reply read by the web
// library on another thread meanwhile is read whole.
TEST(EWinInet, LongHeadersFailOnlyTheSendsOwnThread) {
  THttpPeer peer;
  ASSERT_GT(peer.Port(), 0);
  auto c = Connect(peer.Url("/"));
  THTTPResponse response;
  c->Navigate("bigheaders.php", RequestGet);
  EXPECT_FALSE(c->Execute(&response, false));
  EXPECT_EQ(response.ErrorMessage, HeadersTooLongText);
  c->Navigate("after.php", RequestGet);
  ASSERT_TRUE(c->Execute(&response, false)) << response.ErrorMessage;
  EXPECT_EQ(response.Content, "page after.php  done");
  c->Close();

  TShortTimeouts limits(600000, 8000);
  std::string sendError;
  std::thread send([&] {
    TUploadRequest request;
    request.Url = peer.Url("/up/slowheaders.php");
    UploadHttp(request, sendError);
  });
  ASSERT_TRUE(PumpUntil(
      [&] {
        const auto log = peer.Requests();
        return std::any_of(log.begin(), log.end(), [](const std::string& l) { return Has(l, "slowheaders"); });
      },
      20000));
  TWinInetLibrary library;
  const TWinInetApi& api = library.Api();
  HINTERNET internet = api.InternetOpenA("test", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  HINTERNET page = api.InternetOpenUrlA(internet, peer.Url("/bigheaders.php").c_str(), nullptr, 0,
                                        INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0);
  EXPECT_NE(page, nullptr) << GetLastError();
  char body[8] = {};
  DWORD got = 0;
  if (page) {
    EXPECT_TRUE(api.InternetReadFile(page, body, sizeof body, &got));
  }
  EXPECT_EQ(std::string(body, got), "ok");
  if (page) api.InternetCloseHandle(page);
  api.InternetCloseHandle(internet);
  send.join();
  EXPECT_EQ(sendError, SendDeadlineText(8000));
}

TEST(EWinInet, OversizedFilesRefusedStoresAndTrickledGreetingsFail) {
  THttpPeer http;
  ASSERT_GT(http.Port(), 0);
  const std::string big = http.Host("Big.zip");
  {
    HANDLE f = CreateFileA(big.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    LARGE_INTEGER size;
    size.QuadPart = (64ll << 20) + 1;
    SetFilePointerEx(f, size, nullptr, FILE_BEGIN);
    SetEndOfFile(f);
    CloseHandle(f);
  }
  TUploadRequest request;
  request.Url = http.Url("/up/upload.php");
  request.Files = {big};
  std::string error;
  EXPECT_EQ(UploadHttp(request, error), ERROR_FILE_TOO_LARGE);
  EXPECT_EQ(error, OversizedFileText(big));
  EXPECT_TRUE(http.Requests().empty());
  auto c = Connect(http.Url("/dir/"));
  THTTPResponse response;
  c->Navigate("multi.php", RequestPostMultipart);
  c->AddFileField("archive", big);
  EXPECT_FALSE(c->Execute(&response, true));
  EXPECT_EQ(response.ErrorMessage, OversizedFileText(big));
  c->Close();
  EXPECT_TRUE(http.Requests().empty());

  TPeer ftp("ftp_peer.py", "--home '{dir}/home' --idle 120 --refuse-store");
  ASSERT_GT(ftp.Port(), 0);
  const std::string file = ftp.Host("BugReport.zip");
  {
    std::ofstream out(file, std::ios::binary);
    out << std::string(3000, 'z');
  }
  request.Url = "ftp://127.0.0.1:" + std::to_string(ftp.Port()) + "/up";
  request.User = "uploader";
  request.Password = "secret";
  request.Files = {file};
  error.clear();
  EXPECT_NE(UploadFtp(request, error), 0);
  EXPECT_TRUE(Has(error, "552")) << error;

  // A greeting trickled a line a second without end holds the store no longer
  // than the send's deadline.
  TPeer trickling("ftp_peer.py", "--home '{dir}/home' --idle 120 --trickle-greeting");
  ASSERT_GT(trickling.Port(), 0);
  TShortTimeouts limits(600000, 3000);
  request.Url = "ftp://127.0.0.1:" + std::to_string(trickling.Port()) + "/up";
  const DWORD start = GetTickCount();
  EXPECT_EQ(UploadFtp(request, error), static_cast<int>(SendDeadlineCode));
  EXPECT_LT(GetTickCount() - start, 13000u);
  EXPECT_EQ(error, SendDeadlineText(3000));
}

}  // namespace
}  // namespace exclog::test
