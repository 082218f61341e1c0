#!/usr/bin/env bash
# Every Windows program (and DLL) the build made imports only DLLs on the allow-list,
# so the programs start on a plain Windows system.
#   dll_allowlist.sh BUILD_DIR ALLOW_LIST
set -u
build=$1
list=$2
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}
allowed=$(sed -e 's/#.*//' -e 's/[[:space:]]//g' "$list" | grep -v '^$' | tr 'A-Z' 'a-z')
# Programs of the build machine (hosttools) and CMake's compiler probes are not ours.
mapfile -t programs < <(find "$build" \( -path "$build/hosttools" -o -path "$build/CMakeFiles" \) -prune \
  -o -type f \( -iname '*.exe' -o -iname '*.dll' \) -print | sort)
if [ ${#programs[@]} -eq 0 ]; then
  echo "no Windows programs under $build"
  exit 1
fi
fail=0
for program in "${programs[@]}"; do
  dump=$("$objdump" -p "$program") || { echo "$program: objdump failed"; fail=1; continue; }
  while read -r dll; do
    if ! grep -qxF "$dll" <<<"$allowed"; then
      echo "${program#$build/} imports $dll, which is not on the allow-list"
      fail=1
    fi
  done < <(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$dump" | tr 'A-Z' 'a-z' | sort -u)
done
echo "${#programs[@]} programs checked"
exit $fail
