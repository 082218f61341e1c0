#!/usr/bin/python3
"""A stand-in bug tracker for the tracker-dialogue tests, on 127.0.0.1 only.

--kind mantis, bugzilla or fogbugz serves the pages that tracker's dialogue walks,
with the same page names, forms, fields and marker texts: a session cookie set at
login and required after it, reports with title, description, status and
attachments, a full-text search over titles and descriptions for the bug ID in
the search text, forms parsed with urllib.parse and Python's email parser, and
every uploaded archive checked with zipfile.testzip. Every page ends in hostile
markup (an unterminated quote, entity-laden values, a huge character reference). Each request is logged as one
JSON line in --log; the reports are written to --state after every change.
--seed names a JSON list of reports to start with. Writes "port pid" to --ready.
"""
import argparse
import hashlib
import html
import http.server
import io
import json
import os
import re
import threading
import time
import urllib.parse
import zipfile

from peer_common import announce, end_when_idle, parse_form

args = None
reports = []
lock = threading.Lock()
SESSION = "velmora-session-1"


def save():
    with open(args.state + ".part", "w", encoding="utf-8") as f:
        json.dump(reports, f)
    os.replace(args.state + ".part", args.state)


def attachment(filename, data):
    try:
        ok = zipfile.ZipFile(io.BytesIO(data)).testzip() is None
    except zipfile.BadZipFile:
        ok = False
    return {"name": filename, "size": len(data), "sha256": hashlib.sha256(data).hexdigest(), "zip_ok": ok}


def find(search):
    m = re.search(r"\(([^()]*)\)\s*$", search)
    key = m.group(1) if m else search.strip()
    if not key:
        return []
    return [r for r in reports if key in r["title"] or key in r.get("description", "")]


def report(number):
    for r in reports:
        if str(r["id"]) == str(number):
            return r
    return None


def new_report(title, description, files, extra):
    r = {"id": 100 + len(reports), "title": title, "description": description, "status": "open",
         "attachments": [attachment(n, d) for n, d in files.values() if n], "fields": extra}
    reports.append(r)
    return r


def esc(s):
    return html.escape(s, quote=True)


# --- Mantis ---------------------------------------------------------------------------
def mantis(h, page, q, f, files):
    if page == "login.php":
        if f.get("username") == args.login and f.get("password") == args.password:
            return h.redirect(f.get("return", "my_view_page.php"), cookie=True)
        return h.redirect("login_page.php?error=1")
    if page == "login_page.php":
        return h.page('<form action="login.php" method="post">Your account may be disabled</form>')
    if not h.logged_in():
        return h.redirect("login_page.php")
    if page == "login_select_proj_page.php":
        return h.page('<form method="post" action="set_project.php"><select name="project_id">'
                      '<option value="1">Other</option><option value="3">Velmora</option></select></form>')
    if page == "set_project.php":
        return h.redirect("my_view_page.php" if f.get("project_id") == "3" else "login_select_proj_page.php")
    if page == "my_view_page.php":
        return h.page('<select name="project_id"><option value="3" selected="selected">Velmora</option>'
                      '</select><a href="bug_report_page.php">Report Issue</a>')
    if page == "view_all_set.php":
        h.server.search = f.get("search", "")
        return h.redirect("view_all_bug_page.php")
    if page == "view_all_bug_page.php":
        links = "".join('<a href="bug_update_page.php?bug_id=%d">edit</a>' % r["id"]
                        for r in find(h.server.search))
        return h.page('<input type="submit" name="reset_query_button" value="Reset" />' + links)
    if page == "bug_update_page.php":
        r = report(q.get("bug_id"))
        if not r:
            return h.page("Issue not found")
        status = {"open": "50", "closed": "90"}[r["status"]]
        return h.page(
            '<form method="post" action="bug_update.php"><input type="hidden" name="bug_update_token" value="U7" />'
            '<input type="hidden" name="update_mode" value="1" />'
            '<select name="severity"><option value="50" selected="selected">major</option></select>'
            '<select name="status"><option value="%s" selected="selected">s</option></select>'
            '<input type="text" name="summary" value="%s" />'
            '<textarea name="description">%s</textarea></form>' % (status, esc(r["title"]), esc(r["description"])))
    if page == "bug_update.php":
        r = report(f.get("bug_id"))
        r["title"] = f["summary"]
        r["description"] = f.get("description", "")
        save()
        return h.page('<a href="view.php?id=%d">View</a>' % r["id"])
    if page == "bug_report_advanced_page.php":
        return h.page(
            '<form method="post" enctype="multipart/form-data" action="bug_report.php">'
            '<input type="hidden" name="m_id" value="0" /><input type="hidden" name="project_id" value="3" />'
            '<input type="hidden" name="bug_report_token" value="R5" />'
            '<select name="handler_id"><option value="0" selected="selected"></option><option value="5">Bob</option></select>'
            '<select name="category"><option value="1">General</option><option value="2">Crashes</option></select>'
            '<select name="severity"><option value="50" selected="selected">major</option></select>'
            '<input name="file" type="file" size="60" /></form>')
    if page == "bug_report.php":
        if f.get("bug_report_token") != "R5" or f.get("category") != "2":
            return h.page("APPLICATION ERROR #11")
        r = new_report(f["summary"], f.get("description", ""), files,
                       {k: f.get(k, "") for k in ("handler_id", "os", "os_build", "steps_to_reproduce")})
        save()
        return h.page('Operation successful. <a href="view.php?id=%d">View</a>' % r["id"])
    return h.page("unknown page", 404)


# --- Bugzilla -------------------------------------------------------------------------
def bugzilla(h, page, q, f, files):
    if page == "enter_bug.cgi" and h.command == "POST":
        if f.get("Bugzilla_login") == args.login and f.get("Bugzilla_password") == args.password:
            return h.page('<a href="index.cgi?logout=1">Log&nbsp;out</a>', cookie=True)
        return h.page("Invalid Username Or Password")
    if not h.logged_in():
        return h.page("Log in to Bugzilla")
    if page == "buglist.cgi":
        links = "".join('<a href="show_bug.cgi?id=%d">%d</a>' % (r["id"], r["id"]) for r in find(q.get("content", "")))
        return h.page('<a href="query.cgi?format=advanced">Edit Search</a>' + links)
    if page == "show_bug.cgi":
        r = report(q.get("id"))
        if not r:
            return h.page("Bug not found")
        closed = '<span id="static_bug_status">RESOLVED' if r["status"] == "closed" else ""
        return h.page(
            '<form name="changeform" method="post" action="process_bug.cgi">'
            '<input type="hidden" name="form_name" value="process_bug">'
            '<input type="hidden" name="delta_ts" value="2026-12-07"><input type="hidden" name="id" value="%d">'
            '<input type="hidden" name="token" value="B3"><input name="short_desc" value="%s">%s'
            '<select name="product"><option value="Velmora" selected>Velmora</option></select>'
            '<select id="component" name="component"><option value="Crashes" selected>Crashes</option></select>'
            '<textarea name="comment"></textarea></form>' % (r["id"], esc(r["title"]), closed))
    if page == "process_bug.cgi":
        r = report(f.get("id"))
        if f.get("token") != "B3":
            return h.page("Suspicious Action")
        r["title"] = f["short_desc"]
        save()
        return h.page('Changes submitted for <a href="show_bug.cgi?id=%d">bug</a>' % r["id"])
    if page == "enter_bug.cgi":
        return h.page(
            '<form name="Create" method="post" action="post_bug.cgi"><input type="hidden" name="product" value="Velmora">'
            '<select name="version"><option value="2.0" selected>2.0</option><option value="2.1">2.1</option></select>'
            '<script>var components = new Array(1); components[0] = "Crashes";</script>'
            '<select name="bug_status"><option value="NEW" selected>NEW</option></select></form>')
    if page == "post_bug.cgi":
        if f.get("component") != "Crashes" or f.get("version") != "2.1":
            return h.page("Invalid component or version")
        r = new_report(f["short_desc"], f.get("comment", ""), {}, {"assigned_to": f.get("assigned_to", "")})
        save()
        return h.page('Bug %d Submitted <a href="show_bug.cgi?id=%d">'
                      '<input type="hidden" name="id" value="%d">' % (r["id"], r["id"], r["id"]))
    if page == "attachment.cgi":
        r = report(f.get("bugid"))
        if not r or "data" not in files or f.get("action") != "insert":
            return h.page("Invalid attachment", 400)
        r["attachments"].append(attachment(*files["data"]))
        save()
        return h.page("Attachment to bug %d created" % r["id"])
    return h.page("unknown page", 404)


# --- FogBugz --------------------------------------------------------------------------
def fogbugz(h, page, q, f, files):
    if page != "default.asp":
        return h.page("unknown page", 404)
    every = dict(q)
    every.update(f)
    pre, pg = every.get("pre", ""), every.get("pg", "")
    if pre == "preLogon":
        if f.get("sPerson") == args.login and f.get("sPassword") == args.password:
            return h.page('<a href="default.asp?pre=preLogOff">Log Off</a>', cookie=True)
        return h.page("Incorrect password or username")
    if not h.logged_in():
        return h.page("Log On")
    if pre == "preSearch":
        links = "".join('<a href="default.asp?pgx=EV&amp;ixBug=%d">%d</a>' % (r["id"], r["id"])
                        for r in find(q.get("searchFor", "")))
        return h.page('<a href="default.asp?pg=pgList&searchFor=x">List</a>' + links)
    if pg == "pgEditBug":
        r = report(q.get("ixBug")) if q.get("command") == "edit" else None
        notes = '<a href="default.asp?pg=pgEditReleaseNotes">Notes</a>' if r and r["status"] == "closed" else ""
        return h.page(
            '<form method="post" enctype="multipart/form-data" action="default.asp?pre=preSubmitBug&sActionToken=F9">'
            '<input type="hidden" name="command" value="%s"><input name="sTitle" value="%s">'
            '<select name="ixProject"><option value="1">Velmora</option></select>'
            '<select name="ixArea"><option value="7">Velmora: Misc</option><option value="8">Velmora: Crashes</option></select>'
            '<select name="ixPersonAssignedTo"><option value="2" selected>Up For Grabs</option><option value="4">Bob</option></select>'
            '<input type="submit" name="OK" value="OK">%s</form>'
            % (q.get("command", ""), esc(r["title"]) if r else "", notes))
    if pre == "preSubmitBug":
        if q.get("sActionToken") != "F9":
            return h.page("bad token")
        if f.get("command") == "edit":
            r = report(f.get("ixBug"))
            r["title"] = f["sTitle"]
        else:
            r = new_report(f["sTitle"], f.get("sEvent", ""), files,
                           {k: f.get(k, "") for k in ("ixArea", "ixPersonAssignedTo", "nFileCount")})
        save()
        return h.page('<a href="default.asp?command=resolve&ixBug=%d">Resolve</a>' % r["id"])
    return h.page("?")


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *a):
        pass

    def logged_in(self):
        return ("SID=" + SESSION) in self.headers.get("Cookie", "")

    def page(self, body, status=200, cookie=False):
        # Hostile markup after the forms: an unterminated quote, entity-laden values
        # and a huge character reference.
        body += ('<input name="junk" value="&amp;amp;&#99999999999999999999;&#x41;">'
                 "<input name='open value=\"" + "&lt;" * 2000)
        data = body.encode("utf-8")
        self.send_response(status)
        if cookie:
            self.send_header("Set-Cookie", "SID=%s; path=/" % SESSION)
        self.send_header("Content-Type", "text/html; charset=utf-8")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def redirect(self, where, cookie=False):
        self.send_response(302)
        if cookie:
            self.send_header("Set-Cookie", "SID=%s; path=/" % SESSION)
        self.send_header("Location", where)
        self.send_header("Content-Length", "0")
        self.end_headers()

    def handle_any(self):
        url = urllib.parse.urlsplit(self.path)
        q = dict(urllib.parse.parse_qsl(url.query, keep_blank_values=True))
        length = int(self.headers.get("Content-Length") or 0)
        body = self.rfile.read(length) if length else b""
        f, files = parse_form(self.headers.get("Content-Type", ""), body)
        page = url.path.rsplit("/", 1)[-1]
        with lock:
            with open(args.log, "a", encoding="utf-8") as out:
                out.write(json.dumps({"method": self.command, "page": page, "query": q, "fields": f,
                                      "files": sorted(files)}) + "\n")
            {"mantis": mantis, "bugzilla": bugzilla, "fogbugz": fogbugz}[args.kind](self, page, q, f, files)
        self.server.last = time.time()

    do_GET = do_POST = handle_any


def main():
    global args, reports
    p = argparse.ArgumentParser()
    for name in ("--ready", "--log", "--state", "--kind"):
        p.add_argument(name, required=True)
    p.add_argument("--seed", default="")
    p.add_argument("--login", default="ann")
    p.add_argument("--password", default="pw")
    p.add_argument("--idle", type=float, default=120)
    args = p.parse_args()
    if args.seed:
        with open(args.seed, encoding="utf-8") as f:
            reports = json.load(f)
    save()
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.search = ""
    server.last = time.time()

    end_when_idle(lambda: server.last, args.idle)
    announce(args.ready, server.server_address[1])
    server.serve_forever()


if __name__ == "__main__":
    main()
