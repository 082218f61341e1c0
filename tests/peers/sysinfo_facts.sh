#!/bin/sh
# Facts of the build machine that Wine passes on to the Windows program, one
# "key=value" line each, for the system-information checks.
echo "model=$(grep -m1 '^model name' /proc/cpuinfo | sed 's/^[^:]*: *//')"
echo "memkb=$(awk '/^MemTotal:/ {print $2}' /proc/meminfo)"
/usr/bin/python3 -c 'import os; s = os.statvfs("/"); print("disktotal=%d" % (s.f_blocks * s.f_frsize)); print("diskavail=%d" % (s.f_bavail * s.f_frsize))'
echo "screen=$(xdpyinfo 2>/dev/null | awk '/dimensions:/ {print $2; exit}')"
echo "depth=$(xdpyinfo 2>/dev/null | awk '/depth of root window:/ {print $5; exit}')"
echo "user=$(id -un)"
echo "host=$(hostname)"
echo "zone=$(date +%z)"
echo "ips=$(ip -4 -o addr 2>/dev/null | awk '$2 != "lo" {split($4, a, "/"); printf "%s ", a[1]}')"
