#!/usr/bin/env bash
# Runs a command in a private network and mount namespace where direct mail has a
# world of its own: loopback up, a resolv.conf naming 127.0.0.1, dnsmasq on :53
# answering velmora-mail.test's MX (mx.velmora-mail.test at 127.0.0.1), aiosmtpd on
# :25. Afterwards the one stored message must be for someone@velmora-mail.test.
# Wine opens sockets in its server, so the namespace gets a server of its own: the
# prefix is seen through an overlay (a new place, hence a new server) whose changes
# go with the namespace.
#
#   tests/peers/direct_mail_ns.sh COMMAND [ARGS...]
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if [ "${VELMORA_IN_MAIL_NAMESPACE:-}" != 1 ]; then
  exec env VELMORA_IN_MAIL_NAMESPACE=1 unshare -n -m "$0" "$@"
fi
work=$(mktemp -d)
pids=()
cleanup() {
  [ -n "${private_prefix:-}" ] && WINEPREFIX=$private_prefix wineserver -k 2>/dev/null
  exec 9>&- 2>/dev/null
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

ip link set lo up || exit 1
echo "nameserver 127.0.0.1" >"$work/resolv.conf"
mount --bind "$work/resolv.conf" /etc/resolv.conf || exit 1
prefix=${VELMORA_WINEPREFIX:-${WINEPREFIX:-$here/../../.cache/wineprefix}}
mkdir -p "$work/upper" "$work/overlay-work" "$work/prefix"
mount -t overlay overlay -o "lowerdir=$prefix,upperdir=$work/upper,workdir=$work/overlay-work" "$work/prefix" || exit 1
private_prefix=$work/prefix
export WINEPREFIX=$private_prefix VELMORA_WINEPREFIX=$private_prefix
/usr/sbin/dnsmasq --keep-in-foreground --port=53 --listen-address=127.0.0.1 --bind-interfaces \
  --no-resolv --no-hosts --conf-file=/dev/null --pid-file= --user=root --log-facility=/dev/null \
  --mx-host=velmora-mail.test,mx.velmora-mail.test,10 --host-record=mx.velmora-mail.test,127.0.0.1 &
pids+=($!)
mkfifo "$work/hold"
exec 9<>"$work/hold"
mkdir -p "$work/store"
/usr/bin/python3 "$here/smtp_peer.py" store "$work/store" --port 25 <"$work/hold" >"$work/port" &
pids+=($!)
for _ in $(seq 400); do [ -s "$work/port" ] && break; sleep 0.05; done
[ -s "$work/port" ] || { echo "direct_mail_ns: the SMTP peer did not start" >&2; exit 1; }

VELMORA_DIRECT_MAIL=1 "$@"
status=$?
[ $status = 0 ] || exit $status
/usr/bin/python3 - "$work/store" <<'PY'
import glob, json, os, sys
found = sorted(glob.glob(os.path.join(sys.argv[1], "msg-*.json")))
assert len(found) == 1, found
r = json.load(open(found[0]))
assert r["to"] == ["someone@velmora-mail.test"] and r["login"] is None, r
print("direct_mail_ns: delivered through the exchanger")
PY
