#include "exclog/sending/EWebTrackers.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "exclog/sending/EWebScripted_test.h"

namespace exclog::test {
namespace {

// The input every dialogue starts from; cases change what they test.
TTrackerInput Input() {
  TTrackerInput in;
  in.Url = "http://127.0.0.1/tracker/";
  in.Proxy = ":";
  in.Login = "ann";
  in.Password = "pw";
  in.AssignedTo = " Bob ";
  in.Project = " Velmora ";
  in.Category = "Crashes";
  in.Version = "2.1";
  in.Text = "Access violation";
  in.Description = "Read of address 00000010";
  in.BugId = "4F2A-9C01";
  in.Attachment = "BugReport.zip";
  in.Fields = TrackerFieldLines({"Custom=yes"}, "", "Windows 7", "7601", "Click Help");
  return in;
}

const std::string Title7 = "[v2.1 - 7]: Access violation (4F2A-9C01)";

const TExchangeRequest* LastTo(const TScript& s, const std::string& page) {
  for (auto it = s.Log.rbegin(); it != s.Log.rend(); ++it)
    if (SplitUrl(it->Object).Page == page) return &*it;
  return nullptr;
}

std::string Field(const TExchangeRequest* r, const std::string& name) {
  if (!r) return "<no request>";
  return FieldValue(RequestFields(*r), name).value_or("<none>");
}

// The bytes of a multipart post's file part of that name; "<none>" without one.
std::string FileBytes(const TExchangeRequest* r, const std::string& name) {
  if (!r) return "<no request>";
  const std::string boundary = "\r\n--" + r->ContentType.substr(r->ContentType.find("boundary=") + 9);
  size_t at = r->Body.find("name=\"" + name + "\"; filename=");
  if (at == std::string::npos) return "<none>";
  at = r->Body.find("\r\n\r\n", at);
  if (at == std::string::npos) return "<none>";
  at += 4;
  size_t end = r->Body.find(boundary, at);
  return end == std::string::npos ? "<unended>" : r->Body.substr(at, end - at);
}

struct TTrackerFixture : ::testing::Test {
  std::shared_ptr<TScript> script = std::make_shared<TScript>();
  TConnectionFactory Factory() {
    return [this](const std::string& url, const std::string& proxy) {
      auto c = std::make_unique<THTTPConnectionBase>(std::make_unique<TScriptedExchange>(script), url, proxy);
      c->BoundaryDigits = [] { return uint16_t{0x1111}; };
      return c;
    };
  }
  template <class Sender>
  int Send(const TTrackerInput& in = Input()) {
    Sender sender(Factory());
    THTTPResponse response;
    int code = sender.Send(in, &response);
    EXPECT_EQ(script->Closes, 1) << "the connection is closed on every way out";
    return code;
  }
};

// ---------------------------------------------------------------------------
struct Mantis : TTrackerFixture {
  std::string title = Title7;
  std::string status = "50";
  bool found = true;
  void SetUp() override {
    auto& p = script->Pages;
    p["login.php"] = [](const TExchangeRequest& r) {
      return Field(&r, "password") == "pw" ? Redirect("login_select_proj_page.php") : Redirect("login_page.php");
    };
    p["login_page.php"] = [](const TExchangeRequest&) { return Page("<form action=login.php>"); };
    p["login_select_proj_page.php"] = [](const TExchangeRequest&) {
      return Page("<select name=\"project_id\"><option value=\"3\">Velmora</option></select>");
    };
    p["set_project.php"] = [](const TExchangeRequest& r) {
      return Field(&r, "project_id") == "3" ? Redirect("my_view_page.php") : Redirect("login_select_proj_page.php");
    };
    p["my_view_page.php"] = [](const TExchangeRequest&) {
      return Page("<select name=\"project_id\"><option value=\"3\" selected>Velmora</option></select>");
    };
    p["view_all_set.php"] = [](const TExchangeRequest&) { return Redirect("view_all_bug_page.php"); };
    p["view_all_bug_page.php"] = [this](const TExchangeRequest&) {
      return Page("<input type=submit name=\"reset_query_button\">" +
                  std::string(found ? "<a href=\"bug_update_page.php?bug_id=42\">42</a>" : ""));
    };
    p["bug_update_page.php"] = [this](const TExchangeRequest&) {
      return Page("<input name=\"update_mode\" value=\"1\"><input name=\"summary\" value=\"" + title + "\">" +
                  "<select name=\"severity\"><option value=\"50\" selected>major</option></select>"
                  "<select name=\"status\"><option value=\"" + status + "\" selected>s</option></select>"
                  "<textarea name=\"description\">d &amp;amp; e</textarea>"
                  "<input name=\"bug_update_token\" value=\"T9\">");
    };
    p["bug_update.php"] = [](const TExchangeRequest&) { return Page("<a href=\"view.php?id=42\">"); };
    p["bug_report_advanced_page.php"] = [](const TExchangeRequest&) {
      return Page("<input name=\"m_id\" value=\"0\"><input name=\"project_id\" value=\"3\">"
                  "<select name=\"handler_id\"><option value=\"0\" selected></option><option value=\"5\">Bob</option></select>"
                  "<select name=\"category\"><option value=\"1\">General</option><option value=\"2\">Crashes</option></select>"
                  "<input name=\"bug_report_token\" value=\"R1\"><input name=\"file\" type=\"file\">");
    };
    p["bug_report.php"] = [](const TExchangeRequest&) { return Page("<a href=\"view.php?id=43\">"); };
  }
};

TEST_F(Mantis, NewReportCarriesTheFormAndTheArchive) {
  found = false;
  EXPECT_EQ(Send<THTTPMantisSendReport>(), TrackerOk);
  const TExchangeRequest* post = LastTo(*script, "bug_report.php");
  ASSERT_NE(post, nullptr);
  EXPECT_EQ(post->ContentType.rfind("multipart/form-data; boundary=", 0), 0u);
  EXPECT_EQ(Field(post, "handler_id"), "5");
  EXPECT_EQ(Field(post, "category"), "2");
  EXPECT_EQ(Field(post, "bug_report_token"), "R1");
  EXPECT_EQ(Field(post, "os"), "Windows 7");
  EXPECT_EQ(Field(post, "os_build"), "7601");
  EXPECT_EQ(Field(post, "steps_to_reproduce"), "Click Help");
  EXPECT_EQ(Field(post, "summary"), "[v2.1 - 1]: Access violation (4F2A-9C01)");
  EXPECT_EQ(Field(post, "Custom"), "yes");
  EXPECT_EQ(Field(post, "QL_OSType"), "<none>");  // the four trailing lines are not custom fields
  EXPECT_EQ(Field(post, "file"), "");  // the archive is missing here: its part has no file name
  EXPECT_EQ(Field(LastTo(*script, "set_project.php"), "project_id"), "3");
  EXPECT_EQ(Field(LastTo(*script, "view_all_set.php"), "search"), "Access violation (4F2A-9C01)");

  // With the archive on disk its part carries its name and every byte of it.
  const std::string archive = ::testing::TempDir() + "BugReport.zip";
  const std::string bytes = std::string("PK\3\4\0\r\n--\xff", 11) + std::string(3000, 'z') + "PK\5\6";
  {
    std::ofstream out(archive, std::ios::binary);
    out << bytes;
    ASSERT_TRUE(out.good());
  }
  script->Log.clear();
  script->Closes = 0;
  TTrackerInput in = Input();
  in.Attachment = archive;
  EXPECT_EQ(Send<THTTPMantisSendReport>(in), TrackerOk);
  post = LastTo(*script, "bug_report.php");
  EXPECT_EQ(Field(post, "file"), "BugReport.zip");
  EXPECT_TRUE(FileBytes(post, "file") == bytes) << "the archive's bytes arrive unchanged";
  std::remove(archive.c_str());
}

TEST_F(Mantis, ExistingReportIsBumpedOrLeftOrClosed) {
  EXPECT_EQ(Send<THTTPMantisSendReport>(), TrackerOk);
  const TExchangeRequest* update = LastTo(*script, "bug_update.php");
  EXPECT_EQ(Field(update, "summary"), "[v2.1 - 8]: Access violation (4F2A-9C01)");
  EXPECT_EQ(Field(update, "bug_id"), "42");
  EXPECT_EQ(Field(update, "description"), "d &amp; e");  // decoded once, as the browser would post it
  EXPECT_EQ(Field(update, "bug_update_token"), "T9");
  EXPECT_EQ(LastTo(*script, "bug_report.php"), nullptr);

  for (const char* closed : {"80", "90"}) {
    script->Log.clear();
    script->Closes = 0;
    status = closed;
    EXPECT_EQ(Send<THTTPMantisSendReport>(), TrackerClosed);
    EXPECT_EQ(LastTo(*script, "bug_update.php"), nullptr);
  }
  script->Log.clear();
  script->Closes = 0;
  title = "[v2.1 - 9999]: Access violation (4F2A-9C01)";
  EXPECT_EQ(Send<THTTPMantisSendReport>(), TrackerOk);
  EXPECT_EQ(LastTo(*script, "bug_update.php"), nullptr);
}

TEST_F(Mantis, EachFailingStepHasItsCode) {
  TTrackerInput in = Input();
  in.Password = "wrong";
  EXPECT_EQ(Send<THTTPMantisSendReport>(in), TrackerLoginFailed);
  struct TCase {
    const char* Page;
    int Code;
    bool Found;
  };
  for (TCase c : {TCase{"set_project.php", TrackerProjectFailed, true},
                  TCase{"view_all_bug_page.php", TrackerSearchFailed, true},
                  TCase{"bug_update_page.php", TrackerModifyFailed, true},
                  TCase{"bug_update.php", TrackerModifyFailed, true},
                  TCase{"bug_report_advanced_page.php", TrackerInsertFailed, false},
                  TCase{"bug_report.php", TrackerInsertFailed, false}}) {
    SetUp();
    found = c.Found;
    script->Closes = 0;
    script->Pages[c.Page] = [](const TExchangeRequest&) { return Page("<p>Application error</p>"); };
    EXPECT_EQ(Send<THTTPMantisSendReport>(), c.Code) << c.Page;
  }
}

TEST_F(Mantis, MessageAndProjectGoAsUtf8) {
  TTrackerInput in = Input();
  in.Text = "Fehler \xE4";
  in.Project = "Proj\xE9";
  in.AnsiToUtf8 = [](const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
      if (c < 0x80) {
        out += static_cast<char>(c);
      } else {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
      }
    }
    return out;
  };
  script->Pages["login_select_proj_page.php"] = [](const TExchangeRequest&) {
    return Page("<select name=\"project_id\"><option value=\"9\">Proj\xC3\xA9</option></select>");
  };
  script->Pages["set_project.php"] = [](const TExchangeRequest&) { return Redirect("my_view_page.php"); };
  script->Pages["my_view_page.php"] = [](const TExchangeRequest&) {
    return Page("<option value=\"9\" selected>Proj\xC3\xA9</option>");
  };
  EXPECT_EQ(Send<THTTPMantisSendReport>(in), TrackerOk);
  EXPECT_EQ(Field(LastTo(*script, "set_project.php"), "project_id"), "9");
  EXPECT_EQ(Field(LastTo(*script, "view_all_set.php"), "search"), "Fehler \xC3\xA4 (4F2A-9C01)");
}

// ---------------------------------------------------------------------------
struct Bugzilla : TTrackerFixture {
  std::string title = Title7;
  std::string statusMarker;
  bool found = true;
  void SetUp() override {
    auto& p = script->Pages;
    p["enter_bug.cgi"] = [](const TExchangeRequest& r) {
      if (r.Method == "POST")
        return Field(&r, "Bugzilla_password") == "pw" ? Page("<a href=\"index.cgi?logout=1\">Log out</a>")
                                                      : Page("<form name=\"login\">");
      return Page("<form action=\"post_bug.cgi\"><input name=\"product\" value=\"Velmora\">"
                  "<select name=\"version\"><option value=\"2.0\" selected>2.0</option><option value=\"2.1\">2.1</option></select>"
                  "<script>components[0] = \"Crashes\";</script>"
                  "<select name=\"bug_status\"><option value=\"NEW\" selected>NEW</option></select>");
    };
    p["buglist.cgi"] = [this](const TExchangeRequest&) {
      return Page("<a href=\"query.cgi?x\">Edit search</a>" +
                  std::string(found ? "<a href=\"show_bug.cgi?id=17\">17</a>" : ""));
    };
    p["show_bug.cgi"] = [this](const TExchangeRequest&) {
      return Page("<input name=\"form_name\" value=\"process_bug\"><input name=\"short_desc\" value=\"" + title +
                  "\"><input name=\"id\" value=\"17\"><input name=\"delta_ts\" value=\"D\">" + statusMarker +
                  "<textarea name=\"comment\"></textarea>");
    };
    p["process_bug.cgi"] = [](const TExchangeRequest&) { return Page("<a href=\"show_bug.cgi?id=17\">"); };
    p["post_bug.cgi"] = [](const TExchangeRequest&) {
      return Page("Bug 18 submitted <a href=\"show_bug.cgi?id=18\"><input name=\"id\" value=\"18\">");
    };
    p["attachment.cgi"] = [](const TExchangeRequest&) { return Page("Attachment added"); };
  }
};

TEST_F(Bugzilla, NewReportThenItsAttachment) {
  found = false;
  EXPECT_EQ(Send<THTTPBugzillaSendReport>(), TrackerOk);
  const TExchangeRequest* post = LastTo(*script, "post_bug.cgi");
  EXPECT_EQ(Field(post, "version"), "2.1");
  EXPECT_EQ(Field(post, "component"), "Crashes");  // from the page's script
  EXPECT_EQ(Field(post, "assigned_to"), "Bob");
  EXPECT_EQ(Field(post, "comment"), "Read of address 00000010\r\n\r\n---\r\n\r\nClick Help");
  EXPECT_EQ(Field(post, "short_desc"), "[v2.1 - 1]: Access violation (4F2A-9C01)");
  const TExchangeRequest* attach = LastTo(*script, "attachment.cgi");
  EXPECT_EQ(Field(attach, "bugid"), "18");
  EXPECT_EQ(Field(attach, "action"), "insert");
  EXPECT_EQ(Field(attach, "flag_type-4"), "X");
  EXPECT_EQ(Field(LastTo(*script, "buglist.cgi"), "content"), " (4F2A-9C01)");
}

TEST_F(Bugzilla, FailuresAndForeignHits) {
  TTrackerInput in = Input();
  in.Password = "x";
  EXPECT_EQ(Send<THTTPBugzillaSendReport>(in), TrackerLoginFailed);
  script->Closes = 0;
  title = "Other crash (1234-0000)";
  EXPECT_EQ(Send<THTTPBugzillaSendReport>(), TrackerOk);
  EXPECT_EQ(LastTo(*script, "process_bug.cgi"), nullptr);
  EXPECT_NE(LastTo(*script, "attachment.cgi"), nullptr);
  struct TCase {
    const char* Page;
    int Code;
    bool Found;
  };
  for (TCase c : {TCase{"buglist.cgi", TrackerSearchFailed, true}, TCase{"show_bug.cgi", TrackerModifyFailed, true},
                  TCase{"process_bug.cgi", TrackerModifyFailed, true},
                  TCase{"post_bug.cgi", TrackerInsertFailed, false}}) {
    SetUp();
    title = Title7;
    found = c.Found;
    script->Closes = 0;
    script->Pages[c.Page] = [](const TExchangeRequest&) { return Page("error"); };
    EXPECT_EQ(Send<THTTPBugzillaSendReport>(), c.Code) << c.Page;
  }
  SetUp();
  found = false;
  script->Closes = 0;
  auto login = script->Pages["enter_bug.cgi"];
  script->Pages["enter_bug.cgi"] = [login](const TExchangeRequest& r) {
    return r.Method == "POST" ? login(r) : Page("no form");
  };
  EXPECT_EQ(Send<THTTPBugzillaSendReport>(), TrackerProjectFailed);
  SetUp();
  found = false;
  script->Closes = 0;
  script->Pages.erase("attachment.cgi");
  EXPECT_EQ(Send<THTTPBugzillaSendReport>(), TrackerInsertFailed);
}

// ---------------------------------------------------------------------------
struct FogBugz : TTrackerFixture {
  std::string title = Title7;
  std::string extra;
  bool found = true;
  void SetUp() override {
    script->Pages["default.asp"] = [this](const TExchangeRequest& r) {
      TFieldList f = RequestFields(r);
      std::string pre = FieldValue(f, "pre").value_or("");
      std::string pg = FieldValue(f, "pg").value_or("");
      if (pre == "preLogon")
        return Page(FieldValue(f, "sPassword") == "pw" ? "<a href=\"default.asp?pre=preLogOff\">" : "Log on");
      if (pre == "preSearch")
        return Page("<form><input name=\"searchFor=\">" +
                    std::string(found ? "<a href=\"default.asp?pgx=EV&amp;ixBug=55\">55</a>" : ""));
      if (pg == "pgEditBug")
        return Page("<form action=\"default.asp?pre=preSubmitBug&sActionToken=TOK\"><input name=\"OK\">"
                    "<input name=\"sTitle\" value=\"" + title + "\"><input name=\"command\" value=\"" +
                    FieldValue(f, "command").value_or("") + "\">" +
                    "<select name=\"ixProject\"><option value=\"1\">Velmora</option></select>"
                    "<select name=\"ixArea\"><option value=\"8\">Velmora: Crashes</option></select>"
                    "<select name=\"ixPersonAssignedTo\"><option value=\"4\">Bob</option></select>" + extra);
      if (pre == "preSubmitBug") return Page("<a href=\"default.asp?command=resolve&ixBug=55\">");
      return Page("?");
    };
  }
};

TEST_F(FogBugz, NewReportAndTheTrialId) {
  found = false;
  EXPECT_EQ(Send<THTTPFogBugzSendReport>(), TrackerOk);
  const TExchangeRequest* login = &script->Log.front();
  EXPECT_EQ(Field(login, "ID"), "<none>");
  const TExchangeRequest* post = &script->Log.back();
  EXPECT_EQ(post->Object, "/tracker/default.asp?pre=preSubmitBug&sActionToken=TOK");
  EXPECT_EQ(Field(post, "ixProject"), "1");
  EXPECT_EQ(Field(post, "ixArea"), "8");
  EXPECT_EQ(Field(post, "ixPersonAssignedTo"), "4");
  EXPECT_EQ(Field(post, "nFileCount"), "1");
  EXPECT_EQ(Field(post, "sTitle"), "[v2.1 - 1]: Access violation (4F2A-9C01)");

  script->Log.clear();
  script->Closes = 0;
  TTrackerInput in = Input();
  in.Fields = TrackerFieldLines({}, "TRIAL7", "", "", "");
  in.Attachment.clear();
  EXPECT_EQ(Send<THTTPFogBugzSendReport>(in), TrackerOk);
  EXPECT_EQ(Field(&script->Log.front(), "ID"), "TRIAL7");
  EXPECT_EQ(Field(&script->Log.back(), "nFileCount"), "0");
}

TEST(TrackerSend, UnopenedConnectionRaisesOutOfSend) {
  auto script = std::make_shared<TScript>();
  script->OpenOk = false;
  THTTPMantisSendReport sender([script](const std::string& url, const std::string& proxy) {
    return std::make_unique<THTTPConnectionBase>(std::make_unique<TScriptedExchange>(script), url, proxy);
  });
  EXPECT_THROW(sender.Send(Input(), nullptr), EHTTPConnectionError);
  EXPECT_TRUE(script->Log.empty());
}

}  // namespace
}  // namespace exclog::test
