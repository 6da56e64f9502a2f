#!/usr/bin/env bash
# Round trip of a generated folder through every compression kind of the pack tool: create, verify, extract and
# compare byte for byte; then add, delete, and a refused unsafe extraction.
set -euo pipefail
tool="$1"
work=$(mktemp -d "${QORM_TEST_TMP:-${TMPDIR:-/tmp}}/packtoolXXXXXX")
trap 'rm -rf "$work"' EXIT
src="$work/src"
mkdir -p "$src/sub"
seq 1 4000 >"$src/numbers.txt"
head -c 20000 /dev/urandom >"$src/noise.bin"
: >"$src/empty.dat"
for i in $(seq 1 500); do echo "scenario line $((i % 7))"; done >"$src/sub/Script.TXT"
printf 'BM%.0s' $(seq 1 3000) >"$src/picture.bmp"
for kind in store mariel cocotte cocotte8k cocotte1k not; do
  "$tool" create "$work/$kind.pak" "$src" -c "$kind" -x "bmp=$kind"
  "$tool" verify "$work/$kind.pak" >/dev/null
  "$tool" list "$work/$kind.pak" >"$work/$kind.list"
  grep -q 'sub\\Script.TXT' "$work/$kind.list"
  "$tool" extract "$work/$kind.pak" "$work/out-$kind"
  diff -r "$src" "$work/out-$kind"
done
"$tool" add "$work/mariel.pak" "$src/numbers.txt" extra.txt
"$tool" delete "$work/mariel.pak" numbers.txt
"$tool" verify "$work/mariel.pak" >/dev/null
"$tool" extract "$work/mariel.pak" "$work/again" extra.txt
cmp "$src/numbers.txt" "$work/again/extra.txt"
if "$tool" extract "$work/mariel.pak" "$work/again" numbers.txt 2>"$work/err"; then exit 1; fi
grep -q 'numbers.txt' "$work/err"
if "$tool" create "$work/bad.pak" "$work/missing" 2>"$work/err"; then exit 1; fi
grep -q 'missing' "$work/err"
echo "packtool round trip: ok"
