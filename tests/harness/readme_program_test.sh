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
# Each report's type field (2.5) starts one report; its message field (2.6) follows.
reports=$(grep -c '^  2\.5 Type *: ' <<<"$out")
violations=$(grep -c '^  2\.5 Type *: EAccessViolation$' <<<"$out")
messages=$(grep -c "^  2\\.6 Message *: Access violation at address [0-9A-F]\\{8\\} in module 'myprogram\\.exe'\\. Write of address 00000010\\.\$" <<<"$out")
if [ "$reports" != 1 ] || [ "$violations" != 1 ] || [ "$messages" != 1 ]; then
  echo "expected one report, of the access violation; got $reports report(s), $violations of its type, $messages of its message"
  fail=1
fi
report_line=$(grep -n -m1 '^  2\.5 Type *: ' <<<"$out" | cut -d: -f1)
went_on_line=$(grep -n -m1 '^went on$' <<<"$out" | cut -d: -f1)
if [ -z "$went_on_line" ] || [ -z "$report_line" ] || [ "$went_on_line" -le "$report_line" ]; then
  echo "the program did not go on after the report"
  fail=1
fi
[ $fail = 0 ] || printf '%s\n' "--- output ---" "$out"
exit $fail
