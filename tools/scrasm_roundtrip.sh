#!/usr/bin/env bash
# Every scenario source in data/ through the script tool: assemble, disassemble, assemble again, and the two
# compilations byte for byte the same. Then the tool as a user meets it: an error names file and line and fails.
set -euo pipefail
tool="$1"
data="$2"
mkdir -p "${QORM_TEST_TMP:-${TMPDIR:-/tmp}}"
work=$(mktemp -d "${QORM_TEST_TMP:-${TMPDIR:-/tmp}}/scrasmXXXXXX")
trap 'rm -rf "$work"' EXIT
mapfile -t sources < <(find "$data" -name '*.scs' | sort)
[ "${#sources[@]}" -gt 0 ]
"$tool" -o "$work/first" "${sources[@]}"
"$tool" -d "$work/first" -o "$work/source"
"$tool" -o "$work/second" "$work"/source/*.scs
ls "$work/first" >"$work/first.list"
ls "$work/second" >"$work/second.list"
diff "$work/first.list" "$work/second.list"
grep -q Scene.tbl "$work/first.list"
for file in "$work"/first/*; do cmp "$file" "$work/second/$(basename "$file")"; done

printf 'script 9\nfunction f\n    Jump nowhere\n' >"$work/bad.scs"
if "$tool" -o "$work/bad" "$work/bad.scs" 2>"$work/err"; then exit 1; fi
grep -q "bad.scs:3: no label nowhere in f" "$work/err"
[ ! -e "$work/bad/Scene.tbl" ]
if "$tool" 2>/dev/null; then exit 1; fi
echo "scrasm round trip: ok (${#sources[@]} sources)"
