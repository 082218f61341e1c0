#!/usr/bin/python3
"""An FTP server for the upload tests (pyftpdlib), on 127.0.0.1 only: one user with
write rights in a scratch home. Writes "port pid" to --ready when listening and
ends after --idle seconds. With --refuse-store every upload is refused when its
data has arrived (552, as a full disk or quota would), not at STOR. With
--trickle-greeting it is no FTP server at all: it greets every connection with a
"220-" line a second, without end."""
import argparse
import socket
import threading
import time

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import DTPHandler, FTPHandler
from pyftpdlib.servers import FTPServer

from peer_common import announce, end_when_idle

p = argparse.ArgumentParser()
p.add_argument("--ready", required=True)
p.add_argument("--home", required=True)
p.add_argument("--user", default="uploader")
p.add_argument("--password", default="secret")
p.add_argument("--idle", type=float, default=120)
p.add_argument("--refuse-store", action="store_true")
p.add_argument("--trickle-greeting", action="store_true")
args = p.parse_args()


def trickle(conn):
    try:
        while True:
            conn.sendall(b"220-welcome\r\n")
            time.sleep(1)
    except OSError:
        conn.close()


if args.trickle_greeting:
    listener = socket.create_server(("127.0.0.1", 0))
    started = time.time()
    end_when_idle(lambda: started, args.idle)
    announce(args.ready, listener.getsockname()[1])
    while True:
        conn, _ = listener.accept()
        threading.Thread(target=trickle, args=(conn,), daemon=True).start()

authorizer = DummyAuthorizer()
authorizer.add_user(args.user, args.password, args.home, perm="elradfmw")
FTPHandler.authorizer = authorizer
FTPHandler.passive_ports = None


class RefusingDTPHandler(DTPHandler):
    def handle_close(self):
        if not self._closed and self.receive:
            self.transfer_finished = False
            self._resp = ("552 Storage refused: quota exceeded.", lambda *a, **k: None)
            self.close()
        else:
            super().handle_close()


if args.refuse_store:
    FTPHandler.dtp_handler = RefusingDTPHandler
server = FTPServer(("127.0.0.1", 0), FTPHandler)
started = time.time()
end_when_idle(lambda: started, args.idle)
announce(args.ready, server.address[1])
server.serve_forever(handle_exit=False)
