"""What the test servers of tests/peers share: telling the test where they listen
and ending when no one has asked anything for a while."""
import os
import threading
import time


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
