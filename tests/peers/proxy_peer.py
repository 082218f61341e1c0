#!/usr/bin/python3
"""tinyproxy on 127.0.0.1 with Basic authentication, for the upload tests. Writes
"port pid" to --ready (the pid is tinyproxy's own) once it accepts connections."""
import argparse
import os
import socket
import time

from peer_common import announce

p = argparse.ArgumentParser()
p.add_argument("--ready", required=True)
p.add_argument("--dir", required=True)
p.add_argument("--user", default="proxyuser")
p.add_argument("--password", default="proxypass")
args = p.parse_args()

with socket.socket() as s:
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
conf = os.path.join(args.dir, "tinyproxy.conf")
with open(conf, "w") as f:
    f.write("Port %d\nListen 127.0.0.1\nTimeout 60\nMaxClients 20\nAllow 127.0.0.1\n"
            "BasicAuth %s %s\nLogFile \"%s\"\nLogLevel Info\nViaProxyName \"velmora-proxy\"\n"
            % (port, args.user, args.password, os.path.join(args.dir, "proxy.log")))
    if os.getuid() == 0:
        f.write("User root\nGroup root\n")
pid = os.fork()
if pid == 0:
    os.execv("/usr/bin/tinyproxy", ["tinyproxy", "-d", "-c", conf])
deadline = time.time() + 15
while time.time() < deadline:
    try:
        socket.create_connection(("127.0.0.1", port), timeout=1).close()
        break
    except OSError:
        time.sleep(0.1)
announce(args.ready, port, pid)
