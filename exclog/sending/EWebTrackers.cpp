#include "exclog/sending/EWebTrackers.h"

#include "exclog/sending/EWebForms.h"

namespace exclog {

namespace {

// The value of a "name=value" line of the list; empty when there is none.
std::string FieldOf(const std::vector<std::string>& lines, const std::string& name) {
  return FieldValue(FieldsFromLines(lines), name).value_or(std::string());
}

const std::string& Content(const THTTPConnectionBase& c) { return c.Response().Content; }

// The title of the report found by a search must carry "(" + bug ID + ")": a full-
// text search also finds reports that only mention the words.
bool TitleCarriesId(const THTTPConnectionBase& c, const std::string& titleInput, const std::string& bugId) {
  std::optional<std::string> title = FindInput(Content(c), titleInput);
  return title && title->find("(" + bugId + ")") != std::string::npos;
}

std::string WithSteps(const std::string& description, const std::string& steps) {
  if (steps.empty()) return description;
  return description + "\r\n\r\n---\r\n\r\n" + steps;
}

void AddInputs(THTTPConnectionBase& c, std::initializer_list<const char*> names) {
  for (const char* n : names) c.AddInputField(n);
}

void AddFields(THTTPConnectionBase& c, std::initializer_list<std::pair<const char*, std::string>> fields) {
  for (const auto& f : fields) c.AddField(f.first, f.second);
}

void AddSelected(THTTPConnectionBase& c, std::initializer_list<const char*> names) {
  for (const char* n : names) c.AddSelectField(n);
}

// Closes the connection whichever way the dialogue ends; a failing close is not the
// dialogue's result.
struct TConnectionCloser {
  THTTPConnectionBase& Connection;
  ~TConnectionCloser() {
    try {
      Connection.Close();
    } catch (...) {
    }
  }
};

}  // namespace

int THTTPSendReport::Send(const TTrackerInput& input, THTTPResponse* response) {
  std::unique_ptr<THTTPConnectionBase> connection = factory_(input.Url, input.Proxy);
  connection->SetCredentials(input.HttpUser, input.HttpPassword, input.Port);
  connection->SetProxyCredentials(input.ProxyUser, input.ProxyPassword);
  connection->Open();
  int code;
  {
    TConnectionCloser closer{*connection};
    code = Dialogue(*connection, input);
    if (response) response->Assign(&connection->Response());
  }
  return code;
}

int THTTPMantisSendReport::Dialogue(THTTPConnectionBase& c, const TTrackerInput& in) {
  auto utf8 = [&](const std::string& s) { return in.AnsiToUtf8 ? in.AnsiToUtf8(s) : s; };
  const std::string project = utf8(Trimmed(in.Project));
  const std::string category = utf8(Trimmed(in.Category));
  const std::string assigned = utf8(Trimmed(in.AssignedTo));
  const std::string description = utf8(in.Description);
  const std::string steps = utf8(FieldOf(in.Fields, "QL_ReproduceText"));
  // The summary and the search carry the message too: unconverted, a non-ASCII
  // message is garbled and never found again.
  const std::string text = utf8(in.Text);

  c.Notify(2);
  c.Navigate("login.php", RequestPostForm);
  AddFields(c, {{"return", "login_select_proj_page.php"},
                {"username", in.Login},
                {"password", in.Password}});
  if (!c.Execute(nullptr, false) ||
      !(c.Check("login_select_proj_page.php", "name=\"project_id\"") ||
        c.Check("my_view_page.php", "bug_report_page.php\">")))
    return TrackerLoginFailed;

  c.Notify(3);
  if (!c.Check("my_view_page.php", "", "<select name=\"project_id\"")) {
    c.Navigate("set_project.php", RequestPostForm);
    c.AddSelectOptionField("project_id", project);
    c.Execute(nullptr, false);
    if (!(c.Check("my_view_page.php", ">" + project + "</option>") ||
          c.Check("my_view_page.php", " " + project + "</option>") ||
          c.Check("my_view_page.php", "", "<select name=\"project_id\"")))
      return TrackerProjectFailed;
  }

  c.Notify(4);
  c.Navigate("view_all_set.php?f=3", RequestPostForm);
  AddFields(c, {{"type", "1"},
                {"page_number", "1"},
                {"view_type", "simple"}});
  c.AddSearchField("search", text, in.BugId);
  if (!c.Execute(nullptr, false) || !(c.Check("view_all_bug_page.php", "name=\"reset_query_button\"") ||
                                      c.Check("view_all_bug_page.php", "name=\"source_query_id\"")))
    return TrackerSearchFailed;
  const std::string found = Content(c);

  std::string bugNumber = TextAfter(found, "bug_update_page.php?bug_id=");
  if (bugNumber.empty()) bugNumber = TextAfter(found, "bug_update_advanced_page.php?bug_id=");
  bool existing = found.find("bug_update_page.php?bug_id=") != std::string::npos ||
                  found.find("bug_update_advanced_page.php?bug_id=") != std::string::npos;
  if (existing) {
    c.Notify(5);
    c.Navigate("bug_update_page.php", RequestGet);
    c.AddField("bug_id", bugNumber);
    if (!c.Execute(nullptr, false) || !c.Check("", "name=\"severity\"")) return TrackerModifyFailed;
    existing = TitleCarriesId(c, "summary", in.BugId);
  }
  if (existing) {
    c.Navigate("bug_update.php", RequestPostForm);
    if (!c.BumpCounterField("summary")) return TrackerOk;
    std::optional<std::string> status = FindSelected(Content(c), "status");
    if (status && (*status == "80" || *status == "90")) return TrackerClosed;
    c.AddField("bug_id", bugNumber);
    c.AddInputField("update_mode");
    AddSelected(c, {"category", "severity", "reproducibility", "reporter_id", "view_state", "handler_id",
                    "priority"});
    c.AddSelectFieldIfSet("resolution");
    c.AddTextAreaField("description");
    c.AddTextAreaField("additional_information");
    c.AddTextAreaField("bugnote_text");
    c.AddField("build", in.Version);
    c.AddInputField("bug_update_token");
    c.AddSelectField("category_id");
    c.AddCustomFields(in.Fields);
    c.Execute(nullptr, true);
    return c.Check("bug_update.php", "href=\"view.php?id=") || c.Check("view.php", "href=\"view.php?id=")
               ? TrackerOk
               : TrackerModifyFailed;
  }

  c.Navigate("bug_report_advanced_page.php", RequestGet);
  if (!c.Execute(nullptr, false) || !c.Check("", "name=\"file\" type=\"file\"")) return TrackerInsertFailed;
  c.Navigate("bug_report.php", RequestPostMultipart);
  AddInputs(c, {"m_id", "project_id"});
  c.AddSelectOptionField("handler_id", assigned);
  c.AddSelectOptionField("category", category);
  c.AddField("reproducibility", "10");
  AddSelected(c, {"severity", "priority"});
  c.AddInputField("platform");
  AddFields(c, {{"os", FieldOf(in.Fields, "QL_OSType")},
                {"os_build", FieldOf(in.Fields, "QL_OSBuild")},
                {"build", in.Version}});
  c.AddSummaryField("summary", in.Version, text, in.BugId);
  AddFields(c, {{"description", description},
                {"steps_to_reproduce", steps},
                {"additional_info", ""},
                {"view_state", "10"}});
  AddInputs(c, {"report_stay", "bug_report_token"});
  c.AddSelectOptionField("category_id", category);
  c.AddCustomFields(in.Fields);
  c.AddFileField("file", in.Attachment);
  c.Execute(nullptr, true);
  return c.Check("bug_report.php", "href=\"view.php?id=") ? TrackerOk : TrackerInsertFailed;
}

int THTTPBugzillaSendReport::Dialogue(THTTPConnectionBase& c, const TTrackerInput& in) {
  const std::string project = Trimmed(in.Project);
  const std::string component = Trimmed(in.Category);
  const std::string assigned = Trimmed(in.AssignedTo);
  const std::string steps = FieldOf(in.Fields, "QL_ReproduceText");
  auto addVersion = [&] {
    if (Content(c).find("<option value=\"" + in.Version + "\">") != std::string::npos)
      c.AddField("version", in.Version);
    else
      c.AddSelectField("version");
  };

  c.Notify(2);
  c.Navigate("enter_bug.cgi", RequestPostForm);
  AddFields(c, {{"project", project},
                {"Bugzilla_login", in.Login},
                {"Bugzilla_password", in.Password}});
  if (!c.Execute(nullptr, false)) return TrackerLoginFailed;
  if (!c.Check("enter_bug.cgi", "relogin.cgi") && !c.Check("enter_bug.cgi", "index.cgi?logout=1"))
    return TrackerLoginFailed;

  c.Notify(4);
  c.Navigate("buglist.cgi", RequestGet);
  AddFields(c, {{"query_format", "specific"},
                {"order", "relevance desc"},
                {"bug_status", "__all__"},
                {"product", project},
                {"component", component}});
  c.AddSearchField("content", "", in.BugId);
  if (!c.Execute(nullptr, false) || !c.Check("buglist.cgi", "href=\"query.cgi?")) return TrackerSearchFailed;
  const std::string found = Content(c);

  bool existing = found.find("show_bug.cgi?id=") != std::string::npos;
  if (existing) {
    c.Notify(5);
    const std::string bugNumber = TextAfter(found, "show_bug.cgi?id=");
    c.Navigate("show_bug.cgi", RequestGet);
    c.AddField("id", bugNumber);
    c.Execute(nullptr, false);
    if (!(c.Check("", "name=\"form_name\"") || c.Check("", "type=\"hidden\" id=\"component\"") ||
          c.Check("", "<label for=\"component\" accesskey=\"") ||
          c.Check("", "select id=\"component\" name=\"component\"")))
      return TrackerModifyFailed;
    existing = TitleCarriesId(c, "short_desc", in.BugId);
  }
  if (existing) {
    c.Navigate("process_bug.cgi", RequestPostForm);
    if (!c.BumpCounterField("short_desc")) return TrackerOk;
    if (c.Check("", "value=\"reopen\"") || c.Check("", "value=\"reopened\"") ||
        c.Check("", "static_bug_status\">RESOLVED"))
      return TrackerClosed;
    AddInputs(c, {"delta_ts", "longdesclength", "id", "token", "alias"});
    if (FindInput(Content(c), "bug_file_loc"))
      c.AddInputField("bug_file_loc");
    else
      c.AddField("bug_file_loc", "");
    AddSelected(c, {"product", "component", "rep_platform", "op_sys"});
    addVersion();
    AddSelected(c, {"priority", "bug_severity", "target_milestone"});
    AddInputs(c, {"newcc", "cc", "qa_contact", "bug_file_loc", "status_whiteboard", "keywords"});
    c.AddField("flag_type-6", "X");
    AddInputs(c, {"requestee_type-6", "dependson", "blocked"});
    c.AddTextAreaField("comment");
    c.AddField("knob", "none");
    c.AddSelectFieldIfSet("resolution");
    AddInputs(c, {"dup_id", "assigned_to", "form_name"});
    c.AddCustomFields(in.Fields);
    c.Execute(nullptr, true);
    return c.Check("process_bug.cgi", "show_bug.cgi?id=") ? TrackerOk : TrackerModifyFailed;
  }

  c.Notify(3);
  c.Navigate("enter_bug.cgi", RequestGet);
  c.AddField("product", project);
  c.AddField("component", component);
  c.Execute(nullptr, false);
  if (!c.Check("", "action=\"post_bug.cgi\"")) return TrackerProjectFailed;
  c.Navigate("post_bug.cgi", RequestPostForm);
  AddInputs(c, {"product", "component"});
  addVersion();
  if (!FindInput(Content(c), "component")) {
    std::optional<std::string> selected = FindSelected(Content(c), "component");
    std::string value = selected ? *selected : TextAfter(Content(c), "components[0] = \"");
    if (!value.empty()) c.AddField("component", value);
  }
  AddSelected(c, {"rep_platform", "op_sys", "priority", "bug_severity", "target_milestone"});
  c.AddInputField("bug_status");
  c.AddField("assigned_to", assigned.empty() ? in.Login : assigned);
  AddInputs(c, {"qa_contact", "cc", "estimated_time", "deadline", "bug_file_loc"});
  c.AddSummaryField("short_desc", in.Version, in.Text, in.BugId);
  c.AddField("comment", WithSteps(in.Description, steps));
  AddInputs(c, {"keywords", "dependson", "blocked"});
  c.AddField("form_name", "enter_bug");
  if (HasSelect(Content(c), "bug_status")) c.AddSelectField("bug_status");
  c.AddCustomFields(in.Fields);
  if (!c.Execute(nullptr, false) || !c.Check("post_bug.cgi", "show_bug.cgi?id=")) return TrackerInsertFailed;

  const std::string bugId = FindInput(Content(c), "id").value_or(TextAfter(Content(c), "show_bug.cgi?id="));
  c.Navigate("attachment.cgi", RequestPostMultipart);
  AddFields(c, {{"bugid", bugId},
                {"action", "insert"},
                {"description", "FILE"},
                {"contenttypemethod", "list"},
                {"contenttypeselection", "application/octet-stream"},
                {"contenttypeentry", ""}});
  for (const char* flag : {"flag_type-1", "flag_type-2", "flag_type-3", "flag_type-4"}) c.AddField(flag, "X");
  c.AddField("comment", "");
  c.AddFileField("data", in.Attachment);
  c.Execute(nullptr, true);
  // An error page under that name is no attachment.
  return c.Response().StatusCode == 200 && c.Check("attachment.cgi", "") ? TrackerOk : TrackerInsertFailed;
}

int THTTPFogBugzSendReport::Dialogue(THTTPConnectionBase& c, const TTrackerInput& in) {
  const std::string project = Trimmed(in.Project);
  const std::string area = Trimmed(in.Category);
  const std::string assigned = Trimmed(in.AssignedTo);
  const std::string trialId = FieldOf(in.Fields, "FogBugzTrialID");
  const std::string steps = FieldOf(in.Fields, "QL_ReproduceText");
  auto postAddress = [&] {
    std::string token = TextAfter(Content(c), "sActionToken=");
    return "default.asp?pre=preSubmitBug" + (token.empty() ? std::string() : "&sActionToken=" + token);
  };

  c.Notify(2);
  c.Navigate("default.asp", RequestPostForm);
  AddFields(c, {{"pre", "preLogon"},
                {"dest", ""},
                {"sPerson", in.Login},
                {"sPassword", in.Password},
                {"fRememberPassword", "0"}});
  if (!trialId.empty()) c.AddField("ID", trialId);
  if (!c.Execute(nullptr, false) || !c.Check("", "pre=preLogOff")) return TrackerLoginFailed;

  c.Notify(4);
  c.Navigate("default.asp", RequestGet);
  AddFields(c, {{"pre", "preSearch"},
                {"pg", "pgList"},
                {"pgBack", "pgSearch"},
                {"search", "1"},
                {"bAlsoSearchClosedBugs", "ON"}});
  c.AddSearchField("searchFor", in.Text, in.BugId);
  if (!c.Execute(nullptr, false) || !c.Check("", "searchFor=")) return TrackerSearchFailed;
  const std::string found = Content(c);

  bool existing = FindNoCase(found, "default.asp?pg=pgeditbug") != std::string::npos ||
                  FindNoCase(found, "default.asp?pgx=EV&amp;ixBug=") != std::string::npos;
  std::string bugNumber;
  if (existing) {
    c.Notify(5);
    bugNumber = TextAfter(found, "ixBug=");
    c.Navigate("default.asp", RequestGet);
    AddFields(c, {{"pg", "pgEditBug"},
                  {"command", "edit"},
                  {"ixBug", bugNumber}});
    if (!c.Execute(nullptr, false) || !c.Check("", "name=\"OK\"")) return TrackerModifyFailed;
    existing = TitleCarriesId(c, "sTitle", in.BugId);
  }
  if (existing) {
    c.Navigate(postAddress(), RequestPostMultipart);
    if (!c.BumpCounterField("sTitle")) return TrackerOk;
    if (FindNoCase(Content(c), "default.asp?pg=pgEditReleaseNotes") != std::string::npos) return TrackerClosed;
    AddInputs(c, {"command", "dtTimeStamp"});
    c.AddField("ixBug", bugNumber);
    AddInputs(c, {"ixBugEventLatest", "ixPersonLastOwner", "ixDiscussTopic", "ixScreenshot", "sOriginalTitle",
                  "sEvent"});
    AddSelected(c, {"ixProject", "ixArea", "ixPersonAssignedTo", "ixCategory", "ixFixFor", "ixPriority"});
    AddInputs(c, {"sDueDate", "sDueTime", "hrsCurrEstNew", "hrsElapsedNew", "dblTimeStamp", "fIEFileBrowse",
                  "fIEFileBrowse", "hrsCurrEstNew", "idSubscriptionState", "ixDiscussTopic",
                  "ixPersonLastOwner", "nFileCount", "omitAtt", "sComputer"});
    c.AddTextAreaField("sEvent");
    c.AddInputField("sOriginalTitle");
    c.AddField("sVersion", in.Version);
    c.AddCustomFields(in.Fields);
    c.Execute(nullptr, true);
    return c.Check("", "command=resolve") ? TrackerOk : TrackerModifyFailed;
  }

  c.Notify(3);
  c.Navigate("default.asp", RequestGet);
  c.AddField("command", "new");
  c.AddField("pg", "pgEditBug");
  if (!c.Execute(nullptr, false) || !c.Check("default.asp", "")) return TrackerInsertFailed;
  c.Navigate(postAddress(), RequestPostMultipart);
  AddInputs(c, {"command", "dtTimeStamp", "ixBug", "ixBugEventLatest", "ixPersonLastOwner", "ixDiscussTopic",
                "ixScreenshot", "sOriginalTitle"});
  c.AddSummaryField("sTitle", in.Version, in.Text, in.BugId);
  c.AddField("sEvent", WithSteps(in.Description, steps));
  c.AddSelectOptionField("ixProject", project);
  c.AddSelectOptionField("ixArea", project + ": " + area);
  if (!assigned.empty())
    c.AddSelectOptionField("ixPersonAssignedTo", assigned);
  else
    c.AddSelectField("ixPersonAssignedTo");
  AddSelected(c, {"ixCategory", "ixFixFor"});
  c.AddField("ixPriority", "1");
  AddInputs(c, {"sDueDate", "sDueTime", "hrsCurrEstNew", "hrsElapsedNew", "omitAtt", "fIEFileBrowse"});
  c.AddField("sVersion", in.Version);
  AddInputs(c, {"sComputer", "dblTimeStamp"});
  c.AddCustomFields(in.Fields);
  if (!in.Attachment.empty()) {
    c.AddField("nFileCount", "1");
    c.AddFileField("File1", in.Attachment);
  } else {
    c.AddField("nFileCount", "0");
  }
  c.Execute(nullptr, true);
  return c.Check("", "command=resolve") ? TrackerOk : TrackerInsertFailed;
}

}  // namespace exclog
