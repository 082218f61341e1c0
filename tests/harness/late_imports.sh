#!/usr/bin/env bash
# The program imports none of the system functions that older systems lack: those
# are looked up at run time and skipped when missing, so the program still starts.
#   late_imports.sh PROGRAM.exe LIST   (LIST: one function name a line, # comments)
set -u
program=$1
list=$2
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}
dump=$("$objdump" -p "$program") || { echo "objdump failed on $program"; exit 1; }
# Import lines of objdump -p: "<vma> <hint> <name>" under each "DLL Name:" block.
imported=$(awk '/DLL Name:/ {in_dll = 1; next} in_dll && NF >= 3 && $1 ~ /^[0-9a-f]+$/ && $2 ~ /^[0-9]+$/ {print $3}' <<<"$dump" | sort -u)
if [ -z "$imported" ]; then
  echo "no imports read from $program"
  exit 1
fi
fail=0
while read -r name; do
  if grep -qxF "$name" <<<"$imported"; then
    echo "${program##*/} imports $name statically"
    fail=1
  fi
done < <(sed -e 's/#.*//' -e 's/[[:space:]]//g' "$list" | grep -v '^$')
echo "$(wc -l <<<"$imported") imports checked"
exit $fail
