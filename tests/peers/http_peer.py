#!/usr/bin/python3
"""A small HTTP server for the web-transport tests, on 127.0.0.1 only.

It logs every request as one JSON line (method, path, query, Basic credentials,
form fields parsed with urllib.parse or Python's email parser, uploaded files
with size and SHA-256, Via and Cookie headers), stores uploaded files, and scripts
replies: redirects after a POST, a Refresh header, a self-redirect, a huge body, a
500 with a text and a status line without a number. With --cert and --key it
speaks TLS. It writes "port pid" to --ready when listening and ends after
--idle seconds without a request, or on GET /__quit.
"""
import argparse
import base64
import hashlib
import http.server
import json
import os
import ssl
import threading
import time
import urllib.parse

from peer_common import announce, end_when_idle, parse_form

args = None
last_request = time.time()
log_lock = threading.Lock()


def log(entry):
    with log_lock:
        with open(args.log, "a", encoding="utf-8") as f:
            f.write(json.dumps(entry) + "\n")


def parse_body(content_type, body):
    fields, parts = parse_form(content_type, body)
    files = {}
    for name, (filename, data) in parts.items():
        files[name] = {"filename": filename, "size": len(data), "sha256": hashlib.sha256(data).hexdigest()}
        if filename and args.store:
            with open(os.path.join(args.store, filename), "wb") as f:
                f.write(data)
    return fields, files


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *a):
        pass

    def reply(self, status, body=b"", headers=()):
        self.send_response(status)
        for k, v in headers:
            self.send_header(k, v)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def handle_any(self):
        global last_request
        last_request = time.time()
        url = urllib.parse.urlsplit(self.path)
        length = int(self.headers.get("Content-Length") or 0)
        body = self.rfile.read(length) if length else b""
        fields, files = parse_body(self.headers.get("Content-Type", ""), body)
        auth = self.headers.get("Authorization", "")
        user = ""
        if auth.startswith("Basic "):
            user = base64.b64decode(auth[6:]).decode("latin-1")
        page = url.path.rsplit("/", 1)[-1]
        log({"method": self.command, "path": url.path, "page": page, "query": url.query,
             "auth": user, "fields": fields, "files": files,
             "via": self.headers.get("Via", ""), "cookie": self.headers.get("Cookie", ""),
             "content_type": self.headers.get("Content-Type", "")})
        if page == "__quit":
            self.reply(200, b"bye")
            threading.Thread(target=self.server.shutdown).start()
        elif args.user and user != args.user:
            self.reply(401, b"who?", [("WWW-Authenticate", 'Basic realm="peer"')])
        elif page.startswith("slow_"):
            # A reply kept back, so a client's waiting state can be watched.
            time.sleep(2)
            self.reply(200, ("page " + page + "\x01 done").encode())
        elif page == "post.php" and self.command == "POST":
            self.reply(302, b"", [("Location", "landed.php?from=post")])
        elif page == "refresh.php":
            self.reply(200, b"wait", [("Refresh", "0; url=refreshed.php")])
        elif page == "loop.php":
            self.reply(302, b"", [("Location", "loop.php")])
        elif page == "huge.php":
            self.reply(200, b"x" * (17 << 20))
        elif page == "fail.php":
            self.reply(500, b"broken", [])
        elif page == "weird.php":
            self.wfile.write(b"HTTP/1.1 abc Weird\r\nContent-Length: 0\r\n\r\n")
        else:
            self.reply(200, ("page " + page + "\x01 done").encode())

    do_GET = do_POST = handle_any


def main():
    global args
    p = argparse.ArgumentParser()
    p.add_argument("--ready", required=True)
    p.add_argument("--log", required=True)
    p.add_argument("--store", default="")
    p.add_argument("--user", default="")
    p.add_argument("--cert", default="")
    p.add_argument("--key", default="")
    p.add_argument("--idle", type=float, default=120)
    p.add_argument("--port", type=int, default=0)
    args = p.parse_args()
    server = http.server.ThreadingHTTPServer(("127.0.0.1", args.port), Handler)
    server.daemon_threads = True
    if args.cert:
        ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        ctx.load_cert_chain(args.cert, args.key)
        server.socket = ctx.wrap_socket(server.socket, server_side=True)

    end_when_idle(lambda: last_request, args.idle)
    announce(args.ready, server.server_address[1])
    server.serve_forever()


if __name__ == "__main__":
    main()
