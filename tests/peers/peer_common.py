"""What the test servers of tests/peers share: telling the test where they listen,
ending when no one has asked anything for a while, and reading form bodies."""
import email.parser
import email.policy
import os
import threading
import time
import urllib.parse


def announce(ready, port, pid=None):
    """Writes "port pid" to `ready` in one step, so the test never reads half."""
    with open(ready + ".part", "w") as f:
        f.write("%d %d\n" % (port, pid if pid is not None else os.getpid()))
    os.rename(ready + ".part", ready)


def end_when_idle(last_seen, idle):
    """Ends the process once `last_seen()` (a time) lies `idle` seconds back."""
    def watch():
        while time.time() - last_seen() < idle:
            time.sleep(1)
        os._exit(0)

    threading.Thread(target=watch, daemon=True).start()


def parse_form(content_type, body):
    """The fields of a request body, form-encoded (urllib.parse) or multipart
    (Python's email parser): (fields, files), files as name: (file name, bytes)."""
    fields, files = {}, {}
    if content_type.startswith("multipart/form-data"):
        raw = b"Content-Type: " + content_type.encode() + b"\r\n\r\n" + body
        msg = email.parser.BytesParser(policy=email.policy.HTTP).parsebytes(raw)
        for part in msg.iter_parts():
            name = part.get_param("name", header="content-disposition")
            filename = part.get_param("filename", header="content-disposition")
            data = part.get_payload(decode=True) or b""
            if filename is None:
                fields[name] = data.decode("latin-1")
            else:
                files[name] = (filename, data)
    elif content_type.startswith("application/x-www-form-urlencoded"):
        for k, v in urllib.parse.parse_qsl(body.decode("latin-1"), keep_blank_values=True):
            fields[k] = v
    return fields, files
