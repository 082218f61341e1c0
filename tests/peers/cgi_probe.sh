#!/usr/bin/env bash
# A program run as CGI by a real web server: lighttpd on 127.0.0.1 runs the start-up
# test program's failing CGI child under Wine, and the answer a browser gets is
# checked: status 500, an HTML type, the length of what came, a page an HTML parser
# takes, holding the escaped message once and the page's identifier.
#
#   tests/peers/cgi_probe.sh PROGRAM.exe
set -uo pipefail
program=$1
work=$(mktemp -d)
server=
cleanup() {
  [ -n "$server" ] && kill "$server" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/www"
port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')

# The server hands its CGI programs only the request's variables: the Wine session's
# own go into the wrapper.
{
  echo '#!/bin/sh'
  for name in WINEPREFIX WINEARCH WINEDEBUG WINEDLLOVERRIDES DISPLAY HOME PATH; do
    printf 'export %s=%q\n' "$name" "${!name-}"
  done
  printf 'exec wine %q --child cgi-quiet 2>/dev/null\n' "$program"
} >"$work/www/fail.cgi"
chmod +x "$work/www/fail.cgi"
cat >"$work/lighttpd.conf" <<CONF
server.document-root = "$work/www"
server.bind = "127.0.0.1"
server.port = $port
server.modules = ("mod_cgi")
cgi.assign = (".cgi" => "")
server.errorlog = "$work/error.log"
server.upload-dirs = ("$work")
CONF
lighttpd -D -f "$work/lighttpd.conf" &
server=$!

/usr/bin/python3 - "$port" "$work" <<'PY'
import http.client, subprocess, sys, time
port, work = int(sys.argv[1]), sys.argv[2]
deadline = time.time() + 20
while True:
    try:
        connection = http.client.HTTPConnection("127.0.0.1", port, timeout=180)
        connection.request("GET", "/fail.cgi?x=1")
        break
    except ConnectionRefusedError:
        assert time.time() < deadline, "lighttpd did not start"
        time.sleep(0.1)
answer = connection.getresponse()
body = answer.read()
assert answer.status == 500, (answer.status, answer.reason, body[:2000])
assert answer.getheader("Content-Type") == "text/html", answer.getheaders()
assert int(answer.getheader("Content-Length")) == len(body), (answer.getheader("Content-Length"), len(body))
page = body.decode("latin-1")
message = "bad &lt;request&gt; &amp; &quot;more&quot;."
assert page.count(message) == 1, page
at = page.find("<!-- QuelbaLog ID: ")
assert at >= 0 and page[at + 27:at + 31] == " -->" and all(c in "0123456789ABCDEF" for c in page[at + 19:at + 27]), page
open(work + "/page.html", "wb").write(body)
lint = subprocess.run(["xmllint", "--html", "--noout", work + "/page.html"], capture_output=True, text=True)
assert lint.returncode == 0 and not lint.stderr, lint.stderr
print("cgi_probe: the failing CGI program answered with its error page")
PY
