#!/usr/bin/python3
"""An FTP server for the upload tests (pyftpdlib), on 127.0.0.1 only: one user with
write rights in a scratch home. Writes "port pid" to --ready when listening and
ends after --idle seconds."""
import argparse
import time

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer

from peer_common import announce, end_when_idle

p = argparse.ArgumentParser()
p.add_argument("--ready", required=True)
p.add_argument("--home", required=True)
p.add_argument("--user", default="uploader")
p.add_argument("--password", default="secret")
p.add_argument("--idle", type=float, default=120)
args = p.parse_args()

authorizer = DummyAuthorizer()
authorizer.add_user(args.user, args.password, args.home, perm="elradfmw")
FTPHandler.authorizer = authorizer
FTPHandler.passive_ports = None
server = FTPServer(("127.0.0.1", 0), FTPHandler)
started = time.time()
end_when_idle(lambda: started, args.idle)
announce(args.ready, server.address[1])
server.serve_forever(handle_exit=False)
