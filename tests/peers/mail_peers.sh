#!/usr/bin/env bash
# Runs a command with the mail tests' peers on 127.0.0.1, then checks what the SMTP
# peers stored (tests/peers/mail_store_check.py). The command finds them through
# VELMORA_SMTP_PORT (aiosmtpd), VELMORA_SMTP_AUTH_PORT (aiosmtpd wanting AUTH),
# VELMORA_DNS_PORT (dnsmasq: mail-domain.test MX mx1.mail-domain.test) and
# VELMORA_MAIL_STORE (a scratch folder).
#
#   tests/peers/mail_peers.sh COMMAND [ARGS...]
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
pids=()
cleanup() {
  exec 9>&- 2>/dev/null
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# The peers stop when their standard input ends: this descriptor holds it open.
mkfifo "$work/hold"
exec 9<>"$work/hold"
mkdir -p "$work/plain" "$work/auth"
/usr/bin/python3 "$here/smtp_peer.py" store "$work/plain" <"$work/hold" >"$work/plain.port" &
pids+=($!)
/usr/bin/python3 "$here/smtp_peer.py" store "$work/auth" --auth <"$work/hold" >"$work/auth.port" &
pids+=($!)
dns_port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
/usr/sbin/dnsmasq --keep-in-foreground --port="$dns_port" --listen-address=127.0.0.1 --bind-interfaces \
  --no-resolv --no-hosts --conf-file=/dev/null --pid-file= --user=root --log-facility=/dev/null \
  --mx-host=mail-domain.test,mx1.mail-domain.test,10 &
pids+=($!)

port_of() {
  for _ in $(seq 400); do
    if [ -s "$1" ]; then head -n1 "$1"; return 0; fi
    sleep 0.05
  done
  echo "mail_peers: no port in $1" >&2
  return 1
}
VELMORA_SMTP_PORT=$(port_of "$work/plain.port") || exit 1
VELMORA_SMTP_AUTH_PORT=$(port_of "$work/auth.port") || exit 1
export VELMORA_SMTP_PORT VELMORA_SMTP_AUTH_PORT VELMORA_DNS_PORT=$dns_port VELMORA_MAIL_STORE=$work

"$@"
status=$?
[ $status = 0 ] || exit $status
/usr/bin/python3 "$here/mail_store_check.py" "$work"
