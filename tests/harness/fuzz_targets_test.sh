#!/usr/bin/env bash
# scripts/fuzz-targets finds fuzz programs at any depth, and only programs.
set -u
lister=$1
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
program() { mkdir -p "$(dirname "$tree/$1")"; : >"$tree/$1"; chmod +x "$tree/$1"; }
program fuzz_Top
program classlib/fuzz_BmpCodec
program tools/qldata/fuzz_QlDataTool
program a/b/c/d/fuzz_Deep
# Not programs: a plain file, CMake's object folders, a corpus entry scripts/fuzz wrote.
mkdir -p "$tree/skin" && : >"$tree/skin/fuzz_NotExecutable"
program classlib/CMakeFiles/fuzz_BmpCodec.dir/fuzz_Inside
program corpus/fuzz_BmpCodec/fuzz_Seed

fail=0
expected=$'fuzz_BmpCodec\nfuzz_Deep\nfuzz_QlDataTool\nfuzz_Top'
listed=$("$lister" "$tree")
if [ "$listed" != "$expected" ]; then
  printf 'listed:\n%s\nexpected:\n%s\n' "$listed" "$expected"
  fail=1
fi
found=$("$lister" "$tree" fuzz_QlDataTool)
[ "$found" = "$tree/tools/qldata/fuzz_QlDataTool" ] || { echo "fuzz_QlDataTool found as '$found'"; fail=1; }
found=$("$lister" "$tree" fuzz_Deep)
[ "$found" = "$tree/a/b/c/d/fuzz_Deep" ] || { echo "fuzz_Deep found as '$found'"; fail=1; }
if "$lister" "$tree" fuzz_NotExecutable >/dev/null; then echo "a plain file was found"; fail=1; fi
if "$lister" "$tree" fuzz_Missing >/dev/null; then echo "a missing target was found"; fail=1; fi
exit $fail
