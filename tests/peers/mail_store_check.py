#!/usr/bin/python3
"""Checks the messages the Wine mail test sent to the peers of mail_peers.sh: the
envelope, the cleaned headers, the "." body line, the credentials, and the attached
archive equal to the kept copy and whole for unzip."""
import base64
import email
import glob
import json
import os
import subprocess
import sys

work = sys.argv[1]
kept = open(os.path.join(work, "kept.zip"), "rb").read()


def check(path, login, password):
    r = json.load(open(path))
    assert r["from"] == "me@x.test", r["from"]
    assert r["to"] == ["you@y.test"], r["to"]
    assert (r["login"], r["password"]) == (login, password), (r["login"], r["password"])
    m = email.message_from_bytes(base64.b64decode(r["data"]))
    assert m["From"] == '"Desk Bcc: evil" <me@x.test>', m["From"]
    assert m["Subject"] == "Crash Bcc: x", m["Subject"]
    assert m["Bcc"] is None
    assert m["Date"] and m["Message-ID"].endswith(".invalid>"), m["Message-ID"]
    text, archive = m.get_payload()
    assert "\n.\n" in text.get_payload().replace("\r\n", "\n"), repr(text.get_payload())
    assert archive.get_filename() == "kept.zip"
    data = archive.get_payload(decode=True)
    assert data == kept, "the archive differs from the kept copy"
    copy = os.path.join(work, "received.zip")
    open(copy, "wb").write(data)
    subprocess.run(["unzip", "-tq", copy], check=True)


plain = sorted(glob.glob(os.path.join(work, "plain", "msg-*.json")))
auth = sorted(glob.glob(os.path.join(work, "auth", "msg-*.json")))
assert len(plain) == 1 and len(auth) == 1, (plain, auth)
check(plain[0], None, None)
check(auth[0], "reporter", "s3cret")
print("mail_store_check: both messages as sent")
