#!/usr/bin/env bash
# The whole road of a report by SMTP: mail_probe.exe raises an unhandled exception,
# the logger mails its report to an aiosmtpd on 127.0.0.1, and the message that
# arrived is checked: the refused first recipient, the cleaned headers, the "."
# body line, the archive equal to the copy the program kept, whole for unzip.
#
#   tests/peers/mail_probe.sh WINE-RUN MAIL_PROBE.EXE
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
wine_run=$1
probe=$2
work=$(mktemp -d)
peer=
cleanup() {
  exec 9>&- 2>/dev/null
  [ -n "$peer" ] && kill "$peer" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
mkfifo "$work/hold"
exec 9<>"$work/hold"
mkdir -p "$work/store" "$work/kept"
/usr/bin/python3 "$here/smtp_peer.py" store "$work/store" <"$work/hold" >"$work/port" &
peer=$!
for _ in $(seq 400); do [ -s "$work/port" ] && break; sleep 0.05; done
[ -s "$work/port" ] || { echo "mail_probe: the SMTP peer did not start" >&2; exit 1; }

kept="Z:${work//\//\\}\\kept"
"$wine_run" "$probe" "$kept" "$(head -n1 "$work/port")" >"$work/probe.out" 2>&1
echo "mail_probe: the program ended with $?"

/usr/bin/python3 - "$work" <<'PY'
import base64, email, glob, json, os, subprocess, sys
work = sys.argv[1]
found = sorted(glob.glob(os.path.join(work, "store", "msg-*.json")))
assert len(found) == 1, ("messages", found, open(os.path.join(work, "probe.out")).read()[-3000:])
r = json.load(open(found[0]))
assert r["from"] == "probe@x.test" and r["to"] == ["you@y.test"], r
m = email.message_from_bytes(base64.b64decode(r["data"]))
assert m["From"] == '"Probe Bcc: evil" <probe@x.test>', m["From"]
assert m["Subject"] == "Probe report Bcc: x" and m["Bcc"] is None, m["Subject"]
text, archive = m.get_payload()
assert "\n.\nAfter the dot line." in text.get_payload().replace("\r\n", "\n"), repr(text.get_payload())
kept = glob.glob(os.path.join(work, "kept", "*.zip"))
assert len(kept) == 1, kept
data = archive.get_payload(decode=True)
assert data == open(kept[0], "rb").read(), "the archive differs from the kept copy"
open(os.path.join(work, "received.zip"), "wb").write(data)
subprocess.run(["unzip", "-tq", os.path.join(work, "received.zip")], check=True)
print("mail_probe: the report arrived as sent")
PY
