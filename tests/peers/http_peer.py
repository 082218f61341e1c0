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


def write_slowly(handler, head, pieces, pause):
    """The head, then each piece after a pause, until the client gives up."""
    try:
        handler.wfile.write(head)
        handler.wfile.flush()
        for piece in pieces:
            time.sleep(pause)
            handler.wfile.write(piece)
            handler.wfile.flush()
    except OSError:
        pass
    handler.close_connection = True


def header_flood(handler):
    """A status line, then header lines without end (about 64 MiB) at full speed."""
    line = b"X-Flood: " + b"f" * 1000 + b"\r\n"
    write_slowly(handler, b"HTTP/1.1 200 OK\r\n", (line * 64 for _ in range(1024)), 0)


def forever(piece):
    while True:
        yield piece


# Replies no server that took the request would give: each must end a send as failed.
HOSTILE = {
    # Never a byte of reply.
    "silent.php": lambda h: write_slowly(h, b"", forever(b""), 1),
    # 100 MB announced, then 64 bytes a second.
    "trickle.php": lambda h: write_slowly(
        h, b"HTTP/1.1 200 OK\r\nContent-Length: 100000000\r\n\r\n", forever(b"t" * 64), 1),
    # Chunked, a chunk of 16 bytes a second without end.
    "chunks.php": lambda h: write_slowly(
        h, b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n", forever(b"10\r\n" + b"c" * 16 + b"\r\n"), 1),
    # Header lines trickled, a line every second.
    "slowheaders.php": lambda h: write_slowly(h, b"HTTP/1.1 200 OK\r\n", forever(b"X-Slow: s\r\n"), 1),
    "flood.php": header_flood,
    # A body with no status line before it.
    "nostatus.php": lambda h: write_slowly(h, b"<html>uploaded</html>\r\n", (), 0),
    # LF line ends and the connection closed before the headers ended.
    "cutheaders.php": lambda h: write_slowly(h, b"HTTP/1.1 200 OK\nContent-Type: text/html\n", (), 0),
}


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
        elif page == "bigheaders.php":
            # A whole reply whose headers (300 KiB) are longer than a send takes.
            self.send_response(200)
            for i in range(300):
                self.send_header("X-Big-%d" % i, "b" * 1000)
            self.send_header("Content-Length", "2")
            self.end_headers()
            self.wfile.write(b"ok")
        elif page == "huge.php":
            self.reply(200, b"x" * (17 << 20))
        elif page == "fail.php":
            self.reply(500, b"broken", [])
        elif page in HOSTILE:
            HOSTILE[page](self)
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
