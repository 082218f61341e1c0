#include "exclog/sending/EWebConnection.h"

#include <gtest/gtest.h>

#include "exclog/sending/EWebScripted_test.h"

namespace exclog::test {

namespace {

std::string UrlDecode(std::string_view s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size()) {
      out += static_cast<char>(std::stoi(std::string(s.substr(i + 1, 2)), nullptr, 16));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

TFieldList DecodePairs(std::string_view text) {
  TFieldList out;
  while (!text.empty()) {
    size_t amp = text.find('&');
    std::string_view pair = text.substr(0, amp);
    size_t eq = pair.find('=');
    out.emplace_back(UrlDecode(pair.substr(0, eq)), eq == std::string_view::npos ? "" : UrlDecode(pair.substr(eq + 1)));
    if (amp == std::string_view::npos) break;
    text.remove_prefix(amp + 1);
  }
  return out;
}

}  // namespace

TFieldList RequestFields(const TExchangeRequest& request) {
  size_t q = request.Object.find('?');
  TFieldList out = q == std::string::npos ? TFieldList{} : DecodePairs(std::string_view(request.Object).substr(q + 1));
  if (request.Method == "GET") return out;
  if (request.ContentType.rfind("multipart/", 0) != 0) {
    for (auto& f : DecodePairs(request.Body)) out.push_back(f);
    return out;
  }
  const std::string boundary = "--" + request.ContentType.substr(request.ContentType.find("boundary=") + 9);
  size_t at = request.Body.find(boundary);
  while (at != std::string::npos) {
    size_t head = at + boundary.size() + 2;
    size_t next = request.Body.find(boundary, head);
    if (next == std::string::npos) break;
    std::string part = request.Body.substr(head, next - head - 2);
    size_t n = part.find("name=\"") + 6;
    std::string name = part.substr(n, part.find('"', n) - n);
    size_t f = part.find("filename=\"");
    size_t bodyAt = part.find("\r\n\r\n") + 4;
    if (f != std::string::npos) {
      f += 10;
      out.emplace_back(name, part.substr(f, part.find('"', f) - f));
    } else {
      out.emplace_back(name, part.substr(bodyAt));
    }
    at = next;
  }
  return out;
}

namespace {

struct TConnectionFixture : ::testing::Test {
  std::shared_ptr<TScript> script = std::make_shared<TScript>();
  std::unique_ptr<THTTPConnectionBase> Connect(const std::string& url = "http://127.0.0.1:8080/bugs/") {
    auto c = std::make_unique<THTTPConnectionBase>(std::make_unique<TScriptedExchange>(script), url, ":");
    c->Open();
    return c;
  }
};

TEST_F(TConnectionFixture, RequestsCarryTheirFieldsByKind) {
  script->Pages["page.php"] = [](const TExchangeRequest&) { return Page("ok\x01\tdone"); };
  auto c = Connect();
  c->Navigate("page.php?x=1", RequestGet);
  c->AddField("a b", "&");
  THTTPResponse response;
  ASSERT_TRUE(c->Execute(&response, false));
  EXPECT_EQ(script->Log.back().Object, "/bugs/page.php?x=1&a%20b=%26");
  EXPECT_EQ(response.Content, "ok  done");
  EXPECT_EQ(response.Document, "page.php");

  c->Navigate("page.php", RequestPostForm);
  c->AddField("n", "v 1");
  ASSERT_TRUE(c->Execute(nullptr, false));
  EXPECT_EQ(script->Log.back().Method, "POST");
  EXPECT_EQ(script->Log.back().ContentType, "application/x-www-form-urlencoded");
  EXPECT_EQ(script->Log.back().Body, "n=v%201");

  c->Navigate("page.php", RequestPostMultipart);
  c->BoundaryDigits = [] { return uint16_t{0xBEEF}; };
  c->AddField("n", "v");
  c->AddFileField("f", "no/such/file.zip");
  ASSERT_TRUE(c->Execute(nullptr, false));
  EXPECT_EQ(script->Log.back().ContentType, "multipart/form-data; boundary=---------------------------BEEFBEEFBEEF");
  EXPECT_EQ(RequestFields(script->Log.back()), (TFieldList{{"n", "v"}, {"f", ""}}));
}

TEST_F(TConnectionFixture, RedirectsBecomeGetsWithoutFieldsAndLoopsEnd) {
  script->Pages["post.php"] = [](const TExchangeRequest&) { return Redirect("done.php?id=4", 303); };
  script->Pages["done.php"] = [](const TExchangeRequest&) {
    TExchangeReply r = Page("");
    r.Refresh = "0; url=final.php";
    return r;
  };
  script->Pages["final.php"] = [](const TExchangeRequest&) { return Page("here"); };
  auto c = Connect();
  c->Navigate("post.php", RequestPostForm);
  c->AddField("secret", "1");
  THTTPResponse response;
  ASSERT_TRUE(c->Execute(&response, false));
  ASSERT_EQ(script->Log.size(), 3u);
  EXPECT_EQ(script->Log[1].Method, "GET");
  EXPECT_EQ(script->Log[1].Object, "/bugs/done.php?id=4");
  EXPECT_EQ(script->Log[1].Body, "");
  EXPECT_EQ(script->Log[2].Object, "/bugs/final.php");
  EXPECT_EQ(response.Document, "final.php");
  EXPECT_EQ(response.Content, "here");

  script->Log.clear();
  script->Pages["loop.php"] = [](const TExchangeRequest&) { return Redirect("loop.php"); };
  c->Navigate("loop.php", RequestGet);
  EXPECT_FALSE(c->Execute(&response, false));
  EXPECT_EQ(script->Log.size(), 11u) << "the first request and ten redirects followed";
  EXPECT_EQ(response.ErrorMessage, TooManyRedirectsText);

  script->Pages["huge.php"] = [](const TExchangeRequest&) { return Page(std::string(MaxResponseBytes + 1, 'x')); };
  c->Navigate("huge.php", RequestGet);
  EXPECT_FALSE(c->Execute(&response, false));
  EXPECT_EQ(response.ErrorMessage, ResponseTooLargeText);
  EXPECT_TRUE(response.Content.empty());

  script->Pages["broken.php"] = [](const TExchangeRequest&) {
    TExchangeReply r;
    r.ErrorCode = 12029;
    r.ErrorMessage = "The attempt to connect to the server failed.";
    return r;
  };
  c->Navigate("broken.php", RequestGet);
  EXPECT_FALSE(c->Execute(&response, false));
  EXPECT_EQ(response.ErrorCode, 12029u);
}

TEST_F(TConnectionFixture, OpeningFailuresRaiseTheConnectionError) {
  script->OpenOk = false;
  try {
    Connect("http://tracker.example/x/");
    FAIL() << "no error";
  } catch (const EHTTPConnectionError& e) {
    EXPECT_EQ(e.Message(), "Cannot create an HTTP connection with the host: tracker.example");
  }
  script->OpenOk = true;
  EXPECT_THROW(Connect("http://tracker.example:70000/x/"), EHTTPConnectionError);
  EXPECT_EQ(script->Opens, 1);  // a bad port never reaches the network
  THTTPResponse r;
  EXPECT_THROW(r.Assign(nullptr), Exception);
}

TEST_F(TConnectionFixture, CounterBumpsAndCustomFields) {
  auto c = Connect();
  auto load = [&](const std::string& title) {
    script->Pages["edit.php"] = [title](const TExchangeRequest&) {
      return Page("<input name=\"summary\" value=\"" + title + "\">");
    };
    c->Navigate("edit.php", RequestGet);
    ASSERT_TRUE(c->Execute(nullptr, false));
    c->Navigate("update.php", RequestPostForm);
  };
  load("[v1.0 - 7]: boom (B1)");
  EXPECT_TRUE(c->BumpCounterField("summary"));
  EXPECT_EQ(c->FormFields(), (TFieldList{{"summary", "[v1.0 - 8]: boom (B1)"}}));
  for (const char* full : {"[v1.0 - 9999]: boom (B1)", "[v1 - 18446744073709551617]: x"}) {
    load(full);
    EXPECT_FALSE(c->BumpCounterField("summary")) << full;
    EXPECT_TRUE(c->FormFields().empty());
  }
  load("no counter - here");
  EXPECT_TRUE(c->BumpCounterField("summary"));
  EXPECT_EQ(c->FormFields(), (TFieldList{{"summary", "no counter - here"}}));
  load("ends - 41");
  EXPECT_TRUE(c->BumpCounterField("summary"));
  EXPECT_EQ(c->FormFields(), (TFieldList{{"summary", "ends - 42"}}));

  c->AddField("keep", "1");
  c->AddCustomFields({"keep=2", "extra=3", "FogBugzTrialID=", "QL_OSType=x", "QL_OSBuild=y", "QL_ReproduceText=z"});
  EXPECT_EQ(c->FormFields(), (TFieldList{{"summary", "ends - 42"}, {"keep", "2"}, {"extra", "3"}}));
  EXPECT_TRUE(c->Check("EDIT.PHP", "NAME=\"summary\""));
  EXPECT_FALSE(c->Check("other.php", ""));
  EXPECT_FALSE(c->Check("", "", "summary"));
}

TEST(THTTPConnection, EventsMoveTheProgressWindow) {
  auto script = std::make_shared<TScript>();
  script->Pages["p"] = [](const TExchangeRequest&) { return Page("x"); };
  std::vector<std::string> seen;
  TWebProgressSink sink;
  sink.Text = [](int i) { return std::to_string(i); };
  sink.SetStatus = [&](const std::string& t) { seen.push_back("text " + t); };
  sink.ResetPercent = [&] { seen.push_back("reset"); };
  sink.AddPercent = [&](int d) { seen.push_back("+" + std::to_string(d)); };
  sink.SetPercent = [&](int p) { seen.push_back("=" + std::to_string(p)); };
  THTTPConnection c(std::make_unique<TScriptedExchange>(script), "http://h/", ":", sink);
  c.Open();
  c.Navigate("p", RequestPostForm);
  c.AddField("a", "b");
  ASSERT_TRUE(c.Execute(nullptr, true));
  c.Close();
  EXPECT_EQ(seen, (std::vector<std::string>{"text 114", "reset", "+5", "text 115", "+5",
                                            "text 116", "=68", "text 116", "=100", "text 117", "=100",
                                            "text 121", "=100", "text 122", "=100"}));
  EXPECT_EQ(script->Closes, 1);
}

}  // namespace
}  // namespace exclog::test
