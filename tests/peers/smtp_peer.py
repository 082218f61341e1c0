#!/usr/bin/python3
"""SMTP peers for the mail tests, on 127.0.0.1 at a free port printed as the first
line of standard output; they run until standard input closes.

  smtp_peer.py store DIR [--auth] [--port N]
                                    aiosmtpd; each message becomes DIR/msg-N.json
                                    (envelope, credentials, Base64 of the bytes);
                                    recipients starting with "refuse" get 550.
  smtp_peer.py script SCENARIO LOG [--port N]
                                    a scripted server (RFC 5321 replies); every line
                                    it reads is appended to LOG. "hold" answers the
                                    message's end only once the file LOG.release
                                    exists; "stall354" stops reading after its 354,
                                    "slowread" reads the DATA text at 20 KiB/s,
                                    "backlog" never takes a connection (its queue is
                                    kept full).
"""
import asyncio
import base64
import json
import os
import socket
import sys
import threading
import time


def wait_for_stdin_close():
    try:
        sys.stdin.read()
    except Exception:
        pass


# --- aiosmtpd ------------------------------------------------------------------------

def run_store(folder, with_auth, port=0):
    from aiosmtpd.smtp import SMTP, AuthResult

    class Handler:
        def __init__(self):
            self.count = 0

        async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
            if address.startswith("refuse"):
                return "550 5.1.1 refused"
            envelope.rcpt_tos.append(address)
            return "250 OK"

        async def handle_DATA(self, server, session, envelope):
            self.count += 1
            record = {
                "from": envelope.mail_from,
                "to": envelope.rcpt_tos,
                "login": getattr(session, "peer_login", None),
                "password": getattr(session, "peer_password", None),
                "data": base64.b64encode(envelope.content).decode(),
            }
            path = os.path.join(folder, "msg-%d.json" % self.count)
            with open(path + ".tmp", "w") as f:
                json.dump(record, f)
            os.rename(path + ".tmp", path)
            return "250 Message accepted"

    def authenticator(server, session, envelope, mechanism, auth_data):
        session.peer_login = auth_data.login.decode()
        session.peer_password = auth_data.password.decode()
        return AuthResult(success=True)

    handler = Handler()

    def factory():
        if with_auth:
            return SMTP(handler, authenticator=authenticator, auth_require_tls=False, auth_required=True)
        return SMTP(handler)

    loop = asyncio.new_event_loop()
    asyncio.set_event_loop(loop)
    server = loop.run_until_complete(loop.create_server(factory, "127.0.0.1", port))
    print(server.sockets[0].getsockname()[1], flush=True)
    done = loop.run_in_executor(None, wait_for_stdin_close)
    loop.run_until_complete(done)
    server.close()


# --- scripted server -----------------------------------------------------------------

class Conversation:
    def __init__(self, conn, log):
        self.conn = conn
        self.log = log
        self.pending = b""

    def send(self, *pieces):
        """Sends the pieces; a number between them is a pause in seconds."""
        for p in pieces:
            if isinstance(p, (int, float)):
                time.sleep(p)
            else:
                self.conn.sendall(p)

    def line(self):
        while b"\n" not in self.pending:
            chunk = self.conn.recv(65536)
            if not chunk:
                return None
            self.pending += chunk
        line, self.pending = self.pending.split(b"\n", 1)
        with open(self.log, "ab") as f:
            f.write(line + b"\n")
        return line.rstrip(b"\r")

    def data(self, drop=False):
        lines = []
        while True:
            line = self.line()
            if line is None:
                return None
            if drop and len(lines) > 3:
                return None
            if line == b".":
                return lines
            lines.append(line)


def serve_script(conn, scenario, log):
    c = Conversation(conn, log)
    if scenario == "split":
        c.send(b"22", 0.3, b"0 ready\r\n")
    elif scenario == "greeting554":
        c.send(b"554 not today\r\n")
    elif scenario == "nocode":
        c.send(b"hello there\r\n")
    elif scenario == "trickle":
        for _ in range(200):
            c.send(b"2", 0.1)
        return
    elif scenario == "silence":
        time.sleep(30)
        return
    else:
        c.send(b"220 ready\r\n")
    while True:
        line = c.line()
        if line is None:
            return
        verb = line.split(b" ")[0].upper()
        if scenario == "flood" and verb == b"HELO":
            block = b"250-" + b"x" * 1020 + b"\r\n"
            try:
                for _ in range(10 * 1024):
                    c.send(block)
            except OSError:
                pass
            return
        if verb in (b"HELO", b"EHLO"):
            if scenario == "split":
                c.send(b"250 wel", 1.5, b"come\r\n")
            elif scenario == "multiline":
                c.send(b"250-first\r\n", 0.2, b"250-second\r\n", 0.2, b"250 last\r\n")
            else:
                c.send(b"250 hello\r\n")
        elif verb == b"AUTH":
            c.send(b"502 5.5.1 no AUTH here\r\n")
        elif verb in (b"RSET", b"MAIL", b"RCPT"):
            c.send(b"250 ok\r\n")
        elif verb == b"DATA":
            c.send(b"354 go ahead\r\n")
            if scenario == "stall354":
                time.sleep(60)
                return
            if scenario == "slowread":
                while c.conn.recv(4096):
                    time.sleep(0.2)
                return
            lines = c.data(drop=scenario == "drop")
            if lines is None:
                return
            if scenario == "hold":
                for _ in range(6000):
                    if os.path.exists(log + ".release"):
                        break
                    time.sleep(0.05)
            c.send(b"250 queued\r\n")
        elif verb == b"QUIT":
            c.send(b"221 bye\r\n")
            return
        else:
            c.send(b"500 what\r\n")


def run_script(scenario, log, port=0):
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", port))
    if scenario == "backlog":
        # A full queue drops every further SYN: the client's connect is never answered.
        listener.listen(0)
        port = listener.getsockname()[1]
        fillers = []
        for _ in range(4):
            f = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
            f.setblocking(False)
            try:
                f.connect(("127.0.0.1", port))
            except BlockingIOError:
                pass
            fillers.append(f)
        time.sleep(0.3)
        print(port, flush=True)
        wait_for_stdin_close()
        return
    listener.listen(4)
    print(listener.getsockname()[1], flush=True)

    def accept_loop():
        while True:
            try:
                conn, _ = listener.accept()
            except OSError:
                return
            def one(conn=conn):
                try:
                    serve_script(conn, scenario, log)
                except OSError:
                    pass
                finally:
                    conn.close()
            threading.Thread(target=one, daemon=True).start()

    threading.Thread(target=accept_loop, daemon=True).start()
    wait_for_stdin_close()


if __name__ == "__main__":
    if sys.argv[1] == "store":
        rest = sys.argv[3:]
        port = int(rest[rest.index("--port") + 1]) if "--port" in rest else 0
        run_store(sys.argv[2], "--auth" in rest, port)
    else:
        rest = sys.argv[4:]
        port = int(rest[rest.index("--port") + 1]) if "--port" in rest else 0
        run_script(sys.argv[2], sys.argv[3], port)
