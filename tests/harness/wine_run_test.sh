#!/usr/bin/env bash
# The Wine runner passes a program's output through and reports its full exit code.
set -u
runner=$1
probe=$2
fail=0
check() { # code, expected decimal, expected status
  local out status
  out=$(mktemp)
  WINE_RUN_EXIT_FILE=$out "$runner" "$probe" "$1" 2>/dev/null
  status=$?
  if [ "$(cat "$out")" != "$2" ] || [ "$status" != "$3" ]; then
    echo "exit $1: reported '$(cat "$out")' with status $status, expected '$2' with status $3"
    fail=1
  fi
  rm -f "$out"
}
check 0 0 0
check 7 7 7
check 0xC0000005 -1073741819 5   # access violation: low byte 05
check 0x12345600 305419776 1     # low byte 0 must still read as failure
check 0xFFFFFFFF -1 255
exit $fail
