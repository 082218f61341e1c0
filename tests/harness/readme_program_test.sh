#!/usr/bin/env bash
# The README's program of one's own: its thread's access violation gives exactly one
# report, and the program goes on after it and ends normally.
set -u
runner=$1
program=$2
out=$("$runner" "$program" 2>&1 | tr -d '\r')
status=${PIPESTATUS[0]}
fail=0
if [ "$status" != 0 ]; then
  echo "the program ended with status $status"
  fail=1
fi
reports=$(grep -c '^Report: ' <<<"$out")
violations=$(grep -c '^Report: EAccessViolation at [0-9A-F]\{8\} (code C0000005) in thread [0-9]*: Access violation at address [0-9A-F]\{8\}\. Write of address 00000010$' <<<"$out")
if [ "$reports" != 1 ] || [ "$violations" != 1 ]; then
  echo "expected one report, of the access violation; got $reports report(s), $violations of it"
  fail=1
fi
report_line=$(grep -n -m1 '^Report: ' <<<"$out" | cut -d: -f1)
went_on_line=$(grep -n -m1 '^went on$' <<<"$out" | cut -d: -f1)
if [ -z "$went_on_line" ] || [ -z "$report_line" ] || [ "$went_on_line" -le "$report_line" ]; then
  echo "the program did not go on after the report"
  fail=1
fi
[ $fail = 0 ] || printf '%s\n' "--- output ---" "$out"
exit $fail
